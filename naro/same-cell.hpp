// Whether a structure and a landscape describe the same cell: the analyser's symmetry
// operations, site positions and grid must all refer to one lattice.
#pragma once

#include "records.hpp"

// 0 when the cube's cell (from its voxel vectors) matches the CIF's cell within the
// rounding of a cube header; otherwise writes one Error: line naming both cells and
// returns 1.
int naro_check_same_cell(const NARO_cif& cif, const NARO_cube& cube);
