// CIF reading and writing: column readers, mixed valence, default states,
// the writer's layout, round trips over the sample files, bad input and speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "atom-states.hpp"
#include "cli.hpp"
#include "kelmar_fixtures.hpp"
#include "cif-columns.hpp"
#include "cif-document.hpp"
#include "cif-parse.hpp"
#include "cif-read.hpp"
#include "cif-write.hpp"
#include "rx-sd.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";

using Read = kmfix::CifRead;

// The site loop of a CIF text, as the reader's tokenizer cuts it.
CifLoop atom_loop(const std::string& text) {
    std::vector<CifBlock> blocks;
    std::string why, note;
    EXPECT_TRUE(cif_parse_blocks(text, blocks, why, note)) << why;
    const CifLoop* loop = blocks.empty() ? nullptr : blocks[0].loop_with("_atom_site_label");
    return loop != nullptr ? *loop : CifLoop{};
}

const char* kHead =
    "data_test\n"
    "_cell_length_a   4.0\n"
    "_cell_length_b   5.0(2)\n"
    "_cell_length_c   6.0\n"
    "_cell_angle_alpha   90\n"
    "_cell_angle_beta   90\n"
    "_cell_angle_gamma   90\n"
    "_cell_formula_units_Z   2\n"
    "loop_\n"
    " _symmetry_equiv_pos_site_id\n"
    " _symmetry_equiv_pos_as_xyz\n"
    "  1  'x, y, z'\n"
    "  2  '-x, -y, -z'\n";

std::string with_atoms(const std::string& loop) { return std::string(kHead) + loop; }

const char* kAtomLoopHead =
    "loop_\n"
    " _atom_site_label\n"
    " _atom_site_type_symbol\n"
    " _atom_site_fract_x\n"
    " _atom_site_fract_y\n"
    " _atom_site_fract_z\n"
    " _atom_site_occupancy\n";

std::vector<fs::path> sample_files() {
    std::vector<fs::path> files;
    for (const char* sub : {"samples", "electrolytes"})
        for (const auto& e : fs::directory_iterator(fs::path(TEST_DATA_DIR) / sub))
            if (e.path().extension() == ".cif") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(StructCifRead, TypesStatesPositionsAndLattice) {
    Read r = kmfix::read_cif_text(with_atoms(std::string(kAtomLoopHead) +
                                  "  Li1  Li1+  -0.25  0.2500(3)  1.0  1.0\n"
                                  "  O1   O2-   0.1  0.2  0.3  1\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    const KELMAR_CELL& c = *r.cell;
    EXPECT_DOUBLE_EQ(c.parameter[1], 5.0);
    EXPECT_EQ(c.Z, 2);
    ASSERT_EQ(c.total(), 4);  // Li1 and O1, each with its inversion image
    EXPECT_STREQ(c.atom[0].type, "Li");
    EXPECT_EQ(c.atom[0].os, 1);
    EXPECT_EQ(c.atom[3].os, -2);
    bool found = false;
    for (const auto& a : c.atom)
        if (std::strcmp(a.name, "Li1") == 0 && std::fabs(a.x_f[0] - 0.75) < 1e-12 && a.x_f[2] == 0.0) found = true;
    EXPECT_TRUE(found) << "-0.25 becomes 0.75 and 1.0 becomes 0.0";
    EXPECT_STREQ(c.name, "Li1+:2.000 O2-:2.000 ");
    EXPECT_NEAR(c.atom[0].x[1], 0.25 * 5.0, 1e-9);
    EXPECT_EQ(r.sym->total(), 2);
}

TEST(StructCifRead, TypeLoopStatesAndMixedValence) {
    const std::string cif = with_atoms(
        "loop_\n _atom_type_symbol\n _atom_type_oxidation_number\n  Li+  1.0\n  Fe2.5+  2.5\n  O2-  -2.0\n"
        "  X+  ?\n" +
        std::string(kAtomLoopHead) +
        "  Li1  Li+  0 0 0  1\n  Fe1  Fe2.5+  0.5 0.5 0.5  1\n  O1  O2-  0.25 0.25 0.25  1\n");
    Read r = kmfix::read_cif_text(cif);
    ASSERT_EQ(r.status, 0) << r.err;
    int fe2 = 0, fe3 = 0;
    for (const auto& a : r.cell->atom) {
        if (std::strcmp(a.type, "Fe") != 0) continue;
        EXPECT_NEAR(a.occ, 0.5, 1e-12);
        EXPECT_NEAR(a.x_f[0], 0.5, 1e-12);
        if (a.os == 2) fe2++;
        if (a.os == 3) fe3++;
        EXPECT_EQ(a.value, 0.0);
    }
    EXPECT_EQ(fe2, 1);
    EXPECT_EQ(fe3, 1);

    // a type symbol missing from the type loop
    Read bad = kmfix::read_cif_text(with_atoms(
        "loop_\n _atom_type_symbol\n _atom_type_oxidation_number\n  Li+  1.0\n" + std::string(kAtomLoopHead) +
        "  Na1  Na+  0 0 0  1\n"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Error: invalid field.\n"), std::string::npos);
}

TEST(StructCifRead, TypeSymbolsCarryStatesWithoutATypeLoop) {
    Read r = kmfix::read_cif_text(with_atoms(std::string(kAtomLoopHead) +
                                  "  Fe1  Fe2.5+  0 0 0  1\n  S1  S  0.5 0.5 0.5  1\n  Li1  Li+  0.5 0 0  1\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<int, double> fe;
    std::map<std::string, int> os;
    for (const auto& a : r.cell->atom) {
        os[a.type] = a.os;
        if (std::strcmp(a.type, "Fe") == 0) fe[a.os] += a.occ;
    }
    EXPECT_NEAR(fe[2], 0.5, 1e-12);
    EXPECT_NEAR(fe[3], 0.5, 1e-12);
    EXPECT_EQ(os["Li"], 1);  // "Li+" has no digit: the state comes from the parameter file
    EXPECT_EQ(os.count("S"), 1u);
}

TEST(StructCifRead, ForkOsSplitsOnlyFarFromIntegers) {
    std::vector<KELMAR_ATOM> atoms(4);
    atoms[0].value = 99.0;
    atoms[1].value = 1.95;
    atoms[2].value = 2.67;
    atoms[2].occ = 1.0;
    atoms[3].value = -1.85;
    atoms[3].occ = 0.5;
    ASSERT_EQ(kelmar_atom_fork_os(atoms), 0);
    ASSERT_EQ(atoms.size(), 6u);
    EXPECT_EQ(atoms[0].os, 99);
    EXPECT_EQ(atoms[1].os, 2);
    EXPECT_EQ(atoms[2].os, 3);
    EXPECT_NEAR(atoms[2].occ, 0.67, 1e-12);
    EXPECT_EQ(atoms[4].os, 2);
    EXPECT_NEAR(atoms[4].occ, 0.33, 1e-12);
    EXPECT_EQ(atoms[3].os, -1);
    EXPECT_NEAR(atoms[3].occ, 0.5 * 0.15, 1e-12);
    EXPECT_EQ(atoms[5].os, -2);
    EXPECT_NEAR(atoms[5].occ, 0.5 * 0.85, 1e-12);
}

TEST(StructCifRead, StatesFromLabelsAndUnitaryFile) {
    testcli::ScratchDir d;
    testcli::spit(d / "u.dat", "head\nDATA_START\n3 Li 1 1 x\n3 Li 2 7 x\n8 O -2 -2 x\nDATA_END\n11 Na 1 1\n");
    const std::string cif = with_atoms(
        "loop_\n _atom_site_label\n _atom_site_fract_x\n _atom_site_fract_y\n _atom_site_fract_z\n"
        " _atom_site_occupancy\n  Li1 0 0 0 1\n  O12 0.5 0.5 0.5 1\n  Na1 0.25 0.25 0.25 1\n");
    Read r = kmfix::read_cif_text(cif, (d / "u.dat").string());
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> os;
    for (const auto& a : r.cell->atom) os[a.type] = a.os;
    EXPECT_EQ(os["Li"], 1);   // the first line of the element
    EXPECT_EQ(os["O"], -2);
    EXPECT_EQ(os["Na"], 99);  // after DATA_END: not known

    Read missing = kmfix::read_cif_text(cif, (d / "none.dat").string());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Error: unable to open"), std::string::npos);
}

TEST(StructCifRead, NameOnlyFromHmSymbolWithShippedSettings) {
    if (!fs::exists(kSym)) GTEST_SKIP() << "settings file not shipped";
    const std::string cif =
        "_symmetry_space_group_name_H-M   Fm-3m\n_cell_length_a 5.6\n_cell_length_b 5.6\n_cell_length_c 5.6\n"
        "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n" +
        std::string(kAtomLoopHead) + "  Na1 Na+ 0 0 0 1\n  Cl1 Cl- 0.5 0.5 0.5 1\n";
    Read r = kmfix::read_cif_text(cif);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.cell->total(), 8);
    EXPECT_STREQ(r.sym->sg_HM, "Fm-3m");
    EXPECT_EQ(r.cell->Z, 0);
}

TEST(StructCifBad, EachBadInputFailsWithAnErrorLine) {
    const std::string atoms = std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2 0.3  1.0\n";
    struct Case {
        const char* what;
        std::string cif;
        const char* error;
    } cases[] = {
        {"empty", "", "Error:"},
        {"no atom loop", kHead, "Error: unable to find compulsory keyword '_atom_site_label' in cif file.\n"},
        // (a missing occupancy column and a . occupancy read as occupancy 1: test_cif_realworld.cpp)
        {"no z column",
         with_atoms("loop_\n _atom_site_label\n _atom_site_fract_x\n _atom_site_fract_y\n _atom_site_occupancy\n"
                    "  Li1 0 0 1\n"),
         "Error: invalid keywords.\n"},
        {"question mark", with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  ? 0.2 0.3  1.0\n"),
         "Error: unable to read fractional x.\n"},
        {"dot coordinate", with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 . 0.3  1.0\n"),
         "Error: unable to read fractional y.\n"},
        {"word occupancy", with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2 0.3  full\n"),
         "Error: the value 'full' of _atom_site_occupancy in row 1 of its loop (Li1) is not a number.\n"},
        {"loop cut", with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2\n"),
         "Error: malformed CIF: "},
        {"negative occupancy", with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2 0.3  -0.5\n"),
         "Error: negative occupancy"},
        {"zero length", std::string(kHead).replace(std::string(kHead).find("4.0"), 3, "0.0") + atoms,
         "Error: invalid lattice"},
        {"missing length", std::string(kHead).replace(std::string(kHead).find("_cell_length_c"), 14, "_cell_xx") +
                               atoms,
         "Error: kelmar_cell_import_cif_grep_keyword() returns NULL.\n"},
        {"four components",
         "loop_\n _symmetry_equiv_pos_as_xyz\n 'x,y,z,x'\n_cell_length_a 4\n" + atoms,
         "Error: invalid symmetry operation"},
        {"no symmetry", "_cell_length_a 4\n" + atoms, "Error: kelmar_symmetry_import_from_array_char_2D() returns NULL.\n"},
        {"type without letter", with_atoms(std::string(kAtomLoopHead) + "  Li1  12+  0.1 0.2 0.3  1.0\n"),
         "Error: invalid field content 12+.\n"},
        {"label without letter",
         with_atoms("loop_\n _atom_site_label\n _atom_site_fract_x\n _atom_site_fract_y\n _atom_site_fract_z\n"
                    " _atom_site_occupancy\n  12 0 0 0 1\n"),
         "Error: unable to read atom.type from atom.name.\n"},
    };
    for (const auto& c : cases) {
        Read r = kmfix::read_cif_text(c.cif);
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_FALSE(r.cell) << c.what;
        EXPECT_FALSE(r.sym) << c.what;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.what << ": " << r.err;
    }
}

TEST(StructCifBad, RandomBytesAndLongLabelsDoNotCrash) {
    std::mt19937 gen(1);
    for (int k = 0; k < 20; k++) {
        std::string junk(2000, '\0');
        for (auto& ch : junk) ch = static_cast<char>(gen() & 0xff);
        if (k % 2 == 1) junk = std::string(kHead) + kAtomLoopHead + junk;
        Read r = kmfix::read_cif_text(junk);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Error:"), std::string::npos);
    }
    Read r = kmfix::read_cif_text(with_atoms(std::string(kAtomLoopHead) + "  " + std::string(200, 'L') +
                                  "  Li1+  0.1 0.2 0.3  1.0\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::strlen(r.cell->atom[0].name), 11u);  // the label is cut to its first 11 characters
}

TEST(StructCifWrite, LayoutOfTheWrittenFile) {
    Read r = kmfix::read_cif_text(with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2 0.3  1.0\n"
                                                               "  O1   O2-   0 0 0  0.5\n"));
    ASSERT_EQ(r.status, 0) << r.err;
    testing::internal::CaptureStdout();
    auto text = kelmar_cell_export_cif_to_text(r.cell.get(), r.sym.get());
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(text);
    const std::string want =
        "data_generated-by-kelmar\r\n\n"
        "_chemical_name_systematic         'Li1+:2.000 O2-:0.500 '\r\n"
        "_cell_length_a                    4.000000\r\n"
        "_cell_length_b                    5.000000\r\n"
        "_cell_length_c                    6.000000\r\n"
        "_cell_angle_alpha                 90.000000\r\n"
        "_cell_angle_beta                  90.000000\r\n"
        "_cell_angle_gamma                 90.000000\r\n"
        "_cell_volume                      120.000\r\n"
        "_cell_formula_units_Z             2\r\n"
        "_symmetry_space_group_name_H-M    'P -1'\r\n"
        "_symmetry_Int_Tables_number       2\r\n"
        "\r\nloop_\r\n  _symmetry_equiv_pos_site_id\r\n  _symmetry_equiv_pos_as_xyz\r\n"
        "    1    'x, y, z'\r\n    2    '-x, -y, -z'\r\n"
        "\r\nloop_\r\n  _atom_type_symbol\r\n  _atom_type_oxidation_number\r\n"
        "  Li1+     1\r\n  O2-     -2\r\n"
        "\r\nloop_\r\n  _atom_site_label\r\n  _atom_site_type_symbol\r\n  _atom_site_fract_x\r\n"
        "  _atom_site_fract_y\r\n  _atom_site_fract_z\r\n  _atom_site_occupancy\r\n"
        "  Li1  Li1+  0.10000000  0.20000000  0.30000000  1.000000\r\n"
        "  O1  O2-  0.00000000  0.00000000  0.00000000  0.500000\r\n"
        "\r\n#end of data\r\n";
    EXPECT_EQ(text->content, want);

    testing::internal::CaptureStdout();
    auto p1 = kelmar_cell_export_cif_to_text(r.cell.get(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: symmetry info missing. Using P1.\n");
    ASSERT_TRUE(p1);
    EXPECT_NE(p1->content.find("_symmetry_space_group_name_H-M    'P 1'\r\n"), std::string::npos);
    EXPECT_NE(p1->content.find("  Li1  Li1+  0.90000000  0.80000000  0.70000000  1.000000\r\n"), std::string::npos);
}

TEST(StructCifWrite, RoundTripOverAllSampleFiles) {
    testcli::ScratchDir d;
    for (const auto& f : sample_files()) {
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int st = kelmar_cell_import_cif_from_file(&cell, &sym, f.string().c_str(), kSym.c_str(), kUni.c_str());
        const std::string out_name = (d / "rt.cif").string();
        int wst = st == 0 ? kelmar_cell_export_cif_to_file(out_name.c_str(), cell.get(), sym.get()) : 1;
        std::unique_ptr<KELMAR_CELL> back;
        std::unique_ptr<KELMAR_SYMMETRY> bsym;
        int bst = wst == 0 ? kelmar_cell_import_cif_from_file(&back, &bsym, out_name.c_str(), kSym.c_str(), kUni.c_str())
                           : 1;
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(st, 0) << f << err;
        ASSERT_EQ(wst, 0) << f << err;
        ASSERT_EQ(bst, 0) << f << err;
        for (int i = 0; i < 3; i++) {
            EXPECT_NEAR(back->parameter[i], cell->parameter[i], 5e-4) << f;
            EXPECT_NEAR(back->angle[i], cell->angle[i], 5e-4) << f;
        }
        ASSERT_EQ(back->total(), cell->total()) << f;
        EXPECT_EQ(bsym->total(), sym->total()) << f;
        // the same atoms to three decimals, up to order (images of rounded coordinates under
        // operations such as x-y may differ by two roundings)
        std::vector<char> used(back->atom.size(), 0);
        for (const auto& a : cell->atom) {
            bool hit = false;
            for (std::size_t j = 0; j < back->atom.size() && !hit; j++) {
                const auto& b = back->atom[j];
                if (used[j] || a.os != b.os || std::strcmp(a.type, b.type) != 0 || std::fabs(a.occ - b.occ) > 6e-4 + 1e-9)
                    continue;
                bool near = true;
                for (int k = 0; k < 3; k++) {
                    const double dd = std::fabs(a.x_f[k] - b.x_f[k]);
                    near = near && (dd < 2.1e-3 || std::fabs(dd - 1) < 2.1e-3);
                }
                if (near) used[j] = hit = true;
            }
            EXPECT_TRUE(hit) << f << " " << a.name;
        }
    }
}

TEST(StructCifWrite, ImageSeriesReadsEveryFile) {
    testcli::ScratchDir d;
    Read r = kmfix::read_cif_text(with_atoms(std::string(kAtomLoopHead) + "  Li1  Li1+  0.1 0.2 0.3  1.0\n"));
    ASSERT_EQ(r.status, 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; i++) {
        const std::string name = (d / ("path." + std::to_string(i) + ".cif")).string();
        kelmar_cell_export_cif_to_file(name.c_str(), r.cell.get(), r.sym.get());
    }
    auto cells = kelmar_cells_import_cif_from_file((d / "path").string().c_str(), 3, kSym.c_str(), kUni.c_str());
    auto missing = kelmar_cells_import_cif_from_file((d / "path").string().c_str(), 4, kSym.c_str(), kUni.c_str());
    auto none = kelmar_cells_import_cif_from_file((d / "path").string().c_str(), 0, kSym.c_str(), kUni.c_str());
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(cells.size(), 3u);
    EXPECT_TRUE(missing.empty());
    EXPECT_TRUE(none.empty());
    EXPECT_NE(err.find("Error: number of cells must be larger than zero.\n"), std::string::npos);
}

TEST(StructCifRead, FixedSiteColumn) {
    const CifLoop loop = atom_loop("loop_\n _atom_site_label\n _atom_site_kelmar_fixed\n Li1 T\n O1 false\n Na1 true\n");
    std::vector<KELMAR_ATOM> atoms(3);
    atoms[1].ignored = true;
    ASSERT_EQ(kelmar_cell_import_cif_read_atom_constraint(atoms, loop), 0);
    EXPECT_TRUE(atoms[0].ignored);
    EXPECT_FALSE(atoms[1].ignored);
    EXPECT_TRUE(atoms[2].ignored);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_import_cif_read_atom_constraint(atoms, atom_loop("loop_\n _atom_site_label\n Li1\n")), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to find keyword '_atom_site_kelmar_fixed'.\n");
}

// The relaxation commands' second pass over a file reads the fixed-site column from the same
// block and the same rows as the structure reader: a comment between rows or a row spread over two
// lines does not cut the loop short, and a leading block without sites is passed over.
TEST(StructCifRead, FixedSitesComeFromTheStructuresRows) {
    testcli::ScratchDir d;
    const std::string path = (d / "fixed.cif").string();
    testcli::spit(path, "data_global\n_journal_year 2001\n" + with_atoms(std::string(kAtomLoopHead) +
                        " _atom_site_kelmar_fixed\n"
                        "  Li1 Li1+ 0 0 0 1 T\n# the anion\n  O1 O2- 0.5 0.5\n 0.5 1 t\n  Na1 Na1+ 0.5 0 0 1 F\n"));
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_EQ(kelmar_cell_import_cif_from_file(&cell, &sym, path.c_str(), kSym.c_str(), kUni.c_str()), 0);
    ASSERT_EQ(kelmar_cell_import_cif_read_constraint(cell.get(), path.c_str()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::map<std::string, int> fixed, total;
    for (const auto& a : cell->atom) {
        total[a.name]++;
        fixed[a.name] += a.ignored ? 1 : 0;
    }
    EXPECT_EQ(total["Li1"], 1);  // at the inversion centre
    EXPECT_EQ(fixed["Li1"], 1);
    EXPECT_EQ(total["O1"], 1);
    EXPECT_EQ(fixed["O1"], 1);
    EXPECT_EQ(total["Na1"], 1);
    EXPECT_EQ(fixed["Na1"], 0);
}

TEST(StructCifSpeed, FiveThousandSiteCellReadsQuickly) {
    // 5,000 sites after expansion: 625 general positions under 8 operations of P m m m
    std::string cif =
        "_cell_length_a 40\n_cell_length_b 40\n_cell_length_c 40\n_cell_angle_alpha 90\n_cell_angle_beta 90\n"
        "_cell_angle_gamma 90\nloop_\n _symmetry_equiv_pos_as_xyz\n x,y,z\n -x,-y,z\n -x,y,-z\n x,-y,-z\n"
        " -x,-y,-z\n x,y,-z\n x,-y,z\n -x,y,z\n" +
        std::string(kAtomLoopHead);
    int n = 0;
    for (int i = 0; i < 25; i++)
        for (int j = 0; j < 25; j++) {
            char line[128];
            std::snprintf(line, sizeof(line), "  O%d O2- %.4f %.4f %.4f 1\n", n++, 0.011 + 0.019 * i, 0.013 + 0.019 * j,
                          0.017 + 0.0007 * (i + j));
            cif += line;
        }
    const auto t0 = std::chrono::steady_clock::now();
    Read r = kmfix::read_cif_text(cif);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.cell->total(), 5000);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(s, 10.0);
#else
    EXPECT_LT(s, 1.0);
#endif
}
