// GULP force-field and input files from the bond-valence parameters: the Morse-type library, its
// embedded-atom variant and a complete molecular-dynamics input. Every line ends with CR LF.
#pragma once

#include <memory>
#include <string>

#include "text-buffer.hpp"
#include "kelmar.hpp"

struct KELMAR_PROPERTY;

// Settings of a .gin run.
struct KELMAR_GIN_CONF {
    std::string filename = "kelmar-default";  // output base name without extension
    char ensemble[8] = "nvt";
    double temperature = 298.0;  // K
    double t_eql = 5.0;          // equilibration, ps
    double t_pro = 25.0;         // production, ps
    double dt = 0.001;           // time step, ps
    double t_sample = 0.5;       // ps
    double t_write = 0.5;        // ps
    double sf = -1.0;            // screening factor; non-positive: automatic
};

// Defaults; the base name is the given name without the extension of its last path component.
std::unique_ptr<KELMAR_GIN_CONF> kelmar_gin_conf_new(const char* filename);

// The three texts, or null after a message.
std::unique_ptr<KELMAR_TEXT> kelmar_gin_lib_import_from_property(const KELMAR_PROPERTY* ppt);
std::unique_ptr<KELMAR_TEXT> kelmar_gin_eam_import_from_property(const KELMAR_PROPERTY* ppt);
std::unique_ptr<KELMAR_TEXT> kelmar_gin_import_from_cell(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                         const KELMAR_GIN_CONF* conf);

// Writers: a positive sf replaces the record's while the text is built. 0 or 1.
int kelmar_gin_lib_write_to_file(KELMAR_PROPERTY* ppt, double sf, const char* filename);
int kelmar_gin_eam_write_to_file(KELMAR_PROPERTY* ppt, double sf, const char* filename);
// Whole-occupancy supercell of the cell (sites drawn from engine), its parameters, and
// <conf->filename>.gin. 0 or 1.
int kelmar_gin_write_to_file(const KELMAR_CELL* cell, const char* dir_unitary, const char* dir_binary,
                             const KELMAR_GIN_CONF* conf, RandomEngine& engine);
