// Numbers as CIFs write them.
#pragma once

// A standard uncertainty in parentheses is dropped (0.2500(3) reads as 0.25) and a fraction is
// divided out (3/4 reads as 0.75). Null, empty text and the placeholders ? and . are no numbers,
// nor is anything that does not start with one or is not finite. *out is set only on success.
bool cif_read_number(const char* text, double* out);
