// Bond-valence coordination number of the probe ion placed at a stationary point:
// neighbours sorted by bond valence, the first shell cut where the bond valences drop.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "records.hpp"
#include "run-state.hpp"

struct NARO_CN_center {
    std::string elem;          // probe element
    int os = 0;                // probe oxidation state
    double BVS = 0;            // bond-valence sum at the point
    double x[3] = {0, 0, 0};   // fractional position
};

struct NARO_CN {
    int total = 0;   // always elem_c.size()
    std::vector<std::string> elem_c;
    std::vector<int> os_c;
    std::vector<std::array<double, 3>> x_c;
    std::vector<double> r, occ, n, s, s_sum, s_ave, s_det;
    int cn_index = 0;
};

// Coordination numbers of every minimum and saddle of the run, stored in their cn
// fields (the probe's type is added to the structure's types on the way).
int NARO_cn_calculate(NaroRunState& run);
int NARO_calc_cn_minima(const NARO_cif& cif, NARO_cube& cube, const NARO_bv_bin& bin);
int NARO_calc_cn_saddle(const NARO_cif& cif, NARO_cube& cube, const NARO_bv_bin& bin);
// Centre at minimum site_index (site_option 1) or saddle site_index (site_option 0).
std::unique_ptr<NARO_CN_center> NARO_cn_center_new(const NARO_cube& cube, int site_index, int site_option);
std::unique_ptr<NARO_CN> NARO_cn_new();
// Coordination number; 0 without neighbours, -1 on failure.
int NARO_calc_cn_site(const NARO_cif& cif, const NARO_CN_center& center, const NARO_bv_bin& bin);
