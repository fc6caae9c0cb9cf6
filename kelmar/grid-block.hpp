// The 3x3x3 block of grid points around a point of a periodic grid, by index arithmetic.
// Position t = 9 p + 3 q + r of the block holds the point at offsets (p-1, q-1, r-1), so the
// positions run with the first offset outermost and each offset from -1 to +1; t = 13 is the
// point itself. Flat indices are (i n[1] + j) n[2] + k.
#pragma once

inline constexpr int GRID_BLOCK_CENTRE = 13;

// Flat indices of the 27 points around (i, j, k) (each index in 0 .. n-1), wrapped periodically.
inline void grid_block_indices(const long n[3], long i, long j, long k, long out[27]) {
    const long I[3] = {i == 0 ? n[0] - 1 : i - 1, i, i + 1 == n[0] ? 0 : i + 1};
    const long J[3] = {j == 0 ? n[1] - 1 : j - 1, j, j + 1 == n[1] ? 0 : j + 1};
    const long K[3] = {k == 0 ? n[2] - 1 : k - 1, k, k + 1 == n[2] ? 0 : k + 1};
#pragma GCC unroll 27
    for (int t = 0; t < 27; ++t) out[t] = (I[t / 9] * n[1] + J[(t / 3) % 3]) * n[2] + K[t % 3];
}
