// Reading a structure from a CIF: the structure's data block, its symmetry, the site loop, the
// lattice, and the expansion to the full cell.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cell-ops.hpp"
#include "cif-document.hpp"
#include "cif-number.hpp"
#include "cif-parse.hpp"
#include "cif-read.hpp"
#include "cif-symmetry.hpp"
#include "cif-write.hpp"
#include "symmetry.hpp"

namespace {

// Element symbols of the periodic table (deuterium written as D too).
const char* const kElements[] = {
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",  "Cl", "Ar", "K",
    "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr",
    "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La",
    "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os",
    "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U",  "Np", "Pu", "Am",
    "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl",
    "Mc", "Lv", "Ts", "Og", "D"};

bool is_element(const char* s) {
    for (const char* e : kElements)
        if (std::strcmp(e, s) == 0) return true;
    return false;
}

// The element a text starts with (after any non-letters): two letters when they form an element
// symbol, else one. *rest points behind the symbol. False when no element fits.
bool leading_element(const char* text, char type[3], const char** rest) {
    const char* p = text;
    while (*p != '\0' && !std::isalpha(static_cast<unsigned char>(*p))) p++;
    if (*p == '\0') return false;
    char sym[3] = {static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))), '\0', '\0'};
    if (std::isalpha(static_cast<unsigned char>(p[1]))) {
        sym[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
        if (is_element(sym)) {
            std::memcpy(type, sym, 3);
            *rest = p + 2;
            return true;
        }
        sym[1] = '\0';
    }
    if (!is_element(sym)) return false;
    std::memcpy(type, sym, 3);
    *rest = p + 1;
    return true;
}

const char* cell_at(const CifLoop& loop, std::size_t row, long col) {
    return cif_loop_cell(loop, static_cast<long>(row), col);
}

// Type letters and the state written in a type symbol (Li1+, O2-, Fe2.5+); false when the symbol
// starts with no element.
bool type_and_state(const char* value, KELMAR_ATOM& at) {
    const char* rest = nullptr;
    if (!leading_element(value, at.type, &rest)) return false;
    const char* digit = value;
    while (*digit != '\0' && !std::isdigit(static_cast<unsigned char>(*digit))) digit++;
    if (*digit == '\0') {
        at.value = 99.0;
        return true;
    }
    double os = 0.0;
    if (std::sscanf(digit, "%lf", &os) != 1 || !std::isfinite(os)) os = 99.0;
    // the sign may also stand before the number (O-2 as well as O2-)
    else if (std::strchr(value, '-') != nullptr) os = -os;
    at.value = os;
    return true;
}

// Column whose tag is tag (canonical form): an exact tag first, else the first tag holding it.
long column_holding(const CifLoop& loop, const char* tag) {
    const long exact = cif_loop_column(loop, tag);
    if (exact >= 0 || loop.empty()) return exact;
    for (std::size_t c = 0; c < loop[0].size(); c++)
        if (cif_canonical_tag(loop[0][c]).find(tag) != std::string::npos) return static_cast<long>(c);
    return -1;
}

// Whether a type-symbol cell names nothing, so that the label must.
bool no_symbol(const char* v) { return v == nullptr || v[0] == '\0' || cif_is_placeholder(v); }

}  // namespace

// --------------------------------------------------------------------------------------------
// Column readers
// --------------------------------------------------------------------------------------------

int kelmar_cell_import_cif_read_atom_name(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop) {
    const long col = cif_loop_column(loop, "_atom_site_label");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_label'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = cell_at(loop, i + 1, col);
        if (v == nullptr) {
            std::fprintf(stderr, "Error: sscanf() returns 0.\n");
            return 1;
        }
        kelmar_copy_field(atom[i].name, v);
        atom[i].value = 99.0;
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom_type(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop) {
    const long col = cif_loop_column(loop, "_atom_site_type_symbol");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_type_symbol'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = cell_at(loop, i + 1, col);
        if (no_symbol(v)) continue;  // the label names the element
        char value[128] = {};
        kelmar_copy_field(value, v);
        if (!type_and_state(value, atom[i])) {
            std::fprintf(stderr, "Error: invalid field content %s.\n", value);
            return 1;
        }
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom_typeos(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop,
                                            const CifLoop& loop_type) {
    const long col = cif_loop_column(loop, "_atom_site_type_symbol");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_type_symbol'.\n");
        return 1;
    }
    const long c_sym = cif_loop_column(loop_type, "_atom_type_symbol");
    const long c_os = cif_loop_column(loop_type, "_atom_type_oxidation_number");
    if (c_sym < 0 || c_os < 0 || c_sym == c_os) {
        std::fprintf(stderr, "Error: invalid keywords.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = cell_at(loop, i + 1, col);
        if (no_symbol(v)) continue;
        char value[128] = {};
        kelmar_copy_field(value, v);
        const char* rest = nullptr;
        if (!leading_element(value, atom[i].type, &rest)) {
            std::fprintf(stderr, "Error: invalid field content %s.\n", value);
            return 1;
        }
        bool found = false;
        for (std::size_t r = 1; r < loop_type.size() && !found; r++) {
            const char* s = cell_at(loop_type, r, c_sym);
            if (s == nullptr || std::strcmp(s, value) != 0) continue;
            double os = 99.0;
            if (!cif_read_number(cell_at(loop_type, r, c_os), &os)) os = 99.0;
            atom[i].value = os;
            found = true;
        }
        if (!found) {
            std::fprintf(stderr, "Error: type symbol %s of site %s is not in the _atom_type loop.\n", value, atom[i].name);
            std::fprintf(stderr, "Error: invalid field.\n");
            return 1;
        }
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop) {
    const long c_occ = cif_loop_column(loop, "_atom_site_occupancy");
    const long c_x[3] = {cif_loop_column(loop, "_atom_site_fract_x"), cif_loop_column(loop, "_atom_site_fract_y"),
                         cif_loop_column(loop, "_atom_site_fract_z")};
    if (c_x[0] < 0 || c_x[1] < 0 || c_x[2] < 0) {
        std::fprintf(stderr, "Error: invalid keywords.\n");
        return 1;
    }
    static const char* const axis = "xyz";
    for (std::size_t i = 0; i < atom.size(); i++) {
        // without the column, or with ? or . in it, a site is fully occupied (the CIF default)
        double occ = 1.0;
        const char* o = c_occ >= 0 ? cell_at(loop, i + 1, c_occ) : nullptr;
        if (o != nullptr && !cif_is_placeholder(o) && !cif_read_number(o, &occ)) {
            std::fprintf(stderr, "Error: unable to read occupancy.\n");
            return 1;
        }
        // a negative occupancy is no site at all; it would also poison every weighted draw later
        if (occ < 0.0) {
            std::fprintf(stderr, "Error: negative occupancy %f at %s.\n", occ, atom[i].name);
            return 1;
        }
        atom[i].occ = occ;
        for (int k = 0; k < 3; k++) {
            double x = 0.0;
            if (!cif_read_number(cell_at(loop, i + 1, c_x[k]), &x)) {
                std::fprintf(stderr, "Error: unable to read fractional %c.\n", axis[k]);
                return 1;
            }
            x = std::fmod(x, 1.0);
            if (x < 0.0) x += 1.0;
            if (x >= 1.0) x -= 1.0;
            atom[i].x_f[k] = x;
        }
    }
    return 0;
}

int kelmar_cell_import_cif_read_atom_constraint(std::vector<KELMAR_ATOM>& atom, const CifLoop& loop) {
    const long col = column_holding(loop, "_atom_site_kelmar_fixed");
    if (col < 0) {
        std::fprintf(stderr, "Error: unable to find keyword '_atom_site_kelmar_fixed'.\n");
        return 1;
    }
    for (std::size_t i = 0; i < atom.size(); i++) {
        const char* v = cell_at(loop, i + 1, col);
        atom[i].ignored = v != nullptr && (v[0] == 't' || v[0] == 'T');
    }
    return 0;
}


int kelmar_cell_import_cif_read_lattice(KELMAR_CELL* cell, const CifBlock& block) {
    static const char* const tags[6] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                                        "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
    double v[6];
    for (int i = 0; i < 6; i++) {
        const std::string* s = block.value(tags[i]);
        if (s == nullptr) {
            std::fprintf(stderr, "Error: %s is missing.\n", tags[i]);
            std::fprintf(stderr, "Error: kelmar_cell_import_cif_grep_keyword() returns NULL.\n");
            return 1;
        }
        if (!cif_read_number(s->c_str(), &v[i])) {
            std::fprintf(stderr, "Error: unable to read %s.\n", tags[i]);
            return 1;
        }
    }
    for (int i = 0; i < 3; i++) {
        cell->parameter[i] = v[i];
        cell->angle[i] = v[i + 3];
    }
    // A cell of zero or negative length, or angles that close no cell, has no volume: every
    // later distance and fractional conversion would divide by it.
    const double vol = kelmar_cell_calculate_volume(cell);
    if (v[0] <= 0.0 || v[1] <= 0.0 || v[2] <= 0.0 || v[3] <= 0.0 || v[4] <= 0.0 || v[5] <= 0.0 || v[3] >= 180.0 ||
        v[4] >= 180.0 || v[5] >= 180.0 || !(vol > 1e-6) || !std::isfinite(vol)) {
        std::fprintf(stderr, "Error: invalid lattice %f %f %f %f %f %f.\n", v[0], v[1], v[2], v[3], v[4], v[5]);
        return 1;
    }
    const std::string* z = block.value("_cell_formula_units_z");
    cell->Z = 0;
    if (z == nullptr || std::sscanf(z->c_str(), "%d", &cell->Z) != 1) {
        cell->Z = 0;
        std::printf("Warning: _cell_formula_units_Z is not available. \n");
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Atom-list steps
// --------------------------------------------------------------------------------------------

// A site label is an element symbol followed by a site name of digits, capitals or at most one
// small letter (O1, Oa, KI, OW1, MgIII, Fe2b); a label that goes on in small letters, such as Wat
// or Lig, is a word, not an element.
int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom) {
    for (auto& at : atom) {
        if (at.type[0] != '\0') continue;
        const char* rest = nullptr;
        const bool ok = leading_element(at.name, at.type, &rest);
        if (!ok || (std::islower(static_cast<unsigned char>(rest[0])) && std::islower(static_cast<unsigned char>(rest[1])))) {
            at.type[0] = '\0';
            std::fprintf(stderr, "Error: the site label '%s' names no element; the file needs an "
                                 "_atom_site_type_symbol column.\n", at.name);
            std::fprintf(stderr, "Error: unable to read atom.type from atom.name.\n");
            return 1;
        }
    }
    return 0;
}

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
        const char* v = cell_at(loop, r, col);
        if (copies[r] == 0 || v == nullptr || std::sscanf(v, "%d", &mul) != 1 || mul <= 0) continue;
        const long n = count[r] / copies[r];
        const char* label = cell_at(loop, r, cif_loop_column(loop, "_atom_site_label"));
        if (n != mul)
            std::printf("Warning: site %s has %ld positions in the cell; the file gives multiplicity %d.\n",
                        label != nullptr ? label : "?", n, mul);
    }
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
    const CifBlock& block = blocks[static_cast<std::size_t>(cif_structure_block(blocks))];
    if (blocks.size() > 1)
        std::printf("Message: %zu data blocks in the file; the structure is read from data_%s.\n", blocks.size(),
                    block.name.c_str());

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
