// End-to-end runs of --kmc: a seeded run repeats itself to the byte and writes its four files, the
// limits and defaults of the command line, and bad input that stops with an error and no file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

testcli::Result kmc(const testcli::ScratchDir& dir, const std::string& args, const std::string& seed = "11") {
    return testcli::run("env", "KELMAR_SEED=" + seed + " " + testcli::quote(KELMAR_EXE) + " --kmc " + args, dir.path());
}

void stage(const testcli::ScratchDir& dir, const char* cif, const char* cube) {
    dir.add(kData + "/samples/" + cif + ".cif", std::string(cif) + ".cif");
    dir.add(kData + "/naro-path/" + cube + ".cube", std::string(cube) + ".cube");
}

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Runs --kmc on a pseudo-terminal (util-linux `script`): both streams are a terminal and come back
// joined in out.
testcli::Result kmc_on_terminal(const testcli::ScratchDir& dir, const std::string& args) {
    const std::string line = "KELMAR_SEED=11 " + testcli::quote(KELMAR_EXE) + " --kmc " + args;
    return testcli::run("script", "-qec " + testcli::quote(line) + " /dev/null", dir.path());
}

long kmc_files(const testcli::ScratchDir& dir) {
    long n = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) n += has(e.path().filename().string(), ".kmc.");
    return n;
}

// A value printed after `key` in the output, or NaN.
double after(const std::string& out, const std::string& key) {
    const auto at = out.find(key);
    double v = std::nan("");
    if (at != std::string::npos) std::sscanf(out.c_str() + at + key.size(), "%lf", &v);
    return v;
}

}  // namespace

TEST(KmcCli, SeededRunRepeatsAndWritesItsFiles) {
    testcli::ScratchDir dir;
    stage(dir, "Li3V2PO43", "Li3V2PO43");
    const std::string args = "Li3V2PO43.cif Li3V2PO43.cube Li 1 1 1 1 0.75 900 0 4000 1000";
    const auto first = kmc(dir, args);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");
    const std::string cif1 = testcli::slurp(dir / "Li3V2PO43.cif.kmc.cif");
    const auto second = kmc(dir, args);
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(cif1, testcli::slurp(dir / "Li3V2PO43.cif.kmc.cif"));
    EXPECT_NE(kmc(dir, args, "12").out, first.out);  // another seed, another walk

    const std::string& out = first.out;
    EXPECT_TRUE(has(out, "Message: supercell [1, 1, 1]\n"));
    EXPECT_TRUE(has(out, "KMC: temperature = 900.00 K.\nKMC: t_limit = 0.0e+00 ps; step_limit = 4000.\n"));
    EXPECT_TRUE(has(out, "KMC: step = 4000 / 4000; step_log = 1000\n"));
    EXPECT_TRUE(has(out, "KMC: conducting species: Li1+\n"));
    // ions are conserved: the site-averaged occupancies add up to the ions of the structure
    const auto at = out.find("KMC: [   total] ");
    ASSERT_NE(at, std::string::npos);
    double total = 0, expected = 0;
    ASSERT_EQ(std::sscanf(out.c_str() + at, "KMC: [   total] %lf / %lf", &total, &expected), 2);
    EXPECT_GT(expected, 0.0);
    EXPECT_NEAR(total, expected, 0.002);
    EXPECT_GT(after(out, "KMC: diffusivity = "), 0.0);
    EXPECT_GT(after(out, "KMC: conductivity = "), 0.0);
    // logs: a header and one line per logged step (0, 1000, ..., 4000); frames of the same ions
    const std::string log = testcli::slurp(dir / "Li3V2PO43.cif.kmc.log.txt");
    EXPECT_EQ(log.rfind("step,t,site", 0), 0u);
    long lines = 0;
    for (char c : log) lines += c == '\n';
    EXPECT_EQ(lines, 1 + 5);
    const std::string xyz = testcli::slurp(dir / "Li3V2PO43.cif.kmc.xyz.txt");
    EXPECT_TRUE(has(xyz, "\n4000 "));
    EXPECT_TRUE(has(testcli::slurp(dir / "Li3V2PO43.cif.kmc.init.cif"), "_atom_site_occupancy"));
    EXPECT_TRUE(has(cif1, "V"));  // the host stays, the Li sites carry the averaged occupancies
}

TEST(KmcCli, LimitsAndDefaults) {
    testcli::ScratchDir dir;
    stage(dir, "Li3V2PO43", "Li3V2PO43");
    // time limit only: the run stops at the first hop past it
    auto r = kmc(dir, "Li3V2PO43.cif Li3V2PO43.cube Li 1 1 1 1 0.75 900 500");
    ASSERT_EQ(r.status, 0) << r.err;
    const double t = after(r.out, "KMC: time = ");
    EXPECT_GE(t, 500.0);
    EXPECT_LT(t, 520.0);
    // a non-positive temperature runs at 300 K; a missing supercell spans 25 A
    r = kmc(dir, "Li3V2PO43.cif Li3V2PO43.cube Li 1 0 -1 0 0.75 -20 0 300");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "KMC: temperature = 300.00 K.\n"));
    EXPECT_TRUE(has(r.out, "Message: supercell [2, 3, 3]\n")) << r.out;
}

TEST(KmcCli, BadInputStopsWithOneErrorAndNoFile) {
    struct bad_case {
        const char* name;
        const char* cif;
        const char* cube;
        const char* tail;
        const char* error;  // first error line
    };
    const bad_case cases[] = {
        {"cells differ", "Li2O", "LiFePO4", "", "Error: the cell of LiFePO4.cube does not match the cell of Li2O.cif.\n"},
        {"temperature not a number", "Li3V2PO43", "Li3V2PO43", " 1 1 1 0.75 hot", "Error: wrong parameter temperature.\n"},
        {"t_limit nan", "Li3V2PO43", "Li3V2PO43", " 1 1 1 0.75 600 nan", "Error: wrong parameter t_limit.\n"},
        {"step_limit text", "Li3V2PO43", "Li3V2PO43", " 1 1 1 0.75 600 0 many", "Error: wrong parameter step_limit.\n"},
        {"supercell text", "Li3V2PO43", "Li3V2PO43", " two", "Error: wrong parameter s0.\n"},
        {"missing cube", "Li3V2PO43", "absent", "", "Error:"},
    };
    for (const bad_case& c : cases) {
        testcli::ScratchDir dir;
        dir.add(kData + "/samples/" + c.cif + ".cif", std::string(c.cif) + ".cif");
        if (std::string(c.cube) != "absent")
            dir.add(kData + "/naro-path/" + c.cube + ".cube", std::string(c.cube) + ".cube");
        const auto r =
            kmc(dir, std::string(c.cif) + ".cif " + c.cube + ".cube Li 1" + c.tail);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << c.name << ": " << r.err;
        EXPECT_FALSE(has(r.out, "KMC: conductivity")) << c.name;
        EXPECT_EQ(kmc_files(dir), 0) << c.name;
    }
}

TEST(KmcCli, UsageText) {
    testcli::ScratchDir dir;
    const auto r = kmc(dir, "a.cif a.cube Li");
    EXPECT_EQ(r.status, 1);  // some but not all compulsory arguments
    EXPECT_EQ(r.out.rfind("Command: --kmc [input.cif] [input.cube] {type} {os} | {s0 s1 s2} {sf} {temperature} "
                          "{t_limit} {step_limit} {step_log} {cutoff}\n\n",
                          0),
              0u);
    EXPECT_TRUE(has(r.out, "Example: ./kelmar.x --kmc"));
}

// On a terminal the run shows its progress on standard error; on pipes and files (every other
// test here) nothing but the results is printed.
TEST(KmcCli, ProgressOnATerminalOnly) {
    if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no util-linux script";
    testcli::ScratchDir dir;
    stage(dir, "Li3V2PO43", "Li3V2PO43");
    const std::string args = "Li3V2PO43.cif Li3V2PO43.cube Li 1 1 1 1 0.75 900 0 20000";
    const auto shown = kmc_on_terminal(dir, args);
    ASSERT_EQ(shown.status, 0) << shown.out;
    EXPECT_TRUE(has(shown.out, "\rProgress: equilibration 100%")) << shown.out;
    EXPECT_TRUE(has(shown.out, "\rProgress: 100%")) << shown.out;
    EXPECT_TRUE(has(shown.out, "KMC: step = 20000 / 20000")) << shown.out;
    const auto piped = kmc(dir, args);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    EXPECT_FALSE(has(piped.out, "Progress"));
}
