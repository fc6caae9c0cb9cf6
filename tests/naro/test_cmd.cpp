// Command mode: scripted sessions through standard input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

testcli::Result session(const testcli::ScratchDir& dir, const std::string& script, const std::string& extra = "") {
    testcli::spit(dir / "script.txt", script);
    // The helper feeds /dev/null to what it runs: a shell in between reads the script.
    const std::string naro = testcli::quote(NARO_EXE) + " --cif " + testcli::quote(kData + "/samples/LiFePO4.cif") +
                             " Li1+ --cube " + testcli::quote(kData + "/naro-path/LiFePO4.cube") +
                             " --path --summary --gui --cmd " + extra + " < script.txt";
    return testcli::run("/bin/sh", "-c " + testcli::quote("exec " + naro), dir.path());
}

int count_in(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(CommandMode, EveryCommandInOneSession) {
    testcli::ScratchDir dir;
    // Each line, and a piece of what it must print (empty: prints nothing of its own).
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"help", "\nList of commands:\n\tprint minima  - prints summary of local minima\n"},
        {"help grid", "\nCommand:     grid\n"},
        {"energy 0 0 0", "Energy of 0 0 0 : "},
        {"energy 0 zero 0", "Error: 'zero' is not a whole number.\n"},
        {"energy 0 0", "Error: 3 whole numbers expected.\n"},
        {"energy max", "Current maximum energy threshold is "},
        {"energy max 0", "Error: Energy threshold must be positive...\n"},
        {"energy max 6", "Maximum energy threshold is now changed to 6.000 eV.\n"},
        {"energy neighbour 0 0 0", "Energy of 1 1 1 : "},
        {"frac 12 6 12", "Fractional coordinates: 0.500000 0.250000 0.250000\n\n"},
        {"grid 0.5 0.25 0.25", "Grid coordinates: 12 6 12\n\n"},
        {"grid 0.5 nan 1", "Error: 'nan' is not a number.\n"},
        {"distance 0 0 0 0 0 0", "Distance between (0,0,0) and (0,0,0) in Angstrom: 0.000000\n"},
        {"angle 1 0 0 0 0 0 0 1 0", "Angle: 1.571 rad (90.000 deg)\n"},
        {"totalgrid", "Number of grid elements [a,b,c] = [24,24,48]\n"},
        {"hk", ""},
        {"diff_neigh", "Environment of two symmetrically equivalent grid points"},
        {"index 0 0 0", "Number of clusters (of lower energy) around 0 0 0 : "},
        {"isminimum 12 0 0", "(12,0,0) is an energy minimum\n"},
        {"isminimum 1 1 1", "(1,1,1) is NOT an energy minimum\n"},
        {"isminimum 1", "Error: Format isminimum <x> <y> <z> (grid coordinates)\n"},
        {"isdirectpath 0 0 0 0 0 0", "There is direct path between (0,0,0) and (0,0,0)\n"},
        {"isdirectpath 0 0", "Error: Format isdirectpath"},
        {"print ion types", "_atom_type_symbol"},
        {"print symops", "diff_neigh: 0"},
        {"print minima", "Total local minima in unit cell: 8"},
        {"print saddle", "Total local saddle in unit cell: 16"},
        {"print pathlib", "> Path 4 : "},
        {"network all", "Threshold energy: "},
        {"network 0.4", "Summary of pathway characteristics"},
        {"connect 1 -2", "User-defined reaction pathway successfully written to NARO_rp_manual.csv.\n"},
        {"connect 0", "Error: Input path type must be greater than 0 and smaller than 5...\n"},
        {"gii", "Global instability index: "},
        {"bv", "End of BV sum calculation.\n"},
        {"charge", "Total charge per unit cell: "},
        {"no such command", "Unknown command: no "},
        {"del pathlib 7", "Error: Path index must be > 0 and <= 4...\n"},
        {"del pathlib 3", "Deleted path index 2 (path type 3)\n"},
        {"restart reacpath", "Finished restarting.\n"},
        {"del saddletype 9", "Error: Saddle type must be > 0 and <= 4...\n"},
        {"del minimum 9", "Error: Minimum type must be > 0 and <= 3...\n"},
        {"del saddletype 4", "Deleted saddle type 4\n"},
        {"del minimum 3", "Deleted minimum type 3\n"},
        {"restart cube pathlib reacpath", "> Reconstructing the stationary points...\n"},
        {"network", "Error: Format is network [energy]\n"},
    };
    std::string script;
    for (const auto& s : steps) script += s.first + "\n";
    script += "end\n";   // never reached: the malformed network command ends the session
    const auto r = session(dir, script);
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    size_t at = r.out.find("Enter your command: (type end to exit, or help for a list of available commands)\n");
    ASSERT_NE(at, std::string::npos);
    for (const auto& s : steps) {
        if (s.second.empty()) continue;
        const size_t p = r.out.find(s.second, at);
        EXPECT_NE(p, std::string::npos) << s.first;
        if (p != std::string::npos) at = p;
    }
    EXPECT_EQ(r.out.find("Exit command mode..."), std::string::npos);
    EXPECT_EQ(testcli::slurp(dir / "NARO_rp_manual.csv").substr(0, 9), "0.000000,");
}

TEST(CommandMode, EditsReachLaterFilesAndEndOfInputEnds) {
    testcli::ScratchDir dir;
    // No "end": the closed input ends the session.
    const auto r = session(dir, "del pathlib 4\nrestart reacpath\n");
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    EXPECT_NE(r.out.find("Deleted path index 3 (path type 4)\n"), std::string::npos);
    const std::string summary = testcli::slurp(dir / "NARO_summary.txt");
    EXPECT_NE(summary.find("> Path 3 : "), std::string::npos);
    EXPECT_EQ(summary.find("> Path 4 : "), std::string::npos);
    // The GUI table lists three paths now.
    const std::string gui = testcli::slurp(dir / "NARO_gui.csv");
    EXPECT_EQ(count_in(gui, ",s4,"), 0);
    EXPECT_EQ(count_in(gui, ",s1,") + count_in(gui, ",s2,") + count_in(gui, ",s3,"), 3);

    testcli::ScratchDir empty;
    const auto e = session(empty, "");
    EXPECT_EQ(e.status, 0);
    const auto x = session(empty, "end\nenergy 0 0 0\n");
    EXPECT_NE(x.out.find("Exit command mode...\n"), std::string::npos);
    EXPECT_EQ(x.out.find("Energy of 0 0 0"), std::string::npos);
}
