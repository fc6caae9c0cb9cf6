// The command table of kelmar.x (cmd-table.cpp): the lookup of a command word and the --help text.
#pragma once

#include "cmd-opt.hpp"

// Lists the words of the command table that have a help line.
int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT* opt);
// The handler of a command word, or null when the word is not a command or its handler is not
// built yet.
KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word);
