// Site-energy landscapes of a mobile ion on a periodic grid, and the Gaussian cube files
// that carry them.
#pragma once

#include <memory>
#include <string>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

// 1 angstrom in Bohr: cube files hold every length in Bohr.
inline constexpr double KELMAR_CUBE_ANGSTROM_TO_BOHR = 1.889725989;
// A stored value this close to zero marks a grid point that is not computed yet.
inline constexpr double KELMAR_CUBE_UNKNOWN = 1e-7;
// Landscape values are capped here (no lower cap).
inline constexpr double KELMAR_CUBE_CAP = 999.9;
// Grid sizes are multiples of this so that every symmetry translation lands on a grid point.
inline constexpr long KELMAR_CUBE_GRID_STEP = 24;
// The largest grid built: 196^3 points.
inline constexpr long KELMAR_CUBE_GRID_MAX = 7529536;

// A scalar field on a periodic grid over a cell. Point (i, j, k) lies at
// i a_i[0] + j a_i[1] + k a_i[2] from the cell origin; index n[k] along axis k is index 0 again.
struct KELMAR_CUBE {
    KELMAR_GRID3<double> en; // values, en(i, j, k), k fastest
    double a[3][3] = {};     // cell vectors (rows), angstrom; a[k] = a_i[k] * n[k]
    double a_i[3][3] = {};   // voxel (step) vectors (rows), angstrom
    long n[3] = {0, 0, 0};   // points along each cell vector
};

// --- the record and its file form ----------------------------------------------------------

// All values 0 and zero vectors; null after "Error: argument must be positive.\n" for n[k] <= 0.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_new(const long n[3]);
// Accepts null; the grid is released with the record.
void kelmar_cube_free(std::unique_ptr<KELMAR_CUBE>& cube);
// Grid size, cell and voxel vectors on standard output.
void kelmar_cube_print_info(const KELMAR_CUBE* cube);
// Writes a Gaussian cube file (CR LF line ends, Bohr units). The structure header is written when
// cell (with atoms) and ppt are both given. periodic false repeats the boundary planes. 0 or 1.
int kelmar_cube_export_to_file(const KELMAR_CUBE* cube, const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                               const char* filename, bool periodic);
// Reads a cube file; cell may be null when the structure is not wanted (it is set to null when the
// file carries none). periodic false drops the repeated boundary planes. A file that ends before
// its last value keeps zeros for the rest (with a warning); with complete it is refused. 0 or 1.
int kelmar_cube_import_from_file(std::unique_ptr<KELMAR_CUBE>* cube, std::unique_ptr<KELMAR_CELL>* cell,
                                 const char* filename, bool periodic, const char* dir_unitary,
                                 bool complete = false);

// Whether every axis ends with a copy of its first plane on a grid that is not constant: the
// mark of a file written with periodic false and read as periodic.
bool cube_grid_repeats_boundary_planes(const KELMAR_CUBE* cube);

// --- building a landscape (the engine: cube-grid.cpp; helpers in cube.cpp) ----------------

// Checks the parameters the landscape needs around the mobile species; 0 or 1 (one message).
int kelmar_cube_validate_property(const KELMAR_PROPERTY* ppt);
// The cube name cut at its first '.' (at most 1000 characters kept), then "_assigned.cube".
std::string kelmar_cubename_assigned(const char* cubename);
// Points per axis for lattice lengths L and a resolution in angstrom: multiples of 24, the product
// capped at 196^3 by taking 24 off the largest axis (the first of equal ones) at a time.
void kelmar_cube_grid_size(long n[3], const double L[3], double resolution);
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

// Global-instability-index landscape (dimensionless), one full bond-valence evaluation per point.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_gii_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                          const KELMAR_PROPERTY* ppt, double resolution,
                                                          bool ignore_conducting);

// Total-energy landscape (eV) of the structure with the probe added; eam adds the embedding term.
// The record is not const: the embedding parameters are filled in.
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_tot_en_calculate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             KELMAR_PROPERTY* ppt, double resolution,
                                                             bool ignore_conducting, bool eam);

// --- runs (cube-run.cpp) ------------------------------------------------------------------

// From a cell (P1 when symmetry is null), and from a cell to a written file
// with the parameters assembled from the databases; the _assign_partial_occ forms first resolve
// mixed conducting sites in a supercell (written as cifname) and write "<cube>_assigned.cube".
std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             const KELMAR_PROPERTY* ppt, const char* type, int os,
                                                             double resolution, bool ignore_conducting);
int kelmar_cube_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                      const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                                      double sf, double resolution, bool ignore_conducting,
                                                      bool periodic, const char* dir_unitary, const char* dir_binary);
int kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary);
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_gii_calculate_from_cell(KELMAR_CELL* cell,
                                                                    const KELMAR_SYMMETRY* symmetry,
                                                                    const KELMAR_PROPERTY* ppt, const char* type,
                                                                    int os, double resolution,
                                                                    bool ignore_conducting);
int kelmar_cube_by_gii_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                             const KELMAR_SYMMETRY* symmetry, const char* type,
                                                             int os, double sf, double resolution,
                                                             bool ignore_conducting, bool periodic,
                                                             const char* dir_unitary, const char* dir_binary);
int kelmar_cube_by_gii_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary);
std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_tot_en_calculate_from_cell(KELMAR_CELL* cell,
                                                                       const KELMAR_SYMMETRY* symmetry,
                                                                       KELMAR_PROPERTY* ppt, const char* type,
                                                                       int os, double resolution,
                                                                       bool ignore_conducting, bool eam);
int kelmar_cube_by_tot_en_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                                const KELMAR_SYMMETRY* symmetry, const char* type,
                                                                int os, double sf, double resolution,
                                                                bool ignore_conducting, bool periodic, bool eam,
                                                                const char* dir_unitary, const char* dir_binary);
int kelmar_cube_by_tot_en_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ, bool eam,
    const char* dir_unitary, const char* dir_binary);
