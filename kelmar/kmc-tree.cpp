// Partial-sum tree of the hop rates.
#include "kmc-tree.hpp"

#include <algorithm>

namespace {

constexpr long kFan = 8;

long padded(long count) { return (count + kFan - 1) / kFan * kFan; }

// The sum of eight children in the order of a binary tree over them.
double sum_of_eight(const double* c) { return ((c[0] + c[1]) + (c[2] + c[3])) + ((c[4] + c[5]) + (c[6] + c[7])); }

// The binary tree's step between a left and a right subtree: enter only a subtree with a positive
// sum, so rounding can never land on a zero rate. True: go right (target reduced by left).
bool go_right(double* target, double left, double right) {
    if ((*target <= left && left > 0.0) || !(right > 0.0)) return false;
    *target -= left;
    return true;
}

}  // namespace

void kmc_rate_tree::assign(long n) {
    n_ = n < 0 ? 0 : n;
    level_.clear();
    long count = std::max(n_, 1L);
    level_.emplace_back(static_cast<std::size_t>(padded(count)), 0.0);
    do {  // at least one level above the rates, up to a single root
        count = (count + kFan - 1) / kFan;
        level_.emplace_back(static_cast<std::size_t>(padded(count)), 0.0);
    } while (count > 1);
    // every node of the first level above the rates once, and two slots more: a branch-free write
    // may go one past the count, and leaves staged out of order may repeat a parent once before
    // the queue is compacted
    parents_ = (std::max(n_, 1L) + kFan - 1) / kFan;
    queue_.assign(static_cast<std::size_t>(parents_ + 2), 0);
    next_.assign(static_cast<std::size_t>(parents_ + 2), 0);
    queued_ = 0;
    ascending_ = true;
}

void kmc_rate_tree::stage(long i, double rate) {
    const int k = static_cast<int>(i);
    stage_many(&k, &rate, 1);
}

// The parents of the staged leaves are queued without branches: each is written, and the count
// moves past it when it differs from the one before. Leaves staged in ascending order thus queue
// each parent once, in ascending order, and so does every level above; otherwise flush() sorts.
void kmc_rate_tree::stage_many(const int* index, const double* rate, long n) {
    double* leaf = level_[0].data();
    long* queue = queue_.data();
    long queued = queued_;
    bool ascending = ascending_;
    long last = queued > 0 ? queue[queued - 1] : -1;  // the newest queued parent, kept in a register
    for (long m = 0; m < n; ++m) {
        if (queued >= parents_) {  // only leaves out of order can fill it
            queued_ = queued;
            compact();
            queued = queued_;
            last = queue[queued - 1];
        }
        leaf[index[m]] = rate[m];
        const long parent = index[m] / kFan;
        ascending = ascending && parent >= last;
        queue[queued] = parent;
        queued += parent != last;
        last = parent;
    }
    queued_ = queued;
    ascending_ = ascending;
}

void kmc_rate_tree::compact() {
    std::sort(queue_.begin(), queue_.begin() + queued_);
    queued_ = std::unique(queue_.begin(), queue_.begin() + queued_) - queue_.begin();
    ascending_ = true;
}

void kmc_rate_tree::flush() {
    if (!ascending_) compact();
    long count = queued_;
    long* now = queue_.data();
    long* up = next_.data();
    for (std::size_t h = 1; h < level_.size() && count > 0; ++h) {
        const double* below = level_[h - 1].data();
        double* here = level_[h].data();
        long n = 0, last = -1;
        for (long m = 0; m < count; ++m) {
            const long j = now[m];
            here[j] = sum_of_eight(below + kFan * j);
            const long parent = j / kFan;
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
    // parents are recomputed from their children, so no rounding drift builds up
    stage(i, rate);
    flush();
}

long kmc_rate_tree::pick(double target) const {
    if (n_ == 0 || !(total() > 0.0)) return -1;
    long j = 0;
    for (std::size_t h = level_.size() - 1; h >= 1; --h) {
        const double* c = level_[h - 1].data() + kFan * j;
        const double p01 = c[0] + c[1], p23 = c[2] + c[3], p45 = c[4] + c[5], p67 = c[6] + c[7];
        long k = 0;
        if (go_right(&target, p01 + p23, p45 + p67)) k = 4;
        const double* pairs[2] = {k == 0 ? &p01 : &p45, k == 0 ? &p23 : &p67};
        if (go_right(&target, *pairs[0], *pairs[1])) k += 2;
        if (go_right(&target, c[k], c[k + 1])) k += 1;
        j = kFan * j + k;
    }
    return j;
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
