// Nudged elastic band: a Li vacancy hop in Li2O against the energy landscape of the frozen host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "cli.hpp"
#include "property-assemble.hpp"
#include "kelmar_fixtures.hpp"
#include "rx-neb.hpp"
#include "rx-energy.hpp"

namespace {

std::unique_ptr<KELMAR_PROPERTY> li2o_parameters() {
    auto perfect = kmfix::li2o();
    return kmfix::record(perfect.get());
}

long index_of(const KELMAR_CELL* cell, const char* name) {
    for (long i = 0; i < cell->total(); i++)
        if (std::strcmp(cell->atom[static_cast<std::size_t>(i)].name, name) == 0) return i;
    return -1;
}

void place(KELMAR_CELL* cell, long i, double x, double y, double z) {
    KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(i)];
    a.x_f[0] = x;
    a.x_f[1] = y;
    a.x_f[2] = z;
    kelmar_cell_update_cartesion(cell);
}

// Li2O with the Li5 site (3/4, 1/4, 1/4) empty; Li1 starts at (1/4, 1/4, 1/4) and ends on the
// empty site. With `frozen` every other atom carries the fixed mark.
struct Hop {
    std::unique_ptr<KELMAR_CELL> start, end;
};

Hop vacancy_hop(bool frozen) {
    Hop h;
    h.start = kmfix::li2o();
    h.start->atom.erase(h.start->atom.begin() + index_of(h.start.get(), "Li5"));
    for (auto& a : h.start->atom) a.ignored = frozen && std::strcmp(a.name, "Li1") != 0;
    h.end = kelmar_cell_copy(h.start.get());
    place(h.end.get(), index_of(h.end.get(), "Li1"), 0.75, 0.25, 0.25);
    return h;
}

// The straight hop runs along a symmetry axis of the host, on which every force is parallel to
// the axis: a straight band stays straight and climbs to the top of the axis, a second-order
// saddle. The first band is therefore bent by `bend` angstrom towards the octahedral hole, as a
// user would start it, and relaxes from there onto the minimum-energy path.
std::unique_ptr<KELMAR_RX_NEB> run_band(Hop& h, const KELMAR_PROPERTY* ppt, int n, bool relax, bool ci,
                                        double bend) {
    auto rx = kelmar_rx_neb_new(h.start.get(), h.end.get(), ppt, n);
    if (rx == nullptr) return rx;
    // The two sites are half a cell apart, so the band may cross the plane x = 1/2 or x = 0; the
    // octahedral hole lies along (0, 1, 1) in the first and along (0, 1, -1) in the second.
    const KELMAR_CELL* mid = rx->cell[static_cast<std::size_t>(n / 2)].get();
    const double sign = std::fabs(mid->atom[static_cast<std::size_t>(index_of(mid, "Li1"))].x_f[0] - 0.5) < 0.1 ? 1 : -1;
    for (int k = 1; k < n - 1; k++) {
        KELMAR_CELL* c = rx->cell[static_cast<std::size_t>(k)].get();
        KELMAR_ATOM& a = c->atom[static_cast<std::size_t>(index_of(c, "Li1"))];
        const double off = bend * std::sin(3.14159265 * k / (n - 1)) / std::sqrt(2.0);
        a.x[1] += off;
        a.x[2] += sign * off;
        kelmar_cell_update_coordinate_fractional(c);
        kelmar_cell_bound_fractional(c);
        kelmar_cell_update_coordinate_cartesion(c);
    }
    rx->relax = relax;
    rx->ci = ci;
    rx->step_log = -1;
    rx->step_limit = 20000;
    testing::internal::CaptureStdout();
    const int rc = kelmar_rx_neb_run(rx.get());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("RX_NEB: convergence reached."), std::string::npos);
    return rx;
}

// The saddle of the hop of a lone Li through the frozen host: by the mirror plane x = 1/2 that
// exchanges the two sites, it is the lowest point of that plane near the path. Found by a
// shrinking grid scan of the total energy, independent of forces and tangents.
double saddle_by_scan(const KELMAR_PROPERTY* ppt) {
    Hop h = vacancy_hop(false);
    KELMAR_CELL* cell = h.start.get();
    const long li = index_of(cell, "Li1");
    double cy = 0.25, cz = 0.25, span = 0.12, best = 0.0;
    for (int round = 0; round < 7; round++) {
        double by = cy, bz = cz;
        best = 1e300;
        for (int i = -5; i <= 5; i++)
            for (int j = -5; j <= 5; j++) {
                const double y = cy + span * i / 5, z = cz + span * j / 5;
                place(cell, li, 0.5, y, z);
                const double e = kelmar_cell_calculate_total_energy(cell, ppt);
                if (e < best) {
                    best = e;
                    by = y;
                    bz = z;
                }
            }
        cy = by;
        cz = bz;
        span *= 0.35;
    }
    return best;
}

// The top of the straight hop: a 1-D scan along the axis.
double axis_top(const KELMAR_PROPERTY* ppt) {
    Hop h = vacancy_hop(false);
    KELMAR_CELL* cell = h.start.get();
    const long li = index_of(cell, "Li1");
    double top = -1e300;
    for (int i = 0; i <= 100; i++) {
        place(cell, li, 0.25 + 0.5 * i / 100, 0.25, 0.25);
        top = std::max(top, kelmar_cell_calculate_total_energy(cell, ppt));
    }
    return top;
}

double atom_distance(const KELMAR_CELL* a, const KELMAR_CELL* b, long i) {
    double v[3];
    kelmar_cell_min_vector_btw_atoms(v, a, &a->atom[static_cast<std::size_t>(i)], &b->atom[static_cast<std::size_t>(i)]);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

}  // namespace

TEST(RxNeb, ClimbingImageSitsOnTheSaddleOfTheFrozenHost) {
    auto ppt = li2o_parameters();
    ASSERT_NE(ppt, nullptr);
    Hop h = vacancy_hop(true);
    auto rx = run_band(h, ppt.get(), 7, false, true, 0.6);
    ASSERT_NE(rx, nullptr);
    ASSERT_TRUE(rx->ci_active);
    int climbing = -1;
    for (int k = 1; k < rx->total - 1; k++)
        if (rx->ci_image[static_cast<std::size_t>(k)]) climbing = k;
    ASSERT_EQ(climbing, 3);  // the middle image of a symmetric hop
    const double saddle = saddle_by_scan(ppt.get());
    EXPECT_NEAR(rx->en[climbing], saddle, 0.02);
    EXPECT_GT(rx->en[climbing] - rx->en[0], 0.1);
    const long n = rx->cell[0]->total();
    for (long i = 0; i < n; i++) {
        const double* f = rx->f[climbing][i];
        EXPECT_LE(std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]), rx->f_conv_ci);
    }
    // The host never moved.
    for (int k = 0; k < rx->total; k++)
        for (long i = 0; i < n; i++)
            if (std::strcmp(rx->cell[k]->atom[static_cast<std::size_t>(i)].name, "Li1") != 0) {
                EXPECT_LT(atom_distance(rx->cell[0].get(), rx->cell[k].get(), i), 1e-9);
            }
    // The straight band of the same hop tops out higher, on the axis.
    Hop straight = vacancy_hop(true);
    auto rs = run_band(straight, ppt.get(), 7, false, true, 0.0);
    ASSERT_NE(rs, nullptr);
    EXPECT_GT(rs->en[3], rx->en[climbing] + 0.05);
    EXPECT_NEAR(rs->en[3], axis_top(ppt.get()), 0.02);
    std::printf("NEB frozen host: climbing image %.4f eV, scanned saddle %.4f eV, barrier %.4f eV, straight band %.4f eV\n",
                rx->en[climbing], saddle, rx->en[climbing] - rx->en[0], rs->en[3]);
}

TEST(RxNeb, SpringsKeepTheImagesEvenlySpaced) {
    auto ppt = li2o_parameters();
    Hop h = vacancy_hop(true);
    auto rx = run_band(h, ppt.get(), 7, false, false, 0.6);
    ASSERT_NE(rx, nullptr);
    const long li = index_of(rx->cell[0].get(), "Li1");
    double lo = 1e9, hi = 0.0, total = 0.0;
    for (int k = 0; k + 1 < rx->total; k++) {
        const double d = atom_distance(rx->cell[k].get(), rx->cell[k + 1].get(), li);
        lo = std::min(lo, d);
        hi = std::max(hi, d);
        total += d;
    }
    // A residual spring force below the criterion leaves spacings within f_conv / k of each other.
    EXPECT_LT(hi - lo, 2 * rx->f_conv / rx->k);
    EXPECT_GT(total, 4.61 / 2 + 0.05);  // the path bends away from the O-O edge
}

TEST(RxNeb, RelaxedEndsAndFreeHostGiveNoHigherBarrier) {
    auto ppt = li2o_parameters();
    Hop frozen = vacancy_hop(true);
    auto rf = run_band(frozen, ppt.get(), 5, false, true, 0.0);
    Hop free_host = vacancy_hop(false);
    auto rr = run_band(free_host, ppt.get(), 5, true, true, 0.0);
    ASSERT_NE(rf, nullptr);
    ASSERT_NE(rr, nullptr);
    const double barrier_frozen = *std::max_element(rf->en.begin(), rf->en.end()) - rf->en[0];
    const double barrier_free = *std::max_element(rr->en.begin(), rr->en.end()) - rr->en[0];
    std::printf("NEB barrier: frozen host %.4f eV, relaxed ends and free host %.4f eV\n", barrier_frozen,
                barrier_free);
    EXPECT_GT(barrier_free, 0.0);
    EXPECT_LE(barrier_free, barrier_frozen + 1e-6);
    EXPECT_LE(rr->en[0], rf->en[0]);  // relaxation never raises the ends
}

namespace {

const std::string kExe = KELMAR_EXE;

testcli::Result kelmar(const testcli::ScratchDir& d, const std::string& args) { return testcli::run(kExe, args, d.path()); }

// Li2O (P1, unique labels) without Li5, Li8 and O4, a neutral cell with two Li vacancies. Li1 sits
// at x = li1_x; `frozen` marks every other site fixed. `swap` gives the Li2 label to an O site
// and the O1 label to the Li2 site; `drop` leaves out Li7.
std::string hop_cif(double li1_x, bool frozen, bool swap = false, bool drop = false) {
    std::string s =
        "data_hop\n_cell_length_a 4.61\n_cell_length_b 4.61\n_cell_length_c 4.61\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 90\n_cell_angle_gamma 90\n_symmetry_space_group_name_H-M 'P 1'\nloop_\n"
        "_symmetry_equiv_pos_as_xyz\n'x, y, z'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
        "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n_atom_site_kelmar_fixed\n";
    const char* fix = frozen ? "T" : "F";
    char row[128];
    auto add = [&](const char* label, const char* type, double x, double y, double z, const char* f) {
        std::snprintf(row, sizeof(row), "%s %s %.4f %.4f %.4f 1.0 %s\n", label, type, x, y, z, f);
        s += row;
    };
    add(swap ? "Li2" : "O1", "O", 0, 0, 0, fix);
    add("O2", "O", 0, 0.5, 0.5, fix);
    add("O3", "O", 0.5, 0, 0.5, fix);
    add("Li1", "Li", li1_x, 0.25, 0.25, "F");
    add(swap ? "O1" : "Li2", "Li", 0.25, 0.25, 0.75, fix);
    add("Li3", "Li", 0.25, 0.75, 0.25, fix);
    add("Li4", "Li", 0.25, 0.75, 0.75, fix);
    add("Li6", "Li", 0.75, 0.25, 0.75, fix);
    if (!drop) add("Li7", "Li", 0.75, 0.75, 0.25, fix);
    return s;
}

}  // namespace

TEST(RxNebCli, BandFilesAndTheImageSeries) {
    testcli::ScratchDir d;
    testcli::spit(d / "a.cif", hop_cif(0.25, true));
    testcli::spit(d / "b.cif", hop_cif(0.75, true));
    auto r = kelmar(d, "--rx-neb a.cif b.cif 5 0 10 f -0.1 0.75 -0.1 hop");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Message: relaxation constraint found.\n"), std::string::npos);
    EXPECT_NE(r.out.find("RX_NEB: climbing image mode triggered at step"), std::string::npos);
    EXPECT_NE(r.out.find("RX_NEB: convergence reached.\n"), std::string::npos);
    const std::string path = testcli::slurp(d / "hop.neb-log.txt");
    EXPECT_EQ(path.substr(0, path.find('\n', path.find('\n') + 1) + 1),
              "total_images = 5, step_limit = 0, f_conv = 0.005000\n  step, en[   0], en[   1], en[   2], en[   3], "
              "en[   4]\n");
    for (int k = 0; k < 5; k++) {
        const std::string log = testcli::slurp(d / ("hop.neb-log." + std::to_string(k) + ".txt"));
        EXPECT_EQ(log.substr(0, log.find('\n') + 1), "image_index = " + std::to_string(k) + ", total_atom = 9\n");
        EXPECT_TRUE(std::filesystem::exists(d / ("hop.neb." + std::to_string(k) + ".cif")));
    }
    // The written images are a series that --rx-neb-images reads back (the fixed marks are not
    // part of the image files, so this band runs with a free host, for at most 20 steps).
    r = kelmar(d, "--rx-neb-images hop.neb 5 20 0 f -0.1 0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("climbing"), std::string::npos);
    EXPECT_NE(r.out.find("RX_NEB: [ 20] en:"), std::string::npos);
    for (int k = 0; k < 5; k++) EXPECT_TRUE(std::filesystem::exists(d / ("hop.neb.new.neb." + std::to_string(k) + ".cif")));
}

TEST(RxNebCli, Refusals) {
    testcli::ScratchDir d;
    testcli::spit(d / "a.cif", hop_cif(0.25, true));
    testcli::spit(d / "b.cif", hop_cif(0.75, true));
    testcli::spit(d / "short.cif", hop_cif(0.75, true, false, true));
    testcli::spit(d / "swapped.cif", hop_cif(0.75, true, true));
    d.add(kmfix::sample("Li2O.cif"));
    for (int k = 0; k < 4; k++) testcli::spit(d / ("part." + std::to_string(k) + ".cif"), hop_cif(0.25, true));
    const struct {
        std::string args, err;
    } cases[] = {
        {"--rx-neb a.cif b.cif 2", "Error: wrong parameter total number of images.\n"},
        {"--rx-neb a.cif b.cif x", "Error: wrong parameter total number of images.\n"},
        {"--rx-neb-images part 2", "Error: wrong parameter total number of images.\n"},
        {"--rx-neb a.cif b.cif 5 abc", "Error: wrong parameter step_limit.\n"},
        {"--rx-neb a.cif short.cif 5 0 -1 f", "Error: total numbers of atoms mismatch.\n"},
        {"--rx-neb a.cif swapped.cif 5 0 -1 f", "Error: mismatched element type or os in end images at atom["},
        {"--rx-neb Li2O.cif Li2O.cif 5 0 -1 f", "Error: duplicate atom names detected in 1st cell, Li0.\n"},
        {"--rx-neb-images part 5", "Error: image file part.4.cif of the series not found.\n"},
        {"--rx-neb-images none 3", "Error: image file none.0.cif of the series not found.\n"},
        {"--rx-neb a.cif b.cif 5 0 10 f -0.1 0.75 -0.1 no/such/dir/hop", "Error: unable to open no/such/dir/hop.neb-log.txt.\n"},
    };
    for (const auto& c : cases) {
        auto r = kelmar(d, c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out.find("RX_NEB: convergence"), std::string::npos) << c.args;
    }
    EXPECT_FALSE(std::filesystem::exists(d / "a.cif.neb-log.txt"));
    EXPECT_FALSE(std::filesystem::exists(d / "part.new.neb-log.txt"));
    auto u = kelmar(d, "--rx-neb a.cif b.cif");
    EXPECT_EQ(u.status, 1);  // some but not all compulsory arguments
    const std::string head = "Command: --rx-neb [input1.cif] [input2.cif] [n] | {step_limit} {step_log} {flag:relax} "
                             "{f_conv} {sf} {k} {output_name}\n\n";
    EXPECT_EQ(u.out.substr(0, head.size()), head);
    u = kelmar(d, "--rx-neb-images part");
    const std::string head2 = "Command: --rx-neb-images [input_name] [n] | {step_limit} {step_log} {flag:relax} "
                              "{f_conv} {sf} {k} {output_name}\n\n";
    EXPECT_EQ(u.out.substr(0, head2.size()), head2);
}
