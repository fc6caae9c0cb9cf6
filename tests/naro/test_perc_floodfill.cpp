// The analyser's percolation thresholds against an independent periodic flood fill of
// the same grid (tools/perc_floodfill.py, numpy and scipy at test time only): on real
// structures at a coarse grid, the first threshold of the per-threshold report at which
// a cluster of dimension d appears must equal the lowest energy at which the region
// below it reaches its own periodic images in d directions, within one grid energy step.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

struct Structure {
    const char* dir;
    const char* name;
};

void PrintTo(const Structure& s, std::ostream* os) { *os << s.dir << "/" << s.name; }

class FloodFillAgreement : public ::testing::TestWithParam<Structure> {};

}  // namespace

TEST_P(FloodFillAgreement, ThresholdsMatchInEveryDimension) {
    const Structure s = GetParam();
    if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    const std::string data = TEST_DATA_DIR;
    const std::string tool = data + "/../../tools/perc_floodfill.py";
    testcli::ScratchDir dir;
    const std::string cif = std::string(s.name) + ".cif";
    fs::copy_file(data + "/" + s.dir + "/" + cif, dir / cif);
    const auto gen = testcli::run(KELMAR_EXE, "--gen-cube " + cif + " Li 1 -1 0.5", dir.path());
    ASSERT_EQ(gen.status, 0) << gen.out << gen.err;
    // kelmar may write the structure with assigned oxidation states beside the cube.
    std::string stem = s.name;
    for (const auto& f : fs::directory_iterator(dir.path()))
        if (f.path().extension() == ".cube") stem = f.path().stem().string();
    const auto naro = testcli::run(NARO_EXE, "--cif " + stem + ".cif Li1+ --cube " + stem + ".cube --path --print-perc",
                                   dir.path());
    ASSERT_EQ(naro.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    const auto check = testcli::run("/usr/bin/python3",
                                    testcli::quote(tool) + " " + stem + ".cube NARO_events.txt", dir.path());
    EXPECT_EQ(check.status, 0) << s.name << ": " << check.out << check.err;
}

INSTANTIATE_TEST_SUITE_P(RealStructures, FloodFillAgreement,
                         ::testing::Values(Structure{"samples", "LiFePO4"}, Structure{"samples", "Li3V2PO43"},
                                           Structure{"samples", "TiO2"}, Structure{"electrolytes", "7cr"},
                                           Structure{"electrolytes", "jkq"}),
                         [](const ::testing::TestParamInfo<Structure>& i) { return std::string(i.param.name); });
