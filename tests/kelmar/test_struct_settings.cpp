// Settings lookups against the shipped settings file, the periodic fit test, and the guards on
// absurd numbers in structures and supercells.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "atom-states.hpp"
#include "cli.hpp"
#include "cell-ops.hpp"
#include "cif-columns.hpp"
#include "cif-document.hpp"
#include "cif-parse.hpp"
#include "cif-read.hpp"
#include "cif-write.hpp"
#include "symmetry.hpp"
#include "kelmar_fixtures.hpp"

namespace {

using kmfix::atom_at;
using kmfix::card_of;
using kmfix::cubic;

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";

// One record of the settings file as the test reads it, independently of the importers.
struct Rec {
    std::string hall_line, hm_line;
    std::string hall;
    std::vector<std::string> hm;  // every quoted spelling of the H-M line
    std::vector<std::string> ops;
};

std::vector<std::string> quoted_texts(const std::string& line) {
    std::vector<std::string> out;
    std::size_t p = 0;
    while ((p = line.find('\'', p)) != std::string::npos) {
        const std::size_t q = line.find('\'', p + 1);
        if (q == std::string::npos) break;
        out.push_back(line.substr(p + 1, q - p - 1));
        p = q + 1;
    }
    return out;
}

std::vector<Rec> shipped_records() {
    std::vector<Rec> recs;
    std::ifstream in(kSym, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        while (!l.empty() && (l.back() == '\r' || l.back() == '\n')) l.pop_back();
        lines.push_back(l);
    }
    std::size_t i = 0;
    while (i < lines.size() && lines[i].find("DATA_START") == std::string::npos) i++;
    for (i++; i < lines.size() && lines[i].find("DATA_END") == std::string::npos;) {
        if (lines[i].find('#') == std::string::npos || i + 4 >= lines.size()) {
            i++;
            continue;
        }
        Rec r;
        r.hall_line = lines[i + 2];
        r.hm_line = lines[i + 3];
        r.hall = quoted_texts(lines[i + 2]).at(0);
        r.hm = quoted_texts(lines[i + 3]);
        const int n = std::atoi(lines[i + 4].c_str());
        for (int k = 0; k < n; k++) r.ops.push_back(lines[i + 5 + static_cast<std::size_t>(k)]);
        std::sort(r.ops.begin(), r.ops.end());
        recs.push_back(r);
        i += 5 + static_cast<std::size_t>(n);
    }
    return recs;
}

// Whether text occurs in the given line of a record before number k: only such symbols depend
// on how the importers pick among several candidates.
bool shadowed(const std::vector<Rec>& recs, std::size_t k, const std::string& text, bool hall) {
    for (std::size_t j = 0; j < k; j++)
        if ((hall ? recs[j].hall_line : recs[j].hm_line).find(text) != std::string::npos) return true;
    return false;
}

std::vector<std::string> ops_of(const KELMAR_SYMMETRY& s) {
    std::vector<std::string> ops;
    for (const auto& c : s.card) ops.push_back(c.text);
    std::sort(ops.begin(), ops.end());
    return ops;
}

}  // namespace

// 'P 2' is a prefix of 'P 2y', which comes first in the file: the record written exactly 'P 2'
// must win (41 Hall symbols of the shipped file are prefixes of earlier ones).
TEST(StructSettings, EveryHallSymbolOfTheShippedFileFindsItsOwnSetting) {
    const auto recs = shipped_records();
    if (recs.empty()) GTEST_SKIP() << "settings file not shipped";
    int wrong = 0, checked = 0;
    testing::internal::CaptureStderr();
    for (std::size_t k = 0; k < recs.size(); k++) {
        const Rec& r = recs[k];
        if (!shadowed(recs, k, r.hall, true)) continue;
        checked++;
        auto sym = kelmar_symmetry_import_by_keyword_Hall(r.hall.c_str(), kSym.c_str());
        if (!sym || ops_of(*sym) != r.ops) {
            wrong++;
            ADD_FAILURE() << "Hall '" << r.hall << "' lands on " << (sym ? sym->sg_HM : "(none)");
        } else {
            EXPECT_STREQ(sym->sg_Hall, r.hall.c_str());
        }
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(checked, 41);
    auto p2 = kelmar_symmetry_import_by_keyword_Hall("P 2", kSym.c_str());
    ASSERT_TRUE(p2);
    EXPECT_EQ(p2->sg_id, 3);
    EXPECT_STREQ(p2->sg_HM, "P 1 1 2");
}

// Each H-M line lists several spellings. The file is ordered so that no spelling occurs in the
// H-M line of an earlier record (C 2 2 21 before C 2 2 2, for instance), so the substring search
// reaches the record of that spelling; a sample of them is imported as a check.
TEST(StructSettings, NoHmSpellingOfTheShippedFileIsShadowedByAnEarlierRecord) {
    const auto recs = shipped_records();
    if (recs.empty()) GTEST_SKIP() << "settings file not shipped";
    for (std::size_t k = 0; k < recs.size(); k++)
        for (const auto& s : recs[k].hm) EXPECT_FALSE(shadowed(recs, k, s, false)) << s;
    for (std::size_t k = 0; k < recs.size(); k += 37)
        for (const auto& s : recs[k].hm) {
            auto sym = kelmar_symmetry_import_by_keyword_HM(s.c_str(), kSym.c_str());
            ASSERT_TRUE(sym) << s;
            EXPECT_EQ(ops_of(*sym), recs[k].ops) << s;
        }
}

TEST(StructSettings, HallExactMatchFirstSubstringOtherwise) {
    testcli::ScratchDir d;
    const std::string path = (d / "s.dat").string();
    testcli::spit(path,
                  "DATA_START\n"
                  "# 1\n3\n'P 2y'\n'P 1 2 1'\n2\nx,y,z\n-x,y,-z\n"
                  "# 2\n3\n'P 2'\n'P 1 1 2'\n2\nx,y,z\n-x,-y,z\n"
                  "DATA_END\n");
    auto exact = kelmar_symmetry_import_by_keyword_Hall("P 2", path.c_str());
    ASSERT_TRUE(exact);
    EXPECT_STREQ(exact->sg_HM, "P 1 1 2");
    EXPECT_STREQ(exact->sg_Hall, "P 2");
    // no record is written 'P 2y' with a blank: the substring rule still finds a record
    auto part = kelmar_symmetry_import_by_keyword_Hall("2y", path.c_str());
    ASSERT_TRUE(part);
    EXPECT_STREQ(part->sg_HM, "P 1 2 1");
    EXPECT_STREQ(part->sg_Hall, "2y");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_symmetry_import_by_keyword_Hall("P 3", path.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to find keyword Hall P 3 in " + path + ".\n");

    // a CIF that names only its Hall symbol
    testing::internal::CaptureStdout();
    auto cif = kmfix::cif_symmetry("_space_group_name_Hall 'P 2'\n", path);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(cif);
    EXPECT_STREQ(cif->card[1].text, "-x,-y,z");
}

// Images that land a rounding step below 1 match partners at 0: the fit looks at the nearest
// periodic image of the partner.
TEST(StructSettings, FitTestMatchesAcrossTheCellEdge) {
    auto cell = cubic(10.0, {atom_at("O1", "O", -2, 0.0001, 0.5, 0.5)});
    KELMAR_SYMMETRY mirror;
    mirror.card.push_back(card_of("x,y,z"));
    mirror.card.push_back(card_of("-x,y,z"));
    EXPECT_TRUE(kelmar_cell_validate_by_symmetry(cell.get(), &mirror, 0.01));
    // 0.1 A from the mirror is still refused
    auto off = cubic(10.0, {atom_at("O1", "O", -2, 0.005, 0.5, 0.5)});
    EXPECT_FALSE(kelmar_cell_validate_by_symmetry(off.get(), &mirror, 0.01));
    // an accuracy that is not a number falls back to 0.01 instead of accepting everything
    EXPECT_FALSE(kelmar_cell_validate_by_symmetry(off.get(), &mirror, std::nan("")));
    EXPECT_TRUE(kelmar_cell_validate_by_symmetry(off.get(), &mirror, 0.2));
}

// "nan" and "inf" scan as numbers, but with them every setting would fit.
TEST(StructSettings, CalSymRefusesAToleranceThatIsNotANumber) {
    testcli::ScratchDir d;
    const std::string exe = KELMAR_EXE;
    d.add(std::filesystem::path(TEST_DATA_DIR) / "samples" / "CsCl.cif");
    for (const char* bad : {"nan", "inf", "-inf"}) {
        auto e = testcli::run(exe, std::string("--cal-sym CsCl.cif ") + bad, d.path());
        EXPECT_EQ(e.status, 1) << bad;
        EXPECT_EQ(e.err, "Error: wrong parameter accuracy.\n") << bad;
        EXPECT_EQ(e.out.find("determined space group"), std::string::npos) << bad;
    }
}

TEST(StructSettings, AbsurdStatesAndLatticesAreRefused) {
    std::vector<KELMAR_ATOM> atoms(1);
    kelmar_copy_field(atoms[0].name, "Li1");
    atoms[0].value = 1e12;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_atom_fork_os(atoms), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: oxidation state 1e+12 of Li1 is out of range.\n");
    atoms[0].value = -3.0;
    EXPECT_EQ(kelmar_atom_fork_os(atoms), 0);
    EXPECT_EQ(atoms[0].os, -3);

    const std::string head =
        "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n_cell_angle_beta 90\n"
        "_cell_angle_gamma 90\nloop_\n _symmetry_equiv_pos_as_xyz\n x,y,z\n"
        "loop_\n _atom_site_label\n _atom_site_type_symbol\n _atom_site_fract_x\n _atom_site_fract_y\n"
        " _atom_site_fract_z\n _atom_site_occupancy\n";
    const struct {
        std::string cif;
        const char* error;
    } cases[] = {
        {head + " Li1 Li123456789012+ 0 0 0 1\n", "Error: kelmar_atom_fork_os() returns non-zero.\n"},
        {head + " Li1 Li1e300+ 0 0 0 1\n", "Error: kelmar_atom_fork_os() returns non-zero.\n"},
        {"_cell_length_a 1e200\n_cell_length_b 1e200\n_cell_length_c 1e200\n" + head.substr(head.find("_cell_angle")) +
             " Li1 Li1+ 0 0 0 1\n",
         "Error: _cell_length_a 1e+200 A is longer than 1000 A"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        auto text = kelmar_text_new(c.cif.c_str());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int st = kelmar_cell_import_cif_from_text(&cell, &sym, text.get(), kSym.c_str(), kUni.c_str());
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(st, 1) << c.cif;
        EXPECT_FALSE(cell);
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
}

TEST(StructSettings, SupercellFactorsThatOverflowAreRefused) {
    auto cell = cubic(4.0, {atom_at("Li1", "Li", 1, 0, 0, 0), atom_at("O1", "O", -2, 0.5, 0.5, 0.5)});
    const long huge[3] = {LONG_MAX / 2, 4, 4};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_cell_supercell(cell.get(), huge));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to allocate KELMAR_CELL->KELMAR_ATOM.\n");
    const long two[3] = {2, 1, 1};
    auto ok = kelmar_cell_supercell(cell.get(), two);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->total(), 4);
}

// Once a species' competitors of its own kind are gone its sum can exceed what is left on its
// sites by far; the draw must still end quickly.
TEST(StructSettings, MixedSiteDrawWithATinyRemainderEnds) {
    RandomEngine engine(7);
    for (int trial = 0; trial < 5; trial++) {
        auto cell = cubic(10.0, {atom_at("Li1", "Li", 1, 0, 0, 0, 0.9), atom_at("Li2", "Li", 1, 0.01, 0, 0, 0.9),
                                 atom_at("Li3", "Li", 1, 0.5, 0.5, 0.5, 2e-9),
                                 atom_at("Na1", "Na", 1, 0.005, 0, 0, 0.1),
                                 atom_at("Na2", "Na", 1, 0.5, 0.5, 0.5, 0.1),
                                 atom_at("O1", "O", -2, 0.25, 0.25, 0.25, 1.0)});
        const auto t0 = std::chrono::steady_clock::now();
        auto out = kelmar_cell_assign_partial_occ_at_conducting_site(cell.get(), "Li", 1, engine);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ASSERT_TRUE(out);
        EXPECT_LT(s, 2.0);
        double q = 0.0;
        for (const auto& a : out->atom) q += a.os * a.occ;
        EXPECT_LE(std::fabs(q), 0.5);
    }
}

// A type symbol gives its state with the sign after the number (O2-) or, less often, before it
// (O-2); both are anions.
TEST(StructSettings, SignBeforeTheNumberOfATypeSymbol) {
    std::vector<CifBlock> blocks;
    std::string why, note;
    ASSERT_TRUE(cif_parse_blocks("loop_\n _atom_site_label\n _atom_site_type_symbol\n O1 O-2\n O2 O2-\n Li1 Li+1\n",
                                 blocks, why, note));
    const CifLoop& loop = blocks[0].loops[0];
    std::vector<KELMAR_ATOM> atoms(3);
    ASSERT_EQ(kelmar_cell_import_cif_read_atom_type(atoms, loop), 0);
    EXPECT_EQ(atoms[0].value, -2.0);
    EXPECT_EQ(atoms[1].value, -2.0);
    EXPECT_EQ(atoms[2].value, 1.0);
    EXPECT_STREQ(atoms[0].type, "O");
}

// A symmetry the file names but the settings file lacks, or operations that do not parse, fail
// with the reason on the error stream.
TEST(StructSettings, FailedLookupsReportOnTheErrorStream) {
    testcli::ScratchDir d;
    const std::string path = (d / "s.dat").string();
    testcli::spit(path, "DATA_START\n# 1\n1\n'P 1'\n'P 1' 'P1'\n1\nx,y,z\nDATA_END\n");
    const struct {
        std::string text;
        std::string err;
    } cases[] = {
        {"_symmetry_space_group_name_H-M 'Q 9'\n",
         "Error: the space group of the file (Q 9) is not among the settings of " + path + ".\n"},
        {"_space_group_IT_number 77\n",
         "Error: unable to find keyword id 77 in " + path + ".\nkelmar_symmetry_import_by_keyword_id() returns NULL.\n"},
        {"_symmetry_space_group_name_Hall '-Q 9'\n",
         "Error: the space group of the file (-Q 9) is not among the settings of " + path + ".\n"},
        {"loop_\n _symmetry_equiv_pos_as_xyz\n 'x,y'\n",
         "Error: invalid symmetry operation 'x,y' (fewer than three components).\nkelmar_card_set_by_text() returns "
         "non-zero.\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        auto sym = kmfix::cif_symmetry(c.text, path);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.text;
        EXPECT_FALSE(sym);
    }
}
