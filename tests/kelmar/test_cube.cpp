// Landscape grids: sizing, names, the cube file writer and reader, parameter validation, and the
// production path against the reference loop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cube-grid.hpp"
#include "cube.hpp"
#include "property-assemble.hpp"
#include "symmetry.hpp"

namespace {

// --- fixtures -------------------------------------------------------------------------------

// A hand-made parameter record for Li(+1), Ti(+4) and O(-2); the Morse and Coulomb values are
// plausible but need not be consistent: the tests compare two evaluations of the same record.
std::unique_ptr<KELMAR_PROPERTY> make_ppt() {
    auto ppt = std::make_unique<KELMAR_PROPERTY>();
    const char* types[3] = {"Li", "O", "Ti"};
    const int oss[3] = {1, -2, 4};
    const double qs[3] = {0.8, -1.4, 2.4};
    const double rcs[3] = {0.9, 1.3, 1.0};
    ppt->total = 3;
    ppt->type.resize(3);
    ppt->os.resize(3);
    ppt->count.assign(3, 0.0);
    ppt->uni.resize(3);
    ppt->bin.assign(3, std::vector<KELMAR_PROPERTY_BINARY>(3));
    for (int i = 0; i < 3; ++i) {
        std::strcpy(ppt->type[i].data(), types[i]);
        ppt->os[i] = oss[i];
        std::strcpy(ppt->uni[i].type, types[i]);
        ppt->uni[i].os = oss[i];
        ppt->uni[i].q = qs[i];
        ppt->uni[i].rc = rcs[i];
        ppt->uni[i].an = i == 0 ? 3 : (i == 1 ? 8 : 22);
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            KELMAR_PROPERTY_BINARY& p = ppt->bin[i][j];
            std::strcpy(p.type1, types[i]);
            std::strcpy(p.type2, types[j]);
            p.os1 = oss[i];
            p.os2 = oss[j];
            if (oss[i] * oss[j] > 0) {  // like charges: Coulomb parabola only
                p.r_cc = 0.8 + 0.1 * i + 0.05 * j;
                p.a2 = 0.3;
                p.a0 = 1.5 + 0.1 * i;
            }
        }
    // cation-anion entries carry the Morse data
    auto morse = [](KELMAR_PROPERTY_BINARY& p, double d0, double rmin, double b, double cutoff) {
        p.d0 = d0, p.rmin = rmin, p.b = b, p.cutoff = cutoff;
        p.en_s = kelmar_energy_bonding(cutoff, d0, rmin, b);
        p.r_bc = 0.9;
        p.a2 = 0.4;
        p.a0 = kelmar_energy_bonding_with_energy_shift(0.9, d0, rmin, b, p.en_s) - 0.4 * 0.81;
    };
    morse(ppt->bin[0][1], 0.06, 2.0, 0.37, 5.5);
    morse(ppt->bin[2][1], 0.2, 1.95, 0.40, 6.0);
    ppt->sf = 0.75;
    ppt->conducting = 0;
    return ppt;
}

KELMAR_ATOM make_atom(const char* type, int os, double fx, double fy, double fz, double occ = 1.0) {
    KELMAR_ATOM a;
    kelmar_copy_field(a.name, type);
    kelmar_copy_field(a.type, type);
    a.os = os;
    a.x_f[0] = fx, a.x_f[1] = fy, a.x_f[2] = fz;
    a.occ = occ;
    return a;
}

std::unique_ptr<KELMAR_CELL> make_cell(double a, double b, double c, double al, double be, double ga,
                                       std::vector<KELMAR_ATOM> atoms) {
    auto cell = kelmar_cell_new(0);
    cell->parameter[0] = a, cell->parameter[1] = b, cell->parameter[2] = c;
    cell->angle[0] = al, cell->angle[1] = be, cell->angle[2] = ga;
    cell->atom = std::move(atoms);
    kelmar_cell_update_cartesion(cell.get());
    return cell;
}

// A cell with exactly orthogonal vectors (the angle route leaves 1e-9 A of skew from pi's digits).
std::unique_ptr<KELMAR_CELL> make_box(double a, double b, double c, std::vector<KELMAR_ATOM> atoms) {
    auto cell = make_cell(a, b, c, 90, 90, 90, std::move(atoms));
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) cell->a[k][d] = k == d ? cell->parameter[k] : 0.0;
    kelmar_cell_update_coordinate_cartesion(cell.get());
    return cell;
}

// Rock-salt-like Li/Ti/O arrangement in a cubic cell of edge a.
std::unique_ptr<KELMAR_CELL> rocksalt(double a) {
    return make_cell(a, a, a, 90, 90, 90,
                     {make_atom("Li", 1, 0, 0, 0), make_atom("Ti", 4, 0.5, 0.5, 0, 0.5),
                      make_atom("Li", 1, 0.5, 0, 0.5), make_atom("Ti", 4, 0, 0.5, 0.5, 0.5),
                      make_atom("O", -2, 0.5, 0, 0), make_atom("O", -2, 0, 0.5, 0), make_atom("O", -2, 0, 0, 0.5),
                      make_atom("O", -2, 0.5, 0.5, 0.5)});
}

std::unique_ptr<KELMAR_SYMMETRY> symmetry_of(const std::vector<const char*>& ops) {
    auto sym = kelmar_symmetry_new(0);
    for (const char* op : ops) {
        KELMAR_CARD c;
        EXPECT_EQ(kelmar_card_set_by_text(&c, op), 0) << op;
        sym->card.push_back(c);
    }
    return sym;
}

std::string capture_stdout_of(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// --- grid sizing and names --------------------------------------------------------------------

TEST(CubeGrid, SizesAreMultiplesOf24) {
    long n[3];
    const double ten[3] = {10, 10, 10};
    kelmar_cube_grid_size(n, ten, 0.1);
    EXPECT_EQ(n[0], 120);
    EXPECT_EQ(n[1], 120);
    EXPECT_EQ(n[2], 120);
    const double odd[3] = {4.65884171, 10.33, 6.0};
    kelmar_cube_grid_size(n, odd, 0.1);
    EXPECT_EQ(n[0], 48);
    EXPECT_EQ(n[1], 120);
    EXPECT_EQ(n[2], 72);
    kelmar_cube_grid_size(n, odd, 2.0);  // coarse grids never go below one block
    EXPECT_EQ(n[0], 24);
}

TEST(CubeGrid, LargeCellsAreCappedAxisByAxis) {
    long n[3];
    const double big[3] = {30, 30, 30};
    kelmar_cube_grid_size(n, big, 0.1);
    EXPECT_EQ(n[0], 192);
    EXPECT_EQ(n[1], 192);
    EXPECT_EQ(n[2], 192);
    EXPECT_LE(n[0] * n[1] * n[2], KELMAR_CUBE_GRID_MAX);
    // the longest axis is cut first; of equal ones the first
    const double slab[3] = {30, 30, 10};
    kelmar_cube_grid_size(n, slab, 0.1);
    EXPECT_EQ(n[2], 120);
    EXPECT_LE(n[0] * n[1] * n[2], KELMAR_CUBE_GRID_MAX);
    EXPECT_GE(n[0] * n[1] * (n[2] + 24), 0);
    EXPECT_TRUE(n[0] == n[1] || n[0] + 24 == n[1]);
    EXPECT_LE(n[0], n[1]);
    // absurd requests neither overflow nor loop for ever
    const double huge[3] = {1e6, 5, 5};
    kelmar_cube_grid_size(n, huge, 1e-6);
    EXPECT_LE(n[0] * n[1] * n[2], KELMAR_CUBE_GRID_MAX);
    EXPECT_EQ(n[0] % 24, 0);
}

TEST(CubeGrid, AssignedNames) {
    EXPECT_EQ(kelmar_cubename_assigned("Li2O.cube"), "Li2O_assigned.cube");
    EXPECT_EQ(kelmar_cubename_assigned("a.b.cube"), "a_assigned.cube");
    EXPECT_EQ(kelmar_cubename_assigned("x"), "x_assigned.cube");
    // a dot in a directory name does not cut the path
    EXPECT_EQ(kelmar_cubename_assigned("out.v2/x.cube"), "out.v2/x_assigned.cube");
    EXPECT_EQ(kelmar_cubename_assigned("./x.cube"), "./x_assigned.cube");
}

// --- cube files -------------------------------------------------------------------------------

std::unique_ptr<KELMAR_CUBE> sample_cube(long n0, long n1, long n2) {
    const long n[3] = {n0, n1, n2};
    auto cube = kelmar_cube_new(n);
    const double a[3][3] = {{5.0, 0, 0}, {1.0, 6.0, 0}, {0.5, 0.3, 7.0}};
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            cube->a[k][d] = a[k][d];
            cube->a_i[k][d] = a[k][d] / static_cast<double>(n[k]);
        }
    for (long i = 0; i < n0; ++i)
        for (long j = 0; j < n1; ++j)
            for (long k = 0; k < n2; ++k) cube->en(i, j, k) = -3.0 + 0.013 * i - 0.07 * j + 0.011 * k * k;
    cube->en(1, 1, 1) = 999.9;
    return cube;
}

TEST(CubeFile, NewRejectsNonPositiveSizes) {
    const long bad[3] = {4, 0, 4};
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cube_new(bad), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: argument must be positive.\n");
    // a point count whose product overflows is an allocation failure, not a small grid
    const long absurd[3] = {1L << 40, 1L << 40, 1L << 40};
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cube_new(absurd), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to allocate cube->en\n");
}

TEST(CubeFile, PrintInfo) {
    auto cube = sample_cube(4, 6, 8);
    const std::string out = capture_stdout_of([&] { kelmar_cube_print_info(cube.get()); });
    EXPECT_EQ(out,
              "CUBE: cube size = 4 * 6 * 8\n"
              "CUBE: cell vector (A):\n"
              "CUBE:     5.000000    0.000000    0.000000\n"
              "CUBE:     1.000000    6.000000    0.000000\n"
              "CUBE:     0.500000    0.300000    7.000000\n"
              "CUBE: votex vector (A):\n"
              "CUBE:     1.250000    0.000000    0.000000\n"
              "CUBE:     0.166667    1.000000    0.000000\n"
              "CUBE:     0.062500    0.037500    0.875000\n");
    EXPECT_EQ(capture_stdout_of([] { kelmar_cube_print_info(nullptr); }), "(not allocated)\n");
}

TEST(CubeFile, HeaderlessPeriodicLayout) {
    testcli::ScratchDir dir;
    auto cube = sample_cube(2, 2, 2);
    const std::string path = (dir / "p.cube").string();
    const std::string out =
        capture_stdout_of([&] { EXPECT_EQ(kelmar_cube_export_to_file(cube.get(), nullptr, nullptr, path.c_str(), true), 0); });
    EXPECT_EQ(out, "Message: cube file is generated without header.\nMessage: cube file saved to " + path + ".\n");
    const std::string text = testcli::slurp(path);
    char expect[512];
    std::snprintf(expect, sizeof(expect),
                  "noname\r\n\r\n   0    0.000000    0.000000    0.000000\r\n"
                  "   2 %11.6f %11.6f %11.6f\r\n",
                  2.5 * KELMAR_CUBE_ANGSTROM_TO_BOHR, 0.0, 0.0);
    EXPECT_EQ(text.substr(0, std::strlen(expect)), expect);
    // eight value lines, the capped one printed with two blanks in front
    EXPECT_NE(text.find("\r\n   999.900000\r\n"), std::string::npos);
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 6u + 8u);
}

TEST(CubeFile, ValueTextMatchesPrintf) {
    testcli::ScratchDir dir;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const long n[3] = {10, 10, 10};
    auto cube = kelmar_cube_new(n);
    for (int k = 0; k < 3; ++k) cube->a_i[k][k] = cube->a[k][k] = 1.0;
    std::vector<double> special = {0.0, -0.0, -1e-9, 1e-9, 0.0000005, -0.0000005, 0.0000015, 2.5e-7, 999.9,
                                   -999.9, 123456.7890125, -0.4999995, 1e12, -3e15, 1e-300, 0.1234565, 7.0000005};
    long p = 0;
    for (double v : special) cube->en.data[static_cast<std::size_t>(p++)] = v;
    for (; p < 1000; ++p) {
        const double scale = std::pow(10.0, static_cast<double>(p % 9) - 3.0);
        cube->en.data[static_cast<std::size_t>(p)] = u(rng) * scale;
    }
    const std::string path = (dir / "v.cube").string();
    capture_stdout_of([&] { ASSERT_EQ(kelmar_cube_export_to_file(cube.get(), nullptr, nullptr, path.c_str(), true), 0); });
    std::string expect;
    for (double v : cube->en.data) {
        char buf[64];
        std::snprintf(buf, sizeof(buf), " %12.6f\r\n", v);
        expect += buf;
    }
    const std::string text = testcli::slurp(path);
    ASSERT_GE(text.size(), expect.size());
    EXPECT_EQ(text.substr(text.size() - expect.size()), expect);
}

TEST(CubeFile, NonPeriodicRoundTrip) {
    testcli::ScratchDir dir;
    auto cube = sample_cube(24, 24, 48);
    const std::string path = (dir / "np.cube").string();
    capture_stdout_of([&] { ASSERT_EQ(kelmar_cube_export_to_file(cube.get(), nullptr, nullptr, path.c_str(), false), 0); });
    const std::string text = testcli::slurp(path);
    EXPECT_NE(text.find("\r\n  25 "), std::string::npos);
    EXPECT_NE(text.find("\r\n  49 "), std::string::npos);
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 6u + 25u * 25u * 49u);

    std::unique_ptr<KELMAR_CUBE> back;
    std::unique_ptr<KELMAR_CELL> cell;
    const std::string out = capture_stdout_of(
        [&] { ASSERT_EQ(kelmar_cube_import_from_file(&back, &cell, path.c_str(), false, "unused"), 0); });
    EXPECT_NE(out.find("Message: cell information not read.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: cube loaded from " + path + " successfully.\n"), std::string::npos);
    EXPECT_EQ(cell, nullptr);  // a file without header gives no cell
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->n[0], 24);
    EXPECT_EQ(back->n[1], 24);
    EXPECT_EQ(back->n[2], 48);
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            EXPECT_NEAR(back->a_i[k][d], cube->a_i[k][d], 1e-6);
            EXPECT_NEAR(back->a[k][d], cube->a[k][d], 1e-4);
        }
    for (std::size_t p = 0; p < cube->en.data.size(); ++p)
        ASSERT_NEAR(back->en.data[p], cube->en.data[p], 5e-7) << p;

    // the same file read as periodic keeps the repeated planes
    std::unique_ptr<KELMAR_CUBE> raw;
    capture_stdout_of([&] { ASSERT_EQ(kelmar_cube_import_from_file(&raw, nullptr, path.c_str(), true, "unused"), 0); });
    EXPECT_EQ(raw->n[0], 25);
    EXPECT_EQ(raw->en(24, 3, 5), raw->en(0, 3, 5));
}

TEST(CubeFile, PeriodicReadAsNonPeriodicLosesOnePlane) {
    testcli::ScratchDir dir;
    auto cube = sample_cube(4, 6, 8);
    const std::string path = (dir / "p.cube").string();
    capture_stdout_of([&] { ASSERT_EQ(kelmar_cube_export_to_file(cube.get(), nullptr, nullptr, path.c_str(), true), 0); });
    std::unique_ptr<KELMAR_CUBE> back;
    capture_stdout_of([&] { ASSERT_EQ(kelmar_cube_import_from_file(&back, nullptr, path.c_str(), false, "x"), 0); });
    EXPECT_EQ(back->n[0], 3);
    EXPECT_EQ(back->n[1], 5);
    EXPECT_EQ(back->n[2], 7);
    EXPECT_NEAR(back->a[0][0], 5.0 * 3 / 4, 1e-5);
    EXPECT_NEAR(back->en(2, 4, 6), cube->en(2, 4, 6), 5e-7);
}

TEST(CubeFile, HeaderWithAtomsRoundTrips) {
    testcli::ScratchDir dir;
    auto ppt = make_ppt();
    auto cell = rocksalt(4.2);
    kelmar_copy_field(cell->name, "Li1+:2.000 O2-:4.000 Ti4+:1.000 ");
    auto cube = sample_cube(24, 24, 24);
    for (int k = 0; k < 3; ++k)
        for (int d = 0; d < 3; ++d) {
            cube->a[k][d] = cell->a[k][d];
            cube->a_i[k][d] = cell->a[k][d] / 24.0;
        }
    const std::string path = (dir / "h.cube").string();
    const std::string out = capture_stdout_of(
        [&] { ASSERT_EQ(kelmar_cube_export_to_file(cube.get(), cell.get(), ppt.get(), path.c_str(), true), 0); });
    EXPECT_EQ(out.substr(0, 45), "Message: cube file is generated with header.\n");
    const std::string text = testcli::slurp(path);
    EXPECT_EQ(text.rfind("Li1+:2.000 O2-:4.000 Ti4+:1.000 \r\nConducting = Li1+ ; sf = 0.750000;\r\n   8    0.0", 0), 0u);
    char ti_line[128];
    std::snprintf(ti_line, sizeof(ti_line), "\r\n  22    2.400000 %11.6f %11.6f    0.000000\r\n",
                  2.1 * KELMAR_CUBE_ANGSTROM_TO_BOHR, 2.1 * KELMAR_CUBE_ANGSTROM_TO_BOHR);
    EXPECT_NE(text.find(ti_line), std::string::npos) << text.substr(0, 600);

    // reading needs the atomic-number lookup: a small unitary file in the data layout
    const std::string unitary = (dir / "database_unitary.dat").string();
    testcli::spit(unitary,
                  "comment\nDATA_START\n3 Li 1 1 6.94 2 1 0 0.9 0.9\n8 O -2 -2 16.0 2 16 0 1.3 1.2\n"
                  "22 Ti 4 4 47.9 4 4 2 1.0 1.1\nDATA_END\n");
    std::unique_ptr<KELMAR_CUBE> back;
    std::unique_ptr<KELMAR_CELL> cell2;
    const std::string out2 = capture_stdout_of(
        [&] { ASSERT_EQ(kelmar_cube_import_from_file(&back, &cell2, path.c_str(), true, unitary.c_str()), 0); });
    EXPECT_NE(out2.find("Message: cell information found, attempting to load cell.\n"), std::string::npos);
    ASSERT_NE(cell2, nullptr);
    ASSERT_EQ(cell2->total(), 8);
    EXPECT_STREQ(cell2->name, path.substr(0, 127).c_str());
    EXPECT_STREQ(cell2->atom[1].type, "Ti");
    EXPECT_EQ(cell2->atom[1].os, 4);
    EXPECT_NEAR(cell2->atom[1].value, 2.4, 1e-9);
    EXPECT_NEAR(cell2->atom[1].x_f[0], 0.5, 1e-6);
    EXPECT_NEAR(cell2->atom[1].x_f[1], 0.5, 1e-6);
    EXPECT_NEAR(cell2->parameter[0], 4.2, 1e-5);
    // the periodic file gives back the grid as written
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->n[0], 24);
    for (std::size_t p = 0; p < cube->en.data.size(); ++p) ASSERT_NEAR(back->en.data[p], cube->en.data[p], 5e-7) << p;
    EXPECT_EQ(back->en(1, 1, 1), 999.9);
    EXPECT_NEAR(cell2->angle[2], 90.0, 1e-5);

    // an atomic number the data file does not know refuses the whole file
    testcli::spit(unitary, "DATA_START\n3 Li 1 1 6.94 2 1 0 0.9 0.9\nDATA_END\n");
    testing::internal::CaptureStderr();
    capture_stdout_of([&] { EXPECT_EQ(kelmar_cube_import_from_file(&back, &cell2, path.c_str(), true, unitary.c_str()), 1); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: kelmar_property_type_from_atomic_number() returns non-zero.\n"), std::string::npos);
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(cell2, nullptr);

    // an absurd atom count is refused before any cell is built for it
    testcli::spit(path, "t\r\n\r\n2000000000 0 0 0\r\n2 1 0 0\r\n2 0 1 0\r\n2 0 0 1\r\n"
                        "3 1.0 0 0 0\r\n1\r\n2\r\n");
    testing::internal::CaptureStderr();
    capture_stdout_of([&] { EXPECT_EQ(kelmar_cube_import_from_file(&back, &cell2, path.c_str(), true, unitary.c_str()), 1); });
    const std::string err2 = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err2, "Error: " + path + " is not a cube file (bad atom count).\n");
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(cell2, nullptr);
}

TEST(CubeFile, WriterFailures) {
    testcli::ScratchDir dir;
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cube_export_to_file(nullptr, nullptr, nullptr, (dir / "x.cube").string().c_str(), true), 1);
    auto cube = sample_cube(2, 2, 2);
    EXPECT_EQ(kelmar_cube_export_to_file(cube.get(), nullptr, nullptr, (dir / "no/such/dir.cube").string().c_str(), true),
              1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: KELMAR_CUBE has not been properly initialized.\n"), std::string::npos);
    EXPECT_NE(err.find("Error: unable to open file "), std::string::npos);
    // an atom whose species the record lacks
    auto ppt = make_ppt();
    auto cell = make_cell(4, 4, 4, 90, 90, 90, {make_atom("Na", 1, 0, 0, 0)});
    testing::internal::CaptureStderr();
    capture_stdout_of([&] {
        EXPECT_EQ(kelmar_cube_export_to_file(cube.get(), cell.get(), ppt.get(), (dir / "y.cube").string().c_str(), true),
                  1);
    });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_property_find_index() returns negative value.\n");
}

// Reads a file with the given content; returns the status and fills err with standard error.
int read_text(const std::string& content, std::string* err, std::unique_ptr<KELMAR_CUBE>* cube,
              std::string* out = nullptr) {
    testcli::ScratchDir dir;
    const std::string path = (dir / "in.cube").string();
    testcli::spit(path, content);
    testing::internal::CaptureStderr();
    int rc = 0;
    const std::string o =
        capture_stdout_of([&] { rc = kelmar_cube_import_from_file(cube, nullptr, path.c_str(), true, "none"); });
    *err = testing::internal::GetCapturedStderr();
    if (out != nullptr) *out = o;
    return rc;
}

TEST(CubeFile, ReaderRefusesBadFiles) {
    std::unique_ptr<KELMAR_CUBE> cube;
    std::string err, out;
    const std::string head = "t\n\n0 0 0 0\n2 1.0 0 0\n2 0 1.0 0\n2 0 0 1.0\n";
    // a file that is not there
    testing::internal::CaptureStderr();
    out = capture_stdout_of([&] { EXPECT_EQ(kelmar_cube_import_from_file(&cube, nullptr, "/nonexistent/x.cube", true, ""), 1); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "Error: unable to open /nonexistent/x.cube.\n");
    // empty, cut inside the header, counts that are not numbers, zero or absurd counts
    for (const std::string& bad : {std::string(), std::string("t\n\n0 0 0 0\n2 1 0 0\n"),
                                  std::string("t\n\nx 0 0 0\n2 1 0 0\n2 0 1 0\n2 0 0 1\n"),
                                  std::string("t\n\n0 0 0 0\n2 1 0 0\n0 0 1 0\n2 0 0 1\n"),
                                  std::string("t\n\n0 0 0 0\n100000 1 0 0\n100000 0 1 0\n100000 0 0 1\n"),
                                  std::string("t\n\n0 0 0 0\n2 1 0 0\n2 0 x 0\n2 0 0 1\n"),
                                  std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0", 20)}) {
        EXPECT_EQ(read_text(bad, &err, &cube), 1) << bad;
        EXPECT_EQ(cube, nullptr);
        EXPECT_NE(err.find("Error:"), std::string::npos) << bad;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), err.find("kelmar_cube_new") != std::string::npos ? 2 : 1)
            << err;
    }
    // a value that is not a number
    EXPECT_EQ(read_text(head + "1\n2\n3\nabc\n5\n6\n7\n8\n", &err, &cube), 1);
    EXPECT_NE(err.find("value 4"), std::string::npos) << err;
    // a file cut short keeps zeros for the missing values and says so
    EXPECT_EQ(read_text(head + "1\n2\n3\n", &err, &cube, &out), 0);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->en(0, 1, 0), 3.0);
    EXPECT_EQ(cube->en(1, 1, 1), 0.0);
    EXPECT_NE(out.find("Warning: "), std::string::npos);
    // line structure does not matter for the values; LF or CR LF both work
    EXPECT_EQ(read_text("t\r\n\r\n0 0 0 0\r\n2 1.0 0 0\r\n2 0 1.0 0\r\n2 0 0 1.0\r\n1 2 3 4\r\n+5 6e0\t7 -8\r\n", &err,
                        &cube),
              0);
    EXPECT_EQ(cube->en(1, 1, 1), -8.0);
    EXPECT_EQ(cube->en(1, 0, 0), 5.0);
    EXPECT_NEAR(cube->a_i[0][0], 1.0 / KELMAR_CUBE_ANGSTROM_TO_BOHR, 1e-12);
}

TEST(CubeFile, HeaderMustDescribeTheData) {
    std::unique_ptr<KELMAR_CUBE> cube;
    std::string err;
    const std::string grid = "2 1.0 0 0\n2 0 1.0 0\n2 0 0 1.0\n";
    const std::string eight = "1\n2\n3\n4\n5\n6\n7\n8\n";
    const struct {
        const char* what;
        std::string text;
        const char* message;  // null: read
    } cases[] = {
        {"plain", "t\n\n0 0 0 0\n" + grid + eight, nullptr},
        {"values-per-point column", "t\n\n0 0 0 0 1\n" + grid + eight, nullptr},
        {"an atom, structure not wanted", "t\n\n1 0 0 0\n" + grid + "3 0 0.5 0.5 0.5\n" + eight, nullptr},
        {"one value too many", "t\n\n0 0 0 0\n" + grid + eight + "9\n", "more values than its 2 * 2 * 2 grid"},
        {"header says a smaller grid", "t\n\n0 0 0 0\n1 1.0 0 0\n2 0 1.0 0\n2 0 0 1.0\n" + eight,
         "more values than its 1 * 2 * 2 grid"},
        {"title line missing", "\n0 0 0 0\n" + grid + eight, "not a cube file"},
        {"atom count line missing", "t\n\n" + grid + eight, "not a cube file"},
        {"atom count larger than the atom lines", "t\n\n2 0 0 0\n" + grid + "3 0 0.5 0.5 0.5\n" + eight,
         "bad atom line 2"},
        {"atom line cut short", "t\n\n1 0 0 0\n" + grid + "3 0 0.5\n" + eight, "bad atom line 1"},
        {"nan value", "t\n\n0 0 0 0\n" + grid + "1\n2\nnan\n4\n5\n6\n7\n8\n", "not finite (value 3)"},
        {"inf value", "t\n\n0 0 0 0\n" + grid + "1\n2\n3\n-inf\n5\n6\n7\n8\n", "not finite (value 4)"},
        {"overflowing value", "t\n\n0 0 0 0\n" + grid + "1e999\n2\n3\n4\n5\n6\n7\n8\n", "not finite (value 1)"},
        {"huge value", "t\n\n0 0 0 0\n" + grid + "1\n2\n3\n4\n5\n-1e308\n7\n8\n", "too large to compute with (value 6"},
        {"nan voxel vector", "t\n\n0 0 0 0\n2 nan 0 0\n2 0 1.0 0\n2 0 0 1.0\n" + eight, "bad grid line"},
        {"parallel voxel vectors", "t\n\n0 0 0 0\n2 1.0 0 0\n2 2.0 0 0\n2 0 0 1.0\n" + eight, "span no volume"},
        {"zero voxel vector", "t\n\n0 0 0 0\n2 0 0 0\n2 0 1.0 0\n2 0 0 1.0\n" + eight, "span no volume"},
        {"five numbers on a grid line", "t\n\n0 0 0 0\n2 1.0 0 0 7\n2 0 1.0 0\n2 0 0 1.0\n" + eight, "bad grid line"},
        {"negative grid size", "t\n\n0 0 0 0\n-2 1.0 0 0\n2 0 1.0 0\n2 0 0 1.0\n" + eight, "grid size not positive"},
    };
    for (const auto& c : cases) {
        const int rc = read_text(c.text, &err, &cube);
        if (c.message == nullptr) {
            EXPECT_EQ(rc, 0) << c.what << ": " << err;
            ASSERT_NE(cube, nullptr) << c.what;
            EXPECT_EQ(cube->en(1, 1, 1), 8.0) << c.what;
            continue;
        }
        EXPECT_EQ(rc, 1) << c.what;
        EXPECT_EQ(cube, nullptr) << c.what;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
    }
}

// --- validation -------------------------------------------------------------------------------

TEST(CubeValidate, NamesTheFirstBadParameter) {
    auto ppt = make_ppt();
    EXPECT_EQ(kelmar_cube_validate_property(ppt.get()), 0);
    auto check = [](const KELMAR_PROPERTY* p, const std::string& want) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(kelmar_cube_validate_property(p), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), want);
    };
    check(nullptr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
    ppt->conducting = 5;
    check(ppt.get(), "Error: conducting species not correctly specified.\n");
    ppt->conducting = 0;
    ppt->uni[2].q = 0;
    check(ppt.get(), "Error: incorrect q at [2](Ti4+) q=0.000000\n");
    ppt = make_ppt();
    ppt->uni[0].rc = -1;
    check(ppt.get(), "Error: incorrect rc at[0](Li1+) rc=-1.000000\n");
    ppt = make_ppt();
    ppt->bin[0][1].b = 0;
    check(ppt.get(), "Error: incorrect b at [0](Li1+)-(O2-) b=0.000000\n");
    ppt = make_ppt();
    ppt->bin[0][1].rmin = 0;
    ppt->bin[0][1].cutoff = 0;
    check(ppt.get(), "Error: incorrect cutoff at [0](Li1+)-(O2-) cutoff=0.000000\n");
    // a pair that does not involve the mobile ion is not checked
    ppt = make_ppt();
    ppt->bin[2][1].d0 = 0;
    EXPECT_EQ(kelmar_cube_validate_property(ppt.get()), 0);
}

// --- landscapes -------------------------------------------------------------------------------

std::unique_ptr<KELMAR_CUBE> quiet_calc(KELMAR_CELL* cell, const KELMAR_SYMMETRY* sym, const KELMAR_PROPERTY* ppt,
                                        double res, bool ignore, int threads, std::string* out = nullptr) {
    std::unique_ptr<KELMAR_CUBE> cube;
    const std::string o = capture_stdout_of([&] {
        cube = threads < 0 ? kelmar_cube_calculate_plain(cell, sym, ppt, res, ignore)
                           : kelmar_cube_calculate_threads(cell, sym, ppt, res, ignore, threads);
    });
    if (out != nullptr) *out = o;
    return cube;
}

void expect_same_values(const KELMAR_CUBE& a, const KELMAR_CUBE& b, double tol) {
    ASSERT_EQ(a.en.data.size(), b.en.data.size());
    double worst = 0.0;
    for (std::size_t p = 0; p < a.en.data.size(); ++p) worst = std::max(worst, std::fabs(a.en.data[p] - b.en.data[p]));
    EXPECT_LE(worst, tol);
}

TEST(CubeLandscape, FastPathEqualsPlainPath) {
    auto ppt = make_ppt();
    auto p1 = kelmar_symmetry_new_p1();
    struct Case {
        const char* what;
        std::unique_ptr<KELMAR_CELL> cell;
        double res;
    };
    std::vector<Case> cases;
    cases.push_back({"cubic", rocksalt(4.2), 0.35});
    // triclinic, strongly skewed
    cases.push_back({"triclinic",
                     make_cell(5.1, 6.3, 4.7, 72.0, 101.0, 118.0,
                               {make_atom("Li", 1, 0.1, 0.2, 0.3, 0.5), make_atom("Ti", 4, 0.6, 0.55, 0.45),
                                make_atom("O", -2, 0.33, 0.91, 0.02), make_atom("O", -2, 0.8, 0.1, 0.7),
                                make_atom("O", -2, 0.05, 0.5, 0.85)}),
                     0.45});
    // a cell far shorter than the cutoffs along every axis
    cases.push_back({"short", make_cell(2.1, 2.4, 2.2, 88, 95, 91,
                                        {make_atom("Li", 1, 0, 0, 0), make_atom("O", -2, 0.5, 0.45, 0.55)}),
                     0.2});
    // a 2 x 2 x 1 supercell of the rock salt with half its Li removed, as the partial-occupancy
    // level builds them (grid points fall on atoms)
    {
        std::vector<KELMAR_ATOM> atoms;
        auto unit = rocksalt(4.2);
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b)
                for (const KELMAR_ATOM& at : unit->atom) {
                    if (std::strcmp(at.type, "Li") == 0 && (a + b) % 2 == 1) continue;
                    atoms.push_back(make_atom(at.type, at.os, (at.x_f[0] + a) / 2, (at.x_f[1] + b) / 2, at.x_f[2],
                                              at.occ));
                }
        cases.push_back({"supercell", make_cell(8.4, 8.4, 4.2, 90, 90, 90, std::move(atoms)), 0.35});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        // the ignore switch only changes which atoms enter: once is enough
        for (bool ignore : {false, true}) {
            if (ignore && std::string(c.what) != "triclinic") continue;
            auto fast1 = quiet_calc(c.cell.get(), p1.get(), ppt.get(), c.res, ignore, 1);
            auto fast3 = quiet_calc(c.cell.get(), p1.get(), ppt.get(), c.res, ignore, 3);
            ASSERT_TRUE(fast1 && fast3);
            // bit for bit the same whatever the thread count
            EXPECT_EQ(fast1->en.data, fast3->en.data);
            for (const KELMAR_ATOM& a : c.cell->atom) EXPECT_FALSE(a.ignored);  // marks are cleared
            // the reference sum over all atoms and translations at a spread of grid points (all of
            // them would take minutes under the sanitizers)
            for (KELMAR_ATOM& a : c.cell->atom) a.ignored = ignore && std::strcmp(a.type, "Li") == 0;
            long m[3];
            for (int k = 0; k < 3; ++k) m[k] = static_cast<long>(10.0 / c.cell->parameter[k] + 2);
            const KELMAR_CUBE& f = *fast1;
            double worst = 0.0;
            long checked = 0;
            for (long i = 0; i < f.n[0]; ++i)
                for (long j = 0; j < f.n[1]; ++j)
                    for (long k = 0; k < f.n[2]; ++k) {
                        if ((i * 7 + j * 3 + k) % 17 != 0) continue;
                        double r[3];
                        for (int d = 0; d < 3; ++d)
                            r[d] = static_cast<double>(i) * f.a_i[0][d] + static_cast<double>(j) * f.a_i[1][d] +
                                   static_cast<double>(k) * f.a_i[2][d];
                        worst = std::max(worst, std::fabs(kelmar_cube_point_value_plain(c.cell.get(), ppt.get(), r, m) -
                                                          f.en(i, j, k)));
                        ++checked;
                    }
            for (KELMAR_ATOM& a : c.cell->atom) a.ignored = false;
            EXPECT_GT(checked, 500);
            EXPECT_LE(worst, 1e-9);
        }
    }
    // the whole reference loop (kelmar_cube_calculate_plain) is compared in the symmetry test below
}

TEST(CubeLandscape, TermsExactlyAtTheCutoffsAndAtomsOnCellEdgesEnterBothPaths) {
    auto ppt = make_ppt();
    // make the terms at the cutoffs non-zero, so that a candidate list that dropped them shows:
    // the Li-O Morse term is shifted by a wrong en_s, and the Li-Li parabola reaches past 10 A
    ppt->bin[0][1].en_s -= 0.01;
    ppt->bin[0][0].r_cc = 10.5;
    ppt->bin[0][0].a2 = 0.001;
    ppt->bin[0][0].a0 = 0.02;
    auto p1 = kelmar_symmetry_new_p1();
    // a 6 A box on a 24-point grid: voxels of exactly 0.25 A, so grid point (22, 0, 0) lies
    // exactly 5.5 A (the Li-O cutoff) from the O at the origin, and (0, 0, 0) exactly 10 A from
    // Li images 10 A away; atoms sit on the cell faces and edges (0 and 1)
    auto cell = make_box(6, 6, 6,
                         {make_atom("O", -2, 0, 0, 0), make_atom("Li", 1, 1.0, 0, 0), make_atom("O", -2, 0.5, 1.0, 0),
                          make_atom("Li", 1, 0, 2.0 / 3.0, 0), make_atom("Ti", 4, 0.5, 0.5, 1.0, 0.5)});
    auto plain = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, false, -1);
    auto fast = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, false, 2);
    ASSERT_TRUE(plain && fast);
    ASSERT_EQ(fast->n[0], 24);
    // the fast path's tabulated terms agree to a few 1e-10 eV; a dropped term would show as 0.14 eV
    expect_same_values(*plain, *fast, 1e-8);
}

TEST(CubeLandscape, SymmetrySpreadingMatchesFullEvaluation) {
    auto ppt = make_ppt();
    // rock salt: Li on the face-centred sites, O in the octahedral holes
    auto cell = make_box(4.2, 4.2, 4.2,
                          {make_atom("Li", 1, 0, 0, 0), make_atom("Li", 1, 0.5, 0.5, 0), make_atom("Li", 1, 0.5, 0, 0.5),
                           make_atom("Li", 1, 0, 0.5, 0.5), make_atom("O", -2, 0.5, 0, 0), make_atom("O", -2, 0, 0.5, 0),
                           make_atom("O", -2, 0, 0, 0.5), make_atom("O", -2, 0.5, 0.5, 0.5)});
    // some of the operations of that structure
    auto sym = symmetry_of({"x,y,z", "-x,-y,-z", "y,x,z", "-x,y,z", "x,-y,z", "x,y,-z", "x+1/2,y+1/2,z",
                            "x+1/2,y,z+1/2", "z,y,x"});
    auto p1 = kelmar_symmetry_new_p1();
    auto full = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.35, false, 1);
    auto plain = quiet_calc(cell.get(), sym.get(), ppt.get(), 0.35, false, -1);
    auto fast = quiet_calc(cell.get(), sym.get(), ppt.get(), 0.35, false, 2);
    ASSERT_TRUE(full && plain && fast);
    expect_same_values(*full, *plain, 1e-9);
    expect_same_values(*full, *fast, 1e-9);
}

TEST(CubeLandscape, IncompleteOperationListSpreadsLikeTheReferenceLoop) {
    auto ppt = make_ppt();
    // a quarter turn without its powers is no group: orbits overlap, and a point already holding a
    // negative value takes the value of a later point that reaches it, as in the reference loop
    auto cell = make_box(4.2, 4.2, 4.6,
                         {make_atom("Li", 1, 0.1, 0.2, 0), make_atom("O", -2, 0.5, 0.3, 0.5),
                          make_atom("Ti", 4, 0.2, 0.7, 0.1, 0.25), make_atom("O", -2, 0.8, 0.6, 0.3)});
    auto sym = symmetry_of({"x,y,z", "-y,x,z"});
    auto plain = quiet_calc(cell.get(), sym.get(), ppt.get(), 0.3, false, -1);
    auto fast = quiet_calc(cell.get(), sym.get(), ppt.get(), 0.3, false, 2);
    ASSERT_TRUE(plain && fast);
    long negative = 0;
    for (double v : plain->en.data) negative += v < 0.0;
    EXPECT_GT(negative, 100);
    expect_same_values(*plain, *fast, 1e-8);
}

TEST(CubeLandscape, AxisExchangeOnUnequalGridIsNotUsed) {
    auto ppt = make_ppt();
    // b is longer than a, so the grid has more points on axis 2: the exchange of x and y that a
    // wrong symmetry claims must not copy values between mismatched points
    auto cell = make_box(4.2, 4.9, 4.2,
                          {make_atom("Li", 1, 0, 0, 0), make_atom("O", -2, 0.5, 0.3, 0.5),
                           make_atom("Ti", 4, 0.2, 0.7, 0.1, 0.25)});
    auto sym = symmetry_of({"x,y,z", "y,x,z"});
    auto p1 = kelmar_symmetry_new_p1();
    auto full = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.2, true, 2);
    auto fast = quiet_calc(cell.get(), sym.get(), ppt.get(), 0.2, true, 2);
    ASSERT_TRUE(full && fast);
    EXPECT_NE(full->n[0], full->n[1]);
    expect_same_values(*full, *fast, 1e-12);
}

TEST(CubeLandscape, ParabolaOnAnAtomAndTheIgnoreSwitch) {
    auto ppt = make_ppt();
    auto p1 = kelmar_symmetry_new_p1();
    // one Li at the origin of a large cell and one O far from it
    auto cell = make_cell(25, 25, 25, 90, 90, 90,
                          {make_atom("Li", 1, 0, 0, 0, 0.75), make_atom("O", -2, 0.5, 0.5, 0.5)});
    std::string out;
    auto with = quiet_calc(cell.get(), p1.get(), ppt.get(), 1.0, false, 2, &out);
    ASSERT_TRUE(with);
    EXPECT_EQ(with->n[0], 48);
    EXPECT_NE(out.find("Message: no ion is ignored during cube generation.\n"), std::string::npos);
    EXPECT_NE(out.find("Message: cube has been generated successfully.\n"), std::string::npos);
    // exactly on the like-charged atom: the finite parabola, not infinity
    const double on_atom = 0.75 * ppt->bin[0][0].a0 * 14.39964;
    EXPECT_NEAR(with->en(0, 0, 0), on_atom, 1e-12);
    EXPECT_TRUE(std::isfinite(with->en(0, 0, 0)));
    // the default leaves the other mobile ions out: nothing within reach of the origin then
    auto without = quiet_calc(cell.get(), p1.get(), ppt.get(), 1.0, true, 2, &out);
    ASSERT_TRUE(without);
    EXPECT_NE(out.find("Message: ignoring all Li1+ ions during cube generation.\n"), std::string::npos);
    EXPECT_EQ(without->en(0, 0, 0), 0.0);
    // one voxel off the atom the Coulomb term is the screened one
    const double d = 2 * 25.0 / 48.0;
    const double q = ppt->uni[0].q * ppt->uni[0].q;
    const double reff = 0.75 * 2 * ppt->uni[0].rc;
    ASSERT_GT(d, ppt->bin[0][0].r_cc);
    EXPECT_NEAR(with->en(2, 0, 0), 0.75 * kelmar_energy_coulombic(d, q, reff) * 14.39964, 1e-9);
    // the O at the centre attracts within its cutoff
    EXPECT_LT(with->en(24, 24, 20), 0.0);
}

TEST(CubeLandscape, ValuesAreCappedAt999_9) {
    auto ppt = make_ppt();
    ppt->bin[0][0].a0 = 1e6;  // enormous repulsion on top of a Li
    auto p1 = kelmar_symmetry_new_p1();
    auto cell = make_cell(6, 6, 6, 90, 90, 90, {make_atom("Li", 1, 0, 0, 0), make_atom("O", -2, 0.5, 0.5, 0.5)});
    auto fast = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, false, 2);
    auto plain = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, false, -1);
    ASSERT_TRUE(fast && plain);
    EXPECT_EQ(fast->en(0, 0, 0), 999.9);
    EXPECT_EQ(plain->en(0, 0, 0), 999.9);
    // no lower cap
    ppt->bin[0][1].a0 = -1e6;
    ppt->bin[0][1].r_bc = 0.9;
    auto low = quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, false, 1);
    ASSERT_TRUE(low);
    EXPECT_LT(low->en(12, 12, 12), -1e6);
}

TEST(CubeLandscape, RefusesZeroOxidationStatesAndBadRecords) {
    auto ppt = make_ppt();
    auto p1 = kelmar_symmetry_new_p1();
    auto cell = make_cell(5, 5, 5, 90, 90, 90, {make_atom("Li", 1, 0, 0, 0), make_atom("O", 0, 0.5, 0.5, 0.5)});
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, true, 2), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: oxidation state is zero where atom[1]: O0+.\n");
    auto bad = make_ppt();
    bad->bin[0][1].rmin = -1;
    cell->atom[1].os = -2;
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet_calc(cell.get(), p1.get(), bad.get(), 0.5, true, 2), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: incorrect rmin at [0](Li1+)-(O2-) rmin=-1.000000\n"
              "Error: kelmar_cube_validate_property() returns non-zero.\n");
    // a degenerate lattice
    auto flat = make_cell(5, 5, 0.01, 90, 90, 90, {make_atom("Li", 1, 0, 0, 0), make_atom("O", -2, 0.5, 0.5, 0.5)});
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet_calc(flat.get(), p1.get(), ppt.get(), 0.5, true, 2), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: lattice length 0.010000 is too short for a landscape.\n");
    // a species the record does not hold
    cell->atom.push_back(make_atom("Na", 1, 0.2, 0.2, 0.2));
    kelmar_cell_update_cartesion(cell.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet_calc(cell.get(), p1.get(), ppt.get(), 0.5, true, 2), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: kelmar_property_find_index() returns negative value.\n");
    for (const KELMAR_ATOM& a : cell->atom) EXPECT_FALSE(a.ignored);
}

TEST(CubeLandscape, IgnoredMobileIonsTakeFullPartInTheTotalEnergyWithLoweredOccupancy) {
    const std::string data = KELMAR_DATA_DIR;
    const std::string cif = std::string(TEST_DATA_DIR) + "/samples/Li2O.cif";
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    std::unique_ptr<KELMAR_PROPERTY> ppt;
    capture_stdout_of([&] {
        ASSERT_EQ(kelmar_cell_import_cif_from_file(&cell, &sym, cif.c_str(), (data + "/database_symcards.dat").c_str(),
                                                   (data + "/database_unitary.dat").c_str()),
                  0);
        ppt = kelmar_property_import_from_cell(cell.get(), "Li", 1, 0.75, (data + "/database_unitary.dat").c_str(),
                                               (data + "/database_binary.dat").c_str());
    });
    ASSERT_TRUE(cell && sym && ppt);
    const double c = ppt->count[static_cast<std::size_t>(ppt->conducting)];
    ASSERT_GT(c, 1.0);
    // the ignore switch only lowers the other Li ions' occupancy to (c-1)/c: the same structure
    // with that occupancy written in and nothing ignored gives the same landscape
    auto scaled = std::make_unique<KELMAR_CELL>(*cell);
    for (KELMAR_ATOM& a : scaled->atom)
        if (std::strcmp(a.type, "Li") == 0) a.occ *= (c - 1.0) / c;
    for (bool eam : {false, true}) {
        SCOPED_TRACE(eam);
        std::unique_ptr<KELMAR_CUBE> ignored, plain;
        testing::internal::CaptureStderr();
        capture_stdout_of([&] {
            ignored = kelmar_cube_by_tot_en_calculate(cell.get(), sym.get(), ppt.get(), 2.0, true, eam);
            plain = kelmar_cube_by_tot_en_calculate(scaled.get(), sym.get(), ppt.get(), 2.0, false, eam);
        });
        testing::internal::GetCapturedStderr();
        ASSERT_TRUE(ignored && plain);
        expect_same_values(*ignored, *plain, 1e-9);
    }
}

TEST(CubeLandscape, ProbeCellScalesIgnoredOccupancies) {
    auto ppt = make_ppt();
    ppt->count[0] = 4.0;
    auto cell = rocksalt(4.2);
    cell->atom[0].ignored = true;
    auto probe = kelmar_cube_cell_new(cell.get(), ppt.get(), "Li", 1, 0);
    ASSERT_TRUE(probe);
    ASSERT_EQ(probe->total(), cell->total() + 1);
    EXPECT_STREQ(probe->atom[0].type, "Li");
    EXPECT_STREQ(probe->atom[0].name, "Li");
    EXPECT_EQ(probe->atom[0].os, 1);
    EXPECT_EQ(probe->atom[0].occ, 1.0);
    EXPECT_DOUBLE_EQ(probe->atom[1].occ, 0.75);  // ignored Li: 1 * (4 - 1) / 4
    EXPECT_DOUBLE_EQ(probe->atom[3].occ, 1.0);   // not ignored
    ppt->count[0] = 1.0;
    probe = kelmar_cube_cell_new(cell.get(), ppt.get(), "Li", 1, 0);
    EXPECT_EQ(probe->atom[1].occ, 0.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cube_cell_new(nullptr, ppt.get(), "Li", 1, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: KELMAR_CELL or conducting ions info has not been properly initialized.\n");
}

}  // namespace
