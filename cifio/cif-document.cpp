// Tags, values and loops of a parsed CIF, and the choice of the structure's block.
#include "cif-document.hpp"

#include <cctype>

std::string cif_canonical_tag(const std::string& tag) {
    std::string t = tag;
    for (char& c : t) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '.') c = '_';
    }
    return t;
}

bool cif_is_placeholder(const char* value) {
    return value != nullptr && (value[0] == '?' || value[0] == '.') && value[1] == '\0';
}

long cif_loop_column(const CifLoop& loop, const std::string& tag) {
    if (loop.empty()) return -1;
    for (std::size_t c = 0; c < loop[0].size(); c++)
        if (cif_canonical_tag(loop[0][c]) == tag) return static_cast<long>(c);
    return -1;
}

const char* cif_loop_cell(const CifLoop& loop, long r, long c) {
    if (r < 0 || c < 0 || static_cast<std::size_t>(r) >= loop.size()) return nullptr;
    const auto& row = loop[static_cast<std::size_t>(r)];
    if (static_cast<std::size_t>(c) >= row.size()) return nullptr;
    return row[static_cast<std::size_t>(c)].c_str();
}

const std::string* CifBlock::value(const std::string& tag) const {
    for (const auto& p : pairs)
        if (p.first == tag) return &p.second;
    for (const auto& loop : loops) {
        const long c = cif_loop_column(loop, tag);
        if (c >= 0 && loop.size() == 2 && static_cast<std::size_t>(c) < loop[1].size())
            return &loop[1][static_cast<std::size_t>(c)];
    }
    return nullptr;
}

const CifLoop* CifBlock::loop_with(const std::string& tag) const {
    for (const auto& loop : loops)
        if (cif_loop_column(loop, tag) >= 0) return &loop;
    return nullptr;
}

bool cif_block_is_superspace(const CifBlock& block) {
    return block.value("_space_group_ssg_name") != nullptr ||
           block.loop_with("_space_group_symop_ssg_operation_algebraic") != nullptr ||
           block.value("_cell_modulation_dimension") != nullptr;
}

int cif_structure_block(const std::vector<CifBlock>& blocks) {
    if (blocks.empty()) return -1;
    for (std::size_t i = 0; i < blocks.size(); i++)
        if (blocks[i].value("_cell_length_a") != nullptr && blocks[i].loop_with("_atom_site_fract_x") != nullptr &&
            !cif_block_is_superspace(blocks[i]))
            return static_cast<int>(i);
    for (std::size_t i = 0; i < blocks.size(); i++)
        if (blocks[i].value("_cell_length_a") != nullptr && blocks[i].loop_with("_atom_site_fract_x") != nullptr)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < blocks.size(); i++)
        if (blocks[i].loop_with("_atom_site_fract_x") != nullptr || blocks[i].loop_with("_atom_site_label") != nullptr)
            return static_cast<int>(i);
    return 0;
}
