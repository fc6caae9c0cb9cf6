// Cells built in code and small data files shared by the parameter, bond-valence and energy tests.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "import-ppt.hpp"
#include "import.hpp"
#include "kelmar.hpp"

namespace pptfix {

inline std::string unitary() { return std::string(KELMAR_DATA_DIR) + "/database_unitary.dat"; }
inline std::string binary() { return std::string(KELMAR_DATA_DIR) + "/database_binary.dat"; }
inline std::string symcards() { return std::string(KELMAR_DATA_DIR) + "/database_symcards.dat"; }
inline std::string sample(const char* name) { return std::string(TEST_DATA_DIR) + "/samples/" + name; }

inline void add_atom(KELMAR_CELL* cell, const char* name, const char* type, int os, double x, double y, double z,
                     double occ = 1.0) {
    KELMAR_ATOM a;
    kelmar_copy_field(a.name, name);
    kelmar_copy_field(a.type, type);
    a.os = os;
    a.x_f[0] = x;
    a.x_f[1] = y;
    a.x_f[2] = z;
    a.occ = occ;
    cell->atom.push_back(a);
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

}  // namespace pptfix
