// The run's random numbers.
#include "random.hpp"

#include <cmath>

#include "linalg.hpp"

double kelmar_random(RandomEngine& engine) {
    // 53 bits fill the mantissa of a double exactly, so 1 is never reached.
    return static_cast<double>(engine() >> 11) * 0x1.0p-53;
}

double kelmar_random_normal(RandomEngine& engine, double ave, double sd) {
    double u1, u2;
    do u1 = kelmar_random(engine);
    while (u1 <= 0.0);
    do u2 = kelmar_random(engine);
    while (u2 <= 0.0);
    return ave + sd * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

void kelmar_matrixn3_double_random_normal(RandomEngine& engine, double (*out)[3], long n) {
    for (long i = 0; i < n; i++)
        for (int j = 0; j < 3; j++) out[i][j] = kelmar_random_normal(engine, 0.0, 1.0);
}

void kelmar_matrix33_double_rotation_random(RandomEngine& engine, double out[3][3]) {
    const double r1 = kelmar_random(engine), r2 = kelmar_random(engine), r3 = kelmar_random(engine);
    kelmar_matrix33_double_rotation_euler(out, 6.2831853 * r1, std::acos(2.0 * r2 - 1.0), 6.2831853 * r3);
}

long random_index(RandomEngine& engine, long first, long last) {
    if (last <= first) return first;
    return std::uniform_int_distribution<long>(first, last)(engine);
}
