// Handlers of the coordination commands.
#include <cstdio>
#include <cstring>
#include <string>

#include "bv.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "cn.hpp"
#include "kelmar.hpp"

namespace {

// Longest label --cal-cn accepts; the other commands take any label that fits an atom's name.
constexpr std::size_t CN_LABEL_SHORT = 7;
constexpr std::size_t CN_LABEL_LONG = sizeof(KELMAR_ATOM{}.name) - 1;

bool label_argument(const char* arg, std::size_t longest) {
    if (arg[0] == '\0' || std::strlen(arg) > longest) {
        std::fprintf(stderr, "Error: wrong parameter atom_name.\n");
        return false;
    }
    return true;
}

// rds_cutoff at argument i, default -0.1 (the built-in value).
bool rds_argument(const KELMAR_CMD_OPT* opt, int i, double* rds) {
    *rds = -0.1;
    return kelmar_cmd_opt_optional_double(opt, i, "rds_tiny", rds);
}

// Species argument pair: element (its first two characters) and oxidation state.
bool species_arguments(const KELMAR_CMD_OPT* opt, int i, const char* type_name, const char* os_name, char type[3],
                       int* os) {
    const char* t = opt->argv[i];
    if (t[0] == '\0') {
        std::fprintf(stderr, "Error: wrong parameter %s.\n", type_name);
        return false;
    }
    kelmar_cmd_opt_get_type(type, t);
    return kelmar_cmd_opt_parse_int(opt->argv[i + 1], os_name, os);
}

}  // namespace

int kelmar_cmd_opt_do_cal_cn(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 4) {
        std::printf("Command: --cal-cn [input.cif] {atom_name} | {rds_cutoff}\n\n");
        std::printf("  input.cif:  the structure.\n");
        std::printf("  atom_name:  label of the centre atom (at most 7 characters).\n");
        std::printf("  rds_cutoff: tolerance above the lowest radial density that still separates shells\n");
        std::printf("              (default -0.1: the built-in 0.01; larger values give smaller shells).\n\n");
        std::printf("Example: ./kelmar.x --cal-cn LiFePO4.cif Fe2\n");
        std::printf("Example: ./kelmar.x --cal-cn LiFePO4.cif Fe2 0.02\n");
        return 0;
    }
    const char* name = opt->argv[3];
    double rds = -0.1;
    if (!label_argument(name, CN_LABEL_SHORT) || !rds_argument(opt, 4, &rds)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_cn_calculate(cell.get(), name, rds) != 0) {
        std::fprintf(stderr, "Error: kelmar_cn_calculate() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_cal_cn_atom(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 6) {
        std::printf("Command: --cal-cn-atom [input.cif] {atom_name} {type_c} {os_c} | {rds_cutoff}\n\n");
        std::printf("  input.cif:  the structure.\n");
        std::printf("  atom_name:  label of the centre atom.\n");
        std::printf("  type_c:     element of the neighbours counted.\n");
        std::printf("  os_c:       their oxidation state.\n");
        std::printf("  rds_cutoff: shell tolerance (default -0.1: the built-in 0.01).\n\n");
        std::printf("Example: ./kelmar.x --cal-cn-atom LiFePO4.cif Fe2 O -2\n");
        return 0;
    }
    const char* name = opt->argv[3];
    char type_c[3] = {};
    int os_c = 0;
    double rds = -0.1;
    if (!label_argument(name, CN_LABEL_LONG) || !species_arguments(opt, 4, "type_c", "os_c", type_c, &os_c) ||
        !rds_argument(opt, 6, &rds))
        return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_cn_calculate_by_name(cell.get(), name, type_c, os_c, rds) != 0) {
        std::fprintf(stderr, "Error: kelmar_cn_calculate_by_name() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_cal_cn_type(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 7) {
        std::printf("Command: --cal-cn-type [input.cif] {type} {os} {type_c} {os_c} | {rds_cutoff}\n\n");
        std::printf("  input.cif:  the structure.\n");
        std::printf("  type, os:   the centre species.\n");
        std::printf("  type_c:     element of the neighbours counted.\n");
        std::printf("  os_c:       their oxidation state.\n");
        std::printf("  rds_cutoff: shell tolerance (default -0.1: the built-in 0.01).\n\n");
        std::printf("Example: ./kelmar.x --cal-cn-type LiFePO4.cif Li 1 O -2\n");
        return 0;
    }
    char type[3] = {}, type_c[3] = {};
    int os = 0, os_c = 0;
    double rds = -0.1;
    if (!species_arguments(opt, 3, "type", "os", type, &os) ||
        !species_arguments(opt, 5, "type_c", "os_c", type_c, &os_c) || !rds_argument(opt, 7, &rds))
        return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_cn_calculate_by_type(cell.get(), sym.get(), type, os, type_c, os_c, rds) != 0) {
        std::fprintf(stderr, "Error: kelmar_cn_calculate_by_type() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_cal_cn_bv(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 4) {
        std::printf("Command: --cal-cn-bv [input.cif] {atom_name}\n\n");
        std::printf("  input.cif: the structure.\n");
        std::printf("  atom_name: label of the centre atom.\n\n");
        std::printf("Example: ./kelmar.x --cal-cn-bv LiFePO4.cif Fe2\n");
        return 0;
    }
    const char* name = opt->argv[3];
    if (!label_argument(name, CN_LABEL_LONG)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    if (kelmar_cn_calculate_by_bv(cell.get(), sym.get(), name, opt->dir_unitary.c_str(), opt->dir_binary.c_str()) !=
        0) {
        std::fprintf(stderr, "Error: kelmar_cn_calculate_by_bv() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_cal_cn_gui(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-cn-gui [input.cif] \n\n");
        std::printf("  input.cif: the structure; every site's coordination number by bond valence is listed.\n\n");
        std::printf("Example: ./kelmar.x --cal-cn-gui LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell, &sym)) return 1;
    std::unique_ptr<KELMAR_BV> bv;
    auto tot = kelmar_cn_tot_calculate_from_cell(cell.get(), sym.get(), opt->dir_unitary.c_str(),
                                                 opt->dir_binary.c_str(), &bv);
    if (tot == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cn_tot_calculate_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_cn_print_gui(tot.get());
    return 0;
}
