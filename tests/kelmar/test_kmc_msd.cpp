// The diffusivity from the mean squared displacement: ions that walk with a known D while they
// rattle far faster between two sites. The slope of the time-origin average recovers D within
// the error it states, where <r^2>/(6t) from the end point keeps the rattling as a bias that only
// a longer run shrinks; the record thins itself when the run outlasts it.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "kmc.hpp"
#include "kmc-msd.hpp"

namespace {

// A record of `ions` ions on `frames` snapshots one time unit apart: a Gaussian walk of
// diffusivity D per axis plus a jump of +-rattle along x drawn afresh at every snapshot.
void fill(kmc_msd* m, long ions, long frames, double D, double rattle, std::mt19937* gen) {
    std::normal_distribution<double> step(0.0, std::sqrt(2.0 * D));
    std::bernoulli_distribution side(0.5);
    m->ions = ions;
    m->frames = frames;
    m->spacing = 1.0;
    m->frame.assign(static_cast<std::size_t>(frames * ions * 3), 0.0);
    std::vector<double> walk(static_cast<std::size_t>(3 * ions), 0.0);
    for (long f = 0; f < frames; ++f)
        for (long i = 0; i < ions; ++i)
            for (int p = 0; p < 3; ++p) {
                double& w = walk[static_cast<std::size_t>(3 * i + p)];
                if (f > 0) w += step(*gen);
                const double jump = p == 0 ? (side(*gen) ? rattle : -rattle) : 0.0;
                m->frame[static_cast<std::size_t>((f * ions + i) * 3 + p)] = w + jump;
            }
}

}  // namespace

TEST(KmcMsd, SlopeRecoversDiffusivityUnderRattling) {
    struct walk_case {
        long ions, frames;
        double D, rattle;
    };
    const walk_case cases[] = {
        {381, 129, 0.01, 1.5},  // the rattling adds 4.5 A^2 to the end point next to 7.7 of walk
        {64, 65, 0.05, 0.0},    // a plain walk
        {16, 129, 0.002, 1.0},  // few ions, tiny D
    };
    std::mt19937 gen(7);
    for (const walk_case& c : cases) {
        int within = 0, end_point_within = 0;
        const int repeats = 40;
        for (int r = 0; r < repeats; ++r) {
            auto kmc = std::make_unique<KELMAR_KMC>();
            fill(&kmc->msd, c.ions, c.frames, c.D, c.rattle, &gen);
            const double T = static_cast<double>(c.frames - 1);
            double end[4] = {};
            for (long i = 0; i < c.ions; ++i)
                for (int p = 0; p < 3; ++p) {
                    const std::size_t last = static_cast<std::size_t>(((c.frames - 1) * c.ions + i) * 3 + p);
                    const std::size_t first = static_cast<std::size_t>(i * 3 + p);
                    const double d = kmc->msd.frame[last] - kmc->msd.frame[first];
                    end[p] += d * d / static_cast<double>(c.ions);
                }
            end[3] = end[0] + end[1] + end[2];
            const kmc_msd_fit fit = kmc_msd_diffusivity(kmc.get(), T, end);
            ASSERT_TRUE(fit.slope);
            ASSERT_GT(fit.error, 0.0);
            EXPECT_NEAR(fit.D[3], fit.D[0] + fit.D[1] + fit.D[2], 1e-12 * fit.D[3]);
            within += std::fabs(fit.D[3] - c.D) < 2.0 * fit.error;
            end_point_within += std::fabs(end[3] / (6.0 * T) - c.D) < 2.0 * fit.error;
        }
        // about 95 % of the runs within two standard errors
        EXPECT_GE(within, repeats * 8 / 10) << c.ions << " ions, rattle " << c.rattle;
        if (c.rattle > 1.0 && c.ions > 100) {
            EXPECT_LT(end_point_within, repeats / 10);  // the end point does not
        }
    }
}

TEST(KmcMsd, ShortRecordFallsBackToTheEndPoint) {
    KELMAR_KMC kmc;
    std::mt19937 gen(3);
    fill(&kmc.msd, 10, kmc_msd::kMinFrames - 1, 0.1, 0.0, &gen);
    const double end[4] = {1.0, 2.0, 3.0, 6.0};
    const kmc_msd_fit fit = kmc_msd_diffusivity(&kmc, 10.0, end);
    EXPECT_FALSE(fit.slope);
    EXPECT_DOUBLE_EQ(fit.D[3], 0.1);
    EXPECT_DOUBLE_EQ(fit.D[0], 1.0 / 60.0);
}
