// Coordination shells by radial density and by bond valence on textbook structures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "bv.hpp"
#include "cn.hpp"
#include "import.hpp"
#include "ppt_fixtures.hpp"

namespace {

struct Loaded {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
};

Loaded load(const char* file) {
    Loaded l;
    testing::internal::CaptureStdout();
    const int rc = kelmar_cell_import_cif_from_file(&l.cell, &l.sym, pptfix::sample(file).c_str(),
                                                    pptfix::symcards().c_str(), pptfix::unitary().c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << file;
    return l;
}

const KELMAR_ATOM* atom_named(const KELMAR_CELL* cell, const char* name) {
    for (const KELMAR_ATOM& a : cell->atom)
        if (std::strcmp(a.name, name) == 0) return &a;
    return nullptr;
}

// Bond-valence coordination number of the first atom with the label.
double cn_by_bv(Loaded& l, const char* label) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_cell_flag_site_by_symmetry(l.cell.get(), l.sym.get()), 0);
    auto ppt = kelmar_bv_property_of_cell(l.cell.get(), pptfix::unitary().c_str(), pptfix::binary().c_str());
    auto bv = ppt ? kelmar_bv_calculate_from_flagged_cell(l.cell.get(), ppt.get()) : nullptr;
    auto cn = bv ? kelmar_cn_bv_new_from_cell(l.cell.get(), atom_named(l.cell.get(), label), ppt.get(), bv.get())
                 : nullptr;
    testing::internal::GetCapturedStdout();
    kelmar_cell_refresh(l.cell.get());
    return cn ? cn->n[static_cast<std::size_t>(cn->cn_index)] : -1.0;
}

struct Textbook {
    const char* file;
    const char* label;
    const char* type_c;
    int os_c;
    double cn;
};

const Textbook kTextbook[] = {
    {"Li2O.cif", "Li0", "O", -2, 4},     {"SrTiO3.cif", "Ti1", "O", -2, 6}, {"SrTiO3.cif", "Sr0", "O", -2, 12},
    {"TiO2.cif", "Ti0", "O", -2, 6},     {"TiO2.cif", "Ti1", "O", -2, 6},   {"LiFePO4.cif", "P3", "O", -2, 4},
    {"LiFePO4.cif", "Fe2", "O", -2, 6},  {"CsCl.cif", "Cs0", "Cl", -1, 8},  {"CsCl.cif", "Cl1", "Cs", 1, 8},
    {"Li2O.cif", "O1", "Li", 1, 8},
};

}  // namespace

TEST(Coordination, TextbookNumbersByRadialDensityAndByBondValence) {
    for (const Textbook& t : kTextbook) {
        Loaded l = load(t.file);
        ASSERT_NE(l.cell, nullptr);
        const KELMAR_ATOM* centre = atom_named(l.cell.get(), t.label);
        ASSERT_NE(centre, nullptr) << t.label;
        testing::internal::CaptureStdout();
        auto shells = kelmar_cn_new_from_cell(l.cell.get(), centre, t.type_c, t.os_c, -0.1);
        auto mixed = kelmar_cn_mix_new_from_cell(l.cell.get(), centre, -0.1);
        testing::internal::GetCapturedStdout();
        ASSERT_NE(shells, nullptr);
        ASSERT_NE(mixed, nullptr);
        ASSERT_GT(shells->total_shell, 0);
        ASSERT_GT(mixed->total_shell, 0);
        const double by_bv = cn_by_bv(l, t.label);
        std::printf("CN %-12s %-4s radial %.3f (mixed %.3f, r %.4f)  bond valence %.3f\n", t.file, t.label,
                    shells->n_shell[0], mixed->n_shell[0], shells->r_shell[0], by_bv);
        EXPECT_NEAR(shells->n_shell[0], t.cn, 1e-9) << t.file << " " << t.label;
        EXPECT_NEAR(mixed->n_shell[0], t.cn, 1e-9) << t.file << " " << t.label;
        EXPECT_NEAR(by_bv, t.cn, 1e-9) << t.file << " " << t.label;
    }
}
