// Start-up and dispatch of kelmar.x: the entry point, the --version and --help texts, and the
// lookup of a command word in the command table (cmd-table.cpp).
#pragma once

#include "cmd-opt.hpp"

int kelmar_cmd_start(int argc, char** argv);
int kelmar_cmd_opt_do_print_version(KELMAR_CMD_OPT* opt);
// Lists the words of the command table that have a help line.
int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT* opt);
// The handler of a command word, or null when the word is not a command or its handler is not
// built yet.
KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word);
