// Percolation of the path network: the clusters of minima that the hops join below an
// energy ceiling, their dimension (spanning lattice vectors) and ribbon state, the
// per-level report and the activation energies of 1D, 2D and 3D migration.
#include "percolation.hpp"

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

using namespace naro_walk;

void NARO_init_cluster(NARO_cluster& clust) { clust = NARO_cluster{}; }

void NARO_copy_cluster(const NARO_cluster& in, NARO_cluster& out) { out = in; }

int NARO_alloc_path_clust(NARO_cluster_list& list, int total) {
    list.clust.assign(static_cast<size_t>(std::max(total, 0)), NARO_cluster{});
    list.total = static_cast<int>(list.clust.size());
    return 0;
}

void NARO_free_path_clust(NARO_cluster_list& list) {
    list.clust.clear();
    list.total = 0;
}

namespace {

using Vec3 = std::array<double, 3>;

// Grid-step vector in fractional units (cells).
inline Vec3 frac(const NARO_cube& c, const Tri& v) {
    return {static_cast<double>(v.x) / c.a_grid, static_cast<double>(v.y) / c.b_grid,
            static_cast<double>(v.z) / c.c_grid};
}

inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
// A cross product that is not null: some component of at least 1e-7.
inline bool nonzero(const Vec3& a) {
    return std::fabs(a[0]) >= kEqual || std::fabs(a[1]) >= kEqual || std::fabs(a[2]) >= kEqual;
}

inline void orient(Tri& v) {
    const int negative = (v.x < 0) + (v.y < 0) + (v.z < 0);
    const int positive = (v.x > 0) + (v.y > 0) + (v.z > 0);
    if (negative > positive) v = neg(v);
}

struct NodeKey {
    int m;
    int x, y, z;
    bool operator==(const NodeKey& o) const { return m == o.m && x == o.x && y == o.y && z == o.z; }
};
struct NodeKeyHash {
    size_t operator()(const NodeKey& k) const {
        size_t h = static_cast<size_t>(k.m) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<size_t>(k.x) + 0x9E3779B9u + (h << 6) + (h >> 2);
        h ^= static_cast<size_t>(k.y) + 0x9E3779B9u + (h << 6) + (h >> 2);
        h ^= static_cast<size_t>(k.z) + 0x9E3779B9u + (h << 6) + (h >> 2);
        return h;
    }
};

// Dimension of a set of nodes: 1 or more as soon as one minimum appears at two places.
bool part_repeats_minimum(const std::vector<int>& part, const std::vector<int>& node_min,
                          std::vector<int>& seen_stamp, int stamp) {
    for (int v : part) {
        int& s = seen_stamp[static_cast<size_t>(node_min[static_cast<size_t>(v)])];
        if (s == stamp) return true;
        s = stamp;
    }
    return false;
}

// The ribbon test: the channel survives the removal of any single node when, for every
// node, some remaining connected part still repeats along the channel.
int ribbon_test(const std::vector<int>& node_min, const std::vector<std::pair<int, int>>& edges,
                int total_minima) {
    const int n = static_cast<int>(node_min.size());
    std::vector<std::vector<int>> adj(static_cast<size_t>(n));
    for (const auto& [a, b] : edges) {
        adj[static_cast<size_t>(a)].push_back(b);
        adj[static_cast<size_t>(b)].push_back(a);
    }
    std::vector<int> reached(static_cast<size_t>(n), -1);
    std::vector<int> seen(static_cast<size_t>(std::max(total_minima, 1)), -1);
    std::vector<int> part, stack;
    int stamp = 0;
    for (int removed = 0; removed < n; ++removed) {
        bool harmless = false;
        for (int c = 0; c < n && !harmless; ++c) {
            if (c == removed || reached[static_cast<size_t>(c)] == removed) continue;
            part.clear();
            stack.assign(1, c);
            reached[static_cast<size_t>(c)] = removed;
            while (!stack.empty()) {
                const int v = stack.back();
                stack.pop_back();
                part.push_back(v);
                for (int w : adj[static_cast<size_t>(v)]) {
                    if (w == removed || reached[static_cast<size_t>(w)] == removed) continue;
                    reached[static_cast<size_t>(w)] = removed;
                    stack.push_back(w);
                }
            }
            if (part_repeats_minimum(part, node_min, seen, stamp++)) harmless = true;
        }
        if (!harmless) return 0;
    }
    return n > 0 ? 1 : 0;
}

// Clusters of the first `count` all-paths of a library.
int analyze_prefix(const NARO_cube& cube, const NARO_pathlib& lib, size_t count,
                   NARO_cluster_list& list) {
    NARO_free_path_clust(list);
    count = std::min(count, lib.allpath.size());
    const int nmin = static_cast<int>(cube.minima.size());

    // Distinct path of each all-path, and the all-paths touching each minimum.
    std::vector<int> to_path(count, -1);
    {
        std::map<std::tuple<int, int, int>, int> by_types;
        for (size_t k = 0; k < lib.path.size(); ++k) {
            const NARO_path& p = lib.path[k];
            by_types.emplace(std::make_tuple(p.saddle_type, p.start_type, p.end_type), static_cast<int>(k));
            by_types.emplace(std::make_tuple(p.saddle_type, p.end_type, p.start_type), static_cast<int>(k));
        }
        for (size_t k = 0; k < count; ++k) {
            const NARO_allpath& ap = lib.allpath[k];
            auto it = by_types.find(std::make_tuple(ap.saddle_type, ap.start_type, ap.end_type));
            if (it != by_types.end()) to_path[k] = it->second;
        }
    }
    std::vector<std::vector<int>> incident(static_cast<size_t>(std::max(nmin, 0)));
    for (size_t k = 0; k < count; ++k) {
        const NARO_allpath& ap = lib.allpath[k];
        if (ap.start < 0 || ap.start >= nmin || ap.end < 0 || ap.end >= nmin) return 1;
        incident[static_cast<size_t>(ap.start)].push_back(static_cast<int>(k));
        if (ap.end != ap.start) incident[static_cast<size_t>(ap.end)].push_back(static_cast<int>(k));
    }

    std::vector<char> visited(count, 0);
    std::vector<int> first_node(static_cast<size_t>(std::max(nmin, 0)), -1);
    std::vector<int> node_min;
    std::vector<Tri> node_pos;
    std::vector<std::pair<int, int>> edges;
    std::unordered_map<NodeKey, int, NodeKeyHash> node_at;
    std::vector<NARO_cluster> clusters;

    for (size_t p = 0; p < count; ++p) {
        if (visited[p]) continue;
        visited[p] = 1;
        for (int m : node_min) first_node[static_cast<size_t>(m)] = -1;
        node_min.clear();
        node_pos.clear();
        edges.clear();
        node_at.clear();
        // The scan of the remaining all-paths, restarted after every join, always takes the
        // first unvisited one that touches a minimum of the cluster: a heap of candidate
        // indices yields the same order without rescanning.
        std::priority_queue<int, std::vector<int>, std::greater<int>> heap;

        auto add_node = [&](int m, const Tri& pos) {
            auto it = node_at.find({m, pos.x, pos.y, pos.z});
            if (it != node_at.end()) return it->second;
            const int id = static_cast<int>(node_min.size());
            node_min.push_back(m);
            node_pos.push_back(pos);
            node_at.emplace(NodeKey{m, pos.x, pos.y, pos.z}, id);
            if (first_node[static_cast<size_t>(m)] < 0) {
                first_node[static_cast<size_t>(m)] = id;
                for (int q : incident[static_cast<size_t>(m)])
                    if (static_cast<size_t>(q) > p && !visited[static_cast<size_t>(q)]) heap.push(q);
            }
            return id;
        };

        NARO_cluster cl;
        auto add_path = [&](int k) {
            const int d = to_path[static_cast<size_t>(k)];
            if (d >= 0 && std::find(cl.path.begin(), cl.path.end(), d) == cl.path.end()) cl.path.push_back(d);
        };
        {
            const NARO_allpath& ap = lib.allpath[p];
            const Tri s = minimum_home(cube, ap.start);
            const Tri e = add(minimum_home(cube, ap.end), cells(cube, NARO_get_cellcrossdiff_from_allpath(ap)));
            const int a = add_node(ap.start, s);
            const int b = add_node(ap.end, e);
            edges.emplace_back(a, b);
            add_path(static_cast<int>(p));
        }
        while (!heap.empty()) {
            const int q = heap.top();
            heap.pop();
            if (visited[static_cast<size_t>(q)]) continue;
            visited[static_cast<size_t>(q)] = 1;
            add_path(q);
            const NARO_allpath& ap = lib.allpath[static_cast<size_t>(q)];
            const int hs = first_node[static_cast<size_t>(ap.start)];
            const int he = first_node[static_cast<size_t>(ap.end)];
            const int h = hs < 0 ? he : (he < 0 ? hs : std::min(hs, he));
            Tri s = minimum_home(cube, ap.start);
            Tri e = add(minimum_home(cube, ap.end), cells(cube, NARO_get_cellcrossdiff_from_allpath(ap)));
            const Tri shift = node_min[static_cast<size_t>(h)] == ap.start
                                  ? sub(node_pos[static_cast<size_t>(h)], s)
                                  : sub(node_pos[static_cast<size_t>(h)], e);
            s = add(s, shift);
            e = add(e, shift);
            const int a = add_node(ap.start, s);
            const int b = add_node(ap.end, e);
            edges.emplace_back(a, b);
        }

        // Lattice vectors and dimension.
        std::vector<Tri> vecs;
        int nvec = 0;
        NARO_generate_path_vectors(cube, static_cast<int>(node_min.size()), node_min.data(),
                                   node_pos.data(), &nvec, vecs);
        NARO_generate_path_dimension(cube, nvec, vecs, &cl.dimension, cl.vector);
        if (cl.dimension == 1) cl.ribbon = ribbon_test(node_min, edges, nmin);
        cl.total_path = static_cast<int>(cl.path.size());
        clusters.push_back(std::move(cl));
    }
    for (int m : node_min) first_node[static_cast<size_t>(m)] = -1;

    for (NARO_cluster& c : clusters)
        for (Tri& v : c.vector) orient(v);

    // Merge copies of one kind of cluster.
    for (size_t i = 0; i < clusters.size(); ++i) {
        for (size_t j = i + 1; j < clusters.size();) {
            NARO_cluster& ci = clusters[i];
            const NARO_cluster& cj = clusters[j];
            bool subset = true;
            for (int d : ci.path)
                if (std::find(cj.path.begin(), cj.path.end(), d) == cj.path.end()) { subset = false; break; }
            if (!subset) { ++j; continue; }
            ci.mul += 1;
            // A copy running in another direction adds that direction to the first
            // cluster's vectors (two more at most).
            if (ci.dimension == 1 &&
                nonzero(cross(frac(cube, ci.vector[0]), frac(cube, cj.vector[0])))) {
                if (is_zero(ci.vector[1])) ci.vector[1] = cj.vector[0];
                else if (is_zero(ci.vector[2])) ci.vector[2] = cj.vector[0];
            }
            clusters.erase(clusters.begin() + static_cast<long>(j));
        }
    }

    for (NARO_cluster& c : clusters) {
        bool have_min = false, have_max = false;
        for (int d : c.path) {
            const NARO_path& p = lib.path[static_cast<size_t>(d)];
            for (double e : {p.start_energy, p.end_energy})
                if (!have_min || e < c.minimum) { c.minimum = e; have_min = true; }
            if (!have_max || p.saddle_energy > c.maximum) {
                c.maximum = p.saddle_energy;
                c.ID = d;
                have_max = true;
            }
        }
    }
    list.clust = std::move(clusters);
    list.total = static_cast<int>(list.clust.size());
    return 0;
}

// Number of leading all-paths whose saddle does not exceed the ceiling.
size_t prefix_below(const NARO_pathlib& lib, double energy) {
    size_t n = 0;
    while (n < lib.allpath.size() && !(lib.allpath[n].saddle_energy > energy + kEqual)) ++n;
    return n;
}

// Calls f(level energy) for every distinct saddle level up to the threshold.
template <class F>
int sweep_levels(const NARO_cube& cube, const NARO_pathlib& lib, double threshold, F&& f) {
    double current = cube.global_minimum - 1.0;
    for (const NARO_allpath& ap : lib.allpath) {
        if (ap.saddle_energy > threshold) break;
        if (ap.saddle_energy > current + kEqual) {
            current = ap.saddle_energy;
            if (f(current) != 0) return 1;
        }
    }
    return 0;
}

}  // namespace

int NARO_generate_path_vectors(const NARO_cube& cube, int listnum, const int* listmin,
                               const NARO_path_triple_index* listcoor, int* listvecnum,
                               std::vector<NARO_path_triple_index>& listvec) {
    listvec.clear();
    // Nodes of one minimum, in node order; pairs are visited in (i, j) order overall.
    std::map<int, std::vector<int>> groups;
    for (int i = 0; i < listnum; ++i) groups[listmin[i]].push_back(i);
    std::vector<std::pair<int, int>> pairs;
    for (const auto& [m, g] : groups)
        for (size_t a = 0; a < g.size(); ++a)
            for (size_t b = a + 1; b < g.size(); ++b) pairs.emplace_back(g[a], g[b]);
    std::sort(pairs.begin(), pairs.end());
    std::set<std::tuple<int, int, int>> kept;
    for (const auto& [i, j] : pairs) {
        const Tri v = sub(listcoor[j], listcoor[i]);
        if (wrap(v.x, cube.a_grid) != 0 || wrap(v.y, cube.b_grid) != 0 || wrap(v.z, cube.c_grid) != 0)
            continue;
        if (is_zero(v)) continue;
        if (kept.count({v.x, v.y, v.z}) || kept.count({-v.x, -v.y, -v.z})) continue;
        kept.insert({v.x, v.y, v.z});
        listvec.push_back(v);
    }
    *listvecnum = static_cast<int>(listvec.size());
    return 0;
}

void NARO_generate_path_dimension(const NARO_cube& cube, int listvecnum,
                                  const std::vector<NARO_path_triple_index>& listvec, int* dimension,
                                  NARO_path_triple_index spanning_vectors[3]) {
    for (int k = 0; k < 3; ++k) spanning_vectors[k] = Tri{};
    const size_t n = std::min(static_cast<size_t>(std::max(listvecnum, 0)), listvec.size());
    std::vector<Vec3> f(n);
    for (size_t i = 0; i < n; ++i) f[i] = frac(cube, listvec[i]);
    // First triple, in list order, spanning a volume.
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) {
            const Vec3 c = cross(f[i], f[j]);
            for (size_t k = j + 1; k < n; ++k)
                if (std::fabs(dot(c, f[k])) >= kEqual) {
                    *dimension = 3;
                    spanning_vectors[0] = listvec[i];
                    spanning_vectors[1] = listvec[j];
                    spanning_vectors[2] = listvec[k];
                    return;
                }
        }
    // First pair spanning a plane.
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (nonzero(cross(f[i], f[j]))) {
                *dimension = 2;
                spanning_vectors[0] = listvec[i];
                spanning_vectors[1] = listvec[j];
                return;
            }
    *dimension = 0;
    for (size_t i = 0; i < n; ++i)
        if (!is_zero(listvec[i])) {
            *dimension = 1;
            spanning_vectors[0] = listvec[i];
        }
}

int NARO_analyze_network(const NARO_cube& cube, const NARO_pathlib& pathlib,
                         NARO_cluster_list& clustlist) {
    if (analyze_prefix(cube, pathlib, pathlib.allpath.size(), clustlist) != 0) {
        std::fprintf(stderr, "Error: Invalid input to NARO_analyze_network()\n");
        return 1;
    }
    return 0;
}

int NARO_analyze_network_at_energy(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                   NARO_cluster_list& clustlist, double energy) {
    NARO_free_path_clust(clustlist);
    const size_t n = prefix_below(pathlib, energy);
    if (n == 0) return 0;
    if (analyze_prefix(cube, pathlib, n, clustlist) != 0) {
        std::fprintf(stderr, "Error: Invalid input to NARO_analyze_network_at_energy()\n");
        return 1;
    }
    return 0;
}

void NARO_print_clustlist(const NARO_cube& cube, const NARO_pathlib& pathlib,
                          const NARO_cluster_list& clustlist, FILE* out) {
    std::fprintf(out, "\r\nTotal symmetrically distinct clusters: %d\r\n", static_cast<int>(clustlist.clust.size()));
    int k = 0;
    for (const NARO_cluster& c : clustlist.clust) {
        std::fprintf(out, "\r\nCluster %d:\r\n", ++k);
        if (c.dimension > 0) {
            std::fprintf(out, "> Percolating (%dD)", c.dimension);
            if (c.ribbon) std::fprintf(out, "(ribbon)");
            if (c.dimension == 1) {
                std::fprintf(out, " : Vector");
                for (const Tri& v : c.vector) {
                    if (is_zero(v)) continue;
                    const Vec3 f = frac(cube, v);
                    std::fprintf(out, " [%.0f,%.0f,%.0f]", f[0], f[1], f[2]);
                }
                std::fprintf(out, "\r\n");
            } else if (c.dimension == 2) {
                Vec3 nrm = cross(frac(cube, c.vector[0]), frac(cube, c.vector[1]));
                for (double& x : nrm)
                    if (std::fabs(x) < kEqual) x = 0.0;
                const int negative = (nrm[0] < 0) + (nrm[1] < 0) + (nrm[2] < 0);
                const int positive = (nrm[0] > 0) + (nrm[1] > 0) + (nrm[2] > 0);
                // Adding 0.0 turns a negated zero back into one that prints as "0".
                if (negative > positive) nrm = {-nrm[0] + 0.0, -nrm[1] + 0.0, -nrm[2] + 0.0};
                std::fprintf(out, " : Plane (%.0f,%.0f,%.0f)\r\n", nrm[0], nrm[1], nrm[2]);
            } else {
                std::fprintf(out, "\r\n");
            }
        }
        std::fprintf(out, "> Multiplicity : %d\r\n", c.mul);
        std::fprintf(out, "> Cluster energy minimum : %.3f", scaled(cube, c.minimum));
        if (eq(c.minimum, cube.global_minimum)) std::fprintf(out, " (global energy minimum)");
        std::fprintf(out, "\r\n");
        std::fprintf(out, "> Cluster energy maximum : %.3f\r\n", scaled(cube, c.maximum));
        std::fprintf(out, "> Site hops :\r\n");
        int j = 0;
        for (int d : c.path) {
            if (d < 0 || d >= static_cast<int>(pathlib.path.size())) continue;
            const NARO_path& p = pathlib.path[static_cast<size_t>(d)];
            std::fprintf(out, "  (%d) %s (%.3f eV) to ", ++j, type_label(cube, p.start_type).c_str(),
                         scaled(cube, p.start_energy));
            std::fprintf(out, "%s (%.3f eV) via s%d (%.3f eV)\r\n", type_label(cube, p.end_type).c_str(),
                         scaled(cube, p.end_energy), p.saddle_type, scaled(cube, p.saddle_energy));
        }
        std::fprintf(out, "\r\n");
    }
}

int NARO_analyze_network_at_saddles(const NARO_cube& cube, const NARO_pathlib& pathlib, FILE* out,
                                    double threshold) {
    const std::string dashes(69, '-');
    std::fprintf(out, "%s\r\n", dashes.c_str());
    std::fprintf(out, "  Summary of pathway characteristics at different energy thresholds  \r\n");
    std::fprintf(out, "%s\r\n\r\n", dashes.c_str());
    NARO_cluster_list list;
    const int r = sweep_levels(cube, pathlib, threshold, [&](double level) {
        if (NARO_analyze_network_at_energy(cube, pathlib, list, level) != 0) return 1;
        std::fprintf(out, "===============================\r\n");
        std::fprintf(out, " Threshold energy: %.6f eV\r\n", scaled(cube, level));
        std::fprintf(out, "===============================\r\n");
        NARO_print_clustlist(cube, pathlib, list, out);
        return 0;
    });
    std::fflush(out);
    return r;
}

int NARO_calc_activation_energy(const NARO_cube& cube, NARO_pathlib& pathlib) {
    pathlib.oneD = pathlib.twoD = pathlib.threeD = 999.0;
    NARO_cluster_list list;
    return sweep_levels(cube, pathlib, 999.0, [&](double level) {
        if (NARO_analyze_network_at_energy(cube, pathlib, list, level) != 0) return 1;
        for (const NARO_cluster& c : list.clust) {
            if (c.dimension <= 0) continue;
            const double barrier = scaled(cube, c.maximum) - scaled(cube, c.minimum);
            if (c.dimension >= 1) pathlib.oneD = std::min(pathlib.oneD, barrier);
            if (c.dimension >= 2) pathlib.twoD = std::min(pathlib.twoD, barrier);
            if (c.dimension == 3) pathlib.threeD = std::min(pathlib.threeD, barrier);
        }
        return 0;
    });
}

void NARO_print_activation_energy(const NARO_pathlib& pathlib, FILE* out) {
    std::fprintf(out, "1D activation energy: %.6f eV\n", pathlib.oneD);
    std::fprintf(out, "2D activation energy: %.6f eV\n", pathlib.twoD);
    std::fprintf(out, "3D activation energy: %.6f eV\n", pathlib.threeD);
}
