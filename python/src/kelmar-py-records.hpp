// The records the Python module kelmar hands out: a structure as read (states the file gives,
// defaults still marked, so that every call settles them as the command-line program would) and a
// landscape with everything needed to analyse or write it. The calls that fill them are in
// kelmar-py-calls.hpp.
#pragma once

#include <memory>
#include <string>

#include "cube.hpp"
#include "kelmar.hpp"
#include "property-record.hpp"

namespace kelmar_py {

// The paths of the three data files the module reads (the package carries its own copies).
struct DataFiles {
    std::string unitary, binary, symcards;
};
DataFiles& data_files();

struct PyStructure {
    std::unique_ptr<KELMAR_CELL> cell;          // as read
    std::unique_ptr<KELMAR_SYMMETRY> symmetry;  // as read
    std::string text;                           // the CIF text it was read from
    std::string name;                           // file name, or a name for messages

    PyStructure clone() const;
};

struct PyLandscape {
    std::unique_ptr<KELMAR_CUBE> cube;
    std::unique_ptr<KELMAR_CELL> cell;     // the structure of the landscape, after the parameter assembly
    std::unique_ptr<KELMAR_PROPERTY> ppt;  // its parameters
    PyStructure source;                    // the structure as read (an assigned supercell: as its CIF reads)
    bool assigned = false;                 // shared mobile sites were resolved in a supercell
    char type[3] = {};
    int os = 0;
    double resolution = 0.0;
    std::string model;
};

}  // namespace kelmar_py
