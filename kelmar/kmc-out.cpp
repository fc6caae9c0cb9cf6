// What a kinetic Monte Carlo run shows: the trajectory logs, the summary with the site-averaged
// occupancies, the structures with the current or the time-averaged occupation, and listings.
#include "kmc-out.hpp"
#include "kmc-record.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cell-ops.hpp"
#include "crystal-records.hpp"
#include "kelmar.hpp"

namespace {

// The displacements of every present ion, kept at the vertex it started from.
void refresh_displacements(KELMAR_KMC* kmc) {
    for (long i = 0; i < static_cast<long>(kmc->kv.size()); ++i) {
        const KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
        if (kv.occupied && kv.origin >= 0) kmc_ion_displacement(kmc, i, kmc->kv[static_cast<std::size_t>(kv.origin)].d);
    }
}

double occupancy_share(const KELMAR_KMC* kmc, const KELMAR_KMC_VERTEX& kv) {
    return kmc->t_total > 0.0 ? kv.t / kmc->t_total : 0.0;
}

void print_vertex_lines(const KELMAR_KMC* kmc, bool full) {
    std::printf("KMC: total_v = %ld\n", static_cast<long>(kmc->kv.size()));
    std::printf("KMC: ====================================\n");
    if (full) {
        double assigned = 0.0;
        for (const KELMAR_KMC_VERTEX& kv : kmc->kv) assigned += kv.occupied ? 1.0 : 0.0;
        std::printf("KMC: total assigned occ = %lf\n", assigned);
    }
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
        const KELMAR_KMC_VERTEX& kv = kmc->kv[i];
        std::printf("KMC: v[%3ld]: occ=%c; origin=%3ld; t=%.1e; d=(%.1e,%.1e,%.1e)\n", static_cast<long>(i),
                    kv.occupied ? 'T' : 'F', kv.origin, kv.t, kv.d[0], kv.d[1], kv.d[2]);
        if (!full) continue;
        std::printf("KMC:         x = ( %6.3lf, %6.3lf, %6.3lf)\n", kv.v->x[0], kv.v->x[1], kv.v->x[2]);
        std::printf("KMC:         e_n (%d) =", kv.total_e);
        for (long k : kv.e_n) std::printf("%ld,", k);
        std::printf("\n");
        std::printf("KMC:         v_n (%d) =", kv.total_v);
        for (long k : kv.v_n) std::printf("%ld,", k);
        std::printf("\n");
        std::printf("KMC:         v_de =");
        for (double de : kv.v_de) std::printf("%.3f,", de);
        std::printf("\n");
    }
}

void print_edge_lines(KELMAR_KMC* kmc, bool full) {
    std::printf("KMC: total_e = %ld\n", static_cast<long>(kmc->ke.size()));
    std::printf("KMC: ====================================\n");
    for (std::size_t k = 0; k < kmc->ke.size(); ++k) {
        KELMAR_KMC_EDGE& ke = kmc->ke[k];
        ke.r = kmc_drawn_rate(kmc, static_cast<long>(k));
        std::printf("KMC: e[%3ld]: (%3ld->%3ld) de=%lf; r = %.8lf\n", static_cast<long>(k), ke.e->v_i->index,
                    ke.e->v_f->index, ke.e->barrier, ke.r);
        if (full) std::printf("KMC:         f = %.3lf\n", ke.f);
    }
}

void print_listing(KELMAR_KMC* kmc, bool full) {
    if (kmc == nullptr) {
        std::printf("KMC: (not allocated)\n");
        return;
    }
    kmc_settle_times(kmc);
    std::printf("KMC: temperature = %.3lf\n", kmc->temperature);
    std::printf("KMC: time = %.1e / %.1e\n", kmc->t, kmc->t_limit);
    std::printf("KMC: step = %ld / %ld\n", kmc->step, kmc->step_limit);
    print_vertex_lines(kmc, full);
    print_edge_lines(kmc, full);
}

}  // namespace

void kmc_ion_displacement(const KELMAR_KMC* kmc, long i, double d[3]) {
    const KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
    const KELMAR_KMC_VERTEX& home = kmc->kv[static_cast<std::size_t>(kv.origin)];
    const double (*A)[3] = kmc->graph->a;
    for (int p = 0; p < 3; ++p)
        d[p] = home.y_i[0] * A[0][p] + home.y_i[1] * A[1][p] + home.y_i[2] * A[2][p] + kv.v->x[p] - home.v->x[p];
}

void kmc_settle_times(KELMAR_KMC* kmc) {
    for (KELMAR_KMC_VERTEX& kv : kmc->kv)
        if (kv.occupied) {
            kv.t += kmc->t_total - kv.t_on;
            kv.t_on = kmc->t_total;
        }
}

int kelmar_kmc_log(KELMAR_KMC* kmc) {
    if (kmc->step_log <= 0 || kmc->step % kmc->step_log != 0) return 0;
    if (kmc->log != nullptr && kelmar_kmc_log_trj(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_log_trj() returns non-zero.\n");
        return 1;
    }
    if (kmc->xyz != nullptr && kelmar_kmc_log_xyz(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_log_xyz() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_kmc_log_trj(KELMAR_KMC* kmc) {
    std::FILE* f = kmc->log.get();
    if (f == nullptr) return 1;
    if (kmc->step == 0) {
        std::fprintf(f, "step,t");
        for (long i = 0; i < static_cast<long>(kmc->kv.size()); ++i)
            if (kmc->kv[static_cast<std::size_t>(i)].init) std::fprintf(f, ",site%ld_dx,site%ld_dy,site%ld_dz", i, i, i);
        std::fprintf(f, "\n");
    }
    std::fprintf(f, "%ld,%lf", kmc->step, kmc->t);
    refresh_displacements(kmc);
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv)
        if (kv.init) std::fprintf(f, ",%lf,%lf,%lf", kv.d[0], kv.d[1], kv.d[2]);
    return std::fprintf(f, "\n") < 0 ? 1 : 0;
}

int kelmar_kmc_log_xyz(KELMAR_KMC* kmc) {
    std::FILE* f = kmc->xyz.get();
    if (f == nullptr) return 1;
    long count = 0;
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv) count += kv.init ? 1 : 0;
    std::fprintf(f, "%ld\n", count);
    std::fprintf(f, "%ld %12.6lf\n", kmc->step, kmc->t);
    refresh_displacements(kmc);
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv)
        if (kv.init) std::fprintf(f, "%s %lf %lf %lf\n", kmc->graph->type, kv.d[0], kv.d[1], kv.d[2]);
    return std::ferror(f) ? 1 : 0;
}

std::unique_ptr<KELMAR_CELL> kelmar_kmc_export_to_cell(const KELMAR_KMC* kmc) {
    if (kmc == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_KMC has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = kelmar_cell_new(0);
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_new() returns NULL.\n");
        return nullptr;
    }
    std::memcpy(cell->a, kmc->graph->a, sizeof(cell->a));
    cell->atom.reserve(kmc->kv.size());
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv) {
        KELMAR_ATOM atom;
        kelmar_copy_field(atom.name, kv.v->name);
        kelmar_copy_field(atom.type, kmc->graph->type);
        atom.os = 1;
        atom.occ = kv.occupied ? 1.0 : 0.001;
        for (int p = 0; p < 3; ++p) atom.x[p] = kv.v->x[p];
        cell->atom.push_back(atom);
    }
    kelmar_cell_update_fractional(cell.get());
    return cell;
}

std::unique_ptr<KELMAR_CELL> kelmar_kmc_export_occ_to_cell(KELMAR_KMC* kmc, const KELMAR_CELL* supercell) {
    if (kmc == nullptr || supercell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_KMC or KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = kelmar_cell_copy(supercell);
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
        return nullptr;
    }
    kmc_settle_times(kmc);
    const KELMAR_GRAPH* g = kmc->graph.get();
    std::vector<KELMAR_ATOM> kept;
    kept.reserve(cell->atom.size() + kmc->kv.size());
    for (const KELMAR_ATOM& a : cell->atom)
        if (!(std::strcmp(a.type, g->type) == 0 && a.os == g->os)) kept.push_back(a);
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
        const KELMAR_KMC_VERTEX& kv = kmc->kv[i];
        KELMAR_ATOM atom;
        char name[32];
        std::snprintf(name, sizeof(name), "%s%ld", g->type, static_cast<long>(i) + 1);
        kelmar_copy_field(atom.name, name);
        kelmar_copy_field(atom.type, g->type);
        atom.os = g->os;
        atom.occ = occupancy_share(kmc, kv);
        for (int p = 0; p < 3; ++p) atom.x[p] = kv.v->x[p];
        kept.push_back(atom);
    }
    cell->atom = std::move(kept);
    kelmar_cell_update_fractional(cell.get());
    return cell;
}

void kelmar_kmc_print_result(KELMAR_KMC* kmc) {
    if (kmc == nullptr) {
        std::printf("KMC: (not allocated)\n");
        return;
    }
    kmc_settle_times(kmc);
    const KELMAR_GRAPH* g = kmc->graph.get();
    std::printf("KMC: temperature = %.3lf\n", kmc->temperature);
    std::printf("KMC: conducting species: %s%d%c\n", g->type, g->os < 0 ? -g->os : g->os, g->os > 0 ? '+' : '-');
    std::printf("KMC: time = %.1e / %.1e (time_total = %.1e) ps\n", kmc->t, kmc->t_limit, kmc->t_total);
    std::printf("KMC: step = %ld / %ld; step_log = %ld\n", kmc->step, kmc->step_limit, kmc->step_log);
    const double* r[4] = {kmc->displacement, kmc->diffusivity, kmc->mobility, kmc->conductivity};
    std::printf("KMC: displacement = %lf, (%lf, %lf, %lf) A\n", r[0][3], r[0][0], r[0][1], r[0][2]);
    std::printf("KMC: diffusivity = %.2e, (%.2e, %.2e, %.2e) E-8 m^2/s\n", r[1][3], r[1][0], r[1][1], r[1][2]);
    std::printf("KMC: mobility = %.2e, (%.2e, %.2e, %.2e) E-8 m^2/(V*s)\n", r[2][3], r[2][0], r[2][1], r[2][2]);
    std::printf("KMC: conductivity = %.2e, (%.2e, %.2e, %.2e) S/cm\n", r[3][3], r[3][0], r[3][1], r[3][2]);
    std::printf("KMC: total site = %ld\n", static_cast<long>(kmc->kv.size()));
    // groups of equal name in order of first appearance
    struct group {
        std::string name;
        double sum = 0.0;
        long count = 0;
    };
    std::vector<group> groups;
    double total = 0.0;
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv) {
        const double share = occupancy_share(kmc, kv);
        total += share;
        group* hit = nullptr;
        for (group& gr : groups)
            if (gr.name == kv.v->name) hit = &gr;
        if (hit == nullptr) {
            groups.push_back({kv.v->name, 0.0, 0});
            hit = &groups.back();
        }
        hit->sum += share;
        ++hit->count;
    }
    std::printf("KMC: summary of site-averaged occupancy:\n");
    for (const group& gr : groups)
        std::printf("KMC: [%8s] %.3lf (multiplicity = %4ld)\n", gr.name.c_str(), gr.sum / gr.count, gr.count);
    std::printf("KMC: [%8s] %.3lf / %.3lf\n", "total", total, g->total_occ);
    if (kmc->xyzname[0] != '\0') std::printf("KMC: displacement information saved to %s\n", kmc->xyzname);
    if (kmc->logname[0] != '\0') std::printf("KMC: trajectory information saved to %s\n", kmc->logname);
}

void kelmar_kmc_print(KELMAR_KMC* kmc) { print_listing(kmc, true); }

void kelmar_kmc_print_short(KELMAR_KMC* kmc) { print_listing(kmc, false); }
