// Steepest-descent relaxation of a periodic cell in the bond-valence force field. The pair energy,
// forces and stress it follows are in rx-energy.hpp.
//
// Force arrays hold one double[3] per atom; allocate them with std::make_unique<double[][3]>(n).
#pragma once

#include <memory>

#include "kelmar.hpp"

struct KELMAR_PROPERTY;

// --- steepest descent ---------------------------------------------------------------------------

struct KELMAR_RX_SD {
    std::unique_ptr<KELMAR_CELL> cell;        // private copy being relaxed
    std::unique_ptr<KELMAR_PROPERTY> ppt;     // private copy of the parameters
    std::unique_ptr<double[][3]> f;           // forces per atom
    std::unique_ptr<double[][3]> dx;          // displacements per atom, A
    std::unique_ptr<bool[][3]> fixed;         // components that must not move
    double f_conv = 0.005;
    double p = 0.0;                           // sum of the diagonal stress, eV/A^3
    double p_conv = 0.001;
    double en = 0.0;                          // total energy after the last step, eV
    long step = 0;
    long step_limit = 0;                      // 0: none; n > 0: n steps; n < 0: |n| lattice-only steps
    long step_p = 10;                         // lattice update every step_p steps; <= 0: never
    bool converged = false;
};

std::unique_ptr<KELMAR_RX_SD> kelmar_rx_sd_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
int kelmar_rx_sd_run(KELMAR_RX_SD* rx);
void kelmar_rx_sd_print(const KELMAR_RX_SD* rx);
void kelmar_rx_sd_print_detail(const KELMAR_RX_SD* rx);
// A new relaxed cell, or null.
std::unique_ptr<KELMAR_CELL> kelmar_cell_relax_sd(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                  long step_limit, long step_p, double f_conv, double p_conv);

int kelmar_cell_update_by_stress(KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt);
int kelmar_cell_update_coordinate(KELMAR_CELL* cell, const double (*dx)[3]);
int kelmar_cell_calculate_coordinate_step_size_simple(double (*dx)[3], const KELMAR_CELL* cell,
                                                      const KELMAR_PROPERTY* ppt, const double (*f)[3]);
