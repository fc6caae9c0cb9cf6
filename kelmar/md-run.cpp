// The two phases of a molecular dynamics (equilibration, production with its samples) and the
// --md pipeline from a CIF file to the conductivity of the mobile species.
#include "md-run.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cif-read.hpp"
#include "cif-write.hpp"
#include "oxidation-states.hpp"
#include "property-assemble.hpp"
#include "md.hpp"
#include "rx-sd.hpp"
#include "md-log.hpp"

namespace {

long phase_length(double t, double dt) { return std::max(1L, static_cast<long>(std::ceil(t / dt - 1e-9))); }

// Twenty marks fill the target line: one per twentieth of the phase reached (at most one per
// step), the last printed when the phase ends. Without show only the phase's title is printed.
struct Progress {
    long total = 1;
    long next = 1;  // the next twentieth to mark
    char mark = '+';
    bool show = true;

    void start(const char* title) const {
        std::printf("%s", title);
        if (show) {
            std::printf("MD: target  : --------------------\n");
            std::printf("MD: progress: ");
        }
        std::fflush(stdout);
    }
    void after(long done) {
        if (show && next <= 19 && done * 20 >= next * total) {
            std::printf("%c", mark);
            std::fflush(stdout);
            next++;
        }
    }
    void finish() const {
        if (!show) return;
        std::printf("%c\n", mark);
        std::fflush(stdout);
    }
    // Ends the line of marks before an error.
    void break_line() const {
        if (show) std::printf("\n");
    }
};

bool all_finite(const KELMAR_MD* md) {
    for (double v : {md->en, md->en_k, md->en_p, md->temperature, md->pressure, md->en_ave, md->temperature_ave,
                     md->pressure_ave, md->displacement, md->diffusivity})
        if (!std::isfinite(v)) return false;
    return true;
}

// Observables, averages, results and the three logs of the current step.
int take_sample(KELMAR_MD* md) {
    if (md_refresh_observables(md) != 0) return 1;
    if (kelmar_md_calculate_average(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_average() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_calculate_conduction_property(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_conduction_property() returns non-zero.\n");
        return 1;
    }
    if (!all_finite(md)) {
        std::fprintf(stderr, "Error: the energy or temperature is no longer finite at step %ld; the dynamics has "
                             "broken down.\n",
                     md->step);
        return 1;
    }
    if (kelmar_md_log_sample(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_log_sample() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_log_xyz(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_log_xyz() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_log_trj(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_log_trj() returns non-zero.\n");
        return 1;
    }
    return 0;
}

}  // namespace

int kelmar_md_equilibrate(KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr || !md->initialised) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return 1;
    }
    Progress bar;
    bar.show = md->progress;
    bar.total = phase_length(md->t_equil, md->dt);
    bar.mark = '+';
    bar.start("MD: equilibration phase\n");
    md->step = 0;
    md->t = 0.0;
    for (long s = 0; s < bar.total; s++) {
        if (kelmar_md_update_vv_langevin(md) != 0) {
            bar.break_line();
            std::fprintf(stderr, "Error: kelmar_md_update_vv_langevin() returns non-zero.\n");
            return 1;
        }
        bar.after(s + 1);
    }
    bar.finish();
    md->step = 0;
    md->t = 0.0;
    md->displacement = md->diffusivity = md->mobility = md->conductivity = 0.0;
    md->en_ave = md->en_k_ave = md->en_p_ave = md->temperature_ave = md->pressure_ave = 0.0;
    md->t_averaged = 0.0;
    md->virial_valid = false;
    md->x0 = md->x;
    return 0;
}

int kelmar_md_run(KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr || !md->initialised || md->step_log < 1) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return 1;
    }
    Progress bar;
    bar.show = md->progress;
    bar.total = phase_length(md->t_end, md->dt);
    bar.mark = '*';
    bar.start("MD: production phase\n");
    for (long s = 0; s < bar.total; s++) {
        if (md->step % md->step_log == 0 && take_sample(md) != 0) {
            bar.break_line();
            return 1;
        }
        if (kelmar_md_update_vv_langevin(md) != 0) {
            bar.break_line();
            std::fprintf(stderr, "Error: kelmar_md_update_vv_langevin() returns non-zero.\n");
            return 1;
        }
        bar.after(s + 1);
    }
    // the results stand for the whole production time
    if (take_sample(md) != 0) {
        bar.break_line();
        return 1;
    }
    bar.finish();
    return 0;
}

// --- the --md pipeline ----------------------------------------------------------------------------

namespace {

std::string species_label(const char* type, int os) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%s%d%c", type, os < 0 ? -os : os, os < 0 ? '-' : '+');
    return buf;
}

// The moving species must be present and whole: the dynamics moves ions, not fractions of them.
bool mobile_ions_whole(const KELMAR_CELL& cell, const char* cif, const char* type, int os) {
    long count = 0;
    for (const KELMAR_ATOM& at : cell.atom) {
        if (std::strcmp(at.type, type) != 0 || at.os != os) continue;
        count++;
        if (std::fabs(at.occ - 1.0) > 1e-3) {
            std::fprintf(stderr,
                         "Error: %s has %s sites that are partially occupied (%s: %.4f); molecular dynamics needs "
                         "whole ions (--gen-cif-assign writes such a structure).\n",
                         cif, species_label(type, os).c_str(), at.name, at.occ);
            return false;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "Error: %s holds no %s ions to move.\n", cif, species_label(type, os).c_str());
        return false;
    }
    return true;
}

bool results_printable(const KELMAR_MD* md) {
    for (double v : {md->displacement, md->diffusivity, md->mobility, md->conductivity})
        if (!std::isfinite(v)) {
            std::fprintf(stderr, "Error: the mobility and conductivity are not defined (no mean temperature).\n");
            return false;
        }
    return true;
}

}  // namespace

int kelmar_md_conduction_from_file(const char* cif, const char* type, int os, double sf, double temperature,
                                   double t_end, double t_equil, double dt, double t_log, const char* dir_unitary,
                                   const char* dir_binary, const char* dir_symcards, RandomEngine& engine) {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_file(&cell, &sym, cif, dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return 1;
    }
    if (!settle_states_for_command(cell.get(), sym.get(), dir_unitary, dir_binary, true, type)) return 1;
    sym.reset();
    if (!mobile_ions_whole(*cell, cif, type, os)) return 1;
    auto ppt = kelmar_property_import_from_cell(cell.get(), type, os, sf, dir_unitary, dir_binary);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return 1;
    }
    if (kelmar_property_validate_generic(ppt.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_validate_generic() returns non-zero.\n");
        return 1;
    }
    // fixed sites of the file, read after the assembly (which sorts the atoms) so they are matched
    // to the atoms as they now stand
    kelmar_cell_import_cif_read_constraint(cell.get(), cif);
    for (KELMAR_ATOM& at : cell->atom)
        if (std::strcmp(at.type, type) != 0 || at.os != os) at.ignored = true;
    if (kelmar_property_set_conducting(ppt.get(), type, os) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_set_conducting() returns non-zero.\n");
        return 1;
    }
    auto md = kelmar_md_new(cell.get(), ppt.get(), engine);
    if (md == nullptr) {
        std::fprintf(stderr, "Error: kelmar_md_new() returns non-zero.\n");
        return 1;
    }
    cell.reset();
    ppt.reset();
    md->temperature_target = temperature;
    md->t_end = t_end;
    md->t_equil = t_equil;
    md->dt = dt;
    md->t_log = t_log;
    md->zeta = -0.1;
    md->progress = isatty(fileno(stdout)) != 0;  // the bars stay off pipes and files
    const std::string base = std::string(cif).substr(0, 1014);
    md->logname = base + ".md.txt";
    md->xyzname = base + ".md.xyz";
    md->trjname = base + ".md.trj";
    if (kelmar_md_init_vv(md.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_init_vv() returns non-zero.\n");
        return 1;
    }
    kelmar_md_print_short(md.get());
    if (kelmar_md_equilibrate(md.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_equilibrate() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_run(md.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_run() returns non-zero.\n");
        return 1;
    }
    if (!results_printable(md.get())) return 1;
    std::printf("MD: displacement = %lf\n", md->displacement);
    std::printf("MD: diffusivity = %e\n", md->diffusivity);
    std::printf("MD: mobility = %e\n", md->mobility);
    std::printf("MD: conductivity = %e\n", md->conductivity);
    std::printf("Message: observables saved to %s\n", md->logname.c_str());
    std::printf("Message: displacements saved to %s\n", md->trjname.c_str());
    std::printf("Message: structures saved to %s\n", md->xyzname.c_str());
    // the logs are complete before the structure is written
    md->log.reset();
    md->xyz.reset();
    md->trj.reset();
    const std::string out = std::string(cif) + ".md.cif";
    if (kelmar_cell_export_cif_to_file(out.c_str(), md->cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}
