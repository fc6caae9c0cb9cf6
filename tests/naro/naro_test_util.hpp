// Helpers shared by the analyser tests: cube files and landscapes built in the test.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "NARO.hpp"
#include "cli.hpp"

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

// Everything NARO.x wrote to its error file in `dir`.
inline std::string errors(const std::filesystem::path& dir) { return testcli::slurp(dir / "NARO_error.txt"); }

}  // namespace narotest
