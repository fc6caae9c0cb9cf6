// Numbers as CIFs write them.
#include "cif-number.hpp"

#include <cmath>
#include <cstdlib>

#include "cif-document.hpp"

bool cif_read_number(const char* s, double* out) {
    if (s == nullptr || cif_is_placeholder(s)) return false;
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s) return false;
    if (*end == '/') {
        char* dend = nullptr;
        const double den = std::strtod(end + 1, &dend);
        if (dend == end + 1 || den == 0.0) return false;
        v /= den;
    }
    if (!std::isfinite(v)) return false;
    *out = v;
    return true;
}
