// Steepest-descent routes from a saddle point down to the minima it separates.
//
// Every grid saddle has at least two downhill groups of neighbours; walking from each
// lower neighbour always to the lowest neighbour below it ends at a local minimum. The
// walk runs on unwrapped indices, so a route that leaves the cell reaches a periodic
// image of a listed minimum, and the image offset is part of the answer.
#pragma once

#include <vector>

#include "records.hpp"

struct NaroDescentEnd {
    int minimum = -1;         // index in the minima list
    int i = 0, j = 0, l = 0;  // image offset of that minimum, in cells
    std::vector<NARO_path_triple_index> walk;   // unwrapped points from the saddle down to the end
};

// Distinct ends (minimum and image) reached from the saddle at unwrapped grid point
// (x, y, z), in the order of the first neighbour leading to each. Routes whose end
// matches no listed minimum within a voxel are left out.
std::vector<NaroDescentEnd> naro_descend_from_saddle(const NARO_cube& cube, int x, int y, int z);

// As naro_descend_from_saddle, from every point of the saddle's plateau (the grid points of
// its energy joined to it through such points, NARO_find_same_energy_neighbours). A pass
// whose top is a ring or a cross of equal points (a site split into several minima around a
// centre) reaches each of its downhill branches from a different point of the top. A
// plateau too large to be a saddle's leaves the saddle point alone.
std::vector<NaroDescentEnd> naro_descend_from_saddle_top(const NARO_cube& cube, int x, int y, int z);
