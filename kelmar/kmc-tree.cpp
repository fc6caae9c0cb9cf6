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
    level_.clear();
    next_.clear();
}

void kmc_rate_tree::stage(long i, double rate) {
    const std::size_t k = static_cast<std::size_t>(leaves_ + i);
    sum_[k] = rate;
    const std::size_t parent = k / 2;
    if (parent >= 1 && mark_[parent] != pass_) {
        mark_[parent] = pass_;
        level_.push_back(static_cast<long>(parent));
    }
}

void kmc_rate_tree::flush() {
    // all staged leaves share one depth, so each round holds the nodes of one level
    while (!level_.empty()) {
        next_.clear();
        for (long node : level_) {
            const std::size_t k = static_cast<std::size_t>(node);
            sum_[k] = sum_[2 * k] + sum_[2 * k + 1];
            const std::size_t parent = k / 2;
            if (parent >= 1 && mark_[parent] != pass_) {
                mark_[parent] = pass_;
                next_.push_back(static_cast<long>(parent));
            }
        }
        level_.swap(next_);
    }
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
