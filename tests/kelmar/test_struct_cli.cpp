// End-to-end tests of the structure commands of kelmar.x.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kExe = KELMAR_EXE;
const fs::path kSamples = fs::path(TEST_DATA_DIR) / "samples";

testcli::Result kelmar(const testcli::ScratchDir& d, const std::string& args) { return testcli::run(kExe, args, d.path()); }

bool has(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

}  // namespace

TEST(StructCli, UsageTextsWhenArgumentsAreMissing) {
    testcli::ScratchDir d;
    const struct {
        const char* args;
        const char* first;
    } cases[] = {
        {"--print-cell", "Command: --print-cell [input.cif].\n\n"},
        {"--print-sym", "Command: --print-sym [input.cif]\n\n"},
        {"--gen-cif", "Command: --gen-cif [input.cif] | {output_name}.\n\n"},
        {"--gen-cif-reduced", "Command: --gen-cif-reduced [input.cif] | {output_name}\n\n"},
        {"--gen-cif-p1", "Command: --gen-cif-p1 [input.cif] | {output_name}\n\n"},
        {"--gen-cif-assign x.cif Li", "Command: --gen-cif-assign [input.cif] [type] [os] | {output_name}\n\n"},
        {"--gen-cif-assign-all", "Command: --gen-cif-assign-all [input.cif] | {output_name}\n\n"},
        {"--cal-sym", "Command: --cal-sym [input.cif] | {tolerance}\n\n"},
        {"--cal-charge", "Command: --cal-charge [intput.cif]\n"},
    };
    for (const auto& c : cases) {
        auto r = kelmar(d, c.args);
        // the bare command succeeds; one given some but not all compulsory arguments fails
        const bool partial = std::string(c.args).find(' ') != std::string::npos;
        EXPECT_EQ(r.status, partial ? 1 : 0) << c.args;
        EXPECT_EQ(r.out.rfind(c.first, 0), 0u) << c.args << "\n" << r.out;
        EXPECT_TRUE(has(r.out, "Example: ./kelmar.x " + std::string(c.args).substr(0, std::string(c.args).find(' '))))
            << c.args;
        EXPECT_EQ(r.err, partial ? "Error: --gen-cif-assign needs 3 argument(s); 2 given.\n" : "") << c.args;
    }
}

TEST(StructCli, PrintCellAndSymmetry) {
    testcli::ScratchDir d;
    d.add(kSamples / "LiFePO4.cif");
    auto r = kelmar(d, "--print-cell LiFePO4.cif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Message: reading cif file...\nMessage: total lines in the cif: ", 0), 0u);
    EXPECT_TRUE(has(r.out, "CELL: name: Fe2+:4.000 Li1+:4.000 O2-:16.000 P5+:4.000 \n"));
    EXPECT_TRUE(has(r.out, "CELL: total atom: 28\n"));
    EXPECT_TRUE(has(r.out, "CELL: parameters:    6.065770    4.744800   10.410370\n"));
    auto s = kelmar(d, "--print-sym LiFePO4.cif");
    EXPECT_EQ(s.status, 0);
    EXPECT_TRUE(has(s.out, "SYMMETRY: Total number of cards: 4\nCARD: text:x, y, z\n"));
}

TEST(StructCli, GenCifNamesAndContents) {
    testcli::ScratchDir d;
    d.add(kSamples / "LiFePO4.cif", "x.cif");
    auto r = kelmar(d, "--gen-cif x.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "Message: cif file saved to x.cif.cif\n"));
    const std::string written = testcli::slurp(d / "x.cif.cif");
    EXPECT_EQ(written.rfind("data_generated-by-kelmar\r\n\n_chemical_name_systematic         "
                            "'Fe2+:4.000 Li1+:4.000 O2-:16.000 P5+:4.000 '\r\n",
                            0),
              0u);
    EXPECT_TRUE(has(written, "_cell_formula_units_Z             4\r\n"));
    EXPECT_TRUE(has(written, "    4    'x, -y+1/2, z+1/2'\r\n"));
    EXPECT_TRUE(has(written, "  Li1+     1\r\n"));

    // the written file reads back; after one pass (three-decimal lattice) the text is a fixed point
    auto again = kelmar(d, "--gen-cif x.cif.cif y.cif");
    ASSERT_EQ(again.status, 0) << again.err;
    ASSERT_EQ(kelmar(d, "--gen-cif y.cif z.cif").status, 0);
    EXPECT_EQ(testcli::slurp(d / "z.cif"), testcli::slurp(d / "y.cif"));
    const std::string y = testcli::slurp(d / "y.cif");
    EXPECT_EQ(y.substr(y.find("loop_")), written.substr(written.find("loop_")));

    EXPECT_EQ(kelmar(d, "--gen-cif-p1 x.cif").status, 0);
    EXPECT_TRUE(has(testcli::slurp(d / "x.cif.p1.cif"), "_symmetry_space_group_name_H-M    'P 1'\r\n"));
    EXPECT_EQ(kelmar(d, "--gen-cif-reduced x.cif").status, 0);
    const std::string reduced = testcli::slurp(d / "x.cif.reduced.cif");
    EXPECT_TRUE(has(reduced, "_symmetry_Int_Tables_number       1\r\n"));
    EXPECT_TRUE(has(reduced, "'Fe2+:4.000 Li1+:4.000 O2-:16.000 P5+:4.000 '"));  // the label of the full cell
    // one site per orbit: Li0, Li1, Fe2, P3 and O4 to O7
    const std::size_t from = reduced.find("_atom_site_occupancy\r\n") + 22;
    const std::string rows = reduced.substr(from, reduced.find("\r\n\r\n#end") - from);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 7);  // 8 rows, the last without its line end
    auto p1 = kelmar(d, "--gen-cif-p1 x.cif named.cif");
    EXPECT_TRUE(has(p1.out, "Message: cif file saved to named.cif\n"));
}

TEST(StructCli, AssignCommands) {
    testcli::ScratchDir d;
    d.add(kSamples / "Li3V2PO43.cif", "l.cif");
    auto bad = kelmar(d, "--gen-cif-assign l.cif Li one");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Error: wrong parameter os.\n");
    EXPECT_FALSE(fs::exists(d / "l.cif.assign.cif"));

    auto r = kelmar(d, "--gen-cif-assign l.cif Li +1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "Message: symmetry info missing. Using P1.\n"));
    const std::string out = testcli::slurp(d / "l.cif.assign.cif");
    EXPECT_TRUE(has(out, "_symmetry_space_group_name_H-M    'P 1'\r\n"));
    EXPECT_FALSE(has(out, "0.500000\r\n"));  // no half-occupied Li left

    auto all = kelmar(d, "--gen-cif-assign-all l.cif all.cif");
    ASSERT_EQ(all.status, 0) << all.err;
    const std::string whole = testcli::slurp(d / "all.cif");
    std::size_t p = whole.find("_atom_site_occupancy\r\n");
    ASSERT_NE(p, std::string::npos);
    for (std::size_t q = whole.find("\r\n", p) + 2; q < whole.size() && whole[q] == ' ';) {
        const std::size_t e = whole.find("\r\n", q);
        EXPECT_EQ(whole.substr(e - 8, 8), "1.000000") << whole.substr(q, e - q);
        q = e + 2;
    }
}

TEST(StructCli, CalChargeAndErrors) {
    testcli::ScratchDir d;
    d.add(kSamples / "LiFePO4.cif");
    auto r = kelmar(d, "--cal-charge LiFePO4.cif");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r.out, "Total charge per unit cell: 0.000\n"));

    auto missing = kelmar(d, "--cal-charge nothing.cif");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(has(missing.err, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n"));
    testcli::spit(d / "empty.cif", "");
    auto empty = kelmar(d, "--print-cell empty.cif");
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(has(empty.err, "Error:"));
    auto tol = kelmar(d, "--cal-sym LiFePO4.cif abc");
    EXPECT_EQ(tol.status, 1);
    EXPECT_EQ(tol.err, "Error: wrong parameter accuracy.\n");
}

// The P1 expansion of each sample is matched against every setting of the shipped file; the last
// fitting setting must belong to the sample's own space group. SiO2 (P3_221) has atoms whose
// images land a rounding step below 1 while their partners sit at 0, which the fit matches through
// the nearest periodic image. TiO2 (C2/m) is left out: it also fits P 1 21/a 1, a subgroup in the
// same cell that comes later in the file, and the last fit wins.
TEST(StructCli, CalSymFindsTheOwnGroupOfP1Expansions) {
    testcli::ScratchDir d;
    const struct {
        const char* file;
        const char* setting;
    } cases[] = {{"BaNiO3.cif", "P 63 m c"},    {"CsCl.cif", "P m -3 m"},       {"K2O2.cif", "C m c a"},
                 {"La2CoO4F.cif", "C 2 2 21"},  {"Li2O.cif", "F m -3 m"},       {"Li2O2.cif", "P 63/m m c"},
                 {"Li3V2PO43.cif", "C 1 2 1"},  {"LiFePO4.cif", "P 1 21/c 1"},  {"NaFePO4.cif", "P n m a"},
                 {"SrTiO3.cif", "P m -3 m"},    {"VO2.cif", "P 42/m n m"},      {"Li10GeP2S12.cif", "P 42/n m c:1"}, {"SiO2.cif", "P 32 2 1"}};
    for (const auto& c : cases) {
        d.add(kSamples / c.file);
        auto p1 = kelmar(d, std::string("--gen-cif-p1 ") + c.file);
        ASSERT_EQ(p1.status, 0) << c.file << p1.err;
        auto r = kelmar(d, std::string("--cal-sym ") + c.file + ".p1.cif");
        EXPECT_EQ(r.status, 0) << c.file << r.err;
        EXPECT_TRUE(has(r.out, std::string("Message: determined space group: ") + c.setting + "\n"))
            << c.file << "\n" << r.out.substr(r.out.rfind("Message: determined") == std::string::npos ? 0 : r.out.rfind("Message: determined"));
    }
}

TEST(StructCli, BadFilesExitWithOneErrorAndNoOutput) {
    testcli::ScratchDir d;
    std::string junk;
    for (int i = 0; i < 4096; i++) junk += static_cast<char>((i * 7919 + 13) & 0xff);
    testcli::spit(d / "junk.cif", junk);
    const std::string li = testcli::slurp(kSamples / "LiFePO4.cif");
    testcli::spit(d / "cut.cif", li.substr(0, li.size() - 40));  // the atom loop ends mid-row
    std::string ops = li;
    ops.replace(ops.find("'x, y, z'"), 9, "'x, y, z, x'");
    testcli::spit(d / "ops.cif", ops);
    for (const char* f : {"junk.cif", "cut.cif", "ops.cif"}) {
        auto r = kelmar(d, std::string("--gen-cif ") + f);
        EXPECT_EQ(r.status, 1) << f;
        EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << f << r.err;
        EXPECT_TRUE(has(r.err, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n")) << f;
        EXPECT_FALSE(fs::exists(d / (std::string(f) + ".cif"))) << f;
    }
}
