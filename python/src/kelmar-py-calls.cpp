// The engine calls behind the Python module kelmar (kelmar-py-calls.hpp).
#include "kelmar-py-calls.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "bv.hpp"
#include "cell-ops.hpp"
#include "cif-read.hpp"
#include "cif-write.hpp"
#include "crystal-records.hpp"
#include "cube-models.hpp"
#include "cube-run.hpp"
#include "kmc-run.hpp"
#include "oxidation-states.hpp"
#include "property-assemble.hpp"
#include "property.hpp"
#include "text-buffer.hpp"

namespace kelmar_py {

DataFiles& data_files() {
    static DataFiles files;
    return files;
}

PyStructure PyStructure::clone() const {
    PyStructure c;
    if (cell) c.cell = kelmar_cell_copy(cell.get());
    if (symmetry) c.symmetry = std::make_unique<KELMAR_SYMMETRY>(*symmetry);
    c.text = text;
    c.name = name;
    return c;
}

namespace {

bool refuse(const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    return false;
}

bool read_text(PyStructure* out, const KELMAR_TEXT* text) {
    const DataFiles& d = data_files();
    if (kelmar_cell_import_cif_from_text(&out->cell, &out->symmetry, text, d.symcards.c_str(), d.unitary.c_str()) !=
        0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_text() returns non-zero.\n");
        return false;
    }
    if (!out->cell || out->cell->atom.empty()) return refuse("the structure holds no atom.");
    for (const KELMAR_ATOM& a : out->cell->atom)
        for (int d = 0; d < 3; ++d)
            if (!std::isfinite(a.x[d]) || !std::isfinite(a.x_f[d]))
                return refuse("the structure holds a position that is not a number.");
    out->text = text->content;
    return true;
}

// The states of s settled for a command, in a copy; need_neutral and mobile as the commands give.
bool settled_copy(std::unique_ptr<KELMAR_CELL>* cell, const PyStructure& s, bool need_neutral, const char* mobile) {
    if (!s.cell) return refuse("KELMAR_CELL has not been properly initialized.");
    *cell = kelmar_cell_copy(s.cell.get());
    const DataFiles& d = data_files();
    return settle_states_for_command(cell->get(), s.symmetry.get(), d.unitary.c_str(), d.binary.c_str(),
                                     need_neutral, mobile);
}

}  // namespace

bool read_structure_file(PyStructure* out, const std::string& path) {
    auto text = kelmar_text_import_from_file(path.c_str());
    if (!text) {
        std::fprintf(stderr, "Error: kelmar_text_import_from_file() returns NULL.\n");
        return false;
    }
    out->name = path;
    return read_text(out, text.get());
}

bool read_structure_text(PyStructure* out, const std::string& text, const std::string& name) {
    if (text.find('\0') != std::string::npos) return refuse("the CIF text holds a NUL character.");
    auto t = kelmar_text_new(text.c_str());
    out->name = name;
    return read_text(out, t.get());
}

SiteTable site_table(const KELMAR_CELL& cell) {
    SiteTable t;
    for (const KELMAR_ATOM& a : cell.atom) {
        t.label.emplace_back(a.name);
        t.element.emplace_back(a.type);
        for (int d = 0; d < 3; ++d) {
            t.frac.push_back(a.x_f[d]);
            t.cart.push_back(a.x[d]);
        }
        t.occ.push_back(a.occ);
        t.os.push_back(a.os);
        t.os_default.push_back(a.os_default);
    }
    std::memcpy(t.lattice, cell.a, sizeof(t.lattice));
    return t;
}

bool settled_sites(SiteTable* out, const PyStructure& s) {
    std::unique_ptr<KELMAR_CELL> cell;
    if (!settled_copy(&cell, s, false, nullptr)) return false;
    *out = site_table(*cell);
    return true;
}

bool write_structure_cif(const PyStructure& s, const std::string& path) {
    std::unique_ptr<KELMAR_CELL> cell;
    if (!settled_copy(&cell, s, false, nullptr)) return false;
    if (kelmar_cell_export_cif_to_file(path.c_str(), cell.get(), s.symmetry.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
        return false;
    }
    return true;
}

bool bond_valence_table(BondValenceTable* out, const PyStructure& s) {
    std::unique_ptr<KELMAR_CELL> cell;
    if (!settled_copy(&cell, s, false, nullptr)) return false;
    const DataFiles& d = data_files();
    auto bv = kelmar_bv_calculate_from_cell(cell.get(), s.symmetry.get(), d.unitary.c_str(), d.binary.c_str());
    if (!bv) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_cell() returns NULL.\n");
        return false;
    }
    kelmar_bv_print(bv.get());
    for (long i = 0; i < bv->total; ++i) {
        const KELMAR_ATOM& a = bv->atom[static_cast<std::size_t>(i)];
        out->label.emplace_back(a.name);
        out->element.emplace_back(a.type);
        out->os.push_back(a.os);
        out->occ.push_back(a.occ);
        out->multiplicity.push_back(bv->multi[static_cast<std::size_t>(i)]);
        out->sum.push_back(bv->sum[static_cast<std::size_t>(i)]);
    }
    out->gii = kelmar_gii_calculate_from_bv(bv.get());
    return true;
}

bool compute_landscape(PyLandscape* out, const PyStructure& s, const LandscapeRequest& r) {
    const std::string command = r.model == "bv" ? "--gen-cube" : "--gen-cube-" + r.model;
    const CubeModel* model = cube_model_for(command.c_str());
    if (model == nullptr) return refuse("unknown landscape model (bv, gii, tot or tot-eam).");
    if (r.type.empty() || r.type.size() > 2) return refuse("wrong parameter conducting type.");
    if (r.os == 0) return refuse("wrong parameter conducting os.");
    if (!std::isfinite(r.sf)) return refuse("wrong parameter screening factor.");
    if (!std::isfinite(r.resolution)) return refuse("wrong parameter resolution.");
    kelmar_copy_field(out->type, r.type.c_str());
    out->os = r.os;
    out->resolution = r.resolution <= 0 ? 0.1 : r.resolution;
    out->model = r.model;

    std::unique_ptr<KELMAR_CELL> cell;
    if (!settled_copy(&cell, s, true, out->type)) return false;
    const KELMAR_SYMMETRY* symmetry = s.symmetry.get();
    const DataFiles& d = data_files();
    if (kelmar_cell_partial_occ_at_conducting_site(cell.get(), out->type, out->os)) {
        std::printf("Message: partial occupancy at conducting sites detected. Cube will be generated based on an "
                    "asigned supercell.\n");
        if (!kelmar_cell_formal_charge_balanced(cell.get())) return false;
        auto super = kelmar_cell_supercell_default(cell.get());
        if (!super) return refuse("kelmar_cell_supercell_default() returns NULL.");
        RandomEngine engine(r.seed ? *r.seed : std::random_device{}());
        auto assigned = kelmar_cell_assign_partial_occ_at_conducting_site(super.get(), out->type, out->os, engine);
        if (!assigned) return refuse("kelmar_cell_assign_partial_occ_at_conducting_site() returns NULL.");
        kelmar_cell_update_name(assigned.get());
        auto text = kelmar_cell_export_cif_to_text(assigned.get(), nullptr);
        if (!text) return refuse("kelmar_cell_export_cif_to_text() returns NULL.");
        // the structure of the landscape as its CIF reads back, as the graph commands would read it
        if (!read_structure_text(&out->source, text->content, s.name + " (assigned)")) return false;
        cell = std::move(assigned);
        symmetry = nullptr;
        out->assigned = true;
    } else {
        out->source = s.clone();
    }
    out->ppt = kelmar_property_import_from_cell(cell.get(), out->type, out->os, r.sf, d.unitary.c_str(),
                                                d.binary.c_str());
    if (!out->ppt) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return false;
    }
    out->cube = cube_model_from_cell(*model, cell.get(), symmetry, out->ppt.get(), out->resolution,
                                     r.ignore_conducting);
    if (!out->cube) {
        std::fprintf(stderr, "Error: %s() returns NULL.\n", model->from_cell_name);
        return false;
    }
    out->cell = std::move(cell);
    return true;
}

bool write_landscape_cube(const PyLandscape& land, const std::string& path, bool periodic) {
    if (kelmar_cube_export_to_file(land.cube.get(), land.cell.get(), land.ppt.get(), path.c_str(), periodic) != 0) {
        std::fprintf(stderr, "Error: kelmar_cube_export_to_file() returns non-zero.\n");
        return false;
    }
    return true;
}

bool landscape_percolation(LandscapeNetworkEnergies* out, const PyLandscape& land, double barrier_max) {
    if (!std::isfinite(barrier_max)) return refuse("wrong parameter barrier_max.");
    const DataFiles& d = data_files();
    GraphStructureInput structure;
    if (!graph_structure_from_cell(&structure, land.source.cell.get(), land.source.symmetry.get(),
                                   land.source.name.c_str(), land.type, land.os, 0.75, d.unitary.c_str(),
                                   d.binary.c_str()))
        return false;
    return landscape_network_energies(out, land.cube.get(), structure, barrier_max);
}

bool landscape_kmc(double* sigma, const PyLandscape& land, const KmcRequest& r) {
    namespace fs = std::filesystem;
    if (!std::isfinite(r.sf) || !std::isfinite(r.temperature) || !std::isfinite(r.t_limit) ||
        !std::isfinite(r.cutoff))
        return refuse("wrong parameter: kMC parameters must be finite numbers.");
    // The kMC chain reads its structure and landscape from files: both go to a private directory
    // that is removed with everything the chain writes there.
    std::string pattern = (fs::temp_directory_path() / "kelmar-kmc-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return refuse("unable to create a temporary directory.");
    const fs::path dir(pattern);
    struct Cleanup {
        fs::path dir;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{dir};
    const std::string cif = (dir / "structure.cif").string(), cube = (dir / "structure.cube").string();
    if (std::FILE* f = std::fopen(cif.c_str(), "wb")) {
        const bool ok = std::fwrite(land.source.text.data(), 1, land.source.text.size(), f) == land.source.text.size();
        if (std::fclose(f) != 0 || !ok) return refuse("unable to write the temporary structure file.");
    } else {
        return refuse("unable to write the temporary structure file.");
    }
    if (!write_landscape_cube(land, cube, true)) return false;
    int s[3] = {r.supercell[0] < 1 ? 0 : r.supercell[0], r.supercell[1] < 1 ? 0 : r.supercell[1],
                r.supercell[2] < 1 ? 0 : r.supercell[2]};
    RandomEngine engine(r.seed);
    const DataFiles& d = data_files();
    const double v = kelmar_kmc_calculate_conductivity_from_file(
        cif.c_str(), cube.c_str(), land.type, land.os, s, std::max(r.sf, 0.0), std::max(r.temperature, 0.0),
        std::max(r.t_limit, 0.0), std::max(r.step_limit, 0L), std::max(r.step_log, 0L), r.cutoff, d.unitary.c_str(),
        d.binary.c_str(), d.symcards.c_str(), engine);
    if (v < 0.0) {
        std::fprintf(stderr, "Error: kelmar_kmc_calculate_conductivity_from_file() returns negative value.\n");
        return false;
    }
    *sigma = v;
    return true;
}

}  // namespace kelmar_py
