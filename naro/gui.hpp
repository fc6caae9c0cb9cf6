// NARO_gui.csv: the table a graphical front end reads (minimum and saddle types, every
// minimum and saddle with its coordination number, the paths, the percolation energies).
#pragma once

#include <string>

#include "records.hpp"
#include "path-library.hpp"

// 0 after writing the file; 1 (with an error line, and no file left behind) otherwise.
int NARO_print_GUI_output(NARO_cube& cube, NARO_cif& cif, const NARO_pathlib& pathlib, const std::string& filedir);
