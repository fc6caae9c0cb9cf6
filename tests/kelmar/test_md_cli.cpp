// kelmar.x --md end to end: usage, refused input, a seeded run repeated, its logs and structure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

testcli::Result md(const testcli::ScratchDir& dir, const std::string& args, const char* seed = "7") {
    return testcli::run("env", std::string("KELMAR_SEED=") + seed + " " + testcli::quote(KELMAR_EXE) + " --md " + args,
                        dir.path());
}

long count_lines(const std::string& s) {
    long n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

// No "nan" or "inf" printed where a number belongs.
bool prints_no_bad_number(const std::string& s) {
    static const std::regex bad(R"((^|[\s=,(+-])(nan|inf)\b)", std::regex::icase);
    return !std::regex_search(s, bad);
}

}  // namespace

TEST(MdCli, UsageText) {
    testcli::ScratchDir dir;
    for (const char* args : {"", "Li2O.cif", "Li2O.cif Li"}) {
        auto r = md(dir, args);
        EXPECT_EQ(r.status, args[0] == '\0' ? 0 : 1);  // some but not all compulsory arguments fail
        EXPECT_EQ(r.out.rfind("Command: --md [input.cif] {type} {os} | {sf} {temperature} {t_end} {t_equil} {dt} "
                              "{t_log}\n\n",
                              0),
                  0u);
        EXPECT_NE(r.out.find("Example: ./kelmar.x --md "), std::string::npos);
    }
}

TEST(MdCli, RefusedInputGivesOneErrorAndNoNumbers) {
    testcli::ScratchDir dir;
    dir.add(fs::path(TEST_DATA_DIR) / "samples" / "Li2O.cif");
    dir.add(fs::path(TEST_DATA_DIR) / "samples" / "SrTiO3.cif");
    dir.add(fs::path(TEST_DATA_DIR) / "electrolytes" / "j5g.cif");
    struct Case {
        const char* args;
        const char* error;  // the first error line starts so
    };
    const Case cases[] = {
        {"Li2O.cif Li x", "Error: wrong parameter os.\n"},
        {"Li2O.cif Li 1 zero", "Error: wrong parameter sf.\n"},
        {"Li2O.cif Li 1 0.75 warm", "Error: wrong parameter temperature.\n"},
        {"Li2O.cif Li 1 0.75 nan", "Error: wrong parameter temperature.\n"},
        {"Li2O.cif Li 1 0.75 300 long", "Error: wrong parameter t_end.\n"},
        {"Li2O.cif Li 1 0.75 300 1 inf", "Error: wrong parameter t_equil.\n"},
        {"Li2O.cif Li 1 0.75 300 1 1 1e999", "Error: wrong parameter dt.\n"},
        {"Li2O.cif Li 1 0.75 300 1 1 0.001 often", "Error: wrong parameter t_log.\n"},
        {"missing.cif Li 1", "Error:"},
        // garnet with partly occupied Li sites
        {"j5g.cif Li 1 0.75", "Error: j5g.cif has Li1+ sites that are partially occupied"},
        {"SrTiO3.cif Li 1 0.75", "Error:"},
        // nothing would be sampled, or the run would never end
        {"Li2O.cif Li 1 0.75 300 0.05 0.01 0.001 0.1",
         "Error: the production time t_end = 0.05 ps is shorter than the sampling interval t_log = 0.1 ps.\n"},
        {"Li2O.cif Li 1 0.75 300 1e6 0.01 1e-6", "Error: a run of 1e+06 ps in steps of 1e-06 ps needs more than"},
        // far too hot for the force field: the ions fly apart and the run stops
        {"Li2O.cif Li 1 0.75 1e9 0.2 0.01", "Error: atom"},
    };
    for (const Case& c : cases) {
        auto r = md(dir, c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << c.args << "\n" << r.err;
        EXPECT_TRUE(prints_no_bad_number(r.out)) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("MD: conductivity"), std::string::npos) << c.args;
    }
}

// The same seed repeats a run number for number; the logs have their layout.
TEST(MdCli, SeededRunRepeatsAndWritesItsLogs) {
    testcli::ScratchDir dir;
    dir.add(fs::path(TEST_DATA_DIR) / "samples" / "Li2O.cif");
    const std::string args = "Li2O.cif Li 1 0.75 600 0.3 0.1 0.001 0.05";
    const char* files[] = {"Li2O.cif.md.txt", "Li2O.cif.md.trj", "Li2O.cif.md.xyz", "Li2O.cif.md.cif"};
    auto first = md(dir, args);
    ASSERT_EQ(first.status, 0) << first.err;
    std::string kept[4];
    for (int k = 0; k < 4; k++) kept[k] = testcli::slurp(dir / files[k]);
    auto again = md(dir, args);
    ASSERT_EQ(again.status, 0);
    EXPECT_EQ(first.out, again.out);
    for (int k = 0; k < 4; k++) EXPECT_EQ(testcli::slurp(dir / files[k]), kept[k]) << files[k];
    auto other = md(dir, args, "8");
    ASSERT_EQ(other.status, 0);
    EXPECT_NE(other.out, first.out);

    const std::string& out = first.out;
    for (const char* line :
         {"MD: total atoms = 12, free atoms = 8\n", "MD: t_end = 0.300000, t_equil = 0.100000, dt = 0.001000, t_log = 0.050000\n",
          "MD: T = ", "MD: equilibration phase\nMD: production phase\n",
          "MD: displacement = ", "MD: diffusivity = ", "MD: mobility = ", "MD: conductivity = ",
          "Message: observables saved to Li2O.cif.md.txt\n", "Message: displacements saved to Li2O.cif.md.trj\n",
          "Message: structures saved to Li2O.cif.md.xyz\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    EXPECT_EQ(out.find("MD: progress"), std::string::npos);  // no bar into a pipe
    EXPECT_TRUE(prints_no_bad_number(out));
    // samples at steps 0, 50, ..., 250 and at the end of the run (300)
    EXPECT_EQ(kept[0].rfind("      step,               t,           en,         en_k,         en_p,       T,       P,"
                            "       en_ave,     en_k_ave,     en_p_ave,   T_ave,   P_ave\n",
                            0),
              0u);
    EXPECT_EQ(count_lines(kept[0]), 8);
    EXPECT_NE(kept[0].find("\n       300,        0.300000, "), std::string::npos);
    EXPECT_EQ(kept[1].rfind("t, d_ave, d_0_", 0), 0u);
    EXPECT_EQ(count_lines(kept[1]), 8);
    EXPECT_EQ(count_lines(kept[2]), 7 * 14);
    EXPECT_EQ(kept[2].rfind("12\n0     0.000000\n", 0), 0u);
    // the final structure reads back with every atom
    auto printed = testcli::run(KELMAR_EXE, "--cal-charge Li2O.cif.md.cif", dir.path());
    EXPECT_EQ(printed.status, 0);
    EXPECT_NE(printed.out.find("Total charge per unit cell: 0.000\n"), std::string::npos) << printed.out;
}

// A site the CIF marks fixed stays where it is for the whole run; its siblings move.
TEST(MdCli, FixedSiteOfTheMovingSpeciesStays) {
    testcli::ScratchDir dir;
    std::string cif =
        "data_li2o\n_cell_length_a 4.61\n_cell_length_b 4.61\n_cell_length_c 4.61\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n"
        "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
        "_atom_site_fract_z\n_atom_site_occupancy\n_atom_site_kelmar_fixed\n"
        "O1 O 0 0 0 1 F\nO2 O 0 0.5 0.5 1 F\nO3 O 0.5 0 0.5 1 F\nO4 O 0.5 0.5 0 1 F\n";
    int k = 1;
    for (const char* x : {"0.25", "0.75"})
        for (const char* y : {"0.25", "0.75"})
            for (const char* z : {"0.25", "0.75"}) {
                cif += "Li" + std::to_string(k) + " Li " + x + " " + y + " " + z + " 1 " + (k == 3 ? "T" : "F") + "\n";
                k++;
            }
    testcli::spit(dir / "fixed.cif", cif);
    auto r = md(dir, "fixed.cif Li 1 0.75 600 0.2 0.1 0.001 0.05");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("MD: total atoms = 12, free atoms = 7\n"), std::string::npos);
    std::istringstream trj(testcli::slurp(dir / "fixed.cif.md.trj"));
    std::string line;
    std::getline(trj, line);
    // the column of Li3 in the header "t, d_ave, d_0_O1, ..."
    std::istringstream head(line);
    std::string cell;
    int column = -1;
    for (int c = 0; std::getline(head, cell, ','); c++)
        if (cell == " d_" + std::to_string(c - 2) + "_Li3") column = c;
    ASSERT_GT(column, 1) << line;
    int rows = 0;
    double others = 0.0;
    while (std::getline(trj, line)) {
        std::istringstream row(line);
        for (int c = 0; std::getline(row, cell, ','); c++) {
            if (c == column) EXPECT_EQ(std::stod(cell), 0.0) << line;
            else if (c > 1) others += std::stod(cell);
        }
        rows++;
    }
    EXPECT_EQ(rows, 5);
    EXPECT_GT(others, 0.0);
}

// The progress bars are drawn on a terminal and kept off pipes and files (the runs above).
TEST(MdCli, ProgressBarsOnATerminalOnly) {
    if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no util-linux script";
    testcli::ScratchDir dir;
    dir.add(fs::path(TEST_DATA_DIR) / "samples" / "Li2O.cif");
    const std::string args = "Li2O.cif Li 1 0.75 600 0.1 0.05 0.001 0.05";
    const std::string line = "KELMAR_SEED=7 " + testcli::quote(KELMAR_EXE) + " --md " + args;
    const auto shown = testcli::run("script", "-qec " + testcli::quote(line) + " /dev/null", dir.path());
    ASSERT_EQ(shown.status, 0) << shown.out;
    EXPECT_NE(shown.out.find("MD: progress: ++++++++++++++++++++\r\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("MD: progress: ********************\r\n"), std::string::npos) << shown.out;
    const auto piped = md(dir, args);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.find("MD: progress"), std::string::npos) << piped.out;
    EXPECT_EQ(piped.out.find("MD: target"), std::string::npos) << piped.out;
    EXPECT_NE(piped.out.find("MD: equilibration phase\nMD: production phase\n"), std::string::npos) << piped.out;
}
