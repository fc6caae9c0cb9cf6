// Text buffer and line helpers.
#include "text-buffer.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

std::unique_ptr<KELMAR_TEXT> kelmar_text_new(const char* init) {
    auto text = std::make_unique<KELMAR_TEXT>();
    text->content.reserve(1024);
    if (init != nullptr) text->content += init;
    return text;
}

int kelmar_text_append(KELMAR_TEXT* text, const char* str) {
    if (text == nullptr || str == nullptr) return 0;
    text->content += str;
    return 0;
}

int kelmar_text_append(KELMAR_TEXT* text, const std::string& str) {
    if (text == nullptr) return 0;
    text->content += str;
    return 0;
}

int kelmar_text_appendf(KELMAR_TEXT* text, const char* fmt, ...) {
    if (text == nullptr || fmt == nullptr) return 0;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    if (n < 0) return 1;
    if (static_cast<std::size_t>(n) < sizeof(buf)) {
        text->content.append(buf, static_cast<std::size_t>(n));
        return 0;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    big.resize(static_cast<std::size_t>(n));
    text->content += big;
    return 0;
}

int kelmar_text_cat(KELMAR_TEXT* dst, const KELMAR_TEXT* src) {
    if (dst == nullptr || src == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_TEXT has not been properly initialized.\n");
        return 1;
    }
    dst->content += src->content;
    return 0;
}

void kelmar_text_dump(KELMAR_TEXT* text) {
    if (text == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_TEXT has not been properly allocated.\n");
        return;
    }
    text->content.clear();
    text->content.shrink_to_fit();
    text->content.reserve(1024);
}

void kelmar_text_print(const KELMAR_TEXT* text) {
    if (text == nullptr) {
        std::printf("(not allocated)\n");
        return;
    }
    std::fwrite(text->content.data(), 1, text->content.size(), stdout);
    std::printf("\n");
}

std::unique_ptr<KELMAR_TEXT> kelmar_text_import_from_file(const char* file_name, long max_size) {
    std::FILE* f = std::fopen(file_name, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "Error: unable to open %s\n", file_name);
        return nullptr;
    }
    auto text = std::make_unique<KELMAR_TEXT>();
    char buf[65536];
    std::size_t got;
    bool too_large = false;
    while ((got = std::fread(buf, 1, sizeof(buf), f)) > 0) {
        if (static_cast<long>(text->content.size() + got) > max_size) {
            too_large = true;
            break;
        }
        text->content.append(buf, got);
    }
    const bool failed = too_large || std::ferror(f) != 0;
    std::fclose(f);
    // Zero bytes cannot be read in one piece: an empty file (or a directory) fails too.
    if (failed || text->content.empty()) {
        std::fprintf(stderr, "Error: failed to read content of %s\n", file_name);
        return nullptr;
    }
    return text;
}

static int text_write(const KELMAR_TEXT* text, const char* file_name, const char* mode) {
    if (text == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_TEXT has not been properly allocated.\n");
        return 1;
    }
    std::FILE* f = std::fopen(file_name, mode);
    if (f == nullptr) {
        std::fprintf(stderr, "Error: unable to open %s.\n", file_name);
        return 1;
    }
    const std::size_t n = std::fwrite(text->content.data(), 1, text->content.size(), f);
    const int closed = std::fclose(f);
    if (n != text->content.size() || closed != 0) {
        std::fprintf(stderr, "Error: unable to write %s.\n", file_name);
        return 1;
    }
    return 0;
}

int kelmar_text_export_to_file(const KELMAR_TEXT* text, const char* file_name) {
    return text_write(text, file_name, "wb");
}

int kelmar_text_append_to_file(const KELMAR_TEXT* text, const char* file_name) {
    return text_write(text, file_name, "ab");
}

int kelmar_text_segregate_into_rows(std::vector<std::string>& rows, const KELMAR_TEXT* text, char separator) {
    rows.clear();
    if (text == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_TEXT has not been properly allocated.\n");
        return 1;
    }
    const std::string& s = text->content;
    long count = 1;
    for (char c : s)
        if (c == separator || c == '\0') count++;
    std::printf("Message: total lines in the cif: %ld\n", count);
    rows.reserve(static_cast<std::size_t>(count));
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); i++) {
        if (i == s.size() || s[i] == separator || s[i] == '\0') {
            rows.emplace_back(s, start, i - start);
            start = i + 1;
        }
    }
    return 0;
}

static bool is_space4(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool kelmar_array_char_1D_is_blank_line(const char* line) {
    if (line == nullptr) return true;
    for (const char* p = line; *p; p++)
        if (!is_space4(*p)) return false;
    return true;
}

char kelmar_array_char_1D_first_nonspace_char(const char* line) {
    if (line == nullptr) return '\0';
    for (const char* p = line; *p; p++)
        if (!is_space4(*p)) return *p;
    return '\0';
}
