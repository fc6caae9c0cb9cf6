// Times the Langevin dynamics of --md (Li 1, automatic screening factor, 600 K, dt 1 fs): the
// listed forces of every step against the plain double sum over all images, and the simulated
// picoseconds per wall-clock second of whole steps. Usage:
//   bench_md [production_ps] [file.cif supercell ...]
// Without files it runs Li2O in a 3x3x3 supercell and the garnet Li6La3Nb1.5Y0.5O12 (its
// partly occupied Li sites drawn at random, as --gen-cif-assign does).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench_common.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "oxidation-states.hpp"
#include "property-assemble.hpp"
#include "md.hpp"
#include "md-run.hpp"

namespace {

using benchkit::Quiet;
using benchkit::seconds_since;

const std::string data_dir = std::string(KELMAR_DATA_DIR) + "/";
const std::string unitary = data_dir + "database_unitary.dat";
const std::string binary = data_dir + "database_binary.dat";
const std::string symcards = data_dir + "database_symcards.dat";

std::unique_ptr<KELMAR_MD> prepare(const std::string& file, long rep, RandomEngine& engine) {
    Quiet quiet;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_file(&cell, &sym, file.c_str(), symcards.c_str(), unitary.c_str()) != 0) return nullptr;
    if (!settle_states_for_command(cell.get(), sym.get(), unitary.c_str(), binary.c_str(), true, "Li")) return nullptr;
    bool partial = false;
    for (const KELMAR_ATOM& a : cell->atom) partial |= std::strcmp(a.type, "Li") == 0 && std::fabs(a.occ - 1.0) > 1e-3;
    if (partial) cell = kelmar_cell_assign_partial_occ(cell.get(), "Li", 1, engine);
    if (cell == nullptr) return nullptr;
    if (rep > 1) {
        const long n[3] = {rep, rep, rep};
        cell = kelmar_cell_supercell(cell.get(), n);
    }
    auto ppt = kelmar_property_import_from_cell(cell.get(), "Li", 1, -1.0, unitary.c_str(), binary.c_str());
    if (ppt == nullptr) return nullptr;
    for (KELMAR_ATOM& a : cell->atom) a.ignored = std::strcmp(a.type, "Li") != 0 || a.os != 1;
    kelmar_property_set_conducting(ppt.get(), "Li", 1);
    auto md = kelmar_md_new(cell.get(), ppt.get(), engine);
    md->temperature_init = md->temperature_target = 600.0;
    if (kelmar_md_init_vv(md.get()) != 0) return nullptr;
    return md;
}

}  // namespace

int main(int argc, char** argv) {
    double production = 0.5;
    if (argc > 1) production = std::atof(argv[1]);
    std::vector<std::pair<std::string, long>> runs;
    for (int i = 2; i + 1 < argc; i += 2) runs.emplace_back(argv[i], std::atol(argv[i + 1]));
    if (runs.empty()) {
        const std::string src = BENCH_SOURCE_DIR;
        runs = {{src + "/tests/data/samples/Li2O.cif", 3}, {src + "/tests/data/electrolytes/j5g.cif", 1}};
    }
    std::printf("| structure | atoms | moving | list entries per ion | plain force ms | listed force ms | speed-up | "
                "sample ms | build ms | list builds | ps per s | T_ave K |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [file, rep] : runs) {
        RandomEngine engine(1);
        auto md = prepare(file, rep, engine);
        if (md == nullptr) {
            std::fprintf(stderr, "Error: %s could not be prepared.\n", file.c_str());
            return 1;
        }
        const mdforce::Frame fr = md_force_frame(md.get());
        // the plain double sum, as every step would need it without the list
        MdVec plain = md->f;
        mdforce::DirectSums sums;
        mdforce::Contact contact;
        auto t0 = std::chrono::steady_clock::now();
        const int plain_reps = 3;
        for (int k = 0; k < plain_reps; k++) mdforce::direct_sums(fr, md->x, &sums, &plain, &contact);
        const double plain_ms = 1e3 * seconds_since(t0) / plain_reps;
        t0 = std::chrono::steady_clock::now();
        const int list_reps = 20;
        for (int k = 0; k < list_reps; k++) kelmar_md_calculate_force(md.get());
        const double list_ms = 1e3 * seconds_since(t0) / list_reps;
        // a sample's energy and virial, and a rebuild of the list with its forces
        t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < plain_reps; k++) kelmar_md_calculate_energy_potential(md.get());
        const double sample_ms = 1e3 * seconds_since(t0) / plain_reps;
        t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < plain_reps; k++) {
            md->list.x_built.clear();
            kelmar_md_calculate_force(md.get());
        }
        const double build_ms = 1e3 * seconds_since(t0) / plain_reps - list_ms;
        double worst = 0.0;
        for (long i : md->mobile)
            for (int c = 0; c < 3; c++) worst = std::max(worst, std::fabs(plain[i][c] - md->f[i][c]));
        {
            Quiet quiet;
            // a strong friction first drains the energy of ions drawn onto neighbouring sites
            md->t_equil = 0.5;
            md->zeta = 20.0;
            kelmar_md_equilibrate(md.get());
            md->zeta = 2.0;
        }
        md->t_end = production;
        const long builds0 = md->list.builds;
        t0 = std::chrono::steady_clock::now();
        {
            Quiet quiet;
            kelmar_md_run(md.get());
        }
        const double wall = seconds_since(t0);
        const std::size_t slash = file.find_last_of('/');
        std::printf("| %s x%ld | %ld | %zu | %.0f | %.1f | %.2f | %.0f | %.1f | %.1f | %ld | %.3f | %.0f |\n",
                    file.substr(slash + 1).c_str(), rep, md->cell->total(), md->mobile.size(),
                    static_cast<double>(md->list.entry.size()) / static_cast<double>(md->mobile.size()), plain_ms,
                    list_ms, plain_ms / list_ms, sample_ms, build_ms, md->list.builds - builds0, production / wall,
                    md->temperature_ave);
        std::fprintf(stderr, "%s: largest force difference %.2e eV/A\n", file.c_str(), worst);
    }
    return 0;
}
