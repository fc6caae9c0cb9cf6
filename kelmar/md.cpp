// Molecular-dynamics record, initial velocities, Langevin velocity Verlet, observables, results.
#include "md.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "cell-ops.hpp"
#include "property.hpp"

namespace {

// A moving atom that goes further than this in one step means the integration has broken down.
constexpr double MAX_STEP_DISPLACEMENT = 1.0;

bool md_ready(const KELMAR_MD* md) {
    if (md == nullptr || md->cell == nullptr || md->ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_MD has not been properly initialized.\n");
        return false;
    }
    return true;
}

// Prints why the dynamics stopped at a close contact; the plain sum names the fixed partner that
// the list does not keep.
void report_contact(const KELMAR_MD* md, mdforce::Contact c) {
    if (c.j < 0) {
        mdforce::DirectSums sums;
        mdforce::Contact named;
        if (mdforce::direct_sums(md_force_frame(md), md->x, &sums, nullptr, &named) == mdforce::Status::CONTACT)
            c = named;
    }
    std::fprintf(stderr, "Warning: unphysically low distance %lf detected at step %ld.\n", c.d, md->step);
    const char* other = c.j >= 0 ? md->cell->atom[static_cast<std::size_t>(c.j)].name : "a host atom";
    std::fprintf(stderr,
                 "Error: atoms %s and %s came within %.3f A of each other at step %ld; the dynamics has broken "
                 "down (a shorter time step or a lower temperature may help).\n",
                 md->cell->atom[static_cast<std::size_t>(c.i)].name, other, c.d, md->step);
}

// Fractional = inverse of the lattice (rows a_k) applied to Cartesian: the reciprocal vectors.
bool invert_lattice(double inv[3][3], const double a[3][3]) {
    double c[3][3];
    for (int k = 0; k < 3; k++) {
        const double* u = a[(k + 1) % 3];
        const double* w = a[(k + 2) % 3];
        c[k][0] = u[1] * w[2] - u[2] * w[1];
        c[k][1] = u[2] * w[0] - u[0] * w[2];
        c[k][2] = u[0] * w[1] - u[1] * w[0];
    }
    const double vol = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
    if (!(std::fabs(vol) > 1e-9) || !std::isfinite(vol)) return false;
    for (int k = 0; k < 3; k++)
        for (int c2 = 0; c2 < 3; c2++) inv[k][c2] = c[k][c2] / vol;
    return true;
}

// The cell's copy of the moving atoms follows x, wrapped into the cell.
void sync_cell(KELMAR_MD* md) {
    KELMAR_CELL& cell = *md->cell;
    for (long i : md->mobile) {
        KELMAR_ATOM& at = cell.atom[static_cast<std::size_t>(i)];
        const auto& xi = md->x[static_cast<std::size_t>(i)];
        for (int k = 0; k < 3; k++) {
            const double f = md->inv_a[k][0] * xi[0] + md->inv_a[k][1] * xi[1] + md->inv_a[k][2] * xi[2];
            at.x_f[k] = f - std::floor(f);
            if (at.x_f[k] >= 1.0) at.x_f[k] = 0.0;
        }
        for (int c = 0; c < 3; c++)
            at.x[c] = at.x_f[0] * cell.a[0][c] + at.x_f[1] * cell.a[1][c] + at.x_f[2] * cell.a[2][c];
    }
}

bool finite3(const std::array<double, 3>& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void fill_normal(KELMAR_MD* md) {
    for (long i : md->mobile)
        for (double& c : md->r[static_cast<std::size_t>(i)]) c = kelmar_random_normal(*md->random, 0.0, 1.0);
}

// x <- x + v dt with the old positions kept in x_p1; false after a message when a moving atom
// jumps further than the integration can follow.
bool advance_positions(KELMAR_MD* md, const MdVec& v) {
    kelmar_md_calculate_x_vv(md->x_p1, md->x, v, md);
    md->x.swap(md->x_p1);
    for (long i : md->mobile) {
        const auto& a = md->x[static_cast<std::size_t>(i)];
        const auto& b = md->x_p1[static_cast<std::size_t>(i)];
        const double d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                   (a[2] - b[2]) * (a[2] - b[2]));
        if (!(d <= MAX_STEP_DISPLACEMENT)) {
            std::fprintf(stderr,
                         "Error: atom %s moved %g A in one step at step %ld; the dynamics has broken down (a shorter "
                         "time step or a lower temperature may help).\n",
                         md->cell->atom[static_cast<std::size_t>(i)].name, d, md->step);
            return false;
        }
    }
    sync_cell(md);
    return true;
}

}  // namespace

// --- record -------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_MD> kelmar_md_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, RandomEngine& engine) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    auto md = std::make_unique<KELMAR_MD>();
    md->random = &engine;
    md->cell = kelmar_cell_copy(cell);
    if (md->cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
        return nullptr;
    }
    md->ppt = kelmar_property_copy(ppt);
    if (md->ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_copy() returns NULL.\n");
        return nullptr;
    }
    const std::size_t n = cell->atom.size();
    md->m.assign(n, 0.0);
    for (MdVec* a : {&md->x, &md->x0, &md->x_p1, &md->v, &md->v_nh, &md->f, &md->r}) a->assign(n, {0.0, 0.0, 0.0});
    return md;
}

void kelmar_md_free(std::unique_ptr<KELMAR_MD>& md) { md.reset(); }

// --- initialisation -----------------------------------------------------------------------------

namespace {

// Steps of a phase of length t (at least one).
long phase_steps(double t, double dt) { return std::max(1L, static_cast<long>(std::ceil(t / dt - 1e-9))); }

bool open_log(MdFile* file, const std::string& name) {
    if (name.empty()) return true;
    file->reset(std::fopen(name.c_str(), "wb"));
    if (*file == nullptr) {
        std::fprintf(stderr, "Error: unable to write to %s.\n", name.c_str());
        return false;
    }
    return true;
}

}  // namespace

int kelmar_md_init_vv(KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    if (md->temperature_init <= 0.0) md->temperature_init = 10.0;
    if (md->temperature_target <= 0.0) md->temperature_target = 300.0;
    if (md->dt <= 0.0) md->dt = 0.001;
    if (md->zeta <= 0.0) md->zeta = 2.0;
    if (md->t_end <= 0.0) md->t_end = 10.0;
    if (md->t_equil <= 0.0) md->t_equil = 2.0;
    // the number of steps is settled before anything runs, so no phase can go on without end
    for (double t : {md->t_end, md->t_equil})
        if (!(t / md->dt <= KELMAR_MD_MAX_STEPS)) {
            std::fprintf(stderr, "Error: a run of %g ps in steps of %g ps needs more than %.0e steps.\n", t, md->dt,
                         KELMAR_MD_MAX_STEPS);
            return 1;
        }
    const double per_log = md->t_log / md->dt;
    md->step_log = per_log >= 1.0 && per_log <= KELMAR_MD_MAX_STEPS ? static_cast<long>(std::floor(per_log + 1e-9))
                   : per_log > KELMAR_MD_MAX_STEPS                  ? static_cast<long>(KELMAR_MD_MAX_STEPS) + 1
                                                                    : 100;
    md->t_log = static_cast<double>(md->step_log) * md->dt;
    if (md->step_log > phase_steps(md->t_end, md->dt)) {
        std::fprintf(stderr,
                     "Error: the production time t_end = %g ps is shorter than the sampling interval t_log = %g ps.\n",
                     md->t_end, md->t_log);
        return 1;
    }
    md->mobile.clear();
    for (std::size_t i = 0; i < md->cell->atom.size(); i++)
        if (!md->cell->atom[i].ignored) md->mobile.push_back(static_cast<long>(i));
    if (md->mobile.empty()) {
        std::fprintf(stderr, "Error: no atom of the structure is free to move.\n");
        return 1;
    }
    md->slot.assign(md->cell->atom.size(), -1);
    for (std::size_t a = 0; a < md->mobile.size(); a++) md->slot[static_cast<std::size_t>(md->mobile[a])] = static_cast<long>(a);
    if (!invert_lattice(md->inv_a, md->cell->a)) {
        std::fprintf(stderr, "Error: the cell has no volume.\n");
        return 1;
    }
    if (!open_log(&md->log, md->logname) || !open_log(&md->xyz, md->xyzname) || !open_log(&md->trj, md->trjname))
        return 1;
    const std::size_t n = md->cell->atom.size();
    md->species.assign(n, -1);
    for (std::size_t i = 0; i < n; i++) {
        const KELMAR_ATOM& at = md->cell->atom[i];
        const int s = kelmar_property_find_index(md->ppt.get(), at.type, at.os);
        if (s < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return 1;
        }
        md->species[i] = s;
        md->m[i] = md->ppt->uni[static_cast<std::size_t>(s)].m * KELMAR_MD_AMU;
        md->x[i] = md->x0[i] = md->x_p1[i] = {at.x[0], at.x[1], at.x[2]};
        md->v[i] = md->v_nh[i] = md->f[i] = md->r[i] = {0.0, 0.0, 0.0};
    }
    for (long i : md->mobile)
        if (!(md->m[static_cast<std::size_t>(i)] > 0.0) || !std::isfinite(md->m[static_cast<std::size_t>(i)])) {
            std::fprintf(stderr, "Error: wrong mass value.\n");
            return 1;
        }
    if (!mdforce::make_force_field(&md->field, *md->ppt)) return 1;
    md->volume = kelmar_cell_calculate_volume(md->cell.get());
    md->list = mdforce::NeighbourList{};
    md->step = 0;
    md->t = 0.0;
    md->t_averaged = 0.0;
    md->initialised = true;
    if (kelmar_md_calculate_force(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_force() returns NULL.\n");
        return 1;
    }
    if (kelmar_md_calculate_vi_vv(md->v, md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_vi_vv() returns non-zero.\n");
        return 1;
    }
    if (md_refresh_observables(md) != 0) return 1;
    double mass = 0.0;
    for (double& c : md->x_com) c = 0.0;
    for (long i : md->mobile) {
        const double mi = md->m[static_cast<std::size_t>(i)];
        mass += mi;
        for (int c = 0; c < 3; c++) md->x_com[c] += mi * md->x0[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
    }
    for (double& c : md->x_com) c /= mass;
    return 0;
}

int md_refresh_observables(KELMAR_MD* md) {
    if (kelmar_md_calculate_energy(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_energy() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_calculate_temperature(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_temperature() returns non-zero.\n");
        return 1;
    }
    if (kelmar_md_calculate_pressure(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_pressure() returns non-zero.\n");
        return 1;
    }
    return 0;
}

mdforce::Frame md_force_frame(const KELMAR_MD* md) {
    mdforce::Frame fr;
    fr.cell = md->cell.get();
    fr.mobile = &md->mobile;
    fr.slot = &md->slot;
    fr.species = &md->species;
    fr.ff = &md->field;
    fr.inv_a = md->inv_a;
    return fr;
}

// --- integrator pieces ----------------------------------------------------------------------------

int kelmar_md_calculate_x_vv(MdVec& out, const MdVec& x, const MdVec& v, const KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        for (std::size_t c = 0; c < 3; c++) out[k][c] = x[k][c] + v[k][c] * md->dt;
    }
    return 0;
}

int kelmar_md_calculate_v_vv(MdVec& out, const MdVec& v, const MdVec& f, const KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        for (std::size_t c = 0; c < 3; c++) out[k][c] = v[k][c] + 0.5 * md->dt * f[k][c] / md->m[k];
    }
    return 0;
}

int kelmar_md_calculate_v_vv_langevin(MdVec& out, const MdVec& v, const MdVec& f, const MdVec& r,
                                      const KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    const double kt = KELMAR_MD_KB * md->temperature_target;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        // half a step of friction and of the matching noise: variance zeta kB T dt / m per half step
        const double noise = std::sqrt(md->dt * kt * md->zeta / md->m[k]);
        for (std::size_t c = 0; c < 3; c++)
            out[k][c] = v[k][c] + 0.5 * md->dt * (f[k][c] / md->m[k] - md->zeta * v[k][c]) + noise * r[k][c];
    }
    return 0;
}

int kelmar_md_calculate_vi_vv(MdVec& v, const KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    // Maxwell-Boltzmann: each component is normal with variance kB T / m, so the spread passed to
    // the deviate is the square root of kB T / m.
    double p[3] = {0.0, 0.0, 0.0};
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        const double sd = std::sqrt(KELMAR_MD_KB * md->temperature_init / md->m[k]);
        for (std::size_t c = 0; c < 3; c++) {
            v[k][c] = kelmar_random_normal(*md->random, 0.0, sd);
            p[c] += md->m[k] * v[k][c];
        }
    }
    const double n = static_cast<double>(md->mobile.size());
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        for (std::size_t c = 0; c < 3; c++) v[k][c] -= p[c] / n / md->m[k];
    }
    return 0;
}

// --- forces and observables -------------------------------------------------------------------------

int kelmar_md_calculate_force(KELMAR_MD* md) {
    if (!md_ready(md) || !md->initialised) return 1;
    mdforce::Contact contact;
    const mdforce::Status st = mdforce::list_forces(md->list, md_force_frame(md), md->x, md->f, &contact);
    if (st == mdforce::Status::CONTACT) report_contact(md, contact);
    if (st != mdforce::Status::OK) return 1;
    for (long i : md->mobile)
        if (!finite3(md->f[static_cast<std::size_t>(i)])) {
            std::fprintf(stderr, "Error: the force on atom %s is not finite at step %ld.\n",
                         md->cell->atom[static_cast<std::size_t>(i)].name, md->step);
            return 1;
        }
    return 0;
}

int kelmar_md_calculate_energy_potential(KELMAR_MD* md) {
    if (!md_ready(md) || !md->initialised) return 1;
    mdforce::DirectSums sums;
    mdforce::Contact contact;
    const mdforce::Status st = mdforce::direct_sums(md_force_frame(md), md->x, &sums, nullptr, &contact, false);
    if (st == mdforce::Status::CONTACT) report_contact(md, contact);
    if (st != mdforce::Status::OK) return 1;
    // Pairs of two moving atoms are met twice, pairs with the fixed host once: this is the energy
    // whose gradient the forces are, so en is conserved by the plain velocity Verlet.
    md->en_p = 7.19982 * sums.e_mobile + 14.39964 * sums.e_host;
    md->virial = sums.virial;
    md->virial_step = md->step;
    md->virial_valid = true;
    if (!std::isfinite(md->en_p) || !std::isfinite(md->virial)) {
        std::fprintf(stderr, "Error: the potential energy is not finite at step %ld.\n", md->step);
        return 1;
    }
    return 0;
}

int kelmar_md_calculate_energy_kinetic(KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    double sum = 0.0;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        const auto& v = md->v[k];
        sum += md->m[k] * md->cell->atom[k].occ * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    md->en_k = 0.5 * sum;
    return std::isfinite(md->en_k) ? 0 : 1;
}

int kelmar_md_calculate_energy(KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    if (kelmar_md_calculate_energy_kinetic(md) != 0 || kelmar_md_calculate_energy_potential(md) != 0) return 1;
    md->en = md->en_k + md->en_p;
    return 0;
}

int kelmar_md_calculate_temperature(KELMAR_MD* md) {
    if (!md_ready(md) || md->mobile.empty()) return 1;
    md->temperature = 2.0 * md->en_k / (3.0 * static_cast<double>(md->mobile.size()) * KELMAR_MD_KB);
    return 0;
}

int kelmar_md_calculate_pressure(KELMAR_MD* md) {
    if (!md_ready(md) || !(md->volume > 0.0)) return 1;
    if (!md->virial_valid || md->virial_step != md->step)
        if (kelmar_md_calculate_energy_potential(md) != 0) return 1;
    double mv2 = 0.0;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        const auto& v = md->v[k];
        mv2 += md->m[k] * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    md->pressure = (mv2 - 0.5 * md->virial) / (3.0 * md->volume);
    return std::isfinite(md->pressure) ? 0 : 1;
}

int kelmar_md_calculate_average(KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    if (md->step < md->step_log || !(md->t > md->t_averaged)) return 0;
    // each sample stands for the time since the previous one
    const double w_old = md->t_averaged / md->t, w_new = 1.0 - w_old;
    md->en_k_ave = md->en_k_ave * w_old + md->en_k * w_new;
    md->en_p_ave = md->en_p_ave * w_old + md->en_p * w_new;
    md->pressure_ave = md->pressure_ave * w_old + md->pressure * w_new;
    md->en_ave = md->en_k_ave + md->en_p_ave;
    md->temperature_ave = 2.0 * md->en_k_ave / (3.0 * static_cast<double>(md->mobile.size()) * KELMAR_MD_KB);
    md->t_averaged = md->t;
    return 0;
}

int kelmar_md_calculate_conduction_property(KELMAR_MD* md) {
    if (!md_ready(md)) return 1;
    md->displacement = md->diffusivity = md->mobility = md->conductivity = 0.0;
    if (!(md->t > 0.0)) return 0;
    const int cs = md->ppt->conducting;
    const char* type = cs >= 0 && cs < md->ppt->total ? md->ppt->type[static_cast<std::size_t>(cs)].data() : nullptr;
    const int os = cs >= 0 && cs < md->ppt->total ? md->ppt->os[static_cast<std::size_t>(cs)] : 0;
    long count = 0;
    double sum = 0.0, sum2 = 0.0;
    for (long i : md->mobile) {
        const auto k = static_cast<std::size_t>(i);
        const KELMAR_ATOM& at = md->cell->atom[k];
        if (type == nullptr || std::strcmp(at.type, type) != 0 || at.os != os) continue;
        double d2 = 0.0;
        for (std::size_t c = 0; c < 3; c++) d2 += (md->x[k][c] - md->x0[k][c]) * (md->x[k][c] - md->x0[k][c]);
        sum += std::sqrt(d2);
        sum2 += d2;
        count++;
    }
    if (count == 0) return 0;
    const double n = static_cast<double>(count);
    md->displacement = sum / n;
    md->diffusivity = sum2 / n / (6.0 * md->t);
    // without a mean temperature the mobility is not defined
    md->mobility = md->temperature_ave > 0.0 ? (os / md->temperature_ave) * 11604.52 * md->diffusivity : NAN;
    md->conductivity = os * (n / md->volume) * 1.60217662 * md->mobility * 10.0;
    return 0;
}

namespace {

// The middle of a step: positions from the half-step velocities, then the new forces.
bool move_and_push(KELMAR_MD* md) {
    if (!advance_positions(md, md->v_nh)) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_x_vv() returns NULL.\n");
        return false;
    }
    if (kelmar_md_calculate_force(md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_force() returns NULL.\n");
        return false;
    }
    return true;
}

}  // namespace

// --- steps ------------------------------------------------------------------------------------------

int kelmar_md_update_vv_langevin(KELMAR_MD* md) {
    if (!md_ready(md) || !md->initialised) return 1;
    md->step += 1;
    md->t = static_cast<double>(md->step) * md->dt;
    md->virial_valid = false;
    fill_normal(md);
    if (kelmar_md_calculate_v_vv_langevin(md->v_nh, md->v, md->f, md->r, md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_v_vv_langevin() returns NULL.\n");
        return 1;
    }
    if (!move_and_push(md)) return 1;
    fill_normal(md);
    if (kelmar_md_calculate_v_vv_langevin(md->v, md->v_nh, md->f, md->r, md) != 0) {
        std::fprintf(stderr, "Error: kelmar_md_calculate_v_vv_langevin() returns NULL.\n");
        return 1;
    }
    return 0;
}

int kelmar_md_update_vv(KELMAR_MD* md) {
    if (!md_ready(md) || !md->initialised) return 1;
    md->step += 1;
    md->t = static_cast<double>(md->step) * md->dt;
    md->virial_valid = false;
    kelmar_md_calculate_v_vv(md->v_nh, md->v, md->f, md);
    if (!move_and_push(md)) return 1;
    kelmar_md_calculate_v_vv(md->v, md->v_nh, md->f, md);
    return 0;
}
