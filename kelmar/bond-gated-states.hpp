// Oxidation states that an element takes only where its bonds show them: the peroxide ion O-1
// (an O-O bond near 1.5 A), P+4 (a P-P bond, as in P2S6 units), the phosphide ion P-3 (P without
// bonds to the electronegative elements) and the hydride ion H-1 (H or D without a bond to them).
// Charge balance alone cannot tell these from the common states: a hydroxide stripped of its
// states may balance with H-1 and a rarer state elsewhere.
#pragma once

#include <string_view>
#include <vector>

// A neighbour of an atom: element symbol and distance (angstrom).
struct BondedNeighbour {
    std::string_view type;
    double d;
};

// Whether an atom of element `type` may take state `os` given its neighbours. States without a
// rule are always allowed.
bool state_allowed_by_bonds(std::string_view type, int os, const std::vector<BondedNeighbour>& neighbours);
