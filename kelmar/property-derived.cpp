// Derived force-field quantities (effective b, Morse values, fractional charges, short-range
// parabolas, EAM embedding parameter) and the pair functions.
#include "property-derived.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "property.hpp"

namespace {

bool is_hydrogen(const char* type, int os) {
    return os == 1 && (std::strcmp(type, "H") == 0 || std::strcmp(type, "Hx") == 0 || std::strcmp(type, "D") == 0);
}

bool property_ready(const KELMAR_PROPERTY* ppt) {
    return ppt != nullptr && ppt->total > 0 && ppt->uni.size() == static_cast<std::size_t>(ppt->total) &&
           ppt->bin.size() == static_cast<std::size_t>(ppt->total);
}

// Largest x (to 1e-6) at which f(x) crosses 1 coming from large distances: walk down from 10 A in
// unit steps while f is below 1, then bisect.
template <typename F>
double find_unit_crossing(F&& f) {
    double r = 10.0;
    // The energies rise without bound towards x = 0; the floor only guards against data that
    // make f flat (zero depth or charge), where no crossing exists.
    while (f(r) < 1.0 && r > -100.0) r -= 1.0;
    double delta = 1.0;
    while (delta > 1e-6) {
        if (f(r) > 1.0) r += delta;
        else r -= delta;
        delta /= 2.0;
    }
    return r;
}

}  // namespace

// --- pair functions ---------------------------------------------------------------------------------

double kelmar_energy_bonding(double x, double d0, double rmin, double b) {
    const double e = std::exp((rmin - x) / b) - 1.0;
    return 0.5 * d0 * (e * e - 1.0);
}

double kelmar_energy_bonding_with_energy_shift(double x, double d0, double rmin, double b, double en_s) {
    return kelmar_energy_bonding(x, d0, rmin, b) - en_s;
}

double kelmar_energy_bonding_with_energy_shift_and_force_shift(double x, double d0, double rmin, double b,
                                                               double en_s, double f_s, double cutoff) {
    return kelmar_energy_bonding(x, d0, rmin, b) - en_s - (x - cutoff) * f_s;
}

double kelmar_force_bonding(double x, double d0, double rmin, double b) {
    const double e = std::exp((rmin - x) / b);
    return -(d0 / b) * e * (e - 1.0);
}

double kelmar_force_bonding_with_force_shift(double x, double d0, double rmin, double b, double f_s) {
    return kelmar_force_bonding(x, d0, rmin, b) - f_s;
}

double kelmar_energy_coulombic(double x, double q, double r_eff) {
    return q * std::erfc(x / r_eff) / x - q * std::erfc(10.0 / r_eff) / 10.0;
}

double kelmar_force_coulombic(double x, double q, double r_eff) {
    const double s = x / r_eff;
    return -q * std::erfc(s) / (x * x) - 2.0 * q * std::exp(-s * s) / (std::sqrt(M_PI) * r_eff * x);
}

double kelmar_pseudopotential_energy_bonding(double x, double a2, double a1, double a0) {
    return a2 * x * x + a1 * x + a0;
}

double kelmar_pseudopotential_energy_coulombic(double x, double a2, double a1, double a0) {
    return a2 * x * x + a1 * x + a0;
}

// --- derivation steps ----------------------------------------------------------------------------------

int kelmar_property_calculate_effective_b(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (!property_ready(ppt)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    const int s = ppt->total;
    for (int i = 0; i < s; i++)
        for (int j = 0; j < s; j++) ppt->bin[i][j].b_old = ppt->bin[i][j].b;
    for (int i = 0; i < s; i++) {
        if (ppt->os[i] <= 0) continue;
        // Occupancy-weighted mean of the cation's b over the anion atoms of the cell.
        double sum = 0.0, weight = 0.0;
        for (const KELMAR_ATOM& a : cell->atom) {
            if (a.os >= 0) continue;
            const int k = kelmar_property_find_index(ppt, a.type, a.os);
            if (k < 0) {
                std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative number.\n");
                return 1;
            }
            sum += a.occ * ppt->bin[i][k].b_old;
            weight += a.occ;
        }
        for (int j = 0; j < s; j++) {
            if (ppt->os[j] >= 0) continue;
            KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            // A cell without anion atoms has no mean to mix in; b keeps the file value.
            if (!(weight > 0)) continue;
            e.b = (1.0 - 2.0 / 3.0) * e.b_old + (2.0 / 3.0) * (sum / weight);
        }
    }
    return 0;
}

int kelmar_property_unitary_derived(KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    for (KELMAR_PROPERTY_UNITARY& u : ppt->uni) {
        if (u.b == 0 || u.b == 1) u.c = 1;
        else if (u.b == 2 || u.b == 3) u.c = 2;
    }
    return 0;
}

int kelmar_property_binary_derived(KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    const int s = ppt->total;
    for (int i = 0; i < s; i++)
        for (int j = 0; j < s; j++) {
            KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (!(e.cutoff > 0.0001 && e.r0 > 0 && e.b > 0 && e.cn > 0)) continue;
            const KELMAR_PROPERTY_UNITARY& ui = ppt->uni[i];
            const KELMAR_PROPERTY_UNITARY& uj = ppt->uni[j];
            if ((ui.soft > 0 && uj.soft > 0) || is_hydrogen(ppt->type[i].data(), ppt->os[i])) {
                e.rmin = e.r0 * (0.9185 + 0.2285 * std::fabs(uj.soft - ui.soft)) - e.b * std::log(ppt->os[i] / e.cn);
            } else {
                std::fprintf(stderr, "Warning: r_min for (%s%d%c)-(%s%d%c) is set to 0 due to softness = 0.\n",
                             ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]), ppt->type[j].data(),
                             std::abs(ppt->os[j]), os_sign_char(ppt->os[j]));
            }
            const double c = ui.c;
            e.d0 = (e.b * e.b / 2.0) * c * std::pow(c * std::abs(ppt->os[i] * ppt->os[j]), 1.0 / c) /
                   (std::sqrt(static_cast<double>(ui.n * uj.n)) * e.rmin);
        }
    for (int i = 0; i < s; i++)
        for (int j = 0; j < s; j++) {
            KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (e.d0 > 0 && e.rmin > 0 && e.b > 0) {
                e.en_s = kelmar_energy_bonding(e.cutoff, e.d0, e.rmin, e.b);
                e.f_s = kelmar_force_bonding(e.cutoff, e.d0, e.rmin, e.b);
            }
            if (e.d0 > 0 && e.cn > 0) e.f0 = e.d0 * e.cn;
        }
    return 0;
}

int kelmar_property_calculate_fractional_charge(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (!property_ready(ppt)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    const int s = ppt->total;
    auto sqrt_n_eff = [&](int k) {
        const int n = ppt->uni[k].n;
        const char* t = ppt->type[k].data();
        int n_eff = n;
        if (n >= 5) n_eff = 4;
        else if (std::strcmp(t, "Li") == 0 || std::strcmp(t, "B") == 0 || std::strcmp(t, "Be") == 0) n_eff = 1;
        return std::sqrt(static_cast<double>(n_eff));
    };
    double sum_p = 0.0, sum_n = 0.0;
    for (const KELMAR_ATOM& a : cell->atom) {
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        if (k < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative values.\n");
            return 1;
        }
        // A species without a line in the unitary file has period 0; dividing by its square
        // root would turn every charge of the cell into inf or nan, so it is named here instead.
        if (a.os != 0 && ppt->uni[k].n <= 0) {
            std::fprintf(stderr,
                         "Error: no principal quantum number for %s(%d): the species is missing from "
                         "database_unitary.dat.\n",
                         ppt->type[k].data(), ppt->os[k]);
            return 1;
        }
        if (a.os > 0) sum_p += a.occ * a.os / sqrt_n_eff(k);
        else if (a.os < 0) sum_n += a.occ * a.os / sqrt_n_eff(k);
    }
    for (int k = 0; k < s; k++) {
        const int os = ppt->os[k];
        double q = 0.0;
        // A species with no atoms in the cell (an appended mobile ion) and no unitary line, or a
        // cell without ions of one sign, has no defined charge: it stays 0 and validation reports it.
        if (ppt->uni[k].n <= 0 || !(sum_p > 0 && sum_n < 0)) q = 0.0;
        else if (os > 0) q = (os / sqrt_n_eff(k)) * std::sqrt(-sum_n / sum_p);
        else if (os < 0) q = (os / sqrt_n_eff(k)) * std::sqrt(-sum_p / sum_n);
        ppt->uni[k].q = q;
    }
    for (int k = 0; k < s; k++) {
        const double q = ppt->uni[k].q;
        if (std::isfinite(q) && std::fabs(q) > std::abs(ppt->os[k])) {
            const double scale = ppt->os[k] / q;
            for (int l = 0; l < s; l++) ppt->uni[l].q *= scale;
            std::printf("Message: charge of %s(%d) is capped to %4.2f.\n", ppt->type[k].data(), ppt->os[k],
                        ppt->uni[k].q);
        }
    }
    double total = 0.0;
    for (const KELMAR_ATOM& a : cell->atom) {
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        total += a.occ * ppt->uni[k].q;
    }
    if (std::fabs(total) > 1e-6) {
        std::fprintf(stderr, "Error: total charge of the cell is not neutral: %f\n", total);
        return 1;
    }
    return 0;
}

int kelmar_property_binary_pseudopotential(KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) return 0;
    const int s = ppt->total;
    for (int i = 0; i < s; i++)
        for (int j = 0; j < s; j++) {
            KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            if (e.d0 > 0 && e.rmin > 0 && e.b > 0) {
                auto shifted = [&](double x) { return kelmar_energy_bonding(x, e.d0, e.rmin, e.b) - e.en_s; };
                const double r = find_unit_crossing(shifted);
                e.r_bc = r;
                e.a1 = 0.0;
                e.a2 = kelmar_force_bonding(r, e.d0, e.rmin, e.b) / (2.0 * r);
                e.a0 = shifted(r) - e.a2 * r * r;
            }
            const double q = ppt->uni[i].q * ppt->uni[j].q;
            const double r_eff = ppt->sf * (ppt->uni[i].rc + ppt->uni[j].rc);
            // A pair without charges or radii (a species missing from the data) has no Coulomb
            // term to replace; its parabola stays zero instead of being fitted to nan.
            if (ppt->os[i] * ppt->os[j] > 0 && q > 0 && r_eff > 0) {
                auto coulomb = [&](double x) { return kelmar_energy_coulombic(x, q, r_eff); };
                const double r = find_unit_crossing(coulomb);
                e.r_cc = r;
                e.a1 = 0.0;
                e.a2 = kelmar_force_coulombic(r, q, r_eff) / (2.0 * r);
                e.a0 = coulomb(r) - e.a2 * r * r;
            }
        }
    return 0;
}

bool eam_embedding_parameter(const KELMAR_PROPERTY* ppt, int i, double* f1) {
    double num = 0.0, den = 0.0;
    for (int j = 0; j < ppt->total; j++) {
        if (!(ppt->os[i] * ppt->os[j] < 0)) continue;
        const int c = ppt->os[i] > 0 ? i : j;
        const int a = ppt->os[i] > 0 ? j : i;
        const KELMAR_PROPERTY_BINARY& e = ppt->bin[c][a];
        const double t = std::exp(0.5879 * std::log(std::fabs(static_cast<double>(ppt->os[c]) / ppt->os[a])) +
                                  0.135 - 0.0898 * std::log(ppt->uni[c].soft) - 0.9956 * std::log(e.b) +
                                  0.3986 * std::log(static_cast<double>(ppt->uni[c].n)) -
                                  0.51 * std::log(e.cn) + 0.5272 * std::log(e.r0));
        const double count = static_cast<std::size_t>(j) < ppt->count.size() ? ppt->count[j] : 0.0;
        // A pair without data has f0 = 0 and contributes nothing; its t (logarithms of zeros)
        // would otherwise turn the sum into nan.
        if (e.f0 != 0.0) num += t * count * e.f0;
        den += count;
    }
    // A species without partners of opposite sign in the cell has no embedding term.
    *f1 = den > 0 ? num / den : 0.0;
    return den > 0;
}

int kelmar_property_calculate_unitary_eam_parameter(KELMAR_PROPERTY* ppt) {
    if (!property_ready(ppt)) {
        std::fprintf(stderr, "Error: KELMAR_CELL and KELMAR_PROPERTY has not been initialized.\n");
        return 1;
    }
    for (int i = 0; i < ppt->total; i++) eam_embedding_parameter(ppt, i, &ppt->uni[i].f1);
    return 0;
}
