// The symmetry of a CIF's structure block.
#pragma once

#include <memory>

#include "cif-document.hpp"
#include "kelmar.hpp"

// The block's operations loop (_symmetry_equiv_pos_as_xyz, else _space_group_symop_operation_xyz),
// completed to a group; else the setting named by the H-M symbol, else by the Hall symbol, else by
// the International Tables number. Null after a message when none gives a symmetry, and for a
// superspace description.
std::unique_ptr<KELMAR_SYMMETRY> cif_block_symmetry(const CifBlock& block, const char* dir_symcards);
