// Energy and forces of a cell whose atoms move a little between evaluations (the images of a
// band): the lattice images of every pair within reach plus a skin are listed once, and the list
// is rebuilt only when some atom has moved more than half the skin (or was wrapped into the
// cell). Each evaluation then visits only the listed images instead of every translation of the
// image range. The terms are those of kelmar_cell_calculate_total_energy and
// kelmar_cell_calculate_force for a cell without fixed marks.
#pragma once

#include <vector>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

namespace rxlist {

// Extra distance listed beyond the reach of each pair, angstrom.
inline constexpr double SKIN = 1.0;

struct Term {
    enum { COULOMB, BONDING } kind = COULOMB;
    double weight = 0.0;  // occ_i * occ_j
    double q = 0.0, r_eff = 0.0, shift = 0.0;
    double d0 = 0.0, rmin = 0.0, b = 0.0, en_s = 0.0;
    double reach2 = 0.0;  // squared reach with the rounding allowance of the plain sums
    bool close_ok = false;  // images closer than 0.2 A count in the energy
};

// The images of one ordered pair (i, j): offsets[begin, end) hold the translations T with
// x_j + T - x_i within reach + SKIN when the list was built.
struct Block {
    long i = 0, j = 0;
    Term term;
    std::size_t begin = 0, end = 0;
};

struct PairList {
    std::vector<Block> block;
    std::vector<double> offset;  // 3 per listed image
    std::vector<double> x_built; // 3 per atom: positions at the last build
    std::vector<int> species;    // per atom, reused
    long builds = 0;             // number of builds so far
};

// Total energy in eV (as kelmar_cell_calculate_total_energy) and force per atom in the internal
// unit (as kelmar_cell_calculate_force) of a cell without fixed marks. False after an error line
// when a species is missing from the record or the cell is too small for the lattice sums.
bool energy_and_force(PairList& list, const KELMAR_CELL& cell, const KELMAR_PROPERTY& ppt, double* energy,
                      double (*force)[3]);

}  // namespace rxlist
