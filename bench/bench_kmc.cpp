// Hops per second of the kinetic Monte Carlo engine on a real landscape. Builds the site graph of
// a CIF and its cube (as --kmc does, with the screening factor 0.75), the default supercell and
// the KMC record, then times the equilibration and a run of hops at one temperature.
// Usage:
//   bench_kmc structure.cif structure.cube [hops, default 2000000] [cutoff A, default 5]
//            [temperature K, default 600]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "bench_common.hpp"
#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "cif-read.hpp"
#include "property-assemble.hpp"
#include "kmc.hpp"
#include "kmc-supergraph.hpp"

namespace {

using benchkit::Quiet;
using benchkit::seconds_since;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_kmc structure.cif structure.cube [hops] [cutoff] [temperature]\n");
        return 2;
    }
    const long hops = argc > 3 ? std::atol(argv[3]) : 2000000;
    const double cutoff = argc > 4 ? std::atof(argv[4]) : 5.0;
    const double temperature = argc > 5 ? std::atof(argv[5]) : 600.0;
    const std::string data = KELMAR_DATA_DIR;
    const std::string uni = data + "/database_unitary.dat", bin = data + "/database_binary.dat",
                      sym_file = data + "/database_symcards.dat";
    RandomEngine engine(1);
    std::unique_ptr<KELMAR_KMC> kmc;
    auto t0 = std::chrono::steady_clock::now();
    {
        Quiet quiet;
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        if (kelmar_cell_import_cif_from_file(&cell, &sym, argv[1], sym_file.c_str(), uni.c_str()) != 0) return 1;
        auto ppt = kelmar_property_import_from_cell(cell.get(), "Li", 1, 0.75, uni.c_str(), bin.c_str());
        std::unique_ptr<KELMAR_CUBE> cube;
        if (ppt == nullptr || kelmar_cube_import_from_file(&cube, nullptr, argv[2], true, uni.c_str(), true) != 0)
            return 1;
        auto fp = kelmar_fpcube_new_from_cube(cube.get());
        auto list = kelmar_fphalf_list_new_from_fpcube(fp.get());
        auto fft = kelmar_fft_new_from_cube(cube.get());
        auto graph = kelmar_graph_new_filled(list.get(), fp.get(), fft.get(), cell.get(), ppt.get());
        if (graph == nullptr) return 1;
        int s[3];
        for (int p = 0; p < 3; ++p) {
            const double* a = cell->a[p];
            s[p] = static_cast<int>(std::ceil(25.0 / std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2])));
        }
        auto super = kelmar_graph_new_supergraph(graph.get(), s);
        kmc = kelmar_kmc_new(super, ppt.get(), cutoff, engine);
        if (kmc == nullptr) return 1;
        kmc->temperature = temperature;
        kmc->step_limit = hops;
        if (kelmar_kmc_init(kmc.get()) != 0) return 1;
    }
    const double setup = seconds_since(t0);
    long near = 0;
    for (const KELMAR_KMC_VERTEX& kv : kmc->kv) near += kv.total_v;
    t0 = std::chrono::steady_clock::now();
    if (kelmar_kmc_equilibrate(kmc.get()) != 0) return 1;
    const double equil = seconds_since(t0);
    const long equil_hops = std::max(hops / 100, 10000L);
    t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (long h = 0; h < hops; ++h)
        if (kelmar_kmc_evolve(kmc.get()) != 0) return 1;
    const double run = seconds_since(t0);
    const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    std::printf("%s: %ld vertices, %ld edges, %ld ions, cutoff %.1f A (%.1f neighbours, %.1f edges to check per "
                "vertex), T = %.0f K\n",
                argv[1], static_cast<long>(kmc->kv.size()), static_cast<long>(kmc->ke.size()), kmc->ions, cutoff,
                static_cast<double>(near) / static_cast<double>(kmc->kv.size()),
                static_cast<double>(kmc->affect.size()) / static_cast<double>(kmc->kv.size()), temperature);
    std::printf("setup %.2f s; equilibration %ld hops %.2f s; run %ld hops: wall %.2f s = %.3g hops/s, cpu %.2f s = "
                "%.3g hops/s (%.1f ps simulated)\n",
                setup, equil_hops, equil, hops, run, static_cast<double>(hops) / run, cpu,
                static_cast<double>(hops) / cpu, kmc->t);
    return 0;
}
