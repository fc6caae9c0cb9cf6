// End-to-end tests of the parameter, bond-valence, total-energy and relaxation commands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "cli.hpp"

namespace {

const std::string kExe = KELMAR_EXE;
const std::string kSamples = std::string(TEST_DATA_DIR) + "/samples/";

testcli::Result kelmar(const testcli::ScratchDir& d, const std::string& args) { return testcli::run(kExe, args, d.path()); }

bool has_line(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        if (l == line) return true;
    return false;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

// The --print-ppt row of a cation-anion pair, from the raw table values and the Morse formulas.
std::string pair_row(const char* cat, int os_c, const char* an, int os_a, double r0, double b, double cn,
                     double cutoff, double soft_c, double soft_a, int c, int n_c, int n_a) {
    const double rmin = r0 * (0.9185 + 0.2285 * std::fabs(soft_a - soft_c)) - b * std::log(os_c / cn);
    const double d0 = (b * b / 2) * c * std::pow(c * std::abs(os_c * os_a), 1.0 / c) / (std::sqrt(n_c * n_a) * rmin);
    char row[256];
    std::snprintf(row, sizeof(row), "PPT: | %4s%d%c | %4s%d%c | %8.6f | %8.6f | %5.3f | %8.6f | %8.6f | %4.2f | %8.6f |",
                  cat, os_c, '+', an, std::abs(os_a), '-', d0 * 14.39964 * 0.5, rmin, b, r0, cutoff, cn,
                  d0 * cn * 14.39964 * 0.5);
    return row;
}

const char* kLi2OP1 =
    "data_Li2O\n_cell_length_a 4.61\n_cell_length_b 4.61\n_cell_length_c 4.61\n_cell_angle_alpha 90\n"
    "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n"
    "_symmetry_equiv_pos_as_xyz\n'x, y, z'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
    "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n_atom_site_kelmar_fixed\n"
    "O1 O 0.0 0.0 0.0 1.0 T\nO2 O 0.0 0.5 0.5 1.0 F\nO3 O 0.5 0.0 0.5 1.0 F\nO4 O 0.5 0.5 0.0 1.0 F\n"
    "Li1 Li 0.28 0.25 0.25 1.0 F\nLi2 Li 0.75 0.75 0.25 1.0 F\nLi3 Li 0.75 0.25 0.75 1.0 F\n"
    "Li4 Li 0.25 0.75 0.75 1.0 F\nLi5 Li 0.75 0.25 0.25 1.0 F\nLi6 Li 0.25 0.75 0.25 1.0 F\n"
    "Li7 Li 0.25 0.25 0.77 1.0 F\nLi8 Li 0.75 0.75 0.75 1.0 T\n";

// The fractional coordinates of a labelled row of a CIF written by the program.
std::string site_row(const std::string& cif, const std::string& label) {
    std::istringstream in(cif);
    std::string l;
    while (std::getline(in, l)) {
        std::istringstream w(l);
        std::string first;
        w >> first;
        if (first == label) return l;
    }
    return "";
}

}  // namespace

TEST(PptCli, UsageTexts) {
    testcli::ScratchDir d;
    struct CASE {
        const char* word;
        const char* first;
    } cases[] = {
        {"--print-ppt", "Command: --print-ppt [input.cif] | {screening factor}.\n"},
        {"--print-ppt-full",
         "Command: --print-ppt-full: [input.cif] | {screening factor} {conducting ion type} {conducting ion os}.\n"},
        {"--cal-bv", "Command: --cal-bv [intput.cif]\n"},
        {"--cal-bv-type", "Command: --cal-bv-type [intput.cif] [type1] [os1] [type2] [os2]\n"},
        {"--cal-gii", "Command: --cal-gii [input.cif]\n"},
        {"--cal-tot-en", "Command: --cal-tot-en [input.cif] | {sf}\n"},
        {"--rx-sd", "Command: --rx-sd [input.cif] | {step_limit} {step_p} {f_conv} {p_conv} {sf} {output_name}\n"},
    };
    for (const CASE& c : cases) {
        const auto r = kelmar(d, c.word);
        EXPECT_EQ(r.status, 0) << c.word;
        EXPECT_EQ(first_line(r.out), c.first);
        EXPECT_NE(r.out.find(std::string("Example: ./kelmar.x ") + c.word + " "), std::string::npos) << c.word;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(kelmar(d, "--print-ppt").out.rfind("Command: --print-ppt [input.cif] | {screening factor}.\n\n", 0), 0u);
    EXPECT_NE(kelmar(d, "--print-ppt-full").out.find("\n\nCommand: reserved for debugging purpose\n"), std::string::npos);
    EXPECT_NE(kelmar(d, "--rx-sd").out.find("0.005"), std::string::npos);
    EXPECT_NE(kelmar(d, "--rx-sd").out.find("0.001"), std::string::npos);
    // The cal-bv-type text needs all five operands.
    d.add(kSamples + "Li2O.cif");
    EXPECT_EQ(first_line(kelmar(d, "--cal-bv-type Li2O.cif Li 1 O").out),
              "Command: --cal-bv-type [intput.cif] [type1] [os1] [type2] [os2]\n");
    for (const char* word : {"--cal-bv-gui", "--text-cal-bv"}) {
        const auto r = kelmar(d, word);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Error: not enough arguments.\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST(PptCli, WrongParametersAreRefused) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    struct CASE {
        const char* args;
        const char* err;
    } cases[] = {
        {"--print-ppt Li2O.cif abc", "Error: wrong parameter sf.\n"},
        {"--print-ppt-full Li2O.cif x", "Error: wrong parameter sf.\n"},
        {"--print-ppt-full Li2O.cif -1 Na one", "Error: wrong parameter os.\n"},
        {"--cal-bv-type Li2O.cif Li x O -2", "Error: wrong parameter os1.\n"},
        {"--cal-bv-type Li2O.cif Li 1 O minus", "Error: wrong parameter os2.\n"},
        {"--cal-bv-type Li2O.cif '' 1 O -2", "Error: wrong parameter type1.\n"},
        {"--cal-tot-en Li2O.cif zz", "Error: wrong parameter sf.\n"},
        {"--rx-sd Li2O.cif ten", "Error: wrong parameter step_limit.\n"},
        {"--rx-sd Li2O.cif 1 p", "Error: wrong parameter step_p.\n"},
        {"--rx-sd Li2O.cif 1 1 f", "Error: wrong parameter f_conv.\n"},
        {"--rx-sd Li2O.cif 1 1 0 p", "Error: wrong parameter p_conv.\n"},
        {"--rx-sd Li2O.cif 1 1 0 0 s", "Error: wrong parameter sf.\n"},
    };
    for (const CASE& c : cases) {
        const auto r = kelmar(d, c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST(PptCli, PrintPptMatchesTheMorseFormulas) {
    testcli::ScratchDir d;
    d.add(kSamples + "SrTiO3.cif");
    d.add(kSamples + "Li2O.cif");
    auto r = kelmar(d, "--print-ppt SrTiO3.cif 0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    // Raw values of the data files: Sr(+2) soft 0.06278 n 5 class 1; Ti(+4) soft 0.03569 n 4
    // class 2 (d block, exponent 2); O(-2) soft 0.14752 n 2.
    EXPECT_TRUE(has_line(r.out, pair_row("Sr", 2, "O", -2, 1.95311, 0.455, 9.4, 5.5, 0.06278, 0.14752, 1, 5, 2)))
        << r.out;
    EXPECT_TRUE(has_line(r.out, pair_row("Ti", 4, "O", -2, 1.72394, 0.503, 6.0, 5.5, 0.03569, 0.14752, 2, 4, 2)))
        << r.out;
    EXPECT_TRUE(has_line(r.out, "PPT: total number of PROPERTY_UNITARY: 3"));
    EXPECT_TRUE(has_line(r.out, "PPT: total number of PROPERTY_BINARY: 9"));
    EXPECT_TRUE(has_line(r.out, "PPT: | type | count | an | softness |   rc |         q |      F_1 |"));
    EXPECT_TRUE(has_line(r.out, "PPT: | cation |  anion |      D_0 |    R_min |     b |      R_0 | R_cutoff |   CN |      F_0 |"));
    EXPECT_TRUE(has_line(r.out, std::string("PPT:").append(63, '=')));
    EXPECT_TRUE(has_line(r.out, std::string("PPT:").append(90, '-')));
    EXPECT_TRUE(has_line(r.out, "PPT: screening factor = 0.750000"));
    EXPECT_EQ(r.out.find("Message: calculating sf="), std::string::npos);  // a given sf is not searched

    r = kelmar(d, "--print-ppt Li2O.cif 0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, pair_row("Li", 1, "O", -2, 1.17096, 0.516, 5.021, 5.5, 0.02847, 0.14752, 1, 2, 2)))
        << r.out;
    // Only cation-anion rows are printed.
    EXPECT_EQ(r.out.find("|    O2- |   Li1+ |"), std::string::npos);
    // Species rows: count, atomic number, softness, rc, charges of Li2O.
    char li[128];
    std::snprintf(li, sizeof(li), "PPT: | Li1+ |   8.0 |  3 | 0.028470 | 1.31 | %9.6f |", std::sqrt(2.0 / std::sqrt(2.0) * 4 / 8));
    EXPECT_NE(r.out.find(li), std::string::npos) << r.out;
}

TEST(PptCli, PrintPptSearchesTheScreeningFactor) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    const auto r = kelmar(d, "--print-ppt Li2O.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: calculating sf="), std::string::npos);
    const auto pos = r.out.find("Message: final screening factor = ");
    ASSERT_NE(pos, std::string::npos);
    const double sf = std::atof(r.out.c_str() + pos + 34);
    EXPECT_GE(sf, 0.55);
    EXPECT_LE(sf, 1.0);
    char line[64];
    std::snprintf(line, sizeof(line), "PPT: screening factor = %.6f", sf);
    EXPECT_TRUE(has_line(r.out, line));
}

TEST(PptCli, PrintPptFullWithAMobileSpecies) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    auto r = kelmar(d, "--print-ppt-full Li2O.cif -1 Na 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "PPT: total number of PROPERTY_UNITARY: 3"));
    EXPECT_TRUE(has_line(r.out, "PPT: conducting species = Na(1)"));
    EXPECT_NE(r.out.find("Na(1)O(-2):b="), std::string::npos);
    r = kelmar(d, "--print-ppt-full Li2O.cif 0.8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "PPT: conducting species not specified."));
    EXPECT_TRUE(has_line(r.out, "PPT: screening factor=0.800000"));
    EXPECT_NE(r.out.find("Li(1):soft=0.028;rc=1.310;m=  6.94;an=3;n=2;g=1;b=1;c=1;q= 0.841\n"), std::string::npos)
        << r.out;
}

TEST(PptCli, BondValenceCommands) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    d.add(kSamples + "LiFePO4.cif");
    auto r = kelmar(d, "--cal-bv Li2O.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "BV:   name type    occ    bv_sum"));
    EXPECT_NE(r.out.find("BV:    Li0 Li1+  1.000  0."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BV:     O1  O2-  1.000 -1."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("GII: Global instability index = "), std::string::npos);
    EXPECT_NE(r.out.find("GII: suggested stability: "), std::string::npos);

    r = kelmar(d, "--cal-gii LiFePO4.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("BV:"), std::string::npos);
    EXPECT_NE(r.out.find("GII: Global instability index = 0.1"), std::string::npos) << r.out;
    EXPECT_TRUE(has_line(r.out, "GII: suggested stability: stable."));

    r = kelmar(d, "--cal-bv-gui LiFePO4.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto start = r.out.find("Printing bond valence sum of each site for kelmar-GUI\n> Label [  X     Y     Z  ] : BV_sum\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(r.out.find("End of BV sum calculation for kelmar-GUI\n"), std::string::npos);
    EXPECT_EQ(r.out.find("GII"), std::string::npos);
    EXPECT_NE(r.out.find(">   Li0 ["), std::string::npos) << r.out;

    r = kelmar(d, "--cal-bv-type LiFePO4.cif Li 1 O -2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Li1+"), std::string::npos);
    EXPECT_EQ(r.out.find("Fe2+"), std::string::npos);
    EXPECT_EQ(r.out.find("P5+"), std::string::npos);
    EXPECT_EQ(r.out.find("GII"), std::string::npos);
}

TEST(PptCli, TextModeBondValences) {
    testcli::ScratchDir d;
    std::string words = "--text-cal-bv ignored -:text";
    std::istringstream in(kLi2OP1);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string word;
        while (w >> word) words.append(" ").append(testcli::quote(word));
        words += " -:nl";
    }
    const auto r = kelmar(d, words);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("BV:    Li1 Li1+  1.000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("GII: Global instability index = "), std::string::npos);
    const auto bad = kelmar(d, "--text-cal-bv data_x -:nl");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Error: text-mode key phrase not found.\n"), std::string::npos);
}

TEST(PptCli, TotalEnergy) {
    testcli::ScratchDir d;
    d.add(kSamples + "Li2O.cif");
    const auto r = kelmar(d, "--cal-tot-en Li2O.cif 0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto pi = r.out.find("Message: interatomic energy = ");
    const auto pe = r.out.find("Message: eam energy = ");
    const auto pt = r.out.find("Message: total energy = ");
    ASSERT_NE(pi, std::string::npos) << r.out;
    ASSERT_NE(pe, std::string::npos);
    ASSERT_NE(pt, std::string::npos);
    const double inter = std::atof(r.out.c_str() + pi + 30);
    const double eam = std::atof(r.out.c_str() + pe + 22);
    const double total = std::atof(r.out.c_str() + pt + 24);
    EXPECT_NE(inter, 0.0);
    EXPECT_NEAR(total, inter + eam, 2e-6);
    EXPECT_NE(r.out.find(" eV\n"), std::string::npos);
}

TEST(PptCli, ACellTooSmallForTheLatticeSumsFailsWithoutAnEnergy) {
    testcli::ScratchDir d;
    std::string tiny = kLi2OP1;
    tiny.replace(tiny.find("_cell_length_a 4.61"), 19, "_cell_length_a 1e-7");
    testcli::spit(d / "tiny.cif", tiny);
    for (const char* cmd : {"--cal-tot-en tiny.cif 0.75", "--cal-tot-en tiny.cif", "--rx-sd tiny.cif 2 1 0 0 0.75",
                            "--cal-bv tiny.cif", "--print-ppt tiny.cif"}) {
        const auto r = kelmar(d, cmd);
        EXPECT_EQ(r.status, 1) << cmd;
        // refused as the file is read, before any lattice sum is tried
        EXPECT_NE(r.err.find("Error: _cell_length_a 1e-07 A is shorter than 0.5 A"), std::string::npos) << cmd << "\n" << r.err;
        EXPECT_EQ(r.out.find("energy ="), std::string::npos) << cmd << "\n" << r.out;
    }
}

TEST(PptCli, RelaxationKeepsFixedSitesAndWritesAReadableCif) {
    testcli::ScratchDir d;
    testcli::spit(d / "li2o.cif", kLi2OP1);
    auto r = kelmar(d, "--rx-sd li2o.cif 3 2 0 0 0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "Message: relaxation constraint found."));
    EXPECT_TRUE(has_line(r.out, "RX_SD: step_limit=3; step_p=2; f_conv=0.005000; p_conv=0.001000"));
    EXPECT_TRUE(has_line(r.out, "Warning: step limit reached without achieving convergence."));
    const std::string out = testcli::slurp(d / "li2o.cif.rx.cif");
    ASSERT_FALSE(out.empty());
    EXPECT_NE(site_row(out, "O1").find("0.00000000  0.00000000  0.00000000"), std::string::npos) << out;
    EXPECT_NE(site_row(out, "Li8").find("0.75000000  0.75000000  0.75000000"), std::string::npos) << out;
    EXPECT_EQ(site_row(out, "Li1").find("0.28000000  0.25000000  0.25000000"), std::string::npos) << out;  // moved
    // The written structure reads back.
    r = kelmar(d, "--cal-bv li2o.cif.rx.cif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("BV:    Li1 Li1+"), std::string::npos);

    // Without the fixed column everything may move; an explicit output name is used.
    d.add(kSamples + "Li2O.cif");
    r = kelmar(d, "--rx-sd Li2O.cif -1 0 0 0 0.75 out.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "Message: relaxation without constraint."));
    EXPECT_TRUE(has_line(r.out, "RX_SD: step_limit=-1; step_p=1; f_conv=0.005000; p_conv=0.001000"));
    EXPECT_TRUE(std::filesystem::exists(d / "out.cif"));
}

TEST(PptCli, BadStructuresGiveOneClearError) {
    testcli::ScratchDir d;
    testcli::spit(d / "empty.cif", "");
    testcli::spit(d / "binary.cif", std::string("\x00\x01\xff\xfe garbage\n\x7f", 14));
    testcli::spit(d / "truncated.cif", std::string(kLi2OP1).substr(0, 200));
    for (const char* cmd : {"--print-ppt", "--cal-bv", "--cal-gii", "--cal-tot-en", "--rx-sd", "--cal-bv-gui"})
        for (const char* file : {"empty.cif", "binary.cif", "truncated.cif", "missing.cif"}) {
            const auto r = kelmar(d, std::string(cmd) + " " + file);
            EXPECT_EQ(r.status, 1) << cmd << " " << file;
            EXPECT_NE(r.err.find("Error: kelmar_cell_import_cif_from_file() returns non-zero.\n"), std::string::npos)
                << cmd << " " << file << "\n" << r.err;
        }
}

TEST(PptCli, UnbalancedAndUnknownSpecies) {
    testcli::ScratchDir d;
    // Seven Li(+1) do not balance four O(-2).
    std::string unbalanced = kLi2OP1;
    unbalanced.erase(unbalanced.find("Li8 "));
    testcli::spit(d / "unbalanced.cif", unbalanced);
    // The sums need no charges: they are what shows the wrong states.
    auto r = kelmar(d, "--cal-gii unbalanced.cif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("GII: Global instability index = "), r.out.rfind("GII: Global instability index = ")) << r.out;
    EXPECT_NE(r.out.find("GII: Global instability index = "), std::string::npos) << r.out;
    r = kelmar(d, "--cal-bv unbalanced.cif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("BV:     O1  O2- "), std::string::npos) << r.out;
    // The force field would rescale the charges to neutrality and hide the fault: refused.
    r = kelmar(d, "--cal-tot-en unbalanced.cif");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: total charge of the cell is not neutral: -1.000000\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("total energy"), std::string::npos);

    // Peroxides carry O(-1): its species and pairs are in the data files, so every command
    // assembles the parameters and prints numbers, none of them uncomputable.
    const std::regex uncomputable(R"((^|[^A-Za-z])([Nn][Aa][Nn]|[Ii][Nn][Ff])([^A-Za-z]|$))");
    for (const char* file : {"K2O2.cif", "Li2O2.cif"}) {
        d.add(kSamples + file);
        for (const std::string cmd : {"--cal-bv", "--cal-gii", "--cal-bv-gui", "--print-ppt", "--cal-tot-en",
                                      "--rx-sd", "--print-ppt-full"}) {
            r = kelmar(d, cmd + " " + file + (cmd == "--rx-sd" ? " 1" : ""));
            EXPECT_EQ(r.status, 0) << cmd << " " << file << "\n" << r.err;
            EXPECT_EQ(r.err.find("Error:"), std::string::npos) << cmd << " " << file << "\n" << r.err;
            EXPECT_FALSE(std::regex_search(r.out, uncomputable)) << cmd << " " << file << "\n" << r.out;
            EXPECT_FALSE(std::regex_search(r.err, uncomputable)) << cmd << " " << file << "\n" << r.err;
        }
    }
    r = kelmar(d, "--cal-bv-type K2O2.cif K 1 O -1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("BV:   K0  K1+  1.000   O1  O1-  1.000  1.114563\n"), std::string::npos) << r.out;
}
