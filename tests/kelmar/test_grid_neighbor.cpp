// The grid form of the symmetry (which operations fit a grid, images, symmetry-distinct points,
// spreading) and the periodic-image facility (ranges, loop order, the three roundings, the
// neighbour form) on triclinic cells and cells shorter than the reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "symmetry-grid.hpp"
#include "symmetry.hpp"
#include "neighbor.hpp"

namespace {

KELMAR_SYMMETRY symmetry_of(std::initializer_list<const char*> texts) {
    KELMAR_SYMMETRY sym;
    for (const char* t : texts) {
        KELMAR_CARD c;
        EXPECT_EQ(kelmar_card_set_by_text(&c, t), 0) << t;
        sym.card.push_back(c);
    }
    return sym;
}

// --- grid symmetry ---------------------------------------------------------------------------

TEST(GridSymmetry, IndexTransformRefusesCardsThatDoNotFitTheGrid) {
    struct Case {
        const char* op;
        long fill[3];  // grid the integer fields were filled for
        long n[3];     // grid the transform is asked for
        bool fits;
        long expect[3];  // image of (1, 2, 3) when it fits
    } cases[] = {
        {"-x+1/2,y,-z", {12, 12, 12}, {12, 12, 12}, true, {5, 2, 9}},
        {"y,x,z+1/4", {12, 12, 8}, {12, 12, 8}, true, {2, 1, 5}},
        {"x+1/8,y,z", {12, 12, 12}, {12, 12, 12}, false, {}},   // 1.5 grid steps
        {"x,y,z+1/3", {12, 12, 8}, {12, 12, 8}, false, {}},     // 8/3 steps
        {"y,x,z", {12, 10, 12}, {12, 10, 12}, false, {}},       // exchanges unequal axes
        {"x+1/2,y,z", {24, 24, 24}, {12, 12, 12}, false, {}},   // fields filled for another grid
    };
    for (const Case& c : cases) {
        KELMAR_SYMMETRY sym = symmetry_of({c.op});
        ASSERT_EQ(kelmar_symmetry_fill_card_discrete(&sym, c.fill), 0);
        EXPECT_EQ(gridsym::card_fits_grid(sym.card[0], c.n), c.fits || std::memcmp(c.fill, c.n, sizeof c.n) != 0)
            << c.op;
        const long in[3] = {1, 2, 3 + 5 * c.n[2]};  // out-of-range input is wrapped
        long out[3] = {-1, -1, -1};
        const int rc = kelmar_card_transform_vector3_long(out, in, c.n, &sym.card[0]);
        EXPECT_EQ(rc, c.fits ? 0 : 1) << c.op;
        const long* want = c.fits ? c.expect : nullptr;
        const long same[3] = {1, 2, 3};
        if (!c.fits) want = same;  // a refused card moves nothing
        for (int d = 0; d < 3; ++d) EXPECT_EQ(out[d], want[d]) << c.op << " axis " << d;
    }
}

TEST(GridSymmetry, UsableDropsMisfitsAndExactRefusesTheGrid) {
    const KELMAR_SYMMETRY sym = symmetry_of({"x,y,z", "-y,x-y,z+1/3", "x+1/16,y,z", "-x,-y,-z"});
    const long n[3] = {24, 24, 24};
    const gridsym::GridSymmetry g = gridsym::GridSymmetry::usable(sym, n);
    EXPECT_EQ(g.ops().size(), 3u);
    EXPECT_EQ(g.dropped(), 1);
    EXPECT_EQ(g.ops()[1].tran[2], 8);
    EXPECT_EQ(g.ops()[1].rot[1][1], -1);
    gridsym::GridSymmetry exact;
    int misfit = -1;
    EXPECT_FALSE(gridsym::GridSymmetry::exact(sym, n, &exact, &misfit));
    EXPECT_EQ(misfit, 2);
    const long n48[3] = {48, 48, 48};
    EXPECT_TRUE(gridsym::GridSymmetry::exact(sym, n48, &exact, &misfit));
    EXPECT_EQ(exact.ops().size(), 4u);
    long img[3];
    const long in[3] = {5, 7, 47};
    exact.image(img, exact.ops()[1], in);  // (-7, 5-7, 47+16) wrapped
    EXPECT_EQ(img[0], 41);
    EXPECT_EQ(img[1], 46);
    EXPECT_EQ(img[2], 15);
}

// Images of indices wrap into the grid however far out an operation takes them.
TEST(GridSymmetry, WrapIsTheModuloIntoTheGrid) {
    for (long n : {1L, 24L, 196L})
        for (long v : {-5 * n - 3, -3 * n, -2 * n + 1, -n - 1, -n, -1L, 0L, 1L, n - 1, n, n + 1, 2 * n - 1, 2 * n,
                       7 * n + 5})
            EXPECT_EQ(gridsym::GridSymmetry::wrap(v, n), ((v % n) + n) % n) << v << " mod " << n;
}

// Representatives and spreading against orbits computed by brute force on a closed group.
TEST(GridSymmetry, RepresentativesAndSpreadingMatchBruteForceOrbits) {
    const KELMAR_SYMMETRY sym =
        symmetry_of({"x,y,z", "-x,-y,-z", "x+1/2,y+1/2,z", "-x+1/2,-y+1/2,-z", "-x,y,-z+1/2", "x,-y,z+1/2",
                     "-x+1/2,y+1/2,-z+1/2", "x+1/2,-y+1/2,z+1/2"});
    const long n[3] = {4, 6, 8};
    gridsym::GridSymmetry g;
    ASSERT_TRUE(gridsym::GridSymmetry::exact(sym, n, &g));
    const long total = g.points();
    // the smallest flat index of each orbit
    std::vector<long> orbit_min(static_cast<std::size_t>(total));
    for (long p = 0; p < total; ++p) {
        const long i = p / (n[1] * n[2]), j = (p / n[2]) % n[1], k = p % n[2];
        long lo = p;
        for (const gridsym::GridOp& op : g.ops()) lo = std::min(lo, g.image_index(op, i, j, k));
        orbit_min[static_cast<std::size_t>(p)] = lo;
    }
    gridsym::GridMask is_rep(total);
    const std::vector<std::int32_t> reps = g.representatives(&is_rep);
    long orbits = 0;
    for (long p = 0; p < total; ++p) {
        const bool first = orbit_min[static_cast<std::size_t>(p)] == p;
        orbits += first;
        EXPECT_EQ(is_rep.get(p), first) << p;
    }
    EXPECT_EQ(static_cast<long>(reps.size()), orbits);
    std::vector<double> values(static_cast<std::size_t>(total), 0.0);
    for (const std::int32_t p : reps) values[static_cast<std::size_t>(p)] = 1.0 + p;
    g.spread(values.data(), reps, 1e-7);
    for (long p = 0; p < total; ++p)
        EXPECT_EQ(values[static_cast<std::size_t>(p)], 1.0 + static_cast<double>(orbit_min[static_cast<std::size_t>(p)]));
}

// --- periodic images -------------------------------------------------------------------------

struct Lattice {
    const char* name;
    double a[3][3];
};

// A triclinic cell, a cell with every axis shorter than the reach, and a very oblique one.
const Lattice kLattices[] = {
    {"triclinic", {{5.1, 0.0, 0.0}, {-1.3, 6.2, 0.0}, {0.9, -1.7, 7.4}}},
    {"short", {{2.1, 0.0, 0.0}, {0.4, 1.9, 0.0}, {-0.3, 0.5, 2.6}}},
    {"oblique", {{4.0, 0.0, 0.0}, {3.9, 0.4, 0.0}, {0.0, 0.0, 3.0}}},
};

KELMAR_CELL cell_of(const Lattice& lat) {
    KELMAR_CELL cell;
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c) cell.a[k][c] = lat.a[k][c];
    const double frac[3][3] = {{0.0, 0.0, 0.0}, {0.37, 0.81, 0.12}, {0.95, 0.02, 0.66}};
    for (const auto& f : frac) {
        KELMAR_ATOM atom;
        for (int c = 0; c < 3; ++c) {
            atom.x_f[c] = f[c];
            atom.x[c] = f[0] * lat.a[0][c] + f[1] * lat.a[1][c] + f[2] * lat.a[2][c];
        }
        cell.atom.push_back(atom);
    }
    return cell;
}

double length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// The loop visits exactly the translations and vectors of the nested loops it replaced, in their
// order and to the last bit, in all three roundings.
TEST(PeriodicImages, LoopEqualsThePlainNestedLoops) {
    for (const Lattice& lat : kLattices) {
        const double len[3] = {length(lat.a[0]), length(lat.a[1]), length(lat.a[2])};
        long m[3];
        ASSERT_TRUE(latimg::image_range(m, len, 6.0, 2.0)) << lat.name;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(m[k], static_cast<long>(6.0 / len[k] + 2)) << lat.name;
        const double d0[3] = {0.31, -2.7, 1.9};
        std::vector<double> plain, facility;
        for (long h = -m[0]; h <= m[0]; h++)
            for (long l = -m[1]; l <= m[1]; l++)
                for (long w = -m[2]; w <= m[2]; w++)
                    for (int c = 0; c < 3; c++) {
                        plain.push_back(static_cast<double>(h * 1000000 + l * 1000 + w));
                        plain.push_back(d0[c] + (h * lat.a[0][c] + l * lat.a[1][c] + w * lat.a[2][c]));
                        plain.push_back(d0[c] - (h * lat.a[0][c] + l * lat.a[1][c] + w * lat.a[2][c]));
                        plain.push_back(d0[c] + h * lat.a[0][c] + l * lat.a[1][c] + w * lat.a[2][c]);
                    }
        latimg::for_each_image(lat.a, m, [&](const latimg::Image& img) {
            double add[3], sub[3], step[3];
            img.add_to(add, d0);
            img.subtract_from(sub, d0);
            img.add_stepwise(step, d0);
            for (int c = 0; c < 3; c++) {
                facility.push_back(static_cast<double>(img.h[0] * 1000000 + img.h[1] * 1000 + img.h[2]));
                facility.push_back(add[c]);
                facility.push_back(sub[c]);
                facility.push_back(step[c]);
            }
        });
        ASSERT_EQ(plain.size(), facility.size()) << lat.name;
        EXPECT_EQ(std::memcmp(plain.data(), facility.data(), plain.size() * sizeof(double)), 0) << lat.name;
    }
}

// The neighbour form over the covering range finds every image within reach that a far larger
// brute-force range finds, in the same order; on the oblique cell the padded range of the old
// sums misses some.
TEST(PeriodicImages, NeighboursOverTheCoveringRangeMatchBruteForce) {
    const double reach = 7.5;
    for (const Lattice& lat : kLattices) {
        const KELMAR_CELL cell = cell_of(lat);
        long m[3];
        ASSERT_TRUE(latimg::image_range_covering(m, cell.a, reach)) << lat.name;
        const long big[3] = {20, 20, 20};
        for (const KELMAR_ATOM& centre : cell.atom) {
            using Hit = std::tuple<long, long, long, long>;
            std::vector<Hit> got, want;
            latimg::for_each_neighbor(cell, m, centre.x, reach, [&](long j, const latimg::Image& img, const double*, double) {
                got.emplace_back(j, img.h[0], img.h[1], img.h[2]);
            });
            latimg::for_each_neighbor(cell, big, centre.x, reach, [&](long j, const latimg::Image& img, const double* v,
                                                                    double d2) {
                EXPECT_DOUBLE_EQ(d2, v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                want.emplace_back(j, img.h[0], img.h[1], img.h[2]);
            });
            EXPECT_EQ(got, want) << lat.name;
            EXPECT_GT(want.size(), 3u) << lat.name;  // several images of every atom on short cells
        }
        const double len[3] = {length(lat.a[0]), length(lat.a[1]), length(lat.a[2])};
        long padded[3];
        ASSERT_TRUE(latimg::image_range(padded, len, reach, 2.0));
        long hits_padded = 0, hits_covering = 0;
        latimg::for_each_neighbor(cell, padded, cell.atom[1].x, reach, [&](long, const latimg::Image&, const double*,
                                                                           double) { ++hits_padded; });
        latimg::for_each_neighbor(cell, m, cell.atom[1].x, reach, [&](long, const latimg::Image&, const double*,
                                                                      double) { ++hits_covering; });
        if (std::strcmp(lat.name, "oblique") == 0)
            EXPECT_LT(hits_padded, hits_covering);
        else
            EXPECT_EQ(hits_padded, hits_covering) << lat.name;
    }
}

TEST(PeriodicImages, AbsurdCellsAreRefusedWithOneMessage) {
    const double tiny[3] = {1e-4, 5.0, 5.0};
    const double nan_len[3] = {std::nan(""), 5.0, 5.0};
    const double flat[3][3] = {{5.0, 0.0, 0.0}, {0.0, 5.0, 0.0}, {5.0, 5.0, 0.0}};
    long m[3] = {7, 7, 7};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(latimg::image_range(m, tiny, 12.0, 2.0));
    EXPECT_FALSE(latimg::image_range(m, nan_len, 12.0, 2.0));
    EXPECT_FALSE(latimg::image_range_covering(m, flat, 12.0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Error: cell too small for the lattice sums ("), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3);
    EXPECT_EQ(m[0], 7);  // untouched
    const double ok[3] = {5.0, 5.0, 5.0};
    EXPECT_TRUE(latimg::image_range(m, ok, 12.0, 2.0, 1e7));
    EXPECT_EQ(m[0], 4);
}

}  // namespace
