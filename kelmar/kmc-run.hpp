// The whole --kmc command (kmc-run.cpp).
#pragma once

#include "kmc.hpp"

// The total conductivity in S/cm, or -0.1 on failure.
double kelmar_kmc_calculate_conductivity_from_file(const char* cif, const char* cube, const char* type, int os,
                                                   int s[3], double sf, double temperature, double t_limit,
                                                   long step_limit, long step_log, double cutoff,
                                                   const char* dir_unitary, const char* dir_binary,
                                                   const char* dir_symcards, RandomEngine& engine);
