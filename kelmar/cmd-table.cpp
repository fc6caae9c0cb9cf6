// The command table of kelmar.x: every command word, its handler and its line in the --help text.
// Dispatch (kelmar_cmd_opt_find_handler) and --help (kelmar_cmd_opt_do_print_help) both read it.
#include "cmd-table.hpp"

#include <cstdio>
#include <cstring>

#include "cmd-handlers.hpp"

namespace {

struct KmCommand {
    const char* word;            // matched exactly and case-sensitively; "" starts a --help paragraph
    KELMAR_CMD_HANDLER handler;  // null: the word is reserved but not built yet
    const char* help;            // the --help line; null: dispatched but not listed
    int words = 3;               // words a run needs (program, command, compulsory arguments)
};

// A row that prints an empty line in --help and is never dispatched.
constexpr KmCommand paragraph{"", nullptr, nullptr};

// To add a command:
//   1. write `int kelmar_cmd_opt_do_<word>(KELMAR_CMD_OPT* opt)` in the handler file of its
//      subject (cmd-struct, cmd-ppt, cmd-rx, cmd-cube; new subjects get a new cmd-<subject>.cpp:
//      cmd-fft, cmd-graph, cmd-kmc, cmd-md, cmd-cn, cmd-gin),
//   2. declare it in cmd-handlers.hpp under that file's heading,
//   3. put it in its row below (or add a row: word, handler, help line or nullptr to keep it
//      out of --help, and the words a run needs when its compulsory arguments are more than one:
//      a command given some but not all of them prints its usage and fails).
// Rows are in --help order. Words are unique, so the order does not change which handler runs.
// A word whose handler is null, like an unknown word, gets "arguments not recognized".
constexpr KmCommand kelmar_cmd_table[] = {
    {"--help", kelmar_cmd_opt_do_print_help, "display this help."},
    {"--print-sys", kelmar_cmd_opt_print, nullptr},
    {"--print-cell", kelmar_cmd_opt_do_print_cell, "print the loaded cell."},
    {"--print-ppt", kelmar_cmd_opt_do_print_ppt, "print the property corresponding to the loaded cell."},
    {"--print-ppt-full", kelmar_cmd_opt_do_print_ppt_full, nullptr},
    {"--print-sym", kelmar_cmd_opt_do_print_sym, "print the symmetry corresponding to the loaded cell."},
    {"--print-cube", kelmar_cmd_opt_do_print_cube, "print a summary of the loaded cube."},
    paragraph,
    {"--gen-cif", kelmar_cmd_opt_do_gen_cif, "write the loaded cell to file in cif format."},
    {"--gen-cif-reduced", kelmar_cmd_opt_do_gen_cif_reduced,
     "write the loaded cell reduced by symmetry to file in cif format."},
    {"--gen-cif-p1", kelmar_cmd_opt_do_gen_cif_p1, "write the loaded cell to file in cif format without symmetry."},
    {"--gen-cif-assign", kelmar_cmd_opt_do_gen_cif_assign,
     "write the loaded cell to file in cif format with partially occupied sites of conducting species "
     "assigned occupancy = 1.0 randomly.", 5},
    {"--gen-cif-assign-all", kelmar_cmd_opt_do_gen_cif_assign_all,
     "write the loaded cell to file in cif format with all partially occupied sites assigned occupancy = 1.0 "
     "randomly."},
    {"--gen-gin-lib", kelmar_cmd_opt_do_gen_gin_lib,
     "generate a Morse type forcefield file in .lib format for calculation with software GULP."},
    {"--gen-gin-eam", kelmar_cmd_opt_do_gen_gin_eam,
     "generate a Embedde-atom Method forcefield file in .lib format for calculation with software GULP."},
    {"--gen-gin", kelmar_cmd_opt_do_gen_gin,
     "generate an overall input file in .gin format for performing molecular dynamics calculaiton with "
     "software GULP."},
    {"--gen-cube", kelmar_cmd_opt_do_gen_cube,
     "calculate the static energy landscape for ionic conduction and write the result to file in Gaussian cube "
     "format.", 5},
    {"--gen-cube-gii", kelmar_cmd_opt_do_gen_cube_gii,
     "calculate the static GII(global instability index) landscape for ionic conduction and write the result "
     "to file in Gaussian cube format.", 5},
    {"--gen-cube-tot", kelmar_cmd_opt_do_gen_cube_tot,
     "calculate the total energy landscape for ionic conducting and write the result to file in Gaussian cube "
     "format.", 5},
    {"--gen-cube-tot-eam", kelmar_cmd_opt_do_gen_cube_tot_eam,
     "calculate the total energy landscape for ionic conducting with EAM term and write the result to file in "
     "Gaussian cube format.", 5},
    paragraph,
    {"--cal-bv", kelmar_cmd_opt_do_cal_bv, "calculate bond valences of the loaded cell."},
    {"--cal-bv-gui", kelmar_cmd_opt_do_cal_bv_gui, nullptr},
    {"--cal-bv-type", kelmar_cmd_opt_do_cal_bv_type, nullptr, 7},
    {"--cal-gii", kelmar_cmd_opt_do_cal_gii, "calculate the global instability index of the loaded cell."},
    {"--cal-cn", kelmar_cmd_opt_do_cal_cn,
     "calculate the coordination number of the specified atom by radius distribution function, suggest to use "
     "--cal-cn-bv for better accuracy.", 4},
    {"--cal-cn-bv", kelmar_cmd_opt_do_cal_cn_bv, "calculate the coordination number of the specified atom by bond valence theory.", 4},
    {"--cal-cn-atom", kelmar_cmd_opt_do_cal_cn_atom, "calculate coordination shell of the specified atom.", 6},
    {"--cal-cn-type", kelmar_cmd_opt_do_cal_cn_type, "calculates averaged coordination number of the specified pair of ions.", 7},
    {"--cal-cn-gui", kelmar_cmd_opt_do_cal_cn_gui, "calculates and print out the coordination number of all sites by bond valence theory."},
    {"--cal-sym", kelmar_cmd_opt_do_cal_sym, "calculate symmetry of the loaded cell."},
    {"--cal-tot-en", kelmar_cmd_opt_do_cal_tot_en, "calculate the total energy of the loaded cell."},
    {"--cal-charge", kelmar_cmd_opt_do_cal_charge, "calculate the total charge of the loaded cell."},
    paragraph,
    {"--rx-sd", kelmar_cmd_opt_do_rx_sd,
     "perform a relaxation of loaded cell with steepest descend algorithm and write the result to file in cif "
     "format."},
    {"--rx-neb", kelmar_cmd_opt_do_rx_neb, "perform a simple nudged elastic bend calculation with input of two end images.", 5},
    {"--rx-neb-images", kelmar_cmd_opt_do_rx_neb_images,
     "perform a simple nudged elastic bend calculation with input of a series of images.", 4},
    {"--fft", kelmar_cmd_opt_do_fft,
     "perform a fourier transform analysis to determine critical points and eigenvalues/vectors at these "
     "points."},
    {"--fft-cubes", kelmar_cmd_opt_do_fft_cubes,
     "perform a fourier transform analysis and generate cubes corresponding to force, force constant, "
     "laplacian and slope."},
    {"--fp-map", kelmar_cmd_opt_do_fp_map, "generates a cif file representing conduction path in the given cube file."},
    {"--gh", kelmar_cmd_opt_do_gh,
     "generates cif files and csv file representing the characteristic conduction pathway in the given cube "
     "file.", 6},
    {"--sites", kelmar_cmd_opt_do_sites, "output a summary of sites based on graph analysis.", 6},
    {"--md", kelmar_cmd_opt_do_md, "perform a molecular dynamics allowing only conducting ions to move.", 5},
    {"--kmc", kelmar_cmd_opt_do_kmc,
     "conducts a kinetic monte carlo simulation to estimate the ionic conductivity given the cif and cube "
     "files.", 6},
    paragraph,
    // text mode: a whole CIF on the command line after "-:text"
    {"--text-cal-bv", kelmar_cmd_opt_do_text_cal_bv, nullptr},
    {"--text-gen-gin-lib", kelmar_cmd_opt_do_text_gen_gin_lib, nullptr},
    {"--text-gen-gin-lib-set-sf", kelmar_cmd_opt_do_text_gen_gin_lib_set_sf, nullptr},
};

}  // namespace

int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT*) {
    std::printf("Message: avalable commands are listed.\n");
    std::printf("Message: detailed help with each command can be found by typing each command without argument,\n");
    std::printf("Message: basic format is: --command-name [compulsory arguments] | {optional arguments}\n");
    // every paragraph opens with an empty line; one that lists nothing prints nothing
    bool opened = false;
    for (const KmCommand& c : kelmar_cmd_table) {
        if (c.word[0] == '\0') {
            opened = false;
            continue;
        }
        if (c.help == nullptr) continue;
        if (!opened) std::printf("\n");
        opened = true;
        std::printf("Message:   %-20s: %s\n", c.word, c.help);
    }
    return 0;
}

int kelmar_cmd_opt_required_words(const char* word) {
    if (word == nullptr || word[0] == '\0') return 0;
    for (const KmCommand& c : kelmar_cmd_table)
        if (std::strcmp(c.word, word) == 0) return c.handler != nullptr ? c.words : 0;
    return 0;
}

KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word) {
    if (word == nullptr || word[0] == '\0') return nullptr;
    for (const KmCommand& c : kelmar_cmd_table)
        if (std::strcmp(c.word, word) == 0) return c.handler;
    return nullptr;
}
