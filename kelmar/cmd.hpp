// Start-up, data-file discovery, command dispatch and the rules every command handler follows.
#pragma once

#include <memory>
#include <string>

struct KELMAR_TEXT;
struct KELMAR_CELL;
struct KELMAR_SYMMETRY;

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
};

// Handlers return 0 when the command did its work (or printed its usage text) and 1 when an
// "Error:" line was printed and the result was not produced; the process exit status follows.
using KELMAR_CMD_HANDLER = int (*)(KELMAR_CMD_OPT*);

int kelmar_cmd_start(int argc, char** argv);
std::unique_ptr<KELMAR_CMD_OPT> kelmar_cmd_opt_init(int argc, char** argv);
// Splits at the last separator: dir keeps the separator ("./" when there is none).
void kelmar_cmd_opt_split_path(std::string* dir, std::string* name, const char* path);
// Copies the first two characters of str into a 3-character type field.
void kelmar_cmd_opt_get_type(char* type, const char* str);
int kelmar_cmd_opt_print(KELMAR_CMD_OPT* opt);
std::unique_ptr<KELMAR_TEXT> kelmar_cmd_opt_cat_tail(const KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_version(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_help(KELMAR_CMD_OPT* opt);
// The handler of a command word, or null when the word is not a command.
KELMAR_CMD_HANDLER kelmar_cmd_opt_find_handler(const char* word);

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
// (import-os.hpp); false (after the error line) on failure. need_neutral: a cell that stays
// unbalanced is an error here (else a warning, and the commands that need charges refuse it when
// they assemble them); mobile: the element of a landscape's mobile ion.
bool kelmar_cmd_opt_load_structure(const KELMAR_CMD_OPT* opt, const char* cif, std::unique_ptr<KELMAR_CELL>* cell,
                                   std::unique_ptr<KELMAR_SYMMETRY>* sym, bool need_neutral = false,
                                   const char* mobile = nullptr);

// --- the command handlers (one per command word) -------------------------------------------
int kelmar_cmd_opt_do_print_cell(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_ppt(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_ppt_full(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_sym(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_print_cube(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_reduced(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_p1(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_assign(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cif_assign_all(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_gin_lib(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_gin_eam(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_gin(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_gii(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_tot(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gen_cube_tot_eam(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_charge(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv_gui(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_bv_type(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_gii(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_atom(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_type(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_bv(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_cn_gui(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_sym(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_cal_tot_en(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_sd(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_neb(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_rx_neb_images(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_fft(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_fft_cubes(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_fp_map(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_gh(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_kmc(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_sites(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_md(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_cal_bv(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_gen_gin_lib(KELMAR_CMD_OPT* opt);
int kelmar_cmd_opt_do_text_gen_gin_lib_set_sf(KELMAR_CMD_OPT* opt);
