// Molecular dynamics of the mobile ions: listed forces against the plain double sum, the
// Maxwell-Boltzmann start, the thermostat, energy conservation without it, fixed atoms, results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "property-assemble.hpp"
#include "kelmar_fixtures.hpp"
#include "md.hpp"
#include "md-log.hpp"
#include "md-run.hpp"

namespace {

// Li2O-like cells: cubic, triclinic, and one shorter than the force reach along every axis.
std::unique_ptr<KELMAR_CELL> li2o_cubic() { return kmfix::li2o(4.61); }

std::unique_ptr<KELMAR_CELL> li2o_triclinic() {
    auto cell = kmfix::li2o(4.7);
    cell->angle[0] = 76.0;
    cell->angle[1] = 83.0;
    cell->angle[2] = 104.0;
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

std::unique_ptr<KELMAR_CELL> short_cell() {
    auto cell = kmfix::box(3.1, 3.4, 2.9);
    kmfix::add_atom(cell.get(), "O1", "O", -2, 0.0, 0.0, 0.0);
    kmfix::add_atom(cell.get(), "Li1", "Li", 1, 0.5, 0.5, 0.45);
    kmfix::add_atom(cell.get(), "Li2", "Li", 1, 0.1, 0.55, 0.0);
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

struct MdSettings {
    double t_init = 10.0, t_target = 300.0, dt = 0.001, zeta = 2.0, t_end = 1.0, t_equil = 0.5, t_log = 0.1;
    int fixed_li = 0;  // this many Li atoms are fixed sites of the structure
};

// The engine the records of this file draw from; a test that needs a repeatable run seeds it.
RandomEngine& test_engine() {
    static RandomEngine engine(1);
    return engine;
}

// A record ready to run: every non-Li atom fixed, Li the conducting species, no logs.
std::unique_ptr<KELMAR_MD> make_md(KELMAR_CELL* cell, const MdSettings& s) {
    auto ppt = kmfix::record(cell, 0.75);
    if (ppt == nullptr) return nullptr;
    kelmar_property_set_conducting(ppt.get(), "Li", 1);
    int fixed = 0;
    for (KELMAR_ATOM& a : cell->atom) {
        const bool li = std::string(a.type) == "Li";
        a.ignored = !li || fixed < s.fixed_li;
        if (li && fixed < s.fixed_li) fixed++;
    }
    auto md = kelmar_md_new(cell, ppt.get(), test_engine());
    md->temperature_init = s.t_init;
    md->temperature_target = s.t_target;
    md->dt = s.dt;
    md->zeta = s.zeta;
    md->t_end = s.t_end;
    md->t_equil = s.t_equil;
    md->t_log = s.t_log;
    if (kelmar_md_init_vv(md.get()) != 0) return nullptr;
    return md;
}

mdforce::Frame frame(const KELMAR_MD& md) { return md_force_frame(&md); }

// Largest difference between the listed forces and the plain double sum, eV/A; the quick energy
// and virial of the samples are checked against the plain sum on the way.
double list_against_direct(KELMAR_MD& md) {
    MdVec listed = md.f, direct = md.f;
    mdforce::Contact c;
    EXPECT_EQ(mdforce::list_forces(md.list, frame(md), md.x, listed, &c), mdforce::Status::OK);
    mdforce::DirectSums sums;
    EXPECT_EQ(mdforce::direct_sums(frame(md), md.x, &sums, &direct, &c), mdforce::Status::OK);
    double worst = 0.0, largest = 0.0;
    for (long i : md.mobile)
        for (int k = 0; k < 3; k++) {
            worst = std::max(worst, std::fabs(listed[i][k] - direct[i][k]));
            largest = std::max(largest, std::fabs(direct[i][k]));
        }
    EXPECT_GT(largest, 0.01);  // the comparison is not between zeros
    // the samples' energy and virial skip the pair functions where the force is negligible
    mdforce::DirectSums quick;
    EXPECT_EQ(mdforce::direct_sums(frame(md), md.x, &quick, nullptr, &c, false), mdforce::Status::OK);
    EXPECT_NEAR(14.39964 * quick.e_host, 14.39964 * sums.e_host, 1e-9);
    EXPECT_NEAR(7.19982 * quick.e_mobile, 7.19982 * sums.e_mobile, 1e-9);
    EXPECT_NEAR(quick.virial, sums.virial, 1e-9);
    EXPECT_NE(sums.e_host, 0.0);
    return worst;
}

double kinetic_temperature(const KELMAR_MD& md) {
    double sum = 0.0;
    for (long i : md.mobile)
        for (int k = 0; k < 3; k++) sum += md.m[i] * md.v[i][k] * md.v[i][k];
    return sum / (3.0 * static_cast<double>(md.mobile.size()) * KELMAR_MD_KB);
}

}  // namespace

TEST(MdForces, VerletListEqualsThePlainDoubleSum) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<KELMAR_CELL>()> build;
        int fixed_li;
    };
    const Case cases[] = {
        {"cubic", li2o_cubic, 0},
        {"cubic, two Li fixed", li2o_cubic, 2},
        {"triclinic", li2o_triclinic, 1},
        {"short cell", short_cell, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test_engine().seed(11);
        auto cell = c.build();
        MdSettings s;
        s.fixed_li = c.fixed_li;
        auto md = make_md(cell.get(), s);
        ASSERT_NE(md, nullptr);
        // shake the moving atoms so that no force cancels by symmetry
        for (long i : md->mobile)
            for (double& x : md->x[i]) x += 0.3 * (kelmar_random(test_engine()) - 0.5);
        EXPECT_LT(list_against_direct(*md), 1e-9);
        const long builds = md->list.builds;
        // small moves keep the list; large ones, and a whole lattice vector, rebuild it
        for (long i : md->mobile)
            for (double& x : md->x[i]) x += 0.2 * (kelmar_random(test_engine()) - 0.5);
        EXPECT_LT(list_against_direct(*md), 1e-9);
        EXPECT_EQ(md->list.builds, builds);
        for (long i : md->mobile)
            for (int k = 0; k < 3; k++) md->x[i][k] += 1.5 * (kelmar_random(test_engine()) - 0.5) + md->cell->a[(i + k) % 3][k];
        EXPECT_LT(list_against_direct(*md), 1e-9);
        EXPECT_GT(md->list.builds, builds);
    }
}

// The tabulated erfc of the listed Coulomb forces against the library's, from contact to well
// past the force reach (where the table hands over to the library).
TEST(MdForces, TabulatedErfcMatchesTheLibrary) {
    double worst = 0.0;
    for (double s = 0.0; s < 8.0; s += 0.000731) {
        const double exact = std::erfc(s);
        worst = std::max(worst, std::fabs(mdforce::table_erfc(s) - exact) / exact);
    }
    EXPECT_LT(worst, 1e-13);
    for (double s : {0.0, 1.0 / 1024.0, 0.5, 6.9999999, 7.0, 7.5})
        EXPECT_NEAR(mdforce::table_erfc(s), std::erfc(s), 1e-13 * std::erfc(s)) << s;
}

// Every component of a moving ion's start velocity is normal with variance kB T / m (less the
// share the zero total momentum takes away), whatever the mass and temperature.
TEST(MdStart, VelocitiesFollowMaxwellBoltzmannWithZeroMomentum) {
    struct Case {
        double t_init;
        double li_mass_scale;  // heavier and lighter isotopes of the moving ion
    };
    for (const Case& c : {Case{10.0, 1.0}, Case{300.0, 1.0}, Case{1200.0, 3.0}, Case{300.0, 0.25}}) {
        SCOPED_TRACE(c.t_init);
        test_engine().seed(5);
        auto cell = li2o_cubic();
        MdSettings s;
        s.t_init = c.t_init;
        auto md = make_md(cell.get(), s);
        ASSERT_NE(md, nullptr);
        for (long i : md->mobile) md->m[i] *= c.li_mass_scale;
        const double n = static_cast<double>(md->mobile.size());
        double sum = 0.0;
        long count = 0;
        for (int draw = 0; draw < 3000; draw++) {
            ASSERT_EQ(kelmar_md_calculate_vi_vv(md->v, md.get()), 0);
            double p[3] = {0.0, 0.0, 0.0}, scale = 0.0;
            for (long i : md->mobile)
                for (int k = 0; k < 3; k++) {
                    p[k] += md->m[i] * md->v[i][k];
                    scale += md->m[i] * std::fabs(md->v[i][k]);
                    sum += md->m[i] * md->v[i][k] * md->v[i][k];
                    count++;
                }
            for (double pk : p) ASSERT_LT(std::fabs(pk), 1e-12 * scale);
        }
        // m <v^2> / (kB T) is 1 - 1/n once the momentum is removed; 72000 components give 0.5 %
        const double ratio = sum / static_cast<double>(count) / (KELMAR_MD_KB * c.t_init);
        EXPECT_NEAR(ratio, 1.0 - 1.0 / n, 0.025);
        // fixed atoms start at rest
        for (std::size_t i = 0; i < md->cell->atom.size(); i++)
            if (md->cell->atom[i].ignored) {
                EXPECT_EQ(md->v[i], (std::array<double, 3>{0.0, 0.0, 0.0}));
            }
    }
}

// With the thermostat on, the mean kinetic temperature over a production run is the target: 64
// moving ions over 6 ps give a standard error of about 1 % (seeds 1 to 5 gave 0.99 to 1.02).
TEST(MdThermostat, MeanKineticTemperatureIsTheTarget) {
    test_engine().seed(3);
    auto unit = li2o_cubic();
    const long n[3] = {2, 2, 2};
    auto cell = kelmar_cell_supercell(unit.get(), n);
    auto ppt = kmfix::record(cell.get(), 0.5);  // a short screening length keeps the run quick
    ASSERT_NE(ppt, nullptr);
    kelmar_property_set_conducting(ppt.get(), "Li", 1);
    for (KELMAR_ATOM& a : cell->atom) a.ignored = std::string(a.type) != "Li";
    auto md = kelmar_md_new(cell.get(), ppt.get(), test_engine());
    md->temperature_init = md->temperature_target = 600.0;
    md->zeta = 10.0;
    ASSERT_EQ(kelmar_md_init_vv(md.get()), 0);
    ASSERT_EQ(md->mobile.size(), 64u);
    for (int k = 0; k < 1000; k++) ASSERT_EQ(kelmar_md_update_vv_langevin(md.get()), 0);
    double sum = 0.0;
    const int steps = 6000;
    for (int k = 0; k < steps; k++) {
        ASSERT_EQ(kelmar_md_update_vv_langevin(md.get()), 0);
        sum += kinetic_temperature(*md);
    }
    EXPECT_NEAR(sum / steps / 600.0, 1.0, 0.03);
}

// Without friction and noise the total energy is conserved: the forces are the gradient of en_p,
// which counts each pair with the fixed host once and each pair of moving ions once.
TEST(MdVerlet, PlainVerletConservesTheTotalEnergy) {
    for (auto build : {li2o_cubic, li2o_triclinic}) {
        test_engine().seed(9);
        auto cell = build();
        MdSettings s;
        s.t_init = 600.0;
        s.dt = 0.0005;
        auto md = make_md(cell.get(), s);
        ASSERT_NE(md, nullptr);
        ASSERT_EQ(kelmar_md_calculate_energy(md.get()), 0);
        const double en0 = md->en, ek0 = md->en_k;
        double worst = 0.0;
        for (int k = 1; k <= 2000; k++) {
            ASSERT_EQ(kelmar_md_update_vv(md.get()), 0);
            if (k % 50 == 0) {
                ASSERT_EQ(kelmar_md_calculate_energy(md.get()), 0);
                worst = std::max(worst, std::fabs(md->en - en0));
            }
        }
        EXPECT_LT(worst, 0.01 * ek0);
        EXPECT_GT(std::fabs(md->en_k - ek0), 0.05 * ek0);  // energy did flow between the two kinds
    }
}

// Fixed atoms (the host and fixed sites of the moving species) never move in a run.
TEST(MdRun, FixedAtomsNeverMoveAndTheRunEndsAtTEnd) {
    for (int fixed_li : {0, 3}) {
        test_engine().seed(21);
        auto cell = li2o_triclinic();
        MdSettings s;
        s.fixed_li = fixed_li;
        s.t_equil = 0.1;
        s.t_end = 0.25;
        s.t_log = 0.1;
        auto md = make_md(cell.get(), s);
        ASSERT_NE(md, nullptr);
        const KELMAR_CELL before = *md->cell;
        testing::internal::CaptureStdout();
        ASSERT_EQ(kelmar_md_equilibrate(md.get()), 0);
        ASSERT_EQ(kelmar_md_run(md.get()), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        // the phases are announced; the progress bar is for a terminal, and this is none
        EXPECT_NE(out.find("MD: equilibration phase\n"), std::string::npos) << out;
        EXPECT_NE(out.find("MD: production phase\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("MD: progress"), std::string::npos) << out;
        EXPECT_EQ(md->step, 250);
        EXPECT_DOUBLE_EQ(md->t, 0.25);
        long moved = 0;
        for (std::size_t i = 0; i < before.atom.size(); i++) {
            const KELMAR_ATOM &a = before.atom[i], &b = md->cell->atom[i];
            if (a.ignored) {
                for (int k = 0; k < 3; k++) {
                    EXPECT_EQ(a.x[k], b.x[k]) << a.name;
                    EXPECT_EQ(md->x[i][k], a.x[k]) << a.name;
                    EXPECT_EQ(md->v[i][k], 0.0) << a.name;
                }
            } else {
                moved++;
                for (int k = 0; k < 3; k++) EXPECT_TRUE(b.x_f[k] >= 0.0 && b.x_f[k] < 1.0);  // kept in the cell
            }
        }
        EXPECT_EQ(moved, 8 - fixed_li);
        EXPECT_GT(md->diffusivity, 0.0);
        EXPECT_GT(md->temperature_ave, 0.0);
    }
}

// Diffusivity, mobility and conductivity of known displacements (Nernst-Einstein).
TEST(MdResults, ConductionPropertyOfKnownDisplacements) {
    struct Case {
        double shift;  // every moving ion displaced by this along x, A
        double t;      // ps
        double temperature_ave;
    };
    for (const Case& c : {Case{1.0, 1.0, 300.0}, Case{3.0, 10.0, 600.0}, Case{0.5, 0.2, 1000.0}}) {
        auto cell = li2o_cubic();
        auto md = make_md(cell.get(), MdSettings{});
        ASSERT_NE(md, nullptr);
        md->x0 = md->x;
        for (long i : md->mobile) md->x[i][0] += c.shift;
        md->t = c.t;
        md->temperature_ave = c.temperature_ave;
        ASSERT_EQ(kelmar_md_calculate_conduction_property(md.get()), 0);
        const double d = c.shift * c.shift / (6.0 * c.t);  // A^2/ps = 1e-8 m^2/s
        EXPECT_DOUBLE_EQ(md->displacement, c.shift);
        EXPECT_NEAR(md->diffusivity, d, 1e-12 * d);
        const double mu = d * 1e-8 / (KELMAR_MD_KB * c.temperature_ave) * 1e8;  // e D / kT, 1e-8 m^2/(V s)
        EXPECT_NEAR(md->mobility, mu, 1e-4 * mu);
        // sigma = n e mu: 8 ions in the cell, S/cm
        const double n_per_m3 = 8.0 / (md->volume * 1e-30);
        const double sigma = n_per_m3 * 1.60217662e-19 * mu * 1e-8 / 100.0;
        EXPECT_NEAR(md->conductivity, sigma, 1e-4 * sigma);
    }
}

TEST(MdInit, DefaultsAndSamplingInterval) {
    struct Case {
        double dt, t_log, t_end;
        long step_log;
        double t_log_used, dt_used, t_end_used;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0, 100, 0.1, 0.001, 10.0},        // all defaults
        {0.001, 0.0005, 0.0, 100, 0.1, 0.001, 10.0},   // below one step: 100 steps
        {0.002, 0.1, 1.0, 50, 0.1, 0.002, 1.0},
        {-1.0, 0.25, 0.5, 250, 0.25, 0.001, 0.5},
    };
    for (const Case& c : cases) {
        auto cell = li2o_cubic();
        MdSettings s;
        s.t_init = s.t_target = s.zeta = s.t_equil = -1.0;
        s.dt = c.dt;
        s.t_log = c.t_log;
        s.t_end = c.t_end;
        auto md = make_md(cell.get(), s);
        ASSERT_NE(md, nullptr);
        EXPECT_EQ(md->step_log, c.step_log);
        EXPECT_NEAR(md->t_log, c.t_log_used, 1e-12);
        EXPECT_DOUBLE_EQ(md->dt, c.dt_used);
        EXPECT_DOUBLE_EQ(md->t_end, c.t_end_used);
        EXPECT_DOUBLE_EQ(md->temperature_init, 10.0);
        EXPECT_DOUBLE_EQ(md->temperature_target, 300.0);
        EXPECT_DOUBLE_EQ(md->zeta, 2.0);
        EXPECT_DOUBLE_EQ(md->t_equil, 2.0);
    }
}

// Every operation refuses a missing record with one line instead of failing later.
TEST(MdRecord, MissingRecordIsRefused) {
    MdVec v;
    const std::function<int()> calls[] = {
        [] { return kelmar_md_init_vv(nullptr); },
        [] { return kelmar_md_equilibrate(nullptr); },
        [] { return kelmar_md_run(nullptr); },
        [] { return kelmar_md_update_vv_langevin(nullptr); },
        [] { return kelmar_md_update_vv(nullptr); },
        [] { return kelmar_md_calculate_force(nullptr); },
        [] { return kelmar_md_calculate_energy(nullptr); },
        [] { return kelmar_md_calculate_temperature(nullptr); },
        [] { return kelmar_md_calculate_pressure(nullptr); },
        [] { return kelmar_md_calculate_average(nullptr); },
        [] { return kelmar_md_calculate_conduction_property(nullptr); },
        [&] { return kelmar_md_calculate_vi_vv(v, nullptr); },
        [] { return kelmar_md_log_sample(nullptr); },
    };
    for (const auto& call : calls) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(call(), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_MD has not been properly initialized.\n");
    }
    testing::internal::CaptureStdout();
    kelmar_md_print(nullptr);
    kelmar_md_print_short(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MD: (null)\nMD: (null)\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_md_new(nullptr, nullptr, test_engine()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_CELL has not been properly initialized.\n");
}
