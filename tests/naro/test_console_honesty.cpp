// What a person at the console and a screening script see: a failing run says so on
// the screen and in its exit status, mistyped flags and broken or mismatched inputs are
// refused with one clear error, and the spellings the help text uses work.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

// A cube as the landscape writer makes it, cut down to a 2 x 2 x 2 grid of a 4 Angstrom
// cubic cell; `edit` changes its text before it is written.
std::string small_cube() {
    std::string s = "landscape\nConducting = Li1+ ; sf = 0.75;\n";
    s += "   1    0.000000    0.000000    0.000000\n";
    s += "   2    3.779452    0.000000    0.000000\n";
    s += "   2    0.000000    3.779452    0.000000\n";
    s += "   2    0.000000    0.000000    3.779452\n";
    s += "   3    3.000000    0.000000    0.000000    0.000000\n";
    for (int k = 0; k < 8; ++k) s += "   " + std::to_string(0.5 + 0.1 * k) + "\n";
    return s;
}

std::string replace(std::string s, const std::string& from, const std::string& to) {
    const size_t p = s.find(from);
    if (p != std::string::npos) s.replace(p, from.size(), to);
    return s;
}

struct Case {
    const char* name;
    std::function<std::string()> cube;   // written as in.cube
    const char* args;                    // after "--cube in.cube"
    const char* error;                   // text of the one Error: line
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RefusedInput : public ::testing::TestWithParam<Case> {};

}  // namespace

// Each is refused with exit 1, an Error: line in NARO_error.txt that is also on the
// console, and no result file.
TEST_P(RefusedInput, ErrorOnScreenInFileAndExitOne) {
    const Case& c = GetParam();
    testcli::ScratchDir dir;
    fs::copy_file(kData + "/samples/Li2O.cif", dir / "Li2O.cif");
    fs::copy_file(kData + "/samples/LiFePO4.cif", dir / "LiFePO4.cif");
    fs::copy_file(kData + "/naro-path/Li2O.cube", dir / "Li2O.cube");
    testcli::spit(dir / "in.cube", c.cube());
    const auto r = testcli::run(NARO_EXE, std::string("--cube in.cube ") + c.args, dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    const std::string file = testcli::slurp(dir / "NARO_error.txt");
    EXPECT_NE(file.find(c.error), std::string::npos) << file;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << "console: " << r.err;
    EXPECT_FALSE(fs::exists(dir / "NARO_events.txt"));
    EXPECT_FALSE(fs::exists(dir / "NARO_rp.csv"));
}

INSTANTIATE_TEST_SUITE_P(
    Console, RefusedInput,
    ::testing::Values(
        Case{"MissingCif", small_cube, "--cif absent.cif --path", "Error: Unable to open CIF file"},
        Case{"MissingCube", small_cube, "--cube absent.cube --path", "Error: Unable to open CUBE file"},
        Case{"MistypedFlag", small_cube, "--pth", "Error: unknown flag --pth"},
        Case{"MistypedFlagAfterCif", small_cube, "--cif Li2O.cif --print-minimum", "Error: unknown flag --print-minimum"},
        Case{"ExtraValues", [] { return small_cube() + "   0.9\n   1.0\n"; }, "--path",
             "Error: Invalid CUBE file - more energy values than the 2 x 2 x 2 grid"},
        Case{"HeaderLiesAboutGrid", [] { return replace(small_cube(), "   2    0.000000    0.000000    3.779452",
                                                         "   1    0.000000    0.000000    3.779452"); },
             "--path", "Error: Invalid CUBE file - more energy values than the 2 x 2 x 1 grid"},
        Case{"MissingHeaderLine", [] { return replace(small_cube(), "   2    0.000000    3.779452    0.000000\n", ""); },
             "--path", "Error: Invalid CUBE file - header line 6 is not a grid count and a voxel vector"},
        Case{"ShortVoxelVector", [] { return replace(small_cube(), "3.779452    0.000000    0.000000\n",
                                                      "3.779452    0.000000\n"); },
             "--path", "Error: Invalid CUBE file - header line 4"},
        Case{"AtomCountTooHigh", [] { return replace(small_cube(), "   1    0.000000", "   2    0.000000"); },
             "--path", "Error: Invalid CUBE file - atom line 2 of 2 is not an atom"},
        Case{"NanValue", [] { return replace(small_cube(), "0.600000", "nan"); }, "--path",
             "Error: Invalid CUBE file - invalid energy value"},
        Case{"InfValue", [] { return replace(small_cube(), "0.600000", "-inf"); }, "--path",
             "Error: Invalid CUBE file - invalid energy value"},
        Case{"TwoValuesOnALine", [] { return replace(small_cube(), "0.600000\n", "0.600000 0.7\n"); }, "--path",
             "Error: Invalid CUBE file - invalid energy value"},
        Case{"CubeOfAnotherCell", [] { return std::string("x"); }, "--cube Li2O.cube --cif LiFePO4.cif Li1+ --path",
             "Error: the cube and the CIF describe different cells"}),
    [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(ConsoleHonesty, HelpTextSpellingsAreFlags) {
    testcli::ScratchDir dir;
    const std::string base = "--cif " + testcli::quote(kData + "/samples/Li2O.cif") + " Li1+ --cube " +
                             testcli::quote(kData + "/naro-path/Li2O.cube");
    auto r = testcli::run(NARO_EXE, base + " --print-saddles", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Summary of energy saddle point"), std::string::npos);
    r = testcli::run(NARO_EXE, base + " --path --print-summary", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / "NARO_summary.txt"));
    // A successful run keeps the console free of its warnings.
    EXPECT_EQ(r.err, "");
}

TEST(ConsoleHonesty, AllOxidationStatesZeroIsAnError) {
    testcli::ScratchDir dir;
    std::string cif = testcli::slurp(kData + "/samples/Li2O.cif");
    // Every type listed with oxidation number 0.
    cif = replace(replace(cif, "  Li+  1.0", "  Li+  0.0"), "  O2-  -2.0", "  O2-  0.0");
    testcli::spit(dir / "neutral.cif", cif);
    const auto r = testcli::run(NARO_EXE, "--cif neutral.cif --calc-bvsum", dir.path());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out.find("BV_sum"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Error:"), std::string::npos);
}
