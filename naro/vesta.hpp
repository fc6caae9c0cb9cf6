// VESTA 3 project of an analyser run: the structure, its cation-anion bonds and three
// iso-surfaces of the probe-ion landscape at the percolation levels (NARO.vesta).
#pragma once

#include <cstdio>
#include <string>

#include "records.hpp"
#include "output-path.hpp"
#include "path-library.hpp"
#include "run-state.hpp"

// 0 when written; 1 (with one error line) when the file cannot be written, in which
// case no partial NARO.vesta is left behind.
// The file goes to the run's --dir, or to the working directory when command mode asks.
int NARO_print_vesta_output(const NaroRunState& run, NaroOutputDir where = NaroOutputDir::run);
void NARO_print_vesta_symop(const NARO_cif& cif, FILE* out);
void NARO_print_vesta_struc(const NARO_cif& cif, FILE* out);
void NARO_print_vesta_bond(const NARO_cif& cif, FILE* out);
void NARO_print_vesta_SITET(const NARO_cif& cif, FILE* out);
void NARO_print_vesta_ATOMT(const NARO_cif& cif, FILE* out);
void NARO_print_vesta_ISURF(const NARO_cube& cube, const NARO_cif& cif, const NARO_pathlib& pathlib, FILE* out);

// The three iso-surface levels (energies above the global minimum, scaled) for the
// percolation energies e1 <= e2 <= e3 and the probe's charge q.
void naro_vesta_levels(double q, double e1, double e2, double e3, double levels[3]);
// Rotation rows and translation of one operation text such as "-x+1/2,y,z".
void naro_vesta_parse_symop(const std::string& text, int rot[3][3], double trans[3]);
