// Whole occupancies drawn on the default supercell keep the composition: on sites that the mobile
// ion shares with other cations every species receives its occupancy times multiplicity, rounded,
// on every draw, also when the expansion left images of one position a little apart.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "cell-ops.hpp"
#include "cif-read.hpp"

namespace {

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";

std::unique_ptr<KELMAR_CELL> read_cell(const std::string& file) {
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int st = kelmar_cell_import_cif_from_file(&cell, &sym, (std::string(TEST_DATA_DIR) + "/" + file).c_str(),
                                                    kSym.c_str(), kUni.c_str());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(st, 0) << file;
    return cell;
}

std::map<std::string, long> counts(const KELMAR_CELL& cell) {
    std::map<std::string, long> c;
    for (const auto& a : cell.atom) {
        EXPECT_DOUBLE_EQ(a.occ, 1.0) << a.name;
        c[a.type]++;
    }
    return c;
}

}  // namespace

TEST(StructAssign, SharedMobileSitesKeepTheCompositionOnEveryDraw) {
    struct Case {
        const char* file;
        const char* type;
        bool split_images;  // every atom on a shared site also as a second image 0.05 A away
        std::map<std::string, long> want;
    };
    // Li4Ti5O12 2x2x1: 32 Li on 8a; 64 shared sites give 64/6 = 10.7 -> 11 Li and 53.3 -> 53 Ti.
    // (Li,Mg)(Li,Mg)Ti1.5O4 2x2x1: Li 4 (3.56 + 4.4) = 31.8 -> 32, Mg 4 (0.44 + 3.6) = 16.2 -> 16.
    const Case cases[] = {
        {"os/Li4Ti5O12.cif", "Li", false, {{"Li", 43}, {"Ti", 53}, {"O", 128}}},
        {"os/Li4Ti5O12.cif", "Li", true, {{"Li", 43}, {"Ti", 53}, {"O", 128}}},
        {"electrolytes/jkq.cif", "Li", false, {{"Li", 32}, {"Mg", 16}, {"Ti", 48}, {"O", 128}}},
    };
    RandomEngine engine(17);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.split_images ? " with split images" : ""));
        auto cell = read_cell(c.file);
        ASSERT_TRUE(cell);
        auto super = kelmar_cell_supercell_default(cell.get());
        ASSERT_TRUE(super);
        if (c.split_images) {
            const std::size_t n = super->atom.size();
            for (std::size_t i = 0; i < n; i++) {
                const KELMAR_ATOM& a = super->atom[i];
                if (a.occ >= 1.0) continue;
                KELMAR_ATOM b = a;
                b.x_f[0] += 0.05 / super->parameter[0];
                super->atom.push_back(b);
            }
            kelmar_cell_update_cartesion(super.get());
        }
        for (int draw = 0; draw < 40; draw++) {
            testing::internal::CaptureStderr();
            auto out = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), c.type, 1, engine);
            testing::internal::GetCapturedStderr();
            ASSERT_TRUE(out);
            EXPECT_EQ(counts(*out), c.want) << "draw " << draw;
            double q = 0;
            for (const auto& a : out->atom) q += a.os * a.occ;
            EXPECT_LE(std::fabs(q), 1.0) << "draw " << draw;  // within one mobile ion of neutral
        }
    }
}

// Three and four species on one site, and two kinds of mixed site sharing two species (Li and Mg
// on 8a with vacancies and on 16d): every label keeps exactly its occupancy times its number of
// sites on every draw, the kinds do not trade atoms.
TEST(StructAssign, EveryKindOfMixedSiteKeepsItsCompositionForAnyNumberOfSpecies) {
    struct Case {
        const char* file;
        std::map<std::string, double> exact;  // label -> occupancy x sites in the 2x2x1 supercell
        std::map<std::string, long> totals;   // element counts of every draw
    };
    // 8a: 32 sites, 16d: 64 sites, O: 128.
    const Case cases[] = {
        {"os/LiMgTi-spinel.cif",
         {{"Li1", 32}, {"Li2", 8}, {"Mg2", 4}, {"Ti2", 52}},
         {{"Li", 40}, {"Mg", 4}, {"Ti", 52}, {"O", 128}}},
        {"os/LiMgTiZr-spinel.cif",
         {{"Li1", 20}, {"Mg1", 6}, {"Li2", 8}, {"Mg2", 4}, {"Ti2", 40}, {"Zr2", 12}},
         {{"Li", 28}, {"Mg", 10}, {"Ti", 40}, {"Zr", 12}, {"O", 128}}},
    };
    RandomEngine engine(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto cell = read_cell(c.file);
        ASSERT_TRUE(cell);
        auto super = kelmar_cell_supercell_default(cell.get());
        ASSERT_TRUE(super);
        for (int draw = 0; draw < 20; draw++) {
            testing::internal::CaptureStderr();
            auto work = kelmar_cell_copy(super.get());  // the draw marks the atoms of its input
            auto out = kelmar_cell_assign_partial_occ_at_conducting_site(work.get(), "Li", 1, engine);
            testing::internal::GetCapturedStderr();
            ASSERT_TRUE(out);
            EXPECT_EQ(counts(*out), c.totals) << "draw " << draw;
            std::map<std::string, long> by_label;
            for (const auto& a : out->atom) by_label[a.name]++;
            for (const auto& [label, n] : c.exact)
                EXPECT_EQ(by_label[label], std::lround(n)) << label << " draw " << draw;
            double q = 0;
            for (const auto& a : out->atom) q += a.os * a.occ;
            EXPECT_LE(std::fabs(q), 1.0) << "draw " << draw;
        }
    }
}
