// The library of migration paths: the distinct hops between minima, every periodic copy
// of each hop with its cell crossings, and the grid walks they follow.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "records.hpp"

// One distinct hop: start minimum -> saddle -> end minimum, recorded once per
// combination of start type, end type and saddle type.
struct NARO_path {
    int start = 0, end = 0;          // indices in the minima list
    int saddle = 0;                  // index in the saddle list
    int start_type = 0, end_type = 0, saddle_type = 0;
    double start_energy = 0, end_energy = 0, saddle_energy = 0;   // unscaled
    double tortuosity = 0;           // length / straightline_length
    double straightline_length = 0;  // Angstrom between the two minimum images
    double length = 0;               // Angstrom along the grid path
    int oneD = 0, twoD = 0, threeD = 0;
    int color = -1, style = -1, in_rp = 0;
    int start_p = 0, start_q = 0, start_r = 0;   // image offsets of the minima, in cells
    int end_p = 0, end_q = 0, end_r = 0;
    int by_descent = 0;   // 1 when the ends were found by steepest descent from the saddle
};

// One periodic copy of a distinct hop, through one particular saddle.
struct NARO_allpath {
    int start = 0, end = 0, saddle = 0;
    int start_type = 0, end_type = 0, saddle_type = 0;
    double length = 0;
    // Cell offsets of the start and end minimum images relative to the saddle's cell.
    int start_crossx = 0, start_crossy = 0, start_crossz = 0;
    int end_crossx = 0, end_crossy = 0, end_crossz = 0;
    double start_energy = 0, end_energy = 0, saddle_energy = 0;
};

struct NARO_pathlib {
    int pathlib = 0;                     // 1 when in use
    int total_path = 0;                  // always path.size()
    std::vector<NARO_path> path;         // distinct hops, ascending saddle energy
    int total_allpath = 0;               // always allpath.size()
    std::vector<NARO_allpath> allpath;   // every copy, ascending saddle energy
    double oneD = 999.0, twoD = 999.0, threeD = 999.0;   // activation energies (scaled)
};


// A walk over unwrapped grid points.
struct NARO_grid_path {
    int length = 0;                          // number of points
    int saddle = 0;                          // index of the highest point
    std::vector<int> color, style, marker;   // one per point, -1 = none
    std::vector<NARO_path_triple_index> grid;
};

// ---------------------------------------------------------------- library
void NARO_init_pathlib(NARO_pathlib& pathlib);
int NARO_copy_pathlib(const NARO_pathlib& in, NARO_pathlib& out);
void NARO_free_pathlib(NARO_pathlib& pathlib);
int NARO_isin_pathlib(const NARO_pathlib& pathlib, int start_type, int end_type, int saddle_type);
int NARO_bubblesort_pathlib(NARO_pathlib& pathlib);
int NARO_get_allpath_to_path_index(const NARO_pathlib& pathlib, int k);
void NARO_delete_pathlib_path(NARO_pathlib& pathlib, int k);
void NARO_delete_pathlib_allpath(NARO_pathlib& pathlib, int k);
void NARO_insert_pathlib_allpath(NARO_pathlib& pathlib, const NARO_allpath& ap, int pos);
void NARO_pop_pathlib_allpath(NARO_pathlib& pathlib);
void NARO_reverse_pathlib_allpath(NARO_allpath& ap);

// Comparison modes: 1 same start and end; 2 mode 1 in either orientation; 3 same start
// and end offsets; 5 same saddle; 6 same saddle type; 13 modes 1 and 3; 135 modes 5 and 13.
int NARO_is_allpath_equal(const NARO_allpath& ap1, const NARO_allpath& ap2, int mode);
int NARO_is_allpath_start_end_equal(const NARO_allpath& ap1, const NARO_allpath& ap2);
NARO_cellcross_diff NARO_get_cellcrossdiff_from_allpath(const NARO_allpath& ap);
int NARO_is_cellcross_equal(const NARO_cellcross& c1, const NARO_cellcross& c2);
int NARO_is_cellcrossdiff_equal(const NARO_cellcross_diff& d1, const NARO_cellcross_diff& d2);
double NARO_allpath_angle(const NARO_cube& cube, const NARO_allpath& ap);
double NARO_find_loc_distance(const NARO_cube& cube, NARO_cubeloc p1, NARO_cubeloc p2);
// 1 when the two unwrapped minimum images (grid units) coincide or one all-path joins them.
int NARO_is_direct_path_between_minima(const NARO_cube& cube, const NARO_pathlib& pathlib, int x1,
                                       int y1, int z1, int x2, int y2, int z2);

// ---------------------------------------------------------------- building
int NARO_build_path(const NARO_cube& cube, const NARO_cif& cif, NARO_pathlib& pathlib, int deWarn);
int NARO_build_allpaths(const NARO_cube& cube, const NARO_cif& cif, NARO_pathlib& pathlib);
int NARO_filter_redundant_path(const NARO_cube& cube, NARO_pathlib& pathlib);

// The whole library from the current stationary points: distinct paths, all their copies, the
// redundant copies removed. 1 after an "Error:" line naming the stage that failed.
int naro_path_library_build(const NARO_cube& cube, const NARO_cif& cif, NARO_pathlib& pathlib, int deWarn);

// Returns 0 when built, -1 when rejected, 1 on failure.
int NARO_build_half_grid_path(const NARO_cube& cube, NARO_grid_path& path, NARO_cubeloc from,
                              NARO_cubeloc to);
int NARO_build_grid_path(const NARO_cube& cube, NARO_grid_path& path, NARO_cubeloc start,
                         NARO_cubeloc saddle, NARO_cubeloc end);
int NARO_concatenate_grid_path(NARO_grid_path& path, const NARO_grid_path& tail);
void NARO_refresh_path_saddle(const NARO_cube& cube, NARO_grid_path& path);
int NARO_halfpath_is_irreducible(const NARO_cube& cube, const NARO_grid_path& path);
double NARO_path_length_in_Angstrom(const NARO_cube& cube, const NARO_grid_path& path);
void NARO_reverse_path(NARO_grid_path& path);
void NARO_free_grid_path(NARO_grid_path& path);

void NARO_print_pathlib(const NARO_cube& cube, const NARO_pathlib& pathlib, FILE* out);
