// Landscape runs of any model: from a cell (P1 when no symmetry is given) to a landscape, from a
// cell to a written cube file (parameters assembled here), and the partial-occupancy level that
// resolves mixed conducting sites in a supercell first.
#include "cube-run.hpp"

#include <cstdio>
#include <memory>
#include <string>

#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "cube-models.hpp"
#include "cube.hpp"
#include "property-assemble.hpp"

// --- from-cell level ------------------------------------------------------------------------------

std::unique_ptr<KELMAR_CUBE> cube_model_from_cell(const CubeModel& model, KELMAR_CELL* cell,
                                                  const KELMAR_SYMMETRY* symmetry, KELMAR_PROPERTY* ppt,
                                                  double resolution, bool ignore_conducting) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    std::unique_ptr<KELMAR_SYMMETRY> p1;
    if (symmetry == nullptr) {
        p1 = kelmar_symmetry_new_p1();
        if (!p1) {
            std::fprintf(stderr, "Error: kelmar_symmetry_new_p1() returns NULL.\n");
            return nullptr;
        }
        symmetry = p1.get();
    }
    auto cube = model.engine(cell, symmetry, ppt, resolution, ignore_conducting);
    if (!cube) std::fprintf(stderr, "Error: %s() returns NULL.\n", model.engine_name);
    return cube;
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             const KELMAR_PROPERTY* ppt, const char* /*type*/,
                                                             int /*os*/, double resolution, bool ignore_conducting) {
    // the bond-valence engine only reads the record
    return cube_model_from_cell(cube_models()[0], cell, symmetry, const_cast<KELMAR_PROPERTY*>(ppt), resolution,
                                ignore_conducting);
}

// --- write-to-file level ----------------------------------------------------------------------------

int cube_model_write_to_file(const CubeModel& model, const char* filename, KELMAR_CELL* cell,
                             const KELMAR_SYMMETRY* symmetry, const char* type, int os, double sf, double resolution,
                             bool ignore_conducting, bool periodic, const char* dir_unitary, const char* dir_binary) {
    auto ppt = kelmar_property_import_from_cell(cell, type, os, sf, dir_unitary, dir_binary);
    if (!ppt) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return 1;
    }
    auto cube = cube_model_from_cell(model, cell, symmetry, ppt.get(), resolution, ignore_conducting);
    if (!cube) {
        std::fprintf(stderr, "Error: %s() returns NULL.\n", model.from_cell_name);
        return 1;
    }
    if (kelmar_cube_export_to_file(cube.get(), cell, ppt.get(), filename, periodic) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_export_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int cube_model_write_assigned(const CubeModel& model, const char* cubename, const char* cifname, KELMAR_CELL* cell,
                              const KELMAR_SYMMETRY* symmetry, const char* type, int os, double sf,
                              double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
                              const char* dir_unitary, const char* dir_binary, RandomEngine& engine) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (type == nullptr || os == 0) {
        std::fprintf(stderr, "Error: conducting species not correctly specified.\n");
        return 1;
    }
    int rc = 0;
    if (kelmar_cell_partial_occ_at_conducting_site(cell, type, os)) {
        if (skip_mix_occ) {
            std::printf("Message: partial occupancy at conducting sites detected. Cube file generation will be "
                        "skipped.\n");
            return 0;
        }
        std::printf("Message: partial occupancy at conducting sites detected. Cube will be generated based on an "
                    "asigned supercell.\n");
        // The parameter assembly refuses structures whose oxidation states do not balance; the same
        // test here keeps such a structure from leaving an assigned CIF behind.
        if (!kelmar_cell_formal_charge_balanced(cell)) return 1;
        auto super = kelmar_cell_supercell_default(cell);
        if (!super) {
            std::printf("Messge: kelmar_cell_supercell_default() returns NULL.\n");
            return 1;
        }
        auto assigned = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), type, os, engine);
        if (!assigned) {
            std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ_at_conducting_site() returns NULL.\n");
            return 1;
        }
        kelmar_cell_update_name(assigned.get());
        if (kelmar_cell_export_cif_to_file(cifname, assigned.get(), nullptr) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
            return 1;
        }
        const std::string name = kelmar_cubename_assigned(cubename);
        rc = cube_model_write_to_file(model, name.c_str(), assigned.get(), nullptr, type, os, sf, resolution,
                                      ignore_conducting, periodic, dir_unitary, dir_binary);
    } else {
        rc = cube_model_write_to_file(model, cubename, cell, symmetry, type, os, sf, resolution, ignore_conducting,
                                      periodic, dir_unitary, dir_binary);
    }
    if (rc != 0) {
        std::fprintf(stderr, "Error: %s() returns non-zero.\n", model.run_name);
        return 1;
    }
    return 0;
}

int kelmar_cube_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                      const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                                      double sf, double resolution, bool ignore_conducting,
                                                      bool periodic, const char* dir_unitary, const char* dir_binary) {
    return cube_model_write_to_file(cube_models()[0], filename, cell, symmetry, type, os, sf, resolution,
                                    ignore_conducting, periodic, dir_unitary, dir_binary);
}

int kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary, RandomEngine& engine) {
    return cube_model_write_assigned(cube_models()[0], cubename, cifname, cell, symmetry, type, os, sf, resolution,
                                     ignore_conducting, periodic, skip_mix_occ, dir_unitary, dir_binary, engine);
}
