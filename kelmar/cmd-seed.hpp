// The seed of the run's random engine: the clock, or the whole number in KELMAR_SEED.
#pragma once

#include "random.hpp"

// Reads a seed written as decimal digits only, 0 to 4294967295; false for anything else
// (empty, signs, blanks, other characters, too large).
bool seed_from_text(const char* text, unsigned* seed);

// Seeds the run's engine once: from KELMAR_SEED when it is set, so that random occupancy draws,
// velocities and hops can be repeated, otherwise from the calendar time. A KELMAR_SEED that is not
// such a number prints one "Error:" line and returns 1, leaving the engine as it was.
int seed_random_engine(RandomEngine* engine);
