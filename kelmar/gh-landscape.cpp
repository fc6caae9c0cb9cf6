// The conduction network of a landscape held in memory (gh-landscape.hpp).
#include "gh-landscape.hpp"

#include <charconv>
#include <cstdio>
#include <string>
#include <utility>

#include "cube.hpp"
#include "fp.hpp"
#include "gh-network.hpp"
#include "gh.hpp"

namespace {

// v printed with fmt and read back as the cube reader reads numbers.
double through_text(const char* fmt, double v) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof(buf), fmt, v);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(buf)) return v;  // beyond the cap: kept as it is
    const char* p = buf;
    while (*p == ' ') ++p;
    double out = v;
    std::from_chars(p, buf + n, out);
    return out;
}

}  // namespace

std::unique_ptr<KELMAR_CUBE> cube_as_written(const KELMAR_CUBE* cube) {
    if (cube == nullptr) return nullptr;
    auto out = kelmar_cube_new(cube->n);
    if (!out) return nullptr;
    const double B = KELMAR_CUBE_ANGSTROM_TO_BOHR;
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            out->a_i[k][d] = through_text("%11.6f", cube->a_i[k][d] * B) / B;
            out->a[k][d] = out->a_i[k][d] * static_cast<double>(cube->n[k]);
        }
    const std::size_t total = cube->en.data.size();
    for (std::size_t i = 0; i < total; ++i) out->en.data[i] = through_text("%12.6f", cube->en.data[i]);
    return out;
}

bool graph_structure_from_cell(GraphStructureInput* out, const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                               const char* name, const char* type, int os, double sf, const char* dir_unitary,
                               const char* dir_binary) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return false;
    }
    out->cell = kelmar_cell_copy(cell);
    return settle_graph_structure(out, symmetry, name, type, os, sf, dir_unitary, dir_binary);
}

bool landscape_network_energies(LandscapeNetworkEnergies* out, const KELMAR_CUBE* cube,
                                const GraphStructureInput& structure, double barrier_cutoff) {
    if (cube == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been properly initialized.\n");
        return false;
    }
    for (int r = 0; r < 3; ++r)
        if (cube->n[r] < 3) {
            std::fprintf(stderr, "Error: the landscape has %ld grid point(s) along axis %d; the analysis needs at "
                                 "least 3.\n",
                         cube->n[r], r + 1);
            return false;
        }
    auto written = cube_as_written(cube);
    if (!written) return false;
    auto fpcube = fpcube_new_taking_cube(std::move(written), 0);
    if (fpcube == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fpcube_new_from_cube() returns NULL.\n");
        return false;
    }
    auto list = kelmar_fphalf_list_new_from_fpcube(fpcube.get());
    if (list == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_new_from_fpcube() returns NULL.\n");
        return false;
    }
    if (list->total <= 0) {
        std::fprintf(stderr, "Error: the landscape has no saddle point, so no site is connected to another.\n");
        return false;
    }
    if (kelmar_fphalf_list_filter(list.get(), barrier_cutoff) != 0) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_filter() returns non-zero.\n");
        return false;
    }
    // the energies need no Hessian at the sites, so no derivative of the landscape is made
    auto graph = graph_new_without_hessians(list.get(), fpcube.get(), structure.cell.get(), structure.ppt.get());
    if (graph == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new_filled() returns NULL.\n");
        return false;
    }
    if (graph->v.empty()) {
        std::fprintf(stderr, "Error: no half-path of the landscape ends at a minimum; the site graph is empty.\n");
        return false;
    }
    auto cycles = kelmar_graph_cycle_list_new_from_graph(graph.get());
    if (cycles == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_cycle_list_new_from_graph() returns NULL.\n");
        return false;
    }
    auto network = kelmar_graph_network_new_from_cycle_list(cycles.get());
    if (network == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_network_new_from_cycle_list() returns NULL.\n");
        return false;
    }
    const KELMAR_GRAPH_NETWORK& n = *network;
    *out = LandscapeNetworkEnergies{n.e_max - n.e_min, n.e_min, n.e_max, n.e1, n.e1_min, n.e1_max,
                                    n.e2, n.e2_min, n.e2_max, n.e3, n.e3_min, n.e3_max,
                                    n.el, n.el_min, n.el_max};
    return true;
}
