// Cube loading (header rules, odd counts, ion line, ceiling, bad files), periodic
// index arithmetic, distances, angles, nearest stationary points and the inverse
// of the energy scaling.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "cell-metric.hpp"
#include "naro_fixtures.hpp"

namespace {

using narotest::write_cube;

const double kCubic4[3][3] = {{4, 0, 0}, {0, 4, 0}, {0, 0, 4}};

double ramp(int i, int j, int k) { return 100 * i + 10 * j + k - 3.5; }

struct CubeTest : narotest::ErrorStreamTest {
    NARO_cube cube;
    void SetUp() override {
        NARO_init_cube(cube);
        ErrorStreamTest::SetUp();
    }
    int load(const std::string& name) { return NARO_load_cube((dir / name).c_str(), cube); }
};

TEST_F(CubeTest, LoadsPeriodicGridAndShiftsToGlobalMinimum) {
    write_cube(dir / "c.cube", 4, 6, 8, kCubic4, ramp);
    ASSERT_EQ(load("c.cube"), 0) << err();
    EXPECT_EQ(cube.a_grid, 4);
    EXPECT_EQ(cube.b_grid, 6);
    EXPECT_EQ(cube.c_grid, 8);
    EXPECT_NEAR(cube.a, 4.0, 1e-5);
    EXPECT_NEAR(cube.alpha, 3.14159265 / 2, 1e-7);
    EXPECT_NEAR(cube.volume, 64.0, 1e-3);
    EXPECT_DOUBLE_EQ(cube.global_minimum, -3.5);
    EXPECT_NEAR(cube.max_energy, 1.5, 1e-9);   // 5 eV above the minimum
    NARO_process_cube(cube);
    EXPECT_DOUBLE_EQ(cube.global_minimum, 0);
    EXPECT_NEAR(NARO_cube_energy(cube, 3, 5, 7), 357, 1e-9);
    EXPECT_NEAR(cube.max_energy, 5, 1e-9);
    EXPECT_NEAR(cube.energy_shift, 3.5, 1e-9);
}

TEST_F(CubeTest, GlobalMinimumOfALandscapeHighAboveZero) {
    write_cube(dir / "c.cube", 2, 2, 2, kCubic4, [](int i, int j, int k) { return 20000.0 + ramp(i, j, k); });
    ASSERT_EQ(load("c.cube"), 0) << err();
    EXPECT_DOUBLE_EQ(cube.global_minimum, 20000.0 - 3.5);
    NARO_process_cube(cube);
    EXPECT_NEAR(NARO_cube_energy(cube, 0, 0, 0), 0.0, 1e-9);
    EXPECT_NEAR(NARO_cube_energy(cube, 1, 1, 1), 111.0, 1e-9);
}

TEST_F(CubeTest, OddCountOnAxisADropsTheRepeatedPlanes) {
    write_cube(dir / "c.cube", 4, 4, 4, kCubic4, ramp, /*periodic=*/false);   // 5 x 5 x 5 in the file
    ASSERT_EQ(load("c.cube"), 0) << err();
    EXPECT_EQ(cube.a_grid, 4);
    EXPECT_EQ(cube.b_grid, 4);
    EXPECT_EQ(cube.c_grid, 4);
    EXPECT_DOUBLE_EQ(NARO_energy_at(cube, 3, 2, 1), ramp(3, 2, 1));
    // The cell spans the points kept, not the repeated plane.
    EXPECT_NEAR(cube.a, 4.0, 1e-5);
}

TEST_F(CubeTest, OnlyTheParityOfAxisADecides) {
    const double v[3][3] = {{4, 0, 0}, {0, 5, 0}, {0, 0, 5}};
    write_cube(dir / "c.cube", 4, 5, 5, v, ramp);
    ASSERT_EQ(load("c.cube"), 0) << err();
    EXPECT_EQ(cube.a_grid, 4);
    EXPECT_EQ(cube.b_grid, 5);
    EXPECT_EQ(cube.c_grid, 5);
}

TEST_F(CubeTest, IonFromSecondLine) {
    write_cube(dir / "c.cube", 2, 2, 2, kCubic4, ramp, true, "Conducting = Na1+ ; sf = 0.750000;");
    ASSERT_EQ(load("c.cube"), 0);
    EXPECT_EQ(cube.ion_charge, 1);
    EXPECT_EQ(cube.ion_elem, "Na");
    EXPECT_EQ(cube.ion_type, "Na1+");

    NARO_init_cube(cube);
    write_cube(dir / "d.cube", 2, 2, 2, kCubic4, ramp, true, "Conducting = O2- ; sf = 0.5;");
    ASSERT_EQ(load("d.cube"), 0);
    EXPECT_EQ(cube.ion_charge, -2);
    EXPECT_EQ(cube.ion_elem, "O");
    EXPECT_EQ(cube.ion_type, "O2-");

    NARO_init_cube(cube);
    write_cube(dir / "e.cube", 2, 2, 2, kCubic4, ramp, true, "");
    ASSERT_EQ(load("e.cube"), 0);
    EXPECT_EQ(cube.ion_type, "");
    EXPECT_EQ(cube.ion_charge, 0);
}

TEST_F(CubeTest, BohrStepsBecomeAngstrom) {
    const double v[3][3] = {{2, 0, 0}, {0, 2, 0}, {1, 0, 2}};   // beta != 90
    write_cube(dir / "c.cube", 2, 2, 2, v, ramp);
    ASSERT_EQ(load("c.cube"), 0);
    EXPECT_NEAR(cube.a_unit, 1.0, 1e-5);
    EXPECT_NEAR(cube.c, std::sqrt(5.0), 1e-5);
    EXPECT_NEAR(cube.beta, std::acos(1 / std::sqrt(5.0)), 1e-5);
    EXPECT_NEAR(cube.d6, 2 * cube.a * cube.c * std::cos(cube.beta), 1e-9);
}

TEST_F(CubeTest, ScaledCeilingIsInvertedByBisection) {
    ASSERT_EQ(NARO_parse_energy_scaling(cube, "0.5695*E^(0.6946)"), 0);
    cube.max_energy_above_gmin = 1.0;
    write_cube(dir / "c.cube", 2, 2, 2, kCubic4, ramp);
    ASSERT_EQ(load("c.cube"), 0);
    NARO_process_cube(cube);
    EXPECT_NEAR(NARO_scale_cube_energy(cube, cube.max_energy), 1.0, 0.001);
}

TEST_F(CubeTest, BisectionUpwardSearchIsBounded) {
    ASSERT_EQ(NARO_parse_energy_scaling(cube, "0*E"), 0);
    double u = NARO_get_unscaled_from_scaled(cube, 1.0);   // never reached: must return
    EXPECT_GT(u, 0);
    EXPECT_NE(err().find("Warning: Program could not find the correct energy threshold"), std::string::npos);
}

// Without scaling the inverse is the identity, and a ceiling that is not above the
// global minimum is refused the same way as with scaling: warning and 1 eV.
TEST_F(CubeTest, UnscaledCeilingIsTheValueItselfUnlessNotPositive) {
    EXPECT_DOUBLE_EQ(NARO_get_unscaled_from_scaled(cube, 0.75), 0.75);
    EXPECT_EQ(err(), "");
    EXPECT_DOUBLE_EQ(NARO_get_unscaled_from_scaled(cube, -1.0), 1.0);
    EXPECT_EQ(err(), "Warning: Program could not find the correct energy threshold to be applied\n");
    ASSERT_EQ(NARO_parse_energy_scaling(cube, "E"), 0);
    EXPECT_DOUBLE_EQ(NARO_get_unscaled_from_scaled(cube, -1.0), 1.0);
    cube.max_energy_above_gmin = -1.0;
    write_cube(dir / "c.cube", 2, 2, 2, kCubic4, ramp);
    NARO_free_RPN(cube.RPN);
    cube.scaling = 0;
    ASSERT_EQ(load("c.cube"), 0);
    NARO_process_cube(cube);
    EXPECT_NEAR(cube.max_energy, 1.0, 1e-12);
}

TEST_F(CubeTest, BadFilesFailWithOneMessage) {
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const std::string head = "t\r\nConducting = Li1+ ;\r\n   0 0 0 0\r\n";
    const Case cases[] = {
        {"empty", "", "Error: Invalid CUBE file - missing header lines\n"},
        {"short", head + "2 1.0 0 0\r\n", "Error: Invalid CUBE file - missing header lines\n"},
        {"zero", head + "0 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n", "Error: Invalid CUBE file - invalid grid resolution\n"},
        {"negative", head + "2 1 0 0\r\n-2 0 1 0\r\n2 0 0 1\r\n", "Error: Invalid CUBE file - invalid grid resolution\n"},
        {"huge", head + "99999 1 0 0\r\n99999 0 1 0\r\n99999 0 0 1\r\n", "Error: Invalid CUBE file - invalid grid resolution\n"},
        {"flat", head + "2 0 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n", "Error: Invalid CUBE file - invalid cell parameters\n"},
        {"parallel", head + "2 1 0 0\r\n2 1 0 0\r\n2 0 0 1\r\n", "Invalid CUBE file - invalid cell angles\n"},
        {"coplanar", head + "2 1 0 0\r\n2 0 1 0\r\n2 1 1 0\r\n", "Invalid CUBE file - invalid cell angles\n"},
        {"atoms", "t\r\nx\r\n   3 0 0 0\r\n2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n1 0 0 0 0\r\n",
         "Error: Invalid CUBE file - missing header lines\n"},
        {"natoms", "t\r\nx\r\n  -3 0 0 0\r\n2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n", "Error: Invalid CUBE file - invalid number of atoms\n"},
        {"nonumber", "t\r\nx\r\nabc\r\n2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n", "Error: Invalid CUBE file - invalid number of atoms\n"},
        {"values", head + "2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n1\r\n2\r\n3\r\n", "Error: Invalid CUBE file - missing energy values\n"},
        {"text", head + "2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\nabc\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", "Error: Invalid CUBE file - invalid energy value\n"},
        {"binary", std::string("\x7f\x45\x4c\x46\x00\x01\x02\n\xff\xfe\n\n\n\n\n\n", 16),
         "Error: Invalid CUBE file - invalid number of atoms\n"},
    };
    for (const Case& c : cases) {
        NARO_init_cube(cube);
        std::freopen((dir / "err.txt").c_str(), "w", stderr);
        testcli::spit(dir / c.name, c.text);
        EXPECT_EQ(load(c.name), 1) << c.name;
        EXPECT_EQ(err(), c.message) << c.name;
    }
    NARO_init_cube(cube);
    std::freopen((dir / "err.txt").c_str(), "w", stderr);
    EXPECT_EQ(load("does-not-exist.cube"), 1);
    EXPECT_EQ(err(), "Error: Unable to open CUBE file\n");
}

TEST(CubeIndex, PeriodicWrap) {
    NARO_cube cube = narotest::make_cube(40, 40, 24, 4, 4, 4, std::vector<double>(40 * 40 * 24, 0.0));
    EXPECT_EQ(NARO_shift_index(cube, -1, 1), 39);
    EXPECT_EQ(NARO_shift_index(cube, -40, 1), 0);
    EXPECT_EQ(NARO_shift_index(cube, 40, 1), 0);
    EXPECT_EQ(NARO_shift_index(cube, 81, 2), 1);
    EXPECT_EQ(NARO_shift_index(cube, -25, 3), 23);
    EXPECT_EQ(NARO_shift_index(cube, 5, 4), -1);
    EXPECT_EQ(NARO_shift_index(cube, 5, 0), -1);
    EXPECT_EQ(NARO_shift_index(cube, INT_MIN, 1), NARO_shift_index(cube, static_cast<int>(-2147483648LL % 40), 1));
    EXPECT_EQ(NARO_shift_index(cube, INT_MAX, 3), INT_MAX % 24);
    EXPECT_DOUBLE_EQ(NARO_shift_index_dbl(cube, 0, 1), 0);
    EXPECT_DOUBLE_EQ(NARO_shift_index_dbl(cube, 41.25, 1), 1.25);
    EXPECT_DOUBLE_EQ(NARO_shift_index_dbl(cube, -0.5, 1), 39.5);
    EXPECT_DOUBLE_EQ(NARO_shift_index_dbl(cube, -40.5, 1), 39.5);
    EXPECT_DOUBLE_EQ(NARO_shift_index_dbl(cube, -40, 1), 0);
    int x = -1, y = 40, z = 24;
    NARO_shift_index_xyz(cube, &x, &y, &z);
    EXPECT_EQ(x, 39);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(z, 0);
}

TEST(CubeIndex, EnergyWrapsAndEqualityTolerance) {
    std::vector<double> e(4 * 4 * 4, 0.0);
    e[(3 * 4 + 0) * 4 + 2] = 1.5;
    NARO_cube cube = narotest::make_cube(4, 4, 4, 4, 4, 4, e);
    EXPECT_DOUBLE_EQ(NARO_cube_energy(cube, -1, 4, -2), 1.5);
    EXPECT_EQ(NARO_cube_equal_dbl(1.0, 1.0 + 5e-8), 1);
    EXPECT_EQ(NARO_cube_equal_dbl(1.0, 1.0 + 2e-7), 0);
}

TEST(CubeGeometry, DistancesAndAngles) {
    NARO_cube cube = narotest::make_cube(10, 20, 40, 5, 10, 20, std::vector<double>(8000, 0.0));
    EXPECT_NEAR(NARO_distance_grid(cube, 0, 0, 0, 10, 0, 0), 5.0, 1e-9);
    EXPECT_NEAR(NARO_distance_grid(cube, 0, 0, 0, 2, 4, 0), std::sqrt(5.0), 1e-9);
    EXPECT_NEAR(NARO_distance_grid(cube, -1, 0, 0, 1, 0, 0), 1.0, 1e-9);   // no image sought
    EXPECT_NEAR(NARO_distance_frac(cube, 0, 0, 0, 0, 0, 0.5), 10.0, 1e-9);
    EXPECT_NEAR(NARO_angle(cube, 1, 0, 0, 0, 0, 0, 0, 1, 0), 3.14159265 / 2, 1e-7);
    EXPECT_NEAR(NARO_angle(cube, 1, 0, 0, 0, 0, 0, -1, 0, 0), 3.14159265, 1e-7);
    EXPECT_DOUBLE_EQ(NARO_angle(cube, 0, 0, 0, 0, 0, 0, 1, 0, 0), 0);
}

TEST(CellMetric, VolumeAndDistancesAgreeWithTheCellVectors) {
    // The metric from lengths and angles against the same cell built as vectors.
    struct Cell { double a, b, c, al, be, ga; } cells[] = {
        {4, 4, 4, 90, 90, 90}, {5.1, 6.2, 7.3, 90, 104.5, 90}, {5, 5, 12, 90, 90, 120}, {4.2, 5.7, 6.9, 71.3, 83.9, 97.2}};
    const double step[3] = {0.3, -0.2, 0.7};
    for (const Cell& c : cells) {
        SCOPED_TRACE(c.al + c.be + c.ga);
        double v[3][3];
        narotest::cell_vectors(c.a, c.b, c.c, c.al, c.be, c.ga, v);
        const double det = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                           v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                           v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
        const NaroCellMetric m = naro_cell_metric_degrees(c.al, c.be, c.ga);
        EXPECT_NEAR(naro_cell_volume(c.a, c.b, c.c, m), std::fabs(det), 1e-9);
        double d[6];
        naro_cell_distance_coefficients(c.a, c.b, c.c, m, d);
        double r[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) r[k] += step[i] * v[i][k];
        const double want = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        const double got = d[0] * step[0] * step[0] + d[1] * step[1] * step[1] + d[2] * step[2] * step[2] +
                           d[3] * step[0] * step[1] + d[4] * step[1] * step[2] + d[5] * step[0] * step[2];
        EXPECT_NEAR(got, want, 1e-9);
    }
    // Angles that close no cell have no volume.
    const NaroCellMetric flat = naro_cell_metric_degrees(60, 60, 120);
    EXPECT_LE(flat.volume_factor, 1e-12);
    EXPECT_EQ(naro_cell_volume(3, 3, 3, naro_cell_metric_degrees(30, 30, 120)), 0.0);
}

TEST(CubeNearest, PeriodicImagesSortedByDistance) {
    NARO_cube cube = narotest::make_cube(10, 10, 10, 10, 10, 10, std::vector<double>(1000, 0.0));
    NARO_add_cube_minima_point(cube, 1, 1, 1, 1, 1, 1, 0, 0);
    NARO_add_cube_minima_point(cube, 5, 5, 5, 5, 5, 5, 0, 0);
    NARO_nearest_neighbour nn;
    ASSERT_EQ(NARO_get_nearest_minima(cube, nn, 3, 9, 1, 1), 0);
    EXPECT_EQ(nn.item[0].index, 0);   // image at (11, 1, 1)
    EXPECT_EQ(nn.item[0].i, 1);
    EXPECT_EQ(nn.item[0].j, 0);
    EXPECT_NEAR(nn.item[0].distance, 2.0, 1e-9);
    EXPECT_NEAR(nn.item[1].distance, std::sqrt(16 + 16 + 16.0), 1e-9);   // (5,5,5) itself
    EXPECT_LE(nn.item[1].distance, nn.item[2].distance);
    EXPECT_EQ(nn.include_target, 1);
    ASSERT_EQ(NARO_get_nearest_minima(cube, nn, 2, 11, 1, 1), 0);
    EXPECT_EQ(nn.include_target, 0);
    EXPECT_NE(NARO_alloc_nearest_neighbour(nn, 0), 0);
}

}  // namespace
