// The command table of kelmar.x (cmd-table.cpp): the lookup of a command word and the --help text.
#pragma once

#include "cmd-opt.hpp"

// Lists the words of the command table that have a help line.
int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT* opt);
// The handler of a command word, or null when the word is not a command or its handler is not
// built yet.
KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word);
// Words a run of the command needs: the program, the command word and its compulsory arguments.
// A run with more than the bare command but fewer words prints the usage and fails. 0 when the
// word is not a command.
int kelmar_cmd_opt_required_words(const char* word);
