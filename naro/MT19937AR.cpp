// MT19937 generator (Matsumoto and Nishimura), period 2^19937 - 1.
#include "MT19937AR.hpp"

namespace {
constexpr int N = 624;
constexpr int M = 397;
constexpr std::uint32_t MATRIX_A = 0x9908b0dfU;
constexpr std::uint32_t UPPER_MASK = 0x80000000U;
constexpr std::uint32_t LOWER_MASK = 0x7fffffffU;

std::uint32_t mt[N];
int mti = N + 1;
}  // namespace

void init_genrand(std::uint32_t s) {
    mt[0] = s;
    for (mti = 1; mti < N; mti++)
        mt[mti] = 1812433253U * (mt[mti - 1] ^ (mt[mti - 1] >> 30)) + static_cast<std::uint32_t>(mti);
}

std::uint32_t genrand_int32() {
    static const std::uint32_t mag01[2] = {0x0U, MATRIX_A};
    std::uint32_t y;
    if (mti >= N) {
        if (mti == N + 1) init_genrand(5489U);
        int kk;
        for (kk = 0; kk < N - M; kk++) {
            y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
            mt[kk] = mt[kk + M] ^ (y >> 1) ^ mag01[y & 0x1U];
        }
        for (; kk < N - 1; kk++) {
            y = (mt[kk] & UPPER_MASK) | (mt[kk + 1] & LOWER_MASK);
            mt[kk] = mt[kk + (M - N)] ^ (y >> 1) ^ mag01[y & 0x1U];
        }
        y = (mt[N - 1] & UPPER_MASK) | (mt[0] & LOWER_MASK);
        mt[N - 1] = mt[M - 1] ^ (y >> 1) ^ mag01[y & 0x1U];
        mti = 0;
    }
    y = mt[mti++];
    y ^= (y >> 11);
    y ^= (y << 7) & 0x9d2c5680U;
    y ^= (y << 15) & 0xefc60000U;
    y ^= (y >> 18);
    return y;
}

double genrand_real1() { return genrand_int32() * (1.0 / 4294967295.0); }
