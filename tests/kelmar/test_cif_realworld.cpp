// CIFs as other programs write them: each class of input either reads to the right cell or is
// refused with a line that says why. Compositions are counted per element of the expanded cell.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "cli.hpp"
#include "cif-read.hpp"

namespace {

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";

struct Got {
    int status = 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    std::string out, err;
    // element -> number of atoms and summed occupancy
    std::map<std::string, std::pair<int, double>> comp;
};

Got read(const std::string& cif) {
    Got g;
    auto text = kelmar_text_new();
    text->content = cif;  // NUL bytes included
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    g.status = kelmar_cell_import_cif_from_text(&g.cell, &g.sym, text.get(), kSym.c_str(), kUni.c_str());
    g.out = testing::internal::GetCapturedStdout();
    g.err = testing::internal::GetCapturedStderr();
    if (g.cell)
        for (const auto& a : g.cell->atom) {
            g.comp[a.type].first++;
            g.comp[a.type].second += a.occ;
        }
    return g;
}

std::string cell_lines(double a, double b, double c, double gamma = 90) {
    char buf[256];
    std::snprintf(buf, sizeof(buf),
                  "_cell_length_a %g\n_cell_length_b %g\n_cell_length_c %g\n_cell_angle_alpha 90\n"
                  "_cell_angle_beta 90\n_cell_angle_gamma %g\n",
                  a, b, c, gamma);
    return buf;
}

const char* kSites = "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                     "_atom_site_fract_z\n_atom_site_occupancy\n";

const char* kPmmmOps = "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,-y,z\n-x,y,-z\nx,-y,-z\n-x,-y,-z\nx,y,-z\n"
                       "x,-y,z\n-x,y,z\n";

}  // namespace

// Each silent fault of a line reader, as a file that must read to a known composition.
TEST(CifRealWorld, SilentClassesReadToTheRightCell) {
    struct Case {
        const char* what;
        std::string cif;
        std::map<std::string, int> count;  // atoms per element
        const char* out;                   // a line the reader must print (or "")
    } cases[] = {
        {"comment lines and row comments inside loops",
         "data_x\n" + cell_lines(5, 5, 5) +
             "loop_\n_symmetry_equiv_pos_as_xyz\n# the identity\nx,y,z # first\n\n-x,-y,-z\n" + kSites +
             "Li1 Li+ 0.1 0.2 0.3 1 # lithium\n# oxygen follows\nO1 O2- 0 0 0 1\n",
         {{"Li", 2}, {"O", 1}},
         ""},
        {"the first block with a cell and sites, told by name",
         "data_global\n_journal_name_full 'J. Test'\n_cell_length_a 99\n"
         "data_modulated\n" + cell_lines(7, 7, 7) +
             "_space_group_ssg_name 'C2/m(a0g)0s'\nloop_\n_space_group_symop_ssg_operation_algebraic\nx1,x2,x3,x4\n" +
             kSites + "Na1 Na+ 0 0 0 1\n" + "data_real\n" + cell_lines(5, 5, 5) +
             "_symmetry_space_group_name_H-M 'P -1'\n" + kSites + "Li1 Li+ 0.1 0.2 0.3 1\nO1 O2- 0 0 0 1\n" +
             "data_other\n" + cell_lines(6, 6, 6) + "_symmetry_space_group_name_H-M 'P 1'\n" + kSites +
             "K1 K+ 0 0 0 1\n",
         {{"Li", 2}, {"O", 1}},
         "Message: 4 data blocks in the file; the structure is read from data_real.\n"},
        {"coordinates written as fractions",
         "data_x\n" + cell_lines(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n" + kSites +
             "Li1 Li+ 3/4 1/2 -1/3 1\nO1 O2- 0 0 0 1\n",
         {{"Li", 1}, {"O", 1}},
         ""},
        {"elements from labels without a type-symbol column",
         "data_x\n" + cell_lines(5, 5, 5) +
             "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
             "_atom_site_fract_z\n_atom_site_occupancy\nKI 0 0 0 1\nOa 0.5 0 0 1\nMgIII 0 0.5 0 1\nOW1 0.5 0.5 0 1\n",
         {{"K", 1}, {"O", 2}, {"Mg", 1}},
         "Message: unable to find keyword '_atom_site_type_symbol'.\n"},
        {"an operation list that lacks the identity and products",
         "data_x\n" + cell_lines(5, 5, 5) + "loop_\n_symmetry_equiv_pos_as_xyz\n-x,-y,-z\nx+1/2,y+1/2,z\n" + kSites +
             "Li1 Li+ 0.1 0.2 0.3 1\n",
         {{"Li", 4}},
         "Warning: the 2 symmetry operations of the file do not form a group (the identity is missing); completed by "
         "composition to 4 operations.\n"},
    };
    for (const auto& c : cases) {
        Got g = read(c.cif);
        ASSERT_EQ(g.status, 0) << c.what << "\n" << g.err;
        std::map<std::string, int> count;
        for (const auto& [el, n] : g.comp) count[el] = n.first;
        EXPECT_EQ(count, c.count) << c.what << "\n" << g.out;
        if (*c.out) {
            EXPECT_NE(g.out.find(c.out), std::string::npos) << c.what << "\n" << g.out;
        }
    }
}

// Duplicate removal works in angstrom: split positions of a disordered site on a long axis stay
// apart, images of a special position merge, and occupancy is never lost without a word.
TEST(CifRealWorld, ImagesMergeByDistanceAndKeepOccupancy) {
    const std::string head = "data_x\n" + cell_lines(10, 10, 79.6) + kPmmmOps + kSites;
    // two half-occupied Li 0.37 A apart along c, both on the mirror plane z=0 ... z=0.00465
    Got split = read(head + "Li1 Li+ 0.1 0.2 0.25 0.5\nLi2 Li+ 0.1 0.2 0.25465 0.5\n");
    ASSERT_EQ(split.status, 0) << split.err;
    EXPECT_EQ(split.comp["Li"].first, 16);
    EXPECT_NEAR(split.comp["Li"].second, 8.0, 1e-9);
    // images of one site 0.19 A apart (x = 0.0095 on a 10 A axis) are split positions: kept
    Got near = read(head + "Li1 Li+ 0.0095 0.2 0.25 0.125\n");
    ASSERT_EQ(near.status, 0) << near.err;
    EXPECT_EQ(near.comp["Li"].first, 8);
    // a special position written with four decimals: the images merge
    Got special = read(head + "O1 O2- 0.0000 0.5001 0.25 1\n");
    ASSERT_EQ(special.status, 0) << special.err;
    EXPECT_EQ(special.comp["O"].first, 2);
    // a partly occupied site whose images merge across more than rounding is reported
    Got joined = read(head + "Li1 Li+ 0.003 0.2 0.25 0.5\n");
    ASSERT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(joined.comp["Li"].first, 4);
    EXPECT_NE(joined.out.find("Warning: images of site Li1 (occupancy 0.500) up to 0.060 A apart are taken as one "
                              "position.\n"),
              std::string::npos)
        << joined.out;
    // a site listed twice (once as a symmetry copy) counts once, and the reader says so
    Got copy = read(head + "O1 O2- 0.1 0.2 0.25 1\nO2 O2- 0.9 0.8 0.25 1\n");
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_EQ(copy.comp["O"].first, 8);
    EXPECT_NE(copy.out.find("Warning: sites O1 and O2 coincide; O2 is taken as a symmetry copy of O1.\n"),
              std::string::npos)
        << copy.out;
    // two partial occupants of one place (different occupancy) both stay
    Got shared = read(head + "O1 O2- 0.1 0.2 0.25 0.7\nO2 O2- 0.1 0.2 0.25 0.3\n");
    ASSERT_EQ(shared.status, 0) << shared.err;
    EXPECT_NEAR(shared.comp["O"].second, 8.0, 1e-9);
    // a multiplicity column that disagrees with the expansion is reported
    Got mul = read("data_x\n" + cell_lines(10, 10, 10) + kPmmmOps +
                   "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_symmetry_multiplicity\n"
                   "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nO1 O2- 4 0.1 0.2 0.3\n");
    ASSERT_EQ(mul.status, 0) << mul.err;
    EXPECT_NE(mul.out.find("Warning: site O1 has 8 positions in the cell; the file gives multiplicity 4.\n"),
              std::string::npos)
        << mul.out;
}

// Files a line reader refused and a CIF reader takes.
TEST(CifRealWorld, RefusedClassesNowRead) {
    const std::string sites = std::string(kSites) + "Na1 Na+ 0 0 0 1\nCl1 Cl- 0.5 0.5 0.5 1\n";
    const std::string cubic = cell_lines(5.64, 5.64, 5.64);
    struct Case {
        const char* what;
        std::string cif;
        int atoms;
        const char* hm;  // expected sg_HM ("" for an operation list)
    } cases[] = {
        {"no occupancy column",
         "data_x\n" + cubic + "_space_group_name_H-M_alt 'F m -3 m'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                              "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nNa1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n",
         8, "F m -3 m"},
        {"? and . occupancies", "data_x\n" + cubic + "_symmetry_space_group_name_H-M Fm-3m\n" + kSites +
                                    "Na1 Na+ 0 0 0 ?\nCl1 Cl- 0.5 0.5 0.5 .\n",
         8, "Fm-3m"},
        {"double quotes, text field, upper-case tags",
         "data_x\n_CELL_LENGTH_A 5.64\n_Cell_Length_B 5.64\n_cell_length_c \"5.64\"\n_cell_angle_alpha 90\n"
         "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M\n;\nF m -3 m\n;\n" +
             std::string(kSites) + "\"Na 1\" Na+ 0 0 0 1\n'Cl 1' Cl- 0.5 0.5 0.5 1\n",
         8, "F m -3 m"},
        {"DDLm dotted tags", "data_x\n_cell.length_a 5.64\n_cell.length_b 5.64\n_cell.length_c 5.64\n"
                             "_cell.angle_alpha 90\n_cell.angle_beta 90\n_cell.angle_gamma 90\n"
                             "_space_group.name_H-M_alt 'F m -3 m'\n_symmetry.Int_Tables_number 225\nloop_\n"
                             "_atom_site.label\n_atom_site.type_symbol\n_atom_site.fract_x\n_atom_site.fract_y\n"
                             "_atom_site.fract_z\n_atom_site.occupancy\nNa1 Na+ 0 0 0 1\nCl1 Cl- 0.5 0.5 0.5 1\n",
         8, "F m -3 m"},
        {"DDLm operation loop", "data_x\n" + cubic + "loop_\n_space_group_symop.id\n_space_group_symop.operation_xyz\n"
                                "1 'x, y, z'\n2 '-x, -y, -z'\n" + sites,
         2, ""},
        {"an unknown H-M symbol falls back to the Hall symbol",
         "data_x\n" + cubic + "_symmetry_space_group_name_H-M 'F m 3 m (no such)'\n_space_group_name_Hall '-F 4 2 3'\n" +
             sites,
         8, ""},
        {"an unknown H-M symbol falls back to the number",
         "data_x\n" + cubic + "_symmetry_space_group_name_H-M 'Q 9'\n_symmetry_Int_Tables_number 225\n" + sites, 8, ""},
        {"ICSD origin letter", "data_x\n" + cubic + "_symmetry_space_group_name_H-M 'F m -3 m Z'\n" + sites, 8, ""},
        {"compact P4322", "data_x\n" + cell_lines(5, 5, 7) + "_symmetry_space_group_name_H-M P4322\n" + kSites +
                              "Li1 Li+ 0.1 0.2 0.3 1\n",
         8, "P4322"},
        {"compact P43212", "data_x\n" + cell_lines(5, 5, 7) + "_symmetry_space_group_name_H-M P43212\n" + kSites +
                               "Li1 Li+ 0.1 0.2 0.3 1\n",
         8, "P43212"},
        {"a loop row wrapped onto the next line",
         "data_x\n" + cubic + "_symmetry_space_group_name_H-M 'F m -3 m'\n" + kSites +
             "Na1 Na+ 0 0\n   0 1\nCl1 Cl- 0.5\n0.5 0.5 1\n",
         8, "F m -3 m"},
        {"CR line ends only", "data_x\r" + std::string("_cell_length_a 5.64\r_cell_length_b 5.64\r_cell_length_c 5.64\r") +
                                  "_cell_angle_alpha 90\r_cell_angle_beta 90\r_cell_angle_gamma 90\r# comment\r"
                                  "_symmetry_space_group_name_H-M 'F m -3 m'\rloop_\r_atom_site_label\r"
                                  "_atom_site_type_symbol\r_atom_site_fract_x\r_atom_site_fract_y\r_atom_site_fract_z\r"
                                  "Na1 Na+ 0 0 0\rCl1 Cl- 0.5 0.5 0.5\r",
         8, "F m -3 m"},
        {"byte-order mark and letters outside ASCII",
         "\xef\xbb\xbf" "data_x\n_publ_author_name M\xc3\xbcller\n" + cubic + "_symmetry_space_group_name_H-M 'F m -3 m'\n" +
             sites,
         8, "F m -3 m"},
    };
    for (const auto& c : cases) {
        Got g = read(c.cif);
        ASSERT_EQ(g.status, 0) << c.what << "\n" << g.err << g.out;
        EXPECT_EQ(g.cell->total(), c.atoms) << c.what << "\n" << g.out;
        if (*c.hm || std::string(c.what) == "DDLm operation loop") {
            EXPECT_STREQ(g.sym->sg_HM, c.hm) << c.what;
        }
        for (const auto& a : g.cell->atom) EXPECT_NEAR(a.occ, 1.0, 1e-12) << c.what;
    }
    std::string mac = "data_x\n" + cell_lines(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n" + kSites +
                      "Li1 Li+ 0 0 0 1\n";
    for (char& ch : mac)
        if (ch == '\n') ch = '\r';
    Got cr = read(mac);
    EXPECT_EQ(cr.status, 0) << cr.err;
    EXPECT_NE(cr.out.find("Message: lines end with a carriage return alone (classic Mac OS); read as line ends.\n"),
              std::string::npos)
        << cr.out;
}

// What cannot be read is refused with one line that names the reason.
TEST(CifRealWorld, RefusalsNameTheReason) {
    const std::string ok_cell = "data_x\n" + cell_lines(5, 5, 5) + "_symmetry_space_group_name_H-M 'P 1'\n";
    struct Case {
        const char* what;
        std::string cif;
        const char* error;
    } cases[] = {
        {"gzip", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8) + "junk",
         "Error: the file is gzip-compressed; decompress it first (gunzip).\n"},
        {"zip", "PK\x03\x04 junk", "Error: the file is a zip archive; extract the CIF from it first.\n"},
        {"NUL bytes", std::string("data_x\n\0\0\0", 10), "Error: the file is not text (it holds NUL bytes).\n"},
        {"UTF-16", "\xff\xfe" "d\0a\0", "Error: the file is UTF-16 text; save it as ASCII or UTF-8.\n"},
        {"blank", "  \n\n", "Error: the file is empty.\n"},
        {"open quote", ok_cell + kSites + "'Li1 Li+ 0 0 0 1\n", "Error: malformed CIF: "},
        {"label that is a word", "data_x\n" + cell_lines(5, 5, 5) +
                                     "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
                                     "_atom_site_fract_y\n_atom_site_fract_z\nO1 0 0 0\nOxy 0.5 0.5 0.5\n",
         "Error: the site label 'Oxy' names no element; the file needs an _atom_site_type_symbol column.\n"},
        {"fraction over zero", ok_cell + kSites + "Li1 Li+ 1/0 0 0 1\n",
         "Error: the value '1/0' of _atom_site_fract_x in row 1 of its loop (Li1) is not a number.\n"},
        {"operations that are no space group",
         "data_x\n" + cell_lines(5, 5, 5) + "loop_\n_symmetry_equiv_pos_as_xyz\nx+1/7,y,z\nx,y+1/7,z\nx,y,z+1/7\n" +
             kSites + "Li1 Li+ 0 0 0 1\n",
         "Error: the 3 symmetry operations of the file do not generate a space group.\n"},
        {"only a superspace block",
         "data_mod\n" + cell_lines(5, 5, 5) + "_space_group_ssg_name 'P-1(abg)0'\n" + kSites + "Li1 Li+ 0 0 0 1\n",
         "Error: data_mod describes a modulated structure in superspace; only three-dimensional structures are read.\n"},
        {"a group the settings do not hold",
         "data_x\n" + cell_lines(5, 5, 5) + "_symmetry_space_group_name_H-M 'Q 9'\n" + kSites + "Li1 Li+ 0 0 0 1\n",
         "Error: the space group of the file (Q 9) is not among the settings of "},
    };
    for (const auto& c : cases) {
        Got g = read(c.cif);
        EXPECT_EQ(g.status, 1) << c.what;
        EXPECT_FALSE(g.cell) << c.what;
        EXPECT_NE(g.err.find(c.error), std::string::npos) << c.what << "\n" << g.err;
    }
}

// The six real-world files of the repository, read end to end by the program.
TEST(CifRealWorld, RealWorldFilesReadOrAreRefusedWithAReason) {
    const std::filesystem::path dir = std::filesystem::path(TEST_DATA_DIR) / "realworld";
    struct Case {
        const char* file;
        int atoms;  // -1: refused
        const char* line;
    } cases[] = {
        {"sn5033sup1.cif", 132, "Message: 3 data blocks in the file; the structure is read from data_alpha1-Cr2P2O7_supercell."},
        {"2011406-xy-simple-fract.cif", 30, "CELL: total atom: 30"},
        {"oqmd-104812.cif", 28, "Message: no _atom_site_occupancy column; every site is taken as fully occupied."},
        {"zeolite_gismondine.cif", 80, "Message: determining symmetry from H-M symbol ..."},
        {"COD_7228524.cif", 3, "CELL: total atom: 3"},
        {"00993.cif", 186, "Warning: water and hydroxide names are read as their elements (labels Wat, OW -> O, Hwa, "
                           "HW -> H; type symbols OH, OH2, H2O -> O): WatII WatII* WatIV WatV WatVI WatVII WatVIII WatIX."},
    };
    testcli::ScratchDir d;
    for (const auto& c : cases) {
        const auto r = testcli::run(KELMAR_EXE, "--print-cell " + testcli::quote((dir / c.file).string()), d.path());
        if (c.atoms < 0) {
            EXPECT_EQ(r.status, 1) << c.file;
            EXPECT_NE(r.err.find(std::string(c.line) + "\n"), std::string::npos) << c.file << "\n" << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 0) << c.file << "\n" << r.err;
        EXPECT_NE(r.out.find("CELL: total atom: " + std::to_string(c.atoms) + "\n"), std::string::npos) << c.file;
        EXPECT_NE((r.out + r.err).find(std::string(c.line) + "\n"), std::string::npos) << c.file << "\n" << r.out;
    }
}
