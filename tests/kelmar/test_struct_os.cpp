// Oxidation states that the file leaves out: charge balance with bond-valence sums as the judge,
// mixed valence over sites, the bound on the search, and the round trip over every file that
// gives its states.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "bv.hpp"
#include "cli.hpp"
#include "cif-read.hpp"
#include "common-states.hpp"
#include "oxidation-states.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";
const std::string kBin = std::string(KELMAR_DATA_DIR) + "/database_binary.dat";
const fs::path kData = fs::path(TEST_DATA_DIR);

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The CIF without any oxidation state: the type loop goes and type symbols lose their charge.
std::string strip_states(const std::string& cif) {
    std::istringstream in(cif);
    std::string line, out;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    static const std::regex charged(R"((^|\s)([A-Z][a-z]?)[0-9.]*[+-](?=\s|$))");
    for (std::size_t i = 0; i < lines.size(); i++) {
        if (lines[i].find("loop_") != std::string::npos && i + 1 < lines.size() &&
            lines[i + 1].find("_atom_type_") != std::string::npos) {
            std::size_t k = i + 1;
            while (k < lines.size() && lines[k].find("loop_") == std::string::npos &&
                   !(lines[k].find("_atom_site") != std::string::npos))
                k++;
            i = k - 1;
            continue;
        }
        if (lines[i].find("_atom_type_oxidation_number") != std::string::npos) continue;
        out += std::regex_replace(lines[i], charged, "$1$2") + "\n";
    }
    return out;
}

struct Loaded {
    int status = 1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    OxidationStateOutcome outcome;
};

Loaded load_and_settle(const std::string& cif) {
    Loaded r;
    auto text = kelmar_text_new(cif.c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = kelmar_cell_import_cif_from_text(&r.cell, &r.sym, text.get(), kSym.c_str(), kUni.c_str());
    if (r.status == 0) r.outcome = settle_oxidation_states(r.cell.get(), r.sym.get(), kUni.c_str(), kBin.c_str());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return r;
}

// element -> the set of its states in the cell
std::map<std::string, std::set<int>> states_of(const KELMAR_CELL& cell) {
    std::map<std::string, std::set<int>> m;
    for (const auto& a : cell.atom) m[a.type].insert(a.os);
    return m;
}

}  // namespace

TEST(StructOs, InfersStatesTheDefaultsCannotBalance) {
    struct Case {
        const char* file;
        bool strip;
        std::map<std::string, std::set<int>> want;
        const char* message;
    };
    const Case cases[] = {
        {"electrolytes/gvd.cif", false, {{"Li", {1}}, {"N", {-3}}}, "oxidation states from bond valence: Li+1 N-3"},
        {"samples/LiFePO4.cif", true, {{"Fe", {2}}, {"P", {5}}, {"Li", {1}}, {"O", {-2}}}, nullptr},
        {"samples/Li3V2PO43.cif", true, {{"V", {3}}, {"P", {5}}}, nullptr},
        {"os/Fe3O4.cif", false, {{"Fe", {2, 3}}, {"O", {-2}}}, "oxidation states from bond valence: Fe+2 Fe+3 O-2"},
        {"os/Li2Se.cif", false, {{"Li", {1}}, {"Se", {-2}}}, nullptr},
        {"os/PbSO4.cif", false, {{"Pb", {2}}, {"S", {6}}, {"O", {-2}}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string cif = slurp(kData / c.file);
        if (c.strip) cif = strip_states(cif);
        Loaded r = load_and_settle(cif);
        ASSERT_EQ(r.status, 0);
        ASSERT_TRUE(r.outcome.balanced) << r.outcome.failure;
        EXPECT_TRUE(r.outcome.inferred);
        auto got = states_of(*r.cell);
        for (const auto& [el, st] : c.want) EXPECT_EQ(got[el], st) << el;
        if (c.message) {
            EXPECT_EQ(r.outcome.message, c.message);
        }
        EXPECT_TRUE(std::fabs(cell_charge_balance(r.cell.get()).total) < 1e-6);
        // the score is the instability index that the bond-valence sums give for these states
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const double gii = kelmar_gii_calculate_from_cell(r.cell.get(), r.sym.get(), kUni.c_str(), kBin.c_str());
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_NEAR(r.outcome.gii, gii, 1e-9);
    }
}

TEST(StructOs, StatesRemovedFromEveryFileThatGivesThemComeBack) {
    int files = 0, same = 0, recoverable = 0, same_recoverable = 0;
    std::string misses;
    for (const auto& dir : {"samples", "os", "naro", "electrolytes"}) {
        for (const auto& e : fs::directory_iterator(kData / dir)) {
            if (e.path().extension() != ".cif") continue;
            const std::string cif = slurp(e.path());
            Loaded given = load_and_settle(cif);
            if (given.status != 0) continue;
            bool all_given = true;
            for (const auto& a : given.cell->atom) all_given = all_given && !a.os_default;
            if (!all_given) continue;
            // a state the data file does not list (the peroxide O-1) cannot be a candidate
            std::ifstream uni(kUni);
            std::set<std::pair<std::string, int>> listed;
            for (std::string line; std::getline(uni, line);) {
                char sym[8];
                int an = 0, os = 0;
                if (std::sscanf(line.c_str(), "%d %7s %d", &an, sym, &os) == 3) listed.insert({sym, os});
            }
            bool candidates = true;
            for (const auto& a : given.cell->atom) candidates = candidates && listed.count({a.type, a.os});
            files++;
            if (candidates) recoverable++;
            Loaded back = load_and_settle(strip_states(cif));
            ASSERT_EQ(back.status, 0) << e.path();
            std::map<std::string, std::set<int>> want, got;
            for (const auto& a : given.cell->atom) want[a.name].insert(a.os);
            for (const auto& a : back.cell->atom) got[a.name].insert(a.os);
            if (want == got) same++, same_recoverable += candidates ? 1 : 0;
            else misses += " " + e.path().filename().string() + "(" + back.outcome.message + back.outcome.failure + ")";
        }
    }
    ASSERT_GE(files, 10);
    EXPECT_GE(same_recoverable * 100, recoverable * 95) << same << " of " << files << "; not recovered:" << misses;
    std::printf("oxidation states recovered in %d of %d files;%s\n", same, files, misses.c_str());
}

TEST(StructOs, NothingBalancesGivesOneLineNamingCompositionAndCandidates) {
    // lithium and a halide with an anion missing: no state of Cl balances Li2 Cl
    const std::string cif = "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n"
                            "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                            "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                            "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n"
                            "Li1 Li+ 0 0 0 1\nLi2 Li+ 0.5 0.5 0.5 1\nCl1 Cl 0.5 0 0 1\n";
    Loaded r = load_and_settle(cif);
    ASSERT_EQ(r.status, 0);
    EXPECT_FALSE(r.outcome.balanced);
    EXPECT_EQ(r.outcome.failure, "no charge-neutral oxidation states for Cl1 Li2 (tried Cl -1 +7 +5 +3; Li +1)");
    // the states stay the defaults
    for (const auto& a : r.cell->atom) EXPECT_EQ(a.os, a.type[0] == 'L' ? 1 : -1);
}

TEST(StructOs, TwentyElementsFinishQuickly) {
    // a high-entropy cell: twenty cations with several states each on an oxygen lattice
    const char* cations[] = {"Mn", "Fe", "Co", "Ni", "Cu", "V", "Cr", "Ti", "Nb", "Mo",
                             "W",  "Sn", "Sb", "Ce", "Pr", "Eu", "Tb", "U",  "Re", "Ru"};
    std::string cif = "data_x\n_cell_length_a 12\n_cell_length_b 12\n_cell_length_c 12\n"
                      "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                      "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                      "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n";
    char row[128];
    for (int i = 0; i < 20; i++) {
        std::snprintf(row, sizeof(row), "%s%d %s %.4f %.4f %.4f 1\n", cations[i], i, cations[i], (i % 4) * 0.25,
                      ((i / 4) % 4) * 0.25, (i / 16) * 0.5);
        cif += row;
    }
    for (int i = 0; i < 48; i++) {
        std::snprintf(row, sizeof(row), "O%d O %.4f %.4f %.4f 1\n", i, (i % 4) * 0.25 + 0.125,
                      ((i / 4) % 4) * 0.25 + 0.125, (i / 16) * 0.25 + 0.125);
        cif += row;
    }
    const auto start = std::chrono::steady_clock::now();
    Loaded r = load_and_settle(cif);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0);
    EXPECT_LT(seconds, 20.0);
    if (r.outcome.balanced) EXPECT_LT(std::fabs(cell_charge_balance(r.cell.get()).total), 0.05 * 96 + 1e-9);
    else EXPECT_NE(r.outcome.failure.find("tried"), std::string::npos);
}

TEST(StructOs, CommandsJudgeTheBalanceOnce) {
    auto li2o = [](double li_occ, const char* li_symbol) {
        char rows[512];
        std::snprintf(rows, sizeof(rows),
                      "Li1 %s 0.25 0.25 0.25 %.4f\nLi2 %s 0.75 0.75 0.75 %.4f\nO1 O2- 0 0 0 1\n", li_symbol, li_occ,
                      li_symbol, li_occ);
        return std::string("data_x\n_cell_length_a 4.6\n_cell_length_b 4.6\n_cell_length_c 4.6\n"
                           "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                           "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                           "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n") +
               rows;
    };
    struct Case {
        std::string cif;
        bool need_neutral;
        const char* mobile;
        bool ok;
        const char* out;  // expected standard output after the reader's lines (substring)
        const char* err;  // expected standard error (whole)
    };
    const Case cases[] = {
        {li2o(1.0, "Li1+"), true, "Li", true, "", ""},
        {li2o(0.97, "Li1+"), true, "Li", true,
         "Warning: total charge of the cell is -0.060000, 3.1% of the cation charge; the charges are rescaled to "
         "neutrality.\n",
         ""},
        {li2o(0.9, "Li1+"), true, "Li", false, "", "Error: total charge of the cell is not neutral: -0.200000\n"},
        {li2o(0.9, "Li1+"), false, nullptr, true, "Warning: total charge of the cell is not neutral: -0.200000\n", ""},
        {li2o(1.0, "Na1+"), true, "Li", true, "", ""},  // a probe ion the cell does not hold
        {li2o(0.9, "Na1+"), true, "Li", false, "", "Error: no Li in the structure.\n"},
        {li2o(1.0, "Cl"), true, "Li", false, "",
         "Error: no Li in the structure.\n"},
        {li2o(1.0, "Li"), true, "Li", true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cif.substr(c.cif.find("Li1 ")));
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        auto text = kelmar_text_new(c.cif.c_str());
        testing::internal::CaptureStdout();
        ASSERT_EQ(kelmar_cell_import_cif_from_text(&cell, &sym, text.get(), kSym.c_str(), kUni.c_str()), 0);
        testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = settle_states_for_command(cell.get(), sym.get(), kUni.c_str(), kBin.c_str(), c.need_neutral,
                                                  c.mobile);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(err, c.err);
    }
}

TEST(StructOs, WrittenCifsCarryTheInferredStatesToTheNextReader) {
    testcli::ScratchDir d;
    d.add(kData / "electrolytes/gvd.cif", "Li3N.cif");
    auto r = testcli::run(KELMAR_EXE, "--gen-cif Li3N.cif out.cif", d.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: oxidation states from bond valence: Li+1 N-3\n"), std::string::npos) << r.out;
    const std::string out = testcli::slurp(d / "out.cif");
    EXPECT_NE(out.find("  N3-     -3\r\n"), std::string::npos) << out;
    // read back, the states are the file's own: nothing left to infer
    r = testcli::run(KELMAR_EXE, "--cal-charge out.cif", d.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("oxidation states from"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Total charge per unit cell: 0.000\n"), std::string::npos) << r.out;
    // a landscape of an ion the unbalanced structure does not hold
    const std::string cut = "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n"
                            "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                            "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                            "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n"
                            "Fe1 Fe 0 0 0 1\nP1 P 0.5 0.5 0.5 1\nO1 O 0.5 0 0 1\nO2 O 0 0.5 0 1\n";
    testcli::spit(d / "nolithium.cif", cut);
    r = testcli::run(KELMAR_EXE, "--gen-cube nolithium.cif Li 1 0.75 1.0", d.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: no Li in the structure.\n");
    EXPECT_FALSE(std::filesystem::exists(d / "nolithium.cube"));
}

// Assignments are ranked by charge balance, then by how common the states are, then by the
// bond-valence fit: a doped garnet keeps the dopant's state that balances exactly, and of two
// exactly balanced assignments the one of more common states wins (Cr+3 Mo+6, not Cr+5 Mo+5;
// Fe+3 Mn+4, not Fe+4 Mn+3, which fits the bond valences of the ideal spinel better; V+3 P+5 in
// LiV(PO4)F, not V+5 P+3).
TEST(StructOs, BalanceFirstThenCommonStatesThenTheFit) {
    struct Case {
        const char* file;
        std::map<std::string, std::set<int>> want;
        const char* message;  // null: the defaults stay, nothing is reported
    };
    const Case cases[] = {
        {"os/LiCrMo2O8.cif", {{"Cr", {3}}, {"Mo", {6}}, {"Li", {1}}}, "oxidation states from bond valence: Cr+3 Li+1 Mo+6 O-2"},
        {"os/LiFeMnO4.cif", {{"Fe", {3}}, {"Mn", {4}}}, "oxidation states from bond valence: Fe+3 Li+1 Mn+4 O-2"},
        {"os/LLZO-Ta.cif", {{"Ta", {5}}, {"Zr", {4}}, {"La", {3}}}, nullptr},
        {"os/LLZO-Mo.cif", {{"Mo", {6}}, {"Zr", {4}}, {"La", {3}}}, nullptr},
        {"electrolytes/2t8.cif", {{"V", {3}}, {"P", {5}}, {"F", {-1}}}, "oxidation states from bond valence: F-1 Li+1 O-2 P+5 V+3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Loaded r = load_and_settle(slurp(kData / c.file));
        ASSERT_EQ(r.status, 0);
        ASSERT_TRUE(r.outcome.balanced) << r.outcome.failure;
        auto got = states_of(*r.cell);
        for (const auto& [el, st] : c.want) EXPECT_EQ(got[el], st) << el;
        if (c.message != nullptr) {
            EXPECT_EQ(r.outcome.message, c.message);
        } else {
            EXPECT_FALSE(r.outcome.inferred) << r.outcome.message;
        }
        EXPECT_LE(cell_charge_balance(r.cell.get()).fraction(), 0.01);
    }
}

TEST(StructOs, HowCommonAStateIsComesFromThePublishedCounts) {
    // of each pair, the first state is the more common one in known structures
    struct Case {
        const char* element;
        int common, rare;
    };
    const Case cases[] = {{"Cr", 3, 5}, {"Mo", 6, 5}, {"Fe", 3, 4}, {"Mn", 2, 7}, {"Ta", 5, 4},
                          {"V", 3, 2},  {"P", 5, 3},  {"O", -2, -1}, {"Ox", -2, -1}, {"Hx", 1, -1}};
    for (const Case& c : cases)
        EXPECT_LT(oxidation_state_rarity(c.element, c.common), oxidation_state_rarity(c.element, c.rare)) << c.element;
    EXPECT_DOUBLE_EQ(oxidation_state_rarity("Li", 1), 0.0);  // the only state
    EXPECT_DOUBLE_EQ(oxidation_state_rarity("Xx", 3), 0.0);  // no element: no preference
    EXPECT_GT(oxidation_state_rarity("Li", 2), oxidation_state_rarity("Li", 1));  // never seen
}
