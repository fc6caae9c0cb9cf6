// A pass with more than two downhill branches: a site split into four wells around a centre
// that stands a little above them (the Li site of an antiperovskite). The pass is a cross of
// four equal grid points; from any one of them only its own well lies below, so the branches
// are found from the whole top, and the path library joins every one of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "naro_fixtures.hpp"
#include "saddle-descent.hpp"

using namespace pathfix;

namespace {

constexpr int kN = 12;
constexpr int kC = 6;   // centre of the split site on every axis

// Four wells at (6 +- 2, 6, 6) and (6, 6, 6 +- 2) joined through the four points next to
// the centre (0.26 meV), the centre a bump (1.5 meV); everything else far higher.
double split_site(int x, int y, int z) {
    const int a = std::abs(x - kC), b = std::abs(z - kC);
    const int lo = std::min(a, b), hi = std::max(a, b);
    if (hi > 2 || std::abs(y - kC) > 1) return 1.0;
    static const double table[3][3] = {{0.00151, 0.00026, 0.0}, {0.0, 0.00074, 0.00577}, {0.0, 0.0, 0.0266}};
    const double plane = table[lo][hi];
    return y == kC ? plane : plane + 0.1;
}

NARO_cube split_site_cube(int saddle_x, int saddle_z) {
    NARO_cube c = make_cube(kN, kN, kN, 6.0, 6.0, 6.0, split_site);
    set_points(c,
               {{kC - 2, kC, kC, 0.0, 1}, {kC + 2, kC, kC, 0.0, 1}, {kC, kC, kC - 2, 0.0, 1}, {kC, kC, kC + 2, 0.0, 1}},
               {{saddle_x, kC, saddle_z, 0.00026, 1}});
    return c;
}

struct TopPoint {
    int x, z;
};

}  // namespace

TEST(SaddleBranches, EveryPointOfACrossTopReachesAllFourWells) {
    for (const TopPoint t : {TopPoint{kC + 1, kC}, TopPoint{kC - 1, kC}, TopPoint{kC, kC + 1}, TopPoint{kC, kC - 1}}) {
        const NARO_cube c = split_site_cube(t.x, t.z);
        // From the saddle point alone only its own well lies strictly below.
        EXPECT_EQ(naro_descend_from_saddle(c, t.x, kC, t.z).size(), 1u) << t.x << "," << t.z;
        std::vector<int> wells;
        for (const NaroDescentEnd& e : naro_descend_from_saddle_top(c, t.x, kC, t.z)) {
            EXPECT_EQ(e.i, 0);
            EXPECT_EQ(e.j, 0);
            EXPECT_EQ(e.l, 0);
            wells.push_back(e.minimum);
        }
        std::sort(wells.begin(), wells.end());
        EXPECT_EQ(wells, (std::vector<int>{0, 1, 2, 3})) << t.x << "," << t.z;
    }
}

TEST(SaddleBranches, TheLibraryJoinsEveryWellThroughTheSaddle) {
    for (const TopPoint t : {TopPoint{kC + 1, kC}, TopPoint{kC - 1, kC}, TopPoint{kC, kC + 1}, TopPoint{kC, kC - 1}}) {
        testing::internal::CaptureStderr();
        const NARO_cube c = split_site_cube(t.x, t.z);
        NARO_pathlib lib;
        ASSERT_EQ(build_library(c, lib), 0);
        testing::internal::GetCapturedStderr();
        // Wells joined by the hops through the saddle.
        std::vector<int> group(4);
        std::iota(group.begin(), group.end(), 0);
        auto root = [&](int m) {
            while (group[static_cast<size_t>(m)] != m) m = group[static_cast<size_t>(m)];
            return m;
        };
        for (const NARO_allpath& ap : lib.allpath) {
            ASSERT_EQ(ap.saddle, 0);
            ASSERT_TRUE(ap.start >= 0 && ap.start < 4 && ap.end >= 0 && ap.end < 4);
            EXPECT_EQ(NARO_get_cellcrossdiff_from_allpath(ap).x, 0);
            EXPECT_NEAR(ap.saddle_energy, 0.00026, 1e-12);
            group[static_cast<size_t>(root(ap.end))] = root(ap.start);
        }
        for (int m = 1; m < 4; ++m) EXPECT_EQ(root(m), root(0)) << "well " << m << " of top point " << t.x << "," << t.z;
        // Three hops join four wells; none is listed twice.
        EXPECT_EQ(lib.allpath.size(), 3u) << t.x << "," << t.z;
        // The hops stay in ascending order of barrier, each a copy of a listed distinct path.
        for (size_t k = 0; k < lib.allpath.size(); ++k) EXPECT_GE(NARO_get_allpath_to_path_index(lib, static_cast<int>(k)), 0);
    }
}
