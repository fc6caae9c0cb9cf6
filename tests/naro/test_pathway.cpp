// Reaction pathways: the graph walks they are made of, and the energy profiles in
// NARO_rp.csv on real landscapes (cubes made by tools/bv_landscape.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli.hpp"
#include "naro_fixtures.hpp"
#include "pathway-graph.hpp"
#include "pathway.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

// Every edge is used exactly once and consecutive steps share a vertex.
void expect_euler_walk(const NARO_graph& g, const std::vector<int>& walk, const std::vector<double>& w) {
    ASSERT_EQ(walk.size(), w.size() + 1);
    std::vector<char> used(g.edge.size(), 0);
    for (size_t s = 0; s + 1 < walk.size(); ++s) {
        bool found = false;
        for (size_t k = 0; k < g.edge.size() && !found; ++k) {
            const NARO_graph_edge& e = g.edge[k];
            if (used[k] || e.w != w[s]) continue;
            if ((e.a == walk[s] && e.b == walk[s + 1]) || (e.b == walk[s] && e.a == walk[s + 1])) {
                used[k] = 1;
                found = true;
            }
        }
        EXPECT_TRUE(found) << "step " << s << " " << walk[s] << "->" << walk[s + 1];
    }
}

}  // namespace

TEST(PathwayGraph, EulerWalks) {
    struct Case {
        const char* what;
        std::vector<NARO_graph_edge> edges;
        int first, last;            // expected ends of the walk
        size_t steps;               // edges walked, duplicates included
    };
    const std::vector<Case> cases = {
        {"even degrees: closed walk from the first vertex", {{1, 2, 1}, {2, 3, 1}, {3, 1, 1}}, 1, 1, 3},
        {"two odd vertices are the ends", {{1, 2, 1}, {2, 3, 1}}, 1, 3, 2},
        {"loop and parallel edges", {{1, 1, 0.5}, {1, 2, 1}, {1, 2, 2}}, 1, 1, 3},
        {"star: surplus odd leaves paired by duplicated edges", {{1, 2, 1}, {1, 3, 1}, {1, 4, 1}, {1, 5, 1}}, 2, 3, 6},
        {"detour spliced into the walk", {{1, 2, 1}, {2, 3, 1}, {3, 2, 2}, {2, 4, 1}, {4, 3, 3}}, 1, 3, 5},
    };
    for (const Case& c : cases) {
        NARO_graph g;
        for (const NARO_graph_edge& e : c.edges) NARO_add_edge(g, e.a, e.b, e.w);
        std::vector<int> walk;
        std::vector<double> w;
        ASSERT_EQ(NARO_build_Euler_path(g, walk, w), 0) << c.what;
        EXPECT_EQ(walk.front(), c.first) << c.what;
        EXPECT_EQ(walk.back(), c.last) << c.what;
        EXPECT_EQ(w.size(), c.steps) << c.what;
        if (c.steps == c.edges.size()) expect_euler_walk(g, walk, w);
    }
}

TEST(PathwayGraph, ShortestPathAndBadInput) {
    NARO_graph g;
    NARO_add_edge(g, 1, 2, 1.0);
    NARO_add_edge(g, 2, 3, 1.0);
    NARO_add_edge(g, 1, 3, 5.0);
    NARO_add_edge(g, 7, 8, 1.0);   // a separate component
    NARO_build_vert_from_edge(g);
    double d = 0;
    std::vector<int> path;
    ASSERT_EQ(NARO_find_shortest_path(g, 1, 3, &d, &path), 0);
    EXPECT_DOUBLE_EQ(d, 2.0);
    EXPECT_EQ(path, (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(NARO_find_shortest_path(g, 1, 8, &d, &path), 0);
    EXPECT_EQ(d, -1.0);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(NARO_find_shortest_path(g, 42, 1, &d, &path), 1);   // unknown source
    // Three odd vertices (the centre of the star excluded) cannot be paired; a walk
    // cannot cover two components.
    NARO_graph odd;
    NARO_add_edge(odd, 1, 2, 1);
    NARO_add_edge(odd, 1, 3, 1);
    NARO_add_edge(odd, 1, 4, 1);
    NARO_build_vert_from_edge(odd);
    EXPECT_EQ(NARO_handshake_odd_vertices(odd, {1}), 1);
    std::vector<int> walk;
    std::vector<double> w;
    EXPECT_EQ(NARO_build_Euler_path(g, walk, w), 1);
}

namespace {

struct Row {
    double coor = 0, energy = 0;
    std::string label;   // "", a minimum's label or "s<type> <barrier>eV"
};

bool is_minimum(const Row& r) { return !r.label.empty() && r.label[0] != 's'; }

double activation(const std::string& out, const char* key) {
    const size_t p = out.find(key);
    return p == std::string::npos ? 999.0 : std::atof(out.c_str() + p + std::string(key).size());
}

}  // namespace

// For each dimension that percolates, the profile climbs exactly to that dimension's
// percolation level, starts and ends at minima and runs on without gaps.
TEST(PathwayProfile, RealLandscapes) {
    struct Case {
        const char* cif;
        const char* cube;
        int dimensions;   // dimensions whose level must appear
    };
    const std::vector<Case> cases = {
        {"samples/Li2O.cif", "Li2O.cube", 3},
        {"samples/LiFePO4.cif", "LiFePO4.cube", 1},   // the higher levels are unreliable on this grid
        {"samples/Li3V2PO43.cif", "Li3V2PO43.cube", 3},
        {"electrolytes/qbb.cif", "electrolyte-qbb.cube", 3},
        {"electrolytes/1e9.cif", "electrolyte-1e9.cube", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cube);
        testcli::ScratchDir dir;
        const auto r = testcli::run(NARO_EXE,
                                    "--cif " + testcli::quote(kData + "/" + c.cif) + " Li1+ --cube " +
                                        testcli::quote(kData + "/naro-path/" + c.cube) + " --path --print-act",
                                    dir.path());
        ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
        EXPECT_NE(r.out.find("Auto-generated reaction pathway done.\n"), std::string::npos);
        EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "");
        const double act[3] = {activation(r.out, "1D activation energy: "), activation(r.out, "2D activation energy: "),
                               activation(r.out, "3D activation energy: ")};

        std::istringstream in(testcli::slurp(dir / "NARO_rp.csv"));
        std::string line;
        std::vector<std::vector<Row>> pieces(1);
        bool ended = false;
        while (std::getline(in, line)) {
            ASSERT_FALSE(ended) << "text after END";
            if (line == "END") { ended = true; continue; }
            if (line == "NEXT") { pieces.emplace_back(); continue; }
            std::vector<std::string> f;
            std::stringstream ls(line);
            for (std::string x; std::getline(ls, x, ',');) f.push_back(x);
            ASSERT_GE(f.size(), 2u) << line;
            Row row{std::stod(f[0]), std::stod(f[1]), f.size() > 2 ? f[2] : ""};
            if (is_minimum(row)) {
                ASSERT_EQ(f.size(), 6u) << line;
            }   // label, colour, marker, style
            pieces.back().push_back(row);
        }
        ASSERT_TRUE(ended);
        double last_coor = -1, lowest = 999, highest = -999;
        for (const std::vector<Row>& p : pieces) {
            ASSERT_GE(p.size(), 2u);
            EXPECT_TRUE(is_minimum(p.front()) && is_minimum(p.back())) << p.front().coor;
            for (size_t i = 0; i < p.size(); ++i) {
                // Consecutive points are grid neighbours: small positive steps.
                if (i > 0) {
                    EXPECT_GT(p[i].coor - p[i - 1].coor, 0.0);
                    EXPECT_LT(p[i].coor - p[i - 1].coor, 1.5);
                }
                EXPECT_GT(p[i].coor, last_coor);
                if (is_minimum(p[i])) lowest = std::min(lowest, p[i].energy);
                highest = std::max(highest, p[i].energy);
            }
            last_coor = p.back().coor;
        }
        double top = -999;
        for (int d = 0; d < c.dimensions; ++d) {
            ASSERT_LT(act[d], 999.0);
            const double level = act[d] + lowest;
            top = std::max(top, level);
            bool found = false;
            for (const auto& p : pieces)
                for (const Row& row : p)
                    if (!row.label.empty() && row.label[0] == 's' && std::fabs(row.energy - level) < 2e-6) {
                        found = true;
                    }
            EXPECT_TRUE(found) << "no saddle at the " << d + 1 << "D level " << level;
        }
        if (c.dimensions == 3) {
            EXPECT_NEAR(highest, top, 2e-6);
        }
    }
}

TEST(PathwayProfile, NothingPercolatesOrNowhereToWrite) {
    const std::string args = "--cif " + testcli::quote(kData + "/electrolytes/gvd.cif") + " Li1+ --cube " +
                             testcli::quote(kData + "/naro-path/electrolyte-gvd.cube") + " --path --print-act";
    {
        testcli::ScratchDir dir;
        const auto r = testcli::run(NARO_EXE, args, dir.path());
        ASSERT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("1D activation energy: 999.000000 eV"), std::string::npos);
        EXPECT_EQ(testcli::slurp(dir / "NARO_rp.csv"), "END\n");
        // The landscape is flat: the run says so before reporting that nothing percolates.
        EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"),
                  "Warning: the landscape is flat (every grid point at the same energy): it has no sites or hops, so "
                  "no percolation is reported\n"
                  "Warning: No channel percolates; NARO_rp.csv holds no reaction pathway\n");
    }
    {
        // An output directory that does not exist: no file, no claim of success.
        testcli::ScratchDir dir;
        const auto r = testcli::run(NARO_EXE,
                                    "--cif " + testcli::quote(kData + "/samples/Li2O.cif") + " Li1+ --cube " +
                                        testcli::quote(kData + "/naro-path/Li2O.cube") + " --path --dir " +
                                        testcli::quote((dir / "missing").string() + "/"),
                                    dir.path());
        EXPECT_EQ(r.out.find("Auto-generated reaction pathway done."), std::string::npos);
        EXPECT_NE(testcli::slurp(dir / "NARO_error.txt").find("Error: Unable to write to NARO_rp.csv\n"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "missing"));
    }
}

// Three minimum types A (1), B (2), C (3) in one cell: A-B inside the cell, B-A into the
// next cell along a (the channel), A-C a dead end. Which hops the pathway walks depends
// on the level at which the channel appears.
TEST(PathwayAssembly, HopsOfTheTopLevel) {
    using namespace pathfix;
    struct Case {
        const char* what;
        double ab, ba, ac;           // saddle energies; ba < 0 leaves the channel out
        std::vector<int> walked;     // distinct paths (1-based, either direction) walked
    };
    const std::vector<Case> cases = {
        // The channel opens at the top level: the walk over all its hops replaces the
        // backbone walk, so the dead end is shown too.
        {"channel at the top level", 0.2, 0.5, 0.3, {1, 2, 3}},
        // The channel opens below the top level: its pathway keeps the backbone.
        {"channel below the top level", 0.2, 0.3, 0.5, {1, 2}},
        {"nothing percolates", 0.2, -1, 0.3, {}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        NARO_cube c = make_flat_cube(12, 6);
        set_points(c, {{0, 0, 0, 0.0, 1}, {6, 3, 0, 0.1, 2}, {0, 6, 6, 0.1, 3}}, {});
        NARO_pathlib lib;
        lib.pathlib = 1;
        lib.path = {distinct(1, 2, 1, t.ab), distinct(1, 3, 3, t.ac)};
        lib.allpath = {hop(0, 1, 1, t.ab, 0, 0, 0, 1, 2), hop(0, 2, 3, t.ac, 0, 0, 0, 1, 3)};
        if (t.ba > 0) {
            lib.path.insert(lib.path.begin() + 1, distinct(2, 1, 2, t.ba));
            lib.allpath.push_back(hop(1, 0, 2, t.ba, 1, 0, 0, 2, 1));
        }
        // The library lists its copies by rising saddle energy.
        std::sort(lib.allpath.begin(), lib.allpath.end(),
                  [](const NARO_allpath& a, const NARO_allpath& b) { return a.saddle_energy < b.saddle_energy; });
        lib.total_path = static_cast<int>(lib.path.size());
        lib.total_allpath = static_cast<int>(lib.allpath.size());
        NARO_reaction_pathway_overall rp;
        ASSERT_EQ(NARO_build_reaction_pathway(c, lib, rp), 0);
        if (t.walked.empty()) {
            EXPECT_TRUE(rp.rp.empty());
            continue;
        }
        ASSERT_EQ(rp.rp.size(), 1u);
        std::vector<int> used;
        for (int ref : rp.rp[0].path)
            if (std::find(used.begin(), used.end(), std::abs(ref)) == used.end()) used.push_back(std::abs(ref));
        std::sort(used.begin(), used.end());
        EXPECT_EQ(used, t.walked);
        EXPECT_EQ(rp.rp[0].dimension, 1);
        // Consecutive hops meet: each starts in the type where the previous one ended.
        const auto& refs = rp.rp[0].path;
        for (size_t k = 1; k < refs.size(); ++k) {
            const NARO_path& a = lib.path[static_cast<size_t>(std::abs(refs[k - 1]) - 1)];
            const NARO_path& b = lib.path[static_cast<size_t>(std::abs(refs[k]) - 1)];
            EXPECT_EQ(refs[k - 1] > 0 ? a.end_type : a.start_type, refs[k] > 0 ? b.start_type : b.end_type);
        }
    }
}
