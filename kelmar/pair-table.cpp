// Building the tabulated pair terms of the landscape.
#include "pair-table.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "import-ppt-core.hpp"

namespace pairtab {

namespace {

// Below this squared distance (0.1 A) the terms are left to their closed forms: they are steep
// there and a parabola normally covers the range anyway.
constexpr double TABLE_FLOOR = 0.01;
constexpr int MIN_BITS = 5;
constexpr int MAX_BITS = 13;

double start_of(std::uint64_t key, int shift) { return std::bit_cast<double>(key << shift); }

// Fills the pieces for `bits` per octave; false when a piece misses the tolerance.
bool fill(Curve* c, int bits, double s_lo, double tolerance) {
    c->shift = 52 - bits;
    c->first = std::bit_cast<std::uint64_t>(s_lo) >> c->shift;
    const std::uint64_t last = std::bit_cast<std::uint64_t>(c->s_cut) >> c->shift;
    c->count = last - c->first + 1;
    c->coef.assign(4 * c->count, 0.0);
    double f0 = 0.0, g0 = 0.0;
    for (std::uint64_t k = 0; k < c->count; ++k) {
        const double s0 = start_of(c->first + k, c->shift), s1 = start_of(c->first + k + 1, c->shift);
        const double w = s1 - s0;
        if (k == 0) {
            const double d = std::sqrt(s0);
            f0 = c->exact(d), g0 = c->exact_slope(d) / (2.0 * d);
        }
        const double d1 = std::sqrt(s1);
        const double f1 = c->exact(d1), g1 = c->exact_slope(d1) / (2.0 * d1);
        const double m = (f1 - f0) / w;
        double* p = c->coef.data() + 4 * k;
        p[0] = f0;
        p[1] = g0;
        p[2] = (3.0 * m - 2.0 * g0 - g1) / w;
        p[3] = (g0 + g1 - 2.0 * m) / (w * w);
        for (int t = 1; t < 8; ++t) {
            const double u = w * t / 8.0;
            const double approx = p[0] + u * (p[1] + u * (p[2] + u * p[3]));
            if (!(std::fabs(approx - c->exact(std::sqrt(s0 + u))) <= tolerance)) return false;
        }
        f0 = f1, g0 = g1;
    }
    return true;
}

void tabulate(Curve* c, double r_par, double cutoff, double a2, double a1, double a0, double tolerance) {
    c->s_par = largest_square_within(r_par);
    c->s_cut = largest_square_within(cutoff);
    c->a0 = a0, c->a1 = a1, c->a2 = a2;
    const double s_lo = std::max(c->s_par, TABLE_FLOOR);
    if (!(c->s_cut > s_lo) || !std::isfinite(c->s_cut)) return;  // the parabola covers the range
    for (int bits = MIN_BITS; bits <= MAX_BITS; ++bits)
        if (fill(c, bits, s_lo, tolerance)) return;
    // too steep or not finite somewhere: the closed form everywhere
    c->count = 0;
    c->coef.clear();
}

}  // namespace

double largest_square_within(double r) {
    if (!(r >= 0.0)) return -1.0;
    if (!std::isfinite(r)) return std::numeric_limits<double>::max();
    double s = r * r;
    while (s > 0.0 && std::sqrt(s) > r) s = std::nextafter(s, 0.0);
    for (;;) {
        const double up = std::nextafter(s, std::numeric_limits<double>::infinity());
        if (!(std::sqrt(up) <= r)) break;
        s = up;
    }
    return s;
}

double Curve::exact(double d) const {
    if (kind == BONDING) return kelmar_energy_bonding_with_energy_shift(d, d0, rmin, b, en_s);
    if (kind == COULOMB) return kelmar_energy_coulombic(d, q, r_eff);
    return 0.0;
}

double Curve::exact_slope(double d) const {
    if (kind == BONDING) return kelmar_force_bonding(d, d0, rmin, b);
    if (kind == COULOMB) return kelmar_force_coulombic(d, q, r_eff);
    return 0.0;
}

Curve curve_bonding(double d0, double rmin, double b, double en_s, double cutoff, double r_bc, double a2, double a1,
                    double a0, double tolerance) {
    Curve c;
    c.kind = Curve::BONDING;
    c.d0 = d0, c.rmin = rmin, c.b = b, c.en_s = en_s;
    tabulate(&c, r_bc, cutoff, a2, a1, a0, tolerance);
    return c;
}

Curve curve_coulomb(double q, double r_eff, double cutoff, double r_cc, double a2, double a1, double a0,
                    double tolerance) {
    Curve c;
    c.kind = Curve::COULOMB;
    c.q = q, c.r_eff = r_eff;
    tabulate(&c, r_cc, cutoff, a2, a1, a0, tolerance);
    return c;
}

}  // namespace pairtab
