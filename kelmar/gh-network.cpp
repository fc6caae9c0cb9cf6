// The conduction network of a site graph: minimum spanning forest (edge cost: the higher of the
// two barriers of a hop), one fundamental cycle per hop outside the forest, and the cheapest
// cycles that percolate in one, two and three dimensions, plus the cheapest local loop.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <set>
#include <vector>

#include "text-buffer.hpp"
#include "fp.hpp"
#include "gh-network.hpp"

namespace {

constexpr double kTie = 0.0001;        // eV (and A for lengths) within which cycles count as equal
constexpr double kLengthTie = 0.001;   // A within which two listed cycles have the same length

double hop_cost(const KELMAR_GRAPH_EDGE* e) {
    const double back = e->e_r != nullptr ? e->e_r->barrier : e->barrier;
    return std::max(e->barrier, back);
}

bool zero_bound(const int b[3]) { return b[0] == 0 && b[1] == 0 && b[2] == 0; }

// Exact rank tests of integer translations.
bool span_plane(const int u[3], const int v[3]) {
    const long c0 = static_cast<long>(u[1]) * v[2] - static_cast<long>(u[2]) * v[1];
    const long c1 = static_cast<long>(u[2]) * v[0] - static_cast<long>(u[0]) * v[2];
    const long c2 = static_cast<long>(u[0]) * v[1] - static_cast<long>(u[1]) * v[0];
    return c0 != 0 || c1 != 0 || c2 != 0;
}

bool span_space(const int u[3], const int v[3], const int w[3]) {
    const long det = static_cast<long>(u[0]) * (static_cast<long>(v[1]) * w[2] - static_cast<long>(v[2]) * w[1]) -
                     static_cast<long>(u[1]) * (static_cast<long>(v[0]) * w[2] - static_cast<long>(v[2]) * w[0]) +
                     static_cast<long>(u[2]) * (static_cast<long>(v[0]) * w[1] - static_cast<long>(v[1]) * w[0]);
    return det != 0;
}

bool cycles_share_vertex(const KELMAR_GRAPH_CYCLE* a, const KELMAR_GRAPH_CYCLE* b) {
    for (const KELMAR_GRAPH_EDGE* x : a->e)
        for (const KELMAR_GRAPH_EDGE* y : b->e)
            if (x->v_i == y->v_i) return true;
    return false;
}

void print_cycles(const KELMAR_GRAPH_CYCLE* const* cycles, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::printf("KELMAR_GRAPH_CYCLE: [%3ld]\n", static_cast<long>(i));
        kelmar_graph_cycle_print(cycles[i]);
    }
}

double point_distance(const KELMAR_FPCUBE* cube, long p, const double prev[3], const double a[3][3], double x[3]) {
    const long i = p / (cube->n[1] * cube->n[2]), j = (p / cube->n[2]) % cube->n[1], k = p % cube->n[2];
    for (int d = 0; d < 3; ++d)
        x[d] = static_cast<double>(i) * cube->a_i[0][d] + static_cast<double>(j) * cube->a_i[1][d] +
               static_cast<double>(k) * cube->a_i[2][d];
    return kelmar_dot_distance(prev, x, a);
}

}  // namespace

namespace {

// Prim's algorithm on all vertices with the given price of a hop: the vertex of lowest price is
// taken next (lowest index on ties), so every tree starts at the lowest remaining index.
std::unique_ptr<KELMAR_GRAPH_LIST> prim_forest(KELMAR_GRAPH* graph, double (*price)(const KELMAR_GRAPH_EDGE*)) {
    const std::size_t nv = graph->v.size();
    double top = 0.0;
    for (const KELMAR_GRAPH_EDGE& e : graph->e) top = std::max(top, price(&e));
    std::vector<double> cost(nv, top + 1.0);
    std::vector<KELMAR_GRAPH_EDGE*> tree(nv, nullptr);
    std::vector<char> removed(nv, 0);
    for (std::size_t step = 0; step < nv; ++step) {
        std::size_t best = nv;
        for (std::size_t i = 0; i < nv; ++i)
            if (!removed[i] && (best == nv || cost[i] < cost[best])) best = i;
        removed[best] = 1;
        for (KELMAR_GRAPH_EDGE* e : graph->v[best].e) {
            const std::size_t to = static_cast<std::size_t>(e->v_f->index);
            if (!removed[to] && price(e) < cost[to]) {
                cost[to] = price(e);
                tree[to] = e;
            }
        }
    }
    auto list = std::make_unique<KELMAR_GRAPH_LIST>();
    for (std::size_t i = 0; i < nv; ++i)
        if (tree[i] == nullptr) {
            list->v.push_back(&graph->v[i]);
            list->e.push_back(nullptr);
        }
    for (std::size_t i = 0; i < nv; ++i)
        if (tree[i] != nullptr) {
            list->v.push_back(&graph->v[i]);
            list->e.push_back(tree[i]);
        }
    list->total_v = static_cast<long>(list->v.size());
    list->total_e = static_cast<long>(list->e.size());
    return list;
}

// The forest of a Prim list as a graph: parent-to-child edges, each child's v_b its parent.
std::unique_ptr<KELMAR_GRAPH> forest_of(KELMAR_GRAPH* graph, const KELMAR_GRAPH_LIST* prim) {
    const long nv = static_cast<long>(graph->v.size());
    long ne = 0;
    for (const KELMAR_GRAPH_EDGE* e : prim->e) ne += e != nullptr ? 1 : 0;
    auto forest = kelmar_graph_new(nv, ne);
    for (long i = 0; i < nv; ++i) forest->v[static_cast<std::size_t>(i)].sub = &graph->v[static_cast<std::size_t>(i)];
    std::size_t k = 0;
    for (std::size_t i = 0; i < prim->v.size(); ++i) {
        KELMAR_GRAPH_EDGE* g = prim->e[i];
        if (g == nullptr) continue;
        KELMAR_GRAPH_EDGE& f = forest->e[k];
        f.index = static_cast<long>(k);
        f.v_i = &forest->v[static_cast<std::size_t>(g->v_i->index)];
        f.v_f = &forest->v[static_cast<std::size_t>(g->v_f->index)];
        f.sub = g;
        f.barrier = hop_cost(g);
        f.en = g->en;
        f.v_f->v_b = f.v_i;
        f.v_i->e.push_back(&f);
        f.v_i->total_e += 1;
        ++k;
    }
    return forest;
}

double hop_level(const KELMAR_GRAPH_EDGE* e) { return e->en; }

}  // namespace

std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_prim_forest(KELMAR_GRAPH* graph) {
    if (graph == nullptr || graph->v.empty()) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH has not been properly initialized.\n");
        return nullptr;
    }
    return prim_forest(graph, hop_cost);
}

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_subgraph_minimum_spanning_forest(KELMAR_GRAPH* graph) {
    auto prim = kelmar_graph_list_prim_forest(graph);
    if (prim == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_list_prim_forest() returns NULL.\n");
        return nullptr;
    }
    return forest_of(graph, prim.get());
}

std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_edge_complementary(KELMAR_GRAPH* graph,
                                                                         const KELMAR_GRAPH* forest) {
    std::vector<char> in_forest(graph->e.size(), 0);
    for (const KELMAR_GRAPH_EDGE& f : forest->e) {
        if (f.sub == nullptr) {
            std::fprintf(stderr, "Error: subgraph->e[%ld] cannot link to original graph.\n", f.index);
            return nullptr;
        }
        in_forest[static_cast<std::size_t>(f.sub->index)] = 1;
    }
    auto list = std::make_unique<KELMAR_GRAPH_LIST>();
    for (std::size_t k = 0; k + 1 < graph->e.size(); k += 2)
        if (!in_forest[k] && !in_forest[k + 1]) list->e.push_back(&graph->e[k]);
    list->total_e = static_cast<long>(list->e.size());
    return list;
}

std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_cycle_from_spanning_forest(const KELMAR_GRAPH* forest,
                                                                                 KELMAR_GRAPH_EDGE* e) {
    // forest paths are unique: climb the parent links from both ends to the root
    const auto root_path = [forest](long index) {
        std::vector<const KELMAR_GRAPH_VERTEX*> path;
        for (const KELMAR_GRAPH_VERTEX* v = &forest->v[static_cast<std::size_t>(index)]; v != nullptr; v = v->v_b)
            path.push_back(v);
        std::reverse(path.begin(), path.end());
        return path;
    };
    const auto p_i = root_path(e->v_i->index);
    const auto p_f = root_path(e->v_f->index);
    if (p_i.front() != p_f.front()) {
        std::fprintf(stderr, "Error: index out of bound.\n");
        return nullptr;
    }
    std::size_t shared = 0;
    while (shared < p_i.size() && shared < p_f.size() && p_i[shared] == p_f[shared]) ++shared;
    // the forest edge that reaches a child from its parent, as a graph edge
    const auto tree_edge = [](const KELMAR_GRAPH_VERTEX* child) -> KELMAR_GRAPH_EDGE* {
        for (const KELMAR_GRAPH_EDGE* f : child->v_b->e)
            if (f->v_f == child) return f->sub;
        return nullptr;
    };
    auto list = std::make_unique<KELMAR_GRAPH_LIST>();
    list->e.push_back(e);
    for (std::size_t k = p_f.size(); k-- > shared;) list->e.push_back(tree_edge(p_f[k])->e_r);
    for (std::size_t k = shared; k < p_i.size(); ++k) list->e.push_back(tree_edge(p_i[k]));
    list->total_e = static_cast<long>(list->e.size());
    return list;
}

std::unique_ptr<KELMAR_GRAPH_CYCLE> kelmar_graph_cycle_new_from_list(const KELMAR_GRAPH_LIST* list) {
    if (list == nullptr || list->e.empty()) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH_LIST has not been properly initialized.\n");
        return nullptr;
    }
    auto cycle = std::make_unique<KELMAR_GRAPH_CYCLE>();
    cycle->e = list->e;
    cycle->total = static_cast<long>(cycle->e.size());
    cycle->e_min = cycle->e.front()->v_i->en;
    cycle->e_max = cycle->e.front()->en;
    for (const KELMAR_GRAPH_EDGE* e : cycle->e) {
        cycle->e_min = std::min(cycle->e_min, e->v_i->en);
        cycle->e_max = std::max(cycle->e_max, e->en);
        cycle->l += e->l;
        for (int r = 0; r < 3; ++r) cycle->bound[r] += e->bound[r];
    }
    cycle->barrier = cycle->e_max - cycle->e_min;
    return cycle;
}

int kelmar_graph_cycle_compare(const KELMAR_GRAPH_CYCLE* a, const KELMAR_GRAPH_CYCLE* b) {
    if (a->barrier < b->barrier - kTie) return -1;
    if (a->barrier > b->barrier + kTie) return 1;
    if (a->l < b->l - kTie) return -1;
    if (a->l > b->l + kTie) return 1;
    const bool za = zero_bound(a->bound), zb = zero_bound(b->bound);
    if (za && !zb) return -1;
    if (!za && zb) return 1;
    return 0;
}

void kelmar_graph_cycle_list_sort(KELMAR_GRAPH_CYCLE_LIST* list) {
    std::stable_sort(list->begin(), list->end(), [](const auto& a, const auto& b) {
        return kelmar_graph_cycle_compare(a.get(), b.get()) < 0;
    });
}

// The fundamental cycles of two spanning forests: the forest of lowest hop barriers and the
// forest of lowest saddles. In the second, the forest path that closes a hop never climbs above
// that hop's saddle, so every channel that opens at some energy is closed by cycles lying below
// it; the first keeps the loops of few deep steps. A cycle both forests give is listed once.
std::unique_ptr<KELMAR_GRAPH_CYCLE_LIST> kelmar_graph_cycle_list_new_from_graph(KELMAR_GRAPH* graph) {
    if (graph != nullptr)
        for (KELMAR_GRAPH_VERTEX& v : graph->v) {
            v.v_b = nullptr;
            v.visited = false;
        }
    auto forest = kelmar_graph_new_subgraph_minimum_spanning_forest(graph);
    if (forest == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new_subgraph_minimum_spanning_forest() returns NULL.\n");
        return nullptr;
    }
    auto by_level = prim_forest(graph, hop_level);
    std::unique_ptr<KELMAR_GRAPH> forests[2] = {std::move(forest), forest_of(graph, by_level.get())};
    auto list = std::make_unique<KELMAR_GRAPH_CYCLE_LIST>();
    std::set<std::vector<long>> seen;  // hop pairs of the cycles listed
    for (const auto& f : forests) {
        auto complement = kelmar_graph_list_edge_complementary(graph, f.get());
        if (complement == nullptr) {
            std::fprintf(stderr, "Error: kelmar_graph_list_edge_complementary() returns NULL.\n");
            return nullptr;
        }
        for (KELMAR_GRAPH_EDGE* e : complement->e) {
            auto walk = kelmar_graph_list_cycle_from_spanning_forest(f.get(), e);
            if (walk == nullptr) continue;
            std::vector<long> key;
            for (const KELMAR_GRAPH_EDGE* w : walk->e) key.push_back(w->index / 2);
            std::sort(key.begin(), key.end());
            if (!seen.insert(std::move(key)).second) continue;
            auto cycle = kelmar_graph_cycle_new_from_list(walk.get());
            if (cycle == nullptr) {
                std::fprintf(stderr, "Error: kelmar_graph_cycle_new_from_list() returns NULL.\n");
                return nullptr;
            }
            list->push_back(std::move(cycle));
        }
    }
    kelmar_graph_cycle_list_sort(list.get());
    return list;
}

int kelmar_graph_cycle_list_reduce(KELMAR_GRAPH_CYCLE_LIST* list) {
    if (list == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH_CYCLE list has not been properly initialized.\n");
        return 1;
    }
    const auto repeats = [](const KELMAR_GRAPH_CYCLE* a, const KELMAR_GRAPH_CYCLE* b) {
        return a->total == b->total && std::fabs(a->barrier - b->barrier) <= kTie &&
               std::fabs(a->l - b->l) <= kLengthTie;
    };
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list->size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < kept && !seen; ++j) seen = repeats((*list)[j].get(), (*list)[i].get());
        if (!seen) (*list)[kept++] = std::move((*list)[i]);
    }
    list->resize(kept);
    return 0;
}

std::vector<const KELMAR_GRAPH_CYCLE*> kelmar_graph_cycle_list_local_loops(const KELMAR_GRAPH_CYCLE_LIST* list,
                                                                           double e_cutoff, double l_cutoff) {
    std::vector<const KELMAR_GRAPH_CYCLE*> loops;
    if (list == nullptr) return loops;
    for (const auto& c : *list) {
        if (!zero_bound(c->bound)) continue;
        if (e_cutoff >= 0.0 && c->barrier > e_cutoff) continue;
        if (l_cutoff > 0.0 && c->l > l_cutoff) continue;
        loops.push_back(c.get());
    }
    print_cycles(loops.data(), loops.size());
    return loops;
}

// Linked when the cycles form one connected set through shared start vertices.
bool kelmar_graph_cycles_is_connected(const KELMAR_GRAPH_CYCLE* const* cycles, long n) {
    if (n < 2) return true;
    std::vector<char> reached(static_cast<std::size_t>(n), 0);
    std::vector<long> stack = {0};
    reached[0] = 1;
    while (!stack.empty()) {
        const long i = stack.back();
        stack.pop_back();
        for (long j = 0; j < n; ++j)
            if (!reached[static_cast<std::size_t>(j)] && cycles_share_vertex(cycles[i], cycles[j])) {
                reached[static_cast<std::size_t>(j)] = 1;
                stack.push_back(j);
            }
    }
    return std::all_of(reached.begin(), reached.end(), [](char c) { return c != 0; });
}

std::unique_ptr<KELMAR_GRAPH_NETWORK> kelmar_graph_network_new_from_cycle_list(const KELMAR_GRAPH_CYCLE_LIST* list) {
    auto net = std::make_unique<KELMAR_GRAPH_NETWORK>();
    if (list == nullptr || list->empty()) return net;  // all spans -1
    net->e_min = (*list)[0]->e_min;
    net->e_max = (*list)[0]->e_max;
    for (const auto& c : *list) {
        net->e_min = std::min(net->e_min, c->e_min);
        net->e_max = std::max(net->e_max, c->e_max);
    }
    const double none = net->e_max - net->e_min + 1.0;
    double e1 = none, el = none, e2 = none, e3 = none;
    std::vector<const KELMAR_GRAPH_CYCLE*> moving;
    for (const auto& c : *list) {
        const bool loop = zero_bound(c->bound);
        double& best = loop ? el : e1;
        const KELMAR_GRAPH_CYCLE*& chosen = loop ? net->cl : net->c1;
        if (c->barrier < best - kTie || (chosen != nullptr && std::fabs(c->barrier - best) < kTie && c->l < chosen->l)) {
            best = c->barrier;
            chosen = c.get();
        }
        if (!loop) moving.push_back(c.get());
    }
    // links among the percolating cycles, measured when a pair or triple could win and kept:
    // 0 not measured yet, 1 apart, 2 sharing a start vertex
    const std::size_t m = moving.size();
    std::vector<std::vector<long>> starts(m);
    for (std::size_t i = 0; i < m; ++i) {
        for (const KELMAR_GRAPH_EDGE* e : moving[i]->e) starts[i].push_back(e->v_i->index);
        std::sort(starts[i].begin(), starts[i].end());
    }
    std::vector<char> link(m * m, 0);
    const auto linked = [&](std::size_t i, std::size_t j) {
        char& known = link[i * m + j];
        if (known == 0) {
            const auto& a = starts[i];
            const auto& b = starts[j];
            bool shared = false;
            for (std::size_t p = 0, q = 0; p < a.size() && q < b.size() && !shared;) {
                if (a[p] < b[q]) ++p;
                else if (b[q] < a[p]) ++q;
                else shared = true;
            }
            known = link[j * m + i] = shared ? 2 : 1;
        }
        return known == 2;
    };
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = i + 1; j < m; ++j) {
            const double lo = std::min(moving[i]->e_min, moving[j]->e_min);
            const double hi = std::max(moving[i]->e_max, moving[j]->e_max);
            if (hi - lo < e2 - kTie && span_plane(moving[i]->bound, moving[j]->bound) && linked(i, j)) {
                e2 = hi - lo;
                net->c2[0] = moving[i];
                net->c2[1] = moving[j];
                net->e2_min = lo;
                net->e2_max = hi;
            }
            // a third cycle only widens the window: skip pairs that cannot beat the best triple
            if (!(hi - lo < e3 - kTie)) continue;
            for (std::size_t k = j + 1; k < m; ++k) {
                const double lo3 = std::min(lo, moving[k]->e_min), hi3 = std::max(hi, moving[k]->e_max);
                if (!(hi3 - lo3 < e3 - kTie)) continue;
                if (!span_space(moving[i]->bound, moving[j]->bound, moving[k]->bound)) continue;
                const int links = (linked(i, j) ? 1 : 0) + (linked(i, k) ? 1 : 0) + (linked(j, k) ? 1 : 0);
                if (links < 2) continue;
                e3 = hi3 - lo3;
                net->c3[0] = moving[i];
                net->c3[1] = moving[j];
                net->c3[2] = moving[k];
                net->e3_min = lo3;
                net->e3_max = hi3;
            }
        }
    const auto window = [](const KELMAR_GRAPH_CYCLE* c, double* span, double* lo, double* hi) {
        if (c == nullptr) {
            *span = -1.0;
            return;
        }
        *span = c->barrier;
        *lo = c->e_min;
        *hi = c->e_max;
    };
    window(net->c1, &net->e1, &net->e1_min, &net->e1_max);
    window(net->cl, &net->el, &net->el_min, &net->el_max);
    net->e2 = net->c2[0] != nullptr ? e2 : -1.0;
    net->e3 = net->c3[0] != nullptr ? e3 : -1.0;
    return net;
}

void kelmar_graph_cycle_print(const KELMAR_GRAPH_CYCLE* cycle) {
    std::printf("KELMAR_GRAPH_CYCLE: total = %3ld; Ea = %4.2f; l = %5.2f; bound = [%d][%d][%d]\n", cycle->total,
                cycle->barrier, cycle->l, cycle->bound[0], cycle->bound[1], cycle->bound[2]);
    std::printf("KELMAR_GRAPH_CYCLE: e =");
    for (const KELMAR_GRAPH_EDGE* e : cycle->e) std::printf(" %2ld", e->index);
    std::printf("\nKELMAR_GRAPH_CYCLE: v =");
    for (const KELMAR_GRAPH_EDGE* e : cycle->e) std::printf(" %2ld", e->v_i->index);
    std::printf("\n");
}

void kelmar_graph_cycle_list_print(const KELMAR_GRAPH_CYCLE_LIST* list) {
    if (list == nullptr) return;
    std::vector<const KELMAR_GRAPH_CYCLE*> all;
    for (const auto& c : *list) all.push_back(c.get());
    print_cycles(all.data(), all.size());
}

void kelmar_graph_network_print(const KELMAR_GRAPH_NETWORK* n) {
    if (n == nullptr) {
        std::printf("KELMAR_GRAPH_NETWORK: (not allocated)\n");
        return;
    }
    std::printf("KELMAR_GRAPH_NETWORK: e = %.3lf (%.3lf ~ %.3lf)\n", n->e_max - n->e_min, n->e_min, n->e_max);
    std::printf("KELMAR_GRAPH_NETWORK: e_1D = %.3lf (%.3lf ~ %.3lf)\n", n->e1, n->e1_min, n->e1_max);
    std::printf("KELMAR_GRAPH_NETWORK: e_2D = %.3lf (%.3lf ~ %.3lf)\n", n->e2, n->e2_min, n->e2_max);
    std::printf("KELMAR_GRAPH_NETWORK: e_3D = %.3lf (%.3lf ~ %.3lf)\n", n->e3, n->e3_min, n->e3_max);
    std::printf("KELMAR_GRAPH_NETWORK: e_loop = %.3lf (%.3lf ~ %.3lf)\n", n->el, n->el_min, n->el_max);
}

void kelmar_graph_cycle_label_path(const KELMAR_GRAPH_CYCLE* cycle, const KELMAR_FPHALF_LIST* list,
                                   KELMAR_FPCUBE* fpcube) {
    if (cycle == nullptr || list == nullptr || fpcube == nullptr) return;
    const auto label = [&](long index) {
        if (index < 0 || index >= static_cast<long>(list->half.size())) return;
        const KELMAR_FPHALF& h = list->half[static_cast<std::size_t>(index)];
        for (long m = 0; m < h.total; ++m) {
            const fpdot_type t = m == 0 ? FP_SAD : m == h.total - 1 ? FP_MIN : FP_PAT;
            fpcube->type[static_cast<std::size_t>(h.dot[static_cast<std::size_t>(m)])] = static_cast<std::uint8_t>(t);
        }
    };
    for (const KELMAR_GRAPH_EDGE* e : cycle->e) {
        label(e->index_half);
        label(e->e_r->index_half);
    }
}

std::unique_ptr<KELMAR_TEXT> kelmar_graph_network_export_to_text(const KELMAR_GRAPH_NETWORK* network,
                                                                 const KELMAR_FPHALF_LIST* list,
                                                                 const KELMAR_FPCUBE* fpcube, const double a[3][3]) {
    if (network == nullptr || list == nullptr || fpcube == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH_NETWORK or KELMAR_FPHALF_LIST has not been properly initialized.\n");
        return nullptr;
    }
    auto text = kelmar_text_new();
    kelmar_text_appendf(text.get(), "%6s, %6s, %6s, %2s, %6s, %6s, %6s, %5s\r\n", "r_coor", "energy", "site", "dn", "x",
                        "y", "z", "index");
    double prev[3] = {0.0, 0.0, 0.0};
    double r_coor = 0.0;
    const auto row = [&](long p, const char* site, const char* dn, long index) {
        double x[3];
        r_coor += point_distance(fpcube, p, prev, a, x);
        kelmar_text_appendf(text.get(), "%6.3lf, %6.3lf, %6s, %2s, %6.3lf, %6.3lf, %6.3f, %5ld\r\n", r_coor,
                            fpcube->en[static_cast<std::size_t>(p)], site, dn, x[0], x[1], x[2], index);
        for (int d = 0; d < 3; ++d) prev[d] = x[d];
    };
    const auto edge = [&](const KELMAR_GRAPH_EDGE* e, const char* dn) {
        const KELMAR_FPHALF& up = list->half[static_cast<std::size_t>(e->index_half)];
        for (long m = up.total - 1; m >= 0; --m)
            row(up.dot[static_cast<std::size_t>(m)], m == up.total - 1 ? e->v_i->name : m == 0 ? "saddle" : "none", dn,
                e->index);
        const KELMAR_FPHALF& down = list->half[static_cast<std::size_t>(e->e_r->index_half)];
        for (long m = 1; m + 1 < down.total; ++m) row(down.dot[static_cast<std::size_t>(m)], "none", dn, e->index);
    };
    if (network->e1 >= 0.0)
        for (const KELMAR_GRAPH_EDGE* e : network->c1->e) edge(e, "1D");
    if (network->e2 >= 0.0)
        for (const KELMAR_GRAPH_CYCLE* c : network->c2)
            for (const KELMAR_GRAPH_EDGE* e : c->e)
                if (e->en > network->e1_max + kTie || e->v_i->en < network->e1_min - kTie ||
                    e->v_f->en < network->e1_min - kTie)
                    edge(e, "2D");
    if (network->e3 >= 0.0) {
        const double lo = std::min(network->e1_min, network->e2_min - kTie);
        const double hi = std::max(network->e1_max, network->e2_max + kTie);
        for (const KELMAR_GRAPH_CYCLE* c : network->c3)
            for (const KELMAR_GRAPH_EDGE* e : c->e)
                if (e->en > hi || e->v_i->en < lo || e->v_f->en < lo) edge(e, "3D");
    }
    if (network->el >= 0.0)
        for (const KELMAR_GRAPH_EDGE* e : network->cl->e) edge(e, "0D");
    return text;
}
