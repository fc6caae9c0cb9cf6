// Nudged elastic band with an optional climbing image: the minimum-energy path between two
// structures of the same composition in the bond-valence force field.
//
// Atoms are matched across images by their label, so every image needs unique labels. Atoms
// that carry the fixed-site mark (`ignored`, from the CIF's fixed column) when the band is
// built stay where they are in every image; energies and forces of the band are always those of
// the whole cell.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "text-buffer.hpp"
#include "kelmar.hpp"
#include "rx-pairlist.hpp"

struct KELMAR_PROPERTY;

// One double[3] per atom.
using KELMAR_VECTOR3_LIST = std::unique_ptr<double[][3]>;

struct KELMAR_RX_NEB {
    int total = 0;                                   // number of images, end images included
    std::unique_ptr<KELMAR_PROPERTY> ppt;            // private copy of the parameters
    std::vector<std::unique_ptr<KELMAR_CELL>> cell;  // the images
    std::vector<bool> conv;                          // per image; end images always true
    std::vector<double> en;                          // total energy of each image, eV
    std::vector<KELMAR_VECTOR3_LIST> t;              // tangent per atom (springs, perpendicular force)
    std::vector<KELMAR_VECTOR3_LIST> f;              // NEB force used for the move
    std::vector<KELMAR_VECTOR3_LIST> f0;             // force-field force
    std::vector<KELMAR_VECTOR3_LIST> f1;             // part of f0 normal to the tangent
    std::vector<KELMAR_VECTOR3_LIST> f2;             // spring force
    std::vector<KELMAR_VECTOR3_LIST> f3;             // part of f0 along the tangent (of the whole
                                                     // image for a climbing image)
    std::vector<KELMAR_VECTOR3_LIST> dx;             // displacement of the last move
    bool relax = true;                               // relax the end images first
    double k = 0.5;                                  // spring constant
    double f_conv = 0.005;                           // force criterion
    long step_limit = 0;                             // <= 0: no limit
    long step = 0;
    bool converged = false;
    bool ci = false;                                 // climbing image requested
    bool ci_active = false;
    std::vector<bool> ci_image;
    double f_conv_ci = 0.0025;
    long step_ci_start = 0;
    long step_log = 0;                               // 0 becomes 50; negative: no log
    std::unique_ptr<KELMAR_TEXT> log_global;
    std::vector<std::unique_ptr<KELMAR_TEXT>> log;
    std::string log_filename = "neb_default";
    std::vector<bool> fixed;                         // per atom: never moves
    std::vector<rxlist::PairList> pairs;             // per image: listed lattice images
    std::vector<double> scratch_next, scratch_prev;  // 3 per atom: vectors to the neighbouring images
};

// Checks two end structures (and sorts the atoms of both by label). 0 or 1.
int kelmar_rx_neb_validate(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f);
int kelmar_rx_neb_validate_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n);
// n cells: copies of cell_i with every atom moved along its shortest periodic path to cell_f.
std::vector<std::unique_ptr<KELMAR_CELL>> kelmar_cell_interpolate(const KELMAR_CELL* cell_i,
                                                                  const KELMAR_CELL* cell_f, int n);
// The shortest vector from atom1 to atom2 over the 27 neighbouring translations.
void kelmar_cell_min_vector_btw_atoms(double dir[3], const KELMAR_CELL* cell, const KELMAR_ATOM* atom1,
                                      const KELMAR_ATOM* atom2);

std::unique_ptr<KELMAR_RX_NEB> kelmar_rx_neb_new(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f,
                                                 const KELMAR_PROPERTY* ppt, int n);
std::unique_ptr<KELMAR_RX_NEB> kelmar_rx_neb_new_from_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n,
                                                             const KELMAR_PROPERTY* ppt);
int kelmar_rx_neb_run(KELMAR_RX_NEB* rx);
int kelmar_rx_neb_calculate_forces(KELMAR_RX_NEB* rx);
int kelmar_rx_neb_update_coordinate(KELMAR_RX_NEB* rx);
int kelmar_rx_neb_log(KELMAR_RX_NEB* rx);

// Build, set the options (non-positive f_conv and k select 0.005 and 0.5), run. 0 or 1.
int kelmar_cell_relax_neb(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f, const KELMAR_PROPERTY* ppt, int n,
                          long step_limit, long step_log, bool relax, bool ci, double f_conv, double k,
                          const char* filename);
int kelmar_cell_relax_neb_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n, const KELMAR_PROPERTY* ppt,
                                 long step_limit, long step_log, bool relax, bool ci, double f_conv, double k,
                                 const char* filename);
