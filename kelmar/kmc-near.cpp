// Bins of a periodic cell for the neighbourhoods of the kinetic Monte Carlo record.
#include "kmc-near.hpp"

#include <algorithm>
#include <cmath>

namespace {

double det3(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

constexpr long kMaxBinsPerAxis = 256;

}  // namespace

void kmc_fractional(double f[3], const double a[3][3], const double x[3]) {
    const double det = det3(a);
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int q = 0; q < 3; ++q) m[r][q] = (r == c) ? x[q] : a[r][q];
        f[c] = det3(m) / det;  // Cramer's rule on x = f0 a0 + f1 a1 + f2 a2
    }
}

kmc_near_bins::kmc_near_bins(const double a[3][3], const std::vector<double>& points, double cutoff) {
    for (int r = 0; r < 3; ++r)
        for (int q = 0; q < 3; ++q) a_[r][q] = a[r][q];
    const double volume = std::fabs(det3(a));
    for (int p = 0; p < 3; ++p) {
        const double* u = a[(p + 1) % 3];
        const double* v = a[(p + 2) % 3];
        const double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2], cz = u[0] * v[1] - u[1] * v[0];
        const double width = volume / std::sqrt(cx * cx + cy * cy + cz * cz);  // distance between the faces
        const double n = std::floor(width / cutoff);
        nb_[p] = n >= 1.0 ? std::min(static_cast<long>(n), kMaxBinsPerAxis) : 1;
    }
    const long total = nb_[0] * nb_[1] * nb_[2];
    const long count = static_cast<long>(points.size() / 3);
    std::vector<long> owner(static_cast<std::size_t>(count));
    start_.assign(static_cast<std::size_t>(total + 1), 0);
    for (long i = 0; i < count; ++i) {
        long b[3];
        owner[static_cast<std::size_t>(i)] = bin_of(&points[static_cast<std::size_t>(3 * i)], b);
        ++start_[static_cast<std::size_t>(owner[static_cast<std::size_t>(i)] + 1)];
    }
    for (long b = 0; b < total; ++b) start_[static_cast<std::size_t>(b + 1)] += start_[static_cast<std::size_t>(b)];
    item_.assign(static_cast<std::size_t>(count), 0);
    std::vector<long> fill(start_.begin(), start_.end() - 1);
    for (long i = 0; i < count; ++i) item_[static_cast<std::size_t>(fill[static_cast<std::size_t>(owner[static_cast<std::size_t>(i)])]++)] = i;
}

long kmc_near_bins::bin_of(const double x[3], long b[3]) const {
    double f[3];
    kmc_fractional(f, a_, x);
    for (int p = 0; p < 3; ++p) {
        const double w = f[p] - std::floor(f[p]);
        b[p] = std::min(static_cast<long>(w * static_cast<double>(nb_[p])), nb_[p] - 1);
        if (b[p] < 0) b[p] = 0;
    }
    return (b[0] * nb_[1] + b[1]) * nb_[2] + b[2];
}

void kmc_near_bins::candidates(const double x[3], std::vector<long>* out) const {
    long b[3];
    bin_of(x, b);
    long range[3][3];
    int size[3];
    for (int p = 0; p < 3; ++p) {
        if (nb_[p] <= 3) {  // every bin of the axis, each once
            size[p] = static_cast<int>(nb_[p]);
            for (long k = 0; k < nb_[p]; ++k) range[p][k] = k;
        } else {
            size[p] = 3;
            for (long k = -1; k <= 1; ++k) range[p][k + 1] = ((b[p] + k) % nb_[p] + nb_[p]) % nb_[p];
        }
    }
    const std::size_t first = out->size();
    for (int i = 0; i < size[0]; ++i)
        for (int j = 0; j < size[1]; ++j)
            for (int k = 0; k < size[2]; ++k) {
                const long bin = (range[0][i] * nb_[1] + range[1][j]) * nb_[2] + range[2][k];
                for (long s = start_[static_cast<std::size_t>(bin)]; s < start_[static_cast<std::size_t>(bin + 1)]; ++s)
                    out->push_back(item_[static_cast<std::size_t>(s)]);
            }
    std::sort(out->begin() + static_cast<std::ptrdiff_t>(first), out->end());
}
