// Force-field parameter record of one cell: per-species and per-pair entries read from
// database_unitary.dat / database_binary.dat and the quantities derived from them. Its functions
// are in property.hpp (allocation, lookups, data files, printing) and property-derived.hpp
// (derived quantities and pair functions); the energy code (rx-energy) builds on those, and the
// assembly of a whole record, which searches the screening factor with that energy code, is
// declared in property-assemble.hpp on top of all of them.
//
// Energies inside the records (d0, en_s, a0, f0) and the derivatives (f_s, a1, a2) are in e^2/A;
// multiplying by 14.39964 gives eV (eV/A for derivatives).
#pragma once

#include <array>
#include <vector>

#include "kelmar.hpp"

// Per-species entry.
struct KELMAR_PROPERTY_UNITARY {
    char type[3] = {};  // element symbol, at most two letters
    int os = 0;         // oxidation state
    double soft = 0.0;  // bond softness
    double rc = 0.0;    // radius for the Coulomb screening length, A
    double m = 0.0;     // ionic mass, amu
    int an = 0;         // atomic number
    int n = 0;          // principal quantum number (period)
    int g = 0;          // read and printed only
    int b = 0;          // class code 0-3, decides c
    int c = 0;          // exponent: 1 for b 0/1, 2 for b 2/3
    double q = 0.0;     // fractional charge
    double f1 = 0.0;    // embedding parameter of the EAM variant
};

// Per-pair entry bin[i][j]; only (cation, anion) entries carry bond-valence data.
struct KELMAR_PROPERTY_BINARY {
    char type1[3] = {};
    int os1 = 0;
    char type2[3] = {};
    int os2 = 0;
    double b = 0.0;       // effective bond-valence softness b, A
    double b_old = 0.0;   // b as read from the file
    double r0 = 0.0;      // bond-valence R0, A
    double cutoff = 0.0;  // pair cutoff, A
    double cn = 0.0;      // reference coordination number of the cation
    double d0 = 0.0;      // Morse depth parameter (depth in eV is d0*14.39964/2)
    double rmin = 0.0;    // Morse minimum, A
    double r_bc = 0.0;    // bonding term is a parabola below this distance
    double r_cc = 0.0;    // Coulomb term is a parabola below this distance
    double bv_s = 0.0;    // never assigned, printed only
    double en_s = 0.0;    // bonding energy at the cutoff
    double f_s = 0.0;     // bonding derivative at the cutoff
    double a0 = 0.0;      // short-range parabola a2 x^2 + a1 x + a0
    double a1 = 0.0;
    double a2 = 0.0;
    double f0 = 0.0;      // d0 * cn, for the EAM variant
};

using KELMAR_TYPE_NAME = std::array<char, 3>;

// Parameter record of the species of one cell. A species index is the position in type/os.
struct KELMAR_PROPERTY {
    int total = 0;                                          // number of species S
    std::vector<KELMAR_TYPE_NAME> type;                     // S element symbols (type[i].data())
    std::vector<int> os;                                    // S oxidation states
    std::vector<double> count;                              // S summed occupancies in the cell
    std::vector<KELMAR_PROPERTY_UNITARY> uni;               // S entries
    std::vector<std::vector<KELMAR_PROPERTY_BINARY>> bin;   // S x S entries, bin[i][j]
    double sf = 0.0;                                        // screening factor; <= 0: to be searched
    int conducting = -1;                                    // index of the mobile species, -1 if none
};

// The sign character of an oxidation state in species labels such as "Li1+" and "O2-".
inline char os_sign_char(int os) { return os < 0 ? '-' : '+'; }
