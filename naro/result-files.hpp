// The analyser's text result files: the events file, NARO_rp.csv and the summary.
// Each writer receives the run state and names its file through naro_output_path.
#pragma once

#include "run-state.hpp"

// NARO_events.txt: the network analysis at every saddle level. A file that cannot be
// written gives an error line and the run goes on; 1 then, else 0.
int naro_write_events(const NaroRunState& run);
// NARO_rp.csv from the run's reaction pathways; 1 when it cannot be (fully) written.
int naro_write_reaction_pathways(const NaroRunState& run);
// The summary file (--summary): minima, saddles, path library, network analysis.
// Returns 1 when the file cannot be written.
int naro_write_summary(const NaroRunState& run);
