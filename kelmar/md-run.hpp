// The phases of a molecular-dynamics run and the --md pipeline (md-run.cpp).
#pragma once

#include "md.hpp"

// Equilibration and production: 0, or 1 after the error lines.
int kelmar_md_equilibrate(KELMAR_MD* md);
int kelmar_md_run(KELMAR_MD* md);

// The whole --md command: 0 on success, 1 after the error lines.
int kelmar_md_conduction_from_file(const char* cif, const char* type, int os, double sf, double temperature,
                                   double t_end, double t_equil, double dt, double t_log, const char* dir_unitary,
                                   const char* dir_binary, const char* dir_symcards, RandomEngine& engine);
