// The wave-vector factors of a spectral derivative along the cell directions: a value of
// frequency q along axis r is multiplied by i 2 pi q / L[r] once per direction r of the
// derivative. The Nyquist index of an even axis is zeroed for a first or a mixed second
// derivative and keeps q = +n/2 for a pure second derivative, so a real field keeps a real
// derivative.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

// 2 pi as the derivative factors take it.
inline constexpr double kFftTwoPi = 6.2831853;

// Signed frequency of index m on an axis of n points.
inline long fft_signed_frequency(long m, long n) { return m <= n / 2 ? m : m - n; }

// For every index m of axis r, the product of the multipliers w of the directions that run along
// r (1 when none does), and whether the value is zeroed instead.
struct FftAxisFactors {
    std::vector<double> w;
    std::vector<char> zero;
};

// a_r: cell vector r (its length is L[r]); n: points along it; sub[0 .. order-1]: directions.
inline FftAxisFactors fft_axis_factors(const double a_r[3], long n, int r, int order, const int* sub) {
    FftAxisFactors out;
    const double L = std::sqrt(a_r[0] * a_r[0] + a_r[1] * a_r[1] + a_r[2] * a_r[2]);
    const bool zero_nyquist = order == 1 || (order == 2 && sub[0] != sub[1]);
    out.w.assign(static_cast<std::size_t>(n), 1.0);
    out.zero.assign(static_cast<std::size_t>(n), 0);
    for (int c = 0; c < order; ++c) {
        if (sub[c] != r) continue;
        for (long m = 0; m < n; ++m) {
            const bool nyquist = n % 2 == 0 && m == n / 2;
            const long q = nyquist ? n / 2 : fft_signed_frequency(m, n);
            out.w[static_cast<std::size_t>(m)] *= kFftTwoPi * static_cast<double>(q) / L;
            if (nyquist && zero_nyquist) out.zero[static_cast<std::size_t>(m)] = 1;
        }
    }
    return out;
}
