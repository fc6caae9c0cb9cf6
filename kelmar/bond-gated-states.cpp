// The bond rules of the states an element takes only where its bonds show them.
#include "bond-gated-states.hpp"

#include <algorithm>
#include <array>

namespace {

// An element state and the contact that shows it: with `required`, some neighbour of one of the
// `partners` elements must lie in [d_min, d_max]; otherwise none may.
struct BondRule {
    std::string_view element;
    int os;
    bool required;
    std::array<std::string_view, 12> partners;
    double d_min, d_max;
};

// Bond lengths: O-O 1.49 A in peroxides (1.28-1.34 A in superoxides, beyond 2.4 A between oxide
// ions); P-P 2.1-2.3 A in P2S6 and P2O6 units; P-X bonds to the electronegative elements up to
// 2.5 A (P-I), metal-P contacts of phosphides from 2.4 A; X-H bonds up to 1.45 A (P-H, Br-H),
// metal-H and B-H contacts of hydrides from 1.1 A but never to these elements.
constexpr std::array<BondRule, 5> kRules = {{
    {"O", -1, true, {"O", "Ox"}, 1.2, 1.7},
    {"P", 4, true, {"P"}, 1.9, 2.45},
    {"P", -3, false, {"C", "N", "O", "Ox", "F", "S", "Cl", "Se", "Br", "Te", "I"}, 0.0, 2.6},
    {"H", -1, false, {"C", "N", "O", "Ox", "F", "P", "S", "Cl", "Se", "Br", "I"}, 0.0, 1.5},
    {"D", -1, false, {"C", "N", "O", "Ox", "F", "P", "S", "Cl", "Se", "Br", "I"}, 0.0, 1.5},
}};

bool is_partner(const BondRule& r, std::string_view type) {
    return !type.empty() && std::find(r.partners.begin(), r.partners.end(), type) != r.partners.end();
}

}  // namespace

bool state_allowed_by_bonds(std::string_view type, int os, const std::vector<BondedNeighbour>& neighbours) {
    for (const BondRule& r : kRules) {
        if (r.element != type || r.os != os) continue;
        const bool contact = std::any_of(neighbours.begin(), neighbours.end(), [&](const BondedNeighbour& n) {
            return n.d >= r.d_min && n.d <= r.d_max && is_partner(r, n.type);
        });
        return contact == r.required;
    }
    return true;
}
