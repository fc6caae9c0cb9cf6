// The two graph commands, from a structure and its landscape to the printed and written results
// (gh-run.cpp).
#pragma once

#include "gh.hpp"

int kelmar_graph_sites_calculate_from_file(const char* cif, const char* cube, const char* type, int os, double de,
                                           double dr, double barrier_cutoff, bool output_long, bool periodic,
                                           const char* dir_unitary, const char* dir_binary, const char* dir_symcards);
int kelmar_graph_network_calculate_from_file_export_full(const char* base, const char* cif, const char* cube,
                                                         const char* type, int os, double barrier_cutoff,
                                                         bool periodic, const char* dir_unitary,
                                                         const char* dir_binary, const char* dir_symcards);
