// Percolation levels of the flooded site graph (union-find with lattice translations).
#include "gh-pool.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>
#include <vector>

#include "linalg.hpp"

namespace {

struct Pools {
    std::vector<long> parent;
    std::vector<std::array<int, 3>> shift;  // cell of a site relative to its parent
    std::vector<double> bottom;
    std::vector<std::vector<std::array<int, 3>>> basis;  // independent translations per root

    explicit Pools(const KELMAR_GRAPH* g) : parent(g->v.size()), shift(g->v.size(), {0, 0, 0}), basis(g->v.size()) {
        std::iota(parent.begin(), parent.end(), 0L);
        for (const KELMAR_GRAPH_VERTEX& v : g->v) bottom.push_back(v.en);
    }
    // root of x, and the cell of x relative to the root
    long find(long x, std::array<int, 3>* cell) {
        std::array<int, 3> acc = {0, 0, 0};
        long r = x;
        while (parent[static_cast<std::size_t>(r)] != r) {
            for (int d = 0; d < 3; ++d) acc[d] += shift[static_cast<std::size_t>(r)][d];
            r = parent[static_cast<std::size_t>(r)];
        }
        *cell = acc;
        return r;
    }
    static int rank(const std::vector<std::array<int, 3>>& vs) {
        double m[3][3] = {};
        for (std::size_t q = 0; q < vs.size() && q < 3; ++q)
            for (int d = 0; d < 3; ++d) m[q][d] = vs[q][d];
        return kelmar_matrix33_double_rank(m);
    }
    void add(long root, const std::array<int, 3>& t) {
        auto& vs = basis[static_cast<std::size_t>(root)];
        if (vs.size() >= 3 || (t[0] == 0 && t[1] == 0 && t[2] == 0)) return;
        vs.push_back(t);
        if (rank(vs) < static_cast<int>(vs.size())) vs.pop_back();
    }
};

}  // namespace

GraphPoolLevels graph_pool_levels(const KELMAR_GRAPH* graph) {
    GraphPoolLevels out;
    if (graph == nullptr || graph->v.empty()) return out;
    std::vector<const KELMAR_GRAPH_EDGE*> hops;
    for (std::size_t k = 0; k < graph->e.size(); k += 2) hops.push_back(&graph->e[k]);
    std::stable_sort(hops.begin(), hops.end(), [](const KELMAR_GRAPH_EDGE* a, const KELMAR_GRAPH_EDGE* b) { return a->en < b->en; });
    Pools pools(graph);
    bool found[3] = {false, false, false};
    for (const KELMAR_GRAPH_EDGE* e : hops) {
        std::array<int, 3> cu, cv;
        const long ru = pools.find(e->v_i->index, &cu), rv = pools.find(e->v_f->index, &cv);
        // v_f as reached by the hop lies in cell(v_i) + bound
        std::array<int, 3> rel;
        for (int d = 0; d < 3; ++d) rel[d] = cu[d] + e->bound[d] - cv[d];  // rv's frame in ru's frame
        long root = ru;
        if (ru == rv) {
            pools.add(ru, rel);
        } else {
            pools.parent[static_cast<std::size_t>(rv)] = ru;
            pools.shift[static_cast<std::size_t>(rv)] = rel;
            pools.bottom[static_cast<std::size_t>(ru)] =
                std::min(pools.bottom[static_cast<std::size_t>(ru)], pools.bottom[static_cast<std::size_t>(rv)]);
            for (const auto& t : pools.basis[static_cast<std::size_t>(rv)]) pools.add(ru, t);
            pools.basis[static_cast<std::size_t>(rv)].clear();
        }
        const int dims = static_cast<int>(pools.basis[static_cast<std::size_t>(root)].size());
        const double bottom = pools.bottom[static_cast<std::size_t>(root)];
        for (int d = 0; d < dims; ++d)
            if (!found[d] || e->en - bottom < out.level[d]) {
                found[d] = true;
                out.level[d] = e->en - bottom;
                out.top[d] = e->en;
                out.bottom[d] = bottom;
            }
    }
    return out;
}

void graph_pool_print(const GraphPoolLevels& pool, const KELMAR_GRAPH_NETWORK* network) {
    for (int d = 0; d < 3; ++d) {
        if (pool.level[d] < 0.0)
            std::printf("KELMAR_GRAPH_POOL: e_%dD = none (no pool of sites percolates in %d dimension%s)\n", d + 1, d + 1,
                        d == 0 ? "" : "s");
        else
            std::printf("KELMAR_GRAPH_POOL: e_%dD = %.3lf (%.3lf ~ %.3lf)\n", d + 1, pool.level[d], pool.bottom[d],
                        pool.top[d]);
    }
    if (network == nullptr) return;
    const double span[3] = {network->e1, network->e2, network->e3};
    const double low[3] = {network->e1_min, network->e2_min, network->e3_min};
    for (int d = 0; d < 3; ++d) {
        if (span[d] < 0.0 || pool.level[d] < 0.0) continue;
        if (span[d] > pool.level[d] + 0.0005 || span[d] < pool.level[d] - 0.0005)
            std::printf("Message: e_%dD of the network is the window of its cycles (%.3lf eV above their lowest site at "
                        "%.3lf eV); the flooded landscape percolates %.3lf eV above the lowest site of its pool (%.3lf "
                        "eV)%s.\n",
                        d + 1, span[d], low[d], pool.level[d], pool.bottom[d],
                        pool.bottom[d] < low[d] - 0.0005 ? ", a deeper site hanging off the loop" : "");
    }
}
