// Water and hydroxide names of a structure block read as elements.
#include "cif-water.hpp"

#include "cif-element.hpp"

namespace {

CifLoop* loop_with(CifBlock& block, const char* tag) {
    for (CifLoop& loop : block.loops)
        if (cif_loop_column(loop, tag) >= 0) return &loop;
    return nullptr;
}

bool names_nothing(const std::string& v) { return v.empty() || cif_is_placeholder(v.c_str()); }

}  // namespace

std::vector<std::string> cif_block_read_water_names(CifBlock& block) {
    std::vector<std::string> renamed;
    CifLoop* sites = loop_with(block, "_atom_site_fract_x");
    if (sites == nullptr) sites = loop_with(block, "_atom_site_label");
    if (sites == nullptr || sites->empty()) return renamed;
    const long c_label = cif_loop_column(*sites, "_atom_site_label");
    long c_type = cif_loop_column(*sites, "_atom_site_type_symbol");

    // type symbols first
    std::vector<std::string> old_types;  // the names replaced, for the _atom_type loop
    if (c_type >= 0) {
        for (std::size_t r = 1; r < sites->size(); r++) {
            auto& row = (*sites)[r];
            if (static_cast<std::size_t>(c_type) >= row.size()) continue;
            std::string& type = row[static_cast<std::size_t>(c_type)];
            char element[3] = {};
            if (names_nothing(type) || !cif_water_element(type.c_str(), element)) continue;
            old_types.push_back(type);
            type = element;
            renamed.push_back(c_label >= 0 && static_cast<std::size_t>(c_label) < row.size()
                                  ? row[static_cast<std::size_t>(c_label)]
                                  : std::string(element));
        }
    }
    if (CifLoop* types = loop_with(block, "_atom_type_symbol"); types != nullptr && !old_types.empty()) {
        const long c = cif_loop_column(*types, "_atom_type_symbol");
        for (std::size_t r = 1; r < types->size(); r++) {
            auto& row = (*types)[r];
            if (static_cast<std::size_t>(c) >= row.size()) continue;
            std::string& symbol = row[static_cast<std::size_t>(c)];
            char element[3] = {};
            for (const std::string& old : old_types)
                if (symbol == old && cif_water_element(symbol.c_str(), element)) {
                    symbol = element;
                    break;
                }
        }
    }

    // labels of sites without a type symbol
    if (c_label < 0) return renamed;
    for (std::size_t r = 1; r < sites->size(); r++) {
        auto& row = (*sites)[r];
        if (static_cast<std::size_t>(c_label) >= row.size()) continue;
        const std::string label = row[static_cast<std::size_t>(c_label)];
        const bool has_type = c_type >= 0 && static_cast<std::size_t>(c_type) < row.size() &&
                              !names_nothing(row[static_cast<std::size_t>(c_type)]);
        char element[3] = {};
        if (has_type || !cif_water_element(label.c_str(), element)) continue;
        char plain[3] = {};
        if (cif_element_of_label(label.c_str(), plain)) continue;  // OW1 and HW2 read as O and H already
        if (c_type < 0) {
            // a type column of placeholders, so that the other sites still go by their labels
            const std::size_t width = (*sites)[0].size();
            (*sites)[0].push_back("_atom_site_type_symbol");
            c_type = static_cast<long>(width);
            for (std::size_t k = 1; k < sites->size(); k++)
                if ((*sites)[k].size() == width) (*sites)[k].push_back("?");
        }
        if (static_cast<std::size_t>(c_type) >= row.size()) continue;  // a short row keeps its missing cells
        row[static_cast<std::size_t>(c_type)] = element;
        renamed.push_back(label);
    }
    return renamed;
}
