// A tree of partial sums over non-negative rates: setting rates and drawing the rate at which a
// running sum reaches a target both take O(log n). Each node holds the sum of eight children,
// added in pairs, then pairs of pairs, then the two halves, so its sums and draws are, to the
// last bit, those of a complete binary tree over the rates; eight children share a cache line.
// The draw gives the same answer as a scan in index order ("the first positive rate at which the
// running sum reaches the target") up to the rounding of the partial sums.
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
    // stage(index[m], rate[m]) for m < n, in one call.
    void stage_many(const int* index, const double* rate, long n);
    void flush();
    double rate(long i) const { return level_[0][static_cast<std::size_t>(i)]; }
    double total() const { return n_ == 0 ? 0.0 : level_.back()[0]; }
    // The index of the first positive rate at which the running sum reaches target (0 <= target
    // <= total()); -1 when every rate is zero.
    long pick(double target) const;

private:
    long n_ = 0;
    // level_[0]: the rates; level_[h][j]: the sum of level_[h-1][8j .. 8j+7]. Every level is
    // padded with zeros to a multiple of eight; the last holds the root alone.
    std::vector<std::vector<double>> level_;
    long parents_ = 0;                // nodes of the first level above the rates
    std::vector<long> queue_, next_;  // nodes of one level waiting for their sums, ascending
    long queued_ = 0;                 // the first queued_ of queue_ wait for the next flush
    bool ascending_ = true;           // queue_ is ascending without repeats
    void compact();                   // sorts the queue and drops repeats
};

// The plain definition the tree reproduces: a scan over rates in index order.
long kmc_pick_linear(const std::vector<double>& rates, double target);
