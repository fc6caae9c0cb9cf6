// The conduction network of a site graph: spanning forests, their fundamental cycles and the
// cheapest loops that percolate in one, two and three dimensions (gh-network.cpp).
#pragma once

#include <memory>
#include <vector>

#include "gh.hpp"

std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_prim_forest(KELMAR_GRAPH* graph);
std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_subgraph_minimum_spanning_forest(KELMAR_GRAPH* graph);
std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_edge_complementary(KELMAR_GRAPH* graph,
                                                                         const KELMAR_GRAPH* forest);
std::unique_ptr<KELMAR_GRAPH_LIST> kelmar_graph_list_cycle_from_spanning_forest(const KELMAR_GRAPH* forest,
                                                                                 KELMAR_GRAPH_EDGE* e);
std::unique_ptr<KELMAR_GRAPH_CYCLE> kelmar_graph_cycle_new_from_list(const KELMAR_GRAPH_LIST* list);
int kelmar_graph_cycle_compare(const KELMAR_GRAPH_CYCLE* a, const KELMAR_GRAPH_CYCLE* b);
void kelmar_graph_cycle_list_sort(KELMAR_GRAPH_CYCLE_LIST* list);
// The fundamental cycles of the forest of lowest barriers and of the forest of lowest saddles,
// each cycle once, sorted; null after the failing step's message.
std::unique_ptr<KELMAR_GRAPH_CYCLE_LIST> kelmar_graph_cycle_list_new_from_graph(KELMAR_GRAPH* graph);
// Drops every cycle that repeats an earlier kept one: barrier within 0.0001 eV, length within
// 0.001 A and the same number of hops. Symmetry-equivalent cycles along different axes count as
// repeats, so this is for listing loops, never for the 1D/2D/3D search. 0, or 1 for a null list.
int kelmar_graph_cycle_list_reduce(KELMAR_GRAPH_CYCLE_LIST* list);
// The closed local loops (zero net translation) with barrier at most e_cutoff and length at most
// l_cutoff, in list order, borrowed from the list, and printed as a cycle list; a negative
// e_cutoff or a non-positive l_cutoff switches that test off.
std::vector<const KELMAR_GRAPH_CYCLE*> kelmar_graph_cycle_list_local_loops(const KELMAR_GRAPH_CYCLE_LIST* list,
                                                                           double e_cutoff, double l_cutoff);
bool kelmar_graph_cycles_is_connected(const KELMAR_GRAPH_CYCLE* const* cycles, long n);
std::unique_ptr<KELMAR_GRAPH_NETWORK> kelmar_graph_network_new_from_cycle_list(const KELMAR_GRAPH_CYCLE_LIST* list);
void kelmar_graph_cycle_print(const KELMAR_GRAPH_CYCLE* cycle);
void kelmar_graph_cycle_list_print(const KELMAR_GRAPH_CYCLE_LIST* list);
void kelmar_graph_network_print(const KELMAR_GRAPH_NETWORK* network);
// Types the half-path points of the cycle's edges (and their reverses) on the fingerprint grid.
void kelmar_graph_cycle_label_path(const KELMAR_GRAPH_CYCLE* cycle, const KELMAR_FPHALF_LIST* list,
                                   KELMAR_FPCUBE* fpcube);
std::unique_ptr<KELMAR_TEXT> kelmar_graph_network_export_to_text(const KELMAR_GRAPH_NETWORK* network,
                                                                 const KELMAR_FPHALF_LIST* list,
                                                                 const KELMAR_FPCUBE* fpcube, const double a[3][3]);
