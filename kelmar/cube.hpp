// The cube record of a landscape (a scalar field on a periodic grid), its Gaussian cube file form
// and the helpers of the landscape code that need no parameters. The engines are in cube-grid.hpp,
// the list of landscape models in cube-models.hpp, the runs in cube-run.hpp.
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
// file carries none). periodic false drops the repeated boundary planes. The header must describe
// the data: an origin after the atom count, exactly four numbers on each grid line, positive grid
// sizes, voxel vectors that span a volume, five finite numbers on each atom line; every value must
// be finite and within 1e100 in magnitude, and no value may follow the grid. A file that ends before its last value keeps zeros
// for the rest (with a warning); with complete it is refused. 0 or 1.
int kelmar_cube_import_from_file(std::unique_ptr<KELMAR_CUBE>* cube, std::unique_ptr<KELMAR_CELL>* cell,
                                 const char* filename, bool periodic, const char* dir_unitary,
                                 bool complete = false);

// Whether every axis ends with a copy of its first plane on a grid that is not constant: the
// mark of a file written with periodic false and read as periodic.
bool cube_grid_repeats_boundary_planes(const KELMAR_CUBE* cube);

// --- helpers of the landscape code ------------------------------------------------------

// Checks the parameters the landscape needs around the mobile species; 0 or 1 (one message).
int kelmar_cube_validate_property(const KELMAR_PROPERTY* ppt);
// The cube name cut at its first '.' (at most 1000 characters kept), then "_assigned.cube".
std::string kelmar_cubename_assigned(const char* cubename);
// Points per axis for lattice lengths L and a resolution in angstrom: multiples of 24, the product
// capped at 196^3 by taking 24 off the largest axis (the first of equal ones) at a time.
void kelmar_cube_grid_size(long n[3], const double L[3], double resolution);
