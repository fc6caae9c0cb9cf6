// Strained total energies over listed pair images, and the diagonal stress from them.
#include "rx-strain.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "cell-ops.hpp"
#include "crystal-records.hpp"
#include "workshare.hpp"
#include "rx-energy.hpp"
#include "rx-pair.hpp"

namespace rxstrain {

namespace {

// The neighbour search reaches this much further than a pair's reach: a strain of MAX_STRAIN moves
// an image at 20 A by 0.02 A.
constexpr double MARGIN = 0.05;

}  // namespace

bool StrainImages::build(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!rx_inputs_ready(cell, ppt)) return false;
    long m_plain[3];
    if (!rxpair::image_range(cell, ppt, m_plain, &rmax_)) return false;
    const int* species = nullptr;
    if (!rxpair::species_of_atoms(cell, ppt, &species)) return false;
    // positions as a strain of zero leaves them: from the fractional coordinates
    auto work = kelmar_cell_copy(cell);
    if (!work) return false;
    const double zero[3][3] = {};
    kelmar_cell_deform(work.get(), zero);
    n_ = work->total();
    double len[3];
    for (int k = 0; k < 3; k++) len[k] = work->parameter[k];
    long m[3];
    if (!latimg::image_range_wide(m, len, work->a, rmax_ + MARGIN, 1.0)) return false;
    for (int k = 0; k < 3; k++)
        if (m[k] > std::numeric_limits<std::int16_t>::max()) return false;
    const std::size_t pairs = static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_);
    begin_.assign(pairs + 1, 0);
    h_.clear();
    std::vector<std::vector<Shift>> per_j(static_cast<std::size_t>(n_));
    for (long i = 0; i < n_; i++) {
        const KELMAR_ATOM& ai = work->atom[static_cast<std::size_t>(i)];
        for (auto& v : per_j) v.clear();
        // v = x_j - x_i + T(h) is the plain sum's x_i - x_j + T(-h) reversed
        latimg::for_each_neighbor(*work, m, ai.x, rmax_ + MARGIN,
                                  [&](long j, const latimg::Image& img, const double*, double d2) {
                                      const KELMAR_ATOM& aj = work->atom[static_cast<std::size_t>(j)];
                                      const rxpair::PAIR_TERM t = rxpair::pair_term(ppt, ai, species[i], aj,
                                                                                    species[j], rmax_);
                                      const double reach = t.reach() + MARGIN;
                                      if (t.kind == rxpair::PAIR_TERM::NONE || d2 > reach * reach) return;
                                      per_j[static_cast<std::size_t>(j)].push_back(
                                          {{static_cast<std::int16_t>(-img.h[0]), static_cast<std::int16_t>(-img.h[1]),
                                            static_cast<std::int16_t>(-img.h[2])}});
                                  });
        for (long j = 0; j < n_; j++) {
            // the neighbour loop runs h upwards, so -h comes downwards: reversed, it is the plain order
            const std::vector<Shift>& list = per_j[static_cast<std::size_t>(j)];
            h_.insert(h_.end(), list.rbegin(), list.rend());
            if (h_.size() > std::numeric_limits<std::uint32_t>::max()) return false;
            begin_[static_cast<std::size_t>(i * n_ + j) + 1] = static_cast<std::uint32_t>(h_.size());
        }
    }
    return true;
}

double StrainImages::total_energy(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) const {
    if (!rx_inputs_ready(cell, ppt) || cell->total() != n_) return 0.0;
    const int* species = nullptr;
    if (!rxpair::species_of_atoms(cell, ppt, &species)) return 0.0;
    double sum = 0.0;
    for (long i = 0; i < n_; i++) {
        const KELMAR_ATOM& ai = cell->atom[static_cast<std::size_t>(i)];
        if (ai.ignored) continue;
        for (long j = 0; j < n_; j++) {
            const std::size_t pair = static_cast<std::size_t>(i * n_ + j);
            if (begin_[pair] == begin_[pair + 1]) continue;
            const KELMAR_ATOM& aj = cell->atom[static_cast<std::size_t>(j)];
            const rxpair::PAIR_TERM t = rxpair::pair_term(ppt, ai, species[i], aj, species[j], rmax_);
            const double reach2 = t.reach() * t.reach();
            const bool close_ok = ai.occ + aj.occ > 1.0 && std::strcmp(ai.type, aj.type) != 0;
            const double d0[3] = {ai.x[0] - aj.x[0], ai.x[1] - aj.x[1], ai.x[2] - aj.x[2]};
            latimg::Image img{{0, 0, 0}, cell->a};
            for (std::uint32_t c = begin_[pair]; c < begin_[pair + 1]; c++) {
                for (int k = 0; k < 3; k++) img.h[k] = h_[c].h[k];
                double v[3];
                img.add_stepwise(v, d0);
                const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (d2 > reach2 * 1.0000001) continue;
                const double d = std::sqrt(d2);
                if (!(d >= 0.2 || close_ok)) continue;
                sum += t.energy(d);
            }
        }
    }
    return 7.19982 * sum;
}

int stress_diagonal(double stress[3], const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const StrainImages& list,
                    int threads) {
    if (!rx_inputs_ready(cell, ppt) || stress == nullptr) return 1;
    // energy[2 k + s]: strain element (k, k) = -0.0001 (s = 0) or +0.0001 (s = 1)
    const double delta = 0.0001;
    std::unique_ptr<KELMAR_CELL> work[6];
    for (auto& w : work) {
        w = kelmar_cell_copy(cell);
        if (!w) {
            std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
            return 1;
        }
    }
    double energy[6] = {};
    workshare_parts(6, threads, [&](long e) {
        double deform[3][3] = {};
        deform[e / 2][e / 2] = (e % 2 == 0) ? -delta : delta;
        kelmar_cell_deform(work[e].get(), deform);  // a valid cell: never fails
        energy[e] = list.total_energy(work[e].get(), ppt);
    });
    const double volume = kelmar_cell_calculate_volume(cell);
    for (int k = 0; k < 3; k++) {
        for (int s = 0; s < 2; s++)
            if (energy[2 * k + s] == 0.0) {
                std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns 0.00.\n");
                return 1;
            }
        stress[k] = (energy[2 * k + 1] - energy[2 * k]) / (2 * delta) / volume;
    }
    return 0;
}

}  // namespace rxstrain
