// The column readers of a CIF's site loop (labels, type symbols, states, positions, occupancy,
// fixed sites), the lattice of the structure block, and elements from site labels.
#include "cif-columns.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cell-ops.hpp"
#include "cif-element.hpp"
#include "cif-number.hpp"

namespace {

const char* cell_at(const CifLoop& loop, std::size_t row, long col) {
    return cif_loop_cell(loop, static_cast<long>(row), col);
}

// Type letters and the state written in a type symbol (Li1+, O2-, Fe2.5+); false when the symbol
// starts with no element.
bool type_and_state(const char* value, KELMAR_ATOM& at) {
    if (cif_leading_element(value, at.type) < 0) return false;
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
        if (cif_leading_element(value, atom[i].type) < 0) {
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
// Elements from labels
// --------------------------------------------------------------------------------------------

// A site label is an element symbol followed by a site name of digits, capitals or at most one
// small letter (O1, Oa, KI, OW1, MgIII, Fe2b); a label that goes on in small letters, such as Wat
// or Oxy, is a word, not an element.
int kelmar_atom_name_to_type(std::vector<KELMAR_ATOM>& atom) {
    for (auto& at : atom) {
        if (at.type[0] != '\0') continue;
        if (!cif_element_of_label(at.name, at.type)) {
            at.type[0] = '\0';
            std::fprintf(stderr, "Error: the site label '%s' names no element; the file needs an "
                                 "_atom_site_type_symbol column.\n", at.name);
            std::fprintf(stderr, "Error: unable to read atom.type from atom.name.\n");
            return 1;
        }
    }
    return 0;
}
