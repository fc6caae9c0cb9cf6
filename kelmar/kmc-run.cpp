// The --kmc chain: structure and parameters -> landscape, fingerprint grid, derivatives and
// half-paths -> site graph -> supergraph -> kinetic Monte Carlo -> the result files. Everything is
// read and checked before the first file is written; a run that fails takes its files back.
#include "kmc-run.hpp"
#include "kmc.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "gh-load.hpp"
#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "property-assemble.hpp"
#include "kelmar.hpp"
#include "kmc-near.hpp"
#include "kmc-supergraph.hpp"
#include "kmc-out.hpp"
#include "kmc-progress.hpp"

namespace {

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

std::string with_suffix(const char* base, const char* suffix) {
    std::string name(base);
    if (name.size() > 1000) name.resize(1000);
    return name + suffix;
}

// The cell graph of the landscape; null after the error line.
std::unique_ptr<KELMAR_GRAPH> landscape_graph(const char* cube_name, const char* cif, const KELMAR_CELL* cell,
                                              const KELMAR_PROPERTY* ppt, const char* dir_unitary) {
    GraphLandscapeInput landscape;
    if (!load_graph_landscape(&landscape, cube_name, cell, cif, true, dir_unitary)) return nullptr;
    auto graph = kelmar_graph_new_filled(landscape.list.get(), landscape.fpcube.get(), landscape.fft.get(), cell, ppt);
    if (graph == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new_filled() returns NULL.\n");
        return nullptr;
    }
    if (graph->total_e <= 0) {
        std::fprintf(stderr, "Error: %s has no hop between two different sites; no ion can move.\n", cube_name);
        return nullptr;
    }
    return graph;
}

// Vertex positions of the supergraph, taken to the frame of the structure's supercell (the cube
// may orient the same lattice differently).
void to_structure_frame(KELMAR_CELL* out, const KELMAR_GRAPH* g, std::size_t first) {
    for (std::size_t k = first; k < out->atom.size(); ++k) {
        KELMAR_ATOM& at = out->atom[k];
        double f[3];
        kmc_fractional(f, g->a, at.x);
        for (int q = 0; q < 3; ++q) at.x[q] = f[0] * out->a[0][q] + f[1] * out->a[1][q] + f[2] * out->a[2][q];
    }
}

}  // namespace

double kelmar_kmc_calculate_conductivity_from_file(const char* cif, const char* cube, const char* type, int os,
                                                   int s[3], double sf, double temperature, double t_limit,
                                                   long step_limit, long step_log, double cutoff,
                                                   const char* dir_unitary, const char* dir_binary,
                                                   const char* dir_symcards, RandomEngine& engine) {
    constexpr double kFailed = -0.1;
    GraphStructureInput structure;
    if (!load_graph_structure(&structure, cif, type, os, sf, dir_unitary, dir_binary, dir_symcards)) return kFailed;
    std::unique_ptr<KELMAR_CELL> cell = std::move(structure.cell);
    std::unique_ptr<KELMAR_PROPERTY> ppt = std::move(structure.ppt);

    auto graph = landscape_graph(cube, cif, cell.get(), ppt.get(), dir_unitary);
    if (graph == nullptr) return kFailed;
    for (int p = 0; p < 3; ++p)
        if (s[p] < 1) s[p] = static_cast<int>(std::ceil(KELMAR_KMC_SPAN / length3(cell->a[p])));
    std::printf("Message: supercell [%d, %d, %d]\n", s[0], s[1], s[2]);
    auto super = kelmar_graph_new_supergraph(graph.get(), s);
    if (super == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new_supergraph() returns NULL.\n");
        return kFailed;
    }
    graph.reset();
    auto kmc = kelmar_kmc_new(super, ppt.get(), cutoff, engine);
    if (kmc == nullptr) {
        std::fprintf(stderr, "Error: kelmar_kmc_new() returns NULL.\n");
        return kFailed;
    }
    ppt.reset();
    kmc->temperature = temperature;
    kmc->t_limit = t_limit;
    kmc->step_limit = step_limit;
    kmc->step_log = step_log;
    kmc->progress = kmc_progress_wanted();
    const std::string logname = with_suffix(cif, ".kmc.log.txt"), xyzname = with_suffix(cif, ".kmc.xyz.txt");
    kelmar_copy_field(kmc->logname, logname.c_str());
    kelmar_copy_field(kmc->xyzname, xyzname.c_str());

    std::vector<std::string> written{logname, xyzname};
    const auto fail = [&written, &kmc]() {
        kmc.reset();  // closes the logs
        for (const std::string& f : written) std::remove(f.c_str());
        return kFailed;
    };
    if (kelmar_kmc_init(kmc.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_init() returns non-zero.\n");
        return fail();
    }
    auto init_cell = kelmar_kmc_export_to_cell(kmc.get());
    if (init_cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_kmc_export_to_cell() returns NULL.\n");
        return fail();
    }
    const std::string init_name = with_suffix(cif, ".kmc.init.cif");
    if (kelmar_cell_export_cif_to_file(init_name.c_str(), init_cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return fail();
    }
    written.push_back(init_name);
    if (kelmar_kmc_calculate_conductivity(kmc.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_kmc_calculate_conductivity() returns non-zero.\n");
        return fail();
    }
    const double sigma = kmc->conductivity[3];

    const long n[3] = {s[0], s[1], s[2]};
    auto supercell = kelmar_cell_supercell(cell.get(), n);
    if (supercell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_supercell() returns NULL.\n");
        return fail();
    }
    const std::size_t first = [&]() {
        std::size_t kept = 0;
        for (const KELMAR_ATOM& a : supercell->atom)
            if (!(a.type[0] == kmc->graph->type[0] && a.type[1] == kmc->graph->type[1] && a.os == kmc->graph->os))
                ++kept;
        return kept;
    }();
    auto occ_cell = kelmar_kmc_export_occ_to_cell(kmc.get(), supercell.get());
    if (occ_cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_kmc_export_occ_to_cell() returns NULL.\n");
        return fail();
    }
    to_structure_frame(occ_cell.get(), kmc->graph.get(), first);
    kelmar_cell_update_fractional(occ_cell.get());
    const std::string out = with_suffix(cif, ".kmc.cif");
    if (kelmar_cell_export_cif_to_file(out.c_str(), occ_cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return fail();
    }
    return sigma;
}
