// The path map of a landscape as a P1 CIF of pseudo-atoms (fp-export.cpp).
#pragma once

#include <memory>

#include "fp.hpp"

// One atom per minimum, saddle and path point.
std::unique_ptr<KELMAR_CELL> kelmar_fpcube_export_to_cell(const KELMAR_FPCUBE* cube);
// The whole "--fp-map" chain; 0 or 1, no file left on failure.
int kelmar_fpcube_export_cif_to_file(const KELMAR_CUBE* cube, double barrier_max, const char* name);
