// The run's random numbers: one 64-bit Mersenne Twister, seeded once at start-up (cmd-seed.hpp)
// and handed by reference to every step that draws, so that a seed repeats the whole run.
#pragma once

#include <random>

using RandomEngine = std::mt19937_64;

// Uniform in [0, 1): the top 53 bits of one draw.
double kelmar_random(RandomEngine& engine);
// One Box-Muller deviate of mean ave and standard deviation sd (two uniform draws, each redrawn
// while it is 0).
double kelmar_random_normal(RandomEngine& engine, double ave, double sd);
// Fills n 3-vectors with standard normal deviates.
void kelmar_matrixn3_double_random_normal(RandomEngine& engine, double (*out)[3], long n);
// A rotation uniform over orientations: Euler angles 2 pi r1, acos(2 r2 - 1), 2 pi r3.
void kelmar_matrix33_double_rotation_random(RandomEngine& engine, double out[3][3]);
// An index from first to last inclusive, every one equally likely (first when last < first).
long random_index(RandomEngine& engine, long first, long last);
