// Rarity of oxidation states from the occurrence table in common-states-table.hpp (written by
// tools/gen_common_states.py from pymatgen's icsd_bv.yaml).
#include "common-states.hpp"

#include <cmath>

#include "common-states-table.hpp"

namespace {

std::string_view base_element(std::string_view e) {
    if (e == "Hx" || e == "D") return "H";
    if (e == "Ox") return "O";
    return e;
}

}  // namespace

double oxidation_state_rarity(std::string_view element, int os) {
    const std::string_view e = base_element(element);
    double total = 0.0, count = 0.0;
    for (const OxidationStateCount& s : kOxidationStateCounts) {
        if (e != s.element) continue;
        total += s.count;
        if (s.os == os) count = s.count;
    }
    if (!(total > 0)) return 0.0;
    if (!(count > 0)) count = 0.5;
    return -std::log(count / total);
}
