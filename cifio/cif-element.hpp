// Element symbols in the texts of a CIF: type symbols (Li1+, O2-) and site labels (O1, KI, MgIII).
#pragma once

// Whether s is an element symbol as a CIF writes it (a capital, then at most one small letter;
// D for deuterium).
bool cif_is_element(const char* s);

// The element a text starts with, after any non-letters: two letters when they form an element
// symbol, else one (the case of the letters is normalised, so "LI" and "li" give Li). Writes the
// symbol to `symbol` and returns the offset behind it in `text`; -1 when no element fits, and
// `symbol` is then left as it was.
long cif_leading_element(const char* text, char symbol[3]);

// The element a site label names: its leading element followed by a site name of digits,
// capitals or at most one small letter (O1, Oa, KI, MgIII). False when the label names none (Wat,
// Oxy); `symbol` may then hold a partial answer.
bool cif_element_of_label(const char* label, char symbol[3]);

// The element that a water or hydroxide name stands for, the rule both programs read such sites
// by: site labels Wat, Wat1, OW, Ow2 (the water oxygen) and Hwa, HW, Hw1 (its hydrogens); type
// symbols OH, OH2, H2O, Wat, OW (oxygen) and HW, Hwa (hydrogen), with or without a charge. The
// case of the name's letters does not matter; what follows it must not be a small letter (WatII,
// Wat1 and OW2A are water sites, Water is a word). False for every other text (O1, H2, Wa, Hf).
bool cif_water_element(const char* text, char symbol[3]);

// The rule above in words, for the one warning a reader prints when it applies it.
inline constexpr const char* kCifWaterRule =
    "water and hydroxide names are read as their elements (labels Wat, OW -> O, Hwa, HW -> H; "
    "type symbols OH, OH2, H2O -> O)";
