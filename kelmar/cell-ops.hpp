// Operations on whole cells: coordinates, volume, distances, reduction to orbits, supercells,
// and the random assignment of partial occupancies.
#pragma once

#include <memory>

#include "kelmar.hpp"

// Lattice vectors from parameter/angle, then Cartesian positions from fractional ones.
void kelmar_cell_update_cartesion(KELMAR_CELL* cell);
// parameter/angle from the lattice vectors, then fractional positions from Cartesian ones.
void kelmar_cell_update_fractional(KELMAR_CELL* cell);
void kelmar_cell_update_lattice_cartesion(KELMAR_CELL* cell);
void kelmar_cell_update_coordinate_cartesion(KELMAR_CELL* cell);
void kelmar_cell_update_lattice_fractional(KELMAR_CELL* cell);
void kelmar_cell_update_coordinate_fractional(KELMAR_CELL* cell);
double kelmar_cell_calculate_volume(const KELMAR_CELL* cell);
void kelmar_cell_bound_fractional(KELMAR_CELL* cell);
// Shortest distance between atom2 and the 27 images of atom1 (Cartesian positions).
double kelmar_cell_min_distance_btw_atoms(const KELMAR_CELL* cell, const KELMAR_ATOM* atom1,
                                          const KELMAR_ATOM* atom2);
// New cell with one atom per orbit (the first of each orbit in list order).
std::unique_ptr<KELMAR_CELL> kelmar_cell_reduce_by_symmetry(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
// Orbit labels 1, 2, ... in `flag`. 0 or 1.
int kelmar_cell_flag_site_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
// Sorts the atoms and returns the number of species (type, os); -1 for a null cell.
int kelmar_cell_count_type_os(KELMAR_CELL* cell);
std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell(const KELMAR_CELL* cell, const long n[3]);
// The default supercell factors for a cell (false with a message for a cell without atoms).
bool kelmar_cell_supercell_default_size(const KELMAR_CELL* cell, long n[3]);
std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell_default(const KELMAR_CELL* cell);
// Whether the species shares a site (closer than 0.3 angstrom) with another species.
bool kelmar_cell_partial_occ_at_conducting_site(const KELMAR_CELL* cell, const char* type, int os);
// Mixed sites resolved at random (sorts the input cell's atoms in place).
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_at_conducting_site(KELMAR_CELL* cell, const char* type,
                                                                               int os, RandomEngine& engine);
// Vacancies of one species resolved at random.
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ(const KELMAR_CELL* cell, const char* type, int os,
                                                          RandomEngine& engine);
// Mixed sites, then vacancies, for every species.
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_all(KELMAR_CELL* cell, RandomEngine& engine);
// Exchange sort by `value`, ascending.
void kelmar_atom_sort_by_value(KELMAR_ATOM* atom, long total);
