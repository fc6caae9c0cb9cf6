// Times the bond-valence landscape of --gen-cube (Li 1, automatic sf) on a few structures:
// the reference loop against the production path on one thread and on all threads, and the whole
// --gen-cube flow (parameters, landscape, file). Usage:
//   bench_cube [resolution] [file.cif ...]
// Without files it runs LiFePO4, Li3V2PO43, Li10GeP2S12 and the garnet Li6La3Nb1.5Y0.5O12.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cube.hpp"
#include "import-ppt.hpp"
#include "import.hpp"

namespace {

const std::string data_dir = std::string(KELMAR_DATA_DIR) + "/";
const std::string unitary = data_dir + "database_unitary.dat";
const std::string binary = data_dir + "database_binary.dat";
const std::string symcards = data_dir + "database_symcards.dat";

// Console chatter of the library goes to /dev/null while a calculation runs.
struct Quiet {
    int saved = -1;
    Quiet() {
        std::fflush(stdout);
        saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    double resolution = 0.1;
    std::vector<std::string> files;
    if (argc > 1) resolution = std::atof(argv[1]);
    for (int i = 2; i < argc; ++i) files.push_back(argv[i]);
    if (files.empty()) {
        const std::string src = BENCH_SOURCE_DIR;
        files = {src + "/tests/data/samples/LiFePO4.cif", src + "/tests/data/samples/Li3V2PO43.cif",
                 src + "/tests/data/samples/Li10GeP2S12.cif", src + "/tests/data/electrolytes/j5g.cif"};
    }
    const int hw = static_cast<int>(std::thread::hardware_concurrency());
    std::printf("resolution %.3f A, hardware threads %d\n", resolution, hw);
    std::printf("%-14s %-13s %8s %6s %7s %12s | %9s %9s %9s | %9s %9s | %8s %8s | %9s\n", "structure", "grid", "distinct",
                "atoms", "images", "pair terms", "plain s", "fast1 s", "fastN s", "plain t/s", "fastN t/s", "x fast1",
                "x fastN", "gen-cube s");
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
                cell = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), "Li", 1);
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
        double t_plain, t_fast1, t_fastn, t_gen;
        {
            Quiet q;
            // the production path is timed best of three: the machine is shared
            t_fastn = t_fast1 = 1e30;
            std::chrono::steady_clock::time_point t0;
            for (int rep = 0; rep < 3; ++rep) {
                t0 = std::chrono::steady_clock::now();
                fastn = kelmar_cube_calculate_threads(cell.get(), sym.get(), ppt.get(), resolution, true, hw, &stats);
                t_fastn = std::min(t_fastn, seconds_since(t0));
                t0 = std::chrono::steady_clock::now();
                fast1 = kelmar_cube_calculate_threads(cell.get(), sym.get(), ppt.get(), resolution, true, 1);
                t_fast1 = std::min(t_fast1, seconds_since(t0));
            }
            t0 = std::chrono::steady_clock::now();
            plain = kelmar_cube_calculate_plain(cell.get(), sym.get(), ppt.get(), resolution, true);
            t_plain = seconds_since(t0);
            // the whole command: parameters (with the sf search), landscape, cube file
            std::unique_ptr<KELMAR_CELL> c2;
            std::unique_ptr<KELMAR_SYMMETRY> s2;
            t0 = std::chrono::steady_clock::now();
            kelmar_cell_import_cif_from_file(&c2, &s2, file.c_str(), symcards.c_str(), unitary.c_str());
            const std::string out = "/tmp/bench_cube_" + std::to_string(getpid()) + ".cube";
            const std::string cif = "/tmp/bench_cube_" + std::to_string(getpid()) + "_assigned.cif";
            kelmar_cube_calculate_from_cell_and_write_to_file_assign_partial_occ(
                out.c_str(), cif.c_str(), c2.get(), s2.get(), "Li", 1, -0.1, resolution, true, true, false,
                unitary.c_str(), binary.c_str());
            t_gen = seconds_since(t0);
            std::remove(out.c_str());
            std::remove(cif.c_str());
            std::remove(kelmar_cubename_assigned(out.c_str()).c_str());
        }
        if (!plain || !fast1 || !fastn) {
            std::printf("%s: landscape failed\n", name.c_str());
            continue;
        }
        double worst = 0.0;
        for (std::size_t p = 0; p < plain->en.data.size(); ++p)
            worst = std::max(worst, std::fabs(plain->en.data[p] - fast1->en.data[p]));
        const bool same = fast1->en.data == fastn->en.data;
        char grid[32];
        std::snprintf(grid, sizeof(grid), "%ldx%ldx%ld", plain->n[0], plain->n[1], plain->n[2]);
        const double terms = static_cast<double>(stats.pair_terms);
        std::printf("%-14s %-13s %8ld %6ld %7ld %12.4g | %9.3f %9.3f %9.3f | %9.3g %9.3g | %8.1f %8.1f | %9.3f\n",
                    name.c_str(), grid, stats.representatives, cell->total(), stats.images, terms, t_plain, t_fast1,
                    t_fastn, terms / t_plain, terms / t_fastn, t_plain / t_fast1, t_plain / t_fastn, t_gen);
        std::printf("%-14s max |plain - fast| = %.3g eV; one thread and %d threads bit-identical: %s\n", "", worst, hw,
                    same ? "yes" : "NO");
        std::fflush(stdout);
    }
    return 0;
}
