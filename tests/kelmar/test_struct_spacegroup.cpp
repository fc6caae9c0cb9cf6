// The setting search reports the space group itself: every one of the 230 groups, built in its
// reference setting from one atom on a general position, is found as itself, also when the whole
// structure is shifted off the setting's origin, and so is every other tabulated setting in its own
// axes; written P1 files keep their group.
#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <map>
#include <random>
#include <string>

#include "cli.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cif-write.hpp"
#include "symmetry-find.hpp"
#include "symmetry.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kSym = std::string(KELMAR_DATA_DIR) + "/database_symcards.dat";
const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";

// A lattice of the group's crystal family, free of accidental higher symmetry.
void lattice_for(int number, KELMAR_CELL* cell) {
    double p[6] = {5.1, 6.3, 7.7, 90, 90, 90};
    if (number <= 2) p[3] = 81, p[4] = 86, p[5] = 97;
    else if (number <= 15) p[4] = 101;
    else if (number <= 74) {
    } else if (number <= 142) p[1] = p[0];
    else if (number <= 194) p[1] = p[0], p[5] = 120;
    else p[1] = p[2] = p[0];
    for (int k = 0; k < 3; k++) {
        cell->parameter[k] = p[k];
        cell->angle[k] = p[k + 3];
    }
}

// A lattice every rotation of the setting keeps, whatever its axes: a generic metric tensor G
// averaged over the rotations (R^T G R), read back as lengths and angles.
void lattice_kept_by(const KELMAR_SYMMETRY& sym, KELMAR_CELL* cell, bool falling) {
    const double a[3] = {falling ? 7.7 : 5.1, 6.3, falling ? 5.1 : 7.7}, cosine[3] = {std::cos(81 * M_PI / 180), std::cos(86 * M_PI / 180),
                                                       std::cos(97 * M_PI / 180)};
    double g0[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) g0[i][j] = a[i] * a[j] * (i == j ? 1.0 : cosine[3 - i - j]);
    double g[3][3] = {};
    for (const KELMAR_CARD& card : sym.card)
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int k = 0; k < 3; k++)
                    for (int l = 0; l < 3; l++) g[i][j] += card.r_f[k][i] * g0[k][l] * card.r_f[l][j] / sym.total();
    for (int k = 0; k < 3; k++) {
        const int i = (k + 1) % 3, j = (k + 2) % 3;
        cell->parameter[k] = std::sqrt(g[k][k]);
        cell->angle[k] = std::acos(g[i][j] / std::sqrt(g[i][i] * g[j][j])) * 180 / M_PI;
    }
}

// any_axes: a lattice the setting keeps, its axes rising in length (1) or falling (2); 0: the
// lattice of the group's family in its reference setting
std::unique_ptr<KELMAR_CELL> general_position_structure(const KELMAR_SYMMETRY& sym, const double shift[3],
                                                        int any_axes = 0) {
    auto cell = kelmar_cell_new(0);
    if (any_axes > 0) lattice_kept_by(sym, cell.get(), any_axes == 2);
    else lattice_for(sym.sg_id, cell.get());
    // three species on general positions: one orbit of a single species may be more symmetric
    // than its group (two points always have an inversion centre between them)
    const struct {
        const char* type;
        double x[3];
    } motif[] = {{"Ca", {0.1234, 0.2271, 0.3517}}, {"O", {0.3011, 0.0713, 0.1579}}, {"S", {0.4087, 0.3659, 0.0391}}};
    for (const auto& m : motif) {
        KELMAR_ATOM a;
        kelmar_copy_field(a.name, m.type);
        kelmar_copy_field(a.type, m.type);
        a.occ = 1.0;
        for (int k = 0; k < 3; k++) a.x_f[k] = m.x[k];
        cell->atom.push_back(a);
    }
    EXPECT_EQ(kelmar_atom_spawn_by_symmetry(cell->atom, &sym), 0);
    for (auto& at : cell->atom)
        for (int k = 0; k < 3; k++) {
            at.x_f[k] += shift[k];
            at.x_f[k] -= std::floor(at.x_f[k]);
        }
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

std::unique_ptr<KELMAR_SYMMETRY> determined(KELMAR_CELL* cell, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto found = kelmar_symmetry_calculate_from_cell(cell, 0.01, kSym.c_str());
    const std::string o = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (out) *out = o;
    return found;
}

}  // namespace

TEST(StructSpaceGroup, EveryGroupInItsReferenceSettingIsFoundAsItselfAlsoOffItsOrigin) {
    std::map<int, std::unique_ptr<KELMAR_SYMMETRY>> reference;  // the first record of each number
    int count = 0;
    for (;; count++) {
        testing::internal::CaptureStdout();
        auto sym = kelmar_symmetry_import_by_internal_no(count + 1, kSym.c_str());
        testing::internal::GetCapturedStdout();
        if (!sym) break;
        if (!reference.count(sym->sg_id)) reference.emplace(sym->sg_id, std::move(sym));
    }
    ASSERT_EQ(count, 559);
    ASSERT_EQ(reference.size(), 230u);
    const double none[3] = {0, 0, 0};
    const double off[3] = {0.137, 0.291, 0.063};
    for (const auto& [number, sym] : reference) {
        SCOPED_TRACE(sym->sg_HM);
        for (const double* shift : {none, off}) {
            auto cell = general_position_structure(*sym, shift);
            std::string out;
            auto found = determined(cell.get(), &out);
            ASSERT_TRUE(found);
            EXPECT_EQ(found->sg_id, number) << found->sg_HM << " shift " << shift[0];
            EXPECT_EQ(found->total(), sym->total());
            EXPECT_NE(out.find("Message: determined space group: " + std::string(found->sg_HM) + "\n"),
                      std::string::npos);
        }
    }
}

TEST(StructSpaceGroup, EverySettingOffItsOriginIsFoundInItsOwnAxes) {
    // The origin moved by a random vector, the axes rising or falling in length: spglib's standard
    // cell may permute or flip the axes of such a cell, and the tabulated setting in the cell's own
    // axes must still be found.
    std::mt19937 draw(31);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int count = 0;
    for (int no = 1;; no++) {
        testing::internal::CaptureStdout();
        auto sym = kelmar_symmetry_import_by_internal_no(no, kSym.c_str());
        testing::internal::GetCapturedStdout();
        if (!sym) break;
        count++;
        const double shift[3] = {unit(draw), unit(draw), unit(draw)};
        for (int axes : {1, 2}) {
            SCOPED_TRACE(std::string(sym->sg_HM) + (axes == 1 ? ", axes rising" : ", axes falling") +
                         ", shifted by " + std::to_string(shift[0]) + " " + std::to_string(shift[1]) + " " +
                         std::to_string(shift[2]));
            auto cell = general_position_structure(*sym, shift, axes);
            std::string out;
            auto found = determined(cell.get(), &out);
            ASSERT_TRUE(found);
            EXPECT_EQ(found->sg_id, sym->sg_id) << found->sg_HM;
            EXPECT_EQ(found->total(), sym->total());
            EXPECT_EQ(out.find("Warning:"), std::string::npos) << out;
        }
    }
    EXPECT_EQ(count, 559);
}

TEST(StructSpaceGroup, SubgroupsFitTooButTheGroupIsDetermined) {
    // rock salt: F m -3 m, and its subgroups such as P m -3 m, F 2 3 and P 1
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = cell->parameter[1] = cell->parameter[2] = 5.64;
    cell->angle[0] = cell->angle[1] = cell->angle[2] = 90;
    for (double x : {0.0, 0.5})
        for (auto f : {std::array<double, 3>{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}}) {
            KELMAR_ATOM a;
            kelmar_copy_field(a.name, x == 0 ? "Na1" : "Cl1");
            kelmar_copy_field(a.type, x == 0 ? "Na" : "Cl");
            a.os = x == 0 ? 1 : -1;
            a.occ = 1;
            for (int k = 0; k < 3; k++) a.x_f[k] = f[static_cast<std::size_t>(k)] + x - std::floor(f[static_cast<std::size_t>(k)] + x);
            cell->atom.push_back(a);
        }
    kelmar_cell_update_cartesion(cell.get());
    std::string out;
    auto found = determined(cell.get(), &out);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->sg_id, 225);
    EXPECT_NE(out.find("Message: structure fits to symmetry P 1.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: structure fits to symmetry F 2 3.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: structure fits to symmetry P m -3 m.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: total 559 space group settings found in"), std::string::npos);
}

TEST(StructSpaceGroup, WrittenP1FilesKeepTheGroupOfEveryOrderedSample) {
    testcli::ScratchDir d;
    int tried = 0;
    for (const auto& dir : {"samples", "os", "naro"}) {
        for (const auto& e : fs::directory_iterator(fs::path(TEST_DATA_DIR) / dir)) {
            if (e.path().extension() != ".cif") continue;
            SCOPED_TRACE(e.path().string());
            std::unique_ptr<KELMAR_CELL> cell;
            std::unique_ptr<KELMAR_SYMMETRY> sym;
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            int st = kelmar_cell_import_cif_from_file(&cell, &sym, e.path().c_str(), kSym.c_str(), kUni.c_str());
            bool ordered = st == 0;
            if (ordered)
                for (const auto& a : cell->atom) ordered = ordered && a.occ == 1.0;
            const std::string p1 = (d / "p1.cif").string();
            if (ordered) st = kelmar_cell_export_cif_to_file(p1.c_str(), cell.get(), nullptr);
            testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStderr();
            if (!ordered) continue;
            ASSERT_EQ(st, 0);
            auto original = determined(cell.get());
            std::unique_ptr<KELMAR_CELL> back;
            std::unique_ptr<KELMAR_SYMMETRY> back_sym;
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            st = kelmar_cell_import_cif_from_file(&back, &back_sym, p1.c_str(), kSym.c_str(), kUni.c_str());
            testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStderr();
            ASSERT_EQ(st, 0);
            ASSERT_EQ(back->atom.size(), cell->atom.size());
            // every position comes back within 1e-5 angstrom
            double worst = 0;
            for (const auto& a : cell->atom) {
                double best = 1e9;
                for (const auto& b : back->atom) best = std::min(best, kelmar_cell_min_distance_btw_atoms(cell.get(), &a, &b));
                worst = std::max(worst, best);
            }
            EXPECT_LT(worst, 1e-5);
            auto again = determined(back.get());
            ASSERT_TRUE(original);
            ASSERT_TRUE(again);
            EXPECT_EQ(again->sg_id, original->sg_id);
            EXPECT_STREQ(again->sg_HM, original->sg_HM);
            tried++;
        }
    }
    EXPECT_GE(tried, 10);
}

TEST(StructSpaceGroup, FinderRefusesAnEmptyCell) {
    auto cell = kelmar_cell_new(0);
    EXPECT_EQ(find_space_group(cell.get(), 0.01).number, 0);
    EXPECT_EQ(find_space_group(nullptr, 0.01).number, 0);
}
