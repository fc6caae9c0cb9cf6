// End-to-end runs of --fft, --fft-cubes and --fp-map: usage texts, output names, read-back of
// the written files (kelmar.x --print-cell, --print-cube, and gemmi), and bad input.
#include <gtest/gtest.h>

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
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
}

// A headerless cube text of n0 x n1 x n2 points (written counts may differ) with the given values.
std::string cube_text(long c0, long c1, long c2, const std::string& values) {
    std::ostringstream s;
    s << "noname\r\n\r\n   0    0.000000    0.000000    0.000000\r\n";
    s << c0 << " 0.5 0 0\r\n" << c1 << " 0 0.5 0\r\n" << c2 << " 0 0 0.5\r\n" << values;
    return s.str();
}

std::string values_of(long n0, long n1, long n2, bool repeat) {
    std::ostringstream s;
    const long e = repeat ? 1 : 0;
    for (long i = 0; i < n0 + e; ++i)
        for (long j = 0; j < n1 + e; ++j)
            for (long k = 0; k < n2 + e; ++k)
                s << " " << ((i % n0) * 7 + (j % n1) * 3 + (k % n2) * 5) % 11 * 0.1 << "\r\n";
    return s.str();
}

int atom_rows(const std::string& cif) {
    std::istringstream in(cif);
    std::string line;
    int rows = 0;
    while (std::getline(in, line))
        if (line.find("  MIN ") == 0 || line.find("  SAD") == 0 || line.find("  PAT ") == 0 || line.find("  SD") == 0 ||
            line.find("  MAX ") == 0)
            ++rows;
    return rows;
}

}  // namespace

TEST(FftCli, UsageTexts) {
    testcli::ScratchDir dir;
    const struct {
        const char* word;
        const char* first;
    } usage[] = {{"--fft", "Command: --fft [input.cube] | {cap} {flag:periodic} {output_name}\n\n"},
                 {"--fft-cubes", "Command: --fft-cubes [input.cube] | {flag:periodic} {output_name}\n\n"},
                 {"--fp-map", "Command: --fp-map [input.cube] | {barrier_max} {flag:periodic} {output_name}\n\n"}};
    for (const auto& u : usage) {
        const auto r = kelmar(dir, u.word);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(u.first, 0), 0u) << r.out;
        EXPECT_TRUE(has(r.out, std::string("Example: ./kelmar.x ") + u.word + " "));
        EXPECT_EQ(r.err, "");
    }
}

// The three commands on the LiFePO4 landscape, with their default output names, and the files
// read back.
TEST(FftCli, CommandsOnLiFePO4) {
    testcli::ScratchDir dir;
    dir.add(kData + "/naro-path/LiFePO4.cube", "x.cube");
    auto r = kelmar(dir, "--fft x.cube");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::size_t at = r.out.find("Message: found ");
    ASSERT_NE(at, std::string::npos);
    const long found = std::atol(r.out.c_str() + at + 15);
    EXPECT_GT(found, 0);
    const std::string cif = testcli::slurp(dir / "x.cube.fft.cif");
    EXPECT_EQ(atom_rows(cif), found);
    const std::string txt = testcli::slurp(dir / "x.cube.fft.txt");
    EXPECT_EQ(std::count(txt.begin(), txt.end(), '\n'), found + 2);
    auto back = kelmar(dir, "--print-cell x.cube.fft.cif");
    EXPECT_EQ(back.status, 0) << back.err;
    // a cap keeps fewer points; a base name of its own
    r = kelmar(dir, "--fft x.cube 0.5 t capped");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(atom_rows(testcli::slurp(dir / "capped.fft.cif")), found);
    EXPECT_TRUE(fs::exists(dir / "capped.fft.txt"));

    r = kelmar(dir, "--fft-cubes x.cube t d");
    ASSERT_EQ(r.status, 0) << r.err;
    int cubes = 0;
    for (const char* s : {"f0", "k00", "k01", "k02", "f1", "k10", "k11", "k12", "f2", "k20", "k21", "k22", "laplacian",
                          "slope"})
        cubes += fs::exists(dir / (std::string("d.fft.") + s + ".cube"));
    EXPECT_EQ(cubes, 14);
    back = kelmar(dir, "--print-cube d.fft.k12.cube");
    EXPECT_EQ(back.status, 0);
    EXPECT_TRUE(has(back.out, "CUBE: cube size = 24 * 24 * 48\n"));

    r = kelmar(dir, "--fp-map x.cube");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "Message: KELMAR_FPCUBE successfully generated containing "));
    const std::string map = testcli::slurp(dir / "x.cube.fp.cif");
    const int rows = atom_rows(map);
    EXPECT_GT(rows, 0);
    back = kelmar(dir, "--print-cell x.cube.fp.cif");
    EXPECT_EQ(back.status, 0) << back.err;
    // gemmi reads the map as a small structure with the same cell and sites
    if (std::system("/usr/bin/python3 -c 'import gemmi' >/dev/null 2>&1") == 0) {
        const std::string script =
            "import gemmi, sys\n"
            "s = gemmi.read_small_structure(sys.argv[1])\n"
            "labels = {site.label for site in s.sites}\n"
            "assert labels <= {'MIN', 'SAD1', 'SAD2', 'SAD3', 'PAT'}, labels\n"
            "print(len(s.sites), round(s.cell.a, 3), round(s.cell.c, 3))\n";
        testcli::spit(dir / "check.py", script);
        const auto g = testcli::run("/usr/bin/python3", "check.py x.cube.fp.cif", dir.path());
        ASSERT_EQ(g.status, 0) << g.err;
        std::istringstream in(g.out);
        int sites = 0;
        double a = 0, c = 0;
        in >> sites >> a >> c;
        EXPECT_EQ(sites, rows);
        EXPECT_NEAR(a, 24 * 0.477610 / 1.889725989, 2e-3);
        EXPECT_NEAR(c, 48 * 0.409849 / 1.889725989, 2e-2);
    }
    // a positive barrier_max keeps fewer path points
    r = kelmar(dir, "--fp-map x.cube 0.3 t low.cif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "paths with barrier lower than 0.300000.\n"));
    EXPECT_LT(atom_rows(testcli::slurp(dir / "low.cif")), rows);
}

// Bad input: one clear error line, exit status 1, and no output file left behind.
// The cube text with its second value replaced.
std::string nan_cube(const std::string& text, const std::string& value) {
    std::istringstream in(text);
    std::string line, out;
    int number = 0;
    while (std::getline(in, line)) {
        if (++number == 8) line = value;  // header, one atom line, then values one per line
        out += line + "\n";
    }
    return out;
}

TEST(FftCli, BadInputLeavesNothing) {
    const std::string good = cube_text(4, 4, 4, values_of(4, 4, 4, false));
    const struct {
        const char* what;
        std::string content;     // input.cube ("" = no file)
        const char* extra;       // arguments after the cube
        const char* message;     // part of the error text
    } cases[] = {
        {"missing cube", "", "", "Error: kelmar_cube_import_from_file() returns non-zero.\n"},
        {"truncated cube", good.substr(0, good.size() / 2), "", "ends after "},
        {"non-periodic read as periodic", cube_text(5, 5, 5, values_of(4, 4, 4, true)), "",
         "repeats its boundary planes"},
        {"grid of one point along an axis", cube_text(1, 6, 6, values_of(1, 6, 6, false)), "",
         "grid point(s) along axis 1"},
        {"cap not a number", good, " abc", "Error: wrong parameter "},
        {"output directory missing", good, " -0.1 t no/such/dir/out", "Error: unable to write to directory no/such/dir.\n"},
        {"a value that is nan", nan_cube(good, " nan"), "", "input.cube holds a value that is not finite (value 2)"},
        {"a value that is infinite", nan_cube(good, " -inf"), "", "input.cube holds a value that is not finite (value 2)"},
    };
    for (const char* word : {"--fft", "--fft-cubes", "--fp-map"}) {
        for (const auto& c : cases) {
            std::string extra = c.extra;
            if (std::string(word) == "--fft-cubes") {
                if (std::string(c.what) == "cap not a number") continue;  // no number argument
                if (std::string(c.what) == "output directory missing") extra = " t no/such/dir/out";
            }
            testcli::ScratchDir dir;
            if (!c.content.empty()) testcli::spit(dir / "input.cube", c.content);
            const auto before = files_in(dir);
            const auto r = kelmar(dir, std::string(word) + " input.cube" + extra);
            EXPECT_EQ(r.status, 1) << word << ": " << c.what;
            EXPECT_TRUE(has(r.err, c.message)) << word << ": " << c.what << "\n" << r.err;
            EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
            EXPECT_EQ(files_in(dir), before) << word << ": " << c.what;
        }
    }
    // the same non-periodic file is accepted with the periodic flag f
    testcli::ScratchDir dir;
    testcli::spit(dir / "np.cube", cube_text(5, 5, 5, values_of(4, 4, 4, true)));
    const auto r = kelmar(dir, "--fp-map np.cube -1 f");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "np.cube.fp.cif"));
}
