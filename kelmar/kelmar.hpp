// Shared records of kelmar.x: atoms, cells, symmetry cards and settings.
// Module headers (crystal-records.hpp, text-buffer.hpp, grid3.hpp, linalg.hpp, random.hpp, cmd.hpp,
// import.hpp, ...) sit beside this one.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// Oxidation state of an atom whose state is not known yet.
inline constexpr int KELMAR_OS_UNKNOWN = 99;

// Degree/radian factors: pi is taken as 3.14159265 throughout the cell code.
inline constexpr double KELMAR_DEG2RAD = 3.14159265 / 180.0;
inline constexpr double KELMAR_RAD2DEG = 180.0 / 3.14159265;

// One site of a structure.
struct KELMAR_ATOM {
    char name[12] = {};   // site label, at most 11 characters
    char type[3] = {};    // element symbol as written in the input
    int os = 0;           // oxidation state; KELMAR_OS_UNKNOWN when not known yet
    double x[3] = {};     // Cartesian position, angstrom
    double x_f[3] = {};   // fractional position
    double occ = 0.0;     // site occupancy
    long flag = 0;        // integer mark for the analyses
    double value = 0.0;   // real work slot (oxidation state from the file while reading)
    bool ignored = false; // duplicate / matched / fixed-site mark
    bool os_default = false; // state filled from the data file's default, not given by the input
};

// Lattice plus its sites.
struct KELMAR_CELL {
    char name[128] = {};          // composition label (kelmar_cell_update_name)
    std::vector<KELMAR_ATOM> atom; // the sites
    double a[3][3] = {};          // lattice vectors as rows, angstrom
    double parameter[3] = {};     // a, b, c
    double angle[3] = {};         // alpha, beta, gamma in degrees
    int Z = 0;                    // formula units per cell (0 when not given)

    long total() const { return static_cast<long>(atom.size()); }
};

// One symmetry operation x' = R x + t.
struct KELMAR_CARD {
    char text[36] = {};   // the operation as text, at most 35 characters
    double r_f[3][3] = {}; // rotation, fractional; row i gives new coordinate i
    double t_f[3] = {};   // translation, fractional
    double r[3][3] = {};  // rotation, Cartesian (left zero by the readers)
    double t[3] = {};     // translation, Cartesian (left zero by the readers)
    int r_i[3][3] = {};   // rotation rounded to integers, for grid indices
    long t_i[3] = {};     // translation in grid steps
};

// A space-group setting: its names and its operations.
struct KELMAR_SYMMETRY {
    char sg_HM[16] = {};   // Hermann-Mauguin symbol (empty when taken from the CIF's own list)
    char sg_Hall[16] = {}; // Hall symbol
    int sg_id = 0;         // International Tables number (0 when unknown)
    std::vector<KELMAR_CARD> card;

    int total() const { return static_cast<int>(card.size()); }
};

#include "crystal-records.hpp"
#include "grid3.hpp"
#include "linalg.hpp"
#include "random.hpp"
#include "text-buffer.hpp"
