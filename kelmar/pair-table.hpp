// Pair terms of the mobile ion as functions of the squared distance, tabulated once per
// structure so that the landscape's inner loop is a distance, a table lookup and an add.
//
// A curve gives, for s = d^2 (internal unit e^2/A, occupancy not included):
//   s <= s_par          the short-range parabola a2 d^2 + a1 d + a0;
//   s_par < s <= s_cut  the term itself: the shifted Morse energy or the shifted screened Coulomb
//                       energy, from a piecewise cubic in s;
//   s > s_cut           nothing (callers test s_cut before asking for a value).
// s_par and s_cut are the largest doubles whose square roots are <= r_par and <= cutoff, so the
// branches fall exactly where the reference loop's tests d <= r_par and d <= cutoff fall.
//
// The pieces follow the binary representation of s: every octave [2^e, 2^(e+1)) is cut into
// 2^bits equal pieces, so the key of a piece is the top bits of the double, and pieces are
// narrow where the terms are steep (small d). Each piece is the cubic Hermite interpolant of
// the term and its slope at the piece ends; the build doubles the pieces per octave until every
// piece matches the term to the tolerance at seven interior points. A curve that cannot meet it
// (and the sliver between a very short parabola and the first piece) uses the term itself.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pairtab {

// Largest error of one tabulated term the build accepts, in e^2/A (1e-11 is 1.4e-10 eV).
inline constexpr double TABLE_TOLERANCE = 1e-11;

struct Curve {
    enum Kind { NONE, BONDING, COULOMB };
    Kind kind = NONE;
    double s_par = -1.0;  // the parabola up to here
    double s_cut = -1.0;  // no term beyond here
    double a0 = 0.0, a1 = 0.0, a2 = 0.0;
    // the term itself
    double d0 = 0.0, rmin = 0.0, b = 0.0, en_s = 0.0;  // bonding
    double q = 0.0, r_eff = 0.0;                       // Coulomb
    // the table: pieces with keys first .. first + count - 1, four coefficients each
    int shift = 52;
    std::uint64_t first = 0, count = 0;
    std::vector<double> coef;

    // The term at distance d > r_par by its closed form (reference functions).
    double exact(double d) const;
    // Slope of the term with respect to d.
    double exact_slope(double d) const;

    // The term at s (s <= s_cut).
    double value(double s) const {
        if (s <= s_par) {
            const double d = std::sqrt(s);
            return a2 * d * d + a1 * d + a0;
        }
        const std::uint64_t key = std::bit_cast<std::uint64_t>(s) >> shift;
        const std::uint64_t k = key - first;  // wraps for keys below the table
        if (k >= count) return exact(std::sqrt(s));
        const double u = s - std::bit_cast<double>(key << shift);
        const double* c = coef.data() + 4 * k;
        return c[0] + u * (c[1] + u * (c[2] + u * c[3]));
    }
    bool tabulated() const { return count > 0; }
};

// The sum of occ[c] * curve(s_c) over the candidates at (x[c], y[c], z[c]) within the cutoff of the
// point r, with s_c the squared distance; *entered counts the terms. The loop has no branches and
// runs in SIMD lanes on CPUs that have them (the lanes' partial sums are added in a fixed order,
// so the result depends on the candidates alone, not on threads or timing).
double sum_terms(const Curve& curve, const double* x, const double* y, const double* z, const double* occ,
                 std::size_t n, const double r[3], long long* entered);

// A Morse term shifted to zero at the cutoff, with its parabola below r_bc.
Curve curve_bonding(double d0, double rmin, double b, double en_s, double cutoff, double r_bc, double a2, double a1,
                    double a0, double tolerance = TABLE_TOLERANCE);
// A screened Coulomb term q erfc(d/r_eff)/d shifted to zero at 10 A, up to the cutoff, with its
// parabola below r_cc.
Curve curve_coulomb(double q, double r_eff, double cutoff, double r_cc, double a2, double a1, double a0,
                    double tolerance = TABLE_TOLERANCE);

// Largest double s with sqrt(s) <= r (-1 when r < 0).
double largest_square_within(double r);

}  // namespace pairtab
