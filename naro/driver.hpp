// Driver of the analyser: the whole run of NARO.x for one parsed command line.
#pragma once

#include "records.hpp"

// The whole run for one command line; 0 on success, 1 after a fatal failure or when a
// requested structure task could not give its answer.
int NARO(NARO_input& input);

