// NARO_gui.csv: six sections read back with a plain CSV reader, one row per minimum,
// saddle and path, and the coordination number of Li at its own sites.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

using Table = std::vector<std::vector<std::vector<std::string>>>;   // section, row, field

Table read_sections(const std::string& text) {
    Table t(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line == "END") {
            t.emplace_back();
            continue;
        }
        std::vector<std::string> f;
        std::stringstream ls(line);
        for (std::string x; std::getline(ls, x, ',');) f.push_back(x);
        t.back().push_back(f);
    }
    t.pop_back();   // nothing after the last END
    return t;
}

int count_in(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST(Gui, TableAndLithiumCoordination) {
    struct Case {
        const char* name;
        int li_cn;
    };
    for (const Case c : {Case{"Li2O", 4}, Case{"LiFePO4", 6}}) {
        SCOPED_TRACE(c.name);
        testcli::ScratchDir dir;
        const std::string args = "--cif " + testcli::quote(kData + "/samples/" + c.name + ".cif") + " Li1+ --cube " +
                                 testcli::quote(kData + "/naro-path/" + c.name + ".cube") +
                                 " --path --print-minima --print-saddle --print-path --gui";
        const auto r = testcli::run(NARO_EXE, args, dir.path());
        ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
        EXPECT_NE(r.out.find("GUI output done.\n"), std::string::npos);
        const Table t = read_sections(testcli::slurp(dir / "NARO_gui.csv"));
        ASSERT_EQ(t.size(), 6u);
        // Row counts agree with the console listings of the same run.
        const size_t path_rows = static_cast<size_t>(count_in(r.out, "> Path "));
        EXPECT_EQ(t[4].size(), path_rows);
        EXPECT_GE(t[1].size(), t[0].size());
        EXPECT_GE(t[3].size(), t[2].size());
        for (size_t s = 0; s < 4; ++s)
            for (const auto& row : t[s]) EXPECT_EQ(row.size(), 9u);
        for (const auto& row : t[4]) EXPECT_EQ(row.size(), 9u);
        ASSERT_EQ(t[5].size(), 3u);
        EXPECT_EQ(t[5][0][0], "1D");
        // Every minimum of a Li site has the Li coordination number.
        int li_rows = 0;
        for (const auto& row : t[1])
            if (row[0].rfind("Li", 0) == 0) {
                ++li_rows;
                EXPECT_EQ(row[7], std::to_string(c.li_cn) + ".000") << row[0];
            }
        EXPECT_GT(li_rows, 0);
    }
}

TEST(Gui, NeedsPathAndCube) {
    testcli::ScratchDir dir;
    const auto r = testcli::run(NARO_EXE, "--cif " + testcli::quote(kData + "/samples/Li2O.cif") + " Li1+ --gui",
                                dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testcli::slurp(dir / "NARO_error.txt"), "Error: --gui needs --cif, --cube and --path\n");
    EXPECT_FALSE(fs::exists(dir / "NARO_gui.csv"));
    EXPECT_EQ(r.out.find("GUI output done."), std::string::npos);
}
