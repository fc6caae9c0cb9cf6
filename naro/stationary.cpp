// Stationary points of the landscape: integer symmetry operations on the grid, the
// asymmetric unit, symmetry smoothing, the saddle criterion, both stationary-point
// searches, grouping by symmetry, ion assignment and the minima and saddle printouts.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "stationary.hpp"

#include "cube.hpp"
#include "cif.hpp"
#include "math.hpp"
#include "workshare.hpp"

// ================================================================ integer symmetry operations

// Parses one component of an operation ("-x+1/2", "x-y", "0.25+z") into coefficients
// of x, y, z and a constant.
static void naro_parse_component(const std::string& comp, int coef[3], double* constant) {
    coef[0] = coef[1] = coef[2] = 0;
    *constant = 0;
    size_t i = 0;
    while (i < comp.size()) {
        int sign = 1;
        while (i < comp.size() && (comp[i] == '+' || comp[i] == '-')) {
            if (comp[i] == '-') sign = -sign;
            ++i;
        }
        if (i >= comp.size()) break;
        char c = comp[i];
        if (c == 'x' || c == 'X' || c == 'y' || c == 'Y' || c == 'z' || c == 'Z') {
            int ax = (c == 'x' || c == 'X') ? 0 : (c == 'y' || c == 'Y') ? 1 : 2;
            coef[ax] = sign;
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            char* end = nullptr;
            double v = std::strtod(comp.c_str() + i, &end);
            i = static_cast<size_t>(end - comp.c_str());
            if (i < comp.size() && comp[i] == '/') {
                ++i;
                double d = std::strtod(comp.c_str() + i, &end);
                size_t j = static_cast<size_t>(end - comp.c_str());
                if (j == i) d = 1;
                i = j;
                v = d != 0 ? v / d : 0;
            }
            *constant += sign * v;
            if (i < comp.size() && std::isalpha(static_cast<unsigned char>(comp[i]))) {
                // "2x" and the like: a multiple of a coordinate; keep its sign only.
                continue;
            }
        } else {
            ++i;
        }
    }
}

void NARO_prepare_fastgen_symop(NARO_cif& cif, const NARO_cube& cube) {
    cif.fg = NARO_fastgen_symcopies{};
    cif.diff_neigh = 0;
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    for (const std::string& text : cif.symop) {
        if (cif.fg.total >= NARO_MAX_SYMOP) break;
        std::string comp[3];
        int c = 0;
        for (char ch : text) {
            if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\'' || ch == '"') continue;
            if (ch == ',') {
                if (++c > 2) break;
                continue;
            }
            comp[c] += ch;
        }
        if (c != 2) continue;
        int coef[3][3];
        int trans[3];
        for (int r = 0; r < 3; ++r) {
            double k;
            naro_parse_component(comp[r], coef[r], &k);
            // Whole cells of translation change nothing on a periodic grid; dropping
            // them keeps absurd constants ("x+99999999999.5") inside int range.
            k = std::isfinite(k) ? std::fmod(k, 1.0) : 0.0;
            double t = k * n[r];
            double rt = std::round(t);
            trans[r] = std::fabs(t - rt) < 1e-6 ? static_cast<int>(rt) : static_cast<int>(std::trunc(t));
            int nz = (coef[r][0] != 0) + (coef[r][1] != 0) + (coef[r][2] != 0);
            if (nz >= 2) cif.diff_neigh = 1;
        }
        NARO_fastgen_symop o;
        o.x_x = coef[0][0]; o.x_y = coef[0][1]; o.x_z = coef[0][2]; o.x_a = trans[0];
        o.y_x = coef[1][0]; o.y_y = coef[1][1]; o.y_z = coef[1][2]; o.y_a = trans[1];
        o.z_x = coef[2][0]; o.z_y = coef[2][1]; o.z_z = coef[2][2]; o.z_a = trans[2];
        cif.fg.op.push_back(o);
        cif.fg.total = static_cast<int>(cif.fg.op.size());
    }
    if (cif.fg.op.empty()) {
        NARO_fastgen_symop id;
        id.x_x = id.y_y = id.z_z = 1;
        cif.fg.op.push_back(id);
        cif.fg.total = 1;
    }
}

static inline int naro_wrap(int v, int n) {
    v %= n;
    return v < 0 ? v + n : v;
}

static inline void naro_apply(const NARO_fastgen_symop& o, int x, int y, int z, int& X, int& Y, int& Z) {
    X = o.x_x * x + o.x_y * y + o.x_z * z + o.x_a;
    Y = o.y_x * x + o.y_y * y + o.y_z * z + o.y_a;
    Z = o.z_x * x + o.z_y * y + o.z_z * z + o.z_a;
}

void NARO_fastgen_sym_copies(const NARO_cif& cif, const NARO_cube& cube, NARO_symcopies& copies, int x,
                             int y, int z) {
    copies.total = 0;
    for (const NARO_fastgen_symop& o : cif.fg.op) {
        int X, Y, Z;
        naro_apply(o, x, y, z, X, Y, Z);
        X = naro_wrap(X, cube.a_grid);
        Y = naro_wrap(Y, cube.b_grid);
        Z = naro_wrap(Z, cube.c_grid);
        bool dup = false;
        for (int k = 0; k < copies.total; ++k) {
            const NARO_fastgen_xyz& c = copies.copy[static_cast<size_t>(k)];
            if (c.x == X && c.y == Y && c.z == Z) {
                dup = true;
                break;
            }
        }
        if (dup || copies.total >= NARO_MAX_SYMOP) continue;
        copies.copy[static_cast<size_t>(copies.total++)] = {X, Y, Z, double(X), double(Y), double(Z)};
    }
}

static inline double naro_wrap_dbl(double v, int n) {
    v = std::fmod(v, n);
    if (v < 0) v += n;
    if (v >= n) v -= n;
    return v;
}

void NARO_fastgen_sym_copies_dbl(const NARO_cif& cif, const NARO_cube& cube, NARO_symcopies& copies, double p,
                                 double q, double r) {
    copies.total = 0;
    for (const NARO_fastgen_symop& o : cif.fg.op) {
        double X = o.x_x * p + o.x_y * q + o.x_z * r + o.x_a;
        double Y = o.y_x * p + o.y_y * q + o.y_z * r + o.y_a;
        double Z = o.z_x * p + o.z_y * q + o.z_z * r + o.z_a;
        X = naro_wrap_dbl(X, cube.a_grid);
        Y = naro_wrap_dbl(Y, cube.b_grid);
        Z = naro_wrap_dbl(Z, cube.c_grid);
        bool dup = false;
        for (int k = 0; k < copies.total; ++k) {
            const NARO_fastgen_xyz& c = copies.copy[static_cast<size_t>(k)];
            if (std::fabs(c.p - X) < 1e-7 && std::fabs(c.q - Y) < 1e-7 && std::fabs(c.r - Z) < 1e-7) {
                dup = true;
                break;
            }
        }
        if (dup || copies.total >= NARO_MAX_SYMOP) continue;
        NARO_fastgen_xyz c;
        c.p = X;
        c.q = Y;
        c.r = Z;
        c.x = naro_wrap(static_cast<int>(std::lround(X)), cube.a_grid);
        c.y = naro_wrap(static_cast<int>(std::lround(Y)), cube.b_grid);
        c.z = naro_wrap(static_cast<int>(std::lround(Z)), cube.c_grid);
        copies.copy[static_cast<size_t>(copies.total++)] = c;
    }
}

int NARO_is_symmetrically_related(const NARO_cif& cif, const NARO_cube& cube, int x1, int y1, int z1, int x2,
                                  int y2, int z2) {
    x1 = naro_wrap(x1, cube.a_grid);
    y1 = naro_wrap(y1, cube.b_grid);
    z1 = naro_wrap(z1, cube.c_grid);
    for (const NARO_fastgen_symop& o : cif.fg.op) {
        int X, Y, Z;
        naro_apply(o, x2, y2, z2, X, Y, Z);
        if (naro_wrap(X, cube.a_grid) == x1 && naro_wrap(Y, cube.b_grid) == y1 && naro_wrap(Z, cube.c_grid) == z1)
            return 1;
    }
    return 0;
}

int NARO_round_copies(double a, int b) {
    double frac = a - std::floor(a);
    if (std::fabs(a - b) < 1 && std::fabs(frac - 0.5) < 0.001) return b;
    return static_cast<int>(std::floor(a + 0.5));
}

void NARO_condense_copies(const NARO_cif&, const NARO_cube& cube, NARO_symcopies& copies, int radius) {
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    std::array<bool, NARO_MAX_SYMOP> used{};
    NARO_symcopies out;
    out.total = 0;
    for (int a = 0; a < copies.total; ++a) {
        if (used[static_cast<size_t>(a)]) continue;
        used[static_cast<size_t>(a)] = true;
        const NARO_fastgen_xyz& f = copies.copy[static_cast<size_t>(a)];
        double sx = f.p, sy = f.q, sz = f.r;
        int members = 1;
        for (int b = a + 1; b < copies.total; ++b) {
            if (used[static_cast<size_t>(b)]) continue;
            const NARO_fastgen_xyz& g = copies.copy[static_cast<size_t>(b)];
            bool hit = false;
            for (int i = -1; i <= 1 && !hit; ++i)
                for (int j = -1; j <= 1 && !hit; ++j)
                    for (int k = -1; k <= 1 && !hit; ++k) {
                        double px = g.p + i * n[0], py = g.q + j * n[1], pz = g.r + k * n[2];
                        if (std::fabs(px - f.p) <= radius + 1e-9 && std::fabs(py - f.q) <= radius + 1e-9 &&
                            std::fabs(pz - f.r) <= radius + 1e-9) {
                            hit = true;
                            used[static_cast<size_t>(b)] = true;
                            sx += px;
                            sy += py;
                            sz += pz;
                            ++members;
                        }
                    }
        }
        double mx = sx / members, my = sy / members, mz = sz / members;
        NARO_fastgen_xyz c;
        c.x = naro_wrap(NARO_round_copies(mx, f.x), n[0]);
        c.y = naro_wrap(NARO_round_copies(my, f.y), n[1]);
        c.z = naro_wrap(NARO_round_copies(mz, f.z), n[2]);
        c.p = naro_wrap_dbl(mx, n[0]);
        c.q = naro_wrap_dbl(my, n[1]);
        c.r = naro_wrap_dbl(mz, n[2]);
        out.copy[static_cast<size_t>(out.total++)] = c;
    }
    copies = out;
}

// ================================================================ asymmetric unit
void NARO_init_asymmetric_unit(NARO_asymmetric_unit& asym) { asym = NARO_asymmetric_unit{}; }

int NARO_add_asymmetric_unit_grid(NARO_asymmetric_unit& asym, int x, int y, int z) {
    asym.grid.push_back({x, y, z});
    asym.total = static_cast<int>(asym.grid.size());
    asym.cap = static_cast<int>(asym.grid.capacity());
    return 0;
}

int NARO_add_asymmetric_unit_sgrid(NARO_asymmetric_unit& asym, int x, int y, int z) {
    asym.sgrid.push_back({x, y, z});
    asym.stotal = static_cast<int>(asym.sgrid.size());
    asym.scap = static_cast<int>(asym.sgrid.capacity());
    return 0;
}

void NARO_free_asymmetric_unit(NARO_asymmetric_unit& asym) { NARO_init_asymmetric_unit(asym); }

// Visits every grid point in shells of growing cubes anchored at the origin (all
// planes up to n - 1 on each axis, so no point is left out); each point not yet
// reached as a symmetry copy becomes the representative of its orbit.
int NARO_find_asymmetric_unit(const NARO_cube& cube, const NARO_cif& cif, NARO_asymmetric_unit& asym) {
    NARO_init_asymmetric_unit(asym);
    const int na = cube.a_grid, nb = cube.b_grid, nc = cube.c_grid;
    std::vector<std::uint8_t> mark(static_cast<size_t>(na) * nb * nc, 0);
    const double sceil = cube.global_minimum + 5;
    const auto& ops = cif.fg.op;
    // At least one representative per |G| points: room for that many up front, so a grid with
    // few operations (P 1: every point) is not copied over and over as the list grows.
    asym.grid.reserve(mark.size() / std::max<size_t>(1, ops.size()));
    auto visit = [&](int i, int j, int k) {
        size_t idx = (static_cast<size_t>(i) * nb + j) * nc + k;
        if (mark[idx]) return;
        NARO_add_asymmetric_unit_grid(asym, i, j, k);
        if (NARO_energy_at(cube, i, j, k) < sceil) NARO_add_asymmetric_unit_sgrid(asym, i, j, k);
        for (const NARO_fastgen_symop& o : ops) {
            int X, Y, Z;
            naro_apply(o, i, j, k, X, Y, Z);
            X = naro_wrap(X, na);
            Y = naro_wrap(Y, nb);
            Z = naro_wrap(Z, nc);
            mark[(static_cast<size_t>(X) * nb + Y) * nc + Z] = 1;
        }
        mark[idx] = 1;
    };
    const int L = std::max(na, std::max(nb, nc));
    for (int l = 0; l < L; ++l) {
        if (l < na)
            for (int j = 0; j <= std::min(l, nb - 1); ++j)
                for (int k = 0; k <= std::min(l, nc - 1); ++k) visit(l, j, k);
        if (l < nb)
            for (int i = 0; i < std::min(l, na); ++i)
                for (int k = 0; k <= std::min(l, nc - 1); ++k) visit(i, l, k);
        if (l < nc)
            for (int i = 0; i < std::min(l, na); ++i)
                for (int j = 0; j < std::min(l, nb); ++j) visit(i, j, l);
    }
    return 0;
}

// ================================================================ smoothing
void NARO_fast_refresh_global_min(NARO_cube& cube, const NARO_asymmetric_unit& asym) {
    if (asym.grid.empty()) return;
    double g = NARO_energy_at(cube, asym.grid[0].x, asym.grid[0].y, asym.grid[0].z);
    for (const NARO_xyz_int& p : asym.grid) g = std::min(g, NARO_energy_at(cube, p.x, p.y, p.z));
    cube.global_minimum = g;
}

int NARO_smooth_cube_with_symmetry(NARO_cube& cube, const NARO_cif& cif, const NARO_asymmetric_unit& asym) {
    constexpr int R = 5;
    constexpr double sigma = 0.15;
    const double pref = 1.0 / (sigma * std::sqrt(2 * 3.14159265358979));
    const double pref3 = pref * pref * pref;
    std::vector<double> w(static_cast<size_t>((2 * R + 1) * (2 * R + 1) * (2 * R + 1)));
    double norm = 0;
    for (int i = -R; i <= R; ++i)
        for (int j = -R; j <= R; ++j)
            for (int k = -R; k <= R; ++k) {
                double d = NARO_distance_grid(cube, 0, 0, 0, i, j, k);
                double v = pref3 * std::exp(-d / (2 * sigma * sigma));
                w[static_cast<size_t>(((i + R) * (2 * R + 1) + (j + R)) * (2 * R + 1) + (k + R))] = v;
                norm += v;
            }
    std::printf("Center weight: %f\n", w[static_cast<size_t>((R * (2 * R + 1) + R) * (2 * R + 1) + R)] / norm);
    std::vector<double> out(cube.energy.size(), 0.0);
    NARO_symcopies copies;
    for (const NARO_xyz_int& p : asym.grid) {
        NARO_fastgen_sym_copies(cif, cube, copies, p.x, p.y, p.z);
        double sum = 0;
        for (int c = 0; c < copies.total; ++c) {
            const NARO_fastgen_xyz& q = copies.copy[static_cast<size_t>(c)];
            size_t wi = 0;
            for (int i = -R; i <= R; ++i)
                for (int j = -R; j <= R; ++j)
                    for (int k = -R; k <= R; ++k) sum += w[wi++] * NARO_cube_energy(cube, q.x + i, q.y + j, q.z + k);
        }
        double v = sum / (copies.total * norm);
        for (int c = 0; c < copies.total; ++c) {
            const NARO_fastgen_xyz& q = copies.copy[static_cast<size_t>(c)];
            out[(static_cast<size_t>(q.x) * cube.b_grid + q.y) * cube.c_grid + q.z] = v;
        }
    }
    cube.energy.swap(out);
    NARO_fast_refresh_global_min(cube, asym);
    NARO_shift_cube_energy(cube);
    return 0;
}

// ================================================================ saddle criterion
namespace {
struct NeighbourTable {
    std::uint32_t adj[27];
    NeighbourTable() {
        for (int a = 0; a < 27; ++a) {
            adj[a] = 0;
            int ax = a / 9 - 1, ay = (a / 3) % 3 - 1, az = a % 3 - 1;
            for (int b = 0; b < 27; ++b) {
                if (a == b || a == 13 || b == 13) continue;
                int bx = b / 9 - 1, by = (b / 3) % 3 - 1, bz = b % 3 - 1;
                if (std::abs(ax - bx) <= 1 && std::abs(ay - by) <= 1 && std::abs(az - bz) <= 1)
                    adj[a] |= (1u << b);
            }
        }
    }
};
const NeighbourTable kNeighbours;

int naro_count_groups(std::uint32_t marked) {
    int groups = 0;
    while (marked) {
        std::uint32_t comp = marked & (~marked + 1u);
        std::uint32_t frontier = comp;
        while (frontier) {
            std::uint32_t next = 0;
            for (std::uint32_t f = frontier; f; f &= f - 1) next |= kNeighbours.adj[__builtin_ctz(f)];
            next &= marked & ~comp;
            comp |= next;
            frontier = next;
        }
        marked &= ~comp;
        ++groups;
    }
    return groups;
}
}  // namespace

// Number of separate groups of lower (or equal) neighbours; two or more make a saddle.
int NARO_find_lower_energy_neighbour_cluster(const NARO_cube& cube, int i, int j, int k) {
    const int xs[3] = {naro_wrap(i - 1, cube.a_grid), naro_wrap(i, cube.a_grid), naro_wrap(i + 1, cube.a_grid)};
    const int ys[3] = {naro_wrap(j - 1, cube.b_grid), naro_wrap(j, cube.b_grid), naro_wrap(j + 1, cube.b_grid)};
    const int zs[3] = {naro_wrap(k - 1, cube.c_grid), naro_wrap(k, cube.c_grid), naro_wrap(k + 1, cube.c_grid)};
    const double e = NARO_energy_at(cube, xs[1], ys[1], zs[1]);
    std::uint32_t lower_or_equal = 0, strictly_lower = 0;
    bool any_equal = false;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 3; ++c) {
                int idx = a * 9 + b * 3 + c;
                if (idx == 13) continue;
                double v = NARO_energy_at(cube, xs[a], ys[b], zs[c]);
                bool equal = std::fabs(v - e) < 1e-7;
                if (equal) any_equal = true;
                if (v < e || equal) lower_or_equal |= (1u << idx);
                if (v <= e - 1e-7) strictly_lower |= (1u << idx);
            }
    int n = naro_count_groups(lower_or_equal);
    if (!any_equal || n > 1) return n;
    n = naro_count_groups(strictly_lower);
    if (n > 1) return n;
    // A pass whose top is two or more points of one energy (a mirror between grid planes makes
    // such pairs) is seen by none of them above: each has only its own side below it. Ordering
    // equal energies by grid index makes the last point of the top see both sides.
    const size_t centre = (static_cast<size_t>(xs[1]) * cube.b_grid + ys[1]) * cube.c_grid + zs[1];
    std::uint32_t lower_by_index = strictly_lower;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 3; ++c) {
                const int idx = a * 9 + b * 3 + c;
                if (idx == 13) continue;
                const size_t at = (static_cast<size_t>(xs[a]) * cube.b_grid + ys[b]) * cube.c_grid + zs[c];
                const double v = cube.energy[at];
                if (std::fabs(v - e) < 1e-7 && at < centre) lower_by_index |= (1u << idx);
            }
    const int by_index = naro_count_groups(lower_by_index);
    return by_index > 1 ? by_index : n;
}

int NARO_find_same_energy_neighbours(const NARO_cube& cube, NARO_same_energy_grid_list& list, int i, int j, int k) {
    list.item.clear();
    list.total = 0;
    const double e0 = NARO_cube_energy(cube, i, j, k);
    list.item.push_back({i, j, k});
    std::vector<NARO_cube_triple_index> stack{{i, j, k}};
    // Depth-first, neighbours tried with x, then y, then z running from +1 down to -1.
    struct Frame { NARO_cube_triple_index p; int next; };
    std::vector<Frame> frames{{{i, j, k}, 0}};
    int result = 0;
    while (!frames.empty() && result == 0) {
        Frame& f = frames.back();
        if (f.next >= 27) {
            frames.pop_back();
            continue;
        }
        int n = f.next++;
        int dx = 1 - n / 9, dy = 1 - (n / 3) % 3, dz = 1 - n % 3;
        if (!dx && !dy && !dz) continue;
        NARO_cube_triple_index q{f.p.x + dx, f.p.y + dy, f.p.z + dz};
        if (std::fabs(NARO_cube_energy(cube, q.x, q.y, q.z) - e0) >= 1e-7) continue;
        bool seen = false;
        for (const auto& p : list.item)
            if (p.x == q.x && p.y == q.y && p.z == q.z) {
                seen = true;
                break;
            }
        if (seen) continue;
        if (list.item.size() > 27) {
            result = -1;
            break;
        }
        list.item.push_back(q);
        frames.push_back({q, 0});
    }
    list.total = static_cast<int>(list.item.size());
    list.cap = static_cast<int>(list.item.capacity());
    return result;
}

// ================================================================ lists
static void naro_sync_minima(NARO_cube& cube) {
    cube.total_minima = static_cast<int>(cube.minima.size());
    cube.total_minima_cap = static_cast<int>(cube.minima.capacity());
}
static void naro_sync_saddle(NARO_cube& cube) {
    cube.total_saddle = static_cast<int>(cube.saddle.size());
    cube.total_saddle_cap = static_cast<int>(cube.saddle.capacity());
}

int NARO_add_cube_minima_point(NARO_cube& cube, int x, int y, int z, double tx, double ty, double tz, double e,
                               int type) {
    NARO_minima m;
    m.x = x;
    m.y = y;
    m.z = z;
    m.tx = tx;
    m.ty = ty;
    m.tz = tz;
    m.e = e;
    m.type = type;
    cube.minima.push_back(m);
    naro_sync_minima(cube);
    return 0;
}

int NARO_add_cube_minima_ion(NARO_minima& minimum, const std::string& label, double occ) {
    std::string l = label.substr(0, 7);
    for (NARO_site_occupied_ion& ion : minimum.ion)
        if (ion.label == l) {
            ion.occ += occ;
            return 0;
        }
    if (static_cast<int>(minimum.ion.size()) >= NARO_MAX_SITE_ION_TYPE) {
        std::fprintf(stderr, "Warning: NARO_MAX_SITE_ION_TYPE exceeded\n");
        return 0;
    }
    minimum.ion.push_back({l, occ});
    minimum.total_ions = static_cast<int>(minimum.ion.size());
    minimum.total_ions_cap = static_cast<int>(minimum.ion.capacity());
    return 0;
}

int NARO_add_cube_saddle_point(NARO_cube& cube, int x, int y, int z, double e, int type) {
    NARO_saddle s;
    s.x = x;
    s.y = y;
    s.z = z;
    s.tx = x;
    s.ty = y;
    s.tz = z;
    s.e = e;
    s.type = type;
    cube.saddle.push_back(s);
    naro_sync_saddle(cube);
    return 0;
}

int NARO_ins_cube_saddle_point(NARO_cube& cube, int x, int y, int z, double e, int type, int pos) {
    if (pos < 0 || pos > static_cast<int>(cube.saddle.size())) {
        std::printf("strange");
        return 1;
    }
    NARO_saddle s;
    s.x = x;
    s.y = y;
    s.z = z;
    s.tx = x;
    s.ty = y;
    s.tz = z;
    s.e = e;
    s.type = type;
    cube.saddle.insert(cube.saddle.begin() + pos, s);
    naro_sync_saddle(cube);
    return 0;
}

int NARO_del_cube_minima_point(NARO_cube& cube, int k) {
    if (k < 0 || k >= static_cast<int>(cube.minima.size())) return 1;
    cube.minima.erase(cube.minima.begin() + k);
    naro_sync_minima(cube);
    return 0;
}

int NARO_del_cube_saddle_point(NARO_cube& cube, int k) {
    if (k < 0 || k >= static_cast<int>(cube.saddle.size())) return 1;
    cube.saddle.erase(cube.saddle.begin() + k);
    naro_sync_saddle(cube);
    return 0;
}

int NARO_del_cube_minima_point_by_loc(NARO_cube& cube, int i, int j, int k) {
    for (size_t m = cube.minima.size(); m-- > 0;)
        if (cube.minima[m].x == i && cube.minima[m].y == j && cube.minima[m].z == k)
            cube.minima.erase(cube.minima.begin() + static_cast<long>(m));
    naro_sync_minima(cube);
    return 0;
}

int NARO_del_cube_saddle_point_by_loc(NARO_cube& cube, int i, int j, int k) {
    for (size_t m = cube.saddle.size(); m-- > 0;)
        if (cube.saddle[m].x == i && cube.saddle[m].y == j && cube.saddle[m].z == k)
            cube.saddle.erase(cube.saddle.begin() + static_cast<long>(m));
    naro_sync_saddle(cube);
    return 0;
}

int NARO_inlist_cube_saddle_point(const NARO_cube& cube, int x, int y, int z) {
    for (const NARO_saddle& s : cube.saddle)
        if (s.x == x && s.y == y && s.z == z) return 1;
    return 0;
}

// ================================================================ stationary-point searches
namespace {
constexpr std::uint8_t kNaroOrdinaryPoint = 0, kNaroSaddlePoint = 1, kNaroMinimumPoint = 2;
constexpr long kNaroPointsPerPart = 4096;

// Saddle (two or more separate groups of lower neighbours), minimum, or neither; points above
// the energy ceiling are neither.
std::uint8_t naro_classify_point(const NARO_cube& cube, int x, int y, int z) {
    if (NARO_energy_at(cube, x, y, z) > cube.max_energy) return kNaroOrdinaryPoint;
    if (NARO_find_lower_energy_neighbour_cluster(cube, x, y, z) >= 2) return kNaroSaddlePoint;
    return NARO_is_minimum(cube, x, y, z) ? kNaroMinimumPoint : kNaroOrdinaryPoint;
}

// The kind of every listed point, the list shared out in parts over the threads.
std::vector<std::uint8_t> naro_classify_points(const NARO_cube& cube, const std::vector<NARO_xyz_int>& points) {
    std::vector<std::uint8_t> kind(points.size(), kNaroOrdinaryPoint);
    const long n = static_cast<long>(points.size());
    workshare_parts((n + kNaroPointsPerPart - 1) / kNaroPointsPerPart, workshare_threads_usable(), [&](long part) {
        const long end = std::min(n, (part + 1) * kNaroPointsPerPart);
        for (long m = part * kNaroPointsPerPart; m < end; ++m) {
            const NARO_xyz_int& p = points[static_cast<size_t>(m)];
            kind[static_cast<size_t>(m)] = naro_classify_point(cube, p.x, p.y, p.z);
        }
    });
    return kind;
}

// The kind of every grid point (index (i * b_grid + j) * c_grid + k), plane by plane.
std::vector<std::uint8_t> naro_classify_grid(const NARO_cube& cube) {
    const int na = cube.a_grid, nb = cube.b_grid, nc = cube.c_grid;
    std::vector<std::uint8_t> kind(static_cast<size_t>(na) * nb * nc, kNaroOrdinaryPoint);
    workshare_parts(na, workshare_threads_usable(), [&](long i) {
        size_t idx = static_cast<size_t>(i) * nb * nc;
        for (int j = 0; j < nb; ++j)
            for (int k = 0; k < nc; ++k, ++idx) kind[idx] = naro_classify_point(cube, static_cast<int>(i), j, k);
    });
    return kind;
}
}  // namespace

int NARO_find_stationary_points(NARO_cube& cube, const NARO_cif& cif, const NARO_asymmetric_unit& asym) {
    NARO_init_cube_stationary_points(cube);
    const std::vector<std::uint8_t> kind = naro_classify_points(cube, asym.grid);
    NARO_symcopies copies;
    for (size_t m = 0; m < asym.grid.size(); ++m) {
        const NARO_xyz_int& p = asym.grid[m];
        if (kind[m] == kNaroSaddlePoint) {
            NARO_fastgen_sym_copies(cif, cube, copies, p.x, p.y, p.z);
            NARO_condense_copies(cif, cube, copies, 1);
            for (int c = 0; c < copies.total; ++c) {
                const NARO_fastgen_xyz& q = copies.copy[static_cast<size_t>(c)];
                NARO_add_cube_saddle_point(cube, q.x, q.y, q.z, NARO_energy_at(cube, q.x, q.y, q.z), 0);
                NARO_saddle& s = cube.saddle.back();
                s.tx = q.p;
                s.ty = q.q;
                s.tz = q.r;
                NARO_del_cube_minima_point_by_loc(cube, q.x, q.y, q.z);
            }
        } else if (kind[m] == kNaroMinimumPoint) {
            NARO_fastgen_sym_copies(cif, cube, copies, p.x, p.y, p.z);
            NARO_condense_copies(cif, cube, copies, 1);
            for (int c = 0; c < copies.total; ++c) {
                const NARO_fastgen_xyz& q = copies.copy[static_cast<size_t>(c)];
                NARO_add_cube_minima_point(cube, q.x, q.y, q.z, q.p, q.q, q.r, NARO_energy_at(cube, q.x, q.y, q.z), 0);
            }
        }
    }
    return 0;
}

int NARO_find_stationary_points2(NARO_cube& cube, const NARO_cif& cif) {
    NARO_init_cube_stationary_points(cube);
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    const std::vector<std::uint8_t> kind = naro_classify_grid(cube);
    size_t idx = 0;
    for (int i = 0; i < n[0]; ++i)
        for (int j = 0; j < n[1]; ++j)
            for (int k = 0; k < n[2]; ++k, ++idx) {
                if (kind[idx] == kNaroOrdinaryPoint) continue;
                const double e = NARO_energy_at(cube, i, j, k);
                if (kind[idx] == kNaroSaddlePoint) NARO_add_cube_saddle_point(cube, i, j, k, e, 0);
                else NARO_add_cube_minima_point(cube, i, j, k, i, j, k, e, 0);
            }
    // Symmetry-related saddles closer than 3 steps describe one bottleneck: merge them into
    // the point at their mean. Where that point is no saddle (mirror-image passes on either
    // side of a shallow site, the mean falling into the site), the merged record would sit
    // in no pass at all and the hops through it would be lost: those saddles stay apart.
    std::vector<char> settled(cube.saddle.size(), 0);
    for (size_t m = 0; m < cube.saddle.size(); ++m) {
        if (settled[m]) continue;
        const NARO_saddle s = cube.saddle[m];
        double sx = s.x, sy = s.y, sz = s.z;
        std::vector<size_t> group;
        for (size_t o = m + 1; o < cube.saddle.size(); ++o) {
            if (settled[o]) continue;
            const NARO_saddle& t = cube.saddle[o];
            bool hit = false;
            double hx = 0, hy = 0, hz = 0;
            if (NARO_is_symmetrically_related(cif, cube, t.x, t.y, t.z, s.x, s.y, s.z)) {
                for (int a = -1; a <= 1 && !hit; ++a)
                    for (int b = -1; b <= 1 && !hit; ++b)
                        for (int c = -1; c <= 1 && !hit; ++c) {
                            double px = t.x + a * n[0], py = t.y + b * n[1], pz = t.z + c * n[2];
                            if (std::fabs(px - s.x) < 3 && std::fabs(py - s.y) < 3 && std::fabs(pz - s.z) < 3) {
                                hit = true;
                                hx = px;
                                hy = py;
                                hz = pz;
                            }
                        }
            }
            if (hit) {
                sx += hx;
                sy += hy;
                sz += hz;
                group.push_back(o);
            }
        }
        if (group.empty()) continue;
        const int members = static_cast<int>(group.size()) + 1;
        const double mx = sx / members, my = sy / members, mz = sz / members;
        const int gx = naro_wrap(static_cast<int>(std::floor(mx + 0.5)), n[0]);
        const int gy = naro_wrap(static_cast<int>(std::floor(my + 0.5)), n[1]);
        const int gz = naro_wrap(static_cast<int>(std::floor(mz + 0.5)), n[2]);
        if (NARO_find_lower_energy_neighbour_cluster(cube, gx, gy, gz) < 2) {
            settled[m] = 1;
            for (size_t o : group) settled[o] = 1;
            continue;
        }
        NARO_saddle& r = cube.saddle[m];
        r.tx = naro_wrap_dbl(mx, n[0]);
        r.ty = naro_wrap_dbl(my, n[1]);
        r.tz = naro_wrap_dbl(mz, n[2]);
        r.x = gx;
        r.y = gy;
        r.z = gz;
        for (auto it = group.rbegin(); it != group.rend(); ++it) {
            cube.saddle.erase(cube.saddle.begin() + static_cast<long>(*it));
            settled.erase(settled.begin() + static_cast<long>(*it));
        }
    }
    naro_sync_saddle(cube);
    for (const NARO_saddle& s : cube.saddle) NARO_del_cube_minima_point_by_loc(cube, s.x, s.y, s.z);
    return 0;
}

// ================================================================ grouping
template <class Point>
static void naro_refresh_type_index(std::vector<Point>& pts, int total_types, std::vector<int>& index) {
    index.assign(static_cast<size_t>(total_types) + 2, static_cast<int>(pts.size()));
    index[0] = 0;
    // One pass: the first member of every type (this runs after each deletion, so a
    // scan per type would make deleting many types quadratic in the list size).
    for (size_t m = pts.size(); m-- > 0;) {
        const int t = pts[m].type;
        if (t >= 1 && t <= total_types) index[static_cast<size_t>(t)] = static_cast<int>(m);
    }
    // Types are contiguous and sorted: an empty type starts where the next begins.
    for (int t = total_types; t >= 1; --t)
        if (index[static_cast<size_t>(t)] > index[static_cast<size_t>(t) + 1])
            index[static_cast<size_t>(t)] = index[static_cast<size_t>(t) + 1];
}

void NARO_refresh_minima_type_index(NARO_cube& cube) {
    naro_refresh_type_index(cube.minima, cube.total_minima_type, cube.minima_type_index);
}
void NARO_refresh_saddle_type_index(NARO_cube& cube) {
    naro_refresh_type_index(cube.saddle, cube.total_saddle_type, cube.saddle_type_index);
}

// Types renumbered by ascending energy (type 1 lowest) and the list sorted by type.
template <class Point>
static void naro_renumber_and_sort(std::vector<Point>& pts, int total_types) {
    std::vector<double> energy(static_cast<size_t>(total_types) + 1, 0.0);
    std::vector<bool> seen(static_cast<size_t>(total_types) + 1, false);
    for (const Point& p : pts)
        if (p.type > 0 && !seen[static_cast<size_t>(p.type)]) {
            seen[static_cast<size_t>(p.type)] = true;
            energy[static_cast<size_t>(p.type)] = p.e;
        }
    NARO_heap heap;
    for (int t = 1; t <= total_types; ++t) heap_insert(heap, energy[static_cast<size_t>(t)], t);
    std::vector<int> newtype(static_cast<size_t>(total_types) + 1, 0);
    NARO_heap_item it;
    int next = 0;
    while (heap_extract(heap, &it) == 0) newtype[static_cast<size_t>(it.index)] = ++next;
    for (Point& p : pts) p.type = newtype[static_cast<size_t>(p.type)];
    std::stable_sort(pts.begin(), pts.end(), [](const Point& a, const Point& b) { return a.type < b.type; });
}

// Types by symmetry orbit: each point not yet typed starts a new type and takes the
// number of its grid copies as multiplicity; every later untyped point that
// `same_orbit(first, point, copy)` accepts for one of the copies joins that type.
// Returns the number of types.
template <class Point, class SameOrbit>
static int naro_type_by_orbit(const NARO_cif& cif, const NARO_cube& cube, std::vector<Point>& pts,
                              SameOrbit same_orbit) {
    int types = 0;
    NARO_symcopies copies;
    for (size_t m = 0; m < pts.size(); ++m) {
        if (pts[m].type != 0) continue;
        Point& p = pts[m];
        p.type = ++types;
        NARO_fastgen_sym_copies(cif, cube, copies, p.x, p.y, p.z);
        p.mul = copies.total;
        for (size_t o = m + 1; o < pts.size(); ++o) {
            Point& q = pts[o];
            if (q.type != 0) continue;
            for (int c = 0; c < copies.total; ++c)
                if (same_orbit(p, q, copies.copy[static_cast<size_t>(c)])) {
                    q.type = p.type;
                    q.mul = p.mul;
                    break;
                }
        }
    }
    return types;
}

int NARO_group_minima_by_symmetry(NARO_cube& cube, const NARO_cif& cif) {
    const int types = naro_type_by_orbit(cif, cube, cube.minima, [](const NARO_minima&, const NARO_minima& q,
                                                                    const NARO_fastgen_xyz& k) {
        return k.x == q.x && k.y == q.y && k.z == q.z;
    });
    cube.total_minima_type = types;
    naro_renumber_and_sort(cube.minima, types);
    NARO_refresh_minima_type_index(cube);
    naro_sync_minima(cube);
    return 0;
}

int NARO_delete_minima(NARO_cube& cube, int k) {
    if (k < 0 || k >= static_cast<int>(cube.minima.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_delete_minima()\n");
        return 1;
    }
    NARO_del_cube_minima_point(cube, k);
    NARO_refresh_minima_type_index(cube);
    return 0;
}

int NARO_delete_saddle(NARO_cube& cube, int k) {
    if (k < 0 || k >= static_cast<int>(cube.saddle.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_delete_saddle()\n");
        return 1;
    }
    NARO_del_cube_saddle_point(cube, k);
    NARO_refresh_saddle_type_index(cube);
    return 0;
}

template <class Point>
static void naro_delete_type(std::vector<Point>& pts, int k) {
    pts.erase(std::remove_if(pts.begin(), pts.end(), [k](const Point& p) { return p.type == k; }), pts.end());
    for (Point& p : pts)
        if (p.type > k) --p.type;
}

int NARO_delete_minima_type(NARO_cube& cube, int k) {
    if (k < 1 || k > cube.total_minima_type) {
        std::fprintf(stderr, "Error: Invalid input to NARO_delete_minima_type()\n");
        return 1;
    }
    naro_delete_type(cube.minima, k);
    --cube.total_minima_type;
    naro_sync_minima(cube);
    NARO_refresh_minima_type_index(cube);
    return 0;
}

int NARO_delete_saddle_type(NARO_cube& cube, int k) {
    if (k < 1 || k > cube.total_saddle_type) {
        std::fprintf(stderr, "Error: Invalid input to NARO_delete_saddle_type()\n");
        return 1;
    }
    naro_delete_type(cube.saddle, k);
    --cube.total_saddle_type;
    naro_sync_saddle(cube);
    NARO_refresh_saddle_type_index(cube);
    return 0;
}

// Grid files store energies to 1e-6 eV: symmetry copies of one point may differ by
// that much and no more.
constexpr double kOrbitEnergyTolerance = 1.01e-6;

// Offset of an image of b within `steps` of a on every axis, if any.
static bool naro_near_image(const NARO_cube& cube, double ax, double ay, double az, double bx, double by,
                            double bz, double steps) {
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k)
                if (std::fabs(bx + i * n[0] - ax) <= steps && std::fabs(by + j * n[1] - ay) <= steps &&
                    std::fabs(bz + k * n[2] - az) <= steps)
                    return true;
    return false;
}

// Offset (in grid points, whole cells) of the image of b within one step of a on every
// axis; false when there is none.
static bool naro_adjacent_image(const NARO_cube& cube, const NARO_saddle& a, const NARO_saddle& b, int shift[3]) {
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k)
                if (std::abs(b.x + i * n[0] - a.x) <= 1 && std::abs(b.y + j * n[1] - a.y) <= 1 &&
                    std::abs(b.z + k * n[2] - a.z) <= 1) {
                    shift[0] = i * n[0];
                    shift[1] = j * n[1];
                    shift[2] = k * n[2];
                    return true;
                }
    return false;
}

// Floors (unwrapped grid points with no strictly lower neighbour) reached by steepest
// descent from each strictly lower neighbour of the point (x, y, z); a descent that runs
// into the point `stop` ends there.
static std::vector<NARO_cube_triple_index> naro_descent_floors(const NARO_cube& cube, int x, int y, int z,
                                                               const NARO_cube_triple_index& stop) {
    constexpr int kMaxSteps = 100000;
    std::vector<NARO_cube_triple_index> floors;
    const double e0 = NARO_cube_energy(cube, x, y, z);
    for (int da = -1; da <= 1; ++da)
        for (int db = -1; db <= 1; ++db)
            for (int dc = -1; dc <= 1; ++dc) {
                if (da == 0 && db == 0 && dc == 0) continue;
                NARO_cube_triple_index p{x + da, y + db, z + dc};
                double e = NARO_cube_energy(cube, p.x, p.y, p.z);
                if (!(e <= e0 - 1e-7)) continue;
                for (int step = 0; step < kMaxSteps; ++step) {
                    if (p.x == stop.x && p.y == stop.y && p.z == stop.z) break;
                    NARO_cube_triple_index best = p;
                    double best_e = e;
                    for (int i = -1; i <= 1; ++i)
                        for (int j = -1; j <= 1; ++j)
                            for (int k = -1; k <= 1; ++k) {
                                const double v = NARO_cube_energy(cube, p.x + i, p.y + j, p.z + k);
                                if (v <= best_e - 1e-7) {
                                    best_e = v;
                                    best = {p.x + i, p.y + j, p.z + k};
                                }
                            }
                    if (best_e == e) break;
                    p = best;
                    e = best_e;
                }
                bool known = false;
                for (const auto& f : floors) known = known || (f.x == p.x && f.y == p.y && f.z == p.z);
                if (!known) floors.push_back(p);
            }
    return floors;
}

// A saddle next to a lower one is the same bottleneck seen twice when each of its descents
// runs into the lower saddle or into a floor reached from it; one that leads into a further
// basin is a pass of its own.
static bool naro_same_bottleneck(const NARO_cube& cube, const NARO_saddle& lower, const NARO_saddle& higher,
                                 const int shift[3]) {
    const NARO_cube_triple_index at{lower.x, lower.y, lower.z};
    auto low = naro_descent_floors(cube, lower.x, lower.y, lower.z, at);
    low.push_back(at);
    const auto high = naro_descent_floors(cube, higher.x + shift[0], higher.y + shift[1], higher.z + shift[2], at);
    for (const auto& h : high) {
        bool seen = false;
        for (const auto& l : low) seen = seen || (l.x == h.x && l.y == h.y && l.z == h.z);
        if (!seen) return false;
    }
    return true;
}

int NARO_group_saddle_by_symmetry(NARO_cube& cube, const NARO_cif& cif) {
    // One type is one orbit: a saddle joins when an operation maps the first member to
    // within a voxel of it (periodic images included) and the two energies agree to the
    // rounding of the grid file.
    const int types = naro_type_by_orbit(cif, cube, cube.saddle, [&cube](const NARO_saddle& p, const NARO_saddle& q,
                                                                        const NARO_fastgen_xyz& k) {
        return std::fabs(q.e - p.e) <= kOrbitEnergyTolerance && naro_near_image(cube, k.x, k.y, k.z, q.x, q.y, q.z, 1);
    });
    cube.total_saddle_type = types;
    naro_renumber_and_sort(cube.saddle, types);
    naro_sync_saddle(cube);
    NARO_refresh_saddle_type_index(cube);

    // Adjacent types: a type whose first member lies next to the first member of a
    // lower type is the same bottleneck seen twice, unless somewhere it leads into a basin
    // the lower one does not (a pass beside a pass, as in a flat bowl of shallow sites;
    // on a grid the copies of a type differ by a voxel, so every member is looked at).
    auto members = [&cube](int type) {
        return std::pair<int, int>{cube.saddle_type_index[static_cast<size_t>(type)],
                                   cube.saddle_type_index[static_cast<size_t>(type) + 1]};
    };
    auto seen_twice = [&](int t, int u) {
        const auto [t0, t1] = members(t);
        const auto [u0, u1] = members(u);
        for (int m = u0; m < u1; ++m) {
            const NARO_saddle& su = cube.saddle[static_cast<size_t>(m)];
            bool covered = false;
            for (int k = t0; k < t1 && !covered; ++k) {
                const NARO_saddle& st = cube.saddle[static_cast<size_t>(k)];
                int shift[3];
                covered = naro_adjacent_image(cube, st, su, shift) && naro_same_bottleneck(cube, st, su, shift);
            }
            if (!covered) return false;
        }
        return true;
    };
    for (int t = 1; t <= cube.total_saddle_type; ++t) {
        for (int u = t + 1; u <= cube.total_saddle_type;) {
            const NARO_saddle& st = cube.saddle[static_cast<size_t>(cube.saddle_type_index[static_cast<size_t>(t)])];
            const NARO_saddle& su = cube.saddle[static_cast<size_t>(cube.saddle_type_index[static_cast<size_t>(u)])];
            int shift[3];
            if (naro_adjacent_image(cube, st, su, shift) && seen_twice(t, u)) {
                if (NARO_delete_saddle_type(cube, u) != 0) return 1;
            } else {
                ++u;
            }
        }
    }

    // Plateaus of equal energy.
    NARO_same_energy_grid_list plateau;
    for (int t = 1; t <= cube.total_saddle_type;) {
        bool deleted = false;
        for (int m = cube.saddle_type_index[static_cast<size_t>(t)];
             m < cube.saddle_type_index[static_cast<size_t>(t) + 1]; ++m) {
            NARO_saddle& s = cube.saddle[static_cast<size_t>(m)];
            int r = NARO_find_same_energy_neighbours(cube, plateau, s.x, s.y, s.z);
            if (r == -1 || plateau.item.size() > 27) {
                if (NARO_delete_saddle_type(cube, t) != 0) return 1;
                deleted = true;
                break;
            }
            double sx = 0, sy = 0, sz = 0;
            for (const auto& q : plateau.item) {
                sx += q.x;
                sy += q.y;
                sz += q.z;
            }
            const double np = static_cast<double>(plateau.item.size());
            s.tx = sx / np;
            s.ty = sy / np;
            s.tz = sz / np;
            if (plateau.item.size() > 1) {
                for (int o = cube.saddle_type_index[static_cast<size_t>(t) + 1] - 1; o > m; --o) {
                    const NARO_saddle& q = cube.saddle[static_cast<size_t>(o)];
                    bool near = false;
                    for (size_t pi = 1; pi < plateau.item.size() && !near; ++pi)
                        near = naro_near_image(cube, plateau.item[pi].x, plateau.item[pi].y, plateau.item[pi].z, q.x,
                                               q.y, q.z, 1);
                    if (near) {
                        NARO_del_cube_saddle_point(cube, o);
                        NARO_refresh_saddle_type_index(cube);
                    }
                }
            }
        }
        if (!deleted) ++t;
    }
    naro_sync_saddle(cube);
    NARO_refresh_saddle_type_index(cube);
    return 0;
}

// ================================================================ ions and labels
int NARO_assign_ion_to_sites(NARO_cube& cube, const NARO_cif& cif) {
    NARO_nearest_neighbour nn;
    for (const NARO_site& site : cif.site) {
        if (!NARO_site_is_probe(cif, site)) continue;
        NARO_equiv_pos pos;
        if (NARO_symmetry_generate_equivalent_copies(cif, pos, site.x, site.y, site.z) != 0) return 1;
        for (const auto& f : pos.frac) {
            int gx = static_cast<int>(std::trunc(f.a * cube.a_grid + 0.5));
            int gy = static_cast<int>(std::trunc(f.b * cube.b_grid + 0.5));
            int gz = static_cast<int>(std::trunc(f.c * cube.c_grid + 0.5));
            if (gx >= cube.a_grid) gx = 0;
            if (gy >= cube.b_grid) gy = 0;
            if (gz >= cube.c_grid) gz = 0;
            if (NARO_get_nearest_minima(cube, nn, NARO_MAX_ION_DELOCALISED_SITES, gx, gy, gz) != 0) return 1;
            if (nn.item.empty() || nn.item[0].index < 0) continue;
            const double dmin = nn.item[0].distance;
            int l = 0;
            while (l < static_cast<int>(nn.item.size()) && nn.item[static_cast<size_t>(l)].index >= 0 &&
                   std::fabs(nn.item[static_cast<size_t>(l)].distance - dmin) < 1e-7)
                ++l;
            if (l >= NARO_MAX_ION_DELOCALISED_SITES)
                std::fprintf(stderr, "Warning: NARO_MAX_ION_DELOCALISED_SITES exceeded\n");
            for (int q = 0; q < l; ++q)
                NARO_add_cube_minima_ion(cube.minima[static_cast<size_t>(nn.item[static_cast<size_t>(q)].index)],
                                         site.label, site.occ / l);
        }
    }
    return 0;
}

void NARO_assign_interstitial_labels(NARO_cube& cube, const NARO_cif&) {
    int next = 0;
    for (int t = 1; t <= cube.total_minima_type; ++t) {
        int first = cube.minima_type_index[static_cast<size_t>(t)];
        int last = cube.minima_type_index[static_cast<size_t>(t) + 1];
        if (first >= last) continue;
        bool holds = false;
        for (const auto& ion : cube.minima[static_cast<size_t>(first)].ion)
            if (ion.occ > 1e-7) holds = true;
        int label = holds ? 0 : ++next;
        for (int m = first; m < last; ++m) cube.minima[static_cast<size_t>(m)].ins_label = label;
    }
}

int NARO_label_minima_site(const NARO_cube& cube, std::string& out, int type) {
    out.clear();
    if (type < 1 || type > cube.total_minima_type) return 1;
    int first = cube.minima_type_index[static_cast<size_t>(type)];
    if (first >= static_cast<int>(cube.minima.size())) return 1;
    const NARO_minima& m = cube.minima[static_cast<size_t>(first)];
    if (m.ins_label > 0) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "i%d", m.ins_label);
        out = buf;
        return 0;
    }
    for (const auto& ion : m.ion) {
        if (ion.occ <= 1e-7) continue;
        if (!out.empty()) out += "/";
        out += ion.label;
    }
    return 0;
}

// ================================================================ printouts
static void naro_print_banner(FILE* out, const char* title) {
    const std::string dashes(65, '-');
    std::fprintf(out, "%s\r\n%s\r\n%s\r\n\r\n", dashes.c_str(), title, dashes.c_str());
}

int NARO_printminima(const NARO_cube& cube, FILE* out) {
    naro_print_banner(out, "                  Summary of energy local minima                  ");
    std::fprintf(out, "Total local minima in unit cell: %d\r\n", cube.total_minima);
    std::fprintf(out, "Total symmetrically inequivalent: %d\r\n\r\n", cube.total_minima_type);
    std::string label;
    for (int t = 1; t <= cube.total_minima_type; ++t) {
        int first = cube.minima_type_index[static_cast<size_t>(t)];
        int last = cube.minima_type_index[static_cast<size_t>(t) + 1];
        if (first >= last) continue;
        NARO_label_minima_site(cube, label, t);
        std::fprintf(out, "Minima type: %s (Energy: %.6f eV)\r\n", label.c_str(),
                     NARO_scale_cube_energy(cube, cube.minima[static_cast<size_t>(first)].e));
        std::fprintf(out, "    Index   Grid coor.    True grid coor.     Frac. coor.         Occ.    Ion type\r\n");
        for (int m = first; m < last; ++m) {
            const NARO_minima& p = cube.minima[static_cast<size_t>(m)];
            std::fprintf(out, "    %5d   %3d %3d %3d   %5.1f %5.1f %5.1f   %5.3f %5.3f %5.3f   ", m, p.x, p.y, p.z,
                         p.tx, p.ty, p.tz, p.tx / cube.a_grid, p.ty / cube.b_grid, p.tz / cube.c_grid);
            bool any = false;
            for (const auto& ion : p.ion) {
                if (!(ion.occ > 0)) continue;
                if (any) std::fprintf(out, "%66s", "");
                std::fprintf(out, "%4.3f   %s\r\n", ion.occ, ion.label.c_str());
                any = true;
            }
            if (!any) std::fprintf(out, "\r\n");
        }
        std::fprintf(out, "Multiplicity: %d\r\n\r\n", last - first);
    }
    return 0;
}

int NARO_printsaddle(const NARO_cube& cube, FILE* out) {
    naro_print_banner(out, "                  Summary of energy saddle point                  ");
    std::fprintf(out, "Total local saddle in unit cell: %d\r\n", cube.total_saddle);
    std::fprintf(out, "Total symmetrically inequivalent: %d\r\n\r\n", cube.total_saddle_type);
    for (int t = 1; t <= cube.total_saddle_type; ++t) {
        int first = cube.saddle_type_index[static_cast<size_t>(t)];
        int last = cube.saddle_type_index[static_cast<size_t>(t) + 1];
        if (first >= last) continue;
        std::fprintf(out, "Saddle type: s%d (Energy: %.6f eV)\r\n", t,
                     NARO_scale_cube_energy(cube, cube.saddle[static_cast<size_t>(first)].e));
        std::fprintf(out, "    Index   Grid coor.    True grid coor.     Frac. coor.         True frac. coor.\r\n");
        for (int m = first; m < last; ++m) {
            const NARO_saddle& p = cube.saddle[static_cast<size_t>(m)];
            std::fprintf(out, "    %5d   %3d %3d %3d   %5.1f %5.1f %5.1f   %5.3f %5.3f %5.3f   %5.3f %5.3f %5.3f\r\n", m,
                         p.x, p.y, p.z, p.tx, p.ty, p.tz, static_cast<double>(p.x) / cube.a_grid,
                         static_cast<double>(p.y) / cube.b_grid, static_cast<double>(p.z) / cube.c_grid,
                         p.tx / cube.a_grid, p.ty / cube.b_grid, p.tz / cube.c_grid);
        }
        std::fprintf(out, "Multiplicity: %d\r\n\r\n", last - first);
    }
    return 0;
}
