// How common each oxidation state of an element is, from a published count of the states of
// the elements in known crystal structures, to rank the oxidation-state assignments that balance
// a structure's charge equally well.
#pragma once

#include <string_view>

// The rarity of a state: -ln of its share among the element's non-zero states in the table
// (common-states-table.hpp: sites per species in the ICSD, as tabulated with pymatgen). 0 for the
// only state of an element; a state the table never saw counts as half an occurrence; an element
// the table does not list gives 0 for every state (no preference). Hydrogen variants (Hx, D) and
// the oxygen variant (Ox) count as their element.
double oxidation_state_rarity(std::string_view element, int os);
