// MT19937 random numbers for the random choices of the analyser.
#pragma once
#include <cstdint>

void init_genrand(std::uint32_t s);
std::uint32_t genrand_int32();
double genrand_real1();   // [0, 1]
