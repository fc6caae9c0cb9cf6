// Landscape commands: --gen-cube and its GII / total-energy twins, and --print-cube.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "cube-models.hpp"
#include "cube-run.hpp"
#include "cube.hpp"
#include "kelmar.hpp"

namespace {

void print_gen_cube_usage(const CubeModel& model) {
    const char* w = model.command;
    std::printf("Command: %s [input.cif] [type] [os] | {sf} {resolution} {flag:ignore_conducting_ion} "
                "{flag:periodic} {flag:skip_mix_occ} {output_name}\n\n",
                w);
    std::printf("  [input.cif]                  structure file in cif format.\n");
    std::printf("  [type]                       element symbol of the conducting ion, e.g. Li.\n");
    std::printf("  [os]                         oxidation state of the conducting ion, e.g. 1.\n");
    std::printf("  {sf}                         screening factor; 0 or below: determined automatically "
                "(default -0.1).\n");
    std::printf("  {resolution}                 grid spacing in angstrom; 0 or below: 0.1 (default 0.1).\n");
    std::printf("  {flag:ignore_conducting_ion} t/f: leave the other conducting ions out (default t).\n");
    std::printf("  {flag:periodic}              t/f: write each grid plane once (default t).\n");
    std::printf("  {flag:skip_mix_occ}          t/f: skip structures whose conducting sites are shared "
                "(default f).\n");
    std::printf("  {output_name}                cube file name (default: input name with .cube for .cif).\n");
    std::printf("Example: ./kelmar.x %s LiFePO4.cif Li 1\n", w);
    std::printf("Example: ./kelmar.x %s LiFePO4.cif Li 1 0.75 0.2 t t f LiFePO4_Li.cube\n", w);
}

int gen_cube(KELMAR_CMD_OPT* opt, const char* command) {
    const CubeModel& model = *cube_model_for(command);
    if (opt->argc < 5) {
        print_gen_cube_usage(model);
        return 0;
    }
    const char* cif = opt->argv[2];
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[3]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[4], "conducting os", &os)) return 1;
    if (os == 0) {
        // a neutral probe has no bond-valence landscape
        std::fprintf(stderr, "Error: wrong parameter conducting os.\n");
        return 1;
    }
    double sf = -0.1;
    if (const char* a = kelmar_cmd_opt_arg(opt, 5)) {
        if (!kelmar_cmd_opt_parse_double(a, "screening factor", &sf)) return 1;
        if (!std::isfinite(sf)) {
            std::fprintf(stderr, "Error: wrong parameter screening factor.\n");
            return 1;
        }
    }
    double resolution = 0.1;
    if (const char* a = kelmar_cmd_opt_arg(opt, 6)) {
        if (!kelmar_cmd_opt_parse_double(a, "resolution", &resolution)) return 1;
        if (std::isnan(resolution) || std::isinf(resolution)) {
            std::fprintf(stderr, "Error: wrong parameter resolution.\n");
            return 1;
        }
    }
    if (resolution <= 0) resolution = 0.1;
    const bool ignore_conducting = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 7), true);
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 8), true);
    const bool skip_mix_occ = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 9), false);
    const std::string cubename =
        kelmar_cmd_opt_arg(opt, 10) ? std::string(opt->argv[10]) : kelmar_cmd_opt_name_replace4(cif, ".cube");
    const std::string cifname = kelmar_cmd_opt_name_replace4(cif, "_assigned.cif");

    kelmar_cmd_result_file(cubename);
    kelmar_cmd_result_file(cifname);
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> symmetry;
    // A landscape needs a neutral cell, unless shared mobile sites are to be skipped: that
    // decision comes first.
    if (!kelmar_cmd_opt_load_structure(opt, cif, &cell, &symmetry, !skip_mix_occ, type)) return 1;
    const std::clock_t start = std::clock();
    const int rc = cube_model_write_assigned(model, cubename.c_str(), cifname.c_str(), cell.get(), symmetry.get(),
                                             type, os, sf, resolution, ignore_conducting, periodic, skip_mix_occ,
                                             opt->dir_unitary.c_str(), opt->dir_binary.c_str(), opt->random);
    if (model.timed)
        std::printf("Elapsed: %f seconds.\n", static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    return rc == 0 ? 0 : 1;
}

}  // namespace

int kelmar_cmd_opt_do_gen_cube(KELMAR_CMD_OPT* opt) { return gen_cube(opt, "--gen-cube"); }
int kelmar_cmd_opt_do_gen_cube_gii(KELMAR_CMD_OPT* opt) { return gen_cube(opt, "--gen-cube-gii"); }
int kelmar_cmd_opt_do_gen_cube_tot(KELMAR_CMD_OPT* opt) { return gen_cube(opt, "--gen-cube-tot"); }
int kelmar_cmd_opt_do_gen_cube_tot_eam(KELMAR_CMD_OPT* opt) { return gen_cube(opt, "--gen-cube-tot-eam"); }

int kelmar_cmd_opt_do_print_cube(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --print-cube [input.cube] | {flag:periodic}\n\n");
        std::printf("  [input.cube]     cube file written by --gen-cube.\n");
        std::printf("  {flag:periodic}  t/f: f for a file that repeats its boundary planes (default t).\n");
        std::printf("Example: ./kelmar.x --print-cube LiFePO4.cube\n");
        std::printf("Example: ./kelmar.x --print-cube LiFePO4.cube f\n");
        return 0;
    }
    const bool periodic = kelmar_cmd_opt_parse_flag(kelmar_cmd_opt_arg(opt, 3), true);
    std::unique_ptr<KELMAR_CUBE> cube;
    if (kelmar_cube_import_from_file(&cube, nullptr, opt->argv[2], periodic, opt->dir_unitary.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_import_from_file() returns non-zero.\n");
        return 1;
    }
    kelmar_cube_print_info(cube.get());
    return 0;
}
