// The activation energies of long-range migration from a structure and its landscape, as
// "NARO.x --cif <cif> <ion> --cube <cube> --path --print-act" finds them, for callers that want
// the numbers rather than the console and result files (nothing is written).
#pragma once

#include <string>

struct NaroActivationRequest {
    std::string cif_file;
    std::string ion_type;            // e.g. "Li1+"; empty: no probe ion (energies unscaled)
    std::string cube_file;
    std::string scaling_expression;  // as --scale; empty: the probe ion's default
    double max = 0.0;                // as --max
    bool smooth_cube = false;        // as --smooth-cube
};

struct NaroActivationEnergies {
    double oneD = 999.0, twoD = 999.0, threeD = 999.0;  // eV; 999 when that dimension never percolates
    int minima = 0, saddles = 0, paths = 0;              // stationary points and distinct paths found
};

// 0 on success, 1 after the error line.
int naro_activation_energies(const NaroActivationRequest& request, NaroActivationEnergies* out);
