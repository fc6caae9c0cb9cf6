// Handlers of the force-field commands: total energy, steepest-descent relaxation and the nudged
// elastic band.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cmd-guard.hpp"
#include "cmd-handlers.hpp"
#include "cmd-opt.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cif-write.hpp"
#include "property-assemble.hpp"
#include "rx-neb.hpp"
#include "rx-eam.hpp"
#include "rx-sd.hpp"

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
    kelmar_cmd_result_file(output);
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

namespace {

// The optional band settings that follow the images: step_limit, step_log, relax, f_conv, sf, k.
struct BAND_ARGS {
    long step_limit = 0;
    long step_log = 0;
    bool relax = true;
    double f_conv = -0.1, sf = -0.1, k = -0.1;
};

bool band_arguments(const KELMAR_CMD_OPT* opt, int first, BAND_ARGS* b) {
    if (const char* flag = kelmar_cmd_opt_arg(opt, first + 2)) b->relax = kelmar_cmd_opt_parse_flag(flag, b->relax);
    return kelmar_cmd_opt_optional_long(opt, first, "step_limit", &b->step_limit) &&
           kelmar_cmd_opt_optional_long(opt, first + 1, "step_log", &b->step_log) &&
           kelmar_cmd_opt_optional_double(opt, first + 3, "f_conv", &b->f_conv) &&
           kelmar_cmd_opt_optional_double(opt, first + 4, "sf", &b->sf) &&
           kelmar_cmd_opt_optional_double(opt, first + 5, "k", &b->k);
}

bool image_count(const char* arg, int* n) {
    if (!kelmar_cmd_opt_parse_int(arg, "total number of images", n)) return false;
    if (*n < 3) {
        std::fprintf(stderr, "Error: wrong parameter total number of images.\n");
        return false;
    }
    return true;
}

// Sites with the fixed flag of the CIF stay in place along the band.
void read_fixed_sites(KELMAR_CELL* cell, const char* file) {
    if (kelmar_cell_import_cif_read_constraint(cell, file) == 0) std::printf("Message: relaxation constraint found.\n");
    else std::printf("Message: relaxation without constraint.\n");
}

void band_usage_tail() {
    std::printf("  step_limit:  0 for no limit (default).\n");
    std::printf("  step_log:    logs and image files every step_log steps (default 0: 50; negative: none).\n");
    std::printf("  f_conv:      force criterion (default -0.1: 0.005).\n");
    std::printf("  sf:          Coulomb screening factor (default -0.1: searched automatically).\n");
    std::printf("  k:           spring constant (default -0.1: 0.5).\n");
}

}  // namespace

int kelmar_cmd_opt_do_rx_neb(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 5) {
        std::printf("Command: --rx-neb [input1.cif] [input2.cif] [n] | {step_limit} {step_log} {flag:relax} {f_conv} "
                    "{sf} {k} {output_name}\n\n");
        std::printf("  input1.cif, input2.cif: the end structures, P1 with unique atom labels; atoms are\n");
        std::printf("               matched by label, sites with _atom_site_kelmar_fixed true stay in place.\n");
        std::printf("  n:           number of images including the two ends, at least 3.\n");
        band_usage_tail();
        std::printf("  flag:relax:  relax the end structures first (default true; 'f' turns it off).\n");
        std::printf("  output_name: base name of the logs and image files (default: input1 name).\n\n");
        std::printf("Example: ./kelmar.x --rx-neb Li2O_a.cif Li2O_b.cif 7\n");
        std::printf("Example: ./kelmar.x --rx-neb Li2O_a.cif Li2O_b.cif 7 2000 50 f 0.005 0.75 0.5 hop\n");
        return 0;
    }
    int n = 0;
    BAND_ARGS b;
    if (!image_count(opt->argv[4], &n) || !band_arguments(opt, 5, &b)) return 1;
    const char* given = kelmar_cmd_opt_arg(opt, 11);
    const std::string output = given != nullptr ? given : opt->argv[2];
    std::unique_ptr<KELMAR_CELL> cell_i, cell_f;
    std::unique_ptr<KELMAR_SYMMETRY> sym_i, sym_f;
    if (!kelmar_cmd_opt_load_structure(opt, opt->argv[2], &cell_i, &sym_i) ||
        !kelmar_cmd_opt_load_structure(opt, opt->argv[3], &cell_f, &sym_f))
        return 1;
    auto ppt = kelmar_cmd_opt_assemble(opt, cell_i.get(), nullptr, 0, b.sf);
    if (ppt == nullptr) return 1;
    read_fixed_sites(cell_i.get(), opt->argv[2]);
    if (kelmar_cell_relax_neb(cell_i.get(), cell_f.get(), ppt.get(), n, b.step_limit, b.step_log, b.relax, true,
                              b.f_conv, b.k, output.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_relax_neb() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cmd_opt_do_rx_neb_images(KELMAR_CMD_OPT* opt) {
    if (opt->argc < 4) {
        std::printf("Command: --rx-neb-images [input_name] [n] | {step_limit} {step_log} {flag:relax} {f_conv} {sf} "
                    "{k} {output_name}\n\n");
        std::printf("  input_name:  the images are input_name.0.cif to input_name.<n-1>.cif, P1 with unique\n");
        std::printf("               labels (the image files of --rx-neb are such a series).\n");
        std::printf("  n:           number of images including the two ends, at least 3.\n");
        band_usage_tail();
        std::printf("  flag:relax:  relax the end images first (default false; 't' turns it on).\n");
        std::printf("  output_name: base name of the logs and image files (default: input_name + \".new\").\n\n");
        std::printf("Example: ./kelmar.x --rx-neb-images hop.neb 7\n");
        std::printf("Example: ./kelmar.x --rx-neb-images hop.neb 7 500 10 f 0.005 0.75 0.5 hop2\n");
        return 0;
    }
    int n = 0;
    BAND_ARGS b;
    b.relax = false;
    if (!image_count(opt->argv[3], &n) || !band_arguments(opt, 4, &b)) return 1;
    const char* given = kelmar_cmd_opt_arg(opt, 10);
    const std::string output = given != nullptr ? std::string(given) : std::string(opt->argv[2]) + ".new";
    // Every file of the series must be there before anything is read or written.
    for (int i = 0; i < n; i++) {
        const std::string name = std::string(opt->argv[2]) + "." + std::to_string(i) + ".cif";
        std::FILE* probe = std::fopen(name.c_str(), "rb");
        if (probe == nullptr) {
            std::fprintf(stderr, "Error: image file %s of the series not found.\n", name.c_str());
            return 1;
        }
        std::fclose(probe);
    }
    auto cells = kelmar_cells_import_cif_from_file(opt->argv[2], n, opt->dir_symcards.c_str(), opt->dir_unitary.c_str());
    if (cells.size() != static_cast<std::size_t>(n)) {
        std::fprintf(stderr, "Error: kelmar_cells_import_cif_from_file() returns NULL.\n");
        return 1;
    }
    auto ppt = kelmar_cmd_opt_assemble(opt, cells[0].get(), nullptr, 0, b.sf);
    if (ppt == nullptr) return 1;
    read_fixed_sites(cells[0].get(), (std::string(opt->argv[2]) + ".0.cif").c_str());
    if (kelmar_cell_relax_neb_images(cells, n, ppt.get(), b.step_limit, b.step_log, b.relax, false, b.f_conv, b.k,
                                     output.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_relax_neb_images() returns non-zero.\n");
        return 1;
    }
    return 0;
}
