// Fixtures of the kelmar tests: paths of the shipped data files and test structures, atoms and
// cells built in code, operation cards and quietly assembled parameter records.
//
//   kmfix::unitary(), binary(), symcards()   data files of the build; sample("x.cif") a test CIF
//   kmfix::atom_at(name, type, os, x, y, z, occ = 1)      an atom at fractional (x, y, z)
//   kmfix::add_atom(cell, name, type, os, x, y, z, occ = 1) the same, appended to cell
//   kmfix::box(a, b, c)          empty orthorhombic cell;  kmfix::cubic(a, atoms) cubic cell
//   kmfix::li2o(a = 4.61)        Li2O antifluorite written out in full (4 O, 8 Li)
//   kmfix::flag_each(cell)       every atom its own site class
//   kmfix::card_of("x,y,z")      an operation card (a test failure when the text does not parse)
//   kmfix::cif_symmetry(text, symcards)  the symmetry the CIF reader takes from a text's structure block
//   kmfix::record(cell, sf = 0.75) the assembled parameter record, its messages swallowed
//   kmfix::read_cif_text(text, uni = unitary())  a CIF text read as kelmar.x reads it, output kept
//   kmfix::read_cube(path)       a periodic cube file, its messages swallowed (a failure when unreadable)
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cube.hpp"
#include "cif-parse.hpp"
#include "cif-symmetry.hpp"
#include "property-assemble.hpp"
#include "kelmar.hpp"
#include "symmetry.hpp"

namespace kmfix {

inline std::string unitary() { return std::string(KELMAR_DATA_DIR) + "/database_unitary.dat"; }
inline std::string binary() { return std::string(KELMAR_DATA_DIR) + "/database_binary.dat"; }
inline std::string symcards() { return std::string(KELMAR_DATA_DIR) + "/database_symcards.dat"; }
inline std::string sample(const char* name) { return std::string(TEST_DATA_DIR) + "/samples/" + name; }

inline KELMAR_ATOM atom_at(const char* name, const char* type, int os, double x, double y, double z,
                           double occ = 1.0) {
    KELMAR_ATOM a;
    kelmar_copy_field(a.name, name);
    kelmar_copy_field(a.type, type);
    a.os = os;
    a.x_f[0] = x;
    a.x_f[1] = y;
    a.x_f[2] = z;
    a.occ = occ;
    return a;
}

inline void add_atom(KELMAR_CELL* cell, const char* name, const char* type, int os, double x, double y, double z,
                     double occ = 1.0) {
    cell->atom.push_back(atom_at(name, type, os, x, y, z, occ));
}

// Orthorhombic cell with lattice lengths a, b, c and no atoms.
inline std::unique_ptr<KELMAR_CELL> box(double a, double b, double c) {
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = a;
    cell->parameter[1] = b;
    cell->parameter[2] = c;
    cell->angle[0] = cell->angle[1] = cell->angle[2] = 90.0;
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

// Cubic cell of edge a holding atoms.
inline std::unique_ptr<KELMAR_CELL> cubic(double a, std::vector<KELMAR_ATOM> atoms) {
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = cell->parameter[1] = cell->parameter[2] = a;
    cell->angle[0] = cell->angle[1] = cell->angle[2] = 90.0;
    cell->atom = std::move(atoms);
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

// Li2O antifluorite (Fm-3m) written out in full: 4 O on the fcc sites, 8 Li in the tetrahedral holes.
inline std::unique_ptr<KELMAR_CELL> li2o(double a = 4.61) {
    auto cell = box(a, a, a);
    const double o[4][3] = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
    char name[32];
    for (int i = 0; i < 4; i++) {
        std::snprintf(name, sizeof(name), "O%d", i + 1);
        add_atom(cell.get(), name, "O", -2, o[i][0], o[i][1], o[i][2]);
    }
    int k = 1;
    for (double x : {0.25, 0.75})
        for (double y : {0.25, 0.75})
            for (double z : {0.25, 0.75}) {
                std::snprintf(name, sizeof(name), "Li%d", k++);
                add_atom(cell.get(), name, "Li", 1, x, y, z);
            }
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

// Every atom its own site class (flags 1..N).
inline void flag_each(KELMAR_CELL* cell) {
    long f = 1;
    for (auto& a : cell->atom) a.flag = f++;
}

inline KELMAR_CARD card_of(const char* text) {
    KELMAR_CARD c;
    EXPECT_EQ(kelmar_card_set_by_text(&c, text), 0) << text;
    return c;
}

// The symmetry the CIF reader takes from the structure block of a text; null when the text does
// not parse or names no symmetry.
inline std::unique_ptr<KELMAR_SYMMETRY> cif_symmetry(const std::string& text, const std::string& symcards) {
    std::vector<CifBlock> blocks;
    std::string why, note;
    if (!cif_parse_blocks(text, blocks, why, note)) return nullptr;
    return cif_block_symmetry(blocks[static_cast<std::size_t>(cif_structure_block(blocks))], symcards.c_str());
}

// The parameter record of cell (no mobile species) from the shipped data files, with the
// assembly's messages kept off the test output.
inline std::unique_ptr<KELMAR_PROPERTY> record(KELMAR_CELL* cell, double sf = 0.75) {
    testing::internal::CaptureStdout();
    auto ppt = kelmar_property_import_from_cell(cell, nullptr, 0, sf, unitary().c_str(), binary().c_str());
    testing::internal::GetCapturedStdout();
    return ppt;
}

struct CifRead {
    int status = 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    std::string out, err;
};

inline CifRead read_cif_text(const std::string& cif, const std::string& uni = unitary()) {
    CifRead r;
    auto text = kelmar_text_new(cif.c_str());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    r.status = kelmar_cell_import_cif_from_text(&r.cell, &r.sym, text.get(), symcards().c_str(), uni.c_str());
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

inline std::unique_ptr<KELMAR_CUBE> read_cube(const std::string& path) {
    std::unique_ptr<KELMAR_CUBE> cube;
    testing::internal::CaptureStdout();
    const int rc = kelmar_cube_import_from_file(&cube, nullptr, path.c_str(), true, "none", true);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << path;
    return cube;
}

}  // namespace kmfix
