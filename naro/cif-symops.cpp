// Operation lists completed to groups, and settings found by name.
#include "cif-symops.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cif-symop.hpp"
#include "math.hpp"

namespace {

constexpr std::size_t kMaxOps = 192;

struct NaroOp {
    int r[3][3];
    double t[3];  // in [0, 1)
};

double naro_wrap_t(double v) {
    v -= std::floor(v);
    return v >= 1.0 - 1e-6 ? 0.0 : v;
}

// Rotation and translation of an operation text; false for one that is no crystallographic
// operation (singular, a coefficient other than +-1, a dangling sign).
bool naro_op_of(const std::string& text, NaroOp& op) {
    CifSymop parsed;
    std::string why;
    if (!cif_symop_parse(text, parsed, why)) return false;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) op.r[i][j] = parsed.rot[i][j];
        op.t[i] = naro_wrap_t(parsed.trans[i]);
    }
    return true;
}

NaroOp naro_compose(const NaroOp& a, const NaroOp& b) {
    NaroOp o{};
    for (int i = 0; i < 3; ++i) {
        double t = a.t[i];
        for (int j = 0; j < 3; ++j) {
            int s = 0;
            for (int k = 0; k < 3; ++k) s += a.r[i][k] * b.r[k][j];
            o.r[i][j] = s;
            t += a.r[i][j] * b.t[j];
        }
        o.t[i] = naro_wrap_t(t);
    }
    return o;
}

bool naro_same_op(const NaroOp& a, const NaroOp& b) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            if (a.r[i][j] != b.r[i][j]) return false;
        const double d = std::fabs(a.t[i] - b.t[i]);
        if (!(d < 1e-4 || d > 1.0 - 1e-4)) return false;
    }
    return true;
}

std::string naro_op_text(const NaroOp& o) {
    static const char axis[3] = {'x', 'y', 'z'};
    std::string text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) text.push_back(',');
        std::string comp;
        for (int j = 0; j < 3; ++j) {
            if (o.r[i][j] == 0) continue;
            if (o.r[i][j] < 0) comp.push_back('-');
            else if (!comp.empty()) comp.push_back('+');
            comp.push_back(axis[j]);
        }
        char buf[32] = "";
        for (int den : {2, 3, 4, 6, 8, 12}) {
            const double num = o.t[i] * den;
            if (std::fabs(num - std::round(num)) < 1e-4) {
                if (std::lround(num) != 0) std::snprintf(buf, sizeof buf, "+%ld/%d", std::lround(num), den);
                break;
            }
            if (den == 12) std::snprintf(buf, sizeof buf, "+%.6f", o.t[i]);
        }
        comp.append(buf);
        if (comp.empty()) comp.push_back('0');
        text.append(comp);
    }
    return text;
}

std::string naro_symbol_key(const std::string& s) {
    std::string k;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '_') k.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return k;
}

// H-M keys to try: with a trailing setting letter turned into its :2/:1/:H/:R suffix, then
// without any suffix (a group with one setting has no suffixed record).
std::vector<std::string> naro_hm_keys(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    const std::size_t blank = s.find_last_of(" \t");
    if (blank != std::string::npos && blank + 2 == s.size() && s.find(':') == std::string::npos) {
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(s.back())));
        const char* suffix = last == 'Z' ? ":2" : last == 'S' ? ":1" : last == 'H' ? ":H" : last == 'R' ? ":R" : nullptr;
        if (suffix != nullptr) s = s.substr(0, blank) + suffix;
    }
    std::vector<std::string> keys = {naro_symbol_key(s)};
    const std::size_t colon = keys[0].find(':');
    if (colon != std::string::npos) keys.push_back(keys[0].substr(0, colon));
    return keys;
}

bool naro_quoted_key(const std::string& line, const std::string& key) {
    std::size_t p = 0;
    while ((p = line.find('\'', p)) != std::string::npos) {
        const std::size_t close = line.find('\'', p + 1);
        if (close == std::string::npos) return false;
        if (naro_symbol_key(line.substr(p + 1, close - p - 1)) == key) return true;
        p = close + 1;
    }
    return false;
}

struct NaroSetting {
    int number = 0;
    std::string hall, hm;
    std::vector<std::string> ops;
};

std::vector<NaroSetting> naro_read_settings(const std::string& path) {
    std::vector<NaroSetting> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    bool started = false;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!started) {
            started = line.rfind("DATA_START", 0) == 0;
            continue;
        }
        if (line.find("DATA_END") != std::string::npos) break;
        if (line.empty() || line[0] != '#') continue;
        NaroSetting s;
        std::string n;
        if (!std::getline(in, n) || !std::getline(in, s.hall) || !std::getline(in, s.hm)) break;
        s.number = std::atoi(n.c_str());
        std::string count;
        if (!std::getline(in, count)) break;
        const long k = std::strtol(count.c_str(), nullptr, 10);
        for (long i = 0; i < k && i < 1000; ++i) {
            std::string op;
            if (!std::getline(in, op)) break;
            while (!op.empty() && (op.back() == '\r' || op.back() == '\n')) op.pop_back();
            s.ops.push_back(op);
        }
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace

int NARO_symmetry_parse_symop(const char* component, double x, double y, double z, double* value) {
    NARO_RPN_token rpn;
    if (NARO_RPN_compile(component, rpn) != 0 || NARO_RPN_check_variables(rpn, "xyzXYZ") != 0) return 1;
    NARO_variable_list vars;
    NARO_store_variable_value(vars, 'x', x);
    NARO_store_variable_value(vars, 'y', y);
    NARO_store_variable_value(vars, 'z', z);
    NARO_store_variable_value(vars, 'X', x);
    NARO_store_variable_value(vars, 'Y', y);
    NARO_store_variable_value(vars, 'Z', z);
    return NARO_RPN_read(rpn, vars, value);
}

int naro_close_symops(std::vector<std::string>& ops) {
    std::vector<NaroOp> group;
    for (const std::string& text : ops) {
        NaroOp o{};
        if (!naro_op_of(text, o)) return -2;
        bool known = false;
        for (const NaroOp& p : group) known = known || naro_same_op(p, o);
        if (!known) group.push_back(o);
    }
    const std::size_t given = group.size();
    for (std::size_t i = 0; i < group.size(); ++i)
        for (std::size_t j = 0; j <= i; ++j)
            for (int order = 0; order < 2; ++order) {
                const NaroOp c = order == 0 ? naro_compose(group[i], group[j]) : naro_compose(group[j], group[i]);
                bool known = false;
                for (const NaroOp& p : group) known = known || naro_same_op(p, c);
                if (known) continue;
                if (group.size() >= kMaxOps) return -1;
                group.push_back(c);
            }
    for (std::size_t k = given; k < group.size(); ++k) ops.push_back(naro_op_text(group[k]));
    return static_cast<int>(group.size() - given);
}

std::vector<std::string> naro_symops_from_settings(const std::string& path, const std::string& hm,
                                                   const std::string& hall, int number, std::string* how) {
    const std::vector<NaroSetting> settings = naro_read_settings(path);
    if (!hm.empty())
        for (const std::string& key : naro_hm_keys(hm))
            for (const NaroSetting& s : settings)
                if (!key.empty() && naro_quoted_key(s.hm, key)) {
                    if (how) *how = "H-M symbol";
                    return s.ops;
                }
    if (!hall.empty())
        for (const NaroSetting& s : settings)
            if (naro_quoted_key(s.hall, naro_symbol_key(hall))) {
                if (how) *how = "Hall symbol";
                return s.ops;
            }
    if (number > 0)
        for (const NaroSetting& s : settings)
            if (s.number == number) {
                if (how) *how = "space-group number";
                return s.ops;
            }
    return {};
}
