// Reading a structure from a CIF, on the document model of cifio (cif-document.hpp).
#pragma once

#include <memory>
#include <vector>

#include "cif-document.hpp"
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

// Column readers over the atom loop (atom has one entry per data row). 0 or 1.
int kelmar_cell_import_cif_read_atom_name(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop);
int kelmar_cell_import_cif_read_atom_type(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop);
int kelmar_cell_import_cif_read_atom_typeos(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop,
                                            const CifLoop& loop_type);
int kelmar_cell_import_cif_read_atom(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop);
// Fixed-site column "_atom_site_kelmar_fixed" into `ignored` (read by the relaxation commands):
// a value starting with t or T marks the site; the first column whose tag holds the name counts.
int kelmar_cell_import_cif_read_atom_constraint(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop);
// The lattice of a structure block.
int kelmar_cell_import_cif_read_lattice(KELMAR_CELL* cell, const CifBlock& block);

// Atom-list step of the reader: the element of a site without a type symbol, from its label.
int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom);
