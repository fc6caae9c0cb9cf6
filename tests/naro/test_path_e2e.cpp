// End-to-end runs of NARO.x with --path on landscapes of real structures (cubes made
// by tools/bv_landscape.py) and the path-stage output files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

struct Energies {
    double one = -1, two = -1, three = -1;
};

Energies parse_activation(const std::string& out) {
    Energies e;
    auto read = [&](const char* key) {
        const size_t p = out.find(key);
        return p == std::string::npos ? -1.0 : std::atof(out.c_str() + p + std::string(key).size());
    };
    e.one = read("1D activation energy: ");
    e.two = read("2D activation energy: ");
    e.three = read("3D activation energy: ");
    return e;
}

std::string run_args(const std::string& cif, const std::string& cube, const std::string& extra) {
    return "--cif " + testcli::quote(kData + "/samples/" + cif) + " Li1+ --cube " +
           testcli::quote(kData + "/naro-path/" + cube) + " " + extra;
}

bool all_lines_crlf(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) return false;
    return true;
}

}  // namespace

TEST(PathEndToEnd, Li2OPercolatesIn3D) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --print-act"), dir.path());
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    EXPECT_NE(r.out.find("ICSD: "), std::string::npos);
    const Energies e = parse_activation(r.out);
    EXPECT_GT(e.one, 0.0);
    EXPECT_LT(e.three, 2.0);
    EXPECT_LE(e.one, e.two);
    EXPECT_LE(e.two, e.three);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "");
    // The events file holds the per-threshold report with CR LF line ends.
    const std::string events = testcli::slurp(dir / "NARO_events.txt");
    EXPECT_EQ(events.rfind(std::string(69, '-') + "\r\n  Summary of pathway characteristics", 0), 0u);
    EXPECT_NE(events.find("> Percolating (3D)\r\n"), std::string::npos);
    EXPECT_TRUE(all_lines_crlf(events));
    EXPECT_TRUE(fs::exists(dir / "NARO_rp.csv"));   // the reaction pathway of the 3D channel
}

TEST(PathEndToEnd, LiFePO4PercolatesIn1DAlongTheLiChainFirst) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("LiFePO4.cif", "LiFePO4.cube", "--path --print-act --print-perc"),
                                dir.path());
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    const Energies e = parse_activation(r.out);
    EXPECT_GT(e.one, 0.0);
    EXPECT_LT(e.one, 1.0);
    EXPECT_GT(e.three, e.one + 1.0);   // clearly lower in 1D than in 3D
    EXPECT_LE(e.two, e.three);
    // The Li chain runs along a in this P2_1/c setting (b of the usual Pnma cell).
    const size_t first = r.out.find("> Percolating");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(r.out.compare(first, 35, "> Percolating (1D) : Vector [1,0,0]"), 0) << r.out.substr(first, 80);
    // The report printed with --print-perc equals the events file.
    const std::string events = testcli::slurp(dir / "NARO_events.txt");
    EXPECT_NE(r.out.find(events), std::string::npos);
}

TEST(PathEndToEnd, PrintPathListsTheLibrary) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --print-path"), dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("                 Summary of minimum energy paths                 \r\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("> Path 1 : "), std::string::npos);
    EXPECT_NE(r.out.find("Listing all "), std::string::npos);
    EXPECT_EQ(r.out.find("activation energy"), std::string::npos);
}

TEST(PathEndToEnd, SummaryFileHoldsAllFourParts) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --summary"), dir.path());
    ASSERT_EQ(r.status, 0);
    const std::string s = testcli::slurp(dir / "NARO_summary.txt");
    const size_t m = s.find("Summary of energy local minima");
    const size_t sd = s.find("Summary of energy saddle point");
    const size_t p = s.find("Summary of minimum energy paths");
    const size_t n = s.find("Summary of pathway characteristics");
    ASSERT_NE(m, std::string::npos);
    ASSERT_NE(sd, std::string::npos);
    ASSERT_NE(p, std::string::npos);
    ASSERT_NE(n, std::string::npos);
    EXPECT_LT(m, sd);
    EXPECT_LT(sd, p);
    EXPECT_LT(p, n);
}

TEST(PathEndToEnd, DirectoryPrefixIsGluedToTheName) {
    testcli::ScratchDir dir;
    fs::create_directory(dir / "out");
    auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --summary --dir out/"), dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / "out" / "NARO_events.txt"));
    EXPECT_TRUE(fs::exists(dir / "out" / "NARO_summary.txt"));
    EXPECT_TRUE(fs::exists(dir / "NARO_error.txt"));
    EXPECT_FALSE(fs::exists(dir / "out" / "NARO_error.txt"));
    // Text that names no directory stays a prefix of the file names ...
    r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --dir pre_"), dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / "pre_NARO_events.txt"));
    // ... while an existing directory named without its separator takes the files inside.
    fs::remove(dir / "out" / "NARO_events.txt");
    r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --vesta --dir out"), dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / "out" / "NARO_events.txt"));
    EXPECT_TRUE(fs::exists(dir / "out" / "NARO.vesta"));
    EXPECT_FALSE(fs::exists(dir / "outNARO_events.txt"));
    EXPECT_FALSE(fs::exists(dir / "outNARO.vesta"));
}

TEST(PathEndToEnd, UnwritableEventsFileIsReportedAndTheRunGoesOn) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --print-act --dir missing/"),
                                dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("3D activation energy"), std::string::npos);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"),
              "Error: Unable to write to NARO_events.txt\nError: Unable to write to NARO_rp.csv\n");
}

TEST(PathEndToEnd, UnwritableSummaryFails) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --summary --dir missing/"),
                                dir.path());
    EXPECT_EQ(r.status, 1);
    const std::string err = testcli::slurp(dir / "NARO_error.txt");
    EXPECT_NE(err.find("Error: Unable to write to NARO_events.txt\n"), std::string::npos);
    EXPECT_NE(err.find("Error: Unable to write to NARO_summary.txt\n"), std::string::npos);
}

TEST(PathEndToEnd, PathWithoutCubeWritesNothing) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(
        NARO_EXE, "--cif " + testcli::quote(kData + "/samples/Li2O.cif") + " Li1+ --path --print-act", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("activation energy"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "NARO_events.txt"));
    EXPECT_FALSE(fs::exists(dir / "NARO_rp.csv"));
}

TEST(PathEndToEnd, CeilingBelowEverySaddleLeavesNoPercolation) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --print-act --max 0.1"),
                                dir.path());
    ASSERT_EQ(r.status, 0);
    const Energies e = parse_activation(r.out);
    EXPECT_EQ(e.one, 999.0);
    EXPECT_EQ(e.two, 999.0);
    EXPECT_EQ(e.three, 999.0);
}

TEST(PathEndToEnd, BrokenCubeStopsBeforeThePathStage) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "bad.cube", std::string("\x01\x02\x03garbage\0\xff", 12));
    const auto r = testcli::run(NARO_EXE,
                                "--cif " + testcli::quote(kData + "/samples/Li2O.cif") +
                                    " Li1+ --cube bad.cube --path --print-act --summary",
                                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(dir / "NARO_events.txt"));
    EXPECT_FALSE(fs::exists(dir / "NARO_summary.txt"));
    EXPECT_NE(testcli::slurp(dir / "NARO_error.txt").find("Error:"), std::string::npos);
}

TEST(PathEndToEnd, CubeWithoutStructureHasAnEmptyLibrary) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE,
                                "--cube " + testcli::quote(kData + "/naro-path/Li2O.cube") +
                                    " --path --print-path --print-act --summary",
                                dir.path());
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    EXPECT_NE(r.out.find("Listing all 0 paths"), std::string::npos);
    const Energies e = parse_activation(r.out);
    EXPECT_EQ(e.one, 999.0);
    EXPECT_EQ(e.three, 999.0);
    const std::string d69(69, '-');
    EXPECT_EQ(testcli::slurp(dir / "NARO_events.txt"),
              d69 + "\r\n  Summary of pathway characteristics at different energy thresholds  \r\n" + d69 +
                  "\r\n\r\n");
    EXPECT_TRUE(fs::exists(dir / "NARO_summary.txt"));
}

TEST(PathEndToEnd, FullDiskIsReportedForEventsAndSummary) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testcli::ScratchDir dir;
    fs::create_symlink("/dev/full", dir / "NARO_events.txt");
    auto r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --print-act"), dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("3D activation energy"), std::string::npos);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "Error: Unable to write to NARO_events.txt\n");
    fs::remove(dir / "NARO_events.txt");
    fs::create_symlink("/dev/full", dir / "NARO_summary.txt");
    r = testcli::run(NARO_EXE, run_args("Li2O.cif", "Li2O.cube", "--path --summary"), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "Error: Unable to write to NARO_summary.txt\n");
}
