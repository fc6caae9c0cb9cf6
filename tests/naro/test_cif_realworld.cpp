// CIFs as other programs write them, read by the analyser: every class reads to the right cell
// (atoms per element after the P1 expansion) or is refused with a line that says why.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <cctype>
#include <map>
#include <string>

#include "cif.hpp"
#include "naro_fixtures.hpp"

namespace fs = std::filesystem;

namespace {

struct RealCif : narotest::ErrorStreamTest {
    NARO_cif cif;
    std::string out;
    // Loads the text; with the settings file of the build in bin/ of the working directory.
    int load(const std::string& text) {
        NARO_free_cif(cif);
        NARO_init_cif(cif);
        std::freopen((dir / "err.txt").c_str(), "w", stderr);
        fs::create_directories(dir / "bin");
        fs::copy_file(fs::path(NARO_DATA_DIR) / "database_symcards.dat", dir / "bin" / "database_symcards.dat",
                      fs::copy_options::overwrite_existing);
        testcli::spit(dir / "t.cif", text);
        narotest::CwdGuard cwd(dir.path());
        ::testing::internal::CaptureStdout();
        const int r = NARO_load_cif("t.cif", cif);
        out = ::testing::internal::GetCapturedStdout();
        return r;
    }
    // atoms per element of the expanded cell
    std::map<std::string, int> composition() {
        std::map<std::string, int> n;
        if (NARO_add_P1_to_cif(cif) != 0) return n;
        for (const NARO_site& s : cif.site_all) {
            std::string el;
            for (char c : s.type)
                if (std::isalpha(static_cast<unsigned char>(c))) el.push_back(c);
                else break;
            n[el]++;
        }
        return n;
    }
};

std::string cell(double a, double b, double c) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "_cell_length_a %g\n_cell_length_b %g\n_cell_length_c %g\n_cell_angle_alpha 90\n"
                  "_cell_angle_beta 90\n_cell_angle_gamma 90\n", a, b, c);
    return buf;
}

const char* kSites = "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                     "_atom_site_fract_z\n_atom_site_occupancy\n";

}  // namespace

TEST_F(RealCif, EveryClassReadsToTheRightCell) {
    const std::string nacl = std::string(kSites) + "Na1 Na1+ 0 0 0 1\nCl1 Cl1- 0.5 0.5 0.5 1\n";
    struct Case {
        const char* what;
        std::string cif;
        std::map<std::string, int> count;
    } cases[] = {
        {"comments inside loops", "data_x\n" + cell(5, 5, 5) +
                                      "loop_\n_symmetry_equiv_pos_as_xyz\n# identity\nx,y,z # one\n-x,-y,-z\n" + kSites +
                                      "Li1 Li1+ 0.1 0.2 0.3 1 # Li\n# next\nO1 O2- 0 0 0 1\n",
         {{"Li", 2}, {"O", 1}}},
        {"sites of one block only",
         "data_a\n" + cell(6, 6, 6) + "_symmetry_space_group_name_H-M 'P 1'\n" + kSites + "K1 K1+ 0 0 0 1\n" +
             "data_b\n" + cell(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n" + kSites + "Li1 Li1+ 0 0 0 1\n",
         {{"K", 1}}},
        {"fractions", "data_x\n" + cell(5, 5, 5) + "_symmetry_space_group_name_H-M 'P -1'\n" + kSites +
                          "Li1 Li1+ 1/4 1/3 3/4 1\n",
         {{"Li", 2}}},
        {"elements from labels", "data_x\n" + cell(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n"
                                 "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                                 "KI 0 0 0\nOa 0.5 0 0\nMgIII 0 0.5 0\n",
         {{"K", 1}, {"O", 1}, {"Mg", 1}}},
        {"operations that lack the identity",
         "data_x\n" + cell(5, 5, 5) + "loop_\n_symmetry_equiv_pos_as_xyz\n-x,-y,-z\nx+1/2,y+1/2,z\n" + kSites +
             "Li1 Li1+ 0.1 0.2 0.3 1\n",
         {{"Li", 4}}},
        {"H-M symbol without operations", "data_x\n" + cell(5.64, 5.64, 5.64) + "_symmetry_space_group_name_H-M Fm-3m\n" + nacl,
         {{"Na", 4}, {"Cl", 4}}},
        {"Hall symbol without operations",
         "data_x\n" + cell(5.64, 5.64, 5.64) + "_symmetry_space_group_name_Hall '-F 4 2 3'\n" + nacl,
         {{"Na", 4}, {"Cl", 4}}},
        {"number without operations", "data_x\n" + cell(5.64, 5.64, 5.64) + "_space_group_IT_number 225\n" + nacl,
         {{"Na", 4}, {"Cl", 4}}},
        {"compact P43212", "data_x\n" + cell(5, 5, 7) + "_symmetry_space_group_name_H-M P43212\n" + kSites +
                               "Li1 Li1+ 0.1 0.2 0.3 1\n",
         {{"Li", 8}}},
        {"no occupancy, DDLm tags, double quotes, wrapped rows",
         "data_x\n_cell.length_a 5.64\n_cell.length_b 5.64\n_cell.length_c \"5.64\"\n_cell.angle_alpha 90\n"
         "_cell.angle_beta 90\n_cell.angle_gamma 90\n_space_group.name_H-M_alt \"F m -3 m\"\nloop_\n_atom_site.label\n"
         "_atom_site.type_symbol\n_atom_site.fract_x\n_atom_site.fract_y\n_atom_site.fract_z\n"
         "\"Na 1\" Na1+ 0\n 0 0\nCl1 Cl1- 0.5 0.5 0.5\n",
         {{"Na", 4}, {"Cl", 4}}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(load(c.cif), 0) << c.what << "\n" << err();
        EXPECT_EQ(composition(), c.count) << c.what;
    }
    // the block used is named when there are several
    ASSERT_EQ(load(cases[1].cif), 0);
    EXPECT_NE(out.find("Message: 2 data blocks in the CIF; the structure is read from data_a.\n"), std::string::npos) << out;
}

TEST_F(RealCif, RefusalsNameTheReason) {
    const std::string ok = "data_x\n" + cell(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n";
    struct Case {
        const char* what;
        std::string cif;
        const char* error;
    } cases[] = {
        {"gzip", std::string("\x1f\x8b\x08\0\0\0", 6), "the file is gzip-compressed; decompress it first (gunzip)\n"},
        {"label that is a word", ok + "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
                                      "_atom_site_fract_z\nOxy 0 0 0\n",
         "Error: the site label 'Oxy' names no element; the CIF needs an _atom_site_type_symbol column\n"},
        {"unknown group", "data_x\n" + cell(5, 5, 5) + "_symmetry_space_group_name_H-M 'Q 9'\n" + kSites + "Li1 Li1+ 0 0 0 1\n",
         "Error: the space group of the CIF (Q 9) is not in database_symcards.dat\n"},
        {"operations of no group", "data_x\n" + cell(5, 5, 5) +
                                       "loop_\n_symmetry_equiv_pos_as_xyz\nx+1/7,y,z\nx,y+1/7,z\nx,y,z+1/7\n" + kSites +
                                       "Li1 Li1+ 0 0 0 1\n",
         "Error: the 3 symmetry operations of the CIF are not those of a space group\n"},
        {"question-mark coordinate", ok + kSites + "Li1 Li1+ ? 0 0 1\n",
         "Error: unable to read the fractional coordinates of site Li1\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load(c.cif), 1) << c.what;
        EXPECT_NE(err().find(c.error), std::string::npos) << c.what << "\n" << err();
    }
}

TEST_F(RealCif, RealWorldFiles) {
    const fs::path data = fs::path(TEST_DATA_DIR) / "realworld";
    struct Case {
        const char* file;
        int atoms;  // -1: refused
    } cases[] = {{"sn5033sup1.cif", 132}, {"2011406-xy-simple-fract.cif", 30}, {"oqmd-104812.cif", 28},
                 {"zeolite_gismondine.cif", 80}, {"COD_7228524.cif", 3},
                 {"00993.cif", 186}};  // water oxygens labelled WatII ... read as O
    for (const auto& c : cases) {
        std::string text = testcli::slurp(data / c.file);
        const int r = load(text);
        if (c.atoms < 0) {
            EXPECT_EQ(r, 1) << c.file;
            EXPECT_NE(err().find("Error: the site label 'WatII' names no element"), std::string::npos) << err();
            continue;
        }
        ASSERT_EQ(r, 0) << c.file << "\n" << err();
        ASSERT_EQ(NARO_add_P1_to_cif(cif), 0);
        EXPECT_EQ(cif.site_all_no, c.atoms) << c.file;
    }
}

// Bond-valence answers need oxidation states and parameters: without them the run says so and
// fails instead of printing sums of zero; the structure itself still loads and prints.
TEST(RealCifProgram, SumsWithoutStatesOrParametersAreErrorsNotZeros) {
    testcli::ScratchDir d;
    const std::string head = "data_x\n_cell_length_a 4.6\n_cell_length_b 4.6\n_cell_length_c 4.6\n_cell_angle_alpha 90\n"
                             "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'F m -3 m'\n"
                             "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                             "_atom_site_fract_z\n";
    testcli::spit(d / "plain.cif", head + "Li1 Li 0.25 0.25 0.25\nO1 O 0 0 0\n");
    testcli::spit(d / "peroxide.cif", head + "Li1 Li1+ 0.25 0.25 0.25\nO1 O1- 0 0 0\n");
    auto r = narotest::naro("--cif plain.cif --calc-bvsum --calc-gii", d.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("0.000000"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Global instability index"), std::string::npos) << r.out;
    EXPECT_NE(narotest::errors(d.path()).find("Error: no oxidation state for site(s) Li1, O1: bond-valence sums need "
                                              "charged type symbols"),
              std::string::npos)
        << narotest::errors(d.path());
    // a species the parameter file does not hold
    fs::create_directories(d / "bin");
    testcli::spit(d / "bin" / "database_binary.dat", "DATA_START\nLi 1 O -2 1.466 0.5 4 5.0\n");
    r = narotest::naro("--cif peroxide.cif --calc-bvsum", d.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("> Li1"), std::string::npos) << r.out;
    EXPECT_NE(narotest::errors(d.path()).find("Error: database_binary.dat has no bond-valence parameters for Li1+"),
              std::string::npos)
        << narotest::errors(d.path());
    // what needs no states still works
    r = narotest::naro("--cif plain.cif --print-all-sites", d.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Li1          Li"), std::string::npos) << r.out;
}

// A CIF path of more than 1000 characters opens.
TEST(RealCifProgram, LongPathOpens) {
    testcli::ScratchDir d;
    fs::path deep = d.path();
    for (int i = 0; i < 9; ++i) deep /= std::string(110, static_cast<char>('a' + i));
    fs::create_directories(deep);
    fs::copy_file(fs::path(TEST_DATA_DIR) / "samples" / "Li2O.cif", deep / "Li2O.cif");
    const std::string path = (deep / "Li2O.cif").string();
    ASSERT_GT(path.size(), 1000u);
    auto r = narotest::naro("--cif " + testcli::quote(path) + " --calc-charge", d.path());
    EXPECT_EQ(r.status, 0) << narotest::errors(d.path());
    EXPECT_EQ(r.out, "Total charge per unit cell: 0.000\n");
}
