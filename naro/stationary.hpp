// Stationary points of the landscape: integer symmetry operations on the grid, the
// asymmetric unit, symmetry smoothing, minimum and saddle search, grouping by symmetry,
// ion assignment and the printouts.
#pragma once

#include <cstdio>
#include <string>

#include "records.hpp"

void NARO_prepare_fastgen_symop(NARO_cif& cif, const NARO_cube& cube);
void NARO_fastgen_sym_copies(const NARO_cif& cif, const NARO_cube& cube, NARO_symcopies& copies,
                             int x, int y, int z);
void NARO_fastgen_sym_copies_dbl(const NARO_cif& cif, const NARO_cube& cube, NARO_symcopies& copies,
                                 double p, double q, double r);
int NARO_is_symmetrically_related(const NARO_cif& cif, const NARO_cube& cube, int x1, int y1, int z1,
                                  int x2, int y2, int z2);
void NARO_condense_copies(const NARO_cif& cif, const NARO_cube& cube, NARO_symcopies& copies,
                          int radius);
int NARO_round_copies(double a, int b);

void NARO_init_asymmetric_unit(NARO_asymmetric_unit& asym);
int NARO_add_asymmetric_unit_grid(NARO_asymmetric_unit& asym, int x, int y, int z);
int NARO_add_asymmetric_unit_sgrid(NARO_asymmetric_unit& asym, int x, int y, int z);
void NARO_free_asymmetric_unit(NARO_asymmetric_unit& asym);
int NARO_find_asymmetric_unit(const NARO_cube& cube, const NARO_cif& cif, NARO_asymmetric_unit& asym);

int NARO_smooth_cube_with_symmetry(NARO_cube& cube, const NARO_cif& cif,
                                   const NARO_asymmetric_unit& asym);
void NARO_fast_refresh_global_min(NARO_cube& cube, const NARO_asymmetric_unit& asym);

int NARO_find_lower_energy_neighbour_cluster(const NARO_cube& cube, int i, int j, int k);
int NARO_find_same_energy_neighbours(const NARO_cube& cube, NARO_same_energy_grid_list& list, int i,
                                     int j, int k);
int NARO_find_stationary_points(NARO_cube& cube, const NARO_cif& cif, const NARO_asymmetric_unit& asym);
int NARO_find_stationary_points2(NARO_cube& cube, const NARO_cif& cif);

int NARO_add_cube_minima_point(NARO_cube& cube, int x, int y, int z, double tx, double ty, double tz,
                               double e, int type);
int NARO_add_cube_minima_ion(NARO_minima& minimum, const std::string& label, double occ);
int NARO_add_cube_saddle_point(NARO_cube& cube, int x, int y, int z, double e, int type);
int NARO_ins_cube_saddle_point(NARO_cube& cube, int x, int y, int z, double e, int type, int pos);
int NARO_del_cube_minima_point(NARO_cube& cube, int k);
int NARO_del_cube_saddle_point(NARO_cube& cube, int k);
int NARO_del_cube_minima_point_by_loc(NARO_cube& cube, int i, int j, int k);
int NARO_del_cube_saddle_point_by_loc(NARO_cube& cube, int i, int j, int k);
int NARO_inlist_cube_saddle_point(const NARO_cube& cube, int x, int y, int z);

int NARO_group_minima_by_symmetry(NARO_cube& cube, const NARO_cif& cif);
int NARO_group_saddle_by_symmetry(NARO_cube& cube, const NARO_cif& cif);
void NARO_refresh_minima_type_index(NARO_cube& cube);
void NARO_refresh_saddle_type_index(NARO_cube& cube);
int NARO_delete_minima(NARO_cube& cube, int k);
int NARO_delete_saddle(NARO_cube& cube, int k);
int NARO_delete_minima_type(NARO_cube& cube, int k);
int NARO_delete_saddle_type(NARO_cube& cube, int k);

int NARO_assign_ion_to_sites(NARO_cube& cube, const NARO_cif& cif);
void NARO_assign_interstitial_labels(NARO_cube& cube, const NARO_cif& cif);
// Label of minimum type `type`: "i<n>" for interstitials, else the ion labels joined by "/".
int NARO_label_minima_site(const NARO_cube& cube, std::string& out, int type);

int NARO_printminima(const NARO_cube& cube, FILE* out);
int NARO_printsaddle(const NARO_cube& cube, FILE* out);
