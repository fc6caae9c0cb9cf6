// Landscape record: cube loading, energy scaling, periodic index arithmetic,
// distances, angles and nearest stationary points.
#pragma once
#include <cstdio>
#include <string>

#include "records.hpp"

void NARO_init_cube(NARO_cube& cube);
// Empties the minima and saddle lists and their type indices.
void NARO_init_cube_stationary_points(NARO_cube& cube);
int NARO_load_cube(const char* file, NARO_cube& cube);
int NARO_process_cube(NARO_cube& cube);
// Every grid point within 1e-7 eV of the lowest: a landscape without sites or hops.
bool naro_cube_is_flat(const NARO_cube& cube);
void NARO_free_cube(NARO_cube& cube);
void NARO_calc_cell_parameter(NARO_cube& cube);
int NARO_load_cube_energy(FILE* fp, NARO_cube& cube);
void NARO_shift_cube_energy(NARO_cube& cube);
int NARO_alloc_cube_energy(NARO_cube& cube);
void NARO_free_cube_energy(NARO_cube& cube);

int NARO_parse_energy_scaling(NARO_cube& cube, const char* expression);
double NARO_scale_cube_energy(const NARO_cube& cube, double e);
double NARO_get_unscaled_from_scaled(const NARO_cube& cube, double e);

// Periodic wrap; axis 1 = a, 2 = b, 3 = c; any other axis yields -1.
int NARO_shift_index(const NARO_cube& cube, int p, int axis);
double NARO_shift_index_dbl(const NARO_cube& cube, double p, int axis);
void NARO_shift_index_xyz(const NARO_cube& cube, int* x, int* y, int* z);
void NARO_shift_index_xyz_dbl(const NARO_cube& cube, double* x, double* y, double* z);
double NARO_cube_energy(const NARO_cube& cube, int x, int y, int z);
int NARO_cube_equal_dbl(double a, double b);
int NARO_is_minimum(const NARO_cube& cube, int x, int y, int z);
int NARO_isin_minima_list(const NARO_cube& cube, int x, int y, int z);

double NARO_distance_grid(const NARO_cube& cube, double x1, double y1, double z1, double x2,
                          double y2, double z2);
double NARO_distance_frac(const NARO_cube& cube, double x1, double y1, double z1, double x2,
                          double y2, double z2);
double NARO_angle(const NARO_cube& cube, double x1, double y1, double z1, double x2, double y2,
                  double z2, double x3, double y3, double z3);

void NARO_init_nearest_neighbour(NARO_nearest_neighbour& nn);
int NARO_alloc_nearest_neighbour(NARO_nearest_neighbour& nn, int k);
int NARO_add_nearest_neighbour(NARO_nearest_neighbour& nn, int index, int i, int j, int l,
                               double distance);
void NARO_free_nearest_neighbour(NARO_nearest_neighbour& nn);
// k nearest images of the minima (saddles) around the grid point (x, y, z) in grid units.
int NARO_get_nearest_minima(const NARO_cube& cube, NARO_nearest_neighbour& nn, int k, double x,
                            double y, double z);
int NARO_get_nearest_saddle(const NARO_cube& cube, NARO_nearest_neighbour& nn, int k, double x,
                            double y, double z);
