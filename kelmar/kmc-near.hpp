// Points of a periodic cell sorted into bins at least one cutoff wide, so that the points within
// the cutoff of any position are found among the 27 bins around it instead of among all points.
#pragma once

#include <vector>

// Fractional coordinates f of the Cartesian position x in the lattice a (rows): x = f a.
void kmc_fractional(double f[3], const double a[3][3], const double x[3]);

class kmc_near_bins {
public:
    // points: Cartesian positions (n x 3, row-major); cutoff > 0.
    kmc_near_bins(const double a[3][3], const std::vector<double>& points, double cutoff);
    // Appends to out every point index in the bins around x (each once, in ascending order); the
    // caller measures the distances.
    void candidates(const double x[3], std::vector<long>* out) const;

private:
    double a_[3][3];
    long nb_[3] = {1, 1, 1};
    std::vector<long> start_;  // bin b holds item_[start_[b] .. start_[b+1])
    std::vector<long> item_;
    long bin_of(const double x[3], long b[3]) const;
};
