// Driver of the analyser: the run order of NARO.x and the stages it owns.
#pragma once

#include <string>

#include "records.hpp"
#include "run-state.hpp"

// The whole run for one command line; 0 on success, 1 after a fatal failure or when a
// requested structure task could not give its answer.
int NARO(NARO_input& input);

// Output file name: the --dir text glued directly before the name (no separator added).
std::string naro_output_file_name(const NARO_input& input, const char* name);
// The path stage (--path with --cube): library, --print-path, --print-perc, activation
// energies, --print-act and the events file. Returns 1 on a fatal failure.
int naro_path_stage(NaroRunState& run);
// NARO_rp.csv from the run's reaction pathways; 1 when it cannot be (fully) written.
int naro_write_reaction_pathways(const NaroRunState& run);
// The summary file (--summary): minima, saddles, path library, network analysis.
// Returns 1 when the file cannot be written.
int naro_write_summary(const NaroRunState& run);
