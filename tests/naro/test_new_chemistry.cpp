// Hydrides, phosphides, P+4 thiophosphates and peroxides from a CIF without oxidation states to
// a NARO.x activation energy: the states are inferred, the parameters assemble, the landscape is
// finite and the migration network is found.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(TEST_DATA_DIR);

// The CIF without any oxidation state: the type loop goes and type symbols lose their charge.
std::string without_states(const std::string& cif) {
    std::istringstream in(cif);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    static const std::regex charged(R"((^|\s)([A-Z][a-z]?)[0-9.]*[+-](?=\s|$))");
    std::string out;
    for (std::size_t i = 0; i < lines.size(); i++) {
        if (lines[i].find("loop_") != std::string::npos && i + 1 < lines.size() &&
            lines[i + 1].find("_atom_type_") != std::string::npos) {
            std::size_t k = i + 1;
            while (k < lines.size() && lines[k].find("loop_") == std::string::npos &&
                   lines[k].find("_atom_site") == std::string::npos)
                k++;
            i = k - 1;
            continue;
        }
        out += std::regex_replace(lines[i], charged, "$1$2") + "\n";
    }
    return out;
}

// Every value of a Gaussian cube after its header, and whether all were numbers.
std::vector<double> cube_values(const fs::path& p, bool* all_numbers) {
    std::ifstream in(p);
    std::string line;
    for (int i = 0; i < 2 && std::getline(in, line);) i++;
    int atoms = 0;
    in >> atoms;
    std::getline(in, line);
    for (int i = 0; i < 3 + std::abs(atoms) && std::getline(in, line);) i++;
    std::vector<double> v;
    *all_numbers = true;
    for (std::string word; in >> word;) {
        char* end = nullptr;
        const double x = std::strtod(word.c_str(), &end);
        if (end == word.c_str() || *end != '\0' || !std::isfinite(x)) *all_numbers = false;
        v.push_back(x);
    }
    return v;
}

}  // namespace

TEST(NewChemistry, EachClassReachesALandscapeAndAMigrationNetwork) {
    const struct {
        const char* file;
        const char* ion;     // mobile ion as kelmar.x and NARO.x name it
        const char* states;  // the line kelmar.x prints for the inferred states
        bool deuterated;     // H written as D, as neutron refinements give hydrides
    } cases[] = {
        {"chemistry/LiH.cif", "Li", "H-1 Li+1", false},              // hydride, rock salt
        {"chemistry/LiBH4.cif", "Li", "B+3 H-1 Li+1", false},        // borohydride
        {"chemistry/LiBH4.cif", "Li", "B+3 D-1 Li+1", true},         // the same as LiBD4
        {"chemistry/Li3P.cif", "Li", "Li+1 P-3", false},             // phosphide
        {"electrolytes/ob9.cif", "Li", "Li+1 Mg+2 P+4 S-2", false},  // P2S6 units, partial occupancy
        {"samples/Li2O2.cif", "Li", "Li+1 O-1", false},              // peroxide
        {"samples/K2O2.cif", "K", "K+1 O-1", false},                 // peroxide of another cation
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.deuterated ? " deuterated" : ""));
        testcli::ScratchDir d;
        std::string cif = without_states(testcli::slurp(kData / c.file));
        if (c.deuterated) {
            cif = std::regex_replace(cif, std::regex(R"(\nH([0-9]) H )"), "\nD$1 D ");
            cif = std::regex_replace(cif, std::regex(" H4 "), " D4 ");
        }
        testcli::spit(d / "in.cif", cif);
        auto r = testcli::run(KELMAR_EXE, "--gen-cif in.cif st.cif", d.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("Message: oxidation states from bond valence: ") + c.states + "\n"),
                  std::string::npos)
            << r.out;
        // the written file carries the states: read back, nothing is left to infer
        r = testcli::run(KELMAR_EXE, "--cal-charge st.cif", d.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("oxidation states from"), std::string::npos) << r.out;

        r = testcli::run(KELMAR_EXE, std::string("--gen-cube st.cif ") + c.ion + " 1 -1 0.5", d.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("Error:"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r.out;
        // a partly occupied structure is drawn into an ordered cell first
        const std::string stem = fs::exists(d / "st_assigned.cube") ? "st_assigned" : "st";
        ASSERT_TRUE(fs::exists(d / (stem + ".cube")));
        bool numbers = false;
        const std::vector<double> v = cube_values(d / (stem + ".cube"), &numbers);
        EXPECT_TRUE(numbers);
        ASSERT_GT(v.size(), 100u);
        double lo = v[0], hi = v[0];
        for (double x : v) lo = std::min(lo, x), hi = std::max(hi, x);
        EXPECT_LT(lo, hi);  // a landscape, not a constant

        r = testcli::run(NARO_EXE,
                         "--cif " + stem + ".cif " + c.ion + "1+ --cube " + stem + ".cube --path --print-act",
                         d.path());
        ASSERT_EQ(r.status, 0) << r.err;
        std::smatch m;
        const std::regex act(R"(3D activation energy: ([0-9.]+) eV)");
        ASSERT_TRUE(std::regex_search(r.out, m, act)) << r.out;
        const double e3 = std::stod(m[1]);
        EXPECT_GT(e3, 0.0);
        EXPECT_LT(e3, 5.0);
    }
}
