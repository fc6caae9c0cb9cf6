// Structure and landscape on one cell (see same-cell.hpp).
#include "same-cell.hpp"

#include <cmath>
#include <cstdio>

int naro_check_same_cell(const NARO_cif& cif, const NARO_cube& cube) {
    // A cube header keeps six decimals of a Bohr step, so its cell lengths are good to a
    // few parts in 1e5 of a coarse grid; half a percent and a quarter of a degree leave
    // room for that and for writers that round the cell, while a different structure or
    // a supercell is far outside.
    constexpr double kLengthTolerance = 5e-3;
    constexpr double kAngleTolerance = 0.25;   // degrees
    constexpr double kDegree = 180.0 / 3.14159265358979323846;
    const double lc[3] = {cube.a, cube.b, cube.c};
    const double ls[3] = {cif.a, cif.b, cif.c};
    const double ac[3] = {cube.alpha * kDegree, cube.beta * kDegree, cube.gamma * kDegree};
    const double as[3] = {cif.alpha, cif.beta, cif.gamma};
    bool same = true;
    for (int k = 0; k < 3; ++k) {
        same = same && ls[k] > 0 && std::fabs(lc[k] - ls[k]) <= kLengthTolerance * ls[k];
        same = same && std::fabs(ac[k] - as[k]) <= kAngleTolerance;
    }
    if (same) return 0;
    std::fprintf(stderr,
                 "Error: the cube and the CIF describe different cells: cube %.4f %.4f %.4f %.2f %.2f %.2f, "
                 "CIF %.4f %.4f %.4f %.2f %.2f %.2f (a b c in Angstrom, alpha beta gamma in degrees)\n",
                 lc[0], lc[1], lc[2], ac[0], ac[1], ac[2], ls[0], ls[1], ls[2], as[0], as[1], as[2]);
    return 1;
}
