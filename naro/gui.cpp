// Writer of the GUI table.
#include "gui.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "coordination.hpp"
#include "cube.hpp"
#include "output-path.hpp"
#include "stationary.hpp"

namespace {

std::string minimum_label(const NARO_cube& cube, int type) {
    std::string s;
    NARO_label_minima_site(cube, s, type);
    return s;
}

// Mean fractional position of the flat region around a minimum, unwrapped so that a
// region across a cell face averages continuously.
bool mean_position(const NARO_cube& cube, const NARO_minima& m, double out[3]) {
    NARO_same_energy_grid_list list;
    if (NARO_find_same_energy_neighbours(cube, list, m.x, m.y, m.z) != 0) return false;
    out[0] = out[1] = out[2] = 0;
    if (list.item.empty()) {
        out[0] = static_cast<double>(m.x) / cube.a_grid;
        out[1] = static_cast<double>(m.y) / cube.b_grid;
        out[2] = static_cast<double>(m.z) / cube.c_grid;
        return true;
    }
    for (const NARO_cube_triple_index& p : list.item) {
        out[0] += static_cast<double>(p.x) / cube.a_grid;
        out[1] += static_cast<double>(p.y) / cube.b_grid;
        out[2] += static_cast<double>(p.z) / cube.c_grid;
    }
    for (int k = 0; k < 3; ++k) out[k] /= static_cast<double>(list.item.size());
    return true;
}

double occupancy_sum(const NARO_minima& m) {
    double s = 0;
    for (const NARO_site_occupied_ion& ion : m.ion) s += ion.occ;
    return s;
}

bool minimum_row(FILE* out, const NARO_cube& cube, const NARO_minima& m, const std::string& label) {
    double f[3];
    if (!mean_position(cube, m, f)) return false;
    std::fprintf(out, "%s,%.3f,%d,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f\n", label.c_str(), occupancy_sum(m), m.mul, f[0], f[1],
                 f[2], m.bv, m.cn, NARO_scale_cube_energy(cube, m.e));
    return true;
}

void saddle_row(FILE* out, const NARO_cube& cube, const NARO_saddle& s) {
    std::fprintf(out, "s%d,0,%d,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f\n", s.type, s.mul, static_cast<double>(s.x) / cube.a_grid,
                 static_cast<double>(s.y) / cube.b_grid, static_cast<double>(s.z) / cube.c_grid, s.bv, s.cn,
                 NARO_scale_cube_energy(cube, s.e));
}

// Index range of type t in a list grouped by type.
std::pair<size_t, size_t> type_span(const std::vector<int>& index, int t, size_t size) {
    const size_t first = std::min(static_cast<size_t>(std::max(index[static_cast<size_t>(t)], 0)), size);
    const size_t last = std::min(static_cast<size_t>(std::max(index[static_cast<size_t>(t) + 1], 0)), size);
    return {first, std::max(first, last)};
}

bool write_table(FILE* out, const NARO_cube& cube, const NARO_pathlib& pathlib) {
    const bool typed_minima = static_cast<int>(cube.minima_type_index.size()) >= cube.total_minima_type + 2;
    const bool typed_saddle = static_cast<int>(cube.saddle_type_index.size()) >= cube.total_saddle_type + 2;
    for (int pass = 0; pass < 2; ++pass) {
        for (int t = 1; typed_minima && t <= cube.total_minima_type; ++t) {
            const auto [first, last] = type_span(cube.minima_type_index, t, cube.minima.size());
            const std::string label = minimum_label(cube, t);
            for (size_t m = first; m < (pass == 0 ? std::min(first + 1, last) : last); ++m)
                if (!minimum_row(out, cube, cube.minima[m], label)) return false;
        }
        std::fprintf(out, "END\n");
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int t = 1; typed_saddle && t <= cube.total_saddle_type; ++t) {
            const auto [first, last] = type_span(cube.saddle_type_index, t, cube.saddle.size());
            for (size_t s = first; s < (pass == 0 ? std::min(first + 1, last) : last); ++s)
                saddle_row(out, cube, cube.saddle[s]);
        }
        std::fprintf(out, "END\n");
    }
    for (const NARO_path& p : pathlib.path) {
        const double es = NARO_scale_cube_energy(cube, p.saddle_energy);
        const double barrier = std::max(es - NARO_scale_cube_energy(cube, p.start_energy),
                                        es - NARO_scale_cube_energy(cube, p.end_energy));
        std::fprintf(out, "%s,s%d,%s,%.3f,%.3f,%.3f,%d,%d,%d\n", minimum_label(cube, p.start_type).c_str(),
                     p.saddle_type, minimum_label(cube, p.end_type).c_str(), barrier, p.straightline_length,
                     p.tortuosity, p.oneD, p.twoD, p.threeD);
    }
    std::fprintf(out, "END\n");
    std::fprintf(out, "1D,%.3f eV\n2D,%.3f eV\n3D,%.3f eV\nEND\n", pathlib.oneD, pathlib.twoD, pathlib.threeD);
    return true;
}

}  // namespace

int NARO_print_GUI_output(NaroRunState& run) {
    const std::string name = naro_output_path(run.input, "NARO_gui.csv");
    FILE* out = std::fopen(name.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "Error: Unable to write to NARO_gui.csv\n");
        return 1;
    }
    bool ok = true;
    if (NARO_cn_calculate(run) != 0) {
        std::fprintf(stderr, "Error: NARO_cn_calculate() return non zero.\n");
        ok = false;
    }
    if (ok && !write_table(out, run.cube, run.pathlib)) {
        std::fprintf(stderr, "Error: Unable to write to NARO_gui.csv\n");
        ok = false;
    }
    const bool written = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !written) {
        if (ok) std::fprintf(stderr, "Error: Unable to write to NARO_gui.csv\n");
        ok = false;
    }
    if (!ok) {
        // A table cut short would pass for a complete one in the front end.
        std::remove(name.c_str());
        return 1;
    }
    std::printf("GUI output done.\n");
    return 0;
}
