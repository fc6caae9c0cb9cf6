// Structure edits for exporting an analysed structure as CIF: sites for the
// interstitial minima and the saddle points, probe-ion sites moved onto the minima,
// expansion to P1 and supercells with whole occupancies.
#pragma once

#include "records.hpp"

// One site per interstitial minimum type ("i<n>", type "IS", occupancy 1, charge 0) at
// the type's first minimum. Returns the number of sites added.
int naro_export_add_interstitials(NARO_cif& cif, const NARO_cube& cube);
// One site per saddle type ("s<n>", type "SD", occupancy 1, charge 0) at the type's
// first saddle. Returns the number of sites added.
int naro_export_add_saddles(NARO_cif& cif, const NARO_cube& cube);
// Replaces the probe-ion sites by one site per occupied minimum type, with the summed
// occupancy of its ions; labelled by the type's label, or with `relabel` by the probe's
// element and a running number. 1 (with a message) when no probe ion was named.
int naro_export_move_probe_sites(NARO_cif& cif, const NARO_cube& cube, bool relabel);
// Every site at each of its equivalent positions, symmetry x,y,z ("P 1"), labels made
// unique as element and running number. 1 when the operations cannot be applied.
int naro_export_expand_to_p1(NARO_cif& cif);
// n1 x n2 x n3 copies of the P1 cell. Positions shared by partly occupied sites get whole
// atoms: of the M copies of such a position, round(occupancy x M) go to each species, the
// rest stay empty, drawn with std::mt19937 from its reference seed 5489 so that an export
// is repeatable. 1 for factors outside 1..20.
int naro_export_supercell(NARO_cif& cif, int n1, int n2, int n3);
