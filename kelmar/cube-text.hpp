// The numbers of a cube file's text: white-space separated, read as the C library's formatted
// input reads them, and the value block parsed by thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// A number written as plain decimals ([-]digits[.digits], at most 15 digits, no exponent after
// it) at p, read by integer arithmetic and one division: the same double as std::from_chars gives
// for it, which reads every other form. Advances p past it; false, p unmoved, for any other text.
bool cube_plain_decimal(const char*& p, const char* end, double* out);

// Formatted-scanning style reading of one number at p (leading white space skipped, a '+' sign
// accepted); advances p past it. False when no number starts there.
bool cube_scan_double(const char*& p, const char* end, double* out);

// What the value block held. `got` counts the values stored before the end or the fault; for the
// faults it is also the 0-based index of the value at fault.
struct CubeValueScan {
    enum Fault { none, not_a_number, not_finite, too_large, too_many } fault = none;
    long got = 0;
    double bad = 0.0;  // the value too large
};

// Reads up to total numbers into dst: first from head (text already taken from the file), then
// from the rest of f, in blocks that the threads (0: every usable CPU) parse part by part. The
// values, the fault and its index are those of reading the numbers one after another: the first
// text that is no number, the first value that is not finite or whose magnitude exceeds
// value_max, or any text after the last value (too_many). Fewer values than total with no fault
// means the text ended early; the rest of dst is untouched. block_bytes: the size of a block
// (grown where one number is longer).
CubeValueScan cube_read_values(std::string_view head, std::FILE* f, double* dst, long total, double value_max,
                               int threads, std::size_t block_bytes = std::size_t{1} << 23);
