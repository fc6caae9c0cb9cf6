// Driver of the analyser and the stationary points of the landscape.
#include "NARO.hpp"

int NARO(NARO_input&) { return 0; }
