// Handlers of the structure commands: reading, printing and rewriting structures.
#include <cmath>
#include <cstdio>
#include <string>

#include "atom-order.hpp"
#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "symmetry.hpp"

namespace {

// Reads the structure named by argument 2; false (with the error line) on failure.
bool load_structure(const KELMAR_CMD_OPT* opt, std::unique_ptr<KELMAR_CELL>* cell,
                    std::unique_ptr<KELMAR_SYMMETRY>* sym) {
    return kelmar_cmd_opt_load_structure(opt, opt->argv[2], cell, sym);
}

// Output name: argument i when given, else the input name followed by suffix.
std::string output_name(const KELMAR_CMD_OPT* opt, int i, const char* suffix) {
    const char* given = kelmar_cmd_opt_arg(opt, i);
    return given ? std::string(given) : kelmar_cmd_opt_name_append(opt->argv[2], suffix);
}

int write_structure(const std::string& name, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* sym) {
    kelmar_cmd_result_file(name);
    if (kelmar_cell_export_cif_to_file(name.c_str(), cell, sym) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

}  // namespace

int kelmar_cmd_opt_do_print_cell(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --print-cell [input.cif].\n\n");
        std::printf("  input.cif: the structure to read.\n\n");
        std::printf("Example: ./kelmar.x --print-cell LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    kelmar_cell_print(cell.get());
    return 0;
}

int kelmar_cmd_opt_do_print_sym(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --print-sym [input.cif]\n\n");
        std::printf("  input.cif: the structure whose symmetry is printed.\n\n");
        std::printf("Example: ./kelmar.x --print-sym LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    kelmar_symmetry_print(sym.get());
    return 0;
}

int kelmar_cmd_opt_do_gen_cif(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --gen-cif [input.cif] | {output_name}.\n\n");
        std::printf("  input.cif:   the structure to read.\n");
        std::printf("  output_name: the file to write (default: input name + \".cif\").\n\n");
        std::printf("Example: ./kelmar.x --gen-cif LiFePO4.cif\n");
        std::printf("Example: ./kelmar.x --gen-cif LiFePO4.cif LiFePO4_out.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    return write_structure(output_name(opt, 3, ".cif"), cell.get(), sym.get());
}

int kelmar_cmd_opt_do_gen_cif_reduced(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --gen-cif-reduced [input.cif] | {output_name}\n\n");
        std::printf("  input.cif:   the structure to read.\n");
        std::printf("  output_name: the file to write (default: input name + \".reduced.cif\").\n\n");
        std::printf("Example: ./kelmar.x --gen-cif-reduced LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto reduced = kelmar_cell_reduce_by_symmetry(cell.get(), sym.get());
    if (!reduced) {
        std::fprintf(stderr, "Error: kelmar_cell_reduce_by_symmetry() returns NULL.\n");
        return 1;
    }
    auto p1 = kelmar_symmetry_new_p1();
    return write_structure(output_name(opt, 3, ".reduced.cif"), reduced.get(), p1.get());
}

int kelmar_cmd_opt_do_gen_cif_p1(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --gen-cif-p1 [input.cif] | {output_name}\n\n");
        std::printf("  input.cif:   the structure to read.\n");
        std::printf("  output_name: the file to write (default: input name + \".p1.cif\").\n\n");
        std::printf("Example: ./kelmar.x --gen-cif-p1 LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto p1 = kelmar_symmetry_new_p1();
    return write_structure(output_name(opt, 3, ".p1.cif"), cell.get(), p1.get());
}

int kelmar_cmd_opt_do_gen_cif_assign(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 5) {
        std::printf("Command: --gen-cif-assign [input.cif] [type] [os] | {output_name}\n\n");
        std::printf("  input.cif:   the structure to read.\n");
        std::printf("  type:        element symbol of the conducting ion (e.g. Li).\n");
        std::printf("  os:          oxidation state of the conducting ion (e.g. 1).\n");
        std::printf("  output_name: the file to write (default: input name + \".assign.cif\").\n\n");
        std::printf("Example: ./kelmar.x --gen-cif-assign Li3V2PO43.cif Li 1\n");
        return 0;
    }
    char type[3];
    kelmar_cmd_opt_get_type(type, opt->argv[3]);
    int os = 0;
    if (!kelmar_cmd_opt_parse_int(opt->argv[4], "os", &os)) return 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    std::unique_ptr<KELMAR_CELL> work = kelmar_cell_copy(cell.get());
    if (kelmar_cell_partial_occ_at_conducting_site(work.get(), type, os)) {
        work = kelmar_cell_assign_partial_occ_at_conducting_site(work.get(), type, os, opt->random);
        if (!work) {
            std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ_at_conducting_site() returns NULL.\n");
            return 1;
        }
    }
    work = kelmar_cell_assign_partial_occ(work.get(), type, os, opt->random);
    if (!work) {
        std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ() returns NULL.\n");
        return 1;
    }
    kelmar_atom_sort(work->atom);
    kelmar_cell_update_name(work.get());
    return write_structure(output_name(opt, 5, ".assign.cif"), work.get(), nullptr);
}

int kelmar_cmd_opt_do_gen_cif_assign_all(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --gen-cif-assign-all [input.cif] | {output_name}\n\n");
        std::printf("  input.cif:   the structure to read.\n");
        std::printf("  output_name: the file to write (default: input name + \".assign.cif\").\n\n");
        std::printf("Example: ./kelmar.x --gen-cif-assign-all Li3V2PO43.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto work = kelmar_cell_assign_partial_occ_all(cell.get(), opt->random);
    if (!work) {
        std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ_all() returns NULL.\n");
        return 1;
    }
    kelmar_atom_sort(work->atom);
    kelmar_cell_update_name(work.get());
    return write_structure(output_name(opt, 3, ".assign.cif"), work.get(), nullptr);
}

int kelmar_cmd_opt_do_cal_sym(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-sym [input.cif] | {tolerance}\n\n");
        std::printf("  input.cif: the structure to test against every space-group setting.\n");
        std::printf("  tolerance: largest position mismatch in angstrom (default: -1, which means 0.01).\n\n");
        std::printf("Example: ./kelmar.x --cal-sym LiFePO4.cif\n");
        std::printf("Example: ./kelmar.x --cal-sym LiFePO4.cif 0.05\n");
        return 0;
    }
    double accuracy = -1.0;
    if (opt->argc > 3 && !kelmar_cmd_opt_parse_double(opt->argv[3], "accuracy", &accuracy)) return 1;
    // "nan" and "inf" scan as numbers, but with them every setting would fit
    if (!std::isfinite(accuracy)) {
        std::fprintf(stderr, "Error: wrong parameter accuracy.\n");
        return 1;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    auto found = kelmar_symmetry_calculate_from_cell(cell.get(), accuracy, opt->dir_symcards.c_str());
    if (!found) {
        std::fprintf(stderr, "Error: kelmar_symmetry_calculate_from_cell() returns NULL.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_cal_charge(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 3) {
        std::printf("Command: --cal-charge [intput.cif]\n");
        std::printf("  intput.cif: the structure whose charge per unit cell is summed.\n\n");
        std::printf("Example: ./kelmar.x --cal-charge LiFePO4.cif\n");
        return 0;
    }
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (!load_structure(opt, &cell, &sym)) return 1;
    double q = 0.0;
    for (const auto& at : cell->atom) q += at.occ * at.os;
    std::printf("Total charge per unit cell: %.3f\n", q);
    return 0;
}
