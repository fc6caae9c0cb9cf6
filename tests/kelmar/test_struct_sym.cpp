// Symmetry operations: operation texts, the settings file, expansion, duplicates, sorting,
// the fit search and the grid form.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "atom-order.hpp"
#include "cli.hpp"
#include "cell-ops.hpp"
#include "kelmar_fixtures.hpp"
#include "symmetry-grid.hpp"
#include "symmetry.hpp"

namespace {

using kmfix::atom_at;
using kmfix::card_of;

// A small settings file in the shipped layout: P 1, P -1, F m -3 m (centring only + inversion
// is enough for the tests), a second record numbered 225, and an I-centred P 1.
const char* kSymcards =
    "free header line\n"
    "DATA_START\n"
    "# 1\n1\n'P 1'\n'P 1' 'P1'\n1\nx,y,z\n"
    "# 2\n2\n'-P 1'\n'P -1' 'P-1'\n2\nx,y,z\n-x,-y,-z\n"
    "# 3\n225\n'-F 4 2 3'\n'F m -3 m' 'Fm-3m'\n4\nx,y,z\nx,y+1/2,z+1/2\nx+1/2,y,z+1/2\nx+1/2,y+1/2,z\n"
    "# 4\n225\n'-F 4 2 3 second'\n'F m -3 m second'\n1\nx,y,z\n"
    "# 5\n1\n'I 1'\n'I 1'\n2\nx,y,z\nx+1/2,y+1/2,z+1/2\n"
    "DATA_END\n"
    "# 6\n99\n'never'\n'never'\n1\nx,y,z\n";

struct SymFile {
    testcli::ScratchDir dir;
    std::string path;
    SymFile() : path((dir / "symcards.dat").string()) { testcli::spit(path, kSymcards); }
};

}  // namespace

TEST(StructSymText, RotationAndTranslationFromText) {
    KELMAR_CARD c = card_of("-x+1/2, y, -z");
    EXPECT_DOUBLE_EQ(c.r_f[0][0], -1);
    EXPECT_DOUBLE_EQ(c.r_f[1][1], 1);
    EXPECT_DOUBLE_EQ(c.r_f[2][2], -1);
    EXPECT_DOUBLE_EQ(c.r_f[0][1], 0);
    EXPECT_DOUBLE_EQ(c.t_f[0], 0.5);
    EXPECT_DOUBLE_EQ(c.t_f[1], 0);
    EXPECT_DOUBLE_EQ(c.t_f[2], 0);
    EXPECT_STREQ(c.text, "-x+1/2, y, -z");

    EXPECT_DOUBLE_EQ(card_of("x-1/4,y,z").t_f[0], -0.25);
    KELMAR_CARD lead = card_of("1/2-x,y,z");
    EXPECT_DOUBLE_EQ(lead.t_f[0], 0.5);
    EXPECT_DOUBLE_EQ(lead.r_f[0][0], -1);
    EXPECT_DOUBLE_EQ(card_of("-1/2+x,y,z").t_f[0], -0.5);
    KELMAR_CARD hex = card_of("-y,x-y,z+1/3");
    EXPECT_DOUBLE_EQ(hex.r_f[0][1], -1);
    EXPECT_DOUBLE_EQ(hex.r_f[1][0], 1);
    EXPECT_DOUBLE_EQ(hex.r_f[1][1], -1);
    EXPECT_NEAR(hex.t_f[2], 1.0 / 3.0, 1e-12);
    // a translation after a later variable keeps its own sign
    EXPECT_DOUBLE_EQ(card_of("x+1/2-y,y,z").t_f[0], 0.5);
    // decimals and upper-case variables
    EXPECT_DOUBLE_EQ(card_of("0.5+X,Y,Z").t_f[0], 0.5);
    EXPECT_DOUBLE_EQ(card_of("x+0.25,y,z").t_f[0], 0.25);
    // whole-cell translations are dropped
    EXPECT_DOUBLE_EQ(card_of("x+1,y,z").t_f[0], 0.0);
    // quotes and blanks are ignored
    EXPECT_DOUBLE_EQ(card_of("'x, y+1/2 , z'").t_f[1], 0.5);
}

TEST(StructSymText, MalformedTextsAreRefused) {
    KELMAR_CARD c;
    EXPECT_EQ(kelmar_card_set_by_text(&c, nullptr), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x,y,z,x"), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x,y"), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x,y,q"), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x,,z"), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x+1/0,y,z"), 1);
    EXPECT_EQ(kelmar_card_set_by_text(&c, "x+y+z+x+y+z+x,y,z"), 1);  // component over 11 characters
}

TEST(StructSymFile, ImportersFindRecordsBySubstringInFileOrder) {
    SymFile f;
    auto p1 = kelmar_symmetry_import_by_keyword_HM("P 1", f.path.c_str());
    ASSERT_TRUE(p1);
    EXPECT_EQ(p1->total(), 1);
    EXPECT_STREQ(p1->sg_HM, "P 1");
    EXPECT_STREQ(p1->sg_Hall, "P 1");

    auto fm = kelmar_symmetry_import_by_keyword_HM("Fm-3m", f.path.c_str());
    ASSERT_TRUE(fm);
    EXPECT_EQ(fm->total(), 4);
    EXPECT_EQ(fm->sg_id, 225);
    EXPECT_STREQ(fm->sg_HM, "Fm-3m");  // the given symbol

    auto id = kelmar_symmetry_import_by_keyword_id("225", f.path.c_str());
    ASSERT_TRUE(id);
    EXPECT_EQ(id->total(), 4);  // the first record numbered 225
    EXPECT_STREQ(id->sg_Hall, "-F 4 2 3");

    auto hall = kelmar_symmetry_import_by_keyword_Hall("-P 1", f.path.c_str());
    ASSERT_TRUE(hall);
    EXPECT_EQ(hall->total(), 2);
    EXPECT_STREQ(hall->sg_HM, "P -1");

    auto no5 = kelmar_symmetry_import_by_internal_no(5, f.path.c_str());
    ASSERT_TRUE(no5);
    EXPECT_STREQ(no5->sg_HM, "I 1");
    EXPECT_FALSE(kelmar_symmetry_import_by_internal_no(6, f.path.c_str()));  // after DATA_END
    EXPECT_FALSE(kelmar_symmetry_import_by_internal_no(0, f.path.c_str()));

    EXPECT_FALSE(kelmar_symmetry_import_by_keyword_HM("never", f.path.c_str()));
    EXPECT_FALSE(kelmar_symmetry_import_by_keyword_HM("P 1", (f.dir / "missing.dat").string().c_str()));
}

TEST(StructSymFile, CrLfSettingsFileReadsTheSame) {
    testcli::ScratchDir d;
    std::string crlf;
    for (const char* p = kSymcards; *p; p++) {
        if (*p == '\n') crlf += '\r';
        crlf += *p;
    }
    testcli::spit(d / "s.dat", crlf);
    auto fm = kelmar_symmetry_import_by_keyword_id("225", (d / "s.dat").string().c_str());
    ASSERT_TRUE(fm);
    EXPECT_STREQ(fm->sg_Hall, "-F 4 2 3");
    EXPECT_STREQ(fm->card[1].text, "x,y+1/2,z+1/2");
}

TEST(StructSymCif, OperationsLoopIsPreferredToNames) {
    SymFile f;
    testing::internal::CaptureStdout();
    auto sym = kmfix::cif_symmetry("_symmetry_space_group_name_H-M 'F m -3 m'\r\nloop_\n _symmetry_equiv_pos_site_id\n"
                                   " _symmetry_equiv_pos_as_xyz\n  1  'x, y, z'\n  2  '-x, -y, -z'\n",
                                   f.path);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(sym);
    EXPECT_EQ(sym->total(), 2);
    EXPECT_STREQ(sym->sg_HM, "");
    EXPECT_EQ(sym->sg_id, 0);
    EXPECT_STREQ(sym->card[1].text, "-x, -y, -z");
}

// Without operations: the H-M symbol, else the Hall symbol, else the number; a name that is empty
// or a placeholder names nothing.
TEST(StructSymCif, NamesInOrderHmHallNumber) {
    SymFile f;
    const struct {
        const char* text;
        int ops;  // 0: no symmetry
        int id;
    } cases[] = {
        {"_symmetry_Int_Tables_number 225\n_symmetry_space_group_name_H-M 'P -1'\n", 2, 2},
        {"_symmetry_Int_Tables_number   225\n", 4, 225},
        {"_space_group_name_Hall '-P 1'\n", 2, 2},
        {"_space_group_name_Hall '-P 1'\n_symmetry_Int_Tables_number 225\n", 2, 2},
        {"_symmetry_space_group_name_H-M ''\n_symmetry_Int_Tables_number 225\n", 4, 225},
        {"_symmetry_space_group_name_H-M ?\n_space_group_name_Hall '-P 1'\n", 2, 2},
        {"data_x\n_cell_length_a 3\n", 0, 0},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        auto sym = kmfix::cif_symmetry(c.text, f.path);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        if (c.ops == 0) {
            EXPECT_FALSE(sym) << c.text;
            continue;
        }
        ASSERT_TRUE(sym) << c.text;
        EXPECT_EQ(sym->total(), c.ops) << c.text;
        EXPECT_EQ(sym->sg_id, c.id) << c.text;
    }
}

TEST(StructSymCif, ShippedSettingsMatchCompactSymbols) {
    const std::string path = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "settings file not shipped";
    const struct {
        const char* hm;
        int id;
        int ops;
    } cases[] = {{"P2_1/c", 14, 4}, {"Pnma", 62, 8}, {"R-3m", 166, 36}, {"Fm-3m", 225, 192}, {"P-1", 2, 2},
                 {"P6_3/mmc", 194, 24}, {"Ia-3d", 230, 96}, {"C2/c", 15, 8}};
    for (const auto& c : cases) {
        auto sym = kelmar_symmetry_import_by_keyword_HM(c.hm, path.c_str());
        ASSERT_TRUE(sym) << c.hm;
        EXPECT_EQ(sym->sg_id, c.id) << c.hm;
        EXPECT_EQ(sym->total(), c.ops) << c.hm;
    }
}

TEST(StructSymAtoms, ImageWrapsIntoUnitInterval) {
    KELMAR_ATOM a = atom_at("Li1", "Li", 1, 0.0, 0.25, 0.75);
    KELMAR_ATOM img = kelmar_atom_spawn_by_card(a, card_of("-x,-y+1/2,z+1/2"));
    EXPECT_DOUBLE_EQ(img.x_f[0], 0.0);
    EXPECT_DOUBLE_EQ(img.x_f[1], 0.25);
    EXPECT_DOUBLE_EQ(img.x_f[2], 0.25);
    for (double v : img.x_f) {
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0);
    }
}

TEST(StructSymAtoms, EqualityToleratesTheCellEdge) {
    KELMAR_ATOM a = atom_at("Li1", "Li", 1, 0.9999, 0.5, 0.5);
    KELMAR_ATOM b = atom_at("Li2", "Li", 1, 0.0001, 0.5, 0.5);
    EXPECT_TRUE(kelmar_atom_equal(a, b));
    b.os = 2;
    EXPECT_FALSE(kelmar_atom_equal(a, b));
    b.os = 1;
    b.occ = 0.97;
    EXPECT_FALSE(kelmar_atom_equal(a, b));
    b.occ = 0.99;
    EXPECT_TRUE(kelmar_atom_equal(a, b));
    b.x_f[1] = 0.506;
    EXPECT_FALSE(kelmar_atom_equal(a, b));
    KELMAR_ATOM arr[2] = {atom_at("O1", "O", -2, 0.1, 0.1, 0.1), a};
    EXPECT_TRUE(kelmar_atom_belong(atom_at("X", "Li", 1, 0.001, 0.5, 0.5), arr, 2));
    EXPECT_FALSE(kelmar_atom_belong(atom_at("X", "Na", 1, 0.001, 0.5, 0.5), arr, 2));
}

TEST(StructSymAtoms, CentredExpansionCountsDistinctImagesOnce) {
    SymFile f;
    auto fm = kelmar_symmetry_import_by_keyword_id("225", f.path.c_str());
    ASSERT_TRUE(fm);
    std::vector<KELMAR_ATOM> atoms = {atom_at("Na1", "Na", 1, 0, 0, 0)};
    ASSERT_EQ(kelmar_atom_spawn_by_symmetry(atoms, fm.get()), 0);
    EXPECT_EQ(atoms.size(), 4u);
    // (0.5, 0.5, 0.5) goes onto the edge centres; a second input 0.0005 across the cell edge from
    // one of those images is the same site
    std::vector<KELMAR_ATOM> two = {atom_at("Cl1", "Cl", -1, 0.5, 0.5, 0.5),
                                    atom_at("Cl2", "Cl", -1, 0.5, 0.9995, 0.0)};
    ASSERT_EQ(kelmar_atom_spawn_by_symmetry(two, fm.get()), 0);
    EXPECT_EQ(two.size(), 4u);
    std::vector<KELMAR_ATOM> empty;
    EXPECT_EQ(kelmar_atom_spawn_by_symmetry(empty, fm.get()), 1);
    EXPECT_EQ(kelmar_atom_spawn_by_symmetry(atoms, nullptr), 1);
}

TEST(StructSymAtoms, DuplicateRemovalDropsMarkedAndEqualAtoms) {
    std::vector<KELMAR_ATOM> atoms = {atom_at("A", "Li", 1, 0.1, 0.1, 0.1), atom_at("B", "Li", 1, 0.102, 0.1, 0.1),
                                      atom_at("C", "Li", 1, 0.5, 0.5, 0.5), atom_at("D", "O", -2, 0.1, 0.1, 0.1)};
    atoms[2].ignored = true;
    ASSERT_EQ(kelmar_atom_remove_duplicate(atoms), 0);
    ASSERT_EQ(atoms.size(), 2u);
    EXPECT_STREQ(atoms[0].name, "A");
    EXPECT_STREQ(atoms[1].name, "D");
}

TEST(StructSymSort, NaturalLabelOrder) {
    EXPECT_EQ(kelmar_atom_name_compare("Li2", "Li10"), -1);
    EXPECT_EQ(kelmar_atom_name_compare("Li10", "Li2"), 1);
    EXPECT_EQ(kelmar_atom_name_compare("O1", "Oa"), -1);
    EXPECT_EQ(kelmar_atom_name_compare("O1", "O1"), 0);
    EXPECT_EQ(kelmar_atom_name_compare("O", "O1"), -1);
    EXPECT_EQ(kelmar_atom_name_compare("O1", "O"), 1);
    EXPECT_EQ(kelmar_atom_name_compare("", ""), 0);
    EXPECT_EQ(kelmar_atom_name_compare("Li01", "Li1"), -1);  // equal numbers: plain comparison
}

TEST(StructSymSort, TypeThenStateThenOccupancyThenLabel) {
    std::vector<KELMAR_ATOM> atoms = {atom_at("O10", "O", -2, 0, 0, 0), atom_at("Fe1", "Fe", 3, 0, 0, 0),
                                      atom_at("O2", "O", -2, 0, 0, 0),  atom_at("Fe2", "Fe", 2, 0, 0, 0),
                                      atom_at("Li1", "Li", 1, 0, 0, 0, 0.5), atom_at("Li2", "Li", 1, 0, 0, 0, 0.25),
                                      atom_at("L", "L", 1, 0, 0, 0)};
    kelmar_atom_sort(atoms);
    const char* want[] = {"Fe2", "Fe1", "L", "Li2", "Li1", "O2", "O10"};
    for (std::size_t i = 0; i < atoms.size(); i++) EXPECT_STREQ(atoms[i].name, want[i]) << i;
}

TEST(StructSymFit, FittingSettingOfHighestOrderWinsFirstInFileOrder) {
    SymFile f;
    // a rock-salt-like F lattice of one species: fits P 1, P -1, both 225 records and I 1? (no)
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = cell->parameter[1] = cell->parameter[2] = 4.0;
    cell->angle[0] = cell->angle[1] = cell->angle[2] = 90.0;
    for (auto p : {std::array<double, 3>{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}})
        cell->atom.push_back(atom_at("Na1", "Na", 1, p[0], p[1], p[2]));
    kelmar_cell_update_cartesion(cell.get());
    testing::internal::CaptureStdout();
    auto sym = kelmar_symmetry_calculate_from_cell(cell.get(), -1, f.path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(sym);
    EXPECT_STREQ(sym->sg_HM, "F m -3 m");  // the first of the fitting records of highest order
    EXPECT_NE(out.find("Message: total 5 space group settings found in"), std::string::npos);
    EXPECT_NE(out.find("Message: structure fits to symmetry F m -3 m.\n"), std::string::npos);
    EXPECT_EQ(out.find("fits to symmetry I 1"), std::string::npos);
    EXPECT_NE(out.find("Message: structure fits to symmetry F m -3 m second.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: determined space group: F m -3 m\n"), std::string::npos);

    // the same cell shifted off the centring no longer fits the F record
    cell->atom[1].x_f[0] = 0.1;
    kelmar_cell_update_cartesion(cell.get());
    testing::internal::CaptureStdout();
    auto low = kelmar_symmetry_calculate_from_cell(cell.get(), 0.01, f.path.c_str());
    const std::string out2 = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(low);
    EXPECT_EQ(out2.find("fits to symmetry F m -3 m.\n"), std::string::npos);

    EXPECT_FALSE(kelmar_symmetry_calculate_from_cell(nullptr, 0.01, f.path.c_str()));
    EXPECT_FALSE(kelmar_cell_validate_by_symmetry(nullptr, sym.get(), 0.01));
}

TEST(StructSymFit, ToleranceIsInAngstrom) {
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = cell->parameter[1] = cell->parameter[2] = 10.0;
    cell->angle[0] = cell->angle[1] = cell->angle[2] = 90.0;
    cell->atom.push_back(atom_at("O1", "O", -2, 0.2, 0.3, 0.4));
    cell->atom.push_back(atom_at("O1", "O", -2, 0.8015, 0.7, 0.6));  // 0.015 A off the inversion image
    kelmar_cell_update_cartesion(cell.get());
    KELMAR_SYMMETRY inv;
    inv.card.push_back(card_of("x,y,z"));
    inv.card.push_back(card_of("-x,-y,-z"));
    EXPECT_FALSE(kelmar_cell_validate_by_symmetry(cell.get(), &inv, 0.01));
    for (const auto& a : cell->atom) EXPECT_FALSE(a.ignored);  // marks cleared on failure
    EXPECT_TRUE(kelmar_cell_validate_by_symmetry(cell.get(), &inv, 0.02));
}

TEST(StructSymGrid, DiscreteCardsTransformGridIndices) {
    KELMAR_SYMMETRY sym;
    sym.card.push_back(card_of("x+1/2,y,z"));
    sym.card.push_back(card_of("-y,x-y,z+1/3"));
    const long n[3] = {10, 10, 12};
    ASSERT_EQ(kelmar_symmetry_fill_card_discrete(&sym, n), 0);
    EXPECT_EQ(sym.card[0].t_i[0], 5);
    long out[3];
    const long in[3] = {9, 0, 0};
    kelmar_card_transform_vector3_long(out, in, n, &sym.card[0]);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(sym.card[1].r_i[1][1], -1);
    EXPECT_EQ(sym.card[1].t_i[2], 4);
    const long in2[3] = {3, 1, 11};
    kelmar_card_transform_vector3_long(out, in2, n, &sym.card[1]);
    EXPECT_EQ(out[0], 9);   // -1 wraps to 9
    EXPECT_EQ(out[1], 2);   // 3 - 1
    EXPECT_EQ(out[2], 3);   // 11 + 4 wraps to 3
    EXPECT_EQ(kelmar_symmetry_fill_card_discrete(nullptr, n), 1);
}
