// Image ranges of the periodic-image loop.
#include "neighbor.hpp"

#include <algorithm>
#include <cstdio>

namespace latimg {

namespace {

bool accept_range(long m[3], const double range[3], double max_images) {
    double images = 1.0;
    for (int k = 0; k < 3; k++) images *= 2 * std::trunc(range[k]) + 1;
    if (!(images <= max_images)) {
        std::fprintf(stderr, "Error: cell too small for the lattice sums (%.3g images of each pair).\n", images);
        return false;
    }
    for (int k = 0; k < 3; k++) m[k] = static_cast<long>(range[k]);
    return true;
}

}  // namespace

bool image_range(long m[3], const double len[3], double reach, double pad, double max_images) {
    double range[3];
    for (int k = 0; k < 3; k++) range[k] = reach / len[k] + pad;
    return accept_range(m, range, max_images);
}

bool image_range_covering(long m[3], const double a[3][3], double reach, double max_images) {
    // |b_k| = |a_i x a_j| / V for (k, i, j) cyclic
    double cross[3][3];
    for (int k = 0; k < 3; k++) {
        const double* u = a[(k + 1) % 3];
        const double* w = a[(k + 2) % 3];
        cross[k][0] = u[1] * w[2] - u[2] * w[1];
        cross[k][1] = u[2] * w[0] - u[0] * w[2];
        cross[k][2] = u[0] * w[1] - u[1] * w[0];
    }
    const double volume =
        std::fabs(a[0][0] * cross[0][0] + a[0][1] * cross[0][1] + a[0][2] * cross[0][2]);
    double range[3];
    for (int k = 0; k < 3; k++) {
        const double b = std::sqrt(cross[k][0] * cross[k][0] + cross[k][1] * cross[k][1] + cross[k][2] * cross[k][2]);
        range[k] = std::floor(reach * b / volume) + 1.0;
    }
    return accept_range(m, range, max_images);
}

bool image_range_wide(long m[3], const double len[3], const double a[3][3], double reach, double pad,
                      double max_images) {
    long padded[3], covering[3];
    if (!image_range(padded, len, reach, pad, max_images) || !image_range_covering(covering, a, reach, max_images))
        return false;
    double images = 1.0;
    for (int k = 0; k < 3; k++) images *= 2.0 * static_cast<double>(std::max(padded[k], covering[k])) + 1.0;
    if (!(images <= max_images)) {
        std::fprintf(stderr, "Error: cell too small for the lattice sums (%.3g images of each pair).\n", images);
        return false;
    }
    for (int k = 0; k < 3; k++) m[k] = std::max(padded[k], covering[k]);
    return true;
}

}  // namespace latimg
