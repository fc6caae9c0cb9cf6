// The seed of the run's random engine.
#include "cmd-seed.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

bool seed_from_text(const char* text, unsigned* seed) {
    if (text == nullptr || *text == '\0') return false;
    unsigned long long v = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned long long>(*p - '0');
        if (v > std::numeric_limits<unsigned>::max()) return false;
    }
    *seed = static_cast<unsigned>(v);
    return true;
}

int seed_random_engine(RandomEngine* engine) {
    unsigned seed = static_cast<unsigned>(std::time(nullptr));
    if (const char* fixed = std::getenv("KELMAR_SEED"); fixed != nullptr && !seed_from_text(fixed, &seed)) {
        std::fprintf(stderr, "Error: KELMAR_SEED must be a whole number from 0 to %u.\n",
                     std::numeric_limits<unsigned>::max());
        return 1;
    }
    engine->seed(seed);
    return 0;
}
