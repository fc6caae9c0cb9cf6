// Common oxidation states per element (table in common-states-table.inc, written by
// tools/gen_common_states.py from pymatgen's periodic table).
#include "common-states.hpp"

#include <algorithm>

namespace {

struct CommonStates {
    const char* element;
    int count;
    int states[8];
};

const CommonStates kCommonStates[] = {
#include "common-states-table.inc"
};

std::string_view base_element(std::string_view e) {
    if (e == "Hx" || e == "D") return "H";
    if (e == "Ox") return "O";
    return e;
}

}  // namespace

bool oxidation_state_is_common(std::string_view element, int os) {
    const std::string_view e = base_element(element);
    for (const CommonStates& c : kCommonStates)
        if (e == c.element) return std::find(c.states, c.states + c.count, os) != c.states + c.count;
    return false;
}
