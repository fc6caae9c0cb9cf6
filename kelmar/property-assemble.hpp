// Assembly of the complete force-field parameter record of a cell. It sits above the total-energy
// code because the automatic screening factor is the one at which the cell's pressure vanishes:
// parameters (property.hpp, property-derived.hpp) -> energy and stress (rx-energy.hpp) -> the
// screening-factor search (screening-factor.hpp) -> this assembly.
#pragma once

#include <memory>

#include "property-derived.hpp"
#include "property.hpp"

// The complete record for the species of cell (whose atoms are sorted in place), with the mobile
// species (type, os) appended when type is not null. sf <= 0 asks for the automatic search.
std::unique_ptr<KELMAR_PROPERTY> kelmar_property_import_from_cell(KELMAR_CELL* cell, const char* type, int os,
                                                                  double sf, const char* dir_unitary,
                                                                  const char* dir_binary);
// Reads, estimates and derives every entry of a record whose species are set, searching the
// screening factor when ppt->sf <= 0.
int kelmar_property_update(KELMAR_PROPERTY* ppt, KELMAR_CELL* cell, const char* dir_unitary,
                           const char* dir_binary);
