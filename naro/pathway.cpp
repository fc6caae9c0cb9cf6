// Reaction pathways: assembly over the rising energy ceiling, the backbone of each
// channel, the marks on the library's paths and the energy-profile rows.
#include "pathway.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "cube.hpp"
#include "path-points.hpp"

using namespace naro_walk;

namespace {

// Above this many hops in a channel, the backbone reduction starts from one deletion
// order only instead of one per hop.
constexpr size_t kFullBackboneSearch = 16;

int ref_index(int ref) { return std::abs(ref) - 1; }
int ref_start_type(const NARO_pathlib& lib, int ref) {
    const NARO_path& p = lib.path[static_cast<size_t>(ref_index(ref))];
    return ref > 0 ? p.start_type : p.end_type;
}
int ref_end_type(const NARO_pathlib& lib, int ref) {
    const NARO_path& p = lib.path[static_cast<size_t>(ref_index(ref))];
    return ref > 0 ? p.end_type : p.start_type;
}

bool same_hop(const NARO_path& p, const NARO_allpath& ap) {
    return p.saddle_type == ap.saddle_type &&
           ((p.start_type == ap.start_type && p.end_type == ap.end_type) ||
            (p.start_type == ap.end_type && p.end_type == ap.start_type));
}

// The library restricted to some distinct paths and their periodic copies.
NARO_pathlib restricted_library(const NARO_pathlib& lib, const std::vector<int>& keep) {
    NARO_pathlib out;
    out.pathlib = 1;
    for (int k : keep) out.path.push_back(lib.path[static_cast<size_t>(k)]);
    for (const NARO_allpath& ap : lib.allpath)
        for (const NARO_path& p : out.path)
            if (same_hop(p, ap)) {
                out.allpath.push_back(ap);
                break;
            }
    out.total_path = static_cast<int>(out.path.size());
    out.total_allpath = static_cast<int>(out.allpath.size());
    return out;
}

// 1 when the first cluster of the restricted network keeps the channel's state,
// 0 when it does not, -1 on failure.
int keeps_channel(const NARO_cube& cube, const NARO_pathlib& lib, const std::vector<int>& keep,
                  const NARO_cluster& clust) {
    const NARO_pathlib sub = restricted_library(lib, keep);
    NARO_cluster_list list;
    if (NARO_analyze_network(cube, sub, list) != 0) return -1;
    if (list.clust.empty()) return 0;
    const NARO_cluster& c = list.clust.front();
    return c.dimension == clust.dimension && c.ribbon == clust.ribbon ? 1 : 0;
}

bool contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

void mark_cluster(NARO_pathlib& lib, const NARO_cluster& c, const std::vector<int>& backbone, bool only_uncoloured) {
    const int color = c.ribbon ? 4 : c.dimension;
    for (int d : c.path) {
        if (d < 0 || d >= static_cast<int>(lib.path.size())) continue;
        NARO_path& p = lib.path[static_cast<size_t>(d)];
        NARO_color_pathdimension(p, c);
        if (only_uncoloured && p.color != -1) continue;
        NARO_color_path(p, color, contains(backbone, d) ? 1 : 0, -1);
    }
}

// Maps the steps of a type walk to distinct paths whose saddle energy equals the step weight.
void append_walk_by_weight(NARO_pathlib& lib, NARO_reaction_pathway& rp, const std::vector<int>& verts,
                           const std::vector<double>& weights) {
    for (size_t s = 0; s + 1 < verts.size(); ++s) {
        const int u = verts[s], v = verts[s + 1];
        int ref = 0;
        for (size_t k = 0; k < lib.path.size(); ++k) {
            const NARO_path& p = lib.path[k];
            if (std::fabs(p.saddle_energy - weights[s]) > kEqual) continue;
            if (p.start_type == u && p.end_type == v) ref = static_cast<int>(k) + 1;
            else if (p.end_type == u && p.start_type == v) ref = -(static_cast<int>(k) + 1);
        }
        if (ref == 0) continue;
        NARO_append_path_to_reaction_pathway(rp, ref);
        lib.path[static_cast<size_t>(ref_index(ref))].in_rp = 1;
    }
}

// Connects a grown channel's pathway to the channel's highest hop along the shortest
// walk over hops below the ceiling.
int extend_pathway(NARO_pathlib& lib, NARO_reaction_pathway& rp, const NARO_cluster& c, double level) {
    NARO_graph g;
    for (const NARO_path& p : lib.path)
        if (!(p.saddle_energy > level + kEqual)) NARO_add_edge(g, p.start_type, p.end_type, p.length);
    NARO_build_vert_from_edge(g);
    const NARO_path& id = lib.path[static_cast<size_t>(c.ID)];
    const int from = rp.path.empty() ? id.start_type : ref_end_type(lib, rp.path.back());
    double ds = -1, de = -1;
    std::vector<int> ws, we;
    if (NARO_find_shortest_path(g, from, id.start_type, &ds, &ws) != 0) return 1;
    if (NARO_find_shortest_path(g, from, id.end_type, &de, &we) != 0) return 1;
    if (ds < 0 && de < 0) return 0;   // not reachable: the pathway keeps its walk
    const bool to_start = ds >= 0 && (de < 0 || ds <= de);
    if (NARO_append_minima_path_to_reaction_pathway(lib, rp, to_start ? ws : we, level) != 0) return 1;
    NARO_append_path_to_reaction_pathway(rp, to_start ? c.ID + 1 : -(c.ID + 1));
    lib.path[static_cast<size_t>(c.ID)].in_rp = 1;
    return 0;
}

int new_pathway(const NARO_cube& cube, NARO_pathlib& lib, const NARO_cluster& c, NARO_reaction_pathway_overall& all) {
    std::vector<int> backbone;
    if (NARO_get_percolating_cluster_backbone(cube, lib, c, backbone) != 0) return 1;
    NARO_graph g;
    for (int d : backbone) {
        const NARO_path& p = lib.path[static_cast<size_t>(d)];
        NARO_add_edge(g, p.start_type, p.end_type, p.saddle_energy);
    }
    std::vector<int> verts;
    std::vector<double> weights;
    if (NARO_build_Euler_path(g, verts, weights) != 0) return 1;
    NARO_reaction_pathway rp;
    rp.ID = c.ID;
    rp.initial_dimension = rp.dimension = c.dimension;
    rp.ribbon = c.ribbon;
    append_walk_by_weight(lib, rp, verts, weights);
    mark_cluster(lib, c, backbone, false);
    all.rp.push_back(std::move(rp));
    all.total = static_cast<int>(all.rp.size());
    return 0;
}

// True when one pathway walks every distinct path of the cluster.
bool covered_by_one_pathway(const NARO_reaction_pathway_overall& all, const NARO_cluster& c) {
    for (const NARO_reaction_pathway& rp : all.rp) {
        bool every = true;
        for (int d : c.path)
            if (!contains(rp.path, d + 1) && !contains(rp.path, -(d + 1))) {
                every = false;
                break;
            }
        if (every) return true;
    }
    return false;
}

// A pathway that walks all distinct paths of a cluster (an Euler walk over its hops
// between minimum types); its hops not yet marked take colour 0 and style 1.
int whole_cluster_pathway(NARO_pathlib& lib, const NARO_cluster& c, NARO_reaction_pathway_overall& all) {
    NARO_graph g;
    for (int d : c.path)
        if (d >= 0 && d < static_cast<int>(lib.path.size())) {
            const NARO_path& p = lib.path[static_cast<size_t>(d)];
            NARO_add_edge(g, p.start_type, p.end_type, p.saddle_energy);
        }
    if (g.edge.empty()) return 0;
    std::vector<int> verts;
    std::vector<double> weights;
    if (NARO_build_Euler_path(g, verts, weights) != 0) return 1;
    NARO_reaction_pathway rp;
    rp.ID = c.ID;
    rp.initial_dimension = rp.dimension = c.dimension;
    rp.ribbon = c.ribbon;
    append_walk_by_weight(lib, rp, verts, weights);
    if (rp.path.empty()) return 0;
    for (int d : c.path)
        if (d >= 0 && d < static_cast<int>(lib.path.size())) {
            NARO_path& p = lib.path[static_cast<size_t>(d)];
            NARO_color_pathdimension(p, c);
            if (p.color == -1) NARO_color_path(p, 0, 1, -1);
        }
    all.rp.push_back(std::move(rp));
    all.total = static_cast<int>(all.rp.size());
    return 0;
}

}  // namespace

// ====================================================================== records

int NARO_append_path_to_reaction_pathway(NARO_reaction_pathway& rp, int n) {
    rp.path.push_back(n);
    rp.total_path = static_cast<int>(rp.path.size());
    return 0;
}

int NARO_append_minima_path_to_reaction_pathway(NARO_pathlib& pathlib, NARO_reaction_pathway& rp,
                                                const std::vector<int>& minima_path, double ceiling) {
    for (size_t s = 0; s + 1 < minima_path.size(); ++s) {
        const int u = minima_path[s], v = minima_path[s + 1];
        int ref = 0;
        double best = 0;
        for (size_t k = 0; k < pathlib.path.size(); ++k) {
            const NARO_path& p = pathlib.path[k];
            // A connection never climbs above the ceiling it was found under.
            if (p.saddle_energy > ceiling + kEqual) continue;
            const bool fwd = p.start_type == u && p.end_type == v;
            const bool bwd = p.end_type == u && p.start_type == v;
            if (!fwd && !bwd) continue;
            if (ref == 0 || p.length < best) {
                best = p.length;
                ref = fwd ? static_cast<int>(k) + 1 : -(static_cast<int>(k) + 1);
            }
        }
        if (ref == 0) return 1;
        NARO_append_path_to_reaction_pathway(rp, ref);
        pathlib.path[static_cast<size_t>(ref_index(ref))].in_rp = 1;
    }
    return 0;
}

int NARO_del_reaction_pathway(NARO_reaction_pathway_overall& rp_all, int p) {
    if (p < 0 || p >= static_cast<int>(rp_all.rp.size())) {
        std::fprintf(stderr, "Error: Invalid input to NARO_del_reaction_pathway()\n");
        return 1;
    }
    rp_all.rp.erase(rp_all.rp.begin() + p);
    rp_all.total = static_cast<int>(rp_all.rp.size());
    return 0;
}

void NARO_free_reaction_pathway(NARO_reaction_pathway_overall& rp_all) { rp_all = NARO_reaction_pathway_overall{}; }

// ====================================================================== marks

void NARO_erase_path_plot_characteristics(NARO_pathlib& pathlib) {
    for (NARO_path& p : pathlib.path) {
        p.color = -1;
        p.style = -1;
        p.oneD = p.twoD = p.threeD = 0;
        p.in_rp = 0;
    }
}

void NARO_color_path(NARO_path& path, int color, int style, int in_rp) {
    path.color = color;
    path.style = style;
    if (in_rp != -1) path.in_rp = in_rp;
}

void NARO_color_pathdimension(NARO_path& path, const NARO_cluster& clust) {
    if (clust.dimension == 1) path.oneD = 1;
    if (clust.dimension == 2) path.twoD = 1;
    if (clust.dimension == 3) path.threeD = 1;
}

// ====================================================================== assembly

int NARO_get_percolating_cluster_backbone(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                          const NARO_cluster& clust, std::vector<int>& backbone_path) {
    std::vector<int> base;
    for (int d : clust.path)
        if (d >= 0 && d < static_cast<int>(pathlib.path.size())) base.push_back(d);
    std::sort(base.begin(), base.end());
    backbone_path = base;
    if (base.size() <= 1) return 0;
    const size_t tries = base.size() <= kFullBackboneSearch ? base.size() : 1;
    for (size_t s = 0; s < tries; ++s) {
        std::vector<int> cur = base;
        cur.erase(cur.begin() + static_cast<long>(s));
        const int k = keeps_channel(cube, pathlib, cur, clust);
        if (k < 0) return 1;
        if (k == 0) continue;
        for (int d : std::vector<int>(cur)) {
            if (cur.size() <= 1) break;
            std::vector<int> trial;
            for (int x : cur)
                if (x != d) trial.push_back(x);
            const int t = keeps_channel(cube, pathlib, trial, clust);
            if (t < 0) return 1;
            if (t == 1) cur = std::move(trial);
        }
        if (cur.size() < backbone_path.size()) backbone_path = cur;
    }
    return 0;
}

void NARO_cleanup_redundant_pathways(const NARO_pathlib& pathlib, NARO_reaction_pathway_overall& rp_all) {
    auto shares = [](const NARO_reaction_pathway& a, const NARO_reaction_pathway& b) {
        for (int x : a.path)
            for (int y : b.path)
                if (std::abs(x) == std::abs(y)) return true;
        return false;
    };
    auto id_energy = [&](const NARO_reaction_pathway& r) {
        return r.ID >= 0 && r.ID < static_cast<int>(pathlib.path.size())
                   ? pathlib.path[static_cast<size_t>(r.ID)].saddle_energy
                   : 999.0;
    };
    bool again = true;
    while (again) {
        again = false;
        for (size_t i = 0; i < rp_all.rp.size() && !again; ++i)
            for (size_t j = i + 1; j < rp_all.rp.size() && !again; ++j) {
                const NARO_reaction_pathway& a = rp_all.rp[i];
                const NARO_reaction_pathway& b = rp_all.rp[j];
                if (!shares(a, b)) continue;
                bool drop_a;
                if (a.initial_dimension != b.initial_dimension) drop_a = b.initial_dimension < a.initial_dimension;
                else drop_a = !(id_energy(a) < id_energy(b) - kEqual);
                NARO_del_reaction_pathway(rp_all, static_cast<int>(drop_a ? i : j));
                again = true;
            }
    }
}

int NARO_build_reaction_pathway(const NARO_cube& cube, NARO_pathlib& pathlib, NARO_reaction_pathway_overall& rp_all) {
    NARO_free_reaction_pathway(rp_all);
    NARO_erase_path_plot_characteristics(pathlib);
    std::vector<double> levels;
    int previous_type = -1;
    for (const NARO_allpath& ap : pathlib.allpath) {
        if (ap.saddle_type != previous_type && (levels.empty() || ap.saddle_energy > levels.back() + kEqual))
            levels.push_back(ap.saddle_energy);
        previous_type = ap.saddle_type;
    }
    NARO_cluster_list list;
    for (size_t li = 0; li < levels.size(); ++li) {
        const double level = levels[li];
        if (NARO_analyze_network_at_energy(cube, pathlib, list, level) != 0) {
            std::fprintf(stderr, "Error: Memory allocation problem in NARO_build_reaction_pathway()\n");
            return 1;
        }
        std::vector<char> marked(list.clust.size(), 0);
        for (NARO_reaction_pathway& rp : rp_all.rp) {
            for (size_t c = 0; c < list.clust.size(); ++c) {
                const NARO_cluster& cl = list.clust[c];
                if (!contains(cl.path, rp.ID)) continue;
                marked[c] = 1;
                if (cl.dimension == rp.dimension && cl.ribbon == rp.ribbon) {
                    mark_cluster(pathlib, cl, {}, true);
                    continue;
                }
                std::vector<int> backbone;
                if (NARO_get_percolating_cluster_backbone(cube, pathlib, cl, backbone) != 0) return 1;
                // Paths keep the colour of the channel they first joined.
                mark_cluster(pathlib, cl, backbone, true);
                if (cl.ID >= 0 && extend_pathway(pathlib, rp, cl, level) != 0) return 1;
                rp.dimension = cl.dimension;
                rp.ribbon = cl.ribbon;
            }
        }
        for (size_t c = 0; c < list.clust.size(); ++c)
            if (!marked[c] && list.clust[c].dimension > 0 && list.clust[c].ID >= 0) {
                if (new_pathway(cube, pathlib, list.clust[c], rp_all) != 0) return 1;
            }
        // At the top level every hop is in: a channel that no pathway walks whole gets a
        // walk over all its distinct paths. The clean-up below keeps it only where it
        // replaces a walk of the same channel made at this level. Clusters that never
        // percolate have no long-range migration to profile and get none.
        if (li + 1 == levels.size())
            for (const NARO_cluster& cl : list.clust)
                if (cl.dimension > 0 && !covered_by_one_pathway(rp_all, cl))
                    if (whole_cluster_pathway(pathlib, cl, rp_all) != 0) return 1;
    }
    NARO_cleanup_redundant_pathways(pathlib, rp_all);
    return 0;
}

// ====================================================================== output

int NARO_concatenate_path(const NARO_cube& cube, const NARO_pathlib& pathlib, NARO_grid_path& grid_path,
                          const NARO_connect_list& connect_list) {
    NARO_free_grid_path(grid_path);
    const int npath = static_cast<int>(pathlib.path.size());
    bool valid = !connect_list.item.empty();
    for (int ref : connect_list.item)
        if (ref == 0 || std::abs(ref) > npath) valid = false;
    if (!valid) {
        std::fprintf(stderr, "Error: Invalid input to NARO_concatenate_path()\n");
        return 1;
    }
    int previous_end_type = 0;
    for (size_t n = 0; n < connect_list.item.size(); ++n) {
        const int ref = connect_list.item[n];
        const NARO_path& p = pathlib.path[static_cast<size_t>(ref_index(ref))];
        if (p.start < 0 || p.start >= static_cast<int>(cube.minima.size()) || p.end < 0 ||
            p.end >= static_cast<int>(cube.minima.size()) || p.saddle < 0 ||
            p.saddle >= static_cast<int>(cube.saddle.size())) {
            std::fprintf(stderr, "Error: Invalid input to NARO_concatenate_path()\n");
            return 1;
        }
        Tri s = minimum_image(cube, p.start, p.start_p, p.start_q, p.start_r);
        Tri m{cube.saddle[static_cast<size_t>(p.saddle)].x, cube.saddle[static_cast<size_t>(p.saddle)].y,
              cube.saddle[static_cast<size_t>(p.saddle)].z};
        Tri e = minimum_image(cube, p.end, p.end_p, p.end_q, p.end_r);
        if (ref < 0) std::swap(s, e);
        const int first_type = ref_start_type(pathlib, ref);
        if (n > 0 && !grid_path.grid.empty() && !same(s, grid_path.grid.back()) && first_type == previous_end_type) {
            const Tri last = grid_path.grid.back();
            auto congruent = [&](const Tri& a, const Tri& b) {
                return wrap(a.x - b.x, cube.a_grid) == 0 && wrap(a.y - b.y, cube.b_grid) == 0 &&
                       wrap(a.z - b.z, cube.c_grid) == 0;
            };
            bool moved = false;
            for (const NARO_allpath& ap : pathlib.allpath) {
                if (ap.saddle_type != p.saddle_type || !same_hop(p, ap)) continue;
                if (ap.start < 0 || ap.start >= static_cast<int>(cube.minima.size()) || ap.end < 0 ||
                    ap.end >= static_cast<int>(cube.minima.size()) || ap.saddle < 0 ||
                    ap.saddle >= static_cast<int>(cube.saddle.size()))
                    continue;
                const Tri as = minimum_image(cube, ap.start, ap.start_crossx, ap.start_crossy, ap.start_crossz);
                const Tri ae = minimum_image(cube, ap.end, ap.end_crossx, ap.end_crossy, ap.end_crossz);
                const NARO_saddle& sd = cube.saddle[static_cast<size_t>(ap.saddle)];
                const Tri am{sd.x, sd.y, sd.z};
                const int to_type = ref_end_type(pathlib, ref);
                for (int orient = 0; orient < 2 && !moved; ++orient) {
                    const Tri& a = orient == 0 ? as : ae;
                    const Tri& b = orient == 0 ? ae : as;
                    const int ta = orient == 0 ? ap.start_type : ap.end_type;
                    const int tb = orient == 0 ? ap.end_type : ap.start_type;
                    if (ta != first_type || tb != to_type || !congruent(a, last)) continue;
                    const Tri shift = sub(last, a);
                    s = last;
                    m = add(am, shift);
                    e = add(b, shift);
                    moved = true;
                }
                if (moved) break;
            }
            if (!moved) std::fprintf(stderr, "Warning: Possible error in NARO_get_path_stationary_points()\n");
        }
        NARO_grid_path piece;
        const int r = NARO_build_grid_path(cube, piece, {s.x, s.y, s.z}, {m.x, m.y, m.z}, {e.x, e.y, e.z});
        if (r == -1) {
            std::printf(" Concatenation issue\n");
            continue;
        }
        if (r != 0 || piece.grid.empty()) {
            std::fprintf(stderr, "Warning: Path cannot be concatenated in NARO_concatenate_path()\n");
            std::fprintf(stderr, "         Input minimum 1 (%d %d %d) Input saddle(%d %d %d) Input minimum 2 (%d %d %d)\n",
                         s.x, s.y, s.z, m.x, m.y, m.z, e.x, e.y, e.z);
            return 1;
        }
        piece.color.assign(piece.grid.size(), -1);
        piece.style.assign(piece.grid.size(), -1);
        piece.marker.assign(piece.grid.size(), -1);
        piece.color[0] = p.color;
        piece.style[0] = p.style;
        // The joint point is kept twice: the rows mark it as the seam between two hops.
        grid_path.grid.insert(grid_path.grid.end(), piece.grid.begin(), piece.grid.end());
        grid_path.color.insert(grid_path.color.end(), piece.color.begin(), piece.color.end());
        grid_path.style.insert(grid_path.style.end(), piece.style.begin(), piece.style.end());
        grid_path.marker.insert(grid_path.marker.end(), piece.marker.begin(), piece.marker.end());
        previous_end_type = ref_end_type(pathlib, ref);
    }
    grid_path.length = static_cast<int>(grid_path.grid.size());
    if (grid_path.grid.empty()) {
        std::fprintf(stderr, "Warning: Path cannot be concatenated in NARO_concatenate_path()\n");
        return 1;
    }
    NARO_refresh_path_saddle(cube, grid_path);
    return 0;
}

double NARO_print_path(const NARO_cube& cube, const NARO_grid_path& grid_path, const NARO_pathlib& pathlib,
                       FILE* out, int plot, double reac_coor) {
    auto key = [&](const Tri& t) {
        return (static_cast<long>(wrap(t.x, cube.a_grid)) * cube.b_grid + wrap(t.y, cube.b_grid)) * cube.c_grid +
               wrap(t.z, cube.c_grid);
    };
    std::unordered_map<long, int> minimum_at, saddle_at;
    for (size_t i = 0; i < cube.minima.size(); ++i)
        minimum_at.emplace(key({cube.minima[i].x, cube.minima[i].y, cube.minima[i].z}), static_cast<int>(i));
    for (size_t i = 0; i < cube.saddle.size(); ++i)
        saddle_at.emplace(key({cube.saddle[i].x, cube.saddle[i].y, cube.saddle[i].z}), static_cast<int>(i));
    auto minimum_of = [&](const Tri& t) {
        auto it = minimum_at.find(key(t));
        return it == minimum_at.end() ? -1 : it->second;
    };
    const size_t n = grid_path.grid.size();
    const double first_step = n > 1 ? NARO_distance_grid(cube, grid_path.grid[0].x, grid_path.grid[0].y,
                                                         grid_path.grid[0].z, grid_path.grid[1].x,
                                                         grid_path.grid[1].y, grid_path.grid[1].z)
                                    : 0.0;
    double coor = reac_coor;
    for (size_t i = 0; i < n; ++i) {
        const Tri& t = grid_path.grid[i];
        if (i > 0) {
            const Tri& q = grid_path.grid[i - 1];
            if (minimum_of(q) >= 0 && minimum_of(t) >= 0) {
                std::fprintf(out, "NEXT\n");
                coor += 0.05 * static_cast<double>(n) * first_step;
            } else {
                coor += NARO_distance_grid(cube, q.x, q.y, q.z, t.x, t.y, t.z);
            }
        }
        std::fprintf(out, "%.6f,%.6f", coor, scaled(cube, NARO_cube_energy(cube, t.x, t.y, t.z)));
        const int m = minimum_of(t);
        if (m >= 0) {
            std::fprintf(out, ",%s", type_label(cube, cube.minima[static_cast<size_t>(m)].type).c_str());
            if (plot) {
                const int color = i < grid_path.color.size() ? grid_path.color[i] : -1;
                const int marker = i < grid_path.marker.size() ? grid_path.marker[i] : -1;
                const int style = i < grid_path.style.size() ? grid_path.style[i] : -1;
                std::fprintf(out, ",%d,%d,%d", color, marker, style);
            }
        } else if (auto it = saddle_at.find(key(t)); it != saddle_at.end()) {
            const NARO_saddle& sd = cube.saddle[static_cast<size_t>(it->second)];
            std::fprintf(out, ",s%d", sd.type);
            for (const NARO_path& p : pathlib.path)
                if (p.saddle_type == sd.type) {
                    const double low = std::min(p.start_energy, p.end_energy);
                    std::fprintf(out, " %.6feV", scaled(cube, sd.e) - scaled(cube, low));
                    break;
                }
        }
        std::fprintf(out, "\n");
    }
    return coor;
}

int NARO_print_reaction_pathway(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                const NARO_reaction_pathway_overall& rp_all, FILE* out) {
    double coor = 0;
    for (size_t r = 0; r < rp_all.rp.size(); ++r) {
        NARO_connect_list list;
        list.item = rp_all.rp[r].path;
        list.total = static_cast<int>(list.item.size());
        NARO_grid_path gp;
        if (NARO_concatenate_path(cube, pathlib, gp, list) != 0) {
            std::fflush(out);
            return 1;
        }
        for (size_t i = 0; i < gp.grid.size(); ++i)
            if (gp.color[i] != -1) gp.marker[i] = static_cast<int>(r) + 1;
        if (r > 0) {
            std::fprintf(out, "NEXT\n");
            coor += 0.5;
        }
        coor = NARO_print_path(cube, gp, pathlib, out, 1, coor);
    }
    std::fprintf(out, "END\n");
    std::fflush(out);
    return 0;
}
