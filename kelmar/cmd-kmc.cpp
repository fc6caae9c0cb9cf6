// Kinetic Monte Carlo command: --kmc (conductivity of the mobile ions over the site graph).
#include <cstdio>
#include <string>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "kmc.hpp"
#include "kmc-run.hpp"

int kelmar_cmd_opt_do_kmc(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 6) {
        std::printf("Command: --kmc [input.cif] [input.cube] {type} {os} | {s0 s1 s2} {sf} {temperature} {t_limit} "
                    "{step_limit} {step_log} {cutoff}\n\n");
        std::printf("  {s0 s1 s2}       supercell of the site graph; 0 on an axis: enough cells to span 25 A.\n");
        std::printf("  {sf}             screening factor; 0: searched from the structure.\n");
        std::printf("  {temperature}    K (default 300).\n");
        std::printf("  {t_limit}        simulated time in ps; 0: no time limit.\n");
        std::printf("  {step_limit}     hops (default 10000000 when t_limit is 0 too).\n");
        std::printf("  {step_log}       hops between log lines (default 10000).\n");
        std::printf("  {cutoff}         A, reach of the Coulomb repulsion between ions (default 5.0; 0: none).\n");
        std::printf("Writes <input.cif>.kmc.init.cif, .kmc.cif, .kmc.log.txt and .kmc.xyz.txt.\n");
        std::printf("Example: ./kelmar.x --kmc LiFePO4.cif LiFePO4.cube Li 1 0 0 0 0.75 600 0 100000\n");
        return 0;
    }
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[4]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[5], "os", &os)) return 1;
    int s[3] = {0, 0, 0};
    const char* axis[3] = {"s0", "s1", "s2"};
    for (int p = 0; p < 3; ++p) {
        const char* arg = kelmar_cmd_opt_arg(opt, 6 + p);
        if (arg != nullptr && !kelmar_cmd_opt_parse_int(arg, axis[p], &s[p])) return 1;
        if (s[p] < 1) s[p] = 0;
    }
    double sf = 0.0, temperature = 0.0, t_limit = 0.0, cutoff = -1.0;
    long step_limit = 0, step_log = 0;
    if (!kelmar_cmd_opt_optional_double(opt, 9, "sf", &sf) ||
        !kelmar_cmd_opt_optional_double(opt, 10, "temperature", &temperature) ||
        !kelmar_cmd_opt_optional_double(opt, 11, "t_limit", &t_limit) ||
        !kelmar_cmd_opt_optional_long(opt, 12, "step_limit", &step_limit) ||
        !kelmar_cmd_opt_optional_long(opt, 13, "step_log", &step_log) ||
        !kelmar_cmd_opt_optional_double(opt, 14, "cutoff", &cutoff))
        return 1;
    // non-positive values select the defaults (0 for the cutoff is a real choice: no repulsion)
    if (sf < 0.0) sf = 0.0;
    if (temperature < 0.0) temperature = 0.0;
    if (t_limit < 0.0) t_limit = 0.0;
    if (step_limit < 0) step_limit = 0;
    if (step_log < 0) step_log = 0;
    for (const char* suffix : {".kmc.log.txt", ".kmc.xyz.txt", ".kmc.init.cif", ".kmc.cif"})
        kelmar_cmd_result_file(std::string(opt->argv[2]) + suffix);
    const double sigma = kelmar_kmc_calculate_conductivity_from_file(
        opt->argv[2], opt->argv[3], type, os, s, sf, temperature, t_limit, step_limit, step_log, cutoff,
        opt->dir_unitary.c_str(), opt->dir_binary.c_str(), opt->dir_symcards.c_str(), opt->random);
    if (sigma < 0.0) {
        std::fprintf(stderr, "Error: kelmar_kmc_calculate_conductivity_from_file() returns negative value.\n");
        return 1;
    }
    return 0;
}
