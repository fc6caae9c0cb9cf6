// Symmetry operations as CIFs write them ("-x+1/2, y, z-1/4"), read strictly: a crystallographic
// operation maps the lattice onto itself, so its rotation part has entries 0 and +-1 only and a
// determinant of +-1.
#pragma once

#include <string>

// Rotation (rows act on the column (x, y, z)) and translation of one operation.
struct CifSymop {
    int rot[3][3] = {};
    double trans[3] = {};
};

// Reads an operation of three comma-separated components. A component is a sum of signed terms,
// each a variable (x, y, z in either case) or a constant (1/2, 0.25, 1); blanks and quotes are
// ignored. Refused, with a one-line reason in why (no "Error:" and no line end): a coefficient in
// front of a variable (2x, 1/2x), a variable twice in one component (x+x), a sign with no term
// after it (-z+), an empty component, any other character, and an operation that is singular or
// does not map the lattice onto itself (0,0,0 or x,x,z; determinant other than +-1).
bool cif_symop_parse(const std::string& text, CifSymop& op, std::string& why);
