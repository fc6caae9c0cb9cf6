// The engine calls behind the Python module kelmar, each the same chain as its kelmar.x command.
// Each returns false after the engines printed their "Error:" lines (the caller captures them).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gh-landscape.hpp"
#include "kelmar-py-records.hpp"

namespace kelmar_py {

bool read_structure_file(PyStructure* out, const std::string& path);
bool read_structure_text(PyStructure* out, const std::string& text, const std::string& name);

// One row per atom of a cell.
struct SiteTable {
    std::vector<std::string> label, element;
    std::vector<double> frac, cart;  // n x 3, row-major
    std::vector<double> occ;
    std::vector<int> os;
    std::vector<bool> os_default;
    double lattice[3][3] = {};
};
SiteTable site_table(const KELMAR_CELL& cell);

// The states a command settles on (as --cal-bv: an unbalanced cell only warns), with the
// default state of each element marked in the table as read.
bool settled_sites(SiteTable* out, const PyStructure& s);

// The structure with its settled states written as CIF, as --gen-cif writes it.
bool write_structure_cif(const PyStructure& s, const std::string& path);

// Bond-valence sums per inequivalent site and the GII, as --cal-bv.
struct BondValenceTable {
    std::vector<std::string> label, element;
    std::vector<int> os, multiplicity;
    std::vector<double> occ, sum;
    double gii = -1.0;
};
bool bond_valence_table(BondValenceTable* out, const PyStructure& s);

// The landscape of s, as --gen-cube (or its model twins) computes it, without the file.
struct LandscapeRequest {
    std::string type;
    int os = 0;
    double sf = -0.1;
    double resolution = 0.1;
    std::string model = "bv";  // bv, gii, tot, tot-eam
    bool ignore_conducting = true;
    std::optional<unsigned> seed;  // the draw of shared mobile sites (as KELMAR_SEED); none: random
};
bool compute_landscape(PyLandscape* out, const PyStructure& s, const LandscapeRequest& request);

bool write_landscape_cube(const PyLandscape& land, const std::string& path, bool periodic);
bool landscape_percolation(LandscapeNetworkEnergies* out, const PyLandscape& land, double barrier_max);

// kMC conductivity (S/cm) over the landscape's site graph, as --kmc with KELMAR_SEED=seed.
struct KmcRequest {
    unsigned seed = 0;  // 0 .. 2^32-1, as KELMAR_SEED
    int supercell[3] = {0, 0, 0};
    double sf = 0.0, temperature = 0.0, t_limit = 0.0, cutoff = -1.0;
    long step_limit = 0, step_log = 0;
};
bool landscape_kmc(double* sigma, const PyLandscape& land, const KmcRequest& request);

}  // namespace kelmar_py
