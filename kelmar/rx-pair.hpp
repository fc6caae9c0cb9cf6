// The pieces the cell sums of the force field share (rx-energy.cpp, and the strain energies of
// rx-strain.cpp): the pair rule of two atoms, the species of every atom, and the image range.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "property-derived.hpp"
#include "property.hpp"
#include "neighbor.hpp"

namespace rxpair {

// Everything the image loop needs about one pair of atoms, looked up once per pair.
struct PAIR_TERM {
    enum { NONE, COULOMB, BONDING } kind = NONE;
    double weight = 0.0;  // occ_i * occ_j
    double q = 0.0, r_eff = 0.0, shift = 0.0, rmax = 0.0;
    double d0 = 0.0, rmin = 0.0, b = 0.0, en_s = 0.0, cutoff = 0.0;

    // The Coulomb energy evaluated as kelmar_energy_coulombic does, with its constant shift
    // q erfc(10/r_eff)/10 computed once per pair instead of once per image.
    double energy(double d) const {
        if (kind == COULOMB) return d <= rmax ? weight * (q * std::erfc(d / r_eff) / d - shift) : 0.0;
        if (kind == BONDING) return d <= cutoff ? weight * (kelmar_energy_bonding(d, d0, rmin, b) - en_s) : 0.0;
        return 0.0;
    }
    double derivative(double d) const {
        if (kind == COULOMB) return d <= rmax ? weight * kelmar_force_coulombic(d, q, r_eff) : 0.0;
        if (kind == BONDING) return d <= cutoff ? weight * kelmar_force_bonding(d, d0, rmin, b) : 0.0;
        return 0.0;
    }
    double reach() const { return kind == COULOMB ? rmax : (kind == BONDING ? cutoff : -1.0); }
};

inline PAIR_TERM pair_term(const KELMAR_PROPERTY* ppt, const KELMAR_ATOM& ai, int si, const KELMAR_ATOM& aj, int sj,
                    double rmax) {
    PAIR_TERM t;
    t.weight = ai.occ * aj.occ;
    if (ai.os * aj.os >= 1) {
        t.kind = PAIR_TERM::COULOMB;
        t.q = ppt->uni[si].q * ppt->uni[sj].q;
        t.r_eff = ppt->sf * (ppt->uni[si].rc + ppt->uni[sj].rc);
        t.shift = t.q * std::erfc(10.0 / t.r_eff) / 10.0;
        t.rmax = rmax;
    } else if (ai.os * aj.os < 0) {
        // Opposite signs always use the (cation, anion) entry.
        const KELMAR_PROPERTY_BINARY& e = (ai.os < 0) ? ppt->bin[sj][si] : ppt->bin[si][sj];
        t.kind = PAIR_TERM::BONDING;
        t.d0 = e.d0;
        t.rmin = e.rmin;
        t.b = e.b;
        t.en_s = e.en_s;
        t.cutoff = e.cutoff;
    }
    return t;
}

// Species index of every atom, in a per-thread buffer that only ever grows: the cell sums run
// once per grid point of a landscape and once per relaxation step, and allocate nothing once
// the buffer has reached the cell size. False after a message when a species is missing.
inline bool species_of_atoms(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const int** out) {
    thread_local std::vector<int> species;
    if (species.size() < cell->atom.size()) species.resize(cell->atom.size());
    for (std::size_t i = 0; i < cell->atom.size(); i++) {
        species[i] = kelmar_property_find_index(ppt, cell->atom[i].type, cell->atom[i].os);
        if (species[i] < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return false;
        }
    }
    *out = species.data();
    return true;
}

// Image range and the largest interaction distance (at least 12 A) of the record; false after a
// message when the cell is too small for that many images.
inline bool image_range(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, long m[3], double* rmax_out) {
    double rmax = 12.0;
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) rmax = std::max(rmax, ppt->bin[i][j].cutoff);
    double len[3];
    for (int k = 0; k < 3; k++)
        len[k] = std::sqrt(cell->a[k][0] * cell->a[k][0] + cell->a[k][1] * cell->a[k][1] + cell->a[k][2] * cell->a[k][2]);
    if (!latimg::image_range_wide(m, len, cell->a, rmax, 1.0)) return false;
    *rmax_out = rmax;
    return true;
}

}  // namespace rxpair
