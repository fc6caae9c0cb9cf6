// The seed of the run's random generator: the clock, or the whole number in KELMAR_SEED.
#pragma once

// Reads a seed written as decimal digits only, 0 to 4294967295; false for anything else
// (empty, signs, blanks, other characters, too large).
bool seed_from_text(const char* text, unsigned* seed);

// Seeds the generator once for the run: from KELMAR_SEED when it is set, so that random occupancy
// draws can be repeated, otherwise from the calendar time. A KELMAR_SEED that is not such a number
// prints one "Error:" line and returns 1 without seeding.
int seed_random_generator();
