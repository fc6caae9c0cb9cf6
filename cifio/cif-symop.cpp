// Symmetry operations as CIFs write them, read strictly.
#include "cif-symop.hpp"

#include <cctype>
#include <cstdlib>

namespace {

int axis_of(char c) {
    switch (c) {
    case 'x': case 'X': return 0;
    case 'y': case 'Y': return 1;
    case 'z': case 'Z': return 2;
    default: return -1;
    }
}

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Length of an unsigned decimal at s (digits [. digits] or . digits); 0 when none.
std::size_t decimal_length(const std::string& s, std::size_t p) {
    const std::size_t start = p;
    std::size_t digits = 0;
    while (p < s.size() && is_digit(s[p])) p++, digits++;
    if (p < s.size() && s[p] == '.') {
        p++;
        while (p < s.size() && is_digit(s[p])) p++, digits++;
    }
    return digits == 0 ? 0 : p - start;
}

// One component without blanks; false with the reason.
bool parse_component(const std::string& s, int row[3], double& t, std::string& why) {
    row[0] = row[1] = row[2] = 0;
    t = 0.0;
    if (s.empty()) {
        why = "a component is empty";
        return false;
    }
    std::size_t p = 0;
    bool first = true;
    while (p < s.size()) {
        int sign = 1;
        if (s[p] == '+' || s[p] == '-') {
            sign = s[p] == '-' ? -1 : 1;
            p++;
        } else if (!first) {
            why = "terms must be joined by + or -";
            return false;
        }
        first = false;
        if (p >= s.size()) {
            why = "a sign has no term after it";
            return false;
        }
        const int axis = axis_of(s[p]);
        if (axis >= 0) {
            if (row[axis] != 0) {
                why = "a variable appears twice in one component";
                return false;
            }
            row[axis] = sign;
            p++;
            continue;
        }
        const std::size_t n = decimal_length(s, p);
        if (n == 0) {
            why = std::string("unexpected character '") + s[p] + "'";
            return false;
        }
        double v = std::strtod(s.substr(p, n).c_str(), nullptr);
        p += n;
        if (p < s.size() && s[p] == '/') {
            const std::size_t dn = decimal_length(s, p + 1);
            const double den = dn == 0 ? 0.0 : std::strtod(s.substr(p + 1, dn).c_str(), nullptr);
            if (den == 0.0) {
                why = "a fraction has no denominator";
                return false;
            }
            v /= den;
            p += 1 + dn;
        }
        if (p < s.size() && (axis_of(s[p]) >= 0 || s[p] == '*')) {
            why = "a coefficient other than +-1 in front of a variable";
            return false;
        }
        t += sign * v;
    }
    return true;
}

}  // namespace

bool cif_symop_parse(const std::string& text, CifSymop& op, std::string& why) {
    std::string comp[3];
    int c = 0;
    for (char ch : text) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\'' || ch == '"') continue;
        if (ch == ',') {
            if (++c > 2) {
                why = "more than three components";
                return false;
            }
            continue;
        }
        comp[c] += ch;
    }
    if (c != 2) {
        why = "fewer than three components";
        return false;
    }
    CifSymop o;
    for (int i = 0; i < 3; i++)
        if (!parse_component(comp[i], o.rot[i], o.trans[i], why)) return false;
    const int(*r)[3] = o.rot;
    const int det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) - r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                    r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    if (det != 1 && det != -1) {
        why = det == 0 ? "the operation is singular" : "the operation does not map the lattice onto itself";
        return false;
    }
    op = o;
    return true;
}
