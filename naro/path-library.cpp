// The library of migration paths: one distinct hop per combination of start, end and
// saddle type, every periodic copy of it, the grid walks between minimum and saddle,
// and the library printout. Minima are handled unwrapped (path-points.hpp).
#include "path-library.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <queue>
#include <set>
#include <tuple>
#include <unordered_map>

#include "cube.hpp"
#include "path-points.hpp"
#include "saddle-descent.hpp"
#include "stationary.hpp"

using namespace naro_walk;

namespace {

constexpr double kPi = 3.14159265;
constexpr double kMaxHopDistance = 3.5;   // Angstrom from saddle to minimum
constexpr int kNearestMinima = 10;
constexpr int kMaxPathLength = 1000;

inline double energy_wrapped(const NARO_cube& c, int x, int y, int z) {
    return NARO_cube_energy(c, x, y, z);
}
inline double energy_wrapped(const NARO_cube& c, const Tri& p) {
    return energy_wrapped(c, p.x, p.y, p.z);
}

// Angstrom distance of two points in grid units; no periodic image is sought.
inline double dist_grid(const NARO_cube& c, double x1, double y1, double z1, double x2, double y2,
                        double z2) {
    return NARO_distance_grid(c, x1, y1, z1, x2, y2, z2);
}
inline double dist_grid(const NARO_cube& c, const Tri& p, const Tri& q) {
    return NARO_distance_grid(c, p.x, p.y, p.z, q.x, q.y, q.z);
}

inline bool at_least_right_angle(double radians, double slack_degrees = 0.0) {
    return radians * 180.0 / kPi >= 90.0 - slack_degrees;
}
// The copies of a hop are measured between grid points, not between the true positions
// its own ends were chosen by: a hop whose ends stand at a right angle comes out a little
// either side of it in its copies. One degree covers that rounding; two ends on one side
// of a saddle stand far below it.
constexpr double kCopyAngleSlack = 1.0;

inline Tri saddle_point(const NARO_cube& c, int s) {
    const NARO_saddle& p = c.saddle[s];
    return {p.x, p.y, p.z};
}

inline bool neighbours(const Tri& a, const Tri& b) {
    return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1 && std::abs(a.z - b.z) <= 1;
}

inline double true_image_distance(const NARO_cube& c, int m, int p, int q, int r, const Tri& s) {
    const NARO_minima& mm = c.minima[m];
    return dist_grid(c, mm.tx + p * c.a_grid, mm.ty + q * c.b_grid, mm.tz + r * c.c_grid, s.x, s.y,
                     s.z);
}

// Range of list indices [first, last) of one symmetry type.
inline std::pair<int, int> type_range(const std::vector<int>& index, int total_types, int type,
                                      int list_size) {
    if (type < 1 || type > total_types || static_cast<int>(index.size()) <= type)
        return {0, 0};
    const int first = index[static_cast<size_t>(type)];
    const int last = static_cast<int>(index.size()) > type + 1
                         ? index[static_cast<size_t>(type) + 1]
                         : list_size;
    return {std::clamp(first, 0, list_size), std::clamp(last, 0, list_size)};
}

inline void sync_counts(NARO_pathlib& lib) {
    lib.total_path = static_cast<int>(lib.path.size());
    lib.total_allpath = static_cast<int>(lib.allpath.size());
}

inline bool path_matches_allpath(const NARO_path& p, const NARO_allpath& ap) {
    return p.saddle_type == ap.saddle_type &&
           ((p.start_type == ap.start_type && p.end_type == ap.end_type) ||
            (p.start_type == ap.end_type && p.end_type == ap.start_type));
}

// All-paths whose minima (and saddle) exist in the landscape: a library can outlive
// edits of the stationary points.
inline bool allpath_minima_in_cube(const NARO_cube& c, const NARO_allpath& ap) {
    const int nmin = static_cast<int>(c.minima.size());
    return ap.start >= 0 && ap.start < nmin && ap.end >= 0 && ap.end < nmin;
}
inline bool allpath_in_cube(const NARO_cube& c, const NARO_allpath& ap) {
    return allpath_minima_in_cube(c, ap) && ap.saddle >= 0 &&
           ap.saddle < static_cast<int>(c.saddle.size());
}

inline Tri allpath_start_pos(const NARO_cube& c, const NARO_allpath& ap) {
    return minimum_image(c, ap.start, ap.start_crossx, ap.start_crossy, ap.start_crossz);
}
inline Tri allpath_end_pos(const NARO_cube& c, const NARO_allpath& ap) {
    return minimum_image(c, ap.end, ap.end_crossx, ap.end_crossy, ap.end_crossz);
}

}  // namespace

// ====================================================================== library records

void NARO_init_pathlib(NARO_pathlib& pathlib) { pathlib = NARO_pathlib{}; }

int NARO_copy_pathlib(const NARO_pathlib& in, NARO_pathlib& out) {
    out = in;
    sync_counts(out);
    return 0;
}

void NARO_free_pathlib(NARO_pathlib& pathlib) {
    pathlib.path.clear();
    pathlib.path.shrink_to_fit();
    pathlib.allpath.clear();
    pathlib.allpath.shrink_to_fit();
    sync_counts(pathlib);
}

int NARO_isin_pathlib(const NARO_pathlib& pathlib, int start_type, int end_type, int saddle_type) {
    for (const NARO_path& p : pathlib.path) {
        if (p.saddle_type != saddle_type) continue;
        if ((p.start_type == start_type && p.end_type == end_type) ||
            (p.start_type == end_type && p.end_type == start_type))
            return 1;
    }
    return 0;
}

int NARO_bubblesort_pathlib(NARO_pathlib& pathlib) {
    std::vector<NARO_path>& v = pathlib.path;
    for (size_t n = v.size(); n > 1; --n) {
        bool swapped = false;
        for (size_t i = 0; i + 1 < n; ++i) {
            if (v[i].saddle_energy > v[i + 1].saddle_energy) {
                std::swap(v[i], v[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) break;
    }
    return 0;
}

int NARO_get_allpath_to_path_index(const NARO_pathlib& pathlib, int k) {
    if (k < 0 || k >= static_cast<int>(pathlib.allpath.size())) return -1;
    const NARO_allpath& ap = pathlib.allpath[static_cast<size_t>(k)];
    for (size_t i = 0; i < pathlib.path.size(); ++i)
        if (path_matches_allpath(pathlib.path[i], ap)) return static_cast<int>(i);
    return -1;
}

void NARO_delete_pathlib_path(NARO_pathlib& pathlib, int k) {
    if (k < 0 || k >= static_cast<int>(pathlib.path.size())) return;
    const NARO_path p = pathlib.path[static_cast<size_t>(k)];
    pathlib.allpath.erase(std::remove_if(pathlib.allpath.begin(), pathlib.allpath.end(),
                                         [&](const NARO_allpath& ap) {
                                             return path_matches_allpath(p, ap);
                                         }),
                          pathlib.allpath.end());
    pathlib.path.erase(pathlib.path.begin() + k);
    sync_counts(pathlib);
}

void NARO_delete_pathlib_allpath(NARO_pathlib& pathlib, int k) {
    if (k < 0 || k >= static_cast<int>(pathlib.allpath.size())) return;
    pathlib.allpath.erase(pathlib.allpath.begin() + k);
    sync_counts(pathlib);
}

void NARO_insert_pathlib_allpath(NARO_pathlib& pathlib, const NARO_allpath& ap, int pos) {
    pos = std::clamp(pos, 0, static_cast<int>(pathlib.allpath.size()));
    pathlib.allpath.insert(pathlib.allpath.begin() + pos, ap);
    sync_counts(pathlib);
}

void NARO_pop_pathlib_allpath(NARO_pathlib& pathlib) {
    if (!pathlib.allpath.empty()) pathlib.allpath.pop_back();
    sync_counts(pathlib);
}

void NARO_reverse_pathlib_allpath(NARO_allpath& ap) {
    std::swap(ap.start, ap.end);
    std::swap(ap.start_type, ap.end_type);
    std::swap(ap.start_energy, ap.end_energy);
    std::swap(ap.start_crossx, ap.end_crossx);
    std::swap(ap.start_crossy, ap.end_crossy);
    std::swap(ap.start_crossz, ap.end_crossz);
}

int NARO_is_allpath_start_end_equal(const NARO_allpath& a, const NARO_allpath& b) {
    return a.start == b.start && a.end == b.end;
}

NARO_cellcross_diff NARO_get_cellcrossdiff_from_allpath(const NARO_allpath& ap) {
    return {ap.end_crossx - ap.start_crossx, ap.end_crossy - ap.start_crossy,
            ap.end_crossz - ap.start_crossz};
}

int NARO_is_cellcross_equal(const NARO_cellcross& a, const NARO_cellcross& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

int NARO_is_cellcrossdiff_equal(const NARO_cellcross_diff& a, const NARO_cellcross_diff& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

int NARO_is_allpath_equal(const NARO_allpath& a, const NARO_allpath& b, int mode) {
    auto m1 = [&] { return NARO_is_allpath_start_end_equal(a, b) != 0; };
    auto m2 = [&] { return m1() || (a.start == b.end && a.end == b.start); };
    auto m3 = [&] {
        return a.start_crossx == b.start_crossx && a.start_crossy == b.start_crossy &&
               a.start_crossz == b.start_crossz && a.end_crossx == b.end_crossx &&
               a.end_crossy == b.end_crossy && a.end_crossz == b.end_crossz;
    };
    auto m5 = [&] { return a.saddle == b.saddle; };
    auto m6 = [&] { return a.saddle_type == b.saddle_type; };
    switch (mode) {
        case 1: return m1();
        case 2: return m2();
        case 3: return m3();
        case 5: return m5();
        case 6: return m6();
        case 13: return m1() && m3();
        case 135: return m5() && m1() && m3();
        default:
            std::printf("Invalid mode call %d to NARO_is_allpath_equal\n", mode);
            return 0;
    }
}

double NARO_allpath_angle(const NARO_cube& cube, const NARO_allpath& ap) {
    if (!allpath_in_cube(cube, ap)) return 0.0;
    const Tri s = allpath_start_pos(cube, ap);
    const Tri e = allpath_end_pos(cube, ap);
    const Tri m = saddle_point(cube, ap.saddle);
    return NARO_angle(cube, s.x, s.y, s.z, m.x, m.y, m.z, e.x, e.y, e.z);
}

double NARO_find_loc_distance(const NARO_cube& cube, NARO_cubeloc p1, NARO_cubeloc p2) {
    return dist_grid(cube, p1.x, p1.y, p1.z, p2.x, p2.y, p2.z);
}

int NARO_is_direct_path_between_minima(const NARO_cube& cube, const NARO_pathlib& pathlib, int x1,
                                       int y1, int z1, int x2, int y2, int z2) {
    const Tri p1{x1, y1, z1}, p2{x2, y2, z2};
    if (same(p1, p2)) return 1;
    const Tri d = sub(p2, p1);
    auto congruent = [&](const Tri& a, const Tri& b) {
        return wrap(a.x - b.x, cube.a_grid) == 0 && wrap(a.y - b.y, cube.b_grid) == 0 &&
               wrap(a.z - b.z, cube.c_grid) == 0;
    };
    for (const NARO_allpath& ap : pathlib.allpath) {
        if (!allpath_minima_in_cube(cube, ap)) continue;
        const Tri s = allpath_start_pos(cube, ap), e = allpath_end_pos(cube, ap);
        if (congruent(p1, s) && same(d, sub(e, s))) return 1;
        if (congruent(p1, e) && same(d, sub(s, e))) return 1;
    }
    return 0;
}

// ====================================================================== grid paths

void NARO_free_grid_path(NARO_grid_path& path) { path = NARO_grid_path{}; }

static void grid_path_assign(NARO_grid_path& path, std::vector<Tri> pts) {
    path.grid = std::move(pts);
    path.length = static_cast<int>(path.grid.size());
    path.color.assign(path.grid.size(), -1);
    path.style.assign(path.grid.size(), -1);
    path.marker.assign(path.grid.size(), -1);
    path.saddle = 0;
}

void NARO_refresh_path_saddle(const NARO_cube& cube, NARO_grid_path& path) {
    path.saddle = 0;
    double best = 0;
    for (size_t i = 0; i < path.grid.size(); ++i) {
        const double e = energy_wrapped(cube, path.grid[i]);
        if (i == 0 || e > best) {
            best = e;
            path.saddle = static_cast<int>(i);
        }
    }
}

int NARO_halfpath_is_irreducible(const NARO_cube& cube, const NARO_grid_path& path) {
    const size_t n = path.grid.size();
    if (n < 6) return 1;
    const bool forward = energy_wrapped(cube, path.grid.front()) >= energy_wrapped(cube, path.grid.back());
    int down = 0;
    for (size_t k = 0; k + 1 < n; ++k) {
        const Tri& a = forward ? path.grid[k] : path.grid[n - 1 - k];
        const Tri& b = forward ? path.grid[k + 1] : path.grid[n - 2 - k];
        const double ea = energy_wrapped(cube, a), eb = energy_wrapped(cube, b);
        if (eb < ea && !eq(ea, eb)) ++down;
    }
    return static_cast<double>(down) / static_cast<double>(n - 1) >= 0.75 ? 1 : 0;
}

double NARO_path_length_in_Angstrom(const NARO_cube& cube, const NARO_grid_path& path) {
    double len = 0;
    for (size_t i = 1; i < path.grid.size(); ++i) len += dist_grid(cube, path.grid[i - 1], path.grid[i]);
    return len;
}

void NARO_reverse_path(NARO_grid_path& path) {
    std::reverse(path.grid.begin(), path.grid.end());
    std::reverse(path.color.begin(), path.color.end());
    std::reverse(path.style.begin(), path.style.end());
    std::reverse(path.marker.begin(), path.marker.end());
    if (path.length > 0) path.saddle = path.length - 1 - path.saddle;
}

int NARO_concatenate_grid_path(NARO_grid_path& path, const NARO_grid_path& tail) {
    size_t skip = 0;
    if (!path.grid.empty() && !tail.grid.empty() && same(path.grid.back(), tail.grid.front()))
        skip = 1;
    for (size_t i = skip; i < tail.grid.size(); ++i) {
        path.grid.push_back(tail.grid[i]);
        path.color.push_back(i < tail.color.size() ? tail.color[i] : -1);
        path.style.push_back(i < tail.style.size() ? tail.style[i] : -1);
        path.marker.push_back(i < tail.marker.size() ? tail.marker[i] : -1);
    }
    path.length = static_cast<int>(path.grid.size());
    return 0;
}

int NARO_build_half_grid_path(const NARO_cube& cube, NARO_grid_path& path, NARO_cubeloc from,
                              NARO_cubeloc to) {
    // The walk grows from both ends: head holds the "from" side in order, tail the "to"
    // side in reverse, so both ends grow by push_back.
    std::vector<Tri> head{{from.x, from.y, from.z}};
    std::vector<Tri> tail{{to.x, to.y, to.z}};
    while (!neighbours(head.back(), tail.back())) {
        const bool move_to = energy_wrapped(cube, head.back()) < energy_wrapped(cube, tail.back());
        std::vector<Tri>& mover = move_to ? tail : head;
        const Tri m = mover.back();
        const Tri o = move_to ? head.back() : tail.back();
        const double d0 = dist_grid(cube, m, o);
        bool found = false;
        Tri best{};
        double best_e = 0;
        for (int da = -1; da <= 1; ++da)
            for (int db = -1; db <= 1; ++db)
                for (int dc = -1; dc <= 1; ++dc) {
                    if (da == 0 && db == 0 && dc == 0) continue;
                    const Tri q{m.x + da, m.y + db, m.z + dc};
                    if (!(dist_grid(cube, q, o) < d0)) continue;
                    const double e = energy_wrapped(cube, q);
                    if (!found || e < best_e) {
                        found = true;
                        best = q;
                        best_e = e;
                    }
                }
        // A sheared cell in which no neighbour brings the ends closer cannot be walked.
        if (!found) return -1;
        mover.push_back(best);
        if (head.size() + tail.size() > static_cast<size_t>(kMaxPathLength)) {
            std::fprintf(stderr, "Error: NARO_MAX_PATH_LENGTH exceeded\n");
            return 1;
        }
    }
    std::vector<Tri> pts = std::move(head);
    pts.insert(pts.end(), tail.rbegin(), tail.rend());

    // Cut loops: join each point to its farthest later neighbour.
    for (size_t i = 0; i < pts.size(); ++i) {
        for (size_t j = pts.size() - 1; j > i + 1; --j) {
            if (neighbours(pts[i], pts[j])) {
                pts.erase(pts.begin() + static_cast<long>(i) + 1, pts.begin() + static_cast<long>(j));
                break;
            }
        }
    }
    // Trim the plateau at the start, but keep the far end: a walk over flat ground still
    // has to reach the point it was asked to reach.
    while (pts.size() > 2 && eq(energy_wrapped(cube, pts[0]), energy_wrapped(cube, pts[1])))
        pts.erase(pts.begin() + 1);

    grid_path_assign(path, std::move(pts));
    NARO_refresh_path_saddle(cube, path);
    return NARO_halfpath_is_irreducible(cube, path) ? 0 : -1;
}

int NARO_build_grid_path(const NARO_cube& cube, NARO_grid_path& path, NARO_cubeloc start,
                         NARO_cubeloc saddle, NARO_cubeloc end) {
    NARO_grid_path first, second;
    int r = NARO_build_half_grid_path(cube, first, start, saddle);
    if (r != 0) return r;
    r = NARO_build_half_grid_path(cube, second, end, saddle);
    if (r != 0) return r;
    NARO_reverse_path(second);
    path = std::move(first);
    NARO_concatenate_grid_path(path, second);
    NARO_refresh_path_saddle(cube, path);
    return 0;
}

// ====================================================================== distinct paths

namespace {

double walk_top(const NARO_cube& cube, const NARO_grid_path& walk) {
    double top = -1e300;
    for (const Tri& q : walk.grid) top = std::max(top, energy_wrapped(cube, q));
    return top;
}

// True when steepest descents from the top of the saddle at s reach minimum ma in image
// ca and minimum mb in image cb.
bool descends_to_both(const NARO_cube& cube, const Tri& s, int ma, const Tri& ca, int mb, const Tri& cb) {
    bool reach_a = false, reach_b = false;
    for (const NaroDescentEnd& e : naro_descend_from_saddle_top(cube, s.x, s.y, s.z)) {
        reach_a = reach_a || (e.minimum == ma && e.i == ca.x && e.j == ca.y && e.l == ca.z);
        reach_b = reach_b || (e.minimum == mb && e.i == cb.x && e.j == cb.y && e.l == cb.z);
    }
    return reach_a && reach_b;
}

// One end of a hop: the minimum, its type and energy, and the cell of its image.
struct HopEnd {
    int minimum, type;
    int i, j, l;
    double e;
};

// The all-path record of a hop through saddle si (type st) at barrier `barrier`.
NARO_allpath allpath_between(int si, int st, double length, double barrier, const HopEnd& a, const HopEnd& b) {
    NARO_allpath ap;
    ap.saddle = si;
    ap.start = a.minimum;
    ap.end = b.minimum;
    ap.start_type = a.type;
    ap.end_type = b.type;
    ap.saddle_type = st;
    ap.length = length;
    ap.start_crossx = a.i;
    ap.start_crossy = a.j;
    ap.start_crossz = a.l;
    ap.end_crossx = b.i;
    ap.end_crossy = b.j;
    ap.end_crossz = b.l;
    ap.start_energy = a.e;
    ap.end_energy = b.e;
    ap.saddle_energy = barrier;
    return ap;
}

// The distinct path of saddle si (type st, energy se) between two ends of its descents.
NARO_path hop_by_descent(const NARO_cube& cube, const NaroDescentEnd& a, const NaroDescentEnd& b, int si, int st,
                         double se) {
    const NARO_minima& ma = cube.minima[static_cast<size_t>(a.minimum)];
    const NARO_minima& mb = cube.minima[static_cast<size_t>(b.minimum)];
    NARO_path p;
    p.start = a.minimum;
    p.end = b.minimum;
    p.saddle = si;
    p.start_type = ma.type;
    p.end_type = mb.type;
    p.saddle_type = st;
    p.start_energy = ma.e;
    p.end_energy = mb.e;
    p.saddle_energy = se;
    p.start_p = a.i;
    p.start_q = a.j;
    p.start_r = a.l;
    p.end_p = b.i;
    p.end_q = b.j;
    p.end_r = b.l;
    NARO_grid_path wa, wb;
    grid_path_assign(wa, a.walk);
    grid_path_assign(wb, b.walk);
    p.length = NARO_path_length_in_Angstrom(cube, wa) + NARO_path_length_in_Angstrom(cube, wb);
    p.straightline_length =
        dist_grid(cube, minimum_image(cube, a.minimum, a.i, a.j, a.l), minimum_image(cube, b.minimum, b.i, b.j, b.l));
    p.tortuosity = p.straightline_length > kEqual ? p.length / p.straightline_length : 0.0;
    p.by_descent = 1;
    return p;
}

// Hop of saddle si (type st) between two ends of its steepest-descent routes: the first
// end and the one seen from the saddle at the widest angle to it. Returns 0 when the
// saddle is accounted for, -1 when its routes reach fewer than two distinct ends.
int descent_path(const NARO_cube& cube, NARO_pathlib& pathlib, int si, int st) {
    const Tri s = saddle_point(cube, si);
    const std::vector<NaroDescentEnd> ends = naro_descend_from_saddle(cube, s.x, s.y, s.z);
    if (ends.size() < 2) return -1;
    const NaroDescentEnd& a = ends[0];
    const Tri pa = minimum_image(cube, a.minimum, a.i, a.j, a.l);
    size_t wide = 1;
    double wide_angle = -1;
    for (size_t k = 1; k < ends.size(); ++k) {
        const Tri pb = minimum_image(cube, ends[k].minimum, ends[k].i, ends[k].j, ends[k].l);
        const double ang = NARO_angle(cube, pa.x, pa.y, pa.z, s.x, s.y, s.z, pb.x, pb.y, pb.z);
        if (ang > wide_angle + kEqual) {
            wide_angle = ang;
            wide = k;
        }
    }
    const NaroDescentEnd& b = ends[wide];
    const NARO_minima& ma = cube.minima[static_cast<size_t>(a.minimum)];
    const NARO_minima& mb = cube.minima[static_cast<size_t>(b.minimum)];
    if (NARO_isin_pathlib(pathlib, ma.type, mb.type, st)) return 0;
    // both routes only descend
    pathlib.path.push_back(hop_by_descent(cube, a, b, si, st, energy_wrapped(cube, s)));
    return 0;
}

}  // namespace

int NARO_build_path(const NARO_cube& cube, const NARO_cif&, NARO_pathlib& pathlib, int deWarn) {
    for (int st = 1; st <= cube.total_saddle_type; ++st) {
        const auto [first_saddle, last_saddle] =
            type_range(cube.saddle_type_index, cube.total_saddle_type, st,
                       static_cast<int>(cube.saddle.size()));
        if (first_saddle >= last_saddle) continue;
        const int si = first_saddle;
        const Tri s = saddle_point(cube, si);
        NARO_nearest_neighbour nn;
        if (NARO_get_nearest_minima(cube, nn, kNearestMinima, s.x, s.y, s.z) != 0) return 1;
        const std::vector<NARO_nearest_neighbour_item>& near = nn.item;

        auto image = [&](const NARO_nearest_neighbour_item& c) { return minimum_image(cube, c.index, c.i, c.j, c.l); };
        auto true_pos = [&](const NARO_nearest_neighbour_item& c, double out[3]) {
            const NARO_minima& m = cube.minima[static_cast<size_t>(c.index)];
            out[0] = m.tx + c.i * cube.a_grid;
            out[1] = m.ty + c.j * cube.b_grid;
            out[2] = m.tz + c.l * cube.c_grid;
        };
        NARO_grid_path half1, half2;
        int first = -1, second = -1;
        for (size_t c = 0; c < near.size() && first < 0; ++c) {
            if (near[c].index < 0 || near[c].distance > kMaxHopDistance) continue;
            const Tri m = image(near[c]);
            const int r = NARO_build_half_grid_path(cube, half1, {m.x, m.y, m.z}, {s.x, s.y, s.z});
            if (r == 1) return 1;
            if (r == 0) first = static_cast<int>(c);
        }
        if (first >= 0) {
            double p1[3];
            true_pos(near[static_cast<size_t>(first)], p1);
            for (size_t c = static_cast<size_t>(first) + 1; c < near.size() && second < 0; ++c) {
                if (near[c].index < 0 || near[c].distance > kMaxHopDistance) continue;
                double p2[3];
                true_pos(near[c], p2);
                if (!at_least_right_angle(
                        NARO_angle(cube, p1[0], p1[1], p1[2], s.x, s.y, s.z, p2[0], p2[1], p2[2])))
                    continue;
                const Tri m = image(near[c]);
                const int r = NARO_build_half_grid_path(cube, half2, {m.x, m.y, m.z}, {s.x, s.y, s.z});
                if (r == 1) return 1;
                if (r == 0) second = static_cast<int>(c);
            }
        }
        if (first < 0 || second < 0) {
            // No nearby pair of minima could be walked to: follow the saddle's own
            // steepest-descent routes instead, which always end in minima.
            const int r = descent_path(cube, pathlib, si, st);
            if (r == 1) return 1;
            if (r == 0) continue;
            if (!deWarn) {
                std::fprintf(stderr, "Warning: Cannot connect saddle type %d to any energy minimum site\n",
                             st);
                std::fprintf(stderr, "Warning: saddle type %d at %.6f eV is left out of the path library\n", st,
                             NARO_scale_cube_energy(cube, energy_wrapped(cube, s)));
            }
            continue;
        }
        const NARO_nearest_neighbour_item& a = near[static_cast<size_t>(first)];
        const NARO_nearest_neighbour_item& b = near[static_cast<size_t>(second)];
        const NARO_minima& ma = cube.minima[static_cast<size_t>(a.index)];
        const NARO_minima& mb = cube.minima[static_cast<size_t>(b.index)];
        if (NARO_isin_pathlib(pathlib, ma.type, mb.type, st)) continue;
        NARO_path p;
        p.start = a.index;
        p.end = b.index;
        p.saddle = si;
        p.start_type = ma.type;
        p.end_type = mb.type;
        p.saddle_type = st;
        p.start_energy = ma.e;
        p.end_energy = mb.e;
        // The barrier of a hop is the highest point of its walk, which may lie beside
        // the saddle when a half-path climbs for a few steps.
        p.saddle_energy = std::max({energy_wrapped(cube, s), walk_top(cube, half1), walk_top(cube, half2)});
        // A walk that climbs may still have a way down from the saddle to both its ends:
        // then the saddle itself is the barrier.
        if (p.saddle_energy > energy_wrapped(cube, s) + kEqual &&
            descends_to_both(cube, s, a.index, {a.i, a.j, a.l}, b.index, {b.i, b.j, b.l}))
            p.saddle_energy = energy_wrapped(cube, s);
        p.start_p = a.i;
        p.start_q = a.j;
        p.start_r = a.l;
        p.end_p = b.i;
        p.end_q = b.j;
        p.end_r = b.l;
        p.length = NARO_path_length_in_Angstrom(cube, half1) + NARO_path_length_in_Angstrom(cube, half2);
        double pa[3], pb[3];
        true_pos(a, pa);
        true_pos(b, pb);
        p.straightline_length = dist_grid(cube, pa[0], pa[1], pa[2], pb[0], pb[1], pb[2]);
        p.tortuosity = p.straightline_length > kEqual ? p.length / p.straightline_length : 0.0;
        pathlib.path.push_back(p);
    }
    NARO_bubblesort_pathlib(pathlib);
    sync_counts(pathlib);
    return 0;
}

// ====================================================================== all periodic copies

namespace {

// A pass whose top is a ring or a cross of equal points (a site split into several minima
// around a centre) has three or more downhill branches, while a hop and its copies join
// only the two ends they were chosen by. Every branch such a saddle is not yet joined to
// gets a hop from the saddle's first branch: the flood joins them all at the pass. The new
// hops are listed after the hops of their energy.
void join_every_branch(const NARO_cube& cube, NARO_pathlib& pathlib) {
    const int nmin = static_cast<int>(cube.minima.size());
    const int nsad = static_cast<int>(cube.saddle.size());
    std::vector<std::vector<size_t>> by_saddle(static_cast<size_t>(nsad));
    for (size_t k = 0; k < pathlib.allpath.size(); ++k) {
        const int si = pathlib.allpath[k].saddle;
        if (si >= 0 && si < nsad) by_saddle[static_cast<size_t>(si)].push_back(k);
    }
    std::vector<NARO_allpath> added;
    bool new_distinct = false;
    for (int si = 0; si < nsad; ++si) {
        const Tri s = saddle_point(cube, si);
        const std::vector<NaroDescentEnd> ends = naro_descend_from_saddle_top(cube, s.x, s.y, s.z);
        if (ends.size() < 3) continue;
        auto end_of = [&](int m, int i, int j, int l) {
            for (size_t e = 0; e < ends.size(); ++e)
                if (ends[e].minimum == m && ends[e].i == i && ends[e].j == j && ends[e].l == l)
                    return static_cast<int>(e);
            return -1;
        };
        // Branches already joined through this saddle share a group.
        std::vector<int> group(ends.size());
        for (size_t e = 0; e < ends.size(); ++e) group[e] = static_cast<int>(e);
        auto root = [&](int e) {
            while (group[static_cast<size_t>(e)] != e) e = group[static_cast<size_t>(e)];
            return e;
        };
        for (size_t k : by_saddle[static_cast<size_t>(si)]) {
            const NARO_allpath& ap = pathlib.allpath[k];
            const int a = end_of(ap.start, ap.start_crossx, ap.start_crossy, ap.start_crossz);
            const int b = end_of(ap.end, ap.end_crossx, ap.end_crossy, ap.end_crossz);
            if (a >= 0 && b >= 0) group[static_cast<size_t>(root(b))] = root(a);
        }
        const NaroDescentEnd& first = ends[0];
        if (first.minimum < 0 || first.minimum >= nmin) continue;
        const NARO_minima& mf = cube.minima[static_cast<size_t>(first.minimum)];
        const int st = cube.saddle[static_cast<size_t>(si)].type;
        const double se = energy_wrapped(cube, s);
        for (size_t e = 1; e < ends.size(); ++e) {
            if (root(static_cast<int>(e)) == root(0)) continue;
            group[static_cast<size_t>(root(static_cast<int>(e)))] = root(0);
            const NaroDescentEnd& b = ends[e];
            const NARO_minima& mb = cube.minima[static_cast<size_t>(b.minimum)];
            NARO_grid_path wa, wb;
            grid_path_assign(wa, first.walk);
            grid_path_assign(wb, b.walk);
            const double length = NARO_path_length_in_Angstrom(cube, wa) + NARO_path_length_in_Angstrom(cube, wb);
            // A hop of these types through this saddle type is listed at its distinct
            // path's barrier; a new combination becomes a distinct path of its own.
            double barrier = se;
            bool listed = false;
            for (const NARO_path& p : pathlib.path)
                if (p.saddle_type == st && ((p.start_type == mf.type && p.end_type == mb.type) ||
                                            (p.start_type == mb.type && p.end_type == mf.type))) {
                    barrier = p.saddle_energy;
                    listed = true;
                    break;
                }
            if (!listed) {
                pathlib.path.push_back(hop_by_descent(cube, first, b, si, st, se));
                new_distinct = true;
            }
            added.push_back(allpath_between(si, st, length, barrier,
                                            {first.minimum, mf.type, first.i, first.j, first.l, mf.e},
                                            {b.minimum, mb.type, b.i, b.j, b.l, mb.e}));
        }
    }
    if (added.empty()) return;
    if (new_distinct) NARO_bubblesort_pathlib(pathlib);
    pathlib.allpath.insert(pathlib.allpath.end(), added.begin(), added.end());
    std::stable_sort(pathlib.allpath.begin(), pathlib.allpath.end(),
                     [](const NARO_allpath& x, const NARO_allpath& y) { return x.saddle_energy < y.saddle_energy; });
}

}  // namespace


int NARO_build_allpaths(const NARO_cube& cube, const NARO_cif&, NARO_pathlib& pathlib) {
    struct Cand {
        int m, i, j, l;
    };
    pathlib.allpath.clear();
    // All-paths already listed per saddle, for the duplicate test.
    std::vector<std::vector<int>> by_saddle(cube.saddle.size());
    const int nmin = static_cast<int>(cube.minima.size());
    const int nsad = static_cast<int>(cube.saddle.size());

    auto candidates = [&](int type, const Tri& s, double target) {
        std::vector<Cand> list;
        double best = 1e300;
        const auto [lo, hi] = type_range(cube.minima_type_index, cube.total_minima_type, type, nmin);
        for (int m = lo; m < hi; ++m)
            for (int i = -1; i <= 1; ++i)
                for (int j = -1; j <= 1; ++j)
                    for (int l = -1; l <= 1; ++l) {
                        const double diff = std::fabs(true_image_distance(cube, m, i, j, l, s) - target);
                        if (best - diff >= 0.001) {
                            best = diff;
                            list.clear();
                            list.push_back({m, i, j, l});
                        } else if (std::fabs(diff - best) <= 0.001) {
                            list.push_back({m, i, j, l});
                        }
                    }
        return list;
    };
    // Where the saddles of one type are not exact copies on the grid (a cell whose
    // operations mix axes is searched point by point), the images at the best-matching
    // distances may fail the hop's tests while a slightly worse match passes: the pairs
    // within a grid step of both distances are tried, best total match first, and the
    // first that is a hop is listed.
    const double slack = std::max({cube.a_unit, cube.b_unit, cube.c_unit}) * std::sqrt(3.0);
    auto nearest_fit = [&](int ltype, int rtype, const Tri& s, double ld, double rd, auto&& accept) {
        struct Fit {
            Cand c;
            double diff;
        };
        auto fits = [&](int type, double target) {
            std::vector<Fit> out;
            const auto [lo, hi] = type_range(cube.minima_type_index, cube.total_minima_type, type, nmin);
            for (int m = lo; m < hi; ++m)
                for (int i = -1; i <= 1; ++i)
                    for (int j = -1; j <= 1; ++j)
                        for (int l = -1; l <= 1; ++l) {
                            const double diff = std::fabs(true_image_distance(cube, m, i, j, l, s) - target);
                            if (diff <= slack) out.push_back({{m, i, j, l}, diff});
                        }
            return out;
        };
        const std::vector<Fit> lf = fits(ltype, ld), rf = fits(rtype, rd);
        std::vector<std::pair<double, std::pair<size_t, size_t>>> pairs;
        for (size_t a = 0; a < lf.size(); ++a)
            for (size_t b = 0; b < rf.size(); ++b) pairs.push_back({lf[a].diff + rf[b].diff, {a, b}});
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        for (const auto& pr : pairs)
            if (accept(lf[pr.second.first].c, rf[pr.second.second].c)) return true;
        return false;
    };

    for (const NARO_path& p : pathlib.path) {
        if (p.saddle < 0 || p.saddle >= nsad || p.start < 0 || p.start >= nmin || p.end < 0 ||
            p.end >= nmin)
            continue;
        const Tri s0 = saddle_point(cube, p.saddle);
        const double leftdist = true_image_distance(cube, p.start, p.start_p, p.start_q, p.start_r, s0);
        const double rightdist = true_image_distance(cube, p.end, p.end_p, p.end_q, p.end_r, s0);
        const auto [lo, hi] = type_range(cube.saddle_type_index, cube.total_saddle_type, p.saddle_type, nsad);
        for (int si = lo; si < hi; ++si) {
            const Tri s = saddle_point(cube, si);
            const double se = energy_wrapped(cube, s);
            const std::vector<Cand> left = candidates(p.start_type, s, leftdist);
            const std::vector<Cand> right = candidates(p.end_type, s, rightdist);
            // One hop through saddle si from image L to image R; true when it was listed.
            auto try_pair = [&](const Cand& L, const Cand& R) {
                if (L.m == R.m && L.i == R.i && L.j == R.j && L.l == R.l) return false;
                const double el = cube.minima[static_cast<size_t>(L.m)].e;
                const double er = cube.minima[static_cast<size_t>(R.m)].e;
                // The barrier of the hop is the top of its walk, which may stand above the
                // saddle point itself: ends below that top are ends of this hop.
                const double top = std::max(se, p.saddle_energy);
                if ((el > top && !eq(el, top)) || (er > top && !eq(er, top))) return false;
                const NARO_allpath ap = allpath_between(si, p.saddle_type, p.length, p.saddle_energy,
                                                        {L.m, p.start_type, L.i, L.j, L.l, el},
                                                        {R.m, p.end_type, R.i, R.j, R.l, er});
                for (int k : by_saddle[static_cast<size_t>(si)]) {
                    const NARO_allpath& o = pathlib.allpath[static_cast<size_t>(k)];
                    NARO_allpath rev = o;
                    NARO_reverse_pathlib_allpath(rev);
                    if (NARO_is_allpath_equal(ap, o, 13) || NARO_is_allpath_equal(ap, rev, 13)) return false;
                }
                // A hop found by descent may bend; its copies bend alike.
                if (!p.by_descent && !at_least_right_angle(NARO_allpath_angle(cube, ap), kCopyAngleSlack)) return false;
                by_saddle[static_cast<size_t>(si)].push_back(static_cast<int>(pathlib.allpath.size()));
                pathlib.allpath.push_back(ap);
                return true;
            };
            bool listed = false;
            for (const Cand& L : left)
                for (const Cand& R : right) listed = try_pair(L, R) || listed;
            if (!listed) listed = nearest_fit(p.start_type, p.end_type, s, leftdist, rightdist, try_pair);
        }
    }
    join_every_branch(cube, pathlib);
    sync_counts(pathlib);
    return 0;
}

// ====================================================================== redundancy filter

static long copies_of(const NARO_pathlib& pathlib, const NARO_path& p) {
    return std::count_if(pathlib.allpath.begin(), pathlib.allpath.end(),
                         [&](const NARO_allpath& ap) { return path_matches_allpath(p, ap); });
}

// Removes one all-path; its distinct path goes too once no copy of it is left.
static void drop_copy(NARO_pathlib& pathlib, size_t copy, int distinct) {
    const NARO_path p = pathlib.path[static_cast<size_t>(distinct)];
    NARO_delete_pathlib_allpath(pathlib, static_cast<int>(copy));
    if (copies_of(pathlib, p) == 0) NARO_delete_pathlib_path(pathlib, distinct);
}

int NARO_filter_redundant_path(const NARO_cube& cube, NARO_pathlib& pathlib) {
    // 1. The same hop (same minima, same cell crossing) through two saddle types: the
    //    higher saddle is never the one a migrating ion takes.
    for (bool again = true; again;) {
        again = false;
        const size_t n = pathlib.allpath.size();
        for (size_t i = 0; i < n && !again; ++i) {
            const NARO_allpath& a = pathlib.allpath[i];
            const NARO_cellcross_diff da = NARO_get_cellcrossdiff_from_allpath(a);
            for (size_t j = i + 1; j < n; ++j) {
                const NARO_allpath& b = pathlib.allpath[j];
                if (a.saddle_type == b.saddle_type) continue;
                const NARO_cellcross_diff db = NARO_get_cellcrossdiff_from_allpath(b);
                const bool forward = a.start == b.start && a.end == b.end && NARO_is_cellcrossdiff_equal(da, db);
                const bool backward = a.start == b.end && a.end == b.start && NARO_is_cellcrossdiff_equal(da, neg(db));
                if (!forward && !backward) continue;
                const int pa = NARO_get_allpath_to_path_index(pathlib, static_cast<int>(i));
                const int pb = NARO_get_allpath_to_path_index(pathlib, static_cast<int>(j));
                if (pa < 0 || pb < 0 || pa == pb) continue;
                bool drop_a = a.saddle_energy > b.saddle_energy;
                // Equal barriers: keep the hop listed with more copies.
                if (eq(a.saddle_energy, b.saddle_energy)) {
                    const long na = copies_of(pathlib, pathlib.path[static_cast<size_t>(pa)]);
                    const long nb = copies_of(pathlib, pathlib.path[static_cast<size_t>(pb)]);
                    drop_a = na < nb;
                }
                // Only this copy is a duplicate: the other copies of its distinct path may
                // be the only links between other minima, so they stay. A distinct path
                // left without copies goes with its last one.
                drop_copy(pathlib, drop_a ? i : j, drop_a ? pa : pb);
                again = true;
                break;
            }
        }
    }
    // 2. Two hops through one saddle whose ends coincide or are joined directly: the
    //    longer one is a detour. Only hops of different distinct paths are compared,
    //    and only a strictly longer one is dropped.
    for (bool again = true; again;) {
        again = false;
        const size_t n = pathlib.allpath.size();
        for (size_t i = 0; i < n && !again; ++i) {
            for (size_t j = i + 1; j < n; ++j) {
                const NARO_allpath& a = pathlib.allpath[i];
                const NARO_allpath& b = pathlib.allpath[j];
                if (a.saddle != b.saddle) continue;
                if (eq(a.length, b.length)) continue;
                const bool types = (a.start_type == b.start_type && a.end_type == b.end_type) ||
                                   (a.start_type == b.end_type && a.end_type == b.start_type);
                if (!types) continue;
                const int pa = NARO_get_allpath_to_path_index(pathlib, static_cast<int>(i));
                const int pb = NARO_get_allpath_to_path_index(pathlib, static_cast<int>(j));
                if (pa < 0 || pb < 0 || pa == pb) continue;
                if (!allpath_minima_in_cube(cube, a) || !allpath_minima_in_cube(cube, b)) continue;
                const Tri as = allpath_start_pos(cube, a), ae = allpath_end_pos(cube, a);
                const Tri bs = allpath_start_pos(cube, b), be = allpath_end_pos(cube, b);
                auto direct = [&](const Tri& p, const Tri& q) {
                    return NARO_is_direct_path_between_minima(cube, pathlib, p.x, p.y, p.z, q.x, q.y, q.z) != 0;
                };
                const bool joined = (direct(as, bs) && direct(ae, be)) || (direct(as, be) && direct(ae, bs));
                if (!joined) continue;
                drop_copy(pathlib, a.length > b.length ? i : j, a.length > b.length ? pa : pb);
                again = true;
                break;
            }
        }
    }
    sync_counts(pathlib);
    return 0;
}

// ====================================================================== printout

void NARO_print_pathlib(const NARO_cube& cube, const NARO_pathlib& pathlib, FILE* out) {
    const std::string dashes(65, '-');
    std::fprintf(out, "%s\r\n", dashes.c_str());
    std::fprintf(out, "                 Summary of minimum energy paths                 \r\n");
    std::fprintf(out, "%s\r\n\r\n", dashes.c_str());
    for (size_t k = 0; k < pathlib.path.size(); ++k) {
        const NARO_path& p = pathlib.path[k];
        std::fprintf(out, "> Path %d : %s (%.3f eV) to %s (%.3f eV) via s%d (%.3f eV)\r\n",
                     static_cast<int>(k) + 1, type_label(cube, p.start_type).c_str(),
                     scaled(cube, p.start_energy), type_label(cube, p.end_type).c_str(),
                     scaled(cube, p.end_energy), p.saddle_type, scaled(cube, p.saddle_energy));
        std::fprintf(out, ">> Dimension: %d\n", p.color);
        std::fprintf(out, ">> Redundancy: %d\n", p.style);
    }
    std::fprintf(out, "\nListing all %d paths (including equivalent ones)...\n",
                 static_cast<int>(pathlib.allpath.size()));
    for (const NARO_allpath& ap : pathlib.allpath) {
        const NARO_cellcross_diff d = NARO_get_cellcrossdiff_from_allpath(ap);
        std::fprintf(out, "> %s (%.3f eV) to %s (%.3f eV) via s%d (%.3f eV)\n",
                     type_label(cube, ap.start_type).c_str(), scaled(cube, ap.start_energy),
                     type_label(cube, ap.end_type).c_str(), scaled(cube, ap.end_energy),
                     ap.saddle_type, scaled(cube, ap.saddle_energy));
        std::fprintf(out,
                     ">> Internal: boundary cross (%d,%d,%d); minima indices (%d,%d) saddle index (%d)\n",
                     d.x, d.y, d.z, ap.start, ap.end, ap.saddle);
    }
    std::fprintf(out, "\n");
}

int naro_path_library_build(const NARO_cube& cube, const NARO_cif& cif, NARO_pathlib& pathlib, int deWarn) {
    NARO_init_pathlib(pathlib);
    pathlib.pathlib = 1;
    if (NARO_build_path(cube, cif, pathlib, deWarn) != 0) {
        std::fprintf(stderr, "Error: NARO_build_path() returns non-zero.\n");
        return 1;
    }
    if (NARO_build_allpaths(cube, cif, pathlib) != 0) {
        std::fprintf(stderr, "Error: NARO_build_allpaths() returns non-zero.\n");
        return 1;
    }
    if (NARO_filter_redundant_path(cube, pathlib) != 0) {
        std::fprintf(stderr, "Error: NARO_filter_redundant_path() returns non-zero.\n");
        return 1;
    }
    return 0;
}
