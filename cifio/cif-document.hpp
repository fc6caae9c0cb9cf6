// The document model of a CIF, shared by both programs: data blocks of single values and loops,
// tags in one canonical spelling, the placeholders, and the choice of the one block a structure
// is read from. Text becomes this model in cif-parse.cpp.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A loop as a table: row 0 holds the tag names (one per column, header order), rows 1.. hold the
// values, one loop row per table row. A row shorter than row 0 has no value in its last columns;
// cif_loop_cell() answers null for such a missing cell.
using CifLoop = std::vector<std::vector<std::string>>;

// One data block. Tags are kept in a canonical spelling: lower case, with the DDLm dot written
// as an underscore (_space_group_symop.operation_xyz reads as _space_group_symop_operation_xyz).
// Values are unquoted; the CIF placeholders ? and . stay as those one-character texts.
struct CifBlock {
    std::string name;                                        // the text after data_
    std::vector<std::pair<std::string, std::string>> pairs;  // single values in file order
    std::vector<CifLoop> loops;                              // row 0: canonical tags

    // The value of a tag: a single value, or the only row of a loop column; null when absent.
    const std::string* value(const std::string& tag) const;
    // The loop that has a column with this tag; null when none.
    const CifLoop* loop_with(const std::string& tag) const;
};

// Canonical spelling of a tag (see above).
std::string cif_canonical_tag(const std::string& tag);
// Whether a value is one of the placeholders ? (unknown) and . (not applicable).
bool cif_is_placeholder(const char* value);
// Column of a loop whose canonical tag equals tag (given in canonical form); -1 when none.
long cif_loop_column(const CifLoop& loop, const std::string& tag);
// The value in row r, column c of a loop; null outside the table or beyond the end of a row.
const char* cif_loop_cell(const CifLoop& loop, long r, long c);

// Whether a block describes a modulated structure by superspace operations (x1,x2,x3,x4).
bool cif_block_is_superspace(const CifBlock& block);

// The block a structure comes from: the first block with a cell length and a site loop that is
// not a superspace description, else the first block with a cell and a site loop, else the
// first with a site loop, else the first block. -1 for no blocks.
int cif_structure_block(const std::vector<CifBlock>& blocks);
