// The conduction network of a landscape held in memory: the same chain as the --gh command
// (fingerprint grid, half-paths, site graph, cheapest percolating loops) without a
// file read or written. The landscape is first taken to the values and cell vectors its cube file
// holds, so that the energies equal those --gh finds on the written file.
#pragma once

#include <memory>

#include "gh-load.hpp"
#include "kelmar.hpp"

struct KELMAR_CUBE;

// The percolation energies of a network (negative: that dimension does not percolate), as
// KELMAR_GRAPH_NETWORK holds them.
struct LandscapeNetworkEnergies {
    double e = 0.0, e_min = 0.0, e_max = 0.0;
    double e1 = -1.0, e1_min = 0.0, e1_max = 0.0;
    double e2 = -1.0, e2_min = 0.0, e2_max = 0.0;
    double e3 = -1.0, e3_min = 0.0, e3_max = 0.0;
    double el = -1.0, el_min = 0.0, el_max = 0.0;
};

// A copy of cube as its periodic cube file reads back: values through " %12.6f", voxel vectors
// through Bohr and "%11.6f".
std::unique_ptr<KELMAR_CUBE> cube_as_written(const KELMAR_CUBE* cube);

// The structure input of the site graph from a cell just read (cell and symmetry are copied;
// states settled as for a landscape of type/os, parameters at screening factor sf); false after
// the error line. name names the structure in messages.
bool graph_structure_from_cell(GraphStructureInput* out, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                               const char* name, const char* type, int os, double sf, const char* dir_unitary,
                               const char* dir_binary);

// The network energies of a landscape of the structure; barrier_cutoff as --gh's barrier_max
// (negative: every half-path). False after the error line.
bool landscape_network_energies(LandscapeNetworkEnergies* out, const KELMAR_CUBE* cube,
                                const GraphStructureInput& structure, double barrier_cutoff);
