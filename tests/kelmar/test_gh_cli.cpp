// End-to-end runs of --sites and --gh on real landscapes: every Li site of an ordered CIF names a
// vertex, the written CIFs read back through kelmar.x and gemmi, and bad input leaves no file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

testcli::Result kelmar(const testcli::ScratchDir& dir, const std::string& args) {
    return testcli::run(KELMAR_EXE, args, dir.path());
}

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::set<std::string> files_in(const testcli::ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().filename().string()[0] != '.') names.insert(e.path().filename().string());
    return names;
}

void stage(const testcli::ScratchDir& dir, const char* material) {
    dir.add(kData + "/samples/" + material + ".cif", std::string(material) + ".cif");
    dir.add(kData + "/naro-path/" + material + ".cube", std::string(material) + ".cube");
}

// "Message: graph occ label = named/mobile, ..." -> named and mobile.
std::pair<long, long> label_count(const std::string& out) {
    const auto at = out.find("Message: graph occ label = ");
    if (at == std::string::npos) return {-1, -1};
    long named = -1, mobile = -1;
    std::sscanf(out.c_str() + at, "Message: graph occ label = %ld/%ld", &named, &mobile);
    return {named, mobile};
}

// Sites in a written CIF as gemmi reads them; -1 when gemmi is not available.
long gemmi_sites(const testcli::ScratchDir& dir, const std::string& file) {
    if (std::system("/usr/bin/python3 -c 'import gemmi' >/dev/null 2>&1") != 0) return -1;
    testcli::spit(dir / "count.py",
                  "import gemmi, sys\nprint(len(gemmi.read_small_structure(sys.argv[1]).sites))\n");
    const auto g = testcli::run("/usr/bin/python3", "count.py " + file, dir.path());
    return g.status == 0 ? std::stol(g.out) : -2;
}

TEST(GraphCli, SitesNameEveryLithiumOfOrderedStructures) {
    for (const char* material : {"Li2O", "LiFePO4"}) {
        testcli::ScratchDir dir;
        stage(dir, material);
        const std::string cif = std::string(material) + ".cif";
        const auto r = kelmar(dir, "--sites " + cif + " " + material + ".cube Li 1");
        ASSERT_EQ(r.status, 0) << material << r.err;
        // every Li atom of the cell lies at a vertex: all of them give their names
        const auto [named, mobile] = label_count(r.out);
        EXPECT_GT(mobile, 0) << material;
        EXPECT_GE(named, mobile) << material;
        EXPECT_TRUE(has(r.out, "GRAPH_SITES: barriers (from row to col)"));
        ASSERT_TRUE(fs::exists(dir / (cif + ".site.cif")));
        const auto back = kelmar(dir, "--print-cell " + cif + ".site.cif");
        EXPECT_EQ(back.status, 0) << back.err;
        const long g = gemmi_sites(dir, cif + ".site.cif");
        if (g != -1) {
            EXPECT_GT(g, 0);
        }
        // the long table lists every real site
        const auto l = kelmar(dir, "--sites " + cif + " " + material + ".cube Li 1 -1 -1 -1 t");
        EXPECT_EQ(l.status, 0);
        EXPECT_TRUE(has(l.out, "GRAPH_SITES: real sites connectivity"));
    }
}

TEST(GraphCli, NetworkFilesAndEnergies) {
    testcli::ScratchDir dir;
    stage(dir, "Li2O");
    const auto r = kelmar(dir, "--gh Li2O.cif Li2O.cube Li 1");
    ASSERT_EQ(r.status, 0) << r.err;
    double e1 = 0, lo = 0, hi = 0, e3 = 0;
    const auto at1 = r.out.find("KELMAR_GRAPH_NETWORK: e_1D = ");
    const auto at3 = r.out.find("KELMAR_GRAPH_NETWORK: e_3D = ");
    ASSERT_NE(at1, std::string::npos);
    ASSERT_NE(at3, std::string::npos);
    std::sscanf(r.out.c_str() + at1, "KELMAR_GRAPH_NETWORK: e_1D = %lf (%lf ~ %lf)", &e1, &lo, &hi);
    std::sscanf(r.out.c_str() + at3, "KELMAR_GRAPH_NETWORK: e_3D = %lf", &e3);
    // cubic Li2O: the cheapest hop opens all three directions at once
    EXPECT_GT(e1, 0.0);
    EXPECT_NEAR(e3, e1, 1e-3);
    EXPECT_NEAR(hi - lo, e1, 2e-3);
    const std::set<std::string> want = {"Li2O.cif", "Li2O.cube", "Li2O.cif.gh.cif", "Li2O.cif.gh.txt",
                                        "Li2O.cif.gh.1d.cif", "Li2O.cif.gh.2d.cif", "Li2O.cif.gh.3d.cif",
                                        "Li2O.cif.gh.0d.cif"};
    EXPECT_EQ(files_in(dir), want);
    const std::string table = testcli::slurp(dir / "Li2O.cif.gh.txt");
    EXPECT_EQ(table.rfind("r_coor, energy,   site, dn,      x,      y,      z, index\r\n", 0), 0U);
    EXPECT_TRUE(has(table, ", 1D, "));
    // every CIF written reads back through kelmar.x and gemmi, with the same atoms; the graph
    // holds the 8 Li sites, the 4 octahedral holes and one saddle per hop
    for (const char* f : {"Li2O.cif.gh.cif", "Li2O.cif.gh.1d.cif", "Li2O.cif.gh.2d.cif", "Li2O.cif.gh.3d.cif",
                          "Li2O.cif.gh.0d.cif"}) {
        const auto back = kelmar(dir, std::string("--print-cell ") + f);
        EXPECT_EQ(back.status, 0) << f << back.err;
        long atoms = -1;
        const auto at = back.out.find("CELL: total atom: ");
        ASSERT_NE(at, std::string::npos) << f;
        std::sscanf(back.out.c_str() + at, "CELL: total atom: %ld", &atoms);
        EXPECT_GT(atoms, 0) << f;
        const long g = gemmi_sites(dir, f);
        if (g != -1) {
            EXPECT_EQ(g, atoms) << f;
        }
        if (std::string(f) == "Li2O.cif.gh.cif") {
            EXPECT_EQ(atoms, 8 + 4 + 32);
        }
    }
}

// The network lines of a --gh run.
std::string network_lines(const std::string& out) {
    std::istringstream in(out);
    std::string line, kept;
    while (std::getline(in, line))
        if (line.rfind("KELMAR_GRAPH_NETWORK:", 0) == 0) kept += line + "\n";
    return kept;
}

// A CIF that gives bare element symbols gets its oxidation states settled by charge balance and
// bond valence, as the landscape command did: the network is that of the labelled file.
TEST(GraphCli, StatesLeftOutAreSettled) {
    testcli::ScratchDir dir;
    stage(dir, "LiFePO4");
    std::string cif = testcli::slurp(dir / "LiFePO4.cif");
    const auto types = cif.find("loop_\n _atom_type_symbol");
    ASSERT_NE(types, std::string::npos);
    cif.erase(types, cif.find("loop_\n _atom_site_type_symbol") - types);
    for (const auto& [from, to] : {std::pair{"  Li+  ", "  Li   "}, std::pair{"  Fe2+  ", "  Fe    "},
                                   std::pair{"  P5+  ", "  P    "}, std::pair{"  O2-  ", "  O    "}})
        for (auto at = cif.find(from); at != std::string::npos; at = cif.find(from, at))
            cif.replace(at, std::string(from).size(), to);
    ASSERT_FALSE(has(cif, "Fe2+"));
    testcli::spit(dir / "bare.cif", cif);
    const auto labelled = kelmar(dir, "--gh LiFePO4.cif LiFePO4.cube Li 1");
    const auto bare = kelmar(dir, "--gh bare.cif LiFePO4.cube Li 1");
    ASSERT_EQ(labelled.status, 0) << labelled.err;
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_TRUE(has(bare.out, "Message: oxidation states from bond valence: Fe+2 Li+1 O-2 P+5"));
    EXPECT_FALSE(network_lines(bare.out).empty());
    EXPECT_EQ(network_lines(bare.out), network_lines(labelled.out));
}

// Percolation energies of two electrolytes on 0.2 A landscapes, against the levels at which the
// flooded grid itself first wraps around the cell in 1, 2 and 3 dimensions, above the lowest
// point of the wrapping pool (bench/flood_referee.py, which uses no saddle and no path). In
// LiV(PO4)F the 1D channel runs over a saddle that the grid shows as two neighbouring points,
// one with two and one with three down branches, each holding one side of the hop. In the LGPS
// phase the cycles that close the sheet at 0.353 eV come from the forest of lowest saddles only.
TEST(GraphCli, ElectrolyteNetworksMatchTheFloodedGrid) {
    const struct {
        const char* id;
        double e1, e2, e3;
    } cases[] = {
        {"1e9", 0.388, 0.532, 0.532},  // Li3SbS3
        {"2t8", 0.682, 1.434, 1.924},  // LiV(PO4)F
        {"k4x", 0.203, 0.353, 0.353},  // Li10.35Si1.35P1.65S12: the sheet closes below the forest of barriers
    };
    for (const auto& c : cases) {
        testcli::ScratchDir dir;
        const std::string cif = std::string(c.id) + ".cif";
        dir.add(kData + "/electrolytes/" + cif, cif);
        const auto gen = kelmar(dir, "--gen-cube " + cif + " Li 1 0.75 0.2");
        ASSERT_EQ(gen.status, 0) << gen.err;
        const auto r = kelmar(dir, "--gh " + cif + " " + c.id + ".cube Li 1");
        ASSERT_EQ(r.status, 0) << r.err;
        double e[3] = {-9, -9, -9};
        for (int d = 0; d < 3; ++d) {
            const std::string key = "KELMAR_GRAPH_NETWORK: e_" + std::to_string(d + 1) + "D = ";
            const auto at = r.out.find(key);
            ASSERT_NE(at, std::string::npos) << c.id;
            e[d] = std::stod(r.out.substr(at + key.size()));
        }
        EXPECT_NEAR(e[0], c.e1, 0.002) << c.id;
        EXPECT_NEAR(e[1], c.e2, 0.002) << c.id;
        EXPECT_NEAR(e[2], c.e3, 0.002) << c.id;
    }
}

struct bad_case {
    const char* name;
    std::string args;
    const char* error;
};

TEST(GraphCli, BadInputWritesNothing) {
    const bad_case cases[] = {
        {"print_long", "--sites LiFePO4.cif LiFePO4.cube Li 1 -1 -1 -1 yes", "Error: wrong parameter print_long.\n"},
        {"periodic", "--sites LiFePO4.cif LiFePO4.cube Li 1 -1 -1 -1 f maybe", "Error: wrong parameter periodic.\n"},
        {"other cell", "--gh Li2O.cif LiFePO4.cube Li 1", "Error: the cell of LiFePO4.cube does not match the cell of Li2O.cif.\n"},
        {"no mobile ion", "--gh LiFePO4.cif LiFePO4.cube Na 1", "Error: LiFePO4.cif holds no Na1+ ion to move.\n"},
        {"no saddle", "--gh Li2O.cif flat.cube Li 1", "Error: flat.cube has no saddle point"},
        {"missing cube", "--sites Li2O.cif none.cube Li 1", "Error: kelmar_cube_import_from_file() returns non-zero.\n"},
    };
    for (const bad_case& c : cases) {
        testcli::ScratchDir dir;
        stage(dir, "Li2O");
        stage(dir, "LiFePO4");
        // a flat landscape in the cell of Li2O: no minimum, no saddle
        std::ostringstream flat;
        flat << "flat\r\n\r\n   0 0 0 0\r\n";
        for (int r = 0; r < 3; ++r) flat << "  12 " << (r == 0 ? 0.733662 : 0) << " " << (r == 1 ? 0.733662 : 0) << " "
                                         << (r == 2 ? 0.733662 : 0) << "\r\n";
        for (int k = 0; k < 12 * 12 * 12; ++k) flat << " 1.0\r\n";
        testcli::spit(dir / "flat.cube", flat.str());
        const auto before = files_in(dir);
        const auto r = kelmar(dir, c.args);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_TRUE(has(r.err, c.error)) << c.name << ": " << r.err;
        EXPECT_EQ(files_in(dir), before) << c.name;
        EXPECT_FALSE(has(r.out, "nan")) << c.name;
    }
}

TEST(GraphCli, UsageTexts) {
    testcli::ScratchDir dir;
    auto r = kelmar(dir, "--sites");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Command: --sites [input.cif] [input.cube] {type} {os} | {de} {dr} {barrier_max} "
                          "{flag:print_long} {flag:periodic}\n\n",
                          0),
              0U);
    r = kelmar(dir, "--gh");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Command: --gh [input.cif] [input.cube] [type] [os] | {barrier_max} {flag:periodic}\n\n", 0),
              0U);
}

}  // namespace
