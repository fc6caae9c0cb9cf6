// Percolation of the path network: clusters of minima joined below an energy ceiling,
// their percolation dimension and the activation energies.
#pragma once

#include <cstdio>
#include <vector>

#include "records.hpp"
#include "path-library.hpp"

// One connected cluster of minima below an energy ceiling.
struct NARO_cluster {
    int mul = 1;          // number of disconnected clusters of this kind
    int dimension = 0;    // percolation dimension 0..3
    int ribbon = 0;       // 1D only: survives the removal of any single node
    int ID = -1;          // distinct path holding the highest saddle
    int total_path = 0;
    std::vector<int> path;   // distinct paths used
    double minimum = 0;      // unscaled
    double maximum = 0;      // unscaled
    NARO_path_triple_index vector[3];   // spanning lattice vectors in grid steps
};

struct NARO_cluster_list {
    int total = 0;
    std::vector<NARO_cluster> clust;
};

// ---------------------------------------------------------------- percolation
void NARO_init_cluster(NARO_cluster& clust);
void NARO_copy_cluster(const NARO_cluster& in, NARO_cluster& out);
int NARO_alloc_path_clust(NARO_cluster_list& list, int total);
void NARO_free_path_clust(NARO_cluster_list& list);

int NARO_analyze_network_at_energy(const NARO_cube& cube, const NARO_pathlib& pathlib,
                                   NARO_cluster_list& clustlist, double energy);
int NARO_analyze_network(const NARO_cube& cube, const NARO_pathlib& pathlib,
                         NARO_cluster_list& clustlist);
// Lattice vectors (grid steps) between nodes of the same minimum; each kept once up to sign.
int NARO_generate_path_vectors(const NARO_cube& cube, int listnum, const int* listmin,
                               const NARO_path_triple_index* listcoor, int* listvecnum,
                               std::vector<NARO_path_triple_index>& listvec);
void NARO_generate_path_dimension(const NARO_cube& cube, int listvecnum,
                                  const std::vector<NARO_path_triple_index>& listvec,
                                  int* dimension, NARO_path_triple_index spanning_vectors[3]);
int NARO_analyze_network_at_saddles(const NARO_cube& cube, const NARO_pathlib& pathlib, FILE* out,
                                    double threshold);
int NARO_calc_activation_energy(const NARO_cube& cube, NARO_pathlib& pathlib);
void NARO_print_clustlist(const NARO_cube& cube, const NARO_pathlib& pathlib,
                          const NARO_cluster_list& clustlist, FILE* out);
void NARO_print_activation_energy(const NARO_pathlib& pathlib, FILE* out);
