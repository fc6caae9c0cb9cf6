// Damaged copies of one small CIF that both programs must refuse with a clear message: numbers
// that are no numbers, a data name given twice, operations that are no crystallographic
// operations, and cells no grid or image search can cover.
#pragma once

#include <string>
#include <vector>

namespace strictcases {

// CsCl in P -1 with its two operations, oxidation states and occupancies.
inline const std::string kBase =
    "data_t\n"
    "_cell_length_a 4.2\n_cell_length_b 4.2\n_cell_length_c 4.2\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
    "loop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n'-x, -y, -z'\n"
    "loop_\n_atom_type_symbol\n_atom_type_oxidation_number\nCs+ 1\nCl- -1\n"
    "loop_\n_atom_site_type_symbol\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
    "_atom_site_fract_z\n_atom_site_occupancy\nCs+ Cs1 0 0 0 1\nCl- Cl1 0.5 0.5 0.5 1\n";

struct Case {
    const char* what;
    const char* from;     // text of kBase replaced ...
    const char* to;       // ... by this
    const char* kelmar;   // part of kelmar.x's error text
    const char* naro;     // part of NARO.x's error text
};

inline const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"two dots", "_cell_length_a 4.2", "_cell_length_a 4..2", "value '4..2' of _cell_length_a is not a number",
         "value '4..2' of _cell_length_a is not a number"},
        {"letters after a number", "Cl1 0.5 0.5", "Cl1 0.5abc 0.5",
         "value '0.5abc' of _atom_site_fract_x in row 2 of its loop (Cl1) is not a number",
         "value '0.5abc' of _atom_site_fract_x in row 2 of its loop (Cl1) is not a number"},
        {"two decimal points", "Cl1 0.5 0.5 0.5", "Cl1 0.5 0.5.5 0.5", "'0.5.5' of _atom_site_fract_y in row 2",
         "'0.5.5' of _atom_site_fract_y in row 2"},
        {"bare exponent", "0.5 0.5 0.5 1", "0.5 0.5 0.5 1e", "'1e' of _atom_site_occupancy in row 2",
         "'1e' of _atom_site_occupancy in row 2"},
        {"hexadecimal float", "Cl1 0.5 0.5 0.5", "Cl1 0.5 0.5 0x1p-1", "'0x1p-1' of _atom_site_fract_z",
         "'0x1p-1' of _atom_site_fract_z"},
        {"oxidation number not a number", "Cl- -1", "Cl- -1x", "'-1x' of _atom_type_oxidation_number in row 2",
         "'-1x' of _atom_type_oxidation_number in row 2"},
        {"data name twice", "_cell_angle_gamma 90\n", "_cell_angle_gamma 90\n_cell_length_a 5.0\n",
         "the data name _cell_length_a is given twice in data_t", "the data name _cell_length_a is given twice"},
        {"singular operation", "'-x, -y, -z'", "'0,0,0'", "invalid symmetry operation '0,0,0' (the operation is singular)",
         "Invalid symmetry operation"},
        {"repeated variable", "'-x, -y, -z'", "'x,x,z'", "invalid symmetry operation 'x,x,z'", "Invalid symmetry operation"},
        {"coefficient 2", "'-x, -y, -z'", "'2x,y,z'", "invalid symmetry operation '2x,y,z'", "Invalid symmetry operation"},
        {"dangling sign", "'-x, -y, -z'", "'x,y,-z+'", "invalid symmetry operation 'x,y,-z+' (a sign has no term after it)",
         "Invalid symmetry operation"},
        {"tiny cell", "_cell_length_a 4.2", "_cell_length_a 0.0001", "_cell_length_a 0.0001 A is shorter than 0.5 A",
         "_cell_length_a 0.0001 A is shorter than 0.5 A"},
        {"flat cell", "_cell_angle_gamma 90", "_cell_angle_gamma 179.999", "thick across its a axis",
         "thick across its a axis"},
        {"huge cell", "_cell_length_c 4.2", "_cell_length_c 90000", "_cell_length_c 90000 A is longer than 1000 A",
         "_cell_length_c 90000 A is longer than 1000 A"},
    };
    return all;
}

// kBase with one case's damage; empty when the text to replace is not found.
inline std::string damaged(const Case& c) {
    std::string s = kBase;
    const std::size_t p = s.find(c.from);
    if (p == std::string::npos) return {};
    return s.replace(p, std::string(c.from).size(), c.to);
}

}  // namespace strictcases
