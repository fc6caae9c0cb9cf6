// GULP export: line formats, the library read back against --print-ppt, whole-occupancy input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cif-read.hpp"
#include "cli.hpp"
#include "gin.hpp"
#include "property-assemble.hpp"
#include "kelmar_fixtures.hpp"

namespace {

const std::string kExe = KELMAR_EXE;

testcli::Result kelmar(const testcli::ScratchDir& d, const std::string& args) { return testcli::run(kExe, args, d.path()); }

// Lines of a CR LF text; false when any line ends otherwise.
bool crlf_lines(const std::string& text, std::vector<std::string>* lines) {
    lines->clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos || nl == start || text[nl - 1] != '\r') return false;
        lines->push_back(text.substr(start, nl - 1 - start));
        start = nl + 1;
    }
    return true;
}

const std::string kSp = R"([ A-Z][a-z A-Z]?\d[+-] core)";  // "%2s%d%c core"
const std::string kNum = R"( *-?\d+\.\d{6})";               // "%9.6f" and the like
const std::string kFix = R"( *-?\d+\.\d{6})";

// Section of each line: the keyword that opened it.
std::map<std::string, std::regex> line_formats() {
    return {
        {"species", std::regex(kSp + R"( *-?\d+\.\d{8})")},
        {"morse", std::regex(kSp + " " + kSp + "(" + kNum + "){6}")},
        {"qerfc", std::regex(kSp + " " + kSp + "(" + kNum + "){2}")},
        {"manybody", std::regex(kSp + " " + kSp + R"( 0 \d+\.\d{6})")},
        {"eam_density", std::regex(kSp + " " + kSp + " 1" + "(" + kNum + "){2}")},
        {"eam_functional", std::regex(kSp + kFix + R"( 0 \d+ 1\.4142 1 1)")},
        {"three", std::regex(R"([A-Z][a-z]?\d\+  core [A-Z][a-z]?\d-  core [A-Z][a-z]?\d-  core +\d+\.\d{3}  +\d+\.\d{2}  \d+\.\d{2} \d+\.\d{2} \d+\.\d{2})")},
    };
}

// Checks every line of a library text against the layout of its section; returns the count of
// data lines per section.
std::map<std::string, int> check_library(const std::vector<std::string>& lines, std::size_t first) {
    static const std::set<std::string> fixed = {"# kelmar forcefield generated for MD using GULP",
                                                "# Turn off Ewald sum and charged interactions",
                                                "keyword noelectrostatics",
                                                "#                       D0       1/b       Rmin",
                                                "#                     R_cutoff",
                                                "#                   1    1/b      R0",
                                                ""};
    const auto formats = line_formats();
    std::map<std::string, int> count;
    std::string section;
    for (std::size_t i = first; i < lines.size(); i++) {
        const std::string& l = lines[i];
        if (fixed.count(l)) continue;
        if (l == "species") section = "species";
        else if (l == "morse    grad") section = "morse";
        else if (l == "qerfc    ener" || l == "qerfc    force") section = "qerfc";
        else if (l == "manybody") section = "manybody";
        else if (l == "eam_density exponential 0") section = "eam_density";
        else if (l == "eam_functional johnson ") section = "eam_functional";
        else if (l == "three cosine") section = "three";
        else if (std::regex_match(l, std::regex(R"(# fractional radius = \d+\.\d{6})"))) continue;
        else {
            EXPECT_FALSE(section.empty()) << l;
            if (!section.empty()) {
                EXPECT_TRUE(std::regex_match(l, formats.at(section))) << section << ": [" << l << "]";
                count[section]++;
            }
        }
    }
    return count;
}

std::unique_ptr<KELMAR_PROPERTY> parameters(const char* sample, double sf) {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    testing::internal::CaptureStdout();
    kelmar_cell_import_cif_from_file(&cell, &sym, kmfix::sample(sample).c_str(), kmfix::symcards().c_str(),
                                     kmfix::unitary().c_str());
    auto ppt = cell ? kelmar_property_import_from_cell(cell.get(), nullptr, 0, sf, kmfix::unitary().c_str(),
                                                       kmfix::binary().c_str())
                    : nullptr;
    testing::internal::GetCapturedStdout();
    return ppt;
}

std::vector<std::string> words(const std::string& l) {
    std::istringstream in(l);
    std::vector<std::string> w;
    std::string s;
    while (in >> s) w.push_back(s);
    return w;
}

}  // namespace

TEST(Gin, EveryLineFollowsItsSectionLayout) {
    // LiFePO4 has a cation above +2 (one three-body line, one anion species); Li2O has none.
    const struct {
        const char* sample;
        int morse, coulomb, three;
    } cases[] = {{"LiFePO4.cif", 3, 7, 1}, {"Li2O.cif", 1, 2, 0}, {"SrTiO3.cif", 2, 4, 1}};
    for (const auto& c : cases) {
        auto ppt = parameters(c.sample, 0.75);
        ASSERT_NE(ppt, nullptr) << c.sample;
        std::vector<std::string> lines;
        auto lib = kelmar_gin_lib_import_from_property(ppt.get());
        ASSERT_TRUE(crlf_lines(lib->content, &lines)) << c.sample;
        auto n = check_library(lines, 0);
        EXPECT_EQ(n["species"], ppt->total);
        EXPECT_EQ(n["morse"], c.morse) << c.sample;
        EXPECT_EQ(n["qerfc"], c.coulomb) << c.sample;
        EXPECT_EQ(n["three"], c.three) << c.sample;
        EXPECT_EQ(lib->content.find("three cosine") != std::string::npos, c.three > 0);

        auto eam = kelmar_gin_eam_import_from_property(ppt.get());
        ASSERT_TRUE(crlf_lines(eam->content, &lines)) << c.sample;
        n = check_library(lines, 0);
        EXPECT_EQ(n["manybody"], c.morse);
        EXPECT_EQ(n["eam_density"], c.morse);
        EXPECT_EQ(n["eam_functional"], ppt->total);
        EXPECT_EQ(n["three"], c.three);

        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        testing::internal::CaptureStdout();
        kelmar_cell_import_cif_from_file(&cell, &sym, kmfix::sample(c.sample).c_str(), kmfix::symcards().c_str(),
                                         kmfix::unitary().c_str());
        testing::internal::GetCapturedStdout();
        auto conf = kelmar_gin_conf_new("run/md.x.cif");
        auto gin = kelmar_gin_import_from_cell(cell.get(), ppt.get(), conf.get());
        ASSERT_NE(gin, nullptr);
        ASSERT_TRUE(crlf_lines(gin->content, &lines));
        ASSERT_GT(lines.size(), 7u + static_cast<std::size_t>(cell->total()) + 10);
        EXPECT_EQ(lines[0], "conv md");
        EXPECT_EQ(lines[2], "run/md.x");
        EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"((\d+\.\d{6} ){5}\d+\.\d{6})")));
        EXPECT_EQ(lines[6], "fractional   " + std::to_string(cell->total()));
        std::size_t i = 7;
        for (; i < 7 + static_cast<std::size_t>(cell->total()); i++)
            EXPECT_TRUE(std::regex_match(lines[i], std::regex(kSp + R"(( \d\.\d{6}){3})"))) << lines[i];
        const char* tail[] = {"ensemble nvt",          "temperature   298.000", "equilibration   5.000 ps",
                              "production     25.000 ps", "timestep        0.001 ps", "sample          0.500 ps",
                              "write           0.500 ps", "output dcd       run/md.x.dcd",
                              "output xyz       run/md.x.xyz", "dump every 1     run/md.x.grs"};
        for (const char* t : tail) EXPECT_EQ(lines[i++], t);
        EXPECT_EQ(gin->content.substr(gin->content.size() - lib->content.size()), lib->content);
    }
}

TEST(Gin, EmbeddingOfASpeciesWithAPairWithoutData) {
    // Li2O's record with a third species F(-1) for which Li has no pair data: that pair adds only
    // its count to Li's embedding mean, every species keeps a finite embedding parameter, and no
    // library is written with a bond that has no term.
    auto li2o = parameters("Li2O.cif", 0.75);
    ASSERT_NE(li2o, nullptr);
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(li2o.get()), 0);
    const int src[2] = {kelmar_property_find_index(li2o.get(), "Li", 1),
                        kelmar_property_find_index(li2o.get(), "O", -2)};
    ASSERT_GE(src[0], 0);
    ASSERT_GE(src[1], 0);
    auto ppt = kelmar_property_new(3);
    for (int i = 0; i < 2; i++) {
        ppt->type[i] = li2o->type[src[i]];
        ppt->os[i] = li2o->os[src[i]];
        ppt->count[i] = li2o->count[src[i]];
        ppt->uni[i] = li2o->uni[src[i]];
        for (int j = 0; j < 2; j++) ppt->bin[i][j] = li2o->bin[src[i]][src[j]];
    }
    ppt->type[2] = KELMAR_TYPE_NAME{'F', '\0', '\0'};
    ppt->os[2] = -1;
    ppt->count[2] = 2.0;
    ppt->uni[2] = li2o->uni[src[1]];
    std::strcpy(ppt->uni[2].type, "F");
    ppt->uni[2].os = -1;
    for (int k = 0; k < 3; k++) {
        for (KELMAR_PROPERTY_BINARY* e : {&ppt->bin[k][2], &ppt->bin[2][k]}) {
            std::strcpy(e->type1, e == &ppt->bin[k][2] ? ppt->type[k].data() : "F");
            e->os1 = e == &ppt->bin[k][2] ? ppt->os[k] : -1;
            std::strcpy(e->type2, e == &ppt->bin[k][2] ? "F" : ppt->type[k].data());
            e->os2 = e == &ppt->bin[k][2] ? -1 : ppt->os[k];
        }
    }
    ppt->sf = li2o->sf;

    // the library itself is refused: the Li-F bond would get no Morse term
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_gin_eam_import_from_property(ppt.get()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error: no bond-valence data for the pair Li1+-F1-"),
              std::string::npos);
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(ppt.get()), 0);
    const double o = ppt->count[1];
    EXPECT_NEAR(ppt->uni[0].f1, li2o->uni[src[0]].f1 * o / (o + 2.0), 1e-12 * std::fabs(ppt->uni[0].f1));
    EXPECT_GT(ppt->uni[0].f1, 0.0);
    EXPECT_EQ(ppt->uni[2].f1, 0.0);  // F's only partner has no data
    for (int i = 0; i < 3; i++) EXPECT_TRUE(std::isfinite(ppt->uni[i].f1)) << i;
}

TEST(Gin, BaseNamesAndPartialOccupancyRefusal) {
    const struct {
        const char* given;
        const char* base;
    } names[] = {{"x.cif", "x"}, {"a.b.cif", "a.b"}, {"dir.v2/name", "dir.v2/name"}, {"dir/x.cif", "dir/x"},
                 {"plain", "plain"}};
    for (const auto& n : names) EXPECT_EQ(kelmar_gin_conf_new(n.given)->filename, n.base);
    EXPECT_EQ(kelmar_gin_conf_new(nullptr)->filename, "kelmar-default");

    auto cell = kmfix::li2o();
    auto ppt = parameters("Li2O.cif", 0.75);
    cell->atom[5].occ = 0.5;
    testing::internal::CaptureStderr();
    auto conf = kelmar_gin_conf_new("x");
    EXPECT_EQ(kelmar_gin_import_from_cell(cell.get(), ppt.get(), conf.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: partial occupancy detected at atom[5]: Li(1+); occ=0.500000\n");
}

// The library read back gives the Morse depth, width and minimum and the screening radii that
// --print-ppt reports for the same structure and screening factor.
TEST(GinCli, LibraryReadBackMatchesPrintPpt) {
    testcli::ScratchDir d;
    d.add(kmfix::sample("LiFePO4.cif"));
    auto r = kelmar(d, "--gen-gin-lib LiFePO4.cif 0.8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: .lib file saved to LiFePO4.lib\n"), std::string::npos);
    const std::string lib = testcli::slurp(d / "LiFePO4.lib");
    auto p = kelmar(d, "--print-ppt LiFePO4.cif 0.8");
    ASSERT_EQ(p.status, 0);
    // --print-ppt rows: species "| Fe2+ | count | an | softness | rc | q | F_1 |" and pairs
    // "| Fe2+ | O2- | D_0 | R_min | b | R_0 | R_cutoff | CN | F_0 |".
    std::map<std::string, double> rc;
    std::map<std::string, std::vector<double>> pair;
    std::istringstream in(p.out);
    std::string l;
    while (std::getline(in, l)) {
        if (l.rfind("PPT: |", 0) != 0) continue;
        auto w = words(l);
        std::vector<std::string> cells;
        for (auto& s : w)
            if (s != "|" && s != "PPT:") cells.push_back(s);
        if (cells.size() == 7 && cells[0] != "type") rc[cells[0]] = std::stod(cells[4]);
        if (cells.size() == 9 && cells[0] != "cation")
            pair[cells[0] + "-" + cells[1]] = {std::stod(cells[2]), std::stod(cells[3]), std::stod(cells[4])};
    }
    ASSERT_EQ(rc.size(), 4u);
    ASSERT_EQ(pair.size(), 3u);
    std::vector<std::string> lines;
    ASSERT_TRUE(crlf_lines(lib, &lines));
    std::string section;
    int morse = 0, coulomb = 0;
    for (const std::string& line : lines) {
        auto w = words(line);
        if (line.rfind("morse", 0) == 0 || line.rfind("qerfc", 0) == 0 || line == "three cosine") {
            section = w[0];
            continue;
        }
        if (section == "morse" && w.size() == 10) {
            const auto& ref = pair.at(w[0] + "-" + w[2]);
            EXPECT_NEAR(std::stod(w[4]), ref[0], 1e-6) << line;          // D0, eV
            EXPECT_NEAR(1.0 / std::stod(w[5]), ref[2], 0.0005) << line;  // 1/b
            EXPECT_NEAR(std::stod(w[6]), ref[1], 1e-6) << line;          // Rmin
            morse++;
        }
        if (section == "qerfc" && w.size() == 6) {
            EXPECT_NEAR(std::stod(w[4]), 0.8 * (rc.at(w[0]) + rc.at(w[2])), 1e-6) << line;
            coulomb++;
        }
    }
    EXPECT_EQ(morse, 3);
    EXPECT_EQ(coulomb, 7);
    EXPECT_NE(lib.find("# fractional radius = 0.800000\r\n"), std::string::npos);

    // The text-mode command prints the same library after its separator.
    std::string words_of_cif = " -:text";
    std::istringstream cif(testcli::slurp(d / "LiFePO4.cif"));
    while (std::getline(cif, l)) {
        for (auto& w : words(l)) words_of_cif += " " + testcli::quote(w);
        words_of_cif += " -:nl";
    }
    auto t = kelmar(d, "--text-gen-gin-lib-set-sf 0.8" + words_of_cif);
    ASSERT_EQ(t.status, 0) << t.err;
    const std::string sep = "\n=====================================\n\n";
    ASSERT_NE(t.out.find(sep), std::string::npos);
    EXPECT_EQ(t.out.substr(t.out.find(sep) + sep.size()), lib);
}

TEST(GinCli, PartialOccupanciesBecomeAWholeOccupancySupercell) {
    testcli::ScratchDir d;
    d.add(kmfix::sample("Li10GeP2S12.cif"));
    auto r = kelmar(d, "--gen-gin Li10GeP2S12.cif 0.75 lgps_md");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: .gin file saved to lgps_md.gin\n"), std::string::npos);
    std::vector<std::string> lines;
    ASSERT_TRUE(crlf_lines(testcli::slurp(d / "lgps_md.gin"), &lines));
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[2], "lgps_md");
    const int atoms = std::stoi(words(lines[6])[1]);
    // Li 0.691 x 16 + 0.643 x 8 ... per cell resolve to whole atoms in the 2 x 2 x 1 supercell.
    std::map<std::string, int> count;
    std::set<std::string> sites;
    double charge = 0.0;
    for (int i = 0; i < atoms; i++) {
        auto w = words(lines[7 + static_cast<std::size_t>(i)]);
        ASSERT_EQ(w.size(), 5u);
        count[w[0]]++;
        const std::string& sp = w[0];
        const int os = sp[sp.size() - 2] - '0';
        charge += sp.back() == '+' ? os : -os;
        EXPECT_TRUE(sites.insert(w[2] + " " + w[3] + " " + w[4]).second) << "two atoms on one site";
    }
    EXPECT_EQ(lines[7 + static_cast<std::size_t>(atoms)], "ensemble nvt");
    EXPECT_EQ(count["S2-"], 96);
    EXPECT_EQ(count["Ge4+"] + count["P5+"], 24);
    EXPECT_NEAR(charge, 0.0, 1e-9);
}

TEST(GinCli, RefusalsLeaveNoFile) {
    testcli::ScratchDir d;
    d.add(kmfix::sample("Li2O.cif"));
    const struct {
        std::string args, err;
    } cases[] = {
        {"--gen-gin-lib Li2O.cif abc", "Error: wrong parameter screening factor.\n"},
        {"--gen-gin-eam Li2O.cif 0.75 no/such/dir/x.lib", "Error: unable to open no/such/dir/x.lib.\n"},
        {"--gen-gin Li2O.cif 0.75 no/such/dir/x", "Error: unable to open no/such/dir/x.gin.\n"},
        {"--gen-gin-lib missing.cif", ""},
        {"--text-gen-gin-lib -:text", "Error: not enough arguments.\n"},
        {"--text-gen-gin-lib-set-sf x -:text data_x", "Error: wrong parameter sf.\n"},
    };
    for (const auto& c : cases) {
        auto r = kelmar(d, c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find("Error:"), std::string::npos) << c.args;
        if (!c.err.empty()) {
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args << "\n" << r.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(d / "Li2O.lib"));
    EXPECT_FALSE(std::filesystem::exists(d / "missing.lib"));
    auto usage = kelmar(d, "--gen-gin");
    EXPECT_EQ(usage.status, 0);
    const std::string head = "Command: --gen-gin [input.cif] | {sf} {output_name}\n\n";
    EXPECT_EQ(usage.out.substr(0, head.size()), head);
}
