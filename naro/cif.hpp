// Structure model of the analyser: CIF loading/writing, types, sites, symmetry text
// operations, bond-valence sums, GII and cell charge.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "records.hpp"
#include "cif-symops.hpp"

// Locates a data file: "bin/<name>" under the working directory, else the copy beside
// the running executable. Returns the path to open (may not exist).
std::string NARO_data_file_path(const char* name);
// Words of a line separated by blanks (tabs and line ends are not separators).
std::vector<std::string> naro_tokens(const std::string& s);

int NARO_init_cif(NARO_cif& cif);
int NARO_load_cif(const char* file, NARO_cif& cif);
void NARO_free_cif(NARO_cif& cif);
int NARO_copy_cif(const NARO_cif& in, NARO_cif& out);
int NARO_write_cif(const NARO_cif& cif, FILE* out);

void NARO_trim_cif_buffer(std::vector<std::string>& lines, int count);
int NARO_cif_concatenate_lines(const std::vector<std::string>& lines, int first, int last,
                               std::string& out, int size);
void remove_unnecessary_pluses(std::string& s);
int NARO_is_valid_lattice_parameters(const NARO_cif& cif);
int NARO_fill_ox_states_to_sites(NARO_cif& cif);
int NARO_guess_site_ox_from_type_symbol(const NARO_cif& cif, const NARO_site& site, double* ox);
int NARO_update_cif_type_elem(NARO_cif& cif);
void NARO_calc_cif_d_parameters(NARO_cif& cif);
int NARO_fill_symops(NARO_cif& cif);
int NARO_get_symops_from_dat(NARO_cif& cif);
int NARO_refresh_site_mul(NARO_cif& cif);

int NARO_add_cif_type(NARO_cif& cif, const std::string& label, double ox, int* flag);
int NARO_ins_cif_type(NARO_cif& cif, const std::string& label, double ox, int t);
int NARO_add_cif_type_conduc(NARO_cif& cif, const std::string& ion_type, double charge);
int NARO_add_cif_site(NARO_cif& cif, const std::string& label, const std::string& type, double x,
                      double y, double z, int mul, char Wyckoff, double occ, double ox);
int NARO_ins_cif_site(NARO_cif& cif, const NARO_site& site, int t);
int NARO_remove_cif_type(NARO_cif& cif, int t);
int NARO_remove_cif_site(NARO_cif& cif, int t);
int NARO_remove_all_cif_site_by_type(NARO_cif& cif, const std::string& label);

int NARO_symmetry_generate_equivalent_copies(const NARO_cif& cif, NARO_equiv_pos& pos, double x,
                                             double y, double z);
void NARO_free_equiv_pos(NARO_equiv_pos& pos);
int NARO_cif_equal_dbl(double a, double b);
// Angstrom distance of two fractional positions with the metric terms d1..d6; no
// periodic image is sought.
double NARO_distance_frac_cif(const NARO_cif& cif, double x1, double y1, double z1, double x2,
                              double y2, double z2);

// True when a site type names the probe ion: the same text, the same element and
// oxidation state written differently ("Li+" and "Li1+"), or the bare element symbol
// of a site whose charge is not known ("Li").
int NARO_site_is_probe(const NARO_cif& cif, const NARO_site& site);

void NARO_print_cif_latt_param(const NARO_cif& cif, FILE* out);
void NARO_print_cif_symops(const NARO_cif& cif, FILE* out);
void NARO_print_cif_types(const NARO_cif& cif, FILE* out);
void NARO_print_cif_sites(const NARO_cif& cif, FILE* out);
void NARO_print_cif_all_sites(const NARO_cif& cif, FILE* out);
void NARO_print_cif_ICSD(const NARO_cif& cif, FILE* out);
void NARO_check_ion_sub(const NARO_cif& cif, FILE* out);
void NARO_check_ions_sub(const NARO_cif& cif, FILE* out);

// P1 expansion: site_all gets one copy of every site per equivalent position.
int NARO_add_P1_to_cif(NARO_cif& cif);
