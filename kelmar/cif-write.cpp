// CIF writing: one site per orbit in a fixed layout with CR LF line ends.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

#include "atom-order.hpp"
#include "cif-spacegroup.hpp"
#include "cell-ops.hpp"
#include "cif-write.hpp"

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
    // the group's name and number: as read, or else the setting the operations describe, so that
    // other programs read the file back
    std::string hm = symmetry->sg_HM;
    int number = symmetry->sg_id;
    if (hm.empty() || number <= 0) {
        std::vector<std::string> ops;
        for (int i = 0; i < symmetry->total(); i++) ops.emplace_back(symmetry->card[static_cast<std::size_t>(i)].text);
        const CifSpaceGroupName name = cif_space_group_of_ops(ops);
        if (name.number > 0) {
            hm = name.hm;
            number = name.number;
        }
    }
    kelmar_text_appendf(t, "_symmetry_space_group_name_H-M    '%s'\r\n", hm.c_str());
    kelmar_text_appendf(t, "_symmetry_Int_Tables_number       %d\r\n", number);
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
