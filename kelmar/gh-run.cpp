// The "--sites" and "--gh" chains: landscape -> fingerprint grid, derivatives and half-paths ->
// structure and parameters -> site graph -> sites summary or conduction network and its files.
// Every input is read and checked before the first file is written.
#include <cmath>
#include <cstdio>
#include <string>

#include "cube.hpp"
#include "ds.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "gh.hpp"
#include "import-os.hpp"
#include "import-ppt.hpp"
#include "import.hpp"
#include "kelmar.hpp"

namespace {

constexpr double kCellMatch = 0.02;  // A: lattice lengths of cube and CIF must agree this closely

struct graph_inputs {
    std::unique_ptr<KELMAR_FPCUBE> fpcube;
    std::unique_ptr<KELMAR_FPHALF_LIST> list;
    std::unique_ptr<KELMAR_GRAPH> graph;
};

double row_length(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
double row_dot(const double u[3], const double v[3]) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

// The landscape must belong to the structure: same lattice lengths and angles (the orientation
// may differ between writers).
bool same_lattice(const double a[3][3], const double b[3][3]) {
    for (int r = 0; r < 3; ++r) {
        if (std::fabs(row_length(a[r]) - row_length(b[r])) > kCellMatch) return false;
        for (int s = r + 1; s < 3; ++s) {
            const double ca = row_dot(a[r], a[s]) / (row_length(a[r]) * row_length(a[s]));
            const double cb = row_dot(b[r], b[s]) / (row_length(b[r]) * row_length(b[s]));
            if (std::fabs(ca - cb) > 1e-3) return false;
        }
    }
    return true;
}

bool build_graph(graph_inputs* in, const char* cif, const char* cube_name, const char* type, int os,
                 double barrier_cutoff, bool periodic, const char* dir_unitary, const char* dir_binary,
                 const char* dir_symcards) {
    // the structure first: a wrong CIF is refused before the landscape analysis runs
    std::unique_ptr<KELMAR_CELL> cell;
    std::unique_ptr<KELMAR_SYMMETRY> sym;
    if (kelmar_cell_import_cif_from_file(&cell, &sym, cif, dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
        return false;
    }
    // states the file leaves out are settled as for the landscape that was computed from it
    if (!settle_states_for_command(cell.get(), sym.get(), dir_unitary, dir_binary, false, type)) return false;
    sym.reset();
    auto ppt = kelmar_property_import_from_cell(cell.get(), type, os, 0.75, dir_unitary, dir_binary);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return false;
    }
    long mobile = 0;
    for (const KELMAR_ATOM& atom : cell->atom)
        if (atom.type[0] == type[0] && atom.type[1] == type[1] && atom.os == os) ++mobile;
    if (ppt->conducting < 0 || mobile == 0) {
        std::fprintf(stderr, "Error: %s holds no %s%d%c ion to move.\n", cif, type, os < 0 ? -os : os,
                     os < 0 ? '-' : '+');
        return false;
    }

    std::unique_ptr<KELMAR_CUBE> cube;
    if (kelmar_cube_import_from_file(&cube, nullptr, cube_name, periodic, dir_unitary, true) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_import_from_file() returns non-zero.\n");
        return false;
    }
    for (int r = 0; r < 3; ++r)
        if (cube->n[r] < 3) {
            std::fprintf(stderr, "Error: %s has %ld grid point(s) along axis %d; the analysis needs at least 3.\n",
                         cube_name, cube->n[r], r + 1);
            return false;
        }
    if (!same_lattice(cube->a, cell->a)) {
        std::fprintf(stderr, "Error: the cell of %s does not match the cell of %s.\n", cube_name, cif);
        return false;
    }
    in->fpcube = kelmar_fpcube_new_from_cube(cube.get());
    if (in->fpcube == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fpcube_new_from_cube() returns NULL.\n");
        return false;
    }
    auto fft = kelmar_fft_new_from_cube(cube.get());
    if (fft == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fft_new_from_cube() returns NULL.\n");
        return false;
    }
    cube.reset();
    in->list = kelmar_fphalf_list_new_from_fpcube(in->fpcube.get());
    if (in->list == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_new_from_fpcube() returns NULL.\n");
        return false;
    }
    if (in->list->total <= 0) {
        std::fprintf(stderr, "Error: %s has no saddle point, so no site is connected to another.\n", cube_name);
        return false;
    }
    if (kelmar_fphalf_list_filter(in->list.get(), barrier_cutoff) != 0) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_filter() returns non-zero.\n");
        return false;
    }
    in->graph = kelmar_graph_new_filled(in->list.get(), in->fpcube.get(), fft.get(), cell.get(), ppt.get());
    if (in->graph == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new_filled() returns NULL.\n");
        return false;
    }
    if (in->graph->v.empty()) {
        std::fprintf(stderr, "Error: no half-path of %s ends at a minimum; the site graph is empty.\n", cube_name);
        return false;
    }
    return true;
}

std::string base_name(const char* base, const char* suffix) {
    std::string name(base);
    if (name.size() > 1000) name.resize(1000);
    return name + suffix;
}

}  // namespace

int kelmar_graph_sites_calculate_from_file(const char* cif, const char* cube, const char* type, int os, double de,
                                           double dr, double barrier_cutoff, bool output_long, bool periodic,
                                           const char* dir_unitary, const char* dir_binary, const char* dir_symcards) {
    graph_inputs in;
    if (!build_graph(&in, cif, cube, type, os, barrier_cutoff, periodic, dir_unitary, dir_binary, dir_symcards))
        return 1;
    auto sites = kelmar_graph_sites_new(in.graph.get(), in.list.get(), in.fpcube.get(), de, dr);
    if (sites == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_sites_new() returns NULL.\n");
        return 1;
    }
    in = graph_inputs{};
    auto cell = kelmar_graph_sites_export_to_cell(sites.get());
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_sites_export_to_cell() returns NULL.\n");
        return 1;
    }
    const std::string out = base_name(cif, ".site.cif");
    // a failed write is reported: the user would otherwise look for a file that is not there
    if (kelmar_cell_export_cif_to_file(out.c_str(), cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    if (output_long) kelmar_graph_sites_print(sites.get());
    else kelmar_graph_sites_print_reduced(sites.get());
    return 0;
}

int kelmar_graph_network_calculate_from_file_export_full(const char* base, const char* cif, const char* cube,
                                                         const char* type, int os, double barrier_cutoff,
                                                         bool periodic, const char* dir_unitary,
                                                         const char* dir_binary, const char* dir_symcards) {
    graph_inputs in;
    if (!build_graph(&in, cif, cube, type, os, barrier_cutoff, periodic, dir_unitary, dir_binary, dir_symcards))
        return 1;
    // everything is computed before the first file is written
    auto graph_cell = kelmar_graph_export_to_cell(in.graph.get());
    if (graph_cell == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_export_to_cell() returns NULL.\n");
        return 1;
    }
    auto cycles = kelmar_graph_cycle_list_new_from_graph(in.graph.get());
    if (cycles == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_cycle_list_new_from_graph() returns NULL.\n");
        return 1;
    }
    auto network = kelmar_graph_network_new_from_cycle_list(cycles.get());
    if (network == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_network_new_from_cycle_list() returns NULL.\n");
        return 1;
    }
    auto table = kelmar_graph_network_export_to_text(network.get(), in.list.get(), in.fpcube.get(), in.graph->a);
    if (table == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_network_export_to_text() returns NULL.\n");
        return 1;
    }
    struct path_file {
        std::string name;
        std::unique_ptr<KELMAR_CELL> cell;
    };
    std::vector<path_file> paths;
    const struct {
        double span;
        const char* suffix;
        std::vector<const KELMAR_GRAPH_CYCLE*> cycles;
    } nets[] = {{network->e1, ".gh.1d.cif", {network->c1}},
                {network->e2, ".gh.2d.cif", {network->c2[0], network->c2[1]}},
                {network->e3, ".gh.3d.cif", {network->c3[0], network->c3[1], network->c3[2]}},
                {network->el, ".gh.0d.cif", {network->cl}}};
    for (const auto& net : nets) {
        if (net.span < 0.0) continue;
        kelmar_fpcube_clear_type(in.fpcube.get());
        for (const KELMAR_GRAPH_CYCLE* c : net.cycles) kelmar_graph_cycle_label_path(c, in.list.get(), in.fpcube.get());
        auto cell = kelmar_fpcube_export_to_cell(in.fpcube.get());
        if (cell == nullptr) {
            std::fprintf(stderr, "Error: kelmar_fpcube_export_to_cell() returns NULL.\n");
            return 1;
        }
        paths.push_back({base_name(base, net.suffix), std::move(cell)});
    }

    std::vector<std::string> written;
    const auto undo = [&written]() {
        for (const std::string& f : written) std::remove(f.c_str());
    };
    const std::string graph_file = base_name(base, ".gh.cif");
    if (kelmar_cell_export_cif_to_file(graph_file.c_str(), graph_cell.get(), nullptr) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return 1;
    }
    written.push_back(graph_file);
    const std::string table_file = base_name(base, ".gh.txt");
    if (kelmar_text_export_to_file(table.get(), table_file.c_str()) != 0) {
        std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero.\n");
        undo();
        return 1;
    }
    written.push_back(table_file);
    for (const path_file& f : paths) {
        if (kelmar_cell_export_cif_to_file(f.name.c_str(), f.cell.get(), nullptr) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
            undo();
            return 1;
        }
        written.push_back(f.name);
    }
    kelmar_graph_network_print(network.get());
    return 0;
}
