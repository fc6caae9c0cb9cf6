// Kinetic Monte Carlo engine: neighbourhoods and attempt frequencies, placement of the ions,
// rates, hops, the clock and the transport coefficients.
#include "kmc.hpp"

#include <algorithm>
#include <iterator>
#include <utility>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "property-derived.hpp"
#include "kmc-exp.hpp"
#include "kmc-msd.hpp"
#include "kmc-near.hpp"
#include "linalg.hpp"
#include "kmc-out.hpp"
#include "kmc-progress.hpp"

namespace {

constexpr double kBoltzmann = 8.6173324e-5;  // eV/K
constexpr double kInvBoltzmann = 11604.52;   // K/eV
constexpr double kCoulomb = 14.39964;        // eV A
constexpr double kCharge = 1.60217662;       // e, in 1e-19 C
constexpr double kAttempt = 15.6;            // THz from sqrt(eV/A^2/amu)
constexpr double kRateFloor = 1e-20;         // THz: below this nothing can hop
constexpr double kExponentFloor = -745.0;    // exp() of anything below is 0 or a denormal

// Marks one slot for recomputation in the current pass.
void queue_slot(KELMAR_KMC* kmc, int p) {
    auto& mark = kmc->stamp[static_cast<std::size_t>(p)];
    if (mark == kmc->pass) return;
    mark = kmc->pass;
    kmc->touched[kmc->queued++] = p;
}

// Adds sign x value[m] to sum[item[m]] for m in [first, last).
void add_terms(double* sum, const int* item, const double* value, int first, int last, double sign) {
    for (int m = first; m < last; ++m) sum[item[m]] += sign * value[m];
}

// Puts an ion on vertex j or takes it away, keeping the Coulomb levels of the vertices and saddles
// around it and the vertex's residence time.
void set_occupied(KELMAR_KMC* kmc, int j, bool on) {
    const std::size_t jj = static_cast<std::size_t>(j);
    if ((kmc->filled[jj] != 0) == on) return;
    KELMAR_KMC_VERTEX& kv = kmc->kv[jj];
    kv.occupied = on;
    kmc->filled[jj] = on ? 1 : 0;
    const double sign = on ? 1.0 : -1.0;
    add_terms(kmc->level.data(), kmc->near.item.data(), kmc->near.value.data(), kmc->near.first[jj],
              kmc->near.first[jj + 1], sign);
    add_terms(kmc->saddle.data(), kmc->screen.item.data(), kmc->screen.value.data(), kmc->screen.first[jj],
              kmc->screen.first[jj + 1], sign);
    if (on) kv.t_on = kmc->t_total;
    else kv.t += kmc->t_total - kv.t_on;
    if (!kv.update) {
        kv.update = true;
        kmc->changed.push_back(j);
    }
}

// The larger of two numbers, by value (a max instruction rather than a branch).
inline double higher(double a, double b) { return a > b ? a : b; }

// The exponent of the rate of a hop from the energies of its start, end and saddle (repulsion
// included). The hop climbs to the highest of the three: the repulsion of the other ions can lift
// an end above the saddle, and then the hop costs the climb to that end, or nothing when it starts
// from the highest. A hop and its reverse climb to the same level with the same attempt frequency,
// so rate(i->f) / rate(f->i) = exp(-(Ef - Ei)/kT) and the occupations relax to the Boltzmann
// weights of the site energies plus the repulsion.
double barrier_exponent(double Ei, double Ef, double Es, double kT) {
    const double top = std::max(Es, std::max(Ei, Ef));
    return -(top - Ei) / kT;
}

double barrier_rate(double f, double Ei, double Ef, double Es, double kT) {
    return f * std::exp(barrier_exponent(Ei, Ef, Es, kT));
}

// Which edge of the pair in slot s is open, from the occupations of its ends; 1 when one is.
unsigned char settle_open(KELMAR_KMC* kmc, std::size_t s) {
    kmc_pair& pr = kmc->pairs[s];
    const int a = kmc->filled[static_cast<std::size_t>(pr.v[0])], b = kmc->filled[static_cast<std::size_t>(pr.v[1])];
    pr.open = a != b ? pr.first + b : -1;  // 2p runs from -> to, 2p+1 back
    return static_cast<unsigned char>(a != b);
}

// New rates for the first n slots of the queue, whose open edges are settled, in three sweeps:
// the exponents, their exponentials in one vector batch, and the tree.
void refresh_slots(KELMAR_KMC* kmc, std::size_t n) {
    const double* level = kmc->level.data();
    const double* saddle = kmc->saddle.data();
    const int* queue = kmc->touched.data();
    const kmc_pair* pairs = kmc->pairs.data();
    unsigned char* live = kmc->live.data();
    double* x = kmc->due_exponent.data();
    double* f = kmc->due_prefactor.data();
    // the exponent of barrier_exponent() with a product for the quotient (within an ulp)
    const double inv_kT = 1.0 / kmc->kT;
    for (std::size_t m = 0; m < n; ++m) {
        const std::size_t s = static_cast<std::size_t>(queue[m]);
        const kmc_pair& pr = pairs[s];
        const bool open = pr.open >= 0;
        // b: the reverse edge is open. Its end is empty, so nothing is left out at the start; the
        // hopping ion is left out at the end.
        // (selected by index, not by branches: the direction is a coin toss to the predictor)
        const int b = pr.open & 1;
        const double Ei = level[pr.v[b]];
        const double e = (Ei - higher(saddle[s], higher(Ei, level[pr.v[b ^ 1]] - pr.de_end[b]))) * inv_kT;
        x[m] = open ? higher(e, kExponentFloor) : 0.0;
        f[m] = open ? pr.f : 0.0;
        live[s] = static_cast<unsigned char>(open);
    }
    double* y = kmc->due_boltzmann.data();
    kmc_exp_many(x, y, static_cast<long>(n));
    for (std::size_t m = 0; m < n; ++m) y[m] *= f[m];
    kmc->tree.stage_many(queue, y, static_cast<long>(n));
}

void next_pass(KELMAR_KMC* kmc) {
    if (++kmc->pass == 0) {  // wrapped: old marks could collide
        std::fill(kmc->stamp.begin(), kmc->stamp.end(), 0u);
        kmc->pass = 1;
    }
    kmc->queued = 0;
}

double row_norm(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Sum_p |dir . e_p| lambda_p over the start vertex's Hessian, floored at 0.001 eV/A^2.
double hop_force_constant(const KELMAR_GRAPH_EDGE* e) {
    double k = 0.0;
    for (int p = 0; p < 3; ++p) {
        const double* w = e->v_i->eiv[p];
        const double n = row_norm(w);
        if (!(n > 0.0)) continue;
        k += std::fabs((e->dir[0] * w[0] + e->dir[1] * w[1] + e->dir[2] * w[2]) / n) * e->v_i->eig[p];
    }
    return k > 0.001 ? k : 0.001;
}

// A hop drawn: the slot of its pair and which edge of the pair it is (1: the reverse one, from
// v[1] to v[0]).
struct drawn_hop {
    int slot = -1;
    int back = 0;
    int from(const KELMAR_KMC* kmc) const { return kmc->pairs[static_cast<std::size_t>(slot)].v[back]; }
    int to(const KELMAR_KMC* kmc) const { return kmc->pairs[static_cast<std::size_t>(slot)].v[back ^ 1]; }
};

// Chooses the hop from the rates (residence-time rule); slot -1 after the error line.
drawn_hop choose_hop(KELMAR_KMC* kmc) {
    const long s = kmc->tree.pick(kelmar_kmc_random(kmc) * kmc->tree.total());
    const int k = s < 0 ? -1 : kmc->pairs[static_cast<std::size_t>(s)].open;
    if (k < 0) {
        std::fprintf(stderr, "Error: transition failed.\n");
        return {};
    }
    return {static_cast<int>(s), k & 1};
}

void do_hop(KELMAR_KMC* kmc, drawn_hop h) {
    kmc->hopped = h.slot;
    // the ion leaves its level and takes that of the end, without its own repulsion
    const kmc_pair& pr = kmc->pairs[static_cast<std::size_t>(h.slot)];
    const int i = h.from(kmc), f = h.to(kmc);
    kmc->energy += kmc->level[static_cast<std::size_t>(f)] - pr.de_end[h.back] - kmc->level[static_cast<std::size_t>(i)];
    set_occupied(kmc, i, false);
    set_occupied(kmc, f, true);
}

// Ten bits of v spread to every third bit.
std::uint32_t spread_bits(std::uint32_t v) {
    v &= 0x3ffu;
    v = (v | (v << 16)) & 0x030000ffu;
    v = (v | (v << 8)) & 0x0300f00fu;
    v = (v | (v << 4)) & 0x030c30c3u;
    v = (v | (v << 2)) & 0x09249249u;
    return v;
}

// The slot of every reverse pair: the pairs ordered along a Z-order curve through the fractional
// positions of their saddles (1024 steps per axis), ties in pair order.
std::vector<int> pair_slots(const KELMAR_GRAPH* g) {
    const std::size_t np = static_cast<std::size_t>(g->total_e) / 2;
    std::vector<std::pair<std::uint32_t, int>> key(np);
    for (std::size_t p = 0; p < np; ++p) {
        double f[3];
        kmc_fractional(f, g->a, g->e[2 * p].x);
        std::uint32_t code = 0;
        for (int c = 0; c < 3; ++c) {
            const double w = f[c] - std::floor(f[c]);
            const double step = std::isfinite(w) ? std::clamp(std::floor(w * 1024.0), 0.0, 1023.0) : 0.0;
            code |= spread_bits(static_cast<std::uint32_t>(step)) << c;
        }
        key[p] = {code, static_cast<int>(p)};
    }
    std::sort(key.begin(), key.end());
    std::vector<int> slot(np);
    for (std::size_t s = 0; s < np; ++s) slot[static_cast<std::size_t>(key[s].second)] = static_cast<int>(s);
    return slot;
}

// One vertex's list of (index, value) pairs appended to a flat list.
void flat_push(kmc_flat_list* list, const std::vector<long>& items, const std::vector<double>* values) {
    for (std::size_t m = 0; m < items.size(); ++m) {
        list->item.push_back(static_cast<int>(items[m]));
        if (values != nullptr) list->value.push_back((*values)[m]);
    }
    list->first.push_back(static_cast<int>(list->item.size()));
}

}  // namespace

double kelmar_kmc_random(KELMAR_KMC* kmc) { return kelmar_random(*kmc->random); }

std::unique_ptr<KELMAR_KMC> kelmar_kmc_new(std::unique_ptr<KELMAR_GRAPH>& graph, const KELMAR_PROPERTY* ppt,
                                           double cutoff, RandomEngine& engine) {
    if (graph == nullptr || graph->total_v <= 0 || graph->total_e <= 0 || ppt == nullptr || ppt->conducting < 0 ||
        ppt->conducting >= ppt->total || !(graph->m > 0.0)) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH or KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    if (cutoff < 0.0) cutoff = KELMAR_KMC_CUTOFF;
    const KELMAR_PROPERTY_UNITARY& u = ppt->uni[static_cast<std::size_t>(ppt->conducting)];
    const double q2 = u.q * u.q, r_eff = 2.0 * u.rc * ppt->sf;
    const auto pair = [q2, r_eff](double r) { return kCoulomb * kelmar_energy_coulombic(r, q2, r_eff); };

    KELMAR_GRAPH* g = graph.get();
    if (g->total_v > std::numeric_limits<int>::max() / 2 || g->total_e > std::numeric_limits<int>::max() / 2) {
        std::fprintf(stderr, "Error: the supergraph of %ld vertices and %ld edges is too large.\n", g->total_v,
                     g->total_e);
        return nullptr;
    }
    // a hop and its reverse are the edges 2p and 2p+1: they share a saddle, its level and a rate prefactor
    for (long k = 0; k < g->total_e; ++k) {
        const KELMAR_GRAPH_EDGE& e = g->e[static_cast<std::size_t>(k)];
        const long r = k ^ 1L;
        if (r >= g->total_e || e.e_r != &g->e[static_cast<std::size_t>(r)] || e.v_i != e.e_r->v_f ||
            e.v_f != e.e_r->v_i) {
            std::fprintf(stderr, "Error: edge %ld of the supergraph is not paired with its reverse.\n", k);
            return nullptr;
        }
    }
    auto kmc = std::make_unique<KELMAR_KMC>();
    kmc->random = &engine;
    const std::size_t nv = static_cast<std::size_t>(g->total_v), ne = static_cast<std::size_t>(g->total_e);
    kmc->kv.resize(nv);
    kmc->ke.resize(ne);
    kmc->level.resize(nv);
    kmc->filled.resize(nv);
    const std::size_t np = ne / 2;
    kmc->pairs.resize(np);
    kmc->saddle.resize(np);
    kmc->live.assign(np, 0);
    kmc->crossing.assign(np, {0, 0, 0});
    kmc->slot_of = pair_slots(g);
    // vertices within the cutoff of each vertex, in vertex order
    std::vector<double> points(3 * nv);
    for (std::size_t i = 0; i < nv; ++i)
        for (int p = 0; p < 3; ++p) points[3 * i + static_cast<std::size_t>(p)] = g->v[i].x[p];
    const bool reach = cutoff > 0.0;
    const kmc_near_bins bins(g->a, points, reach ? cutoff : 1.0);
    std::vector<long> near;
    for (std::size_t i = 0; i < nv && reach; ++i) {
        KELMAR_KMC_VERTEX& kv = kmc->kv[i];
        near.clear();
        bins.candidates(g->v[i].x, &near);
        for (long j : near) {
            if (j == static_cast<long>(i)) continue;
            const double r = kelmar_dot_distance(g->v[i].x, g->v[static_cast<std::size_t>(j)].x, g->a);
            if (r < cutoff) {
                kv.v_n.push_back(j);
                kv.v_de.push_back(pair(r));
            }
        }
    }
    for (std::size_t i = 0; i < nv; ++i) {
        kmc->kv[i].v = &g->v[i];
        kmc->kv[i].en = g->v[i].en;
        kmc->kv[i].total_v = static_cast<int>(kmc->kv[i].v_n.size());
    }
    for (std::size_t k = 0; k < ne; ++k) {
        KELMAR_KMC_EDGE& ke = kmc->ke[k];
        KELMAR_GRAPH_EDGE* e = &g->e[k];
        const KELMAR_GRAPH_EDGE* back = &g->e[k ^ 1];
        ke.e = e;
        ke.en = 0.5 * (e->en + back->en);  // equal up to the rounding of the grid
        ke.l = e->l;
        ke.r2.assign(static_cast<std::size_t>(e->v_f->total_e), 0.0);
        // the harmonic frequency of the start along the hop, made symmetric between the two directions
        const double f_fore = kAttempt * std::sqrt(hop_force_constant(e) / g->m);
        const double f_back = kAttempt * std::sqrt(hop_force_constant(back) / g->m);
        ke.f = std::sqrt(f_fore * f_back);
        // a hop and its reverse multiply the same two frequencies, so f is the same for both
        kmc_pair& pr = kmc->pairs[static_cast<std::size_t>(kmc->slot_of[k / 2])];
        if (k % 2 == 0) {
            pr.v[0] = static_cast<int>(e->v_i->index);
            pr.v[1] = static_cast<int>(e->v_f->index);
            pr.first = static_cast<int>(k);
            pr.f = ke.f;
            for (int q = 0; q < 3; ++q) kmc->crossing[static_cast<std::size_t>(kmc->slot_of[k / 2])][static_cast<std::size_t>(q)] = e->bound[q];
        }
        const KELMAR_KMC_VERTEX& vf = kmc->kv[static_cast<std::size_t>(e->v_f->index)];
        for (std::size_t m = 0; m < vf.v_n.size(); ++m)
            if (vf.v_n[m] == e->v_i->index) pr.de_end[k % 2] = vf.v_de[m];
    }
    std::vector<std::vector<std::pair<long, double>>> screens(nv);  // per vertex: (slot, v_de)
    // vertices near each saddle, measured from the first edge of its pair (pair order outside, so
    // each vertex lists its saddles in edge order); both edges of a pair get the same list
    for (std::size_t k = 0; k < ne && reach; k += 2) {
        const KELMAR_GRAPH_EDGE& e = g->e[k];
        near.clear();
        bins.candidates(e.x, &near);
        for (long j : near) {
            const double r = kelmar_dot_distance(g->v[static_cast<std::size_t>(j)].x, e.x, g->a);
            if (!(r < cutoff)) continue;
            const double de = pair(r);
            KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(j)];
            kv.e_n.push_back(static_cast<long>(k));
            kv.e_n.push_back(static_cast<long>(k + 1));
            if (e.v_i->index != j && e.v_f->index != j) {
                for (std::size_t q = k; q < k + 2; ++q) {
                    kmc->ke[q].v_n.push_back(j);
                    kmc->ke[q].v_de.push_back(de);
                }
                screens[static_cast<std::size_t>(j)].emplace_back(kmc->slot_of[k / 2], de);
            }
        }
    }
    for (KELMAR_KMC_VERTEX& kv : kmc->kv) kv.total_e = static_cast<int>(kv.e_n.size());
    for (KELMAR_KMC_EDGE& ke : kmc->ke) ke.total_v = static_cast<int>(ke.v_n.size());
    kmc->tree.assign(static_cast<long>(np));
    kmc->stamp.assign(np, 0u);
    kmc->touched.assign(np + 1, 0);  // the branch-free queue writes one past its last slot
    kmc->due_exponent.assign(np, 0.0);
    kmc->due_prefactor.assign(np, 0.0);
    kmc->due_boltzmann.assign(np, 0.0);
    for (kmc_flat_list* list : {&kmc->out, &kmc->near, &kmc->screen, &kmc->incident}) list->first.assign(1, 0);
    std::vector<long> items;
    std::vector<double> values;
    for (std::size_t i = 0; i < nv; ++i) {
        items.clear();
        for (const KELMAR_GRAPH_EDGE* e : g->v[i].e) items.push_back(e->index);
        flat_push(&kmc->out, items, nullptr);
        for (long& k : items) k = kmc->slot_of[static_cast<std::size_t>(k / 2)];
        flat_push(&kmc->incident, items, nullptr);
        flat_push(&kmc->near, kmc->kv[i].v_n, &kmc->kv[i].v_de);
        // in slot order: a change of occupation then walks the saddle levels forwards
        std::sort(screens[i].begin(), screens[i].end());
        items.clear();
        values.clear();
        for (const auto& [slot, de] : screens[i]) {
            items.push_back(slot);
            values.push_back(de);
        }
        flat_push(&kmc->screen, items, &values);
    }
    // every slot a change of occupation at i can reach, each once, in slot order
    kmc->affect_first.assign(1, 0);
    std::vector<int> reach_list;
    for (std::size_t i = 0; i < nv; ++i) {
        reach_list.clear();
        const auto add_slots_of = [&](std::size_t v) {
            for (int m = kmc->incident.first[v]; m < kmc->incident.first[v + 1]; ++m)
                reach_list.push_back(kmc->incident.item[static_cast<std::size_t>(m)]);
        };
        add_slots_of(i);
        for (int m = kmc->near.first[i]; m < kmc->near.first[i + 1]; ++m)
            add_slots_of(static_cast<std::size_t>(kmc->near.item[static_cast<std::size_t>(m)]));
        for (int m = kmc->screen.first[i]; m < kmc->screen.first[i + 1]; ++m)
            reach_list.push_back(kmc->screen.item[static_cast<std::size_t>(m)]);
        std::sort(reach_list.begin(), reach_list.end());
        reach_list.erase(std::unique(reach_list.begin(), reach_list.end()), reach_list.end());
        for (int p : reach_list) kmc->affect.push_back(p);
        kmc->affect_first.push_back(static_cast<int>(kmc->affect.size()));
    }
    // what one hop reaches: the union of its two ends' lists, each slot once (no stamps per hop)
    kmc->hop_affect_first.assign(1, 0);
    for (std::size_t p = 0; p < np; ++p) {
        const auto list = [&](int v) {
            const std::size_t vv = static_cast<std::size_t>(v);
            return std::make_pair(kmc->affect.begin() + kmc->affect_first[vv],
                                  kmc->affect.begin() + kmc->affect_first[vv + 1]);
        };
        const auto a = list(kmc->pairs[p].v[0]), b = list(kmc->pairs[p].v[1]);
        std::set_union(a.first, a.second, b.first, b.second, std::back_inserter(kmc->hop_affect));
        kmc->hop_affect_first.push_back(static_cast<long>(kmc->hop_affect.size()));
    }
    kmc->graph = std::move(graph);
    return kmc;
}

void kelmar_kmc_free(std::unique_ptr<KELMAR_KMC>& kmc) { kmc.reset(); }

double kmc_rate_from_scratch(const KELMAR_KMC* kmc, long k) {
    const KELMAR_KMC_EDGE& ke = kmc->ke[static_cast<std::size_t>(k)];
    const long i = ke.e->v_i->index, f = ke.e->v_f->index;
    const KELMAR_KMC_VERTEX& vi = kmc->kv[static_cast<std::size_t>(i)];
    const KELMAR_KMC_VERTEX& vf = kmc->kv[static_cast<std::size_t>(f)];
    if (!vi.occupied || vf.occupied) return 0.0;
    const auto occupied = [kmc](long j) { return kmc->kv[static_cast<std::size_t>(j)].occupied; };
    double Ei = vi.en, Ef = vf.en, Es = ke.en;
    for (std::size_t m = 0; m < vi.v_n.size(); ++m)
        if (vi.v_n[m] != f && occupied(vi.v_n[m])) Ei += vi.v_de[m];
    for (std::size_t m = 0; m < vf.v_n.size(); ++m)
        if (vf.v_n[m] != i && occupied(vf.v_n[m])) Ef += vf.v_de[m];
    for (std::size_t m = 0; m < ke.v_n.size(); ++m)
        if (occupied(ke.v_n[m])) Es += ke.v_de[m];
    return barrier_rate(ke.f, Ei, Ef, Es, kBoltzmann * kmc->temperature);
}

int kelmar_kmc_update_rate(KELMAR_KMC* kmc) {
    if (kmc == nullptr || !(kmc->temperature > 0.0)) {
        std::fprintf(stderr, "Error: wrong inputs for generating rates.\n");
        return 1;
    }
    const double kT = kBoltzmann * kmc->temperature;
    next_pass(kmc);
    if (kT != kmc->kT) {  // a new temperature: every rate is due
        kmc->kT = kT;
        for (int s = 0; s < static_cast<int>(kmc->pairs.size()); ++s) queue_slot(kmc, s);
    }
    // A pair whose ends keep their occupation needs a new rate only when one of its edges is open
    // or was: a closed pair stays at rate 0 whatever the energies around it do. The slots are
    // queued without branches (occupations look random to the predictor): every candidate is
    // written, and the count moves past it when it is due and not yet queued in this pass.
    const unsigned char* filled = kmc->filled.data();
    const kmc_pair* pairs = kmc->pairs.data();
    unsigned char* live = kmc->live.data();
    unsigned* stamp = kmc->stamp.data();
    const unsigned pass = kmc->pass;
    int* queue = kmc->touched.data();
    std::size_t n = kmc->queued;
    const int hop = kmc->hopped;
    kmc->hopped = -1;
    const bool one_hop = hop >= 0 && kmc->changed.size() == 2 && n == 0;
    if (one_hop) {
        // One hop: only the pairs of its two vertices open or close, so settling those makes
        // `live` say "open now or before" for every slot; the hop's precomputed list holds each
        // slot once, in ascending order.
        for (int j : kmc->changed) {
            const std::size_t jj = static_cast<std::size_t>(j);
            for (int m = kmc->incident.first[jj]; m < kmc->incident.first[jj + 1]; ++m) {
                const std::size_t ss = static_cast<std::size_t>(kmc->incident.item[static_cast<std::size_t>(m)]);
                live[ss] |= settle_open(kmc, ss);
            }
            kmc->kv[jj].update = false;
        }
        kmc->changed.clear();
        const std::size_t hh = static_cast<std::size_t>(hop);
        const int* t = kmc->hop_affect.data() + kmc->hop_affect_first[hh];
        const int* end = kmc->hop_affect.data() + kmc->hop_affect_first[hh + 1];
        for (; t != end; ++t) {
            queue[n] = *t;
            n += live[static_cast<std::size_t>(*t)];
        }
    }
    for (int j : kmc->changed) {
        const std::size_t jj = static_cast<std::size_t>(j);
        const int* t = kmc->affect.data() + kmc->affect_first[jj];
        const int* end = kmc->affect.data() + kmc->affect_first[jj + 1];
        for (; t != end; ++t) {
            const std::size_t ss = static_cast<std::size_t>(*t);
            const kmc_pair& e = pairs[ss];
            // the occupations do not change here, so a slot not due now is not due for any vertex
            const unsigned fresh = stamp[ss] != pass;
            stamp[ss] = pass;
            queue[n] = *t;
            n += static_cast<std::size_t>(((filled[e.v[0]] ^ filled[e.v[1]]) | live[ss]) & fresh);
        }
        kmc->kv[jj].update = false;
    }
    if (!one_hop) {
        // placements and new temperatures: the queue in ascending order (the tree's fast order)
        std::sort(queue, queue + n);
        for (std::size_t m = 0; m < n; ++m) settle_open(kmc, static_cast<std::size_t>(queue[m]));
    }
    kmc->queued = n;
    kmc->changed.clear();
    refresh_slots(kmc, n);
    kmc->tree.flush();
    return 0;
}

int kelmar_kmc_reset(KELMAR_KMC* kmc) {
    kmc_settle_times(kmc);
    kmc->step = 0;
    kmc->t = 0.0;
    for (KELMAR_KMC_VERTEX& kv : kmc->kv) {
        kv.occupied = kv.init = kv.update = false;
        kv.origin = -1;
        for (int p = 0; p < 3; ++p) {
            kv.y_i[p] = 0;
            kv.d[p] = 0.0;
        }
    }
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
        kmc->level[i] = kmc->kv[i].en;
        kmc->filled[i] = 0;
    }
    for (std::size_t p = 0; p < kmc->saddle.size(); ++p) kmc->saddle[p] = kmc->ke[static_cast<std::size_t>(kmc->pairs[p].first)].en;
    kmc->changed.clear();
    kmc->ions = 0;

    const long nv = static_cast<long>(kmc->kv.size());
    double N = kmc->graph->total_occ, W = 0.0;
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv)
        if (kv.v->occ > 0.0) W += kv.v->occ;
    const auto place = [kmc](long i) {
        set_occupied(kmc, static_cast<int>(i), true);
        KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
        kv.init = true;
        kv.origin = i;
        ++kmc->ions;
    };
    // At random, in proportion to the occupancies, each weighted by the Boltzmann factor of the
    // repulsion of the ions already placed: occupancies alone put ions on split sites a fraction
    // of an angstrom apart, tens of eV above any real arrangement, and from there a hop into a
    // site far above the others costs nothing while the way back costs eV, so the first hops
    // would lock ions into traps an equilibrated run never visits. Without repulsion the weights
    // are the occupancies.
    const bool repel = !kmc->near.item.empty();
    const double kT_place = kBoltzmann * (kmc->temperature > 0.0 ? kmc->temperature : KELMAR_KMC_TEMPERATURE);
    // per vertex: its draw weight, 0 once occupied; a placement changes only those of its v_n
    std::vector<double> weight(static_cast<std::size_t>(nv), 0.0);
    const auto weigh = [kmc, kT_place, &weight](long i) {
        const KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
        weight[static_cast<std::size_t>(i)] =
            kv.occupied || !(kv.v->occ > 0.0)
                ? 0.0
                : kv.v->occ * std::exp(-(kmc->level[static_cast<std::size_t>(i)] - kv.en) / kT_place);
    };
    if (repel) {
        W = 0.0;
        for (long i = 0; i < nv; ++i) {
            weigh(i);
            W += weight[static_cast<std::size_t>(i)];
        }
    }
    while (N >= 1.0 && W > 1e-6) {
        const double u = kelmar_kmc_random(kmc) * W;
        double sum = 0.0;
        long hit = -1, last = -1;
        for (long i = 0; i < nv && hit < 0; ++i) {
            const KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
            if (kv.occupied || !(kv.v->occ > 0.0)) continue;
            last = i;
            sum += repel ? weight[static_cast<std::size_t>(i)] : kv.v->occ;
            if (sum >= u) hit = i;
        }
        // the running sum can fall short of W by rounding: the last candidate is then the one
        if (hit < 0) hit = last;
        if (hit < 0) {
            std::fprintf(stderr, "Error: unable to assign occ.\n");
            return 1;
        }
        place(hit);
        N -= 1.0;
        if (repel) {
            const std::size_t hh = static_cast<std::size_t>(hit);
            weigh(hit);
            for (int m = kmc->near.first[hh]; m < kmc->near.first[hh + 1]; ++m)
                weigh(kmc->near.item[static_cast<std::size_t>(m)]);
            W = 0.0;
            for (double w : weight) W += w;
        } else {
            W -= kmc->kv[static_cast<std::size_t>(hit)].v->occ;
        }
    }
    // what is left of the ions goes to the empty vertices of lowest energy
    while (N >= 0.999999) {
        long best = -1;
        double best_en = 0.0;
        for (long i = 0; i < nv; ++i) {
            const KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
            if (kv.occupied) continue;
            const double en = kmc->level[static_cast<std::size_t>(i)];
            if (best < 0 || en < best_en) {
                best = i;
                best_en = en;
            }
        }
        if (best < 0) {
            std::fprintf(stderr, "Error: index_min = %ld out of bound.\n", best);
            return 1;
        }
        place(best);
        N -= 1.0;
    }
    kmc->energy = 0.0;
    for (std::size_t i = 0; i < kmc->kv.size(); ++i)
        if (kmc->filled[i] != 0) kmc->energy += 0.5 * (kmc->kv[i].en + kmc->level[i]);
    // every rate afresh
    kmc->changed.clear();
    for (KELMAR_KMC_VERTEX& kv : kmc->kv) kv.update = false;
    kmc->kT = 0.0;
    if (kelmar_kmc_update_rate(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_update_rate() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_kmc_init(KELMAR_KMC* kmc) {
    if (kmc == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_KMC has not been properly initialized.\n");
        return 1;
    }
    kmc->t_total = 0.0;
    if (!(kmc->temperature > 0.0)) kmc->temperature = KELMAR_KMC_TEMPERATURE;
    if (kmc->t_limit == 0.0 && kmc->step_limit == 0) {
        kmc->t_limit = 0.0;
        kmc->step_limit = KELMAR_KMC_STEP_LIMIT;
    }
    if (!(kmc->t_limit >= 0.0)) kmc->t_limit = 0.0;
    if (kmc->step_limit < 0) kmc->step_limit = KELMAR_KMC_STEP_LIMIT;
    for (KELMAR_KMC_VERTEX& kv : kmc->kv) {
        kv.t = 0.0;
        kv.t_on = 0.0;
    }
    if (kmc->step_log <= 0 || kmc->step_log > kmc->step_limit) kmc->step_log = KELMAR_KMC_STEP_LOG;
    const struct {
        const char* name;
        kmc_file* file;
    } logs[] = {{kmc->logname, &kmc->log}, {kmc->xyzname, &kmc->xyz}};
    for (const auto& lg : logs) {
        if (lg.name[0] == '\0') continue;
        lg.file->reset(std::fopen(lg.name, "wb"));
        if (*lg.file == nullptr) {
            std::fprintf(stderr, "Error: unable to create log file %s.\n", lg.name);
            return 1;
        }
    }
    if (kelmar_kmc_reset(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_reset() returns non-zero.\n");
        return 1;
    }
    return 0;
}

// The ions start from a random placement whose repulsion can lie electron-volts above what the
// run settles to, and in a structure where most hops rattle between close split sites a fixed
// count of hops may move few ions between cages. So equilibration runs in blocks of the documented
// count, max(step_limit/100, 10000) hops, until the mean energy per ion of a block differs from
// that of the block before (the first block: from the placement) by less than kT/sqrt(ions), or
// 1 meV when that is larger. It stops with a warning after max(10 blocks, step_limit) hops.
int kelmar_kmc_equilibrate(KELMAR_KMC* kmc) {
    const long block = std::max(kmc->step_limit / 100, 10000L);
    const long cap = std::max(10 * block, kmc->step_limit);
    const double ions = static_cast<double>(std::max(kmc->ions, 1L));
    const double tol = std::max(1e-3, kBoltzmann * kmc->temperature / std::sqrt(ions));
    kmc_progress bar(kmc->progress, "equilibration ");
    double before = kmc->energy / ions, mean = before, wait = 0.0;
    long h = 0;
    bool settled = false;
    while (h < cap && !settled) {
        double sum = 0.0;
        wait = 0.0;
        for (long b = 0; b < block && h < cap; ++b, ++h) {
            bar.note(static_cast<double>(h) / static_cast<double>(cap));
            const double Q = kmc->tree.total();
            if (!(Q >= kRateFloor)) {
                bar.break_line();
                std::fprintf(stderr, "Error: overall rate is too small: %.3e (step %ld)\n", Q, h);
                return 1;
            }
            wait += 1.0 / Q;
            const drawn_hop hop = choose_hop(kmc);
            if (hop.slot < 0) return 1;
            do_hop(kmc, hop);
            if (kelmar_kmc_update_rate(kmc) != 0) {
                bar.break_line();
                std::fprintf(stderr, "Error: kelmar_kmc_update_rate() returns non-zero.\n");
                return 1;
            }
            sum += kmc->energy;
        }
        const long made = h % block == 0 ? block : h % block;
        wait /= static_cast<double>(made);
        before = mean;
        mean = sum / static_cast<double>(made) / ions;
        settled = std::fabs(mean - before) < tol;
    }
    bar.finish();
    kmc->equil_hops = h;
    kmc->hop_time = wait;
    if (settled)
        std::printf("Message: equilibration: %ld hops, until the mean energy per ion of a block of %ld hops changed by "
                    "less than %.4f eV (%.4f eV).\n",
                    h, block, tol, mean);
    else
        std::printf("Warning: the ion arrangement still relaxes after %ld equilibration hops (mean energy per ion "
                    "%.4f eV, %.4f eV in the block before); measuring from here.\n",
                    h, mean, before);
    // the ions are known by where they stand now
    for (long i = 0; i < static_cast<long>(kmc->kv.size()); ++i) {
        KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
        kv.init = kv.occupied;
        kv.origin = kv.occupied ? i : -1;
        for (int p = 0; p < 3; ++p) {
            kv.y_i[p] = 0;
            kv.d[p] = 0.0;
        }
    }
    return 0;
}

int kelmar_kmc_evolve(KELMAR_KMC* kmc) {
    const double Q = kmc->tree.total();
    if (!(Q >= kRateFloor)) {
        std::fprintf(stderr, "Error: overall rate is too small.\n");
        return 1;
    }
    const drawn_hop hop = choose_hop(kmc);
    if (hop.slot < 0) return 1;
    const int i = hop.from(kmc), f = hop.to(kmc);
    KELMAR_KMC_VERTEX& vi = kmc->kv[static_cast<std::size_t>(i)];
    KELMAR_KMC_VERTEX& vf = kmc->kv[static_cast<std::size_t>(f)];
    double u2 = kelmar_kmc_random(kmc);
    for (int tries = 0; !(u2 >= 0.00001 && u2 <= 0.99999); ++tries) {
        if (tries == 1000000) {
            std::fprintf(stderr, "Error: the random generator gives no number inside (0, 1).\n");
            return 1;
        }
        u2 = kelmar_kmc_random(kmc);
    }
    // the waiting time belongs to the occupation it was drawn for (total rate Q), the one before
    // the hop: credited after it, the time-averaged occupancies would lean towards the states
    // that follow slow ones (in a small cell by tenths)
    const double dt = -std::log(u2) / Q;
    if (kmc->t + dt > kmc->msd.next) kmc_msd_take(kmc, kmc->t + dt);
    kmc->t += dt;
    kmc->t_total += dt;  // occupied vertices collect it when they empty (kmc_settle_times)
    do_hop(kmc, hop);
    vf.origin = vi.origin;
    vi.origin = -1;
    if (vf.origin >= 0) {
        // the reverse edge crosses the supercell the other way
        KELMAR_KMC_VERTEX& home = kmc->kv[static_cast<std::size_t>(vf.origin)];
        const int* cross = kmc->crossing[static_cast<std::size_t>(hop.slot)].data();
        for (int p = 0; p < 3; ++p) home.y_i[p] += hop.back != 0 ? -cross[p] : cross[p];
    }
    ++kmc->step;
    if (kelmar_kmc_update_rate(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_update_rate() returns non-zero.\n");
        return 1;
    }
    if (kelmar_kmc_log(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_log() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_kmc_run(KELMAR_KMC* kmc) {
    if (kmc->t_limit <= 0.0 && kmc->step_limit <= 0) {
        std::fprintf(stderr, "Error: t_limit and step_limit cannot both be zero.\n");
        return 1;
    }
    if (kelmar_kmc_equilibrate(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_equilibrate() returns non-zero.\n");
        return 1;
    }
    if (kelmar_kmc_log(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_log() returns non-zero.\n");
        return 1;
    }
    // snapshots of the ions about every 1/128 of the expected run (thinned if it runs longer)
    double expected = kmc->t_limit > 0.0 ? kmc->t_limit : std::numeric_limits<double>::infinity();
    if (kmc->step_limit > 0) expected = std::min(expected, static_cast<double>(kmc->step_limit) * kmc->hop_time);
    kmc_msd_start(kmc, expected / static_cast<double>(kmc_msd::kMaxFrames - 1));
    const long cap = kmc->step_limit > 0 ? kmc->step_limit : KELMAR_KMC_STEP_CAP;
    const bool timed = kmc->t_limit > 0.0;
    kmc_progress bar(kmc->progress, "");
    while (kmc->step < cap && (!timed || kmc->t < kmc->t_limit)) {
        if (kelmar_kmc_evolve(kmc) != 0) {
            bar.break_line();
            std::fprintf(stderr, "Error: kelmar_kmc_evolve() returns non-zero.\n");
            return 1;
        }
        bar.note(std::max(timed ? kmc->t / kmc->t_limit : 0.0,
                          kmc->step_limit > 0 ? static_cast<double>(kmc->step) / static_cast<double>(cap) : 0.0));
    }
    bar.finish();
    if (kmc->step_limit <= 0 && kmc->t < kmc->t_limit)
        std::printf("Warning: stopped after %ld hops at t = %.3e ps, before t_limit = %.3e ps.\n", kmc->step, kmc->t,
                    kmc->t_limit);
    return 0;
}

int kelmar_kmc_calculate_conductivity(KELMAR_KMC* kmc) {
    if (kmc == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_KMC has not been properly initialized.\n");
        return 1;
    }
    const KELMAR_GRAPH* g = kmc->graph.get();
    std::printf("KMC: temperature = %.2lf K.\n", kmc->temperature);
    std::printf("KMC: t_limit = %.1e ps; step_limit = %ld.\n", kmc->t_limit, kmc->step_limit);
    std::printf("KMC: c = %.1e A^-3; os = %d.\n", g->c, g->os);
    std::printf("KMC: start calculating conductivity...\n");
    std::fflush(stdout);
    if (kelmar_kmc_reset(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_reset() returns non-zero.\n");
        return 1;
    }
    if (kelmar_kmc_run(kmc) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_run() returns non-zero.\n");
        return 1;
    }
    if (!(kmc->t > 0.0) || kmc->ions <= 0) {
        std::fprintf(stderr, "Error: no time was simulated; the transport coefficients are undefined.\n");
        return 1;
    }
    double M[4] = {};
    for (long i = 0; i < static_cast<long>(kmc->kv.size()); ++i) {
        KELMAR_KMC_VERTEX& kv = kmc->kv[static_cast<std::size_t>(i)];
        if (!kv.occupied || kv.origin < 0) continue;
        double* d = kmc->kv[static_cast<std::size_t>(kv.origin)].d;
        kmc_ion_displacement(kmc, i, d);
        for (int p = 0; p < 3; ++p) M[p] += d[p] * d[p];
        M[3] += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    }
    // per ion that moved: the ions placed, which is total_occ whenever that is a whole number
    const double N = static_cast<double>(kmc->ions);
    for (double& m : M) m /= N;
    const kmc_msd_fit fit = kmc_msd_diffusivity(kmc, kmc->t, M);
    if (fit.slope && fit.error >= 0.0)
        std::printf("Message: diffusivity from the slope of the mean squared displacement of %ld ions over lags of "
                    "%.3e to %.3e ps (%ld snapshots, every time origin): %.2e +- %.2e E-8 m^2/s (standard error "
                    "over %d groups of ions).\n",
                    kmc->msd.ions, fit.lag_lo, fit.lag_hi, fit.frames, fit.D[3], fit.error, fit.groups);
    else if (fit.slope)
        std::printf("Message: diffusivity from the slope of the mean squared displacement of %ld ions over lags of "
                    "%.3e to %.3e ps (%ld snapshots, every time origin); too few ions for an error.\n",
                    kmc->msd.ions, fit.lag_lo, fit.lag_hi, fit.frames);
    else
        std::printf("Warning: the run is too short for the slope of the mean squared displacement (%ld snapshots); "
                    "the diffusivity is <r^2>/(6t) from the end point.\n",
                    fit.frames);
    for (int p = 0; p < 4; ++p) {
        const double D = fit.D[p];
        const double mu = D * (g->os / kmc->temperature) * kInvBoltzmann;
        kmc->diffusivity[p] += D;
        kmc->mobility[p] += mu;
        kmc->conductivity[p] += mu * g->c * g->os * kCharge * 10.0;
        kmc->displacement[p] += std::sqrt(M[p]);
    }
    kmc->diffusivity_error = fit.error;
    kelmar_kmc_print_result(kmc);
    return 0;
}
