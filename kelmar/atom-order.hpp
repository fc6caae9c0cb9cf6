// The order of atoms in a list.
#pragma once

#include <vector>

#include "kelmar.hpp"

// Type, then oxidation state, then occupancy, then natural label order.
void kelmar_atom_sort(KELMAR_ATOM* atom, long total);
inline void kelmar_atom_sort(std::vector<KELMAR_ATOM>& atom) {
    kelmar_atom_sort(atom.data(), static_cast<long>(atom.size()));
}
// Natural order of labels: -1, 0 or 1 (Li2 before Li10).
int kelmar_atom_name_compare(const char* a, const char* b);
