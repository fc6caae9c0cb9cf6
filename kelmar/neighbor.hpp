// Periodic images and neighbours: the one lattice-image loop of kelmar.
//
// Every lattice sum (bond-valence sums, force-field energy and forces, landscape binning) visits
// the translations T(h) = h0 a0 + h1 a1 + h2 a2 with |h_k| <= m[k], h0 slowest and h2 fastest,
// and adds its terms in that order. for_each_image() is that loop; Image offers the three
// roundings of a displaced vector the sums use, so each keeps its numbers to the last bit.
// for_each_neighbor() is the pair form for new code (coordination shells, MD, NEB, kMC): every
// image of every atom within a distance of a point, in the same order.
//
// Ranges: image_range() is the padded per-axis form the existing sums use; a very oblique cell
// can hide images within reach beyond it. image_range_covering() reaches every image within the
// distance for two points of the cell (fractional coordinates in [0, 1)); new code should use it.
// image_range_wide() is the padded range widened to cover, for the sums that keep their order.
#pragma once

#include <cmath>

#include "kelmar.hpp"

namespace latimg {

// Most images one pair may visit by default: real cells need a few thousand; a cell vector of a
// tiny or absurd length is refused instead of running for days or overflowing the range.
inline constexpr double MAX_IMAGES = 1e7;

// m[k] = trunc(reach / len[k] + pad). False, after "Error: cell too small for the lattice sums
// (%.3g images of each pair).\n" on standard error, when the range holds more than max_images
// translations (or is not finite); m is then untouched.
bool image_range(long m[3], const double len[3], double reach, double pad, double max_images = MAX_IMAGES);
// m[k] = floor(reach |b_k|) + 1 with b_k the reciprocal vectors of the lattice a (rows): every
// translation that brings two points of the cell within reach of each other. Same refusal.
bool image_range_covering(long m[3], const double a[3][3], double reach, double max_images = MAX_IMAGES);

// The padded range widened on every axis to image_range_covering: a sum keeps the images it had
// (and their order), and an oblique cell no longer hides images within reach. Same refusal.
bool image_range_wide(long m[3], const double len[3], const double a[3][3], double reach, double pad,
                      double max_images = MAX_IMAGES);

// One lattice translation of the loop.
struct Image {
    long h[3];
    const double (*a)[3];

    // out = d + (h0 a0 + h1 a1 + h2 a2): the translation summed first (landscape, bond valence).
    void add_to(double out[3], const double d[3]) const {
        const double x = static_cast<double>(h[0]), y = static_cast<double>(h[1]), z = static_cast<double>(h[2]);
        for (int c = 0; c < 3; ++c) out[c] = d[c] + (x * a[0][c] + y * a[1][c] + z * a[2][c]);
    }
    // out = d - (h0 a0 + h1 a1 + h2 a2).
    void subtract_from(double out[3], const double d[3]) const {
        const double x = static_cast<double>(h[0]), y = static_cast<double>(h[1]), z = static_cast<double>(h[2]);
        for (int c = 0; c < 3; ++c) out[c] = d[c] - (x * a[0][c] + y * a[1][c] + z * a[2][c]);
    }
    // out = ((d + h0 a0) + h1 a1) + h2 a2: added term by term (force field).
    void add_stepwise(double out[3], const double d[3]) const {
        const double x = static_cast<double>(h[0]), y = static_cast<double>(h[1]), z = static_cast<double>(h[2]);
        for (int c = 0; c < 3; ++c) out[c] = d[c] + x * a[0][c] + y * a[1][c] + z * a[2][c];
    }
};

// Calls f(const Image&) for every h with |h_k| <= m[k], h0 slowest, h2 fastest. No allocation.
template <class F>
inline void for_each_image(const double a[3][3], const long m[3], F&& f) {
    Image img{{0, 0, 0}, a};
    for (img.h[0] = -m[0]; img.h[0] <= m[0]; ++img.h[0])
        for (img.h[1] = -m[1]; img.h[1] <= m[1]; ++img.h[1])
            for (img.h[2] = -m[2]; img.h[2] <= m[2]; ++img.h[2]) f(static_cast<const Image&>(img));
}

// Calls f(j, img, v, d2) for every atom j of the cell (list order) and every image (loop order)
// whose displacement v = (x_j - r) + T(h) from the point r has d2 = |v|^2 <= reach^2. The point
// itself (d2 = 0) is reported too; callers skip it where they must.
template <class F>
inline void for_each_neighbor(const KELMAR_CELL& cell, const long m[3], const double r[3], double reach, F&& f) {
    const double reach2 = reach * reach;
    for (long j = 0; j < cell.total(); ++j) {
        const KELMAR_ATOM& atom = cell.atom[static_cast<std::size_t>(j)];
        const double d0[3] = {atom.x[0] - r[0], atom.x[1] - r[1], atom.x[2] - r[2]};
        for_each_image(cell.a, m, [&](const Image& img) {
            double v[3];
            img.add_to(v, d0);
            const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
            if (d2 <= reach2) f(j, img, v, d2);
        });
    }
}

}  // namespace latimg
