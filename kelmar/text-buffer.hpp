// Text buffer that holds input files and assembles output files, and the line helpers of the readers.
#pragma once

#include <cstddef>
#include <memory>
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
