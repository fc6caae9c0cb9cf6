// Reaction pathways: for every channel that becomes percolating as the energy ceiling
// rises, an ordered walk over distinct paths of the library, written as an energy
// profile along a reaction coordinate (NARO_rp.csv).
#pragma once

#include <cstdio>
#include <vector>

#include "records.hpp"
#include "path-library.hpp"
#include "pathway-graph.hpp"
#include "percolation.hpp"

// Path references: k + 1 walks distinct path k from start to end, -(k + 1) backwards.
struct NARO_reaction_pathway {
    int ID = -1;                  // distinct path with the channel's highest saddle at creation
    int initial_dimension = 0;
    int dimension = 0;
    int ribbon = 0;
    int total_path = 0;           // always path.size()
    std::vector<int> path;
};

struct NARO_reaction_pathway_overall {
    int total = 0;                // always rp.size()
    std::vector<NARO_reaction_pathway> rp;
};

struct NARO_connect_list {
    int total = 0;                // always item.size()
    std::vector<int> item;
};

// ---------------------------------------------------------------- assembly
int NARO_build_reaction_pathway(const NARO_cube& cube, NARO_pathlib& pathlib, NARO_reaction_pathway_overall& rp_all);
// Smallest set of the cluster's distinct paths that keeps its dimension and ribbon state;
// backbone_path receives their indices in library order.
int NARO_get_percolating_cluster_backbone(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                          const NARO_cluster& clust, std::vector<int>& backbone_path);
void NARO_cleanup_redundant_pathways(const NARO_pathlib& pathlib, NARO_reaction_pathway_overall& rp_all);
int NARO_append_path_to_reaction_pathway(NARO_reaction_pathway& rp, int n);
// Maps a walk over minimum types to the shortest distinct paths whose saddle stays at or
// below the ceiling.
int NARO_append_minima_path_to_reaction_pathway(NARO_pathlib& pathlib, NARO_reaction_pathway& rp,
                                                const std::vector<int>& minima_path, double ceiling);
int NARO_del_reaction_pathway(NARO_reaction_pathway_overall& rp_all, int p);
void NARO_free_reaction_pathway(NARO_reaction_pathway_overall& rp_all);

// ---------------------------------------------------------------- marks
void NARO_erase_path_plot_characteristics(NARO_pathlib& pathlib);
void NARO_color_path(NARO_path& path, int color, int style, int in_rp);
void NARO_color_pathdimension(NARO_path& path, const NARO_cluster& clust);

// ---------------------------------------------------------------- output
int NARO_concatenate_path(const NARO_cube& cube, const NARO_pathlib& pathlib, NARO_grid_path& grid_path,
                          const NARO_connect_list& connect_list);
// Rows of one joined path; returns the reaction coordinate after its last point.
double NARO_print_path(const NARO_cube& cube, const NARO_grid_path& grid_path, const NARO_pathlib& pathlib,
                       FILE* out, int plot, double reac_coor);
int NARO_print_reaction_pathway(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                const NARO_reaction_pathway_overall& rp_all, FILE* out);
