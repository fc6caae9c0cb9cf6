// The common oxidation states of the elements, a published table used to rank the
// oxidation-state assignments that balance a structure's charge equally well.
#pragma once

#include <string_view>

// Whether os is among the element's common oxidation states. Hydrogen variants (Hx, D) and the
// oxygen variant (Ox) count as their element; an element the table does not list has none.
bool oxidation_state_is_common(std::string_view element, int os);
