// Derivatives drawn from the half spectrum (real-to-complex transforms) against the plain
// definition on the complex field, and the --fft list for any thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cube.hpp"
#include "fft-half.hpp"
#include "fft.hpp"
#include "kelmar.hpp"
#include "kelmar_fixtures.hpp"

namespace {

const std::string kData = TEST_DATA_DIR;

using kmfix::read_cube;

}  // namespace

// Every first and second derivative at every point of two real landscapes (the half spectrum
// keeps n2/2 + 1 values of the last axis, whose Nyquist value is zeroed or kept as the plain
// definition does).
TEST(FftHalf, MatchesPlainDefinition) {
    for (const char* name : {"LiFePO4", "Li2O"}) {
        SCOPED_TRACE(name);
        auto cube = read_cube(kData + "/naro-path/" + name + ".cube");
        ASSERT_NE(cube, nullptr);
        auto en = kelmar_fftcube_new_from_cube(cube.get());
        auto spectrum = fft_half_spectrum_new(cube->en.data.data(), cube->a, cube->a_i, cube->n, 2);
        ASSERT_NE(spectrum, nullptr);
        FftHalfField field(spectrum.get(), 2);
        ASSERT_TRUE(field.ready());
        const long total = en->size();
        std::vector<double> compact(static_cast<std::size_t>(total));
        const int subs[9][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
        for (int c = 0; c < 9; ++c) {
            const int order = c < 3 ? 1 : 2;
            auto plain = kelmar_fftcube_differentiate(en.get(), order, subs[c]);
            field.differentiate(order, subs[c]);
            field.copy_to(compact.data());
            double worst = 0.0, scale = 1.0;
            for (long p = 0; p < total; ++p) {
                worst = std::max(worst, std::fabs(compact[static_cast<std::size_t>(p)] - plain->value[p][0]));
                worst = std::max(worst, std::fabs(field.at(p) - plain->value[p][0]));
                scale = std::max(scale, std::fabs(plain->value[p][0]));
            }
            EXPECT_LT(worst, 1e-11 * scale) << "derivative " << c;
        }
        // the points' reader gives the same numbers from either kind of record
        auto lean = kelmar_fft_new_spectrum_from_cube(cube.get(), 1);
        auto full = kelmar_fft_new_from_cube(cube.get());
        const std::vector<long> points = {0, 17, total / 2, total - 1};
        std::vector<KELMAR_FFTDOT> a, b;
        ASSERT_EQ(fft_read_points(lean.get(), points, &a, 1), 0);
        ASSERT_EQ(fft_read_points(full.get(), points, &b, 1), 0);
        for (std::size_t q = 0; q < points.size(); ++q)
            for (int r = 0; r < 3; ++r) {
                EXPECT_NEAR(a[q].f[r], b[q].f[r], 1e-9);
                EXPECT_NEAR(a[q].eig[r], b[q].eig[r], 1e-9);
                EXPECT_EQ(a[q].x_i[r], b[q].x_i[r]);
            }
    }
}

// One and three threads list the same points with the same types.
TEST(FftHalf, ThreadCountChangesNothing) {
    auto cube = read_cube(kData + "/naro-path/Li3V2PO43.cube");
    ASSERT_NE(cube, nullptr);
    testing::internal::CaptureStdout();
    auto one = kelmar_fftdot_list_new_from_cube(cube.get(), 1);
    auto three = kelmar_fftdot_list_new_from_cube(cube.get(), 3);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(one, nullptr);
    ASSERT_NE(three, nullptr);
    ASSERT_EQ(one->total, three->total);
    ASSERT_GT(one->total, 0);
    for (long p = 0; p < one->total; ++p) {
        EXPECT_EQ(one->dot[p].type, three->dot[p].type);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(one->dot[p].x_i[r], three->dot[p].x_i[r]);
        EXPECT_NEAR(one->dot[p].eig[0], three->dot[p].eig[0], 1e-9);
    }
}
