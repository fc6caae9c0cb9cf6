// NARO.vesta: operation parsing, iso-surface levels and the structure of the file
// written for LiFePO4.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "vesta.hpp"

namespace fs = std::filesystem;

namespace {
const std::string kData = TEST_DATA_DIR;
}

TEST(Vesta, OperationsAndLevels) {
    struct Op {
        const char* text;
        int rot[3][3];
        double t[3];
    };
    const std::vector<Op> ops = {
        {"-x+1/2,y,-z", {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {0.5, 0, 0}},
        {"x+1/12,-y+3/4,z-1/3", {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {1.0 / 12, 0.75, -1.0 / 3}},
        {"Y,X-Y,Z+0.25", {{0, 1, 0}, {1, -1, 0}, {0, 0, 1}}, {0, 0, 0.25}},
        {"-x+y+1/2 , -x+1/2 , z+1/2  ", {{-1, 1, 0}, {-1, 0, 0}, {0, 0, 1}}, {0.5, 0.5, 0.5}},   // past 30 characters
    };
    for (const Op& o : ops) {
        int r[3][3];
        double t[3];
        naro_vesta_parse_symop(o.text, r, t);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(t[i], o.t[i], 1e-12) << o.text;
            for (int j = 0; j < 3; ++j) EXPECT_EQ(r[i][j], o.rot[i][j]) << o.text << " " << i << j;
        }
    }
    struct Lv {
        double q, e1, e2, e3, l1, l2, l3;
    };
    const std::vector<Lv> levels = {
        {1, 999, 999, 999, 0.02, 0.65, 1.3},
        {1, 0.3, 0.5, 0.9, 0.3, 0.5, 0.9},
        {1, 0.32, 4.75, 4.75, 0.02, 0.16, 0.32},   // 1D only below 1.3 q
        {2, 999, 999, 999, 0.04, 1.3, 2.6},
    };
    for (const Lv& c : levels) {
        double l[3];
        naro_vesta_levels(c.q, c.e1, c.e2, c.e3, l);
        EXPECT_NEAR(l[0], c.l1, 1e-12);
        EXPECT_NEAR(l[1], c.l2, 1e-12);
        EXPECT_NEAR(l[2], c.l3, 1e-12);
    }
}

TEST(Vesta, LiFePO4ProjectFile) {
    testcli::ScratchDir dir;
    const std::string cube = kData + "/naro-path/LiFePO4.cube";
    const auto r = testcli::run(NARO_EXE,
                                "--cif " + testcli::quote(kData + "/samples/LiFePO4.cif") + " Li1+ --cube " +
                                    testcli::quote(cube) + " --path --print-act --vesta --dir out/",
                                dir.path());
    fs::create_directories(dir / "out");
    const auto r2 = testcli::run(NARO_EXE,
                                 "--cif " + testcli::quote(kData + "/samples/LiFePO4.cif") + " Li1+ --cube " +
                                     testcli::quote(cube) + " --path --print-act --vesta --dir out/",
                                 dir.path());
    ASSERT_EQ(r2.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    EXPECT_EQ(r.status, 1);   // the first run had no out/ to write into
    const double e1 = std::atof(r2.out.c_str() + r2.out.find("1D activation energy: ") + 22);

    // Sections in order, with the lines up to the next keyword.
    std::istringstream in(testcli::slurp(dir / "out" / "NARO.vesta"));
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> body;
    std::map<std::string, bool> crlf;
    const std::vector<std::string> keys = {"IMPORT_DENSITY 1", "GROUP", "SYMOP", "TRANM 0", "LTRANSL", "LORIENT", "LMATRIX",
                                           "CELLP", "STRUC", "SHAPE", "BOUND", "SBOND", "SITET", "VECTR", "LBLAT",
                                           "ATOMT", "SCENE", "STYLE", "ATOMP", "BONDP", "POLYP", "ISURF", "TEX3P",
                                           "LIGHT0 1", "LIGHT3", "ATOMM", "HKLPM"};
    for (std::string line; std::getline(in, line);) {
        bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.pop_back();
        bool key = false;
        for (const std::string& k : keys)
            if (line == k) key = true;
        if (key) {
            order.push_back(line);
            crlf[line] = cr;
        } else if (!order.empty()) {
            body[order.back()].push_back(line);
        }
    }
    EXPECT_EQ(order, keys);
    for (const char* k : {"LORIENT", "LMATRIX", "LBLAT", "SCENE", "ATOMP", "BONDP", "POLYP", "ISURF"})
        EXPECT_TRUE(crlf[k]) << k;
    EXPECT_FALSE(crlf["STRUC"]);
    EXPECT_EQ(body["IMPORT_DENSITY 1"].front(), "+1.000000E+000 " + cube);
    EXPECT_EQ(body["GROUP"].front(), "14 1");
    ASSERT_EQ(body["SYMOP"].size(), 5u);   // four operations and the terminator
    EXPECT_EQ(body["SYMOP"][2], "0.000000  0.500000  0.500000  -1  0  0   0  1  0   0  0  -1   1");
    // Eight sites of two lines each, then the terminator.
    ASSERT_EQ(body["STRUC"].size(), 17u);
    EXPECT_EQ(body["STRUC"][0].rfind("1 Li Li0 1.0000 ", 0), 0u) << body["STRUC"][0];
    // Fe-O and P-O bonds; Li is the probe and draws none.
    ASSERT_EQ(body["SBOND"].size(), 3u);
    EXPECT_EQ(body["SBOND"][0].rfind("1 Fe O 0.60000    ", 0), 0u);
    EXPECT_EQ(body["SBOND"][1].rfind("2 P O 0.60000    ", 0), 0u);
    EXPECT_EQ(body["SITET"].size(), 9u);
    EXPECT_EQ(body["SITET"][0], "1 Li0 0.8000 249 220  60 249 220  60 204  1");
    EXPECT_EQ(body["SITET"][2], "3 Fe2 0.0000 249 220  60 249 220  60 204  0");
    // Three iso-surfaces: 0.02, half the 1D level and the 1D level above the minimum.
    const std::vector<std::string>& iso = body["ISURF"];
    ASSERT_EQ(iso.size(), 4u);
    EXPECT_EQ(iso[3], "0 0 0 0");
    double v[3];
    for (int k = 0; k < 3; ++k) v[k] = std::atof(iso[static_cast<size_t>(k)].c_str() + 4);
    EXPECT_NEAR(v[2] - v[0], e1 - 0.02, 2e-6);
    EXPECT_NEAR(v[1] - v[0], e1 / 2 - 0.02, 2e-6);
}

TEST(Vesta, NeedsStructureLandscapeAndPaths) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE,
                                "--cif " + testcli::quote(kData + "/samples/LiFePO4.cif") + " Li1+ --cube " +
                                    testcli::quote(kData + "/naro-path/LiFePO4.cube") + " --vesta",
                                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "Error: --vesta needs --cif, --cube and --path\n");
    EXPECT_FALSE(fs::exists(dir / "NARO.vesta"));
}
