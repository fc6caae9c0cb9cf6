// Text buffer, line helpers and the contiguous 3-D grid used by the landscape code.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Growable text that holds input files while they are parsed and assembles output files.
struct KELMAR_TEXT {
    std::string content;
    long length() const { return static_cast<long>(content.size()); }
};

std::unique_ptr<KELMAR_TEXT> kelmar_text_new(const char* init = nullptr);
// Appends str; a null text or string is a no-op. 0 on success.
int kelmar_text_append(KELMAR_TEXT* text, const char* str);
int kelmar_text_append(KELMAR_TEXT* text, const std::string& str);
// printf-style append, for the writers that assemble formatted files.
int kelmar_text_appendf(KELMAR_TEXT* text, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int kelmar_text_cat(KELMAR_TEXT* dst, const KELMAR_TEXT* src);
void kelmar_text_dump(KELMAR_TEXT* text);
void kelmar_text_print(const KELMAR_TEXT* text);
// Input texts are structure files of at most a few megabytes; reading stops with a failure past
// this size, so that a device such as /dev/zero cannot fill the memory.
inline constexpr long KELMAR_TEXT_READ_MAX = 1L << 30;
// Whole file in binary mode; null (with a message) when it cannot be opened, is empty or exceeds
// max_size bytes.
std::unique_ptr<KELMAR_TEXT> kelmar_text_import_from_file(const char* file_name, long max_size = KELMAR_TEXT_READ_MAX);
int kelmar_text_export_to_file(const KELMAR_TEXT* text, const char* file_name);
int kelmar_text_append_to_file(const KELMAR_TEXT* text, const char* file_name);
// Splits at the separator (a zero byte also ends a row); prints the row count.
int kelmar_text_segregate_into_rows(std::vector<std::string>& rows, const KELMAR_TEXT* text, char separator);

// True for a null or empty line and a line of only blanks, tabs, line feeds and carriage returns.
bool kelmar_array_char_1D_is_blank_line(const char* line);
// The first character that is none of those four, or '\0'.
char kelmar_array_char_1D_first_nonspace_char(const char* line);

// Prints a 3x3x3 int array as three lines.
void kelmar_matrix333_int_print(const int m[3][3][3]);

// A contiguous 3-D grid indexed [i][j][k] with k fastest.
template <typename T>
struct KELMAR_GRID3 {
    long n[3] = {0, 0, 0};
    std::vector<T> data;

    KELMAR_GRID3() = default;
    KELMAR_GRID3(long n0, long n1, long n2, T init = T()) { resize(n0, n1, n2, init); }
    // A negative size, or sizes whose product overflows, cannot be allocated: std::bad_alloc, as
    // for any other grid too large for memory (the product would otherwise wrap round to a
    // small grid that the indexing runs past).
    void resize(long n0, long n1, long n2, T init = T()) {
        long total = 0;
        if (n0 < 0 || n1 < 0 || n2 < 0 || __builtin_mul_overflow(n0, n1, &total) ||
            __builtin_mul_overflow(total, n2, &total) ||
            static_cast<unsigned long>(total) > data.max_size())
            throw std::bad_alloc();
        data.assign(static_cast<std::size_t>(total), init);
        n[0] = n0;
        n[1] = n1;
        n[2] = n2;
    }
    std::size_t index(long i, long j, long k) const {
        return static_cast<std::size_t>((i * n[1] + j) * n[2] + k);
    }
    T& operator()(long i, long j, long k) { return data[index(i, j, k)]; }
    const T& operator()(long i, long j, long k) const { return data[index(i, j, k)]; }
    long size() const { return n[0] * n[1] * n[2]; }
};
