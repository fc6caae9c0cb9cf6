// Spectral derivatives and the critical-point list: analytic fields on orthogonal and triclinic
// cells, the lean build against the plain definition, thread-count independence, and the list
// operations (sort, merge, filter, writers).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "crystal-records.hpp"
#include "cube.hpp"
#include "fft-export.hpp"
#include "fft.hpp"
#include "text-buffer.hpp"
#include "kelmar.hpp"
#include "kelmar_fixtures.hpp"

namespace {

const double kPi = 3.14159265358979323846;
const std::string kData = TEST_DATA_DIR;

// A cube on the cell with rows a, filled by value(u0, u1, u2) at the fractional grid positions.
std::unique_ptr<KELMAR_CUBE> field_cube(const long n[3], const double a[3][3],
                                        const std::function<double(double, double, double)>& value) {
    auto cube = kelmar_cube_new(n);
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) {
            cube->a[r][d] = a[r][d];
            cube->a_i[r][d] = a[r][d] / static_cast<double>(n[r]);
        }
    for (long i = 0; i < n[0]; ++i)
        for (long j = 0; j < n[1]; ++j)
            for (long k = 0; k < n[2]; ++k)
                cube->en(i, j, k) = value(static_cast<double>(i) / n[0], static_cast<double>(j) / n[1],
                                          static_cast<double>(k) / n[2]);
    return cube;
}

double length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

using kmfix::read_cube;

std::unique_ptr<KELMAR_FFTDOT_LIST> quiet_list(const KELMAR_FFT* fft, int threads) {
    testing::internal::CaptureStdout();
    auto list = kelmar_fftdot_list_new_from_fft_threads(fft, threads);
    testing::internal::GetCapturedStdout();
    return list;
}

}  // namespace

// A single cosine along axis 0 of an orthogonal cell: first and second derivatives equal the
// analytic ones at every grid point, for even and odd grid sizes.
TEST(FftDerivatives, CosineAlongOneAxis) {
    for (long n0 : {24L, 25L, 7L}) {
        const long n[3] = {n0, 4, 5};
        const double a[3][3] = {{6.0, 0, 0}, {0, 3.0, 0}, {0, 0, 4.0}};
        const double amp = 0.8, q = 2 * kPi / 6.0;
        auto cube = field_cube(n, a, [&](double u, double, double) { return amp * std::cos(2 * kPi * u); });
        auto fft = kelmar_fft_new_from_cube(cube.get());
        ASSERT_NE(fft, nullptr);
        double worst = 0.0;
        for (long i = 0; i < n[0]; ++i)
            for (long j = 0; j < n[1]; ++j)
                for (long k = 0; k < n[2]; ++k) {
                    const long p = (i * n[1] + j) * n[2] + k;
                    const double x = 6.0 * i / n0;
                    worst = std::max(worst, std::fabs(fft->f[0]->value[p][0] + amp * q * std::sin(q * x)));
                    worst = std::max(worst, std::fabs(fft->k[0][0]->value[p][0] + amp * q * q * std::cos(q * x)));
                    worst = std::max(worst, std::fabs(fft->f[1]->value[p][0]) + std::fabs(fft->f[2]->value[p][0]));
                    worst = std::max(worst, std::fabs(fft->k[0][1]->value[p][0]) + std::fabs(fft->k[1][1]->value[p][0]));
                    worst = std::max(worst, std::fabs(fft->f[0]->value[p][1]));  // imaginary parts vanish
                }
        // 2 pi is taken as 6.2831853 in the factors: a relative error of about 1e-8
        EXPECT_LT(worst, 1e-7) << "n0 = " << n0;
    }
}

// Cosines along all three axes of a triclinic cell, plus a mixed term: derivatives along the cell
// vectors are (1/L_r) d/du_r of the fractional form; second derivatives are symmetric to rounding.
TEST(FftDerivatives, TriclinicCellAlongCellVectors) {
    const long n[3] = {18, 15, 20};
    const double a[3][3] = {{5.0, 0.0, 0.0}, {1.2, 4.5, 0.0}, {-0.8, 0.9, 6.1}};
    const double c[3] = {0.7, -0.4, 0.3}, m = 0.25;
    auto value = [&](double u0, double u1, double u2) {
        return c[0] * std::cos(2 * kPi * u0) + c[1] * std::cos(2 * kPi * u1) + c[2] * std::cos(2 * kPi * u2 + 0.3) +
               m * std::sin(2 * kPi * (u0 + 2 * u1));
    };
    auto cube = field_cube(n, a, value);
    auto fft = kelmar_fft_new_from_cube(cube.get());
    ASSERT_NE(fft, nullptr);
    const double L[3] = {length(a[0]), length(a[1]), length(a[2])};
    double worst_f = 0.0, worst_k = 0.0, worst_sym = 0.0;
    for (long i = 0; i < n[0]; ++i)
        for (long j = 0; j < n[1]; ++j)
            for (long k = 0; k < n[2]; ++k) {
                const double u[3] = {double(i) / n[0], double(j) / n[1], double(k) / n[2]};
                const double s = 2 * kPi * (u[0] + 2 * u[1]);
                // derivatives with respect to the fractional coordinates
                const double du[3] = {-c[0] * 2 * kPi * std::sin(2 * kPi * u[0]) + m * 2 * kPi * std::cos(s),
                                      -c[1] * 2 * kPi * std::sin(2 * kPi * u[1]) + m * 4 * kPi * std::cos(s),
                                      -c[2] * 2 * kPi * std::sin(2 * kPi * u[2] + 0.3)};
                const double g = -m * std::sin(s);
                const double duu[3][3] = {
                    {-c[0] * 4 * kPi * kPi * std::cos(2 * kPi * u[0]) + g * 4 * kPi * kPi, g * 8 * kPi * kPi, 0},
                    {g * 8 * kPi * kPi, -c[1] * 4 * kPi * kPi * std::cos(2 * kPi * u[1]) + g * 16 * kPi * kPi, 0},
                    {0, 0, -c[2] * 4 * kPi * kPi * std::cos(2 * kPi * u[2] + 0.3)}};
                const long p = (i * n[1] + j) * n[2] + k;
                for (int r = 0; r < 3; ++r) {
                    worst_f = std::max(worst_f, std::fabs(fft->f[r]->value[p][0] - du[r] / L[r]));
                    for (int t = 0; t < 3; ++t) {
                        worst_k = std::max(worst_k, std::fabs(fft->k[r][t]->value[p][0] - duu[r][t] / (L[r] * L[t])));
                        worst_sym = std::max(worst_sym, std::fabs(fft->k[r][t]->value[p][0] - fft->k[t][r]->value[p][0]));
                    }
                }
            }
    EXPECT_LT(worst_f, 1e-7);
    EXPECT_LT(worst_k, 1e-6);
    EXPECT_LT(worst_sym, 1e-12);
}

// The lean build (one forward transform, fields filled in place) against the plain definition
// (forward, factors, backward per field), and a forward-backward round trip.
TEST(FftDerivatives, LeanBuildMatchesPlainDefinition) {
    auto cube = read_cube(kData + "/naro-path/LiFePO4.cube");
    ASSERT_NE(cube, nullptr);
    auto fft = kelmar_fft_new_from_cube(cube.get());
    ASSERT_NE(fft, nullptr);
    auto en = kelmar_fftcube_new_from_cube(cube.get());
    const long total = en->size();
    auto check = [&](const KELMAR_FFTCUBE* lean, int order, const int* sub) {
        auto plain = kelmar_fftcube_differentiate(en.get(), order, sub);
        ASSERT_NE(plain, nullptr);
        double worst = 0.0, scale = 1.0;
        for (long p = 0; p < total; ++p) {
            worst = std::max(worst, std::fabs(lean->value[p][0] - plain->value[p][0]));
            scale = std::max(scale, std::fabs(plain->value[p][0]));
        }
        EXPECT_LT(worst, 1e-11 * scale) << "order " << order << " sub " << sub[0];
    };
    for (int r = 0; r < 3; ++r) {
        const int sub1[1] = {r};
        check(fft->f[r].get(), 1, sub1);
        for (int s = 0; s < 3; ++s) {
            const int sub2[2] = {r, s};
            check(fft->k[r][s].get(), 2, sub2);
        }
    }
    auto forward = kelmar_fftcube_dft(en.get(), true);
    auto back = kelmar_fftcube_dft(forward.get(), false);
    double worst = 0.0;
    for (long p = 0; p < total; ++p)
        worst = std::max(worst, std::fabs(back->value[p][0] - en->value[p][0]) + std::fabs(back->value[p][1]));
    EXPECT_LT(worst, 1e-12);
    // order 0 is a copy, order 3 is refused
    const int sub0[2] = {0, 0};
    auto same = kelmar_fftcube_differentiate_dft(forward.get(), 0, sub0);
    EXPECT_EQ(same->value[5][0], forward->value[5][0]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_fftcube_differentiate_dft(forward.get(), 3, sub0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: order must be 1 or 2.\n");
}

// Fields and critical points do not depend on the number of threads.
TEST(FftDerivatives, ThreadCountChangesNothing) {
    auto cube = read_cube(kData + "/naro-path/Li2O.cube");
    ASSERT_NE(cube, nullptr);
    auto one = kelmar_fft_new_from_cube_threads(cube.get(), 1);
    auto three = kelmar_fft_new_from_cube_threads(cube.get(), 3);
    const long total = one->en->size();
    long differ = 0;
    for (int r = 0; r < 3; ++r)
        for (long p = 0; p < total; ++p) {
            differ += one->f[r]->value[p][0] != three->f[r]->value[p][0];
            for (int s = 0; s < 3; ++s) differ += one->k[r][s]->value[p][0] != three->k[r][s]->value[p][0];
        }
    EXPECT_EQ(differ, 0);
    auto a = quiet_list(one.get(), 1);
    auto b = quiet_list(one.get(), 3);
    ASSERT_EQ(a->total, b->total);
    ASSERT_GT(a->total, 0);
    for (long p = 0; p < a->total; ++p) {
        EXPECT_EQ(a->dot[p].type, b->dot[p].type);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(a->dot[p].x_i[r], b->dot[p].x_i[r]);
    }
    // the list holds critical points only, sorted by type, then energy
    for (long p = 1; p < a->total; ++p) {
        const KELMAR_FFTDOT &x = a->dot[p - 1], &y = a->dot[p];
        EXPECT_TRUE(x.type < y.type || (x.type == y.type && x.en <= y.en));
    }
    // every listed point is typed as the single-point reader types it
    for (long p = 0; p < a->total; ++p) {
        KELMAR_FFTDOT d;
        long x_i[3] = {a->dot[p].x_i[0] + cube->n[0], a->dot[p].x_i[1], a->dot[p].x_i[2] - cube->n[2]};
        ASSERT_EQ(kelmar_fftdot_read_from_fft(&d, one.get(), x_i), 0);
        EXPECT_EQ(x_i[0], a->dot[p].x_i[0]);  // reduced in place
        EXPECT_EQ(d.type, a->dot[p].type);
    }
}

// A flat landscape: every gradient vanishes and every eigenvalue is zero, so nothing is kept.
TEST(FftCriticalPoints, FlatLandscapeHasNone) {
    const long n[3] = {6, 6, 6};
    const double a[3][3] = {{3, 0, 0}, {0, 3, 0}, {0, 0, 3}};
    auto cube = field_cube(n, a, [](double, double, double) { return 1.5; });
    auto fft = kelmar_fft_new_from_cube(cube.get());
    testing::internal::CaptureStdout();
    auto list = kelmar_fftdot_list_new_from_fft(fft.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: found 0 critical points via fft method.\n");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->total, 0);
}

// Merging near points, the exchange sort's order, and the energy cap.
TEST(FftCriticalPoints, SortMergeAndFilter) {
    auto make = [](std::initializer_list<std::tuple<fftdot_type, double, long, long, long>> dots) {
        auto list = kelmar_fftdot_list_new(static_cast<long>(dots.size()));
        list->n[0] = list->n[1] = list->n[2] = 10;
        long p = 0;
        for (const auto& [type, en, i, j, k] : dots) {
            list->dot[p].type = type;
            list->dot[p].en = en;
            list->dot[p].x_i[0] = i;
            list->dot[p].x_i[1] = j;
            list->dot[p].x_i[2] = k;
            ++p;
        }
        return list;
    };
    // periodic diagonal neighbours: the one nearer the origin goes
    auto corner = make({{FFT_MIN, -1.0, 0, 0, 0}, {FFT_MIN, -1.0, 9, 9, 9}});
    ASSERT_EQ(kelmar_fftdot_list_merge_near(corner.get()), 0);
    ASSERT_EQ(corner->total, 1);
    EXPECT_EQ(corner->dot[0].x_i[0], 9);
    // sharing an index along an axis: not near
    auto shared = make({{FFT_MIN, -1.0, 5, 5, 5}, {FFT_MIN, -1.0, 5, 6, 6}});
    kelmar_fftdot_list_merge_near(shared.get());
    EXPECT_EQ(shared->total, 2);
    // different types are never merged
    auto mixed = make({{FFT_MIN, -1.0, 4, 4, 4}, {FFT_SD1, -0.5, 5, 5, 5}});
    kelmar_fftdot_list_merge_near(mixed.get());
    EXPECT_EQ(mixed->total, 2);
    // exchange sort: [B1, C, B2, A] becomes [A, B2, B1, C] (equal keys are not kept in order)
    auto order = make({{FFT_SD1, 0.5, 1, 0, 0}, {FFT_SD1, 0.9, 2, 0, 0}, {FFT_SD1, 0.5, 3, 0, 0},
                       {FFT_MIN, 0.1, 4, 0, 0}});
    kelmar_fftdot_list_sort(order.get());
    EXPECT_EQ(order->dot[0].x_i[0], 4);
    EXPECT_EQ(order->dot[1].x_i[0], 3);
    EXPECT_EQ(order->dot[2].x_i[0], 1);
    EXPECT_EQ(order->dot[3].x_i[0], 2);
    // cap: points up to lowest + cap stay
    auto capped = make({{FFT_MIN, -1.0, 1, 1, 1}, {FFT_SD1, -0.5, 3, 3, 3}, {FFT_MAX, 0.2, 6, 6, 6}});
    ASSERT_EQ(kelmar_fftdot_list_filter(capped.get(), 0.5), 0);
    EXPECT_EQ(capped->total, 2);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_fftdot_list_filter(nullptr, 0.5), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_FFTDOT_LIST has not been properly initialized.\n");
}

// The table and the pseudo-atom cell of a list.
TEST(FftCriticalPoints, TableAndCell) {
    auto list = kelmar_fftdot_list_new(2);
    for (int r = 0; r < 3; ++r) {
        list->n[r] = 4;
        list->a[r][r] = 4.0;
        list->a_i[r][r] = 1.0;
    }
    list->dot[0].type = FFT_MIN;
    list->dot[0].en = -1.25;
    list->dot[0].x_i[0] = 1;
    list->dot[0].x[0] = 1.0;
    list->dot[0].f[0] = 3.0;
    list->dot[0].f[1] = 4.0;
    list->dot[1].type = FFT_SD2;
    auto text = kelmar_fftdot_list_export_to_text(list.get());
    const std::string& t = text->content;
    EXPECT_EQ(t.rfind("# energy unit: eV; length unit: A\r\n   no,     x,     y,     z,    xi,    yi,    zi,       en,    eig_1,",
                      0),
              0u);
    EXPECT_NE(t.find(",      |f|,      f_x,"), std::string::npos);
    EXPECT_NE(t.find("k_zy,     k_zz\r\n    1, 1.000, 0.000, 0.000,     1,     0,     0, -1.25000,"), std::string::npos);
    EXPECT_NE(t.find(",  5.00000,  3.00000,  4.00000,  0.00000,"), std::string::npos);
    auto cell = kelmar_fftdot_list_export_to_cell(list.get());
    ASSERT_EQ(cell->total(), 2);
    EXPECT_STREQ(cell->atom[0].name, "MIN");
    EXPECT_STREQ(cell->atom[0].type, "Li");
    EXPECT_STREQ(cell->atom[1].name, "SD2");
    EXPECT_STREQ(cell->atom[1].type, "K");
    EXPECT_DOUBLE_EQ(cell->atom[0].x_f[0], 0.25);
    // a field becomes a cube by its real part, imaginary part or modulus; other options are refused
    const long n[3] = {2, 2, 2};
    auto field = kelmar_fftcube_new(n);
    for (long p = 0; p < 8; ++p) {
        field->value[p][0] = 3.0;
        field->value[p][1] = -4.0;
    }
    EXPECT_EQ(kelmar_cube_new_from_fftcube(field.get(), FFTCUBE_IMAG)->en(1, 1, 1), -4.0);
    EXPECT_EQ(kelmar_cube_new_from_fftcube(field.get(), FFTCUBE_MODU)->en(0, 1, 0), 5.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cube_new_from_fftcube(field.get(), 7), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: invalid fftcube_option 7.\n");
}
