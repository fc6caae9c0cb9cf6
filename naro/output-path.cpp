// Where the analyser's result files go (see output-path.hpp).
#include "output-path.hpp"

std::string naro_output_path(const NARO_input& input, const char* name, NaroOutputDir where) {
    std::string out;
    if (where == NaroOutputDir::run && input.dir) out = input.output_dir.substr(0, 1000);
    out += name;
    return out;
}
