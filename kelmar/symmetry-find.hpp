// The space group of a structure as a symmetry finder sees it: every operation that maps the
// structure onto itself within a tolerance, in the structure's own cell and origin, found with
// spglib. The setting search of symmetry.cpp matches the settings file's records against it,
// allowing the origin shifts under which a record's operations become the structure's.
#pragma once

#include <array>
#include <map>
#include <vector>

#include "kelmar.hpp"

struct FoundSpaceGroup {
    int number = 0;  // International Tables number; 0 when no group was found
    // the operations: for each rotation (row-major, fractional) its translations in [0, 1)
    std::map<std::array<int, 9>, std::vector<std::array<double, 3>>> operation;
    std::vector<std::array<double, 3>> origin;     // origin shifts worth trying (the first is 0)
    double tolerance[3] = {};                      // translation tolerance per axis, fractional
};

// Sites that share a position (mixed occupancy) count as one site whose kind is the list of its
// species and occupancies. tolerance in angstrom (0 or less means 0.01).
FoundSpaceGroup find_space_group(const KELMAR_CELL* cell, double tolerance);

// Whether every operation of the setting, moved to one of the candidate origins, is an operation
// of the found group; origin (when not null) receives the shift that works.
bool setting_fits_found_group(const KELMAR_SYMMETRY& setting, const FoundSpaceGroup& group, double origin[3]);
