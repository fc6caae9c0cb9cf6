// Handler of the molecular-dynamics command --md.
#include <cstdio>
#include <string>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "md.hpp"
#include "md-run.hpp"

int kelmar_cmd_opt_do_md(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 5) {
        std::printf("Command: --md [input.cif] {type} {os} | {sf} {temperature} {t_end} {t_equil} {dt} {t_log}\n\n");
        std::printf("  input.cif:   the structure; its conducting ions must have whole occupancies, sites with\n");
        std::printf("               _atom_site_kelmar_fixed true stay in place, all other species are fixed.\n");
        std::printf("  type, os:    the conducting ion, e.g. Li 1.\n");
        std::printf("  sf:          Coulomb screening factor (default -0.1: searched automatically).\n");
        std::printf("  temperature: thermostat temperature in K (default 300).\n");
        std::printf("  t_end:       production time in ps (default 10).\n");
        std::printf("  t_equil:     equilibration time in ps (default 2).\n");
        std::printf("  dt:          time step in ps (default 0.001).\n");
        std::printf("  t_log:       sampling interval in ps (default 100 steps).\n");
        std::printf("  Each non-positive value selects its default. Writes input.cif.md.txt (observables),\n");
        std::printf("  .md.xyz (structures), .md.trj (displacements) and .md.cif (the final structure).\n\n");
        std::printf("Example: ./kelmar.x --md Li2O.cif Li 1\n");
        std::printf("Example: ./kelmar.x --md Li2O.cif Li 1 -1 600 5 1 0.001 0.1\n");
        return 0;
    }
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[3]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[4], "os", &os)) return 1;
    double sf = -0.1, temperature = -0.1, t_end = -0.1, t_equil = -0.1, dt = -0.1, t_log = -0.1;
    if (!kelmar_cmd_opt_optional_double(opt, 5, "sf", &sf) ||
        !kelmar_cmd_opt_optional_double(opt, 6, "temperature", &temperature) ||
        !kelmar_cmd_opt_optional_double(opt, 7, "t_end", &t_end) ||
        !kelmar_cmd_opt_optional_double(opt, 8, "t_equil", &t_equil) ||
        !kelmar_cmd_opt_optional_double(opt, 9, "dt", &dt) || !kelmar_cmd_opt_optional_double(opt, 10, "t_log", &t_log))
        return 1;
    for (const char* suffix : {".md.txt", ".md.xyz", ".md.trj", ".md.cif"})
        kelmar_cmd_result_file(std::string(opt->argv[2]) + suffix);
    if (kelmar_md_conduction_from_file(opt->argv[2], type, os, sf, temperature, t_end, t_equil, dt, t_log,
                                       opt->dir_unitary.c_str(), opt->dir_binary.c_str(),
                                       opt->dir_symcards.c_str(), opt->random) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_conduction_from_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}
