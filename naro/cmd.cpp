// Command mode: one table of commands drives dispatch and the help list.
#include "cmd.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bond-valence.hpp"
#include "cif.hpp"
#include "cube.hpp"
#include "path-library.hpp"
#include "pathway.hpp"
#include "percolation.hpp"
#include "stationary.hpp"

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
        if (!c.stages.write_reaction_pathways || c.stages.write_reaction_pathways(run) != 0) return;
        std::printf("> Auto-generated reaction pathway done.\n");
    }
    if (run.input.summary && c.stages.write_summary && c.stages.write_summary(run) != 0) return;
    if (run.input.gui && c.stages.write_gui && c.stages.write_gui(run) != 0) return;
    std::printf("Finished restarting.\n");
}
void cmd_end(Ctx& c) {
    std::printf("Exit command mode...\n");
    c.leave = true;
}

struct Command {
    const char* words;   // command words, blank-separated
    void (*run)(Ctx&);
    const char* help;    // line of the help list; nullptr keeps it out of the list
};

// Longer commands sharing a first word come first ("energy max" before "energy").
const Command kCommands[] = {
    {"print minima", cmd_print_minima, "print minima  - prints summary of local minima"},
    {"print saddle", cmd_print_saddle, "print saddle  - prints summary of saddle points"},
    {"print pathlib", cmd_print_pathlib, "print pathlib - prints summary of paths"},
    {"print ion types", cmd_print_types, nullptr},
    {"print symops", cmd_print_symops, nullptr},
    {"totalgrid", cmd_totalgrid, nullptr},
    {"hk", cmd_hk, nullptr},
    {"diff_neigh", cmd_diff_neigh, nullptr},
    {"angle", cmd_angle, "angle         - finds angles between two vectors formed by three grid coordinates"},
    {"energy neighbour", cmd_energy_neighbour, nullptr},
    {"energy max", cmd_energy_max, "energy max    - sets the maximum energy threshold for pathway analysis"},
    {"energy", cmd_energy, "energy        - prints energy at specified grid coordinates"},
    {"frac", cmd_frac, "frac          - converts grid coordinates to fractional coordinates"},
    {"grid", cmd_grid, "grid          - converts fractional coordinates to grid coordinates"},
    {"index", cmd_index, nullptr},
    {"distance", cmd_distance, "distance      - calculates distance between two coordinates"},
    {"network", cmd_network, "perc          - percolation info at certain energy threshold"},
    {"connect", cmd_connect, "connect       - joins several paths together to form a long reaction path"},
    {"del pathlib", cmd_del_pathlib, "del           - deletes certain entries from the libraries (pathway, site, etc.)"},
    {"del minimum", cmd_del_minimum, nullptr},
    {"del saddletype", cmd_del_saddletype, nullptr},
    {"gii", cmd_gii, nullptr},
    {"bv", cmd_bv, nullptr},
    {"charge", cmd_charge, nullptr},
    {"isminimum", cmd_isminimum, "isminimum     - checks if the specified location corresponds to a minimum"},
    {"isdirectpath", cmd_isdirectpath, "isdirectpath  - checks if there is a direct path between two minima sites"},
    {"restart", cmd_restart, nullptr},
    {"end", cmd_end, nullptr},
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
        for (const Command& c : kCommands)
            if (c.help) std::printf("\t%s\n", c.help);
        std::printf("\tgensym        - generates symmetrical copies of specified grid coordinates\n");
        std::printf("export cif    - exports the CIF content\n");
        return 1;
    }
    std::string rest;
    for (size_t i = 1; i < w.size(); ++i) rest += (i > 1 ? " " : "") + w[i];
    for (const Command& c : kCommands)
        if (rest == c.words) {
            std::printf("\nCommand:     %s\n- %s\n", c.words, c.help ? c.help : c.words);
            return 1;
        }
    std::printf("No help for '%s'.\n", rest.c_str());
    return 1;
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
