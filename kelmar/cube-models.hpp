// The landscape models kelmar.x builds, one row each: the command that asks for it, the engine
// that computes it (cube-grid.hpp) and the names its failures report. A new model is one engine
// plus one row.
#pragma once

#include <memory>
#include <span>

#include "cube.hpp"

struct KELMAR_PROPERTY;

// Computes a model's landscape of a cell under a symmetry; null after the engine's messages.
using CubeEngine = std::unique_ptr<KELMAR_CUBE> (*)(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                    KELMAR_PROPERTY* ppt, double resolution, bool ignore_conducting);

struct CubeModel {
    const char* command;         // the kelmar.x command, e.g. "--gen-cube"
    CubeEngine engine;
    const char* engine_name;     // reported when the engine fails
    const char* from_cell_name;  // reported when the landscape of a cell fails
    const char* run_name;        // reported when a run that writes the file fails
    bool timed;                  // the command reports the CPU time it took
};

// Every model, in the order of the commands.
std::span<const CubeModel> cube_models();
// The model a command asks for, or null.
const CubeModel* cube_model_for(const char* command);
