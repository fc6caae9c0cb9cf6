// Bond-valence table, site sums, GII, cell charge and probe-ion sums.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "naro_fixtures.hpp"

namespace {

const char* kCsCl =
    "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
    "loop_\n_atom_type_symbol\n_atom_type_oxidation_number\nCs1+ 1\nCl1- -1\nK1+ 1\n"
    "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
    "_atom_site_occupancy\n"
    "Cs1 Cs1+ 0 0 0 1\nCl1 Cl1- 0.5 0.5 0.5 1\n";

struct BvTest : narotest::ErrorStreamTest {
    NARO_cif cif;
    std::unique_ptr<narotest::CwdGuard> cwd;
    void SetUp() override {
        std::filesystem::create_directories(dir / "bin");
        testcli::spit(dir / "bin" / "database_binary.dat",
                      "comment Cs 1 Cl -1 9 9 9 9\nDATA_START\n"
                      "Cs  1  Cl  -1  2.79  0.37  8.0  6.0\n"
                      "K   1  Cl  -1  2.5   0.37  8.0  6.0\nDATA_END\n");
        testcli::spit(dir / "t.cif", kCsCl);
        cwd = std::make_unique<narotest::CwdGuard>(dir.path());
        ErrorStreamTest::SetUp();
        NARO_init_cif(cif);
        ASSERT_EQ(NARO_load_cif("t.cif", cif), 0);
    }
    void TearDown() override {
        ErrorStreamTest::TearDown();
        cwd.reset();
    }
};

const double kBond = std::exp((2.79 - 4 * std::sqrt(3.0) / 2) / 0.37);

TEST_F(BvTest, TableHasOneEntryAndItsMirror) {
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(bin.total, 3);
    EXPECT_EQ(bin.item[0][1].status, 1);
    EXPECT_EQ(bin.item[1][0].status, 1);
    EXPECT_DOUBLE_EQ(bin.item[1][0].r0, 2.79);
    EXPECT_DOUBLE_EQ(bin.item[1][0].cutoff, 6.0);
    EXPECT_EQ(bin.item[0][0].status, 0);
    EXPECT_EQ(bin.item[0][2].status, 0);   // both cations
    EXPECT_EQ(bin.item[1][2].status, 1);
    EXPECT_EQ(NARO_bv_bin_find_index(cif, "Cl", -1), 1);
    EXPECT_EQ(NARO_bv_bin_find_index(cif, "Cl", 1), -1);
}

TEST_F(BvTest, SiteSumsCountEveryBondWithinTheCutoff) {
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    EXPECT_NEAR(cif.site[0].bv_sum, 8 * kBond, 1e-9);   // 8 nearest Cl; next shell 6.9 A is past 6.0
    EXPECT_NEAR(cif.site[1].bv_sum, -8 * kBond, 1e-9);
    EXPECT_EQ(cif.site_all_no, 2);
}

TEST_F(BvTest, AtomsCloserThanPointThreeAreNotBonded) {
    NARO_add_cif_site(cif, "Cl2", "Cl1-", 0.05, 0, 0, 1, 'a', 1.0, -1);   // 0.2 A from Cs1
    cif.site.back().type_flag = cif.type[1].flag;
    cif.site.back().ox_set = 1;
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    // The 0.2 A neighbour adds nothing; its images 3.8 A away do.
    double expect = 8 * kBond;
    for (int i = -2; i <= 2; ++i)
        for (int j = -2; j <= 2; ++j)
            for (int k = -2; k <= 2; ++k) {
                double d = std::sqrt(std::pow(4 * (0.05 + i), 2) + std::pow(4.0 * j, 2) + std::pow(4.0 * k, 2));
                if (d >= 0.3 && d <= 6.0) expect += std::exp((2.79 - d) / 0.37);
            }
    EXPECT_NEAR(cif.site[0].bv_sum, expect, 1e-9);
}

TEST_F(BvTest, PairWithoutParametersContributesNothing) {
    cif.site[0].type = "K1+";
    cif.site[0].type_flag = cif.type[2].flag;
    testcli::spit(dir / "bin" / "database_binary.dat", "DATA_START\nCs 1 Cl -1 2.79 0.37 8.0 6.0\n");
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    EXPECT_EQ(bin.item[1][2].status, 0);
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    EXPECT_DOUBLE_EQ(cif.site[0].bv_sum, 0);
    EXPECT_DOUBLE_EQ(cif.site[1].bv_sum, 0);
}

TEST_F(BvTest, GlobalInstabilityIndexAndCharge) {
    ::testing::internal::CaptureStdout();
    double g = NARO_calc_GII(cif);
    NARO_print_unit_cell_charge(cif);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NEAR(g, std::fabs(1 - 8 * kBond), 1e-9);
    EXPECT_NE(out.find("Cs1 : "), std::string::npos);
    EXPECT_NE(out.find(" Ox 1.000000 Mul 1 Occ 1.000000\n"), std::string::npos);
    EXPECT_NE(out.find("Total charge per unit cell: 0.000\n"), std::string::npos);
}

TEST_F(BvTest, PrintedSums) {
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(NARO_print_bv_sum(cif, stdout), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    char line[128];
    std::snprintf(line, sizeof line, "> Cs1 [0.000 0.000 0.000] : %.6f\n", 8 * kBond);
    EXPECT_EQ(out, std::string("Printing bond valence sum for each site...\n> Label [X Y Z] : BV_sum\n") + line +
                       [] {
                           char l[128];
                           std::snprintf(l, sizeof l, "> Cl1 [0.500 0.500 0.500] : %.6f\n", -8 * kBond);
                           return std::string(l);
                       }() +
                       "End of BV sum calculation.\n");
}

TEST_F(BvTest, MissingTableIsReported) {
    std::filesystem::remove(dir / "bin" / "database_binary.dat");
    ::testing::internal::CaptureStdout();
    EXPECT_NE(NARO_print_bv_sum(cif, stdout), 0);
    EXPECT_NE(NARO_print_GII(cif, stdout), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(err(), "Error: Cannot load database_binary.dat!\nError: Cannot load database_binary.dat!\n"
                     "Error: Unable to calculate GII\n");
}

TEST_F(BvTest, ProbeSumsAtStationaryPoints) {
    NARO_cube cube = narotest::make_cube(8, 8, 8, 4, 4, 4, std::vector<double>(512, 0.0));
    cube.ion_elem = "Cs";
    cube.ion_charge = 1;
    NARO_add_cube_minima_point(cube, 0, 0, 0, 0, 0, 0, 0, 1);
    NARO_add_cube_saddle_point(cube, 4, 0, 0, 0, 1);
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum_minima(cube, cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum_saddle(cube, cif, bin), 0);
    EXPECT_NEAR(cube.minima[0].bv, 8 * kBond, 1e-9);
    EXPECT_GT(cube.saddle[0].bv, 0);
    cube.ion_elem = "Rb";
    EXPECT_NE(NARO_calc_bv_sum_minima(cube, cif, bin), 0);
    EXPECT_EQ(err(), "Error: NARO_bv_bin_find_index() cannot find index for minima.\n");
}

// ---------------------------------------------------------------- shells
// A cell of 0.02 A is absurd, but must not make the image search run for ever.
TEST_F(BvTest, AbsurdlySmallCellEndsInBoundedTime) {
    cif.a = cif.b = cif.c = 0.02;
    NARO_calc_cif_d_parameters(cif);
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    EXPECT_TRUE(std::isfinite(cif.site[0].bv_sum));
}

// Bonds that only reach into neighbouring cells still count, and a site written
// outside the home cell has the same sum as its image inside it.
TEST_F(BvTest, BondsFromTheMiddleOfTheCellAndSitesOutsideIt) {
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    cif.site[1].x = cif.site[1].y = cif.site[1].z = 0.1;   // Cl near the Cs corner
    cif.site[0].x = cif.site[0].y = cif.site[0].z = 0.6;   // Cs: nearest Cl images in the next cells
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    const double inside = cif.site[0].bv_sum;
    EXPECT_GT(inside, 8 * kBond * 0.5);
    cif.site[0].x = 2.6;
    cif.site[0].y = -1.4;
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    EXPECT_NEAR(cif.site[0].bv_sum, inside, 1e-12);
}

// States and cutoffs that no integer can hold (a damaged file) match no parameter
// line and keep the image search bounded.
TEST_F(BvTest, AbsurdStatesAndCutoffsAreHarmless) {
    testcli::spit(dir / "bin" / "database_binary.dat",
                  "DATA_START\nCs  1  Cl  -1  2.79  0.37  8.0  1e300\nDATA_END\n");
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    EXPECT_TRUE(std::isfinite(cif.site[0].bv_sum));
    cif.type[0].ox = std::nan("");
    cif.type[1].ox = -1e300;
    ASSERT_EQ(NARO_build_bv_bin(cif, bin), 0);
    EXPECT_EQ(bin.item[0][1].status, 0);
    EXPECT_EQ(NARO_bv_bin_find_index(cif, "Cl", 0), -1);
}

// ---------------------------------------------------------------- maximum bond length
struct PairDistance : BvTest {
    void write(const std::string& data) { testcli::spit(dir / "bin" / "database_binary.dat", data); }
};

TEST_F(PairDistance, DistanceWhereTheBondValenceFallsToItsShare) {
    write("DATA_START\nNa 1 F -1 1.6 0.4 6.0 5.0\nNa 2 O -2 1.8 0.5 4.0 5.0\nDATA_END\n");
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "F", 1, -1), 1.6 - 0.4 * std::log(1 / (4.25 * 6.0)), 1e-12);
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "O", 2.7, -2), 1.8 - 0.5 * std::log(2.7 / (4.25 * 4.0)), 1e-12);
    EXPECT_DOUBLE_EQ(NARO_maximum_pair_distance("Na", "O", 1, -2), -1);   // no line for Na1+
    EXPECT_DOUBLE_EQ(NARO_maximum_pair_distance("K", "F", 1, -1), -1);
    EXPECT_EQ(err(), "");
}

// The file marks unknown coordination numbers with 0; a length from them would be
// infinite. Halides take the estimate from the fluoride line and sulfides from the
// oxide line; without a usable reference there is no length and a warning says why.
TEST_F(PairDistance, UnknownCoordinationNumberIsEstimatedOrRefused) {
    write("DATA_START\n"
          "Na 1 F -1 1.6 0.4 6.0 5.0\nNa 1 Cl -1 2.0 0.4 0 5.0\nNa 1 Br -1 2.1 0.4 0.000 5.0\n"
          "Na 1 I -1 2.2 0.4 0 5.0\nNa 1 O -2 1.8 0.4 4.0 5.0\nNa 1 S -2 2.0 0.4 0 5.0\n"
          "Na 1 Se -2 2.2 0.4 0 5.0\nK 1 F -1 1.9 0.4 0 5.0\nK 1 Cl -1 2.3 0.4 0 5.0\nDATA_END\n");
    auto expect = [](double r0, double cn) { return r0 - 0.4 * std::log(1 / (4.25 * cn)); };
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "Cl", 1, -1), expect(2.0, 0.3984 * 6 + 3.4568), 1e-12);
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "Br", 1, -1), expect(2.1, 0.3457 * 6 + 3.3798), 1e-12);
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "I", 1, -1), expect(2.2, 0.3806 * 6 + 2.7873), 1e-12);
    EXPECT_NEAR(NARO_maximum_pair_distance("Na", "S", 1, -2), expect(2.0, 0.7414 * 4 + 0.9597), 1e-12);
    EXPECT_EQ(err(), "");
    EXPECT_DOUBLE_EQ(NARO_maximum_pair_distance("Na", "Se", 1, -2), -1);
    EXPECT_DOUBLE_EQ(NARO_maximum_pair_distance("K", "Cl", 1, -1), -1);
    EXPECT_EQ(err(), "Warning: Unknown coordination number of Na1 Se-2 in database_binary.dat; no bond length\n"
                     "Warning: Unknown coordination number of K1 Cl-1 in database_binary.dat; no bond length\n");
}

TEST_F(PairDistance, MissingFileIsReported) {
    std::filesystem::remove(dir / "bin" / "database_binary.dat");
    EXPECT_DOUBLE_EQ(NARO_maximum_pair_distance("Cs", "Cl", 1, -1), -1);
    EXPECT_EQ(err(), "Error: Cannot load database_binary.dat!\n");
}

// Every pair of the shipped parameter file gives a finite length or -1.
TEST_F(PairDistance, ShippedFileGivesFiniteLengthsOnly) {
    std::filesystem::copy_file(std::string(NARO_DATA_DIR) + "/database_binary.dat", dir / "bin" / "database_binary.dat",
                               std::filesystem::copy_options::overwrite_existing);
    std::ifstream in(dir / "bin" / "database_binary.dat");
    bool data = false;
    int checked = 0, unknown = 0;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("DATA_START", 0) == 0) { data = true; continue; }
        if (l.rfind("DATA_END", 0) == 0) break;
        std::istringstream t(l);
        std::string cat, ani;
        double cq, aq, r0, b, cn, cut;
        if (!data || !(t >> cat >> cq >> ani >> aq >> r0 >> b >> cn >> cut) || cn > 0.01) continue;
        ++unknown;
        double d = NARO_maximum_pair_distance(cat.c_str(), ani.c_str(), cq, aq);
        EXPECT_TRUE(std::isfinite(d)) << l;
        EXPECT_TRUE(d == -1 || d > 0) << l << " -> " << d;
        ++checked;
    }
    EXPECT_GT(unknown, 100);
    EXPECT_EQ(checked, unknown);
}

}  // namespace
