// Core records, text buffer and 3x3 algebra.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "cli.hpp"
#include "cmd.hpp"
#include "kelmar.hpp"

namespace {

void expect_unit_eigenvector(const double a[3][3], const double eig, const double v[3]) {
    double av[3];
    kelmar_matrix33_double_multiply_vector3(av, a, v);
    EXPECT_NEAR(kelmar_vector3_double_length(v), 1.0, 1e-9);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(av[i], eig * v[i], 1e-6);
}

void expect_orthonormal(const double e[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(kelmar_vector3_double_dot(e[i], e[j]), i == j ? 1.0 : 0.0, 1e-6) << i << "," << j;
}

}  // namespace

TEST(Algebra, EigenvaluesOfDiagonalMatrixAscend) {
    const double a[3][3] = {{3, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    double eig[3];
    ASSERT_EQ(kelmar_matrix33_double_eigenvalue_symmetric(eig, a), 0);
    EXPECT_DOUBLE_EQ(eig[0], 1.0);
    EXPECT_DOUBLE_EQ(eig[1], 2.0);
    EXPECT_DOUBLE_EQ(eig[2], 3.0);
}

TEST(Algebra, EigensolverTripleEigenvalueGivesIdentity) {
    const double a[3][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
    double eig[3], eiv[3][3];
    ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
    for (int i = 0; i < 3; i++) {
        EXPECT_DOUBLE_EQ(eig[i], 2.0);
        for (int j = 0; j < 3; j++) EXPECT_DOUBLE_EQ(eiv[i][j], i == j ? 1.0 : 0.0);
    }
}

TEST(Algebra, EigensolverDistinctAndDoubleEigenvalues) {
    // distinct eigenvalues: a rotated diag(1, 2, 5)
    const double general[3][3] = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
    // a doubly degenerate smallest eigenvalue: 1, 1, 4 (all-ones plus identity)
    const double dbl_low[3][3] = {{2, 1, 1}, {1, 2, 1}, {1, 1, 2}};
    // a doubly degenerate largest eigenvalue: -1 (twice)... 2 - ones: eigenvalues -1, 2, 2
    const double dbl_high[3][3] = {{1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (const auto* a : {general, dbl_low, dbl_high}) {
        double eig[3], eiv[3][3];
        ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
        EXPECT_LE(eig[0], eig[1] + 1e-7);  // the closed form uses pi to 9 digits
        EXPECT_LE(eig[1], eig[2] + 1e-7);
        for (int i = 0; i < 3; i++) expect_unit_eigenvector(a, eig[i], eiv[i]);
        expect_orthonormal(eiv);
    }
    double eig[3];
    kelmar_matrix33_double_eigenvalue_symmetric(eig, dbl_low);
    EXPECT_NEAR(eig[0], 1.0, 1e-7);
    EXPECT_NEAR(eig[1], 1.0, 1e-7);
    EXPECT_NEAR(eig[2], 4.0, 1e-7);
}

TEST(Algebra, LinearSolverRankCases) {
    const double a[3][3] = {{4, 1, 0}, {1, 3, 1}, {0, 2, 5}};
    const double want[3] = {1.5, -2.0, 0.25};
    double b[3], x[3];
    kelmar_matrix33_double_multiply_vector3(b, a, want);
    EXPECT_EQ(kelmar_matrix33_double_linearsolver(x, a, b), 3);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(x[i], want[i], 1e-12);

    // a zero pivot in the first column needs the row exchange
    const double p[3][3] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
    const double pb[3] = {7, 8, 9};
    EXPECT_EQ(kelmar_matrix33_double_linearsolver(x, p, pb), 3);
    EXPECT_NEAR(x[0], 9, 1e-12);
    EXPECT_NEAR(x[1], 7, 1e-12);
    EXPECT_NEAR(x[2], 8, 1e-12);

    const double rank2[3][3] = {{1, 2, 3}, {2, 4, 6}, {0, 1, 1}};
    x[0] = x[1] = x[2] = 5;
    EXPECT_EQ(kelmar_matrix33_double_linearsolver(x, rank2, b), 2);
    EXPECT_EQ(x[0], 0.0);
    EXPECT_EQ(x[1], 0.0);
    EXPECT_EQ(x[2], 0.0);

    const double rank1[3][3] = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    EXPECT_LE(kelmar_matrix33_double_linearsolver(x, rank1, b), 1);
    const double zero[3][3] = {};
    EXPECT_EQ(kelmar_matrix33_double_linearsolver(x, zero, b), 0);
}

TEST(Algebra, RankAndSvd) {
    const double rank2[3][3] = {{1, 2, 3}, {2, 4, 6}, {0, 1, 1}};
    EXPECT_EQ(kelmar_matrix33_double_rank(rank2), 2);
    const double zero[3][3] = {};
    EXPECT_EQ(kelmar_matrix33_double_rank(zero), 0);

    const double a[3][3] = {{2, 0, 1}, {0, 3, 0}, {1, 0, 2}};
    double u[3][3], s[3], v[3][3];
    ASSERT_EQ(kelmar_matrix33_double_svdsolver(u, s, v, a), 0);
    EXPECT_NEAR(s[0], 3.0, 1e-9);
    EXPECT_NEAR(s[1], 3.0, 1e-9);
    EXPECT_NEAR(s[2], 1.0, 1e-9);
    // U diag(s) V^T reproduces A
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double r = 0;
            for (int k = 0; k < 3; k++) r += u[i][k] * s[k] * v[j][k];
            EXPECT_NEAR(r, a[i][j], 1e-9);
        }
}

TEST(Algebra, IntegerHelpersAndRandom) {
    EXPECT_EQ(kelmar_mod_long(-1, 5), 4);
    EXPECT_EQ(kelmar_mod_long(7, 5), 2);
    EXPECT_EQ(kelmar_mod_long(-10, 5), 0);
    EXPECT_EQ(kelmar_mod_long(-3, 0), -3);  // no period: no division by zero
    EXPECT_EQ(kelmar_gcd(-12, 18), 6);
    EXPECT_EQ(kelmar_lcm(4, 6), 12);
    EXPECT_EQ(kelmar_lcm(-4, 6), 12);
    RandomEngine engine(3);
    for (int i = 0; i < 1000; i++) {
        const double r = kelmar_random(engine);
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
    }
    double sum = 0, sum2 = 0;
    const int n = 20000;
    for (int i = 0; i < n; i++) {
        const double g = kelmar_random_normal(engine, 1.0, 2.0);
        ASSERT_TRUE(std::isfinite(g));
        sum += g;
        sum2 += g * g;
    }
    const double mean = sum / n, var = sum2 / n - mean * mean;
    EXPECT_NEAR(mean, 1.0, 0.1);
    EXPECT_NEAR(std::sqrt(var), 2.0, 0.1);
}

// An index drawn from a range: every index of it equally likely, the two ends included (Pearson's
// chi-square over 60000 draws against its 0.1 % critical value).
TEST(Random, IndexFromARangeIsUniform) {
    struct Case {
        long first, last;
        double critical;  // chi-square at 0.1 % for last - first degrees of freedom
    };
    const Case cases[] = {{0, 1, 10.83}, {3, 7, 18.47}, {-5, 5, 29.59}, {100, 123, 49.73}};
    RandomEngine engine(2026);
    for (const Case& c : cases) {
        const long k = c.last - c.first + 1;
        const long draws = 60000;
        std::vector<long> count(static_cast<std::size_t>(k), 0);
        for (long t = 0; t < draws; t++) {
            const long i = random_index(engine, c.first, c.last);
            ASSERT_GE(i, c.first);
            ASSERT_LE(i, c.last);
            count[static_cast<std::size_t>(i - c.first)]++;
        }
        const double expected = static_cast<double>(draws) / static_cast<double>(k);
        double chi2 = 0.0;
        for (long n : count) chi2 += (static_cast<double>(n) - expected) * (static_cast<double>(n) - expected) / expected;
        EXPECT_LT(chi2, c.critical) << c.first << ".." << c.last;
    }
    EXPECT_EQ(random_index(engine, 4, 4), 4);
    EXPECT_EQ(random_index(engine, 4, 2), 4);
}

TEST(Algebra, RandomRotationIsOrthogonal) {
    RandomEngine engine(4);
    double r[3][3];
    for (int t = 0; t < 20; t++) {
        kelmar_matrix33_double_rotation_random(engine, r);
        EXPECT_NEAR(kelmar_matrix33_double_determinant(r), 1.0, 1e-9);
        expect_orthonormal(r);
    }
}

TEST(Text, GrowthAndRowSplitting) {
    auto text = kelmar_text_new("a\nb");
    std::string big(3000, 'x');
    ASSERT_EQ(kelmar_text_append(text.get(), "\n"), 0);
    ASSERT_EQ(kelmar_text_append(text.get(), big.c_str()), 0);
    EXPECT_EQ(text->length(), 4 + 3000);
    EXPECT_EQ(kelmar_text_append(text.get(), static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(kelmar_text_append(nullptr, "x"), 0);

    auto abn = kelmar_text_new("a\nb\n");
    std::vector<std::string> rows;
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_text_segregate_into_rows(rows, abn.get(), '\n'), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: total lines in the cif: 3\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "a");
    EXPECT_EQ(rows[1], "b");
    EXPECT_EQ(rows[2], "");

    // only the separator is removed: a carriage return before it stays
    auto crlf = kelmar_text_new("x\r\ny");
    testing::internal::CaptureStdout();
    kelmar_text_segregate_into_rows(rows, crlf.get(), '\n');
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "x\r");

    // a zero byte also ends a row
    auto nul = std::make_unique<KELMAR_TEXT>();
    nul->content = std::string("p\0q", 3);
    testing::internal::CaptureStdout();
    kelmar_text_segregate_into_rows(rows, nul.get(), '\n');
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], "q");
}

TEST(Text, FilesRoundTripAndFailures) {
    testcli::ScratchDir dir;
    auto text = kelmar_text_new("line 1\r\nline 2\n");
    const std::string f = (dir / "t.txt").string();
    ASSERT_EQ(kelmar_text_export_to_file(text.get(), f.c_str()), 0);
    ASSERT_EQ(kelmar_text_append_to_file(text.get(), f.c_str()), 0);
    auto back = kelmar_text_import_from_file(f.c_str());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->content, text->content + text->content);

    testcli::spit(dir / "empty.txt", "");
    const std::string empty = (dir / "empty.txt").string();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_text_import_from_file(empty.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: failed to read content of " + empty + "\n");

    const std::string missing = (dir / "missing.txt").string();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_text_import_from_file(missing.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to open " + missing + "\n");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_text_import_from_file(dir.path().string().c_str()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error:"), std::string::npos);

    const std::string bad = (dir / "no/such/dir.txt").string();
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_text_export_to_file(text.get(), bad.c_str()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: unable to open " + bad + ".\n");
}

TEST(Text, BlankLineHelpers) {
    EXPECT_TRUE(kelmar_array_char_1D_is_blank_line(nullptr));
    EXPECT_TRUE(kelmar_array_char_1D_is_blank_line(""));
    EXPECT_TRUE(kelmar_array_char_1D_is_blank_line(" \t\r\n"));
    EXPECT_FALSE(kelmar_array_char_1D_is_blank_line("  _cell"));
    EXPECT_EQ(kelmar_array_char_1D_first_nonspace_char(" \t loop_"), 'l');
    EXPECT_EQ(kelmar_array_char_1D_first_nonspace_char(" \r\n"), '\0');
}

TEST(Records, CellCopyIsIndependent) {
    auto cell = kelmar_cell_new(2);
    ASSERT_EQ(cell->total(), 2);
    kelmar_copy_field(cell->atom[0].name, "Li1");
    cell->atom[0].x_f[0] = 0.25;
    auto copy = kelmar_cell_copy(cell.get());
    copy->atom[0].x_f[0] = 0.75;
    kelmar_copy_field(copy->atom[0].name, "Na1");
    copy->atom.pop_back();
    EXPECT_DOUBLE_EQ(cell->atom[0].x_f[0], 0.25);
    EXPECT_STREQ(cell->atom[0].name, "Li1");
    EXPECT_EQ(cell->total(), 2);
    EXPECT_EQ(kelmar_cell_copy(nullptr), nullptr);
    EXPECT_EQ(kelmar_cell_new(0)->total(), 0);
    EXPECT_EQ(kelmar_cell_new(-3)->total(), 0);
}

TEST(Records, CompositionLabel) {
    auto cell = kelmar_cell_new(6);
    for (int i = 0; i < 4; i++) {
        kelmar_copy_field(cell->atom[i].type, "Li");
        cell->atom[i].os = 1;
        cell->atom[i].occ = 1.0;
    }
    for (int i = 4; i < 6; i++) {
        kelmar_copy_field(cell->atom[i].type, "O");
        cell->atom[i].os = -2;
        cell->atom[i].occ = 1.0;
    }
    ASSERT_EQ(kelmar_cell_update_name(cell.get()), 0);
    EXPECT_STREQ(cell->name, "Li1+:4.000 O2-:2.000 ");

    // a state of zero shows as 0+, partial occupancies are summed per group
    cell->atom[5].os = 0;
    cell->atom[4].occ = 0.5;
    kelmar_cell_update_name(cell.get());
    EXPECT_STREQ(cell->name, "Li1+:4.000 O2-:0.500 O0+:1.000 ");

    // the label is cut at 127 characters
    auto many = kelmar_cell_new(40);
    for (int i = 0; i < 40; i++) {
        kelmar_copy_field(many->atom[i].type, i % 2 ? "Na" : "Cl");
        many->atom[i].os = i;
        many->atom[i].occ = 1;
    }
    kelmar_cell_update_name(many.get());
    EXPECT_EQ(std::strlen(many->name), 127u);

    auto empty = kelmar_cell_new(0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_cell_update_name(empty.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: KELMAR_CELL has not been initialized.\n");
}

TEST(Records, FixedFieldsTruncateAndPrintLayouts) {
    KELMAR_ATOM atom;
    kelmar_copy_field(atom.name, "ABCDEFGHIJKLMNOP");
    EXPECT_STREQ(atom.name, "ABCDEFGHIJK");
    kelmar_copy_field(atom.type, "Li");
    atom.os = 1;
    atom.x_f[0] = 0.5;
    atom.occ = 1;
    testing::internal::CaptureStdout();
    kelmar_atom_print(&atom);
    kelmar_atom_print(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ATOM: name=ABCDEFGHIJK;type=Li;os= 1;x_f=(0.500,0.000,0.000);occ=1.000; flag=0;ignored=0\n"
              "ATOM: (not allocated)\n");

    auto p1 = kelmar_symmetry_new_p1();
    testing::internal::CaptureStdout();
    kelmar_symmetry_print(p1.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "SYMMETRY: Hermann-Maugui group symbol: P 1\n"
              "SYMMETRY: Hall group symbol: P 1\n"
              "SYMMETRY: International Table ID: 1\n"
              "SYMMETRY: Total number of cards: 1\n"
              "CARD: text:x, y, z\n"
              "CARD:   1.000  0.000  0.000       0.000\n"
              "CARD:   0.000  1.000  0.000       0.000\n"
              "CARD:   0.000  0.000  1.000       0.000\n");
    auto none = kelmar_symmetry_new(0);
    testing::internal::CaptureStdout();
    kelmar_symmetry_print(none.get());
    kelmar_cell_print(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SYMMETRY: (not allocated)\nCELL: (not allocated)\n");
}

TEST(CommandLine, SplitPathAndType) {
    std::string dir, name;
    kelmar_cmd_opt_split_path(&dir, &name, "/opt/k/kelmar.x");
    EXPECT_EQ(dir, "/opt/k/");
    EXPECT_EQ(name, "kelmar.x");
    kelmar_cmd_opt_split_path(&dir, &name, "kelmar.x");
    EXPECT_EQ(dir, "./");
    EXPECT_EQ(name, "kelmar.x");
    char type[3];
    kelmar_cmd_opt_get_type(type, "Li+");
    EXPECT_STREQ(type, "Li");
    kelmar_cmd_opt_get_type(type, "O");
    EXPECT_STREQ(type, "O");
}

TEST(CommandLine, HandlerHelpers) {
    EXPECT_EQ(kelmar_cmd_opt_name_append("x.cif", ".cif"), "x.cif.cif");
    EXPECT_EQ(kelmar_cmd_opt_name_replace4("x.cif", ".cube"), "x.cube");
    EXPECT_EQ(kelmar_cmd_opt_name_replace4("ab", "_assigned.cif"), "_assigned.cif");
    EXPECT_TRUE(kelmar_cmd_opt_parse_flag("yes", true));
    EXPECT_FALSE(kelmar_cmd_opt_parse_flag("false", true));
    EXPECT_FALSE(kelmar_cmd_opt_parse_flag("F", true));
    EXPECT_FALSE(kelmar_cmd_opt_parse_flag("yes", false));
    EXPECT_TRUE(kelmar_cmd_opt_parse_flag("True", false));
    int i = 0;
    EXPECT_TRUE(kelmar_cmd_opt_parse_int("+1", "os", &i));
    EXPECT_EQ(i, 1);
    double d = 0;
    EXPECT_TRUE(kelmar_cmd_opt_parse_double(" 0.25xyz", "sf", &d));
    EXPECT_DOUBLE_EQ(d, 0.25);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_cmd_opt_parse_double("abc", "sf", &d));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: wrong parameter sf.\n");
}

TEST(CommandLine, TextModeTakesWordsAfterLastKey) {
    std::vector<std::string> words = {"kelmar.x", "--text-cal-bv", "ignored", "-:text", "old", "-:text",
                                      "data_x",   "-:nl",          "_cell",   "5.0",    "-:text"};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    KELMAR_CMD_OPT opt;
    opt.argc = static_cast<int>(argv.size());
    opt.argv = argv.data();
    opt.mode_text = "-:text";
    opt.mode_newline = "-:nl";
    auto text = kelmar_cmd_opt_cat_tail(&opt);
    ASSERT_TRUE(text);
    // the last word "-:text" is never taken as the key, so it is part of the text
    EXPECT_EQ(text->content, " data_x\n _cell 5.0 -:text");

    opt.argc = 3;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_cmd_opt_cat_tail(&opt));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: text-mode key phrase not found.\n");
}

namespace {

// R^T diag(ev) R for the rotation with the given Euler angles.
void rotated_diagonal(double a[3][3], const double ev[3], double phi, double theta, double psi) {
    double r[3][3];
    kelmar_matrix33_double_rotation_euler(r, phi, theta, psi);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            a[i][j] = 0.0;
            for (int k = 0; k < 3; k++) a[i][j] += r[k][i] * ev[k] * r[k][j];
        }
}

// Every row of eiv a unit eigenvector of a for its eigenvalue, to within tol; the rows orthonormal.
void expect_eigenpairs(const double a[3][3], const double eig[3], const double eiv[3][3], double tol) {
    expect_orthonormal(eiv);
    for (int i = 0; i < 3; i++) {
        double av[3];
        kelmar_matrix33_double_multiply_vector3(av, a, eiv[i]);
        for (int j = 0; j < 3; j++) EXPECT_NEAR(av[j], eig[i] * eiv[i][j], tol) << "eigenvector " << i;
    }
}

}  // namespace

TEST(Algebra, EigensolverSmallElementsGiveUnitVectors) {
    // force constants of a flat landscape: the cross product of two rows of A - eig[0] I is far
    // shorter than the 1e-6 normalisation cut and used to come out as the zero vector
    const double ev[3] = {1e-3, 2e-3, 3e-3};
    double a[3][3], eig[3], eiv[3][3];
    rotated_diagonal(a, ev, 0.3, 0.7, 1.1);
    ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(eig[i], ev[i], 1e-10);
    expect_eigenpairs(a, eig, eiv, 1e-10);
}

TEST(Algebra, EigensolverLargeElements) {
    // elements of a few hundred: the nine-digit pi of the closed form leaves eig[0] off by more
    // than the absolute 1e-6 rank cut; this used to report failure
    const double ev[3] = {-300, -300, 500};
    double a[3][3], eig[3], eiv[3][3];
    rotated_diagonal(a, ev, 0.3, 0.7, 1.1);
    ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
    expect_eigenpairs(a, eig, eiv, 1e-5);
    // the distinct one is the last row
    double v[3] = {};
    double r[3][3];
    kelmar_matrix33_double_rotation_euler(r, 0.3, 0.7, 1.1);
    kelmar_vector3_double_copy(v, r[2]);
    EXPECT_NEAR(std::fabs(kelmar_vector3_double_dot(v, eiv[2])), 1.0, 1e-9);
}

TEST(Algebra, EigensolverTinyOffDiagonalElements) {
    // off-diagonal squares summing below 1e-11 make the closed form take the matrix as diagonal,
    // which is wrong when the diagonal spread is as small; the solver falls back on the
    // eigenvalues of the matrix scaled to unit size instead of failing
    const double ev[3] = {-2.2e-4, -2.16e-4, -2.16e-4};
    double a[3][3], eig[3], eiv[3][3];
    rotated_diagonal(a, ev, 0.5, 1.0, 0.2);
    ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(eig[i], ev[i], 1e-12);
    expect_eigenpairs(a, eig, eiv, 1e-12);
}

TEST(Algebra, EigensolverNearlyDoubleLowestEigenvalue) {
    // eig[0] and eig[1] a hair apart (just above the rank cut): the third eigenvector must still
    // be the one of the distinct eigenvalue
    const double ev[3] = {-0.078, -0.078 + 1.2e-6, 1.83};
    const double angle_sets[2][3] = {{0.5, 1.0, 0.2}, {0.3, 0.7, 1.1}};
    for (const auto& angles : angle_sets) {
        double a[3][3], eig[3], eiv[3][3];
        rotated_diagonal(a, ev, angles[0], angles[1], angles[2]);
        ASSERT_EQ(kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, a), 0);
        expect_eigenpairs(a, eig, eiv, 1e-5);
    }
}

TEST(CommandLine, AbsurdNumbersAreWrongParameters) {
    int i = 5;
    long l = 5;
    double d = 5;
    testing::internal::CaptureStderr();
    // "%d" would cut 2^32 + 1 down to 1
    EXPECT_FALSE(kelmar_cmd_opt_parse_int("4294967297", "os", &i));
    EXPECT_FALSE(kelmar_cmd_opt_parse_int("-2147483649", "os", &i));
    EXPECT_FALSE(kelmar_cmd_opt_parse_long("99999999999999999999", "step_limit", &l));
    EXPECT_FALSE(kelmar_cmd_opt_parse_double("nan", "sf", &d));
    EXPECT_FALSE(kelmar_cmd_opt_parse_double("-inf", "sf", &d));
    EXPECT_FALSE(kelmar_cmd_opt_parse_double("1e999", "sf", &d));
    EXPECT_FALSE(kelmar_cmd_opt_parse_int("", "os", &i));
    EXPECT_FALSE(kelmar_cmd_opt_parse_long(nullptr, "n", &l));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: wrong parameter os.\nError: wrong parameter os.\nError: wrong parameter step_limit.\n"
              "Error: wrong parameter sf.\nError: wrong parameter sf.\nError: wrong parameter sf.\n"
              "Error: wrong parameter os.\nError: wrong parameter n.\n");
    EXPECT_EQ(i, 5);
    EXPECT_EQ(l, 5);
    EXPECT_EQ(d, 5);
    // what "%d", "%ld" and "%lf" accept stays accepted
    EXPECT_TRUE(kelmar_cmd_opt_parse_int(" -2147483648", "os", &i));
    EXPECT_EQ(i, -2147483648L);
    EXPECT_TRUE(kelmar_cmd_opt_parse_int("3rd", "os", &i));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(kelmar_cmd_opt_parse_long("-12", "n", &l));
    EXPECT_EQ(l, -12);
    EXPECT_TRUE(kelmar_cmd_opt_parse_double("-1e-3", "sf", &d));
    EXPECT_DOUBLE_EQ(d, -1e-3);
}

TEST(Algebra, LuDecompositionPivotsAndKeepsMultipliersWithTheirRows) {
    // the second column needs a row exchange after the first column's multipliers are made
    const double a[3][3] = {{1, 2, 3}, {2, 4, 1}, {4, 2, 5}};
    double p[3][3], l[3][3], u[3][3];
    kelmar_matrix33_double_lusolver(p, l, u, a);
    double pa[3][3], lu[3][3];
    kelmar_matrix33_double_multiplication(pa, p, a);
    kelmar_matrix33_double_multiplication(lu, l, u);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            EXPECT_NEAR(pa[i][j], lu[i][j], 1e-12) << i << "," << j;
            if (j > i) {
                EXPECT_EQ(l[i][j], 0.0);
            }
            if (j < i) {
                EXPECT_NEAR(u[i][j], 0.0, 1e-12);
            }
        }
    for (int i = 0; i < 3; i++) EXPECT_EQ(l[i][i], 1.0);
    EXPECT_DOUBLE_EQ(u[0][0], 4.0);  // largest magnitude of the first column
    for (int i = 1; i < 3; i++) EXPECT_LE(std::fabs(l[i][0]), 1.0);

    // a column without a usable pivot keeps zero multipliers and is not eliminated
    const double z[3][3] = {{0, 1, 2}, {0, 3, 4}, {0, 5, 7}};
    kelmar_matrix33_double_lusolver(p, l, u, z);
    EXPECT_EQ(l[1][0], 0.0);
    EXPECT_EQ(l[2][0], 0.0);
    kelmar_matrix33_double_multiplication(pa, p, z);
    kelmar_matrix33_double_multiplication(lu, l, u);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(pa[i][j], lu[i][j], 1e-12);
}

TEST(Records, GridSizesThatCannotExistAreOutOfMemory) {
    KELMAR_GRID3<double> g(2, 3, 4, 1.5);
    EXPECT_EQ(g.size(), 24);
    g(1, 2, 3) = 7.0;
    EXPECT_EQ(g.data[23], 7.0);
    EXPECT_EQ(g.index(1, 0, 0), 12u);
    // 2^22 cubed wraps round to 0 in a long; it must not give a small grid that is indexed past
    const long big = 1L << 22;
    EXPECT_THROW(g.resize(big, big, big), std::bad_alloc);
    EXPECT_THROW(g.resize(-2, -3, 4), std::bad_alloc);
    EXPECT_EQ(g.size(), 24);  // a refused resize leaves the grid as it was
    EXPECT_EQ(g(1, 2, 3), 7.0);
}

TEST(Records, CompositionLabelOfTheSmallestState) {
    auto cell = kelmar_cell_new(1);
    kelmar_copy_field(cell->atom[0].type, "X");
    cell->atom[0].os = std::numeric_limits<int>::min();
    cell->atom[0].occ = 1.0;
    ASSERT_EQ(kelmar_cell_update_name(cell.get()), 0);
    EXPECT_STREQ(cell->name, "X2147483648-:1.000 ");
}

TEST(Text, ReadingStopsAtTheSizeLimit) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "big.txt", std::string(2000, 'x'));
    const std::string f = (dir / "big.txt").string();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_text_import_from_file(f.c_str(), 1000));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: failed to read content of " + f + "\n");
    auto whole = kelmar_text_import_from_file(f.c_str(), 2000);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->length(), 2000);
    // a device that never ends is cut off instead of filling the memory
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kelmar_text_import_from_file("/dev/zero", 1 << 20));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: failed to read content of /dev/zero\n");
}

TEST(Algebra, SimpleRotationsAndAnAxisThatDoesNotExist) {
    double r[3][3];
    const double x[3] = {1, 0, 0};
    double y[3];
    kelmar_matrix33_double_rotation_simple(r, 3.14159265358979 / 2, 2);
    kelmar_matrix33_double_multiply_vector3(y, r, x);
    EXPECT_NEAR(y[0], 0.0, 1e-12);
    EXPECT_NEAR(y[1], 1.0, 1e-12);
    EXPECT_NEAR(y[2], 0.0, 1e-12);
    for (int axis : {-1, 3, 1000}) {
        kelmar_matrix33_double_rotation_simple(r, 1.0, axis);
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) EXPECT_EQ(r[i][j], i == j ? 1.0 : 0.0) << axis;
    }
}

TEST(Algebra, SvdOfALargeCellMatrix) {
    // lattice vectors of a 30 angstrom cell: A^T A has elements near 1000
    const double a[3][3] = {{30, 0, 0}, {5, 28, 0}, {3, 4, 25}};
    double u[3][3], s[3], v[3][3];
    ASSERT_EQ(kelmar_matrix33_double_svdsolver(u, s, v, a), 0);
    EXPECT_GE(s[0], s[1]);
    EXPECT_GE(s[1], s[2]);
    EXPECT_NEAR(s[0] * s[1] * s[2], std::fabs(kelmar_matrix33_double_determinant(a)), 1e-3);
    double vt[3][3];
    kelmar_matrix33_double_copy(vt, v);
    kelmar_matrix33_double_transpose(vt);
    expect_orthonormal(vt);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double r = 0;
            for (int k = 0; k < 3; k++) r += u[i][k] * s[k] * v[j][k];
            EXPECT_NEAR(r, a[i][j], 1e-9);
        }
}
