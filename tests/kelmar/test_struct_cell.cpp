// Cell operations: coordinates, distances, reduction, orbit labels, supercells and the random
// assignment of partial occupancies.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "cell-ops.hpp"
#include "symmetry.hpp"
#include "kelmar_fixtures.hpp"

namespace {

using kmfix::atom_at;
using kmfix::card_of;
using kmfix::cubic;

}  // namespace

TEST(StructCellCoords, LatticeVectorsFollowTheConvention) {
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = 5;
    cell->parameter[1] = 6;
    cell->parameter[2] = 7;
    cell->angle[0] = 80;
    cell->angle[1] = 95;
    cell->angle[2] = 110;
    cell->atom.push_back(atom_at("A", "Li", 1, 0.1, 0.2, 0.3));
    kelmar_cell_update_cartesion(cell.get());
    EXPECT_DOUBLE_EQ(cell->a[0][0], 5);
    EXPECT_DOUBLE_EQ(cell->a[0][1], 0);
    EXPECT_DOUBLE_EQ(cell->a[1][2], 0);
    // back to parameters and fractional positions
    auto copy = kelmar_cell_copy(cell.get());
    copy->atom[0].x_f[0] = copy->atom[0].x_f[1] = copy->atom[0].x_f[2] = 0;
    kelmar_cell_update_fractional(copy.get());
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(copy->parameter[i], cell->parameter[i], 1e-9);
        EXPECT_NEAR(copy->angle[i], cell->angle[i], 1e-6);
        EXPECT_NEAR(copy->atom[0].x_f[i], cell->atom[0].x_f[i], 1e-9);
    }
    // volume against the triple product of the vectors
    double cr[3];
    kelmar_vector3_double_cross(cr, cell->a[1], cell->a[2]);
    EXPECT_NEAR(kelmar_cell_calculate_volume(cell.get()), kelmar_vector3_double_dot(cell->a[0], cr), 1e-6);
}

TEST(StructCellCoords, BoundFractionalAndPeriodicDistance) {
    auto cell = cubic(10.0, {atom_at("A", "Li", 1, 0.05, 0, 0), atom_at("B", "Li", 1, 0.95, 0, 0)});
    EXPECT_NEAR(kelmar_cell_min_distance_btw_atoms(cell.get(), &cell->atom[0], &cell->atom[1]), 1.0, 1e-9);
    cell->atom[0].x_f[0] = -0.25;
    cell->atom[1].x_f[2] = 1.5;
    kelmar_cell_bound_fractional(cell.get());
    EXPECT_DOUBLE_EQ(cell->atom[0].x_f[0], 0.75);
    EXPECT_DOUBLE_EQ(cell->atom[1].x_f[2], 0.5);
}

TEST(StructCellSymmetry, ReductionKeepsFirstOfEachOrbitAndExpansionRestoresIt) {
    KELMAR_SYMMETRY sym;
    for (const char* t : {"x,y,z", "-x,-y,-z", "x+1/2,y+1/2,z", "-x+1/2,-y+1/2,-z"}) sym.card.push_back(card_of(t));
    std::vector<KELMAR_ATOM> asym = {atom_at("Li1", "Li", 1, 0.1, 0.2, 0.3), atom_at("O1", "O", -2, 0, 0, 0)};
    std::vector<KELMAR_ATOM> full = asym;
    ASSERT_EQ(kelmar_atom_spawn_by_symmetry(full, &sym), 0);
    EXPECT_EQ(full.size(), 6u);  // 4 Li + 2 O
    auto cell = cubic(5.0, full);
    cell->atom[0].ignored = true;  // a fixed-site mark survives the reduction
    auto reduced = kelmar_cell_reduce_by_symmetry(cell.get(), &sym);
    ASSERT_TRUE(reduced);
    ASSERT_EQ(reduced->total(), 2);
    EXPECT_TRUE(cell->atom[0].ignored);
    std::vector<KELMAR_ATOM> again = reduced->atom;
    for (auto& a : again) a.ignored = false;
    ASSERT_EQ(kelmar_atom_spawn_by_symmetry(again, &sym), 0);
    ASSERT_EQ(again.size(), full.size());
    for (const auto& a : full) EXPECT_TRUE(kelmar_atom_belong(a, again.data(), static_cast<long>(again.size())));

    ASSERT_EQ(kelmar_cell_flag_site_by_symmetry(cell.get(), &sym), 0);
    std::map<std::string, std::set<long>> flags;
    for (const auto& a : cell->atom) flags[a.type].insert(a.flag);
    EXPECT_EQ(flags["Li"].size(), 1u);
    EXPECT_EQ(flags["O"].size(), 1u);
    EXPECT_NE(*flags["Li"].begin(), *flags["O"].begin());

    KELMAR_SYMMETRY empty;
    EXPECT_FALSE(kelmar_cell_reduce_by_symmetry(cell.get(), &empty));
    EXPECT_FALSE(kelmar_cell_reduce_by_symmetry(nullptr, &sym));
    EXPECT_EQ(kelmar_cell_flag_site_by_symmetry(cell.get(), nullptr), 1);
}

TEST(StructCellSpecies, CountSortsAndCountsPairs) {
    auto cell = cubic(5.0, {atom_at("O1", "O", -2, 0, 0, 0), atom_at("Fe1", "Fe", 3, 0.5, 0, 0),
                            atom_at("Fe2", "Fe", 2, 0, 0.5, 0), atom_at("O2", "O", -2, 0, 0, 0.5)});
    EXPECT_EQ(kelmar_cell_count_type_os(cell.get()), 3);
    EXPECT_STREQ(cell->atom[0].name, "Fe2");
    EXPECT_EQ(kelmar_cell_count_type_os(nullptr), -1);
}

TEST(StructCellSupercell, CopiesAreOrderedAndShifted) {
    auto cell = cubic(4.0, {atom_at("A", "Li", 1, 0.25, 0.25, 0.25), atom_at("B", "O", -2, 0, 0, 0)});
    const long n[3] = {2, 3, 1};
    auto sc = kelmar_cell_supercell(cell.get(), n);
    ASSERT_TRUE(sc);
    ASSERT_EQ(sc->total(), 12);
    EXPECT_NEAR(sc->parameter[0], 8.0, 1e-9);
    EXPECT_NEAR(sc->parameter[1], 12.0, 1e-9);
    EXPECT_NEAR(sc->parameter[2], 4.0, 1e-9);
    EXPECT_NEAR(sc->angle[0], 90.0, 1e-9);
    // atom ((i n1 + j) n2 + k) n3 + l is atom i moved by j a1 + k a2 + l a3
    const KELMAR_ATOM& a = sc->atom[static_cast<std::size_t>(((0 * 2 + 1) * 3 + 2) * 1 + 0)];
    EXPECT_STREQ(a.name, "A");
    EXPECT_NEAR(a.x_f[0], (0.25 + 1) / 2, 1e-9);
    EXPECT_NEAR(a.x_f[1], (0.25 + 2) / 3, 1e-9);
    EXPECT_NEAR(a.x_f[2], 0.25, 1e-9);
    const long bad[3] = {1, 0, 1};
    EXPECT_FALSE(kelmar_cell_supercell(cell.get(), bad));
}

TEST(StructCellSupercell, DefaultSizeTable) {
    auto make = [](long count, double a, double b, double c) {
        auto cell = kelmar_cell_new(count);
        cell->parameter[0] = a;
        cell->parameter[1] = b;
        cell->parameter[2] = c;
        return cell;
    };
    auto size = [](const KELMAR_CELL* cell) {
        long n[3] = {0, 0, 0};
        EXPECT_TRUE(kelmar_cell_supercell_default_size(cell, n));
        return std::array<long, 3>{n[0], n[1], n[2]};
    };
    using A = std::array<long, 3>;
    EXPECT_EQ(size(make(1, 3, 3, 3).get()), (A{5, 5, 5}));
    EXPECT_EQ(size(make(2, 3, 3, 3).get()), (A{4, 4, 4}));
    EXPECT_EQ(size(make(4, 3, 3, 3).get()), (A{4, 4, 4}));
    EXPECT_EQ(size(make(5, 3, 3, 3).get()), (A{3, 3, 3}));
    EXPECT_EQ(size(make(15, 3, 3, 3).get()), (A{3, 3, 3}));
    EXPECT_EQ(size(make(16, 3, 4, 5).get()), (A{2, 2, 2}));
    EXPECT_EQ(size(make(20, 3, 4, 5).get()), (A{2, 2, 2}));
    EXPECT_EQ(size(make(31, 3, 4, 5).get()), (A{2, 2, 2}));
    EXPECT_EQ(size(make(32, 5, 5, 5).get()), (A{2, 2, 1}));   // a = b = c
    EXPECT_EQ(size(make(100, 3, 4, 5).get()), (A{2, 2, 1}));  // a < b < c
    EXPECT_EQ(size(make(249, 4, 5, 3).get()), (A{2, 1, 2}));  // c < a < b
    EXPECT_EQ(size(make(250, 3, 4, 5).get()), (A{1, 1, 1}));
    long n[3];
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_cell_supercell_default_size(make(0, 3, 3, 3).get(), n));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: wrong total atom number 0\n in KELMAR_CELL.\n");
    auto one = cubic(3.0, {atom_at("A", "Li", 1, 0, 0, 0)});
    auto sc = kelmar_cell_supercell_default(one.get());
    ASSERT_TRUE(sc);
    EXPECT_EQ(sc->total(), 125);
}

TEST(StructCellAssign, VacanciesKeepWholeSitesOnly) {
    RandomEngine engine(7);
    auto cell = cubic(10.0, {atom_at("Li1", "Li", 1, 0.1, 0, 0, 0.5), atom_at("Li2", "Li", 1, 0.3, 0, 0, 0.5),
                             atom_at("Li3", "Li", 1, 0.5, 0, 0, 0.5), atom_at("Li4", "Li", 1, 0.7, 0, 0, 0.5),
                             atom_at("Li5", "Li", 1, 0.9, 0, 0, 1.0), atom_at("O1", "O", -2, 0, 0.5, 0, 0.5)});
    for (int trial = 0; trial < 20; trial++) {
        auto out = kelmar_cell_assign_partial_occ(cell.get(), "Li", 1, engine);
        ASSERT_TRUE(out);
        int li = 0;
        for (const auto& a : out->atom) {
            if (std::strcmp(a.type, "Li") == 0) {
                li++;
                EXPECT_DOUBLE_EQ(a.occ, 1.0);
            } else {
                EXPECT_DOUBLE_EQ(a.occ, 0.5);  // other species untouched
            }
        }
        EXPECT_EQ(li, 3);  // two of the four half sites plus the full one
    }
    auto low = cubic(10.0, {atom_at("Na1", "Na", 1, 0.1, 0, 0, 0.45), atom_at("Na2", "Na", 1, 0.5, 0, 0, 0.45)});
    auto none = kelmar_cell_assign_partial_occ(low.get(), "Na", 1, engine);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->total(), 0);
}

TEST(StructCellAssign, MixedSitesChooseOneSpeciesPerSite) {
    RandomEngine engine(11);
    // four mixed Li/Na sites at half occupancy each, plus anions that balance 4 cations
    std::vector<KELMAR_ATOM> atoms;
    const double xs[4] = {0.1, 0.3, 0.5, 0.7};
    for (double x : xs) {
        atoms.push_back(atom_at("Li1", "Li", 1, x, 0, 0, 0.5));
        atoms.push_back(atom_at("Na1", "Na", 1, x, 0, 0, 0.5));
    }
    atoms.push_back(atom_at("O1", "O", -2, 0, 0.5, 0.5));
    atoms.push_back(atom_at("O2", "O", -2, 0.5, 0.5, 0.5));
    auto cell = cubic(10.0, atoms);
    EXPECT_TRUE(kelmar_cell_partial_occ_at_conducting_site(cell.get(), "Li", 1));
    EXPECT_FALSE(kelmar_cell_partial_occ_at_conducting_site(cell.get(), "O", -2));
    for (int trial = 0; trial < 20; trial++) {
        auto work = kelmar_cell_copy(cell.get());
        auto out = kelmar_cell_assign_partial_occ_at_conducting_site(work.get(), "Li", 1, engine);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->Z, 1);
        int cations = 0;
        double q = 0;
        for (const auto& a : out->atom) {
            EXPECT_FALSE(a.ignored);
            q += a.os * a.occ;
            if (a.os == 1) {
                cations++;
                EXPECT_DOUBLE_EQ(a.occ, 1.0);
            }
        }
        EXPECT_EQ(cations, 4);  // one cation per mixed site
        EXPECT_LE(std::fabs(q), 0.5);
        for (const auto& a : work->atom) EXPECT_FALSE(a.ignored);
        // no two kept cations share a site
        for (std::size_t i = 0; i < out->atom.size(); i++)
            for (std::size_t j = i + 1; j < out->atom.size(); j++)
                EXPECT_GT(kelmar_cell_min_distance_btw_atoms(out.get(), &out->atom[i], &out->atom[j]), 0.3);
    }
}

TEST(StructCellAssign, EqualSplitOnOneSiteTerminates) {
    // one site shared half and half: once the first species takes it the second has nothing left
    // to draw from and must stop instead of drawing for ever
    RandomEngine engine(3);
    for (int trial = 0; trial < 10; trial++) {
        auto cell = cubic(5.0, {atom_at("Li1", "Li", 1, 0, 0, 0, 0.5), atom_at("Na1", "Na", 1, 0, 0, 0, 0.5),
                                atom_at("Cl1", "Cl", -1, 0.5, 0.5, 0.5)});
        auto out = kelmar_cell_assign_partial_occ_at_conducting_site(cell.get(), "Li", 1, engine);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->total(), 2);
    }
}

TEST(StructCellAssign, AllSpeciesResolvesEveryPartialSite) {
    RandomEngine engine(5);
    auto cell = cubic(10.0, {atom_at("Li1", "Li", 1, 0.1, 0, 0, 0.5), atom_at("Na1", "Na", 1, 0.1, 0, 0, 0.5),
                             atom_at("Li2", "Li", 1, 0.5, 0, 0, 0.5), atom_at("Li3", "Li", 1, 0.7, 0, 0, 0.5),
                             atom_at("O1", "O", -2, 0, 0.5, 0.5, 1.0)});
    auto out = kelmar_cell_assign_partial_occ_all(cell.get(), engine);
    ASSERT_TRUE(out);
    for (const auto& a : out->atom) EXPECT_DOUBLE_EQ(a.occ, 1.0);
    EXPECT_FALSE(kelmar_cell_assign_partial_occ_all(nullptr, engine));
}

TEST(StructCellSort, ByValueAscending) {
    KELMAR_ATOM a[3];
    a[0].value = 3;
    a[1].value = -1;
    a[2].value = 2;
    kelmar_atom_sort_by_value(a, 3);
    EXPECT_EQ(a[0].value, -1);
    EXPECT_EQ(a[2].value, 3);
}
