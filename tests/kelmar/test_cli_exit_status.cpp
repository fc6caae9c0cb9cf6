// kelmar.x's exit status says what happened: a run that prints "Error:" exits 1 and leaves none of
// its result files (a file it did not touch stays), and a command given some but not all of its
// compulsory arguments prints its usage and exits 1 (the bare command still exits 0).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli.hpp"
#include "strict_cases.hpp"

namespace fs = std::filesystem;

namespace {

testcli::Result kelmar(const testcli::ScratchDir& dir, const std::string& args) {
    return testcli::run(KELMAR_EXE, args, dir.path());
}

// kBase with other species in place of Cs+ and Cl-.
std::string with_species(const std::string& cation, const std::string& anion) {
    std::string s = strictcases::kBase;
    for (auto [from, to] : {std::pair<std::string, std::string>{"Cs+", cation}, {"Cl-", anion},
                            {"Cs1", cation.substr(0, 2) + "1"}, {"Cl1", anion.substr(0, 1) + "1"}})
        for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
            s.replace(p, from.size(), to);
    return s;
}

}  // namespace

TEST(ExitStatus, SomeButNotAllArgumentsPrintTheUsageAndFail) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "x.cif", strictcases::kBase);
    const struct {
        const char* args;
        int status;
    } cases[] = {
        {"--gen-cube", 0},           {"--gen-cube x.cif", 1},      {"--gen-cube x.cif Cs", 1},
        {"--cal-cn", 0},             {"--cal-cn x.cif", 1},        {"--cal-cn-type x.cif Cs 1 Cl", 1},
        {"--md x.cif Cs", 1},        {"--kmc x.cif x.cube Cs", 1}, {"--gh x.cif x.cube", 1},
        {"--rx-neb x.cif x.cif", 1}, {"--gen-cif-assign x.cif Cs", 1},
    };
    for (const auto& c : cases) {
        const auto r = kelmar(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out.rfind("Command: ", 0), 0u) << c.args << "\n" << r.out;  // the usage text first
        if (c.status != 0) {
            EXPECT_NE(r.err.find("Error: "), std::string::npos) << c.args;
        } else {
            EXPECT_EQ(r.err, "") << c.args;
        }
    }
    EXPECT_EQ(fs::exists(dir / "x.cube"), false);
}

TEST(ExitStatus, AnErrorLineFailsTheRunAndRemovesItsResults) {
    // Au+ and I- have no bond-valence pair: the library would hold no term for the one bond there is
    testcli::ScratchDir dir;
    testcli::spit(dir / "x.cif", with_species("Au+", "I-"));
    auto r = kelmar(dir, "--gen-gin-lib x.cif");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Error: "), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.lib"));
    r = kelmar(dir, "--gen-gin-lib x.cif 0.75 named.lib");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "named.lib"));

    // a result file the failed run did not touch stays as it was
    testcli::ScratchDir keep;
    testcli::spit(keep / "x.cif", strictcases::damaged(strictcases::cases()[0]));
    testcli::spit(keep / "x.cube", "an earlier landscape");
    testcli::spit(keep / "x.lib", "an earlier library");
    EXPECT_EQ(kelmar(keep, "--gen-cube x.cif Cs 1 0.75 0.5").status, 1);
    EXPECT_EQ(kelmar(keep, "--gen-gin-lib x.cif").status, 1);
    EXPECT_EQ(testcli::slurp(keep / "x.cube"), "an earlier landscape");
    EXPECT_EQ(testcli::slurp(keep / "x.lib"), "an earlier library");

    // Cs+ and Cl- have bond-valence parameters but no Morse depth: the term would be all zeros
    testcli::ScratchDir zeros;
    testcli::spit(zeros / "x.cif", strictcases::kBase);
    r = kelmar(zeros, "--gen-gin-lib x.cif 0.75");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: no bond-valence data for the pair Cs1+-Cl1-"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(zeros / "x.lib"));

    // the same command on a sound structure succeeds and leaves its file
    testcli::ScratchDir good;
    good.add(std::string(TEST_DATA_DIR) + "/samples/Li2O.cif");
    r = kelmar(good, "--gen-gin-lib Li2O.cif 0.75");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(good / "Li2O.lib"));
    EXPECT_EQ(r.err.find("Error:"), std::string::npos);
}
