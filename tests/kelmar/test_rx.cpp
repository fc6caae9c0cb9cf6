// Total energy, forces, strain and stress, and steepest-descent relaxation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bv.hpp"
#include "cif-read.hpp"
#include "cli.hpp"
#include "property-assemble.hpp"
#include "kelmar_fixtures.hpp"
#include "rx-eam.hpp"
#include "rx-energy.hpp"
#include "rx-sd.hpp"

namespace {

using kmfix::add_atom;

// Li2O with one Li pushed off its site, so that forces do not vanish by symmetry.
std::unique_ptr<KELMAR_CELL> distorted_li2o() {
    auto cell = kmfix::li2o();
    cell->atom[4].x_f[0] += 0.03;
    cell->atom[4].x_f[2] -= 0.02;
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

}  // namespace

TEST(RxEnergy, ForceIsTheScaledNegativeGradient) {
    auto cell = distorted_li2o();
    auto ppt = kmfix::record(cell.get());
    ASSERT_NE(ppt, nullptr);
    const long n = cell->total();
    auto force = std::make_unique<double[][3]>(static_cast<std::size_t>(n));
    ASSERT_EQ(kelmar_cell_calculate_force(force.get(), cell.get(), ppt.get()), 0);
    // E = 7.19982 * sum over ordered pairs, force = 0.5 * sum of dE_pair/dx: dE/dx_i = -28.79928 f_i.
    const double h = 1e-5;
    for (long i : {0L, 4L, 9L})
        for (int c = 0; c < 3; c++) {
            auto plus = kelmar_cell_copy(cell.get()), minus = kelmar_cell_copy(cell.get());
            plus->atom[i].x[c] += h;
            minus->atom[i].x[c] -= h;
            const double slope = (kelmar_cell_calculate_total_energy(plus.get(), ppt.get()) -
                                  kelmar_cell_calculate_total_energy(minus.get(), ppt.get())) /
                                 (2 * h);
            EXPECT_NEAR(slope, -2 * 14.39964 * force[i][c], 1e-5) << i << " " << c;
        }
    double total[3] = {0, 0, 0};
    for (long i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) total[c] += force[i][c];
    for (int c = 0; c < 3; c++) EXPECT_NEAR(total[c], 0.0, 1e-10);
}

TEST(RxEnergy, IgnoredAtomsAndTheUnconstrainedPart) {
    auto cell = distorted_li2o();
    auto ppt = kmfix::record(cell.get());
    const double full = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    EXPECT_DOUBLE_EQ(kelmar_cell_calculate_total_energy_unconstrained_part(cell.get(), ppt.get()), full);
    cell->atom[3].ignored = true;
    const double plain = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    const double free_part = kelmar_cell_calculate_total_energy_unconstrained_part(cell.get(), ppt.get());
    EXPECT_NE(plain, full);
    // Moving the ignored atom changes the plain energy (it is still a partner) but not the
    // unconstrained part (it is gone completely).
    auto moved = kelmar_cell_copy(cell.get());
    moved->atom[3].x[0] += 0.05;
    EXPECT_NE(kelmar_cell_calculate_total_energy(moved.get(), ppt.get()), plain);
    EXPECT_DOUBLE_EQ(kelmar_cell_calculate_total_energy_unconstrained_part(moved.get(), ppt.get()), free_part);
    auto force = std::make_unique<double[][3]>(static_cast<std::size_t>(cell->total()));
    ASSERT_EQ(kelmar_cell_calculate_force(force.get(), cell.get(), ppt.get()), 0);
    EXPECT_EQ(force[3][0], 0.0);
    EXPECT_EQ(force[3][1], 0.0);
    EXPECT_EQ(force[3][2], 0.0);
}

TEST(RxEnergy, SplitSitesAndFarCoulombPairs) {
    auto cell = kmfix::box(9, 9, 9);
    add_atom(cell.get(), "Li1", "Li", 1, 0.1, 0.1, 0.1);
    add_atom(cell.get(), "Na1", "Na", 1, 0.1, 0.1, 0.1, 0.5);
    add_atom(cell.get(), "Li2", "Li", 1, 0.1, 0.1, 0.1, 0.5);
    add_atom(cell.get(), "O1", "O", -2, 0.6, 0.6, 0.6, 0.75);
    kelmar_cell_update_cartesion(cell.get());
    cell->atom[0].occ = 0.5;
    auto ppt = kmfix::record(cell.get());
    ASSERT_NE(ppt, nullptr);
    const double split = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    EXPECT_TRUE(std::isfinite(split));
    for (auto& a : cell->atom) a.occ = 1.0;
    const double stacked = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    EXPECT_TRUE(std::isinf(stacked) || stacked > 1e3);  // Li and Na on one point at full occupancy

    // A like-charged pair between 10 A and the image range is small and negative.
    auto far = kmfix::box(60, 60, 60);
    add_atom(far.get(), "Li1", "Li", 1, 0, 0, 0);
    add_atom(far.get(), "Li2", "Li", 1, 11.0 / 60, 0, 0);
    add_atom(far.get(), "O1", "O", -2, 0.5, 0.5, 0.5);
    kelmar_cell_update_cartesion(far.get());
    auto fp = kmfix::record(far.get());
    ASSERT_NE(fp, nullptr);
    const double q = fp->uni[0].q * fp->uni[0].q, r_eff = fp->sf * 2 * fp->uni[0].rc;
    const double e = kelmar_energy_coulombic(11.0, q, r_eff);
    EXPECT_LT(e, 0.0);
    EXPECT_GT(e, -1e-3);
    EXPECT_NEAR(kelmar_cell_calculate_total_energy(far.get(), fp.get()), 7.19982 * 2 * e, 1e-12);
}

TEST(RxEnergy, NullInputsAndMissingSpecies) {
    auto cell = kmfix::li2o();
    auto ppt = kmfix::record(cell.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_calculate_total_energy(nullptr, ppt.get()), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
    add_atom(cell.get(), "Na1", "Na", 1, 0.5, 0.5, 0.5);
    kelmar_cell_update_cartesion(cell.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_total_energy(cell.get(), ppt.get(), false), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: kelmar_property_find_index() returns negative value.\n"
              "Error: kelmar_cell_calculate_total_energy() returns zero.\n");
    double stress[3];
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_calculate_stress_diagonal(stress, cell.get(), ppt.get()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Error: kelmar_cell_calculate_total_energy() returns 0.00.\n"),
              std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_deform(nullptr, nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_CELL has not been properly initialized.\n");
}

TEST(RxEnergy, EmbeddingTerms) {
    auto cell = kmfix::li2o(4.65884171);
    kmfix::flag_each(cell.get());
    auto ppt = kmfix::record(cell.get());
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(ppt.get()), 0);
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    double expect = 0;
    for (const auto& a : cell->atom) {
        const long s = kelmar_bv_find_index(bv.get(), a.name, a.os);
        const double f1 = ppt->uni[kelmar_property_find_index(ppt.get(), a.type, a.os)].f1;
        const double dv = (bv->sum[s] - a.os) / a.os;
        expect += a.occ * f1 * (dv * dv - 1);
    }
    EXPECT_NEAR(kelmar_cell_calculate_eam_energy(cell.get(), ppt.get()), 7.19982 * expect, 1e-9);
    const double eam_total = kelmar_cell_total_energy(cell.get(), ppt.get(), true);
    EXPECT_TRUE(std::isfinite(eam_total));
    EXPECT_NE(eam_total, 0.0);
    cell->atom[0].flag = 0;  // a site class lost: its atom has no sums
    kelmar_copy_field(cell->atom[0].name, "Zz9");
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_calculate_eam_energy(cell.get(), ppt.get()), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_bv_find_index() returns negative value.\n");
}

TEST(RxStrain, DeformAndStress) {
    auto cell = kmfix::li2o(4.65884171);
    auto ppt = kmfix::record(cell.get(), 0.6);
    const double v0 = kelmar_cell_calculate_volume(cell.get());
    auto strained = kelmar_cell_copy(cell.get());
    const double d[3][3] = {{0.01, 0, 0}, {0, 0.01, 0}, {0, 0, 0.01}};
    ASSERT_EQ(kelmar_cell_deform(strained.get(), d), 0);
    EXPECT_NEAR(kelmar_cell_calculate_volume(strained.get()), v0 * std::pow(1.01, 3), 1e-9);
    for (long i = 0; i < cell->total(); i++)
        for (int c = 0; c < 3; c++) {
            EXPECT_EQ(strained->atom[i].x_f[c], cell->atom[i].x_f[c]);
            EXPECT_NEAR(strained->atom[i].x[c], 1.01 * cell->atom[i].x[c], 1e-12);
        }
    double diag[3], shear[3];
    ASSERT_EQ(kelmar_cell_calculate_stress_diagonal(diag, cell.get(), ppt.get()), 0);
    ASSERT_EQ(kelmar_cell_calculate_stress_shear(shear, cell.get(), ppt.get()), 0);
    EXPECT_NEAR(diag[0], diag[1], 1e-9);
    EXPECT_NEAR(diag[1], diag[2], 1e-9);
    for (double s : shear) EXPECT_NEAR(s, 0.0, 1e-6);  // cubic: no shear stress
    // The diagonal stress is the volume-normalised strain derivative of the energy.
    auto up = kelmar_cell_copy(cell.get()), down = kelmar_cell_copy(cell.get());
    const double dp[3][3] = {{0.0001, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    const double dm[3][3] = {{-0.0001, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    kelmar_cell_deform(up.get(), dp);
    kelmar_cell_deform(down.get(), dm);
    EXPECT_DOUBLE_EQ(diag[0], (kelmar_cell_calculate_total_energy(up.get(), ppt.get()) -
                               kelmar_cell_calculate_total_energy(down.get(), ppt.get())) /
                                  0.0002 / v0);
}

TEST(RxSd, StepSizeIsCappedAtATenthOfAnAngstrom) {
    auto cell = kmfix::box(10, 10, 10);
    add_atom(cell.get(), "Li1", "Li", 1, 0, 0, 0);
    add_atom(cell.get(), "O1", "O", -2, 0.5, 0, 0);
    auto ppt = kelmar_property_new(2);
    kelmar_copy_field(ppt->type[0].data(), 3, "Li");
    ppt->os[0] = 1;
    ppt->uni[0].m = 2.0;
    kelmar_copy_field(ppt->type[1].data(), 3, "O");
    ppt->os[1] = -2;
    ppt->uni[1].m = 4.0;
    double f[2][3] = {{1.0, 0, 0}, {0, 0.5, 0}};
    double dx[2][3];
    ASSERT_EQ(kelmar_cell_calculate_coordinate_step_size_simple(dx, cell.get(), ppt.get(), f), 0);
    EXPECT_DOUBLE_EQ(dx[0][0], 0.1);  // 1/2 = 0.5 capped to 0.1
    EXPECT_DOUBLE_EQ(dx[1][1], 0.125 * 0.1 / 0.5);
    double small[2][3] = {{0.02, 0, 0}, {0, 0, 0}};
    ASSERT_EQ(kelmar_cell_calculate_coordinate_step_size_simple(dx, cell.get(), ppt.get(), small), 0);
    EXPECT_DOUBLE_EQ(dx[0][0], 0.01);
    ppt->uni[1].m = 0.0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_calculate_coordinate_step_size_simple(dx, cell.get(), ppt.get(), f), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: wrong mass value.\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_update_coordinate(cell.get(), nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: invalid arguments found.\n");
}

TEST(RxSd, FixedAtomsStayAndLimitsHold) {
    auto cell = distorted_li2o();
    auto ppt = kmfix::record(cell.get());
    cell->atom[0].ignored = true;  // fixed
    cell->atom[4].ignored = true;
    testing::internal::CaptureStdout();
    auto relaxed = kelmar_cell_relax_sd(cell.get(), ppt.get(), 4, 2, 0, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(relaxed, nullptr);
    EXPECT_NE(out.find("RX_SD: step_limit=4; step_p=2; f_conv=0.005000; p_conv=0.001000\n"), std::string::npos);
    EXPECT_NE(out.find("RX_SD: step=  3; en="), std::string::npos);
    EXPECT_EQ(out.find("RX_SD: step=  4;"), std::string::npos);
    EXPECT_NE(out.find("Warning: step limit reached without achieving convergence.\n"), std::string::npos);
    for (long i : {0L, 4L})
        for (int c = 0; c < 3; c++) EXPECT_EQ(relaxed->atom[i].x_f[c], cell->atom[i].x_f[c] - std::floor(cell->atom[i].x_f[c]));
    bool moved = false;
    for (int c = 0; c < 3; c++) moved |= relaxed->atom[5].x_f[c] != cell->atom[5].x_f[c];
    EXPECT_TRUE(moved);
    EXPECT_NE(relaxed->a[0][0], cell->a[0][0]);  // lattice steps at 0 and 2
}

TEST(RxSd, LatticeOnlyAndAtomsOnlyRuns) {
    auto cell = distorted_li2o();
    auto ppt = kmfix::record(cell.get());
    testing::internal::CaptureStdout();
    auto lattice = kelmar_cell_relax_sd(cell.get(), ppt.get(), -3, 0, 0, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(lattice, nullptr);
    EXPECT_NE(out.find("RX_SD: step_limit=-3; step_p=1;"), std::string::npos);
    EXPECT_NE(out.find("RX_SD: step=  2;"), std::string::npos);
    for (long i = 0; i < cell->total(); i++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(lattice->atom[i].x_f[c], cell->atom[i].x_f[c]);
    EXPECT_NE(lattice->parameter[0], cell->parameter[0]);

    testing::internal::CaptureStdout();
    auto atoms = kelmar_cell_relax_sd(cell.get(), ppt.get(), 3, 0, 0, 0);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(atoms, nullptr);
    for (int k = 0; k < 3; k++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(atoms->a[k][c], cell->a[k][c]);
}

TEST(RxSd, ConvergedRunReportsItsEnergies) {
    auto cell = kmfix::li2o(4.65884171);  // ideal positions: forces vanish by symmetry
    auto ppt = kmfix::record(cell.get());
    testing::internal::CaptureStdout();
    auto rx = kelmar_rx_sd_new(cell.get(), ppt.get());
    ASSERT_NE(rx, nullptr);
    rx->step_p = 0;
    ASSERT_EQ(kelmar_rx_sd_run(rx.get()), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(rx->converged);
    EXPECT_EQ(rx->step, 1);
    char line[128];
    std::snprintf(line, sizeof(line), "RX_SD: total energy = %f eV\n", rx->en);
    EXPECT_NE(out.find("RX_SD: convergence reached.\n"), std::string::npos);
    EXPECT_NE(out.find(line), std::string::npos);
    EXPECT_NE(out.find("RX_SD: unconstrained energy = "), std::string::npos);
    testing::internal::CaptureStdout();
    kelmar_rx_sd_print(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "RX_SD: (not allocated)\n");
}

TEST(RxSd, ConstraintColumn) {
    testcli::ScratchDir dir;
    const std::string head =
        "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_symmetry_equiv_pos_as_xyz\n'x, y, z'\n";
    testcli::spit(dir.path() / "fixed.cif", head +
                                                "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                                                "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n_atom_site_kelmar_fixed\n"
                                                "Li1 Li 0 0 0 1 T\nLi2 Li 0.5 0.5 0.5 1 F\nO1 O 0.5 0 0 1 t\n");
    testcli::spit(dir.path() / "plain.cif", head +
                                                "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                                                "_atom_site_fract_y\n_atom_site_fract_z\nLi1 Li 0 0 0\n");
    auto cell = kmfix::box(5, 5, 5);
    add_atom(cell.get(), "Li1", "Li", 1, 1.0, 0, 0);  // the same site seen across the cell edge
    add_atom(cell.get(), "Li2", "Li", 1, 0.5, 0.5, 0.5);
    add_atom(cell.get(), "O1", "O", -2, 0.5, 0.0, 0.0);
    add_atom(cell.get(), "O2", "O", -2, 0.5, 0.0, 0.0);
    kelmar_cell_update_cartesion(cell.get());
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_cell_import_cif_read_constraint(cell.get(), (dir.path() / "fixed.cif").c_str()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(cell->atom[0].ignored);
    EXPECT_FALSE(cell->atom[1].ignored);
    EXPECT_TRUE(cell->atom[2].ignored);
    EXPECT_FALSE(cell->atom[3].ignored);  // another label
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_cell_import_cif_read_constraint(cell.get(), (dir.path() / "plain.cif").c_str()), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Message: keyword '_kelmar_fixed' not found in cif file.\n"),
              std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_import_cif_read_constraint(cell.get(), (dir.path() / "none.cif").c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: unable to open " + (dir.path() / "none.cif").string() + "\n");
}

TEST(RxEnergy, EmbeddingEnergyAloneAndInTheTotalKeepTheirOwnForms) {
    auto cell = kmfix::li2o(4.65884171);
    // Every atom a little off its site, so that no two sums are alike.
    for (long i = 0; i < cell->total(); i++)
        for (int c = 0; c < 3; c++) cell->atom[i].x_f[c] += 0.004 * ((i * 7 + c * 3) % 5) - 0.008;
    cell->atom[9].occ = 0.996;  // partly occupied, still neutral within the tolerance
    kelmar_cell_update_cartesion(cell.get());
    kmfix::flag_each(cell.get());
    auto ppt = kmfix::record(cell.get());
    ASSERT_EQ(kelmar_property_calculate_unitary_eam_parameter(ppt.get()), 0);
    ppt->uni[0].f1 = 0.7071067811865476;  // values whose two forms round apart
    ppt->uni[1].f1 = 0.1;
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell.get(), ppt.get());
    auto bv12 = kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(cell.get(), ppt.get());
    double alone = 0, in_total = 0;
    for (const auto& a : cell->atom) {
        const double f1 = ppt->uni[kelmar_property_find_index(ppt.get(), a.type, a.os)].f1;
        const double dv = (bv->sum[kelmar_bv_find_index(bv.get(), a.name, a.os)] - a.os) / a.os;
        alone += a.occ * f1 * (dv * dv - 1);
        const double dv12 = (bv12->sum[kelmar_bv_find_index(bv12.get(), a.name, a.os)] - a.os) / a.os;
        in_total += a.occ * f1 * (dv12 * dv12) - a.occ * f1;
    }
    EXPECT_EQ(kelmar_cell_calculate_eam_energy(cell.get(), ppt.get()), 7.19982 * alone);
    const double pair = kelmar_cell_calculate_total_energy(cell.get(), ppt.get());
    // No probe exclusion without a mobile species: the pair part is the plain sum.
    EXPECT_EQ(kelmar_cell_calculate_total_energy_eam(cell.get(), ppt.get()), 7.19982 * (pair / 7.19982 + in_total));
}

TEST(RxEnergy, ACellTooSmallForTheImagesIsRefused) {
    auto li2o = kmfix::li2o();
    auto ppt = kmfix::record(li2o.get());
    ASSERT_NE(ppt, nullptr);
    for (double a : {1e-6, 1e-30}) {
        auto cell = kmfix::box(a, 4.61, 4.61);
        add_atom(cell.get(), "Li1", "Li", 1, 0.25, 0.25, 0.25);
        add_atom(cell.get(), "O1", "O", -2, 0, 0, 0);
        kelmar_cell_update_cartesion(cell.get());
        testing::internal::CaptureStderr();
        EXPECT_EQ(kelmar_cell_calculate_total_energy(cell.get(), ppt.get()), 0.0);
        EXPECT_EQ(kelmar_cell_calculate_total_energy_unconstrained_part(cell.get(), ppt.get()), 0.0);
        double f[2][3];
        EXPECT_EQ(kelmar_cell_calculate_force(f, cell.get(), ppt.get()), 1);
        double s[3];
        EXPECT_EQ(kelmar_cell_calculate_stress_diagonal(s, cell.get(), ppt.get()), 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("Error: cell too small for the lattice sums ("), 0u) << err;
    }
}
