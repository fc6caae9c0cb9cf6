// Pair forces, potential energy and virial of the moving ions of a molecular dynamics.
//
// Atom i moves when slot[i] >= 0; every other atom is a fixed part of the host. Pair rules:
// like charges interact by the screened Coulomb term within 12 A, cation and anion by the Morse
// bonding term (shifted by en_s) within the pair cutoff, each term weighted by both occupancies.
//
// Two ways to the same forces:
//   direct_sums()  the plain double sum over moving atoms, all atoms and all lattice images
//                  within reach: forces, energy and virial (the definition; used at samples);
//   list_forces()  a Verlet list of the images within the force reach plus a skin, rebuilt when
//                  a moving atom has gone more than half the skin since the last build. The force
//                  reach of a rule ends where its force falls below 1e-13 eV/A for good (the
//                  screened Coulomb term is negligible long before 12 A), so the list holds far
//                  fewer images than the plain sum visits. Pairs of two moving atoms are listed
//                  once and act on both.
// Positions are the continuous (not wrapped) positions of the dynamics; lattice translations
// are chosen per pair from the nearest image, so any drift through the cell is handled.
#pragma once

#include <array>
#include <vector>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

namespace mdforce {

using Vec3s = std::vector<std::array<double, 3>>;

// Distance beyond which no Coulomb pair interacts.
inline constexpr double COULOMB_REACH = 12.0;
// Pairs closer than this are unphysical: the dynamics stops.
inline constexpr double CONTACT = 0.1;
// Force below which a pair term is left out of the list, eV/A.
inline constexpr double NEGLIGIBLE_FORCE = 1e-13;

struct PairRule {
    enum Kind { NONE, COULOMB, BONDING } kind = NONE;
    double q = 0.0, r_eff = 0.0, shift = 0.0, slope = 0.0;  // Coulomb: q_i q_j, screening, E_c(10), 2q/(sqrt(pi) r_eff)
    double d0 = 0.0, rmin = 0.0, b = 0.0, en_s = 0.0;        // Morse
    double reach = 0.0;       // interaction distance of the plain sums
    double reach_force = 0.0; // the force is negligible beyond this (<= reach)
    double tail = 0.0;        // the energy there, constant to far below 1e-12 eV: energy(reach)

    // Energy and its derivative with distance, internal unit (x 14.39964 gives eV, eV/A).
    double energy(double d) const;
    double derivative(double d) const;
};

// The rules of every ordered pair of species of a record.
struct ForceField {
    int species = 0;
    std::vector<PairRule> rule;  // species x species
    double reach = 0.0;          // largest reach
    double reach_force = 0.0;    // largest force reach

    const PairRule& at(int si, int sj) const { return rule[static_cast<std::size_t>(si * species + sj)]; }
};

// erfc(s) for s >= 0 as the listed forces evaluate it (a table of erfc(s) exp(s^2)).
double table_erfc(double s);

// False after a message when the record lacks a needed entry.
bool make_force_field(ForceField* ff, const KELMAR_PROPERTY& ppt);

// Everything the sums read about the cell.
struct Frame {
    const KELMAR_CELL* cell = nullptr;   // lattice, occupancies, charges
    const std::vector<long>* mobile = nullptr;  // moving atoms in order
    const std::vector<long>* slot = nullptr;    // per atom: position in mobile, or -1
    const std::vector<int>* species = nullptr;  // per atom
    const ForceField* ff = nullptr;
    const double (*inv_a)[3] = nullptr;  // fractional = inv_a x
};

enum class Status { OK, CONTACT, RANGE };

// Two atoms found closer than CONTACT (j is -1 when the list does not know the fixed partner;
// the plain sum always names it).
struct Contact {
    long i = -1, j = -1;
    double d = 0.0;
};

struct ListEntry {
    double p[3];  // fixed partner: its image position; moving partner: the translation
    double w;     // occ_i occ_j
    int rule;
    int partner;  // moving partner's slot, or -1 for a fixed one
};

struct NeighbourList {
    double skin = 1.5;
    std::vector<ListEntry> entry;
    std::vector<std::size_t> begin;  // per moving atom, plus the end
    std::vector<double> x_built;     // 3 per moving atom
    long builds = 0;
};

// Forces in eV/A on the moving atoms (fixed atoms are left untouched). RANGE after a message
// when the cell is too small for its lattice sums; CONTACT with the pair filled in.
Status list_forces(NeighbourList& list, const Frame& frame, const Vec3s& x, Vec3s& f, Contact* contact);

struct DirectSums {
    double e_mobile = 0.0;  // sum over ordered pairs of two moving atoms, internal unit
    double e_host = 0.0;    // sum over (moving, fixed) pairs, internal unit
    double virial = 0.0;    // sum over ordered pairs of F d, F in eV/A
};

// The plain double sum; force may be null. Same status rules. With exact false, images beyond a
// rule's force reach take its constant tail energy instead of evaluating the pair functions (the
// sums change by less than 1e-9; the energy of the samples uses this).
Status direct_sums(const Frame& frame, const Vec3s& x, DirectSums* sums, Vec3s* force, Contact* contact,
                   bool exact = true);

}  // namespace mdforce
