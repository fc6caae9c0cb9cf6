// Multigraph engine for the reaction pathways: vertex bookkeeping, Dijkstra with a
// linear minimum search, pairing of odd vertices and the Euler walk.
#include "pathway-graph.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

int vertex_index(const NARO_graph& g, int name) {
    for (size_t i = 0; i < g.vert.size(); ++i)
        if (g.vert[i].a == name) return static_cast<int>(i);
    return -1;
}

// Above this many odd vertices the exhaustive pairing (a double factorial) is replaced
// by a greedy nearest-partner pairing, and the endpoint search takes the first pair.
constexpr size_t kExhaustivePairing = 12;
constexpr size_t kExhaustiveEnds = 8;

struct Pairing {
    std::vector<std::vector<double>> d;   // shortest distances between odd vertices, -1 unreachable
    std::vector<int> cur, best;
    double best_penalty = 999999;
    bool found = false;

    void search(std::vector<char>& used, double penalty) {
        if (found && !(penalty < best_penalty)) return;
        size_t i = 0;
        while (i < used.size() && used[i]) ++i;
        if (i == used.size()) {
            if (!found || penalty < best_penalty) {
                best_penalty = penalty;
                best = cur;
                found = true;
            }
            return;
        }
        used[i] = 1;
        for (size_t j = i + 1; j < used.size(); ++j) {
            if (used[j] || d[i][j] < 0) continue;
            used[j] = 1;
            cur.push_back(static_cast<int>(i));
            cur.push_back(static_cast<int>(j));
            search(used, penalty + d[i][j]);
            cur.resize(cur.size() - 2);
            used[j] = 0;
        }
        used[i] = 0;
    }
};

void refresh_degrees(NARO_graph& g) {
    for (NARO_graph_vertice& v : g.vert) v.d = 0;
    for (const NARO_graph_edge& e : g.edge) {
        const int ia = vertex_index(g, e.a), ib = vertex_index(g, e.b);
        if (ia >= 0) ++g.vert[static_cast<size_t>(ia)].d;
        if (ib >= 0) ++g.vert[static_cast<size_t>(ib)].d;
    }
}

std::vector<int> odd_vertices(const NARO_graph& g, const std::vector<int>& excl) {
    std::vector<int> odd;
    for (const NARO_graph_vertice& v : g.vert)
        if (v.d % 2 != 0 && std::find(excl.begin(), excl.end(), v.a) == excl.end()) odd.push_back(v.a);
    return odd;
}

bool touches(const NARO_graph_edge& e, int v) { return e.a == v || e.b == v; }
int other_end(const NARO_graph_edge& e, int v) { return e.a == v ? e.b : e.a; }

// Walks from `from` over unused edges (first in edge order) until `stop` is reached
// after at least one step, or no unused edge is left at the current vertex.
void walk(const NARO_graph& g, std::vector<char>& used, int from, int stop, std::vector<int>& verts,
          std::vector<double>& weights) {
    int cur = from;
    verts.push_back(cur);
    for (;;) {
        size_t k = 0;
        while (k < g.edge.size() && (used[k] || !touches(g.edge[k], cur))) ++k;
        if (k == g.edge.size()) return;
        used[k] = 1;
        cur = other_end(g.edge[k], cur);
        verts.push_back(cur);
        weights.push_back(g.edge[k].w);
        if (cur == stop) return;
    }
}

}  // namespace

void NARO_add_edge(NARO_graph& graph, int a, int b, double w) {
    graph.edge.push_back({a, b, w});
    graph.total_edge = static_cast<int>(graph.edge.size());
}

int NARO_build_vert_from_edge(NARO_graph& graph) {
    graph.vert.clear();
    for (const NARO_graph_edge& e : graph.edge)
        for (int name : {e.a, e.b})
            if (vertex_index(graph, name) < 0) {
                NARO_graph_vertice v;
                v.a = name;
                graph.vert.push_back(v);
            }
    refresh_degrees(graph);
    graph.total_vertice = static_cast<int>(graph.vert.size());
    return 0;
}

void NARO_copy_graph(const NARO_graph& in, NARO_graph& out) { out = in; }
void NARO_free_graph(NARO_graph& graph) { graph = NARO_graph{}; }

double NARO_graph_total_distance(const NARO_graph& graph) {
    double s = 0;
    for (const NARO_graph_edge& e : graph.edge) s += e.w;
    return s;
}

void NARO_delete_vertice(NARO_graph& graph, int a) {
    const int i = vertex_index(graph, a);
    if (i < 0) return;
    graph.vert.erase(graph.vert.begin() + i);
    graph.total_vertice = static_cast<int>(graph.vert.size());
}

void NARO_decrease_vertice_degree(NARO_graph& graph, int a) {
    const int i = vertex_index(graph, a);
    if (i >= 0 && graph.vert[static_cast<size_t>(i)].d > 0) --graph.vert[static_cast<size_t>(i)].d;
}

int NARO_find_shortest_path(NARO_graph& graph, int source, int target, double* dist, std::vector<int>* path) {
    const int s = vertex_index(graph, source);
    if (s < 0) {
        std::fprintf(stderr, "Error: Cannot find source in graph\n");
        return 1;
    }
    for (NARO_graph_vertice& v : graph.vert) {
        v.dist = -1;
        v.visited = 0;
        v.path.clear();
    }
    graph.vert[static_cast<size_t>(s)].dist = 0;
    for (size_t round = 0; round + 1 < graph.vert.size(); ++round) {
        int pick = -1;
        for (size_t i = 0; i < graph.vert.size(); ++i) {
            const NARO_graph_vertice& v = graph.vert[i];
            if (v.visited || v.dist < 0) continue;
            if (pick < 0 || v.dist < graph.vert[static_cast<size_t>(pick)].dist) pick = static_cast<int>(i);
        }
        if (pick < 0) break;
        NARO_graph_vertice& u = graph.vert[static_cast<size_t>(pick)];
        for (const NARO_graph_edge& e : graph.edge) {
            if (!touches(e, u.a)) continue;
            const int n = vertex_index(graph, other_end(e, u.a));
            if (n < 0 || n == pick) continue;
            NARO_graph_vertice& v = graph.vert[static_cast<size_t>(n)];
            const double nd = u.dist + e.w;
            if (!v.visited && (v.dist < 0 || v.dist > nd)) {
                v.dist = nd;
                v.path = u.path;
                v.path.push_back(u.a);
                v.total_path = static_cast<int>(v.path.size());
            }
        }
        u.visited = 1;
    }
    const int t = vertex_index(graph, target);
    *dist = t < 0 ? -1.0 : graph.vert[static_cast<size_t>(t)].dist;
    if (path) {
        path->clear();
        if (t >= 0 && *dist >= 0) {
            *path = graph.vert[static_cast<size_t>(t)].path;
            path->push_back(target);
        }
    }
    return 0;
}

int NARO_handshake_odd_vertices(NARO_graph& graph, const std::vector<int>& excl) {
    refresh_degrees(graph);
    const std::vector<int> odd = odd_vertices(graph, excl);
    if (odd.size() % 2 != 0) {
        std::fprintf(stderr, "Error: Invalid graph input to NARO_handshake_odd_vertices()\n");
        return 1;
    }
    if (odd.empty()) return 0;
    const size_t n = odd.size();
    Pairing pr;
    pr.d.assign(n, std::vector<double>(n, -1));
    std::vector<std::vector<std::vector<int>>> route(n, std::vector<std::vector<int>>(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) {
            double d = -1;
            if (NARO_find_shortest_path(graph, odd[i], odd[j], &d, &route[i][j]) != 0) return 1;
            pr.d[i][j] = pr.d[j][i] = d;
        }
    if (n <= kExhaustivePairing) {
        std::vector<char> used(n, 0);
        pr.search(used, 0.0);
    } else {
        std::vector<char> used(n, 0);
        for (size_t i = 0; i < n; ++i) {
            if (used[i]) continue;
            int best = -1;
            for (size_t j = i + 1; j < n; ++j)
                if (!used[j] && pr.d[i][j] >= 0 && (best < 0 || pr.d[i][j] < pr.d[i][static_cast<size_t>(best)]))
                    best = static_cast<int>(j);
            if (best < 0) break;
            used[i] = used[static_cast<size_t>(best)] = 1;
            pr.best.push_back(static_cast<int>(i));
            pr.best.push_back(best);
        }
        pr.found = pr.best.size() == n;
    }
    if (!pr.found) {
        std::fprintf(stderr, "Error: Invalid graph input to NARO_handshake_odd_vertices()\n");
        return 1;
    }
    for (size_t k = 0; k + 1 < pr.best.size(); k += 2) {
        const std::vector<int>& r = route[static_cast<size_t>(pr.best[k])][static_cast<size_t>(pr.best[k + 1])];
        for (size_t s = 0; s + 1 < r.size(); ++s) {
            const int u = r[s], v = r[s + 1];
            double w = std::numeric_limits<double>::max();
            for (const NARO_graph_edge& e : graph.edge)
                if ((e.a == u && e.b == v) || (e.a == v && e.b == u)) w = std::min(w, e.w);
            NARO_add_edge(graph, u, v, w);
        }
    }
    refresh_degrees(graph);
    return 0;
}

int NARO_build_Euler_path(const NARO_graph& graph, std::vector<int>& path, std::vector<double>& weights) {
    path.clear();
    weights.clear();
    NARO_graph g = graph;
    NARO_build_vert_from_edge(g);
    if (g.vert.empty()) return 0;
    const std::vector<int> odd = odd_vertices(g, {});
    int start = g.vert.front().a, end = start;
    if (!odd.empty()) {
        bool have = false;
        double best = 0;
        const size_t limit = odd.size() <= kExhaustiveEnds ? odd.size() : 2;
        for (size_t i = 0; i < limit; ++i)
            for (size_t j = i + 1; j < limit; ++j) {
                NARO_graph trial = g;
                if (NARO_handshake_odd_vertices(trial, {odd[i], odd[j]}) != 0) continue;
                const double total = NARO_graph_total_distance(trial);
                if (!have || total < best) {
                    have = true;
                    best = total;
                    start = odd[i];
                    end = odd[j];
                }
            }
        if (!have) {
            std::fprintf(stderr, "Error: Invalid graph input to NARO_build_Euler_path()\n");
            return 1;
        }
    }
    if (NARO_handshake_odd_vertices(g, odd.empty() ? std::vector<int>{} : std::vector<int>{start, end}) != 0)
        return 1;

    std::vector<char> used(g.edge.size(), 0);
    walk(g, used, start, end, path, weights);
    for (;;) {
        // Earliest vertex of the walk that still has an unused edge.
        size_t at = path.size();
        for (size_t p = 0; p < path.size() && at == path.size(); ++p)
            for (size_t k = 0; k < g.edge.size(); ++k)
                if (!used[k] && touches(g.edge[k], path[p])) { at = p; break; }
        if (at == path.size()) break;
        const size_t first = static_cast<size_t>(std::find(path.begin(), path.end(), path[at]) - path.begin());
        std::vector<int> dv;
        std::vector<double> dw;
        walk(g, used, path[at], path[at], dv, dw);
        path.insert(path.begin() + static_cast<long>(first) + 1, dv.begin() + 1, dv.end());
        weights.insert(weights.begin() + static_cast<long>(first), dw.begin(), dw.end());
    }
    for (char u : used)
        if (!u) {   // edges that no walk reaches: the graph was not connected
            std::fprintf(stderr, "Error: Invalid graph input to NARO_build_Euler_path()\n");
            return 1;
        }
    return 0;
}

void NARO_print_graph(const NARO_graph& graph, FILE* out) {
    std::fprintf(out, "Edges: %d\n", static_cast<int>(graph.edge.size()));
    for (const NARO_graph_edge& e : graph.edge) std::fprintf(out, "%d %d %.6f\n", e.a, e.b, e.w);
    std::fprintf(out, "Vertices: %d\n", static_cast<int>(graph.vert.size()));
    for (const NARO_graph_vertice& v : graph.vert) std::fprintf(out, "%d degree %d\n", v.a, v.d);
}
