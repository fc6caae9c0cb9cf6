// NARO_gui.csv: the table a graphical front end reads (minimum and saddle types, every
// minimum and saddle with its coordination number, the paths, the percolation energies).
#pragma once

#include "records.hpp"
#include "run-state.hpp"

// 0 after writing the file; 1 (with an error line, and no file left behind) otherwise.
// The coordination numbers it lists are computed first and kept in the run's minima
// and saddles; the file goes to the run's --dir.
int NARO_print_GUI_output(NaroRunState& run);
