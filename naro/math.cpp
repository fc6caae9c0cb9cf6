// Arithmetic-expression evaluator (tokenizer, shunting-yard, postfix evaluation,
// variables) and a binary min-heap.
//
// Operator precedence, low to high: + -, * /, unary minus, ^. Binary operators
// associate to the left except ^, which associates to the right (2^3^2 = 512).
// A unary minus becomes "0 ~ operand", where ~ is a subtraction that binds tighter
// than * and / but looser than ^ (so 2*-3 = -6 and -2^2 = -4).
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "math.hpp"

static constexpr char NARO_UNARY_MINUS = '~';

void NARO_init_RPN_token(NARO_RPN_token& t) {
    t.size = 0;
    t.cap = 0;
    t.item.clear();
}

int NARO_alloc_RPN_token(NARO_RPN_token& t, int cap) {
    if (cap < 0) cap = 0;
    t.item.reserve(static_cast<size_t>(cap));
    t.cap = static_cast<int>(t.item.capacity());
    return 0;
}

int NARO_push_RPN_token(NARO_RPN_token& t, const NARO_RPN_token_item& item) {
    t.item.push_back(item);
    t.size = static_cast<int>(t.item.size());
    t.cap = static_cast<int>(t.item.capacity());
    return 0;
}

void NARO_free_RPN_token(NARO_RPN_token& t) {
    t.item.clear();
    t.item.shrink_to_fit();
    t.size = 0;
    t.cap = 0;
}

void NARO_free_RPN(NARO_RPN_token& t) { NARO_free_RPN_token(t); }

void NARO_init_char_stack(NARO_char_stack& s) {
    s.size = 0;
    s.cap = 0;
    s.item.clear();
}
int NARO_alloc_char_stack(NARO_char_stack& s, int cap) {
    s.item.reserve(static_cast<size_t>(cap > 0 ? cap : 0));
    s.cap = static_cast<int>(s.item.capacity());
    return 0;
}
int NARO_push_char_stack(NARO_char_stack& s, char c) {
    s.item.push_back(c);
    s.size = static_cast<int>(s.item.size());
    s.cap = static_cast<int>(s.item.capacity());
    return 0;
}
int NARO_pop_char_stack(NARO_char_stack& s, char* c) {
    if (s.item.empty()) {
        std::fprintf(stderr, "Error: Reached bottom of char stack\n");
        return 1;
    }
    if (c) *c = s.item.back();
    s.item.pop_back();
    s.size = static_cast<int>(s.item.size());
    return 0;
}

int NARO_RPN_push_number_stack(NARO_RPN_number_stack& s, double v) {
    s.item.push_back(v);
    s.size = static_cast<int>(s.item.size());
    s.cap = static_cast<int>(s.item.capacity());
    return 0;
}
int NARO_RPN_pop_number_stack(NARO_RPN_number_stack& s, double* v) {
    if (s.item.empty()) {
        std::fprintf(stderr, "Error: Missing operand in expression\n");
        return 1;
    }
    if (v) *v = s.item.back();
    s.item.pop_back();
    s.size = static_cast<int>(s.item.size());
    return 0;
}

static bool naro_is_op(char c) {
    return c == '+' || c == '-' || c == '*' || c == '/' || c == '^' || c == '(' || c == ')';
}

int NARO_RPN_tokenize(const char* expression, NARO_RPN_token& tokens) {
    NARO_init_RPN_token(tokens);
    if (!expression) {
        std::fprintf(stderr, "Error: Expression cannot be fully parsed in NARO_RPN_tokenize()\n");
        return 1;
    }
    const char* p = expression;
    bool prev_operand = false;   // last token was a number, a variable or ")"
    while (*p) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        NARO_RPN_token_item it;
        if (std::isdigit(static_cast<unsigned char>(*p)) || *p == '.') {
            // [0-9]*\.?[0-9]*
            const char* s = p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
            if (*p == '.') ++p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
            size_t len = static_cast<size_t>(p - s);
            if (len > static_cast<size_t>(NARO_MAX_TOKEN_SIZE)) {
                std::fprintf(stderr, "Error: MAX_TOKEN_SIZE exceeded in NARO_RPN_tokenize()\n");
                NARO_init_RPN_token(tokens);
                return 1;
            }
            if (len == 1 && *s == '.') {
                std::fprintf(stderr,
                             "Error: Expression cannot be fully parsed in NARO_RPN_tokenize()\n");
                NARO_init_RPN_token(tokens);
                return 1;
            }
            it.token_type = type_number;
            it.number = std::strtod(std::string(s, len).c_str(), nullptr);
            NARO_push_RPN_token(tokens, it);
            prev_operand = true;
        } else if (std::isalpha(static_cast<unsigned char>(*p))) {
            it.token_type = type_var;
            it.symbol = *p++;
            NARO_push_RPN_token(tokens, it);
            prev_operand = true;
        } else if (naro_is_op(*p)) {
            char c = *p++;
            if (c == '+' && !prev_operand) continue;   // unary plus changes nothing
            if (c == '-' && !prev_operand) {
                NARO_RPN_token_item zero;
                zero.token_type = type_number;
                zero.number = 0.0;
                NARO_push_RPN_token(tokens, zero);
                c = NARO_UNARY_MINUS;
            }
            it.token_type = type_op;
            it.symbol = c;
            NARO_push_RPN_token(tokens, it);
            prev_operand = (c == ')');
        } else {
            std::fprintf(stderr, "Error: Expression cannot be fully parsed in NARO_RPN_tokenize()\n");
            NARO_init_RPN_token(tokens);
            return 1;
        }
    }
    return 0;
}

int NARO_RPN_build_push(NARO_char_stack& stack, char op) { return NARO_push_char_stack(stack, op); }
int NARO_RPN_build_pop(NARO_char_stack& stack, char* op) { return NARO_pop_char_stack(stack, op); }

static void naro_emit_op(NARO_RPN_token& out, char c) {
    NARO_RPN_token_item it;
    it.token_type = type_op;
    it.symbol = c;
    NARO_push_RPN_token(out, it);
}

int NARO_RPN_build(const NARO_RPN_token& infix, NARO_RPN_token& postfix) {
    NARO_init_RPN_token(postfix);
    NARO_char_stack st;
    NARO_init_char_stack(st);
    auto pop_while = [&](auto pred) {
        while (!st.item.empty() && st.item.back() != '(' && pred(st.item.back())) {
            char c;
            NARO_RPN_build_pop(st, &c);
            naro_emit_op(postfix, c);
        }
    };
    for (const NARO_RPN_token_item& it : infix.item) {
        if (it.token_type != type_op) {
            NARO_push_RPN_token(postfix, it);
            continue;
        }
        switch (it.symbol) {
        case '(':
        case '^':
        case NARO_UNARY_MINUS:
            NARO_RPN_build_push(st, it.symbol);
            break;
        case ')': {
            for (;;) {
                char c;
                if (NARO_RPN_build_pop(st, &c) != 0) {
                    std::fprintf(stderr, "Error: Unbalanced brackets in expression\n");
                    NARO_init_RPN_token(postfix);
                    return 1;
                }
                if (c == '(') break;
                naro_emit_op(postfix, c);
            }
            break;
        }
        case '+':
        case '-':
            pop_while([](char) { return true; });
            NARO_RPN_build_push(st, it.symbol);
            break;
        case '*':
        case '/':
            pop_while([](char c) { return c == '^' || c == '*' || c == '/' || c == NARO_UNARY_MINUS; });
            NARO_RPN_build_push(st, it.symbol);
            break;
        default:
            std::fprintf(stderr, "Error: Expression cannot be fully parsed in NARO_RPN_tokenize()\n");
            NARO_init_RPN_token(postfix);
            return 1;
        }
    }
    while (!st.item.empty()) {
        char c;
        NARO_RPN_build_pop(st, &c);
        if (c == '(') {
            std::fprintf(stderr, "Error: Unbalanced brackets in expression\n");
            NARO_init_RPN_token(postfix);
            return 1;
        }
        naro_emit_op(postfix, c);
    }
    return 0;
}

int NARO_store_variable_value(NARO_variable_list& vars, char name, double value) {
    if (name >= 'A' && name <= 'Z') vars.value[static_cast<size_t>(name - 'A')] = value;
    else if (name >= 'a' && name <= 'z') vars.value[static_cast<size_t>(26 + name - 'a')] = value;
    else {
        std::fprintf(stderr, "Error: Invalid variable name for NARO_store_variable_value\n");
        return 1;
    }
    return 0;
}

int NARO_get_variable_value(const NARO_variable_list& vars, char name, double* value) {
    if (name >= 'A' && name <= 'Z') *value = vars.value[static_cast<size_t>(name - 'A')];
    else if (name >= 'a' && name <= 'z') *value = vars.value[static_cast<size_t>(26 + name - 'a')];
    else {
        std::fprintf(stderr, "Error: Invalid variable name for NARO_get_variable_value\n");
        return 1;
    }
    return 0;
}

int NARO_RPN_read(const NARO_RPN_token& postfix, const NARO_variable_list& vars, double* result) {
    // A small fixed stack avoids allocation on the hot path (scaling is evaluated often).
    double stack[64];
    int n = 0;
    for (const NARO_RPN_token_item& it : postfix.item) {
        if (it.token_type == type_number || it.token_type == type_var) {
            double v = it.number;
            if (it.token_type == type_var && NARO_get_variable_value(vars, it.symbol, &v) != 0) return 1;
            if (n >= 64) {
                std::fprintf(stderr, "Error: Expression too deeply nested\n");
                return 1;
            }
            stack[n++] = v;
            continue;
        }
        if (n < 2) {
            std::fprintf(stderr, "Error: Missing operand in expression\n");
            return 1;
        }
        double r = stack[--n];
        double l = stack[--n];
        double v = 0;
        switch (it.symbol) {
        case '+': v = l + r; break;
        case '-':
        case NARO_UNARY_MINUS: v = l - r; break;
        case '*': v = l * r; break;
        case '/': v = l / r; break;
        case '^': v = std::pow(l, r); break;
        default:
            std::fprintf(stderr, "Error: Invalid operator in expression\n");
            return 1;
        }
        stack[n++] = v;
    }
    if (n != 1) {
        std::fprintf(stderr, "Error: Missing operator in expression\n");
        return 1;
    }
    *result = stack[0];
    return 0;
}

int NARO_RPN_compile(const char* expression, NARO_RPN_token& postfix) {
    NARO_RPN_token infix;
    if (NARO_RPN_tokenize(expression, infix) != 0) return 1;
    if (NARO_RPN_build(infix, postfix) != 0) return 1;
    // Check the shape once with zero-valued variables so that malformed expressions
    // are rejected here and not at every evaluation.
    NARO_variable_list vars;
    double v;
    if (NARO_RPN_read(postfix, vars, &v) != 0) {
        NARO_init_RPN_token(postfix);
        return 1;
    }
    return 0;
}

int NARO_RPN_check_variables(const NARO_RPN_token& postfix, const char* allowed) {
    for (const NARO_RPN_token_item& it : postfix.item) {
        if (it.token_type == type_var && !std::strchr(allowed, it.symbol)) {
            std::fprintf(stderr, "Error: Unknown variable %c in expression\n", it.symbol);
            return 1;
        }
    }
    return 0;
}

void heap_insert(NARO_heap& h, double key, int index) {
    h.item.push_back({key, index});
    size_t i = h.item.size() - 1;
    while (i > 0) {
        size_t p = (i - 1) / 2;
        if (h.item[p].key <= h.item[i].key) break;
        std::swap(h.item[p], h.item[i]);
        i = p;
    }
}

int heap_extract(NARO_heap& h, NARO_heap_item* out) {
    if (h.item.empty()) return 1;
    if (out) *out = h.item[0];
    h.item[0] = h.item.back();
    h.item.pop_back();
    size_t n = h.item.size(), i = 0;
    for (;;) {
        size_t l = 2 * i + 1, r = l + 1, m = i;
        if (l < n && h.item[l].key < h.item[m].key) m = l;
        if (r < n && h.item[r].key < h.item[m].key) m = r;
        if (m == i) break;
        std::swap(h.item[m], h.item[i]);
        i = m;
    }
    return 0;
}
