// The path map of a landscape: minima, saddles and half-path points as pseudo-atoms of a P1 CIF.
#include <cstdio>
#include <filesystem>

#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "crystal-records.hpp"
#include "fp-export.hpp"
#include "fp.hpp"
#include "kelmar.hpp"

namespace {

bool exported(int type) { return type == FP_MIN || type == FP_SAD || type == FP_PAT; }

}  // namespace

std::unique_ptr<KELMAR_CELL> kelmar_fpcube_export_to_cell(const KELMAR_FPCUBE* cube) {
    if (cube == nullptr || static_cast<long>(cube->type.size()) != cube->size()) {
        std::fprintf(stderr, "Error: KELMAR_FPCUBE has not been properly initialized.\n");
        return nullptr;
    }
    long count = 0;
    for (std::uint8_t t : cube->type) count += exported(t);
    auto cell = kelmar_cell_new(count);
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) cell->a[r][d] = cube->a[r][d];
    long next = 0;
    const long total = cube->size();
    for (long p = 0; p < total; ++p) {
        const int type = cube->type[static_cast<std::size_t>(p)];
        if (!exported(type)) continue;
        KELMAR_ATOM& atom = cell->atom[static_cast<std::size_t>(next++)];
        const char* name = "PAT";
        const char* element = "H";
        if (type == FP_MIN) {
            name = "MIN";
            element = "Li";
        } else if (type == FP_SAD) {
            switch (fpgrid_total_dn(cube, p)) {
                case 2: name = "SAD1"; element = "Na"; break;
                case 3: name = "SAD2"; element = "K"; break;
                default: name = "SAD3"; element = "Cs"; break;
            }
        }
        kelmar_copy_field(atom.name, name);
        kelmar_copy_field(atom.type, element);
        const long x_i[3] = {p / (cube->n[1] * cube->n[2]), (p / cube->n[2]) % cube->n[1], p % cube->n[2]};
        for (int d = 0; d < 3; ++d)
            atom.x[d] = static_cast<double>(x_i[0]) * cube->a_i[0][d] + static_cast<double>(x_i[1]) * cube->a_i[1][d] +
                        static_cast<double>(x_i[2]) * cube->a_i[2][d];
        atom.occ = 1.0;
        atom.os = 1;
    }
    kelmar_cell_update_fractional(cell.get());
    return cell;
}

int kelmar_fpcube_export_cif_to_file(const KELMAR_CUBE* landscape, double barrier_max, const char* name) {
    if (landscape == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been properly initialized.\n");
        return 1;
    }
    auto cube = kelmar_fpcube_new_from_cube(landscape);
    if (!cube) {
        std::fprintf(stderr, "Error: kelmar_fpcube_new_from_cube() returns NULL.\n");
        return 1;
    }
    auto list = kelmar_fphalf_list_new_from_fpcube(cube.get());
    if (!list) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_new_from_fpcube() returns NULL.\n");
        return 1;
    }
    // a landscape without saddles has no paths to filter
    if (barrier_max > 0.0 && list->total > 0 && kelmar_fphalf_list_filter(list.get(), barrier_max) != 0) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_filter() returns non-zero.\n");
        return 1;
    }
    kelmar_fphalf_list_label_path(list.get(), cube.get());
    list.reset();
    auto cell = kelmar_fpcube_export_to_cell(cube.get());
    if (!cell) {
        std::fprintf(stderr, "Error: kelmar_fpcube_export_to_cell() returns NULL.\n");
        return 1;
    }
    cube.reset();
    if (kelmar_cell_export_cif_to_file(name, cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        std::error_code ec;  // no partial map is left behind
        if (std::filesystem::is_regular_file(name, ec)) std::filesystem::remove(name, ec);
        return 1;
    }
    return 0;
}
