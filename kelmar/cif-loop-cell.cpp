// Line-level scanning of CIF text: keywords, their values and _loop blocks.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "import.hpp"

const char* kelmar_cif_loop_cell(const KELMAR_CIF_LOOP& loop, long r, long c) {
    if (r < 0 || c < 0 || static_cast<std::size_t>(r) >= loop.size()) return nullptr;
    const auto& row = loop[static_cast<std::size_t>(r)];
    if (static_cast<std::size_t>(c) >= row.size()) return nullptr;
    return row[static_cast<std::size_t>(c)].c_str();
}

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The line without trailing carriage returns and line feeds.
std::string chomp(const std::string& s) {
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n')) n--;
    return s.substr(0, n);
}

}  // namespace

// --------------------------------------------------------------------------------------------
// Line-level readers
// --------------------------------------------------------------------------------------------

bool kelmar_cell_import_cif_exist_keyword(const char* keyword, const std::vector<std::string>& lines) {
    if (keyword == nullptr) return false;
    for (const auto& line : lines)
        if (line.find(keyword) != std::string::npos) return true;
    return false;
}

std::optional<std::string> kelmar_cell_import_cif_grep_keyword(const char* keyword,
                                                               const std::vector<std::string>& lines) {
    if (keyword == nullptr) return std::nullopt;
    const std::size_t row = lines.size();
    for (std::size_t i = 0; i < row; i++) {
        const std::size_t pos = lines[i].find(keyword);
        if (pos == std::string::npos) continue;
        // text field between two lines that begin with ';'
        if (i + 2 < row && !lines[i + 1].empty() && lines[i + 1][0] == ';') {
            std::string value;
            for (std::size_t k = i + 2; k < row; k++) {
                if (!lines[k].empty() && lines[k][0] == ';') return value;
                value += chomp(lines[k]);
            }
            return std::nullopt;
        }
        const std::string& line = lines[i];
        const std::size_t q1 = line.find('\'');
        const std::size_t q2 = line.rfind('\'');
        if (q1 != std::string::npos && q2 != q1) return line.substr(q1 + 1, q2 - q1 - 1);
        std::size_t p = pos + std::strlen(keyword);
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) p++;
        std::size_t e = p;
        while (e < line.size() && !is_space(line[e])) e++;
        if (e == p) return std::nullopt;
        return line.substr(p, e - p);
    }
    return std::nullopt;
}

namespace {

// Splits one data line into values; false when a single quote is left open.
bool split_values(const std::string& line, std::vector<std::string>& values) {
    values.clear();
    std::size_t p = 0;
    const std::size_t n = line.size();
    while (p < n) {
        while (p < n && is_space(line[p])) p++;
        if (p >= n) break;
        if (line[p] == '\'') {
            const std::size_t close = line.find('\'', p + 1);
            if (close == std::string::npos) return false;
            values.push_back(line.substr(p + 1, close - p - 1));
            p = close + 1;
        } else {
            std::size_t e = p;
            while (e < n && !is_space(line[e])) e++;
            values.push_back(line.substr(p, e - p));
            p = e;
        }
    }
    return true;
}

}  // namespace

int kelmar_cell_import_cif_grep_loop(KELMAR_CIF_LOOP* loop, long* loop_r, long* loop_c, const char* keyword,
                                     const std::vector<std::string>& lines) {
    loop->clear();
    *loop_r = 0;
    *loop_c = 0;
    const std::size_t row = lines.size();
    std::size_t i = 0;
    while (i < row) {
        if (lines[i].find("loop_") == std::string::npos) {
            i++;
            continue;
        }
        // header
        std::size_t k = i + 1;
        std::vector<std::size_t> header;
        bool wanted = false;
        while (k < row && kelmar_array_char_1D_first_nonspace_char(lines[k].c_str()) == '_' &&
               lines[k].find("loop_") == std::string::npos) {
            header.push_back(k);
            if (lines[k].find(keyword) != std::string::npos) wanted = true;
            k++;
        }
        // data lines up to the end of the loop
        std::size_t d = k;
        while (d < row) {
            const std::string& line = lines[d];
            const char first = kelmar_array_char_1D_first_nonspace_char(line.c_str());
            if (kelmar_array_char_1D_is_blank_line(line.c_str()) || first == '#' || first == '_' ||
                line.find("loop_") != std::string::npos)
                break;
            d++;
        }
        if (!wanted || d == k || header.empty()) {
            i = (d > i + 1) ? d : i + 1;
            continue;
        }
        std::vector<std::string> head;
        for (std::size_t h : header) {
            std::vector<std::string> words;
            split_values(lines[h], words);
            head.push_back(words.empty() ? std::string() : words[0]);
        }
        loop->push_back(head);
        std::vector<std::string> values;
        for (std::size_t r = k; r < d; r++) {
            if (!split_values(lines[r], values)) {
                std::fprintf(stderr, "Error: open single quotation mark detected at row %d.\n",
                             static_cast<int>(r - k + 1));
                loop->clear();
                return 1;
            }
            if (values.size() > head.size()) values.resize(head.size());
            loop->push_back(values);
        }
        *loop_r = static_cast<long>(loop->size());
        *loop_c = static_cast<long>(head.size());
        return 0;
    }
    std::printf("Warning: _loop block containing %s not found.\n", keyword);
    return 1;
}
