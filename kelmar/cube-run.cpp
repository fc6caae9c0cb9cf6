// Landscape runs: from a cell (P1 when no symmetry is given) to a landscape, from a cell to a
// written cube file (parameters assembled here), and the partial-occupancy level that resolves
// mixed conducting sites in a supercell first. The grid engine is cube-grid.cpp.
#include <cstdio>
#include <memory>
#include <string>

#include "cube.hpp"
#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "property-assemble.hpp"

// --- from-cell level ------------------------------------------------------------------------------

namespace {

enum class Kind { bv, gii, tot_en };

const char* core_name(Kind kind) {
    switch (kind) {
    case Kind::gii: return "kelmar_cube_by_gii_calculate";
    case Kind::tot_en: return "kelmar_cube_by_tot_en_calculate";
    default: return "kelmar_cube_calculate";
    }
}

std::unique_ptr<KELMAR_CUBE> from_cell(Kind kind, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                       KELMAR_PROPERTY* ppt, double resolution, bool ignore_conducting, bool eam) {
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
    std::unique_ptr<KELMAR_CUBE> cube;
    switch (kind) {
    case Kind::bv: cube = kelmar_cube_calculate(cell, symmetry, ppt, resolution, ignore_conducting); break;
    case Kind::gii: cube = kelmar_cube_by_gii_calculate(cell, symmetry, ppt, resolution, ignore_conducting); break;
    case Kind::tot_en:
        cube = kelmar_cube_by_tot_en_calculate(cell, symmetry, ppt, resolution, ignore_conducting, eam);
        break;
    }
    if (!cube) std::fprintf(stderr, "Error: %s() returns NULL.\n", core_name(kind));
    return cube;
}

}  // namespace

std::unique_ptr<KELMAR_CUBE> kelmar_cube_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                             const KELMAR_PROPERTY* ppt, const char* /*type*/,
                                                             int /*os*/, double resolution, bool ignore_conducting) {
    return from_cell(Kind::bv, cell, symmetry, const_cast<KELMAR_PROPERTY*>(ppt), resolution, ignore_conducting,
                     false);
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_gii_calculate_from_cell(KELMAR_CELL* cell,
                                                                    const KELMAR_SYMMETRY* symmetry,
                                                                    const KELMAR_PROPERTY* ppt, const char* /*type*/,
                                                                    int /*os*/, double resolution,
                                                                    bool ignore_conducting) {
    return from_cell(Kind::gii, cell, symmetry, const_cast<KELMAR_PROPERTY*>(ppt), resolution, ignore_conducting,
                     false);
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_by_tot_en_calculate_from_cell(KELMAR_CELL* cell,
                                                                       const KELMAR_SYMMETRY* symmetry,
                                                                       KELMAR_PROPERTY* ppt, const char* /*type*/,
                                                                       int /*os*/, double resolution,
                                                                       bool ignore_conducting, bool eam) {
    return from_cell(Kind::tot_en, cell, symmetry, ppt, resolution, ignore_conducting, eam);
}

// --- write-to-file level ----------------------------------------------------------------------------

namespace {

const char* from_cell_name(Kind kind) {
    switch (kind) {
    case Kind::gii: return "kelmar_cube_by_gii_calculate_from_cell";
    case Kind::tot_en: return "kelmar_cube_by_tot_en_calculate_from_cell";
    default: return "kelmar_cube_calculate_from_cell";
    }
}

int write_to_file(Kind kind, const char* filename, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                  const char* type, int os, double sf, double resolution, bool ignore_conducting, bool periodic,
                  bool eam, const char* dir_unitary, const char* dir_binary) {
    auto ppt = kelmar_property_import_from_cell(cell, type, os, sf, dir_unitary, dir_binary);
    if (!ppt) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return 1;
    }
    auto cube = from_cell(kind, cell, symmetry, ppt.get(), resolution, ignore_conducting, eam);
    if (!cube) {
        std::fprintf(stderr, "Error: %s() returns NULL.\n", from_cell_name(kind));
        return 1;
    }
    if (kelmar_cube_export_to_file(cube.get(), cell, ppt.get(), filename, periodic) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_export_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

int assign_partial_occ(Kind kind, const char* cubename, const char* cifname, KELMAR_CELL* cell,
                       const KELMAR_SYMMETRY* symmetry, const char* type, int os, double sf, double resolution,
                       bool ignore_conducting, bool periodic, bool skip_mix_occ, bool eam, const char* dir_unitary,
                       const char* dir_binary) {
    const char* failed = kind == Kind::tot_en
                             ? "Error: kelmar_cube_calculate_by_tot_en_from_cell_and_write_to_file() returns non-zero.\n"
                             : "Error: kelmar_cube_calculate_from_cell_and_write_to_file() returns non-zero.\n";
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
        auto assigned = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), type, os);
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
        rc = write_to_file(kind, name.c_str(), assigned.get(), nullptr, type, os, sf, resolution, ignore_conducting,
                           periodic, eam, dir_unitary, dir_binary);
    } else {
        rc = write_to_file(kind, cubename, cell, symmetry, type, os, sf, resolution, ignore_conducting, periodic, eam,
                           dir_unitary, dir_binary);
    }
    if (rc != 0) {
        std::fputs(failed, stderr);
        return 1;
    }
    return 0;
}

}  // namespace

int kelmar_cube_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                      const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                                      double sf, double resolution, bool ignore_conducting,
                                                      bool periodic, const char* dir_unitary, const char* dir_binary) {
    return write_to_file(Kind::bv, filename, cell, symmetry, type, os, sf, resolution, ignore_conducting, periodic,
                         false, dir_unitary, dir_binary);
}

int kelmar_cube_by_gii_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                             const KELMAR_SYMMETRY* symmetry, const char* type,
                                                             int os, double sf, double resolution,
                                                             bool ignore_conducting, bool periodic,
                                                             const char* dir_unitary, const char* dir_binary) {
    return write_to_file(Kind::gii, filename, cell, symmetry, type, os, sf, resolution, ignore_conducting, periodic,
                         false, dir_unitary, dir_binary);
}

int kelmar_cube_by_tot_en_calculate_from_cell_and_write_to_file(const char* filename, KELMAR_CELL* cell,
                                                                const KELMAR_SYMMETRY* symmetry, const char* type,
                                                                int os, double sf, double resolution,
                                                                bool ignore_conducting, bool periodic, bool eam,
                                                                const char* dir_unitary, const char* dir_binary) {
    return write_to_file(Kind::tot_en, filename, cell, symmetry, type, os, sf, resolution, ignore_conducting,
                         periodic, eam, dir_unitary, dir_binary);
}

int kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary) {
    return assign_partial_occ(Kind::bv, cubename, cifname, cell, symmetry, type, os, sf, resolution,
                              ignore_conducting, periodic, skip_mix_occ, false, dir_unitary, dir_binary);
}

int kelmar_cube_by_gii_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ,
    const char* dir_unitary, const char* dir_binary) {
    return assign_partial_occ(Kind::gii, cubename, cifname, cell, symmetry, type, os, sf, resolution,
                              ignore_conducting, periodic, skip_mix_occ, false, dir_unitary, dir_binary);
}

int kelmar_cube_by_tot_en_calculate_from_cell_and_write_to_file_assign_partial_occ(
    const char* cubename, const char* cifname, KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type,
    int os, double sf, double resolution, bool ignore_conducting, bool periodic, bool skip_mix_occ, bool eam,
    const char* dir_unitary, const char* dir_binary) {
    return assign_partial_occ(Kind::tot_en, cubename, cifname, cell, symmetry, type, os, sf, resolution,
                              ignore_conducting, periodic, skip_mix_occ, eam, dir_unitary, dir_binary);
}
