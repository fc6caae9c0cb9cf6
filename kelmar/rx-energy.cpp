// Total pair energy, forces, strain and stress of a periodic cell.
#include "rx-energy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cell-ops.hpp"
#include "property-record.hpp"
#include "neighbor.hpp"
#include "rx-pair.hpp"

namespace {

using rxpair::PAIR_TERM;
using rxpair::image_range;
using rxpair::pair_term;
using rxpair::species_of_atoms;

bool inputs_ready(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (cell == nullptr || ppt == nullptr || ppt->total <= 0 ||
        ppt->uni.size() != static_cast<std::size_t>(ppt->total) ||
        ppt->bin.size() != static_cast<std::size_t>(ppt->total)) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
        return false;
    }
    return true;
}

enum class PAIR_SUM { PLAIN, UNCONSTRAINED, EAM };

// Double loop over atoms and lattice images; returns false after a message when a species is
// missing from the record.
bool pair_sum(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, PAIR_SUM mode, double* result) {
    long m[3];
    double rmax = 0.0;
    if (!image_range(cell, ppt, m, &rmax)) return false;
    const long n = cell->total();
    const char* mobile =
        (ppt->conducting >= 0 && ppt->conducting < ppt->total) ? ppt->type[ppt->conducting].data() : nullptr;
    const int* species = nullptr;
    if (!species_of_atoms(cell, ppt, &species)) return false;
    double sum = 0.0;
    for (long i = 0; i < n; i++) {
        const KELMAR_ATOM& ai = cell->atom[static_cast<std::size_t>(i)];
        if (ai.ignored) continue;
        const int si = species[i];
        for (long j = 0; j < n; j++) {
            const KELMAR_ATOM& aj = cell->atom[static_cast<std::size_t>(j)];
            if (mode == PAIR_SUM::UNCONSTRAINED && aj.ignored) continue;
            const int sj = species[j];
            if (mode == PAIR_SUM::EAM && mobile != nullptr && (i == 0 || j == 0) &&
                std::strcmp(ai.type, mobile) == 0 && std::strcmp(aj.type, mobile) == 0)
                continue;
            const PAIR_TERM t = pair_term(ppt, ai, si, aj, sj, rmax);
            if (t.kind == PAIR_TERM::NONE) continue;
            const double reach2 = t.reach() * t.reach();
            // Split sites: images closer than 0.2 A count only for two different elements whose
            // occupancies add up to more than 1.
            const bool close_ok = mode != PAIR_SUM::UNCONSTRAINED && ai.occ + aj.occ > 1.0 &&
                                  std::strcmp(ai.type, aj.type) != 0;
            const double d0[3] = {ai.x[0] - aj.x[0], ai.x[1] - aj.x[1], ai.x[2] - aj.x[2]};
            latimg::for_each_image(cell->a, m, [&](const latimg::Image& img) {
                double v[3];
                img.add_stepwise(v, d0);
                const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (d2 > reach2 * 1.0000001) return;
                const double d = std::sqrt(d2);
                if (mode == PAIR_SUM::UNCONSTRAINED) {
                    if (!(d > 0.2)) return;
                } else if (!(d >= 0.2 || close_ok)) {
                    return;
                }
                sum += t.energy(d);
            });
        }
    }
    *result = sum;
    return true;
}

}  // namespace

// --- energies -----------------------------------------------------------------------------------

double kelmar_cell_calculate_total_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!inputs_ready(cell, ppt)) return 0.0;
    double sum = 0.0;
    if (!pair_sum(cell, ppt, PAIR_SUM::PLAIN, &sum)) return 0.0;
    return 7.19982 * sum;
}

double kelmar_cell_calculate_total_energy_unconstrained_part(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!inputs_ready(cell, ppt)) return 0.0;
    double sum = 0.0;
    if (!pair_sum(cell, ppt, PAIR_SUM::UNCONSTRAINED, &sum)) return 0.0;
    return 7.19982 * sum;
}

bool rx_inputs_ready(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) { return inputs_ready(cell, ppt); }

bool rx_pair_sum_eam(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, double* sum) {
    return pair_sum(cell, ppt, PAIR_SUM::EAM, sum);
}

// --- forces, strain, stress ---------------------------------------------------------------------

int kelmar_cell_calculate_force(double (*force)[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!inputs_ready(cell, ppt) || force == nullptr) return 1;
    const long n = cell->total();
    for (long i = 0; i < n; i++) force[i][0] = force[i][1] = force[i][2] = 0.0;
    long m[3];
    double rmax = 0.0;
    if (!image_range(cell, ppt, m, &rmax)) return 1;
    const int* species = nullptr;
    if (!species_of_atoms(cell, ppt, &species)) return 1;
    for (long i = 0; i < n; i++) {
        const KELMAR_ATOM& ai = cell->atom[static_cast<std::size_t>(i)];
        if (ai.ignored) continue;
        const int si = species[i];
        double f[3] = {0.0, 0.0, 0.0};
        for (long j = 0; j < n; j++) {
            const KELMAR_ATOM& aj = cell->atom[static_cast<std::size_t>(j)];
            const int sj = species[j];
            const PAIR_TERM t = pair_term(ppt, ai, si, aj, sj, rmax);
            if (t.kind == PAIR_TERM::NONE) continue;
            const double reach2 = t.reach() * t.reach();
            const double d0[3] = {aj.x[0] - ai.x[0], aj.x[1] - ai.x[1], aj.x[2] - ai.x[2]};
            latimg::for_each_image(cell->a, m, [&](const latimg::Image& img) {
                double v[3];
                img.add_stepwise(v, d0);
                const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (d2 > reach2 * 1.0000001) return;
                const double d = std::sqrt(d2);
                if (!(d > 0.2)) return;
                const double g = t.derivative(d);
                for (int c = 0; c < 3; c++) f[c] += 0.5 * g * v[c] / d;
            });
        }
        for (int c = 0; c < 3; c++) force[i][c] = f[c];
    }
    return 0;
}

int kelmar_cell_deform(KELMAR_CELL* cell, const double deform[3][3]) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    auto strain = [&](double v[3]) {
        double out[3];
        for (int r = 0; r < 3; r++) out[r] = v[r] + deform[r][0] * v[0] + deform[r][1] * v[1] + deform[r][2] * v[2];
        for (int r = 0; r < 3; r++) v[r] = out[r];
    };
    // A homogeneous strain leaves fractional positions unchanged: strain the lattice, then
    // rebuild the Cartesian positions from them (the same as straining every position).
    for (int k = 0; k < 3; k++) strain(cell->a[k]);
    kelmar_cell_update_lattice_fractional(cell);
    kelmar_cell_update_coordinate_cartesion(cell);
    return 0;
}

namespace {

// Central difference of the total energy under the strain element (r, c) = +-0.0001.
bool strain_derivative(double* out, const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, KELMAR_CELL* work, int r,
                       int c) {
    const double delta = 0.0001;
    double energy[2];
    for (int s = 0; s < 2; s++) {
        *work = *cell;
        double deform[3][3] = {};
        deform[r][c] = (s == 0) ? -delta : delta;
        if (kelmar_cell_deform(work, deform) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_deform() returns non-zero.\n");
            return false;
        }
        energy[s] = kelmar_cell_calculate_total_energy(work, ppt);
        if (energy[s] == 0.0) {
            std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns 0.00.\n");
            return false;
        }
    }
    *out = (energy[1] - energy[0]) / (2 * delta) / kelmar_cell_calculate_volume(cell);
    return true;
}

int stress_components(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const int rc[3][2]) {
    if (!inputs_ready(cell, ppt) || stress == nullptr) return 1;
    auto work = kelmar_cell_copy(cell);
    if (work == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
        return 1;
    }
    for (int k = 0; k < 3; k++)
        if (!strain_derivative(&stress[k], cell, ppt, work.get(), rc[k][0], rc[k][1])) return 1;
    return 0;
}

}  // namespace

int kelmar_cell_calculate_stress_diagonal(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    static const int rc[3][2] = {{0, 0}, {1, 1}, {2, 2}};
    return stress_components(stress, cell, ppt, rc);
}

int kelmar_cell_calculate_stress_shear(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    static const int rc[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    return stress_components(stress, cell, ppt, rc);
}
