// Zeros of a landscape's gradient between its grid points. Every grid cube is split into the six
// tetrahedra of Kuhn's triangulation (one per order of the three axes, each running from the
// cube's lower corner to its upper corner), which fit face to face across neighbouring cubes; on
// each tetrahedron the gradient is interpolated linearly from its four corners. A tetrahedron
// holds a zero when the origin lies strictly inside the hull of its four gradient vectors, and
// the zero's index is the sign of the interpolated Jacobian. Over the periodic cell the indices
// add up to 0, the Euler characteristic of the 3-torus, whatever the landscape: a minimum or a
// second-order saddle counts +1, a first-order saddle or a maximum -1. A zero exactly on a face
// and a tetrahedron whose gradients are degenerate (a flat landscape) hold none.
//
// The gradient may be given in any fixed frame (here its components along the unit cell
// vectors): a fixed linear map of the vectors changes neither the zeros nor, for a frame of
// either handedness applied to both position and gradient, their indices.
#pragma once

#include <vector>

struct FftCellZero {
    long corner[4] = {};     // flat grid indices of the tetrahedron's corners
    double weight[4] = {};   // barycentric weights of the zero, summing to 1
    int index = 0;           // +1 or -1

    // The corner of the largest weight (the first of equal ones): the grid point of the zero.
    int nearest() const {
        int best = 0;
        for (int c = 1; c < 4; ++c)
            if (weight[c] > weight[best]) best = c;
        return best;
    }
};

// Gradient component r of flat grid point p is g[r][p * stride].
struct FftGradientGrid {
    long n[3] = {0, 0, 0};
    const double* g[3] = {nullptr, nullptr, nullptr};
    long stride = 1;
};

// Every zero of the periodic grid, one per grid point (below), in order of the cubes' lower
// corners, then of the tetrahedra; the same for any thread count.
std::vector<FftCellZero> fft_cell_zeros(const FftGradientGrid& grid, int threads);

// The zeros whose nearest corner is grid point x_i (each index in 0 .. n-1), merged as below.
std::vector<FftCellZero> fft_cell_zeros_at(const FftGradientGrid& grid, const long x_i[3]);

// Zeros that share their nearest grid point are one critical point at the grid's resolution (a
// flat point that the interpolation splits, or a pair that cancels): their indices add up. A
// sum of 0 leaves no point; otherwise the zero of that sign nearest the grid point stands for
// them, once per unit of the sum (twice for a degenerate saddle that counts double). The order
// is that of the first zero of each point.
std::vector<FftCellZero> fft_cell_zeros_merge(const std::vector<FftCellZero>& zeros);
