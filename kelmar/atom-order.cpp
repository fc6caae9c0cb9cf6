// The order of atoms in a list: type, oxidation state, occupancy, then natural label order.
#include "atom-order.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

int kelmar_atom_name_compare(const char* a, const char* b) {
    for (int p = 0; p < 12; p++) {
        const char ca = a[p];
        const char cb = b[p];
        if (ca == '\0' && cb == '\0') return 0;
        if (ca == '\0') return -1;
        if (cb == '\0') return 1;
        const bool da = std::isdigit(static_cast<unsigned char>(ca)) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(cb)) != 0;
        if (da && !db) return -1;
        if (!da && db) return 1;
        if (!da && !db) {
            if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
            continue;
        }
        // the whole numbers that start here (labels are short, so they cannot overflow)
        long na = 0, nb = 0;
        for (const char* q = a + p; std::isdigit(static_cast<unsigned char>(*q)) && na < 100000000L; q++)
            na = na * 10 + (*q - '0');
        for (const char* q = b + p; std::isdigit(static_cast<unsigned char>(*q)) && nb < 100000000L; q++)
            nb = nb * 10 + (*q - '0');
        if (na != nb) return na < nb ? -1 : 1;
        const int c = std::strcmp(a, b);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const int c = std::strcmp(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {

// Sort key of an atom: the permutation is computed on these small records and applied once.
struct SORT_KEY {
    std::uint16_t type;
    int os;
    double occ;
    std::uint32_t idx;
    std::uint32_t name;  // rank of the label in natural order
};

std::uint16_t pack_type(const char* t) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(t[0]) << 8) |
                                      (t[0] ? static_cast<unsigned char>(t[1]) : 0u));
}

}  // namespace

// Four exchange passes (i < j, swap when the later one should come first): type, then state
// within a type, then occupancy within type and state, then natural label order within equal
// occupancy. The passes run on compact keys so that large expanded cells sort quickly.
void kelmar_atom_sort(KELMAR_ATOM* atom, long total) {
    if (atom == nullptr || total < 2) return;
    const std::size_t n = static_cast<std::size_t>(total);
    std::vector<SORT_KEY> key(n);
    // Rank the distinct labels once in natural order so that the label pass compares integers.
    std::unordered_map<std::string, std::uint32_t> rank;
    std::vector<const char*> names;
    for (std::size_t i = 0; i < n; i++)
        if (rank.emplace(atom[i].name, 0u).second) names.push_back(atom[i].name);
    const bool ranked = names.size() <= 4096;
    if (ranked) {
        for (std::size_t i = 1; i < names.size(); i++)
            for (std::size_t j = i; j > 0 && kelmar_atom_name_compare(names[j], names[j - 1]) < 0; j--)
                std::swap(names[j], names[j - 1]);
        for (std::size_t r = 0; r < names.size(); r++) rank[names[r]] = static_cast<std::uint32_t>(r);
    }
    for (std::size_t i = 0; i < n; i++)
        key[i] = {pack_type(atom[i].type), atom[i].os, atom[i].occ, static_cast<std::uint32_t>(i),
                  ranked ? rank[atom[i].name] : 0u};
    for (std::size_t i = 0; i < n; i++)
        for (std::size_t j = i + 1; j < n; j++)
            if (key[j].type < key[i].type) std::swap(key[i], key[j]);
    // After the first pass each type forms one run; the later passes only swap inside runs.
    std::size_t start = 0;
    while (start < n) {
        std::size_t end = start + 1;
        while (end < n && key[end].type == key[start].type) end++;
        for (std::size_t i = start; i < end; i++)
            for (std::size_t j = i + 1; j < end; j++)
                if (key[j].os < key[i].os) std::swap(key[i], key[j]);
        std::size_t s2 = start;
        while (s2 < end) {
            std::size_t e2 = s2 + 1;
            while (e2 < end && key[e2].os == key[s2].os) e2++;
            for (std::size_t i = s2; i < e2; i++)
                for (std::size_t j = i + 1; j < e2; j++)
                    if (key[j].occ < key[i].occ) std::swap(key[i], key[j]);
            for (std::size_t i = s2; i < e2; i++)
                for (std::size_t j = i + 1; j < e2; j++)
                    if (key[j].occ == key[i].occ &&
                        (ranked ? key[j].name < key[i].name
                                : kelmar_atom_name_compare(atom[key[j].idx].name, atom[key[i].idx].name) < 0))
                        std::swap(key[i], key[j]);
            s2 = e2;
        }
        start = end;
    }
    std::vector<KELMAR_ATOM> sorted(n);
    for (std::size_t i = 0; i < n; i++) sorted[i] = atom[key[i].idx];
    std::copy(sorted.begin(), sorted.end(), atom);
}
