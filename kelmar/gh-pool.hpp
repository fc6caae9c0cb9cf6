// The flooded site graph: hops are opened in order of their saddle energy, and the sites joined
// by open hops form pools that carry the lattice translations of their closed walks. A pool
// percolates in d dimensions once those translations span d; its level is the saddle energy
// then reached minus the lowest site of the pool, dead ends included. This is the quantity a
// flood fill of the landscape's grid measures, where the network's cycle windows
// (gh-network.hpp) measure the loop alone.
#pragma once

#include "gh.hpp"

struct GraphPoolLevels {
    double level[3] = {-1.0, -1.0, -1.0};   // per dimension; -1 when the pool never percolates
    double top[3] = {0.0, 0.0, 0.0};        // the saddle energy at which it first does
    double bottom[3] = {0.0, 0.0, 0.0};     // the lowest site of that pool
};

GraphPoolLevels graph_pool_levels(const KELMAR_GRAPH* graph);

// Prints the pool levels and, for every dimension whose cycle window differs from its pool
// level by more than 0.0005 eV, which of the two the network line gives and why.
void graph_pool_print(const GraphPoolLevels& pool, const KELMAR_GRAPH_NETWORK* network);
