// Partial-sum tree of the hop rates.
#include "kmc-tree.hpp"

void kmc_rate_tree::assign(long n) {
    n_ = n < 0 ? 0 : n;
    leaves_ = 1;
    while (leaves_ < n_) leaves_ *= 2;
    sum_.assign(static_cast<std::size_t>(2 * leaves_), 0.0);
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
