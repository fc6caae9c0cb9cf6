// Coordination shells by radial density and by bond valence on textbook structures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "bv.hpp"
#include "cli.hpp"
#include "cn.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "kelmar_fixtures.hpp"

namespace {

struct Loaded {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
};

Loaded load(const char* file) {
    Loaded l;
    testing::internal::CaptureStdout();
    const int rc = kelmar_cell_import_cif_from_file(&l.cell, &l.sym, kmfix::sample(file).c_str(),
                                                    kmfix::symcards().c_str(), kmfix::unitary().c_str());
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
    auto ppt = kelmar_bv_property_of_cell(l.cell.get(), kmfix::unitary().c_str(), kmfix::binary().c_str());
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

TEST(Coordination, EdgeCasesOfTheShells) {
    // One anion image within 10 A of the cation (a 21 A box): no shell at all.
    auto lone = kmfix::box(21, 21, 21);
    kmfix::add_atom(lone.get(), "Na1", "Na", 1, 0.5, 0.5, 0.5);
    kmfix::add_atom(lone.get(), "Cl1", "Cl", -1, 0.6, 0.5, 0.5);
    kelmar_cell_update_cartesion(lone.get());
    testing::internal::CaptureStdout();
    auto cn = kelmar_cn_new_from_cell(lone.get(), &lone->atom[0], "Cl", -1, 0.0);
    kelmar_cn_print_shell(cn.get());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(cn, nullptr);
    EXPECT_EQ(cn->total, 1);
    EXPECT_EQ(cn->total_shell, 0);
    // rds_tiny 0 behaves as 0.01; the shell table is only its header.
    EXPECT_NE(out.find("rds_tiny = 0.010000"), std::string::npos);
    EXPECT_EQ(out.substr(out.find("CN: center atom:")),
              "CN: center atom:    Na1 (Na1+)\nCN: coordinated type: Cl1-\nCN: shell         r     cn\n");

    // Two neighbours at the same distance: the second has density 999.9 and never starts a shell;
    // the centre's own images never count.
    auto pair = kmfix::box(8, 8, 30);
    kmfix::add_atom(pair.get(), "Na1", "Na", 1, 0.5, 0.5, 0.5);
    kmfix::add_atom(pair.get(), "Cl1", "Cl", -1, 0.8, 0.5, 0.5);
    kmfix::add_atom(pair.get(), "Cl2", "Cl", -1, 0.2, 0.5, 0.5);
    kelmar_cell_update_cartesion(pair.get());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto tie = kelmar_cn_new_from_cell(pair.get(), &pair->atom[0], "Cl", -1, -1);
    auto self = kelmar_cn_new_from_cell(pair.get(), &pair->atom[0], "Na", 1, -1);
    // State 0 is labelled with '+', like every species label of the program.
    auto neutral = kelmar_cn_new_from_cell(pair.get(), &pair->atom[0], "Xe", 0, -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: atom of type Na1+ not found.\nError: atom of type Xe0+ not found.\n");
    ASSERT_NE(tie, nullptr);
    EXPECT_DOUBLE_EQ(tie->r[0], tie->r[1]);
    EXPECT_DOUBLE_EQ(tie->g[1], 999.9);
    EXPECT_DOUBLE_EQ(tie->n_shell[0], 2.0);
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(neutral, nullptr);
}

namespace {

const std::string kExe = KELMAR_EXE;

testcli::Result kelmar(const testcli::ScratchDir& d, const std::string& args) { return testcli::run(kExe, args, d.path()); }

}  // namespace

TEST(CoordinationCli, PrintoutsAndRefusals) {
    testcli::ScratchDir d;
    for (const char* f : {"Li2O.cif", "SrTiO3.cif", "LiFePO4.cif"}) d.add(kmfix::sample(f));
    auto r = kelmar(d, "--cal-cn Li2O.cif Li0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CN: Center atom:           Li0 (Li1+)\nCN: Coordination Number:        4.000\n"),
              std::string::npos) << r.out;
    r = kelmar(d, "--cal-cn-type SrTiO3.cif Ti 4 O -2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CN: Ti4+ coordinated by O2-\nCN: site multiplicity         cn         r\n"), std::string::npos);
    EXPECT_NE(r.out.find("CN:  ave            0   6.000000  1.952500\n"), std::string::npos) << r.out;
    r = kelmar(d, "--cal-cn-gui LiFePO4.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Printing coordination number of each site for kelmar-GUI\n> Label [  X     Y     Z  ] : "
                         "Coordination Number\n>   Fe2 [0.253 0.025 0.719] : 6.000000\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(">    P3 [0.248 0.582 0.906] : 4.000000\nEnd of Coordination Number calculation by bond "
                         "valence method for kelmar-GUI\n"),
              std::string::npos);
    r = kelmar(d, "--cal-cn-bv LiFePO4.cif P3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CN: Coordination Number:        4.000\n"), std::string::npos);

    const struct {
        std::string args, err;
    } bad[] = {
        {"--cal-cn Li2O.cif Xx9", "Error: atom named Xx9 not found.\n"},
        {"--cal-cn-atom Li2O.cif Xx9 O -2", "Error: atom named Xx9 not found.\n"},
        {"--cal-cn-bv Li2O.cif Xx9", "Error: atom named Xx9 not found.\n"},
        {"--cal-cn Li2O.cif Li000000", "Error: wrong parameter atom_name.\n"},
        {"--cal-cn-bv Li2O.cif Li0000000000", "Error: wrong parameter atom_name.\n"},
        {"--cal-cn Li2O.cif Li0 abc", "Error: wrong parameter rds_tiny.\n"},
        {"--cal-cn-atom Li2O.cif Li0 O x", "Error: wrong parameter os_c.\n"},
        {"--cal-cn-type Li2O.cif Na 1 O -2", "Error: unable to find any atom of Na1+.\n"},
        {"--cal-cn-atom Li2O.cif Li0 Cl -1", "Error: atom of type Cl1- not found.\n"},
        {"--cal-cn-gui missing.cif", ""},
    };
    for (const auto& b : bad) {
        r = kelmar(d, b.args);
        EXPECT_EQ(r.status, 1) << b.args;
        EXPECT_EQ(r.err.substr(0, 6), "Error:") << b.args;
        if (!b.err.empty()) {
            EXPECT_EQ(r.err.substr(0, b.err.size()), b.err) << b.args;
        }
        EXPECT_EQ(r.out.find("CN: Coordination"), std::string::npos) << b.args;
    }
    const struct {
        const char* word;
        const char* head;
    } usage[] = {{"--cal-cn", "Command: --cal-cn [input.cif] {atom_name} | {rds_cutoff}\n\n"},
                 {"--cal-cn-atom", "Command: --cal-cn-atom [input.cif] {atom_name} {type_c} {os_c} | {rds_cutoff}\n\n"},
                 {"--cal-cn-type", "Command: --cal-cn-type [input.cif] {type} {os} {type_c} {os_c} | {rds_cutoff}\n\n"},
                 {"--cal-cn-bv", "Command: --cal-cn-bv [input.cif] {atom_name}\n\n"},
                 {"--cal-cn-gui", "Command: --cal-cn-gui [input.cif] \n\n"}};
    for (const auto& u : usage) {
        r = kelmar(d, u.word);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.substr(0, std::strlen(u.head)), u.head);
    }
}
