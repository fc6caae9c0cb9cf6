// The activation energies of a structure and its landscape without the run's files: the same
// stages, in the same order, as the analyser's driver runs for --cif, --cube and --path.
#include "activation-run.hpp"

#include <cstdio>

#include "cif.hpp"
#include "cube.hpp"
#include "math.hpp"
#include "path-library.hpp"
#include "percolation.hpp"
#include "run-state.hpp"
#include "stationary.hpp"

int naro_activation_energies(const NaroActivationRequest& request, NaroActivationEnergies* out) {
    NARO_input input;
    input.cif = 1;
    input.cif_file = request.cif_file;
    input.cube = 1;
    input.cube_file = request.cube_file;
    input.path = 1;
    input.max = request.max;
    input.smooth_cube = request.smooth_cube ? 1 : 0;
    input.ion = request.ion_type.empty() ? 0 : 1;
    input.ion_type = request.ion_type;
    NaroRunState run(input);
    NARO_cube& cube = run.cube;
    NARO_cif& cif = run.cif;
    NARO_init_asymmetric_unit(run.asym);
    NARO_init_cube(cube);
    NARO_init_cube_stationary_points(cube);
    if (NARO_init_cif(cif) != 0) return 1;
    if (input.ion) {
        cif.ion = 1;
        cif.probe_type = input.ion_type.substr(0, 9);
        const char* ex = cif.probe_type == "Na1+" ? "0.5695*E^(0.6946)" : "E";
        if (NARO_parse_energy_scaling(cube, ex) != 0) return 1;
    }
    if (!request.scaling_expression.empty()) {
        NARO_free_RPN(cube.RPN);
        cube.scaling = 0;
        if (NARO_parse_energy_scaling(cube, request.scaling_expression.c_str()) != 0) return 1;
    }
    cube.max_energy_above_gmin = input.max;
    cube.cube = 1;
    cube.smooth_cube = input.smooth_cube;
    if (NARO_load_cube(input.cube_file.c_str(), cube) != 0) return 1;
    if (NARO_process_cube(cube) != 0) return 1;
    cif.cif = 1;
    if (NARO_load_cif(input.cif_file.c_str(), cif) != 0) return 1;
    NARO_prepare_fastgen_symop(cif, cube);

    // stationary points: search, grouping, probe ions, labels
    if (NARO_find_asymmetric_unit(cube, cif, run.asym) != 0) return 1;
    if (input.smooth_cube && NARO_smooth_cube_with_symmetry(cube, cif, run.asym) != 0) return 1;
    const int r = cif.diff_neigh ? NARO_find_stationary_points2(cube, cif)
                                 : NARO_find_stationary_points(cube, cif, run.asym);
    if (r != 0) return 1;
    NARO_free_asymmetric_unit(run.asym);
    if (NARO_group_saddle_by_symmetry(cube, cif) != 0) return 1;
    if (NARO_group_minima_by_symmetry(cube, cif) != 0) return 1;
    if (cif.ion && NARO_assign_ion_to_sites(cube, cif) != 0) return 1;
    NARO_assign_interstitial_labels(cube, cif);

    // the path library and the percolation levels
    NARO_pathlib& pathlib = run.pathlib;
    if (naro_path_library_build(cube, cif, pathlib, input.deWarn) != 0) return 1;
    if (NARO_calc_activation_energy(cube, pathlib) != 0) {
        std::fprintf(stderr, "Error: Unable to calculate activation energy\n");
        return 1;
    }
    out->oneD = pathlib.oneD;
    out->twoD = pathlib.twoD;
    out->threeD = pathlib.threeD;
    out->minima = cube.total_minima;
    out->saddles = cube.total_saddle;
    out->paths = pathlib.total_path;
    return 0;
}
