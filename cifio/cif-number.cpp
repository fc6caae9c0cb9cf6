// Numbers as CIFs write them.
#include "cif-number.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

#include "cif-document.hpp"

namespace {

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Length of the decimal number at the start of s: [sign] digits [. digits] [e|E [sign] digits],
// at least one digit in the mantissa. 0 when none starts there. Hexadecimal numbers, inf and nan,
// which strtod would take, are not CIF numbers.
std::size_t decimal_length(const char* s) {
    std::size_t p = 0;
    if (s[p] == '+' || s[p] == '-') p++;
    std::size_t digits = 0;
    while (is_digit(s[p])) p++, digits++;
    if (s[p] == '.') {
        p++;
        while (is_digit(s[p])) p++, digits++;
    }
    if (digits == 0) return 0;
    if (s[p] == 'e' || s[p] == 'E') {
        std::size_t q = p + 1;
        if (s[q] == '+' || s[q] == '-') q++;
        if (!is_digit(s[q])) return 0;  // "1e" is no number
        while (is_digit(s[q])) q++;
        p = q;
    }
    return p;
}

bool only_blanks(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    return *s == '\0';
}

}  // namespace

bool cif_read_number(const char* s, double* out) {
    if (s == nullptr || cif_is_placeholder(s)) return false;
    while (*s == ' ' || *s == '\t') s++;
    const std::size_t n = decimal_length(s);
    if (n == 0) return false;
    double v = std::strtod(std::string(s, n).c_str(), nullptr);
    const char* p = s + n;
    if (*p == '(') {
        // a standard uncertainty: digits in parentheses, nothing else
        const char* q = p + 1;
        while (is_digit(*q)) q++;
        if (q == p + 1 || *q != ')') return false;
        p = q + 1;
    } else if (*p == '/') {
        const std::size_t dn = decimal_length(p + 1);
        if (dn == 0) return false;
        const double den = std::strtod(std::string(p + 1, dn).c_str(), nullptr);
        if (den == 0.0) return false;
        v /= den;
        p += 1 + dn;
    }
    // a charge written after an unsigned number (2+, 1-) is that signed number
    if ((*p == '+' || *p == '-') && is_digit(p[-1]) && s[0] != '+' && s[0] != '-') {
        if (*p == '-') v = -v;
        p++;
    }
    if (!only_blanks(p) || !std::isfinite(v)) return false;
    *out = v;
    return true;
}
