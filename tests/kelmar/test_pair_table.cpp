// Tabulated pair terms of the landscape against their closed forms, and the exact placement of
// the parabola and cutoff edges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "property-derived.hpp"
#include "pair-table.hpp"

namespace {

struct CurveCase {
    std::string what;
    pairtab::Curve curve;
    double r_par, cutoff;
};

// Parabola joined to the shifted Morse term at r_bc (as the parameter assembly builds it).
pairtab::Curve morse(double d0, double rmin, double b, double cutoff, double r_bc) {
    const double en_s = kelmar_energy_bonding(cutoff, d0, rmin, b);
    const double a2 = kelmar_force_bonding(r_bc, d0, rmin, b) / (2 * r_bc);
    const double a0 = kelmar_energy_bonding_with_energy_shift(r_bc, d0, rmin, b, en_s) - a2 * r_bc * r_bc;
    return pairtab::curve_bonding(d0, rmin, b, en_s, cutoff, r_bc, a2, 0.0, a0);
}

pairtab::Curve coulomb(double q, double r_eff, double r_cc, double a2 = -1, double a0 = 0) {
    if (a2 < 0 && r_cc > 0) {
        a2 = kelmar_force_coulombic(r_cc, q, r_eff) / (2 * r_cc);
        a0 = kelmar_energy_coulombic(r_cc, q, r_eff) - a2 * r_cc * r_cc;
    }
    return pairtab::curve_coulomb(q, r_eff, 10.0, r_cc, a2 < 0 ? 0 : a2, 0.0, a0);
}

std::vector<CurveCase> cases() {
    std::vector<CurveCase> c;
    c.push_back({"Li-O Morse", morse(0.06, 2.0, 0.37, 5.5, 1.35), 1.35, 5.5});
    c.push_back({"steep Morse", morse(0.4, 1.7, 0.3, 6.0, 1.2), 1.2, 6.0});
    c.push_back({"Li-Li Coulomb", coulomb(0.64, 1.35, 0.62), 0.62, 10.0});
    c.push_back({"highly charged Coulomb", coulomb(5.8, 0.8, 2.5), 2.5, 10.0});
    // parabola far below the table floor of 0.1 A: the sliver in between uses the closed form
    c.push_back({"short parabola", coulomb(0.5, 1.2, 0.02), 0.02, 10.0});
    // parabola not continuous with the term (hand-made records): each side keeps its own value
    c.push_back({"discontinuous parabola", coulomb(0.64, 1.35, 0.8, 0.3, 1.5), 0.8, 10.0});
    // the parabola reaches past the cutoff: no table at all
    c.push_back({"parabola only", coulomb(0.64, 1.35, 10.5, 0.001, 0.02), 10.5, 10.0});
    return c;
}

// What the reference loop adds for one image at squared distance s.
double reference(const CurveCase& c, double s) {
    const double d = std::sqrt(s);
    if (d > c.cutoff) return 0.0;
    const pairtab::Curve& t = c.curve;
    if (d <= c.r_par) return t.a2 * d * d + t.a1 * d + t.a0;
    return t.exact(d);
}

}  // namespace

TEST(PairTable, TabulatedTermsMatchTheReferenceEverywhere) {
    for (const CurveCase& c : cases()) {
        SCOPED_TRACE(c.what);
        const pairtab::Curve& t = c.curve;
        EXPECT_EQ(t.tabulated(), c.r_par < c.cutoff);
        std::vector<double> s;
        // on atoms, the edges and either side of them
        for (double edge : {0.0, t.s_par, t.s_cut}) {
            if (edge < 0) continue;
            s.push_back(edge);
            s.push_back(std::nextafter(edge, 0.0));
            s.push_back(std::nextafter(edge, 1e9));
        }
        // dense sweeps, even in d and even in d^2 (the latter crosses every piece boundary)
        for (int k = 0; k <= 20000; ++k) {
            const double d = c.cutoff * k / 20000.0;
            s.push_back(d * d);
            s.push_back(c.cutoff * c.cutoff * k / 20000.0);
        }
        double worst = 0.0;
        for (double x : s) {
            if (x > t.s_cut) {
                EXPECT_EQ(reference(c, x), 0.0) << x;  // the caller's cutoff test is exact
                continue;
            }
            worst = std::max(worst, std::fabs(t.value(x) - reference(c, x)));
        }
        // 1e-10 e^2/A is 1.4e-9 eV per term
        EXPECT_LE(worst, 1e-10);
    }
}

TEST(PairTable, EdgesFallWhereTheDistanceTestsFall) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double r : {0.0, 0.3, 0.9, 1.0, 1.35, 2.5, 5.5, 6.0, 10.0, 12.3456789, 1e-3}) {
        SCOPED_TRACE(r);
        const double s = pairtab::largest_square_within(r);
        EXPECT_LE(std::sqrt(s), r);
        EXPECT_GT(std::sqrt(std::nextafter(s, inf)), r);
    }
    EXPECT_EQ(pairtab::largest_square_within(-1.0), -1.0);
    EXPECT_EQ(pairtab::largest_square_within(std::nan("")), -1.0);
}

TEST(PairTable, UntabulableTermsFallBackToTheirClosedForms) {
    // a tolerance no table meets even at the finest pieces: the closed form answers everywhere
    const pairtab::Curve wild = pairtab::curve_coulomb(1.0, 1.35, 10.0, 0.0, 0.0, 0.0, 0.0, 1e-30);
    EXPECT_FALSE(wild.tabulated());
    for (double d : {0.05, 0.5, 3.0, 9.99})
        EXPECT_EQ(wild.value(d * d), kelmar_energy_coulombic(std::sqrt(d * d), 1.0, 1.35));
}
