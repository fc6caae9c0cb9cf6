// Landscapes on which the analyser once missed a channel: saddle types gathering points
// of different orbits, saddles left without ends, a sheet merged away as a copy of a
// channel, and hops recorded below the highest point of their walk.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "naro_fixtures.hpp"

using namespace pathfix;

namespace {

struct QuietErr : ::testing::Test {
    void SetUp() override { testing::internal::CaptureStderr(); }
    void TearDown() override { testing::internal::GetCapturedStderr(); }
};

size_t at(int x, int y, int z) { return (static_cast<size_t>(x) * 8 + y) * 8 + z; }

int type_at(const NARO_cube& c, int x, int y, int z) {
    for (const NARO_saddle& s : c.saddle)
        if (s.x == x && s.y == y && s.z == z) return s.type;
    return -1;
}

}  // namespace

TEST_F(QuietErr, SaddleTypesAreOrbitsOfTheOperations) {
    // Operations x and x+1/2 on an 8-point grid. The saddle at (5,2,1) lies a voxel from
    // the copy (5,1,1) of the 0.5 eV saddle but 5 meV higher: another orbit. The saddle
    // at (7,6,6) lies a voxel from the copy (0,6,6) of (4,6,6) across the cell face, with
    // the same energy: one orbit.
    NARO_cif cif;
    NARO_init_cif(cif);
    cif.symop = {"x,y,z", "x+1/2,y,z"};
    std::vector<double> e(512, 5.0);
    const struct { int x, y, z; double e; } pts[] = {
        {1, 1, 1, 0.5}, {5, 2, 1, 0.505}, {4, 6, 6, 0.7}, {7, 6, 6, 0.7}};
    for (const auto& p : pts) e[at(p.x, p.y, p.z)] = p.e;
    NARO_cube cube = narotest::make_cube(8, 8, 8, 8, 8, 8, e);
    NARO_prepare_fastgen_symop(cif, cube);
    for (const auto& p : pts) NARO_add_cube_saddle_point(cube, p.x, p.y, p.z, p.e, 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    EXPECT_EQ(cube.total_saddle_type, 3);
    EXPECT_NE(type_at(cube, 1, 1, 1), type_at(cube, 5, 2, 1));
    EXPECT_EQ(type_at(cube, 4, 6, 6), type_at(cube, 7, 6, 6));
    for (int t = 1; t <= cube.total_saddle_type; ++t) {
        const int first = cube.saddle_type_index[static_cast<size_t>(t)];
        for (int m = first; m < cube.saddle_type_index[static_cast<size_t>(t) + 1]; ++m)
            EXPECT_DOUBLE_EQ(cube.saddle[static_cast<size_t>(m)].e, cube.saddle[static_cast<size_t>(first)].e);
    }
}

TEST(MendedPercolation, ASheetIsNoCopyOfAChannelWithTheSameHops) {
    // One kind of hop: around m0 it runs only along a (a channel), around m1 along a
    // and b (a sheet). The sheet percolates in 2D although it holds the channel's hops.
    NARO_cube c = make_flat_cube(12, 6);
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 6, 6, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2)};
    lib.allpath = {hop(0, 0, 1, 0.2, 1, 0, 0), hop(1, 1, 1, 0.2, 1, 0, 0), hop(1, 1, 1, 0.2, 0, 1, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 2u);
    EXPECT_EQ(list.clust[0].dimension, 1);
    EXPECT_EQ(list.clust[1].dimension, 2);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_NEAR(lib.oneD, 0.2, 1e-12);
    EXPECT_NEAR(lib.twoD, 0.2, 1e-12);
    EXPECT_EQ(lib.threeD, 999.0);
}

TEST(MendedPercolation, AHopsBarrierIsTheTopOfItsWalk) {
    // A channel along a whose listed saddle (x = 12, 0.3 eV) sits between two ridges at
    // x = 11 and 13 that the walk has to climb: the hop costs the ridge, not the saddle.
    NARO_cube c = make_cube(24, 12, 12, 5, 8, 8, [](int x, int y, int z) {
        const double ridge = (x == 11 || x == 13) ? 0.05 : 0.0;
        return cosine(x, 0, 24, 0.3) + ridge + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{0, 6, 6, 0.0, 1}}, {{12, 6, 6, 0.3, 1}});
    const double ridge = cosine(11, 0, 24, 0.3) + 0.05;
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 1u);
    EXPECT_NEAR(lib.path[0].saddle_energy, ridge, 1e-12);
    ASSERT_FALSE(lib.allpath.empty());
    EXPECT_NEAR(lib.allpath[0].saddle_energy, ridge, 1e-12);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_NEAR(lib.oneD, ridge, 1e-12);
}

TEST(MendedPercolation, ASaddleWithoutReachableMinimaIsReportedWithItsEnergy) {
    // The only listed minimum lies nowhere near where the saddle's routes end.
    NARO_cube c = make_cube(24, 12, 12, 10, 8, 8, [](int x, int y, int z) {
        return cosine(x, 0, 24, 0.4) + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{6, 0, 0, 0.0, 1}}, {{12, 6, 6, 0.4, 1}});
    NARO_pathlib lib;
    testing::internal::CaptureStderr();
    ASSERT_EQ(build_library(c, lib, 0), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(lib.path.empty());
    EXPECT_EQ(err,
              "Warning: Cannot connect saddle type 1 to any energy minimum site\n"
              "Warning: saddle type 1 at 0.400000 eV is left out of the path library\n");
}
