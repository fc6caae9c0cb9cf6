// Handlers of the force-field commands: total energy and steepest-descent relaxation (the nudged
// elastic band commands belong here too).
#include <cstdio>
#include <memory>
#include <string>

#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "import-ppt.hpp"
#include "import.hpp"
#include "rx.hpp"

int kelmar_cmd_opt_do_cal_tot_en(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-tot-en [input.cif] | {sf}\n\n");
        std::printf("  input.cif: the structure whose total energy is calculated.\n");
        std::printf("  sf:        Coulomb screening factor (default: -0.1, searched automatically).\n\n");
        std::printf("Example: ./kelmar.x --cal-tot-en LiFePO4.cif\n");
        std::printf("Example: ./kelmar.x --cal-tot-en LiFePO4.cif 0.75\n");
        return 0;
    }
    double sf = -0.1;
    if (!kelmar_cmd_opt_optional_double(opt, 3, "sf", &sf)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_cell_flag_site_by_symmetry(cell.get(), sym.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
        return 1;
    }
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), nullptr, 0, sf);
    if (ppt == nullptr) return 1;
    if (kelmar_property_calculate_unitary_eam_parameter(ppt.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_calculate_unitary_eam_parameter() returns non-zero.\n");
        return 1;
    }
    // Missing or unusable parameters stop here rather than give a meaningless energy.
    if (kelmar_property_validate_generic(ppt.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_validate_generic() returns non-zero.\n");
        return 1;
    }
    // A pair energy of exactly 0 means the sum failed (its error line is printed); a valid record
    // never gives it, so no total energy is reported as if it were one.
    const double pair = kelmar_cell_total_energy(cell.get(), ppt.get(), false);
    if (pair == 0.0) return 1;
    const double eam = kelmar_cell_calculate_eam_energy(cell.get(), ppt.get());
    if (pair != 0.0) std::printf("Message: interatomic energy = %lf eV\n", pair);
    if (eam != 0.0) std::printf("Message: eam energy = %lf eV\n", eam);
    std::printf("Message: total energy = %lf eV\n", pair + eam);
    return 0;
}

int kelmar_cmd_opt_do_rx_sd(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --rx-sd [input.cif] | {step_limit} {step_p} {f_conv} {p_conv} {sf} {output_name}\n\n");
        std::printf("  input.cif:   the structure to relax; sites with _atom_site_kelmar_fixed true stay in place.\n");
        std::printf("  step_limit:  0 for no limit (default), n > 0 for at most n steps,\n");
        std::printf("               n < 0 for at most |n| steps of the lattice alone.\n");
        std::printf("  step_p:      lattice update every step_p steps (default 0: lattice kept).\n");
        std::printf("  f_conv:      force criterion (default 0.005).\n");
        std::printf("  p_conv:      pressure criterion (default 0.001).\n");
        std::printf("  sf:          Coulomb screening factor (default -1.0: searched automatically).\n");
        std::printf("  output_name: the relaxed structure (default: input name + \".rx.cif\").\n\n");
        std::printf("Example: ./kelmar.x --rx-sd Li2O.cif 100\n");
        std::printf("Example: ./kelmar.x --rx-sd Li2O.cif 100 10 0.005 0.001 0.75 Li2O_relaxed.cif\n");
        return 0;
    }
    long step_limit = 0, step_p = 0;
    double f_conv = 0.0, p_conv = 0.0, sf = -1.0;
    if (!kelmar_cmd_opt_optional_long(opt, 3, "step_limit", &step_limit)) return 1;
    if (!kelmar_cmd_opt_optional_long(opt, 4, "step_p", &step_p)) return 1;
    if (!kelmar_cmd_opt_optional_double(opt, 5, "f_conv", &f_conv)) return 1;
    if (!kelmar_cmd_opt_optional_double(opt, 6, "p_conv", &p_conv)) return 1;
    if (!kelmar_cmd_opt_optional_double(opt, 7, "sf", &sf)) return 1;
    const char* given = kelmar_cmd_opt_arg(opt, 8);
    const std::string output = given ? std::string(given) : kelmar_cmd_opt_name_append(opt->argv[2], ".rx.cif");
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), nullptr, 0, sf);
    if (ppt == nullptr) return 1;
    // The fixed marks are read after the assembly so that the screening-factor search sees the
    // whole structure.
    if (kelmar_cell_import_cif_read_constraint(cell.get(), opt->argv[2]) == 0)
        std::printf("Message: relaxation constraint found.\n");
    else
        std::printf("Message: relaxation without constraint.\n");
    auto relaxed = kelmar_cell_relax_sd(cell.get(), ppt.get(), step_limit, step_p, f_conv, p_conv);
    if (relaxed == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_relax_sd() returns NULL.\n");
        return 1;
    }
    if (kelmar_cell_export_cif_to_file(output.c_str(), relaxed.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}
