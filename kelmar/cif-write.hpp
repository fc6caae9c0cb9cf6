// CIF writing.
#pragma once

#include <memory>
#include <vector>

#include "kelmar.hpp"

// Writer: CR LF lines; a null symmetry writes the P1 setting.
std::unique_ptr<KELMAR_TEXT> kelmar_cell_export_cif_to_text(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
int kelmar_cell_export_cif_to_file(const char* filename, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
