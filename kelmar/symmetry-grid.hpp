// Symmetry on a periodic grid: space-group operations as exact integers acting on grid indices.
//
// A grid of n[0] x n[1] x n[2] points spans one cell; index (i, j, k) sits at fractional
// position (i/n[0], j/n[1], k/n[2]) and flat index (i n[1] + j) n[2] + k (k fastest). An
// operation x' = R x + t maps the grid onto itself only when R is an integer matrix that couples
// axes with equal point counts and every t_k n[k] is an integer; its grid form is then
// index' = R index + t n, wrapped into [0, n). An operation that does not fit would copy values
// to the wrong points, so every routine here either drops it (GridSymmetry::usable) or refuses
// the grid (GridSymmetry::exact, kelmar_card_transform_vector3_long).
//
// Users: the landscape engine (cube-grid.cpp); the FFT critical-point search, fingerprint
// half-paths and the site graph are meant to use the same facility.
#pragma once

#include <cstdint>
#include <vector>

#include "kelmar.hpp"

// --- the integer fields of a card ---------------------------------------------------------------

// Fills r_i (r_f rounded) and t_i (t_f[k] n[k] rounded) of every card for a grid of n points.
// 1 (with a message) for a null symmetry; a card that does not fit the grid still gets its
// rounded form, and kelmar_card_transform_vector3_long refuses it.
int kelmar_symmetry_fill_card_discrete(KELMAR_SYMMETRY* symmetry, const long n[3]);
// out = r_i in + t_i, wrapped into [0, n). Answers 0; answers 1 and sets out to in (wrapped),
// moving nothing, when the card does not fit the grid (gridsym::card_fits_grid) or its integer
// fields were not filled for this grid.
int kelmar_card_transform_vector3_long(long out[3], const long in[3], const long n[3], const KELMAR_CARD* card);

namespace gridsym {

// One operation in grid form: index' = rot index + tran, wrapped into [0, n).
struct GridOp {
    long rot[3][3] = {};
    long tran[3] = {};  // in grid steps
};

// Whether the card maps a grid of n points onto itself: rotation integer within 1e-6, non-zero
// rotation elements only between axes of equal point count, t_k n[k] within 0.01 of an integer.
bool card_fits_grid(const KELMAR_CARD& card, const long n[3]);
// The grid form of a card (rot = round(r_f), tran = round(t_f n)); meaningful when it fits.
GridOp grid_op_of(const KELMAR_CARD& card, const long n[3]);

// One bit per grid point.
class GridMask {
public:
    explicit GridMask(long points) : word_(static_cast<std::size_t>((points + 63) / 64), 0) {}
    bool get(long p) const { return (word_[static_cast<std::size_t>(p >> 6)] >> (p & 63)) & 1u; }
    void set(long p) { word_[static_cast<std::size_t>(p >> 6)] |= std::uint64_t{1} << (p & 63); }

private:
    std::vector<std::uint64_t> word_;
};

// The operations of a space group on one grid.
class GridSymmetry {
public:
    // The cards that fit the grid, in card order; the others are dropped (dropped() counts them).
    static GridSymmetry usable(const KELMAR_SYMMETRY& symmetry, const long n[3]);
    // Every card must fit: false with *misfit set to the first card that does not (out untouched).
    static bool exact(const KELMAR_SYMMETRY& symmetry, const long n[3], GridSymmetry* out, int* misfit = nullptr);

    const long* n() const { return n_; }
    long points() const { return n_[0] * n_[1] * n_[2]; }
    const std::vector<GridOp>& ops() const { return ops_; }
    int dropped() const { return dropped_; }

    // Image of index (i, j, k) under op, as a flat index.
    long image_index(const GridOp& op, long i, long j, long k) const {
        long o[3];
        for (int d = 0; d < 3; ++d)
            o[d] = wrap(op.rot[d][0] * i + op.rot[d][1] * j + op.rot[d][2] * k + op.tran[d], n_[d]);
        return (o[0] * n_[1] + o[1]) * n_[2] + o[2];
    }
    // v modulo n in [0, n): images of indices lie within a cell or two of the grid, so a
    // subtraction or addition nearly always does it without a division (the symmetry passes map
    // every grid point through every operation).
    static long wrap(long v, long n) {
        if (v >= n) {
            v -= n;
            if (v >= n) v %= n;
        } else if (v < 0) {
            v += n;
            if (v < 0) {
                v %= n;
                if (v < 0) v += n;
            }
        }
        return v;
    }
    // Image of an index as an index.
    void image(long out[3], const GridOp& op, const long in[3]) const {
        const long p = image_index(op, in[0], in[1], in[2]);
        out[0] = p / (n_[1] * n_[2]), out[1] = (p / n_[2]) % n_[1], out[2] = p % n_[2];
    }

    // Symmetry-distinct points: walking the grid in flat order, a point is a representative when
    // no earlier representative reaches it by an operation. Flat indices in walking order; each
    // is also marked in *is_rep (a mask of points() bits). Grids up to 2^31 points.
    std::vector<std::int32_t> representatives(GridMask* is_rep) const;
    // Copies each representative's value (values: flat, points() long) to its images, in
    // representative then operation order, wherever the stored value is <= unknown (a signed
    // test, so a negative value left by an overlapping orbit is overwritten too).
    void spread(double* values, const std::vector<std::int32_t>& reps, double unknown) const;

private:
    long n_[3] = {0, 0, 0};
    std::vector<GridOp> ops_;
    int dropped_ = 0;
};

}  // namespace gridsym
