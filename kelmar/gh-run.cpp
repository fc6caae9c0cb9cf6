// The "--sites" and "--gh" chains: landscape -> fingerprint grid, derivatives and half-paths ->
// structure and parameters -> site graph -> sites summary or conduction network and its files.
// Every input is read and checked before the first file is written.
#include <cmath>
#include <cstdio>
#include <string>

#include "text-buffer.hpp"
#include "fp-export.hpp"
#include "gh-load.hpp"
#include "cif-write.hpp"
#include "gh-network.hpp"
#include "gh-pool.hpp"
#include "gh-run.hpp"
#include "gh-sites.hpp"
#include "gh.hpp"
#include "kelmar.hpp"

namespace {

struct graph_inputs {
    std::unique_ptr<KELMAR_FPCUBE> fpcube;
    std::unique_ptr<KELMAR_FPHALF_LIST> list;
    std::unique_ptr<KELMAR_GRAPH> graph;
};

bool build_graph(graph_inputs* in, const char* cif, const char* cube_name, const char* type, int os,
                 double barrier_cutoff, bool periodic, const char* dir_unitary, const char* dir_binary,
                 const char* dir_symcards) {
    // the structure first: a wrong CIF is refused before the landscape analysis runs
    GraphStructureInput structure;
    if (!load_graph_structure(&structure, cif, type, os, 0.75, dir_unitary, dir_binary, dir_symcards)) return false;
    GraphLandscapeInput landscape;
    if (!load_graph_landscape(&landscape, cube_name, structure.cell.get(), cif, periodic, dir_unitary, false))
        return false;
    in->fpcube = std::move(landscape.fpcube);
    in->list = std::move(landscape.list);
    if (in->list->total <= 0) {
        std::fprintf(stderr, "Error: %s has no saddle point, so no site is connected to another.\n", cube_name);
        return false;
    }
    if (kelmar_fphalf_list_filter(in->list.get(), barrier_cutoff) != 0) {
        std::fprintf(stderr, "Error: kelmar_fphalf_list_filter() returns non-zero.\n");
        return false;
    }
    in->graph = graph_new_without_hessians(in->list.get(), in->fpcube.get(), structure.cell.get(), structure.ppt.get());
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
    graph_pool_print(graph_pool_levels(in.graph.get()), network.get());
    return 0;
}
