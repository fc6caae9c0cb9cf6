// The diffusivity of a garnet with the ion-ion repulsion on: Li6La3Nb1.5Y0.5O12, where most hops
// rattle between split Li sites a fraction of an angstrom apart. A random placement by occupancy
// alone put ions on both halves of a split pair, whose repulsion pushed them into sites eV above
// the rest that they never left; and <r^2>/(6t) from the end point spread the rattling over the
// run. Both made D fall with run length. Here two runs of the same seed, one four times the
// other, give the same D within the error they state, and no ion sits in those traps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "cli.hpp"

namespace {

const std::string kData = TEST_DATA_DIR;

testcli::Result kelmar(const testcli::ScratchDir& dir, const std::string& args) {
    return testcli::run("env", "KELMAR_SEED=5 " + testcli::quote(KELMAR_EXE) + " " + args, dir.path());
}

struct measured {
    double D = std::nan(""), error = std::nan(""), printed = std::nan(""), trapped = std::nan("");
    long snapshots = 0;
};

measured read_run(const std::string& out) {
    measured m;
    auto at = out.find("Message: diffusivity from the slope");
    if (at != std::string::npos) {
        at = out.find("): ", at);
        if (at != std::string::npos) std::sscanf(out.c_str() + at, "): %lf +- %lf", &m.D, &m.error);
        at = out.find(" ps (", out.find("Message: diffusivity from the slope"));
        if (at != std::string::npos) std::sscanf(out.c_str() + at, " ps (%ld snapshots", &m.snapshots);
    }
    at = out.find("KMC: diffusivity = ");
    if (at != std::string::npos) std::sscanf(out.c_str() + at, "KMC: diffusivity = %lf", &m.printed);
    at = out.find("KMC: [   Li_i1] ");
    if (at != std::string::npos) std::sscanf(out.c_str() + at, "KMC: [   Li_i1] %lf", &m.trapped);
    return m;
}

}  // namespace

TEST(KmcGarnet, DiffusivityWithRepulsionDoesNotFallWithRunLength) {
    testcli::ScratchDir dir;
    dir.add(kData + "/electrolytes/j5g.cif", "j5g.cif");
    const auto gen = kelmar(dir, "--gen-cube j5g.cif Li 1 0.75 0.4");
    ASSERT_EQ(gen.status, 0) << gen.err;
    measured run[2];
    const long hops[2] = {200000, 800000};
    for (int k = 0; k < 2; ++k) {
        const auto r = kelmar(dir, "--kmc j5g.cif j5g.cube Li 1 0 0 0 0.75 1000 0 " + std::to_string(hops[k]));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Message: equilibration: "), std::string::npos) << r.out;
        run[k] = read_run(r.out);
        std::printf("garnet, 1000 K, %ld hops: D = %.3g +- %.2g (1e-8 m^2/s)\n", hops[k], run[k].D, run[k].error);
        ASSERT_TRUE(std::isfinite(run[k].D) && std::isfinite(run[k].error)) << r.out;
        EXPECT_GT(run[k].D, 0.0);
        // about 100 equal times, thinned to every other one whenever the run outlasts the record
        EXPECT_GE(run[k].snapshots, 65);
        EXPECT_LE(run[k].snapshots, 129);
        EXPECT_GT(run[k].error, 0.0);
        EXPECT_LT(run[k].error, 0.6 * run[k].D);  // the error says something
        EXPECT_NEAR(run[k].printed, run[k].D, 0.006 * run[k].D);  // the summary prints the slope's D
        // the interstitial sites 3 eV above the Li sites stay empty
        EXPECT_EQ(run[k].trapped, 0.0) << r.out;
    }
    const double both = std::hypot(run[0].error, run[1].error);
    EXPECT_LT(std::fabs(run[0].D - run[1].D), 3.0 * both);
}
