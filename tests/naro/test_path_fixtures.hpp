// Synthetic landscapes for the path and percolation tests: orthogonal cells, energies
// from a formula, and hand-placed minima and saddles with their symmetry types, so the
// path library and the percolation analysis are tested without the stationary-point
// search.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "NARO.hpp"
#include "path.hpp"

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

}  // namespace pathfix
