// The state of one analyser run: everything the driver builds and the later stages
// read or edit. The driver owns one; the output writers (VESTA file, GUI table,
// coordination numbers, summary, events and NARO_rp.csv) and the command mode receive
// it by reference instead of a list of records, and name their files from its input
// (output-path.hpp). Stages that command mode re-runs (summary file, rebuilds) must not
// make it call back into driver.cpp, which calls it: the driver hands them over (as
// function objects) or they live below both.
#pragma once

#include "records.hpp"
#include "path-library.hpp"
#include "pathway.hpp"

struct NaroRunState {
    explicit NaroRunState(const NARO_input& in) : input(in) {}

    const NARO_input& input;     // the parsed command line; outlives the run
    NARO_cube cube;              // landscape; its minima and saddle lists are the stationary points
    NARO_cif cif;                // structure model
    NARO_asymmetric_unit asym;   // grid orbits for the stationary-point search (released after it)
    NARO_pathlib pathlib;        // migration-path library and activation energies
    NARO_reaction_pathway_overall rp_all;   // reaction pathways (pathway.cpp)
};
