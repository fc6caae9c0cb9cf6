// Steepest-descent relaxation of atom positions and lattice, and the fixed-site column of a CIF.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cell-ops.hpp"
#include "property-assemble.hpp"
#include "rx-energy.hpp"
#include "rx-sd.hpp"
#include "text-buffer.hpp"

std::unique_ptr<KELMAR_RX_SD> kelmar_rx_sd_new(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    auto rx = std::make_unique<KELMAR_RX_SD>();
    rx->cell = kelmar_cell_copy(cell);
    if (rx->cell == nullptr) {
        std::fprintf(stderr, "Error: unable to allocate KELMAR_RX_SD->cell.\n");
        return nullptr;
    }
    rx->ppt = kelmar_property_copy(ppt);
    if (rx->ppt == nullptr) {
        std::fprintf(stderr, "Error: unable to allocate KELMAR_RX_SD->ppt.\n");
        return nullptr;
    }
    const long n = cell->total();
    rx->f = std::make_unique<double[][3]>(static_cast<std::size_t>(n));
    rx->dx = std::make_unique<double[][3]>(static_cast<std::size_t>(n));
    rx->fixed = std::make_unique<bool[][3]>(static_cast<std::size_t>(n));
    for (long i = 0; i < n; i++) {
        const bool fixed = cell->atom[static_cast<std::size_t>(i)].ignored;
        for (int c = 0; c < 3; c++) rx->fixed[i][c] = fixed;
    }
    return rx;
}

void kelmar_rx_sd_print(const KELMAR_RX_SD* rx) {
    if (rx == nullptr) {
        std::printf("RX_SD: (not allocated)\n");
        return;
    }
    std::printf("RX_SD: step=%3ld; en=%11.6f; p=%9.6f; converged=%s\n", rx->step, rx->en, rx->p,
                rx->converged ? "true" : "false");
}

void kelmar_rx_sd_print_detail(const KELMAR_RX_SD* rx) {
    if (rx == nullptr || rx->cell == nullptr) {
        std::printf("RX_SD: (not allocated)\n");
        return;
    }
    for (long i = 0; i < rx->cell->total(); i++) {
        const KELMAR_ATOM& a = rx->cell->atom[static_cast<std::size_t>(i)];
        std::printf("RX_SD: [%3ld]%2s%d%c: %8.5f, %8.5f, %8.5f; %8.5f, %8.5f, %8.5f\n", i, a.type, std::abs(a.os),
                    a.os < 0 ? '-' : '+', rx->f[i][0], rx->f[i][1], rx->f[i][2], rx->dx[i][0], rx->dx[i][1],
                    rx->dx[i][2]);
    }
}

int kelmar_cell_update_by_stress(KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    double diagonal[3], shear[3];
    if (kelmar_cell_calculate_stress_diagonal(diagonal, cell, ppt) != 0 ||
        kelmar_cell_calculate_stress_shear(shear, cell, ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_calculate_stress_diagonal() returns NULL.\n");
        return 1;
    }
    double deform[3][3] = {};
    for (int k = 0; k < 3; k++) deform[k][k] = -0.5 * diagonal[k];
    if (kelmar_cell_deform(cell, deform) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_deform() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int kelmar_cell_update_coordinate(KELMAR_CELL* cell, const double (*dx)[3]) {
    if (cell == nullptr || dx == nullptr) {
        std::fprintf(stderr, "Error: invalid arguments found.\n");
        return 1;
    }
    // Atoms that do not move keep their fractional position bit for bit, so that fixed sites
    // never drift through the Cartesian round trip.
    std::vector<std::array<double, 3>> kept(cell->atom.size());
    for (long i = 0; i < cell->total(); i++) {
        KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(i)];
        for (int c = 0; c < 3; c++) {
            kept[static_cast<std::size_t>(i)][c] = a.x_f[c];
            a.x[c] += dx[i][c];
        }
    }
    kelmar_cell_update_coordinate_fractional(cell);
    for (long i = 0; i < cell->total(); i++)
        if (dx[i][0] == 0.0 && dx[i][1] == 0.0 && dx[i][2] == 0.0)
            for (int c = 0; c < 3; c++)
                cell->atom[static_cast<std::size_t>(i)].x_f[c] = kept[static_cast<std::size_t>(i)][c];
    kelmar_cell_bound_fractional(cell);
    kelmar_cell_update_coordinate_cartesion(cell);
    return 0;
}

int kelmar_cell_calculate_coordinate_step_size_simple(double (*dx)[3], const KELMAR_CELL* cell,
                                                      const KELMAR_PROPERTY* ppt, const double (*f)[3]) {
    if (dx == nullptr || cell == nullptr || ppt == nullptr || f == nullptr) {
        std::fprintf(stderr, "Error: null arguments found.\n");
        return 1;
    }
    const long n = cell->total();
    double largest = 0.0;
    for (long i = 0; i < n; i++) {
        const KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(i)];
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        if (k < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return 1;
        }
        const double m = ppt->uni[k].m;
        if (m <= 0) {
            std::fprintf(stderr, "Error: wrong mass value.\n");
            return 1;
        }
        for (int c = 0; c < 3; c++) dx[i][c] = f[i][c] / m;
        largest = std::max(largest, std::sqrt(dx[i][0] * dx[i][0] + dx[i][1] * dx[i][1] + dx[i][2] * dx[i][2]));
    }
    // No atom moves more than 0.1 A in one step; the others follow in proportion.
    if (largest > 0.1) {
        const double scale = 0.1 / largest;
        for (long i = 0; i < n; i++)
            for (int c = 0; c < 3; c++) dx[i][c] *= scale;
    }
    return 0;
}

int kelmar_rx_sd_run(KELMAR_RX_SD* rx) {
    if (rx == nullptr || rx->cell == nullptr || rx->ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_RX_SD has not been properly initialized.\n");
        return 1;
    }
    if (rx->f_conv <= 0) rx->f_conv = 0.005;
    if (rx->p_conv <= 0) rx->p_conv = 0.001;
    if (rx->step_limit < 0) rx->step_p = 1;
    std::printf("RX_SD: step_limit=%ld; step_p=%ld; f_conv=%f; p_conv=%f\n", rx->step_limit, rx->step_p, rx->f_conv,
                rx->p_conv);
    KELMAR_CELL* cell = rx->cell.get();
    const KELMAR_PROPERTY* ppt = rx->ppt.get();
    const long n = cell->total();
    bool p_ok = true, f_ok = true;
    for (;;) {
        if (rx->converged) {
            std::printf("RX_SD: convergence reached.\n");
            std::printf("RX_SD: unconstrained energy = %f eV\n",
                        kelmar_cell_calculate_total_energy_unconstrained_part(cell, ppt));
            std::printf("RX_SD: total energy = %f eV\n", rx->en);
            return 0;
        }
        if (rx->step_limit != 0 && rx->step >= std::labs(rx->step_limit)) {
            std::printf("Warning: step limit reached without achieving convergence.\n");
            return 0;
        }
        if (rx->step_p > 0) {
            if (rx->step % rx->step_p == 0) {
                double stress[3];
                if (kelmar_cell_calculate_stress_diagonal(stress, cell, ppt) != 0) {
                    std::fprintf(stderr, "Error: kelmar_cell_calculate_stress_diagonal() returns non-zero.\n");
                    return 1;
                }
                rx->p = stress[0] + stress[1] + stress[2];
                if (kelmar_cell_update_by_stress(cell, ppt) != 0) {
                    std::fprintf(stderr, "Error: kelmar_cell_update_by_stress() returns non-zero.\n");
                    return 1;
                }
            }
            p_ok = std::fabs(rx->p) <= rx->p_conv;
        }
        if (rx->step_limit >= 0) {
            if (kelmar_cell_calculate_force(rx->f.get(), cell, ppt) != 0) {
                std::fprintf(stderr, "Error: kelmar_cell_calculate_force() returns non-zero.\n");
                return 1;
            }
            for (long i = 0; i < n; i++)
                for (int c = 0; c < 3; c++)
                    if (rx->fixed[i][c]) rx->f[i][c] = 0.0;
            if (kelmar_cell_calculate_coordinate_step_size_simple(rx->dx.get(), cell, ppt, rx->f.get()) != 0) {
                std::fprintf(stderr, "Error: kelmar_cell_calculate_coordinate_step_size_simple() returns non-zero.\n");
                return 1;
            }
            f_ok = true;
            for (long i = 0; i < n; i++)
                if (std::sqrt(rx->f[i][0] * rx->f[i][0] + rx->f[i][1] * rx->f[i][1] + rx->f[i][2] * rx->f[i][2]) >
                    rx->f_conv)
                    f_ok = false;
            if (!f_ok) {
                for (long i = 0; i < n; i++)
                    for (int c = 0; c < 3; c++)
                        if (rx->fixed[i][c]) rx->dx[i][c] = 0.0;
                if (kelmar_cell_update_coordinate(cell, rx->dx.get()) != 0) {
                    std::fprintf(stderr, "Error: kelmar_cell_update_coordinate() returns non-zero.\n");
                    return 1;
                }
            }
        }
        rx->converged = p_ok && f_ok;
        rx->en = kelmar_cell_calculate_total_energy(cell, ppt);
        kelmar_rx_sd_print(rx);
        rx->step += 1;
    }
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_relax_sd(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                  long step_limit, long step_p, double f_conv, double p_conv) {
    if (cell == nullptr || ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    if (kelmar_property_validate_generic(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_validate_generic() returns non-zero.\n");
        return nullptr;
    }
    auto rx = kelmar_rx_sd_new(cell, ppt);
    if (rx == nullptr) {
        std::fprintf(stderr, "Error: kelmar_rx_sd_new() returns NULL.\n");
        return nullptr;
    }
    rx->step_limit = step_limit;
    rx->step_p = step_p;
    rx->f_conv = f_conv > 0 ? f_conv : 0.005;
    rx->p_conv = p_conv > 0 ? p_conv : 0.001;
    if (kelmar_rx_sd_run(rx.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_sd_run() returns non-zero.\n");
        return nullptr;
    }
    auto out = kelmar_cell_copy(rx->cell.get());
    if (out == nullptr) std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
    return out;
}
