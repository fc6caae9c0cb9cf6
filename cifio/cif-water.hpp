// Sites named for water or hydroxide (labels Wat1, Hwa; type symbols OH, OH2): their type
// symbols are rewritten to the element they stand for (cif_water_element), so that both
// programs read them as O and H.
#pragma once

#include <string>
#include <vector>

#include "cif-document.hpp"

// Rewrites the block in place: a site whose type symbol is a water or hydroxide name gets the
// element as its type symbol (the _atom_type loop's symbol alike, its oxidation number kept); a
// site without a type symbol whose label is such a name gets one (the column is added when the
// site loop has none). Returns the labels of the sites rewritten, in file order.
std::vector<std::string> cif_block_read_water_names(CifBlock& block);
