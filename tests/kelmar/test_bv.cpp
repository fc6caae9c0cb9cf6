// Bond-valence sums per site, their two cutoff rules, validation and the GII verdicts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bv.hpp"
#include "cif-read.hpp"
#include "property-assemble.hpp"
#include "kelmar_fixtures.hpp"

namespace {

using kmfix::add_atom;

// A Li(+1)/O(-2) record with hand-set bond-valence values.
std::unique_ptr<KELMAR_PROPERTY> li_o_record(double r0 = 1.2, double b = 0.5, double cutoff = 5.0) {
    auto ppt = kelmar_property_new(2);
    kelmar_copy_field(ppt->type[0].data(), 3, "Li");
    ppt->os[0] = 1;
    kelmar_copy_field(ppt->type[1].data(), 3, "O");
    ppt->os[1] = -2;
    ppt->bin[0][1].r0 = r0;
    ppt->bin[0][1].b = b;
    ppt->bin[0][1].cutoff = cutoff;
    return ppt;
}

std::unique_ptr<KELMAR_SYMMETRY> p1() { return kelmar_symmetry_new_p1(); }

}  // namespace

TEST(BvSums, Li2OSumsAreNearTheOxidationStates) {
    auto cell = kmfix::li2o();
    auto sym = p1();
    testing::internal::CaptureStdout();
    auto bv = kelmar_bv_calculate_from_cell(cell.get(), sym.get(), kmfix::unitary().c_str(), kmfix::binary().c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(bv, nullptr);
    ASSERT_EQ(bv->total, 12);  // P1: every atom its own site
    for (long i = 0; i < bv->total; i++) {
        if (bv->atom[i].os > 0) {
            EXPECT_NEAR(bv->sum[i], 1.0, 0.2) << i;
        } else {
            EXPECT_NEAR(bv->sum[i], -2.0, 0.4) << i;
            EXPECT_LT(bv->sum[i], 0.0);
        }
        EXPECT_EQ(bv->multi[i], 1);
    }
    const double gii = kelmar_gii_calculate_from_bv_no_msg(bv.get());
    EXPECT_LT(gii, 0.2);
    EXPECT_GT(gii, 0.0);
    for (const auto& a : cell->atom) EXPECT_EQ(a.flag, 0);  // flags cleared again
    // The parts by neighbour class add up to the sum.
    for (long i = 0; i < bv->total; i++) {
        double s = 0;
        for (long j = 0; j < bv->total; j++) s += bv->at(i, j);
        EXPECT_NEAR(s, bv->sum[i], 1e-12);
    }
}

TEST(BvSums, HandComputedPairWithImages) {
    // Cell of 6 A: Li at the origin, O at 2 A along a; cutoff 5 A reaches the O image at 4 A too.
    auto cell = kmfix::box(6, 20, 20);
    add_atom(cell.get(), "Li1", "Li", 1, 0, 0, 0);
    add_atom(cell.get(), "O1", "O", -2, 2.0 / 6.0, 0, 0, 0.5);
    kelmar_cell_update_cartesion(cell.get());
    kmfix::flag_each(cell.get());
    auto ppt = li_o_record(1.2, 0.5, 5.0);
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    ASSERT_NE(bv, nullptr);
    const double s2 = std::exp((1.2 - 2.0) / 0.5), s4 = std::exp((1.2 - 4.0) / 0.5);
    EXPECT_NEAR(bv->sum[0], 0.5 * (s2 + s4), 1e-14);  // the neighbour's occupancy weights the bond
    EXPECT_NEAR(bv->sum[1], -(s2 + s4), 1e-14);       // the site's own occupancy does not
    EXPECT_NEAR(bv->at(0, 1), bv->sum[0], 1e-15);
    EXPECT_EQ(bv->at(0, 0), 0.0);
    EXPECT_EQ(kelmar_bv_find_index(bv.get(), "O1", -2), 1);
    EXPECT_EQ(kelmar_bv_find_index(bv.get(), "O1", -1), -1);
    EXPECT_EQ(kelmar_bv_find_index(bv.get(), "O", -2), -1);  // labels, not elements

    // Default-cutoff rule: every neighbour within 12 A.
    auto wide = kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell.get(), ppt.get());
    ASSERT_NE(wide, nullptr);
    double expect = 0;
    for (int k = -3; k <= 3; k++) {
        const double d = std::fabs(2.0 + 6.0 * k);
        if (d < 12) expect += std::exp((1.2 - d) / 0.5);
    }
    EXPECT_NEAR(wide->sum[1], -expect, 1e-14);
}

TEST(BvSums, CoincidentAtomsAndTinyCutoffs) {
    auto cell = kmfix::box(8, 8, 8);
    add_atom(cell.get(), "Li1", "Li", 1, 0.5, 0.5, 0.5, 0.6);
    add_atom(cell.get(), "O1", "O", -2, 0.5, 0.5, 0.5, 0.6);
    kelmar_cell_update_cartesion(cell.get());
    kmfix::flag_each(cell.get());
    auto ppt = li_o_record(1.2, 0.5, 3.0);
    testing::internal::CaptureStdout();
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(bv, nullptr);
    EXPECT_EQ(out, "Warning: d=0.000000, occ1=0.600000, occ2=0.600000\n"
                   "Warning: d=0.000000, occ1=0.600000, occ2=0.600000\n");
    EXPECT_EQ(bv->sum[0], 0.0);
    // The default-cutoff rule counts a close pair whose occupancies exceed 1.
    auto wide = kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell.get(), ppt.get());
    EXPECT_GT(wide->sum[0], 0.6 * std::exp(1.2 / 0.5) - 1e-9);

    for (auto& a : cell->atom) a.occ = 0.5;
    testing::internal::CaptureStdout();
    bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(bv->sum[0], 0.0);
    wide = kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell.get(), ppt.get());
    EXPECT_LT(wide->sum[0], 0.5 * std::exp(1.2 / 0.5));

    // A pair whose cutoff is 0.2 A or less is never summed: sums 0, GII = rms of the states.
    cell->atom[1].x_f[0] = 0.75;
    kelmar_cell_update_cartesion(cell.get());
    auto tiny = li_o_record(1.2, 0.5, 0.1);
    bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), tiny.get());
    ASSERT_NE(bv, nullptr);
    EXPECT_EQ(bv->sum[0], 0.0);
    EXPECT_EQ(bv->sum[1], 0.0);
    EXPECT_NEAR(kelmar_gii_calculate_from_bv_no_msg(bv.get()), std::sqrt((0.5 * 1 + 0.5 * 4) / 1.0), 1e-14);
}

TEST(BvSums, ValidationAndMissingSpecies) {
    auto cell = kmfix::box(8, 8, 8);
    add_atom(cell.get(), "Li1", "Li", 1, 0, 0, 0);
    add_atom(cell.get(), "O1", "O", -2, 0.25, 0, 0);
    add_atom(cell.get(), "F1", "F", -1, 0.5, 0, 0);
    kelmar_cell_update_cartesion(cell.get());
    kmfix::flag_each(cell.get());
    auto bad = li_o_record(1.2, 0.0, 3.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_bv_calculate_from_flagged_cell(cell.get(), bad.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: incorrect b at [0](Li1+)-(O2-) b=0.000000\n"
              "Error: kelmar_bv_validate_property() returns non-zero.\n");
    auto ppt = li_o_record();
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_property_find_index() returns negative value.\n");
}

TEST(BvSums, WithTypeKeepsOnlyTheTwoSpecies) {
    testing::internal::CaptureStdout();
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    ASSERT_EQ(kelmar_cell_import_cif_from_file(&cell, &sym, kmfix::sample("LiFePO4.cif").c_str(),
                                               kmfix::symcards().c_str(), kmfix::unitary().c_str()),
              0);
    auto bv = kelmar_bv_calculate_from_cell_with_type(cell.get(), sym.get(), "Li", 1, "O", -2,
                                                      kmfix::unitary().c_str(), kmfix::binary().c_str());
    auto all = kelmar_bv_calculate_from_cell(cell.get(), sym.get(), kmfix::unitary().c_str(),
                                             kmfix::binary().c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(bv, nullptr);
    ASSERT_NE(all, nullptr);
    for (long i = 0; i < bv->total; i++) {
        const std::string t = bv->atom[i].type;
        EXPECT_TRUE(t == "Li" || t == "O") << t;
        if (t == "Li") {
            const long k = kelmar_bv_find_index(all.get(), bv->atom[i].name, 1);
            ASSERT_GE(k, 0);
            EXPECT_NEAR(bv->sum[i], all->sum[k], 0.05);  // only the effective b may differ slightly
        }
    }
    // LiFePO4: every site within a few tenths of its oxidation state.
    for (long i = 0; i < all->total; i++) EXPECT_NEAR(all->sum[i], all->atom[i].os, 0.3) << all->atom[i].name;
    // Species the cell does not hold are named.
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_bv_calculate_from_cell_with_type(cell.get(), sym.get(), "Na", 1, "Cl", -1,
                                                      kmfix::unitary().c_str(), kmfix::binary().c_str()),
              nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: the cell has no atoms of Na(1) or Cl(-1).\n");
}

TEST(BvGii, VerdictLines) {
    auto bv = kelmar_bv_new(2);
    bv->atom[0].os = 1;
    bv->atom[0].occ = 1;
    bv->atom[1].os = -2;
    bv->atom[1].occ = 1;
    bv->multi[0] = 2;
    bv->multi[1] = 1;
    struct CASE {
        double d;
        const char* verdict;
    } cases[] = {{0.1, "GII: suggested stability: stable.\n"},
                 {0.2, "GII: suggested stability: average.\n"},
                 {0.0, "GII: suggested stability: average.\n"},
                 {0.5, "GII: suggested stability: unstable.\n"},
                 {1.5, "GII: unreasonable value.\nGII: there might be an error in input structure or calculation.\n"}};
    for (const CASE& c : cases) {
        bv->sum[0] = 1 + c.d;
        bv->sum[1] = -2 - c.d;
        testing::internal::CaptureStdout();
        const double gii = kelmar_gii_calculate_from_bv(bv.get());
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NEAR(gii, c.d, 1e-12);
        char head[80];
        std::snprintf(head, sizeof(head), "GII: Global instability index = %f\n", gii);
        EXPECT_EQ(out, std::string(head) + c.verdict);
    }
}

TEST(BvPrint, Layouts) {
    auto bv = kelmar_bv_new(2);
    kelmar_copy_field(bv->atom[0].name, "Li1");
    kelmar_copy_field(bv->atom[0].type, "Li");
    bv->atom[0].os = 1;
    bv->atom[0].occ = 1;
    bv->atom[0].x_f[0] = 0.25;
    kelmar_copy_field(bv->atom[1].name, "O1");
    kelmar_copy_field(bv->atom[1].type, "O");
    bv->atom[1].os = -2;
    bv->atom[1].occ = 0.5;
    bv->sum[0] = 0.95;
    bv->sum[1] = -1.9;
    bv->at(0, 1) = 0.95;
    bv->at(1, 0) = -1.9;
    testing::internal::CaptureStdout();
    kelmar_bv_print(bv.get());
    kelmar_bv_print_gui(bv.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "BV:   name type    occ    bv_sum\n"
              "BV:    Li1 Li1+  1.000  0.950000\n"
              "BV:     O1  O2-  0.500 -1.900000\n"
              "BV:=============================================\n"
              "BV: nam1 typ1   occ1 nam2 typ2   occ2        bv\n"
              "BV:  Li1 Li1+  1.000  Li1 Li1+  1.000  0.000000\n"
              "BV:  Li1 Li1+  1.000   O1  O2-  0.500  0.950000\n"
              "BV:   O1  O2-  0.500  Li1 Li1+  1.000 -1.900000\n"
              "BV:   O1  O2-  0.500   O1  O2-  0.500  0.000000\n"
              "Printing bond valence sum of each site for kelmar-GUI\n"
              "> Label [  X     Y     Z  ] : BV_sum\n"
              ">   Li1 [0.250 0.000 0.000] : 0.950000\n"
              ">    O1 [0.000 0.000 0.000] : -1.900000\n"
              "End of BV sum calculation for kelmar-GUI\n");
    testing::internal::CaptureStderr();
    kelmar_bv_print(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BV: (not allocated)\n");
    auto empty = kelmar_bv_new(0);
    EXPECT_EQ(empty->total, 0);
}

TEST(BvSums, EveryImageIsAddedToTheRunningSums) {
    // Oblique cell, long cutoff: hundreds of images per neighbour, so the rounding of the sums
    // shows whether each bond is added on its own.
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = 4.1;
    cell->parameter[1] = 4.7;
    cell->parameter[2] = 5.3;
    cell->angle[0] = 83.0;
    cell->angle[1] = 97.0;
    cell->angle[2] = 101.0;
    kelmar_cell_update_cartesion(cell.get());
    add_atom(cell.get(), "Li1", "Li", 1, 0.1, 0.2, 0.3, 0.7);
    add_atom(cell.get(), "Li2", "Li", 1, 0.6, 0.55, 0.8);
    add_atom(cell.get(), "O1", "O", -2, 0.35, 0.7, 0.05, 0.9);
    add_atom(cell.get(), "O2", "O", -2, 0.85, 0.1, 0.6);
    kelmar_cell_update_cartesion(cell.get());
    kmfix::flag_each(cell.get());
    auto ppt = li_o_record(1.466, 0.37, 11.0);
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    ASSERT_NE(bv, nullptr);
    const long n = cell->total();
    long m[3];
    for (int k = 0; k < 3; k++) {
        const double* a = cell->a[k];
        m[k] = static_cast<long>(11.0 / std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) + 2);
    }
    for (long i = 0; i < n; i++) {
        const auto& site = cell->atom[i];
        double sum = 0.0;
        std::vector<double> value(n, 0.0);
        for (long s = 0; s < n; s++) {
            const auto& nb = cell->atom[s];
            if (!((site.os > 0 && nb.os < 0) || (site.os < 0 && nb.os > 0))) continue;
            for (long h = -m[0]; h <= m[0]; h++)
                for (long l = -m[1]; l <= m[1]; l++)
                    for (long w = -m[2]; w <= m[2]; w++) {
                        double v[3];
                        for (int c = 0; c < 3; c++)
                            v[c] = site.x[c] - nb.x[c] - (h * cell->a[0][c] + l * cell->a[1][c] + w * cell->a[2][c]);
                        const double d = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                        if (d < 0.2 || !(d < 11.0)) continue;
                        double s_is = nb.occ * std::exp((1.466 - d) / 0.37);
                        if (site.os < 0) s_is = -s_is;
                        sum += s_is;
                        value[nb.flag - 1] += s_is;
                    }
        }
        EXPECT_EQ(bv->sum[i], sum) << i;
        for (long j = 0; j < n; j++) EXPECT_EQ(bv->at(i, j), value[j]) << i << " " << j;
    }
}

TEST(BvSums, ACellTooSmallForTheImagesIsRefused) {
    for (double a : {1e-6, 1e-30}) {
        auto cell = kmfix::box(a, 4.61, 4.61);
        add_atom(cell.get(), "Li1", "Li", 1, 0.25, 0.25, 0.25);
        add_atom(cell.get(), "O1", "O", -2, 0, 0, 0);
        kelmar_cell_update_cartesion(cell.get());
        kmfix::flag_each(cell.get());
        auto ppt = li_o_record();
        testing::internal::CaptureStderr();
        EXPECT_EQ(kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get()), nullptr);
        EXPECT_EQ(kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell.get(), ppt.get()), nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("Error: cell too small for the lattice sums ("), 0u) << err;
    }
}
