#include "cif-element.hpp"

#include <cctype>
#include <cstring>
#include <string>

namespace {

// Element symbols of the periodic table (deuterium written as D too).
const char* const kElementSymbols[] = {
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",  "Cl", "Ar", "K",
    "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr",
    "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La",
    "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os",
    "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U",  "Np", "Pu", "Am",
    "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl",
    "Mc", "Lv", "Ts", "Og", "D"};

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool is_small(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool cif_is_element(const char* s) {
    if (s == nullptr) return false;
    for (const char* e : kElementSymbols)
        if (std::strcmp(e, s) == 0) return true;
    return false;
}

long cif_leading_element(const char* text, char symbol[3]) {
    if (text == nullptr) return -1;
    const char* p = text;
    while (*p != '\0' && !is_letter(*p)) p++;
    if (*p == '\0') return -1;
    char sym[3] = {static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))), '\0', '\0'};
    if (is_letter(p[1])) {
        sym[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
        if (cif_is_element(sym)) {
            std::memcpy(symbol, sym, 3);
            return static_cast<long>(p + 2 - text);
        }
        sym[1] = '\0';
    }
    if (!cif_is_element(sym)) return -1;
    std::memcpy(symbol, sym, 3);
    return static_cast<long>(p + 1 - text);
}

bool cif_element_of_label(const char* label, char symbol[3]) {
    const long rest = cif_leading_element(label, symbol);
    if (rest < 0) return false;
    // two small letters after the symbol make a word, not a site name (Wat, Oxy)
    const char* after = label + rest;
    return !(is_small(after[0]) && is_small(after[1]));
}

bool cif_water_element(const char* text, char symbol[3]) {
    if (text == nullptr) return false;
    std::string lower;
    for (const char* p = text; *p != '\0'; p++) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
    struct Name {
        const char* name;
        const char* element;
    };
    // longest names first: "oh2" before "oh", "hwa" before "hw"
    static const Name kNames[] = {{"h2o", "O"}, {"oh2", "O"}, {"wat", "O"}, {"hwa", "H"},
                                  {"oh", "O"},  {"ow", "O"},  {"hw", "H"}};
    for (const Name& n : kNames) {
        const std::size_t len = std::strlen(n.name);
        if (lower.compare(0, len, n.name) != 0) continue;
        if (is_small(text[len])) continue;  // a longer word (Owen, Water); WatII and Hw1 are site names
        std::memcpy(symbol, n.element, std::strlen(n.element) + 1);
        return true;
    }
    return false;
}
