// Parameter record: data-file readers, species index, derived Morse and Coulomb values, charges,
// screening factor, parabolas and validation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cli.hpp"
#include "property-assemble.hpp"
#include "screening-factor.hpp"
#include "kelmar_fixtures.hpp"
#include "rx-energy.hpp"

namespace {

using kmfix::add_atom;

const char* UNITARY_HEADER = "comment line mentioning nothing\nanother DATA_START line starts the block\n";

struct DataFiles {
    testcli::ScratchDir dir;
    std::string unitary, binary;
    DataFiles(const std::string& uni_body, const std::string& bin_body) {
        unitary = (dir.path() / "u.dat").string();
        binary = (dir.path() / "b.dat").string();
        testcli::spit(unitary, uni_body);
        testcli::spit(binary, bin_body);
    }
};

double bonding_depth_ev(double r0, double b, double cn, double soft_c, double soft_a, int os_c, int os_a, int c,
                        int n_c, int n_a, double* rmin_out) {
    const double rmin = r0 * (0.9185 + 0.2285 * std::fabs(soft_a - soft_c)) - b * std::log(os_c / cn);
    const double d0 = (b * b / 2) * c * std::pow(c * std::abs(os_c * os_a), 1.0 / c) / (std::sqrt(n_c * n_a) * rmin);
    *rmin_out = rmin;
    return d0;
}

}  // namespace

// --- pair functions ---------------------------------------------------------------------------

TEST(PptPairFunctions, MorseMinimumAndCoulombCutoff) {
    EXPECT_NEAR(kelmar_energy_bonding(1.9, 0.5, 1.9, 0.4), -0.25, 1e-15);
    EXPECT_NEAR(kelmar_force_bonding(1.9, 0.5, 1.9, 0.4), 0.0, 1e-15);
    for (double q : {-2.0, 0.3, 1.7})
        for (double r : {0.5, 1.4, 2.2}) EXPECT_NEAR(kelmar_energy_coulombic(10.0, q, r), 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(kelmar_energy_bonding_with_energy_shift(2.3, 0.5, 1.9, 0.4, 0.1),
                     kelmar_energy_bonding(2.3, 0.5, 1.9, 0.4) - 0.1);
    EXPECT_DOUBLE_EQ(kelmar_energy_bonding_with_energy_shift_and_force_shift(2.3, 0.5, 1.9, 0.4, 0.1, 0.02, 5.0),
                     kelmar_energy_bonding(2.3, 0.5, 1.9, 0.4) - 0.1 - (2.3 - 5.0) * 0.02);
    EXPECT_DOUBLE_EQ(kelmar_force_bonding_with_force_shift(2.3, 0.5, 1.9, 0.4, 0.02),
                     kelmar_force_bonding(2.3, 0.5, 1.9, 0.4) - 0.02);
    EXPECT_DOUBLE_EQ(kelmar_pseudopotential_energy_bonding(2.0, 3.0, 0.5, 1.0), 14.0);
    EXPECT_DOUBLE_EQ(kelmar_pseudopotential_energy_coulombic(2.0, 3.0, 0.5, 1.0), 14.0);
}

TEST(PptPairFunctions, DerivativesMatchNumericalSlopes) {
    const double h = 1e-6;
    for (double x : {1.2, 1.9, 2.6, 4.0}) {
        const double nb = (kelmar_energy_bonding(x + h, 0.6, 1.95, 0.45) - kelmar_energy_bonding(x - h, 0.6, 1.95, 0.45)) / (2 * h);
        EXPECT_NEAR(kelmar_force_bonding(x, 0.6, 1.95, 0.45), nb, 1e-7) << x;
        const double nc = (kelmar_energy_coulombic(x + h, 0.7, 1.9) - kelmar_energy_coulombic(x - h, 0.7, 1.9)) / (2 * h);
        EXPECT_NEAR(kelmar_force_coulombic(x, 0.7, 1.9), nc, 1e-7) << x;
    }
}

// --- data files -----------------------------------------------------------------------------------

TEST(PptDataFiles, BlockRulesAndMissingSpecies) {
    DataFiles f(std::string("3 Li 1 1 6.0 2 1 1 1.3 0.03\n") + UNITARY_HEADER +
                    "3 Li 1 1 6.941 2 1 1 1.31 0.02847\n3 Li 1 1 9.9 9 9 9 9.9 9.9\nDATA_END\n8 O -2 -2 16 2 6 1 1.3 0.1\n",
                "DATA_START\nLi 1 O -2 1.17 0.516 5.021 5.5\nLi 1 F -1 1.08 0.5\n");
    KELMAR_PROPERTY_UNITARY u;
    ASSERT_EQ(kelmar_property_unitary_read_from_file(&u, "Li", 1, f.unitary.c_str()), 0);
    EXPECT_STREQ(u.type, "Li");
    EXPECT_EQ(u.an, 3);
    EXPECT_DOUBLE_EQ(u.m, 6.941);  // the line before the block and the later duplicate are not used
    EXPECT_EQ(u.n, 2);
    EXPECT_DOUBLE_EQ(u.rc, 1.31);
    EXPECT_DOUBLE_EQ(u.soft, 0.02847);

    KELMAR_PROPERTY_UNITARY o;  // after DATA_END: not read, not an error
    EXPECT_EQ(kelmar_property_unitary_read_from_file(&o, "O", -2, f.unitary.c_str()), 0);
    EXPECT_STREQ(o.type, "O");
    EXPECT_EQ(o.os, -2);
    EXPECT_EQ(o.m, 0.0);

    KELMAR_PROPERTY_BINARY b;
    ASSERT_EQ(kelmar_property_binary_read_from_file(&b, "Li", 1, "O", -2, f.binary.c_str()), 0);
    EXPECT_DOUBLE_EQ(b.r0, 1.17);
    EXPECT_DOUBLE_EQ(b.b, 0.516);
    EXPECT_DOUBLE_EQ(b.b_old, 0.516);
    EXPECT_DOUBLE_EQ(b.cn, 5.021);
    EXPECT_DOUBLE_EQ(b.cutoff, 5.5);

    KELMAR_PROPERTY_BINARY mirrored;  // the file lists cation first
    EXPECT_EQ(kelmar_property_binary_read_from_file(&mirrored, "O", -2, "Li", 1, f.binary.c_str()), 0);
    EXPECT_STREQ(mirrored.type1, "O");
    EXPECT_EQ(mirrored.cutoff, 0.0);

    testing::internal::CaptureStderr();
    KELMAR_PROPERTY_BINARY short_line;
    EXPECT_EQ(kelmar_property_binary_read_from_file(&short_line, "Li", 1, "F", -1, f.binary.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable read KELMAR_PROPERTY_BINARY.\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_unitary_read_from_file(&u, "Li", 1, "/nonexistent/u.dat"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to open /nonexistent/u.dat\n");
}

TEST(PptDataFiles, AtomicNumberAndHardnessLookups) {
    DataFiles f("DATA_START\n3 Li 1 1 6.9\n26 Fe 3 2 55.8\n26 Fe 2 2 55.8\n", "");
    KELMAR_ATOM a;
    ASSERT_EQ(kelmar_property_type_from_atomic_number(26, &a, f.unitary.c_str()), 0);
    EXPECT_STREQ(a.type, "Fe");
    EXPECT_EQ(a.os, 2);  // the element's default state, column 4
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_type_from_atomic_number(99, &a, f.unitary.c_str()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unable to find element with atomic number 99"),
              std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_type_from_atomic_number(3, nullptr, f.unitary.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_ATOM has not been initialized properly.\n");

    testcli::spit(f.dir.path() / "h.dat", "DATA_START\nFe 1.0 2.0 3.0\nFe 4.0 5.0\n");
    const std::string h = (f.dir.path() / "h.dat").string();
    EXPECT_DOUBLE_EQ(kelmar_property_hardness_read_from_file("Fe", 1, h.c_str()), 5.0);  // last line decides
    EXPECT_DOUBLE_EQ(kelmar_property_hardness_read_from_file("Fe", 2, h.c_str()), 0.0);
    testing::internal::CaptureStdout();
    EXPECT_DOUBLE_EQ(kelmar_property_hardness_read_from_file("Fe", 1, "/nonexistent/h.dat"), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: unable to open /nonexistent/h.dat\n");
}

TEST(PptDataFiles, HalideAndSulfideEstimation) {
    DataFiles f("", "DATA_START\nNa 1 F -1 1.5 0.4 6.0 6.5\nNa 1 O -2 1.6 0.4 5.0 6.0\n");
    KELMAR_PROPERTY_BINARY cl;
    kelmar_copy_field(cl.type1, "Na");
    cl.os1 = 1;
    kelmar_copy_field(cl.type2, "Cl");
    cl.os2 = -1;
    cl.cutoff = 5.0;
    EXPECT_EQ(kelmar_property_binary_estimate_from_file(&cl, f.binary.c_str()), 0);
    EXPECT_DOUBLE_EQ(cl.cn, 0.3984 * 6.0 + 3.4568);
    EXPECT_DOUBLE_EQ(cl.cutoff, 6.5);

    KELMAR_PROPERTY_BINARY s = cl;
    kelmar_copy_field(s.type2, "S");
    s.os2 = -2;
    s.cn = 0.0;
    kelmar_property_binary_estimate_from_file(&s, f.binary.c_str());
    EXPECT_DOUBLE_EQ(s.cn, 0.7414 * 5.0 + 0.9597);
    EXPECT_DOUBLE_EQ(s.cutoff, 6.0);

    KELMAR_PROPERTY_BINARY known = cl;  // a pair with a coordination number is left alone
    known.cn = 4.0;
    kelmar_property_binary_estimate_from_file(&known, f.binary.c_str());
    EXPECT_DOUBLE_EQ(known.cn, 4.0);

    KELMAR_PROPERTY_BINARY no_ref = cl;  // no fluoride line for K: stays 0
    kelmar_copy_field(no_ref.type1, "K");
    no_ref.cn = 0.0;
    kelmar_property_binary_estimate_from_file(&no_ref, f.binary.c_str());
    EXPECT_EQ(no_ref.cn, 0.0);
}

// Nitride pairs without a coordination number take the oxide pair's, unchanged, and keep their
// own cutoff; the shipped table gives Li3N, BN and AlN their pairs that way.
TEST(PptDataFiles, NitrideTakesTheOxideCoordinationNumber) {
    DataFiles f("", "DATA_START\nLi 1 O -2 1.17 0.516 5.021 5.0\nLi 1 N -3 1.15 0.637 0.000 6.0\n");
    KELMAR_PROPERTY_BINARY n;
    kelmar_copy_field(n.type1, "Li");
    n.os1 = 1;
    kelmar_copy_field(n.type2, "N");
    n.os2 = -3;
    n.cutoff = 6.0;
    EXPECT_EQ(kelmar_property_binary_estimate_from_file(&n, f.binary.c_str()), 0);
    EXPECT_DOUBLE_EQ(n.cn, 5.021);
    EXPECT_DOUBLE_EQ(n.cutoff, 6.0);

    const std::string shipped = std::string(KELMAR_DATA_DIR) + "/database_binary.dat";
    struct Pair {
        const char* cation;
        int os;
    };
    for (const Pair& p : {Pair{"Li", 1}, Pair{"B", 3}, Pair{"Al", 3}}) {
        SCOPED_TRACE(p.cation);
        KELMAR_PROPERTY_BINARY nitride, oxide;
        ASSERT_EQ(kelmar_property_binary_read_from_file(&nitride, p.cation, p.os, "N", -3, shipped.c_str()), 0);
        ASSERT_EQ(kelmar_property_binary_read_from_file(&oxide, p.cation, p.os, "O", -2, shipped.c_str()), 0);
        EXPECT_EQ(nitride.cn, 0.0);  // the table's own value: unknown
        const double cutoff = nitride.cutoff;
        kelmar_property_binary_estimate_from_file(&nitride, shipped.c_str());
        EXPECT_GT(oxide.cn, 0.0);
        EXPECT_DOUBLE_EQ(nitride.cn, oxide.cn);
        EXPECT_DOUBLE_EQ(nitride.cutoff, cutoff);
    }
}

// --- species index and assembly ---------------------------------------------------------------

TEST(PptAssembly, SpeciesIndexSortsTheCellAndAppendsTheMobileSpecies) {
    auto cell = kmfix::li2o();
    auto ppt = kelmar_property_new(0);
    ASSERT_EQ(kelmar_property_update_index_by_cell(ppt.get(), cell.get()), 0);
    ASSERT_EQ(ppt->total, 2);
    EXPECT_STREQ(ppt->type[0].data(), "Li");
    EXPECT_EQ(ppt->os[1], -2);
    EXPECT_STREQ(cell->atom[0].type, "Li");  // the caller's cell is reordered
    EXPECT_STREQ(ppt->bin[1][0].type1, "O");
    EXPECT_STREQ(ppt->bin[1][0].type2, "Li");
    ASSERT_EQ(kelmar_property_append_index(ppt.get(), "Li", 1), 0);
    EXPECT_EQ(ppt->total, 2);
    ASSERT_EQ(kelmar_property_append_index(ppt.get(), "Na", 1), 0);
    EXPECT_EQ(ppt->total, 3);
    EXPECT_EQ(kelmar_property_find_index(ppt.get(), "Na", 1), 2);
    EXPECT_EQ(kelmar_property_find_index(ppt.get(), "Na", 2), -1);
    EXPECT_EQ(ppt->bin.size(), 3u);
    EXPECT_EQ(ppt->count[2], 0.0);
}

TEST(PptAssembly, Li2OFromTheDataFiles) {
    auto cell = kmfix::li2o();
    testing::internal::CaptureStdout();
    auto ppt = kelmar_property_import_from_cell(cell.get(), "Na", 1, 0.75, kmfix::unitary().c_str(),
                                                kmfix::binary().c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(ppt, nullptr);
    EXPECT_EQ(out, "Message: sf=0.750000\n");  // a given sf is used unchanged, no search
    ASSERT_EQ(ppt->total, 3);
    EXPECT_EQ(ppt->conducting, 2);
    EXPECT_DOUBLE_EQ(ppt->count[0], 8.0);
    EXPECT_DOUBLE_EQ(ppt->count[1], 4.0);
    EXPECT_DOUBLE_EQ(ppt->count[2], 0.0);
    // Only (cation, anion) entries carry file data.
    const KELMAR_PROPERTY_BINARY& lio = ppt->bin[0][1];
    EXPECT_DOUBLE_EQ(lio.r0, 1.17096);
    EXPECT_NEAR(lio.b, 0.516, 1e-15);
    EXPECT_EQ(ppt->bin[1][0].cutoff, 0.0);
    EXPECT_EQ(ppt->bin[0][0].cutoff, 0.0);
    EXPECT_GT(ppt->bin[2][1].cutoff, 0.0);  // Na-O for the appended mobile species
    double rmin = 0;
    const double d0 = bonding_depth_ev(1.17096, 0.516, 5.021, 0.02847, 0.14752, 1, -2, 1, 2, 2, &rmin);
    EXPECT_NEAR(lio.rmin, rmin, 1e-12);
    EXPECT_NEAR(lio.d0, d0, 1e-12);
    EXPECT_NEAR(lio.f0, d0 * 5.021, 1e-12);
    EXPECT_NEAR(lio.en_s, kelmar_energy_bonding(5.5, lio.d0, lio.rmin, lio.b), 1e-15);
    EXPECT_NEAR(lio.f_s, kelmar_force_bonding(5.5, lio.d0, lio.rmin, lio.b), 1e-15);
    // Charges: n_eff(Li) = 1, n_eff(O) = 2.
    const double sp = 8.0, sn = 4.0 * -2 / std::sqrt(2.0);
    EXPECT_NEAR(ppt->uni[0].q, std::sqrt(-sn / sp), 1e-12);
    EXPECT_NEAR(ppt->uni[1].q, -2 / std::sqrt(2.0) * std::sqrt(-sp / sn), 1e-12);
    EXPECT_EQ(ppt->uni[0].c, 1);
    EXPECT_EQ(kelmar_property_validate_generic(ppt.get()), 0);
}

TEST(PptAssembly, EffectiveBMixesTheAnionsOfTheCell) {
    auto cell = kmfix::box(10, 10, 10);
    add_atom(cell.get(), "Na1", "Na", 1, 0, 0, 0);
    add_atom(cell.get(), "Na2", "Na", 1, 0.5, 0, 0);
    add_atom(cell.get(), "F1", "F", -1, 0.25, 0, 0);
    add_atom(cell.get(), "Cl1", "Cl", -1, 0.75, 0, 0, 0.5);
    add_atom(cell.get(), "Cl2", "Cl", -1, 0.75, 0.5, 0, 0.5);
    auto ppt = kelmar_property_new(0);
    ASSERT_EQ(kelmar_property_update_index_by_cell(ppt.get(), cell.get()), 0);
    const int na = kelmar_property_find_index(ppt.get(), "Na", 1);
    const int f = kelmar_property_find_index(ppt.get(), "F", -1);
    const int cl = kelmar_property_find_index(ppt.get(), "Cl", -1);
    ppt->bin[na][f].b = 0.4;
    ppt->bin[na][cl].b = 0.7;
    ASSERT_EQ(kelmar_property_calculate_effective_b(ppt.get(), cell.get()), 0);
    const double mean = (1.0 * 0.4 + 1.0 * 0.7) / 2.0;  // F occupancy 1, Cl 0.5 + 0.5
    EXPECT_DOUBLE_EQ(ppt->bin[na][f].b_old, 0.4);
    EXPECT_DOUBLE_EQ(ppt->bin[na][f].b, (1.0 - 2.0 / 3.0) * 0.4 + (2.0 / 3.0) * mean);
    EXPECT_DOUBLE_EQ(ppt->bin[na][cl].b, (1.0 - 2.0 / 3.0) * 0.7 + (2.0 / 3.0) * mean);
}

// --- derived values built on hand-made records --------------------------------------------------

namespace {

// A record of two species with the named types and states, unitary values filled in.
std::unique_ptr<KELMAR_PROPERTY> two_species(const char* t1, int os1, double soft1, int n1, const char* t2, int os2,
                                             double soft2, int n2) {
    auto ppt = kelmar_property_new(2);
    const char* t[2] = {t1, t2};
    const int os[2] = {os1, os2};
    const double soft[2] = {soft1, soft2};
    const int n[2] = {n1, n2};
    for (int i = 0; i < 2; i++) {
        kelmar_copy_field(ppt->type[i].data(), 3, t[i]);
        ppt->os[i] = os[i];
        kelmar_copy_field(ppt->uni[i].type, t[i]);
        ppt->uni[i].os = os[i];
        ppt->uni[i].soft = soft[i];
        ppt->uni[i].n = n[i];
        ppt->uni[i].c = 1;
        ppt->uni[i].rc = 1.3;
        ppt->uni[i].m = 10.0;
    }
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++) {
            kelmar_copy_field(ppt->bin[i][j].type1, t[i]);
            kelmar_copy_field(ppt->bin[i][j].type2, t[j]);
            ppt->bin[i][j].os1 = os[i];
            ppt->bin[i][j].os2 = os[j];
        }
    KELMAR_PROPERTY_BINARY& e = ppt->bin[0][1];
    e.r0 = 1.0;
    e.b = 0.4;
    e.cn = 2.0;
    e.cutoff = 4.0;
    return ppt;
}

}  // namespace

TEST(PptDerived, ClassCodeGivesTheExponent) {
    auto ppt = kelmar_property_new(5);
    const int codes[5] = {0, 1, 2, 3, 7};
    for (int i = 0; i < 5; i++) ppt->uni[i].b = codes[i];
    ASSERT_EQ(kelmar_property_unitary_derived(ppt.get()), 0);
    EXPECT_EQ(ppt->uni[0].c, 1);
    EXPECT_EQ(ppt->uni[1].c, 1);
    EXPECT_EQ(ppt->uni[2].c, 2);
    EXPECT_EQ(ppt->uni[3].c, 2);
    EXPECT_EQ(ppt->uni[4].c, 0);
}

TEST(PptDerived, SoftnessZeroLeavesRminZeroUnlessHydrogen) {
    auto ppt = two_species("Na", 1, 0.0, 3, "O", -2, 0.15, 2);
    testing::internal::CaptureStderr();
    ASSERT_EQ(kelmar_property_binary_derived(ppt.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: r_min for (Na1+)-(O2-) is set to 0 due to softness = 0.\n");
    EXPECT_EQ(ppt->bin[0][1].rmin, 0.0);
    EXPECT_TRUE(std::isinf(ppt->bin[0][1].d0));
    ppt->uni[0].q = 0.8;
    ppt->uni[1].q = -0.8;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_validate_generic(ppt.get()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error: incorrect soft at[0](Na1+) soft=0.000000"),
              std::string::npos);

    for (const char* h : {"H", "Hx", "D"}) {
        auto hp = two_species(h, 1, 0.0, 1, "O", -2, 0.15, 2);
        testing::internal::CaptureStderr();
        ASSERT_EQ(kelmar_property_binary_derived(hp.get()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_NEAR(hp->bin[0][1].rmin, 1.0 * (0.9185 + 0.2285 * 0.15) - 0.4 * std::log(1 / 2.0), 1e-14) << h;
    }
}

TEST(PptDerived, DExponentTwoForDBlockCations) {
    auto ppt = two_species("Ti", 4, 0.03569, 4, "O", -2, 0.14752, 2);
    ppt->uni[0].c = 2;
    ppt->bin[0][1].r0 = 1.72394;
    ppt->bin[0][1].b = 0.503;
    ppt->bin[0][1].cn = 6.0;
    ppt->bin[0][1].cutoff = 5.5;
    ASSERT_EQ(kelmar_property_binary_derived(ppt.get()), 0);
    double rmin = 0;
    const double d0 = bonding_depth_ev(1.72394, 0.503, 6.0, 0.03569, 0.14752, 4, -2, 2, 4, 2, &rmin);
    EXPECT_NEAR(ppt->bin[0][1].rmin, rmin, 1e-14);
    EXPECT_NEAR(ppt->bin[0][1].d0, d0, 1e-14);
    // (b^2/2) * 2 * sqrt(2*8) / (sqrt(8) * rmin)
    EXPECT_NEAR(d0, 0.503 * 0.503 * 4.0 / (std::sqrt(8.0) * rmin), 1e-14);
}

TEST(PptDerived, ChargesAreCappedAtTheOxidationState) {
    // Li (n_eff 1) and Cs (n 6 -> n_eff 4) with a hydride anion (n 1): Li would get more than +1.
    auto cell = kmfix::box(8, 8, 8);
    add_atom(cell.get(), "Li1", "Li", 1, 0, 0, 0);
    add_atom(cell.get(), "Cs1", "Cs", 1, 0.5, 0.5, 0.5);
    add_atom(cell.get(), "H1", "H", -1, 0.5, 0, 0);
    add_atom(cell.get(), "H2", "H", -1, 0, 0.5, 0);
    auto ppt = kelmar_property_new(0);
    ASSERT_EQ(kelmar_property_update_index_by_cell(ppt.get(), cell.get()), 0);
    ppt->uni[kelmar_property_find_index(ppt.get(), "Li", 1)].n = 2;
    ppt->uni[kelmar_property_find_index(ppt.get(), "Cs", 1)].n = 6;
    ppt->uni[kelmar_property_find_index(ppt.get(), "H", -1)].n = 1;
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_property_calculate_fractional_charge(ppt.get(), cell.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: charge of Li(1) is capped to 1.00.\n");
    const double q_li = ppt->uni[kelmar_property_find_index(ppt.get(), "Li", 1)].q;
    const double q_cs = ppt->uni[kelmar_property_find_index(ppt.get(), "Cs", 1)].q;
    const double q_h = ppt->uni[kelmar_property_find_index(ppt.get(), "H", -1)].q;
    EXPECT_DOUBLE_EQ(q_li, 1.0);
    EXPECT_NEAR(q_cs, 0.5, 1e-12);  // scaled by the same factor as everything else
    EXPECT_NEAR(q_li + q_cs + 2 * q_h, 0.0, 1e-12);
}

TEST(PptAssembly, UnbalancedOxidationStatesStopWithTheNeutralityError) {
    auto cell = kmfix::li2o();
    for (auto& a : cell->atom)
        if (a.os == 1) a.os = 2;  // Li(+2) exists in no structure but balances nothing either
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_import_from_cell(cell.get(), nullptr, 0, 0.75, kmfix::unitary().c_str(),
                                               kmfix::binary().c_str()),
              nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: total charge of the cell is not neutral: 8.000000\n");
    // Partly occupied sites that miss by a fraction of a percent still count as neutral.
    for (auto& a : cell->atom)
        if (a.os == 2) {
            a.os = 1;
            a.occ = 0.995;
        }
    EXPECT_TRUE(kelmar_cell_formal_charge_balanced(cell.get()));
    for (auto& a : cell->atom)
        if (a.os == 1) a.occ = 0.95;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_cell_formal_charge_balanced(cell.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: total charge of the cell is not neutral: -0.400000\n");
}

TEST(PptDerived, ParabolasJoinTheirTermsContinuously) {
    auto cell = kmfix::li2o();
    testing::internal::CaptureStdout();
    auto ppt = kelmar_property_import_from_cell(cell.get(), nullptr, 0, 0.75, kmfix::unitary().c_str(),
                                                kmfix::binary().c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(ppt, nullptr);
    const KELMAR_PROPERTY_BINARY& e = ppt->bin[0][1];
    auto shifted = [&](double x) { return kelmar_energy_bonding(x, e.d0, e.rmin, e.b) - e.en_s; };
    ASSERT_GT(e.r_bc, 0.0);
    EXPECT_NEAR(shifted(e.r_bc), 1.0, 1e-4);
    EXPECT_NEAR(kelmar_pseudopotential_energy_bonding(e.r_bc, e.a2, e.a1, e.a0), shifted(e.r_bc), 1e-12);
    EXPECT_NEAR(2 * e.a2 * e.r_bc, kelmar_force_bonding(e.r_bc, e.d0, e.rmin, e.b), 1e-12);
    EXPECT_TRUE(std::isfinite(kelmar_pseudopotential_energy_bonding(0.0, e.a2, e.a1, e.a0)));

    for (int i : {0, 1}) {
        const KELMAR_PROPERTY_BINARY& c = ppt->bin[i][i];
        const double q = ppt->uni[i].q * ppt->uni[i].q;
        const double r_eff = ppt->sf * 2 * ppt->uni[i].rc;
        ASSERT_GT(c.r_cc, 0.0);
        EXPECT_NEAR(kelmar_energy_coulombic(c.r_cc, q, r_eff), 1.0, 1e-4);
        EXPECT_NEAR(kelmar_pseudopotential_energy_coulombic(c.r_cc, c.a2, c.a1, c.a0),
                    kelmar_energy_coulombic(c.r_cc, q, r_eff), 1e-12);
        EXPECT_NEAR(2 * c.a2 * c.r_cc, kelmar_force_coulombic(c.r_cc, q, r_eff), 1e-12);
    }
    EXPECT_EQ(ppt->bin[1][0].r_bc, 0.0);  // the mirrored entry has no bonding data
}

TEST(PptDerived, EmbeddingParameterFollowsTheFitFormula) {
    auto cell = kmfix::li2o();
    testing::internal::CaptureStdout();
    auto ppt = kelmar_property_import_from_cell(cell.get(), nullptr, 0, 0.75, kmfix::unitary().c_str(),
                                                kmfix::binary().c_str());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(ppt, nullptr);
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(ppt.get()), 0);
    const KELMAR_PROPERTY_BINARY& e = ppt->bin[0][1];
    const double t = std::exp(0.5879 * std::log(0.5) + 0.135 - 0.0898 * std::log(0.02847) - 0.9956 * std::log(e.b) +
                              0.3986 * std::log(2.0) - 0.51 * std::log(e.cn) + 0.5272 * std::log(e.r0));
    // One partner species each: f1 = t * f0 for both.
    EXPECT_NEAR(ppt->uni[0].f1, t * e.f0, 1e-12);
    EXPECT_NEAR(ppt->uni[1].f1, t * e.f0, 1e-12);
}

TEST(PptScreening, AutomaticSearchConvergesOnLi2O) {
    auto cell = kmfix::li2o(4.65884171);
    testing::internal::CaptureStdout();
    auto ppt = kelmar_property_import_from_cell(cell.get(), nullptr, 0, -1.0, kmfix::unitary().c_str(),
                                                kmfix::binary().c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(ppt, nullptr);
    EXPECT_NE(out.find("Message: calculating sf="), std::string::npos);
    EXPECT_NE(out.find("Message: final screening factor = "), std::string::npos);
    EXPECT_EQ(out.find("Warning"), std::string::npos);
    EXPECT_GE(ppt->sf, 0.55);
    EXPECT_LE(ppt->sf, 1.0);
    // At the found sf the mean diagonal stress is close to zero.
    double stress[3];
    ASSERT_EQ(kelmar_cell_calculate_stress_diagonal(stress, cell.get(), ppt.get()), 0);
    EXPECT_LT(std::fabs((stress[0] + stress[1] + stress[2]) / 3), 0.01);
    EXPECT_NEAR(stress[0], stress[1], 1e-9);
}

TEST(PptScreening, InvalidRecordFallsBackToTheDefault) {
    auto cell = kmfix::li2o();
    auto ppt = two_species("Li", 1, 0.03, 2, "O", -2, 0.15, 2);  // q left 0: invalid
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_calculate_screening_factor(ppt.get(), cell.get()), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    // the run carries on, so the missing value is a warning, not an error that fails the run
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: incorrect q at [0](Li1+) q=0.000000\n"
              "Warning: kelmar_property_validate_generic() returns non-zero.\n"
              "Message: default screening factor used 0.750000.\n");
    EXPECT_EQ(err, "");
    EXPECT_DOUBLE_EQ(ppt->sf, 0.75);

    ppt->sf = 0.71;
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_property_calculate_screening_factor(ppt.get(), cell.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_DOUBLE_EQ(ppt->sf, 0.71);
}

TEST(PptValidation, MessagesNameTheFirstBadValue) {
    auto ppt = two_species("Li", 1, 0.03, 2, "O", -2, 0.15, 2);
    ppt->uni[0].q = 0.8;
    ppt->uni[1].q = -1.6;
    ppt->bin[0][1].d0 = 0.1;
    ppt->bin[0][1].rmin = 1.9;
    EXPECT_EQ(kelmar_property_validate_generic(ppt.get()), 0);
    struct CASE {
        double KELMAR_PROPERTY_BINARY::*field;
        const char* line;
    } cases[] = {{&KELMAR_PROPERTY_BINARY::cutoff, "Error: incorrect cutoff at [0](Li1+)-(O2-) cutoff=0.000000\n"},
                 {&KELMAR_PROPERTY_BINARY::b, "Error: incorrect b at [0](Li1+)-(O2-) b=0.000000\n"},
                 {&KELMAR_PROPERTY_BINARY::cn, "Error: incorrect cn at [0](Li1+)-(O2-) cn=0.000000\n"},
                 {&KELMAR_PROPERTY_BINARY::r0, "Error: incorrect r0 at [0](Li1+)-(O2-) r0=0.000000\n"},
                 {&KELMAR_PROPERTY_BINARY::d0, "Error: incorrect d0 at [0](Li1+)-(O2-) d0=0.000000\n"},
                 {&KELMAR_PROPERTY_BINARY::rmin, "Error: incorrect rmin at [0](Li1+)-(O2-) rmin=0.000000\n"}};
    for (const CASE& c : cases) {
        auto bad = kelmar_property_copy(ppt.get());
        bad->bin[0][1].*c.field = 0.0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(kelmar_property_validate_generic(bad.get()), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
    auto bad = kelmar_property_copy(ppt.get());
    bad->uni[1].rc = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_validate_generic(bad.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: incorrect rc at[1](O2-) rc=-1.000000\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_validate_generic(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_PROPERTY has not been properly initialized.\n");
}

TEST(PptRecord, NewCopyAndConducting) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_new(-1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: number of counts must not be negative.\n");
    auto empty = kelmar_property_new(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->conducting, -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_copy(empty.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_PROPERTY has not been properly initialized.\n");
    testing::internal::CaptureStdout();
    kelmar_property_print(empty.get());
    kelmar_property_print_format(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "PPT: (not allocated)\nPPT: (not allocated)\n");

    auto ppt = two_species("Li", 1, 0.03, 2, "O", -2, 0.15, 2);
    ppt->sf = 0.8;
    EXPECT_EQ(kelmar_property_set_conducting(ppt.get(), "O", -2), 0);
    EXPECT_EQ(ppt->conducting, 1);
    auto copy = kelmar_property_copy(ppt.get());
    EXPECT_EQ(copy->conducting, 1);
    EXPECT_DOUBLE_EQ(copy->sf, 0.8);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_set_conducting(ppt.get(), "Na", 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_property_find_index() returns negative value.\n");
    EXPECT_EQ(ppt->conducting, -1);
}

// --- species without data -----------------------------------------------------------------------

TEST(PptMissingData, ASpeciesWithoutAUnitaryLineIsNamedInsteadOfGivingNan) {
    // O(-3), a state neither data file lists: its period is 0.
    auto cell = kmfix::li2o();
    for (auto& a : cell->atom)
        if (a.os < 0) a.os = -3;
    auto ppt = kelmar_property_new(0);
    ASSERT_EQ(kelmar_property_update_index_by_cell(ppt.get(), cell.get()), 0);
    ASSERT_EQ(kelmar_property_update_read_from_file(ppt.get(), kmfix::unitary().c_str(), kmfix::binary().c_str()),
              0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_calculate_fractional_charge(ppt.get(), cell.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: no principal quantum number for O(-3): the species is missing from database_unitary.dat.\n");
}

TEST(PptMissingData, AnAppendedSpeciesWithoutDataKeepsChargeZero) {
    auto cell = kmfix::li2o();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto ppt = kelmar_property_import_from_cell(cell.get(), "Xq", 1, 0.75, kmfix::unitary().c_str(),
                                                kmfix::binary().c_str());
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    ASSERT_NE(ppt, nullptr);
    ASSERT_EQ(ppt->total, 3);
    EXPECT_EQ(ppt->conducting, 2);
    EXPECT_EQ(ppt->uni[2].q, 0.0);  // not inf: it has no period to divide by
    for (const auto& u : ppt->uni) EXPECT_TRUE(std::isfinite(u.q)) << u.type;
    for (const auto& row : ppt->bin)
        for (const auto& e : row) {
            EXPECT_TRUE(std::isfinite(e.a0) && std::isfinite(e.a2) && std::isfinite(e.r_cc)) << e.type1 << e.type2;
        }
    // Validation then names the missing value.
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_property_validate_generic(ppt.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: incorrect q at [2](Xq1+) q=0.000000\n");
}

TEST(PptMissingData, ChargesOfACellWithoutAnionsAreZero) {
    auto cell = kmfix::box(5, 5, 5);
    add_atom(cell.get(), "Li1", "Li", 1, 0, 0, 0);
    kelmar_cell_update_cartesion(cell.get());
    auto ppt = kelmar_property_new(0);
    ASSERT_EQ(kelmar_property_update_index_by_cell(ppt.get(), cell.get()), 0);
    ASSERT_EQ(kelmar_property_append_index(ppt.get(), "O", -2), 0);
    ASSERT_EQ(kelmar_property_update_read_from_file(ppt.get(), kmfix::unitary().c_str(), kmfix::binary().c_str()),
              0);
    ASSERT_EQ(kelmar_property_calculate_fractional_charge(ppt.get(), cell.get()), 0);
    EXPECT_EQ(ppt->uni[0].q, 0.0);
    EXPECT_FALSE(std::signbit(ppt->uni[0].q));
    EXPECT_EQ(ppt->uni[1].q, 0.0);  // no cation charge to balance: not -inf
}

TEST(PptMissingData, EmbeddingParameterWithoutPartnersOrPairData) {
    auto ppt = kelmar_property_new(3);
    const char* types[3] = {"Li", "Na", "O"};
    const int oss[3] = {1, 1, -2};
    for (int i = 0; i < 3; i++) {
        kelmar_copy_field(ppt->type[i].data(), 3, types[i]);
        ppt->os[i] = oss[i];
        ppt->uni[i].soft = 0.05;
        ppt->uni[i].n = 2;
        ppt->count[i] = 4;
    }
    // Li-O carries data, Na-O none (b, cn, r0 and f0 all 0).
    KELMAR_PROPERTY_BINARY& e = ppt->bin[0][2];
    e.b = 0.5;
    e.cn = 4;
    e.r0 = 1.2;
    e.f0 = 0.3;
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(ppt.get()), 0);
    for (const auto& u : ppt->uni) EXPECT_TRUE(std::isfinite(u.f1)) << u.type;
    EXPECT_EQ(ppt->uni[1].f1, 0.0);
    EXPECT_GT(ppt->uni[0].f1, 0.0);
    // O sees Li (with data) and Na (without): the mean runs over both counts.
    const double t = std::exp(0.5879 * std::log(0.5) + 0.135 - 0.0898 * std::log(0.05) - 0.9956 * std::log(0.5) +
                              0.3986 * std::log(2.0) - 0.51 * std::log(4.0) + 0.5272 * std::log(1.2));
    EXPECT_NEAR(ppt->uni[2].f1, t * 4 * 0.3 / 8, 1e-12);
    // Two cations alone: no partner of opposite sign, no embedding term.
    auto cations = kelmar_property_new(2);
    kelmar_copy_field(cations->type[0].data(), 3, "Li");
    cations->os[0] = 1;
    kelmar_copy_field(cations->type[1].data(), 3, "Na");
    cations->os[1] = 1;
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(cations.get()), 0);
    EXPECT_EQ(cations->uni[0].f1, 0.0);
    EXPECT_EQ(cations->uni[1].f1, 0.0);
}

// The screening-factor search written out step by step: the messages it prints and the sf it
// ends with.
static std::string expected_search(const KELMAR_CELL* cell, KELMAR_PROPERTY* ppt, double* sf_out) {
    std::string out;
    char line[256];
    auto mean_stress = [&](double sf) {
        ppt->sf = sf;
        double s[3];
        EXPECT_EQ(kelmar_cell_calculate_stress_diagonal(s, cell, ppt), 0);
        return (s[0] + s[1] + s[2]) / 3.0;
    };
    double sf = 0.75;
    double p = mean_stress(sf);
    bool negative = p <= 0;
    double delta = 0.1, p_prev = 0.0, dp = 0.0;
    int counter = 0;
    do {
        p = mean_stress(sf);
        sf += p > 0 ? delta : -delta;
        if ((p <= 0) != negative) delta /= 2;
        negative = p <= 0;
        dp = p - p_prev;
        p_prev = p;
        if (++counter > 100) {
            out += "Warning: failed to converge the screening factor. Default value used.\n";
            sf = 0.75;
            break;
        }
        if (sf < 0.55 || sf > 1.0) {
            out += "Warning: screening factor out of bound (0.55~1.0). Default value used.\n";
            sf = 0.75;
            break;
        }
        std::snprintf(line, sizeof(line), "Message: calculating sf=%8.5f; p=%8.5f (conv: sf=%8.5f; p=%8.5f)\n", sf, p,
                      delta, dp);
        out += line;
    } while (delta >= 0.0005 || dp >= 0.0005);
    std::snprintf(line, sizeof(line), "Message: final screening factor = %f\n", sf);
    *sf_out = sf;
    return out + line;
}

TEST(PptScreening, SearchStepsMessagesAndBounds) {
    // A compressed cell drives sf below 0.55 (default used); a stretched one converges.
    for (double a : {3.9, 5.2}) {
        auto cell = kmfix::li2o(a);
        testing::internal::CaptureStdout();
        auto ppt = kelmar_property_import_from_cell(cell.get(), nullptr, 0, 0.75, kmfix::unitary().c_str(),
                                                    kmfix::binary().c_str());
        testing::internal::GetCapturedStdout();
        ASSERT_NE(ppt, nullptr);
        double sf = 0;
        const std::string expect = expected_search(cell.get(), ppt.get(), &sf);
        ppt->sf = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(kelmar_property_calculate_screening_factor(ppt.get(), cell.get()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expect) << a;
        EXPECT_EQ(ppt->sf, sf);
        if (a < 4) EXPECT_NE(expect.find("out of bound"), std::string::npos);
        else EXPECT_EQ(expect.find("Warning"), std::string::npos);
    }
}
