// Space-group settings of operation lists, on gemmi's table of settings.
#include "cif-spacegroup.hpp"

#include <algorithm>
#include <exception>

#include <gemmi/symmetry.hpp>

CifSpaceGroupName cif_space_group_of_ops(const std::vector<std::string>& ops) {
    CifSpaceGroupName name;
    std::vector<gemmi::Op> parsed;
    try {
        for (const std::string& text : ops) {
            gemmi::Op op = gemmi::parse_triplet(text);
            op.wrap();
            if (std::find(parsed.begin(), parsed.end(), op) == parsed.end()) parsed.push_back(op);
        }
    } catch (const std::exception&) {
        return name;
    }
    if (parsed.empty() || (parsed.size() == 1 && parsed[0] == gemmi::Op::identity())) {
        name.hm = "P 1";
        name.number = 1;
        return name;
    }
    try {
        const gemmi::GroupOps group = gemmi::split_centering_vectors(parsed);
        if (group.order() != static_cast<int>(parsed.size())) return name;  // not a closed group
        if (const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_ops(group)) {
            name.hm = sg->hm;
            name.number = sg->number;
        }
    } catch (const std::exception&) {
    }
    return name;
}

std::string cif_space_group_modern_symbol(const std::string& hm) {
    std::string s, suffix;
    for (char c : hm)
        if (c != ' ' && c != '\t' && c != '_' && c != '\'' && c != '"') s.push_back(c);
    const std::size_t colon = s.find(':');
    if (colon != std::string::npos) {
        suffix = s.substr(colon);
        s.erase(colon);
    }
    // lattice letter, a glide or mirror, the 3 without its bar, and an optional last component
    if (s.size() < 3 || s.size() > 4 || std::string("PFI").find(s[0]) == std::string::npos ||
        std::string("mnad").find(s[1]) == std::string::npos || s[2] != '3' ||
        (s.size() == 4 && std::string("mncd").find(s[3]) == std::string::npos))
        return {};
    std::string modern = s.substr(0, 2) + "-3" + s.substr(3);
    const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(modern + suffix);
    if (sg == nullptr) return {};
    return suffix.empty() ? std::string(sg->hm) : sg->xhm();
}
