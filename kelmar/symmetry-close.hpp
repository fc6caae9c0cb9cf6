// Closing a list of symmetry operations to the group it generates.
#pragma once

#include "kelmar.hpp"

// Completes a list of operations to the group it generates (operations composed until the list
// is closed). The number of operations added, or -1 when the list grows beyond 192 operations
// (no space group has more): such a list is not a set of symmetry operations of one crystal.
int symops_close_group(KELMAR_SYMMETRY* symmetry);
