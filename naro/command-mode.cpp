// Command mode: one table of commands drives dispatch and the help list.
#include "command-mode.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bond-valence.hpp"
#include "cif-export.hpp"
#include "cif.hpp"
#include "cube.hpp"
#include "gui.hpp"
#include "path-library.hpp"
#include "pathway.hpp"
#include "percolation.hpp"
#include "result-files.hpp"
#include "stationary.hpp"
#include "vesta.hpp"

namespace {

struct Ctx {
    NaroRunState& run;
    const NaroCmdStages& stages;
    std::vector<std::string> args;   // words after the command words
    bool leave = false;              // end the loop with 0
    bool fatal = false;              // end the loop with 1
};

// Whole numbers and decimals of the argument words; false (with a message) when a
// word is missing or is not a number.
bool ints(Ctx& c, size_t n, int* out) {
    if (c.args.size() < n) {
        std::printf("Error: %zu whole numbers expected.\n", n);
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(c.args[i].c_str(), &end, 10);
        if (end == c.args[i].c_str() || *end != '\0' || errno != 0 || v < -1000000000L || v > 1000000000L) {
            std::printf("Error: '%s' is not a whole number.\n", c.args[i].c_str());
            return false;
        }
        out[i] = static_cast<int>(v);
    }
    return true;
}
bool reals(Ctx& c, size_t n, double* out) {
    if (c.args.size() < n) {
        std::printf("Error: %zu numbers expected.\n", n);
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char* end = nullptr;
        const double v = std::strtod(c.args[i].c_str(), &end);
        if (end == c.args[i].c_str() || *end != '\0' || !std::isfinite(v)) {
            std::printf("Error: '%s' is not a number.\n", c.args[i].c_str());
            return false;
        }
        out[i] = v;
    }
    return true;
}

bool have_cube(const Ctx& c) {
    if (c.run.input.cube && c.run.cube.a_grid > 0) return true;
    std::fprintf(stderr, "Error: No CUBE file has been loaded yet.\n");
    std::printf("Error: No CUBE file has been loaded yet.\n");
    return false;
}
bool have_paths(const Ctx& c) {
    if (c.run.pathlib.pathlib && !c.run.pathlib.path.empty()) return true;
    std::printf("Error: Pathway has not been generated.\n");
    return false;
}

void cmd_print_minima(Ctx& c) { if (have_cube(c)) NARO_printminima(c.run.cube, stdout); }
void cmd_print_saddle(Ctx& c) { if (have_cube(c)) NARO_printsaddle(c.run.cube, stdout); }
void cmd_print_pathlib(Ctx& c) { if (have_cube(c) && have_paths(c)) NARO_print_pathlib(c.run.cube, c.run.pathlib, stdout); }
void cmd_print_types(Ctx& c) { NARO_print_cif_types(c.run.cif, stdout); }
void cmd_print_symops(Ctx& c) { NARO_print_cif_symops(c.run.cif, stdout); }
void cmd_totalgrid(Ctx& c) {
    if (have_cube(c))
        std::printf("Number of grid elements [a,b,c] = [%d,%d,%d]\n", c.run.cube.a_grid, c.run.cube.b_grid, c.run.cube.c_grid);
}
void cmd_hk(Ctx&) {}
void cmd_diff_neigh(Ctx& c) {
    std::printf(c.run.cif.diff_neigh
                    ? "Environment of two symmetrically equivalent grid points (in terms of their 26 neighbours) can be different.\n"
                    : "Environment of two symmetrically equivalent grid points (in terms of their 26 neighbours) is identical.\n");
}
void cmd_angle(Ctx& c) {
    int v[9];
    if (!have_cube(c) || !ints(c, 9, v)) return;
    const double a = NARO_angle(c.run.cube, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    std::printf("Angle: %0.3f rad (%.3f deg)\n", a, a * 180.0 / 3.14159265358979323846);
}
void cmd_energy_neighbour(Ctx& c) {
    int v[3];
    if (!have_cube(c) || !ints(c, 3, v)) return;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k) {
                if (i == 0 && j == 0 && k == 0) continue;
                std::printf("Energy of %d %d %d : %f\n", v[0] + i, v[1] + j, v[2] + k,
                            NARO_cube_energy(c.run.cube, v[0] + i, v[1] + j, v[2] + k));
            }
}
void cmd_energy_max(Ctx& c) {
    NARO_cube& cube = c.run.cube;
    if (c.args.empty()) {
        std::printf("Current maximum energy threshold is %.3f eV.\n", cube.max_energy_above_gmin);
        return;
    }
    double v;
    if (!reals(c, 1, &v)) return;
    if (!(v > 0)) {
        std::printf("Error: Energy threshold must be positive...\n");
        return;
    }
    cube.max_energy_above_gmin = v;
    cube.max_energy = NARO_get_unscaled_from_scaled(cube, v);
    std::printf("Maximum energy threshold is now changed to %.3f eV.\n", v);
}
void cmd_energy(Ctx& c) {
    int v[3];
    if (!have_cube(c) || !ints(c, 3, v)) return;
    std::printf("Energy of %d %d %d : %.6f eV\n", v[0], v[1], v[2],
                NARO_scale_cube_energy(c.run.cube, NARO_cube_energy(c.run.cube, v[0], v[1], v[2])));
}
void cmd_frac(Ctx& c) {
    int v[3];
    if (!have_cube(c) || !ints(c, 3, v)) return;
    const NARO_cube& cube = c.run.cube;
    std::printf("Fractional coordinates: %f %f %f\n\n", static_cast<double>(v[0]) / cube.a_grid,
                static_cast<double>(v[1]) / cube.b_grid, static_cast<double>(v[2]) / cube.c_grid);
}
void cmd_grid(Ctx& c) {
    double v[3];
    if (!have_cube(c) || !reals(c, 3, v)) return;
    const NARO_cube& cube = c.run.cube;
    for (double x : v)
        if (std::fabs(x) > 1e6) {
            std::printf("Error: '%g' is too far outside the cell.\n", x);
            return;
        }
    std::printf("Grid coordinates: %d %d %d\n\n", static_cast<int>(std::lround(v[0] * cube.a_grid)),
                static_cast<int>(std::lround(v[1] * cube.b_grid)), static_cast<int>(std::lround(v[2] * cube.c_grid)));
}
void cmd_index(Ctx& c) {
    int v[3];
    if (!have_cube(c) || !ints(c, 3, v)) return;
    const NARO_cube& cube = c.run.cube;
    auto w = [](int p, int n) { return ((p % n) + n) % n; };
    std::printf("Number of clusters (of lower energy) around %d %d %d : %d\n", v[0], v[1], v[2],
                NARO_find_lower_energy_neighbour_cluster(cube, w(v[0], cube.a_grid), w(v[1], cube.b_grid),
                                                         w(v[2], cube.c_grid)));
}
void cmd_distance(Ctx& c) {
    int v[6];
    if (!have_cube(c) || !ints(c, 6, v)) return;
    std::printf("Distance between (%d,%d,%d) and (%d,%d,%d) in Angstrom: %f\n", v[0], v[1], v[2], v[3], v[4], v[5],
                NARO_distance_grid(c.run.cube, v[0], v[1], v[2], v[3], v[4], v[5]));
}
void cmd_network(Ctx& c) {
    if (c.args.size() != 1) {
        std::printf("Error: Format is network [energy]\n");
        c.leave = true;
        return;
    }
    if (!have_cube(c) || !have_paths(c)) return;
    if (c.args[0] == "all") {
        NARO_analyze_network_at_saddles(c.run.cube, c.run.pathlib, stdout, 999.0);
        return;
    }
    double e;
    if (!reals(c, 1, &e)) return;
    NARO_analyze_network_at_saddles(c.run.cube, c.run.pathlib, stdout, NARO_get_unscaled_from_scaled(c.run.cube, e));
}
void cmd_connect(Ctx& c) {
    if (!have_cube(c) || !have_paths(c)) return;
    std::vector<int> ids(c.args.size());
    if (ids.empty()) {
        std::printf("Error: Format connect <path ID> <path ID> ...\n");
        return;
    }
    if (!ints(c, ids.size(), ids.data())) return;
    const int n = static_cast<int>(c.run.pathlib.path.size());
    for (int id : ids)
        if (id == 0 || std::abs(id) > n) {
            std::printf("Error: Input path type must be greater than 0 and smaller than %d...\n", n + 1);
            return;
        }
    FILE* f = std::fopen("NARO_rp_manual.csv", "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to NARO_rp_manual.csv\n");
        std::printf("Error: Unable to write to NARO_rp_manual.csv\n");
        return;
    }
    std::printf("Constructing user-defined reaction pathway...\n");
    NARO_connect_list list;
    list.item = ids;
    list.total = static_cast<int>(ids.size());
    NARO_grid_path gp;
    const bool joined = NARO_concatenate_path(c.run.cube, c.run.pathlib, gp, list) == 0;
    if (joined) NARO_print_path(c.run.cube, gp, c.run.pathlib, f, 0, 0.0);
    std::fprintf(f, "END\n");
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok || !joined) {
        std::printf("Error: Unable to write to NARO_rp_manual.csv\n");
        return;
    }
    std::printf("User-defined reaction pathway successfully written to NARO_rp_manual.csv.\n");
}
// The library and the pathways hold minimum and saddle indices: after a type is
// deleted they point at other points, so they are dropped until a restart rebuilds them.
void drop_paths(Ctx& c) {
    if (c.run.pathlib.path.empty()) return;
    const int in_use = c.run.pathlib.pathlib;
    NARO_init_pathlib(c.run.pathlib);
    c.run.pathlib.pathlib = in_use;
    NARO_free_reaction_pathway(c.run.rp_all);
    std::printf("Path library cleared: type restart pathlib reacpath to rebuild it.\n");
}
void cmd_del_pathlib(Ctx& c) {
    int k;
    if (!ints(c, 1, &k)) return;
    const int n = static_cast<int>(c.run.pathlib.path.size());
    if (k < 1 || k > n) {
        std::printf("Error: Path index must be > 0 and <= %d...\n", n);
        return;
    }
    NARO_delete_pathlib_path(c.run.pathlib, k - 1);
    NARO_free_reaction_pathway(c.run.rp_all);
    std::printf("Deleted path index %d (path type %d)\n", k - 1, k);
}
void cmd_del_minimum(Ctx& c) {
    int k;
    if (!ints(c, 1, &k)) return;
    if (k < 1 || k > c.run.cube.total_minima_type) {
        std::printf("Error: Minimum type must be > 0 and <= %d...\n", c.run.cube.total_minima_type);
        return;
    }
    if (NARO_delete_minima_type(c.run.cube, k) != 0) {
        c.fatal = true;
        return;
    }
    std::printf("Deleted minimum type %d\n", k);
    drop_paths(c);
}
void cmd_del_saddletype(Ctx& c) {
    int k;
    if (!ints(c, 1, &k)) return;
    if (k < 1 || k > c.run.cube.total_saddle_type) {
        std::printf("Error: Saddle type must be > 0 and <= %d...\n", c.run.cube.total_saddle_type);
        return;
    }
    if (NARO_delete_saddle_type(c.run.cube, k) != 0) {
        c.fatal = true;
        return;
    }
    std::printf("Deleted saddle type %d\n", k);
    drop_paths(c);
}
void cmd_gii(Ctx& c) { NARO_print_GII(c.run.cif, stdout); }
void cmd_bv(Ctx& c) { NARO_print_bv_sum(c.run.cif, stdout); }
void cmd_charge(Ctx& c) { NARO_print_unit_cell_charge(c.run.cif); }
void cmd_isminimum(Ctx& c) {
    int v[3];
    if (c.args.size() < 3) {
        std::printf("Error: Format isminimum <x> <y> <z> (grid coordinates)\n");
        return;
    }
    if (!have_cube(c) || !ints(c, 3, v)) return;
    const NARO_cube& cube = c.run.cube;
    auto w = [](int p, int n) { return ((p % n) + n) % n; };
    bool found = false;
    for (const NARO_minima& m : cube.minima)
        if (m.x == w(v[0], cube.a_grid) && m.y == w(v[1], cube.b_grid) && m.z == w(v[2], cube.c_grid)) found = true;
    std::printf(found ? "(%d,%d,%d) is an energy minimum\n" : "(%d,%d,%d) is NOT an energy minimum\n", v[0], v[1], v[2]);
}
void cmd_isdirectpath(Ctx& c) {
    int v[6];
    if (c.args.size() < 6) {
        std::printf("Error: Format isdirectpath <x1> <y1> <z1> <x2> <y2> <z2> (grid coordinates of two minima)\n");
        return;
    }
    if (!have_cube(c) || !ints(c, 6, v)) return;
    const bool yes = NARO_is_direct_path_between_minima(c.run.cube, c.run.pathlib, v[0], v[1], v[2], v[3], v[4], v[5]);
    std::printf(yes ? "There is direct path between (%d,%d,%d) and (%d,%d,%d)\n"
                    : "There is NO direct path between (%d,%d,%d) and (%d,%d,%d)\n",
                v[0], v[1], v[2], v[3], v[4], v[5]);
}
void cmd_vesta(Ctx& c) {
    if (!have_cube(c)) return;
    // The project lands in the working directory beside the files of command mode; it
    // refers to the cube as it was named on the command line.
    if (NARO_print_vesta_output(c.run, NaroOutputDir::working) != 0) {
        std::printf("Error: Unable to write to NARO.vesta\n");
        return;
    }
    std::printf("VESTA project written to NARO.vesta.\n");
}
// Most neighbours one search lists: the shells grow until a shell adds nothing, so the
// count bounds the work.
constexpr int kMaxNeighbours = 1000;
void neighbour_search(Ctx& c, bool minima) {
    int v[4];
    if (!have_cube(c) || !ints(c, 4, v)) return;
    if (v[3] <= 0) {
        std::printf("Error: Number of neighbours must be greater than zero.\n");
        return;
    }
    if (v[3] > kMaxNeighbours) {
        std::printf("Error: Number of neighbours must not exceed %d.\n", kMaxNeighbours);
        return;
    }
    const NARO_cube& cube = c.run.cube;
    // The shells of images grow until one adds nothing: a point many cells away would
    // keep them growing for as many shells.
    if (std::abs(v[0]) > 10 * cube.a_grid || std::abs(v[1]) > 10 * cube.b_grid || std::abs(v[2]) > 10 * cube.c_grid) {
        std::printf("Error: The grid point lies more than ten cells outside the unit cell.\n");
        return;
    }
    const double fa = static_cast<double>(v[0]) / cube.a_grid, fb = static_cast<double>(v[1]) / cube.b_grid,
                 fc = static_cast<double>(v[2]) / cube.c_grid;
    std::printf(minima ? "Searching for the nearest %d energy minima from (%d,%d,%d) (%.3f,%.3f,%.3f)\n"
                       : "Searching for the nearest %d saddle points from (%d,%d,%d) (%.3f,%.3f,%.3f)\n",
                v[3], v[0], v[1], v[2], fa, fb, fc);
    NARO_nearest_neighbour nn;
    const int r = minima ? NARO_get_nearest_minima(cube, nn, v[3], v[0], v[1], v[2])
                         : NARO_get_nearest_saddle(cube, nn, v[3], v[0], v[1], v[2]);
    if (r != 0) return;
    int rank = 0;
    for (const NARO_nearest_neighbour_item& it : nn.item) {
        if (it.index < 0) break;   // fewer points than asked for
        int x, y, z, type;
        if (minima) {
            const NARO_minima& m = cube.minima[static_cast<size_t>(it.index)];
            x = m.x, y = m.y, z = m.z, type = m.type;
        } else {
            const NARO_saddle& s = cube.saddle[static_cast<size_t>(it.index)];
            x = s.x, y = s.y, z = s.z, type = s.type;
        }
        x += it.i * cube.a_grid;
        y += it.j * cube.b_grid;
        z += it.l * cube.c_grid;
        const double px = static_cast<double>(x) / cube.a_grid, py = static_cast<double>(y) / cube.b_grid,
                     pz = static_cast<double>(z) / cube.c_grid;
        if (minima) {
            std::string label;
            NARO_label_minima_site(cube, label, type);
            std::printf("> %d (%s) : (%d,%d,%d) (%.3f,%.3f,%.3f), %.3f Angstrom\n", ++rank, label.c_str(), x, y, z,
                        px, py, pz, it.distance);
        } else {
            std::printf("> %d : (%d,%d,%d) (%.3f,%.3f,%.3f), %.3f Angstrom\n", ++rank, x, y, z, px, py, pz,
                        it.distance);
        }
    }
    std::printf("End of search\n");
}
void cmd_neighbour_minima(Ctx& c) { neighbour_search(c, true); }
void cmd_neighbour_saddle(Ctx& c) { neighbour_search(c, false); }
void cmd_fastgensym(Ctx& c) {
    int v[3];
    if (c.args.size() < 3) {
        std::printf("Error: Format gensym x y z\n");
        return;
    }
    if (!have_cube(c) || !ints(c, 3, v)) return;
    if (!c.run.input.cif) {
        // The grid operations come from the structure's symmetry.
        std::printf("Error: No CIF file has been loaded yet.\n");
        return;
    }
    NARO_symcopies copies;
    NARO_fastgen_sym_copies(c.run.cif, c.run.cube, copies, v[0], v[1], v[2]);
    std::printf("\nTotal symmetrical copies in unit cell: %d\n", copies.total);
    std::printf("         X     Y     Z\n");
    for (int i = 0; i < copies.total; ++i) {
        const NARO_fastgen_xyz& p = copies.copy[static_cast<size_t>(i)];
        std::printf("%3d. %5d %5d %5d\n", i + 1, p.x, p.y, p.z);
    }
}
// Equivalent positions of a fractional point under the structure's operations.
bool equivalent_positions(Ctx& c, double x, double y, double z, NARO_equiv_pos& pos) {
    if (!c.run.input.cif) {
        std::printf("Error: No CIF file has been loaded yet.\n");
        return false;
    }
    if (NARO_symmetry_generate_equivalent_copies(c.run.cif, pos, x, y, z) != 0) {
        std::printf("Error: Invalid symmetry operation\n");
        return false;
    }
    std::printf("\nTotal symmetrical copies in unit cell: %d\n", pos.total_copies);
    return true;
}
void cmd_gensymf(Ctx& c) {
    double v[3];
    if (c.args.size() < 3) {
        std::printf("Error: Format gensymf x y z\n");
        return;
    }
    NARO_equiv_pos pos;
    if (!reals(c, 3, v) || !equivalent_positions(c, v[0], v[1], v[2], pos)) return;
    std::printf("    Frac.x  Frac.y  Frac.z\n");
    int i = 0;
    for (const NARO_equiv_pos_frac_coor& f : pos.frac) std::printf("%2d. %.10f  %.10f  %.10f\n", ++i, f.a, f.b, f.c);
}
void cmd_gensym(Ctx& c) {
    int v[3];
    if (c.args.size() < 3) {
        std::printf("Error: Format gensym x y z\n");
        return;
    }
    if (!have_cube(c) || !ints(c, 3, v)) return;
    const NARO_cube& cube = c.run.cube;
    NARO_equiv_pos pos;
    if (!equivalent_positions(c, static_cast<double>(v[0]) / cube.a_grid, static_cast<double>(v[1]) / cube.b_grid,
                              static_cast<double>(v[2]) / cube.c_grid, pos))
        return;
    auto grid = [](double f, int n) { return static_cast<int>(((std::lround(f * n) % n) + n) % n); };
    std::printf("    Grid.x  Grid.y  Grid.z\n");
    int i = 0;
    for (const NARO_equiv_pos_frac_coor& f : pos.frac)
        std::printf("%2d. %5d %5d %5d\n", ++i, grid(f.a, cube.a_grid), grid(f.b, cube.b_grid), grid(f.c, cube.c_grid));
}
void cmd_export_cif(Ctx& c) {
    std::string line = "export cif";
    for (const std::string& w : c.args) line += " \"" + w + "\"";
    NARO_cmd_export_cif(line, c.run.cube, c.run.cif);
}
void cmd_slice_plane(Ctx& c) {
    if (!have_cube(c)) return;
    if (c.args.size() < 2 || c.args[0].size() != 1 || std::string("xyz").find(c.args[0][0]) == std::string::npos) {
        std::printf("Error: Format slice plane <x|y|z> <index>\n");
        return;
    }
    const int axis = c.args[0][0] - 'x';
    Ctx one{c.run, c.stages, {c.args[1]}};
    int i;
    if (!ints(one, 1, &i)) return;
    const NARO_cube& cube = c.run.cube;
    const int n[3] = {cube.a_grid, cube.b_grid, cube.c_grid};
    if (i < 0 || i >= n[axis]) {
        std::printf("Error: Input plane is out of unit cell.\n");
        return;
    }
    FILE* f = std::fopen("plane.csv", "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to plane.csv\n");
        std::printf("Error: Unable to write to plane.csv\n");
        return;
    }
    // Rows run along the next axis, values along the one after it.
    const int row_axis = (axis + 1) % 3, col_axis = (axis + 2) % 3;
    for (int r = 0; r < n[row_axis]; ++r) {
        for (int q = 0; q < n[col_axis]; ++q) {
            int p[3];
            p[axis] = i;
            p[row_axis] = r;
            p[col_axis] = q;
            std::fprintf(f, "%f,", NARO_energy_at(cube, p[0], p[1], p[2]));
        }
        std::fprintf(f, "\n");
    }
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "Error: Unable to write to plane.csv\n");
        std::printf("Error: Unable to write to plane.csv\n");
        return;
    }
    std::printf("Successfully exported plane %c = %d to plane.csv.\n", c.args[0][0], i);
}
void cmd_restart(Ctx& c) {
    std::printf("Restarting the pathway analysis...\n");
    bool want_cube = false, want_lib = false, want_rp = false;
    for (const std::string& w : c.args) {
        want_cube = want_cube || w == "cube";
        want_lib = want_lib || w == "pathlib";
        want_rp = want_rp || w == "reacpath";
    }
    NaroRunState& run = c.run;
    if (want_cube) {
        std::printf("> Reconstructing the stationary points...\n");
        if (!c.stages.rebuild_stationary || c.stages.rebuild_stationary(run) != 0) return;
    }
    if (want_lib) {
        std::printf("> Reconstructing the pathway library...\n");
        if (!c.stages.rebuild_pathlib || c.stages.rebuild_pathlib(run) != 0) return;
    }
    if (want_rp) {
        std::printf("> Reconstructing the reaction pathway...\n");
        if (!run.pathlib.pathlib) return;
        if (NARO_build_reaction_pathway(run.cube, run.pathlib, run.rp_all) != 0) return;
        if (naro_write_reaction_pathways(run) != 0) return;
        std::printf("> Auto-generated reaction pathway done.\n");
    }
    if (run.input.summary && naro_write_summary(run) != 0) return;
    if (run.input.gui) {
        // The table lists paths and sites: it needs the structure, the landscape and the path stage.
        if (!run.input.cif || !run.input.cube || !run.input.path) return;
        if (NARO_print_GUI_output(run) != 0) return;
    }
    std::printf("Finished restarting.\n");
}
void cmd_end(Ctx& c) {
    std::printf("Exit command mode...\n");
    c.leave = true;
}

struct Command {
    const char* words;     // command words, blank-separated
    void (*run)(Ctx&);
    const char* topic;     // the help-list entry the command belongs to
    const char* syntax;    // usage line of "help <command>"
    const char* about;     // what it does
    const char* example;
};

// Dispatch order: longer commands sharing a first word come first ("energy max"
// before "energy"). A line is matched word by word, so "gensym" never takes "gensymf".
const Command kCommands[] = {
    {"vesta", cmd_vesta, "vesta", "vesta",
     "writes NARO.vesta for the loaded cube and structure in the working directory", "vesta"},
    {"print minima", cmd_print_minima, "print minima", "print minima", "prints the local minima grouped by symmetry type",
     "print minima"},
    {"print saddle", cmd_print_saddle, "print saddle", "print saddle", "prints the saddle points grouped by symmetry type",
     "print saddle"},
    {"print pathlib", cmd_print_pathlib, "print pathlib", "print pathlib",
     "prints the library of distinct paths between minima", "print pathlib"},
    {"print ion types", cmd_print_types, "print", "print ion types", "prints the atom types of the structure",
     "print ion types"},
    {"print symops", cmd_print_symops, "print", "print symops",
     "prints the symmetry operations of the structure and of the grid", "print symops"},
    {"totalgrid", cmd_totalgrid, "totalgrid", "totalgrid", "prints the number of grid points along a, b and c",
     "totalgrid"},
    {"hk", cmd_hk, "hk", "hk", "does nothing (kept for old scripts)", "hk"},
    {"diff_neigh", cmd_diff_neigh, "diff_neigh", "diff_neigh",
     "tells whether symmetry-equivalent grid points may have different neighbourhoods", "diff_neigh"},
    {"angle", cmd_angle, "angle", "angle <x1> <y1> <z1> <x2> <y2> <z2> <x3> <y3> <z3>",
     "angle at the second of three grid points, in radians and degrees", "angle 1 0 0 0 0 0 0 1 0"},
    {"neighbour minima", cmd_neighbour_minima, "neighbour", "neighbour minima <x> <y> <z> <N>",
     "lists the N minima nearest to a grid point, with their periodic images and distances",
     "neighbour minima 0 0 0 4"},
    {"neighbour saddle", cmd_neighbour_saddle, "neighbour", "neighbour saddle <x> <y> <z> <N>",
     "lists the N saddle points nearest to a grid point, with their periodic images and distances",
     "neighbour saddle 0 0 0 4"},
    {"energy neighbour", cmd_energy_neighbour, "energy", "energy neighbour <x> <y> <z>",
     "prints the unscaled energies of the 26 grid neighbours of a grid point", "energy neighbour 10 10 10"},
    {"energy max", cmd_energy_max, "energy max", "energy max [value]",
     "sets the maximum energy above the global minimum (scaled, eV) used by restart; without a value prints it",
     "energy max 1.5"},
    {"energy", cmd_energy, "energy", "energy <x> <y> <z>", "prints the scaled energy at a grid point",
     "energy 10 10 10"},
    {"frac", cmd_frac, "frac", "frac <x> <y> <z>", "converts grid coordinates to fractional coordinates",
     "frac 12 6 12"},
    {"grid", cmd_grid, "grid", "grid <x> <y> <z>", "converts fractional coordinates to grid coordinates",
     "grid 0.5 0.25 0.25"},
    {"index", cmd_index, "index", "index <x> <y> <z>",
     "counts the clusters of lower-energy neighbours around a grid point (2 or more marks a saddle)", "index 10 10 10"},
    {"distance", cmd_distance, "distance", "distance <x1> <y1> <z1> <x2> <y2> <z2>",
     "distance in Angstrom between two grid points, without periodic images", "distance 0 0 0 12 0 0"},
    {"network", cmd_network, "perc", "network <energy|all>",
     "percolation of the path network at every saddle energy up to the given scaled energy, or at all of them "
     "(a missing or extra argument ends command mode)",
     "network 0.5"},
    {"connect", cmd_connect, "connect", "connect <path ID> [path ID] ...",
     "joins distinct paths (numbers from print pathlib; negative walks a path backwards) into one reaction path "
     "written to NARO_rp_manual.csv",
     "connect 5 3 -4"},
    {"del pathlib", cmd_del_pathlib, "del", "del pathlib <k>", "deletes distinct path k and its periodic copies",
     "del pathlib 3"},
    {"del minimum", cmd_del_minimum, "del", "del minimum <k>",
     "deletes minimum type k (the path library is cleared until restart pathlib)", "del minimum 2"},
    {"del saddletype", cmd_del_saddletype, "del", "del saddletype <k>",
     "deletes saddle type k (the path library is cleared until restart pathlib)", "del saddletype 2"},
    {"fastgensym", cmd_fastgensym, "gensym", "fastgensym <x> <y> <z>",
     "symmetry copies of a grid point by the integer grid operations", "fastgensym 12 0 0"},
    {"gensymf", cmd_gensymf, "gensym", "gensymf <x> <y> <z>",
     "equivalent positions of a fractional point under the operations of the CIF", "gensymf 0.5 0 0"},
    {"gensym", cmd_gensym, "gensym", "gensym <x> <y> <z>",
     "equivalent positions of a grid point under the operations of the CIF, as grid points", "gensym 12 0 0"},
    {"gii", cmd_gii, "gii", "gii", "prints the global instability index of the structure", "gii"},
    {"bv", cmd_bv, "bv", "bv", "prints the bond-valence sums of the sites", "bv"},
    {"charge", cmd_charge, "charge", "charge", "prints the total charge of the unit cell", "charge"},
    {"isminimum", cmd_isminimum, "isminimum", "isminimum <x> <y> <z>",
     "checks whether a grid point (wrapped into the cell) is a local minimum", "isminimum 12 0 0"},
    {"isdirectpath", cmd_isdirectpath, "isdirectpath", "isdirectpath <x1> <y1> <z1> <x2> <y2> <z2>",
     "checks whether one path of the library joins two minima", "isdirectpath 0 0 0 12 0 0"},
    {"export cif", cmd_export_cif, "export cif",
     "export cif [P1] [ins] [sad] [updatecoor|updatelabel] [supercell <n1> <n2> <n3>] [-o <file>]",
     "writes the structure as CIF (NARO.cif unless -o names a file): P1 expands to P1, ins adds the interstitial "
     "minima, sad the saddle points, updatecoor puts the mobile ions on the occupied minima (updatelabel also "
     "renumbers them), supercell builds a supercell with whole occupancies",
     "export cif ins P1 -o out.cif"},
    {"slice plane", cmd_slice_plane, "slice plane", "slice plane <x|y|z> <index>",
     "writes the unscaled energies of one grid plane to plane.csv, one line per step along the next axis",
     "slice plane z 0"},
    {"restart", cmd_restart, "restart", "restart [cube] [pathlib] [reacpath]",
     "rebuilds the stationary points (cube), the path library (pathlib) and the reaction pathways (reacpath) with "
     "the current energy threshold, then rewrites the summary and GUI files that the run wrote",
     "restart cube pathlib reacpath"},
    {"end", cmd_end, "end", "end", "leaves command mode", "end"},
};

// The list that "help" prints, in its order.
const char* const kHelpList[] = {
    "\tgrid          - converts fractional coordinates to grid coordinates",
    "\tfrac          - converts grid coordinates to fractional coordinates",
    "\tangle         - finds angles between two vectors formed by three grid coordinates",
    "\tneighbour     - finds the N nearest minima/saddle from a specified coordinate",
    "\tenergy        - prints energy at specified grid coordinates",
    "\tenergy max    - sets the maximum energy threshold for pathway analysis",
    "\tdistance      - calculates distance between two coordinates",
    "\tprint minima  - prints summary of local minima",
    "\tprint saddle  - prints summary of saddle points",
    "\tprint pathlib - prints summary of paths",
    "\tconnect       - joins several paths together to form a long reaction path",
    "\tisdirectpath  - checks if there is a direct path between two minima sites",
    "\tisminimum     - checks if the specified location corresponds to a minimum",
    "\tdel           - deletes certain entries from the libraries (pathway, site, etc.)",
    "\tperc          - percolation info at certain energy threshold",
    "\tgensym        - generates symmetrical copies of specified grid coordinates",
    "export cif    - exports the CIF content",
};

}  // namespace

size_t NARO_tokenize_string(const std::string& text, std::vector<std::string>& words, size_t max) {
    words.clear();
    size_t i = 0;
    while (i < text.size() && words.size() < max) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        if (i >= text.size()) break;
        std::string w;
        if (text[i] == '"') {
            ++i;
            while (i < text.size() && text[i] != '"') w += text[i++];
            if (i < text.size()) ++i;
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n')
                w += text[i++];
        }
        words.push_back(w);
    }
    return words.size();
}

int NARO_cmd_help(const std::string& line) {
    std::vector<std::string> w;
    NARO_tokenize_string(line, w, 8);
    if (w.empty() || w[0] != "help") return 0;
    if (w.size() == 1) {
        std::printf("\nList of commands:\n");
        for (const char* l : kHelpList) std::printf("%s\n", l);
        return 1;
    }
    std::string rest;
    for (size_t i = 1; i < w.size(); ++i) rest += (i > 1 ? " " : "") + w[i];
    // A command, or an entry of the list that stands for several ("help del").
    bool found = false;
    for (const Command& c : kCommands)
        if (rest == c.words) {
            std::printf("\nCommand:     %s\n- %s\n- Example: %s\n", c.syntax, c.about, c.example);
            return 1;
        }
    for (const Command& c : kCommands)
        if (rest == c.topic) {
            std::printf("\nCommand:     %s\n- %s\n- Example: %s\n", c.syntax, c.about, c.example);
            found = true;
        }
    if (!found) std::printf("No help for '%s' (type help for a list of available commands).\n", rest.c_str());
    return 1;
}

int NARO_cmd_export_cif(const std::string& line, const NARO_cube& cube, const NARO_cif& cif) {
    std::vector<std::string> w;
    NARO_tokenize_string(line, w, 64);
    const size_t first = w.size() >= 2 && w[0] == "export" && w[1] == "cif" ? 2 : w.size();
    std::printf("Exporting to CIF file...\n");
    bool p1 = false, ins = false, sad = false;
    int update = 0;   // 1 updatecoor, 2 updatelabel
    std::string file;
    int n[3] = {0, 0, 0};
    const char* const kInvalid =
        "Error: Invalid input to export cif. Please check 'help export cif' for more information.\n";
    for (size_t i = first; i < w.size(); ++i) {
        const std::string& o = w[i];
        if (o == "P1" || o == "p1") {
            p1 = true;
        } else if (o == "ins") {
            ins = true;
        } else if (o == "sad") {
            sad = true;
        } else if (o == "updatecoor") {
            update = std::max(update, 1);
        } else if (o == "updatelabel") {
            update = 2;
        } else if (o == "-o") {
            if (i + 1 >= w.size() || w[i + 1].empty()) {
                std::printf("%s", kInvalid);
                return 1;
            }
            file = w[++i];
        } else if (o == "supercell") {
            if (i + 3 >= w.size()) {
                std::printf("%s", kInvalid);
                return 1;
            }
            for (int k = 0; k < 3; ++k) {
                const std::string& t = w[i + 1 + static_cast<size_t>(k)];
                char* end = nullptr;
                const long v = std::strtol(t.c_str(), &end, 10);
                if (end == t.c_str() || *end != '\0' || v < 1 || v > 20) {
                    std::printf("Error: Supercell factors must be whole numbers from 1 to 20.\n");
                    return 1;
                }
                n[k] = static_cast<int>(v);
            }
            i += 3;
        } else {
            std::printf("Error: Unknown option '%s' to export cif. Please check 'help export cif' for more "
                        "information.\n",
                        o.c_str());
            return 1;
        }
    }
    if (!cif.cif || cif.site.empty()) {
        std::printf("Error: No CIF file has been loaded yet.\n");
        return 1;
    }
    if ((ins || sad || update) && cube.minima.empty() && cube.saddle.empty()) {
        std::printf("Error: No stationary points: ins, sad, updatecoor and updatelabel need --cif and --cube.\n");
        return 1;
    }
    NARO_cif out = cif;
    // Edits in the structure's own setting come first, so that P1 and supercells copy them.
    if (update) {
        std::printf(update == 2 ? "> Updating mobile ion site coordinates and labels...\n"
                                : "> Updating mobile ion site coordinates...\n");
        if (naro_export_move_probe_sites(out, cube, update == 2) != 0) return 1;
    }
    if (ins) {
        std::printf("> Adding interstitial sites into CIF...\n");
        naro_export_add_interstitials(out, cube);
    }
    if (sad) {
        std::printf("> Adding saddle points into CIF...\n");
        naro_export_add_saddles(out, cube);
    }
    if (p1) {
        std::printf("> Converting to P1 symmetry...\n");
        if (naro_export_expand_to_p1(out) != 0) {
            std::printf("Error: Invalid symmetry operation\n");
            return 1;
        }
    }
    if (n[0] > 0) {
        std::printf("> Building supercell %d x %d x %d\n", n[0], n[1], n[2]);
        if (naro_export_supercell(out, n[0], n[1], n[2]) != 0) return 1;
    }
    if (file.empty()) {
        std::printf("> No file output specified... writing to NARO.cif instead\n");
        file = "NARO.cif";
    } else {
        std::printf("> Exporting to %s\n", file.c_str());
    }
    FILE* f = std::fopen(file.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "Error: Unable to write to %s\n", file.c_str());
        std::printf("Error: Unable to write to %s\n", file.c_str());
        return 1;
    }
    NARO_write_cif(out, f);
    const bool ok = std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        std::remove(file.c_str());
        std::fprintf(stderr, "Error: Unable to write to %s\n", file.c_str());
        std::printf("Error: Unable to write to %s\n", file.c_str());
        return 1;
    }
    std::printf("Finished exporting.\n");
    return 0;
}

int NARO_parse_command_mode_input(NaroRunState& run, const NaroCmdStages& stages, FILE* in) {
    std::printf("\nEnter your command: (type end to exit, or help for a list of available commands)\n");
    std::fflush(stdout);
    std::string line;
    char buf[1001];
    for (;;) {
        // End of input ends the session as "end" would: a closed stdin must not spin.
        if (!std::fgets(buf, sizeof buf, in)) return 0;
        line = buf;
        if (!line.empty() && line.back() != '\n' && !std::feof(in)) {
            // An overlong line is refused whole, not read as several commands.
            int ch;
            while ((ch = std::fgetc(in)) != EOF && ch != '\n') {}
            std::printf("Error: Command longer than 1000 characters.\n");
            std::fflush(stdout);
            continue;
        }
        std::vector<std::string> words;
        NARO_tokenize_string(line, words, 64);
        if (words.empty()) continue;
        if (NARO_cmd_help(line)) {
            std::fflush(stdout);
            continue;
        }
        const Command* hit = nullptr;
        size_t used = 0;
        for (const Command& c : kCommands) {
            std::vector<std::string> cw;
            NARO_tokenize_string(c.words, cw, 8);
            if (cw.size() > words.size()) continue;
            bool same = true;
            for (size_t i = 0; i < cw.size() && same; ++i) same = cw[i] == words[i];
            if (same) {
                hit = &c;
                used = cw.size();
                break;
            }
        }
        if (!hit) {
            std::printf("Unknown command: %s (type help for a list of available commands)\n", words[0].c_str());
            std::fflush(stdout);
            continue;
        }
        Ctx ctx{run, stages, std::vector<std::string>(words.begin() + static_cast<long>(used), words.end())};
        hit->run(ctx);
        std::fflush(stdout);
        if (ctx.fatal) return 1;
        if (ctx.leave) return 0;
    }
}
