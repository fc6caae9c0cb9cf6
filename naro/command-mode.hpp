// Command mode (--cmd): an interactive loop over standard input that inspects and
// edits the records of the run.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "run-state.hpp"

// The driver's stages that "restart" re-runs, handed over by the driver so that the
// command mode never calls back into it. Each returns 0 on success. The result files
// a restart rewrites come from their writers directly.
struct NaroCmdStages {
    std::function<int(NaroRunState&)> rebuild_stationary;   // stationary points at the current ceiling
    std::function<int(NaroRunState&)> rebuild_pathlib;      // path library and activation energies
};

// The loop: reads commands from `in` until "end" or the end of input; 0 then, 1 after a
// fatal failure.
int NARO_parse_command_mode_input(NaroRunState& run, const NaroCmdStages& stages, FILE* in);
// 1 when the line was a help request (the help is printed), else 0.
int NARO_cmd_help(const std::string& line);
// "export cif" with its options (P1, ins, sad, updatecoor, updatelabel, supercell n1 n2
// n3, -o file): writes an edited copy of the structure; 0 when written.
int NARO_cmd_export_cif(const std::string& line, const NARO_cube& cube, const NARO_cif& cif);
// Words of a command line at blanks; double-quoted text stays one word.
size_t NARO_tokenize_string(const std::string& text, std::vector<std::string>& words, size_t max);
