// CIF reading and writing: column readers, atom naming, whole-structure import and export. The
// line-level scanning of the CIF text is in import-cif-scan.cpp.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>

#include "import.hpp"

namespace {

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

// Reads a real number with the formatted-scanning rule (5.4321(3) reads as 5.4321); the value
// must be finite.
bool read_real(const char* s, double* out) {
    if (s == nullptr) return false;
    double v = 0.0;
    if (std::sscanf(s, "%lf", &v) != 1 || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// Type letters from a symbol such as "Li1+" or "O2-": the first letter and the next character
// when that is a letter too. False when there is no letter.
bool type_from_symbol(char type[3], const char* value) {
    const char* p = value;
    while (*p != '\0' && !std::isalpha(static_cast<unsigned char>(*p))) p++;
    if (*p == '\0') return false;
    type[0] = *p;
    type[1] = std::isalpha(static_cast<unsigned char>(p[1])) ? p[1] : '\0';
    type[2] = '\0';
    return true;
}

}  // namespace

// --------------------------------------------------------------------------------------------
// Column readers
// --------------------------------------------------------------------------------------------

int kelmar_cell_import_cif_read_atom_name(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop) {
    const long col = loop_column(loop, "_atom_site_label");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_label'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = kelmar_cif_loop_cell(loop, static_cast<long>(i + 1), col);
        if (v == nullptr) {
            std::fprintf(stderr, "Error: sscanf() returns 0.\n");
            return 1;
        }
        kelmar_copy_field(atom[i].name, v);
        atom[i].value = 99.0;
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom_type(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop) {
    const long col = loop_column(loop, "_atom_site_type_symbol");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_type_symbol'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = kelmar_cif_loop_cell(loop, static_cast<long>(i + 1), col);
        char value[128] = {};
        kelmar_copy_field(value, v ? v : "");
        if (!type_from_symbol(atom[i].type, value)) {
            std::fprintf(stderr, "Error: invalid field content %s.\n", value);
            return 1;
        }
        const char* digit = value;
        while (*digit != '\0' && !std::isdigit(static_cast<unsigned char>(*digit))) digit++;
        if (*digit == '\0') {
            atom[i].value = 99.0;
            continue;
        }
        double os = 0.0;
        if (std::sscanf(digit, "%lf", &os) != 1 || !std::isfinite(os)) os = 99.0;
        // the sign may also stand before the number (O-2 as well as O2-)
        else if (std::strchr(value, '-') != nullptr) os = -os;
        atom[i].value = os;
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom_typeos(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop,
                                            const KELMAR_CIF_LOOP& loop_type) {
    const long col = loop_column(loop, "_atom_site_type_symbol");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_type_symbol'.\n");
        return 1;
    }
    const long c_sym = loop_column(loop_type, "_atom_type_symbol");
    const long c_os = loop_column(loop_type, "_atom_type_oxidation_number");
    if (c_sym < 0 || c_os < 0 || c_sym == c_os) {
        std::fprintf(stderr, "Error: invalid keywords.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = kelmar_cif_loop_cell(loop, static_cast<long>(i + 1), col);
        char value[128] = {};
        kelmar_copy_field(value, v ? v : "");
        if (!type_from_symbol(atom[i].type, value)) {
            std::fprintf(stderr, "Error: invalid field content %s.\n", value);
            return 1;
        }
        bool found = false;
        for (long r = 1; r < static_cast<long>(loop_type.size()); r++) {
            const char* s = kelmar_cif_loop_cell(loop_type, r, c_sym);
            if (s == nullptr || std::strcmp(s, value) != 0) continue;
            double os = 99.0;
            if (!read_real(kelmar_cif_loop_cell(loop_type, r, c_os), &os)) os = 99.0;
            atom[i].value = os;
            found = true;
            break;
        }
        if (!found) {
            std::fprintf(stderr, "Error: invalid field.\n");
            return 1;
        }
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop) {
    const long c_occ = loop_column(loop, "_atom_site_occupancy");
    const long c_x[3] = {loop_column(loop, "_atom_site_fract_x"), loop_column(loop, "_atom_site_fract_y"),
                         loop_column(loop, "_atom_site_fract_z")};
    if (c_occ < 0 || c_x[0] < 0 || c_x[1] < 0 || c_x[2] < 0) {
        std::fprintf(stderr, "Error: invalid keywords.\n");
        return 1;
    }
    static const char* const axis = "xyz";
    for (std::size_t i = 0; i < atom.size(); i++) {
        const long r = static_cast<long>(i + 1);
        double occ = 0.0;
        if (!read_real(kelmar_cif_loop_cell(loop, r, c_occ), &occ)) {
            std::fprintf(stderr, "Error: unable to read occupancy.\n");
            return 1;
        }
        // a negative occupancy is no site at all; it would also poison every weighted draw later
        if (occ < 0.0) {
            std::fprintf(stderr, "Error: negative occupancy %f at %s.\n", occ, atom[i].name);
            return 1;
        }
        atom[i].occ = occ;
        for (int k = 0; k < 3; k++) {
            double x = 0.0;
            if (!read_real(kelmar_cif_loop_cell(loop, r, c_x[k]), &x)) {
                std::fprintf(stderr, "Error: unable to read fractional %c.\n", axis[k]);
                return 1;
            }
            x = std::fmod(x, 1.0);
            if (x < 0.0) x += 1.0;
            if (x >= 1.0) x -= 1.0;
            atom[i].x_f[k] = x;
        }
    }
    return 0;
}

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

int kelmar_cell_import_cif_read_lattice(KELMAR_CELL* cell, const std::vector<std::string>& lines) {
    static const char* const tags[6] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                                        "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
    double v[6];
    for (int i = 0; i < 6; i++) {
        auto s = kelmar_cell_import_cif_grep_keyword(tags[i], lines);
        if (!s) {
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_grep_keyword() returns NULL.\n");
            return 1;
        }
        if (!read_real(s->c_str(), &v[i])) {
            std::fprintf(stderr, "Error: unable to read %s.\n", tags[i]);
            return 1;
        }
    }
    for (int i = 0; i < 3; i++) {
        cell->parameter[i] = v[i];
        cell->angle[i] = v[i + 3];
    }
    // A cell of zero or negative length, or angles that close no cell, has no volume: every
    // later distance and fractional conversion would divide by it.
    const double vol = kelmar_cell_calculate_volume(cell);
    if (v[0] <= 0.0 || v[1] <= 0.0 || v[2] <= 0.0 || v[3] <= 0.0 || v[4] <= 0.0 || v[5] <= 0.0 || v[3] >= 180.0 ||
        v[4] >= 180.0 || v[5] >= 180.0 || !(vol > 1e-6) || !std::isfinite(vol)) {
        std::fprintf(stderr, "Error: invalid lattice %f %f %f %f %f %f.\n", v[0], v[1], v[2], v[3], v[4], v[5]);
        return 1;
    }
    auto z = kelmar_cell_import_cif_grep_keyword("_cell_formula_units_Z", lines);
    cell->Z = 0;
    if (!z || std::sscanf(z->c_str(), "%d", &cell->Z) != 1) {
        cell->Z = 0;
        std::printf("Warning: _cell_formula_units_Z is not available. \n");
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Atom-list steps
// --------------------------------------------------------------------------------------------

int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom) {
    for (auto& at : atom) {
        if (at.type[0] != '\0') continue;
        if (!type_from_symbol(at.type, at.name)) {
            std::fprintf(stderr, "Error: unable to read atom.type from atom.name.\n");
            return 1;
        }
    }
    return 0;
}

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
                at.os_default = true;
                break;
            }
        }
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Reading a structure
// --------------------------------------------------------------------------------------------

int kelmar_cell_import_cif_from_text(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const KELMAR_TEXT* text, const char* dir_symcards, const char* dir_unitary) {
    cell->reset();
    symmetry->reset();
    std::printf("Message: reading cif file...\n");
    std::vector<std::string> lines;
    kelmar_text_segregate_into_rows(lines, text, '\n');

    auto sym = kelmar_symmetry_import_from_array_char_2D(lines, dir_symcards);
    if (!sym) {
        std::fprintf(stderr, "Error: kelmar_symmetry_import_from_array_char_2D() returns NULL.\n");
        return 1;
    }
    KELMAR_CIF_LOOP loop;
    long loop_r = 0, loop_c = 0;
    if (kelmar_cell_import_cif_grep_loop(&loop, &loop_r, &loop_c, "_atom_site_label", lines) != 0) {
        std::fprintf(stderr, "Error: unable to find compulsory keyword '_atom_site_label' in cif file.\n");
        return 1;
    }
    std::vector<KELMAR_ATOM> atom(static_cast<std::size_t>(loop_r - 1));
    if (kelmar_cell_import_cif_read_atom_name(atom, loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_name() returns non-zero.\n");
        return 1;
    }
    if (!kelmar_cell_import_cif_exist_keyword("_atom_site_type_symbol", lines)) {
        std::printf("Message: unable to find keyword '_atom_site_type_symbol'.\n");
    } else if (kelmar_cell_import_cif_exist_keyword("_atom_type_oxidation_number", lines)) {
        KELMAR_CIF_LOOP loop_type;
        long tr = 0, tc = 0;
        if (kelmar_cell_import_cif_grep_loop(&loop_type, &tr, &tc, "_atom_type_symbol", lines) != 0) {
            std::fprintf(stderr, "Error: unable to find keyword '_atom_type_symbol' in cif file.\n");
            return 1;
        }
        if (kelmar_cell_import_cif_read_atom_typeos(atom, loop, loop_type) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_typeos() returns non-zero.\n");
            return 1;
        }
    } else if (kelmar_cell_import_cif_read_atom_type(atom, loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_type() returns non-zero.\n");
        return 1;
    }
    if (kelmar_cell_import_cif_read_atom(atom, loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom() returns non-zero.\n");
        return 1;
    }
    if (kelmar_atom_name_to_type(atom) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_name_to_typeos() returns non-zero.\n");
        return 1;
    }
    if (kelmar_atom_fork_os(atom) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_fork_os() returns non-zero.\n");
        return 1;
    }
    if (kelmar_atom_spawn_by_symmetry(atom, sym.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_spawn_by_symmetry() returns non-zero.\n");
        return 1;
    }
    auto c = kelmar_cell_new(0);
    c->atom = std::move(atom);
    if (kelmar_cell_import_cif_read_lattice(c.get(), lines) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_lattice() returns non-zero.\n");
        return 1;
    }
    kelmar_cell_update_cartesion(c.get());
    bool unknown = false;
    for (const auto& at : c->atom) unknown = unknown || at.os == KELMAR_OS_UNKNOWN;
    if (kelmar_atom_update_default_os(c->atom, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_update_default_os() returns non-zero.\n");
        return 1;
    }
    // states filled in from the parameter file can break the type/state order of the list
    if (unknown) kelmar_atom_sort(c->atom);
    kelmar_cell_update_name(c.get());
    std::printf("Message: calculated cell volume = %f\n", kelmar_cell_calculate_volume(c.get()));
    *cell = std::move(c);
    *symmetry = std::move(sym);
    return 0;
}

int kelmar_cell_import_cif_from_file(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const char* cif, const char* dir_symcards, const char* dir_unitary) {
    cell->reset();
    symmetry->reset();
    auto text = kelmar_text_import_from_file(cif);
    if (!text) {
        std::fprintf(stderr, "Error: kelmar_text_import_from_file() returns NULL.\n");
        return 1;
    }
    if (kelmar_cell_import_cif_from_text(cell, symmetry, text.get(), dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_text() returns NULL.\n");
        return 1;
    }
    return 0;
}

std::vector<std::unique_ptr<KELMAR_CELL>> kelmar_cells_import_cif_from_file(const char* filename, int total,
                                                                            const char* dir_symcards,
                                                                            const char* dir_unitary) {
    std::vector<std::unique_ptr<KELMAR_CELL>> cells;
    if (total <= 0) {
        std::fprintf(stderr, "Error: number of cells must be larger than zero.\n");
        return cells;
    }
    for (int i = 0; i < total; i++) {
        char name[1100];
        std::snprintf(name, sizeof(name), "%s.%d.cif", filename, i);
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        if (kelmar_cell_import_cif_from_file(&cell, &sym, name, dir_symcards, dir_unitary) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
            cells.clear();
            return cells;
        }
        cells.push_back(std::move(cell));
    }
    return cells;
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
    kelmar_text_appendf(t, "_cell_length_a                    %.6f\r\n", cell->parameter[0]);
    kelmar_text_appendf(t, "_cell_length_b                    %.6f\r\n", cell->parameter[1]);
    kelmar_text_appendf(t, "_cell_length_c                    %.6f\r\n", cell->parameter[2]);
    kelmar_text_appendf(t, "_cell_angle_alpha                 %.6f\r\n", cell->angle[0]);
    kelmar_text_appendf(t, "_cell_angle_beta                  %.6f\r\n", cell->angle[1]);
    kelmar_text_appendf(t, "_cell_angle_gamma                 %.6f\r\n", cell->angle[2]);
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
        kelmar_text_appendf(t, "  %s  %s%d%c  %.8f  %.8f  %.8f  %.6f\r\n", label, a.type, std::abs(a.os),
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

// --------------------------------------------------------------------------------------------
// Symmetry of a CIF
// --------------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_from_array_char_2D(const std::vector<std::string>& lines,
                                                                           const char* dir_symcards) {
    static const char* const op_tags[2] = {"_symmetry_equiv_pos_as_xyz", "_space_group_symop_operation_xyz"};
    KELMAR_CIF_LOOP loop;
    long loop_r = 0, loop_c = 0;
    bool found = false;
    for (const char* tag : op_tags) {
        if (kelmar_cell_import_cif_grep_loop(&loop, &loop_r, &loop_c, tag, lines) == 0) {
            found = true;
            break;
        }
    }
    if (found) {
        std::printf("Message: determining symmetry from _symmetry_equiv_pos_as_xyz/_space_group_symop_operation_xyz ...\n");
        long col = -1;
        for (long c = 0; c < loop_c; c++) {
            const std::string& tag = loop[0][static_cast<std::size_t>(c)];
            if (tag == op_tags[0] || tag == op_tags[1]) col = c;
        }
        if (col < 0 || loop_r < 2) {
            std::fprintf(stderr, "Error: unable to find the column of symmetry operations.\n");
            return nullptr;
        }
        auto sym = kelmar_symmetry_new(static_cast<int>(loop_r - 1));
        for (long r = 1; r < loop_r; r++) {
            const char* value = kelmar_cif_loop_cell(loop, r, col);
            if (value == nullptr || kelmar_card_set_by_text(&sym->card[static_cast<std::size_t>(r - 1)], value) != 0) {
                std::fprintf(stderr, "kelmar_card_set_by_text() returns non-zero.\n");
                return nullptr;
            }
        }
        return sym;
    }
    std::printf("Warning: kelmar_cell_import_cif_grep_loop() returns non-zero.\n");

    auto first_value = [&lines](std::initializer_list<const char*> tags) -> std::optional<std::string> {
        for (const char* tag : tags) {
            // an empty quoted value ('') names nothing; as a substring it would match any record
            auto v = kelmar_cell_import_cif_grep_keyword(tag, lines);
            if (v && v->find_first_not_of(" \t") != std::string::npos) return v;
        }
        return std::nullopt;
    };
    if (auto hm = first_value({"_symmetry_space_group_name_H-M", "_space_group_name_H-M_alt"})) {
        std::printf("Message: determining symmetry from H-M symbol ...\n");
        auto sym = kelmar_symmetry_import_by_keyword_HM(hm->c_str(), dir_symcards);
        if (!sym) std::fprintf(stderr, "kelmar_symmetry_import_by_keyword_HM() returns NULL.\n");
        return sym;
    }
    if (auto id = first_value({"_symmetry_Int_Tables_number", "_space_group_IT_number", "_space_group_id"})) {
        std::printf("Message: determining symmetry from IT id ...\n");
        auto sym = kelmar_symmetry_import_by_keyword_id(id->c_str(), dir_symcards);
        if (!sym) std::fprintf(stderr, "kelmar_symmetry_import_by_keyword_id() returns NULL.\n");
        return sym;
    }
    if (auto hall = first_value({"_symmetry_space_group_name_Hall", "_space_group_name_Hall"})) {
        std::printf("Message: determining symmetry from Hall symbol ...\n");
        auto sym = kelmar_symmetry_import_by_keyword_Hall(hall->c_str(), dir_symcards);
        if (!sym) std::fprintf(stderr, "kelmar_symmetry_import_by_keyword_Hall() returns NULL.\n");
        return sym;
    }
    std::fprintf(stderr, "Error: no symmetry operations, H-M symbol, IT number or Hall symbol found.\n");
    return nullptr;
}
