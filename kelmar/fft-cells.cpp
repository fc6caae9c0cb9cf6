// Zeros of the piecewise-linear gradient on Kuhn's tetrahedra of the grid.
#include "fft-cells.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "workshare.hpp"

namespace {

// The six tetrahedra of a cube as corner numbers b = 4 d0 + 2 d1 + d2 (offsets d along the
// axes), from the lower corner 0 to the upper corner 7, and the parity of their axis order.
struct KuhnTetra {
    int corner[4];
    int parity;
};
constexpr KuhnTetra kTetra[6] = {
    {{0, 4, 6, 7}, +1},  // axes 0, 1, 2
    {{0, 4, 5, 7}, -1},  // 0, 2, 1
    {{0, 2, 6, 7}, -1},  // 1, 0, 2
    {{0, 2, 3, 7}, +1},  // 1, 2, 0
    {{0, 1, 5, 7}, +1},  // 2, 0, 1
    {{0, 1, 3, 7}, -1},  // 2, 1, 0
};

using Wide = __int128;

// Exact: components below 2^41 in magnitude keep every product of three below 2^123.
Wide det3(const long long* u, const long long* v, const long long* w) {
    return Wide(u[0]) * (Wide(v[1]) * w[2] - Wide(v[2]) * w[1]) - Wide(u[1]) * (Wide(v[0]) * w[2] - Wide(v[2]) * w[0]) +
           Wide(u[2]) * (Wide(v[0]) * w[1] - Wide(v[1]) * w[0]);
}

// A fixed pseudo-random offset in -1024 .. 1024 per point and component (splitmix64).
long long jitter(long p, int r) {
    unsigned long long z = static_cast<unsigned long long>(p) * 3ULL + static_cast<unsigned long long>(r) + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<long long>(z % 2049ULL) - 1024;
}

// det(u, v, w) computed with the vectors in the order of their grid points, so that the two
// tetrahedra sharing a face round it alike and agree on which side of the face the zero lies.
Wide face_det(long iu, const long long* u, long iv, const long long* v, long iw, const long long* w) {
    int sign = 1;
    if (iu > iv) { std::swap(iu, iv); std::swap(u, v); sign = -sign; }
    if (iv > iw) { std::swap(iv, iw); std::swap(v, w); sign = -sign; }
    if (iu > iv) { std::swap(iu, iv); std::swap(u, v); sign = -sign; }
    return sign > 0 ? det3(u, v, w) : -det3(u, v, w);
}

// The eight corners of the cube whose lower corner is (i, j, k), wrapped, with their gradients.
struct CubeCorners {
    long id[8];
    long long g[8][3];
};

void load_cube(const FftGradientGrid& grid, double scale, long i, long j, long k, CubeCorners* c) {
    const long* n = grid.n;
    const long I[2] = {i, i + 1 == n[0] ? 0 : i + 1};
    const long J[2] = {j, j + 1 == n[1] ? 0 : j + 1};
    const long K[2] = {k, k + 1 == n[2] ? 0 : k + 1};
    for (int b = 0; b < 8; ++b) {
        const long p = (I[b >> 2] * n[1] + J[(b >> 1) & 1]) * n[2] + K[b & 1];
        c->id[b] = p;
        for (int r = 0; r < 3; ++r) c->g[b][r] = std::llround(grid.g[r][p * grid.stride] * scale) + jitter(p, r);
    }
}

// Whether some component keeps one strict sign on all eight corners: then no tetrahedron of the
// cube holds a zero.
bool cube_excluded(const CubeCorners& c) {
    for (int r = 0; r < 3; ++r) {
        bool pos = true, neg = true;
        for (int b = 0; b < 8; ++b) {
            pos = pos && c.g[b][r] > 0;
            neg = neg && c.g[b][r] < 0;
        }
        if (pos || neg) return true;
    }
    return false;
}

bool tetra_zero(const CubeCorners& c, const KuhnTetra& t, FftCellZero* z) {
    const int* v = t.corner;
    // Cramer's rule on [1 1 1 1; g0 g1 g2 g3] lambda = e1: weight c is (-1)^c times the
    // determinant of the other three gradients, over their sum
    Wide C[4];
    C[0] = face_det(c.id[v[1]], c.g[v[1]], c.id[v[2]], c.g[v[2]], c.id[v[3]], c.g[v[3]]);
    C[1] = -face_det(c.id[v[0]], c.g[v[0]], c.id[v[2]], c.g[v[2]], c.id[v[3]], c.g[v[3]]);
    C[2] = face_det(c.id[v[0]], c.g[v[0]], c.id[v[1]], c.g[v[1]], c.id[v[3]], c.g[v[3]]);
    C[3] = -face_det(c.id[v[0]], c.g[v[0]], c.id[v[1]], c.g[v[1]], c.id[v[2]], c.g[v[2]]);
    const bool pos = C[0] > 0 && C[1] > 0 && C[2] > 0 && C[3] > 0;
    const bool neg = C[0] < 0 && C[1] < 0 && C[2] < 0 && C[3] < 0;
    if (!pos && !neg) return false;
    const double sum = static_cast<double>(C[0] + C[1] + C[2] + C[3]);
    for (int q = 0; q < 4; ++q) {
        z->corner[q] = c.id[v[q]];
        z->weight[q] = static_cast<double>(C[q]) / sum;
    }
    // the sum is det[g1 - g0, g2 - g0, g3 - g0]; the corners' offsets have determinant parity
    z->index = (pos ? 1 : -1) * t.parity;
    return true;
}

// Gradients become integers of up to 2^40 (the largest component over the grid), plus a fixed
// offset of up to 2^10 per point: the signs of the determinants are then exact, so two
// tetrahedra that share a face always agree on which side of it the origin lies, and the
// offsets (a relative 1e-9 of the steepest slope) settle the ties of symmetric landscapes, whose
// mirror planes would otherwise put zeros exactly on faces. 0 for a landscape without slope.
double integer_scale(const FftGradientGrid& grid) {
    const long total = grid.n[0] * grid.n[1] * grid.n[2];
    double largest = 0.0;
    for (int r = 0; r < 3; ++r)
        for (long p = 0; p < total; ++p) largest = std::max(largest, std::fabs(grid.g[r][p * grid.stride]));
    return largest > 0.0 && std::isfinite(largest) ? 1099511627776.0 / largest : 0.0;
}

}  // namespace

std::vector<FftCellZero> fft_cell_zeros(const FftGradientGrid& grid, int threads) {
    const long* n = grid.n;
    const double scale = integer_scale(grid);
    if (scale == 0.0) return {};
    std::vector<std::vector<FftCellZero>> found(static_cast<std::size_t>(n[0]));
    workshare_parts(n[0], threads, [&](long i) {
        CubeCorners c;
        FftCellZero z;
        std::vector<FftCellZero>& out = found[static_cast<std::size_t>(i)];
        for (long j = 0; j < n[1]; ++j)
            for (long k = 0; k < n[2]; ++k) {
                load_cube(grid, scale, i, j, k, &c);
                if (cube_excluded(c)) continue;
                for (const KuhnTetra& t : kTetra)
                    if (tetra_zero(c, t, &z)) out.push_back(z);
            }
    });
    std::vector<FftCellZero> all;
    for (auto& plane : found) all.insert(all.end(), plane.begin(), plane.end());
    return fft_cell_zeros_merge(all);
}

std::vector<FftCellZero> fft_cell_zeros_at(const FftGradientGrid& grid, const long x_i[3]) {
    const long* n = grid.n;
    const long p = (x_i[0] * n[1] + x_i[1]) * n[2] + x_i[2];
    std::vector<FftCellZero> out;
    const double scale = integer_scale(grid);
    if (scale == 0.0) return out;
    // the cubes that have the point as a corner, in order of their lower corners
    struct Lower {
        long flat, i, j, k;
    };
    Lower lower[8];
    int count = 0;
    for (int d0 = 0; d0 <= 1; ++d0)
        for (int d1 = 0; d1 <= 1; ++d1)
            for (int d2 = 0; d2 <= 1; ++d2) {
                Lower& l = lower[count++];
                l.i = x_i[0] - d0 < 0 ? n[0] - 1 : x_i[0] - d0;
                l.j = x_i[1] - d1 < 0 ? n[1] - 1 : x_i[1] - d1;
                l.k = x_i[2] - d2 < 0 ? n[2] - 1 : x_i[2] - d2;
                l.flat = (l.i * n[1] + l.j) * n[2] + l.k;
            }
    std::sort(lower, lower + 8, [](const Lower& a, const Lower& b) { return a.flat < b.flat; });
    CubeCorners c;
    FftCellZero z;
    for (int q = 0; q < 8; ++q) {
        if (q > 0 && lower[q].flat == lower[q - 1].flat) continue;  // a grid of one or two points
        load_cube(grid, scale, lower[q].i, lower[q].j, lower[q].k, &c);
        if (cube_excluded(c)) continue;
        for (const KuhnTetra& t : kTetra)
            if (tetra_zero(c, t, &z) && z.corner[z.nearest()] == p) out.push_back(z);
    }
    return fft_cell_zeros_merge(out);
}

std::vector<FftCellZero> fft_cell_zeros_merge(const std::vector<FftCellZero>& zeros) {
    // group by grid point, keeping the order of first appearance
    std::vector<std::pair<long, std::size_t>> at(zeros.size());
    for (std::size_t z = 0; z < zeros.size(); ++z) at[z] = {zeros[z].corner[zeros[z].nearest()], z};
    std::stable_sort(at.begin(), at.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::size_t, std::size_t>> kept;  // (first zero of the point, zero kept)
    for (std::size_t g = 0; g < at.size();) {
        std::size_t h = g;
        int sum = 0;
        while (h < at.size() && at[h].first == at[g].first) sum += zeros[at[h++].second].index;
        if (sum != 0) {
            std::size_t best = at.size();
            double weight = -1.0;
            for (std::size_t q = g; q < h; ++q) {
                const FftCellZero& z = zeros[at[q].second];
                if ((z.index > 0) == (sum > 0) && z.weight[z.nearest()] > weight) {
                    weight = z.weight[z.nearest()];
                    best = at[q].second;
                }
            }
            for (int u = 0; u < (sum > 0 ? sum : -sum); ++u) kept.push_back({at[g].second, best});
        }
        g = h;
    }
    std::stable_sort(kept.begin(), kept.end());
    std::vector<FftCellZero> out;
    out.reserve(kept.size());
    for (const auto& k : kept) out.push_back(zeros[k.second]);
    return out;
}
