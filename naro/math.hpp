// Expression evaluator (scaling expressions, symmetry operations) and heap helpers.
#pragma once
#include <vector>

#include "records.hpp"

void NARO_init_RPN_token(NARO_RPN_token& t);
int NARO_alloc_RPN_token(NARO_RPN_token& t, int cap);
int NARO_push_RPN_token(NARO_RPN_token& t, const NARO_RPN_token_item& item);
void NARO_free_RPN_token(NARO_RPN_token& t);

void NARO_init_char_stack(NARO_char_stack& s);
int NARO_alloc_char_stack(NARO_char_stack& s, int cap);
int NARO_push_char_stack(NARO_char_stack& s, char c);
int NARO_pop_char_stack(NARO_char_stack& s, char* c);

int NARO_RPN_push_number_stack(NARO_RPN_number_stack& s, double v);
int NARO_RPN_pop_number_stack(NARO_RPN_number_stack& s, double* v);

// Splits an expression into tokens (numbers, variables, operators, brackets); a unary
// minus gets a 0 inserted before it. 0 on success, 1 with an "Error:" line otherwise.
int NARO_RPN_tokenize(const char* expression, NARO_RPN_token& tokens);
// Infix tokens to postfix. 0 on success.
int NARO_RPN_build(const NARO_RPN_token& infix, NARO_RPN_token& postfix);
int NARO_RPN_build_push(NARO_char_stack& stack, char op);
int NARO_RPN_build_pop(NARO_char_stack& stack, char* op);
// Evaluates postfix tokens; 0 on success with the value in *result.
int NARO_RPN_read(const NARO_RPN_token& postfix, const NARO_variable_list& vars, double* result);
// Tokenize + build in one go.
int NARO_RPN_compile(const char* expression, NARO_RPN_token& postfix);
// Variables used by a compiled expression must be among `allowed` (letters).
int NARO_RPN_check_variables(const NARO_RPN_token& postfix, const char* allowed);
void NARO_free_RPN(NARO_RPN_token& t);

int NARO_store_variable_value(NARO_variable_list& vars, char name, double value);
int NARO_get_variable_value(const NARO_variable_list& vars, char name, double* value);

// Binary min-heap of (key, index) pairs.
struct NARO_heap_item {
    double key = 0.0;
    int index = 0;
};
struct NARO_heap {
    std::vector<NARO_heap_item> item;
};
void heap_insert(NARO_heap& h, double key, int index);
// Removes the smallest key; returns 0 and fills *out, or 1 when empty.
int heap_extract(NARO_heap& h, NARO_heap_item* out);
