// The cube's energy lines read in parallel give the doubles strtod gives, and a whole --path run
// writes the same files whatever KELMAR_THREADS says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli.hpp"
#include "cube-values.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

struct ValueText {
    NaroValueRead read;
    std::vector<double> energy;
};

ValueText read_text(const std::string& text, const int file_grid[3], const int kept_grid[3], int threads) {
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    ValueText r;
    r.energy.assign(static_cast<size_t>(kept_grid[0]) * kept_grid[1] * kept_grid[2], -12345.0);
    r.read = naro_read_value_lines(f, file_grid, kept_grid, r.energy, threads);
    std::fclose(f);
    return r;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// Numbers in every way a writer prints them, enough lines to be split over threads: each value
// is the double strtod makes of its line, and the lowest is the first lowest value.
TEST(CubeValueLines, EqualStrtodForAnyThreadCount) {
    const char* formats[] = {" %12.6f\r\n", "%.17g\n", "  %e\n", "%+.9E \t\n", "%.3f\r\n", "%g\n"};
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> value(-40.0, 40.0);
    const int grid[3] = {24, 30, 36};
    std::string text;
    std::vector<double> expected;
    char line[64];
    for (int n = 0; n < grid[0] * grid[1] * grid[2]; ++n) {
        double v = value(rng);
        if (n % 97 == 0) v = std::ldexp(v, -1060);  // a denormal: strtod's underflow path
        if (n % 101 == 0) v = 0.0;
        std::snprintf(line, sizeof line, formats[n % 6], v);
        text += line;
        expected.push_back(std::strtod(line, nullptr));
    }
    text += "1e-400\n";  // one more line than the header promises: must be blank
    for (int threads : {1, 2, 3, 8}) {
        const ValueText r = read_text(text, grid, grid, threads);
        EXPECT_EQ(r.read.status, NaroValueStatus::extra_values) << threads;
        const ValueText ok = read_text(text.substr(0, text.size() - 7) + "  \r\n\n", grid, grid, threads);
        ASSERT_EQ(ok.read.status, NaroValueStatus::ok) << threads;
        size_t differ = 0;
        for (size_t m = 0; m < expected.size(); ++m) differ += !same_bits(ok.energy[m], expected[m]);
        EXPECT_EQ(differ, 0u) << threads;
        double lowest = expected[0];
        for (double v : expected) lowest = std::min(lowest, v);
        EXPECT_TRUE(same_bits(ok.read.lowest, lowest)) << threads;
    }
}

// Faulty energy lines give the outcome a line-by-line reader gives: the first bad line decides.
TEST(CubeValueLines, FaultsReportedAsInOrder) {
    const int grid[3] = {2, 2, 2};
    struct Case {
        const char* text;
        NaroValueStatus status;
    } cases[] = {
        {"1\n2\n3\n4\n5\n6\n7\n8\n", NaroValueStatus::ok},
        {"1\n2\n3\n4\n5\n6\n7\n8", NaroValueStatus::ok},  // no line end after the last value
        {"1\n2\n3\n4\n5\n6\n7\n", NaroValueStatus::missing_values},
        {"1\n2\n\n4\n5\n6\n7\n8\n", NaroValueStatus::invalid_value},  // a blank line among values
        {"1\n2\nx\n4\n5\n6\n7\n", NaroValueStatus::invalid_value},   // bad before missing
        {"1\n2\n3\n4\n5\n6\nnan\n8\n", NaroValueStatus::invalid_value},
        {"1\n2\n3\n4\n5\n6\n1e999\n8\n", NaroValueStatus::invalid_value},
        {"1\n2\n3\n4\n5\n6\n+-7\n8\n", NaroValueStatus::invalid_value},
        {"1\n2\n3\n4\n5\n6\n7 7\n8\n", NaroValueStatus::invalid_value},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n", NaroValueStatus::extra_values},
        {"1\n2\n3\n4\n5\n6\n7\n8\n \r\n\t\n", NaroValueStatus::ok},
        {"", NaroValueStatus::missing_values},
    };
    for (const Case& c : cases)
        for (int threads : {1, 2}) {
            const ValueText r = read_text(c.text, grid, grid, threads);
            EXPECT_EQ(r.read.status, c.status) << '"' << c.text << "\" threads " << threads;
        }
}

// A file whose odd counts repeat the first planes at the far end: the repeats are read and dropped.
TEST(CubeValueLines, RepeatedPlanesDropped) {
    const int file_grid[3] = {3, 3, 3}, kept[3] = {2, 2, 2};
    std::string text;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                text += std::to_string((i % 2) * 100 + (j % 2) * 10 + (k % 2) - (i == 2 ? 1000 : 0)) + "\n";
    const ValueText r = read_text(text, file_grid, kept, 2);
    ASSERT_EQ(r.read.status, NaroValueStatus::ok);
    const std::vector<double> want = {0, 1, 10, 11, 100, 101, 110, 111};
    EXPECT_EQ(r.energy, want);
    EXPECT_EQ(r.read.lowest, 0.0);  // the repeated plane (-1000 and below) is not part of the cell
}

// One and two threads write byte-identical console output and result files, on a landscape searched
// over its asymmetric unit (LiFePO4, Pnma) and on one searched point by point (the NASICON ldx,
// R-3c on hexagonal axes).
TEST(CubeThreads, PathRunIdenticalForOneAndTwoThreads) {
    testcli::ScratchDir dir;
    dir.add(kData + "/naro-path/ldx.cif");
    const auto gen = testcli::run(KELMAR_EXE, "--gen-cube ldx.cif Li 1 -1 0.25", dir.path());
    ASSERT_EQ(gen.status, 0) << gen.out << gen.err;
    struct Run {
        std::string cif, cube;
    } runs[] = {{kData + "/samples/LiFePO4.cif", kData + "/naro-path/LiFePO4.cube"},
                {(dir / "ldx.cif").string(), (dir / "ldx.cube").string()}};
    for (const Run& run : runs) {
        std::string outputs[2];
        for (int threads : {1, 2}) {
            const fs::path here = dir / ("t" + std::to_string(threads));
            fs::remove_all(here);
            fs::create_directory(here);
            const auto r = testcli::run("env", "KELMAR_THREADS=" + std::to_string(threads) + " " +
                                                   testcli::quote(NARO_EXE) + " --cif " + testcli::quote(run.cif) +
                                                   " Li1+ --cube " + testcli::quote(run.cube) + " --path --print-act",
                                        here);
            ASSERT_EQ(r.status, 0) << run.cube << r.err;
            std::string& all = outputs[threads - 1];
            all = "stdout\n" + r.out + "stderr\n" + r.err;
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(here)) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& f : files) all += f.filename().string() + "\n" + testcli::slurp(f);
            EXPECT_GE(files.size(), 2u) << run.cube;
            EXPECT_NE(r.out.find("3D activation energy"), std::string::npos) << run.cube;
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << run.cube;
    }
}

// A KELMAR_THREADS that is no thread count is named in one warning and the run carries on with
// the CPUs of the process, writing what a valid count writes.
TEST(CubeThreads, UnusableThreadCountWarnsAndCarriesOn) {
    testcli::ScratchDir dir;
    const std::string args = " --cif " + testcli::quote(kData + "/samples/Li2O.cif") + " Li1+ --cube " +
                             testcli::quote(kData + "/naro-path/Li2O.cube") + " --path --print-act";
    std::string events[2];
    int slot = 0;
    for (const char* value : {"1", "two"}) {
        const fs::path here = dir / (std::string("t") + value);
        fs::create_directory(here);
        const auto r = testcli::run("env", std::string("KELMAR_THREADS=") + value + " " + testcli::quote(NARO_EXE) + args,
                                    here);
        ASSERT_EQ(r.status, 0) << value << r.err;
        const size_t warnings = r.out.find("Warning: KELMAR_THREADS is not a whole number from 1 to 4096; using the ");
        EXPECT_EQ(warnings != std::string::npos, std::string(value) == "two") << r.out;
        EXPECT_EQ(r.out.find("Warning: KELMAR_THREADS", warnings + 1), std::string::npos) << "said once";
        events[slot++] = testcli::slurp(here / "NARO_events.txt");
    }
    EXPECT_FALSE(events[0].empty());
    EXPECT_EQ(events[0], events[1]);
}
