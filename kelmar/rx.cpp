// Total pair energy, forces, strain and stress of a periodic cell.
#include "rx-energy.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "import-ppt-core.hpp"
#include "import.hpp"
#include "neighbor.hpp"

namespace {

double vector_length(const double a[3]) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

bool inputs_ready(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (cell == nullptr || ppt == nullptr || ppt->total <= 0 ||
        ppt->uni.size() != static_cast<std::size_t>(ppt->total) ||
        ppt->bin.size() != static_cast<std::size_t>(ppt->total)) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
        return false;
    }
    return true;
}

// Everything the image loop needs about one pair of atoms, looked up once per pair.
struct PAIR_TERM {
    enum { NONE, COULOMB, BONDING } kind = NONE;
    double weight = 0.0;  // occ_i * occ_j
    double q = 0.0, r_eff = 0.0, shift = 0.0, rmax = 0.0;
    double d0 = 0.0, rmin = 0.0, b = 0.0, en_s = 0.0, cutoff = 0.0;

    // The Coulomb energy evaluated as kelmar_energy_coulombic does, with its constant shift
    // q erfc(10/r_eff)/10 computed once per pair instead of once per image.
    double energy(double d) const {
        if (kind == COULOMB) return d <= rmax ? weight * (q * std::erfc(d / r_eff) / d - shift) : 0.0;
        if (kind == BONDING) return d <= cutoff ? weight * (kelmar_energy_bonding(d, d0, rmin, b) - en_s) : 0.0;
        return 0.0;
    }
    double derivative(double d) const {
        if (kind == COULOMB) return d <= rmax ? weight * kelmar_force_coulombic(d, q, r_eff) : 0.0;
        if (kind == BONDING) return d <= cutoff ? weight * kelmar_force_bonding(d, d0, rmin, b) : 0.0;
        return 0.0;
    }
    double reach() const { return kind == COULOMB ? rmax : (kind == BONDING ? cutoff : -1.0); }
};

PAIR_TERM pair_term(const KELMAR_PROPERTY* ppt, const KELMAR_ATOM& ai, int si, const KELMAR_ATOM& aj, int sj,
                    double rmax) {
    PAIR_TERM t;
    t.weight = ai.occ * aj.occ;
    if (ai.os * aj.os >= 1) {
        t.kind = PAIR_TERM::COULOMB;
        t.q = ppt->uni[si].q * ppt->uni[sj].q;
        t.r_eff = ppt->sf * (ppt->uni[si].rc + ppt->uni[sj].rc);
        t.shift = t.q * std::erfc(10.0 / t.r_eff) / 10.0;
        t.rmax = rmax;
    } else if (ai.os * aj.os < 0) {
        // Opposite signs always use the (cation, anion) entry.
        const KELMAR_PROPERTY_BINARY& e = (ai.os < 0) ? ppt->bin[sj][si] : ppt->bin[si][sj];
        t.kind = PAIR_TERM::BONDING;
        t.d0 = e.d0;
        t.rmin = e.rmin;
        t.b = e.b;
        t.en_s = e.en_s;
        t.cutoff = e.cutoff;
    }
    return t;
}

// Species index of every atom, in a per-thread buffer that only ever grows: the cell sums run
// once per grid point of a landscape and once per relaxation step, and allocate nothing once
// the buffer has reached the cell size. False after a message when a species is missing.
bool species_of_atoms(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const int** out) {
    thread_local std::vector<int> species;
    if (species.size() < cell->atom.size()) species.resize(cell->atom.size());
    for (std::size_t i = 0; i < cell->atom.size(); i++) {
        species[i] = kelmar_property_find_index(ppt, cell->atom[i].type, cell->atom[i].os);
        if (species[i] < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return false;
        }
    }
    *out = species.data();
    return true;
}

// Image range and the largest interaction distance (at least 12 A) of the record; false after a
// message when the cell is too small for that many images.
bool image_range(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, long m[3], double* rmax_out) {
    double rmax = 12.0;
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) rmax = std::max(rmax, ppt->bin[i][j].cutoff);
    double len[3];
    for (int k = 0; k < 3; k++) len[k] = vector_length(cell->a[k]);
    if (!latimg::image_range(m, len, rmax, 1.0)) return false;
    *rmax_out = rmax;
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
