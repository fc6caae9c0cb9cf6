// The parameter record's own operations: allocation, lookup, printing, the species index of a
// cell, the data-file lookups and the validation of a finished record.
#pragma once

#include <memory>
#include <vector>

#include "property-record.hpp"

// --- allocation, lookup, printing ---------------------------------------------------------------

// Fills uni with total zeroed entries; 0, or 1 after a message when total <= 0.
int kelmar_property_unitary_new(std::vector<KELMAR_PROPERTY_UNITARY>* uni, int total);
// Fills bin with a total x total zeroed table; 0, or 1 after a message when total <= 0.
int kelmar_property_binary_new(std::vector<std::vector<KELMAR_PROPERTY_BINARY>>* bin, int total);
// A record with total species, all values zero, sf 0, conducting -1; null for total < 0.
std::unique_ptr<KELMAR_PROPERTY> kelmar_property_new(int total);
std::unique_ptr<KELMAR_PROPERTY> kelmar_property_copy(const KELMAR_PROPERTY* ppt);
// First index whose type and oxidation state match, else -1.
int kelmar_property_find_index(const KELMAR_PROPERTY* ppt, const char* type, int os);
int kelmar_property_set_conducting(KELMAR_PROPERTY* ppt, const char* type, int os);
void kelmar_property_print(const KELMAR_PROPERTY* ppt);
void kelmar_property_print_format(const KELMAR_PROPERTY* ppt);

// --- species index, counts and charge balance ---------------------------------------------------

// Whether the occupancy-weighted oxidation states of the cell add up to zero within
// KELMAR_FORMAL_CHARGE_TOLERANCE of the cation charge; prints the neutrality error when not.
// kelmar_property_import_from_cell (property-assemble.hpp) refuses unbalanced cells with it.
inline constexpr double KELMAR_FORMAL_CHARGE_TOLERANCE = 0.05;
bool kelmar_cell_formal_charge_balanced(const KELMAR_CELL* cell);
int kelmar_property_update_index_by_cell(KELMAR_PROPERTY* ppt, KELMAR_CELL* cell);
int kelmar_property_append_index(KELMAR_PROPERTY* ppt, const char* type, int os);
int kelmar_property_update_read_from_file(KELMAR_PROPERTY* ppt, const char* dir_unitary, const char* dir_binary);
int kelmar_property_estimate(KELMAR_PROPERTY* ppt, const char* dir_binary);
int kelmar_property_calculate_type_count(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);

// --- data files -----------------------------------------------------------------------------------

int kelmar_property_unitary_read_from_file(KELMAR_PROPERTY_UNITARY* uni, const char* type, int os,
                                           const char* dir_unitary);
int kelmar_property_binary_read_from_file(KELMAR_PROPERTY_BINARY* bin, const char* type1, int os1,
                                          const char* type2, int os2, const char* dir_binary);
int kelmar_property_binary_estimate_from_file(KELMAR_PROPERTY_BINARY* bin, const char* dir_binary);
// Sets atom->type and atom->os from the first unitary line with atomic number an; 0 or 1.
int kelmar_property_type_from_atomic_number(int an, KELMAR_ATOM* atom, const char* dir_unitary);
double kelmar_property_hardness_read_from_file(const char* type, int os, const char* dir_hardness);

int kelmar_property_validate_generic(const KELMAR_PROPERTY* ppt);
// The same check; with as_warning the missing value is reported as a warning on standard output,
// for callers that carry on without the parameter set (and say what they use instead).
int property_check_complete(const KELMAR_PROPERTY* ppt, bool as_warning);
