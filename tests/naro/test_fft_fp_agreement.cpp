// kelmar.x's landscape topology against the analyser: landscapes written by --gen-cube for Li2O,
// LiFePO4 and a garnet, minima found by NARO.x --print-minima on the same cube, critical points
// by kelmar.x --fft and the path map by --fp-map. Every analyser minimum has a fingerprint minimum
// within one voxel (periodic) whose energy differs by at most one grid energy step; the spectral
// minima are checked on the lowest sites, and the counts per type are printed.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kData = TEST_DATA_DIR;

using Index = std::array<long, 3>;

struct Grid {
    long n[3] = {0, 0, 0};
    std::vector<double> v;
    double at(const Index& x) const {
        auto w = [&](long i, int r) { return ((i % n[r]) + n[r]) % n[r]; };
        return v[static_cast<std::size_t>((w(x[0], 0) * n[1] + w(x[1], 1)) * n[2] + w(x[2], 2))];
    }
};

Grid read_grid(const fs::path& file) {
    std::istringstream in(testcli::slurp(file));
    std::string line;
    Grid g;
    std::getline(in, line);
    std::getline(in, line);
    long atoms = 0;
    in >> atoms;
    std::getline(in, line);
    for (int r = 0; r < 3; ++r) {
        in >> g.n[r];
        std::getline(in, line);
    }
    for (long a = 0; a < atoms; ++a) std::getline(in, line);
    double x;
    while (in >> x) g.v.push_back(x);
    return g;
}

// Grid indices of the analyser's minima ("Grid coor." columns of the minima tables).
std::vector<Index> naro_minima(const std::string& out) {
    std::vector<Index> found;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::vector<std::string> tok;
        std::string t;
        while (row >> t) tok.push_back(t);
        if (tok.size() < 10 || tok[4].find('.') == std::string::npos) continue;
        bool ints = true;
        for (int c = 0; c < 4; ++c) ints = ints && tok[c].find_first_not_of("0123456789") == std::string::npos;
        if (ints) found.push_back({std::stol(tok[1]), std::stol(tok[2]), std::stol(tok[3])});
    }
    return found;
}

// Critical points of the .fft.txt table with their type from the eigenvalue signs.
std::map<std::string, std::vector<Index>> fft_points(const std::string& txt) {
    std::map<std::string, std::vector<Index>> by;
    std::istringstream in(txt);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<double> f;
        std::istringstream row(line);
        std::string cell;
        while (std::getline(row, cell, ',')) f.push_back(std::atof(cell.c_str()));
        if (f.size() < 11) continue;
        int negative = 0;
        for (int c = 8; c < 11; ++c) negative += f[c] < 0;
        static const char* const names[] = {"MIN", "SD1", "SD2", "MAX"};
        by[names[negative]].push_back({long(f[4]), long(f[5]), long(f[6])});
    }
    return by;
}

// Sites of the path map by label, as grid indices.
std::map<std::string, std::vector<Index>> map_sites(const std::string& cif, const long n[3]) {
    std::map<std::string, std::vector<Index>> by;
    std::istringstream in(cif);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::string label, type;
        double u[3];
        if (!(row >> label >> type >> u[0] >> u[1] >> u[2])) continue;
        if (label != "MIN" && label.rfind("SAD", 0) != 0 && label != "PAT") continue;
        Index x;
        for (int r = 0; r < 3; ++r) x[r] = ((std::lround(u[r] * n[r]) % n[r]) + n[r]) % n[r];
        by[label].push_back(x);
    }
    return by;
}

bool within_one_voxel(const Index& a, const Index& b, const long n[3]) {
    for (int r = 0; r < 3; ++r) {
        const long d = std::labs(a[r] - b[r]);
        if (std::min(d, n[r] - d) > 1) return false;
    }
    return true;
}

// The largest energy change from the point to one of its 26 neighbours.
double energy_step(const Grid& g, const Index& m) {
    double step = 0;
    for (long a = -1; a <= 1; ++a)
        for (long b = -1; b <= 1; ++b)
            for (long c = -1; c <= 1; ++c) step = std::max(step, std::fabs(g.at({m[0] + a, m[1] + b, m[2] + c}) - g.at(m)));
    return step;
}

struct Case {
    const char* cif;       // under tests/data
    const char* resolution;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.cif << " at " << c.resolution << " A"; }

}  // namespace

class TopologyAgreement : public testing::TestWithParam<Case> {};

TEST_P(TopologyAgreement, AnalyserMinimaAreFound) {
    const Case c = GetParam();
    testcli::ScratchDir dir;
    dir.add(kData + "/" + c.cif, "s.cif");
    auto r = testcli::run(KELMAR_EXE, std::string("--gen-cube s.cif Li 1 0.75 ") + c.resolution, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string cube = fs::exists(dir / "s_assigned.cube") ? "s_assigned.cube" : "s.cube";
    const std::string cif = cube == "s.cube" ? "s.cif" : "s_assigned.cif";
    r = testcli::run(NARO_EXE, "--cif " + cif + " Li1+ --cube " + cube + " --print-minima", dir.path());
    ASSERT_EQ(r.status, 0) << testcli::slurp(dir / "NARO_error.txt");
    const std::vector<Index> minima = naro_minima(r.out);
    ASSERT_FALSE(minima.empty()) << r.out;
    r = testcli::run(KELMAR_EXE, "--fft " + cube, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    r = testcli::run(KELMAR_EXE, "--fp-map " + cube, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;

    const Grid g = read_grid(dir / cube);
    ASSERT_EQ(static_cast<long>(g.v.size()), g.n[0] * g.n[1] * g.n[2]);
    const auto fft = fft_points(testcli::slurp(dir / (cube + ".fft.txt")));
    const auto fp = map_sites(testcli::slurp(dir / (cube + ".fp.cif")), g.n);

    double lowest = 1e300;
    for (const Index& m : minima) lowest = std::min(lowest, g.at(m));
    long fp_found = 0, fft_found = 0, fft_lowest = 0, lowest_sites = 0;
    for (const Index& m : minima) {
        const double step = energy_step(g, m);
        auto matched = [&](const std::vector<Index>& points) {
            for (const Index& p : points)
                if (within_one_voxel(m, p, g.n) && std::fabs(g.at(p) - g.at(m)) <= step) return true;
            return false;
        };
        const bool in_fp = fp.count("MIN") && matched(fp.at("MIN"));
        const bool in_fft = fft.count("MIN") && matched(fft.at("MIN"));
        EXPECT_TRUE(in_fp) << c.cif << ": no fingerprint minimum near (" << m[0] << "," << m[1] << "," << m[2] << ")";
        fp_found += in_fp;
        fft_found += in_fft;
        if (g.at(m) - lowest < 1e-6) {
            ++lowest_sites;
            fft_lowest += in_fft;
            EXPECT_TRUE(in_fft) << c.cif << ": no spectral minimum near the lowest site (" << m[0] << "," << m[1] << ","
                                << m[2] << ")";
        }
    }
    auto count = [](const std::map<std::string, std::vector<Index>>& by, const char* key) {
        return by.count(key) ? static_cast<long>(by.at(key).size()) : 0L;
    };
    std::cout << c.cif << " at " << c.resolution << " A, grid " << g.n[0] << "x" << g.n[1] << "x" << g.n[2]
              << ": analyser minima " << minima.size() << "; fingerprint MIN " << count(fp, "MIN") << ", SAD1 "
              << count(fp, "SAD1") << ", SAD2 " << count(fp, "SAD2") << ", SAD3 " << count(fp, "SAD3") << ", PAT "
              << count(fp, "PAT") << "; fft MIN " << count(fft, "MIN") << ", SD1 " << count(fft, "SD1") << ", SD2 "
              << count(fft, "SD2") << ", MAX " << count(fft, "MAX") << "; matched: fingerprint " << fp_found << "/"
              << minima.size() << ", fft " << fft_found << "/" << minima.size() << " (lowest sites " << fft_lowest
              << "/" << lowest_sites << ")\n";
}

INSTANTIATE_TEST_SUITE_P(RealLandscapes, TopologyAgreement,
                         testing::Values(Case{"samples/Li2O.cif", "0.5"}, Case{"samples/LiFePO4.cif", "0.2"},
                                         Case{"electrolytes/l9r.cif", "0.3"}),
                         [](const testing::TestParamInfo<Case>& info) {
                             const std::string s = info.param.cif;
                             return s.find("Li2O") != std::string::npos      ? std::string("Li2O")
                                    : s.find("LiFePO4") != std::string::npos ? std::string("LiFePO4")
                                                                             : std::string("Garnet");
                         });
