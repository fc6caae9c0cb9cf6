// Fixtures of the analyser tests, in one place: landscapes and cube files built in the
// test (narotest), synthetic landscapes with hand-placed minima and saddles for the path
// and percolation tests (pathfix), and the error-stream fixture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "records.hpp"
#include "bond-valence.hpp"
#include "cif.hpp"
#include "cli.hpp"
#include "flags.hpp"
#include "cube.hpp"
#include "math.hpp"
#include "path-library.hpp"
#include "percolation.hpp"
#include "stationary.hpp"

namespace narotest {

inline constexpr double kBohr = 1.889725989;   // Bohr per Angstrom

struct Frac { double x, y, z; };

// Writes a cube in the layout kelmar.x writes: CR LF lines, Bohr units, one value
// per line. With periodic false the first plane is repeated at the far end of every
// axis (odd counts for even grids).
inline void write_cube(const std::filesystem::path& path, int na, int nb, int nc, const double vec[3][3],
                       const std::function<double(int, int, int)>& value, bool periodic = true,
                       const std::string& ion_line = "Conducting = Li1+ ; sf = 0.750000;") {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "test\r\n%s\r\n", ion_line.c_str());
    std::fprintf(f, "%4d %11.6f %11.6f %11.6f\r\n", 0, 0.0, 0.0, 0.0);
    const int n[3] = {na, nb, nc};
    for (int ax = 0; ax < 3; ++ax)
        std::fprintf(f, "%4d %11.6f %11.6f %11.6f\r\n", periodic ? n[ax] : n[ax] + 1, vec[ax][0] / n[ax] * kBohr,
                     vec[ax][1] / n[ax] * kBohr, vec[ax][2] / n[ax] * kBohr);
    const int m = periodic ? 0 : 1;
    for (int i = 0; i < na + m; ++i)
        for (int j = 0; j < nb + m; ++j)
            for (int k = 0; k < nc + m; ++k) std::fprintf(f, " %12.6f\r\n", value(i % na, j % nb, k % nc));
    std::fclose(f);
}

// Cell vectors (Angstrom) from lengths and angles in degrees.
inline void cell_vectors(double a, double b, double c, double al, double be, double ga, double v[3][3]) {
    const double d = 3.14159265358979 / 180;
    const double ca = std::cos(al * d), cb = std::cos(be * d), cg = std::cos(ga * d), sg = std::sin(ga * d);
    v[0][0] = a; v[0][1] = 0; v[0][2] = 0;
    v[1][0] = b * cg; v[1][1] = b * sg; v[1][2] = 0;
    v[2][0] = c * cb;
    v[2][1] = c * (ca - cb * cg) / sg;
    v[2][2] = std::sqrt(c * c - v[2][0] * v[2][0] - v[2][1] * v[2][1]);
}

// A landscape of Gaussian wells (depth 1 eV, width sigma in Angstrom) at the given
// fractional positions and their periodic images.
inline std::vector<double> wells(int na, int nb, int nc, const double v[3][3], const std::vector<Frac>& pos,
                                 double sigma) {
    std::vector<double> e(static_cast<size_t>(na) * nb * nc, 0.0);
    for (int i = 0; i < na; ++i)
        for (int j = 0; j < nb; ++j)
            for (int k = 0; k < nc; ++k) {
                double s = 0;
                for (const Frac& p : pos)
                    for (int a = -1; a <= 1; ++a)
                        for (int b = -1; b <= 1; ++b)
                            for (int c = -1; c <= 1; ++c) {
                                double fx = double(i) / na - p.x - a, fy = double(j) / nb - p.y - b,
                                       fz = double(k) / nc - p.z - c;
                                double x = fx * v[0][0] + fy * v[1][0] + fz * v[2][0];
                                double y = fx * v[0][1] + fy * v[1][1] + fz * v[2][1];
                                double z = fx * v[0][2] + fy * v[1][2] + fz * v[2][2];
                                s -= std::exp(-(x * x + y * y + z * z) / (2 * sigma * sigma));
                            }
                e[(static_cast<size_t>(i) * nb + j) * nc + k] = s;
            }
    return e;
}

// An orthogonal cube record held in memory with the given energies.
inline NARO_cube make_cube(int na, int nb, int nc, double a, double b, double c, std::vector<double> e) {
    NARO_cube cube;
    NARO_init_cube(cube);
    NARO_init_cube_stationary_points(cube);
    cube.a_grid = na;
    cube.b_grid = nb;
    cube.c_grid = nc;
    cube.a_x = a / na;
    cube.b_y = b / nb;
    cube.c_z = c / nc;
    NARO_calc_cell_parameter(cube);
    cube.energy = std::move(e);
    cube.max_energy = 5;
    return cube;
}

// Runs NARO.x in a directory.
inline testcli::Result naro(const std::string& args, const std::filesystem::path& cwd) {
    return testcli::run(NARO_EXE, args, cwd);
}

// Temporarily changes the working directory.
struct CwdGuard {
    std::filesystem::path old;
    explicit CwdGuard(const std::filesystem::path& p) : old(std::filesystem::current_path()) {
        std::filesystem::current_path(p);
    }
    ~CwdGuard() { std::filesystem::current_path(old); }
};

// A scratch directory whose file err.txt receives the error stream during the test.
struct ErrorStreamTest : ::testing::Test {
    testcli::ScratchDir dir;
    void SetUp() override { std::freopen((dir / "err.txt").c_str(), "w", stderr); }
    void TearDown() override { std::freopen("/dev/null", "w", stderr); }
    std::string err() {
        std::fflush(stderr);
        return testcli::slurp(dir / "err.txt");
    }
};

// Everything NARO.x wrote to its error file in `dir`.
inline std::string errors(const std::filesystem::path& dir) { return testcli::slurp(dir / "NARO_error.txt"); }

}  // namespace narotest

namespace pathfix {

constexpr double kTwoPi = 6.283185307179586;

// An orthogonal cell of la x lb x lc Angstrom on an na x nb x nc grid.
inline NARO_cube make_cube(int na, int nb, int nc, double la, double lb, double lc,
                           const std::function<double(int, int, int)>& energy) {
    NARO_cube c;
    c.cube = 1;
    c.a_grid = na;
    c.b_grid = nb;
    c.c_grid = nc;
    c.a_x = la / na;
    c.b_y = lb / nb;
    c.c_z = lc / nc;
    c.a_unit = c.a_x;
    c.b_unit = c.b_y;
    c.c_unit = c.c_z;
    c.a = la;
    c.b = lb;
    c.c = lc;
    c.alpha = c.beta = c.gamma = kTwoPi / 4;
    c.volume = la * lb * lc;
    c.d1 = la * la;
    c.d2 = lb * lb;
    c.d3 = lc * lc;
    c.energy.assign(static_cast<size_t>(na) * nb * nc, 0.0);
    for (int x = 0; x < na; ++x)
        for (int y = 0; y < nb; ++y)
            for (int z = 0; z < nc; ++z) NARO_energy_at(c, x, y, z) = energy(x, y, z);
    c.global_minimum = 0;
    c.max_energy = 5;
    return c;
}

// A cube that only supplies grid counts and metric, for library-level tests.
inline NARO_cube make_flat_cube(int n, double len) {
    return make_cube(n, n, n, len, len, len, [](int, int, int) { return 0.0; });
}

// Cosine well along one axis: 0 at p = p0, `height` half a period away.
inline double cosine(int p, int p0, int n, double height) {
    return 0.5 * height * (1 - std::cos(kTwoPi * (p - p0) / n));
}

struct Point {
    int x, y, z;
    double e;
    int type;
};

// Installs minima and saddles (each list sorted by type) with their type indices.
inline void set_points(NARO_cube& c, const std::vector<Point>& minima, const std::vector<Point>& saddles) {
    c.minima.clear();
    c.saddle.clear();
    int maxm = 0, maxs = 0;
    for (const Point& p : minima) {
        NARO_minima m;
        m.x = p.x;
        m.y = p.y;
        m.z = p.z;
        m.tx = p.x;
        m.ty = p.y;
        m.tz = p.z;
        m.e = p.e;
        m.type = p.type;
        m.mul = 1;
        m.ins_label = p.type;
        c.minima.push_back(m);
        maxm = std::max(maxm, p.type);
    }
    for (const Point& p : saddles) {
        NARO_saddle s;
        s.x = p.x;
        s.y = p.y;
        s.z = p.z;
        s.tx = p.x;
        s.ty = p.y;
        s.tz = p.z;
        s.e = p.e;
        s.type = p.type;
        s.mul = 1;
        c.saddle.push_back(s);
        maxs = std::max(maxs, p.type);
    }
    auto index = [](auto& list, int types) {
        std::vector<int> idx(static_cast<size_t>(types) + 2, static_cast<int>(list.size()));
        for (int t = types; t >= 1; --t)
            for (size_t i = 0; i < list.size(); ++i)
                if (list[i].type == t) { idx[static_cast<size_t>(t)] = static_cast<int>(i); break; }
        idx[0] = 0;
        idx[static_cast<size_t>(types) + 1] = static_cast<int>(list.size());
        return idx;
    };
    c.total_minima = static_cast<int>(c.minima.size());
    c.total_saddle = static_cast<int>(c.saddle.size());
    c.total_minima_type = maxm;
    c.total_saddle_type = maxs;
    c.minima_type_index = index(c.minima, maxm);
    c.saddle_type_index = index(c.saddle, maxs);
}

// Builds the whole library (distinct paths, all copies, filter) on a prepared cube.
inline int build_library(const NARO_cube& c, NARO_pathlib& lib, int deWarn = 1) {
    NARO_cif cif;
    NARO_init_pathlib(lib);
    lib.pathlib = 1;
    if (NARO_build_path(c, cif, lib, deWarn) != 0) return 1;
    if (NARO_build_allpaths(c, cif, lib) != 0) return 1;
    return NARO_filter_redundant_path(c, lib);
}

// Output of a FILE* printer as a string.
inline std::string capture(const std::function<void(FILE*)>& print) {
    FILE* f = std::tmpfile();
    print(f);
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

// A hand-made all-path between two minima with the given cell crossing of the end.
inline NARO_allpath hop(int start, int end, int saddle_type, double se, int dx, int dy, int dz,
                        int start_type = 1, int end_type = 1) {
    NARO_allpath ap;
    ap.start = start;
    ap.end = end;
    ap.saddle = 0;
    ap.start_type = start_type;
    ap.end_type = end_type;
    ap.saddle_type = saddle_type;
    ap.end_crossx = dx;
    ap.end_crossy = dy;
    ap.end_crossz = dz;
    ap.saddle_energy = se;
    ap.length = 1.0;
    return ap;
}

inline NARO_path distinct(int start_type, int end_type, int saddle_type, double se) {
    NARO_path p;
    p.start_type = start_type;
    p.end_type = end_type;
    p.saddle_type = saddle_type;
    p.saddle_energy = se;
    return p;
}

// Three barriers: 0.8 eV along a, 0.3 along b, 0.5 along c (saddle types in that order).
inline NARO_cube network_cube() {
    NARO_cube c = make_cube(24, 24, 24, 5, 5, 5, [](int x, int y, int z) {
        return cosine(x, 0, 24, 0.8) + cosine(y, 0, 24, 0.3) + cosine(z, 0, 24, 0.5);
    });
    set_points(c, {{0, 0, 0, 0.0, 1}},
               {{12, 0, 0, 0.8, 1}, {0, 12, 0, 0.3, 2}, {0, 0, 12, 0.5, 3}});
    return c;
}

}  // namespace pathfix
