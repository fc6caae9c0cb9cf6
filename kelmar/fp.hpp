// The fingerprint of a landscape: every grid point splits its 26 neighbours into connected groups
// that lie higher (up branches) and lower (down branches) than itself and is classified from the
// counts; from every saddle one half-path per down branch follows steepest descent on the grid
// to a minimum (or to another saddle).
//
// The grid keeps per point only its energy, its class, its branch counts and its steepest-descent
// neighbour; neighbours are found by index arithmetic with the periodic wrap. The full record of
// a point (labels of all neighbours, representatives of every branch) is rebuilt on request.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct KELMAR_CUBE;
struct KELMAR_CELL;

enum fpdot_type { FP_UND = 0, FP_NOR = 1, FP_MIN = 2, FP_MAX = 3, FP_SAD = 4, FP_PAT = 5, FP_ERR = 6 };

// One grid point with its neighbourhood. Branch representatives are linear grid indices
// ((i n[1] + j) n[2] + k), -1 where there is none.
struct KELMAR_FPDOT {
    double en = 0.0;
    long x_i[3] = {};
    double x[3] = {};
    fpdot_type type = FP_UND;
    int cluster[3][3][3] = {};  // branch label per neighbour: > 0 up, < 0 down, 0 the centre
    int total_up = 0;
    int total_dn = 0;
    long up[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // highest neighbour of each up branch
    long dn[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // lowest neighbour of each down branch
};

// The classified grid. Point p = (i n[1] + j) n[2] + k.
struct KELMAR_FPCUBE {
    std::vector<double> en;             // energies
    std::vector<std::uint8_t> type;     // fpdot_type
    std::vector<std::uint8_t> branches; // total_up in the low four bits, total_dn in the high four
    std::vector<std::uint8_t> descent;  // lowest neighbour of the first down branch, as its position
                                        // (p q r) -> 9 p + 3 q + r in the 3x3x3 block; 13 when none
    double a[3][3] = {};
    double a_i[3][3] = {};
    long n[3] = {0, 0, 0};

    long size() const { return n[0] * n[1] * n[2]; }
};

// One half-path: grid points in order of descent, the saddle first.
struct KELMAR_FPHALF {
    long total = 0;          // points on the path; 0 marks an entry removed by filtering
    std::vector<long> dot;   // linear grid indices
    double barrier = 0.0;    // saddle energy minus end-point energy
};

struct KELMAR_FPHALF_LIST {
    long total = 0;
    std::vector<KELMAR_FPHALF> half;
};

// --- the grid ----------------------------------------------------------------------------------

// Zeroed grid; null after "Error: all arguments must be positive.\n".
std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new(const long n[3]);
// Fully classified grid, using every core.
std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new_from_cube(const KELMAR_CUBE* cube);
// The same with an explicit thread count (0: the hardware's); the result and the printed warnings
// do not depend on it.
std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new_from_cube_threads(const KELMAR_CUBE* cube, int threads);
// The same, taking the landscape's energies over instead of copying them (the landscape is freed).
std::unique_ptr<KELMAR_FPCUBE> fpcube_new_taking_cube(std::unique_ptr<KELMAR_CUBE> landscape, int threads);
void kelmar_fpcube_free(std::unique_ptr<KELMAR_FPCUBE>& cube);
void kelmar_fpcube_clear_type(KELMAR_FPCUBE* cube);

// --- one point, step by step (the plain definition) ------------------------------------------------

// Energy, index (reduced in place), position and branch labels of the point at x_i. 0 or 1.
int kelmar_fpdot_cluster(const KELMAR_FPCUBE* cube, long x_i[3], KELMAR_FPDOT* dot);
// Branch counts and class from the labels; warn prints the branch-count warnings.
void kelmar_fpdot_classify(KELMAR_FPDOT* dot, bool warn = true);
// Representatives of the first eight up and down branches.
void kelmar_fpdot_branch(const KELMAR_FPCUBE* cube, KELMAR_FPDOT* dot);
// Replaces every occurrence of the larger of two non-zero labels by the smaller.
void kelmar_fpdot_merge_cluster(int block[5][5][5], int c1, int c2);
bool kelmar_fpdot_equal(const KELMAR_FPDOT* a, const KELMAR_FPDOT* b);
void kelmar_fpdot_print(const KELMAR_FPDOT* dot);

// --- half-paths -------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new_empty();
// The half-paths of the saddle at x_i (reduced in place); null when it is no saddle or a descent
// fails.
std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new(const KELMAR_FPCUBE* cube, long x_i[3]);
std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new_from_fpcube(const KELMAR_FPCUBE* cube);
// Moves the entries of list to the end of master and frees list. 0 or 1.
int kelmar_fphalf_list_merge(KELMAR_FPHALF_LIST* master, std::unique_ptr<KELMAR_FPHALF_LIST>& list);
int kelmar_fphalf_list_filter(KELMAR_FPHALF_LIST* list, double en);
// Continues every half-path that ends at another saddle by steepest descent (to the lowest of the
// 26 neighbours at each step) until it reaches a minimum, and updates its barrier, so that each
// half-path of a site graph ends at a site. 0, or 1 after an error line when a descent runs
// 2000 points without reaching a minimum.
int kelmar_fphalf_list_descend_to_minima(const KELMAR_FPCUBE* cube, KELMAR_FPHALF_LIST* list);
// Path points that are ordinary (or unclassified) become FP_PAT.
void kelmar_fphalf_list_label_path(const KELMAR_FPHALF_LIST* list, KELMAR_FPCUBE* cube);
void kelmar_fphalf_list_free(std::unique_ptr<KELMAR_FPHALF_LIST>& list);
void kelmar_fphalf_list_print(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* cube);
void kelmar_fphalf_print(const KELMAR_FPHALF* half, const KELMAR_FPCUBE* cube);

// --- reading the grid -------------------------------------------------------------------------------

// The full record of point p, with the class the grid holds now.
KELMAR_FPDOT fpgrid_point(const KELMAR_FPCUBE* cube, long p);
// Linear index of a grid index (wrapped periodically).
long fpgrid_index(const KELMAR_FPCUBE* cube, const long x_i[3]);
inline int fpgrid_total_up(const KELMAR_FPCUBE* cube, long p) { return cube->branches[static_cast<std::size_t>(p)] & 15; }
inline int fpgrid_total_dn(const KELMAR_FPCUBE* cube, long p) { return cube->branches[static_cast<std::size_t>(p)] >> 4; }
