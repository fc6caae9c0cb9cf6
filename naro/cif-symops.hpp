// Symmetry operations of the analyser's structures as text ("-x+1/2,y,-z"): completing a list to
// the group it generates, and finding a setting of the settings file by its names.
#pragma once

#include <string>
#include <vector>

// Value of one component of an operation ("-x+1/2") at the point (x, y, z), with the expression
// evaluator (variables x, y, z and X, Y, Z). 0, or 1 when the component is no expression of them.
int NARO_symmetry_parse_symop(const char* component, double x, double y, double z, double* value);

// Completes the operations to the group they generate. The number of operations added; -2 when
// an operation cannot be read or is no crystallographic operation (cif_symop_parse), -1 when the list grows beyond 192 operations (no space group has
// more).
int naro_close_symops(std::vector<std::string>& ops);

// The operations of the first setting of the settings file whose H-M texts equal hm (compared
// without blanks, underscores and case; a trailing ICSD-style letter Z, S, H or R names the :2,
// :1, :H or :R setting), else whose Hall symbol equals hall, else whose number is number.
// Empty when none matches or the file is missing; *how names the field that matched.
std::vector<std::string> naro_symops_from_settings(const std::string& path, const std::string& hm,
                                                   const std::string& hall, int number, std::string* how);
