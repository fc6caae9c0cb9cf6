// The site graph of a mobile ion and its conduction network. Every landscape minimum that a
// saddle's half-path reaches is a vertex; every saddle whose two half-paths end at two different
// minima gives a pair of directed edges (one per direction) carrying the saddle energy, the
// barrier from the start vertex, the hop length and the lattice translation of the hop. The
// network part finds the cheapest loops that percolate in one, two and three dimensions.
//
// Vertices and edges live in the graph's two vectors; the pointers between them are borrowed and
// stay valid because the vectors are filled completely before they are linked.
#pragma once

#include <memory>
#include <vector>

struct KELMAR_CELL;
struct KELMAR_PROPERTY;
struct KELMAR_TEXT;
struct KELMAR_FFT;
struct KELMAR_FPCUBE;
struct KELMAR_FPHALF_LIST;

struct KELMAR_GRAPH_EDGE;

struct KELMAR_GRAPH_VERTEX {
    char name[12] = {};        // CIF site label, or an interstitial name
    long x_i[3] = {};          // grid index of the minimum
    double x[3] = {};          // Cartesian position, angstrom
    double occ = 0.0;          // occupancy from the CIF, 0..1
    double eig[3] = {};        // Hessian eigenvalues at the minimum
    double eiv[3][3] = {};     // Hessian eigenvectors (rows)
    double en = 0.0;           // energy of the minimum, eV
    long index = 0;            // position in the vertex vector
    int total_e = 0;           // outgoing edges
    std::vector<KELMAR_GRAPH_EDGE*> e;  // outgoing edges in edge order (borrowed)
    long site = 0;             // equivalence label by energy, 1-based
    KELMAR_GRAPH_VERTEX* sub = nullptr;  // vertex of a derived graph
    bool visited = false;      // scratch flag of searches
    KELMAR_GRAPH_VERTEX* v_b = nullptr;  // scratch link of searches (forest parent)
};

struct KELMAR_GRAPH_EDGE {
    long x_i[3] = {};          // grid index of the saddle
    double x[3] = {};          // Cartesian position of the saddle
    double en = 0.0;           // saddle energy
    double l = 0.0;            // minimum-image distance between the two vertices (a hop to the
                               // start's own image in another cell: the translation's length)
    long index = 0;            // position in the edge vector
    KELMAR_GRAPH_VERTEX* v_i = nullptr;
    KELMAR_GRAPH_VERTEX* v_f = nullptr;
    KELMAR_GRAPH_EDGE* e_r = nullptr;  // reverse edge
    double barrier = 0.0;      // en - v_i->en
    int bound[3] = {};         // lattice translation of v_f as reached by this hop
    int bound_i[3] = {};       // saddle relative to v_i's cell
    int bound_f[3] = {};       // v_f relative to the saddle
    double dir[3] = {};        // unit vector from v_i towards the saddle
    long index_half = -1;      // half-path from this saddle down to v_i
    KELMAR_GRAPH_EDGE* sub = nullptr;  // edge of a derived graph (or of the original graph)
};

struct KELMAR_GRAPH {
    long total_v = 0;
    long total_e = 0;
    std::vector<KELMAR_GRAPH_VERTEX> v;
    std::vector<KELMAR_GRAPH_EDGE> e;  // reverse pairs adjacent: 2k, 2k+1
    long n[3] = {0, 0, 0};
    double a_i[3][3] = {};
    double a[3][3] = {};
    double volume = 0.0;
    char type[3] = {};
    int os = 0;
    double m = 0.0;
    double c = 0.0;          // ions per cubic angstrom
    double total_occ = 0.0;
};

enum site_type { SITE_REA = 0, SITE_SPL = 1, SITE_MER = 2 };

struct KELMAR_GRAPH_SITE {
    char name[12] = {};
    site_type type = SITE_REA;
    double x[3] = {};
    double en = 0.0;
    double occ = 0.0;
    double r = 0.0;
    long label = 0;
    long index = 0;
    int total_near = 0;
    std::vector<long> index_near;
    int total_neigh = 0;
    std::vector<long> index_neigh;
    std::vector<double> barrier;
    int total_split = 0;
    std::vector<long> index_split;
    long index_merge = 0;
};

struct KELMAR_GRAPH_SITES {
    double a[3][3] = {};
    double a_i[3][3] = {};
    double de = 0.0;
    double dr = 0.0;
    long total = 0;
    long total_real = 0;
    long total_split = 0;
    long total_merge = 0;
    std::vector<KELMAR_GRAPH_SITE> site;
};

// A borrowed selection of vertices and edges.
struct KELMAR_GRAPH_LIST {
    long total_v = 0;
    long total_e = 0;
    std::vector<KELMAR_GRAPH_VERTEX*> v;
    std::vector<KELMAR_GRAPH_EDGE*> e;
};

// A closed walk of directed edges.
struct KELMAR_GRAPH_CYCLE {
    long total = 0;
    std::vector<KELMAR_GRAPH_EDGE*> e;
    double barrier = 0.0;    // e_max - e_min
    double e_min = 0.0;      // lowest start-vertex energy
    double e_max = 0.0;      // highest saddle energy
    double l = 0.0;          // summed hop lengths
    int bound[3] = {};       // net lattice translation
};

// Cycles sorted by kelmar_graph_cycle_compare; owns them.
using KELMAR_GRAPH_CYCLE_LIST = std::vector<std::unique_ptr<KELMAR_GRAPH_CYCLE>>;

struct KELMAR_GRAPH_NETWORK {
    const KELMAR_GRAPH_CYCLE* c1 = nullptr;
    const KELMAR_GRAPH_CYCLE* c2[2] = {nullptr, nullptr};
    const KELMAR_GRAPH_CYCLE* c3[3] = {nullptr, nullptr, nullptr};
    const KELMAR_GRAPH_CYCLE* cl = nullptr;
    double e_min = 0.0, e_max = 0.0;
    double e1 = -1.0, e1_min = 0.0, e1_max = 0.0;
    double e2 = -1.0, e2_min = 0.0, e2_max = 0.0;
    double e3 = -1.0, e3_min = 0.0, e3_max = 0.0;
    double el = -1.0, el_min = 0.0, el_max = 0.0;
};

// --- periodic point helpers -------------------------------------------------------------------

bool kelmar_dot_adjacent(const long a[3], const long b[3], const long n[3]);
double kelmar_dot_distance(const double x1[3], const double x2[3], const double a[3][3]);
void kelmar_dot_direction(double out[3], const double from[3], const double to[3], const double a[3][3]);
void kelmar_dot_pivot(double out[3], const double x[3], const double pivot[3], const double a[3][3]);

// --- the site graph ---------------------------------------------------------------------------

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new(long total_v, long total_e);
void kelmar_graph_free(std::unique_ptr<KELMAR_GRAPH>& graph);
// The graph of the half-paths (the fingerprint grid gives their points' classes, energies and
// positions), with Hessians from fft and names and occupancies from the mobile species of cell.
std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_filled(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube,
                                                      const KELMAR_FFT* fft, const KELMAR_CELL* cell,
                                                      const KELMAR_PROPERTY* ppt);
// The same graph with every vertex's eig and eiv left zero, for the commands that never read them
// (--sites, --gh): no derivative of the landscape is computed.
std::unique_ptr<KELMAR_GRAPH> graph_new_without_hessians(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube,
                                                         const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
int kelmar_graph_assign_occ(KELMAR_GRAPH* graph, const KELMAR_CELL* cell);
int kelmar_graph_assign_label(KELMAR_GRAPH* graph, const KELMAR_CELL* cell);
// Links e_r, index and the vertices' edge lists after the edge vector is complete.
void kelmar_graph_link_edges(KELMAR_GRAPH* graph);
void kelmar_graph_print(const KELMAR_GRAPH* graph);
std::unique_ptr<KELMAR_TEXT> kelmar_graph_export_dot_to_text(const KELMAR_GRAPH* graph);
std::unique_ptr<KELMAR_CELL> kelmar_graph_export_to_cell(const KELMAR_GRAPH* graph);
std::unique_ptr<KELMAR_CELL> kelmar_graph_export_sites_to_cell(const KELMAR_GRAPH* graph);
