// Strained energies over listed pair images against the plain cell sums, the image ranges of the
// sums on a strongly oblique cell, and the thread count under a narrowed CPU affinity.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#include "crystal-records.hpp"
#include "cube-grid.hpp"
#include "kelmar_fixtures.hpp"
#include "neighbor.hpp"
#include "workshare.hpp"
#include "rx-energy.hpp"
#include "rx-strain.hpp"

namespace {

// The same crystal as `cell` described by the unimodular basis a0' = a0, a1' = a1 + 4 a0,
// a2' = a2 + 3 a1': cell vectors of 19 and 58 A whose cell is only a few angstroms thick, so a
// range padded by the vector lengths misses most images within reach.
std::unique_ptr<KELMAR_CELL> oblique_twin(const KELMAR_CELL& cell) {
    auto out = kelmar_cell_copy(&cell);
    double a[3][3];
    for (int d = 0; d < 3; ++d) {
        a[0][d] = cell.a[0][d];
        a[1][d] = cell.a[1][d] + 4 * cell.a[0][d];
        a[2][d] = cell.a[2][d] + 3 * a[1][d];
    }
    // fractional coordinates in the new basis: f' = f M^-1 with rows of M the new vectors in the old
    // basis: (1 0 0), (4 1 0), (12 3 1)
    for (KELMAR_ATOM& at : out->atom) {
        const double f0 = at.x_f[0], f1 = at.x_f[1], f2 = at.x_f[2];
        double g[3] = {0, 0, f2};
        g[1] = f1 - 3 * g[2];
        g[0] = f0 - 4 * g[1] - 12 * g[2];
        for (int k = 0; k < 3; ++k) at.x_f[k] = g[k] - std::floor(g[k]);
    }
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) out->a[k][d] = a[k][d];
    kelmar_cell_update_lattice_fractional(out.get());
    kelmar_cell_update_coordinate_cartesion(out.get());
    return out;
}

// A triclinic cell with a split site (two elements at half occupancy), a crowded site (occupancies
// adding to more than one) and an atom on the cell face.
std::unique_ptr<KELMAR_CELL> awkward_cell() {
    auto cell = kelmar_cell_new(0);
    const double p[6] = {5.3, 6.1, 5.7, 79.0, 97.0, 112.0};
    for (int k = 0; k < 3; ++k) cell->parameter[k] = p[k], cell->angle[k] = p[k + 3];
    kmfix::add_atom(cell.get(), "Li1", "Li", 1, 0.1, 0.2, 0.3, 0.5);
    kmfix::add_atom(cell.get(), "Na1", "Na", 1, 0.1, 0.2, 0.3, 0.5);
    kmfix::add_atom(cell.get(), "Ti1", "Ti", 4, 0.6, 0.55, 0.45, 0.75);
    kmfix::add_atom(cell.get(), "Li2", "Li", 1, 0.62, 0.55, 0.45, 0.5);
    kmfix::add_atom(cell.get(), "O1", "O", -2, 0.33, 0.91, 0.02);
    kmfix::add_atom(cell.get(), "O2", "O", -2, 0.8, 0.1, 0.7);
    kmfix::add_atom(cell.get(), "O3", "O", -2, 0.05, 0.5, 1.0, 0.25);
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

}  // namespace

TEST(RxStrainList, ListedStressIsThePlainStressBitForBit) {
    struct Case {
        std::string what;
        std::unique_ptr<KELMAR_CELL> cell;
    };
    std::vector<Case> cases;
    cases.push_back({"cubic", kmfix::li2o()});
    cases.push_back({"triclinic, split and crowded sites", awkward_cell()});
    cases.push_back({"ignored atoms", awkward_cell()});
    cases.back().cell->atom[0].ignored = cases.back().cell->atom[4].ignored = true;
    cases.push_back({"short cell", kmfix::li2o(2.1)});
    cases.push_back({"oblique", oblique_twin(*kmfix::li2o())});
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto ppt = kmfix::record(c.cell.get(), 0.71);
        ASSERT_TRUE(ppt);
        double plain[3];
        ASSERT_EQ(kelmar_cell_calculate_stress_diagonal(plain, c.cell.get(), ppt.get()), 0);
        rxstrain::StrainImages list;
        ASSERT_TRUE(list.build(c.cell.get(), ppt.get()));
        EXPECT_GT(list.size(), 0u);
        for (double sf : {0.71, 0.93}) {  // one list serves every screening factor
            ppt->sf = sf;
            ASSERT_EQ(kelmar_cell_calculate_stress_diagonal(plain, c.cell.get(), ppt.get()), 0);
            for (int threads : {1, 3}) {
                double listed[3];
                ASSERT_EQ(rxstrain::stress_diagonal(listed, c.cell.get(), ppt.get(), list, threads), 0);
                for (int k = 0; k < 3; ++k) EXPECT_EQ(listed[k], plain[k]) << "sf " << sf << " axis " << k;
            }
        }
    }
}

TEST(RxStrainList, RefusalsAndFailuresKeepThePlainMessages) {
    auto cell = kmfix::li2o();
    auto ppt = kmfix::record(cell.get());
    rxstrain::StrainImages list;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(list.build(nullptr, ppt.get()));
    kmfix::add_atom(cell.get(), "Zr1", "Zr", 4, 0.1, 0.1, 0.1);  // not in the record
    EXPECT_FALSE(list.build(cell.get(), ppt.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n"
              "Error: kelmar_property_find_index() returns negative value.\n");
    // a cell whose energy is exactly zero fails as the plain stress does
    auto empty = kmfix::box(5, 5, 5);
    kmfix::add_atom(empty.get(), "O1", "O", -2, 0, 0, 0, 0.0);
    ASSERT_TRUE(list.build(empty.get(), ppt.get()));
    double stress[3];
    testing::internal::CaptureStderr();
    EXPECT_EQ(rxstrain::stress_diagonal(stress, empty.get(), ppt.get(), list, 2), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_cell_calculate_total_energy() returns 0.00.\n");
}

// Every lattice sum sees the same crystal whichever basis describes it.
TEST(LatticeRanges, ObliqueBasisGivesTheSameSums) {
    auto cell = kmfix::li2o();
    // exactly orthogonal vectors, so that points fold back into the cube exactly
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) cell->a[k][d] = k == d ? cell->parameter[k] : 0.0;
    kelmar_cell_update_coordinate_cartesion(cell.get());
    auto twin = oblique_twin(*cell);
    auto ppt = kmfix::record(cell.get());
    ASSERT_TRUE(ppt);
    const double e = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    EXPECT_NEAR(kelmar_cell_calculate_total_energy(twin.get(), ppt.get()), e, 1e-9 * std::fabs(e));
    // forces: the atoms are the same, in the same order
    std::vector<double> f0(3 * cell->atom.size()), f1(f0.size());
    // the range padded by the vector lengths alone misses images within the sums' 12 A
    {
        long padded[3], wide[3];
        ASSERT_TRUE(latimg::image_range(padded, twin->parameter, 12.0, 1.0));
        ASSERT_TRUE(latimg::image_range_wide(wide, twin->parameter, twin->a, 12.0, 1.0));
        long seen_padded = 0, seen_wide = 0;
        latimg::for_each_neighbor(*twin, padded, twin->atom[0].x, 12.0, [&](long, auto&, auto, double) { ++seen_padded; });
        latimg::for_each_neighbor(*twin, wide, twin->atom[0].x, 12.0, [&](long, auto&, auto, double) { ++seen_wide; });
        EXPECT_LT(seen_padded, seen_wide / 2);
    }
    ASSERT_EQ(kelmar_cell_calculate_force(reinterpret_cast<double(*)[3]>(f0.data()), cell.get(), ppt.get()), 0);
    ASSERT_EQ(kelmar_cell_calculate_force(reinterpret_cast<double(*)[3]>(f1.data()), twin.get(), ppt.get()), 0);
    for (std::size_t i = 0; i < f0.size(); ++i) EXPECT_NEAR(f0[i], f1[i], 1e-9);
    // the landscape of the oblique cell against point values in the cubic one
    ASSERT_EQ(kelmar_property_set_conducting(ppt.get(), "Li", 1), 0);
    auto p1 = kelmar_symmetry_new_p1();
    testing::internal::CaptureStdout();
    auto cube = kelmar_cube_calculate_threads(twin.get(), p1.get(), ppt.get(), 1.0, false, 2);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(cube);
    const long m[3] = {4, 4, 4};  // 10 A from anywhere in the 4.61 A cube
    double worst = 0.0;
    for (long i = 0; i < cube->n[0]; i += 3)
        for (long j = 0; j < cube->n[1]; j += 5)
            for (long k = 0; k < cube->n[2]; k += 7) {
                double r[3], f[3];
                for (int d = 0; d < 3; ++d)
                    r[d] = i * cube->a_i[0][d] + j * cube->a_i[1][d] + k * cube->a_i[2][d];
                for (int d = 0; d < 3; ++d) f[d] = r[d] / cell->a[d][d] - std::floor(r[d] / cell->a[d][d]);
                for (int d = 0; d < 3; ++d) r[d] = f[d] * cell->a[d][d];
                const double pv = kelmar_cube_point_value_plain(cell.get(), ppt.get(), r, m);
                worst = std::max(worst, std::fabs(pv - cube->en(i, j, k)));
            }
    EXPECT_LE(worst, 1e-6);
}

TEST(PlaneThreads, DefaultCountFollowsTheAffinityMask) {
    cpu_set_t mine;
    ASSERT_EQ(sched_getaffinity(0, sizeof(mine), &mine), 0);
    EXPECT_EQ(workshare_threads_resolve(0), CPU_COUNT(&mine));
    EXPECT_EQ(workshare_threads_resolve(5), 5);
    // a thread pinned to one CPU (as taskset -c 0 or a one-core batch slot) works alone
    int pinned = -1;
    std::thread t([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &mine)) {
                CPU_SET(c, &one);
                break;
            }
        if (sched_setaffinity(0, sizeof(one), &one) == 0) pinned = workshare_threads_resolve(0);
    });
    t.join();
    EXPECT_EQ(pinned, 1);
}
