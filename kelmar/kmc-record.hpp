// The records of the kinetic Monte Carlo: the per-vertex and per-edge state, the flat lists and
// the bookkeeping that keep one hop cheap, and the run record that owns them. The engine that
// fills and advances them is kmc.hpp; its output (logs, listings, structures) is kmc-out.hpp.
#pragma once

#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "gh.hpp"
#include "kmc-tree.hpp"
#include "random.hpp"

struct KELMAR_CELL;
struct KELMAR_PROPERTY;

struct KELMAR_KMC_VERTEX {
    KELMAR_GRAPH_VERTEX* v = nullptr;  // the supergraph vertex (borrowed)
    int total_v = 0;                   // other vertices within the cutoff
    std::vector<long> v_n;
    std::vector<double> v_de;          // Coulomb energy between an ion here and one at v_n[k], eV
    int total_e = 0;                   // edges whose saddle lies within the cutoff
    std::vector<long> e_n;
    bool occupied = false;
    bool init = false;                 // an ion started here (after equilibration)
    long origin = -1;                  // identity of the ion here: the vertex it started from
    long y_i[3] = {};                  // supercell vectors crossed by the ion that started here
    double d[3] = {};                  // displacement of the ion that started here, A
    double t = 0.0;                    // time this vertex was occupied, ps
    double en = 0.0;                   // site energy, eV
    bool update = false;

    // bookkeeping
    double t_on = 0.0;                 // t_total when the present ion arrived
};

struct KELMAR_KMC_EDGE {
    KELMAR_GRAPH_EDGE* e = nullptr;    // the supergraph edge (borrowed)
    int total_v = 0;                   // vertices other than the two ends within the cutoff of the saddle
    std::vector<long> v_n;
    std::vector<double> v_de;
    double f = 0.0;                    // attempt frequency, THz: the geometric mean of the
                                       // harmonic frequencies of the hop and its reverse
    double r = 0.0;                    // rate, THz, as of the last listing (the engine keeps rates per pair)
    std::vector<double> r2;            // one slot per outgoing edge of the end vertex
    double en = 0.0;                   // saddle energy, eV (the same for the reverse hop)
    double l = 0.0;                    // hop length, A
    bool update = false;
};

// A vertex's lists in one flat array each: [first[i], first[i+1]).
struct kmc_flat_list {
    std::vector<int> first;
    std::vector<int> item;
    std::vector<double> value;
};

// A reverse pair of edges (2p, 2p+1) packed for the hot loop: its ends, its
// attempt frequency and saddle are shared by the hop and its reverse. At most one of the two is
// open (its start occupied, its end empty), and the pair's rate is that edge's.
struct kmc_pair {
    int v[2] = {};         // its ends: edge 2p runs v[0] -> v[1], edge 2p+1 back
    int first = 0;         // the edge 2p
    int open = -1;         // the edge the pair's rate belongs to, -1 when none is open
    double f = 0.0;        // attempt frequency, THz
    double de_end[2] = {}; // per direction: Coulomb energy between the two ends (0 beyond the cutoff)
};

// The ions' displacements recorded at equal times over the measured stretch (kmc-msd.hpp reads
// them).
struct kmc_msd {
    long ions = 0;               // ions followed
    std::vector<int> ion_at;     // per vertex: the ion that started there, -1 for none
    std::vector<double> frame;   // per snapshot: x, y, z of every ion's displacement, A
    long frames = 0;
    double spacing = 0.0;        // ps between snapshots
    double next = std::numeric_limits<double>::infinity();  // time of the next snapshot, ps
    // Snapshots kept at most; when full, every other one is dropped and the spacing doubles.
    static constexpr long kMaxFrames = 129;
    // Snapshots needed for the slope; a shorter record gives D from the end point.
    static constexpr long kMinFrames = 11;
    static constexpr int kGroups = 8;
};

struct kmc_file_closer {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using kmc_file = std::unique_ptr<std::FILE, kmc_file_closer>;

struct KELMAR_KMC {
    std::unique_ptr<KELMAR_GRAPH> graph;  // the supergraph, owned
    RandomEngine* random = nullptr;       // the run's engine (borrowed): placements and hops
    std::vector<KELMAR_KMC_VERTEX> kv;
    std::vector<KELMAR_KMC_EDGE> ke;
    long step = 0;
    double t = 0.0;
    double t_total = 0.0;
    long step_limit = 0;
    double t_limit = 0.0;
    double temperature = 0.0;
    double displacement[4] = {};
    double diffusivity[4] = {};
    double mobility[4] = {};
    double conductivity[4] = {};
    double diffusivity_error = -1.0;      // standard error of diffusivity[3]; < 0: not known
    long step_log = 0;
    char logname[1024] = {};
    char xyzname[1024] = {};
    kmc_file log;
    kmc_file xyz;
    bool progress = false;                // show the progress of the hops on standard error

    // bookkeeping
    std::vector<double> level;            // per vertex: en + v_de of every occupied v_n
    std::vector<unsigned char> filled;    // per vertex: occupied (bytes, for the cache)
    kmc_flat_list out;                    // per vertex: outgoing edges
    kmc_flat_list near;                   // per vertex: v_n with v_de
    kmc_flat_list screen;                 // per vertex: slots of the pairs (not its own) whose saddle it screens
    // The pairs sit in slots ordered along a space-filling curve through their saddles, so the
    // pairs one hop reaches lie close together in every per-slot array and in the rate tree. The
    // rates are drawn over the slots in this order.
    std::vector<kmc_pair> pairs;          // per slot
    std::vector<int> slot_of;             // per reverse pair p (edges 2p, 2p+1): its slot
    std::vector<unsigned char> live;      // per slot: 1 while an edge of the pair is open
    std::vector<std::array<int, 3>> crossing;  // per slot: supercell vectors edge 2p crosses (2p+1: the opposite)
    std::vector<double> saddle;           // per slot: saddle en + v_de of every occupied v_n
    kmc_flat_list incident;               // per vertex: slots of its own pairs
    std::vector<int> affect_first;        // per vertex: [affect_first[i], affect_first[i+1]) in affect
    std::vector<int> affect;              // slots of its pairs, of its v_n's pairs and of those it screens
    std::vector<long> hop_affect_first;   // per slot: [hop_affect_first[s], hop_affect_first[s+1]) in hop_affect
    std::vector<int> hop_affect;          // the union of the lists of its two ends
    int hopped = -1;                      // the slot of the hop whose rates are due, -1: none
    kmc_rate_tree tree;                   // the slot rates and their partial sums
    std::vector<int> touched;             // slots whose rate is due: the first `queued` (scratch, one entry a slot)
    std::size_t queued = 0;
    std::vector<unsigned> stamp;          // per slot: the pass that last queued it
    std::vector<double> due_exponent;     // per queued slot: the rate's exponent (scratch)
    std::vector<double> due_boltzmann;    // per queued slot: its exponential (scratch)
    std::vector<double> due_prefactor;    // per queued slot: the attempt frequency, 0 when no edge is open (scratch)
    unsigned pass = 0;
    std::vector<int> changed;             // vertices whose `update` is set
    double kT = 0.0;                      // eV, of the temperature the rates were made for
    long ions = 0;                        // ions placed
    double energy = 0.0;                  // eV: site energies of the ions plus their repulsion
    long equil_hops = 0;                  // hops the last equilibration made
    double hop_time = 0.0;                // ps: mean waiting time over its last block
    kmc_msd msd;                          // the ions' displacements over the measured stretch
};

// The rate the engine draws edge k with: its pair's rate while k is the pair's open edge, else 0.
inline double kmc_drawn_rate(const KELMAR_KMC* kmc, long k) {
    const int s = kmc->slot_of[static_cast<std::size_t>(k >> 1)];
    return kmc->pairs[static_cast<std::size_t>(s)].open == k ? kmc->tree.rate(s) : 0.0;
}
