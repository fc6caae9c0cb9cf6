// The composition a CIF states (_chemical_formula_sum times _cell_formula_units_Z) against the
// composition of the cell a program has read from the sites.
#pragma once

#include <map>
#include <string>

#include "cif-document.hpp"

// Element counts of a formula sum such as "Li7 La3 Zr2 O12", "C2 H8 N O4 P" or "Li6.4 Al0.2 O12"
// (a missing count is 1). False for a text that is no such list.
bool cif_formula_counts(const std::string& formula, std::map<std::string, double>& counts);

struct CifFormulaCheck {
    bool differs = false;  // some element differs by more than the tolerance
    double worst = 0.0;    // largest relative difference
    std::string element;   // the element of the largest difference
    std::string cell;      // the cell's composition, "Li52 La24 Zr16 O96"
    std::string file;      // the file's formula times Z
};

// Compares the cell's counts per element with the block's formula sum times Z, when the block
// gives both; a relative difference over `tolerance` (of the file's count; an element on one side
// only counts as 100 %) sets `differs`.
CifFormulaCheck cif_formula_check(const CifBlock& block, const std::map<std::string, double>& cell,
                                  double tolerance = 0.02);
