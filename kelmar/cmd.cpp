#include "cmd.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <unistd.h>

#include "ds.hpp"
#include "import.hpp"
#include "import-os.hpp"

namespace {

const char KELMAR_DIR_SEPARATOR = '/';
const char* const KELMAR_DIR_FALLBACK = "./";

struct KELMAR_CMD_ENTRY {
    const char* word;
    KELMAR_CMD_HANDLER handler;
};

// Command words and their handlers. Words are matched by exact, case-sensitive comparison, so
// "--gen-cif-assign-all" never runs "--gen-cif-assign". A word whose handler is not part of this
// build is simply absent and gets the "arguments not recognized" line.
const KELMAR_CMD_ENTRY kelmar_cmd_table[] = {
    {"--print-sys", kelmar_cmd_opt_print},

    // structure commands
    {"--print-cell", kelmar_cmd_opt_do_print_cell},
    {"--print-sym", kelmar_cmd_opt_do_print_sym},
    {"--gen-cif", kelmar_cmd_opt_do_gen_cif},
    {"--gen-cif-reduced", kelmar_cmd_opt_do_gen_cif_reduced},
    {"--gen-cif-p1", kelmar_cmd_opt_do_gen_cif_p1},
    {"--gen-cif-assign", kelmar_cmd_opt_do_gen_cif_assign},
    {"--gen-cif-assign-all", kelmar_cmd_opt_do_gen_cif_assign_all},
    {"--cal-sym", kelmar_cmd_opt_do_cal_sym},
    {"--cal-charge", kelmar_cmd_opt_do_cal_charge},

    // parameter, bond-valence, energy and relaxation commands
    {"--print-ppt", kelmar_cmd_opt_do_print_ppt},
    {"--print-ppt-full", kelmar_cmd_opt_do_print_ppt_full},
    {"--cal-bv", kelmar_cmd_opt_do_cal_bv},
    {"--cal-bv-gui", kelmar_cmd_opt_do_cal_bv_gui},
    {"--cal-bv-type", kelmar_cmd_opt_do_cal_bv_type},
    {"--cal-gii", kelmar_cmd_opt_do_cal_gii},
    {"--cal-tot-en", kelmar_cmd_opt_do_cal_tot_en},
    {"--rx-sd", kelmar_cmd_opt_do_rx_sd},
    {"--text-cal-bv", kelmar_cmd_opt_do_text_cal_bv},

    // landscape commands
    {"--print-cube", kelmar_cmd_opt_do_print_cube},
    {"--gen-cube", kelmar_cmd_opt_do_gen_cube},
    {"--gen-cube-gii", kelmar_cmd_opt_do_gen_cube_gii},
    {"--gen-cube-tot", kelmar_cmd_opt_do_gen_cube_tot},
    {"--gen-cube-tot-eam", kelmar_cmd_opt_do_gen_cube_tot_eam},

};

// The directory of the running executable, for a program found through PATH.
std::string executable_directory() {
    char buf[1024];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return KELMAR_DIR_FALLBACK;
    buf[n] = '\0';
    std::string dir;
    kelmar_cmd_opt_split_path(&dir, nullptr, buf);
    return dir;
}

}  // namespace

void kelmar_cmd_opt_split_path(std::string* dir, std::string* name, const char* path) {
    const char* last = std::strrchr(path, KELMAR_DIR_SEPARATOR);
    if (dir != nullptr) *dir = last ? std::string(path, static_cast<std::size_t>(last - path + 1)) : KELMAR_DIR_FALLBACK;
    if (name != nullptr) *name = last ? std::string(last + 1) : std::string(path);
}

void kelmar_cmd_opt_get_type(char* type, const char* str) {
    std::strncpy(type, str, 2);
    type[2] = '\0';
}

std::unique_ptr<KELMAR_CMD_OPT> kelmar_cmd_opt_init(int argc, char** argv) {
    const char* argv0 = (argc > 0 && argv != nullptr && argv[0] != nullptr) ? argv[0] : "";
    if (std::strlen(argv0) >= 1000) {
        std::fprintf(stderr, "Error: executable path too long.\n");
        return nullptr;
    }
    auto opt = std::make_unique<KELMAR_CMD_OPT>();
    opt->argc = argc;
    opt->argv = argv;
    if (std::strchr(argv0, KELMAR_DIR_SEPARATOR) != nullptr)
        kelmar_cmd_opt_split_path(&opt->path_executable, nullptr, argv0);
    else
        opt->path_executable = executable_directory();

    std::string* const fields[3] = {&opt->dir_unitary, &opt->dir_binary, &opt->dir_symcards};
    const char* const files[3] = {"database_unitary.dat", "database_binary.dat", "database_symcards.dat"};
    for (int i = 0; i < 3; i++) {
        std::string path = opt->path_executable.substr(0, 1023);
        path += files[i];
        std::FILE* probe = std::fopen(path.c_str(), "rb");
        if (probe == nullptr) std::printf("Warning: unable to find %s\n", path.c_str());
        else std::fclose(probe);
        *fields[i] = path;
    }
    opt->mode_text = "-:text";
    opt->mode_newline = "-:nl";
    return opt;
}

int kelmar_cmd_opt_print(KELMAR_CMD_OPT* opt) {
    if (opt == nullptr) {
        std::printf("CMD_OPT: (not allocated)\n");
        return 0;
    }
    std::printf("CMD_OPT: dir_unitary=     %s\n", opt->dir_unitary.c_str());
    std::printf("CMD_OPT: dir_binary=      %s\n", opt->dir_binary.c_str());
    std::printf("CMD_OPT: dir_symcards=    %s\n", opt->dir_symcards.c_str());
    std::printf("CMD_OPT: path_executable= %s\n", opt->path_executable.c_str());
    std::printf("CMD_OPT: mode_text=   \"%s\"\n", opt->mode_text.c_str());
    std::printf("CMD_OPT: mode_newline=\"%s\"\n", opt->mode_newline.c_str());
    return 0;
}

std::unique_ptr<KELMAR_TEXT> kelmar_cmd_opt_cat_tail(const KELMAR_CMD_OPT* opt) {
    int key = -1;
    for (int i = 0; i <= opt->argc - 2; i++)
        if (opt->mode_text == opt->argv[i]) key = i;
    if (key < 0) {
        std::fprintf(stderr, "Error: text-mode key phrase not found.\n");
        return nullptr;
    }
    auto text = kelmar_text_new();
    for (int i = key + 1; i < opt->argc; i++) {
        if (opt->mode_newline == opt->argv[i]) {
            kelmar_text_append(text.get(), "\n");
        } else {
            kelmar_text_append(text.get(), " ");
            kelmar_text_append(text.get(), opt->argv[i]);
        }
    }
    return text;
}

int kelmar_cmd_opt_do_print_version(KELMAR_CMD_OPT*) {
    std::printf("  Kelmar-ver 1.3.0-cmd\n");
    std::printf("    --help to list commands available.\n");
    return 0;
}

int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT*) {
    static const char* const groups[4][14][2] = {
        {{"--help", "display this help."},
         {"--print-cell", "print the loaded cell."},
         {"--print-ppt", "print the property corresponding to the loaded cell."},
         {"--print-sym", "print the symmetry corresponding to the loaded cell."},
         {"--print-cube", "print a summary of the loaded cube."}},
        {{"--gen-cif", "write the loaded cell to file in cif format."},
         {"--gen-cif-reduced", "write the loaded cell reduced by symmetry to file in cif format."},
         {"--gen-cif-p1", "write the loaded cell to file in cif format without symmetry."},
         {"--gen-cif-assign",
          "write the loaded cell to file in cif format with partially occupied sites of conducting species "
          "assigned occupancy = 1.0 randomly."},
         {"--gen-cif-assign-all",
          "write the loaded cell to file in cif format with all partially occupied sites assigned occupancy = 1.0 "
          "randomly."},
         {"--gen-gin-lib", "generate a Morse type forcefield file in .lib format for calculation with software GULP."},
         {"--gen-gin-eam",
          "generate a Embedde-atom Method forcefield file in .lib format for calculation with software GULP."},
         {"--gen-gin",
          "generate an overall input file in .gin format for performing molecular dynamics calculaiton with "
          "software GULP."},
         {"--gen-cube",
          "calculate the static energy landscape for ionic conduction and write the result to file in Gaussian cube "
          "format."},
         {"--gen-cube-gii",
          "calculate the static GII(global instability index) landscape for ionic conduction and write the result "
          "to file in Gaussian cube format."},
         {"--gen-cube-tot",
          "calculate the total energy landscape for ionic conducting and write the result to file in Gaussian cube "
          "format."},
         {"--gen-cube-tot-eam",
          "calculate the total energy landscape for ionic conducting with EAM term and write the result to file in "
          "Gaussian cube format."}},
        {{"--cal-bv", "calculate bond valences of the loaded cell."},
         {"--cal-gii", "calculate the global instability index of the loaded cell."},
         {"--cal-cn",
          "calculate the coordination number of the specified atom by radius distribution function, suggest to use "
          "--cal-cn-bv for better accuracy."},
         {"--cal-cn-bv", "calculate the coordination number of the specified atom by bond valence theory."},
         {"--cal-cn-atom", "calculate coordination shell of the specified atom."},
         {"--cal-cn-type", "calculates averaged coordination number of the specified pair of ions."},
         {"--cal-cn-gui", "calculates and print out the coordination number of all sites by bond valence theory."},
         {"--cal-sym", "calculate symmetry of the loaded cell."},
         {"--cal-tot-en", "calculate the total energy of the loaded cell."},
         {"--cal-charge", "calculate the total charge of the loaded cell."}},
        {{"--rx-sd",
          "perform a relaxation of loaded cell with steepest descend algorithm and write the result to file in cif "
          "format."},
         {"--rx-neb", "perform a simple nudged elastic bend calculation with input of two end images."},
         {"--rx-neb-images", "perform a simple nudged elastic bend calculation with input of a series of images."},
         {"--fft",
          "perform a fourier transform analysis to determine critical points and eigenvalues/vectors at these "
          "points."},
         {"--fft-cubes",
          "perform a fourier transform analysis and generate cubes corresponding to force, force constant, "
          "laplacian and slope."},
         {"--fp-map", "generates a cif file representing conduction path in the given cube file."},
         {"--gh",
          "generates cif files and csv file representing the characteristic conduction pathway in the given cube "
          "file."},
         {"--sites", "output a summary of sites based on graph analysis."},
         {"--md", "perform a molecular dynamics allowing only conducting ions to move."},
         {"--kmc",
          "conducts a kinetic monte carlo simulation to estimate the ionic conductivity given the cif and cube "
          "files."}},
    };
    std::printf("Message: avalable commands are listed.\n");
    std::printf("Message: detailed help with each command can be found by typing each command without argument,\n");
    std::printf("Message: basic format is: --command-name [compulsory arguments] | {optional arguments}\n");
    for (int g = 0; g < 4; g++) {
        std::printf("\n");
        for (int i = 0; i < 14 && groups[g][i][0] != nullptr; i++)
            std::printf("Message:   %-20s: %s\n", groups[g][i][0], groups[g][i][1]);
    }
    return 0;
}

KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word) {
    for (const auto& e : kelmar_cmd_table)
        if (std::strcmp(e.word, word) == 0) return e.handler;
    return nullptr;
}

int kelmar_cmd_start(int argc, char** argv) {
    auto opt = kelmar_cmd_opt_init(argc, argv);
    if (!opt) {
        std::fprintf(stderr, "Error: kelmar_cmd_opt_init() returns NULL.\n");
        return 1;
    }
    // One generator for every random decision of the run, seeded from the clock.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    if (argc <= 1 || std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)
        return kelmar_cmd_opt_do_print_version(opt.get());
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return kelmar_cmd_opt_do_print_help(opt.get());
    KELMAR_CMD_HANDLER handler = kelmar_cmd_opt_find_handler(argv[1]);
    if (handler == nullptr) {
        std::printf("Error: arguments not recognized. '-h' for help.\n");
        return 1;
    }
    const int status = handler(opt.get());
    std::fflush(stdout);
    return status == 0 ? 0 : 1;
}

// --- handler helpers ---------------------------------------------------------------------

// Numbers are read as the formatted scanning of "%d", "%ld" and "%lf" reads them (leading blanks
// skipped, a sign allowed, trailing text ignored), but a value that does not fit the type is
// refused rather than cut down ("4294967297" would scan as the int 1), and so are "nan", "inf"
// and overflowing reals, which no parameter of any command can use.
static bool wrong_parameter(const char* name) {
    std::fprintf(stderr, "Error: wrong parameter %s.\n", name);
    return false;
}

bool kelmar_cmd_opt_parse_int(const char* arg, const char* name, int* out) {
    long v = 0;
    if (!kelmar_cmd_opt_parse_long(arg, name, &v)) return false;
    if (v < INT_MIN || v > INT_MAX) return wrong_parameter(name);
    *out = static_cast<int>(v);
    return true;
}

bool kelmar_cmd_opt_parse_long(const char* arg, const char* name, long* out) {
    if (arg == nullptr) return wrong_parameter(name);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(arg, &end, 10);
    if (end == arg || errno == ERANGE) return wrong_parameter(name);
    *out = v;
    return true;
}

bool kelmar_cmd_opt_parse_double(const char* arg, const char* name, double* out) {
    if (arg == nullptr) return wrong_parameter(name);
    char* end = nullptr;
    const double v = std::strtod(arg, &end);
    if (end == arg || !std::isfinite(v)) return wrong_parameter(name);
    *out = v;
    return true;
}

bool kelmar_cmd_opt_parse_flag(const char* arg, bool def) {
    if (arg == nullptr) return def;
    if (def) return !(arg[0] == 'f' || arg[0] == 'F');
    return arg[0] == 't' || arg[0] == 'T';
}

std::string kelmar_cmd_opt_name_append(const char* input, const char* suffix) {
    return std::string(input) + suffix;
}

std::string kelmar_cmd_opt_name_replace4(const char* input, const char* suffix) {
    std::string base(input);
    base.resize(base.size() >= 4 ? base.size() - 4 : 0);
    return base + suffix;
}

const char* kelmar_cmd_opt_arg(const KELMAR_CMD_OPT* opt, int i) {
    return (i >= 0 && i < opt->argc) ? opt->argv[i] : nullptr;
}

bool kelmar_cmd_opt_load_structure(const KELMAR_CMD_OPT* opt, const char* cif, std::unique_ptr<KELMAR_CELL>* cell,
                                   std::unique_ptr<KELMAR_SYMMETRY>* sym, bool need_neutral, const char* mobile) {
    if (kelmar_cell_import_cif_from_file(cell, sym, cif, opt->dir_symcards.c_str(), opt->dir_unitary.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return false;
    }
    // states the file leaves out, and the charge balance the command can live with
    return settle_states_for_command(cell->get(), sym->get(), opt->dir_unitary.c_str(), opt->dir_binary.c_str(),
                                     need_neutral, mobile);
}
