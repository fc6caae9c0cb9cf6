// Partial-sum tree of the hop rates.
#include "kmc-tree.hpp"

#include <algorithm>

void kmc_rate_tree::assign(long n) {
    n_ = n < 0 ? 0 : n;
    leaves_ = 1;
    while (leaves_ < n_) leaves_ *= 2;
    sum_.assign(static_cast<std::size_t>(2 * leaves_), 0.0);
    // every internal node at most once per flush, and the one slot a branch-free write may go past
    level_.assign(static_cast<std::size_t>(leaves_) + 1, 0);
    next_.assign(static_cast<std::size_t>(leaves_) + 1, 0);
    queued_ = 0;
    ascending_ = true;
}

// The parents of the staged leaves are queued without branches: each is written, and the count
// moves past it when it differs from the one before. Leaves staged in ascending order thus queue
// each parent once, in ascending order, and so does every level above; otherwise flush() sorts.
void kmc_rate_tree::stage(long i, double rate) {
    const std::size_t k = static_cast<std::size_t>(leaves_ + i);
    sum_[k] = rate;
    const long parent = static_cast<long>(k / 2);
    if (parent < 1) return;  // a tree of one leaf has nothing above it
    const long last = queued_ > 0 ? level_[static_cast<std::size_t>(queued_ - 1)] : 0;
    ascending_ = ascending_ && parent >= last;
    level_[static_cast<std::size_t>(queued_)] = parent;
    queued_ += parent != last;
}

void kmc_rate_tree::flush() {
    long count = queued_;
    if (!ascending_) {
        std::sort(level_.begin(), level_.begin() + count);
        count = std::unique(level_.begin(), level_.begin() + count) - level_.begin();
    }
    // all leaves share one depth, so each round holds the nodes of one level, ascending
    long* now = level_.data();
    long* up = next_.data();
    while (count > 0) {
        long n = 0, last = 0;  // node 0 is no node: the root's parent ends the climb
        for (long m = 0; m < count; ++m) {
            const std::size_t k = static_cast<std::size_t>(now[m]);
            sum_[k] = sum_[2 * k] + sum_[2 * k + 1];
            const long parent = static_cast<long>(k / 2);
            up[n] = parent;
            n += parent != last;
            last = parent;
        }
        std::swap(now, up);
        count = n;
    }
    queued_ = 0;
    ascending_ = true;
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
