// The records of the kinetic Monte Carlo: the per-vertex and per-edge state, the flat lists and
// the bookkeeping that keep one hop cheap, and the run record that owns them. The engine that
// fills and advances them is kmc.hpp; its output (logs, listings, structures) is kmc-out.hpp.
#pragma once

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
    double r = 0.0;                    // current rate, THz
    std::vector<double> r2;            // one slot per outgoing edge of the end vertex
    double en = 0.0;                   // saddle energy, eV (the same for the reverse hop)
    double l = 0.0;                    // hop length, A
    bool update = false;
};

// What one hop needs, packed for the hot loop. A hop and its reverse (edges 2p and 2p+1) share
// their saddle, its Coulomb level and their attempt frequency.
struct kmc_hop_state {
    int from = 0, to = 0;              // vertex indices
    double f = 0.0;                    // attempt frequency of the pair, THz
    double de_end = 0.0;               // Coulomb energy between the two ends (0 beyond the cutoff)
};
// A vertex's lists in one flat array each: [first[i], first[i+1]).
struct kmc_flat_list {
    std::vector<int> first;
    std::vector<int> item;
    std::vector<double> value;
};

// The two ends of a reverse pair of edges (those of its first edge) and its open edge, packed:
// the gather of the pairs due reads them for every candidate.
struct kmc_ends {
    int from = 0, to = 0;
    int open = -1;  // the edge the pair's rate belongs to, -1 when none is open
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
    std::vector<double> saddle;           // per reverse pair: saddle en + v_de of every occupied v_n
    std::vector<unsigned char> filled;    // per vertex: occupied (bytes, for the cache)
    std::vector<kmc_hop_state> hop;       // per edge
    kmc_flat_list out;                    // per vertex: outgoing edges
    kmc_flat_list near;                   // per vertex: v_n with v_de
    kmc_flat_list screen;                 // per vertex: reverse pairs (not its own) whose saddle it screens
    // The rates are kept per reverse pair: at most one edge of a pair is open (its start occupied,
    // its end empty), and the pair's rate is that edge's. The tree over pairs holds the sums the
    // tree over edges would (a closed edge adds an exact zero), so it draws the same hop.
    std::vector<kmc_ends> ends;           // per pair: the ends of its first edge, its open edge
    std::vector<int> affect_first;        // per vertex: [affect_first[i], affect_first[i+1]) in affect
    std::vector<int> affect;              // the pairs of its hops, of its v_n's hops and those it screens
    std::vector<long> hop_affect_first;   // per pair: [hop_affect_first[p], hop_affect_first[p+1]) in hop_affect
    std::vector<int> hop_affect;          // the union of the lists of its two ends
    int hopped = -1;                      // the pair of the hop whose rates are due, -1: none
    kmc_rate_tree tree;                   // the pair rates and their partial sums
    std::vector<int> touched;             // pairs whose rate is due: the first `queued` (scratch, one slot a pair)
    std::size_t queued = 0;
    std::vector<unsigned> stamp;          // per pair: the pass that last queued it
    unsigned pass = 0;
    std::vector<int> changed;             // vertices whose `update` is set
    double kT = 0.0;                      // eV, of the temperature the rates were made for
    long ions = 0;                        // ions placed
    double energy = 0.0;                  // eV: site energies of the ions plus their repulsion
    long equil_hops = 0;                  // hops the last equilibration made
    double hop_time = 0.0;                // ps: mean waiting time over its last block
    kmc_msd msd;                          // the ions' displacements over the measured stretch
};
