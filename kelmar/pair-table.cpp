// Building the tabulated pair terms of the landscape.
#include "pair-table.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "property-derived.hpp"

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

namespace {

// The terms of candidates whose squared distance falls outside the table and the parabola (the
// sliver below the table floor, or a curve without table), by the closed form.
double sum_closed_form(const Curve& curve, const double* x, const double* y, const double* z, const double* occ,
                       std::size_t n, const double r[3], bool all) {
    double sum = 0.0;
    for (std::size_t c = 0; c < n; ++c) {
        const double dx = x[c] - r[0], dy = y[c] - r[1], dz = z[c] - r[2];
        const double s = dx * dx + dy * dy + dz * dz;
        if (s > curve.s_cut || s <= curve.s_par) continue;
        const std::uint64_t k = (std::bit_cast<std::uint64_t>(s) >> curve.shift) - curve.first;
        if (all || k >= curve.count) sum += occ[c] * curve.exact(std::sqrt(s));
    }
    return sum;
}

}  // namespace

namespace {

// The branch-free loop: table lookup for every candidate, parabola or table chosen per lane, terms
// beyond the cutoff masked out. `linear` adds the parabola's a1 d (zero in records the assembly
// builds, which saves the square root).
template <bool linear>
inline __attribute__((always_inline)) double sum_lanes(const Curve& curve, const double* coef, const double* x,
                                                       const double* y, const double* z, const double* occ,
                                                       std::size_t n, const double r[3], long long* in_reach,
                                                       long long* outside) {
    const double rx = r[0], ry = r[1], rz = r[2];
    const double s_cut = curve.s_cut, s_par = curve.s_par, a0 = curve.a0, a1 = curve.a1, a2 = curve.a2;
    const int shift = curve.shift;
    const std::uint64_t first = curve.first, count = curve.count;
    double sum = 0.0;
    long long reached = 0, missed = 0;
#pragma omp simd reduction(+ : sum, reached, missed)
    for (std::size_t c = 0; c < n; ++c) {
        const double dx = x[c] - rx, dy = y[c] - ry, dz = z[c] - rz;
        const double s = dx * dx + dy * dy + dz * dz;
        const std::uint64_t key = std::bit_cast<std::uint64_t>(s) >> shift;
        const std::uint64_t k = key - first;
        const bool reach = s <= s_cut;
        const bool parabola = s <= s_par;
        const bool table = k < count;
        const std::uint64_t at = 4 * (k & (0 - static_cast<std::uint64_t>(table)));
        const double u = s - std::bit_cast<double>(key << shift);
        const double t = coef[at] + u * (coef[at + 1] + u * (coef[at + 2] + u * coef[at + 3]));
        const double q = linear ? a2 * s + a1 * std::sqrt(s) + a0 : a2 * s + a0;
        const double v = parabola ? q : t;
        const bool counted = reach & (parabola | table);
        sum += counted ? occ[c] * v : 0.0;
        reached += reach;
        missed += reach & !parabola & !table;
    }
    *in_reach += reached;
    *outside += missed;
    return sum;
}

}  // namespace

__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) double
sum_terms(const Curve& curve, const double* x, const double* y, const double* z, const double* occ, std::size_t n,
          const double r[3], long long* entered) {
    static const double no_table[4] = {0.0, 0.0, 0.0, 0.0};
    const double* coef = curve.count > 0 ? curve.coef.data() : no_table;
    long long in_reach = 0, outside = 0;
    const double sum = curve.a1 != 0.0 ? sum_lanes<true>(curve, coef, x, y, z, occ, n, r, &in_reach, &outside)
                                       : sum_lanes<false>(curve, coef, x, y, z, occ, n, r, &in_reach, &outside);
    *entered += in_reach;
    if (outside == 0) return sum;
    return sum + sum_closed_form(curve, x, y, z, occ, n, r, curve.count == 0);
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
