// Command line of the analyser: flags into the input record, banner and help text.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "flags.hpp"

void NARO_init_input(NARO_input& input) { input = NARO_input{}; }

static const char* const naro_flags[] = {
    "--cif",         "--cube",          "--scale",         "--max",          "--cmd",
    "--path",        "--vesta",         "--summary",       "--gui",          "--hk",
    "--calc-charge", "--calc-bvsum",    "--calc-gii",      "--print-minima", "--print-saddle",
    "--print-path",  "--print-perc",    "--print-act",     "--smooth-cube",  "--check-sub",
    "--check-subs",  "--print-symops",  "--print-all-sites", "--dir",        "--deWarn"};

int NARO_isflag(const char* flag) {
    if (!flag) return 0;
    for (const char* f : naro_flags)
        if (std::strcmp(f, flag) == 0) return 1;
    return 0;
}

void NARO_cmd_print_banner() {
    std::printf(" Zentrova (NARO) version 1.3.0\n");
    std::printf(" > --help to list commands available.\n");
}

void NARO_cmd_print_help() {
    static const char* const lines[] = {
        "Message: Available commands are listed.",
        "",
        "Message: Calculations based on cif file.",
        "Message: Basic format is: ./NARO.x --cif [cif address] {task arguments}",
        "Message: For example: ./bin/NAR.x --cif ./test/Li2O.cif --calc-gii --calc-charge",
        "Message: Below are the task arguments for cif processing:",
        "Message:   --calc-charge       : calculate the total charge of the loaded cell.",
        "Message:   --calc-bvsum        : calculate the bond valence sum for all the sites.",
        "Message:   --calc-gii          : calculate the global instability index of the loaded cell.",
        "Message:   --print-symops      : print out all the symmetry operations in the cell",
        "Message:   --print-all-sites   : print out all the sites in the cell.",
        "",
        "Message: Pathway analysis based on cube file and cif file.",
        "Message: Basic format: ./NARO.x --cif [cif adrress] [probe ion type] --cube [cube address] | {task arguments}",
        "Message: For example: ./bin/NARO.x --cif ./test/Na2O.cif Na1+ --cube ./test/Na2O.cube --scale --path --print-act",
        "Message: Below are the task arguments for cube processing.",
        "Message:   --dir [directory]   : indicate output director e.g. --dir D:kelmar-GUI/ouput/.",
        "Message:   --scale             : energy scaling is applied (currently only work for Na1+).",
        "Message:   --max [input value] : the maximum amount of energy above global minimum for which grid points would be analysed (scaled).",
        "Message:   --path              : compulsory task argument for analysing the pathway.",
        "Message:   --vesta             : output vesta file.",
        "Message:   --gui               : called by NARO-GUI for output files",
        "Message:   --print-minima      : print out minima points",
        "Message:   --print-saddles     : print out saddle points",
        "Message:   --print-path        : print summary of path library",
        "Message:   --print-perc        : print summary of pathway at different energy threshold.",
        "Message:   --print-act         : print activation energies",
        "Message:   --print-summary     : print summary of pathway analysis",
        "Message:   --cmd               : activate command mode (under development)",
    };
    for (const char* l : lines) std::printf("%s\n", l);
}

// Flags without a value: the field of the same name is set.
static int* naro_plain_flag(NARO_input& in, const char* w) {
    struct Entry { const char* name; int NARO_input::*field; };
    static const Entry table[] = {
        {"--cmd", &NARO_input::cmd},
        {"--path", &NARO_input::path},
        {"--vesta", &NARO_input::vesta},
        {"--hk", &NARO_input::HK},
        {"--summary", &NARO_input::summary},
        {"--gui", &NARO_input::gui},
        {"--calc-charge", &NARO_input::calc_charge},
        {"--calc-bvsum", &NARO_input::calc_bvsum},
        {"--calc-gii", &NARO_input::calc_gii},
        {"--print-minima", &NARO_input::print_minima},
        {"--print-saddle", &NARO_input::print_saddle},
        {"--print-saddles", &NARO_input::print_saddle},   // the spelling the help text uses
        {"--print-summary", &NARO_input::summary},        // likewise
        {"--print-path", &NARO_input::print_path},
        {"--print-perc", &NARO_input::print_perc},
        {"--print-act", &NARO_input::print_act},
        {"--smooth-cube", &NARO_input::smooth_cube},
        {"--check-sub", &NARO_input::check_sub},
        {"--check-subs", &NARO_input::check_subs},
        {"--print-symops", &NARO_input::print_symops},
        {"--print-all-sites", &NARO_input::print_all_sites},
        {"--deWarn", &NARO_input::deWarn},
    };
    for (const Entry& e : table)
        if (std::strcmp(e.name, w) == 0) return &(in.*(e.field));
    return nullptr;
}

void NARO_process_command(NARO_input& input, int argc, const char* const* argv) {
    if (argc <= 1) {
        NARO_cmd_print_banner();
        return;
    }
    const char* first = argv[1];
    if (std::strcmp(first, "--version") == 0 || std::strcmp(first, "-v") == 0) {
        NARO_cmd_print_banner();
        return;
    }
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        NARO_cmd_print_help();
        return;
    }
    for (int i = 1; i < argc; ++i) {
        const char* w = argv[i];
        const bool has_next = i + 1 < argc;
        auto need_value = [&](const char* flag) {
            if (has_next) return true;
            if (input.missing_value_flag.empty()) input.missing_value_flag = flag;
            return false;
        };
        if (std::strcmp(w, "--cube") == 0) {
            if (!need_value(w)) continue;
            input.cube_file = argv[++i];
            input.cube = 1;
        } else if (std::strcmp(w, "--cif") == 0) {
            if (!need_value(w)) continue;
            input.cif_file = argv[++i];
            input.cif = 1;
            // A word starting with "--" is never a probe ion: a mistyped flag there is
            // reported as one below.
            if (i + 1 < argc && !NARO_isflag(argv[i + 1]) && std::strncmp(argv[i + 1], "--", 2) != 0) {
                input.ion_type = std::string(argv[++i]).substr(0, 9);
                input.ion = 1;
            }
        } else if (std::strcmp(w, "--dir") == 0) {
            if (!need_value(w)) continue;
            input.output_dir = std::string(argv[++i]).substr(0, 1000);
            input.dir = 1;
        } else if (std::strcmp(w, "--scale") == 0) {
            if (!need_value(w)) continue;
            input.scaling_expression = std::string(argv[++i]).substr(0, 99);
            input.scaling = 1;
        } else if (std::strcmp(w, "--max") == 0) {
            if (!need_value(w)) continue;
            input.max = std::strtod(argv[++i], nullptr);
        } else if (int* f = naro_plain_flag(input, w)) {
            *f = 1;
        } else if (std::strncmp(w, "--", 2) == 0 && input.unknown_flag.empty()) {
            // A mistyped flag would otherwise make a run that does nothing look like success.
            input.unknown_flag = w;
        }
        // any other word is ignored
    }
}
