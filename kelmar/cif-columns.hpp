// The column readers of a CIF's site loop and the lattice of its structure block, over the
// document model of cifio (cif-document.hpp).
#pragma once

#include <vector>

#include "cif-document.hpp"
#include "kelmar.hpp"

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

// The element of a site without a type symbol, from its label (an atom-list step of the reader).
int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom);
