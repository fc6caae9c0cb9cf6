// Force-field parameter record of one cell: per-species and per-pair entries read from
// database_unitary.dat / database_binary.dat, the derived Morse and Coulomb quantities, and the
// pair functions that every energy, force and landscape evaluation uses. The energy code (rx)
// builds on this header; the assembly of a whole record, which searches the screening factor
// with that energy code, is declared in import-ppt.hpp on top of both.
//
// Energies inside the records (d0, en_s, a0, f0) and the derivatives (f_s, a1, a2) are in e^2/A;
// multiplying by 14.39964 gives eV (eV/A for derivatives).
#pragma once

#include <array>
#include <memory>
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

// --- allocation, lookup, printing ---------------------------------------------------------------

// Fills uni with total zeroed entries; 0, or 1 after a message when total <= 0.
int kelmar_property_unitary_new(std::vector<KELMAR_PROPERTY_UNITARY>* uni, int total);
// Fills bin with a total x total zeroed table; 0, or 1 after a message when total <= 0.
int kelmar_property_binary_new(std::vector<std::vector<KELMAR_PROPERTY_BINARY>>* bin, int total);
// A record with total species, all values zero, sf 0, conducting -1; null for total < 0.
std::unique_ptr<KELMAR_PROPERTY> kelmar_property_new(int total);
std::unique_ptr<KELMAR_PROPERTY> kelmar_property_copy(const KELMAR_PROPERTY* ppt);
// First index whose type and oxidation state match, else -1.
int kelmar_property_find_index(const KELMAR_PROPERTY* ppt, const char* type, int os);
int kelmar_property_set_conducting(KELMAR_PROPERTY* ppt, const char* type, int os);
void kelmar_property_print(const KELMAR_PROPERTY* ppt);
void kelmar_property_print_format(const KELMAR_PROPERTY* ppt);

// --- assembly -------------------------------------------------------------------------------------

// Whether the occupancy-weighted oxidation states of the cell add up to zero within
// KELMAR_FORMAL_CHARGE_TOLERANCE of the cation charge; prints the neutrality error when not.
// kelmar_property_import_from_cell (import-ppt.hpp) refuses unbalanced cells with it.
inline constexpr double KELMAR_FORMAL_CHARGE_TOLERANCE = 0.05;
bool kelmar_cell_formal_charge_balanced(const KELMAR_CELL* cell);
int kelmar_property_update_index_by_cell(KELMAR_PROPERTY* ppt, KELMAR_CELL* cell);
int kelmar_property_append_index(KELMAR_PROPERTY* ppt, const char* type, int os);
int kelmar_property_update_read_from_file(KELMAR_PROPERTY* ppt, const char* dir_unitary, const char* dir_binary);
int kelmar_property_estimate(KELMAR_PROPERTY* ppt, const char* dir_binary);
int kelmar_property_calculate_type_count(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);

// --- data files -----------------------------------------------------------------------------------

int kelmar_property_unitary_read_from_file(KELMAR_PROPERTY_UNITARY* uni, const char* type, int os,
                                           const char* dir_unitary);
int kelmar_property_binary_read_from_file(KELMAR_PROPERTY_BINARY* bin, const char* type1, int os1,
                                          const char* type2, int os2, const char* dir_binary);
int kelmar_property_binary_estimate_from_file(KELMAR_PROPERTY_BINARY* bin, const char* dir_binary);
// Sets atom->type and atom->os from the first unitary line with atomic number an; 0 or 1.
int kelmar_property_type_from_atomic_number(int an, KELMAR_ATOM* atom, const char* dir_unitary);
double kelmar_property_hardness_read_from_file(const char* type, int os, const char* dir_hardness);

int kelmar_property_validate_generic(const KELMAR_PROPERTY* ppt);

// --- derived parameters ----------------------------------------------------------------------------

int kelmar_property_calculate_effective_b(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);
int kelmar_property_unitary_derived(KELMAR_PROPERTY* ppt);
int kelmar_property_binary_derived(KELMAR_PROPERTY* ppt);
int kelmar_property_calculate_fractional_charge(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);
int kelmar_property_binary_pseudopotential(KELMAR_PROPERTY* ppt);
int kelmar_property_calculate_unitary_eam_parameter(KELMAR_PROPERTY* ppt);

// --- pair functions (internal unit; x in A) --------------------------------------------------------

double kelmar_energy_bonding(double x, double d0, double rmin, double b);
double kelmar_energy_bonding_with_energy_shift(double x, double d0, double rmin, double b, double en_s);
double kelmar_energy_bonding_with_energy_shift_and_force_shift(double x, double d0, double rmin, double b,
                                                               double en_s, double f_s, double cutoff);
double kelmar_force_bonding(double x, double d0, double rmin, double b);
double kelmar_force_bonding_with_force_shift(double x, double d0, double rmin, double b, double f_s);
double kelmar_energy_coulombic(double x, double q, double r_eff);
double kelmar_force_coulombic(double x, double q, double r_eff);
double kelmar_pseudopotential_energy_bonding(double x, double a2, double a1, double a0);
double kelmar_pseudopotential_energy_coulombic(double x, double a2, double a1, double a0);
