// The species the CrysFML tables lack (hydride, phosphide, peroxide, P+4) and their pairs: each
// value is the published one or the one its stated rule takes from a published row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "data-file.hpp"

namespace {

const std::string kUni = std::string(KELMAR_DATA_DIR) + "/database_unitary.dat";
const std::string kBin = std::string(KELMAR_DATA_DIR) + "/database_binary.dat";

using Species = std::pair<std::string, int>;
using Pair = std::tuple<std::string, int, std::string, int>;

struct UnitaryRow {
    double mass, radius, softness;
    int period, group;
};
struct BinaryRow {
    double r0, b, cn, cutoff;
};

std::map<Species, UnitaryRow> unitary_rows() {
    std::vector<std::string> lines;
    EXPECT_TRUE(read_data_block(kUni.c_str(), lines));
    std::map<Species, UnitaryRow> out;
    for (const auto& l : lines) {
        char el[8];
        int an, os, def, n, g, blk;
        UnitaryRow r{};
        if (std::sscanf(l.c_str(), "%d %7s %d %d %lf %d %d %d %lf %lf", &an, el, &os, &def, &r.mass, &n, &g, &blk,
                        &r.radius, &r.softness) != 10)
            continue;
        r.period = n, r.group = g;
        out.emplace(Species{el, os}, r);
    }
    return out;
}

std::map<Pair, BinaryRow> binary_rows() {
    std::vector<std::string> lines;
    EXPECT_TRUE(read_data_block(kBin.c_str(), lines));
    std::map<Pair, BinaryRow> out;
    for (const auto& l : lines) {
        char c[8], a[8];
        int oc, oa;
        BinaryRow r{};
        if (std::sscanf(l.c_str(), "%7s %d %7s %d %lf %lf %lf %lf", c, &oc, a, &oa, &r.r0, &r.b, &r.cn, &r.cutoff) !=
            8)
            continue;
        EXPECT_TRUE(out.emplace(Pair{c, oc, a, oa}, r).second) << l;  // each pair once
    }
    return out;
}

// R0 of O'Keeffe and Brese (J. Am. Chem. Soc. 113, 3226 (1991)) from their size r and
// electronegativity c, written out here independently of the generator.
double okeeffe_brese(double ri, double ci, double rj, double cj) {
    const double d = std::sqrt(ci) - std::sqrt(cj);
    return ri + rj - ri * rj * d * d / (ci * ri + cj * rj);
}

}  // namespace

TEST(DataAddedSpecies, UnitaryRowsCarryThePublishedOrBorrowedValues) {
    const auto u = unitary_rows();
    const struct {
        Species species, radius_from;
        double softness;  // negative: the softness of radius_from
    } cases[] = {
        {{"H", -1}, {"F", -1}, 1.0 / 6.8},  // Parr & Pearson: absolute hardness of H- 6.8 eV
        {{"D", -1}, {"F", -1}, 1.0 / 6.8},
        {{"O", -1}, {"O", -2}, -1},
        {{"P", 4}, {"P", 5}, -1},
        {{"P", -3}, {"S", -2}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.species.first + std::to_string(c.species.second));
        ASSERT_EQ(u.count(c.species), 1u);
        const UnitaryRow& r = u.at(c.species);
        const UnitaryRow& from = u.at(c.radius_from);
        EXPECT_EQ(r.radius, from.radius);
        EXPECT_NEAR(r.softness, c.softness > 0 ? c.softness : from.softness, 5e-6);
        // mass and period of the element itself
        const std::string& e = c.species.first;
        const UnitaryRow& element = u.at(Species{e, e == "O" ? -2 : (e == "H" || e == "D") ? 1 : 5});
        EXPECT_EQ(r.mass, element.mass);
        EXPECT_EQ(r.period, element.period);
    }
}

TEST(DataAddedSpecies, HydrideAndPhosphidePairsFollowOKeeffeBrese) {
    const auto b = binary_rows();
    // r, c of the paper for the cations of hydrides and phosphides found in electrolytes
    const struct {
        const char* cation;
        int os;
        double r, c;
    } cations[] = {{"Li", 1, 1.00, 0.97}, {"Na", 1, 1.36, 1.01}, {"K", 1, 1.73, 0.91}, {"Mg", 2, 1.21, 1.23},
                   {"B", 3, 0.79, 1.60},  {"Al", 3, 1.13, 1.47}, {"Si", 4, 1.12, 1.58}, {"Ge", 4, 1.21, 1.51}};
    const struct {
        const char* anion;
        int os;
        double r, c;
        const char* cutoff_from;
        int cutoff_os;
    } anions[] = {{"H", -1, 0.38, 0.89, "F", -1}, {"P", -3, 1.09, 1.96, "S", -2}};
    for (const auto& k : cations)
        for (const auto& a : anions) {
            SCOPED_TRACE(std::string(k.cation) + "-" + a.anion);
            const auto it = b.find(Pair{k.cation, k.os, a.anion, a.os});
            ASSERT_NE(it, b.end());
            EXPECT_NEAR(it->second.r0, okeeffe_brese(k.r, k.c, a.r, a.c), 6e-6);
            EXPECT_EQ(it->second.b, 0.37);
            EXPECT_EQ(it->second.cn, b.at(Pair{k.cation, k.os, "O", -2}).cn);
            const auto ref = b.find(Pair{k.cation, k.os, a.cutoff_from, a.cutoff_os});
            EXPECT_EQ(it->second.cutoff, (ref != b.end() ? ref : b.find(Pair{k.cation, k.os, "O", -2}))->second.cutoff);
            if (std::string(a.anion) == "H") {  // the deuteride repeats the hydride pair
                const auto dd = b.find(Pair{k.cation, k.os, "D", -1});
                ASSERT_NE(dd, b.end());
                EXPECT_EQ(dd->second.r0, it->second.r0);
                EXPECT_EQ(dd->second.cutoff, it->second.cutoff);
            }
        }
    // the bond valence of Li-H in LiH (a = 4.083 A, six H at 2.042 A) sums to the valence 1
    const double s = 6 * std::exp((b.at(Pair{"Li", 1, "H", -1}).r0 - 4.083 / 2) / 0.37);
    EXPECT_NEAR(s, 1.0, 0.05);
}

TEST(DataAddedSpecies, PeroxideAndPPlus4PairsRepeatTheirModels) {
    const auto b = binary_rows();
    int peroxide = 0, p4 = 0;
    for (const auto& [key, row] : b) {
        const auto& [c, oc, a, oa] = key;
        if (a == "O" && oa == -2 && !(c == "P" && oc == 4)) {
            const auto it = b.find(Pair{c, oc, "O", -1});
            ASSERT_NE(it, b.end()) << c << oc;
            EXPECT_EQ(it->second.r0, row.r0);
            EXPECT_EQ(it->second.b, row.b);
            EXPECT_EQ(it->second.cn, row.cn);
            EXPECT_EQ(it->second.cutoff, row.cutoff);
            peroxide++;
        }
        if (c == "P" && oc == 5 && (oa == -1 || oa == -2 || oa == -3) && a != "H" && a != "D" && a != "P" &&
            !(a == "O" && oa == -1)) {
            const auto it = b.find(Pair{"P", 4, a, oa});
            ASSERT_NE(it, b.end()) << a << oa;
            EXPECT_EQ(it->second.r0, row.r0);
            EXPECT_EQ(it->second.b, row.b);
            p4++;
        }
    }
    EXPECT_GT(peroxide, 100);
    EXPECT_EQ(p4, 8);
}
