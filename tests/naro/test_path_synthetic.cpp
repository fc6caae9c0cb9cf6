// NARO.x end to end on synthetic landscapes with known answers: the cube and a P1
// structure are written by the test, the stationary points are found by the program,
// and the activation energies must equal the barriers built into the landscape.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "cli.hpp"

namespace {

constexpr double kTwoPi = 6.283185307179586;

double cosine(int p, int p0, int n, double height) {
    return 0.5 * height * (1 - std::cos(kTwoPi * (p - p0) / n));
}

// A sharper well: sums of two cosine profiles of one height are flat along diagonals of
// the grid, which would make whole lines of equal energy instead of one saddle.
double sine4(int p, int p0, int n, double height) {
    const double s = std::sin(kTwoPi / 2 * (p - p0) / n);
    return height * s * s * s * s;
}

// Cube file in the layout kelmar writes: CR LF lines, Bohr units, one value per line.
std::string cube_text(int na, int nb, int nc, double la, double lb, double lc,
                      const std::function<double(int, int, int)>& e) {
    const double bohr = 1.889725989;
    std::string s = "synthetic\r\nConducting = Li1+ ; sf = 0.750000;\r\n";
    char line[128];
    std::snprintf(line, sizeof line, "%4d %11.6f %11.6f %11.6f\r\n", 0, 0.0, 0.0, 0.0);
    s += line;
    std::snprintf(line, sizeof line, "%4d %11.6f %11.6f %11.6f\r\n", na, la / na * bohr, 0.0, 0.0);
    s += line;
    std::snprintf(line, sizeof line, "%4d %11.6f %11.6f %11.6f\r\n", nb, 0.0, lb / nb * bohr, 0.0);
    s += line;
    std::snprintf(line, sizeof line, "%4d %11.6f %11.6f %11.6f\r\n", nc, 0.0, 0.0, lc / nc * bohr);
    s += line;
    for (int x = 0; x < na; ++x)
        for (int y = 0; y < nb; ++y)
            for (int z = 0; z < nc; ++z) {
                std::snprintf(line, sizeof line, " %12.6f\r\n", e(x, y, z));
                s += line;
            }
    return s;
}

// P1 structure with one Li site at the landscape's minimum.
std::string cif_text(double la, double lb, double lc, double x, double y, double z) {
    char buf[1024];
    std::snprintf(buf, sizeof buf,
                  "data_synthetic\n_cell_length_a %.4f\n_cell_length_b %.4f\n_cell_length_c %.4f\n"
                  "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                  "loop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n"
                  "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                  "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n"
                  "Li1 Li1+ %.4f %.4f %.4f 1.0\n",
                  la, lb, lc, x, y, z);
    return buf;
}

struct NaroRun {
    testcli::Result r;
    double one = -1, two = -1, three = -1;
    std::string err;
};

NaroRun run_naro(testcli::ScratchDir& dir, const std::string& flags) {
    NaroRun out;
    out.r = testcli::run(NARO_EXE, "--cif s.cif Li1+ --cube s.cube --path --print-act " + flags, dir.path());
    auto read = [&](const char* key) {
        const size_t p = out.r.out.find(key);
        return p == std::string::npos ? -1.0 : std::atof(out.r.out.c_str() + p + std::string(key).size());
    };
    out.one = read("1D activation energy: ");
    out.two = read("2D activation energy: ");
    out.three = read("3D activation energy: ");
    out.err = testcli::slurp(dir / "NARO_error.txt");
    return out;
}

}  // namespace

TEST(PathSynthetic, ChannelAlongAHasTheBuiltInBarrier) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "s.cube", cube_text(24, 12, 12, 5, 8, 8, [](int x, int y, int z) {
                      return cosine(x, 0, 24, 0.4) + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.5);
                  }));
    testcli::spit(dir / "s.cif", cif_text(5, 8, 8, 0, 0.5, 0.5));
    NaroRun a = run_naro(dir, "--print-perc --deWarn");
    ASSERT_EQ(a.r.status, 0) << a.err;
    EXPECT_EQ(a.err, "");
    EXPECT_DOUBLE_EQ(a.one, 0.4);
    // The wall tops are saddles too: their minima lie 4 A away, reached by descending
    // across the cell face. The walls open b at 2.0 eV and c at 2.5 eV.
    EXPECT_DOUBLE_EQ(a.two, 2.0);
    EXPECT_DOUBLE_EQ(a.three, 2.5);
    EXPECT_NE(a.r.out.find("> Percolating (1D) : Vector [1,0,0]\r\n"), std::string::npos) << a.r.out;
    EXPECT_NE(a.r.out.find("  (1) Li1 (0.000 eV) to Li1 (0.000 eV) via s1 (0.400 eV)\r\n"), std::string::npos);
    NaroRun b = run_naro(dir, "");
    EXPECT_EQ(b.err.find("Warning: Cannot connect saddle type"), std::string::npos) << b.err;
    EXPECT_DOUBLE_EQ(b.one, 0.4);
}

TEST(PathSynthetic, SheetInTheAbPlane) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "s.cube", cube_text(24, 24, 12, 5, 5, 8, [](int x, int y, int z) {
                      return sine4(x, 0, 24, 0.35) + sine4(y, 0, 24, 0.35) + cosine(z, 6, 12, 2.0);
                  }));
    testcli::spit(dir / "s.cif", cif_text(5, 5, 8, 0, 0, 0.5));
    NaroRun a = run_naro(dir, "--print-perc --deWarn");
    ASSERT_EQ(a.r.status, 0) << a.err;
    EXPECT_DOUBLE_EQ(a.one, 0.35);
    EXPECT_DOUBLE_EQ(a.two, 0.35);
    EXPECT_DOUBLE_EQ(a.three, 2.0);   // over the wall along c
    EXPECT_NE(a.r.out.find("> Percolating (2D) : Plane (0,0,1)\r\n"), std::string::npos) << a.r.out;
    // Both in-plane saddles have one energy: a single threshold level below the wall.
    EXPECT_EQ(a.r.out.find("Threshold energy: 0.350000 eV"), a.r.out.rfind("Threshold energy: 0.350000 eV"));
}

TEST(PathSynthetic, NetworkOpeningOneAxisAtATime) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "s.cube", cube_text(24, 24, 24, 5, 5, 5, [](int x, int y, int z) {
                      return cosine(x, 0, 24, 0.9) + cosine(y, 0, 24, 0.3) + cosine(z, 0, 24, 0.5);
                  }));
    testcli::spit(dir / "s.cif", cif_text(5, 5, 5, 0, 0, 0));
    NaroRun a = run_naro(dir, "--print-perc --print-path --summary");
    ASSERT_EQ(a.r.status, 0) << a.err;
    EXPECT_EQ(a.err, "");
    EXPECT_DOUBLE_EQ(a.one, 0.3);
    EXPECT_DOUBLE_EQ(a.two, 0.5);
    EXPECT_DOUBLE_EQ(a.three, 0.9);
    // Library ordered by saddle energy.
    const size_t p1 = a.r.out.find("> Path 1 : Li1 (0.000 eV) to Li1 (0.000 eV) via s1 (0.300 eV)");
    const size_t p2 = a.r.out.find("> Path 2 : Li1 (0.000 eV) to Li1 (0.000 eV) via s2 (0.500 eV)");
    const size_t p3 = a.r.out.find("> Path 3 : Li1 (0.000 eV) to Li1 (0.000 eV) via s3 (0.900 eV)");
    EXPECT_NE(p1, std::string::npos) << a.r.out;
    EXPECT_LT(p1, p2);
    EXPECT_LT(p2, p3);
    EXPECT_NE(a.r.out.find("> Percolating (1D) : Vector [0,1,0]"), std::string::npos);
    EXPECT_NE(a.r.out.find("> Percolating (2D) : Plane (1,0,0)"), std::string::npos);
    EXPECT_NE(a.r.out.find("> Percolating (3D)\r\n"), std::string::npos);
    EXPECT_NE(testcli::slurp(dir / "NARO_summary.txt").find("Summary of pathway characteristics"),
              std::string::npos);
}

TEST(PathSynthetic, IsolatedPocketsNeverPercolate) {
    // Wells at x = 6 and x = 18 joined by a low saddle at x = 12; a 5 eV wall at x = 0.
    testcli::ScratchDir dir;
    testcli::spit(dir / "s.cube", cube_text(24, 12, 12, 10, 8, 8, [](int x, int y, int z) {
                      const double along = x < 12 ? cosine(x, 6, 12, 0.3) : cosine(x, 18, 12, 0.3);
                      const double wall = x == 0 ? 5.0 : 0.0;
                      return along + wall + cosine(y, 6, 12, 2.0) + cosine(z, 6, 12, 2.0);
                  }));
    testcli::spit(dir / "s.cif", cif_text(10, 8, 8, 0.25, 0.5, 0.5));
    NaroRun a = run_naro(dir, "--print-perc --deWarn");
    ASSERT_EQ(a.r.status, 0) << a.err;
    EXPECT_EQ(a.one, 999.0);
    EXPECT_EQ(a.two, 999.0);
    EXPECT_EQ(a.three, 999.0);
    EXPECT_NE(a.r.out.find("Threshold energy: 0.300000 eV"), std::string::npos) << a.r.out;
    EXPECT_EQ(a.r.out.find("Percolating"), std::string::npos);
}
