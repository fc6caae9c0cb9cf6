#include "gh-load.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cube.hpp"
#include "fft-export.hpp"
#include "cif-read.hpp"
#include "oxidation-states.hpp"
#include "property-assemble.hpp"

namespace {

constexpr double kCellMatch = 0.02;  // A: lattice lengths of cube and CIF must agree this closely

double row_length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
double row_dot(const double u[3], const double v[3]) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

bool same_lattice(const double a[3][3], const double b[3][3]) {
    for (int r = 0; r < 3; ++r) {
        if (std::fabs(row_length(a[r]) - row_length(b[r])) > kCellMatch) return false;
        for (int s = r + 1; s < 3; ++s) {
            const double ca = row_dot(a[r], a[s]) / (row_length(a[r]) * row_length(a[s]));
            const double cb = row_dot(b[r], b[s]) / (row_length(b[r]) * row_length(b[s]));
            if (std::fabs(ca - cb) > 1e-3) return false;
        }
    }
    return true;
}

}  // namespace

bool settle_graph_structure(GraphStructureInput* out, const KELMAR_SYMMETRY* symmetry, const char* name,
                            const char* type, int os, double sf, const char* dir_unitary, const char* dir_binary) {
    if (!settle_states_for_command(out->cell.get(), symmetry, dir_unitary, dir_binary, false, type)) return false;
    out->ppt = kelmar_property_import_from_cell(out->cell.get(), type, os, sf, dir_unitary, dir_binary);
    if (out->ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return false;
    }
    long mobile = 0;
    for (const KELMAR_ATOM& atom : out->cell->atom)
        if (atom.type[0] == type[0] && atom.type[1] == type[1] && atom.os == os) ++mobile;
    if (out->ppt->conducting < 0 || mobile == 0) {
        std::fprintf(stderr, "Error: %s holds no %s%d%c ion to move.\n", name, type, os < 0 ? -os : os,
                     os_sign_char(os));
        return false;
    }
    return true;
}

bool load_graph_structure(GraphStructureInput* out, const char* cif, const char* type, int os, double sf,
                          const char* dir_unitary, const char* dir_binary, const char* dir_symcards) {
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_file(&out->cell, &sym, cif, dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return false;
    }
    return settle_graph_structure(out, sym.get(), cif, type, os, sf, dir_unitary, dir_binary);
}

bool load_graph_landscape(GraphLandscapeInput* out, const char* cube_name, const KELMAR_CELL* cell, const char* cif,
                          bool periodic, const char* dir_unitary, bool hessians) {
    std::unique_ptr<KELMAR_CUBE> cube;
    if (kelmar_cube_import_from_file(&cube, nullptr, cube_name, periodic, dir_unitary, true) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_import_from_file() returns non-zero.\n");
        return false;
    }
    for (int r = 0; r < 3; ++r)
        if (cube->n[r] < 3) {
            std::fprintf(stderr, "Error: %s has %ld grid point(s) along axis %d; the analysis needs at least 3.\n",
                         cube_name, cube->n[r], r + 1);
            return false;
        }
    if (!fft_landscape_finite(cube.get())) return false;
    const auto [low, high] = std::minmax_element(cube->en.data.begin(), cube->en.data.end());
    if (*low == *high) {
        std::fprintf(stderr, "Error: %s has no saddle point: every value is %g.\n", cube_name, *low);
        return false;
    }
    if (!same_lattice(cube->a, cell->a)) {
        std::fprintf(stderr, "Error: the cell of %s does not match the cell of %s.\n", cube_name, cif);
        return false;
    }
    // the graph reads the Hessian at its vertices only: the half spectrum serves; it is made
    // first, so that the fingerprint grid can take the energies over instead of copying them
    if (hessians) {
        out->fft = kelmar_fft_new_spectrum_from_cube(cube.get(), 0);
        if (out->fft == nullptr) {
            std::fprintf(stderr, "Error: kelmar_fft_new_from_cube() returns NULL.\n");
            return false;
        }
    }
    out->fpcube = fpcube_new_taking_cube(std::move(cube), 0);
    if (out->fpcube == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fpcube_new_from_cube() returns NULL.\n");
        return false;
    }
    out->list = kelmar_fphalf_list_new_from_fpcube(out->fpcube.get());
    if (out->list == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_new_from_fpcube() returns NULL.\n");
        return false;
    }
    // a half-path that runs into another saddle goes on down to the site below it
    if (kelmar_fphalf_list_descend_to_minima(out->fpcube.get(), out->list.get()) != 0) return false;
    return true;
}
