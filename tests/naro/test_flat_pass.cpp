// A pass whose top is one, two or three grid points of exactly one energy is found as a saddle:
// two equal points on either side of a mirror between grid planes are the common case.
#include <gtest/gtest.h>

#include <vector>

#include "cube.hpp"
#include "records.hpp"
#include "stationary.hpp"

namespace {

// Energy along a only, the profile repeated along a: two wells per cell, each pass top `top`
// points wide. Planes of one energy stretch over b and c, so every top point also has equal
// neighbours in its own plane.
NARO_cube profile_cube(const std::vector<double>& half) {
    NARO_cube cube;
    NARO_init_cube(cube);
    cube.a_grid = static_cast<int>(half.size()) * 2;
    cube.b_grid = 4;
    cube.c_grid = 5;
    NARO_alloc_cube_energy(cube);
    for (int i = 0; i < cube.a_grid; ++i)
        for (int j = 0; j < cube.b_grid; ++j)
            for (int k = 0; k < cube.c_grid; ++k)
                NARO_energy_at(cube, i, j, k) = half[static_cast<size_t>(i) % half.size()];
    cube.max_energy = 10;
    return cube;
}

// Planes of a above the wells' shoulders holding at least one point with two or more separate
// lower groups. (A wholly flat plane wraps around the cell, and ordering its equal points by
// index gives it the saddles a torus needs; the wells' floors are such planes.)
std::vector<int> saddle_planes(const NARO_cube& cube) {
    std::vector<int> planes;
    for (int i = 0; i < cube.a_grid; ++i) {
        if (NARO_energy_at(cube, i, 0, 0) < 0.5) continue;
        bool found = false;
        for (int j = 0; j < cube.b_grid && !found; ++j)
            for (int k = 0; k < cube.c_grid && !found; ++k)
                found = NARO_find_lower_energy_neighbour_cluster(cube, i, j, k) >= 2;
        if (found) planes.push_back(i);
    }
    return planes;
}

}  // namespace

TEST(FlatPass, EveryPassTopWidthGivesASaddle) {
    struct Case {
        const char* name;
        std::vector<double> half;  // one well and one pass; the cube holds two of them
        std::vector<int> planes;
    } cases[] = {
        {"one-point top", {0.0, 0.2, 0.5, 0.8, 0.5, 0.2}, {3, 9}},
        {"two-point top", {0.0, 0.2, 0.5, 0.8, 0.8, 0.5, 0.2}, {4, 11}},
        {"three-point top", {0.0, 0.2, 0.5, 0.8, 0.8, 0.8, 0.5, 0.2}, {5, 13}},
    };
    for (const Case& c : cases) {
        const NARO_cube cube = profile_cube(c.half);
        EXPECT_EQ(saddle_planes(cube), c.planes) << c.name;
    }
}
