// Quantities derived from the data-file values of a parameter record (effective b, Morse values,
// fractional charges, short-range parabolas, EAM embedding parameter) and the pair functions that
// every energy, force and landscape evaluation uses. Energies are in e^2/A, derivatives in e^2/A^2.
#pragma once

#include "property-record.hpp"

// --- derived parameters ----------------------------------------------------------------------------

int kelmar_property_calculate_effective_b(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);
int kelmar_property_unitary_derived(KELMAR_PROPERTY* ppt);
int kelmar_property_binary_derived(KELMAR_PROPERTY* ppt);
int kelmar_property_calculate_fractional_charge(KELMAR_PROPERTY* ppt, const KELMAR_CELL* cell);
int kelmar_property_binary_pseudopotential(KELMAR_PROPERTY* ppt);
// f1 of every species, from eam_embedding_parameter.
int kelmar_property_calculate_unitary_eam_parameter(KELMAR_PROPERTY* ppt);
// The EAM embedding parameter f1 of species i: over its partners j of opposite sign, the mean of
// t * f0 weighted by count_j, where t is the fitted factor of the (cation, anion) entry; pairs
// without data (f0 = 0) add only their weight. False, with f1 = 0, when no partner is counted.
bool eam_embedding_parameter(const KELMAR_PROPERTY* ppt, int i, double* f1);

// --- pair functions (internal unit; x in A) --------------------------------------------------------

double kelmar_energy_bonding(double x, double d0, double rmin, double b);
double kelmar_energy_bonding_with_energy_shift(double x, double d0, double rmin, double b, double en_s);
double kelmar_energy_bonding_with_energy_shift_and_force_shift(double x, double d0, double rmin, double b,
                                                               double en_s, double f_s, double cutoff);
double kelmar_force_bonding(double x, double d0, double rmin, double b);
double kelmar_force_bonding_with_force_shift(double x, double d0, double rmin, double b, double f_s);
double kelmar_energy_coulombic(double x, double q, double r_eff);
double kelmar_force_coulombic(double x, double q, double r_eff);
double kelmar_pseudopotential_energy_bonding(double x, double a2, double a1, double a0);
double kelmar_pseudopotential_energy_coulombic(double x, double a2, double a1, double a0);
