// The critical points and derivative fields of a landscape as files (fft-export.cpp).
#pragma once

#include <memory>

#include "fft.hpp"

// One pseudo-atom per critical point, and the comma-separated table of the points.
std::unique_ptr<KELMAR_CELL> kelmar_fftdot_list_export_to_cell(const KELMAR_FFTDOT_LIST* list);
std::unique_ptr<KELMAR_TEXT> kelmar_fftdot_list_export_to_text(const KELMAR_FFTDOT_LIST* list);

// The two commands. Critical points to "<base>.fft.cif" and "<base>.fft.txt"; a positive cap drops points higher
// than the lowest one plus cap. 0 or 1; on failure no output file is left.
int kelmar_fft_analyze_export_to_file(const KELMAR_CUBE* cube, double cap, const char* base);
// The fourteen derivative cubes "<base>.fft.f0.cube" ... "<base>.fft.slope.cube". 0 or 1; on
// failure none of them is left.
int kelmar_fft_analyze_export_cubes_to_file(const KELMAR_CUBE* cube, const char* base);

// Whether every value of the landscape is a finite number; otherwise false after one error line
// naming the first grid point that is not.
bool fft_landscape_finite(const KELMAR_CUBE* cube);
