// Numbers of a cube file's text, and the value block parsed by thread.
//
// The text is read in blocks that end at white space; each block is cut at white space into one
// part per thread, every part parses its numbers into a buffer of its own up to its first fault,
// and the parts are then taken in order: the first fault met, or the values copied into the grid
// at their running index. No number runs across a cut, so the numbers and faults are those of
// one reading from the start.
#include "cube-text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "huge-pages.hpp"
#include "workshare.hpp"

namespace {

inline bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One thread's share of a block and what it found there.
struct Part {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::vector<double> values;  // the numbers up to the first fault
    CubeValueScan::Fault fault = CubeValueScan::none;
    double bad = 0.0;
    long first = 0;  // running index of values[0]
};

void parse_part(Part& part, double value_max) {
    part.values.clear();
    part.fault = CubeValueScan::none;
    const char* p = part.begin;
    for (;;) {
        while (p < part.end && blank(*p)) ++p;
        if (p >= part.end) return;
        double v = 0.0;
        if (!cube_scan_double(p, part.end, &v)) {
            part.fault = CubeValueScan::not_a_number;
            return;
        }
        if (!std::isfinite(v)) {
            part.fault = CubeValueScan::not_finite;
            return;
        }
        if (std::fabs(v) > value_max) {
            part.fault = CubeValueScan::too_large;
            part.bad = v;
            return;
        }
        part.values.push_back(v);
    }
}

}  // namespace

bool cube_plain_decimal(const char*& p, const char* end, double* out) {
    const char* q = p;
    const bool negative = q < end && *q == '-';
    if (negative) ++q;
    std::uint64_t m = 0;
    int digits = 0, fraction = 0;
    for (; q < end && *q >= '0' && *q <= '9'; ++q, ++digits) m = m * 10 + static_cast<std::uint64_t>(*q - '0');
    if (q < end && *q == '.')
        for (++q; q < end && *q >= '0' && *q <= '9'; ++q, ++digits, ++fraction)
            m = m * 10 + static_cast<std::uint64_t>(*q - '0');
    // no digit, more than 15 (m might pass 2^53), or an exponent to follow: not this form
    if (digits == 0 || digits > 15 || (q < end && (*q == 'e' || *q == 'E'))) return false;
    static constexpr double kTen[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // m and 10^fraction are exact doubles, so the one rounding of the quotient is the correct one
    const double v = static_cast<double>(m) / kTen[fraction];
    *out = negative ? -v : v;
    p = q;
    return true;
}

bool cube_scan_double(const char*& p, const char* end, double* out) {
    while (p < end && blank(*p)) ++p;
    if (p >= end) return false;
    const char* q = p;
    if (*q == '+') ++q;
    if (cube_plain_decimal(q, end, out)) {
        p = q;
        return true;
    }
    auto res = std::from_chars(q, end, *out);
    if (res.ec == std::errc::result_out_of_range) {
        // "%lf" gives +-HUGE_VAL or 0 here; strtod makes the same choice
        std::string tok(q, static_cast<std::size_t>(res.ptr - q));
        *out = std::strtod(tok.c_str(), nullptr);
    } else if (res.ec != std::errc()) {
        return false;
    }
    p = res.ptr;
    return true;
}

CubeValueScan cube_read_values(std::string_view head, std::FILE* f, double* dst, long total, double value_max,
                               int threads, std::size_t block_bytes) {
    threads = workshare_threads_resolve(threads);
    CubeValueScan out;
    // the text buffer is written before it is read: no zeroing
    std::size_t size = std::max(std::max<std::size_t>(block_bytes, 2), head.size() + 1);
    auto buf = std::make_unique_for_overwrite<char[]>(size);
    advise_huge_pages(buf.get(), size);
    std::memcpy(buf.get(), head.data(), head.size());
    std::size_t held = head.size();
    std::vector<Part> parts(static_cast<std::size_t>(threads));
    long count = 0;  // values met so far, stored or beyond total
    bool at_end = false;
    while (!at_end) {
        if (held == size) {  // one number longer than a block
            auto wider = std::make_unique_for_overwrite<char[]>(2 * size);
            std::memcpy(wider.get(), buf.get(), held);
            buf = std::move(wider);
            size *= 2;
        }
        const std::size_t got = f != nullptr ? std::fread(buf.get() + held, 1, size - held, f) : 0;
        held += got;
        at_end = got == 0 || std::feof(f) != 0 || std::ferror(f) != 0;
        // whole numbers only: the block ends after its last blank unless the file ends
        std::size_t usable = held;
        if (!at_end) {
            while (usable > 0 && !blank(buf[usable - 1])) --usable;
            if (usable == 0) continue;
        }
        const auto to_blank = [](const char* aim, const char* stop) {
            while (aim < stop && !blank(*aim)) ++aim;
            return aim;
        };
        const int np = workshare_text_pieces(buf.get(), usable, threads, 16, parts, to_blank);
        for (int t = 0; t < np; ++t) {
            Part& part = parts[static_cast<std::size_t>(t)];
            // room for every number the part can hold: no growing while it is parsed
            if (part.values.empty() && part.values.capacity() == 0)
                reserve_huge_pages(part.values, static_cast<std::size_t>(part.end - part.begin) / 2 + 1);
            part.values.reserve(static_cast<std::size_t>(part.end - part.begin) / 2 + 1);
        }
        workshare_parts(np, threads, [&](long t) { parse_part(parts[static_cast<std::size_t>(t)], value_max); });
        // in order: the values up to the first fault
        int faulty = -1;
        for (int t = 0; t < np && faulty < 0; ++t) {
            Part& part = parts[static_cast<std::size_t>(t)];
            part.first = count;
            count += static_cast<long>(part.values.size());
            if (part.fault != CubeValueScan::none) faulty = t;
        }
        const int kept = faulty < 0 ? np : faulty + 1;
        workshare_parts(kept, threads, [&](long t) {
            const Part& part = parts[static_cast<std::size_t>(t)];
            if (part.first >= total) return;
            const long n = std::min(static_cast<long>(part.values.size()), total - part.first);
            std::memcpy(dst + part.first, part.values.data(), sizeof(double) * static_cast<std::size_t>(n));
        });
        if (count > total) {  // text after the last value, whatever it is
            out.fault = CubeValueScan::too_many;
            out.got = total;
            return out;
        }
        if (faulty >= 0) {
            const Part& part = parts[static_cast<std::size_t>(faulty)];
            // text at the fault lies after the last value when total values came before it
            out.fault = count == total ? CubeValueScan::too_many : part.fault;
            out.bad = part.bad;
            out.got = count;
            return out;
        }
        std::memmove(buf.get(), buf.get() + usable, held - usable);
        held -= usable;
    }
    out.got = count;
    return out;
}
