// Where the analyser's result files go. One rule for every writer: the text after
// --dir is glued directly before the file name ("pre_" gives "pre_NARO_rp.csv" and
// "out/" gives "out/NARO_rp.csv"), except that an existing directory named without
// its separator ("out") takes the files inside it ("out/NARO_rp.csv").
#pragma once

#include <string>

#include "records.hpp"

// The run's directory (--dir) or the working directory, which command mode uses for
// the files it writes on request.
enum class NaroOutputDir { run, working };

// Path of the result file `name`; the --dir text counts up to 1000 characters.
std::string naro_output_path(const NARO_input& input, const char* name, NaroOutputDir where = NaroOutputDir::run);
