// Handlers of the parameter, bond-valence and global-instability commands.
#include <cstdio>
#include <string>

#include "bv.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "kelmar.hpp"
#include "property-assemble.hpp"

namespace {

// Reads the structure named by argument 2; false (with the error line) on failure.
bool load_structure(const KELMAR_CMD_OPT* opt, std::unique_ptr<KELMAR_CELL>* cell,
                    std::unique_ptr<KELMAR_SYMMETRY>* sym) {
    return kelmar_cmd_opt_load_structure(opt, opt->argv[2], cell, sym);
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
    if (!kelmar_cmd_opt_optional_double(opt, 3, "sf", &sf)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), nullptr, 0, sf);
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
        if (!kelmar_cmd_opt_optional_double(opt, 3, "sf", &sf)) return 1;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell.get(), mobile, os, sf);
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
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure_text(opt, &cell, &sym)) return 1;
    return print_bv_and_gii(opt, cell.get(), sym.get());
}
