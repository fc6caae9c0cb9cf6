// Total energy of a periodic cell in the bond-valence force field with its embedding (EAM) term:
// the pair sum of rx-energy plus, per atom, the embedding energy from its bond-valence sum.
// Energies in eV, 0 on failure.
#pragma once

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

double kelmar_cell_total_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, bool eam);
// Needs site flags on the cell and f1 on the record; atom 0 is the probe of a landscape cell.
double kelmar_cell_calculate_total_energy_eam(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
double kelmar_cell_calculate_eam_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
