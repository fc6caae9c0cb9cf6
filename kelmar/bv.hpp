// Bond-valence sums per symmetry-inequivalent site and the global instability index.
#pragma once

#include <memory>
#include <vector>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

// Sums per site class; site i is the class of atoms with flag i + 1.
struct KELMAR_BV {
    long total = 0;                 // number N of inequivalent sites
    std::vector<KELMAR_ATOM> atom;  // representative atom of each site
    std::vector<int> multi;         // multiplicity of each site
    std::vector<double> sum;        // signed sum: positive for cations, negative for anions
    std::vector<double> value;      // N x N, row-major: part of sum i from neighbours of class j

    double& at(long i, long j) { return value[static_cast<std::size_t>(i * total + j)]; }
    double at(long i, long j) const { return value[static_cast<std::size_t>(i * total + j)]; }
};

// A record with total sites, all zero; total <= 0 gives an empty record.
std::unique_ptr<KELMAR_BV> kelmar_bv_new(long total);

// Sums of a cell: flags its sites by symmetry, builds the parameters with sf 0.75 (atoms of the
// cell are sorted in place by that step) and clears the flags again.
std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                         const char* dir_unitary, const char* dir_binary);
// Sums for the two species (type1, os1) and (type2, os2) only; the cell is left untouched.
std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_cell_with_type(const KELMAR_CELL* cell,
                                                                   const KELMAR_SYMMETRY* symmetry,
                                                                   const char* type1, int os1, const char* type2,
                                                                   int os2, const char* dir_unitary,
                                                                   const char* dir_binary);
// The parameter record the sums use: the species of the cell at screening factor 0.75, without
// the charge-balance test of the full assembly (atoms of the cell are sorted in place).
std::unique_ptr<KELMAR_PROPERTY> kelmar_bv_property_of_cell(KELMAR_CELL* cell, const char* dir_unitary,
                                                            const char* dir_binary);
// Sums of a cell whose atoms already carry site flags 1..N.
std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_flagged_cell(const KELMAR_CELL* cell,
                                                                 const KELMAR_PROPERTY* ppt);
// The same with every neighbour within 12 A (used by the EAM energy).
std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(const KELMAR_CELL* cell,
                                                                                    const KELMAR_PROPERTY* ppt);
int kelmar_bv_validate_property(const KELMAR_PROPERTY* ppt);

// GII of a cell with its verdict lines, or -1 on failure.
double kelmar_gii_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* dir_unitary,
                                      const char* dir_binary);
double kelmar_gii_calculate_from_bv(const KELMAR_BV* bv);
double kelmar_gii_calculate_from_bv_no_msg(const KELMAR_BV* bv);

// First site whose atom label and oxidation state match, else -1.
long kelmar_bv_find_index(const KELMAR_BV* bv, const char* name, int os);
void kelmar_bv_print(const KELMAR_BV* bv);
void kelmar_bv_print_gui(const KELMAR_BV* bv);
