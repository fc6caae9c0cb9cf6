// The supercell copy of a site graph that the kinetic Monte Carlo runs on (kmc-supergraph.cpp).
#pragma once

#include <memory>

#include "gh.hpp"

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_supergraph(const KELMAR_GRAPH* graph, const int s[3]);
