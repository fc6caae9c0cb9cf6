// Site graph commands: --sites (sites summary) and --gh (conduction network and pathway files).
#include <cstdio>
#include <string>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "gh-run.hpp"

namespace {

// Strict flags: only t/T and f/F are accepted; false after the error line.
bool strict_flag(const char* arg, const char* name, bool* value) {
    if (arg == nullptr) return true;
    if (arg[0] == 't' || arg[0] == 'T') *value = true;
    else if (arg[0] == 'f' || arg[0] == 'F') *value = false;
    else {
        std::fprintf(stderr, "Error: wrong parameter %s.\n", name);
        return false;
    }
    return true;
}

}  // namespace

int kelmar_cmd_opt_do_sites(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 6) {
        std::printf("Command: --sites [input.cif] [input.cube] {type} {os} | {de} {dr} {barrier_max} {flag:print_long} "
                    "{flag:periodic}\n\n");
        std::printf("  {de}             energy step (eV) above which a basin gets a split site (default 0.0257).\n");
        std::printf("  {dr}             distance (A) below which real sites are merged (default 0.5).\n");
        std::printf("  {barrier_max}    keep half-paths whose barrier is at most this (eV); negative: all.\n");
        std::printf("  {flag:print_long} t/f: the long table (default f).\n");
        std::printf("  {flag:periodic}  t/f: f for a cube that repeats its boundary planes (default t).\n");
        std::printf("Example: ./kelmar.x --sites LiFePO4.cif LiFePO4.cube Li 1\n");
        return 0;
    }
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[4]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[5], "os", &os)) return 1;
    double de = -0.1, dr = -0.1, barrier = -0.1;
    if (!kelmar_cmd_opt_optional_double(opt, 6, "de", &de) || !kelmar_cmd_opt_optional_double(opt, 7, "dr", &dr) ||
        !kelmar_cmd_opt_optional_double(opt, 8, "barrier_max", &barrier))
        return 1;
    bool print_long = false, periodic = true;
    if (!strict_flag(kelmar_cmd_opt_arg(opt, 9), "print_long", &print_long) ||
        !strict_flag(kelmar_cmd_opt_arg(opt, 10), "periodic", &periodic))
        return 1;
    kelmar_cmd_result_file(std::string(opt->argv[2]) + ".site.cif");
    if (kelmar_graph_sites_calculate_from_file(opt->argv[2], opt->argv[3], type, os, de, dr, barrier, print_long,
                                               periodic, opt->dir_unitary.c_str(), opt->dir_binary.c_str(),
                                               opt->dir_symcards.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_graph_sites_calculate_from_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_gh(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 6) {
        std::printf("Command: --gh [input.cif] [input.cube] [type] [os] | {barrier_max} {flag:periodic}\n\n");
        std::printf("  {barrier_max}    keep half-paths whose barrier is at most this (eV); negative: all.\n");
        std::printf("  {flag:periodic}  t/f: f for a cube that repeats its boundary planes (default t).\n");
        std::printf("Writes <input.cif>.gh.cif, .gh.txt and .gh.1d/2d/3d/0d.cif for the networks found.\n");
        std::printf("Example: ./kelmar.x --gh LiFePO4.cif LiFePO4.cube Li 1\n");
        return 0;
    }
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[4]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[5], "os", &os)) return 1;
    double barrier = -0.1;
    if (!kelmar_cmd_opt_optional_double(opt, 6, "barrier_max", &barrier)) return 1;
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 7), true);
    for (const char* suffix : {".gh.cif", ".gh.txt", ".gh.1d.cif", ".gh.2d.cif", ".gh.3d.cif", ".gh.0d.cif"})
        kelmar_cmd_result_file(std::string(opt->argv[2]) + suffix);
    if (kelmar_graph_network_calculate_from_file_export_full(opt->argv[2], opt->argv[2], opt->argv[3], type, os,
                                                             barrier, periodic, opt->dir_unitary.c_str(),
                                                             opt->dir_binary.c_str(),
                                                             opt->dir_symcards.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_graph_network_calculate_from_file_export_full() returns non-zero.\n");
        return 1;
    }
    return 0;
}
