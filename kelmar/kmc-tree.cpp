// Partial-sum tree of the hop rates.
#include "kmc-tree.hpp"

#include <algorithm>

void kmc_rate_tree::assign(long n) {
    n_ = n < 0 ? 0 : n;
    leaves_ = 1;
    while (leaves_ < n_) leaves_ *= 2;
    sum_.assign(static_cast<std::size_t>(2 * leaves_), 0.0);
    mark_.assign(static_cast<std::size_t>(leaves_), 0u);
    pass_ = 1;
    // every internal node at most once per flush, and the one slot a branch-free write may go past
    level_.assign(static_cast<std::size_t>(leaves_) + 1, 0);
    next_.assign(static_cast<std::size_t>(leaves_) + 1, 0);
    queued_ = 0;
}

// The nodes waiting for their sums are queued without branches: each candidate is written and
// the count moves past it only when its mark is new (a mark repeats in runs the predictor misses).
void kmc_rate_tree::stage(long i, double rate) {
    const std::size_t k = static_cast<std::size_t>(leaves_ + i);
    sum_[k] = rate;
    const std::size_t parent = k / 2;
    if (parent < 1) return;  // a tree of one leaf has nothing above it
    const unsigned fresh = mark_[parent] != pass_;
    mark_[parent] = pass_;
    level_[static_cast<std::size_t>(queued_)] = static_cast<long>(parent);
    queued_ += fresh;
}

void kmc_rate_tree::flush() {
    // all staged leaves share one depth, so each round holds the nodes of one level
    long count = queued_;
    long* now = level_.data();
    long* up = next_.data();
    while (count > 0) {
        long n = 0;
        for (long m = 0; m < count; ++m) {
            const std::size_t k = static_cast<std::size_t>(now[m]);
            sum_[k] = sum_[2 * k] + sum_[2 * k + 1];
            const std::size_t parent = k / 2;
            const unsigned fresh = parent >= 1 && mark_[parent] != pass_;
            mark_[parent] = pass_;  // mark_[0] is a spare slot: the root's parent
            up[n] = static_cast<long>(parent);
            n += fresh;
        }
        std::swap(now, up);
        count = n;
    }
    queued_ = 0;
    if (++pass_ == 0) {  // wrapped: old marks could collide
        std::fill(mark_.begin(), mark_.end(), 0u);
        pass_ = 1;
    }
}

void kmc_rate_tree::set(long i, double rate) {
    std::size_t k = static_cast<std::size_t>(leaves_ + i);
    sum_[k] = rate;
    // parents are recomputed from their children, so no rounding drift builds up
    for (k /= 2; k >= 1; k /= 2) sum_[k] = sum_[2 * k] + sum_[2 * k + 1];
}

long kmc_rate_tree::pick(double target) const {
    if (n_ == 0 || !(total() > 0.0)) return -1;
    std::size_t k = 1;
    const std::size_t first_leaf = static_cast<std::size_t>(leaves_);
    while (k < first_leaf) {
        const double left = sum_[2 * k];
        // enter only a subtree with a positive sum: rounding can never land on a zero rate
        if ((target <= left && left > 0.0) || !(sum_[2 * k + 1] > 0.0)) {
            k = 2 * k;
        } else {
            target -= left;
            k = 2 * k + 1;
        }
    }
    return static_cast<long>(k - first_leaf);
}

long kmc_pick_linear(const std::vector<double>& rates, double target) {
    double run = 0.0;
    for (std::size_t i = 0; i < rates.size(); ++i) {
        if (!(rates[i] > 0.0)) continue;
        run += rates[i];
        if (run >= target) return static_cast<long>(i);
    }
    return -1;
}
