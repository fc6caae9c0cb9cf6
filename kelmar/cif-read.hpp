// Reading a structure from a CIF: file or text to a cell and its symmetry.
#pragma once

#include <memory>
#include <vector>

#include "kelmar.hpp"

// Reads a CIF file; on success *cell and *symmetry own new records, on failure both are null.
// 0 on success, 1 on failure.
int kelmar_cell_import_cif_from_file(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const char* cif, const char* dir_symcards, const char* dir_unitary);
int kelmar_cell_import_cif_from_text(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const KELMAR_TEXT* text, const char* dir_symcards, const char* dir_unitary);
// Reads "<filename>.<i>.cif" for i = 0 .. total-1 (symmetries discarded); empty on failure.
std::vector<std::unique_ptr<KELMAR_CELL>> kelmar_cells_import_cif_from_file(const char* filename, int total,
                                                                            const char* dir_symcards,
                                                                            const char* dir_unitary);
// The fixed-site column of a CIF file applied to a cell read from it: marks (ignored) the atoms whose CIF site carries the fixed flag; 0 when flags were applied.
int kelmar_cell_import_cif_read_constraint(KELMAR_CELL* cell, const char* filename);
