// The landscape engines on a grid: the bond-valence landscape (the reference loop and the binned,
// threaded production path) and the probe models (GII and total energy), all of them evaluating
// the symmetry-distinct points only and spreading them by the grid-symmetry facility.
#pragma once

#include <memory>

#include "cube.hpp"

struct KELMAR_PROPERTY;

// The cell plus a probe ion of the mobile species as atom 0; copies of ignored atoms have their
// occupancy scaled by (c-1)/c so the number of mobile ions stays c. The last argument is unused.
std::unique_ptr<KELMAR_CELL> kelmar_cube_cell_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                  const char* type, int os, long ignored_count);

// Bond-valence site energy of the mobile ion (eV, capped at 999.9) at Cartesian position r, from
// every atom not marked ignored and every lattice translation h with |h_k| <= m_k. This is the
// reference form, summing over all atoms and translations.
double kelmar_cube_point_value_plain(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const double r[3],
                                     const long m[3]);

// Bond-valence landscape, production path: periodic images binned over blocks of the grid,
// symmetry-distinct points only, all hardware threads. Null on failure.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                   const KELMAR_PROPERTY* ppt, double resolution,
                                                   bool ignore_conducting);
// Work done by one landscape calculation (for the benchmark).
struct KELMAR_CUBE_STATS {
    long points = 0;              // grid points
    long representatives = 0;     // symmetry-distinct points evaluated
    long images = 0;              // periodic images that can reach the cell
    long long pair_terms = 0;     // pair terms that entered the sums
    double terms_cpu_seconds = 0; // CPU time of all threads in the pair-term loops (binning included)
};

// The same landscape with an explicit thread count (0 = the hardware's), for tests and timing;
// stats, when given, receives the work counts.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_threads(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                           const KELMAR_PROPERTY* ppt, double resolution,
                                                           bool ignore_conducting, int threads,
                                                           KELMAR_CUBE_STATS* stats = nullptr);
// The reference path: the point-by-point loop over the grid with symmetry spreading, every point
// evaluated by kelmar_cube_point_value_plain.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_plain(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                         const KELMAR_PROPERTY* ppt, double resolution,
                                                         bool ignore_conducting);

// Global-instability-index landscape (dimensionless), one full bond-valence evaluation of the cell
// with the probe ion per symmetry-distinct point; the other points are copies.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_gii_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                          const KELMAR_PROPERTY* ppt, double resolution,
                                                          bool ignore_conducting);

// Total-energy landscape (eV) of the structure with the probe added, per symmetry-distinct point;
// eam adds the embedding term.
// The record is not const: the embedding parameters are filled in.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_tot_en_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             KELMAR_PROPERTY* ppt, double resolution,
                                                             bool ignore_conducting, bool eam);
