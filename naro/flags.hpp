// Flags of the analyser: the command line into the input record, banner and help text.
#pragma once
#include "records.hpp"

void NARO_init_input(NARO_input& input);
int NARO_isflag(const char* flag);
void NARO_process_command(NARO_input& input, int argc, const char* const* argv);
void NARO_cmd_print_banner();
void NARO_cmd_print_help();
