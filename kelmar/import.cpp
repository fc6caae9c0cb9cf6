// CIF writing, the fixed-site column, the oxidation-state steps of reading, and the symmetry of a
// CIF from its lines. The structure reader is import-cif.cpp (on the tokenizer of cif-doc.cpp);
// the line-level scanning of the plain CIF subset is in import-cif-scan.cpp.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "data-file.hpp"
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

}  // namespace

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
    std::vector<std::string> data;
    if (!read_data_block(dir_unitary, data)) {
        std::fprintf(stderr, "Error: unable to open %s\n", dir_unitary ? dir_unitary : "(null)");
        return 1;
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
