// The oxidation-state steps of reading a structure: a site of mixed valence becomes two sites of
// whole states, and states the file leaves unknown take the unitary parameter file's default.
#include "atom-states.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data-file.hpp"

int kelmar_atom_fork_os(std::vector<KELMAR_ATOM>& atom) {
    const std::size_t n = atom.size();
    for (std::size_t i = 0; i < n; i++) {
        const double v = atom[i].value;
        if (std::fabs(v - 99.0) < 0.0001) {
            atom[i].os = KELMAR_OS_UNKNOWN;
            continue;
        }
        // no ion carries a state of a hundred or more; such a number (Li123456789012+) would
        // not even fit the integer state
        if (!(std::fabs(v) < 100.0)) {
            std::fprintf(stderr, "Error: oxidation state %g of %s is out of range.\n", v, atom[i].name);
            return 1;
        }
        const double nearest = std::round(v);
        if (std::fabs(v - nearest) < 0.1) {
            atom[i].os = static_cast<int>(nearest);
            continue;
        }
        const double hi = std::ceil(v);
        const double lo = std::floor(v);
        KELMAR_ATOM low = atom[i];
        atom[i].os = static_cast<int>(hi);
        atom[i].occ = low.occ * (v - lo);
        low.os = static_cast<int>(lo);
        low.occ = low.occ * (hi - v);
        atom.push_back(low);
    }
    for (auto& at : atom) at.value = 0.0;
    return 0;
}

int kelmar_atom_update_default_os(std::vector<KELMAR_ATOM>& atom, const char* dir_unitary) {
    std::vector<std::string> data;
    if (!read_data_block(dir_unitary, data)) {
        std::fprintf(stderr, "Error: unable to open %s\n", dir_unitary ? dir_unitary : "(null)");
        return 1;
    }
    for (auto& at : atom) {
        if (at.os != KELMAR_OS_UNKNOWN) continue;
        for (const auto& d : data) {
            char symbol[64] = {};
            int os = 0;
            if (std::sscanf(d.c_str(), "%*d %63s %*d %d", symbol, &os) != 2) continue;
            if (std::strcmp(symbol, at.type) == 0) {
                at.os = os;
                at.os_default = true;
                break;
            }
        }
    }
    return 0;
}
