// CIF text to the blocks of cif-document.hpp, by gemmi's CIF grammar (comments, quotes, text
// fields and blocks as CIF defines them).
#pragma once

#include <string>
#include <vector>

#include "cif-document.hpp"

// Parses the text of a CIF into its blocks. False with a one-line reason (no "Error:" prefix and
// no line end) for an empty, compressed, binary or malformed file, or one that gives a data name
// twice in a block; each program words its own
// message around it. Line ends may be LF, CR LF or CR alone; *note receives a remark worth
// telling the user (empty when none).
bool cif_parse_blocks(const std::string& text, std::vector<CifBlock>& blocks, std::string& why, std::string& note);
