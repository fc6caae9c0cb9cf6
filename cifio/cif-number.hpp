// Numbers as CIFs write them.
#pragma once

// The whole text must be one decimal number ([sign] digits [. digits] [e [sign] digits]), with
// blanks around it allowed. A standard uncertainty in parentheses is dropped (0.2500(3) reads as
// 0.25), a fraction is divided out (3/4 reads as 0.75) and a charge sign after an unsigned number
// is its sign (2+ reads as 2, 1- as -1). Null, empty text, the placeholders ? and ., text after
// the number (0.5abc, 1..2, 0.5.5), a bare exponent (1e), hexadecimal, inf, nan and values out of
// range are no numbers. *out is set only on success.
bool cif_read_number(const char* text, double* out);
