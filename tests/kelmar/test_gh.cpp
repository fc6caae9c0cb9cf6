// Site graph and conduction network on synthetic inputs with known answers: hand-built periodic
// graphs (tree, channel, sheet, three-dimensional net) and analytic landscapes whose minima,
// saddles and barriers are known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "gh-near.hpp"
#include "gh-network.hpp"
#include "gh-pool.hpp"
#include "gh-sites.hpp"
#include "gh.hpp"
#include "kelmar_fixtures.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A hand-built graph: vertices with energies, hops with saddle energies and translations.
struct hop {
    long from, to;
    double saddle;
    int bound[3];
};

std::unique_ptr<KELMAR_GRAPH> hand_graph(const std::vector<double>& en, const std::vector<hop>& hops) {
    auto g = kelmar_graph_new(static_cast<long>(en.size()), 0);
    for (std::size_t i = 0; i < en.size(); ++i) {
        g->v[i].en = en[i];
        g->v[i].x[0] = static_cast<double>(i);
    }
    for (const hop& h : hops) {
        KELMAR_GRAPH_EDGE f, r;
        f.v_i = &g->v[static_cast<std::size_t>(h.from)];
        f.v_f = &g->v[static_cast<std::size_t>(h.to)];
        r.v_i = f.v_f;
        r.v_f = f.v_i;
        f.en = r.en = h.saddle;
        f.barrier = h.saddle - f.v_i->en;
        r.barrier = h.saddle - r.v_i->en;
        f.l = r.l = 1.0;
        for (int d = 0; d < 3; ++d) {
            f.bound[d] = h.bound[d];
            r.bound[d] = -h.bound[d];
        }
        g->e.push_back(f);
        g->e.push_back(r);
    }
    kelmar_graph_link_edges(g.get());
    return g;
}

struct network_case {
    const char* name;
    std::vector<double> en;
    std::vector<hop> hops;
    double e1, e2, e3, el;
};

class GraphNetwork : public ::testing::TestWithParam<network_case> {};

TEST_P(GraphNetwork, PercolationEnergies) {
    const network_case& c = GetParam();
    auto g = hand_graph(c.en, c.hops);
    auto cycles = kelmar_graph_cycle_list_new_from_graph(g.get());
    ASSERT_NE(cycles, nullptr);
    // one fundamental cycle per hop outside the spanning forest
    const long components = 1;
    EXPECT_EQ(static_cast<long>(cycles->size()),
              static_cast<long>(c.hops.size()) - (static_cast<long>(c.en.size()) - components));
    for (const auto& cy : *cycles) {
        // every cycle is a closed walk
        for (std::size_t k = 0; k < cy->e.size(); ++k)
            EXPECT_EQ(cy->e[k]->v_f, cy->e[(k + 1) % cy->e.size()]->v_i);
    }
    auto net = kelmar_graph_network_new_from_cycle_list(cycles.get());
    ASSERT_NE(net, nullptr);
    EXPECT_NEAR(net->e1, c.e1, 1e-9) << c.name;
    EXPECT_NEAR(net->e2, c.e2, 1e-9) << c.name;
    EXPECT_NEAR(net->e3, c.e3, 1e-9) << c.name;
    EXPECT_NEAR(net->el, c.el, 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GraphNetwork,
    ::testing::Values(
        // a path of three sites inside the cell: no cycle, every span -1
        network_case{"tree", {0.0, 0.1, 0.0}, {{0, 1, 0.5, {0, 0, 0}}, {1, 2, 0.4, {0, 0, 0}}}, -1, -1, -1, -1},
        // two sites per cell along a: the channel opens at the higher of the two saddles
        network_case{"channel", {0.0, 0.2}, {{0, 1, 0.3, {0, 0, 0}}, {1, 0, 0.7, {1, 0, 0}}}, 0.7, -1, -1, -1},
        // one site, hops along a (0.4) and b (0.9): a sheet, no 3D
        network_case{"sheet", {0.0}, {{0, 0, 0.4, {1, 0, 0}}, {0, 0, 0.9, {0, 1, 0}}}, 0.4, 0.9, -1, -1},
        // one site with hops along a, b, c at three chosen barriers, plus a local triangle
        network_case{"net3d",
                     {0.0, 0.05, 0.05},
                     {{0, 0, 0.3, {1, 0, 0}},
                      {0, 0, 0.6, {0, 1, 0}},
                      {0, 0, 1.1, {0, 0, 1}},
                      {0, 1, 0.2, {0, 0, 0}},
                      {1, 2, 0.2, {0, 0, 0}},
                      {2, 0, 0.25, {0, 0, 0}}},
                     0.3, 0.6, 1.1, 0.25}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GraphNetwork, ParallelTranslationsMakeNoPlane) {
    auto g = hand_graph({0.0}, {{0, 0, 0.4, {1, 0, 0}}, {0, 0, 0.5, {2, 0, 0}}});
    auto cycles = kelmar_graph_cycle_list_new_from_graph(g.get());
    ASSERT_NE(cycles, nullptr);
    auto net = kelmar_graph_network_new_from_cycle_list(cycles.get());
    EXPECT_NEAR(net->e1, 0.4, 1e-12);
    EXPECT_EQ(net->e2, -1.0);
}

// Connected through a middle cycle although the first and last share no vertex.
TEST(GraphNetwork, LinkedThroughAChain) {
    auto g = hand_graph({0, 0, 0, 0}, {{0, 1, 1, {0, 0, 0}}, {1, 2, 1, {0, 0, 0}}, {2, 3, 1, {0, 0, 0}}});
    KELMAR_GRAPH_CYCLE a, b, c;
    a.e = {&g->e[0], &g->e[1]};  // start vertices 0, 1
    b.e = {&g->e[2], &g->e[3]};  // 1, 2
    c.e = {&g->e[4], &g->e[5]};  // 2, 3
    const KELMAR_GRAPH_CYCLE* chain[3] = {&a, &c, &b};
    EXPECT_TRUE(kelmar_graph_cycles_is_connected(chain, 3));
    const KELMAR_GRAPH_CYCLE* apart[2] = {&a, &c};
    EXPECT_FALSE(kelmar_graph_cycles_is_connected(apart, 2));
}

TEST(GraphDots, PeriodicHelpers) {
    const long n[3] = {10, 10, 10};
    const long a[3] = {0, 5, 9}, b[3] = {9, 4, 0}, c[3] = {2, 5, 9};
    EXPECT_TRUE(kelmar_dot_adjacent(a, b, n));
    EXPECT_TRUE(kelmar_dot_adjacent(a, a, n));
    EXPECT_FALSE(kelmar_dot_adjacent(a, c, n));
    const double cell[3][3] = {{4, 0, 0}, {0, 5, 0}, {0, 0, 6}};
    const double p[3] = {0.2, 0, 0}, q[3] = {3.9, 0, 0};
    EXPECT_NEAR(kelmar_dot_distance(p, q, cell), 0.3, 1e-12);
    double dir[3], piv[3];
    kelmar_dot_direction(dir, p, q, cell);
    EXPECT_NEAR(dir[0], -1.0, 1e-12);
    kelmar_dot_pivot(piv, q, p, cell);
    EXPECT_NEAR(piv[0], -0.1, 1e-12);
}

// The screen in front of the 27-image distance never changes a "closer than" answer: random
// point pairs (inside the cell and a little outside, as positions of atoms and grid points are)
// in cubic, hexagonal and strongly oblique cells, cutoffs from well below to well above the pairs'
// distances, and pairs placed right at the cutoff.
TEST(GraphDots, NearScreenAgreesWithTheFullDistance) {
    const double cells[][3][3] = {
        {{6, 0, 0}, {0, 6, 0}, {0, 0, 6}},
        {{5, 0, 0}, {-2.5, 4.330127, 0}, {0, 0, 9}},
        {{4, 0, 0}, {3.1, 2.2, 0}, {-1.7, 1.4, 3.3}},
        {{12.9, 0, 0}, {0, 12.9, 0}, {6.45, 6.45, 6.45}},
    };
    RandomEngine engine(7);
    const auto uniform = [&engine]() { return kelmar_random(engine); };
    long measured = 0, screened = 0;
    for (const auto& a : cells) {
        const PeriodicNearScreen screen(a);
        for (int pair = 0; pair < 400; ++pair) {
            double x1[3] = {0, 0, 0}, x2[3] = {0, 0, 0};
            for (int r = 0; r < 3; ++r) {
                const double f1 = uniform() * 1.2 - 0.1, f2 = uniform() * 1.2 - 0.1;
                for (int d = 0; d < 3; ++d) {
                    x1[d] += f1 * a[r][d];
                    x2[d] += f2 * a[r][d];
                }
            }
            const double full = kelmar_dot_distance(x1, x2, a);
            for (double cutoff : {0.3, 0.6, 1.2, 2.5, 5.0, full, std::nextafter(full, 0.0), full * (1 + 1e-12)}) {
                ASSERT_EQ(!screen.apart(x1, x2, cutoff) && kelmar_dot_distance(x1, x2, a) < cutoff, full < cutoff) << cutoff << " " << full;
                ++measured;
                screened += screen.apart(x1, x2, cutoff) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(screened, measured / 4);  // and it does spare work
}

// --- landscapes -----------------------------------------------------------------------------------

struct landscape {
    std::unique_ptr<KELMAR_CUBE> cube;
    std::unique_ptr<KELMAR_CELL> cell;
};

// E = -sum_r A_r cos(2 pi m x_r) on a cubic cell of edge L with n points per axis; m minima per axis.
landscape cosine_landscape(const double amp[3], int m, long n, double L) {
    landscape out;
    const long dims[3] = {n, n, n};
    out.cube = kelmar_cube_new(dims);
    for (int r = 0; r < 3; ++r) {
        out.cube->a[r][r] = L;
        out.cube->a_i[r][r] = L / static_cast<double>(n);
    }
    for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j)
            for (long k = 0; k < n; ++k) {
                const double f[3] = {static_cast<double>(i) / n, static_cast<double>(j) / n, static_cast<double>(k) / n};
                double e = 0.0;
                for (int r = 0; r < 3; ++r) e -= amp[r] * std::cos(2.0 * kPi * m * f[r]);
                out.cube->en(i, j, k) = e;
            }
    std::vector<KELMAR_ATOM> atoms;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
            for (int k = 0; k < m; ++k)
                atoms.push_back(kmfix::atom_at("Li1", "Li", 1, double(i) / m, double(j) / m, double(k) / m));
    out.cell = kmfix::cubic(L, atoms);
    return out;
}

std::unique_ptr<KELMAR_PROPERTY> lithium() {
    auto ppt = kelmar_property_new(1);
    ppt->type[0] = {'L', 'i', '\0'};
    ppt->os[0] = 1;
    ppt->uni[0].m = 6.94;
    ppt->conducting = 0;
    return ppt;
}

struct built {
    std::unique_ptr<KELMAR_FPCUBE> fp;
    std::unique_ptr<KELMAR_FPHALF_LIST> list;
    std::unique_ptr<KELMAR_GRAPH> graph;
};

built graph_of(const landscape& l) {
    built b;
    b.fp = kelmar_fpcube_new_from_cube(l.cube.get());
    auto fft = kelmar_fft_new_from_cube(l.cube.get());
    b.list = kelmar_fphalf_list_new_from_fpcube(b.fp.get());
    auto ppt = lithium();
    b.graph = kelmar_graph_new_filled(b.list.get(), b.fp.get(), fft.get(), l.cell.get(), ppt.get());
    return b;
}

// Two minima per axis: a simple cubic net of 8 sites whose hops along a, b, c cost 2 A_r.
TEST(GraphLandscape, ThreeBarriersOpenThreeDimensions) {
    const double amp[3] = {0.1, 0.2, 0.3};
    landscape l = cosine_landscape(amp, 2, 16, 6.0);
    built b = graph_of(l);
    ASSERT_NE(b.graph, nullptr);
    EXPECT_EQ(b.graph->total_v, 8);
    EXPECT_EQ(b.graph->total_e, 2 * 24);  // 24 saddles: two per site and axis, each shared by two sites
    for (const KELMAR_GRAPH_VERTEX& v : b.graph->v) {
        EXPECT_EQ(v.site, 1);
        EXPECT_NEAR(v.occ, 1.0, 1e-12);
        EXPECT_STREQ(v.name, "Li1");
        EXPECT_GT(v.eig[0], 0.0);  // a minimum: positive curvature
    }
    for (const KELMAR_GRAPH_EDGE& e : b.graph->e) {
        EXPECT_NEAR(e.l, 3.0, 1e-9);
        EXPECT_EQ(e.e_r->e_r, &e);
        EXPECT_NEAR(e.barrier, e.e_r->barrier, 1e-12);
        // the hop's translation plus the cell offset of the two grid indices gives its length
        double d[3];
        for (int r = 0; r < 3; ++r)
            d[r] = e.v_f->x[r] + e.bound[r] * 6.0 - e.v_i->x[r];
        EXPECT_NEAR(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 3.0, 1e-9);
    }
    auto cycles = kelmar_graph_cycle_list_new_from_graph(b.graph.get());
    auto net = kelmar_graph_network_new_from_cycle_list(cycles.get());
    EXPECT_NEAR(net->e1, 0.2, 1e-9);
    EXPECT_NEAR(net->e2, 0.4, 1e-9);
    EXPECT_NEAR(net->e3, 0.6, 1e-9);
    EXPECT_TRUE(net->el < 0.0 || net->el > 0.4 - 1e-9);  // no closed loop is cheaper than an a-b square

    auto sites = kelmar_graph_sites_new(b.graph.get(), b.list.get(), b.fp.get(), 0.0, 0.0);
    ASSERT_NE(sites, nullptr);
    EXPECT_DOUBLE_EQ(sites->de, 0.0257);
    EXPECT_DOUBLE_EQ(sites->dr, 0.5);
    EXPECT_EQ(sites->total_real, 8);
    EXPECT_EQ(sites->total_merge, 0);
    for (long i = 0; i < 8; ++i) EXPECT_EQ(sites->site[static_cast<std::size_t>(i)].total_neigh, 3);  // the site across each axis, reached both ways
}

// One minimum per cell: both halves of every saddle end at the same site, in the next cell. Each
// saddle is a hop from the site to its own image, one cell length long, so the simple cubic net
// opens along a, b and c at 2 A_r like the net of eight sites above.
TEST(GraphLandscape, SelfHopsLeadToTheNextCell) {
    const double amp[3] = {0.1, 0.2, 0.3};
    landscape l = cosine_landscape(amp, 1, 12, 4.0);
    built b = graph_of(l);
    ASSERT_NE(b.graph, nullptr);
    EXPECT_EQ(b.graph->total_v, 1);
    ASSERT_EQ(b.graph->total_e, 6);
    for (const KELMAR_GRAPH_EDGE& e : b.graph->e) {
        EXPECT_EQ(e.v_i, e.v_f);
        EXPECT_EQ(std::abs(e.bound[0]) + std::abs(e.bound[1]) + std::abs(e.bound[2]), 1);
        EXPECT_NEAR(e.l, 4.0, 1e-9);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(e.bound[r], -e.e_r->bound[r]);
    }
    auto cycles = kelmar_graph_cycle_list_new_from_graph(b.graph.get());
    auto net = kelmar_graph_network_new_from_cycle_list(cycles.get());
    EXPECT_NEAR(net->e1, 0.2, 1e-9);
    EXPECT_NEAR(net->e2, 0.4, 1e-9);
    EXPECT_NEAR(net->e3, 0.6, 1e-9);
    EXPECT_EQ(net->el, -1.0);
}

// Sites closer than dr chain into one merged site even when the ends are farther apart.
TEST(GraphSites, ChainMerges) {
    auto g = hand_graph({0.0, 0.0, 0.0, 0.5}, {});
    g->a[0][0] = g->a[1][1] = g->a[2][2] = 20.0;
    const double xs[4] = {1.0, 1.4, 1.8, 10.0};
    for (int i = 0; i < 4; ++i) g->v[static_cast<std::size_t>(i)].x[0] = xs[i];
    KELMAR_FPHALF_LIST list;
    KELMAR_FPCUBE fp;
    auto sites = kelmar_graph_sites_new(g.get(), &list, &fp, 0.02, 0.5);
    ASSERT_NE(sites, nullptr);
    ASSERT_EQ(sites->total_merge, 1);
    const KELMAR_GRAPH_SITE& m = sites->site.back();
    EXPECT_EQ(m.type, SITE_MER);
    EXPECT_EQ(m.index_split, (std::vector<long>{0, 1, 2}));
    EXPECT_NEAR(m.x[0], 1.4, 1e-12);
    EXPECT_EQ(sites->site[3].index_merge, 0);
    EXPECT_EQ(sites->site[0].index_merge, m.index);
}

// Listing loops: one site with hops along a and b at the same saddle (equivalent cycles), a hop
// along c whose barrier and length equal those of a local triangle, and a local two-hop loop.
std::unique_ptr<KELMAR_GRAPH> listing_graph() {
    auto g = hand_graph({0.0, 0.05, 0.05, 0.0},
                        {{0, 0, 0.3, {1, 0, 0}},
                         {0, 0, 0.3, {0, 1, 0}},
                         {0, 0, 0.25, {0, 0, 1}},
                         {0, 1, 0.2, {0, 0, 0}},
                         {1, 2, 0.2, {0, 0, 0}},
                         {2, 0, 0.25, {0, 0, 0}},
                         {0, 3, 0.4, {0, 0, 0}},
                         {3, 0, 0.5, {0, 0, 0}}});
    g->e[4].l = g->e[5].l = 3.0;  // the c hop is as long as the triangle
    return g;
}

TEST(GraphCycleList, ReduceKeepsOneOfEachKind) {
    auto g = listing_graph();
    auto cycles = kelmar_graph_cycle_list_new_from_graph(g.get());
    ASSERT_NE(cycles, nullptr);
    ASSERT_EQ(cycles->size(), 5U);
    ASSERT_EQ(kelmar_graph_cycle_list_reduce(cycles.get()), 0);
    // the b cycle repeats the a cycle; the c hop differs from the triangle by its hop count
    std::vector<std::pair<long, double>> kept;
    for (const auto& c : *cycles) kept.emplace_back(c->total, c->barrier);
    const std::vector<std::pair<long, double>> want = {{3, 0.25}, {1, 0.25}, {1, 0.3}, {2, 0.5}};
    ASSERT_EQ(kept.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(kept[i].first, want[i].first) << i;
        EXPECT_NEAR(kept[i].second, want[i].second, 1e-12) << i;
    }
    EXPECT_EQ(kelmar_graph_cycle_list_reduce(nullptr), 1);
}

TEST(GraphCycleList, LocalLoopsWithinCutoffs) {
    auto g = listing_graph();
    auto cycles = kelmar_graph_cycle_list_new_from_graph(g.get());
    ASSERT_NE(cycles, nullptr);
    const struct {
        double e_cutoff, l_cutoff;
        std::vector<double> barriers;  // of the loops returned, cheapest first
    } cases[] = {
        {-1.0, 0.0, {0.25, 0.5}},  // no test: every closed loop, none of the translations
        {0.3, 0.0, {0.25}},        // the two-hop loop is too high
        {-1.0, 2.5, {0.5}},        // the triangle is too long
        {0.5, 3.0, {0.25, 0.5}},   // both limits are inclusive
        {0.3, 2.5, {}},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        const auto loops = kelmar_graph_cycle_list_local_loops(cycles.get(), c.e_cutoff, c.l_cutoff);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(loops.size(), c.barriers.size()) << c.e_cutoff << " " << c.l_cutoff;
        for (std::size_t i = 0; i < loops.size(); ++i) {
            EXPECT_NEAR(loops[i]->barrier, c.barriers[i], 1e-12);
            EXPECT_EQ(loops[i]->bound[0] | loops[i]->bound[1] | loops[i]->bound[2], 0);
        }
        // printed as a cycle list: one numbered block per loop
        std::size_t blocks = 0;
        for (auto at = out.find("KELMAR_GRAPH_CYCLE: ["); at != std::string::npos;
             at = out.find("KELMAR_GRAPH_CYCLE: [", at + 1))
            ++blocks;
        EXPECT_EQ(blocks, loops.size());
        if (!loops.empty()) {
            EXPECT_EQ(out.rfind("KELMAR_GRAPH_CYCLE: [  0]\nKELMAR_GRAPH_CYCLE: total = ", 0), 0U) << out;
        }
    }
    EXPECT_TRUE(kelmar_graph_cycle_list_local_loops(nullptr, -1.0, 0.0).empty());
}

// E = sin 2pi u + sin 2pi v - sin 2pi (u + v) with (u, v) = 2 (x, y) has, per quarter of the ab
// face, one minimum and one monkey saddle whose three valleys lead to three different minima. The
// third axis has three planes, the upper two raised by 1e-4 eV, so that every column's low point
// lies in plane 0 and no saddle forms along c. Every saddle has three down branches and joins
// its three sites, as a flood of the grid does: the sheet opens in two dimensions at once, at the
// saddles' level. Along c the two raised planes tie; ordered by index, as the flood meets them,
// they join the column 1e-4 eV above its low point (1D), and the sheet makes it 3D.
TEST(GraphLandscape, ThreeBranchSaddlesJoinTheirSites) {
    const long n = 12;
    const long dims[3] = {n, n, 3};
    const double L = 6.0, c = 1.5;
    landscape l;
    l.cube = kelmar_cube_new(dims);
    l.cube->a[0][0] = l.cube->a[1][1] = L;
    l.cube->a[2][2] = c;
    l.cube->a_i[0][0] = l.cube->a_i[1][1] = L / static_cast<double>(n);
    l.cube->a_i[2][2] = c / 3.0;
    for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j) {
            // a quarter-voxel shift keeps the saddles off the grid's zero lines
            const double u = 2.0 * (static_cast<double>(i) + 0.25) / n, v = 2.0 * (static_cast<double>(j) + 0.25) / n;
            const double e = std::sin(2 * kPi * u) + std::sin(2 * kPi * v) - std::sin(2 * kPi * (u + v));
            for (long k = 0; k < 3; ++k) l.cube->en(i, j, k) = e + (k == 0 ? 0.0 : 1e-4);
        }
    std::vector<KELMAR_ATOM> atoms;
    for (double x : {1.0 / 3.0, 5.0 / 6.0})
        for (double y : {1.0 / 3.0, 5.0 / 6.0}) atoms.push_back(kmfix::atom_at("Li1", "Li", 1, x, y, 0.0));
    l.cell = kmfix::box(L, L, c);
    l.cell->atom = atoms;
    kelmar_cell_update_cartesion(l.cell.get());

    built b = graph_of(l);
    ASSERT_NE(b.list, nullptr);
    ASSERT_NE(b.graph, nullptr);
    // saddles with three half-paths to three different minima (and, where mirror-related points
    // tie, two-branch passes between them); every half-path ends at a site
    long three = 0;
    for (const KELMAR_FPHALF& h : b.list->half) {
        EXPECT_EQ(b.fp->type[static_cast<std::size_t>(h.dot.back())], FP_MIN);
        three += fpgrid_total_dn(b.fp.get(), h.dot[0]) == 3;
    }
    EXPECT_GE(three, 12);
    EXPECT_EQ(b.graph->total_v, 4);
    EXPECT_GE(b.graph->total_e, 16);  // per saddle, its first site to each of the other two, both ways
    for (const KELMAR_GRAPH_VERTEX& v : b.graph->v) {
        EXPECT_STREQ(v.name, "Li1");
        EXPECT_NEAR(v.occ, 1.0, 1e-12);
        EXPECT_EQ(v.site, 1);
    }
    auto cycles = kelmar_graph_cycle_list_new_from_graph(b.graph.get());
    ASSERT_NE(cycles, nullptr);
    EXPECT_FALSE(cycles->empty());
    auto net = kelmar_graph_network_new_from_cycle_list(cycles.get());
    ASSERT_NE(net, nullptr);
    const GraphPoolLevels pool = graph_pool_levels(b.graph.get());
    double top = b.graph->e[0].en;
    for (const KELMAR_GRAPH_EDGE& e : b.graph->e) top = std::max(top, e.en);
    const double barrier = top - b.graph->v[0].en;
    EXPECT_GT(barrier, 0.5);
    EXPECT_NEAR(net->e1, 1e-4, 1e-9);  // the column along c
    EXPECT_NEAR(net->e2, barrier, 1e-9);
    EXPECT_NEAR(net->e3, barrier, 1e-9);
    EXPECT_NEAR(pool.level[0], 1e-4, 1e-9);
    EXPECT_NEAR(pool.level[1], barrier, 1e-9);
    EXPECT_NEAR(pool.level[2], barrier, 1e-9);
}

// --gh and --sites build the graph without the landscape's derivatives, from a fingerprint grid
// that takes the energies over: on a real landscape every vertex and edge is the one the graph
// with Hessians has, and the Hessians there do not depend on whether the gradient is read too.
TEST(GraphLandscape, GraphWithoutHessiansIsTheSameGraph) {
    std::unique_ptr<KELMAR_CUBE> cube, again;
    const std::string file = std::string(TEST_DATA_DIR) + "/naro-path/LiFePO4.cube";
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_cube_import_from_file(&cube, nullptr, file.c_str(), true, "x", true), 0);
    ASSERT_EQ(kelmar_cube_import_from_file(&again, nullptr, file.c_str(), true, "x", true), 0);
    auto copied = kelmar_fpcube_new_from_cube(cube.get());
    auto taken = fpcube_new_taking_cube(std::move(again), 2);
    auto spectrum = kelmar_fft_new_spectrum_from_cube(cube.get(), 0);
    auto list = kelmar_fphalf_list_new_from_fpcube(copied.get());
    auto cell = kmfix::cubic(5.0, {kmfix::atom_at("Li1", "Li", 1, 0.0, 0.0, 0.0),
                                   kmfix::atom_at("Li2", "Li", 1, 0.5, 0.5, 0.5)});
    auto ppt = lithium();
    auto with = kelmar_graph_new_filled(list.get(), copied.get(), spectrum.get(), cell.get(), ppt.get());
    auto without = graph_new_without_hessians(list.get(), taken.get(), cell.get(), ppt.get());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->en, copied->en);
    EXPECT_EQ(taken->type, copied->type);
    EXPECT_EQ(taken->branches, copied->branches);
    EXPECT_EQ(taken->descent, copied->descent);
    EXPECT_EQ(0, std::memcmp(taken->a_i, copied->a_i, sizeof taken->a_i));
    ASSERT_NE(with, nullptr);
    ASSERT_NE(without, nullptr);
    ASSERT_GT(with->total_e, 0);
    ASSERT_EQ(without->v.size(), with->v.size());
    ASSERT_EQ(without->e.size(), with->e.size());
    std::vector<long> points;
    for (std::size_t i = 0; i < with->v.size(); ++i) {
        const KELMAR_GRAPH_VERTEX &a = with->v[i], &b = without->v[i];
        EXPECT_EQ(0, std::memcmp(a.x_i, b.x_i, sizeof a.x_i));
        EXPECT_EQ(0, std::memcmp(a.x, b.x, sizeof a.x));
        EXPECT_EQ(a.en, b.en);
        EXPECT_EQ(a.occ, b.occ);
        EXPECT_STREQ(a.name, b.name);
        EXPECT_EQ(a.site, b.site);
        EXPECT_EQ(a.total_e, b.total_e);
        EXPECT_NE(a.eig[2], 0.0);  // made from the spectrum
        EXPECT_EQ(b.eig[2], 0.0);
        points.push_back((a.x_i[0] * with->n[1] + a.x_i[1]) * with->n[2] + a.x_i[2]);
    }
    for (std::size_t k = 0; k < with->e.size(); ++k) {
        const KELMAR_GRAPH_EDGE &a = with->e[k], &b = without->e[k];
        EXPECT_EQ(0, std::memcmp(a.x_i, b.x_i, sizeof a.x_i));
        EXPECT_EQ(a.en, b.en);
        EXPECT_EQ(a.l, b.l);
        EXPECT_EQ(a.barrier, b.barrier);
        EXPECT_EQ(0, std::memcmp(a.bound, b.bound, sizeof a.bound));
        EXPECT_EQ(0, std::memcmp(a.dir, b.dir, sizeof a.dir));
        EXPECT_EQ(a.index_half, b.index_half);
        EXPECT_EQ(a.v_i->index, b.v_i->index);
        EXPECT_EQ(a.v_f->index, b.v_f->index);
    }
    std::vector<KELMAR_FFTDOT> all, second;
    ASSERT_EQ(fft_read_points(spectrum.get(), points, &all, 0, true), 0);
    ASSERT_EQ(fft_read_points(spectrum.get(), points, &second, 0, false), 0);
    for (std::size_t q = 0; q < points.size(); ++q) {
        EXPECT_EQ(0, std::memcmp(all[q].k, second[q].k, sizeof all[q].k));
        EXPECT_EQ(0, std::memcmp(all[q].eig, with->v[q].eig, sizeof all[q].eig));
        EXPECT_EQ(second[q].f[0], 0.0);
    }
}

}  // namespace
