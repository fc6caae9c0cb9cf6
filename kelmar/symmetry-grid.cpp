// Symmetry on a periodic grid: the integer card fields, the fit test and the grid passes
// (images, symmetry-distinct points, spreading).
#include "symmetry-grid.hpp"

#include <cmath>
#include <cstdio>

#include "linalg.hpp"

int kelmar_symmetry_fill_card_discrete(KELMAR_SYMMETRY* symmetry, const long n[3]) {
    if (symmetry == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_SYMMETRY has not been properly initialized.\n");
        return 1;
    }
    for (KELMAR_CARD& card : symmetry->card) {
        for (int i = 0; i < 3; i++) {
            for (int j = 0; j < 3; j++) card.r_i[i][j] = static_cast<int>(std::lround(card.r_f[i][j]));
            card.t_i[i] = std::lround(card.t_f[i] * static_cast<double>(n[i]));
        }
    }
    return 0;
}

int kelmar_card_transform_vector3_long(long out[3], const long in[3], const long n[3], const KELMAR_CARD* card) {
    bool ok = card != nullptr && n[0] > 0 && n[1] > 0 && n[2] > 0 && gridsym::card_fits_grid(*card, n);
    if (ok) {
        const gridsym::GridOp op = gridsym::grid_op_of(*card, n);
        for (int i = 0; i < 3 && ok; i++) {
            if (card->t_i[i] != op.tran[i]) ok = false;
            for (int j = 0; j < 3; j++)
                if (card->r_i[i][j] != op.rot[i][j]) ok = false;
        }
    }
    if (!ok) {
        // an operation that does not fit the grid would land between grid points
        for (int i = 0; i < 3; i++) out[i] = n[i] > 0 ? kelmar_mod_long(in[i], n[i]) : in[i];
        return 1;
    }
    long k[3];
    for (int i = 0; i < 3; i++)
        k[i] = card->r_i[i][0] * in[0] + card->r_i[i][1] * in[1] + card->r_i[i][2] * in[2] + card->t_i[i];
    for (int i = 0; i < 3; i++) out[i] = kelmar_mod_long(k[i], n[i]);
    return 0;
}

namespace gridsym {

bool card_fits_grid(const KELMAR_CARD& card, const long n[3]) {
    for (int r = 0; r < 3; ++r) {
        for (int s = 0; s < 3; ++s) {
            const long v = std::lround(card.r_f[r][s]);
            if (!(std::fabs(card.r_f[r][s] - static_cast<double>(v)) <= 1e-6)) return false;
            if (v != 0 && n[r] != n[s]) return false;
        }
        const double t = card.t_f[r] * static_cast<double>(n[r]);
        if (!(std::fabs(t - std::round(t)) <= 1e-2)) return false;
    }
    return true;
}

GridOp grid_op_of(const KELMAR_CARD& card, const long n[3]) {
    GridOp op;
    for (int r = 0; r < 3; ++r) {
        for (int s = 0; s < 3; ++s) op.rot[r][s] = static_cast<int>(std::lround(card.r_f[r][s]));
        op.tran[r] = std::lround(card.t_f[r] * static_cast<double>(n[r]));
    }
    return op;
}

GridSymmetry GridSymmetry::usable(const KELMAR_SYMMETRY& symmetry, const long n[3]) {
    GridSymmetry g;
    for (int d = 0; d < 3; ++d) g.n_[d] = n[d];
    for (const KELMAR_CARD& c : symmetry.card) {
        if (card_fits_grid(c, n))
            g.ops_.push_back(grid_op_of(c, n));
        else
            ++g.dropped_;
    }
    return g;
}

bool GridSymmetry::exact(const KELMAR_SYMMETRY& symmetry, const long n[3], GridSymmetry* out, int* misfit) {
    for (int c = 0; c < symmetry.total(); ++c)
        if (!card_fits_grid(symmetry.card[static_cast<std::size_t>(c)], n)) {
            if (misfit != nullptr) *misfit = c;
            return false;
        }
    *out = usable(symmetry, n);
    return true;
}

std::vector<std::int32_t> GridSymmetry::representatives(GridMask* is_rep) const {
    GridMask reached(points());
    std::vector<std::int32_t> reps;
    long p = 0;
    for (long i = 0; i < n_[0]; ++i)
        for (long j = 0; j < n_[1]; ++j)
            for (long k = 0; k < n_[2]; ++k, ++p) {
                if (reached.get(p)) continue;
                reached.set(p);
                is_rep->set(p);
                reps.push_back(static_cast<std::int32_t>(p));
                for (const GridOp& op : ops_) reached.set(image_index(op, i, j, k));
            }
    return reps;
}

void GridSymmetry::spread(double* values, const std::vector<std::int32_t>& reps, double unknown) const {
    for (const std::int32_t p : reps) {
        const long i = p / (n_[1] * n_[2]), j = (p / n_[2]) % n_[1], k = p % n_[2];
        const double E = values[p];
        for (const GridOp& op : ops_) {
            const long q = image_index(op, i, j, k);
            if (values[q] <= unknown) values[q] = E;
        }
    }
}

}  // namespace gridsym
