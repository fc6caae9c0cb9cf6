// Space-group symmetry: operations from their text, the settings file, the expansion of a site
// list by the operations, and the fit of a structure to a setting.
#pragma once

#include <memory>
#include <vector>

#include "kelmar.hpp"

// Fills text, r_f and t_f of the card from an operation text such as "-x+1/2, y, -z".
// 0, or 1 for a null text or an operation that is no crystallographic operation (a message
// names it and why; see cif_symop_parse).
int kelmar_card_set_by_text(KELMAR_CARD* card, const char* text);

// Settings-file importers; null (with a message) when nothing matches.
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_HM(const char* symbol, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_Hall(const char* symbol, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_id(const char* id, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_internal_no(int no, const char* dir_symcards);
// Running number (from 1) of the first setting whose H-M texts (hall = false) or Hall symbol
// (hall = true) equal name, compared without blanks, underscores and case (P4322 finds
// 'P 43 2 2'; an ICSD-style origin or axes letter such as 'F d -3 m Z' or 'R -3 m H' names the
// :2 or :H setting). 0 when no setting has it, -1 when the file cannot be opened.
int symcards_record_named(const char* name, bool hall, const char* dir_symcards);

// The image of an atom under one operation (fractional coordinates in [0, 1)).
KELMAR_ATOM kelmar_atom_spawn_by_card(KELMAR_ATOM atom, const KELMAR_CARD& card);
// Replaces the atoms by their full expansion, duplicates removed and sorted. 0 or 1.
int kelmar_atom_spawn_by_symmetry(std::vector<KELMAR_ATOM>& atom, const KELMAR_SYMMETRY* symmetry);
// Images of one site closer than this distance (angstrom) are one position of the cell: about
// 0.005 of a 20 A axis, far above the rounding of coordinates written with four decimals and far
// below the distance of split positions of a disordered site.
inline constexpr double KELMAR_SITE_TOLERANCE = 0.1;
// The same expansion for a cell with lattice vectors `lattice` (rows, angstrom): images of one
// input atom within KELMAR_SITE_TOLERANCE are one position; images of different input atoms are
// merged only when type, state and occupancy agree too, with a warning naming both labels, and
// partly occupied images merged across more than rounding are reported. After the call `flag`
// holds the 1-based index of the input atom each atom came from. 0 or 1.
int kelmar_atom_spawn_by_symmetry(std::vector<KELMAR_ATOM>& atom, const KELMAR_SYMMETRY* symmetry,
                                  const double lattice[3][3]);
// Drops atoms that are marked (`ignored`) or equal an earlier unmarked atom. 0 or 1.
int kelmar_atom_remove_duplicate(std::vector<KELMAR_ATOM>& atom);
bool kelmar_atom_equal(const KELMAR_ATOM& a, const KELMAR_ATOM& b);
bool kelmar_atom_belong(const KELMAR_ATOM& target, const KELMAR_ATOM* atom, long total);

// The setting of the settings file that the structure fits with the most operations (the first of
// them in file order), allowing a shift of origin; null when none fits.
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_calculate_from_cell(KELMAR_CELL* cell, double accuracy,
                                                                     const char* dir_symcards);
// Whether every operation maps the structure onto itself within accuracy (angstrom).
bool kelmar_cell_validate_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, double accuracy);
