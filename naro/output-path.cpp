// Where the analyser's result files go (see output-path.hpp).
#include "output-path.hpp"

#include <filesystem>
#include <system_error>

std::string naro_output_path(const NARO_input& input, const char* name, NaroOutputDir where) {
    std::string out;
    if (where == NaroOutputDir::run && input.dir) {
        out = input.output_dir.substr(0, 1000);
        // An existing directory named without its separator takes the files inside it;
        // any other text stays a prefix of the file names.
        std::error_code ec;
        if (!out.empty() && out.back() != '/' && std::filesystem::is_directory(out, ec)) out += '/';
    }
    out += name;
    return out;
}
