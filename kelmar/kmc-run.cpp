// The --kmc chain: structure and parameters -> landscape, fingerprint grid, derivatives and
// half-paths -> site graph -> supergraph -> kinetic Monte Carlo -> the result files. Everything is
// read and checked before the first file is written; a run that fails takes its files back.
#include "kmc.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cube.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "import-os.hpp"
#include "import-ppt.hpp"
#include "import.hpp"
#include "kelmar.hpp"
#include "kmc-near.hpp"

namespace {

constexpr double kLatticeMatch = 0.02;  // A: cube and CIF lattice lengths agree this closely

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Same lattice lengths and angles (writers may orient the axes differently).
bool lattices_agree(const double a[3][3], const double b[3][3]) {
    for (int r = 0; r < 3; ++r) {
        if (std::fabs(length3(a[r]) - length3(b[r])) > kLatticeMatch) return false;
        for (int s = r + 1; s < 3; ++s) {
            const double ca = (a[r][0] * a[s][0] + a[r][1] * a[s][1] + a[r][2] * a[s][2]) / (length3(a[r]) * length3(a[s]));
            const double cb = (b[r][0] * b[s][0] + b[r][1] * b[s][1] + b[r][2] * b[s][2]) / (length3(b[r]) * length3(b[s]));
            if (std::fabs(ca - cb) > 1e-3) return false;
        }
    }
    return true;
}

std::string with_suffix(const char* base, const char* suffix) {
    std::string name(base);
    if (name.size() > 1000) name.resize(1000);
    return name + suffix;
}

// The cell graph of the landscape; null after the error line.
std::unique_ptr<KELMAR_GRAPH> landscape_graph(const char* cube_name, const KELMAR_CELL* cell,
                                              const KELMAR_PROPERTY* ppt, const char* dir_unitary) {
    std::unique_ptr<KELMAR_CUBE> cube;
    if (kelmar_cube_import_from_file(&cube, nullptr, cube_name, true, dir_unitary, true) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_import_from_file() returns non-zero.\n");
        return nullptr;
    }
    for (int r = 0; r < 3; ++r)
        if (cube->n[r] < 3) {
            std::fprintf(stderr, "Error: %s has %ld grid point(s) along axis %d; the analysis needs at least 3.\n",
                         cube_name, cube->n[r], r + 1);
            return nullptr;
        }
    if (!lattices_agree(cube->a, cell->a)) {
        std::fprintf(stderr, "Error: the cell of %s does not match the cell of the structure.\n", cube_name);
        return nullptr;
    }
    auto fpcube = kelmar_fpcube_new_from_cube(cube.get());
    if (fpcube == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fpcube_new_from_cube() returns NULL.\n");
        return nullptr;
    }
    auto list = kelmar_fphalf_list_new_from_fpcube(fpcube.get());
    if (list == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_new_from_fpcube() returns NULL.\n");
        return nullptr;
    }
    auto fft = kelmar_fft_new_from_cube(cube.get());
    if (fft == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fft_new_from_cube() returns NULL.\n");
        return nullptr;
    }
    cube.reset();
    auto graph = kelmar_graph_new_filled(list.get(), fpcube.get(), fft.get(), cell, ppt);
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
                                                   const char* dir_symcards) {
    constexpr double kFailed = -0.1;
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_file(&cell, &sym, cif, dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return kFailed;
    }
    if (!settle_states_for_command(cell.get(), sym.get(), dir_unitary, dir_binary, false, type)) return kFailed;
    sym.reset();
    auto ppt = kelmar_property_import_from_cell(cell.get(), type, os, sf, dir_unitary, dir_binary);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return kFailed;
    }
    long mobile = 0;
    for (const KELMAR_ATOM& atom : cell->atom)
        if (atom.type[0] == type[0] && atom.type[1] == type[1] && atom.os == os) ++mobile;
    if (ppt->conducting < 0 || mobile == 0) {
        std::fprintf(stderr, "Error: %s holds no %s%d%c ion to move.\n", cif, type, os < 0 ? -os : os,
                     os < 0 ? '-' : '+');
        return kFailed;
    }

    auto graph = landscape_graph(cube, cell.get(), ppt.get(), dir_unitary);
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
    auto kmc = kelmar_kmc_new(super, ppt.get(), cutoff);
    if (kmc == nullptr) {
        std::fprintf(stderr, "Error: kelmar_kmc_new() returns NULL.\n");
        return kFailed;
    }
    ppt.reset();
    kmc->temperature = temperature;
    kmc->t_limit = t_limit;
    kmc->step_limit = step_limit;
    kmc->step_log = step_log;
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
