// Times the bond-valence landscape of --gen-cube (Li 1, automatic sf) on a few structures:
// the reference loop against the production path on one thread and on all threads, and the whole
// --gen-cube flow (parameters, landscape, file). Usage:
//   bench_cube [--no-plain] [resolution] [file.cif ...]
// Without files it runs LiFePO4, Li3V2PO43, Li10GeP2S12, the garnet Li6La3Nb1.5Y0.5O12 and the two
// electrolytes xut and 9n0, whose shared Li sites make them P1 supercells at the grid cap. The
// reference loop is timed over the whole grid where that takes under a minute or so; otherwise it
// is compared at a few thousand points spread over the grid.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_common.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cube-grid.hpp"
#include "cube-run.hpp"
#include "cube.hpp"
#include "property-assemble.hpp"
#include "neighbor.hpp"
#include "workshare.hpp"

namespace {

using benchkit::Quiet;
using benchkit::seconds_since;

const std::string data_dir = std::string(KELMAR_DATA_DIR) + "/";
const std::string unitary = data_dir + "database_unitary.dat";
const std::string binary = data_dir + "database_binary.dat";
const std::string symcards = data_dir + "database_symcards.dat";

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Largest |reference - fast| at every stride-th grid point, the reference summed point by point
// as kelmar_cube_point_value_plain does, with the mobile ions left out as the landscape does.
double sampled_difference(KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, const KELMAR_CUBE& fast, long stride,
                          long* checked) {
    double rmax = 10.0;
    for (int i = 0; i < ppt->total; ++i)
        for (int j = 0; j < ppt->total; ++j) rmax = std::max(rmax, ppt->bin[i][j].cutoff);
    long m[3];
    if (!latimg::image_range_wide(m, cell->parameter, cell->a, rmax, 2.0)) return -1.0;
    const int M = ppt->conducting;
    for (KELMAR_ATOM& a : cell->atom)
        a.ignored = std::strcmp(a.type, ppt->type[M].data()) == 0 && a.os == ppt->os[M];
    double worst = 0.0;
    *checked = 0;
    const long total = fast.n[0] * fast.n[1] * fast.n[2];
    for (long p = stride / 2; p < total; p += stride) {
        const long i = p / (fast.n[1] * fast.n[2]), j = (p / fast.n[2]) % fast.n[1], k = p % fast.n[2];
        double r[3];
        for (int d = 0; d < 3; ++d)
            r[d] = static_cast<double>(i) * fast.a_i[0][d] + static_cast<double>(j) * fast.a_i[1][d] +
                   static_cast<double>(k) * fast.a_i[2][d];
        worst = std::max(worst, std::fabs(kelmar_cube_point_value_plain(cell, ppt, r, m) - fast.en(i, j, k)));
        ++*checked;
    }
    for (KELMAR_ATOM& a : cell->atom) a.ignored = false;
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    RandomEngine engine(1);
    double resolution = 0.1;
    std::vector<std::string> files;
    bool with_plain = true;
    int first = 1;
    if (argc > first && std::strcmp(argv[first], "--no-plain") == 0) with_plain = false, ++first;
    if (argc > first) resolution = std::atof(argv[first]);
    for (int i = first + 1; i < argc; ++i) files.push_back(argv[i]);
    if (files.empty()) {
        const std::string src = BENCH_SOURCE_DIR;
        files = {src + "/tests/data/samples/LiFePO4.cif", src + "/tests/data/samples/Li3V2PO43.cif",
                 src + "/tests/data/samples/Li10GeP2S12.cif", src + "/tests/data/electrolytes/j5g.cif",
                 src + "/tests/data/electrolytes/xut.cif", src + "/tests/data/electrolytes/9n0.cif"};
    }
    const int hw = workshare_threads_usable();
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("resolution %.3f A, hardware threads %d, load average %.2f %.2f %.2f\n", resolution, hw, load[0],
                load[1], load[2]);
    std::printf("%-14s %-13s %8s %6s %7s %12s | %9s %9s %9s %9s | %9s %9s %9s | %8s %8s | %9s %9s\n", "structure",
                "grid", "distinct", "atoms", "images", "pair terms", "plain s", "fast1 s", "fastN s", "fastN cpu",
                "plain t/s", "fast1 t/s", "fastN t/s", "x fast1", "x fastN", "gen-cube s", "cpu s");
    for (const std::string& file : files) {
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        std::unique_ptr<KELMAR_PROPERTY> ppt;
        {
            Quiet q;
            if (kelmar_cell_import_cif_from_file(&cell, &sym, file.c_str(), symcards.c_str(), unitary.c_str()) != 0)
                cell.reset();
            if (cell && kelmar_cell_partial_occ_at_conducting_site(cell.get(), "Li", 1)) {
                // as --gen-cube does: a supercell with whole ions on the shared sites, in P1
                auto super = kelmar_cell_supercell_default(cell.get());
                cell = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), "Li", 1, engine);
                sym = kelmar_symmetry_new_p1();
            }
            if (cell) ppt = kelmar_property_import_from_cell(cell.get(), "Li", 1, -0.1, unitary.c_str(), binary.c_str());
        }
        if (!cell || !ppt) {
            std::printf("%s: cannot be loaded\n", file.c_str());
            continue;
        }
        std::string name = file.substr(file.find_last_of('/') + 1);
        name = name.substr(0, name.size() - 4);
        KELMAR_CUBE_STATS stats;
        std::unique_ptr<KELMAR_CUBE> plain, fast1, fastn;
        double t_plain = -1.0, t_fast1, t_fastn, cpu_fastn = 1e30, t_gen, cpu_gen;
        {
            Quiet q;
            // the production path is timed best of three: the machine is shared
            t_fastn = t_fast1 = 1e30;
            std::chrono::steady_clock::time_point t0;
            for (int rep = 0; rep < 3; ++rep) {
                t0 = std::chrono::steady_clock::now();
                const double c0 = cpu_seconds();
                KELMAR_CUBE_STATS run;
                fastn = kelmar_cube_calculate_threads(cell.get(), sym.get(), ppt.get(), resolution, true, hw, &run);
                if (rep == 0 || run.terms_cpu_seconds < stats.terms_cpu_seconds) stats = run;
                t_fastn = std::min(t_fastn, seconds_since(t0));
                cpu_fastn = std::min(cpu_fastn, cpu_seconds() - c0);
                t0 = std::chrono::steady_clock::now();
                fast1 = kelmar_cube_calculate_threads(cell.get(), sym.get(), ppt.get(), resolution, true, 1);
                t_fast1 = std::min(t_fast1, seconds_since(t0));
            }
            // the whole reference loop only where it takes a minute or so
            if (with_plain && static_cast<double>(stats.representatives) * static_cast<double>(cell->total()) <= 4e7) {
                t0 = std::chrono::steady_clock::now();
                plain = kelmar_cube_calculate_plain(cell.get(), sym.get(), ppt.get(), resolution, true);
                t_plain = seconds_since(t0);
            }
            // the whole command: parameters (with the sf search), landscape, cube file
            std::unique_ptr<KELMAR_CELL> c2;
            std::unique_ptr<KELMAR_SYMMETRY> s2;
            t0 = std::chrono::steady_clock::now();
            const double c0 = cpu_seconds();
            kelmar_cell_import_cif_from_file(&c2, &s2, file.c_str(), symcards.c_str(), unitary.c_str());
            const std::string out = "/tmp/bench_cube_" + std::to_string(getpid()) + ".cube";
            const std::string cif = "/tmp/bench_cube_" + std::to_string(getpid()) + "_assigned.cif";
            kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
                out.c_str(), cif.c_str(), c2.get(), s2.get(), "Li", 1, -0.1, resolution, true, true, false,
                unitary.c_str(), binary.c_str(), engine);
            t_gen = seconds_since(t0);
            cpu_gen = cpu_seconds() - c0;
            std::remove(out.c_str());
            std::remove(cif.c_str());
            std::remove(kelmar_cubename_assigned(out.c_str()).c_str());
        }
        if (!fast1 || !fastn) {
            std::printf("%s: landscape failed\n", name.c_str());
            continue;
        }
        double worst = 0.0;
        long checked = 0;
        if (plain) {
            for (std::size_t p = 0; p < plain->en.data.size(); ++p)
                worst = std::max(worst, std::fabs(plain->en.data[p] - fast1->en.data[p]));
            checked = static_cast<long>(plain->en.data.size());
        } else {
            worst = sampled_difference(cell.get(), ppt.get(), *fast1, 997, &checked);
        }
        const bool same = fast1->en.data == fastn->en.data;
        char grid[32];
        std::snprintf(grid, sizeof(grid), "%ldx%ldx%ld", fast1->n[0], fast1->n[1], fast1->n[2]);
        const double terms = static_cast<double>(stats.pair_terms);
        char plain_s[32] = "-", plain_ts[32] = "-", x1[32] = "-", xn[32] = "-";
        if (t_plain > 0) {
            std::snprintf(plain_s, sizeof(plain_s), "%.3f", t_plain);
            std::snprintf(plain_ts, sizeof(plain_ts), "%.3g", terms / t_plain);
            std::snprintf(x1, sizeof(x1), "%.1f", t_plain / t_fast1);
            std::snprintf(xn, sizeof(xn), "%.1f", t_plain / t_fastn);
        }
        std::printf("%-14s %-13s %8ld %6ld %7ld %12.4g | %9s %9.3f %9.3f %9.3f | %9s %9.3g %9.3g | %8s %8s | %9.3f "
                    "%9.3f\n",
                    name.c_str(), grid, stats.representatives, cell->total(), stats.images, terms, plain_s, t_fast1,
                    t_fastn, cpu_fastn, plain_ts, terms / t_fast1, terms / t_fastn, x1, xn, t_gen, cpu_gen);
        std::printf("%-14s max |plain - fast| = %.3g eV over %ld points; one thread and %d threads bit-identical: %s\n",
                    "", worst, checked, hw, same ? "yes" : "NO");
        std::printf("%-14s pair terms per CPU second: whole landscape %.3g, pair-term loops alone %.3g (%.3f s)\n", "",
                    terms / cpu_fastn, terms / stats.terms_cpu_seconds, stats.terms_cpu_seconds);
        std::fflush(stdout);
    }
    return 0;
}
