// Coordination shells of a centre atom: geometrically, by grouping the sorted neighbour distances
// into shells at minima of a radial density, and by bond valence, by counting the strongest
// bonds until they account for the centre's bond-valence sum. Results go to standard output.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;
struct KELMAR_BV;

// One centre, one neighbour species.
struct KELMAR_CN {
    char name[12] = {};
    char type[3] = {};
    int os = 0;
    char type_c[3] = {};
    int os_c = 0;
    int total = 0;                  // neighbour images found
    std::vector<double> r;          // distances, ascending
    std::vector<double> occ;        // occupancies
    std::vector<double> n;          // running coordination number
    std::vector<double> g;          // radial density
    int total_shell = 0;
    std::vector<double> r_shell;    // outer radius of each shell
    std::vector<double> n_shell;    // coordination number of each shell
    std::vector<int> index_shell;   // first neighbour of each shell
};

// One centre, every neighbour of opposite sign (or neutral).
struct KELMAR_CN_MIX {
    char name[12] = {};
    char type[3] = {};
    int os = 0;
    int total = 0;
    std::vector<std::array<char, 3>> type_c;
    std::vector<int> os_c;
    std::vector<double> r;
    std::vector<double> occ;
    std::vector<double> n;
    std::vector<double> g;
    int total_shell = 0;
    std::vector<double> r_shell;
    std::vector<double> n_shell;
    std::vector<int> index_shell;
};

// Coordination by bond valence.
struct KELMAR_CN_BV {
    char name[12] = {};
    char type[3] = {};
    int os = 0;
    double BVS = 0.0;                          // the centre's bond-valence sum
    double x[3] = {};                          // centre position
    int total = 0;
    std::vector<std::array<char, 3>> type_c;
    std::vector<int> os_c;
    std::vector<std::array<double, 3>> x_c;    // neighbour image positions
    std::vector<double> r;
    std::vector<double> occ;
    std::vector<double> n;
    std::vector<double> s;                     // bond valence of each neighbour
    std::vector<double> s_sum;                 // cumulative occupancy-weighted bond valence
    std::vector<double> s_ave;                 // running average bond valence
    std::vector<double> s_det;                 // gap measure
    double s_sd = 0.0;                         // spread of the counted bonds
    int cn_index = 0;                          // last counted neighbour
    int cn_print = 0;                          // last neighbour worth printing
};

// Bond-valence coordination of every site; the atoms are borrowed from a KELMAR_BV record.
struct KELMAR_CN_TOT {
    long total = 0;
    std::vector<const KELMAR_ATOM*> atom;
    std::vector<double> cn;
};

std::unique_ptr<KELMAR_CN> kelmar_cn_new();
std::unique_ptr<KELMAR_CN_MIX> kelmar_cn_mix_new();
std::unique_ptr<KELMAR_CN_BV> kelmar_cn_bv_new();

std::unique_ptr<KELMAR_CN> kelmar_cn_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                   const char* type_c, int os_c, double rds_tiny);
std::unique_ptr<KELMAR_CN_MIX> kelmar_cn_mix_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                           double rds_tiny);
int kelmar_cn_calculate_shell(KELMAR_CN* cn, double rds_tiny);
int kelmar_cn_mix_calculate_shell(KELMAR_CN_MIX* cn_mix, double rds_tiny);

// The printing calculations; 0 or 1.
int kelmar_cn_calculate(const KELMAR_CELL* cell, const char* name, double rds_tiny);
int kelmar_cn_calculate_by_name(const KELMAR_CELL* cell, const char* name, const char* type_c, int os_c,
                                double rds_tiny);
int kelmar_cn_calculate_by_type(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                const char* type_c, int os_c, double rds_tiny);

std::unique_ptr<KELMAR_CN_BV> kelmar_cn_bv_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                         const KELMAR_PROPERTY* ppt, const KELMAR_BV* bv);
int kelmar_cn_calculate_by_bv(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* name,
                              const char* dir_unitary, const char* dir_binary);

// All sites (the cell's flags are cleared afterwards). The record borrows the atoms of *bv_out,
// which the caller keeps alive as long as the record.
std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                                 const char* dir_unitary, const char* dir_binary,
                                                                 std::unique_ptr<KELMAR_BV>* bv_out);
std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_init_from_bv(const KELMAR_BV* bv);
std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_calculate_from_bv(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                               const KELMAR_BV* bv);

void kelmar_cn_print_shell(const KELMAR_CN* cn);
void kelmar_cn_print_datapoint(const KELMAR_CN* cn);
void kelmar_cn_mix_print(const KELMAR_CN_MIX* cn_mix);
void kelmar_cn_bv_print(const KELMAR_CN_BV* cn_bv);
void kelmar_cn_print_gui(const KELMAR_CN_TOT* tot);
