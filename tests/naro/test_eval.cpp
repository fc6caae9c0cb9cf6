// Expression evaluator: precedence, associativity, unary minus, variables and the
// rejection of what it cannot parse.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "naro_fixtures.hpp"


namespace {

double eval(const std::string& ex, double E = 0, double x = 0) {
    NARO_RPN_token rpn;
    EXPECT_EQ(NARO_RPN_compile(ex.c_str(), rpn), 0) << ex;
    NARO_variable_list vars;
    NARO_store_variable_value(vars, 'E', E);
    NARO_store_variable_value(vars, 'x', x);
    double v = NAN;
    EXPECT_EQ(NARO_RPN_read(rpn, vars, &v), 0) << ex;
    return v;
}

bool compiles(const std::string& ex) {
    NARO_RPN_token rpn;
    return NARO_RPN_compile(ex.c_str(), rpn) == 0;
}

TEST(Evaluator, DivisionAssociatesToTheLeft) {
    EXPECT_DOUBLE_EQ(eval("8/4/2"), 1.0);
    EXPECT_DOUBLE_EQ(eval("8/4*2"), 4.0);
    EXPECT_DOUBLE_EQ(eval("8*4/2"), 16.0);
    EXPECT_DOUBLE_EQ(eval("10-4-3"), 3.0);
}

TEST(Evaluator, PowersAssociateToTheRight) {
    EXPECT_DOUBLE_EQ(eval("2^3^2"), 512.0);
    EXPECT_DOUBLE_EQ(eval("(2^3)^2"), 64.0);
    EXPECT_DOUBLE_EQ(eval("2*3^2"), 18.0);
}

TEST(Evaluator, UnaryMinus) {
    EXPECT_DOUBLE_EQ(eval("-E", 3), -3.0);
    EXPECT_DOUBLE_EQ(eval("2*-3"), -6.0);
    EXPECT_DOUBLE_EQ(eval("-2^2"), -4.0);
    EXPECT_DOUBLE_EQ(eval("2^-1"), 0.5);
    EXPECT_DOUBLE_EQ(eval("-(1+2)*2"), -6.0);
    EXPECT_DOUBLE_EQ(eval("-x+1/2", 0, 0.25), 0.25);
    EXPECT_DOUBLE_EQ(eval("+x", 0, 0.25), 0.25);
}

TEST(Evaluator, NumbersBracketsAndVariables) {
    EXPECT_DOUBLE_EQ(eval("(1+2)*3"), 9.0);
    EXPECT_DOUBLE_EQ(eval(" .5 + 1. "), 1.5);
    EXPECT_NEAR(eval("0.5695*E^(0.6946)", 2), 0.5695 * std::pow(2, 0.6946), 1e-12);
    EXPECT_DOUBLE_EQ(eval("E", 7.25), 7.25);
}

TEST(Evaluator, RejectsWhatItCannotParse) {
    for (const char* bad : {"", "2+", "E$", "(E", "E)", "2 3", ".", "E,1", "*E", "E**2", "()"})
        EXPECT_FALSE(compiles(bad)) << bad;
    EXPECT_FALSE(compiles(std::string(120, '1')));
}

TEST(Evaluator, VariableSlots) {
    NARO_variable_list vars;
    double v = 0;
    EXPECT_EQ(NARO_store_variable_value(vars, 'Z', 1.5), 0);
    EXPECT_EQ(NARO_store_variable_value(vars, 'z', 2.5), 0);
    EXPECT_EQ(NARO_get_variable_value(vars, 'Z', &v), 0);
    EXPECT_DOUBLE_EQ(v, 1.5);
    EXPECT_EQ(NARO_get_variable_value(vars, 'z', &v), 0);
    EXPECT_DOUBLE_EQ(v, 2.5);
    EXPECT_NE(NARO_store_variable_value(vars, '1', 0), 0);
    EXPECT_NE(NARO_get_variable_value(vars, '_', &v), 0);
}

TEST(Evaluator, ScalingNeedsEAndOnlyE) {
    NARO_cube cube;
    NARO_init_cube(cube);
    EXPECT_NE(NARO_parse_energy_scaling(cube, "--path"), 0);
    EXPECT_NE(NARO_parse_energy_scaling(cube, "2*x"), 0);
    EXPECT_NE(NARO_parse_energy_scaling(cube, "E+x"), 0);
    EXPECT_NE(NARO_parse_energy_scaling(cube, "E#"), 0);
    EXPECT_EQ(cube.scaling, 0);
    ASSERT_EQ(NARO_parse_energy_scaling(cube, "E"), 0);
    EXPECT_EQ(cube.scaling, 1);
    EXPECT_DOUBLE_EQ(NARO_scale_cube_energy(cube, 0.42), 0.42);
}

TEST(Heap, ExtractsInAscendingOrder) {
    NARO_heap h;
    const double keys[] = {0.7, 0.3, 1.2, -1, 0.3, 5};
    for (int i = 0; i < 6; ++i) heap_insert(h, keys[i], i);
    double last = -1e9;
    NARO_heap_item it;
    int n = 0;
    while (heap_extract(h, &it) == 0) {
        EXPECT_LE(last, it.key);
        last = it.key;
        ++n;
    }
    EXPECT_EQ(n, 6);
    EXPECT_NE(heap_extract(h, &it), 0);
}

}  // namespace
