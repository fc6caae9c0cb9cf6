// Kinetic Monte Carlo against answers known in closed form: a random walk on a simple cubic net of
// minima (D = Gamma a^2 with Gamma from the harmonic attempt frequency and the barrier), its
// Arrhenius slope, the Nernst-Einstein relation; the rate tree against the plain scan; the kept
// Coulomb sums against the plain sums; the supergraph's translations; seeded repeatability; and
// the runs that cannot start.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>

#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "kelmar_fixtures.hpp"
#include "kmc.hpp"
#include "kmc-supergraph.hpp"
#include "kmc-out.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kB = 8.6173324e-5;
constexpr double kLiMass = 6.94;

// E = -A sum_r cos(2 pi x_r / spacing) on a cubic cell of two spacings, n points per axis: eight
// minima on a simple cubic net, every hop over a barrier 2A. One Li atom at the origin.
std::unique_ptr<KELMAR_GRAPH> cosine_net(double A, double spacing, long n) {
    const long dims[3] = {n, n, n};
    auto cube = kelmar_cube_new(dims);
    const double L = 2.0 * spacing;
    for (int r = 0; r < 3; ++r) {
        cube->a[r][r] = L;
        cube->a_i[r][r] = L / static_cast<double>(n);
    }
    for (long i = 0; i < n; ++i)
        for (long j = 0; j < n; ++j)
            for (long k = 0; k < n; ++k) {
                const long idx[3] = {i, j, k};
                double e = 0.0;
                for (int r = 0; r < 3; ++r) e -= A * std::cos(2.0 * kPi * 2.0 * static_cast<double>(idx[r]) / n);
                cube->en(i, j, k) = e;
            }
    auto cell = kmfix::cubic(L, {kmfix::atom_at("Li1", "Li", 1, 0.0, 0.0, 0.0)});
    auto fp = kelmar_fpcube_new_from_cube(cube.get());
    auto fft = kelmar_fft_new_from_cube(cube.get());
    auto list = kelmar_fphalf_list_new_from_fpcube(fp.get());
    auto ppt = kelmar_property_new(1);
    ppt->type[0] = {'L', 'i', '\0'};
    ppt->os[0] = 1;
    ppt->uni[0].m = kLiMass;
    ppt->conducting = 0;
    testing::internal::CaptureStdout();
    auto g = kelmar_graph_new_filled(list.get(), fp.get(), fft.get(), cell.get(), ppt.get());
    testing::internal::GetCapturedStdout();
    return g;
}

// Li with a Coulomb radius and charge, for the repulsion between ions.
std::unique_ptr<KELMAR_PROPERTY> lithium() {
    auto ppt = kelmar_property_new(1);
    ppt->type[0] = {'L', 'i', '\0'};
    ppt->os[0] = 1;
    ppt->uni[0].m = kLiMass;
    ppt->uni[0].q = 0.8;
    ppt->uni[0].rc = 1.0;
    ppt->sf = 0.75;
    ppt->conducting = 0;
    return ppt;
}

// The engine the records of this file draw from; a test that needs a repeatable run seeds it.
RandomEngine& test_engine() {
    static RandomEngine engine(1);
    return engine;
}

// A KMC record on s^3 copies of the net, with `ions` ions spread evenly over the vertices.
std::unique_ptr<KELMAR_KMC> net_kmc(double A, int s, double ions, double cutoff, double spacing = 3.0) {
    auto g = cosine_net(A, spacing, 16);
    const int sc[3] = {s, s, s};
    auto super = kelmar_graph_new_supergraph(g.get(), sc);
    if (super == nullptr) return nullptr;
    for (KELMAR_GRAPH_VERTEX& v : super->v) v.occ = ions / static_cast<double>(super->total_v);
    super->total_occ = ions;
    super->c = ions / super->volume;
    auto ppt = lithium();
    return kelmar_kmc_new(super, ppt.get(), cutoff, test_engine());
}

// Runs one measurement quietly; the diffusivity (A^2/ps) of that run alone.
double measure(KELMAR_KMC* kmc, double out[4]) {
    for (int p = 0; p < 4; ++p) kmc->diffusivity[p] = kmc->mobility[p] = kmc->conductivity[p] = kmc->displacement[p] = 0.0;
    testing::internal::CaptureStdout();
    const int rc = kelmar_kmc_calculate_conductivity(kmc);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    if (out != nullptr)
        for (int p = 0; p < 4; ++p) out[p] = kmc->diffusivity[p];
    return kmc->diffusivity[3];
}

// Analytic rate of one hop: curvature A (2 pi / spacing)^2 along the hop, barrier 2A.
double analytic_gamma(double A, double spacing, double T) {
    const double k = A * std::pow(2.0 * kPi / spacing, 2);
    return 15.6 * std::sqrt(k / kLiMass) * std::exp(-2.0 * A / (kB * T));
}

}  // namespace

// Dilute ions (16 on 4096 sites, no repulsion) walk the simple cubic net: D = Gamma a^2 within the
// statistical error of the runs, Arrhenius slope within 3 %, Nernst-Einstein mobility and
// conductivity.
TEST(KmcRandomWalk, DiffusivityArrheniusAndNernstEinstein) {
    const double A = 0.15, spacing = 3.0;  // barrier 0.3 eV
    auto kmc = net_kmc(A, 8, 16.0, 0.0, spacing);
    ASSERT_NE(kmc, nullptr);
    ASSERT_EQ(kmc->graph->total_v, 4096);
    test_engine().seed(2024);
    struct point {
        double T, lnD;
    };
    std::vector<point> pts;
    for (double T : {300.0, 450.0, 900.0}) {
        kmc->temperature = T;
        kmc->step_limit = 16 * 400;
        kmc->t_limit = 0.0;
        testing::internal::CaptureStdout();
        ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
        testing::internal::GetCapturedStdout();
        const int runs = 24;
        double sum = 0.0, sum2 = 0.0, comp[4] = {}, last[4];
        for (int r = 0; r < runs; ++r) {
            const double D = measure(kmc.get(), last);
            sum += D;
            sum2 += D * D;
            for (int p = 0; p < 3; ++p) comp[p] += last[p];
        }
        const double mean = sum / runs;
        const double se = std::sqrt((sum2 / runs - mean * mean) / (runs - 1));
        const double expect = analytic_gamma(A, spacing, T) * spacing * spacing;
        EXPECT_NEAR(mean, expect, 3.5 * se) << "T = " << T;
        std::printf("random walk at %.0f K: D = %.4g +- %.2g A^2/ps, Gamma a^2 = %.4g A^2/ps\n", T, mean, se, expect);
        EXPECT_LT(se / mean, 0.08);  // the check has teeth
        // the three components add up to the total and share it evenly
        for (int p = 0; p < 3; ++p) EXPECT_NEAR(comp[p] / runs, mean / 3.0, 0.25 * mean) << p;
        EXPECT_NEAR(comp[0] + comp[1] + comp[2], sum, 1e-9 * sum);
        // Nernst-Einstein: mu = D q / kT, sigma = c q mu (S/cm from 1e-8 m^2/(V s), 1/A^3, e)
        EXPECT_NEAR(kmc->mobility[3], kmc->diffusivity[3] * 11604.52 / T, 1e-12 * kmc->mobility[3]);
        EXPECT_NEAR(kmc->conductivity[3], kmc->mobility[3] * kmc->graph->c * 1.60217662 * 10.0,
                    1e-12 * kmc->conductivity[3]);
        pts.push_back({T, std::log(mean)});
    }
    // least-squares slope of ln D against 1/T
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const point& p : pts) {
        const double x = 1.0 / p.T;
        sx += x, sy += p.lnD, sxx += x * x, sxy += x * p.lnD;
    }
    const double n = static_cast<double>(pts.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    EXPECT_NEAR(-slope * kB, 2.0 * A, 0.03 * 2.0 * A);
    std::printf("random walk Arrhenius energy %.4f eV for a barrier of %.4f eV\n", -slope * kB, 2.0 * A);
}

namespace {

// The total of a complete binary tree over the rates (padded with zeros to a power of two).
double binary_total(std::vector<double> sums) {
    std::size_t width = 1;
    while (width < sums.size()) width *= 2;
    sums.resize(width, 0.0);
    for (; width > 1; width /= 2)
        for (std::size_t k = 0; k < width / 2; ++k) sums[k] = sums[2 * k] + sums[2 * k + 1];
    return sums.empty() ? 0.0 : sums[0];
}

}  // namespace

// The tree draws the hop the plain scan draws, before and after rates change, its total is a
// binary tree's to the last bit, and it draws hops in proportion to their rates.
TEST(KmcRateTree, SameHopAsLinearScanAndFrequenciesFollowRates) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    for (long n : {1L, 7L, 4096L, 5000L}) {
        std::vector<double> rates(static_cast<std::size_t>(n));
        kmc_rate_tree tree, batched;  // one brought up per rate, one per batch of rates
        tree.assign(n);
        batched.assign(n);
        for (long i = 0; i < n; ++i) {
            rates[static_cast<std::size_t>(i)] = (i > 0 && U(gen) < 0.3) ? 0.0 : std::exp(20.0 * (U(gen) - 0.5));
            tree.set(i, rates[static_cast<std::size_t>(i)]);
            batched.stage(i, rates[static_cast<std::size_t>(i)]);
        }
        batched.flush();
        for (int round = 0; round < 3; ++round) {
            double Q = 0.0;
            for (double r : rates) Q += r;
            EXPECT_NEAR(tree.total(), Q, 1e-12 * Q);
            EXPECT_EQ(tree.total(), binary_total(rates)) << "n = " << n;
            for (int draw = 0; draw < 2000; ++draw) {
                const double u = draw == 0 ? 0.0 : draw == 1 ? 1.0 : U(gen);
                const long k = tree.pick(u * tree.total());
                ASSERT_GE(k, 0);
                EXPECT_GT(rates[static_cast<std::size_t>(k)], 0.0);
                EXPECT_EQ(k, kmc_pick_linear(rates, u * Q)) << "n = " << n << " u = " << u;
                EXPECT_EQ(batched.pick(u * batched.total()), k);
            }
            for (long c = 0; c < n / 3 + 1; ++c) {  // change some rates, zero some
                const long i = static_cast<long>(U(gen) * static_cast<double>(n)) % n;
                rates[static_cast<std::size_t>(i)] = U(gen) < 0.5 ? 0.0 : U(gen);
                tree.set(i, rates[static_cast<std::size_t>(i)]);
                batched.stage(i, rates[static_cast<std::size_t>(i)]);
            }
            rates[0] = 0.5;  // never all zero
            tree.set(0, 0.5);
            batched.stage(0, 0.5);
            batched.flush();
            EXPECT_EQ(batched.total(), tree.total());
        }
    }
    // frequencies
    const std::vector<double> rates = {1.0, 0.0, 2.0, 0.5, 6.5};
    kmc_rate_tree tree;
    tree.assign(static_cast<long>(rates.size()));
    for (std::size_t i = 0; i < rates.size(); ++i) tree.set(static_cast<long>(i), rates[i]);
    std::vector<long> hits(rates.size(), 0);
    const long draws = 200000;
    for (long d = 0; d < draws; ++d) ++hits[static_cast<std::size_t>(tree.pick(U(gen) * tree.total()))];
    for (std::size_t i = 0; i < rates.size(); ++i) {
        const double p = rates[i] / 10.0;
        EXPECT_NEAR(static_cast<double>(hits[i]) / draws, p, 4.0 * std::sqrt(p * (1 - p) / draws) + 1e-12) << i;
    }
    kmc_rate_tree empty;
    empty.assign(3);
    EXPECT_EQ(empty.pick(0.0), -1);
}

// The supergraph copies every vertex and edge, leads each hop into the copy it enters, and keeps
// reverse pairs: every hop spans the net spacing once its translation is applied.
TEST(KmcSupergraph, CopiesAndTranslations) {
    auto g = cosine_net(0.1, 3.0, 16);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->total_v, 8);
    ASSERT_EQ(g->total_e, 48);
    const int sizes[][3] = {{1, 1, 1}, {2, 1, 3}, {3, 3, 3}};
    for (const auto& s : sizes) {
        auto sg = kelmar_graph_new_supergraph(g.get(), s);
        ASSERT_NE(sg, nullptr);
        const long S = static_cast<long>(s[0]) * s[1] * s[2];
        EXPECT_EQ(sg->total_v, 8 * S);
        EXPECT_EQ(sg->total_e, 48 * S);
        EXPECT_NEAR(sg->total_occ, g->total_occ * S, 1e-12);
        EXPECT_NEAR(sg->c, g->c, 1e-15);
        long crossing = 0;
        for (const KELMAR_GRAPH_EDGE& e : sg->e) {
            EXPECT_EQ(e.e_r->e_r, &e);
            EXPECT_EQ(e.e_r->v_i, e.v_f);
            double d2 = 0.0;
            for (int p = 0; p < 3; ++p) {
                const double d = e.v_f->x[p] + e.bound[p] * sg->a[p][p] - e.v_i->x[p];
                d2 += d * d;
                crossing += e.bound[p] != 0;
            }
            EXPECT_NEAR(std::sqrt(d2), 3.0, 1e-9);
        }
        // hops leave the supercell only through its faces: 2 per face site and axis
        const long faces = 8 * (S / s[0] + S / s[1] + S / s[2]);
        EXPECT_EQ(crossing, faces);
        for (const KELMAR_GRAPH_VERTEX& v : sg->v) EXPECT_EQ(v.total_e, 6);
    }
    for (const auto& bad : {std::array<int, 3>{0, 1, 1}, std::array<int, 3>{1000, 1000, 1000}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(kelmar_graph_new_supergraph(g.get(), bad.data()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Error:", 0), 0u);
    }
}

// Many ions with repulsion: after thousands of hops the kept Coulomb sums give the rates that the
// plain sums give, vertex times add up to ions x time, and a seed repeats a run to the last digit.
TEST(KmcCoulomb, KeptSumsMatchPlainSumsAndSeedRepeats) {
    auto kmc = net_kmc(0.15, 3, 100.0, 5.0);
    ASSERT_NE(kmc, nullptr);
    kmc->temperature = 600.0;
    kmc->step_limit = 3000;
    test_engine().seed(5);
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(kmc->ions, 100);
    double first[4];
    measure(kmc.get(), first);
    long active = 0;
    for (long k = 0; k < static_cast<long>(kmc->ke.size()); ++k) {
        const double plain = kmc_rate_from_scratch(kmc.get(), k);
        EXPECT_NEAR(kmc_drawn_rate(kmc.get(), k), plain, 1e-9 * plain) << k;
        active += plain > 0.0;
    }
    EXPECT_GT(active, 100);
    kmc_settle_times(kmc.get());
    double occupied_time = 0.0;
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv) occupied_time += kv.t;
    EXPECT_NEAR(occupied_time, 100.0 * kmc->t_total, 1e-9 * occupied_time);
    test_engine().seed(5);
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
    testing::internal::GetCapturedStdout();
    double second[4];
    measure(kmc.get(), second);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(first[p], second[p]) << p;
}

// The fast path against the plain computation, hop by hop, on a dense net where the repulsion
// often lifts an end above its saddle: every rate equals the one summed afresh from the
// occupations to 1e-12, and each hop is the one the plain scan picks with the same random number
// over the pairs in the engine's drawing order (a pair's rate: that of its open edge), so a seed
// gives the plain implementation's trajectory.
TEST(KmcCoulomb, EveryHopMatchesThePlainComputation) {
    auto kmc = net_kmc(0.15, 3, 90.0, 5.0, 2.4);
    ASSERT_NE(kmc, nullptr);
    kmc->temperature = 500.0;
    kmc->step_limit = 100000;
    test_engine().seed(77);
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
    testing::internal::GetCapturedStdout();
    const std::size_t ne = kmc->ke.size();
    std::vector<double> plain(ne), in_order(ne / 2);
    long open = 0, worst_hop = -1;
    double worst = 0.0;
    for (long hop = 0; hop < 1500; ++hop) {
        double Q = 0.0;
        for (std::size_t k = 0; k < ne; ++k) {
            plain[k] = kmc_rate_from_scratch(kmc.get(), static_cast<long>(k));
            Q += plain[k];
            const double fast = kmc_drawn_rate(kmc.get(), static_cast<long>(k));
            if (plain[k] == 0.0) {
                ASSERT_EQ(fast, 0.0) << "edge " << k << " hop " << hop;
                continue;
            }
            ++open;
            const double rel = std::fabs(fast - plain[k]) / plain[k];
            if (rel > worst) worst = rel, worst_hop = hop;
        }
        ASSERT_NEAR(kmc->tree.total(), Q, 1e-12 * Q);
        for (std::size_t s = 0; s < ne / 2; ++s) {  // at most one edge of a pair is open
            const std::size_t first = static_cast<std::size_t>(kmc->pairs[s].first);
            in_order[s] = plain[first] + plain[first + 1];
        }
        RandomEngine peek = test_engine();
        const double u = kelmar_random(peek);
        const long s = kmc_pick_linear(in_order, u * kmc->tree.total());
        ASSERT_GE(s, 0);
        const long first = kmc->pairs[static_cast<std::size_t>(s)].first;
        const long k = plain[static_cast<std::size_t>(first)] > 0.0 ? first : first + 1;
        const KELMAR_GRAPH_EDGE* e = kmc->ke[static_cast<std::size_t>(k)].e;
        const long mover = kmc->kv[static_cast<std::size_t>(e->v_i->index)].origin;
        ASSERT_EQ(kelmar_kmc_evolve(kmc.get()), 0);
        ASSERT_FALSE(kmc->kv[static_cast<std::size_t>(e->v_i->index)].occupied) << "hop " << hop;
        ASSERT_TRUE(kmc->kv[static_cast<std::size_t>(e->v_f->index)].occupied) << "hop " << hop;
        ASSERT_EQ(kmc->kv[static_cast<std::size_t>(e->v_f->index)].origin, mover) << "hop " << hop;
    }
    EXPECT_LT(worst, 1e-12) << "at hop " << worst_hop;
    EXPECT_GT(open, 1500 * 100);
}

// Defaults of the run and placement of a fractional count.
TEST(KmcSetup, DefaultsAndPlacement) {
    struct limits_case {
        double T, t_limit;
        long step_limit, step_log;
        double T_out, t_limit_out;
        long step_limit_out, step_log_out;
    };
    const limits_case cases[] = {
        {0.0, 0.0, 0, 0, 300.0, 0.0, 10000000, 10000},
        {-5.0, -1.0, 500, 900, 300.0, 0.0, 500, 10000},
        {450.0, 2.0, -1, 100, 450.0, 2.0, 10000000, 100},
        {450.0, 2.0, 0, 100, 450.0, 2.0, 0, 10000},
    };
    for (const limits_case& c : cases) {
        auto kmc = net_kmc(0.15, 1, 2.0, 5.0);
        ASSERT_NE(kmc, nullptr);
        kmc->temperature = c.T;
        kmc->t_limit = c.t_limit;
        kmc->step_limit = c.step_limit;
        kmc->step_log = c.step_log;
        ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
        EXPECT_EQ(kmc->temperature, c.T_out);
        EXPECT_EQ(kmc->t_limit, c.t_limit_out);
        EXPECT_EQ(kmc->step_limit, c.step_limit_out);
        EXPECT_EQ(kmc->step_log, c.step_log_out);
    }
    // 3.9999995 ions: three drawn by occupancy (vertices 0..3 only), the fourth on the lowest empty
    auto kmc = net_kmc(0.15, 1, 0.0, 0.0);
    ASSERT_NE(kmc, nullptr);
    for (KELMAR_GRAPH_VERTEX& v : kmc->graph->v) v.occ = v.index < 3 ? 1.0 : 0.0;
    kmc->graph->v[6].en -= 0.05;
    kmc->kv[6].en -= 0.05;
    kmc->graph->total_occ = 3.9999995;
    ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
    EXPECT_EQ(kmc->ions, 4);
    for (long i : {0L, 1L, 2L, 6L}) EXPECT_TRUE(kmc->kv[static_cast<std::size_t>(i)].occupied) << i;
}

// Runs that cannot start or go on: one error line each, no endless loop.
TEST(KmcSetup, RunsThatCannotHop) {
    // a graph without edges
    auto lone = kelmar_graph_new(4, 0);
    lone->m = kLiMass;
    auto ppt = lithium();
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_kmc_new(lone, ppt.get(), 5.0, test_engine()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: KELMAR_GRAPH or KELMAR_PROPERTY has not been properly initialized.\n");
    // every site full, or no ion at all: nothing can hop
    for (double ions : {8.0, 0.0}) {
        auto kmc = net_kmc(0.15, 1, ions, 5.0);
        ASSERT_NE(kmc, nullptr);
        kmc->temperature = 300.0;
        kmc->step_limit = 100;
        ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_NE(kelmar_kmc_calculate_conductivity(kmc.get()), 0);
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("Error: overall rate is too small: 0.000e+00 (step 0)\n", 0), 0u) << err;
    }
    // a rate made for no temperature
    auto kmc = net_kmc(0.15, 1, 1.0, 5.0);
    kmc->temperature = 0.0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_kmc_update_rate(kmc.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: wrong inputs for generating rates.\n");
}
