// Fingerprint classification and half-paths: the production scan against the step-by-step
// definition, thread-count independence, small landscapes with known topology, and the
// half-paths of a real landscape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "cube.hpp"
#include "fp-export.hpp"
#include "kelmar.hpp"

namespace {

const std::string kData = TEST_DATA_DIR;

std::unique_ptr<KELMAR_CUBE> blank_cube(long n0, long n1, long n2, double fill) {
    const long n[3] = {n0, n1, n2};
    auto cube = kelmar_cube_new(n);
    for (int r = 0; r < 3; ++r) {
        cube->a_i[r][r] = 0.5;
        cube->a[r][r] = 0.5 * static_cast<double>(n[r]);
    }
    std::fill(cube->en.data.begin(), cube->en.data.end(), fill);
    return cube;
}

std::unique_ptr<KELMAR_FPCUBE> build(const KELMAR_CUBE* cube, int threads, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    auto fp = kelmar_fpcube_new_from_cube_threads(cube, threads);
    const std::string o = testing::internal::GetCapturedStdout();
    if (out != nullptr) *out = o;
    return fp;
}

std::unique_ptr<KELMAR_FPHALF_LIST> halves(const KELMAR_FPCUBE* fp, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    auto list = kelmar_fphalf_list_new_from_fpcube(fp);
    const std::string o = testing::internal::GetCapturedStdout();
    if (out != nullptr) *out = o;
    return list;
}

long index_of(const KELMAR_FPCUBE* fp, long i, long j, long k) {
    const long x[3] = {i, j, k};
    return fpgrid_index(fp, x);
}

// Every point of the grid: the stored class, counts and descent neighbour against the
// step-by-step definition (labels in a 5x5x5 block, then counting, then representatives), and
// the branch-count warnings against the ones the definition prints.
void expect_matches_definition(const KELMAR_CUBE* cube) {
    std::string warnings;
    auto fp = build(cube, 0, &warnings);
    ASSERT_NE(fp, nullptr);
    std::string expected_warnings;
    long mismatches = 0;
    for (long p = 0; p < fp->size(); ++p) {
        long x_i[3] = {p / (fp->n[1] * fp->n[2]), (p / fp->n[2]) % fp->n[1], p % fp->n[2]};
        KELMAR_FPDOT dot;
        ASSERT_EQ(kelmar_fpdot_cluster(fp.get(), x_i, &dot), 0);
        testing::internal::CaptureStdout();
        kelmar_fpdot_classify(&dot, true);
        expected_warnings += testing::internal::GetCapturedStdout();
        kelmar_fpdot_branch(fp.get(), &dot);
        const std::size_t q = static_cast<std::size_t>(p);
        mismatches += fp->type[q] != dot.type || fpgrid_total_up(fp.get(), p) != dot.total_up ||
                      fpgrid_total_dn(fp.get(), p) != dot.total_dn;
        if (dot.total_dn > 0) {
            const KELMAR_FPDOT full = fpgrid_point(fp.get(), p);
            mismatches += full.dn[0] != dot.dn[0];
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(warnings, expected_warnings);
}

}  // namespace

TEST(Fingerprint, ScanMatchesDefinitionOnRealAndTiedLandscapes) {
    std::unique_ptr<KELMAR_CUBE> cube;
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_cube_import_from_file(&cube, nullptr, (kData + "/naro-path/Li2O.cube").c_str(), true, "x", true), 0);
    testing::internal::GetCapturedStdout();
    expect_matches_definition(cube.get());
    // random landscapes of few distinct values: many ties and many branch patterns
    std::mt19937 rng(7);
    for (int levels : {2, 3, 6}) {
        auto noisy = blank_cube(7, 6, 5, 0.0);
        for (double& v : noisy->en.data) v = static_cast<double>(rng() % levels);
        expect_matches_definition(noisy.get());
    }
}

// Two lower groups whose labels are merged towards a label made later: still two branches, so
// the point is a saddle. (Counting lower labels against a running minimum would see one.)
TEST(Fingerprint, SeparateLowerGroupsAreCountedOnce) {
    const unsigned lower = 0x6569345u;
    auto cube = blank_cube(5, 5, 5, 5.0);
    for (int t = 0; t < 27; ++t)
        if (t != 13) cube->en(1 + t / 9, 1 + (t / 3) % 3, 1 + t % 3) = (lower >> t) & 1u ? -1.0 : 1.0;
    cube->en(2, 2, 2) = 0.0;
    auto fp = build(cube.get(), 1);
    const KELMAR_FPDOT dot = fpgrid_point(fp.get(), index_of(fp.get(), 2, 2, 2));
    EXPECT_EQ(dot.total_dn, 2);
    EXPECT_EQ(dot.type, FP_SAD);
}

TEST(Fingerprint, SmallLandscapes) {
    // one isolated low point: a minimum whose 26 neighbours form one up branch; no saddle
    auto well = blank_cube(6, 6, 6, 1.0);
    well->en(2, 3, 4) = -1.0;
    auto fp = build(well.get(), 2);
    const KELMAR_FPDOT low = fpgrid_point(fp.get(), index_of(fp.get(), 2, 3, 4));
    EXPECT_EQ(low.type, FP_MIN);
    EXPECT_EQ(low.total_up, 1);
    EXPECT_EQ(low.total_dn, 0);
    // equal energies are ordered by grid index, as a flood meets them: the plateau has one lowest
    // point, (0,0,0), and passes towards the well, each with two half-paths
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 0, 0, 0))], FP_MIN);
    EXPECT_NE(fp->type[static_cast<std::size_t>(index_of(fp.get(), 0, 0, 1))], FP_MIN);
    std::string out;
    auto plateau = halves(fp.get(), &out);
    ASSERT_NE(plateau, nullptr);
    EXPECT_EQ(plateau->total % 2, 0);
    long minima = 0;
    for (long p = 0; p < fp->size(); ++p) minima += fp->type[static_cast<std::size_t>(p)] == FP_MIN;
    EXPECT_EQ(minima, 2);

    // a valley along axis 0 crossing a ridge: two basins, one saddle on the ridge with two half-paths
    auto valley = blank_cube(12, 5, 5, 3.0);
    for (long i = 0; i < 12; ++i) {
        const double e = i <= 6 ? -0.1 * (6 - std::abs(i - 3)) : -0.2 * (5 - std::abs(i - 9));
        valley->en(i, 2, 2) = e;
    }
    // ridge at i = 6 and at i = 0 (periodic), minima at i = 3 (-0.6) and i = 9 (-1.0)
    fp = build(valley.get(), 0);
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 3, 2, 2))], FP_MIN);
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 9, 2, 2))], FP_MIN);
    long saddle[3] = {6, 2, 2};
    testing::internal::CaptureStdout();
    auto list = kelmar_fphalf_list_new(fp.get(), saddle);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->total, 2);
    const double ends[2] = {fp->en[static_cast<std::size_t>(list->half[0].dot.back())],
                            fp->en[static_cast<std::size_t>(list->half[1].dot.back())]};
    EXPECT_DOUBLE_EQ(std::min(ends[0], ends[1]), -1.0);
    EXPECT_DOUBLE_EQ(std::max(ends[0], ends[1]), -0.6);
    for (const KELMAR_FPHALF& h : list->half) {
        EXPECT_DOUBLE_EQ(h.barrier, fp->en[static_cast<std::size_t>(h.dot.front())] -
                                        fp->en[static_cast<std::size_t>(h.dot.back())]);
        EXPECT_EQ(h.total, static_cast<long>(h.dot.size()));
    }
    // a point that is no saddle is refused
    long plain[3] = {3, 2, 2};
    testing::internal::CaptureStderr();
    EXPECT_EQ(kelmar_fphalf_list_new(fp.get(), plain), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: dot (   3,    2,    2) is not a saddle point.\n");
    // the filter keeps half-paths whose barrier is at most the limit; a negative limit keeps all
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_fphalf_list_filter(list.get(), -1.0), 0);
    EXPECT_EQ(list->total, 2);
    EXPECT_EQ(kelmar_fphalf_list_filter(list.get(), 0.7), 0);  // barriers 0.3 and 0.7: both stay
    EXPECT_EQ(list->total, 2);
    EXPECT_EQ(kelmar_fphalf_list_filter(list.get(), 0.5), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Message: totally 2 paths with barrier lower than 0.700000.\n"
              "Message: totally 1 paths with barrier lower than 0.500000.\n");
    EXPECT_EQ(list->total, 1);
    // labelling marks the path points; the cell holds minima, saddles and path points
    kelmar_fphalf_list_label_path(list.get(), fp.get());
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 5, 2, 2))], FP_PAT);
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 7, 2, 2))], FP_NOR);
    auto cell = kelmar_fpcube_export_to_cell(fp.get());
    ASSERT_NE(cell, nullptr);
    int sad = 0, pat = 0;
    for (const KELMAR_ATOM& a : cell->atom) {
        sad += std::string(a.name) == "SAD1" && std::string(a.type) == "Na";
        pat += std::string(a.name) == "PAT" && std::string(a.type) == "H";
    }
    EXPECT_GE(sad, 1);
    EXPECT_EQ(pat, 2);  // points 5 and 4 on the way from the saddle at 6 down to 3
    kelmar_fpcube_clear_type(fp.get());
    EXPECT_EQ(fp->type[static_cast<std::size_t>(index_of(fp.get(), 5, 2, 2))], FP_UND);
}

// A real landscape: the same classification for any thread count; every half-path descends
// step by step through neighbours and ends at a minimum or a saddle; every saddle has at least
// two down branches.
TEST(Fingerprint, HalfPathsOfARealLandscape) {
    std::unique_ptr<KELMAR_CUBE> cube;
    testing::internal::CaptureStdout();
    ASSERT_EQ(kelmar_cube_import_from_file(&cube, nullptr, (kData + "/naro-path/LiFePO4.cube").c_str(), true, "x", true),
              0);
    testing::internal::GetCapturedStdout();
    std::string w1, w3;
    auto one = build(cube.get(), 1, &w1);
    auto three = build(cube.get(), 3, &w3);
    EXPECT_EQ(one->type, three->type);
    EXPECT_EQ(one->branches, three->branches);
    EXPECT_EQ(one->descent, three->descent);
    EXPECT_EQ(w1, w3);
    auto list = halves(one.get());
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->total, 0);
    const long* n = one->n;
    auto adjacent = [&](long p, long q) {
        const long a[3] = {p / (n[1] * n[2]), (p / n[2]) % n[1], p % n[2]};
        const long b[3] = {q / (n[1] * n[2]), (q / n[2]) % n[1], q % n[2]};
        for (int r = 0; r < 3; ++r) {
            const long d = std::abs(a[r] - b[r]);
            if (std::min(d, n[r] - d) > 1) return false;
        }
        return true;
    };
    long saddles = 0;
    for (long p = 0; p < one->size(); ++p)
        if (one->type[static_cast<std::size_t>(p)] == FP_SAD) {
            ++saddles;
            EXPECT_GE(fpgrid_total_dn(one.get(), p), 2);
        }
    long expected_halves = 0;
    for (long p = 0; p < one->size(); ++p)
        if (one->type[static_cast<std::size_t>(p)] == FP_SAD) expected_halves += fpgrid_total_dn(one.get(), p);
    EXPECT_EQ(list->total, expected_halves);
    EXPECT_GT(saddles, 0);
    for (const KELMAR_FPHALF& h : list->half) {
        ASSERT_GE(h.total, 2);
        EXPECT_EQ(one->type[static_cast<std::size_t>(h.dot.front())], FP_SAD);
        const int end = one->type[static_cast<std::size_t>(h.dot.back())];
        EXPECT_TRUE(end == FP_MIN || end == FP_SAD);
        for (std::size_t s = 1; s < h.dot.size(); ++s) {
            EXPECT_TRUE(adjacent(h.dot[s - 1], h.dot[s]));
            EXPECT_LT(one->en[static_cast<std::size_t>(h.dot[s])], one->en[static_cast<std::size_t>(h.dot[s - 1])]);
        }
        EXPECT_GT(h.barrier, 0.0);
    }
}
