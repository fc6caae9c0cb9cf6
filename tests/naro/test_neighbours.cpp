// The periodic-image walk: it visits exactly the images, in exactly the order, of the
// plain loops it replaced (every translation of a shell cube, filtered to the shell),
// reaches every image within the cutoff, and leaves bond-valence sums bit for bit as
// the plain loop computes them. Triclinic, short and very oblique cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "naro_fixtures.hpp"
#include "neighbours.hpp"

namespace {

struct Cell {
    const char* name;
    double a, b, c, alpha, beta, gamma;
};

// Triclinic, one short axis, two short axes, and a flat oblique cell whose narrowest
// width is far below its shortest edge.
const Cell kCells[] = {
    {"triclinic", 5.1, 6.3, 7.2, 71, 103, 117},
    {"short_a", 1.1, 7.0, 6.0, 90, 90, 90},
    {"short_ab_oblique", 1.3, 2.1, 9.0, 80, 95, 62},
    {"flat", 4.0, 4.2, 3.9, 88, 91, 170},
};

void PrintTo(const Cell& c, std::ostream* os) { *os << c.name; }

struct Image {
    size_t site;
    int i, j, k;
    double d;
    bool operator==(const Image& o) const {
        return site == o.site && i == o.i && j == o.j && k == o.k && d == o.d;   // bit for bit
    }
};

NARO_cif cell_cif(const Cell& c) {
    NARO_cif cif;
    NARO_init_cif(cif);
    cif.a = c.a;
    cif.b = c.b;
    cif.c = c.c;
    cif.alpha = c.alpha;
    cif.beta = c.beta;
    cif.gamma = c.gamma;
    NARO_calc_cif_d_parameters(cif);
    return cif;
}

// Sites of two types: cations (flag 1, +1) and anions (flag 2, -2), some partial.
std::vector<NARO_site> some_sites() {
    const double pos[][4] = {{0, 0, 0, 1},          {0.5, 0.5, 0.5, 0.5}, {0.13, 0.77, 0.41, 1},
                             {0.99, 0.02, 0.6, 0.8}, {0.3, 0.3, 0.95, 1},  {0.71, 0.18, 0.07, 1}};
    std::vector<NARO_site> s;
    for (size_t n = 0; n < std::size(pos); ++n) {
        NARO_site t;
        t.label = std::string(1, static_cast<char>('A' + n));
        t.x = pos[n][0];
        t.y = pos[n][1];
        t.z = pos[n][2];
        t.occ = pos[n][3];
        t.ox_set = 1;
        t.type_flag = n % 2 == 0 ? 1 : 2;
        t.ox = n % 2 == 0 ? 1 : -2;
        t.type = n % 2 == 0 ? "Li1+" : "O2-";
        s.push_back(t);
    }
    return s;
}

// The plain loop: shells 0..shells, sites in order, every translation of the shell
// cube with the shell test, then the cutoff test.
std::vector<Image> plain_images(const NARO_cif& cif, const std::vector<NARO_site>& sites, double x, double y,
                                double z, int shells, const std::vector<double>& reach) {
    x -= std::floor(x);
    y -= std::floor(y);
    z -= std::floor(z);
    std::vector<Image> out;
    for (int m = 0; m <= shells; ++m)
        for (size_t s = 0; s < sites.size(); ++s) {
            if (reach[s] < 0) continue;
            for (int i = -m; i <= m; ++i)
                for (int j = -m; j <= m; ++j)
                    for (int k = -m; k <= m; ++k) {
                        if (std::max(std::abs(i), std::max(std::abs(j), std::abs(k))) != m) continue;
                        double d = NARO_distance_frac_cif(cif, x, y, z, sites[s].x + i, sites[s].y + j,
                                                          sites[s].z + k);
                        if (d > reach[s]) continue;
                        out.push_back({s, i, j, k, d});
                    }
        }
    return out;
}

std::vector<Image> walk(const NARO_cif& cif, const std::vector<NARO_site>& sites, double x, double y, double z,
                        double max_reach, const std::vector<double>& reach) {
    std::vector<Image> out;
    NaroSiteImages(cif, sites).visit_within(
        x, y, z, max_reach, [&](size_t s) { return reach[s]; },
        [&](size_t s, NaroShift t, double d) { out.push_back({s, t.i, t.j, t.k, d}); });
    return out;
}

class NeighbourWalk : public ::testing::TestWithParam<Cell> {};

TEST(NeighbourShells, ShellShiftsAreThePlainLoopsOrder) {
    for (int m = 0; m <= 5; ++m) {
        std::vector<std::tuple<int, int, int>> plain, shell;
        for (int i = -m; i <= m; ++i)
            for (int j = -m; j <= m; ++j)
                for (int k = -m; k <= m; ++k)
                    if (std::max(std::abs(i), std::max(std::abs(j), std::abs(k))) == m) plain.emplace_back(i, j, k);
        naro_for_each_shell_shift(m, [&](NaroShift t) { shell.emplace_back(t.i, t.j, t.k); });
        EXPECT_EQ(shell, plain) << "shell " << m;
    }
}

TEST_P(NeighbourWalk, SameImagesInTheSameOrderAsThePlainLoop) {
    const NARO_cif cif = cell_cif(GetParam());
    const std::vector<NARO_site> sites = some_sites();
    // Per-site cutoffs, one site skipped; the largest bounds the shells.
    const std::vector<double> reach = {6.0, 4.5, -1, 5.2, 3.0, 6.0};
    const double points[][3] = {{0.25, 0.4, 0.6}, {0, 0, 0}, {-1.3, 2.75, 0.999}, {0.5, 0.5, 0.5}};
    for (const auto& p : points) {
        const auto got = walk(cif, sites, p[0], p[1], p[2], 6.0, reach);
        const auto want = plain_images(cif, sites, p[0], p[1], p[2], naro_image_shells(cif, 6.0), reach);
        ASSERT_FALSE(want.empty());
        EXPECT_TRUE(got == want) << GetParam().name << " at " << p[0] << " " << p[1] << " " << p[2];
    }
}

TEST_P(NeighbourWalk, ReachesEveryImageWithinTheCutoff) {
    // Brute force over a box far wider than the shell bound: nothing within the cutoff
    // lies beyond the shells the walk visits, and the walk meets every such image once.
    const NARO_cif cif = cell_cif(GetParam());
    const std::vector<NARO_site> sites = some_sites();
    const std::vector<double> reach(sites.size(), 5.0);
    const int shells = naro_image_shells(cif, 5.0);
    ASSERT_LT(shells, 50);
    const double x = 0.93, y = 0.07, z = 0.51;
    std::set<std::tuple<size_t, int, int, int>> brute, walked;
    for (const Image& im : plain_images(cif, sites, x, y, z, shells + 4, reach))
        brute.emplace(im.site, im.i, im.j, im.k);
    for (const Image& im : walk(cif, sites, x, y, z, 5.0, reach)) {
        EXPECT_TRUE(walked.emplace(im.site, im.i, im.j, im.k).second) << "image met twice";
    }
    EXPECT_EQ(walked, brute) << GetParam().name;
}

// The bond-valence loop as it stood before the walk existed.
double plain_bv(const NARO_cif& cif, const NARO_bv_bin& bin, int ti, double ox, double x, double y, double z) {
    auto type_of = [&](int flag) {
        for (size_t i = 0; i < cif.type.size(); ++i)
            if (cif.type[i].flag == flag) return static_cast<int>(i);
        return -1;
    };
    double maxcut = 0;
    for (const NARO_site& t : cif.site_all) {
        int tj = type_of(t.type_flag);
        if (tj >= 0 && bin.item[ti][tj].status) maxcut = std::max(maxcut, bin.item[ti][tj].cutoff);
    }
    const int need = naro_image_shells(cif, maxcut);
    x -= std::floor(x);
    y -= std::floor(y);
    z -= std::floor(z);
    double sum = 0;
    for (int m = 0; m <= need; ++m)
        for (const NARO_site& t : cif.site_all) {
            if (!t.ox_set || t.ox * ox >= 0) continue;
            int tj = type_of(t.type_flag);
            if (tj < 0) continue;
            const NARO_bv_bin_item& e = bin.item[ti][tj];
            if (!e.status) continue;
            for (int i = -m; i <= m; ++i)
                for (int j = -m; j <= m; ++j)
                    for (int k = -m; k <= m; ++k) {
                        if (std::max(std::abs(i), std::max(std::abs(j), std::abs(k))) != m) continue;
                        double d = NARO_distance_frac_cif(cif, x, y, z, t.x + i, t.y + j, t.z + k);
                        if (d < 0.3 || d > e.cutoff) continue;
                        sum += std::exp((e.r0 - d) / e.b) * t.occ;
                    }
        }
    return ox > 0 ? sum : -sum;
}

TEST_P(NeighbourWalk, BondValenceSumsAreBitForBitThePlainLoops) {
    NARO_cif cif = cell_cif(GetParam());
    int flag = 0;
    NARO_add_cif_type(cif, "Li1+", 1, &flag);
    NARO_add_cif_type(cif, "O2-", -2, &flag);
    NARO_update_cif_type_elem(cif);
    cif.site = some_sites();
    for (NARO_site& s : cif.site) s.type_flag = cif.type[s.ox > 0 ? 0 : 1].flag;
    cif.symop = {"x,y,z", "-x,-y,-z"};
    NARO_bv_bin bin;
    ASSERT_EQ(NARO_alloc_bv_bin(bin, 2), 0);
    for (auto [i, j] : {std::pair{0, 1}, std::pair{1, 0}}) bin.item[i][j] = {1, 0.37, 1.466, 5.5};
    ASSERT_EQ(NARO_calc_bv_sum(cif, bin), 0);
    ASSERT_EQ(cif.site_all.size(), 10u);   // two sites sit on inversion centres
    for (const NARO_site& s : cif.site) {
        const double want = plain_bv(cif, bin, s.ox > 0 ? 0 : 1, s.ox, s.x, s.y, s.z);
        EXPECT_NE(want, 0.0);
        EXPECT_EQ(s.bv_sum, want) << GetParam().name << " " << s.label;   // bit for bit
    }
    // The probe ion at stationary points takes the same walk.
    NARO_cube cube = narotest::make_cube(10, 10, 10, cif.a, cif.b, cif.c, std::vector<double>(1000, 0.0));
    cube.ion_elem = "Li";
    cube.ion_charge = 1;
    for (int n = 0; n < 3; ++n) NARO_add_cube_minima_point(cube, 3 * n, n, 9 - n, 3 * n, n, 9 - n, 0, 1);
    ASSERT_EQ(NARO_calc_bv_sum_minima(cube, cif, bin), 0);
    for (const NARO_minima& m : cube.minima)
        EXPECT_EQ(m.bv, std::fabs(plain_bv(cif, bin, 0, 1, m.x / 10.0, m.y / 10.0, m.z / 10.0)));
}

INSTANTIATE_TEST_SUITE_P(Cells, NeighbourWalk, ::testing::ValuesIn(kCells),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
