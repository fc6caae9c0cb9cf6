// The symmetry of a CIF's structure block: its operations completed to a group, or the setting
// of the settings file that its space-group symbol or number names.
#include "cif-symmetry.hpp"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cif-spacegroup.hpp"
#include "symmetry-close.hpp"
#include "symmetry.hpp"

namespace {

// The first of the tags with a value that names something (not empty, not ? or .).
template <class Tags>
const std::string* first_value(const CifBlock& block, const Tags& tags) {
    for (const char* tag : tags) {
        const std::string* v = block.value(tag);
        if (v != nullptr && v->find_first_not_of(" \t") != std::string::npos && !cif_is_placeholder(v->c_str()))
            return v;
    }
    return nullptr;
}

std::unique_ptr<KELMAR_SYMMETRY> setting_by_name(const std::string& name, bool hall, const char* dir_symcards) {
    const int no = symcards_record_named(name.c_str(), hall, dir_symcards);
    if (no <= 0) {
        if (no == 0)
            std::printf("Warning: %s symbol '%s' is not among the settings of %s.\n", hall ? "Hall" : "H-M", name.c_str(),
                        dir_symcards);
        return nullptr;
    }
    auto sym = kelmar_symmetry_import_by_internal_no(no, dir_symcards);
    if (sym) kelmar_copy_field(hall ? sym->sg_Hall : sym->sg_HM, name.c_str());
    return sym;
}

// The operations of the file, completed to a group; null after a message when they fail.
std::unique_ptr<KELMAR_SYMMETRY> operations_of(const std::vector<std::string>& ops) {
    std::printf("Message: determining symmetry from _symmetry_equiv_pos_as_xyz/_space_group_symop_operation_xyz ...\n");
    auto sym = kelmar_symmetry_new(static_cast<int>(ops.size()));
    for (std::size_t r = 0; r < ops.size(); r++) {
        if (kelmar_card_set_by_text(&sym->card[r], ops[r].c_str()) != 0) {
            std::fprintf(stderr, "kelmar_card_set_by_text() returns non-zero.\n");
            return nullptr;
        }
    }
    bool identity = false;
    for (const KELMAR_CARD& c : sym->card) {
        bool id = true;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) id = id && c.r_f[i][j] == (i == j ? 1.0 : 0.0);
        for (int i = 0; i < 3; i++) id = id && std::fabs(c.t_f[i] - std::round(c.t_f[i])) < 1e-6;
        identity = identity || id;
    }
    const int added = symops_close_group(sym.get());
    if (added < 0) {
        std::fprintf(stderr, "Error: the %zu symmetry operations of the file do not generate a space group.\n",
                     ops.size());
        return nullptr;
    }
    if (added > 0)
        std::printf("Warning: the %zu symmetry operations of the file do not form a group (%s); completed by "
                    "composition to %d operations.\n",
                    ops.size(), identity ? "products of them are missing" : "the identity is missing", sym->total());
    return sym;
}

}  // namespace

std::unique_ptr<KELMAR_SYMMETRY> cif_block_symmetry(const CifBlock& block, const char* dir_symcards) {
    static const char* const op_tags[2] = {"_symmetry_equiv_pos_as_xyz", "_space_group_symop_operation_xyz"};
    if (cif_block_is_superspace(block)) {
        std::fprintf(stderr, "Error: data_%s describes a modulated structure in superspace; only three-dimensional "
                             "structures are read.\n", block.name.c_str());
        return nullptr;
    }
    for (const char* tag : op_tags) {
        std::vector<std::string> ops;
        if (const CifLoop* loop = block.loop_with(tag)) {
            const long col = cif_loop_column(*loop, tag);
            for (std::size_t r = 1; r < loop->size(); r++) {
                const char* op = cif_loop_cell(*loop, static_cast<long>(r), col);
                ops.emplace_back(op != nullptr ? op : "");
            }
        } else if (const std::string* one = block.value(tag)) {
            ops.push_back(*one);
        }
        if (!ops.empty()) return operations_of(ops);
    }
    for (const char* tag : op_tags) std::printf("Warning: _loop block containing %s not found.\n", tag);
    std::printf("Warning: kelmar_cell_import_cif_grep_loop() returns non-zero.\n");

    const std::string* hm = first_value(block, kCifHmTags);
    const std::string* hall = first_value(block, kCifHallTags);
    const std::string* id = first_value(block, kCifNumberTags);
    int number = 0;
    if (id != nullptr && (std::sscanf(id->c_str(), "%d", &number) != 1 || number < 1 || number > 230)) {
        std::printf("Warning: '%s' is no space-group number.\n", id->c_str());
        number = 0;
    }
    if (hm != nullptr) {
        std::printf("Message: determining symmetry from H-M symbol ...\n");
        // an old cubic symbol (P m 3 m) is looked up in today's spelling (P m -3 m)
        const std::string modern = cif_space_group_modern_symbol(*hm);
        if (!modern.empty())
            std::printf("Message: the H-M symbol '%s' is read as '%s'.\n", hm->c_str(), modern.c_str());
        if (auto sym = setting_by_name(modern.empty() ? *hm : modern, false, dir_symcards)) {
            if (number > 0 && sym->sg_id != number)
                std::printf("Warning: the H-M symbol %s is group %d, the file gives the number %d; the symbol is used.\n",
                            hm->c_str(), sym->sg_id, number);
            return sym;
        }
    }
    if (hall != nullptr) {
        std::printf("Message: determining symmetry from Hall symbol ...\n");
        if (auto sym = setting_by_name(*hall, true, dir_symcards)) return sym;
    }
    if (number > 0) {
        std::printf("Message: determining symmetry from IT id ...\n");
        auto sym = kelmar_symmetry_import_by_keyword_id(std::to_string(number).c_str(), dir_symcards);
        if (!sym) std::fprintf(stderr, "kelmar_symmetry_import_by_keyword_id() returns NULL.\n");
        return sym;
    }
    if (hm != nullptr || hall != nullptr)
        std::fprintf(stderr, "Error: the space group of the file (%s) is not among the settings of %s.\n",
                     hm != nullptr ? hm->c_str() : hall->c_str(), dir_symcards);
    else
        std::fprintf(stderr, "Error: no symmetry operations, H-M symbol, IT number or Hall symbol found.\n");
    return nullptr;
}
