// Landscape topology on a large grid: writes a synthetic periodic landscape as a cube file (a sum
// of plane waves on a 30 A cubic cell, many minima and saddles), then times, in process, the
// spectral derivatives and the critical-point scan, the fingerprint and the half-paths, each on
// one thread and on all threads, and checks that both thread counts give the same results.
// Usage:
//   bench_topology out.cube [points per axis, default 192]
// bench/run_topology.sh runs it and then times the two commands with /usr/bin/time -v.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "bench_common.hpp"
#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"

namespace {

using benchkit::Quiet;
using benchkit::seconds_since;

// A smooth periodic landscape in eV with structure on the scale of 2 to 8 A.
std::unique_ptr<KELMAR_CUBE> synthetic(long points, double cell) {
    const long n[3] = {points, points, points};
    auto cube = kelmar_cube_new(n);
    for (int r = 0; r < 3; ++r) {
        cube->a[r][r] = cell;
        cube->a_i[r][r] = cell / static_cast<double>(points);
    }
    struct Wave {
        int h[3];
        double c, phase;
    };
    const Wave waves[] = {{{4, 0, 0}, 0.50, 0.0},  {{0, 4, 0}, 0.45, 0.7}, {{0, 0, 4}, 0.40, 1.3},
                          {{3, 5, 0}, 0.20, 0.2},  {{0, 3, 5}, 0.18, 2.1}, {{5, 0, 3}, 0.16, 0.9},
                          {{7, 2, 1}, 0.08, 1.7},  {{1, 7, 2}, 0.07, 0.4}, {{2, 1, 7}, 0.06, 2.8},
                          {{6, 6, 6}, 0.05, 0.0},  {{9, 4, 2}, 0.03, 1.1}, {{2, 9, 4}, 0.03, 0.3}};
    const double two_pi = 6.283185307179586;
    for (long i = 0; i < points; ++i)
        for (long j = 0; j < points; ++j)
            for (long k = 0; k < points; ++k) {
                const double u[3] = {double(i) / points, double(j) / points, double(k) / points};
                double e = 0.0;
                for (const Wave& w : waves)
                    e += w.c * std::cos(two_pi * (w.h[0] * u[0] + w.h[1] * u[1] + w.h[2] * u[2]) + w.phase);
                cube->en(i, j, k) = e;
            }
    return cube;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_topology out.cube [points per axis]\n");
        return 1;
    }
    const long points = argc > 2 ? std::atol(argv[2]) : 192;
    const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    auto made = synthetic(points, 30.0);
    {
        Quiet q;
        if (kelmar_cube_export_to_file(made.get(), nullptr, nullptr, argv[1], true) != 0) return 1;
    }
    // the values as the commands see them: read back from the file
    std::unique_ptr<KELMAR_CUBE> cube;
    {
        Quiet q;
        if (kelmar_cube_import_from_file(&cube, nullptr, argv[1], true, "", true) != 0) return 1;
    }
    made.reset();
    std::printf("grid %ld^3 = %ld points, 30 A cell, %d hardware threads\n", points, cube->en.size(), all);

    long found[2] = {0, 0};
    bool same_fields = true;
    std::unique_ptr<KELMAR_FFT> first;
    for (int pass = 0; pass < 2; ++pass) {
        const int threads = pass == 0 ? 1 : all;
        auto t0 = std::chrono::steady_clock::now();
        auto fft = kelmar_fft_new_from_cube_threads(cube.get(), threads);
        const double t_fft = seconds_since(t0);
        t0 = std::chrono::steady_clock::now();
        std::unique_ptr<KELMAR_FFTDOT_LIST> list;
        {
            Quiet q;
            list = kelmar_fftdot_list_new_from_fft_threads(fft.get(), threads);
        }
        const double t_scan = seconds_since(t0);
        found[pass] = list->total;
        std::printf("fft %d thread(s): derivatives %.2f s, critical-point scan %.2f s, %ld critical points\n", threads,
                    t_fft, t_scan, list->total);
        if (pass == 0) {
            first = std::move(fft);
        } else {
            for (long p = 0; p < cube->en.size() && same_fields; ++p)
                same_fields = first->k[0][1]->value[p][0] == fft->k[0][1]->value[p][0] &&
                              first->f[2]->value[p][0] == fft->f[2]->value[p][0];
            first.reset();
        }
    }
    std::printf("fft results identical for 1 and %d threads: %s\n", all,
                same_fields && found[0] == found[1] ? "yes" : "NO");

    std::unique_ptr<KELMAR_FPCUBE> fp[2];
    for (int pass = 0; pass < 2; ++pass) {
        const int threads = pass == 0 ? 1 : all;
        auto t0 = std::chrono::steady_clock::now();
        {
            Quiet q;
            fp[pass] = kelmar_fpcube_new_from_cube_threads(cube.get(), threads);
        }
        const double t_fp = seconds_since(t0);
        t0 = std::chrono::steady_clock::now();
        std::unique_ptr<KELMAR_FPHALF_LIST> halves;
        {
            Quiet q;
            halves = kelmar_fphalf_list_new_from_fpcube(fp[pass].get());
        }
        std::printf("fingerprint %d thread(s): classification %.2f s, half-paths %.2f s, %ld half-paths\n", threads,
                    t_fp, seconds_since(t0), halves ? halves->total : -1L);
    }
    std::printf("fingerprint identical for 1 and %d threads: %s\n", all,
                fp[0]->type == fp[1]->type && fp[0]->branches == fp[1]->branches && fp[0]->descent == fp[1]->descent
                    ? "yes"
                    : "NO");
    return 0;
}
