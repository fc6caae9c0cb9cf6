// Small multigraph used to turn a set of hops into one walk: vertices are minimum
// types (or minimum indices), edges are hops with a weight; parallel edges and loops
// are allowed. Shortest paths, pairing of odd vertices and Euler walks.
#pragma once

#include <cstdio>
#include <vector>

struct NARO_graph_edge {
    int a = 0, b = 0;   // vertex names
    double w = 0;
};

struct NARO_graph_vertice {
    int a = 0;               // name
    int d = 0;               // degree
    int visited = 0;
    int total_path = 0;      // always path.size()
    std::vector<int> path;   // predecessor list from the last shortest-path source
    double dist = -1;
};

struct NARO_graph {
    int total_edge = 0;      // always edge.size()
    std::vector<NARO_graph_edge> edge;
    int total_vertice = 0;   // always vert.size()
    std::vector<NARO_graph_vertice> vert;
};

void NARO_add_edge(NARO_graph& graph, int a, int b, double w);
// Vertices from the edges in order of appearance; each edge adds 1 to both end degrees.
int NARO_build_vert_from_edge(NARO_graph& graph);
void NARO_copy_graph(const NARO_graph& in, NARO_graph& out);
void NARO_free_graph(NARO_graph& graph);
double NARO_graph_total_distance(const NARO_graph& graph);
void NARO_delete_vertice(NARO_graph& graph, int a);
void NARO_decrease_vertice_degree(NARO_graph& graph, int a);
// Dijkstra from source to target. *dist is -1 when the target cannot be reached; with
// path non-null it receives the vertex names from source to target. Returns 1 when the
// source is not in the graph.
int NARO_find_shortest_path(NARO_graph& graph, int source, int target, double* dist, std::vector<int>* path);
// Pairs the odd vertices not listed in excl along the cheapest set of shortest paths,
// duplicating the edges on them. Returns 1 for an odd number of such vertices.
int NARO_handshake_odd_vertices(NARO_graph& graph, const std::vector<int>& excl);
// Walk that uses every edge once (after pairing surplus odd vertices). path gets the
// vertex names, weights one weight per step (path.size() - 1 entries).
int NARO_build_Euler_path(const NARO_graph& graph, std::vector<int>& path, std::vector<double>& weights);
void NARO_print_graph(const NARO_graph& graph, FILE* out);
