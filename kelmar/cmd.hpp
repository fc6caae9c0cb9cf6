// Start-up and dispatch of kelmar.x: the entry point and the --version text; the command words
// and the --help text are in the command table (cmd-table.hpp).
#pragma once

#include "cmd-opt.hpp"

int kelmar_cmd_start(int argc, char** argv);
int kelmar_cmd_opt_do_print_version(KELMAR_CMD_OPT* opt);
