// Structure input and output: CIF reading and writing, space-group settings and symmetry
// operations, and the operations on whole cells (coordinates, reduction, supercells, random
// assignment of partial occupancies).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "import-sym-grid.hpp"
#include "kelmar.hpp"

// =============================================================================================
// CIF reader (import-cif.cpp on the tokenizer of cif-doc.cpp) and writer (import.cpp)
// =============================================================================================

// A loop of a CIF as a table: row 0 holds the tag names (one per column, header order), rows 1..
// hold the values of the data lines, one data line per row. A row that its line does not reach
// is shorter than row 0; kelmar_cif_loop_cell() answers null for such a missing cell.
using KELMAR_CIF_LOOP = std::vector<std::vector<std::string>>;
const char* kelmar_cif_loop_cell(const KELMAR_CIF_LOOP& loop, long r, long c);

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
// Writer: CR LF lines; a null symmetry writes the P1 setting.
std::unique_ptr<KELMAR_TEXT> kelmar_cell_export_cif_to_text(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
int kelmar_cell_export_cif_to_file(const char* filename, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);

// The symmetry of a CIF: operations loop, else H-M symbol, else number, else Hall symbol (the
// settings importers of import-sym.cpp do the lookup).
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_from_array_char_2D(const std::vector<std::string>& lines,
                                                                           const char* dir_symcards);

// Line-level readers over the lines of a file (as split by kelmar_text_segregate_into_rows).
bool kelmar_cell_import_cif_exist_keyword(const char* keyword, const std::vector<std::string>& lines);
// The single value of a tag (text field, quoted or plain); nullopt when absent or empty.
std::optional<std::string> kelmar_cell_import_cif_grep_keyword(const char* keyword,
                                                               const std::vector<std::string>& lines);
// The loop whose header holds keyword; 0 on success, 1 when there is none (with a warning) or
// when a quote is left open (with an error).
int kelmar_cell_import_cif_grep_loop(KELMAR_CIF_LOOP* loop, long* loop_r, long* loop_c, const char* keyword,
                                     const std::vector<std::string>& lines);

// Column readers over the atom loop (atom has one entry per data row). 0 or 1.
int kelmar_cell_import_cif_read_atom_name(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop);
int kelmar_cell_import_cif_read_atom_type(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop);
int kelmar_cell_import_cif_read_atom_typeos(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop,
                                            const KELMAR_CIF_LOOP& loop_type);
int kelmar_cell_import_cif_read_atom(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop);
// Fixed-site column "_atom_site_kelmar_fixed" into `ignored` (read by the relaxation commands).
int kelmar_cell_import_cif_read_atom_constraint(std::vector<KELMAR_ATOM>& atom, const KELMAR_CIF_LOOP& loop);
// The lattice of a structure block (the block as cut by the CIF tokenizer, cif-doc.hpp).
struct CifBlockView;
int kelmar_cell_import_cif_read_lattice(KELMAR_CELL* cell, const CifBlockView& block);

// Atom-list steps of the reader.
int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom);
int kelmar_atom_fork_os(std::vector<KELMAR_ATOM>& atom);
int kelmar_atom_update_default_os(std::vector<KELMAR_ATOM>& atom, const char* dir_unitary);

// =============================================================================================
// Space-group symmetry (import-sym.cpp)
// =============================================================================================

// Fills text, r_f and t_f of the card from an operation text such as "-x+1/2, y, -z".
// 0, or 1 for a null text or a text that is not three components.
int kelmar_card_set_by_text(KELMAR_CARD* card, const char* text);

// Settings-file importers; null (with a message) when nothing matches.
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_HM(const char* symbol, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_Hall(const char* symbol, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_id(const char* id, const char* dir_symcards);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_internal_no(int no, const char* dir_symcards);
// Number of records in the settings file; -1 when it cannot be opened.
int kelmar_symmetry_count_records(const char* dir_symcards);
// Running number (from 1) of the first setting whose H-M texts (hall = false) or Hall symbol
// (hall = true) equal name, compared without blanks, underscores and case (P4322 finds
// 'P 43 2 2'; an ICSD-style origin or axes letter such as 'F d -3 m Z' or 'R -3 m H' names the
// :2 or :H setting). 0 when no setting has it, -1 when the file cannot be opened.
int symcards_record_named(const char* name, bool hall, const char* dir_symcards);
// Completes a list of operations to the group it generates (operations composed until the list
// is closed). The number of operations added, or -1 when the list grows beyond 192 operations
// (no space group has more): such a list is not a set of symmetry operations of one crystal.
int symops_close_group(KELMAR_SYMMETRY* symmetry);

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
// Type, then oxidation state, then occupancy, then natural label order.
void kelmar_atom_sort(KELMAR_ATOM* atom, long total);
inline void kelmar_atom_sort(std::vector<KELMAR_ATOM>& atom) {
    kelmar_atom_sort(atom.data(), static_cast<long>(atom.size()));
}
// Natural order of labels: -1, 0 or 1 (Li2 before Li10).
int kelmar_atom_name_compare(const char* a, const char* b);

// The setting of the settings file that the structure fits with the most operations (the first of
// them in file order), allowing a shift of origin; null when none fits.
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_calculate_from_cell(KELMAR_CELL* cell, double accuracy,
                                                                     const char* dir_symcards);
// Whether every operation maps the structure onto itself within accuracy (angstrom).
bool kelmar_cell_validate_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, double accuracy);

// The grid form of the operations (kelmar_symmetry_fill_card_discrete, the grid passes) is in
// import-sym-grid.hpp, which this header includes.

// =============================================================================================
// Cell operations (import-cell.cpp)
// =============================================================================================

// Lattice vectors from parameter/angle, then Cartesian positions from fractional ones.
void kelmar_cell_update_cartesion(KELMAR_CELL* cell);
// parameter/angle from the lattice vectors, then fractional positions from Cartesian ones.
void kelmar_cell_update_fractional(KELMAR_CELL* cell);
void kelmar_cell_update_lattice_cartesion(KELMAR_CELL* cell);
void kelmar_cell_update_coordinate_cartesion(KELMAR_CELL* cell);
void kelmar_cell_update_lattice_fractional(KELMAR_CELL* cell);
void kelmar_cell_update_coordinate_fractional(KELMAR_CELL* cell);
double kelmar_cell_calculate_volume(const KELMAR_CELL* cell);
void kelmar_cell_bound_fractional(KELMAR_CELL* cell);
// Shortest distance between atom2 and the 27 images of atom1 (Cartesian positions).
double kelmar_cell_min_distance_btw_atoms(const KELMAR_CELL* cell, const KELMAR_ATOM* atom1,
                                          const KELMAR_ATOM* atom2);
// New cell with one atom per orbit (the first of each orbit in list order).
std::unique_ptr<KELMAR_CELL> kelmar_cell_reduce_by_symmetry(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
// Orbit labels 1, 2, ... in `flag`. 0 or 1.
int kelmar_cell_flag_site_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry);
// Sorts the atoms and returns the number of species (type, os); -1 for a null cell.
int kelmar_cell_count_type_os(KELMAR_CELL* cell);
std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell(const KELMAR_CELL* cell, const long n[3]);
// The default supercell factors for a cell (false with a message for a cell without atoms).
bool kelmar_cell_supercell_default_size(const KELMAR_CELL* cell, long n[3]);
std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell_default(const KELMAR_CELL* cell);
// Whether the species shares a site (closer than 0.3 angstrom) with another species.
bool kelmar_cell_partial_occ_at_conducting_site(const KELMAR_CELL* cell, const char* type, int os);
// Mixed sites resolved at random (sorts the input cell's atoms in place).
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_at_conducting_site(KELMAR_CELL* cell, const char* type,
                                                                               int os, RandomEngine& engine);
// Vacancies of one species resolved at random.
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ(const KELMAR_CELL* cell, const char* type, int os,
                                                          RandomEngine& engine);
// Mixed sites, then vacancies, for every species.
std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_all(KELMAR_CELL* cell, RandomEngine& engine);
// Exchange sort by `value`, ascending.
void kelmar_atom_sort_by_value(KELMAR_ATOM* atom, long total);
