// Reading a structure from a CIF: the structure's data block, its symmetry, the site loop, the
// lattice, and the expansion to the full cell. The column readers are in cif-columns.cpp.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "atom-order.hpp"
#include "atom-states.hpp"
#include "cell-ops.hpp"
#include "cif-cell-check.hpp"
#include "cif-columns.hpp"
#include "cif-document.hpp"
#include "cif-element.hpp"
#include "cif-formula.hpp"
#include "cif-parse.hpp"
#include "cif-read.hpp"
#include "cif-symmetry.hpp"
#include "cif-water.hpp"
#include "cif-write.hpp"
#include "symmetry.hpp"

// --------------------------------------------------------------------------------------------
// Reading a structure
// --------------------------------------------------------------------------------------------

namespace {

// Positions per input site against the multiplicity the file states, where it does: a
// difference means the expansion and the file's author disagree about the structure.
void check_multiplicity(const std::vector<KELMAR_ATOM>& asym, const std::vector<KELMAR_ATOM>& cell,
                        const CifLoop& loop) {
    const long col = cif_loop_column(loop, "_atom_site_symmetry_multiplicity");
    if (col < 0) return;
    const std::size_t rows = loop.size() - 1;
    std::vector<long> count(rows + 1, 0), copies(rows + 1, 0);
    for (const auto& a : asym)
        if (a.flag >= 1 && static_cast<std::size_t>(a.flag) <= rows) copies[static_cast<std::size_t>(a.flag)]++;
    for (const auto& a : cell)
        if (a.flag >= 1 && static_cast<std::size_t>(a.flag) <= rows) count[static_cast<std::size_t>(a.flag)]++;
    for (std::size_t r = 1; r <= rows; r++) {
        int mul = 0;
        const char* v = cif_loop_cell(loop, static_cast<long>(r), col);
        if (copies[r] == 0 || v == nullptr || std::sscanf(v, "%d", &mul) != 1 || mul <= 0) continue;
        const long n = count[r] / copies[r];
        const char* label = cif_loop_cell(loop, static_cast<long>(r), cif_loop_column(loop, "_atom_site_label"));
        if (n != mul)
            std::printf("Warning: site %s has %ld positions in the cell; the file gives multiplicity %d.\n",
                        label != nullptr ? label : "?", n, mul);
    }
}

// The file's formula times Z against the composition of the cell read: a difference over 2 % in
// any element gets one warning line (symmetry images merged, occupancies lost or doubled).
void warn_formula_mismatch(const CifBlock& block, const std::vector<KELMAR_ATOM>& atom) {
    std::map<std::string, double> cell;
    for (const KELMAR_ATOM& a : atom) cell[a.type] += a.occ;
    const CifFormulaCheck check = cif_formula_check(block, cell);
    if (!check.differs) return;
    std::printf("Warning: the cell holds %s, _chemical_formula_sum x _cell_formula_units_Z gives %s (%s differs by "
                "%.0f%%); the cell is used.\n",
                check.cell.c_str(), check.file.c_str(), check.element.c_str(), 100.0 * check.worst);
}

}  // namespace

int kelmar_cell_import_cif_from_text(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const KELMAR_TEXT* text, const char* dir_symcards, const char* dir_unitary) {
    cell->reset();
    symmetry->reset();
    std::printf("Message: reading cif file...\n");
    // the line count of the text belongs to the console report of every read
    std::vector<std::string> lines;
    kelmar_text_segregate_into_rows(lines, text, '\n');

    std::vector<CifBlock> blocks;
    std::string why, note;
    if (text == nullptr || !cif_parse_blocks(text->content, blocks, why, note)) {
        std::fprintf(stderr, "Error: %s.\n", text == nullptr ? "no text" : why.c_str());
        return 1;
    }
    if (!note.empty()) std::printf("Message: %s.\n", note.c_str());
    CifBlock& block = blocks[static_cast<std::size_t>(cif_structure_block(blocks))];
    if (blocks.size() > 1)
        std::printf("Message: %zu data blocks in the file; the structure is read from data_%s.\n", blocks.size(),
                    block.name.c_str());
    if (!cif_block_check(block, why)) {
        std::fprintf(stderr, "Error: %s.\n", why.c_str());
        return 1;
    }
    if (const auto water = cif_block_read_water_names(block); !water.empty()) {
        std::string sites;
        for (const std::string& label : water) sites += (sites.empty() ? "" : " ") + label;
        std::printf("Warning: %s: %s.\n", kCifWaterRule, sites.c_str());
    }

    auto sym = cif_block_symmetry(block, dir_symcards);
    if (!sym) {
        std::fprintf(stderr, "Error: kelmar_symmetry_import_from_array_char_2D() returns NULL.\n");
        return 1;
    }
    const CifLoop* loop = block.loop_with("_atom_site_fract_x");
    if (loop == nullptr) loop = block.loop_with("_atom_site_label");
    if (loop == nullptr || loop->size() < 2) {
        std::fprintf(stderr, "Error: unable to find compulsory keyword '_atom_site_label' in cif file.\n");
        return 1;
    }
    std::vector<KELMAR_ATOM> atom(loop->size() - 1);
    if (kelmar_cell_import_cif_read_atom_name(atom, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_name() returns non-zero.\n");
        return 1;
    }
    const CifLoop* states = block.loop_with("_atom_type_oxidation_number");
    if (cif_loop_column(*loop, "_atom_site_type_symbol") < 0) {
        std::printf("Message: unable to find keyword '_atom_site_type_symbol'.\n");
    } else if (states != nullptr) {
        if (cif_loop_column(*states, "_atom_type_symbol") < 0) {
            std::fprintf(stderr, "Error: unable to find keyword '_atom_type_symbol' in cif file.\n");
            return 1;
        }
        if (kelmar_cell_import_cif_read_atom_typeos(atom, *loop, *states) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_typeos() returns non-zero.\n");
            return 1;
        }
    } else if (kelmar_cell_import_cif_read_atom_type(atom, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_type() returns non-zero.\n");
        return 1;
    }
    if (cif_loop_column(*loop, "_atom_site_occupancy") < 0)
        std::printf("Message: no _atom_site_occupancy column; every site is taken as fully occupied.\n");
    if (kelmar_cell_import_cif_read_atom(atom, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom() returns non-zero.\n");
        return 1;
    }
    if (kelmar_atom_name_to_type(atom) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_name_to_typeos() returns non-zero.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) atom[i].flag = static_cast<long>(i + 1);
    if (kelmar_atom_fork_os(atom) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_fork_os() returns non-zero.\n");
        return 1;
    }
    // the lattice comes first: images of a site are compared by their distance in angstrom
    auto c = kelmar_cell_new(0);
    if (kelmar_cell_import_cif_read_lattice(c.get(), block) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_lattice() returns non-zero.\n");
        return 1;
    }
    kelmar_cell_update_lattice_cartesion(c.get());
    std::vector<KELMAR_ATOM> asym = atom;
    if (kelmar_atom_spawn_by_symmetry(atom, sym.get(), c->a) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_spawn_by_symmetry() returns non-zero.\n");
        return 1;
    }
    // the expansion numbers the images by their input atom; the fork keeps a row's number
    check_multiplicity(asym, atom, *loop);
    for (auto& a : atom) a.flag = 0;
    c->atom = std::move(atom);
    kelmar_cell_update_cartesion(c.get());
    bool unknown = false;
    for (const auto& at : c->atom) unknown = unknown || at.os == KELMAR_OS_UNKNOWN;
    if (kelmar_atom_update_default_os(c->atom, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_update_default_os() returns non-zero.\n");
        return 1;
    }
    // states filled in from the parameter file can break the type/state order of the list
    if (unknown) kelmar_atom_sort(c->atom);
    kelmar_cell_update_name(c.get());
    warn_formula_mismatch(block, c->atom);
    std::printf("Message: calculated cell volume = %f\n", kelmar_cell_calculate_volume(c.get()));
    *cell = std::move(c);
    *symmetry = std::move(sym);
    return 0;
}

int kelmar_cell_import_cif_from_file(std::unique_ptr<KELMAR_CELL>* cell, std::unique_ptr<KELMAR_SYMMETRY>* symmetry,
                                     const char* cif, const char* dir_symcards, const char* dir_unitary) {
    cell->reset();
    symmetry->reset();
    auto text = kelmar_text_import_from_file(cif);
    if (!text) {
        std::fprintf(stderr, "Error: kelmar_text_import_from_file() returns NULL.\n");
        return 1;
    }
    if (kelmar_cell_import_cif_from_text(cell, symmetry, text.get(), dir_symcards, dir_unitary) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_text() returns NULL.\n");
        return 1;
    }
    return 0;
}

std::vector<std::unique_ptr<KELMAR_CELL>> kelmar_cells_import_cif_from_file(const char* filename, int total,
                                                                            const char* dir_symcards,
                                                                            const char* dir_unitary) {
    std::vector<std::unique_ptr<KELMAR_CELL>> cells;
    if (total <= 0) {
        std::fprintf(stderr, "Error: number of cells must be larger than zero.\n");
        return cells;
    }
    for (int i = 0; i < total; i++) {
        char name[1100];
        std::snprintf(name, sizeof(name), "%s.%d.cif", filename, i);
        std::unique_ptr<KELMAR_CELL> cell;
        std::unique_ptr<KELMAR_SYMMETRY> sym;
        if (kelmar_cell_import_cif_from_file(&cell, &sym, name, dir_symcards, dir_unitary) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_from_file() returns non-zero.\n");
            cells.clear();
            return cells;
        }
        cells.push_back(std::move(cell));
    }
    return cells;
}

namespace {

// Whether a block has a fixed-site tag (the column _atom_site_kelmar_fixed, in whatever loop).
bool block_names_fixed_sites(const CifBlock& block) {
    for (const auto& pair : block.pairs)
        if (pair.first.find("_kelmar_fixed") != std::string::npos) return true;
    for (const auto& loop : block.loops)
        for (const auto& tag : loop[0])
            if (tag.find("_kelmar_fixed") != std::string::npos) return true;
    return false;
}

}  // namespace

int kelmar_cell_import_cif_read_constraint(KELMAR_CELL* cell, const char* filename) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    std::FILE* probe = filename != nullptr ? std::fopen(filename, "rb") : nullptr;
    if (probe == nullptr) {
        std::fprintf(stderr, "Error: unable to open %s\n", filename != nullptr ? filename : "(null)");
        return 1;
    }
    std::fclose(probe);
    auto text = kelmar_text_import_from_file(filename);
    if (text == nullptr) {
        std::fprintf(stderr, "Error: kelmar_text_import_from_file() returns NULL.\n");
        return 1;
    }
    // the line count of the text belongs to the console report of every read
    std::vector<std::string> lines;
    if (kelmar_text_segregate_into_rows(lines, text.get(), '\n') != 0) {
        std::fprintf(stderr, "Error: kelmar_text_segregate_rows() returns non-zero.\n");
        return 1;
    }
    // the same block the structure was read from, cut by the same tokenizer
    std::vector<CifBlock> blocks;
    std::string why, note;
    if (!cif_parse_blocks(text->content, blocks, why, note)) {
        std::fprintf(stderr, "Error: %s.\n", why.c_str());
        return 1;
    }
    const CifBlock& block = blocks[static_cast<std::size_t>(cif_structure_block(blocks))];
    if (!block_names_fixed_sites(block)) {
        std::printf("Message: keyword '_kelmar_fixed' not found in cif file.\n");
        return 1;
    }
    const CifLoop* loop = block.loop_with("_atom_site_label");
    if (loop == nullptr) {
        std::printf("Message: keyword '_atom_site_label' not found in cif file.\n");
        return 1;
    }
    std::vector<KELMAR_ATOM> site(loop->size() - 1);
    if (kelmar_cell_import_cif_read_atom_name(site, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_name() returns non-zero.\n");
        return 1;
    }
    if (kelmar_cell_import_cif_read_atom(site, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom() returns non-zero.\n");
        return 1;
    }
    if (kelmar_cell_import_cif_read_atom_constraint(site, *loop) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_import_cif_read_atom_constraint() returns non-zero.\n");
        return 1;
    }
    for (KELMAR_ATOM& s : site)
        for (int c = 0; c < 3; c++)
            s.x[c] = s.x_f[0] * cell->a[0][c] + s.x_f[1] * cell->a[1][c] + s.x_f[2] * cell->a[2][c];
    for (KELMAR_ATOM& a : cell->atom)
        for (const KELMAR_ATOM& s : site) {
            if (std::string(a.name) != s.name) continue;
            if (kelmar_cell_min_distance_btw_atoms(cell, &s, &a) < 0.001) {
                a.ignored = s.ignored;
                break;
            }
        }
    return 0;
}
