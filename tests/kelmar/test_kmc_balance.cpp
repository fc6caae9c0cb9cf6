// Detailed balance of the kinetic Monte Carlo with the repulsion between ions: on a small hand-made
// landscape every configuration of a few ions can be enumerated, so the exact equilibrium (Boltzmann
// weights of the site energies plus the pair terms) is known. Each hop and its reverse must have the
// ratio of rates exp(-dE/kT), and the time-averaged occupancies of a run must reach the exact ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "kmc.hpp"
#include "kmc-out.hpp"
#include "property.hpp"

namespace {

constexpr double kB = 8.6173324e-5;

struct ring_site {
    double x[3];     // A, in a 12 A cubic cell
    double en;       // eV
    double stiff;    // smallest Hessian eigenvalue, eV/A^2 (the others 1.7x and 3x it)
};
struct ring_hop {
    int a, b;
    double rise;     // saddle above the higher end, eV
};

// Six sites 2.0 to 2.6 A apart on a puckered ring with one hop across it (so the graph has
// loops), site energies spread over 0.15 eV, low saddles and curvatures that differ from site to
// site: with the repulsion on, many saddles fall below one of their ends.
const ring_site kSites[] = {
    {{4.0, 4.0, 4.0}, 0.00, 1.0},  {{6.2, 4.3, 4.2}, 0.08, 2.5}, {{7.4, 6.2, 4.0}, -0.05, 0.6},
    {{6.1, 8.1, 4.4}, 0.10, 1.8},  {{3.9, 7.8, 4.1}, 0.03, 3.2}, {{2.9, 5.9, 4.3}, -0.02, 1.2},
};
const ring_hop kHops[] = {{0, 1, 0.06}, {1, 2, 0.03}, {2, 3, 0.10}, {3, 4, 0.05},
                          {4, 5, 0.02}, {5, 0, 0.08}, {1, 4, 0.12}};

RandomEngine& balance_engine() {
    static RandomEngine engine(7);
    return engine;
}

std::unique_ptr<KELMAR_GRAPH> ring_graph(double ions) {
    const long nv = std::size(kSites), nh = std::size(kHops);
    auto g = kelmar_graph_new(nv, 2 * nh);
    const double L = 12.0;
    for (int p = 0; p < 3; ++p) {
        g->a[p][p] = L;
        g->a_i[p][p] = 0.1;
        g->n[p] = 120;
    }
    g->volume = L * L * L;
    g->type[0] = 'L';
    g->type[1] = 'i';
    g->os = 1;
    g->m = 6.94;
    g->total_occ = ions;
    g->c = ions / g->volume;
    for (long i = 0; i < nv; ++i) {
        KELMAR_GRAPH_VERTEX& v = g->v[static_cast<std::size_t>(i)];
        const ring_site& s = kSites[i];
        std::snprintf(v.name, sizeof v.name, "Li%ld", i + 1);
        for (int p = 0; p < 3; ++p) {
            v.x[p] = s.x[p];
            v.eiv[p][p] = 1.0;
        }
        v.eig[0] = s.stiff;
        v.eig[1] = 1.7 * s.stiff;
        v.eig[2] = 3.0 * s.stiff;
        v.en = s.en;
        v.occ = ions / static_cast<double>(nv);
        v.site = i + 1;
    }
    for (long h = 0; h < nh; ++h) {
        const ring_hop& hop = kHops[h];
        const double top = std::max(kSites[hop.a].en, kSites[hop.b].en) + hop.rise;
        for (int side = 0; side < 2; ++side) {
            KELMAR_GRAPH_EDGE& e = g->e[static_cast<std::size_t>(2 * h + side)];
            e.v_i = &g->v[static_cast<std::size_t>(side == 0 ? hop.a : hop.b)];
            e.v_f = &g->v[static_cast<std::size_t>(side == 0 ? hop.b : hop.a)];
            double len = 0.0;
            for (int p = 0; p < 3; ++p) {
                e.x[p] = 0.5 * (e.v_i->x[p] + e.v_f->x[p]) + (p == 2 ? 0.3 : 0.0);  // off the line
                len += (e.v_f->x[p] - e.v_i->x[p]) * (e.v_f->x[p] - e.v_i->x[p]);
            }
            e.l = std::sqrt(len);
            double d = 0.0;
            for (int p = 0; p < 3; ++p) d += (e.x[p] - e.v_i->x[p]) * (e.x[p] - e.v_i->x[p]);
            for (int p = 0; p < 3; ++p) e.dir[p] = (e.x[p] - e.v_i->x[p]) / std::sqrt(d);
            e.en = top;
            e.barrier = top - e.v_i->en;
        }
    }
    kelmar_graph_link_edges(g.get());
    return g;
}

std::unique_ptr<KELMAR_PROPERTY> lithium() {
    auto ppt = kelmar_property_new(1);
    ppt->type[0] = {'L', 'i', '\0'};
    ppt->os[0] = 1;
    ppt->uni[0].m = 6.94;
    ppt->uni[0].q = 0.8;
    ppt->uni[0].rc = 1.0;
    ppt->sf = 0.75;
    ppt->conducting = 0;
    return ppt;
}

std::unique_ptr<KELMAR_KMC> ring_kmc(double ions, double cutoff) {
    auto g = ring_graph(ions);
    auto ppt = lithium();
    return kelmar_kmc_new(g, ppt.get(), cutoff, balance_engine());
}

// Energy of a configuration (bit i: site i occupied) from the record's site energies and pairs.
double configuration_energy(const KELMAR_KMC* kmc, unsigned config) {
    double E = 0.0;
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
        if (!(config >> i & 1U)) continue;
        const KELMAR_KMC_VERTEX& kv = kmc->kv[i];
        E += kv.en;
        for (std::size_t m = 0; m < kv.v_n.size(); ++m)
            if (static_cast<std::size_t>(kv.v_n[m]) > i && (config >> kv.v_n[m] & 1U)) E += kv.v_de[m];
    }
    return E;
}

int ion_count(unsigned config) { return __builtin_popcount(config); }

void occupy(KELMAR_KMC* kmc, unsigned config) {
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) kmc->kv[i].occupied = (config >> i & 1U) != 0;
}

// Exact time-averaged occupancy of every site with `ions` ions at temperature T.
std::vector<double> exact_occupancy(const KELMAR_KMC* kmc, int ions, double T) {
    const std::size_t nv = kmc->kv.size();
    std::vector<double> occ(nv, 0.0);
    double Z = 0.0, E0 = 1e300;
    for (unsigned c = 0; c < (1U << nv); ++c)
        if (ion_count(c) == ions) E0 = std::min(E0, configuration_energy(kmc, c));
    for (unsigned c = 0; c < (1U << nv); ++c) {
        if (ion_count(c) != ions) continue;
        const double w = std::exp(-(configuration_energy(kmc, c) - E0) / (kB * T));
        Z += w;
        for (std::size_t i = 0; i < nv; ++i)
            if (c >> i & 1U) occ[i] += w;
    }
    for (double& o : occ) o /= Z;
    return occ;
}

}  // namespace

// Every hop of every configuration of 1 to 5 ions, with the repulsion on: the rate is
// f exp(-(max(Es, Ei, Ef) - Ei)/kT), and a hop and its reverse have rates in the ratio
// exp(-(E_after - E_before)/kT), whether the saddle lies above both ends or not.
TEST(KmcBalance, HopAndReverseRatesSatisfyDetailedBalance) {
    auto kmc = ring_kmc(3.0, 5.0);
    ASSERT_NE(kmc, nullptr);
    const std::size_t nv = kmc->kv.size();
    long checked = 0, lifted = 0;
    for (double T : {300.0, 900.0}) {
        kmc->temperature = T;
        const double kT = kB * T;
        for (unsigned c = 0; c < (1U << nv); ++c) {
            if (ion_count(c) == 0 || ion_count(c) == static_cast<int>(nv)) continue;
            for (std::size_t k = 0; k < kmc->ke.size(); ++k) {
                const KELMAR_GRAPH_EDGE* e = kmc->ke[k].e;
                const unsigned from = 1U << e->v_i->index, to = 1U << e->v_f->index;
                if (!(c & from) || (c & to)) continue;
                occupy(kmc.get(), c);
                const double forward = kmc_rate_from_scratch(kmc.get(), static_cast<long>(k));
                // the energies of the moving ion at its start, its end and the saddle
                const double Ea = configuration_energy(kmc.get(), c);
                const unsigned after = (c & ~from) | to;
                const double Eb = configuration_energy(kmc.get(), after);
                double Es = kmc->ke[k].en;
                for (std::size_t m = 0; m < kmc->ke[k].v_n.size(); ++m)
                    if (c >> kmc->ke[k].v_n[m] & 1U) Es += kmc->ke[k].v_de[m];
                const double Ei = Ea - configuration_energy(kmc.get(), c & ~from);
                const double Ef = Eb - configuration_energy(kmc.get(), c & ~from);
                lifted += std::max(Ei, Ef) > Es;
                const double expect = kmc->ke[k].f * std::exp(-(std::max({Es, Ei, Ef}) - Ei) / kT);
                EXPECT_NEAR(forward, expect, 1e-12 * expect) << "edge " << k << " config " << c;
                EXPECT_LE(forward, kmc->ke[k].f * (1.0 + 1e-12));  // never faster than its attempts
                occupy(kmc.get(), after);
                const double backward = kmc_rate_from_scratch(kmc.get(), static_cast<long>(k ^ 1));
                ASSERT_GT(backward, 0.0);
                EXPECT_NEAR(forward / backward, std::exp(-(Eb - Ea) / kT), 1e-12 * forward / backward)
                    << "edge " << k << " config " << c << " T " << T;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 400);
    EXPECT_GT(lifted, 50);  // the case that needs the rule: an end above the saddle
    // both directions of a hop share the saddle and the attempt frequency
    for (std::size_t k = 0; k < kmc->ke.size(); k += 2) {
        EXPECT_EQ(kmc->ke[k].f, kmc->ke[k + 1].f);
        EXPECT_EQ(kmc->ke[k].en, kmc->ke[k + 1].en);
        EXPECT_EQ(kmc->ke[k].v_n, kmc->ke[k + 1].v_n);
    }
}

// The time-averaged occupancies of a run equal the exact canonical ones, with and without the
// repulsion and at two temperatures.
TEST(KmcBalance, OccupanciesReachTheExactEquilibrium) {
    struct run_case {
        double ions, cutoff, T;
    };
    const run_case cases[] = {{3.0, 5.0, 400.0}, {3.0, 5.0, 1000.0}, {2.0, 5.0, 600.0}, {3.0, 0.0, 500.0}};
    balance_engine().seed(31);
    for (const run_case& rc : cases) {
        auto kmc = ring_kmc(rc.ions, rc.cutoff);
        ASSERT_NE(kmc, nullptr);
        kmc->temperature = rc.T;
        kmc->step_limit = 300000;
        testing::internal::CaptureStdout();
        ASSERT_EQ(kelmar_kmc_init(kmc.get()), 0);
        kmc->t_total = 0.0;
        for (KELMAR_KMC_VERTEX& kv : kmc->kv) kv.t = 0.0;
        ASSERT_EQ(kelmar_kmc_calculate_conductivity(kmc.get()), 0);
        testing::internal::GetCapturedStdout();
        kmc_settle_times(kmc.get());
        const std::vector<double> exact = exact_occupancy(kmc.get(), static_cast<int>(rc.ions), rc.T);
        double worst = 0.0, spread = 0.0;
        for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
            const double seen = kmc->kv[i].t / kmc->t_total;
            worst = std::max(worst, std::fabs(seen - exact[i]));
            spread = std::max(spread, std::fabs(exact[i] - rc.ions / 6.0));
            EXPECT_NEAR(seen, exact[i], 0.01) << "site " << i << " ions " << rc.ions << " cutoff " << rc.cutoff
                                              << " T " << rc.T;
        }
        EXPECT_GT(spread, 0.05);  // the sites do differ, so the check has teeth
        std::printf("ring of 6 sites, %.0f ions, cutoff %.0f A, %.0f K: largest occupancy error %.4f\n", rc.ions,
                    rc.cutoff, rc.T, worst);
    }
}
