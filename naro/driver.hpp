// Driver of the analyser: the run order of NARO.x and the stages it owns.
#pragma once

#include "records.hpp"

// The whole run for one command line; 0 on success, 1 after a fatal failure or when a
// requested structure task could not give its answer.
int NARO(NARO_input& input);

