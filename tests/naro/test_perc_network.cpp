// Percolation: clusters at an energy ceiling, their lattice vectors, dimension and
// ribbon state, the per-threshold report and the activation energies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "naro_fixtures.hpp"

using namespace pathfix;

namespace {

// Two separate wells per cell joined only inside the cell: no crossing at all.
NARO_cube pocket_cube() {
    NARO_cube c = make_cube(24, 12, 12, 10, 8, 8, [](int x, int y, int z) {
        const double along = x < 12 ? cosine(x, 6, 12, 0.3) : cosine(x, 18, 12, 0.3);
        return along + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0) + (x == 0 ? 5.0 : 0.0);
    });
    set_points(c, {{6, 6, 6, 0.0, 1}, {18, 6, 6, 0.0, 1}}, {{12, 6, 6, 0.3, 1}});
    return c;
}

NARO_cube channel_cube(double eb) {
    NARO_cube c = make_cube(24, 12, 12, 5, 8, 8, [eb](int x, int y, int z) {
        return cosine(x, 0, 24, eb) + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{0, 6, 6, 0.0, 1}}, {{12, 6, 6, eb, 1}});
    return c;
}

NARO_cube sheet_cube(double eb) {
    NARO_cube c = make_cube(24, 24, 12, 5, 5, 8, [eb](int x, int y, int z) {
        return cosine(x, 0, 24, eb) + cosine(y, 0, 24, eb) + cosine(z, 6, 12, 2.0);
    });
    set_points(c, {{0, 0, 6, 0.0, 1}}, {{12, 0, 6, eb, 1}, {0, 12, 6, eb, 1}});
    return c;
}

std::string report(const NARO_cube& c, const NARO_pathlib& lib) {
    return capture([&](FILE* f) { EXPECT_EQ(NARO_analyze_network_at_saddles(c, lib, f, 999.0), 0); });
}

}  // namespace

TEST(Percolation, PocketsDoNotPercolate) {
    NARO_cube c = pocket_cube();
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 1u);
    ASSERT_EQ(lib.allpath.size(), 1u);
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 0);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_EQ(lib.oneD, 999.0);
    EXPECT_EQ(lib.twoD, 999.0);
    EXPECT_EQ(lib.threeD, 999.0);
    EXPECT_EQ(report(c, lib).find("Percolating"), std::string::npos);
}

TEST(Percolation, StraightChannelAlongA) {
    NARO_cube c = channel_cube(0.4);
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network_at_energy(c, lib, list, 0.4), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    const NARO_cluster& cl = list.clust[0];
    EXPECT_EQ(cl.dimension, 1);
    EXPECT_EQ(cl.ribbon, 0);
    EXPECT_EQ(cl.vector[0].x, 24);
    EXPECT_EQ(cl.vector[0].y, 0);
    EXPECT_EQ(cl.vector[0].z, 0);
    EXPECT_EQ(cl.mul, 1);
    EXPECT_EQ(cl.ID, 0);
    EXPECT_NEAR(cl.maximum, 0.4, 1e-12);
    EXPECT_NEAR(cl.minimum, 0.0, 1e-12);
    // Below the saddle there is nothing.
    ASSERT_EQ(NARO_analyze_network_at_energy(c, lib, list, 0.39), 0);
    EXPECT_TRUE(list.clust.empty());
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_NEAR(lib.oneD, 0.4, 1e-12);
    EXPECT_EQ(lib.twoD, 999.0);
    EXPECT_EQ(lib.threeD, 999.0);
}

TEST(Percolation, ReportLayoutForTheChannel) {
    NARO_cube c = channel_cube(0.4);
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    const std::string d69(69, '-');
    const std::string expected =
        d69 + "\r\n  Summary of pathway characteristics at different energy thresholds  \r\n" + d69 +
        "\r\n\r\n"
        "===============================\r\n"
        " Threshold energy: 0.400000 eV\r\n"
        "===============================\r\n"
        "\r\nTotal symmetrically distinct clusters: 1\r\n"
        "\r\nCluster 1:\r\n"
        "> Percolating (1D) : Vector [1,0,0]\r\n"
        "> Multiplicity : 1\r\n"
        "> Cluster energy minimum : 0.000 (global energy minimum)\r\n"
        "> Cluster energy maximum : 0.400\r\n"
        "> Site hops :\r\n"
        "  (1) i1 (0.000 eV) to i1 (0.000 eV) via s1 (0.400 eV)\r\n"
        "\r\n";
    EXPECT_EQ(report(c, lib), expected);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    const std::string act = capture([&](FILE* f) { NARO_print_activation_energy(lib, f); });
    EXPECT_EQ(act,
              "1D activation energy: 0.400000 eV\n"
              "2D activation energy: 999.000000 eV\n"
              "3D activation energy: 999.000000 eV\n");
}

TEST(Percolation, SheetInAbPlane) {
    NARO_cube c = sheet_cube(0.35);
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    ASSERT_EQ(lib.path.size(), 1u);
    ASSERT_EQ(lib.allpath.size(), 2u);
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 2);
    const std::string r = report(c, lib);
    EXPECT_NE(r.find("> Percolating (2D) : Plane (0,0,1)\r\n"), std::string::npos) << r;
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_NEAR(lib.oneD, 0.35, 1e-12);
    EXPECT_NEAR(lib.twoD, 0.35, 1e-12);
    EXPECT_EQ(lib.threeD, 999.0);
}

TEST(Percolation, NetworkOpensOneDimensionPerLevel) {
    NARO_cube c = network_cube();
    NARO_pathlib lib;
    ASSERT_EQ(build_library(c, lib), 0);
    const std::string r = report(c, lib);
    const size_t l1 = r.find(" Threshold energy: 0.300000 eV");
    const size_t l2 = r.find(" Threshold energy: 0.500000 eV");
    const size_t l3 = r.find(" Threshold energy: 0.800000 eV");
    ASSERT_NE(l1, std::string::npos);
    ASSERT_NE(l2, std::string::npos);
    ASSERT_NE(l3, std::string::npos);
    EXPECT_LT(l1, l2);
    EXPECT_LT(l2, l3);
    EXPECT_NE(r.find("> Percolating (1D) : Vector [0,1,0]", l1), std::string::npos);
    EXPECT_LT(r.find("> Percolating (1D) : Vector [0,1,0]", l1), l2);
    EXPECT_NE(r.find("> Percolating (2D) : Plane (1,0,0)", l2), std::string::npos);
    EXPECT_LT(r.find("> Percolating (2D) : Plane (1,0,0)", l2), l3);
    EXPECT_NE(r.find("> Percolating (3D)\r\n", l3), std::string::npos);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_NEAR(lib.oneD, 0.3, 1e-12);
    EXPECT_NEAR(lib.twoD, 0.5, 1e-12);
    EXPECT_NEAR(lib.threeD, 0.8, 1e-12);
    EXPECT_LE(lib.oneD, lib.twoD);
    EXPECT_LE(lib.twoD, lib.threeD);
}

// Library-level networks on a 12-point cubic grid.
class LibraryNetwork : public ::testing::Test {
protected:
    NARO_cube c = make_flat_cube(12, 6);
};

TEST_F(LibraryNetwork, ChannelClosingAfterTwoCells) {
    // m0 -> m1 and m1 -> m0 each cross one cell along a: the chain returns to m0 two
    // cells further on, and the cell translation maps it onto a second, parallel chain.
    set_points(c, {{0, 3, 0, 0.0, 1}, {6, 9, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2)};
    lib.allpath = {hop(0, 1, 1, 0.2, 1, 0, 0), hop(1, 0, 1, 0.2, 1, 0, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 1);
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("> Percolating (1D) : Vector [2,0,0]\r\n"), std::string::npos) << r;
}

TEST_F(LibraryNetwork, NegativeVectorsAreTurnedPositive) {
    set_points(c, {{0, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2)};
    lib.allpath = {hop(0, 0, 1, 0.2, -1, 0, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].vector[0].x, 12);
}

TEST_F(LibraryNetwork, LadderIsARibbonAndASingleChainIsNot) {
    set_points(c, {{0, 0, 0, 0.0, 1}, {0, 6, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2), distinct(1, 1, 2, 0.3)};
    lib.allpath = {hop(0, 0, 1, 0.2, 1, 0, 0), hop(1, 1, 1, 0.2, 1, 0, 0),
                   hop(0, 1, 2, 0.3, 0, 0, 0)};
    NARO_cluster_list list;
    // Rails only: two parallel chains of one kind.
    ASSERT_EQ(NARO_analyze_network_at_energy(c, lib, list, 0.2), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].mul, 2);
    EXPECT_EQ(list.clust[0].ribbon, 0);
    // Rungs joined: one ladder.
    ASSERT_EQ(NARO_analyze_network_at_energy(c, lib, list, 0.3), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 1);
    EXPECT_EQ(list.clust[0].ribbon, 1);
    EXPECT_EQ(list.clust[0].mul, 1);
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("> Percolating (1D)(ribbon) : Vector [1,0,0]\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("  (2) i1 (0.000 eV) to i1 (0.000 eV) via s2 (0.300 eV)\r\n"), std::string::npos);
}

TEST_F(LibraryNetwork, ChainThroughTwoSitesIsNoRibbon) {
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 0, 0, 0.1, 2}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 2, 1, 0.2)};
    lib.allpath = {hop(0, 1, 1, 0.2, 0, 0, 0, 1, 2), hop(1, 0, 1, 0.2, 1, 0, 0, 2, 1)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 1);
    EXPECT_EQ(list.clust[0].ribbon, 0);
    EXPECT_EQ(list.clust[0].vector[0].x, 12);
}

TEST_F(LibraryNetwork, ParallelChainsInTwoDirectionsKeepBothVectors) {
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 6, 6, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2)};
    lib.allpath = {hop(0, 0, 1, 0.2, 1, 0, 0), hop(1, 1, 1, 0.2, 0, 1, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].mul, 2);
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("> Percolating (1D) : Vector [1,0,0] [0,1,0]\r\n"), std::string::npos) << r;
}

TEST_F(LibraryNetwork, NearlyEqualSaddlesFormOneLevel) {
    set_points(c, {{0, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.5), distinct(1, 1, 2, 0.5 + 5e-8), distinct(1, 1, 3, 0.5 + 5e-7)};
    lib.allpath = {hop(0, 0, 1, 0.5, 1, 0, 0), hop(0, 0, 2, 0.5 + 5e-8, 0, 1, 0),
                   hop(0, 0, 3, 0.5 + 5e-7, 0, 0, 1)};
    const std::string r = capture([&](FILE* f) { NARO_analyze_network_at_saddles(c, lib, f, 999.0); });
    size_t levels = 0;
    for (size_t p = r.find("Threshold energy"); p != std::string::npos; p = r.find("Threshold energy", p + 1))
        ++levels;
    EXPECT_EQ(levels, 2u);
    EXPECT_NE(r.find("> Percolating (2D) : Plane (0,0,1)"), std::string::npos);
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    // Both hops open together: the first channel is already a sheet.
    EXPECT_NEAR(lib.oneD, 0.5 + 5e-8, 1e-12);
    EXPECT_NEAR(lib.twoD, 0.5 + 5e-8, 1e-12);
    EXPECT_NEAR(lib.threeD, 0.5 + 5e-7, 1e-12);
}

TEST_F(LibraryNetwork, ThresholdStopsTheReport) {
    set_points(c, {{0, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.5), distinct(1, 1, 2, 1.5)};
    lib.allpath = {hop(0, 0, 1, 0.5, 1, 0, 0), hop(0, 0, 2, 1.5, 0, 1, 0)};
    const std::string r = capture([&](FILE* f) { NARO_analyze_network_at_saddles(c, lib, f, 1.0); });
    EXPECT_NE(r.find("Threshold energy: 0.500000"), std::string::npos);
    EXPECT_EQ(r.find("Threshold energy: 1.500000"), std::string::npos);
}

TEST_F(LibraryNetwork, EmptyLibraryHasNoClustersAndNoBarriers) {
    NARO_pathlib lib;
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    EXPECT_TRUE(list.clust.empty());
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    EXPECT_EQ(lib.oneD, 999.0);
    const std::string r = capture([&](FILE* f) { NARO_analyze_network_at_saddles(c, lib, f, 999.0); });
    EXPECT_EQ(r.find("Threshold"), std::string::npos);
}

TEST_F(LibraryNetwork, AllPathNamingAMissingMinimumFails) {
    set_points(c, {{0, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.5)};
    lib.allpath = {hop(0, 7, 1, 0.5, 1, 0, 0)};
    NARO_cluster_list list;
    testing::internal::CaptureStderr();
    EXPECT_EQ(NARO_analyze_network(c, lib, list), 1);
    EXPECT_EQ(NARO_calc_activation_energy(c, lib), 1);
    testing::internal::GetCapturedStderr();
}

TEST(PathDimension, VectorsAndRank) {
    NARO_cube c = make_flat_cube(10, 5);
    std::vector<NARO_path_triple_index> v = {{10, 0, 0}, {20, 0, 0}, {0, 10, 0}, {10, 10, 0}, {0, 0, 30}};
    int dim = -1;
    NARO_path_triple_index span[3];
    NARO_generate_path_dimension(c, 2, v, &dim, span);
    EXPECT_EQ(dim, 1);
    EXPECT_EQ(span[0].x, 20);   // the last non-zero vector
    NARO_generate_path_dimension(c, 4, v, &dim, span);
    EXPECT_EQ(dim, 2);
    EXPECT_EQ(span[0].x, 10);
    EXPECT_EQ(span[1].y, 10);
    NARO_generate_path_dimension(c, 5, v, &dim, span);
    EXPECT_EQ(dim, 3);
    EXPECT_EQ(span[2].z, 30);
    NARO_generate_path_dimension(c, 0, v, &dim, span);
    EXPECT_EQ(dim, 0);

    // Node differences: only the same minimum in another cell counts, each once up to sign.
    const int mins[] = {0, 0, 0, 1};
    const NARO_path_triple_index pos[] = {{1, 2, 3}, {11, 2, 3}, {-9, 2, 3}, {21, 2, 3}};
    int n = 0;
    std::vector<NARO_path_triple_index> out;
    NARO_generate_path_vectors(c, 4, mins, pos, &n, out);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(out[0].x, 10);
    EXPECT_EQ(out[1].x, -20);
}

TEST(Percolation, ScaledEnergiesGiveScaledBarriers) {
    // Sodium's scaling: barriers are differences of scaled energies, not scaled differences.
    NARO_cube c = make_flat_cube(12, 6);
    ASSERT_EQ(NARO_parse_energy_scaling(c, "0.5695*E^(0.6946)"), 0);
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 0, 0, 0.2, 2}}, {});
    NARO_pathlib lib;
    NARO_path p = distinct(1, 2, 1, 0.9);
    p.end_energy = 0.2;
    lib.path = {p};
    NARO_allpath a = hop(0, 1, 1, 0.9, 0, 0, 0, 1, 2), b = hop(1, 0, 1, 0.9, 1, 0, 0, 2, 1);
    a.end_energy = b.start_energy = 0.2;
    lib.allpath = {a, b};
    ASSERT_EQ(NARO_calc_activation_energy(c, lib), 0);
    const double expected = NARO_scale_cube_energy(c, 0.9) - NARO_scale_cube_energy(c, 0.0);
    EXPECT_NEAR(lib.oneD, expected, 1e-12);
    EXPECT_NEAR(lib.oneD, 0.5695 * std::pow(0.9, 0.6946), 1e-9);
    const std::string r = capture([&](FILE* f) { NARO_analyze_network_at_saddles(c, lib, f, 999.0); });
    char line[80];
    std::snprintf(line, sizeof line, " Threshold energy: %.6f eV\r\n", NARO_scale_cube_energy(c, 0.9));
    EXPECT_NE(r.find(line), std::string::npos) << r;
    EXPECT_EQ(lib.twoD, 999.0);
}

TEST(PathDimension, FractionalVectorsAreNotTruncatedToWholeCells) {
    // Half-cell steps: fractional (0.5,0,0) and (0,0.5,0) span a plane.
    NARO_cube c = make_flat_cube(24, 6);
    std::vector<NARO_path_triple_index> v = {{12, 0, 0}, {0, 12, 0}, {0, 0, 12}};
    int dim = -1;
    NARO_path_triple_index span[3];
    NARO_generate_path_dimension(c, 1, v, &dim, span);
    EXPECT_EQ(dim, 1);
    EXPECT_EQ(span[0].x, 12);
    NARO_generate_path_dimension(c, 2, v, &dim, span);
    EXPECT_EQ(dim, 2);
    NARO_generate_path_dimension(c, 3, v, &dim, span);
    EXPECT_EQ(dim, 3);
    // Parallel vectors of different length stay one-dimensional.
    std::vector<NARO_path_triple_index> w = {{24, 0, 0}, {-48, 0, 0}};
    NARO_generate_path_dimension(c, 2, w, &dim, span);
    EXPECT_EQ(dim, 1);
    EXPECT_EQ(span[0].x, -48);
}

TEST_F(LibraryNetwork, CopiesAddTheirDirectionWhenNotParallelToTheFirst) {
    // Three copies of one kind of chain: along a, along b and again along b. Each copy
    // is compared with the first cluster's own direction only.
    set_points(c, {{0, 0, 0, 0.0, 1}, {6, 6, 6, 0.0, 1}, {3, 9, 3, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2)};
    lib.allpath = {hop(0, 0, 1, 0.2, 1, 0, 0), hop(1, 1, 1, 0.2, 0, 1, 0), hop(2, 2, 1, 0.2, 0, -1, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].mul, 3);
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("> Percolating (1D) : Vector [1,0,0] [0,1,0] [0,1,0]\r\n"), std::string::npos) << r;
}

TEST_F(LibraryNetwork, PlaneNormalTurnedPositivePrintsPlainZeros) {
    // The b hop opens first, so the plane is spanned by b then a: the normal b x a = -c
    // is turned round to (0,0,1).
    set_points(c, {{0, 0, 0, 0.0, 1}}, {});
    NARO_pathlib lib;
    lib.path = {distinct(1, 1, 1, 0.2), distinct(1, 1, 2, 0.2)};
    lib.allpath = {hop(0, 0, 1, 0.2, 0, 1, 0), hop(0, 0, 2, 0.2, 1, 0, 0)};
    NARO_cluster_list list;
    ASSERT_EQ(NARO_analyze_network(c, lib, list), 0);
    ASSERT_EQ(list.clust.size(), 1u);
    EXPECT_EQ(list.clust[0].dimension, 2);
    const std::string r = capture([&](FILE* f) { NARO_print_clustlist(c, lib, list, f); });
    EXPECT_NE(r.find("> Percolating (2D) : Plane (0,0,1)\r\n"), std::string::npos) << r;
}
