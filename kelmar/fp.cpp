// Fingerprint of every grid point and the half-paths from the saddles.
#include "fp.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <string>
#include <utility>

#include "cube.hpp"
#include "grid-block.hpp"
#include "huge-pages.hpp"
#include "linalg.hpp"
#include "workshare.hpp"

namespace {

constexpr int kCentre = GRID_BLOCK_CENTRE;
constexpr long kMaxHalfPath = 2000;    // a descent longer than this has lost its way

// Position t = 9 p + 3 q + r of the block; offsets p-1, q-1, r-1.
constexpr int pos_p(int t) { return t / 9; }
constexpr int pos_q(int t) { return (t / 3) % 3; }
constexpr int pos_r(int t) { return t % 3; }

// The positions of the block as bits of a 27-bit set, and the bits of each face: shifting a set
// by 1, 3 or 9 moves it along r, q or p, and the face masks stop a shift from wrapping a row.
constexpr std::uint32_t kBlockBits = (1u << 27) - 1u;
constexpr std::uint32_t face_bits(int axis_stride, int value) {
    std::uint32_t m = 0;
    for (int t = 0; t < 27; ++t)
        if ((t / axis_stride) % 3 == value) m |= 1u << t;
    return m;
}
// Where a shift may land: not on the face it would wrap onto, and never beyond the block.
constexpr std::uint32_t kShiftUpR = kBlockBits & ~face_bits(1, 0), kShiftDownR = kBlockBits & ~face_bits(1, 2);
constexpr std::uint32_t kShiftUpQ = kBlockBits & ~face_bits(3, 0), kShiftDownQ = kBlockBits & ~face_bits(3, 2);

// The set with every position that touches one of its members (26-connectivity), as three
// separable one-step dilations.
constexpr std::uint32_t dilate(std::uint32_t s) {
    const std::uint32_t a = s | ((s << 1) & kShiftUpR) | ((s >> 1) & kShiftDownR);
    const std::uint32_t b = a | ((a << 3) & kShiftUpQ) | ((a >> 3) & kShiftDownQ);
    return (b | (b << 9) | (b >> 9)) & kBlockBits;
}

// The branches of one point: the connected groups of higher (or equal) and of lower neighbours,
// each as a bit set of positions, in the order of their first position.
struct Branches {
    int up = 0, dn = 0;
    std::uint32_t up_set[8];  // the first min(up, 8) are set
    std::uint32_t dn_set[8];
};

// The centre is never in the mask, so groups grow around it, not through it.
int split_groups(std::uint32_t mask, std::uint32_t* sets) {
    int count = 0;
    while (mask != 0) {
        std::uint32_t group = mask & (~mask + 1u);
        for (;;) {
            const std::uint32_t grown = dilate(group) & mask;
            if (grown == group) break;
            group = grown;
        }
        if (count < 8) sets[count] = group;
        ++count;
        mask &= ~group;
    }
    return count;
}

// Whether neighbour t lies below the centre. Equal energies are ordered by grid index, as a
// flood of the grid meets them: a pass that the grid shows as two points of the same energy
// (symmetric landscapes put one between every pair of mirror-related points) is then one point
// with two lower groups, and a plateau has one lowest point, not a minimum on every point.
bool below_centre(const double e[27], const long idx[27], int t) {
    return e[t] < e[kCentre] || (e[t] == e[kCentre] && idx[t] < idx[kCentre]);
}

// Two sets of positions in one word, the second shifted by kPairHigh: no shift of a dilation
// (at most 9) carries a position of one set onto a position of the other.
constexpr int kPairHigh = 36;
constexpr std::uint64_t pair_bits(std::uint32_t m) { return m | (static_cast<std::uint64_t>(m) << kPairHigh); }

// dilate() of both sets at once; positions outside the two blocks are left for the caller to mask.
constexpr std::uint64_t dilate_pair(std::uint64_t s) {
    const std::uint64_t a = s | ((s << 1) & pair_bits(kShiftUpR)) | ((s >> 1) & pair_bits(kShiftDownR));
    const std::uint64_t b = a | ((a << 3) & pair_bits(kShiftUpQ)) | ((a >> 3) & pair_bits(kShiftDownQ));
    return b | (b << 9) | (b >> 9);
}

// Whether each set is one connected group (or empty), as on most points of a landscape: the group
// of each set's first position is grown, both in the same steps, until neither grows.
bool one_group_each(std::uint32_t lower, std::uint32_t higher) {
    const std::uint64_t both = lower | (static_cast<std::uint64_t>(higher) << kPairHigh);
    std::uint64_t grown = (lower & (~lower + 1u)) | (static_cast<std::uint64_t>(higher & (~higher + 1u)) << kPairHigh);
    for (;;) {
        const std::uint64_t next = dilate_pair(grown) & both;
        if (next == grown) break;
        grown = next;
    }
    return grown == both;
}

// The branches of the point whose lower neighbours (the centre not among them) are `lower`.
Branches branches_of(std::uint32_t lower) {
    const std::uint32_t higher = kBlockBits & ~lower & ~(1u << kCentre);
    Branches b;
    if (one_group_each(lower, higher)) {
        b.up = higher != 0;
        b.dn = lower != 0;
        b.up_set[0] = higher;
        b.dn_set[0] = lower;
        return b;
    }
    b.up = split_groups(higher, b.up_set);
    b.dn = split_groups(lower, b.dn_set);
    return b;
}

Branches find_branches(const double e[27], const long idx[27]) {
    // branch-free: on a real landscape the comparisons are as good as random to the predictor
    const double ec = e[kCentre];
    const long ic = idx[kCentre];
    std::uint32_t lower = 0;
#pragma GCC unroll 27
    for (int t = 0; t < 27; ++t)
        lower |= static_cast<std::uint32_t>((e[t] < ec) | ((e[t] == ec) & (idx[t] < ic))) << t;
    return branches_of(lower & ~(1u << kCentre));
}

// The lower neighbours of a point whose block does not wrap round the grid (at least 3 points
// per axis): there the grid index grows with the position, so a neighbour of equal energy is
// lower exactly when its position comes before the centre's.
std::uint32_t lower_inside(const double e[27]) {
    const double ec = e[kCentre];
    std::uint32_t lower = 0;
#pragma GCC unroll 13
    for (int t = 0; t < kCentre; ++t) lower |= static_cast<std::uint32_t>(e[t] <= ec) << t;
#pragma GCC unroll 13
    for (int t = kCentre + 1; t < 27; ++t) lower |= static_cast<std::uint32_t>(e[t] < ec) << t;
    return lower;
}

fpdot_type class_of(int total_up, int total_dn) {
    fpdot_type type;
    switch (total_dn) {
        case 0: type = FP_MIN; break;
        case 1: type = total_up == 1 ? FP_NOR : FP_ERR; break;
        // two or more separate lower groups: the point joins them, the discrete mark of a pass
        // (a flood of the grid merges its pools exactly at such points); four or more occur
        // where symmetry brings several passes onto one point
        default: type = total_dn >= 2 ? FP_SAD : FP_ERR; break;
    }
    if (total_up == 0 && total_dn > 0) type = FP_MAX;
    return type;
}

// The branch-count warnings, as the label visit prints them: before each of the 27 visits, the
// counts of the branches whose first position has been passed.
void branch_warnings(std::string& out, const long x_i[3], const int first_up[], int total_up, const int first_dn[],
                     int total_dn) {
    if (total_up < 4 && total_dn < 9) return;
    char line[160];
    for (int v = 0; v < 27; ++v) {
        int up = 0, dn = 0;
        for (int b = 0; b < total_up; ++b) up += first_up[b] < v;
        for (int b = 0; b < total_dn; ++b) dn += first_dn[b] < v;
        if (up >= 9 || dn >= 9)
            std::snprintf(line, sizeof(line), "Warning: no. of branches exceeds 8 at (%ld,%ld,%ld); there might be an error.\n",
                          x_i[0], x_i[1], x_i[2]);
        else if (up >= 4)
            std::snprintf(line, sizeof(line), "Warning: no. of branches exceeds 4 at (%ld,%ld,%ld); there might be a discontinuity\n",
                          x_i[0], x_i[1], x_i[2]);
        else
            continue;
        out += line;
    }
}

// Lowest (ties: the later position) member of a group.
int lowest_of(std::uint32_t set, const double e[27]) {
    int best = kCentre;
    double bar = e[kCentre];
    for (; set != 0; set &= set - 1) {
        // selects, not jumps: which member is lower is as good as random to the predictor
        const int t = std::countr_zero(set);
        const int take = -static_cast<int>(e[t] <= bar);  // all ones or none
        bar = std::min(bar, e[t]);                        // the same value on a tie
        best ^= (best ^ t) & take;
    }
    return best;
}

int highest_of(std::uint32_t set, const double e[27]) {
    int best = kCentre;
    double bar = e[kCentre];
    for (; set != 0; set &= set - 1) {
        const int t = std::countr_zero(set);
        if (e[t] >= bar) {
            bar = e[t];
            best = t;
        }
    }
    return best;
}

void point_position(const KELMAR_FPCUBE* cube, const long x_i[3], double x[3]) {
    for (int d = 0; d < 3; ++d)
        x[d] = static_cast<double>(x_i[0]) * cube->a_i[0][d] + static_cast<double>(x_i[1]) * cube->a_i[1][d] +
               static_cast<double>(x_i[2]) * cube->a_i[2][d];
}

void grid_index_of(const KELMAR_FPCUBE* cube, long p, long x_i[3]) {
    x_i[2] = p % cube->n[2];
    x_i[1] = (p / cube->n[2]) % cube->n[1];
    x_i[0] = p / (cube->n[2] * cube->n[1]);
}

bool fpcube_ready(const KELMAR_FPCUBE* cube) {
    return cube != nullptr && cube->size() > 0 && static_cast<long>(cube->en.size()) == cube->size() &&
           cube->type.size() == cube->en.size() && cube->branches.size() == cube->en.size() &&
           cube->descent.size() == cube->en.size();
}

// Down-branch representatives of point p, as linear indices, in branch order.
int down_representatives(const KELMAR_FPCUBE* cube, long p, long out[8]) {
    long x_i[3];
    grid_index_of(cube, p, x_i);
    long idx[27];
    grid_block_indices(cube->n, x_i[0], x_i[1], x_i[2], idx);
    double e[27];
    for (int t = 0; t < 27; ++t) e[t] = cube->en[static_cast<std::size_t>(idx[t])];
    const Branches b = find_branches(e, idx);
    const int stored = b.dn < 8 ? b.dn : 8;
    for (int g = 0; g < stored; ++g) out[g] = idx[lowest_of(b.dn_set[g], e)];
    return stored;
}

}  // namespace

// --- the grid ----------------------------------------------------------------------------------

std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new(const long n[3]) {
    if (n == nullptr || n[0] <= 0 || n[1] <= 0 || n[2] <= 0) {
        std::fprintf(stderr, "Error: all arguments must be positive.\n");
        return nullptr;
    }
    long total = 0;
    if (__builtin_mul_overflow(n[0], n[1], &total) || __builtin_mul_overflow(total, n[2], &total)) {
        std::fprintf(stderr, "Error: unable to allocate KELMAR_FPCUBE.\n");
        return nullptr;
    }
    auto cube = std::make_unique<KELMAR_FPCUBE>();
    const std::size_t N = static_cast<std::size_t>(total);
    cube->en.assign(N, 0.0);
    cube->type.assign(N, FP_UND);
    cube->branches.assign(N, 0);
    cube->descent.assign(N, kCentre);
    for (int r = 0; r < 3; ++r) cube->n[r] = n[r];
    return cube;
}

std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new_from_cube(const KELMAR_CUBE* cube) {
    return kelmar_fpcube_new_from_cube_threads(cube, 0);
}

namespace {

bool landscape_ready(const KELMAR_CUBE* landscape) {
    if (landscape == nullptr || landscape->en.size() != landscape->n[0] * landscape->n[1] * landscape->n[2]) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been properly initialized.\n");
        return false;
    }
    return true;
}

// Classifies every point of a grid whose energies are in place; the geometry from landscape.
std::unique_ptr<KELMAR_FPCUBE> fpcube_classify(std::unique_ptr<KELMAR_FPCUBE> cube, const KELMAR_CUBE* landscape,
                                               int threads) {
    const std::size_t N = cube->en.size();
    reserve_huge_pages(cube->type, N);
    reserve_huge_pages(cube->branches, N);
    reserve_huge_pages(cube->descent, N);
    cube->type.assign(N, FP_UND);
    cube->branches.assign(N, 0);
    cube->descent.assign(N, kCentre);
    for (int r = 0; r < 3; ++r) cube->n[r] = landscape->n[r];
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) {
            cube->a[r][d] = landscape->a[r][d];
            cube->a_i[r][d] = landscape->a_i[r][d];
        }
    const long* n = cube->n;
    // warnings are gathered per plane and printed in index order afterwards
    std::vector<std::string> warnings(static_cast<std::size_t>(n[0]));
    KELMAR_FPCUBE* fp = cube.get();
    // offsets of the 27 positions from the centre, for the points whose block does not wrap
    long offset[27];
    for (int t = 0; t < 27; ++t) offset[t] = ((pos_p(t) - 1) * n[1] + pos_q(t) - 1) * n[2] + pos_r(t) - 1;
    // the arrays by plain pointers: a store through a byte pointer would otherwise make the
    // compiler fetch every array's address again after it
    const double* en = fp->en.data();
    std::uint8_t* type = fp->type.data();
    std::uint8_t* branches = fp->branches.data();
    std::uint8_t* descent = fp->descent.data();
    workshare_parts(n[0], threads, [&](long i) {
        long idx[27];
        double e[27];
        const bool inner_plane = i > 0 && i + 1 < n[0];
        for (long j = 0; j < n[1]; ++j)
            for (long k = 0; k < n[2]; ++k) {
                const std::size_t p = static_cast<std::size_t>((i * n[1] + j) * n[2] + k);
                Branches b;
                if (inner_plane && j > 0 && j + 1 < n[1] && k > 0 && k + 1 < n[2]) {
                    const double* centre = en + p;
#pragma GCC unroll 27
                    for (int t = 0; t < 27; ++t) e[t] = centre[offset[t]];
                    b = branches_of(lower_inside(e));
                } else {
                    grid_block_indices(n, i, j, k, idx);
                    for (int t = 0; t < 27; ++t) e[t] = en[static_cast<std::size_t>(idx[t])];
                    b = find_branches(e, idx);
                }
                type[p] = static_cast<std::uint8_t>(class_of(b.up, b.dn));
                branches[p] = static_cast<std::uint8_t>((b.up & 15) | ((b.dn & 15) << 4));
                descent[p] = static_cast<std::uint8_t>(b.dn > 0 ? lowest_of(b.dn_set[0], e) : kCentre);
                if (b.up >= 4 || b.dn >= 9) {
                    int first_up[8], first_dn[8];
                    for (int g = 0; g < b.up && g < 8; ++g) first_up[g] = std::countr_zero(b.up_set[g]);
                    for (int g = 0; g < b.dn && g < 8; ++g) first_dn[g] = std::countr_zero(b.dn_set[g]);
                    const long x_i[3] = {i, j, k};
                    branch_warnings(warnings[static_cast<std::size_t>(i)], x_i, first_up, b.up < 8 ? b.up : 8,
                                    first_dn, b.dn < 8 ? b.dn : 8);
                }
            }
    });
    for (const std::string& w : warnings)
        if (!w.empty()) std::fputs(w.c_str(), stdout);
    return cube;
}

}  // namespace

std::unique_ptr<KELMAR_FPCUBE> kelmar_fpcube_new_from_cube_threads(const KELMAR_CUBE* landscape, int threads) {
    if (!landscape_ready(landscape)) return nullptr;
    // the energies are copied straight in: zeroing them first would cost a pass over the grid
    auto cube = std::make_unique<KELMAR_FPCUBE>();
    cube->en = landscape->en.data;
    return fpcube_classify(std::move(cube), landscape, threads);
}

std::unique_ptr<KELMAR_FPCUBE> fpcube_new_taking_cube(std::unique_ptr<KELMAR_CUBE> landscape, int threads) {
    if (!landscape_ready(landscape.get())) return nullptr;
    auto cube = std::make_unique<KELMAR_FPCUBE>();
    cube->en = std::move(landscape->en.data);
    return fpcube_classify(std::move(cube), landscape.get(), threads);
}

void kelmar_fpcube_free(std::unique_ptr<KELMAR_FPCUBE>& cube) { cube.reset(); }

void kelmar_fpcube_clear_type(KELMAR_FPCUBE* cube) {
    if (cube == nullptr) return;
    std::fill(cube->type.begin(), cube->type.end(), static_cast<std::uint8_t>(FP_UND));
}

long fpgrid_index(const KELMAR_FPCUBE* cube, const long x_i[3]) {
    return (kelmar_mod_long(x_i[0], cube->n[0]) * cube->n[1] + kelmar_mod_long(x_i[1], cube->n[1])) * cube->n[2] +
           kelmar_mod_long(x_i[2], cube->n[2]);
}

KELMAR_FPDOT fpgrid_point(const KELMAR_FPCUBE* cube, long p) {
    KELMAR_FPDOT dot;
    long x_i[3];
    grid_index_of(cube, p, x_i);
    kelmar_fpdot_cluster(cube, x_i, &dot);
    kelmar_fpdot_classify(&dot, false);
    kelmar_fpdot_branch(cube, &dot);
    dot.type = static_cast<fpdot_type>(cube->type[static_cast<std::size_t>(p)]);
    return dot;
}

// --- one point, step by step ---------------------------------------------------------------------

int kelmar_fpdot_cluster(const KELMAR_FPCUBE* cube, long x_i[3], KELMAR_FPDOT* dot) {
    if (!fpcube_ready(cube) || dot == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_FPCUBE has not been properly initialized.\n");
        return 1;
    }
    for (int r = 0; r < 3; ++r) x_i[r] = kelmar_mod_long(x_i[r], cube->n[r]);
    long idx[27];
    grid_block_indices(cube->n, x_i[0], x_i[1], x_i[2], idx);
    double e[27];
    for (int t = 0; t < 27; ++t) e[t] = cube->en[static_cast<std::size_t>(idx[t])];
    *dot = KELMAR_FPDOT{};
    dot->en = e[kCentre];
    for (int r = 0; r < 3; ++r) dot->x_i[r] = x_i[r];
    point_position(cube, x_i, dot->x);
    int sign[27] = {};
    for (int t = 0; t < 27; ++t)
        if (t != kCentre) sign[t] = below_centre(e, idx, t) ? -1 : 1;
    int block[5][5][5] = {};
    int counter = 1;
    for (int t = 0; t < 27; ++t) {
        if (t == kCentre) continue;
        const int P0 = pos_p(t) + 1, P1 = pos_q(t) + 1, P2 = pos_r(t) + 1;
        int& label = block[P0][P1][P2];
        for (int d0 = -1; d0 <= 1; ++d0)
            for (int d1 = -1; d1 <= 1; ++d1)
                for (int d2 = -1; d2 <= 1; ++d2) {
                    const int q = block[P0 + d0][P1 + d1][P2 + d2];
                    if (q == 0) continue;
                    const int u = (P0 + d0 - 1) * 9 + (P1 + d1 - 1) * 3 + (P2 + d2 - 1);
                    if (sign[u] != sign[t]) continue;
                    if (label == 0) label = q;
                    else kelmar_fpdot_merge_cluster(block, label, q);
                }
        if (label == 0) {
            label = sign[t] > 0 ? counter : -counter;
            ++counter;
        }
    }
    for (int p = 0; p < 3; ++p)
        for (int q = 0; q < 3; ++q)
            for (int r = 0; r < 3; ++r) dot->cluster[p][q][r] = block[p + 1][q + 1][r + 1];
    return 0;
}

void kelmar_fpdot_merge_cluster(int block[5][5][5], int c1, int c2) {
    if (c1 == c2 || c1 == 0 || c2 == 0) return;
    const int from = c1 > c2 ? c1 : c2;
    const int to = c1 > c2 ? c2 : c1;
    for (int p = 0; p < 5; ++p)
        for (int q = 0; q < 5; ++q)
            for (int r = 0; r < 5; ++r)
                if (block[p][q][r] == from) block[p][q][r] = to;
}

// A branch is one label; branches are counted in the order of their first position. (Of two
// merged lower groups the more negative label survives, so counting lower labels against a
// running minimum would miss a group whose label was replaced by one created later.)
void kelmar_fpdot_classify(KELMAR_FPDOT* dot, bool warn) {
    if (dot == nullptr) return;
    const int* label = &dot->cluster[0][0][0];
    int seen[27];
    int total_seen = 0;
    int first_up[27], first_dn[27];
    dot->total_up = 0;
    dot->total_dn = 0;
    for (int t = 0; t < 27; ++t) {
        if (label[t] == 0) continue;
        bool known = false;
        for (int s = 0; s < total_seen && !known; ++s) known = seen[s] == label[t];
        if (known) continue;
        seen[total_seen++] = label[t];
        if (label[t] > 0) first_up[dot->total_up++] = t;
        else first_dn[dot->total_dn++] = t;
    }
    if (warn) {
        std::string out;
        branch_warnings(out, dot->x_i, first_up, dot->total_up, first_dn, dot->total_dn);
        if (!out.empty()) std::fputs(out.c_str(), stdout);
    }
    dot->type = class_of(dot->total_up, dot->total_dn);
}

void kelmar_fpdot_branch(const KELMAR_FPCUBE* cube, KELMAR_FPDOT* dot) {
    if (!fpcube_ready(cube) || dot == nullptr) return;
    long idx[27];
    grid_block_indices(cube->n, dot->x_i[0], dot->x_i[1], dot->x_i[2], idx);
    double e[27];
    for (int t = 0; t < 27; ++t) e[t] = cube->en[static_cast<std::size_t>(idx[t])];
    const int* label = &dot->cluster[0][0][0];
    int seen[27];
    int total_seen = 0;
    int n_up = 0, n_dn = 0;
    for (int t = 0; t < 8; ++t) dot->up[t] = dot->dn[t] = -1;
    for (int t = 0; t < 27; ++t) {
        if (label[t] == 0) continue;
        bool known = false;
        for (int s = 0; s < total_seen && !known; ++s) known = seen[s] == label[t];
        if (known) continue;
        seen[total_seen++] = label[t];
        std::uint32_t set = 0;
        for (int u = 0; u < 27; ++u)
            if (label[u] == label[t]) set |= 1u << u;
        if (label[t] > 0 && n_up < 8) dot->up[n_up++] = idx[highest_of(set, e)];
        if (label[t] < 0 && n_dn < 8) dot->dn[n_dn++] = idx[lowest_of(set, e)];
    }
}

bool kelmar_fpdot_equal(const KELMAR_FPDOT* a, const KELMAR_FPDOT* b) {
    if (a == nullptr || b == nullptr) return false;
    return a == b || (a->x_i[0] == b->x_i[0] && a->x_i[1] == b->x_i[1] && a->x_i[2] == b->x_i[2]);
}

void kelmar_fpdot_print(const KELMAR_FPDOT* dot) {
    if (dot == nullptr) {
        std::printf("FPDOT: (not allocated)\n");
        return;
    }
    std::printf("FPDOT: (%ld %ld %ld) (%.6f %.6f %.6f)\n", dot->x_i[0], dot->x_i[1], dot->x_i[2], dot->x[0], dot->x[1],
                dot->x[2]);
    std::printf("FPDOT: en = %f\n", dot->en);
    std::printf("FPDOT: type = %d\n", static_cast<int>(dot->type));
    std::printf("FPDOT: up = %d; dn = %d\n", dot->total_up, dot->total_dn);
    for (int p = 0; p < 3; ++p) {
        std::printf("FPDOT: |");
        for (int q = 0; q < 3; ++q)
            std::printf(" %2d %2d %2d |", dot->cluster[p][q][0], dot->cluster[p][q][1], dot->cluster[p][q][2]);
        std::printf("\n");
    }
}

// --- half-paths -------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new_empty() { return std::make_unique<KELMAR_FPHALF_LIST>(); }

std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new(const KELMAR_FPCUBE* cube, long x_i[3]) {
    if (!fpcube_ready(cube)) {
        std::fprintf(stderr, "Error: KELMAR_FPCUBE has not been properly initialized.\n");
        return nullptr;
    }
    for (int r = 0; r < 3; ++r) x_i[r] = kelmar_mod_long(x_i[r], cube->n[r]);
    const long saddle = fpgrid_index(cube, x_i);
    if (cube->type[static_cast<std::size_t>(saddle)] != FP_SAD) {
        std::fprintf(stderr, "Error: dot (%4ld, %4ld, %4ld) is not a saddle point.\n", x_i[0], x_i[1], x_i[2]);
        return nullptr;
    }
    long start[8];
    const int branches = down_representatives(cube, saddle, start);
    auto list = kelmar_fphalf_list_new_empty();
    list->half.resize(static_cast<std::size_t>(branches));
    list->total = branches;
    const long* n = cube->n;
    for (int b = 0; b < branches; ++b) {
        KELMAR_FPHALF& half = list->half[static_cast<std::size_t>(b)];
        half.dot.push_back(saddle);
        long current = start[b];
        for (;;) {
            const std::size_t c = static_cast<std::size_t>(current);
            const int type = cube->type[c];
            if (type != FP_NOR && type != FP_MIN && type != FP_SAD && type != FP_PAT && fpgrid_total_dn(cube, current) != 1) {
                long at[3];
                grid_index_of(cube, current, at);
                std::fprintf(stderr, "Error: wrong dot type %d at (%4ld, %4ld, %4ld).\n", type, at[0], at[1], at[2]);
                const KELMAR_FPDOT dot = fpgrid_point(cube, current);
                kelmar_fpdot_print(&dot);
                return nullptr;
            }
            half.dot.push_back(current);
            if (type == FP_MIN || type == FP_SAD) break;
            if (static_cast<long>(half.dot.size()) >= kMaxHalfPath) {
                std::fprintf(stderr, "Error: failed to descend to the local minimum within %ld steps.\n", kMaxHalfPath);
                return nullptr;
            }
            // steepest-descent neighbour, by index arithmetic
            const int t = cube->descent[c];
            long at[3];
            grid_index_of(cube, current, at);
            const long step[3] = {at[0] + pos_p(t) - 1, at[1] + pos_q(t) - 1, at[2] + pos_r(t) - 1};
            const long next[3] = {step[0] < 0 ? step[0] + n[0] : step[0] == n[0] ? 0 : step[0],
                                  step[1] < 0 ? step[1] + n[1] : step[1] == n[1] ? 0 : step[1],
                                  step[2] < 0 ? step[2] + n[2] : step[2] == n[2] ? 0 : step[2]};
            current = (next[0] * n[1] + next[1]) * n[2] + next[2];
        }
        half.total = static_cast<long>(half.dot.size());
        half.barrier = cube->en[static_cast<std::size_t>(saddle)] - cube->en[static_cast<std::size_t>(half.dot.back())];
    }
    return list;
}

std::unique_ptr<KELMAR_FPHALF_LIST> kelmar_fphalf_list_new_from_fpcube(const KELMAR_FPCUBE* cube) {
    if (!fpcube_ready(cube)) {
        std::fprintf(stderr, "Error: KELMAR_FPCUBE has not been properly initialized.\n");
        return nullptr;
    }
    auto master = kelmar_fphalf_list_new_empty();
    const long total = cube->size();
    for (long p = 0; p < total; ++p) {
        if (cube->type[static_cast<std::size_t>(p)] != FP_SAD) continue;
        long x_i[3];
        grid_index_of(cube, p, x_i);
        auto list = kelmar_fphalf_list_new(cube, x_i);
        if (!list) {
            std::fprintf(stderr, "Error: kelmar_fphalf_list_new() returns NULL.\n");
            return nullptr;
        }
        if (kelmar_fphalf_list_merge(master.get(), list) != 0) {
            std::fprintf(stderr, "Error: kelmar_fphalf_list_merge() returns non-zero.\n");
            return nullptr;
        }
    }
    std::printf("Message: KELMAR_FPCUBE successfully generated containing %ld paths.\n", master->total);
    return master;
}

int kelmar_fphalf_list_merge(KELMAR_FPHALF_LIST* master, std::unique_ptr<KELMAR_FPHALF_LIST>& list) {
    if (master == nullptr || !list || list->total <= 0) {
        std::fprintf(stderr, "Error: KELMAR_FPHALF_LIST has not been initialized properly.\n");
        return 1;
    }
    for (KELMAR_FPHALF& h : list->half) master->half.push_back(std::move(h));
    master->total = static_cast<long>(master->half.size());
    list.reset();
    return 0;
}

int kelmar_fphalf_list_filter(KELMAR_FPHALF_LIST* list, double en) {
    if (list == nullptr || list->total <= 0) {
        std::fprintf(stderr, "Error: KELMAR_FPHALF_LIST has not been properly initialized.\n");
        return 1;
    }
    if (en < 0.0) return 0;
    std::vector<KELMAR_FPHALF> kept;
    for (KELMAR_FPHALF& h : list->half)
        if (!(h.barrier > en)) kept.push_back(std::move(h));
    list->half = std::move(kept);
    list->total = static_cast<long>(list->half.size());
    std::printf("Message: totally %ld paths with barrier lower than %f.\n", list->total, en);
    return 0;
}

int kelmar_fphalf_list_descend_to_minima(const KELMAR_FPCUBE* cube, KELMAR_FPHALF_LIST* list) {
    if (list == nullptr || !fpcube_ready(cube)) {
        std::fprintf(stderr, "Error: KELMAR_FPHALF_LIST has not been properly initialized.\n");
        return 1;
    }
    for (KELMAR_FPHALF& h : list->half) {
        if (h.total < 1) continue;
        long current = h.dot.back();
        while (cube->type[static_cast<std::size_t>(current)] != FP_MIN) {
            if (static_cast<long>(h.dot.size()) >= kMaxHalfPath) {
                std::fprintf(stderr, "Error: failed to descend to the local minimum within %ld steps.\n", kMaxHalfPath);
                return 1;
            }
            long x_i[3], idx[27];
            grid_index_of(cube, current, x_i);
            grid_block_indices(cube->n, x_i[0], x_i[1], x_i[2], idx);
            long lowest = current;
            for (int t = 0; t < 27; ++t) {
                const double et = cube->en[static_cast<std::size_t>(idx[t])], el = cube->en[static_cast<std::size_t>(lowest)];
                if (et < el || (et == el && idx[t] < lowest)) lowest = idx[t];
            }
            if (lowest == current) break;  // no lower neighbour: a minimum in all but its class
            h.dot.push_back(lowest);
            current = lowest;
        }
        h.total = static_cast<long>(h.dot.size());
        h.barrier = cube->en[static_cast<std::size_t>(h.dot.front())] - cube->en[static_cast<std::size_t>(h.dot.back())];
    }
    return 0;
}

void kelmar_fphalf_list_label_path(const KELMAR_FPHALF_LIST* list, KELMAR_FPCUBE* cube) {
    if (list == nullptr || !fpcube_ready(cube)) return;
    for (const KELMAR_FPHALF& h : list->half)
        for (long p : h.dot) {
            std::uint8_t& type = cube->type[static_cast<std::size_t>(p)];
            if (type == FP_UND || type == FP_NOR) type = FP_PAT;
        }
}

void kelmar_fphalf_list_free(std::unique_ptr<KELMAR_FPHALF_LIST>& list) { list.reset(); }

void kelmar_fphalf_list_print(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* cube) {
    if (list == nullptr || cube == nullptr) {
        std::printf("FPHALF_LIST: (not allocated).\n");
        return;
    }
    std::printf("FPHALF_LIST: total half pathes in the list = %ld.\n", list->total);
    for (long e = 0; e < list->total; ++e) {
        const KELMAR_FPHALF& h = list->half[static_cast<std::size_t>(e)];
        if (h.total < 1) {
            std::printf("FPHALF_LIST: [%4ld] empty half path.\n", e);
            continue;
        }
        long a[3], b[3];
        grid_index_of(cube, h.dot.front(), a);
        grid_index_of(cube, h.dot.back(), b);
        std::printf("FPHALF_LIST: [%4ld] (%4ld, %4ld, %4ld)-(%4ld, %4ld, %4ld); length=%2ld, barrier=%f\n", e, a[0],
                    a[1], a[2], b[0], b[1], b[2], h.total, h.barrier);
    }
}

void kelmar_fphalf_print(const KELMAR_FPHALF* half, const KELMAR_FPCUBE* cube) {
    if (half == nullptr || cube == nullptr) {
        std::printf("(not allocated)\n");
        return;
    }
    std::printf("FPHALF: length = %ld; barrier = %f\n", half->total, half->barrier);
    for (long s = 0; s < half->total; ++s) {
        const long p = half->dot[static_cast<std::size_t>(s)];
        long a[3];
        grid_index_of(cube, p, a);
        std::printf("FPHALF: [%4ld] (%4ld, %4ld, %4ld); type = %d, en = %f\n", s, a[0], a[1], a[2],
                    static_cast<int>(cube->type[static_cast<std::size_t>(p)]), cube->en[static_cast<std::size_t>(p)]);
    }
}
