// The automatic screening factor of the Coulomb term, searched with the total-energy code.
#pragma once

#include "property-record.hpp"

// The screening factor at which the mean diagonal stress of the cell changes sign, when
// ppt->sf <= 0 (0.75 when the search fails or leaves 0.55..1.0).
// 0 on success (also when a default is used), non-zero on failure.
int kelmar_property_calculate_screening_factor(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);
