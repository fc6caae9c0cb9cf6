// Completing a list of symmetry operations to the group it generates.
#include <cmath>
#include <cstdio>
#include <string>

#include "symmetry-close.hpp"
#include "symmetry.hpp"

namespace {

constexpr int kMaxOperations = 192;  // F m -3 m in its conventional cell

struct Op {
    int r[3][3];
    double t[3];  // in [0, 1)
};

double wrap01(double v) {
    v -= std::floor(v);
    if (v >= 1.0 - 1e-6) v = 0.0;
    return v;
}

Op op_of(const KELMAR_CARD& card) {
    Op o{};
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) o.r[i][j] = static_cast<int>(std::lround(card.r_f[i][j]));
        o.t[i] = wrap01(card.t_f[i]);
    }
    return o;
}

// a after b: x -> Ra (Rb x + tb) + ta
Op compose(const Op& a, const Op& b) {
    Op o{};
    for (int i = 0; i < 3; i++) {
        double t = a.t[i];
        for (int j = 0; j < 3; j++) {
            int s = 0;
            for (int k = 0; k < 3; k++) s += a.r[i][k] * b.r[k][j];
            o.r[i][j] = s;
            t += a.r[i][j] * b.t[j];
        }
        o.t[i] = wrap01(t);
    }
    return o;
}

bool same_op(const Op& a, const Op& b) {
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++)
            if (a.r[i][j] != b.r[i][j]) return false;
        const double d = std::fabs(a.t[i] - b.t[i]);
        if (!(d < 1e-4 || d > 1.0 - 1e-4)) return false;
    }
    return true;
}

// The translation as a fraction of a small denominator where it is one, else as a decimal.
std::string translation_text(double t) {
    for (int den : {2, 3, 4, 6, 8, 12}) {
        const double num = t * den;
        if (std::fabs(num - std::round(num)) < 1e-4) {
            const long n = std::lround(num);
            if (n == 0) return "";
            char buf[32];
            std::snprintf(buf, sizeof(buf), "+%ld/%d", n, den);
            return buf;
        }
    }
    char buf[32];
    std::snprintf(buf, sizeof(buf), "+%.6f", t);
    return buf;
}

// "-x+y+1/3" style text of one operation.
std::string op_text(const Op& o) {
    static const char axis[3] = {'x', 'y', 'z'};
    std::string text;
    for (int i = 0; i < 3; i++) {
        if (i > 0) text += ',';
        std::string comp;
        for (int j = 0; j < 3; j++) {
            if (o.r[i][j] == 0) continue;
            comp += o.r[i][j] < 0 ? "-" : (comp.empty() ? "" : "+");
            comp += axis[j];
        }
        comp.append(translation_text(o.t[i]));
        if (comp.empty()) comp.push_back('0');
        text.append(comp);
    }
    return text;
}

}  // namespace

int symops_close_group(KELMAR_SYMMETRY* symmetry) {
    if (symmetry == nullptr || symmetry->card.empty()) return 0;
    std::vector<Op> ops;
    for (const KELMAR_CARD& c : symmetry->card) {
        const Op o = op_of(c);
        bool known = false;
        for (const Op& p : ops) known = known || same_op(p, o);
        if (!known) ops.push_back(o);
    }
    const std::size_t given = ops.size();
    for (std::size_t i = 0; i < ops.size(); i++) {
        for (std::size_t j = 0; j <= i; j++) {
            for (int order = 0; order < 2; order++) {
                const Op c = order == 0 ? compose(ops[i], ops[j]) : compose(ops[j], ops[i]);
                bool known = false;
                for (const Op& p : ops) known = known || same_op(p, c);
                if (known) continue;
                if (ops.size() >= static_cast<std::size_t>(kMaxOperations)) return -1;
                ops.push_back(c);
            }
        }
    }
    if (ops.size() == given) return 0;
    for (std::size_t k = given; k < ops.size(); k++) {
        KELMAR_CARD card;
        if (kelmar_card_set_by_text(&card, op_text(ops[k]).c_str()) != 0) return -1;
        for (int i = 0; i < 3; i++) card.t_f[i] = ops[k].t[i];
        symmetry->card.push_back(card);
    }
    return static_cast<int>(ops.size() - given);
}
