// Displacements, logs, listings and structures of a kinetic Monte Carlo run (kmc-out.cpp).
#pragma once

#include <memory>

#include "kmc-record.hpp"

// The displacement of the ion now at vertex i (identity o = kv[i].origin), A.
void kmc_ion_displacement(const KELMAR_KMC* kmc, long i, double d[3]);
// Adds the open stay of every occupied vertex to its t, so the times are current.
void kmc_settle_times(KELMAR_KMC* kmc);
int kelmar_kmc_log(KELMAR_KMC* kmc);
int kelmar_kmc_log_trj(KELMAR_KMC* kmc);
int kelmar_kmc_log_xyz(KELMAR_KMC* kmc);
std::unique_ptr<KELMAR_CELL> kelmar_kmc_export_to_cell(const KELMAR_KMC* kmc);
std::unique_ptr<KELMAR_CELL> kelmar_kmc_export_occ_to_cell(KELMAR_KMC* kmc, const KELMAR_CELL* supercell);
void kelmar_kmc_print_result(KELMAR_KMC* kmc);
void kelmar_kmc_print(KELMAR_KMC* kmc);
void kelmar_kmc_print_short(KELMAR_KMC* kmc);
