// The front door of the structure reader for CIFs from many writers: space groups named only by
// the _ref or alternative tags or by an old spaced symbol, water and hydroxide names, the file's
// formula against the cell read, and the space group the writer names for other programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cif-element.hpp"
#include "cif-formula.hpp"
#include "cif-read.hpp"
#include "cif-spacegroup.hpp"
#include "cif-write.hpp"
#include "cli.hpp"
#include "kelmar_fixtures.hpp"

namespace {


using Read = kmfix::CifRead;

std::map<std::string, double> composition(const KELMAR_CELL& cell) {
    std::map<std::string, double> c;
    for (const auto& a : cell.atom) c[a.type] += a.occ;
    return c;
}

// CsCl-type cell with one cation and one anion site; the symmetry lines come from the case.
std::string cscl(const std::string& symmetry, const std::string& sites = "Cs1 Cs 0 0 0 1\nCl1 Cl 0.5 0.5 0.5 1\n",
                 const std::string& extra = "") {
    return "data_t\n_cell_length_a 4.12\n_cell_length_b 4.12\n_cell_length_c 4.12\n_cell_angle_alpha 90\n"
           "_cell_angle_beta 90\n_cell_angle_gamma 90\n" +
           extra + symmetry +
           "\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
           "_atom_site_fract_z\n_atom_site_occupancy\n" +
           sites;
}

}  // namespace

TEST(StructFrontDoor, SpaceGroupTagsAndOldSymbols) {
    struct Case {
        const char* what;
        std::string cif;
        int ops;
        const char* out;  // a line standard output must hold ("" for none)
    };
    const Case cases[] = {
        {"_ref tag", cscl("_space_group_name_H-M_ref 'P m -3 m'"), 48, ""},
        {"DDLm _ref tag", cscl("_space_group.name_H-M_ref 'P m -3 m'"), 48, ""},
        {"full symbol tag", cscl("_space_group_name_H-M_full 'P 4/m -3 2/m'\n_space_group_IT_number 221"), 48, ""},
        {"old spaced symbol", cscl("_symmetry_space_group_name_H-M 'P m 3 m'"), 48,
         "Message: the H-M symbol 'P m 3 m' is read as 'P m -3 m'.\n"},
        {"old symbol, alt tag", cscl("_space_group_name_H-M_alt 'Pm3m'"), 48,
         "Message: the H-M symbol 'Pm3m' is read as 'P m -3 m'.\n"},
        {"number only", cscl("_space_group.IT_number 221"), 48, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read r = kmfix::read_cif_text(c.cif);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.sym->total(), c.ops);
        EXPECT_EQ(r.cell->atom.size(), 2u);
        if (c.out[0] != '\0') {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        }
    }
}

TEST(StructFrontDoor, WaterAndHydroxideNamesReadAsOxygenAndHydrogen) {
    struct Case {
        const char* what;
        std::string cif;
        std::map<std::string, double> want;
        const char* warning;  // the labels the one warning names
    };
    const std::string no_types =
        "data_t\n_cell_length_a 6\n_cell_length_b 6\n_cell_length_c 6\n_cell_angle_alpha 90\n_cell_angle_beta 90\n"
        "_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
        "_atom_site_fract_y\n_atom_site_fract_z\nLi1 0 0 0\nWat1 0.5 0.5 0.5\nHwa1 0.6 0.5 0.5\nHwa2 0.5 0.6 0.5\n"
        "OW2 0.2 0.2 0.2\n";
    const Case cases[] = {
        {"labels only", no_types, {{"Li", 1}, {"O", 2}, {"H", 2}}, "Wat1 Hwa1 Hwa2"},
        {"type symbols OH and OH2",
         cscl("_symmetry_space_group_name_H-M 'P 1'",
              "Li1 Li 0 0 0 1\nO1 OH 0.5 0.5 0.5 1\nO2 OH2 0.5 0 0 1\nH1 H 0.5 0.5 0.75 1\n"),
         {{"Li", 1}, {"O", 2}, {"H", 1}},
         "O1 O2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read r = kmfix::read_cif_text(c.cif);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(composition(*r.cell), c.want);
        const std::string line = std::string("Warning: ") + kCifWaterRule + ": " + c.warning + ".\n";
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Warning: water"), r.out.rfind("Warning: water")) << "one warning";
        // an OH2 type gives oxygen its default state, not +2
        for (const auto& a : r.cell->atom) {
            if (std::string(a.type) == "O") {
                EXPECT_EQ(a.os, -2) << a.name;
            }
        }
    }
}

TEST(StructFrontDoor, FormulaTimesZAgainstTheCellRead) {
    struct Case {
        const char* what;
        const char* extra;
        bool warns;
    };
    const Case cases[] = {
        {"agrees", "_chemical_formula_sum 'Cs Cl'\n_cell_formula_units_Z 1\n", false},
        {"within 2 %", "_chemical_formula_sum 'Cs0.99 Cl'\n_cell_formula_units_Z 1\n", false},
        {"a third of the anion lost", "_chemical_formula_sum 'Cs Cl1.5'\n_cell_formula_units_Z 1\n", true},
        {"a quarter of the atoms", "_chemical_formula_sum 'Cs2 Cl2'\n_cell_formula_units_Z 2\n", true},
        {"the cell's content as the formula", "_chemical_formula_sum 'Cs Cl'\n_cell_formula_units_Z 2\n", false},
        {"no Z", "_chemical_formula_sum 'Cs Cl3'\n", false},
        {"an element the cell lacks", "_chemical_formula_sum 'Cs Cl H2'\n_cell_formula_units_Z 1\n", true},
        {"unreadable formula", "_chemical_formula_sum 'CsCl(H2O)'\n_cell_formula_units_Z 1\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read r = kmfix::read_cif_text(cscl("_symmetry_space_group_name_H-M 'P 1'", "Cs1 Cs 0 0 0 1\nCl1 Cl 0.5 0.5 0.5 1\n",
                                c.extra));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("_chemical_formula_sum x _cell_formula_units_Z") != std::string::npos, c.warns) << r.out;
    }
    std::map<std::string, double> counts;
    EXPECT_TRUE(cif_formula_counts("Li6.4 La3 Zr1.4 Ta0.6 O12", counts));
    EXPECT_DOUBLE_EQ(counts["Li"], 6.4);
    EXPECT_DOUBLE_EQ(counts["O"], 12.0);
    EXPECT_TRUE(cif_formula_counts("C2 H8 N O4 P", counts));
    EXPECT_DOUBLE_EQ(counts["N"], 1.0);
    EXPECT_FALSE(cif_formula_counts("NaCl", counts));
    EXPECT_FALSE(cif_formula_counts("?", counts));
}

TEST(StructFrontDoor, SpaceGroupOfAnOperationList) {
    struct Case {
        std::vector<std::string> ops;
        const char* hm;
        int number;
    };
    const Case cases[] = {
        {{}, "P 1", 1},
        {{"x,y,z"}, "P 1", 1},
        {{"x,y,z", "-x,-y,-z"}, "P -1", 2},
        {{"x, y, z", "-x, y+1/2, -z+1/2", "-x, -y, -z", "x, -y+1/2, z+1/2"}, "P 1 21/c 1", 14},
        {{"x,y,z", "-x,-y,-z+1/3"}, "", 0},  // no group
        {{"x,y,z", "banana"}, "", 0},
    };
    for (const Case& c : cases) {
        const CifSpaceGroupName n = cif_space_group_of_ops(c.ops);
        EXPECT_EQ(n.hm, c.hm);
        EXPECT_EQ(n.number, c.number);
    }
    EXPECT_EQ(cif_space_group_modern_symbol("F d 3 m"), "F d -3 m");
    EXPECT_EQ(cif_space_group_modern_symbol("Ia3d"), "I a -3 d");
    EXPECT_EQ(cif_space_group_modern_symbol("P 21/c"), "");
}

// Written files name their group, so that ASE and gemmi read them back with the same cell.
TEST(StructFrontDoor, WrittenFilesNameTheirGroupForOtherReaders) {
    testcli::ScratchDir d;
    d.add(std::filesystem::path(TEST_DATA_DIR) / "samples/Li2O2.cif", "Li2O2.cif");
    d.add(std::filesystem::path(TEST_DATA_DIR) / "samples/LiFePO4.cif", "LiFePO4.cif");
    for (const char* name : {"Li2O2", "LiFePO4"}) {
        SCOPED_TRACE(name);
        const std::string in = std::string(name) + ".cif";
        auto r = testcli::run(KELMAR_EXE, "--gen-cif " + in + " out-" + in, d.path());
        ASSERT_EQ(r.status, 0) << r.err;
        r = testcli::run(KELMAR_EXE, "--gen-cif-p1 " + in + " p1-" + in, d.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string out = testcli::slurp(d / ("out-" + in));
        EXPECT_EQ(out.find("_symmetry_Int_Tables_number       0"), std::string::npos) << out;
        EXPECT_EQ(out.find("_symmetry_space_group_name_H-M    ''"), std::string::npos) << out;
        const std::string p1 = testcli::slurp(d / ("p1-" + in));
        EXPECT_NE(p1.find("_symmetry_space_group_name_H-M    'P 1'\r\n_symmetry_Int_Tables_number       1\r\n"),
                  std::string::npos)
            << p1;
    }
    const std::string script = (std::filesystem::path(TEST_DATA_DIR).parent_path() / "cif_readback.py").string();
    auto r = testcli::run("/usr/bin/python3", testcli::quote(script) + " out-Li2O2.cif out-LiFePO4.cif p1-LiFePO4.cif",
                          d.path());
    if (r.status == 77) GTEST_SKIP() << "python3 with ase and gemmi not available";
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

// Two half-occupied sites of different species at one position are two atoms, also on a special
// position whose images coincide; two half sites of one species there are one position.
TEST(StructFrontDoor, HalfSitesOfTwoSpeciesAtOnePositionStayTwoAtoms) {
    struct Case {
        const char* sites;
        std::map<std::string, double> want;
        std::size_t atoms;
    };
    const Case cases[] = {
        {"Li1 Li 0 0 0 0.5\nNa1 Na 0 0 0 0.5\nCl1 Cl 0.5 0.5 0.5 1\n", {{"Li", 0.5}, {"Na", 0.5}, {"Cl", 1.0}}, 3},
        {"Li1 Li 0.001 0 0 0.5\nNa1 Na 0 0.001 0 0.5\nCl1 Cl 0.5 0.5 0.5 1\n", {{"Li", 0.5}, {"Na", 0.5}, {"Cl", 1.0}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sites);
        Read r = kmfix::read_cif_text(cscl("_symmetry_space_group_name_H-M 'P m -3 m'", c.sites));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.cell->atom.size(), c.atoms);
        const auto got = composition(*r.cell);
        for (const auto& [element, n] : c.want) EXPECT_NEAR(got.at(element), n, 1e-6) << element;
    }
}
