// Total pair energy, forces, strain and stress of a periodic cell in the bond-valence force field
// (rx-energy.cpp). It needs only the parameter record, so the screening-factor search of the parameter
// assembly can use it; the embedding (EAM) term, which needs bond-valence sums, is in rx-eam.hpp.
//
// Force arrays hold one double[3] per atom; allocate them with std::make_unique<double[][3]>(n).
#pragma once

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

// --- energies (eV; 0 on failure) ---------------------------------------------------------------

double kelmar_cell_calculate_total_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
// Pairs of atoms that are both not marked ignored.
double kelmar_cell_calculate_total_energy_unconstrained_part(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);

// The record and cell are usable for the sums (prints the error line when not).
bool rx_inputs_ready(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
// The pair sum of the EAM total energy, in e^2/A halved (x 7.19982 gives eV); false after the
// error line when a species is missing.
bool rx_pair_sum_eam(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, double* sum);

// --- forces, strain and stress (0 or 1) --------------------------------------------------------

// One vector per atom, in e^2/A^2 halved; ignored atoms keep zero.
int kelmar_cell_calculate_force(double (*force)[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
// Strains lattice and positions by I + deform; fractional positions are recomputed.
int kelmar_cell_deform(KELMAR_CELL* cell, const double deform[3][3]);
// eV/A^3 by central differences of the total energy at strain +-0.0001.
int kelmar_cell_calculate_stress_diagonal(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
int kelmar_cell_calculate_stress_shear(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
