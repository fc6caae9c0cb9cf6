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
        {"help", "\nList of commands:\n\tgrid          - converts fractional coordinates to grid coordinates\n"},
        {"help grid", "\nCommand:     grid <x> <y> <z>\n- "},
        {"help del", "\nCommand:     del saddletype <k>\n"},
        {"help nothing", "No help for 'nothing'"},
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
        {"neighbour minima 0 0 0 3", "Searching for the nearest 3 energy minima from (0,0,0) (0.000,0.000,0.000)\n"
                                     "> 1 (Li0) : (0,0,0) (0.000,0.000,0.000), 0.000 Angstrom\n"},
        {"neighbour saddle 0 0 0 2", "Searching for the nearest 2 saddle points from (0,0,0) (0.000,0.000,0.000)\n> 1 : ("},
        {"neighbour saddle 0 0 0 0", "Error: Number of neighbours must be greater than zero.\n"},
        {"neighbour minima 0 0 0 99999", "Error: Number of neighbours must not exceed 1000.\n"},
        {"neighbour minima 0 999999 0 1", "Error: The grid point lies more than ten cells outside the unit cell.\n"},
        {"fastgensym 12 0 0", "\nTotal symmetrical copies in unit cell: 2\n         X     Y     Z\n"
                              "  1.    12     0     0\n  2.    12    12    24\n"},
        {"fastgensym 12", "Error: Format gensym x y z\n"},
        {"gensym 12 0 0", "    Grid.x  Grid.y  Grid.z\n 1.    12     0     0\n 2.    12    12    24\n"},
        {"gensymf 0.5 0 0", "    Frac.x  Frac.y  Frac.z\n 1. 0.5000000000  0.0000000000  0.0000000000\n"},
        {"gensymf 0.5 x 0", "Error: 'x' is not a number.\n"},
        {"slice plane z 0", "Successfully exported plane z = 0 to plane.csv.\n"},
        {"slice plane x 24", "Error: Input plane is out of unit cell.\n"},
        {"slice plane w 1", "Error: Format slice plane <x|y|z> <index>\n"},
        {"vesta", "VESTA project written to NARO.vesta.\n"},
        {"export cif sad P1 -o p1.cif", "> Adding saddle points into CIF...\n> Converting to P1 symmetry...\n"
                                        "> Exporting to p1.cif\nFinished exporting.\n"},
        {"export cif", "> No file output specified... writing to NARO.cif instead\nFinished exporting.\n"},
        {"export cif supercell 2 1", "Error: Invalid input to export cif. Please check 'help export cif'"},
        {"export cif -o", "Error: Invalid input to export cif."},
        {"export cif -o no/such/dir/x.cif", "Error: Unable to write to no/such/dir/x.cif\n"},
        {"del pathlib 7", "Error: Path index must be > 0 and <= 4...\n"},
        {"del pathlib 3", "Deleted path index 2 (path type 3)\n"},
        {"restart reacpath", "> Reconstructing the reaction pathway...\n> Auto-generated reaction pathway done.\n"},
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
    // The driver's run reports the pathways once, each restart once with its prefix.
    EXPECT_EQ(count_in(r.out, "Auto-generated reaction pathway done."), 3);
    EXPECT_EQ(count_in(r.out, "> Auto-generated reaction pathway done."), 2);

    // The plane: one line per step along x, one value per step along y; the first is
    // the energy of the origin printed above.
    const std::string plane = testcli::slurp(dir / "plane.csv");
    EXPECT_EQ(count_in(plane, "\n"), 24);
    EXPECT_EQ(count_in(plane, ","), 24 * 24);
    const size_t e0 = r.out.find("Energy of 0 0 0 : ");
    ASSERT_NE(e0, std::string::npos);
    EXPECT_EQ(plane.substr(0, 8), r.out.substr(e0 + 18, 8));
    // The project refers to the cube as it was named; the P1 file lists all 28 atoms of
    // the cell and the four saddle points at each of their four positions.
    EXPECT_NE(testcli::slurp(dir / "NARO.vesta").find("IMPORT_DENSITY 1\n+1.000000E+000 " + kData + "/naro-path/LiFePO4.cube\n"),
              std::string::npos);
    const std::string p1 = testcli::slurp(dir / "p1.cif");
    EXPECT_NE(p1.find("  1   'x,y,z'\nloop_"), std::string::npos);
    EXPECT_EQ(count_in(p1, " 1 a "), 28 + 16);
    EXPECT_EQ(count_in(p1, " SD "), 16);
    // The plain export keeps the setting: four oxygen sites and the O2- type.
    EXPECT_EQ(count_in(testcli::slurp(dir / "NARO.cif"), "\nO"), 5);
    EXPECT_FALSE(fs::exists(dir / "no"));
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

TEST(CommandMode, HelpForEveryCommand) {
    testcli::ScratchDir dir;
    const std::vector<std::string> commands = {
        "vesta", "print minima", "print saddle", "print pathlib", "print ion types", "print symops", "totalgrid", "hk",
        "diff_neigh", "angle", "neighbour minima", "neighbour saddle", "energy neighbour", "energy max", "energy",
        "frac", "grid", "index", "distance", "network", "connect", "del pathlib", "del minimum", "del saddletype",
        "fastgensym", "gensymf", "gensym", "gii", "bv", "charge", "isminimum", "isdirectpath", "export cif",
        "slice plane", "restart", "end"};
    std::string script;
    for (const std::string& c : commands) script += "help " + c + "\n";
    script += "help\n";
    const auto r = session(dir, script);
    ASSERT_EQ(r.status, 0);
    size_t at = 0;
    for (const std::string& c : commands) {
        // Usage line, description and example, in this order.
        const size_t p = r.out.find("\nCommand:     " + c, at);
        ASSERT_NE(p, std::string::npos) << c;
        const size_t about = r.out.find("\n- ", p);
        const size_t example = r.out.find("\n- Example: " + c, p);
        EXPECT_LT(about, example) << c;
        EXPECT_EQ(r.out.find("\nCommand:", p + 1), r.out.find("\nCommand:", example)) << c;
        at = example;
    }
    EXPECT_NE(r.out.find("\nList of commands:\n\tgrid          - converts fractional coordinates to grid coordinates\n"
                         "\tfrac          - converts grid coordinates to fractional coordinates\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\tgensym        - generates symmetrical copies of specified grid coordinates\n"
                         "export cif    - exports the CIF content\n"),
              std::string::npos);
    EXPECT_EQ(count_in(r.out.substr(r.out.find("List of commands:")), "\n"), 18);
}

TEST(CommandMode, SupercellWithWholeOccupancies) {
    // Li1 (8 positions per cell) is half occupied: of its 64 copies in a 2 x 2 x 2 cell,
    // 32 are filled; the full sites keep all their copies.
    testcli::ScratchDir dir;
    testcli::spit(dir / "script.txt", "export cif supercell 2 2 2 -o sc.cif\nexport cif supercell 2 2 2 -o again.cif\n");
    const std::string naro = testcli::quote(NARO_EXE) + " --cif " + testcli::quote(kData + "/electrolytes/e6b.cif") +
                             " Li1+ --cmd < script.txt";
    const auto r = testcli::run("/bin/sh", "-c " + testcli::quote("exec " + naro), dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string sc = testcli::slurp(dir / "sc.cif");
    EXPECT_NE(sc.find("_cell_length_a                    28.131600\n"), std::string::npos);
    EXPECT_NE(sc.find("_cell_formula_units_Z             32\n"), std::string::npos);
    EXPECT_EQ(count_in(sc, " Li   "), 8 * 8 + 4 * 8 + 32);
    EXPECT_EQ(count_in(sc, " Ge   "), 4 * 8);
    EXPECT_EQ(count_in(sc, " 0.500\n"), 0);
    // The draw is repeatable.
    EXPECT_EQ(sc, testcli::slurp(dir / "again.cif"));
}

TEST(CommandMode, WithoutALandscape) {
    // Structure only: grid commands say that no cube is loaded and the session goes on.
    testcli::ScratchDir dir;
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"vesta", "Error: No CUBE file has been loaded yet.\n"},
        {"neighbour minima 0 0 0 1", "Error: No CUBE file has been loaded yet.\n"},
        {"fastgensym 1 2 3", "Error: No CUBE file has been loaded yet.\n"},
        {"slice plane z 0", "Error: No CUBE file has been loaded yet.\n"},
        {"export cif ins", "Error: No stationary points: ins, sad, updatecoor and updatelabel need --cif and --cube.\n"},
        {"gensymf 0.1 0.2 0.3", "\nTotal symmetrical copies in unit cell: 8\n"},
        {"export cif updatecoor", "Error: No stationary points"},
        {"export cif P1", "Finished exporting.\n"},
    };
    std::string script;
    for (const auto& s : steps) script += s.first + "\n";
    testcli::spit(dir / "script.txt", script);
    const std::string naro = testcli::quote(NARO_EXE) + " --cif " + testcli::quote(kData + "/electrolytes/e6b.cif") +
                             " Li1+ --cmd < script.txt";
    const auto r = testcli::run("/bin/sh", "-c " + testcli::quote("exec " + naro), dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    size_t at = 0;
    for (const auto& s : steps) {
        const size_t p = r.out.find(s.second, at);
        EXPECT_NE(p, std::string::npos) << s.first;
        if (p != std::string::npos) at = p + 1;
    }
    EXPECT_FALSE(fs::exists(dir / "NARO.vesta"));
    EXPECT_FALSE(fs::exists(dir / "plane.csv"));
    // Pnma: the general position 8d, written once per position in P1.
    EXPECT_EQ(count_in(testcli::slurp(dir / "NARO.cif"), " 1 a "), 8 + 8 + 4 + 4 + 8 + 4 + 4);
}
