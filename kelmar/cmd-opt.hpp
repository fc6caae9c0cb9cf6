// The per-run option record of kelmar.x, the rules every command handler follows and the helpers
// handlers share. Dispatch is in cmd.hpp; the handlers are declared in cmd-handlers.hpp.
#pragma once

#include <memory>
#include <string>

#include "random.hpp"

struct KELMAR_TEXT;
struct KELMAR_CELL;
struct KELMAR_SYMMETRY;
struct KELMAR_PROPERTY;

// The per-run option record.
struct KELMAR_CMD_OPT {
    int argc = 0;
    char** argv = nullptr;        // borrowed
    std::string dir_unitary;      // full path of database_unitary.dat
    std::string dir_binary;       // full path of database_binary.dat
    std::string dir_symcards;     // full path of database_symcards.dat
    std::string path_executable;  // directory of the executable, with its trailing separator
    std::string mode_text;        // text-mode key phrase "-:text"
    std::string mode_newline;     // text-mode line break "-:nl"
    RandomEngine random;          // the run's one random engine, seeded at start-up
};

// Handlers return 0 when the command did its work (or printed its usage text) and 1 when an
// "Error:" line was printed and the result was not produced; the process exit status follows.
using KELMAR_CMD_HANDLER = int (*)(KELMAR_CMD_OPT*);

std::unique_ptr<KELMAR_CMD_OPT> kelmar_cmd_opt_init(int argc, char** argv);
// Splits at the last separator: dir keeps the separator ("./" when there is none).
void kelmar_cmd_opt_split_path(std::string* dir, std::string* name, const char* path);
// Copies the first two characters of str into a 3-character type field.
void kelmar_cmd_opt_get_type(char* type, const char* str);
// The --print-sys handler.
int kelmar_cmd_opt_print(KELMAR_CMD_OPT* opt);
std::unique_ptr<KELMAR_TEXT> kelmar_cmd_opt_cat_tail(const KELMAR_CMD_OPT* opt);

// --- helpers shared by the handlers -------------------------------------------------------

// Number parsing with the formatted-scanning rules ("%d", "%ld", "%lf"): leading blanks are
// skipped and trailing text is ignored. On failure prints "Error: wrong parameter <name>.\n"
// to standard error and returns false. A value that does not fit the type, "nan", "inf" and an
// overflowing real are refused the same way.
bool kelmar_cmd_opt_parse_int(const char* arg, const char* name, int* out);
bool kelmar_cmd_opt_parse_long(const char* arg, const char* name, long* out);
bool kelmar_cmd_opt_parse_double(const char* arg, const char* name, double* out);
// Flags read their first character only: with default true, 'f'/'F' makes it false; with default
// false, 't'/'T' makes it true; anything else keeps the default.
bool kelmar_cmd_opt_parse_flag(const char* arg, bool def);
// Output names: the whole input name followed by suffix ("x.cif" -> "x.cif.cif").
std::string kelmar_cmd_opt_name_append(const char* input, const char* suffix);
// The input name without its last four characters, followed by suffix ("x.cif" -> "x.cube").
std::string kelmar_cmd_opt_name_replace4(const char* input, const char* suffix);
// The argument at index i, or null when there is none.
const char* kelmar_cmd_opt_arg(const KELMAR_CMD_OPT* opt, int i);
// Reads a CIF with the run's data files and settles the oxidation states the file leaves out
// (oxidation-states.hpp); false (after the error line) on failure. need_neutral: a cell that stays
// unbalanced is an error here (else a warning, and the commands that need charges refuse it when
// they assemble them); mobile: the element of a landscape's mobile ion.
bool kelmar_cmd_opt_load_structure(const KELMAR_CMD_OPT* opt, const char* cif, std::unique_ptr<KELMAR_CELL>* cell,
                                   std::unique_ptr<KELMAR_SYMMETRY>* sym, bool need_neutral = false,
                                   const char* mobile = nullptr);
// Reads the CIF given on the command line after the text-mode key phrase; false (after the error
// line) on failure.
bool kelmar_cmd_opt_load_structure_text(const KELMAR_CMD_OPT* opt, std::unique_ptr<KELMAR_CELL>* cell,
                                        std::unique_ptr<KELMAR_SYMMETRY>* sym);
// Optional argument i: true when absent (value unchanged) or parsed, false after the error line.
bool kelmar_cmd_opt_optional_double(const KELMAR_CMD_OPT* opt, int i, const char* name, double* value);
bool kelmar_cmd_opt_optional_long(const KELMAR_CMD_OPT* opt, int i, const char* name, long* value);
// The parameter record of cell with the run's data files (mobile species type/os when type is
// given; sf <= 0 searches the screening factor); null after the error line on failure.
std::unique_ptr<KELMAR_PROPERTY> kelmar_cmd_opt_assemble(const KELMAR_CMD_OPT* opt, KELMAR_CELL* cell,
                                                         const char* type, int os, double sf);
