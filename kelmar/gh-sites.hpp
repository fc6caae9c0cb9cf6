// The sites summary of a site graph: its vertices grouped into sites (gh-sites.cpp).
#pragma once

#include <memory>
#include <vector>

#include "gh.hpp"

std::unique_ptr<KELMAR_GRAPH_SITES> kelmar_graph_sites_new(const KELMAR_GRAPH* graph, const KELMAR_FPHALF_LIST* list,
                                                           const KELMAR_FPCUBE* fpcube, double de, double dr);
void kelmar_graph_sites_free(std::unique_ptr<KELMAR_GRAPH_SITES>& sites);
void kelmar_graph_sites_print(const KELMAR_GRAPH_SITES* sites);
void kelmar_graph_sites_print_reduced(const KELMAR_GRAPH_SITES* sites);
std::unique_ptr<KELMAR_CELL> kelmar_graph_sites_export_to_cell(const KELMAR_GRAPH_SITES* sites);
