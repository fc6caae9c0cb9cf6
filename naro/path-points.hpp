// Minima on the unwrapped integer grid, shared by the path library, the percolation
// analysis and the reaction pathways.
//
// A minimum's "home" point is its grid index moved by one cell where that brings it
// next to its true (plateau-mean) position; its image in cell (p, q, r) is
// home + (p, q, r) * grid counts. Every comparison of positions is therefore exact.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>

#include "records.hpp"
#include "cube.hpp"
#include "stationary.hpp"

namespace naro_walk {

inline constexpr double kEqual = 1e-7;

using Tri = NARO_path_triple_index;

inline bool eq(double a, double b) { return NARO_cube_equal_dbl(a, b) != 0; }

inline int wrap(int p, int n) {
    int r = p % n;
    return r < 0 ? r + n : r;
}

// Integer point of a grid index that lies nearest to a true coordinate (one cell apart at most).
inline int home_axis(int x, double tx, int n) {
    int best = x;
    for (int k = -1; k <= 1; k += 2) {
        if (std::fabs(x + k * n - tx) < std::fabs(best - tx)) best = x + k * n;
    }
    return best;
}

inline Tri minimum_home(const NARO_cube& c, int m) {
    const NARO_minima& p = c.minima[m];
    return {home_axis(p.x, p.tx, c.a_grid), home_axis(p.y, p.ty, c.b_grid),
            home_axis(p.z, p.tz, c.c_grid)};
}

inline Tri minimum_image(const NARO_cube& c, int m, int p, int q, int r) {
    Tri h = minimum_home(c, m);
    return {h.x + p * c.a_grid, h.y + q * c.b_grid, h.z + r * c.c_grid};
}

inline bool same(const Tri& a, const Tri& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline Tri add(const Tri& a, const Tri& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Tri sub(const Tri& a, const Tri& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Tri neg(const Tri& a) { return {-a.x, -a.y, -a.z}; }
inline Tri cells(const NARO_cube& c, const Tri& t) {
    return {t.x * c.a_grid, t.y * c.b_grid, t.z * c.c_grid};
}
inline bool is_zero(const Tri& a) { return a.x == 0 && a.y == 0 && a.z == 0; }

inline std::string type_label(const NARO_cube& c, int type) {
    std::string s;
    NARO_label_minima_site(c, s, type);
    return s;
}

inline double scaled(const NARO_cube& c, double e) { return NARO_scale_cube_energy(c, e); }

}  // namespace naro_walk
