// Exponentials of many numbers at once, through the C library's vector variants of exp (four or
// eight lanes on CPUs that have them, chosen at run time). Each result is within the library's
// stated 4 ulp of the scalar exp; arguments must be finite.
#pragma once

void kmc_exp_many(const double* x, double* y, long n);
