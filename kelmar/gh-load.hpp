// The inputs of every command that works on the site graph of a landscape file (--sites, --gh,
// --kmc): the structure with its parameters and mobile ions, and the landscape checked against it
// and taken through its fingerprint grid and half-paths (and its half spectrum where the Hessians
// are wanted). Each step prints its error line and returns false; nothing is written.
#pragma once

#include <memory>

#include "fft.hpp"
#include "fp.hpp"
#include "property-record.hpp"
#include "kelmar.hpp"

struct GraphStructureInput {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_PROPERTY> ppt;
};

struct GraphLandscapeInput {
    std::unique_ptr<KELMAR_FPCUBE> fpcube;
    std::unique_ptr<KELMAR_FFT> fft;
    std::unique_ptr<KELMAR_FPHALF_LIST> list;
};

// The CIF with its oxidation states settled as for the landscape computed from it, the parameters
// at screening factor sf, and at least one type/os ion to move.
bool load_graph_structure(GraphStructureInput* out, const char* cif, const char* type, int os, double sf,
                          const char* dir_unitary, const char* dir_binary, const char* dir_symcards);

// The same for a cell already in out->cell (name names it in the messages); symmetry may be null.
bool settle_graph_structure(GraphStructureInput* out, const KELMAR_SYMMETRY* symmetry, const char* name,
                            const char* type, int os, double sf, const char* dir_unitary, const char* dir_binary);

// The cube file of that structure: at least 3 points per axis and the structure's lattice lengths
// and angles (writers may orient the axes differently); cif names the structure in the message.
// The half spectrum (out->fft) only when hessians is true: only kMC reads the vertices' Hessians.
bool load_graph_landscape(GraphLandscapeInput* out, const char* cube_name, const KELMAR_CELL* cell, const char* cif,
                          bool periodic, const char* dir_unitary, bool hessians = true);
