// Listings of a molecular-dynamics record and its three logs (samples, structures, displacements).
#include <cmath>
#include <cstdio>

#include "md-log.hpp"
#include "md.hpp"

namespace {

constexpr double EV_PER_A3_IN_GPA = 160.217657;

double distance_moved(const KELMAR_MD* md, std::size_t k) {
    const auto& a = md->x[k];
    const auto& b = md->x0[k];
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

void print_state_lines(const KELMAR_MD* md) {
    std::printf("MD: en = %lf, en_k = %lf, en_p = %lf\n", md->en, md->en_k, md->en_p);
    std::printf("MD: T = %.3lf, T_int = %.3lf, T_target = %.3lf\n", md->temperature, md->temperature_init,
                md->temperature_target);
    std::printf("MD: P = %lf\n", md->pressure);
    std::printf("MD: V = %.2lf\n", md->volume);
    std::printf("MD: zeta = %.3lf\n", md->zeta);
    std::printf("MD: center of mass at (%.3lf, %.3lf, %.3lf).\n", md->x_com[0], md->x_com[1], md->x_com[2]);
}

}  // namespace

int kelmar_md_log_sample(KELMAR_MD* md) {
    if (md == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return 1;
    }
    std::FILE* f = md->log.get();
    if (f == nullptr) return 0;
    if (md->step == 0)
        std::fprintf(f, "%10s, %15s, %12s, %12s, %12s, %7s, %7s, %12s, %12s, %12s, %7s, %7s\n", "step", "t", "en", "en_k",
                     "en_p", "T", "P", "en_ave", "en_k_ave", "en_p_ave", "T_ave", "P_ave");
    std::fprintf(f, "%10ld, %15.6lf, %12.6lf, %12.6lf, %12.6lf, %7.3lf, %7.3lf, %12.6lf, %12.6lf, %12.6lf, %7.3lf, %7.3lf\n",
                 md->step, md->t, md->en, md->en_k, md->en_p, md->temperature, md->pressure * EV_PER_A3_IN_GPA,
                 md->en_ave, md->en_k_ave, md->en_p_ave, md->temperature_ave, md->pressure_ave * EV_PER_A3_IN_GPA);
    return std::ferror(f) ? 1 : 0;
}

int kelmar_md_log_xyz(KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return 1;
    }
    std::FILE* f = md->xyz.get();
    if (f == nullptr) return 0;
    std::fprintf(f, "%ld\n", md->cell->total());
    std::fprintf(f, "%ld %12.6lf\n", md->step, md->t);
    for (std::size_t k = 0; k < md->cell->atom.size(); k++)
        std::fprintf(f, "%s %lf %lf %lf\n", md->cell->atom[k].type, md->x[k][0], md->x[k][1], md->x[k][2]);
    return std::ferror(f) ? 1 : 0;
}

int kelmar_md_log_trj(KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return 1;
    }
    std::FILE* f = md->trj.get();
    if (f == nullptr) return 0;
    const std::size_t n = md->cell->atom.size();
    if (md->step == 0) {
        std::fprintf(f, "t, d_ave, ");
        for (std::size_t k = 0; k < n; k++)
            std::fprintf(f, "%sd_%ld_%s", k > 0 ? ", " : "", static_cast<long>(k), md->cell->atom[k].name);
        std::fprintf(f, "\n");
    }
    std::fprintf(f, "%lf, %lf, ", md->t, md->displacement);
    for (std::size_t k = 0; k < n; k++) std::fprintf(f, "%s%lf", k > 0 ? ", " : "", distance_moved(md, k));
    std::fprintf(f, "\n");
    return std::ferror(f) ? 1 : 0;
}

void kelmar_md_print_short(const KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr) {
        std::printf("MD: (null)\n");
        return;
    }
    std::printf("MD: total atoms = %ld, free atoms = %ld\n", md->cell->total(), static_cast<long>(md->mobile.size()));
    std::printf("MD: t_end = %lf, t_equil = %lf, dt = %lf, t_log = %lf\n", md->t_end, md->t_equil, md->dt, md->t_log);
    print_state_lines(md);
}

void kelmar_md_print(const KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr) {
        std::printf("MD: (null)\n");
        return;
    }
    std::printf("MD: total atoms = %ld\n", md->cell->total());
    std::printf("MD: step = %ld\n", md->step);
    std::printf("MD: t = %lf, t_end = %lf, dt = %lf, t_log = %lf\n", md->t, md->t_end, md->dt, md->t_log);
    print_state_lines(md);
    std::printf("MD: %7s, %5s,%5s,%5s, %8s,%8s,%8s, %8s,%8s,%8s\n", "m", "x[0]", "x[1]", "x[2]", "f[0]", "f[1]", "f[2]",
                "v[0]", "v[1]", "v[2]");
    for (std::size_t k = 0; k < md->cell->atom.size(); k++)
        std::printf("MD: %7.1e, %5.2lf,%5.2lf,%5.2lf, %8.1e,%8.1e,%8.1e, %8.1e,%8.1e,%8.1e %1s\n", md->m[k], md->x[k][0],
                    md->x[k][1], md->x[k][2], md->f[k][0], md->f[k][1], md->f[k][2], md->v[k][0], md->v[k][1],
                    md->v[k][2], md->cell->atom[k].ignored ? "*" : "");
}
