// Stationary points: the saddle criterion on flat regions, integer symmetry
// operations, the asymmetric unit, both searches, grouping rules, ion assignment,
// labels and printouts.
#include <gtest/gtest.h>

#include <cstdint>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>

#include "naro_fixtures.hpp"

namespace {

using narotest::make_cube;

size_t at(int i, int j, int k, int n = 8) { return (static_cast<size_t>(i) * n + j) * n + k; }

struct Quiet : ::testing::Test {
    void SetUp() override { std::freopen("/dev/null", "w", stderr); }
};

// ---------------------------------------------------------------- saddle criterion
TEST(SaddleCriterion, TwoSeparateLowerGroupsMakeASaddle) {
    std::vector<double> e(512, 10.0);
    e[at(4, 4, 4)] = 1;
    e[at(3, 4, 4)] = 0;
    e[at(5, 4, 4)] = 0;
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 2);
}

TEST(SaddleCriterion, AMaximumHasOneConnectedGroup) {
    std::vector<double> e(512, 0.0);
    e[at(4, 4, 4)] = 1;
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 1);
    EXPECT_EQ(NARO_is_minimum(cube, 4, 4, 4), 0);
}

TEST(SaddleCriterion, EqualNeighbourJoiningTwoGroupsIsRetestedWithStrictlyLower) {
    std::vector<double> e(512, 10.0);
    e[at(4, 4, 4)] = 1;
    e[at(3, 4, 4)] = 0;
    e[at(5, 4, 4)] = 0;
    e[at(4, 3, 4)] = 1 + 5e-8;   // equal within 1e-7: bridges the two in the first pass
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 2);
}

TEST(SaddleCriterion, EqualNeighbourCountsAsLowerInTheFirstPass) {
    std::vector<double> e(512, 10.0);
    e[at(4, 4, 4)] = 1;
    e[at(3, 4, 4)] = 1;   // equal
    e[at(5, 4, 4)] = 0;   // lower, not touching the equal one
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 2);
}

TEST(SaddleCriterion, FlatMinimumAndSlope) {
    std::vector<double> e(512, 10.0);
    e[at(4, 4, 4)] = 0;
    e[at(4, 4, 5)] = 0;   // one equal neighbour, nothing strictly lower
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 0);
    EXPECT_EQ(NARO_is_minimum(cube, 4, 4, 4), 1);
    e[at(4, 4, 5)] = -1;   // one strictly lower group: neither minimum nor saddle
    cube.energy = e;
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 4, 4, 4), 1);
    EXPECT_EQ(NARO_is_minimum(cube, 4, 4, 4), 0);
}

TEST(SaddleCriterion, NeighboursWrapAcrossTheCell) {
    std::vector<double> e(512, 10.0);
    e[at(0, 0, 0)] = 1;
    e[at(7, 0, 0)] = 0;
    e[at(1, 0, 0)] = 0;
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    EXPECT_EQ(NARO_find_lower_energy_neighbour_cluster(cube, 0, 0, 0), 2);
}

// ---------------------------------------------------------------- integer operations
TEST(FastgenSymop, CoefficientsTranslationsAndMixedAxes) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    cif.symop = {"-x+1/2,y+1/4,1/4-z", "x+0.5,-y,z-1/2", "'x', 'y', 'z'"};
    NARO_prepare_fastgen_symop(cif, cube);
    ASSERT_EQ(cif.fg.total, 3);
    const NARO_fastgen_symop& o = cif.fg.op[0];
    EXPECT_EQ(o.x_x, -1);
    EXPECT_EQ(o.x_a, 4);
    EXPECT_EQ(o.y_y, 1);
    EXPECT_EQ(o.y_a, 2);
    EXPECT_EQ(o.z_z, -1);
    EXPECT_EQ(o.z_a, 2);   // 1/4 - z: the fraction is positive
    EXPECT_EQ(cif.fg.op[1].x_a, 4);
    EXPECT_EQ(cif.fg.op[1].y_y, -1);
    EXPECT_EQ(cif.fg.op[1].z_a, -4);
    EXPECT_EQ(cif.fg.op[2].x_x, 1);
    EXPECT_EQ(cif.diff_neigh, 0);
    cif.symop = {"x,y,z", "-y,x-y,z", "-x+y,-x,z"};
    NARO_prepare_fastgen_symop(cif, cube);
    EXPECT_EQ(cif.diff_neigh, 1);
    EXPECT_EQ(cif.fg.op[1].y_x, 1);
    EXPECT_EQ(cif.fg.op[1].y_y, -1);
}

// Whole cells of translation are dropped: absurd constants stay within int range
// and give the same copies as their fractional part.
TEST(FastgenSymop, HugeTranslationsReduceToTheirFractionalPart) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    cif.symop = {"-x+99999999999.5,y-3/4,z+7/4", "x,y+1/0,z"};
    NARO_prepare_fastgen_symop(cif, cube);
    ASSERT_EQ(cif.fg.total, 2);
    EXPECT_EQ(cif.fg.op[0].x_a, 4);
    EXPECT_EQ(cif.fg.op[0].y_a, -6);
    EXPECT_EQ(cif.fg.op[0].z_a, 6);
    EXPECT_EQ(cif.fg.op[1].y_a, 0);
    NARO_symcopies c;
    NARO_fastgen_sym_copies(cif, cube, c, 1, 1, 1);
    ASSERT_EQ(c.total, 2);
    EXPECT_EQ(c.copy[0].x, 3);
    EXPECT_EQ(c.copy[0].y, 3);
    EXPECT_EQ(c.copy[0].z, 7);
}

TEST(FastgenSymop, CopiesAreDistinctAndWrapped) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    cif.symop = {"x,y,z", "-x,-y,-z", "x+1/2,y,z", "-x+1/2,-y,-z"};
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_symcopies c;
    NARO_fastgen_sym_copies(cif, cube, c, 0, 0, 0);
    EXPECT_EQ(c.total, 2);   // (0,0,0) and (4,0,0)
    NARO_fastgen_sym_copies(cif, cube, c, 1, 2, 3);
    ASSERT_EQ(c.total, 4);
    EXPECT_EQ(c.copy[1].x, 7);
    EXPECT_EQ(c.copy[1].y, 6);
    EXPECT_EQ(c.copy[1].z, 5);
    EXPECT_EQ(NARO_is_symmetrically_related(cif, cube, 3, 6, 5, 1, 2, 3), 1);
    EXPECT_EQ(NARO_is_symmetrically_related(cif, cube, -5, -2, -3, 1, 2, 3), 1);
    EXPECT_EQ(NARO_is_symmetrically_related(cif, cube, 2, 2, 3, 1, 2, 3), 0);
}

TEST(FastgenSymop, CondensingMergesCopiesNextToASymmetryElement) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    cif.symop = {"x,y,z", "-x,y,z"};
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_symcopies c;
    NARO_fastgen_sym_copies(cif, cube, c, 0, 3, 3);   // on the mirror: one copy
    EXPECT_EQ(c.total, 1);
    // A mirror half a step from x = 0: the copies 0 and 1 are one point.
    cif.symop = {"x,y,z", "-x+1/8,y,z"};
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_fastgen_sym_copies(cif, cube, c, 0, 3, 3);
    ASSERT_EQ(c.total, 2);
    NARO_condense_copies(cif, cube, c, 1);
    ASSERT_EQ(c.total, 1);
    EXPECT_DOUBLE_EQ(c.copy[0].p, 0.5);
    EXPECT_EQ(c.copy[0].x, 0);   // a mean at one half keeps the first copy's index
    NARO_fastgen_sym_copies(cif, cube, c, 7, 3, 3);   // 7 and 2: three apart, kept
    NARO_condense_copies(cif, cube, c, 1);
    EXPECT_EQ(c.total, 2);
    // Across the cell boundary: 7 and 8 + 0 ... the op maps 1 to 0 and 7 to 2.
    cif.symop = {"x,y,z", "-x-1/8,y,z"};
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_fastgen_sym_copies(cif, cube, c, 0, 3, 3);   // 0 and 7
    NARO_condense_copies(cif, cube, c, 1);
    ASSERT_EQ(c.total, 1);
    EXPECT_DOUBLE_EQ(c.copy[0].p, 7.5);
    EXPECT_EQ(NARO_round_copies(3.5, 3), 3);
    EXPECT_EQ(NARO_round_copies(3.5, 5), 4);
    EXPECT_EQ(NARO_round_copies(3.4, 5), 3);
}

// ---------------------------------------------------------------- asymmetric unit
void check_orbits_partition(NARO_cif& cif, int na, int nb, int nc) {
    NARO_cube cube = make_cube(na, nb, nc, na, nb, nc, std::vector<double>(static_cast<size_t>(na) * nb * nc, 0.0));
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_asymmetric_unit asym;
    ASSERT_EQ(NARO_find_asymmetric_unit(cube, cif, asym), 0);
    std::vector<int> hits(static_cast<size_t>(na) * nb * nc, 0);
    NARO_symcopies c;
    for (const NARO_xyz_int& p : asym.grid) {
        NARO_fastgen_sym_copies(cif, cube, c, p.x, p.y, p.z);
        for (int k = 0; k < c.total; ++k)
            ++hits[(static_cast<size_t>(c.copy[static_cast<size_t>(k)].x) * nb + c.copy[static_cast<size_t>(k)].y) * nc +
                   c.copy[static_cast<size_t>(k)].z];
    }
    for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], 1) << "grid point " << i;
    EXPECT_EQ(asym.stotal, asym.total);   // a flat grid lies below the 5 eV mark
}

TEST(AsymmetricUnit, EveryGridPointLiesInExactlyOneOrbit) {
    NARO_cif cif;
    NARO_init_cif(cif);
    ASSERT_EQ(NARO_load_cif((std::string(TEST_DATA_DIR) + "/samples/Li2O.cif").c_str(), cif), 0);
    ASSERT_EQ(cif.symop_no, 192);
    check_orbits_partition(cif, 24, 24, 24);
    cif.symop = {"x,y,z"};
    check_orbits_partition(cif, 6, 8, 10);   // the last planes of every axis too
    cif.symop = {"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"};
    check_orbits_partition(cif, 12, 8, 16);
}

// ---------------------------------------------------------------- searches and grouping
struct Li2OLandscape : Quiet {
    NARO_cif cif;
    NARO_cube cube;
    void build(int n, double max_energy = 5) {
        NARO_init_cif(cif);
        ASSERT_EQ(NARO_load_cif((std::string(TEST_DATA_DIR) + "/samples/Li2O.cif").c_str(), cif), 0);
        double v[3][3];
        narotest::cell_vectors(cif.a, cif.b, cif.c, 90, 90, 90, v);
        std::vector<narotest::Frac> li;
        for (double x : {0.25, 0.75})
            for (double y : {0.25, 0.75})
                for (double z : {0.25, 0.75}) li.push_back({x, y, z});
        cube = make_cube(n, n, n, cif.a, cif.b, cif.c, narotest::wells(n, n, n, v, li, 0.7));
        double g = *std::min_element(cube.energy.begin(), cube.energy.end());
        cube.global_minimum = g;
        cube.max_energy = g + max_energy;
        NARO_shift_cube_energy(cube);
        NARO_prepare_fastgen_symop(cif, cube);
    }
};

TEST_F(Li2OLandscape, SymmetryVariantFindsSitesAndBottlenecks) {
    build(24);
    NARO_asymmetric_unit asym;
    ASSERT_EQ(NARO_find_asymmetric_unit(cube, cif, asym), 0);
    ASSERT_EQ(NARO_find_stationary_points(cube, cif, asym), 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    ASSERT_EQ(NARO_group_minima_by_symmetry(cube, cif), 0);
    EXPECT_EQ(cube.total_minima, 8);
    EXPECT_EQ(cube.total_minima_type, 1);
    EXPECT_EQ(cube.minima[0].mul, 8);
    EXPECT_EQ(cube.total_saddle, 24);
    EXPECT_EQ(cube.total_saddle_type, 1);
    EXPECT_EQ(cube.saddle[0].mul, 24);
    for (const NARO_minima& m : cube.minima) {
        EXPECT_EQ(m.x % 12, 6);
        EXPECT_EQ(m.type, 1);
    }
    cif.ion = 1;
    cif.probe_type = "Li1+";
    ASSERT_EQ(NARO_assign_ion_to_sites(cube, cif), 0);
    NARO_assign_interstitial_labels(cube, cif);
    for (const NARO_minima& m : cube.minima) {
        ASSERT_EQ(m.total_ions, 1);
        EXPECT_EQ(m.ion[0].label, "Li0");
        EXPECT_DOUBLE_EQ(m.ion[0].occ, 1.0);
        EXPECT_EQ(m.ins_label, 0);
    }
    std::string label;
    NARO_label_minima_site(cube, label, 1);
    EXPECT_EQ(label, "Li0");

    // The full-grid search finds the same points.
    NARO_cube full = cube;
    ASSERT_EQ(NARO_find_stationary_points2(full, cif), 0);
    EXPECT_EQ(full.total_minima, 8);
    EXPECT_EQ(full.total_saddle, 24);
}

TEST_F(Li2OLandscape, PointsAboveTheCeilingAreNeverStationary) {
    build(24, 0.3);   // the bottlenecks lie about 0.5 eV up
    NARO_asymmetric_unit asym;
    ASSERT_EQ(NARO_find_asymmetric_unit(cube, cif, asym), 0);
    ASSERT_EQ(NARO_find_stationary_points(cube, cif, asym), 0);
    EXPECT_EQ(cube.total_minima, 8);
    EXPECT_EQ(cube.total_saddle, 0);
}

TEST_F(Quiet, TypesAreNumberedByEnergyAndMultiplicityCountsCopies) {
    NARO_cif cif;
    NARO_init_cif(cif);
    cif.symop = {"x,y,z", "x+1/2,y,z"};
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 1.0));
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_add_cube_minima_point(cube, 1, 1, 1, 1, 1, 1, 0.7, 0);
    NARO_add_cube_minima_point(cube, 2, 6, 6, 2, 6, 6, 0.1, 0);
    NARO_add_cube_minima_point(cube, 5, 1, 1, 5, 1, 1, 0.7, 0);
    NARO_add_cube_minima_point(cube, 3, 3, 0, 3, 3, 0, 0.4, 0);
    ASSERT_EQ(NARO_group_minima_by_symmetry(cube, cif), 0);
    ASSERT_EQ(cube.total_minima_type, 3);
    EXPECT_DOUBLE_EQ(cube.minima[0].e, 0.1);
    EXPECT_EQ(cube.minima[0].type, 1);
    EXPECT_EQ(cube.minima[1].type, 2);
    EXPECT_EQ(cube.minima[2].type, 3);
    EXPECT_EQ(cube.minima[3].type, 3);
    EXPECT_EQ(cube.minima[3].mul, 2);
    EXPECT_EQ(cube.minima_type_index[3], 2);
    EXPECT_EQ(cube.minima_type_index[4], 4);
    // No ion anywhere: every type is an interstitial, numbered in type order.
    NARO_assign_interstitial_labels(cube, cif);
    std::string label;
    NARO_label_minima_site(cube, label, 3);
    EXPECT_EQ(label, "i3");
    EXPECT_EQ(NARO_delete_minima_type(cube, 2), 0);
    EXPECT_EQ(cube.total_minima, 3);
    EXPECT_EQ(cube.minima[1].type, 2);
    EXPECT_NE(NARO_delete_minima_type(cube, 3), 0);
    EXPECT_NE(NARO_delete_saddle_type(cube, 1), 0);
}

TEST_F(Quiet, SaddleTypingAdjacentTypesAndPlateaus) {
    NARO_cif cif;
    NARO_init_cif(cif);
    std::vector<double> e(512, 5.0);
    e[at(0, 4, 4)] = 1.0;
    e[at(7, 4, 4)] = 1.2;   // next to (0,4,4) only through the periodic boundary
    e[at(3, 2, 2)] = 0.8;
    e[at(3, 2, 3)] = 0.8;   // a two-point plateau
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_add_cube_saddle_point(cube, 0, 4, 4, 1.0, 0);
    NARO_add_cube_saddle_point(cube, 7, 4, 4, 1.2, 0);
    NARO_add_cube_saddle_point(cube, 3, 2, 2, 0.8, 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    ASSERT_EQ(cube.total_saddle_type, 2);   // the 1.2 type was the 1.0 one seen again
    EXPECT_EQ(cube.total_saddle, 2);
    EXPECT_DOUBLE_EQ(cube.saddle[0].e, 0.8);
    EXPECT_DOUBLE_EQ(cube.saddle[0].tz, 2.5);   // plateau mean
    EXPECT_DOUBLE_EQ(cube.saddle[1].e, 1.0);
}

// A pass t (0.5 eV) between wells A and C on a row along a, and next to it a higher point u
// (0.6 eV). Where u leads only back onto t's row it is t seen again; where it also leads
// down into a third well B, it is the only way into B and stays a type of its own.
TEST_F(Quiet, AdjacentSaddleTypeStaysWhenItLeadsIntoAFurtherBasin) {
    struct Case {
        const char* name;
        bool well_b;
        int types;
    } cases[] = {{"u leads back onto the row", false, 1}, {"u leads into well B", true, 2}};
    for (const Case& c : cases) {
        NARO_cif cif;
        NARO_init_cif(cif);
        std::vector<double> e(512, 1.0);
        const double row[5] = {0.0, 0.2, 0.5, 0.2, 0.0};   // A at a = 1, t at 3, C at 5
        for (int x = 1; x <= 5; ++x) e[at(x, 4, 4)] = row[x - 1];
        e[at(3, 5, 4)] = 0.6;   // u
        if (c.well_b) {
            e[at(3, 6, 4)] = 0.3;
            e[at(3, 7, 4)] = 0.0;   // B
        }
        NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, e);
        NARO_prepare_fastgen_symop(cif, cube);
        NARO_add_cube_saddle_point(cube, 3, 4, 4, 0.5, 0);
        NARO_add_cube_saddle_point(cube, 3, 5, 4, 0.6, 0);
        ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
        EXPECT_EQ(cube.total_saddle_type, c.types) << c.name;
        EXPECT_EQ(cube.total_saddle, c.types) << c.name;
        EXPECT_DOUBLE_EQ(cube.saddle[0].e, 0.5) << c.name;
    }
}

TEST_F(Quiet, LargePlateauRemovesTheWholeSaddleType) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_add_cube_saddle_point(cube, 4, 4, 4, 0, 0);
    NARO_add_cube_saddle_point(cube, 0, 0, 0, 0, 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    EXPECT_EQ(cube.total_saddle, 0);
    EXPECT_EQ(cube.total_saddle_type, 0);
    NARO_same_energy_grid_list list;
    EXPECT_EQ(NARO_find_same_energy_neighbours(cube, list, 1, 1, 1), -1);

    // Exactly 28 points of equal energy: still more than 27.
    std::vector<double> e(512, 1.0);
    for (int i = 3; i <= 5; ++i)
        for (int j = 3; j <= 5; ++j)
            for (int k = 3; k <= 5; ++k) e[at(i, j, k)] = 0.5;
    e[at(6, 4, 4)] = 0.5;
    cube.energy = e;
    ASSERT_EQ(NARO_find_same_energy_neighbours(cube, list, 4, 4, 4), 0);
    EXPECT_EQ(list.total, 28);
    NARO_add_cube_saddle_point(cube, 4, 4, 4, 0.5, 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    EXPECT_EQ(cube.total_saddle, 0);
    // 27 points are kept, with the plateau mean as true position.
    e[at(6, 4, 4)] = 1.0;
    cube.energy = e;
    NARO_add_cube_saddle_point(cube, 3, 3, 3, 0.5, 0);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    ASSERT_EQ(cube.total_saddle, 1);
    EXPECT_DOUBLE_EQ(cube.saddle[0].tx, 4.0);
}

TEST_F(Quiet, IonHalfwayBetweenTwoMinimaIsShared) {
    NARO_cif cif;
    NARO_init_cif(cif);
    cif.a = cif.b = cif.c = 8;
    cif.probe_type = "Li1+";
    NARO_add_cif_site(cif, "Li7", "Li1+", 0.5, 0.5, 0.5, 1, 'a', 0.8, 1);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 1.0));
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_add_cube_minima_point(cube, 2, 4, 4, 2, 4, 4, 0, 0);
    NARO_add_cube_minima_point(cube, 6, 4, 4, 6, 4, 4, 0, 0);
    NARO_add_cube_minima_point(cube, 0, 0, 0, 0, 0, 0, 0.5, 0);
    ASSERT_EQ(NARO_group_minima_by_symmetry(cube, cif), 0);
    ASSERT_EQ(NARO_assign_ion_to_sites(cube, cif), 0);
    NARO_assign_interstitial_labels(cube, cif);
    int shared = 0;
    for (const NARO_minima& m : cube.minima) {
        if (m.e > 0.1) {
            EXPECT_EQ(m.total_ions, 0);
            EXPECT_EQ(m.ins_label, 1);
            continue;
        }
        ASSERT_EQ(m.total_ions, 1);
        EXPECT_DOUBLE_EQ(m.ion[0].occ, 0.4);
        ++shared;
    }
    EXPECT_EQ(shared, 2);
    std::string label;
    NARO_label_minima_site(cube, label, 3);
    EXPECT_EQ(label, "i1");
}

// Profiles along a, indexed by the distance from x = 0; the well at x = 6.
double mirror_f(const double (&f)[7], int x) { return f[std::min(x, 12 - x)]; }

TEST_F(Quiet, FullGridVariantMergesCloseSymmetricSaddlesOnlyIntoAPass) {
    struct Case {
        const char* name;
        double f[7];
        std::vector<int> saddles;   // grid x of the saddles left
        std::vector<int> minima;    // grid x of the minima left
    } cases[] = {
        // A pass three points wide centred on the mirror at x = 0: its mirror-image sides
        // x = 1 and 11 are merged into the pass point x = 0 (which grouping then folds into
        // the saddle found there).
        {"wide pass", {1.0, 1.0, 0.6, 0.3, 0.1, 0.0, -0.1}, {0, 0}, {6}},
        // A shallow site at x = 0 between mirror-image passes at x = 1 and 11: their mean
        // is the site, no pass; the two passes and the site between them stay.
        {"shallow site", {0.5, 1.0, 0.6, 0.3, 0.1, 0.0, -0.1}, {1, 11}, {0, 6}},
    };
    for (const Case& t : cases) {
        NARO_cif cif;
        NARO_init_cif(cif);
        cif.symop = {"x,y,z", "-x,y,z"};
        std::vector<double> e(12 * 12 * 12);
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j)
                for (int k = 0; k < 12; ++k) {
                    int dy = std::min(std::abs(j - 6), 12 - std::abs(j - 6)), dz = std::min(std::abs(k - 6), 12 - std::abs(k - 6));
                    e[(static_cast<size_t>(i) * 12 + j) * 12 + k] = mirror_f(t.f, i) + 0.1 * dy * dy + 0.1 * dz * dz;
                }
        NARO_cube cube = make_cube(12, 12, 12, 6, 6, 6, e);
        cube.max_energy = 1.05;   // leaves out the ridges along b and c
        NARO_prepare_fastgen_symop(cif, cube);
        ASSERT_EQ(NARO_find_stationary_points2(cube, cif), 0);
        std::vector<int> saddles, minima;
        for (const NARO_saddle& s : cube.saddle) {
            saddles.push_back(s.x);
            EXPECT_DOUBLE_EQ(s.tx, s.x) << t.name;
            EXPECT_EQ(s.y, 6);
            EXPECT_EQ(s.z, 6);
            // Every saddle left is a pass at its grid point.
            EXPECT_GE(NARO_find_lower_energy_neighbour_cluster(cube, s.x, s.y, s.z), 2) << t.name;
        }
        for (const NARO_minima& m : cube.minima) minima.push_back(m.x);
        std::sort(saddles.begin(), saddles.end());
        std::sort(minima.begin(), minima.end());
        EXPECT_EQ(saddles, t.saddles) << t.name;
        EXPECT_EQ(minima, t.minima) << t.name;
    }
}

// A rough landscape without symmetry has thousands of saddle types, most of them
// next to another; grouping must stay fast and leave every type contiguous and
// indexed.
TEST_F(Quiet, RoughLandscapeWithoutSymmetryGroupsQuickly) {
    NARO_cif cif;
    NARO_init_cif(cif);
    std::vector<double> e(32 * 32 * 32);
    std::uint32_t r = 12345;
    for (double& v : e) {
        r = r * 1664525u + 1013904223u;
        v = (r >> 8) / double(1 << 24);
    }
    NARO_cube cube = make_cube(32, 32, 32, 8, 8, 8, e);
    cube.max_energy = 10;
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_asymmetric_unit asym;
    ASSERT_EQ(NARO_find_asymmetric_unit(cube, cif, asym), 0);
    ASSERT_EQ(NARO_find_stationary_points(cube, cif, asym), 0);
    ASSERT_GT(cube.total_saddle, 1000);
    ASSERT_EQ(NARO_group_saddle_by_symmetry(cube, cif), 0);
    ASSERT_EQ(NARO_group_minima_by_symmetry(cube, cif), 0);
    ASSERT_GT(cube.total_saddle_type, 100);
    for (int t = 1; t <= cube.total_saddle_type; ++t) {
        const int first = cube.saddle_type_index[static_cast<size_t>(t)];
        const int last = cube.saddle_type_index[static_cast<size_t>(t) + 1];
        ASSERT_LT(first, last) << t;
        for (int m = first; m < last; ++m) ASSERT_EQ(cube.saddle[static_cast<size_t>(m)].type, t);
    }
    EXPECT_EQ(cube.saddle_type_index[static_cast<size_t>(cube.total_saddle_type) + 1], cube.total_saddle);
    for (int t = 1; t <= cube.total_minima_type; ++t)
        ASSERT_EQ(cube.minima[static_cast<size_t>(cube.minima_type_index[static_cast<size_t>(t)])].type, t);
}

TEST(Printouts, EmptyListsAndLayout) {
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    FILE* f = std::tmpfile();
    NARO_printminima(cube, f);
    NARO_printsaddle(cube, f);
    std::rewind(f);
    std::string s;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) s += buf;
    std::fclose(f);
    const std::string dash(65, '-');
    EXPECT_EQ(s, dash + "\r\n                  Summary of energy local minima                  \r\n" + dash +
                     "\r\n\r\nTotal local minima in unit cell: 0\r\nTotal symmetrically inequivalent: 0\r\n\r\n" + dash +
                     "\r\n                  Summary of energy saddle point                  \r\n" + dash +
                     "\r\n\r\nTotal local saddle in unit cell: 0\r\nTotal symmetrically inequivalent: 0\r\n\r\n");
}

TEST(Printouts, MinimaRowsWithSeveralIons) {
    NARO_cif cif;
    NARO_init_cif(cif);
    NARO_cube cube = make_cube(8, 8, 8, 8, 8, 8, std::vector<double>(512, 0.0));
    NARO_prepare_fastgen_symop(cif, cube);
    NARO_add_cube_minima_point(cube, 2, 4, 6, 2, 4, 6, 0, 0);
    NARO_group_minima_by_symmetry(cube, cif);
    NARO_add_cube_minima_ion(cube.minima[0], "Li1", 0.5);
    NARO_add_cube_minima_ion(cube.minima[0], "Na2", 0.25);
    NARO_add_cube_minima_ion(cube.minima[0], "Li1", 0.25);
    NARO_assign_interstitial_labels(cube, cif);
    FILE* f = std::tmpfile();
    NARO_printminima(cube, f);
    std::rewind(f);
    std::string s;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) s += buf;
    std::fclose(f);
    EXPECT_NE(s.find("Minima type: Li1/Na2 (Energy: 0.000000 eV)\r\n"), std::string::npos);
    EXPECT_NE(s.find("        0     2   4   6     2.0   4.0   6.0   0.250 0.500 0.750   0.750   Li1\r\n" +
                     std::string(66, ' ') + "0.250   Na2\r\nMultiplicity: 1\r\n\r\n"),
              std::string::npos)
        << s;
}

}  // namespace
