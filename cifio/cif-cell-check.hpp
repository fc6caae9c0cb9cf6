// The checks a structure's block passes before either program reads it: every number the
// structure is built from is a number, and the cell is one a grid and an image search can cover.
#pragma once

#include <string>

#include "cif-document.hpp"

// Shortest cell length and shortest distance between opposite cell faces accepted (angstrom):
// below them every neighbour search would run over millions of images.
inline constexpr double CIF_CELL_MIN_LENGTH = 0.5;
// Longest cell length (angstrom) and largest volume (angstrom^3) accepted: beyond them a grid
// of the cell at any useful resolution does not fit in memory.
inline constexpr double CIF_CELL_MAX_LENGTH = 1000.0;
inline constexpr double CIF_CELL_MAX_VOLUME = 1e7;

// False with a one-line reason (no "Error:" and no line end) when a cell parameter or a value of
// the site coordinates, occupancies or oxidation numbers is given but is no number (naming the
// data name, and for a loop the row and its site), or when the cell is too short, too flat or
// too large by the bounds above. A missing cell parameter, or angles that close no cell, pass:
// each program reports those in its own words.
bool cif_block_check(const CifBlock& block, std::string& why);
