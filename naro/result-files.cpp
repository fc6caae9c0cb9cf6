// The analyser's text result files: the events file, NARO_rp.csv and the summary.
#include "result-files.hpp"

#include <cstdio>
#include <string>

#include "output-path.hpp"
#include "path-library.hpp"
#include "pathway.hpp"
#include "percolation.hpp"
#include "stationary.hpp"

namespace {

// Closes a result file; false when anything written to it was lost (a full disk must
// not pass for a written file).
bool close_written(FILE* f) {
    const bool ok = std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int naro_write_events(const NaroRunState& run) {
    const std::string name = naro_output_path(run.input, "NARO_events.txt");
    FILE* f = std::fopen(name.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to NARO_events.txt\n");
        return 1;
    }
    NARO_analyze_network_at_saddles(run.cube, run.pathlib, f, 999.0);
    if (!close_written(f)) {
        std::fprintf(stderr, "Error: Unable to write to NARO_events.txt\n");
        return 1;
    }
    return 0;
}

int naro_write_reaction_pathways(const NaroRunState& run) {
    const std::string name = naro_output_path(run.input, "NARO_rp.csv");
    FILE* f = std::fopen(name.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to NARO_rp.csv\n");
        return 1;
    }
    if (run.rp_all.rp.empty())
        std::fprintf(stderr, "Warning: No channel percolates; NARO_rp.csv holds no reaction pathway\n");
    const int r = NARO_print_reaction_pathway(run.cube, run.pathlib, run.rp_all, f);
    if (!close_written(f)) {
        std::fprintf(stderr, "Error: Unable to write to NARO_rp.csv\n");
        return 1;
    }
    // A profile cut short by a path that cannot be joined is not reported as done.
    return r != 0 ? 1 : 0;
}

int naro_write_summary(const NaroRunState& run) {
    const std::string name = naro_output_path(run.input, "NARO_summary.txt");
    FILE* f = std::fopen(name.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to NARO_summary.txt\n");
        return 1;
    }
    NARO_printminima(run.cube, f);
    NARO_printsaddle(run.cube, f);
    NARO_print_pathlib(run.cube, run.pathlib, f);
    NARO_analyze_network_at_saddles(run.cube, run.pathlib, f, 999.0);
    if (!close_written(f)) {
        std::fprintf(stderr, "Error: Unable to write to NARO_summary.txt\n");
        return 1;
    }
    return 0;
}
