// Oxidation states a structure file leaves out, settled by charge balance and bond valence.
//
// The reader fills every state the file does not give with the element's default from the
// unitary data file and marks such atoms (`os_default`). When those defaults balance the cell,
// are each element's most common state and the bond-valence sums agree with them, they stay.
// Otherwise the states are chosen among those the unitary file lists for each element, and the
// occupancy-weighted assignments are ranked: by charge balance first (the smallest imbalance;
// imbalances within 0.2 % of the cation charge of the smallest count as equal), then by how
// common the states are (how often each occurs in known structures, common-states.hpp), then by
// the bond-valence fit (smallest global instability index; ties go to the defaults). The chosen
// states are reported in one line. One state per element is tried first; only when none balances, each
// symmetry-distinct site of an element may take its own state (mixed valence, as in magnetite).
// The peroxide, hydride and phosphide ions and P+4 are candidates only for atoms whose bonds show
// them (bond-gated-states.hpp), so charge balance alone never picks them.
// States given by the file are never changed. The search is bounded: it visits a capped number of
// partial assignments and scores a capped number of balanced ones, so any composition finishes.
#pragma once

#include <string>
#include <vector>

#include "kelmar.hpp"

// What the settling did.
struct OxidationStateOutcome {
    bool balanced = true;   // false: no assignment balances the cell (failure text below)
    bool inferred = false;  // true: states were changed from the defaults (message below)
    std::string message;    // "oxidation states from bond valence: Li+1 N-3"
    std::string failure;    // "no charge-neutral oxidation states for Li3 N (tried Li +1; N +5 +3 -3)"
    double gii = -1.0;      // instability index of the states kept (negative: not computable)
};

// Settles the states of the atoms marked `os_default` in place (the atoms are re-sorted when a
// state changes). symmetry may be null (every atom its own site). Prints nothing; the caller
// reports `message` or `failure`.
OxidationStateOutcome settle_oxidation_states(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                              const char* dir_unitary, const char* dir_binary);

// The states of a freshly read structure for a command: settles them (above), reports an
// inference ("Message: ..."), and judges the charge balance. An imbalance between one and five
// percent of the cation charge gets one warning line (the fractional charges rescale it). When
// need_neutral is set, a cell that stays unbalanced is an error: "no <mobile> in the structure"
// when the mobile element (may be null) is absent, else the states tried or the imbalance. Without
// need_neutral such a cell only gets a warning. False after an error line.
bool settle_states_for_command(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* dir_unitary,
                               const char* dir_binary, bool need_neutral, const char* mobile);

// Occupancy-weighted total charge and cation charge of a cell.
struct CellChargeBalance {
    double total = 0.0;
    double cation = 0.0;
    // Imbalance as a fraction of the cation charge (infinite when there are no cations).
    double fraction() const;
};
CellChargeBalance cell_charge_balance(const KELMAR_CELL* cell);

// Limits of the search (exposed for the tests).
inline constexpr long kOxidationSearchNodeCap = 2000000;
inline constexpr std::size_t kOxidationSearchScoreCap = 3000;  // fewer in large cells
