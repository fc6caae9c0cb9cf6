// Driver of the analyser: the run order of NARO.x and the stages it strings together
// (stationary points, path stage). The records of the run live in one NaroRunState;
// the writers it calls name their own files.
#include "driver.hpp"

#include <cstdio>
#include <string>

#include <unistd.h>

#include "cif.hpp"
#include "bond-valence.hpp"
#include "command-mode.hpp"
#include "cube.hpp"
#include "gui.hpp"
#include "math.hpp"
#include "path-library.hpp"
#include "pathway.hpp"
#include "percolation.hpp"
#include "run-state.hpp"
#include "same-cell.hpp"
#include "error-console.hpp"
#include "result-files.hpp"
#include "stationary.hpp"
#include "vesta.hpp"

// Path library from the current stationary points; 1 on a fatal failure.
static int naro_build_library(NaroRunState& run) {
    NARO_free_reaction_pathway(run.rp_all);
    return naro_path_library_build(run.cube, run.cif, run.pathlib, run.input.deWarn);
}

// The path stage (--path with --cube): library, --print-path, --print-perc, activation
// energies, --print-act, the events file and NARO_rp.csv. Returns 1 on a fatal failure.
static int naro_path_stage(NaroRunState& run) {
    const NARO_input& input = run.input;
    const NARO_cube& cube = run.cube;
    const NARO_cif& cif = run.cif;
    NARO_pathlib& pathlib = run.pathlib;
    if (naro_build_library(run) != 0) return 1;
    if (input.print_path) NARO_print_pathlib(cube, pathlib, stdout);
    if (input.print_perc) NARO_analyze_network_at_saddles(cube, pathlib, stdout, 999.0);
    if (NARO_calc_activation_energy(cube, pathlib) != 0)
        std::fprintf(stderr, "Error: Unable to calculate activation energy\n");
    if (input.print_act) {
        NARO_print_cif_ICSD(cif, stdout);
        NARO_print_activation_energy(pathlib, stdout);
    }
    naro_write_events(run);
    if (NARO_build_reaction_pathway(cube, pathlib, run.rp_all) != 0) return 1;
    if (naro_write_reaction_pathways(run) == 0) std::printf("Auto-generated reaction pathway done.\n");
    std::fflush(stdout);
    return 0;
}

// Stationary points of the loaded landscape (search, grouping, probe ions, labels).
// The landscape is smoothed only once, on the first run.
static int naro_stationary_stage(NaroRunState& run, bool smooth) {
    NARO_cube& cube = run.cube;
    NARO_cif& cif = run.cif;
    NARO_asymmetric_unit& asym = run.asym;
    NARO_init_cube_stationary_points(cube);
    if (NARO_find_asymmetric_unit(cube, cif, asym) != 0) return 1;
    if (smooth && NARO_smooth_cube_with_symmetry(cube, cif, asym) != 0) return 1;
    int r = cif.diff_neigh ? NARO_find_stationary_points2(cube, cif) : NARO_find_stationary_points(cube, cif, asym);
    if (r != 0) return 1;
    NARO_free_asymmetric_unit(asym);
    if (NARO_group_saddle_by_symmetry(cube, cif) != 0) return 1;
    if (NARO_group_minima_by_symmetry(cube, cif) != 0) return 1;
    if (cif.ion && NARO_assign_ion_to_sites(cube, cif) != 0) return 1;
    NARO_assign_interstitial_labels(cube, cif);
    return 0;
}

// ================================================================ run order
static int naro_run(NARO_input& input) {
    NaroRunState run(input);
    NARO_asymmetric_unit& asym = run.asym;
    NARO_init_asymmetric_unit(asym);

    NARO_cube& cube = run.cube;
    NARO_init_cube(cube);
    NARO_init_cube_stationary_points(cube);
    NARO_cif& cif = run.cif;
    if (NARO_init_cif(cif) != 0) return 1;

    if (!input.missing_value_flag.empty()) {
        std::fprintf(stderr, "Error: %s needs a value\n", input.missing_value_flag.c_str());
        return 1;
    }
    if (!input.unknown_flag.empty()) {
        std::fprintf(stderr, "Error: unknown flag %s (--help lists the flags)\n", input.unknown_flag.c_str());
        return 1;
    }

    if (input.ion) {
        cif.ion = 1;
        cif.probe_type = input.ion_type.substr(0, 9);
        const char* ex = cif.probe_type == "Na1+" ? "0.5695*E^(0.6946)" : "E";
        if (NARO_parse_energy_scaling(cube, ex) != 0) return 1;
    }
    if (input.scaling) {
        NARO_free_RPN(cube.RPN);
        cube.scaling = 0;
        if (NARO_parse_energy_scaling(cube, input.scaling_expression.c_str()) != 0) return 1;
    }
    cube.max_energy_above_gmin = input.max;

    if (input.cube) {
        cube.cube = 1;
        cube.smooth_cube = input.smooth_cube;
        if (NARO_load_cube(input.cube_file.c_str(), cube) != 0) return 1;
        if (NARO_process_cube(cube) != 0) return 1;
        // Every point a minimum and no saddle anywhere: the analysis below finds no hop,
        // although an ion moves freely on such a landscape.
        if (naro_cube_is_flat(cube))
            std::fprintf(stderr, "Warning: the landscape is flat (every grid point at the same energy): it has no "
                                 "sites or hops, so no percolation is reported\n");
    }

    bool task_failed = false;
    if (input.cif) {
        cif.cif = 1;
        if (NARO_load_cif(input.cif_file.c_str(), cif) != 0) return 1;
        if (input.cube) {
            if (naro_check_same_cell(cif, cube) != 0) return 1;
            NARO_prepare_fastgen_symop(cif, cube);
            if (naro_stationary_stage(run, input.smooth_cube != 0) != 0) return 1;
        }
        // A structure task that cannot give its answer does not stop the run, but the
        // exit status reports it: an error line alone would pass for success.
        if (input.calc_charge && NARO_print_unit_cell_charge(cif) != 0) task_failed = true;
        if (input.calc_bvsum && NARO_print_bv_sum(cif, stdout) != 0) task_failed = true;
        if (input.calc_gii && NARO_print_GII(cif, stdout) != 0) task_failed = true;
        if (input.check_sub) NARO_check_ion_sub(cif, stdout);
        if (input.check_subs) NARO_check_ions_sub(cif, stdout);
        if (input.print_symops) NARO_print_cif_symops(cif, stdout);
        if (input.print_all_sites) {
            if (NARO_add_P1_to_cif(cif) == 0) NARO_print_cif_all_sites(cif, stdout);
            else task_failed = true;
        }
    }

    if (input.cube) {
        if (!input.cif) {
            if (NARO_group_saddle_by_symmetry(cube, cif) != 0) return 1;
            if (NARO_group_minima_by_symmetry(cube, cif) != 0) return 1;
            NARO_assign_interstitial_labels(cube, cif);
        }
        if (input.print_minima) NARO_printminima(cube, stdout);
        if (input.print_saddle) NARO_printsaddle(cube, stdout);
    }

    NARO_init_pathlib(run.pathlib);
    if (input.path && input.cube && naro_path_stage(run) != 0) return 1;
    if (input.vesta) {
        // The project overlays structure and landscape: without both (and the
        // percolation levels of the path stage) there is nothing to show.
        if (!input.cif || !input.cube || !input.path) {
            std::fprintf(stderr, "Error: --vesta needs --cif, --cube and --path\n");
            task_failed = true;
        } else if (NARO_print_vesta_output(run) != 0) {
            task_failed = true;
        }
    }
    if (input.summary && naro_write_summary(run) != 0) return 1;
    if (input.gui) {
        if (!input.cif || !input.cube || !input.path) {
            std::fprintf(stderr, "Error: --gui needs --cif, --cube and --path\n");
            task_failed = true;
        } else if (NARO_print_GUI_output(run) != 0) {
            task_failed = true;
        }
    }

    if (input.cmd) {
        NaroCmdStages stages;
        stages.rebuild_stationary = [](NaroRunState& r) {
            if (!r.input.cif || !r.input.cube) {
                std::printf("Error: The stationary points need --cif and --cube.\n");
                return 1;
            }
            return naro_stationary_stage(r, false);
        };
        stages.rebuild_pathlib = [](NaroRunState& r) {
            if (!r.input.cube) return 1;
            if (naro_build_library(r) != 0) return 1;
            if (NARO_calc_activation_energy(r.cube, r.pathlib) != 0)
                std::fprintf(stderr, "Error: Unable to calculate activation energy\n");
            return 0;
        };
        if (NARO_parse_command_mode_input(run, stages, stdin) != 0) return 1;
    }

    std::fflush(stdout);
    std::fflush(stderr);
    return task_failed ? 1 : 0;
}

int NARO(NARO_input& input) {
    // Every Error: and Warning: line goes to NARO_error.txt; a working directory that cannot take
    // the file (read-only) keeps them on the console, and the results still come.
    int console = -1;
    if (FILE* probe = std::fopen("NARO_error.txt", "w")) {
        std::fclose(probe);
        std::fflush(stderr);
        console = dup(fileno(stderr));
        if (!std::freopen("NARO_error.txt", "w", stderr)) return 1;
    } else {
        std::fprintf(stderr, "Warning: NARO_error.txt cannot be written in the working directory; errors and "
                             "warnings go to the console.\n");
    }
    const int status = naro_run(input);
    std::fflush(stdout);
    std::fflush(stderr);
    if (console >= 0) {
        // A run that fails shows its errors to the person who started it as well: the file
        // alone leaves a missing input looking like a silent success.
        if (status != 0) naro_replay_errors("NARO_error.txt", console);
        close(console);
    }
    return status;
}
