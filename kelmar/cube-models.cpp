// The landscape models and their engines.
#include "cube-models.hpp"

#include <cstring>

#include "cube-grid.hpp"

namespace {

std::unique_ptr<KELMAR_CUBE> bond_valence(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, KELMAR_PROPERTY* ppt,
                                          double resolution, bool ignore_conducting) {
    return kelmar_cube_calculate(cell, symmetry, ppt, resolution, ignore_conducting);
}

std::unique_ptr<KELMAR_CUBE> gii(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, KELMAR_PROPERTY* ppt,
                                 double resolution, bool ignore_conducting) {
    return kelmar_cube_by_gii_calculate(cell, symmetry, ppt, resolution, ignore_conducting);
}

std::unique_ptr<KELMAR_CUBE> total_energy(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, KELMAR_PROPERTY* ppt,
                                          double resolution, bool ignore_conducting) {
    return kelmar_cube_by_tot_en_calculate(cell, symmetry, ppt, resolution, ignore_conducting, false);
}

std::unique_ptr<KELMAR_CUBE> total_energy_eam(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                              KELMAR_PROPERTY* ppt, double resolution, bool ignore_conducting) {
    return kelmar_cube_by_tot_en_calculate(cell, symmetry, ppt, resolution, ignore_conducting, true);
}

constexpr const char* WRITE_BV = "kelmar_cube_calculate_from_cell_and_write_to_file";
constexpr const char* WRITE_TOT = "kelmar_cube_calculate_by_tot_en_from_cell_and_write_to_file";

constexpr CubeModel MODELS[] = {
    {"--gen-cube", bond_valence, "kelmar_cube_calculate", "kelmar_cube_calculate_from_cell", WRITE_BV, false},
    {"--gen-cube-gii", gii, "kelmar_cube_by_gii_calculate", "kelmar_cube_by_gii_calculate_from_cell", WRITE_BV,
     false},
    {"--gen-cube-tot", total_energy, "kelmar_cube_by_tot_en_calculate", "kelmar_cube_by_tot_en_calculate_from_cell",
     WRITE_TOT, false},
    {"--gen-cube-tot-eam", total_energy_eam, "kelmar_cube_by_tot_en_calculate",
     "kelmar_cube_by_tot_en_calculate_from_cell", WRITE_TOT, true},
};

}  // namespace

std::span<const CubeModel> cube_models() { return MODELS; }

const CubeModel* cube_model_for(const char* command) {
    if (command == nullptr) return nullptr;
    for (const CubeModel& m : MODELS)
        if (std::strcmp(m.command, command) == 0) return &m;
    return nullptr;
}
