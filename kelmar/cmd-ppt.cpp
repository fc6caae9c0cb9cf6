// Handlers of the parameter, bond-valence, total-energy and relaxation commands.
#include <cstdio>
#include <string>

#include "bv.hpp"
#include "cmd.hpp"
#include "import-ppt.hpp"
#include "import.hpp"
#include "rx.hpp"

namespace {

// Reads the structure named by argument 2; false (with the error line) on failure.
bool load_structure(const KELMAR_CMD_OPT* opt, std::unique_ptr<KELMAR_CELL>* cell,
                    std::unique_ptr<KELMAR_SYMMETRY>* sym) {
    return kelmar_cmd_opt_load_structure(opt, opt->argv[2], cell, sym);
}

// Optional double argument i; true when absent (value unchanged) or parsed.
bool optional_double(const KELMAR_CMD_OPT* opt, int i, const char* name, double* value) {
    const char* arg = kelmar_cmd_opt_arg(opt, i);
    return arg == nullptr || kelmar_cmd_opt_parse_double(arg, name, value);
}

bool optional_long(const KELMAR_CMD_OPT* opt, int i, const char* name, long* value) {
    const char* arg = kelmar_cmd_opt_arg(opt, i);
    return arg == nullptr || kelmar_cmd_opt_parse_long(arg, name, value);
}

// Element type argument: its first two characters; false (with the error line) when empty.
bool type_argument(const KELMAR_CMD_OPT* opt, int i, const char* name, char type[3]) {
    const char* arg = kelmar_cmd_opt_arg(opt, i);
    if (arg == nullptr || arg[0] == '\0') {
        std::fprintf(stderr, "Error: wrong parameter %s.\n", name);
        return false;
    }
    kelmar_cmd_opt_get_type(type, arg);
    return true;
}

std::unique_ptr<KELMAR_PROPERTY> assemble(const KELMAR_CMD_OPT* opt, KELMAR_CELL* cell, const char* type, int os,
                                          double sf) {
    auto ppt = kelmar_property_import_from_cell(cell, type, os, sf, opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (ppt == nullptr) std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
    return ppt;
}

// Sums and GII of a structure, as printed by --cal-bv and --text-cal-bv.
int print_bv_and_gii(const KELMAR_CMD_OPT* opt, KELMAR_CELL* cell, const KELMAR_SYMMETRY* sym) {
    auto bv = kelmar_bv_calculate_from_cell(cell, sym, opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_bv_print(bv.get());
    kelmar_gii_calculate_from_bv(bv.get());
    return 0;
}

}  // namespace

int kelmar_cmd_opt_do_print_ppt(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --print-ppt [input.cif] | {screening factor}.\n\n");
        std::printf("  input.cif:        the structure whose parameters are assembled.\n");
        std::printf("  screening factor: Coulomb screening factor (default: searched automatically).\n\n");
        std::printf("Example: ./kelmar.x --print-ppt LiFePO4.cif\n");
        std::printf("Example: ./kelmar.x --print-ppt LiFePO4.cif 0.75\n");
        return 0;
    }
    double sf = -1.0;
    if (!optional_double(opt, 3, "sf", &sf)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto ppt = assemble(opt, cell.get(), nullptr, 0, sf);
    if (ppt == nullptr) return 1;
    if (kelmar_property_calculate_unitary_eam_parameter(ppt.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_calculate_unitary_eam_parameter() returns non-zero.\n");
        return 1;
    }
    kelmar_property_print_format(ppt.get());
    return 0;
}

int kelmar_cmd_opt_do_print_ppt_full(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --print-ppt-full: [input.cif] | {screening factor} {conducting ion type} "
                    "{conducting ion os}.\n\n");
        std::printf("Command: reserved for debugging purpose\n");
        std::printf("  input.cif:           the structure whose parameters are assembled.\n");
        std::printf("  screening factor:    Coulomb screening factor (default: searched automatically).\n");
        std::printf("  conducting ion type: mobile species added to the record (with its os, the screening\n");
        std::printf("                       factor is searched automatically).\n\n");
        std::printf("Example: ./kelmar.x --print-ppt-full LiFePO4.cif\n");
        std::printf("Example: ./kelmar.x --print-ppt-full LiFePO4.cif -1 Na 1\n");
        return 0;
    }
    double sf = -1.0;
    char type[3] = {};
    int os = 0;
    const char* mobile = nullptr;
    if (opt->argc >= 6) {
        if (!type_argument(opt, 4, "type", type)) return 1;
        if (!kelmar_cmd_opt_parse_int(opt->argv[5], "os", &os)) return 1;
        mobile = type;
    } else if (opt->argc >= 4) {
        if (!optional_double(opt, 3, "sf", &sf)) return 1;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto ppt = assemble(opt, cell.get(), mobile, os, sf);
    if (ppt == nullptr) return 1;
    kelmar_property_print(ppt.get());
    return 0;
}

int kelmar_cmd_opt_do_cal_bv(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-bv [intput.cif]\n");
        std::printf("  intput.cif: the structure whose bond-valence sums are calculated.\n\n");
        std::printf("Example: ./kelmar.x --cal-bv LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    return print_bv_and_gii(opt, cell.get(), sym.get());
}

int kelmar_cmd_opt_do_cal_bv_gui(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::fprintf(stderr, "Error: not enough arguments.\n");
        return 1;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto bv = kelmar_bv_calculate_from_cell(cell.get(), sym.get(), opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_bv_print_gui(bv.get());
    return 0;
}

int kelmar_cmd_opt_do_cal_bv_type(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 7) {
        std::printf("Command: --cal-bv-type [intput.cif] [type1] [os1] [type2] [os2]\n\n");
        std::printf("  intput.cif: the structure to read.\n");
        std::printf("  type1, os1: the cation species.\n");
        std::printf("  type2, os2: the anion species; only these two species are summed.\n\n");
        std::printf("Example: ./kelmar.x --cal-bv-type LiFePO4.cif Li 1 O -2\n");
        return 0;
    }
    char type1[3] = {}, type2[3] = {};
    int os1 = 0, os2 = 0;
    if (!type_argument(opt, 3, "type1", type1)) return 1;
    if (!kelmar_cmd_opt_parse_int(opt->argv[4], "os1", &os1)) return 1;
    if (!type_argument(opt, 5, "type2", type2)) return 1;
    if (!kelmar_cmd_opt_parse_int(opt->argv[6], "os2", &os2)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto bv = kelmar_bv_calculate_from_cell_with_type(cell.get(), sym.get(), type1, os1, type2, os2,
                                                      opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_cell_with_type() returns NULL.\n");
        return 1;
    }
    kelmar_bv_print(bv.get());
    return 0;
}

int kelmar_cmd_opt_do_cal_gii(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-gii [input.cif]\n\n");
        std::printf("  input.cif: the structure whose global instability index is calculated.\n\n");
        std::printf("Example: ./kelmar.x --cal-gii LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    const double gii =
        kelmar_gii_calculate_from_cell(cell.get(), sym.get(), opt->dir_unitary.c_str(), opt->dir_binary.c_str());
    if (gii < 0) {
        std::fprintf(stderr, "Error: kelmar_gii_calculate_from_cell() returns negative value.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_text_cal_bv(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 4) {
        std::fprintf(stderr, "Error: not enough arguments.\n");
        return 1;
    }
    auto text = kelmar_cmd_opt_cat_tail(opt);
    if (text == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cmd_opt_cat_tail() returns NULL.\n");
        return 1;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_text(&cell, &sym, text.get(), opt->dir_symcards.c_str(),
                                         opt->dir_unitary.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_text() returns non-zero.\n");
        return 1;
    }
    return print_bv_and_gii(opt, cell.get(), sym.get());
}

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
    if (!optional_double(opt, 3, "sf", &sf)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    if (kelmar_cell_flag_site_by_symmetry(cell.get(), sym.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
        return 1;
    }
    auto ppt = assemble(opt, cell.get(), nullptr, 0, sf);
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
    if (!optional_long(opt, 3, "step_limit", &step_limit)) return 1;
    if (!optional_long(opt, 4, "step_p", &step_p)) return 1;
    if (!optional_double(opt, 5, "f_conv", &f_conv)) return 1;
    if (!optional_double(opt, 6, "p_conv", &p_conv)) return 1;
    if (!optional_double(opt, 7, "sf", &sf)) return 1;
    const char* given = kelmar_cmd_opt_arg(opt, 8);
    const std::string output = given ? std::string(given) : kelmar_cmd_opt_name_append(opt->argv[2], ".rx.cif");
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto ppt = assemble(opt, cell.get(), nullptr, 0, sf);
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
