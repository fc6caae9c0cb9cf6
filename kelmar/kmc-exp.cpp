// Vector exponentials for the rates of the kinetic Monte Carlo. This unit alone is compiled with
// -ffast-math, which is what makes the compiler call glibc's libmvec for the loop below; the
// caller passes finite arguments only, so nothing the flag assumes can be violated here.
#include "kmc-exp.hpp"

#include <cmath>

__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void kmc_exp_many(
    const double* __restrict x, double* __restrict y, long n) {
    for (long i = 0; i < n; ++i) y[i] = std::exp(x[i]);
}
