// The tokenizer front of the CIF reader: a file's text cut into data blocks of single values and
// loops by gemmi's CIF grammar (comments, quotes, text fields and blocks as CIF defines them), and
// the choice of the one block a structure is read from.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "import.hpp"

// One data block. Tags are kept in a canonical spelling: lower case, with the DDLm dot written
// as an underscore (_space_group_symop.operation_xyz reads as _space_group_symop_operation_xyz).
// Values are unquoted; the CIF placeholders ? and . stay as those one-character texts.
struct CifBlockView {
    std::string name;                                        // the text after data_
    std::vector<std::pair<std::string, std::string>> pairs;  // single values in file order
    std::vector<KELMAR_CIF_LOOP> loops;                      // row 0: canonical tags

    // The value of a tag: a single value, or the only row of a loop column; null when absent.
    const std::string* value(const std::string& tag) const;
    // The loop that has a column with this tag; null when none.
    const KELMAR_CIF_LOOP* loop_with(const std::string& tag) const;
};

// Canonical spelling of a tag (see above).
std::string cif_canonical_tag(const std::string& tag);
// Whether a value is one of the placeholders ? (unknown) and . (not applicable).
bool cif_is_placeholder(const char* value);
// Column of a loop whose canonical tag equals tag (given in canonical form); -1 when none.
long cif_loop_column(const KELMAR_CIF_LOOP& loop, const std::string& tag);

// Parses the text of a CIF into its blocks. False with a one-line reason (no "Error:" prefix and
// no line end) for an empty, compressed, binary or malformed file. Line ends may be LF, CR LF or
// CR alone; *note receives a remark worth telling the user (empty when none).
bool cif_parse_blocks(const std::string& text, std::vector<CifBlockView>& blocks, std::string& why,
                      std::string& note);

// Whether a block describes a modulated structure by superspace operations (x1,x2,x3,x4).
bool cif_block_is_superspace(const CifBlockView& block);

// The block a structure comes from: the first block with a cell length and a site loop that is
// not a superspace description, else the first block with a cell and a site loop, else the
// first with a site loop, else the first block. -1 for no blocks.
int cif_structure_block(const std::vector<CifBlockView>& blocks);
