// CIF writing, and the line-level readers of the plain CIF subset that kelmar writes (kept for
// the relaxation commands' second pass over a structure file).
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

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

// Column of a loop whose tag is keyword: an exact tag first, else the first tag containing it.
long loop_column(const KELMAR_CIF_LOOP& loop, const char* keyword) {
    if (loop.empty()) return -1;
    const auto& head = loop[0];
    for (std::size_t c = 0; c < head.size(); c++)
        if (head[c] == keyword) return static_cast<long>(c);
    for (std::size_t c = 0; c < head.size(); c++)
        if (head[c].find(keyword) != std::string::npos) return static_cast<long>(c);
    return -1;
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

// --------------------------------------------------------------------------------------------
// Column readers
// --------------------------------------------------------------------------------------------

int kelmar_cell_import_cif_read_atom_constraint(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop) {
    const long col = loop_column(loop, "_atom_site_kelmar_fixed");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_kelmar_fixed'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = kelmar_cif_loop_cell(loop, static_cast<long>(i + 1), col);
        atom[i].ignored = v != nullptr && (v[0] == 't' || v[0] == 'T');
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Atom-list steps
// --------------------------------------------------------------------------------------------

int kelmar_atom_fork_os(std::vector<KELMAR_ATOM>& atom) {
    const std::size_t n = atom.size();
    for (std::size_t i = 0; i < n; i++) {
        const double v = atom[i].value;
        if (std::fabs(v - 99.0) < 0.0001) {
            atom[i].os = KELMAR_OS_UNKNOWN;
            continue;
        }
        // no ion carries a state of a hundred or more; such a number (Li123456789012+) would
        // not even fit the integer state
        if (!(std::fabs(v) < 100.0)) {
            std::fprintf(stderr, "Error: oxidation state %g of %s is out of range.\n", v, atom[i].name);
            return 1;
        }
        const double nearest = std::round(v);
        if (std::fabs(v - nearest) < 0.1) {
            atom[i].os = static_cast<int>(nearest);
            continue;
        }
        const double hi = std::ceil(v);
        const double lo = std::floor(v);
        KELMAR_ATOM low = atom[i];
        atom[i].os = static_cast<int>(hi);
        atom[i].occ = low.occ * (v - lo);
        low.os = static_cast<int>(lo);
        low.occ = low.occ * (hi - v);
        atom.push_back(low);
    }
    for (auto& at : atom) at.value = 0.0;
    return 0;
}

int kelmar_atom_update_default_os(std::vector<KELMAR_ATOM>& atom, const char* dir_unitary) {
    std::ifstream in(dir_unitary ? dir_unitary : "", std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "Error: unable to open %s\n", dir_unitary ? dir_unitary : "(null)");
        return 1;
    }
    std::vector<std::string> data;
    std::string line;
    bool started = false;
    while (std::getline(in, line)) {
        if (!started) {
            started = line.find("DATA_START") != std::string::npos;
            continue;
        }
        if (line.find("DATA_END") != std::string::npos) break;
        data.push_back(line);
    }
    for (auto& at : atom) {
        if (at.os != KELMAR_OS_UNKNOWN) continue;
        for (const auto& d : data) {
            char symbol[64] = {};
            int os = 0;
            if (std::sscanf(d.c_str(), "%*d %63s %*d %d", symbol, &os) != 2) continue;
            if (std::strcmp(symbol, at.type) == 0) {
                at.os = os;
                break;
            }
        }
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Writing
// --------------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_TEXT> kelmar_cell_export_cif_to_text(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    std::unique_ptr<KELMAR_SYMMETRY> p1;
    if (symmetry == nullptr) {
        std::printf("Message: symmetry info missing. Using P1.\n");
        p1 = kelmar_symmetry_new_p1();
        symmetry = p1.get();
    }
    auto reduced = kelmar_cell_reduce_by_symmetry(cell, symmetry);
    if (!reduced) {
        std::fprintf(stderr, "Error: kelmar_cell_reduce_by_symmetry() returns NULL.\n");
        return nullptr;
    }
    kelmar_atom_sort(reduced->atom);
    auto text = kelmar_text_new();
    KELMAR_TEXT* t = text.get();
    kelmar_text_append(t, "data_generated-by-kelmar\r\n\n");
    kelmar_text_appendf(t, "_chemical_name_systematic         '%s'\r\n", cell->name);
    kelmar_text_appendf(t, "_cell_length_a                    %.3f\r\n", cell->parameter[0]);
    kelmar_text_appendf(t, "_cell_length_b                    %.3f\r\n", cell->parameter[1]);
    kelmar_text_appendf(t, "_cell_length_c                    %.3f\r\n", cell->parameter[2]);
    kelmar_text_appendf(t, "_cell_angle_alpha                 %.3f\r\n", cell->angle[0]);
    kelmar_text_appendf(t, "_cell_angle_beta                  %.3f\r\n", cell->angle[1]);
    kelmar_text_appendf(t, "_cell_angle_gamma                 %.3f\r\n", cell->angle[2]);
    kelmar_text_appendf(t, "_cell_volume                      %.3f\r\n", kelmar_cell_calculate_volume(cell));
    kelmar_text_appendf(t, "_cell_formula_units_Z             %d\r\n", cell->Z);
    kelmar_text_appendf(t, "_symmetry_space_group_name_H-M    '%s'\r\n", symmetry->sg_HM);
    kelmar_text_appendf(t, "_symmetry_Int_Tables_number       %d\r\n", symmetry->sg_id);
    kelmar_text_append(t, "\r\nloop_\r\n");
    kelmar_text_append(t, "  _symmetry_equiv_pos_site_id\r\n");
    kelmar_text_append(t, "  _symmetry_equiv_pos_as_xyz\r\n");
    for (int i = 0; i < symmetry->total(); i++)
        kelmar_text_appendf(t, "  %3d    '%s'\r\n", i + 1, symmetry->card[static_cast<std::size_t>(i)].text);
    kelmar_text_append(t, "\r\nloop_\r\n");
    kelmar_text_append(t, "  _atom_type_symbol\r\n");
    kelmar_text_append(t, "  _atom_type_oxidation_number\r\n");
    const auto& at = reduced->atom;
    for (std::size_t i = 0; i < at.size(); i++) {
        if (i + 1 < at.size() && std::strcmp(at[i].type, at[i + 1].type) == 0 && at[i].os == at[i + 1].os) continue;
        kelmar_text_appendf(t, "  %s%d%c     %d\r\n", at[i].type, std::abs(at[i].os), at[i].os < 0 ? '-' : '+',
                            at[i].os);
    }
    kelmar_text_append(t, "\r\nloop_\r\n");
    kelmar_text_append(t, "  _atom_site_label\r\n");
    kelmar_text_append(t, "  _atom_site_type_symbol\r\n");
    kelmar_text_append(t, "  _atom_site_fract_x\r\n");
    kelmar_text_append(t, "  _atom_site_fract_y\r\n");
    kelmar_text_append(t, "  _atom_site_fract_z\r\n");
    kelmar_text_append(t, "  _atom_site_occupancy\r\n");
    for (const auto& a : at) {
        // a label that would not read back as one value is quoted
        const bool quote = a.name[0] == '\0' || std::strpbrk(a.name, " \t") != nullptr || a.name[0] == '\'';
        char label[20];
        std::snprintf(label, sizeof(label), quote ? "'%s'" : "%s", a.name);
        kelmar_text_appendf(t, "  %s  %s%d%c  %.3f  %.3f  %.3f  %.3f\r\n", label, a.type, std::abs(a.os),
                            a.os < 0 ? '-' : '+', a.x_f[0], a.x_f[1], a.x_f[2], a.occ);
    }
    kelmar_text_append(t, "\r\n#end of data\r\n");
    return text;
}

int kelmar_cell_export_cif_to_file(const char* filename, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry) {
    auto text = kelmar_cell_export_cif_to_text(cell, symmetry);
    if (!text) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_text() returns NULL.\n");
        return 1;
    }
    if (kelmar_text_export_to_file(text.get(), filename) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero.\n");
        return 1;
    }
    std::printf("Message: cif file saved to %s\n", filename);
    return 0;
}
