// The records the analyser's modules share (command line, structure, landscape,
// stationary points). Each module declares its functions in its own header.
//
// Lists are std::vector; where a record also carries a count field (total_minima,
// site_no, ...) the count always equals the vector's size and is kept in step by the
// add/delete functions, so loops may use either.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------- limits
inline constexpr int NARO_MAX_SYMOP = 192;           // operations / copies per point
inline constexpr int NARO_MAX_ION_DELOCALISED_SITES = 26;
inline constexpr int NARO_MAX_SITE_ION_TYPE = 26;
inline constexpr int NARO_CIF_MAX_MULTIPLE_LINES = 8;
inline constexpr int NARO_MAX_TOKEN_SIZE = 99;

// ---------------------------------------------------------------- command line
struct NARO_input {
    int scaling = 0;
    std::string scaling_expression;   // at most 99 characters
    int cube = 0;
    std::string cube_file;            // at most 999 characters
    double max = 0.0;
    int cif = 0;
    std::string cif_file;
    int ion = 0;
    std::string ion_type;             // at most 9 characters, e.g. "Na1+"
    int path = 0;
    int vesta = 0;
    int summary = 0;
    int cmd = 0;
    int HK = 0;
    int gui = 0;
    int calc_charge = 0;
    int calc_bvsum = 0;
    int calc_gii = 0;
    int print_minima = 0;
    int print_saddle = 0;
    int print_path = 0;
    int print_perc = 0;
    int print_act = 0;
    int print_symops = 0;
    int print_all_sites = 0;
    int smooth_cube = 0;
    int check_sub = 0;
    int check_subs = 0;
    int dir = 0;
    std::string output_dir;           // empty until --dir; at most 1000 characters
    int deWarn = 0;
    // Set when a flag that needs a value stood last on the command line; the driver
    // then stops with status 1.
    std::string missing_value_flag;
    std::string unknown_flag;        // first word that looks like a flag and is none
};

// ---------------------------------------------------------------- small index records
struct NARO_cube_triple_index { int x = 0, y = 0, z = 0; };
struct NARO_cube_triple_index_dbl { double x = 0, y = 0, z = 0; };
struct NARO_xyz_int { int x = 0, y = 0, z = 0; };
// Grid points (unwrapped) and cell crossings of migration paths.
struct NARO_path_triple_index { int x = 0, y = 0, z = 0; };
struct NARO_cubeloc { int x = 0, y = 0, z = 0; };
struct NARO_cellcross { int x = 0, y = 0, z = 0; };
using NARO_cellcross_diff = NARO_path_triple_index;

// ---------------------------------------------------------------- expression evaluator
enum NARO_token_type { type_op = 0, type_number = 1, type_var = 2 };

struct NARO_RPN_token_item {
    NARO_token_type token_type = type_number;
    double number = 0.0;   // for numbers
    char symbol = 0;       // operator or variable letter
};

struct NARO_RPN_token {
    int size = 0;
    int cap = 0;
    std::vector<NARO_RPN_token_item> item;
};

struct NARO_variable_list {
    std::array<double, 52> value{};   // 'A'..'Z' in 0..25, 'a'..'z' in 26..51
};

struct NARO_char_stack {
    int size = 0;
    int cap = 0;
    std::vector<char> item;
};

struct NARO_RPN_number_stack {
    int size = 0;
    int cap = 0;
    std::vector<double> item;
};

// ---------------------------------------------------------------- structure model
struct NARO_type {
    std::string label;          // e.g. "Na1+" (at most 9 characters)
    std::string label_element;  // leading letters of the label, e.g. "Na"
    double ox = 0.0;
    int flag = 0;               // running number of the type
};

struct NARO_site {
    std::string label;          // at most 9 characters
    std::string type;           // type symbol
    double x = 0, y = 0, z = 0; // fractional
    int mul = 0;
    char Wyckoff = '.';
    double occ = 1.0;
    double ox = 0.0;
    double bv_sum = 0.0;
    int type_flag = 0;
    double radius = 0.0;
    int ox_set = 0;             // 1 once an oxidation state is known for the site
};

struct NARO_equiv_pos_frac_coor { double a = 0, b = 0, c = 0; };

struct NARO_equiv_pos {
    int total_copies = 0;
    std::vector<NARO_equiv_pos_frac_coor> frac;
};

// One symmetry operation as integers on the grid:
// new x = x_x*x + x_y*y + x_z*z + x_a (translations in grid steps), likewise y and z.
struct NARO_fastgen_symop {
    int x_x = 0, x_y = 0, x_z = 0, x_a = 0;
    int y_x = 0, y_y = 0, y_z = 0, y_a = 0;
    int z_x = 0, z_y = 0, z_z = 0, z_a = 0;
};

struct NARO_fastgen_symcopies {
    int total = 0;
    std::vector<NARO_fastgen_symop> op;   // at most NARO_MAX_SYMOP
};

struct NARO_fastgen_xyz {
    int x = 0, y = 0, z = 0;
    double p = 0, q = 0, r = 0;
};

struct NARO_symcopies {
    int total = 0;
    std::array<NARO_fastgen_xyz, NARO_MAX_SYMOP> copy{};
};

struct NARO_cif {
    int cif = 0;
    int ion = 0;
    std::string spacegroup_HM;      // at most 19 characters
    std::string chem_form_struct;   // at most 199 characters
    std::string chem_form_sum;
    std::string ICSD;               // at most 9 characters
    double a = 0, b = 0, c = 0, alpha = 0, beta = 0, gamma = 0, volume = 0;
    double R_factor = 0;
    int z = 0;
    int int_tab_cryst_no = 0;
    double unit_cell_charge = 0;
    int type_no = 0;
    int type_no_cap = 0;
    std::vector<NARO_type> type;
    int type_flag_counter = 0;
    int site_charge_provided = 0;
    int site_no = 0;
    int site_no_cap = 0;
    std::vector<NARO_site> site;
    int site_all_no = 0;
    std::vector<NARO_site> site_all;
    int symop_no = 0;
    std::vector<std::string> symop;  // e.g. "x,y,z"
    std::string probe_type;          // e.g. "Na1+"
    NARO_fastgen_symcopies fg;
    int diff_neigh = 0;
    double d1 = 0, d2 = 0, d3 = 0, d4 = 0, d5 = 0, d6 = 0;
};

// Bond-valence parameter table of the types of one structure.
struct NARO_bv_bin_item {
    int status = 0;
    double b = 0, r0 = 0, cutoff = 0;
};

struct NARO_bv_bin {
    int total = 0;
    std::vector<std::vector<NARO_bv_bin_item>> item;   // total x total
};

// ---------------------------------------------------------------- landscape
struct NARO_site_occupied_ion {
    std::string label;   // CIF site label (at most 7 characters)
    double occ = 0.0;    // share of the site's occupancy held by this minimum
};

struct NARO_minima {
    int x = 0, y = 0, z = 0;          // grid indices in [0, n)
    double tx = 0, ty = 0, tz = 0;    // true position in grid units
    int type = 0;                     // 1-based symmetry type; 0 = not typed
    int mul = 0;
    double e = 0;                     // unscaled, above the global minimum
    double bv = 0, cn = 0;
    int total_ions = 0;
    int total_ions_cap = 0;
    std::vector<NARO_site_occupied_ion> ion;
    int ins_label = 0;                // interstitial number, 0 = none
};

struct NARO_saddle {
    int x = 0, y = 0, z = 0;
    double tx = 0, ty = 0, tz = 0;
    int type = 0;
    int mul = 0;
    double e = 0;
    double bv = 0, cn = 0;
};

struct NARO_cube {
    int cube = 0;
    int smooth_cube = 0;
    double a_x = 0, a_y = 0, a_z = 0, b_x = 0, b_y = 0, b_z = 0, c_x = 0, c_y = 0, c_z = 0;
    double a = 0, b = 0, c = 0;
    double a_unit = 0, b_unit = 0, c_unit = 0;
    double alpha = 0, beta = 0, gamma = 0;   // radians
    double volume = 0;
    int a_grid = 0, b_grid = 0, c_grid = 0;
    // Energies, flat, index (x * b_grid + y) * c_grid + z; see NARO_energy_at.
    std::vector<double> energy;
    double global_minimum = 0;
    double max_energy_above_gmin = 0;
    double max_energy = 0;
    double energy_shift = 0;
    int ion_charge = 0;
    std::string ion_elem;   // e.g. "Na"
    std::string ion_type;   // e.g. "Na1+"
    int scube_total = 0;
    int scube_cap = 0;
    std::vector<NARO_cube_triple_index> scube;
    int scaling = 0;
    NARO_RPN_token RPN;
    int total_minima = 0;
    int total_saddle = 0;
    int total_minima_cap = 0;
    int total_saddle_cap = 0;
    int total_minima_type = 0;
    int total_saddle_type = 0;
    // First list index of each type, indexed by type (entry 0 unused); entry
    // total_*_type + 1 holds the list size, so type t spans
    // [type_index[t], type_index[t + 1]).
    std::vector<int> minima_type_index;
    std::vector<int> saddle_type_index;
    std::vector<NARO_minima> minima;
    std::vector<NARO_saddle> saddle;
    double d1 = 0, d2 = 0, d3 = 0, d4 = 0, d5 = 0, d6 = 0;
    int lines_to_ignore = 0;
};

// Unwrapped access to the grid; indices must already lie in range.
inline double& NARO_energy_at(NARO_cube& cube, int x, int y, int z) {
    return cube.energy[(static_cast<size_t>(x) * cube.b_grid + y) * cube.c_grid + z];
}
inline double NARO_energy_at(const NARO_cube& cube, int x, int y, int z) {
    return cube.energy[(static_cast<size_t>(x) * cube.b_grid + y) * cube.c_grid + z];
}

// k nearest periodic images of minima (or saddles) around a target point.
struct NARO_nearest_neighbour_item {
    int index = -1;             // index in the minima (saddle) list
    int i = 0, j = 0, l = 0;    // image offset in cells
    double distance = 999999;   // Angstrom
};

struct NARO_nearest_neighbour {
    int total = 0;              // k
    int include_target = 1;     // 0 when an image coincides with the target
    double x = 0, y = 0, z = 0; // target in grid units
    std::vector<NARO_nearest_neighbour_item> item;
};

struct NARO_asymmetric_unit {
    int total = 0;
    int cap = 0;
    std::vector<NARO_xyz_int> grid;   // one representative per orbit
    int stotal = 0;
    int scap = 0;
    std::vector<NARO_xyz_int> sgrid;  // representatives below global minimum + 5 eV
};

struct NARO_same_energy_grid_list {
    int total = 0;
    int cap = 0;
    std::vector<NARO_cube_triple_index> item;
};
