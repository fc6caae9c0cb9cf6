// Kinetic Monte Carlo of the mobile ions on a supercell copy of the site graph. Every directed
// edge hops at a rate f exp(-B/kT): f is the geometric mean of the harmonic attempt frequencies of
// its two ends along the hop, B = max(Es, Ei, Ef) - Ei with the energies of start, end and saddle
// after the screened Coulomb repulsion of the other ions within the cutoff, so that a hop and its
// reverse satisfy detailed balance. Hops are drawn by the residence-time algorithm; the clock
// advances by exponential waiting times; each ion's displacement is followed through the periodic
// supercell and turned into diffusivity, mobility and conductivity at the end.
//
// Measuring: the first placement weights each occupancy by the Boltzmann factor of the repulsion
// of the ions already placed, equilibration runs until the mean energy per ion settles, and D is
// the slope of the time-origin averaged mean squared displacement (kmc-msd.hpp), not <r^2>/(6t)
// from the end point, which keeps the rattling between close sites as a bias falling with 1/t.
//
// Bookkeeping that keeps one hop cheap: each vertex carries the Coulomb energy of the ions around
// it and each reverse pair of edges the energy of the ions around its saddle, both updated when an
// ion moves, so a rate costs O(1); a reverse pair has at most one open edge, so the rates are
// kept per pair, in a tree of partial sums, and a hop is drawn in O(log edges); vertex residence
// times are settled when a vertex empties, not at every hop.
#pragma once

#include <memory>

#include "kmc-record.hpp"

// Defaults of the run.
inline constexpr double KELMAR_KMC_CUTOFF = 5.0;          // A
inline constexpr double KELMAR_KMC_TEMPERATURE = 300.0;   // K
inline constexpr long KELMAR_KMC_STEP_LIMIT = 10000000;
inline constexpr long KELMAR_KMC_STEP_LOG = 10000;
inline constexpr double KELMAR_KMC_SPAN = 25.0;           // A: smallest default supercell edge
// Hard bound on the hops of a run limited by time only (a warning says so when it is reached).
inline constexpr long KELMAR_KMC_STEP_CAP = 2000000000L;

// The record draws from engine, which must outlive it.
std::unique_ptr<KELMAR_KMC> kelmar_kmc_new(std::unique_ptr<KELMAR_GRAPH>& graph, const KELMAR_PROPERTY* ppt,
                                           double cutoff, RandomEngine& engine);
void kelmar_kmc_free(std::unique_ptr<KELMAR_KMC>& kmc);
int kelmar_kmc_init(KELMAR_KMC* kmc);
int kelmar_kmc_reset(KELMAR_KMC* kmc);
int kelmar_kmc_update_rate(KELMAR_KMC* kmc);
int kelmar_kmc_equilibrate(KELMAR_KMC* kmc);
int kelmar_kmc_evolve(KELMAR_KMC* kmc);
int kelmar_kmc_run(KELMAR_KMC* kmc);
int kelmar_kmc_calculate_conductivity(KELMAR_KMC* kmc);
// A uniform number in [0, 1) from the record's engine.
double kelmar_kmc_random(KELMAR_KMC* kmc);
// The rate of edge k from the occupations alone, summing the Coulomb terms afresh (the reference
// the kept sums are checked against).
double kmc_rate_from_scratch(const KELMAR_KMC* kmc, long k);
