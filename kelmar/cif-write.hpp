// CIF writing, and the oxidation-state steps of reading (mixed valence, defaults from the unitary
// parameter file).
#pragma once

#include <memory>
#include <vector>

#include "kelmar.hpp"

// Writer: CR LF lines; a null symmetry writes the P1 setting.
std::unique_ptr<KELMAR_TEXT> kelmar_cell_export_cif_to_text(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
int kelmar_cell_export_cif_to_file(const char* filename, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);

// A site whose state lies more than 0.1 from an integer is split in two at the same place, with
// the two neighbouring integer states and occupancies in proportion; afterwards every value is 0.
int kelmar_atom_fork_os(std::vector<KELMAR_ATOM>& atom);
// Atoms whose state is still unknown take the first state the unitary file lists for their
// element (marked os_default); an element without a line stays unknown. 1 when the file cannot
// be opened.
int kelmar_atom_update_default_os(std::vector<KELMAR_ATOM>& atom, const char* dir_unitary);
