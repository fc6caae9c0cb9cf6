// Landscape runs of any model (cube-models.hpp): from a cell to a landscape, from a cell to a
// written cube file with the parameters assembled from the databases, and the partial-occupancy
// level that first resolves mixed conducting sites in a supercell (written as a CIF) and then
// writes "<cube>_assigned.cube". The kelmar_cube_calculate_* forms are the bond-valence model's.
#pragma once

#include <memory>

#include "cube.hpp"

struct CubeModel;
struct KELMAR_PROPERTY;

// The model's landscape of a cell (P1 when symmetry is null); null after the error lines.
std::unique_ptr<KELMAR_CUBE> cube_model_from_cell(const CubeModel& model, KELMAR_CELL* cell,
                                                  const KELMAR_SYMMETRY* symmetry, KELMAR_PROPERTY* ppt,
                                                  double resolution, bool ignore_conducting);
std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             const KELMAR_PROPERTY* ppt, const char* type, int os,
                                                             double resolution, bool ignore_conducting);

// Parameters from the databases, the landscape, the file; 0 or 1 after the error lines.
int cube_model_write_to_file(const CubeModel& model, const char* filename, KELMAR_CELL* cell,
                             const KELMAR_SYMMETRY* symmetry, const char* type, int os, double sf, double resolution,
                             bool ignore_conducting, bool periodic, const char* dir_unitary, const char* dir_binary);
int kelmar_cube_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                      const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                                      double sf, double resolution, bool ignore_conducting,
                                                      bool periodic, const char* dir_unitary, const char* dir_binary);

// As cube_model_write_to_file, but a cell whose conducting sites are shared is first turned into a
// supercell with whole sites drawn from engine (or skipped, with skip_mix_occ). 0 or 1.
int cube_model_write_assigned(const CubeModel& model, const char* cubename, const char* cifname, KELMAR_CELL* cell,
                              const KELMAR_SYMMETRY* symmetry, const char* type, int os, double sf,
                              double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
                              const char* dir_unitary, const char* dir_binary, RandomEngine& engine);
int kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary, RandomEngine& engine);
