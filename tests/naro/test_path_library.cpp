// Path library on synthetic landscapes: hops found by grid descent, their periodic
// copies, the redundancy filter, ordering and the printout.
#include <gtest/gtest.h>

#include "naro_fixtures.hpp"

using namespace pathfix;

namespace {

// Channel along a: one minimum per cell at x = 0, a saddle of height `eb` at x = 12,
// walls of 2 eV across b and c. Cell 5 x 8 x 8 Angstrom on a 24 x 12 x 12 grid.
NARO_cube channel_cube(double eb) {
    NARO_cube c = make_cube(24, 12, 12, 5, 8, 8, [eb](int x, int y, int z) {
        return cosine(x, 0, 24, eb) + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{0, 6, 6, 0.0, 1}}, {{12, 6, 6, eb, 1}});
    return c;
}

}  // namespace

TEST(PathLibrary, ChannelGivesOneHopCrossingOneCell) {
    NARO_cube c = channel_cube(0.4);
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 1u);
    const NARO_path& p = lib.path[0];
    EXPECT_EQ(p.start, 0);
    EXPECT_EQ(p.end, 0);
    EXPECT_EQ(p.saddle_type, 1);
    EXPECT_NEAR(p.saddle_energy, 0.4, 1e-12);
    EXPECT_NEAR(p.straightline_length, 5.0, 1e-9);
    EXPECT_NEAR(p.length, 5.0, 1e-9);
    EXPECT_NEAR(p.tortuosity, 1.0, 1e-9);
    // The two ends are images one cell apart.
    EXPECT_EQ(std::abs(p.end_p - p.start_p), 1);
    ASSERT_EQ(lib.allpath.size(), 1u);
    const NARO_cellcross_diff d = NARO_get_cellcrossdiff_from_allpath(lib.allpath[0]);
    EXPECT_EQ(std::abs(d.x), 1);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.z, 0);
    EXPECT_EQ(lib.total_path, 1);
    EXPECT_EQ(lib.total_allpath, 1);
}

TEST(PathLibrary, OrderedBySaddleEnergyWithAllCopies) {
    NARO_cube c = network_cube();
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 3u);
    EXPECT_NEAR(lib.path[0].saddle_energy, 0.3, 1e-12);
    EXPECT_NEAR(lib.path[1].saddle_energy, 0.5, 1e-12);
    EXPECT_NEAR(lib.path[2].saddle_energy, 0.8, 1e-12);
    EXPECT_EQ(lib.path[0].saddle_type, 2);
    EXPECT_EQ(lib.path[1].saddle_type, 3);
    EXPECT_EQ(lib.path[2].saddle_type, 1);
    ASSERT_EQ(lib.allpath.size(), 3u);
    for (size_t k = 1; k < lib.allpath.size(); ++k)
        EXPECT_LE(lib.allpath[k - 1].saddle_energy, lib.allpath[k].saddle_energy);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(NARO_get_allpath_to_path_index(lib, k), k);
}

TEST(PathLibrary, BubbleSortKeepsOrderOfEqualEnergies) {
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.7), distinct(1, 1, 2, 0.3), distinct(1, 1, 3, 1.2),
                distinct(1, 1, 4, 0.3)};
    NARO_bubblesort_pathlib(lib);
    ASSERT_EQ(lib.path.size(), 4u);
    EXPECT_EQ(lib.path[0].saddle_type, 2);
    EXPECT_EQ(lib.path[1].saddle_type, 4);
    EXPECT_EQ(lib.path[2].saddle_type, 1);
    EXPECT_EQ(lib.path[3].saddle_type, 3);
}

TEST(PathLibrary, MinimaFartherThanHopLimitGiveWarningUnlessSilenced) {
    // Cell 10 Angstrom along a: minimum and saddle 5 Angstrom apart.
    NARO_cube c = make_cube(24, 12, 12, 10, 8, 8, [](int x, int y, int z) {
        return cosine(x, 0, 24, 0.4) + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{0, 6, 6, 0.0, 1}}, {{12, 6, 6, 0.4, 1}});
    NARO_pathlib lib;
    testing::internal::CaptureStderr();
    ASSERT_EQ(build_library(c, lib, 0), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(lib.path.empty());
    EXPECT_EQ(err, "Warning: Cannot connect saddle type 1 to any energy minimum site\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(build_library(c, lib, 1), 0);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "");
}

TEST(PathLibrary, TwoMinimaOnOneSideOfTheSaddleAreNoHop) {
    // Minima at x = 4 and (x = 4, y = 3): both on the low-x side of the saddle at x = 8.
    NARO_cube c = make_cube(24, 24, 12, 8, 8, 8, [](int x, int y, int z) {
        return cosine(x, 4, 24, 1.0) + 0.1 * cosine(y, 0, 24, 1.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{4, 0, 6, 0.0, 1}, {4, 3, 6, 0.0, 1}}, {{8, 1, 6, 0.5, 1}});
    NARO_pathlib lib;
    testing::internal::CaptureStderr();
    ASSERT_EQ(build_library(c, lib, 0), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(lib.path.empty());
    EXPECT_NE(err.find("Cannot connect saddle type 1"), std::string::npos);
}

TEST(PathLibrary, HigherSaddleBetweenSameMinimaIsFiltered) {
    NARO_cube c = make_flat_cube(12, 6);
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 0, 0, 0.1, 2}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 2, 1, 0.3), distinct(2, 1, 2, 0.6), distinct(1, 2, 3, 0.7)};
    lib.allpath = {hop(0, 1, 1, 0.3, 0, 0, 0, 1, 2),
                   // the same hop written backwards through a higher saddle
                   hop(1, 0, 2, 0.6, 0, 0, 0, 2, 1),
                   // a different crossing: another hop, kept
                   hop(0, 1, 3, 0.7, -1, 0, 0, 1, 2)};
    ASSERT_EQ(NARO_filter_redundant_path(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 2u);
    EXPECT_EQ(lib.path[0].saddle_type, 1);
    EXPECT_EQ(lib.path[1].saddle_type, 3);
    ASSERT_EQ(lib.allpath.size(), 2u);
    EXPECT_EQ(lib.total_allpath, 2);
}

TEST(PathLibrary, DeletingAPathTakesAllItsCopies) {
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.3), distinct(1, 1, 2, 0.4)};
    lib.allpath = {hop(0, 0, 1, 0.3, 1, 0, 0), hop(0, 0, 2, 0.4, 0, 1, 0), hop(0, 0, 1, 0.3, 0, 0, 1)};
    NARO_delete_pathlib_path(lib, 0);
    ASSERT_EQ(lib.path.size(), 1u);
    ASSERT_EQ(lib.allpath.size(), 1u);
    EXPECT_EQ(lib.allpath[0].saddle_type, 2);
    EXPECT_EQ(NARO_get_allpath_to_path_index(lib, 0), 0);
    EXPECT_EQ(NARO_get_allpath_to_path_index(lib, 5), -1);
    EXPECT_EQ(NARO_isin_pathlib(lib, 1, 1, 2), 1);
    EXPECT_EQ(NARO_isin_pathlib(lib, 1, 1, 1), 0);
}

TEST(PathLibrary, ComparisonModes) {
    NARO_allpath a = hop(0, 1, 1, 0.3, 1, 0, 0, 1, 2);
    NARO_allpath b = a;
    NARO_reverse_pathlib_allpath(b);
    EXPECT_EQ(b.start, 1);
    EXPECT_EQ(b.start_type, 2);
    EXPECT_EQ(b.start_crossx, 1);
    EXPECT_EQ(NARO_is_allpath_equal(a, b, 1), 0);
    EXPECT_EQ(NARO_is_allpath_equal(a, b, 2), 1);
    EXPECT_EQ(NARO_is_allpath_equal(a, a, 135), 1);
    NARO_allpath c = a;
    c.end_crossx = 0;
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 1), 1);
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 3), 0);
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 13), 0);
    c = a;
    c.saddle = 4;
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 13), 1);
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 135), 0);
    EXPECT_EQ(NARO_is_allpath_equal(a, c, 6), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(NARO_is_allpath_equal(a, a, 4), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid mode call 4 to NARO_is_allpath_equal\n");
}

TEST(PathLibrary, DirectPathTest) {
    NARO_cube c = make_flat_cube(12, 6);
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.3)};
    lib.allpath = {hop(0, 1, 1, 0.3, 0, 0, 0)};
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 3, 4, 5, 3, 4, 5), 1);
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 0, 0, 0, 6, 0, 0), 1);
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 12, 0, 0, 18, 0, 0), 1);   // translated
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 6, 0, 0, 0, 0, 0), 1);     // backwards
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 0, 0, 0, -6, 0, 0), 0);
}

TEST(HalfGridPath, SmoothDescentIsAccepted) {
    NARO_cube c = channel_cube(0.4);
    NARO_grid_path gp;
    ASSERT_EQ(NARO_build_half_grid_path(c, gp, {0, 6, 6}, {12, 6, 6}), 0);
    ASSERT_EQ(gp.length, 13);
    EXPECT_EQ(gp.grid.front().x, 0);
    EXPECT_EQ(gp.grid.back().x, 12);
    EXPECT_EQ(gp.saddle, 12);
    for (const auto& p : gp.grid) {
        EXPECT_EQ(p.y, 6);
        EXPECT_EQ(p.z, 6);
    }
    EXPECT_NEAR(NARO_path_length_in_Angstrom(c, gp), 2.5, 1e-9);
    EXPECT_EQ(gp.color.size(), 13u);
    EXPECT_EQ(gp.marker[0], -1);
    // Unwrapped coordinates: the walk to the image one cell further on.
    ASSERT_EQ(NARO_build_half_grid_path(c, gp, {24, 6, 6}, {12, 6, 6}), 0);
    EXPECT_EQ(gp.grid.front().x, 24);
    EXPECT_EQ(gp.length, 13);
}

TEST(HalfGridPath, ZigzagProfileIsRejected) {
    // Energy rises along a with a sawtooth: half of the steps go up.
    NARO_cube c = make_cube(24, 12, 12, 5, 8, 8, [](int x, int y, int z) {
        const double ramp = x <= 12 ? 0.05 * x + 0.2 * (x % 2) : 0.05 * (24 - x);
        return ramp + cosine(y, 6, 12, 4.0) + cosine(z, 6, 12, 4.0);
    });
    NARO_grid_path gp;
    EXPECT_EQ(NARO_build_half_grid_path(c, gp, {0, 6, 6}, {12, 6, 6}), -1);
    // Short walks are accepted whatever their profile.
    EXPECT_EQ(NARO_build_half_grid_path(c, gp, {0, 6, 6}, {4, 6, 6}), 0);
}

TEST(HalfGridPath, PlateauAtTheStartIsTrimmed) {
    // Flat for x <= 3, then rising to x = 10.
    NARO_cube c = make_cube(24, 12, 12, 5, 8, 8, [](int x, int y, int z) {
        const double ramp = x <= 3 ? 0.0 : (x <= 10 ? 0.1 * (x - 3) : 0.1 * (24 - x) * 0.5);
        return ramp + cosine(y, 6, 12, 4.0) + cosine(z, 6, 12, 4.0);
    });
    NARO_grid_path gp;
    ASSERT_EQ(NARO_build_half_grid_path(c, gp, {0, 6, 6}, {10, 6, 6}), 0);
    EXPECT_EQ(gp.grid[0].x, 0);
    EXPECT_EQ(gp.grid[1].x, 4);
    EXPECT_EQ(gp.length, 8);
}

TEST(HalfGridPath, FullPathRunsThroughTheSaddle) {
    NARO_cube c = channel_cube(0.4);
    NARO_grid_path gp;
    ASSERT_EQ(NARO_build_grid_path(c, gp, {0, 6, 6}, {12, 6, 6}, {24, 6, 6}), 0);
    EXPECT_EQ(gp.length, 25);
    EXPECT_EQ(gp.grid[static_cast<size_t>(gp.saddle)].x, 12);
    EXPECT_EQ(gp.grid.back().x, 24);
}

TEST(PathLibrary, PrintoutLayout) {
    NARO_cube c = channel_cube(0.4);
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    const std::string s = capture([&](FILE* f) { NARO_print_pathlib(c, lib, f); });
    const std::string dashes(65, '-');
    const NARO_cellcross_diff d = NARO_get_cellcrossdiff_from_allpath(lib.allpath[0]);
    char cross[128];
    std::snprintf(cross, sizeof cross,
                  ">> Internal: boundary cross (%d,0,0); minima indices (0,0) saddle index (0)\n", d.x);
    const std::string expected =
        dashes + "\r\n                 Summary of minimum energy paths                 \r\n" + dashes +
        "\r\n\r\n> Path 1 : i1 (0.000 eV) to i1 (0.000 eV) via s1 (0.400 eV)\r\n"
        ">> Dimension: -1\n>> Redundancy: -1\n"
        "\nListing all 1 paths (including equivalent ones)...\n"
        "> i1 (0.000 eV) to i1 (0.000 eV) via s1 (0.400 eV)\n" +
        std::string(cross) + "\n";
    EXPECT_EQ(s, expected);
}

TEST(PathLibrary, CopiesNamingMissingPointsAreSkippedNotRead) {
    // A library left over from before the stationary points were edited.
    NARO_cube c = make_flat_cube(12, 6);
    set_points(c, {{0, 0, 0, 0.0, 1}}, {{6, 0, 0, 0.3, 1}});
    NARO_allpath bad = hop(0, 7, 1, 0.3, 1, 0, 0);
    EXPECT_EQ(NARO_allpath_angle(c, bad), 0.0);
    bad.end = 0;
    bad.saddle = 9;
    EXPECT_EQ(NARO_allpath_angle(c, bad), 0.0);
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.3), distinct(1, 1, 2, 0.4)};
    lib.allpath = {hop(0, 7, 1, 0.3, 1, 0, 0), hop(7, 0, 2, 0.4, 0, 0, 0), hop(-2, 0, 1, 0.3, 0, 1, 0)};
    lib.allpath[1].length = 2.0;
    EXPECT_EQ(NARO_is_direct_path_between_minima(c, lib, 0, 0, 0, 6, 0, 0), 0);
    ASSERT_EQ(NARO_filter_redundant_path(c, lib), 0);
    EXPECT_EQ(lib.path.size(), 2u);
    NARO_cluster_list list;
    list.clust.resize(1);
    list.clust[0].path = {0, 5, -1};
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("  (1) i1 (0.000 eV) to i1 (0.000 eV) via s1 (0.300 eV)\r\n"), std::string::npos) << r;
}

TEST(HalfGridPath, FlatWalkKeepsBothEnds) {
    // Every point has one energy: the plateau trim leaves the start and the target.
    NARO_cube c = make_flat_cube(12, 6);
    NARO_grid_path gp;
    ASSERT_EQ(NARO_build_half_grid_path(c, gp, {0, 6, 6}, {5, 6, 6}), 0);
    ASSERT_EQ(gp.length, 2);
    EXPECT_EQ(gp.grid.front().x, 0);
    EXPECT_EQ(gp.grid.back().x, 5);
    EXPECT_EQ(gp.color.size(), 2u);
    EXPECT_EQ(gp.marker[1], -1);
}
