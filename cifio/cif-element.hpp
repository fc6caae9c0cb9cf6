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
