// Space-group settings, symmetry operations, expansion of asymmetric units and the fit search.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "atom-order.hpp"
#include "cif-symop.hpp"
#include "data-file.hpp"
#include "symmetry-find.hpp"
#include "symmetry.hpp"

// --------------------------------------------------------------------------------------------
// Operation text
// --------------------------------------------------------------------------------------------

int kelmar_card_set_by_text(KELMAR_CARD* card, const char* text) {
    if (card == nullptr || text == nullptr) return 1;
    kelmar_copy_field(card->text, text);
    CifSymop op;
    std::string why;
    if (!cif_symop_parse(text, op, why)) {
        std::fprintf(stderr, "Error: invalid symmetry operation '%s' (%s).\n", card->text, why.c_str());
        return 1;
    }
    for (int i = 0; i < 3; i++) {
        // a whole-cell shift moves no site off its lattice point: kept in (-1, 1)
        card->t_f[i] = std::fmod(op.trans[i], 1.0);
        for (int j = 0; j < 3; j++) card->r_f[i][j] = op.rot[i][j];
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Settings file
// --------------------------------------------------------------------------------------------

namespace {

// One record of the settings file, as raw lines.
struct SYMCARD_RECORD {
    std::string id_line;
    std::string hall_line;
    std::string hm_line;
    std::string n_line;
    std::vector<std::string> ops;
};

// Reads the settings file into records; false (with the message) when it cannot be opened.
bool read_symcards(const char* path, std::vector<SYMCARD_RECORD>& records, const char* open_msg,
                  bool open_on_stdout = false) {
    records.clear();
    int field = -1;  // -1: between records; 0..3: next header field; 4: operations
    long ops_left = 0;
    const bool opened = visit_data_block(path, DataLineRead::whole, [&](const std::string& whole) {
        std::string line = whole;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (field < 0 || field == 5) {
            if (line.find('#') != std::string::npos) {
                records.emplace_back();
                field = 0;
            }
            return false;
        }
        SYMCARD_RECORD& rec = records.back();
        switch (field) {
        case 0: rec.id_line = line; field = 1; break;
        case 1: rec.hall_line = line; field = 2; break;
        case 2: rec.hm_line = line; field = 3; break;
        case 3: {
            rec.n_line = line;
            ops_left = 0;
            if (std::sscanf(line.c_str(), "%ld", &ops_left) != 1 || ops_left <= 0) ops_left = 0;
            field = ops_left > 0 ? 4 : 5;
            break;
        }
        case 4:
            rec.ops.push_back(line);
            if (--ops_left == 0) field = 5;
            break;
        default: break;
        }
        return false;
    });
    if (!opened) {
        // the setting search reports a missing file on standard output, the importers on the error stream
        std::fprintf(open_on_stdout ? stdout : stderr, open_msg, path ? path : "(null)");
        return false;
    }
    return true;
}

void read_quoted(char (&dst)[16], const std::string& line) {
    char buf[16] = {};
    if (std::sscanf(line.c_str(), " '%15[^'\n\r]", buf) != 1) buf[0] = '\0';
    kelmar_copy_field(dst, buf);
}

// Builds the symmetry of one record.
std::unique_ptr<KELMAR_SYMMETRY> symmetry_from_record(const SYMCARD_RECORD& rec) {
    int n = 0;
    if (std::sscanf(rec.n_line.c_str(), "%d", &n) != 1 || n <= 0 || static_cast<std::size_t>(n) != rec.ops.size()) {
        std::fprintf(stderr, "Error: kelmar_symmetry_new() returns NULL.\n");
        return nullptr;
    }
    auto sym = kelmar_symmetry_new(n);
    if (std::sscanf(rec.id_line.c_str(), "%d", &sym->sg_id) != 1) sym->sg_id = 0;
    read_quoted(sym->sg_Hall, rec.hall_line);
    read_quoted(sym->sg_HM, rec.hm_line);
    for (int i = 0; i < n; i++) {
        if (kelmar_card_set_by_text(&sym->card[static_cast<std::size_t>(i)], rec.ops[static_cast<std::size_t>(i)].c_str()) != 0) {
            std::fprintf(stderr, "kelmar_card_set_by_text() returns non-zero.\n");
            return nullptr;
        }
    }
    return sym;
}

}  // namespace

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_HM(const char* symbol, const char* dir_symcards) {
    if (symbol == nullptr) return nullptr;
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s\n")) return nullptr;
    for (const auto& rec : records) {
        if (rec.hm_line.find(symbol) == std::string::npos) continue;
        auto sym = symmetry_from_record(rec);
        if (sym) kelmar_copy_field(sym->sg_HM, symbol);
        return sym;
    }
    std::fprintf(stderr, "Error: unable to find keyword H-M %s in %s.\n", symbol, dir_symcards);
    return nullptr;
}

// Whether one of the single-quoted texts of a line is exactly symbol.
static bool quoted_equals(const std::string& line, const char* symbol) {
    std::size_t p = 0;
    while ((p = line.find('\'', p)) != std::string::npos) {
        const std::size_t close = line.find('\'', p + 1);
        if (close == std::string::npos) return false;
        if (line.compare(p + 1, close - p - 1, symbol) == 0) return true;
        p = close + 1;
    }
    return false;
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_Hall(const char* symbol, const char* dir_symcards) {
    if (symbol == nullptr) return nullptr;
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s\n")) return nullptr;
    // Hall symbols are prefixes of one another ('P 2' of 'P 2y', 'P -2' of 'P -2yc'), so the
    // record whose quoted symbol is exactly the given one is taken first; the substring rule
    // applies only when no record has it exactly.
    const SYMCARD_RECORD* hit = nullptr;
    for (const auto& rec : records)
        if (quoted_equals(rec.hall_line, symbol)) {
            hit = &rec;
            break;
        }
    for (std::size_t i = 0; hit == nullptr && i < records.size(); i++)
        if (records[i].hall_line.find(symbol) != std::string::npos) hit = &records[i];
    if (hit != nullptr) {
        auto sym = symmetry_from_record(*hit);
        if (sym) kelmar_copy_field(sym->sg_Hall, symbol);
        return sym;
    }
    std::fprintf(stderr, "Error: unable to find keyword Hall %s in %s.\n", symbol, dir_symcards);
    return nullptr;
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_keyword_id(const char* id, const char* dir_symcards) {
    if (id == nullptr) return nullptr;
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s\n")) return nullptr;
    for (const auto& rec : records) {
        if (rec.id_line.find(id) == std::string::npos) continue;
        auto sym = symmetry_from_record(rec);
        if (sym && std::sscanf(id, "%d", &sym->sg_id) != 1) sym->sg_id = 0;
        return sym;
    }
    std::fprintf(stderr, "Error: unable to find keyword id %s in %s.\n", id, dir_symcards);
    return nullptr;
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_import_by_internal_no(int no, const char* dir_symcards) {
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s\n")) return nullptr;
    if (no < 1 || static_cast<std::size_t>(no) > records.size()) return nullptr;
    return symmetry_from_record(records[static_cast<std::size_t>(no - 1)]);
}

namespace {

// A space-group symbol as compared by name: no blanks, no underscores, lower case.
std::string symbol_key(const std::string& s) {
    std::string k;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '_') k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

// An H-M symbol as databases write it, in the key form: a trailing lone letter names the setting
// (ICSD: Z and S the origin choices 2 and 1, H and R the axes), "origin 2" and the like too.
std::string hm_key(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    const std::size_t blank = s.find_last_of(" \t");
    if (blank != std::string::npos && blank + 2 == s.size() && s.find(':') == std::string::npos) {
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(s.back())));
        const char* suffix = last == 'Z' ? ":2" : last == 'S' ? ":1" : last == 'H' ? ":H" : last == 'R' ? ":R" : nullptr;
        if (suffix != nullptr) s = s.substr(0, blank) + suffix;
    }
    return symbol_key(s);
}

// Whether one of the single-quoted texts of a settings line has the key.
bool quoted_key_equals(const std::string& line, const std::string& key) {
    std::size_t p = 0;
    while ((p = line.find('\'', p)) != std::string::npos) {
        const std::size_t close = line.find('\'', p + 1);
        if (close == std::string::npos) return false;
        if (symbol_key(line.substr(p + 1, close - p - 1)) == key) return true;
        p = close + 1;
    }
    return false;
}

}  // namespace

int symcards_record_named(const char* name, bool hall, const char* dir_symcards) {
    if (name == nullptr) return 0;
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s\n")) return -1;
    std::vector<std::string> keys = {hall ? symbol_key(name) : hm_key(name)};
    if (!hall) {
        // a group with one setting has no :2 or :H record: the symbol without its setting names it
        const std::size_t colon = keys[0].find(':');
        if (colon != std::string::npos) keys.push_back(keys[0].substr(0, colon));
    }
    for (const std::string& key : keys) {
        if (key.empty()) continue;
        for (std::size_t i = 0; i < records.size(); i++)
            if (quoted_key_equals(hall ? records[i].hall_line : records[i].hm_line, key))
                return static_cast<int>(i + 1);
    }
    return 0;
}

// --------------------------------------------------------------------------------------------
// Atoms under operations
// --------------------------------------------------------------------------------------------

KELMAR_ATOM kelmar_atom_spawn_by_card(KELMAR_ATOM atom, const KELMAR_CARD& card) {
    double x[3];
    for (int i = 0; i < 3; i++) {
        double v = card.r_f[i][0] * atom.x_f[0] + card.r_f[i][1] * atom.x_f[1] + card.r_f[i][2] * atom.x_f[2] +
                   card.t_f[i];
        v -= std::floor(v);
        if (v >= 1.0) v -= 1.0;
        if (v < 0.0) v += 1.0;
        x[i] = v;
    }
    for (int i = 0; i < 3; i++) atom.x_f[i] = x[i];
    return atom;
}

bool kelmar_atom_equal(const KELMAR_ATOM& a, const KELMAR_ATOM& b) {
    // types are at most two letters: compare them without a library call (hot in expansion)
    if (a.os != b.os || a.type[0] != b.type[0] || (a.type[0] != '\0' && a.type[1] != b.type[1])) return false;
    for (int i = 0; i < 3; i++) {
        const double d = std::fabs(a.x_f[i] - b.x_f[i]);
        if (!(d < 0.005 || std::fabs(d - 1.0) < 0.005)) return false;
    }
    return std::fabs(a.occ - b.occ) < 0.02;
}

bool kelmar_atom_belong(const KELMAR_ATOM& target, const KELMAR_ATOM* atom, long total) {
    for (long i = 0; i < total; i++)
        if (kelmar_atom_equal(target, atom[i])) return true;
    return false;
}

int kelmar_atom_remove_duplicate(std::vector<KELMAR_ATOM>& atom) {
    const std::size_t n = atom.size();
    for (std::size_t i = 0; i < n; i++) {
        if (atom[i].ignored) continue;
        const KELMAR_ATOM& ai = atom[i];
        for (std::size_t j = i + 1; j < n; j++) {
            if (atom[j].ignored) continue;
            if (kelmar_atom_equal(ai, atom[j])) atom[j].ignored = true;
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; i++)
        if (!atom[i].ignored) atom[kept++] = atom[i];
    atom.resize(kept);
    return 0;
}

int kelmar_atom_spawn_by_symmetry(std::vector<KELMAR_ATOM>& atom, const KELMAR_SYMMETRY* symmetry) {
    if (symmetry == nullptr || symmetry->card.empty() || atom.empty()) {
        std::fprintf(stderr, "Error: kelmar_atom_new() returns NULL.\n");
        return 1;
    }
    const std::size_t n = symmetry->card.size();
    std::vector<KELMAR_ATOM> spawn(atom.size() * n);
    for (std::size_t b = 0; b < atom.size(); b++)
        for (std::size_t a = 0; a < n; a++) spawn[b * n + a] = kelmar_atom_spawn_by_card(atom[b], symmetry->card[a]);
    if (kelmar_atom_remove_duplicate(spawn) != 0) {
        std::fprintf(stderr, "Error: kelmar_atom_remove_duplicate() returns non-zero.\n");
        return 1;
    }
    kelmar_atom_sort(spawn);
    atom.swap(spawn);
    return 0;
}

namespace {

// Squared length of the shortest lattice vector between two fractional positions.
double min_image_dist2(const double a[3], const double b[3], const double lattice[3][3]) {
    double f[3];
    for (int k = 0; k < 3; k++) {
        f[k] = a[k] - b[k];
        f[k] -= std::round(f[k]);
    }
    double d2 = 0.0;
    for (int k = 0; k < 3; k++) {
        const double dk = f[0] * lattice[0][k] + f[1] * lattice[1][k] + f[2] * lattice[2][k];
        d2 += dk * dk;
    }
    return d2;
}

}  // namespace

int kelmar_atom_spawn_by_symmetry(std::vector<KELMAR_ATOM>& atom, const KELMAR_SYMMETRY* symmetry,
                                  const double lattice[3][3]) {
    if (symmetry == nullptr || symmetry->card.empty() || atom.empty()) {
        std::fprintf(stderr, "Error: kelmar_atom_new() returns NULL.\n");
        return 1;
    }
    const double tol2 = KELMAR_SITE_TOLERANCE * KELMAR_SITE_TOLERANCE;
    // merging partly occupied images farther apart than coordinate rounding can explain may
    // join split positions of a disordered site: worth a word
    const double round2 = 0.05 * 0.05;
    std::vector<KELMAR_ATOM> spawn;
    spawn.reserve(atom.size() * symmetry->card.size());
    for (std::size_t b = 0; b < atom.size(); b++) {
        const std::size_t start = spawn.size();
        double far2 = 0.0;
        for (const KELMAR_CARD& card : symmetry->card) {
            KELMAR_ATOM img = kelmar_atom_spawn_by_card(atom[b], card);
            img.flag = static_cast<long>(b + 1);
            img.ignored = false;
            bool same = false;
            for (std::size_t j = start; j < spawn.size() && !same; j++) {
                const double d2 = min_image_dist2(img.x_f, spawn[j].x_f, lattice);
                if (d2 < tol2) {
                    same = true;
                    far2 = std::max(far2, d2);
                }
            }
            if (!same) spawn.push_back(img);
        }
        if (far2 >= round2 && atom[b].occ < 0.98)
            std::printf("Warning: images of site %s (occupancy %.3f) up to %.3f A apart are taken as one position.\n",
                        atom[b].name, atom[b].occ, std::sqrt(far2));
    }
    // A position reached from two input sites of the same species and occupancy is listed twice
    // in the file (a symmetry copy given as a site of its own): it is counted once, and said so.
    // Sites of different occupancy at one place (two partial occupants) both stay.
    const std::size_t n = spawn.size();
    std::vector<std::pair<long, long>> told;
    for (std::size_t i = 0; i < n; i++) {
        if (spawn[i].ignored) continue;
        for (std::size_t j = i + 1; j < n; j++) {
            const KELMAR_ATOM& a = spawn[i];
            KELMAR_ATOM& c = spawn[j];
            if (c.ignored || c.flag == a.flag || c.os != a.os || a.type[0] != c.type[0] || a.type[1] != c.type[1] ||
                std::fabs(a.occ - c.occ) >= 0.02)
                continue;
            // both the distance and the fractional site tolerance: sites of an absurdly short axis
            // stay apart as the file lists them
            if (!kelmar_atom_equal(a, c) || min_image_dist2(a.x_f, c.x_f, lattice) >= tol2) continue;
            c.ignored = true;
            const std::pair<long, long> pair{a.flag, c.flag};
            if (std::find(told.begin(), told.end(), pair) == told.end()) {
                told.push_back(pair);
                std::printf("Warning: sites %s and %s coincide; %s is taken as a symmetry copy of %s.\n", a.name, c.name,
                            c.name, a.name);
            }
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; i++)
        if (!spawn[i].ignored) spawn[kept++] = spawn[i];
    spawn.resize(kept);
    kelmar_atom_sort(spawn);
    atom.swap(spawn);
    return 0;
}

// --------------------------------------------------------------------------------------------
// Fit test and setting search
// --------------------------------------------------------------------------------------------

namespace {

bool validate(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, double accuracy) {
    const double acc2 = accuracy * accuracy;
    auto& at = cell->atom;
    const std::size_t n = at.size();
    for (const KELMAR_CARD& card : symmetry->card) {
        for (auto& a : at) a.ignored = false;
        for (std::size_t i = 0; i < n; i++) {
            if (at[i].ignored) continue;
            const KELMAR_ATOM img = kelmar_atom_spawn_by_card(at[i], card);
            bool matched = false;
            for (std::size_t j = 0; j < n; j++) {
                const KELMAR_ATOM& b = at[j];
                if (b.os != img.os || std::strcmp(b.type, img.type) != 0) continue;
                if (std::fabs(b.occ - img.occ) >= 0.0005) continue;
                // The distance is taken to the nearest periodic image of the partner: an image
                // that lands a rounding step below 1 (0.9995 for 1/3 + 2/3 written as 0.333 and
                // 0.667) is the same site as its partner at 0, not a whole cell away.
                double f[3];
                for (int k = 0; k < 3; k++) {
                    f[k] = img.x_f[k] - b.x_f[k];
                    f[k] -= std::round(f[k]);
                }
                double d2 = 0.0;
                for (int k = 0; k < 3; k++) {
                    const double dk = f[0] * cell->a[0][k] + f[1] * cell->a[1][k] + f[2] * cell->a[2][k];
                    d2 += dk * dk;
                }
                if (!(d2 < acc2)) continue;
                at[j].ignored = true;
                matched = true;
                break;
            }
            if (!matched) {
                for (auto& a : at) a.ignored = false;
                return false;
            }
            at[i].ignored = true;
        }
    }
    return true;
}

}  // namespace

bool kelmar_cell_validate_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, double accuracy) {
    if (cell == nullptr || symmetry == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_SYMMETRY has not been properly initialized.\n");
        return false;
    }
    if (!(accuracy > 0.0)) accuracy = 0.01;  // zero, negative or not a number
    return validate(cell, symmetry, accuracy);
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_calculate_from_cell(KELMAR_CELL* cell, double accuracy,
                                                                     const char* dir_symcards) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    if (!(accuracy > 0.0)) accuracy = 0.01;  // zero, negative or not a number
    std::vector<SYMCARD_RECORD> records;
    if (!read_symcards(dir_symcards, records, "Error: unable to open %s.\n", true)) return nullptr;
    const int count = static_cast<int>(records.size());
    std::printf("Message: total %d space group settings found in %s.\n", count, dir_symcards);
    // Every operation of the structure, in its own cell and origin. A setting fits when its
    // operations are among them, at the setting's origin or moved to one the group allows, so a
    // structure away from the standard origin keeps its group. Of the fitting settings the one
    // with the most operations is the space group; among equals the first in file order (the
    // reference setting), unless one of them fits at the structure's own origin. Without a group
    // from the finder, the plain fit test decides.
    const FoundSpaceGroup group = find_space_group(cell, accuracy);
    int found = 0;
    int found_order = 0;
    bool found_in_place = false;
    for (int no = 1; no <= count; no++) {
        auto sym = symmetry_from_record(records[static_cast<std::size_t>(no - 1)]);
        if (!sym) {
            std::fprintf(stderr, "Error: kelmar_symmetry_import_by_internal_no() returns NULL at %d.\n", no);
            return nullptr;
        }
        double origin[3] = {0.0, 0.0, 0.0};
        const bool fits = group.number > 0 ? setting_fits_found_group(*sym, group, origin)
                                           : validate(cell, sym.get(), accuracy);
        if (fits) {
            std::printf("Message: structure fits to symmetry %s.\n", sym->sg_HM);
            const bool in_place = origin[0] == 0.0 && origin[1] == 0.0 && origin[2] == 0.0;
            if (sym->total() > found_order || (sym->total() == found_order && in_place && !found_in_place)) {
                found = no;
                found_order = sym->total();
                found_in_place = in_place;
            }
        }
    }
    if (found == 0) {
        std::fprintf(stderr, "Error: kelmar_symmetry_import_by_internal_no() returns NULL at %d.\n", found);
        return nullptr;
    }
    auto sym = symmetry_from_record(records[static_cast<std::size_t>(found - 1)]);
    if (!sym) {
        std::fprintf(stderr, "Error: kelmar_symmetry_import_by_internal_no() returns NULL at %d.\n", found);
        return nullptr;
    }
    std::printf("Message: determined space group: %s\n", sym->sg_HM);
    // A cell that is not in any tabulated setting (a reduced primitive cell of a centred lattice,
    // say) keeps only the subgroup written in its own axes: say so rather than pass it off as the
    // structure's group.
    if (group.number > 0 && sym->sg_id > 0 && sym->sg_id != group.number)
        std::printf("Warning: the structure has the symmetry of space group No. %d, which no setting matches "
                    "in this cell's axes; transform the cell to a standard setting to see it.\n",
                    group.number);
    return sym;
}
