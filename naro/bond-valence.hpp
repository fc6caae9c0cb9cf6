// Bond-valence quantities of the analyser: cell charge, parameter table, bond-valence
// sums of sites and of the probe ion at stationary points, GII.
#pragma once

#include <cstdio>

#include "records.hpp"

double NARO_calc_unit_cell_charge(NARO_cif& cif);
// 0 when printed, 1 when the charge is unknown (message on the error stream).
int NARO_print_unit_cell_charge(NARO_cif& cif);
int NARO_init_bv_bin(NARO_bv_bin& bin, int size);
int NARO_alloc_bv_bin(NARO_bv_bin& bin, int size);
void NARO_free_bv_bin(NARO_bv_bin& bin);
int NARO_build_bv_bin(const NARO_cif& cif, NARO_bv_bin& bin);
int NARO_bv_bin_find_index(const NARO_cif& cif, const char* element, int os);
// Longest cation-anion bond worth drawing: the distance at which the bond valence
// falls to V / (4.25 CN), from the first matching line of the binary parameter file.
// An unknown reference coordination number (0 in the file) is estimated for Cl, Br
// and I from the fluoride line and for S from the oxide line; -1 when there is no
// line, no usable coordination number or no file.
double NARO_maximum_pair_distance(const char* cat, const char* ani, double ox_1, double ox_2);
int NARO_calc_bv_sum(NARO_cif& cif, NARO_bv_bin& bin);
int NARO_print_bv_sum(NARO_cif& cif, FILE* out);
double NARO_calc_GII(NARO_cif& cif);
// 0 when printed, 1 when the index could not be calculated.
int NARO_print_GII(NARO_cif& cif, FILE* out);
int NARO_calc_bv_sum_minima(NARO_cube& cube, NARO_cif& cif, NARO_bv_bin& bin);
int NARO_calc_bv_sum_saddle(NARO_cube& cube, NARO_cif& cif, NARO_bv_bin& bin);
