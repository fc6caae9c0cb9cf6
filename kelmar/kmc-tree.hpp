// A complete binary tree of partial sums over non-negative rates: setting one rate and drawing
// the rate at which a running sum reaches a target both take O(log n). The draw gives the same
// answer as a scan in index order ("the first positive rate at which the running sum reaches the
// target") up to the rounding of the partial sums.
#pragma once

#include <vector>

class kmc_rate_tree {
public:
    // n rates, all zero.
    void assign(long n);
    long size() const { return n_; }
    void set(long i, double rate);
    // Sets a rate and leaves the sums above it for flush(), which brings many changes up at once
    // (each node above them is recomputed once). total() and pick() need the sums flushed. Leaves
    // staged in ascending order are flushed fastest; any order gives the same sums.
    void stage(long i, double rate);
    void flush();
    double rate(long i) const { return sum_[static_cast<std::size_t>(leaves_ + i)]; }
    double total() const { return sum_.empty() ? 0.0 : sum_[1]; }
    // The index of the first positive rate at which the running sum reaches target (0 <= target
    // <= total()); -1 when every rate is zero.
    long pick(double target) const;

private:
    long n_ = 0;
    long leaves_ = 0;           // a power of two >= n; leaf i sits at leaves_ + i
    std::vector<double> sum_;   // sum_[k] = sum_[2k] + sum_[2k+1]
    std::vector<long> level_, next_;  // nodes of one depth waiting for their sums, ascending
    long queued_ = 0;                 // the first queued_ of level_ wait for the next flush
    bool ascending_ = true;           // level_ is ascending without repeats
};

// The plain definition the tree reproduces: a scan over rates in index order.
long kmc_pick_linear(const std::vector<double>& rates, double target);
