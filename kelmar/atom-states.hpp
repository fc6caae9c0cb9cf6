// The oxidation-state steps of reading a structure: a mixed valence split into two states, and
// the default states taken from the unitary parameter file.
#pragma once

#include <vector>

#include "kelmar.hpp"

// A site whose state lies more than 0.1 from an integer is split in two at the same place, with
// the two neighbouring integer states and occupancies in proportion; afterwards every value is 0.
int kelmar_atom_fork_os(std::vector<KELMAR_ATOM>& atom);
// Atoms whose state is still unknown take the first state the unitary file lists for their
// element (marked os_default); an element without a line stays unknown. 1 when the file cannot
// be opened.
int kelmar_atom_update_default_os(std::vector<KELMAR_ATOM>& atom, const char* dir_unitary);
