// Operations on whole cells: coordinates, volume, distances, reduction by symmetry, supercells
// and the random assignment of partial occupancies.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "atom-order.hpp"
#include "cell-ops.hpp"
#include "symmetry.hpp"

// --------------------------------------------------------------------------------------------
// Coordinates
// --------------------------------------------------------------------------------------------

void kelmar_cell_update_lattice_cartesion(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    const double a = cell->parameter[0], b = cell->parameter[1], c = cell->parameter[2];
    const double al = cell->angle[0] * KELMAR_DEG2RAD;
    const double be = cell->angle[1] * KELMAR_DEG2RAD;
    const double ga = cell->angle[2] * KELMAR_DEG2RAD;
    double(*v)[3] = cell->a;
    v[0][0] = a;
    v[0][1] = 0.0;
    v[0][2] = 0.0;
    v[1][0] = b * std::cos(ga);
    v[1][1] = b * std::sin(ga);
    v[1][2] = 0.0;
    v[2][0] = c * std::cos(be);
    v[2][1] = (b * c * std::cos(al) - v[2][0] * v[1][0]) / v[1][1];
    const double zz = c * c - v[2][0] * v[2][0] - v[2][1] * v[2][1];
    v[2][2] = std::sqrt(zz > 0.0 ? zz : 0.0);
}

void kelmar_cell_update_coordinate_cartesion(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    for (auto& at : cell->atom)
        for (int k = 0; k < 3; k++)
            at.x[k] = at.x_f[0] * cell->a[0][k] + at.x_f[1] * cell->a[1][k] + at.x_f[2] * cell->a[2][k];
}

void kelmar_cell_update_cartesion(KELMAR_CELL* cell) {
    kelmar_cell_update_lattice_cartesion(cell);
    kelmar_cell_update_coordinate_cartesion(cell);
}

void kelmar_cell_update_lattice_fractional(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    double(*v)[3] = cell->a;
    for (int i = 0; i < 3; i++) cell->parameter[i] = kelmar_vector3_double_length(v[i]);
    auto angle = [](const double* p, const double* q) {
        const double lp = kelmar_vector3_double_length(p), lq = kelmar_vector3_double_length(q);
        if (lp <= 0.0 || lq <= 0.0) return 0.0;
        double c = kelmar_vector3_double_dot(p, q) / (lp * lq);
        c = std::clamp(c, -1.0, 1.0);
        return std::acos(c) * KELMAR_RAD2DEG;
    };
    cell->angle[0] = angle(v[1], v[2]);
    cell->angle[1] = angle(v[2], v[0]);
    cell->angle[2] = angle(v[0], v[1]);
}

void kelmar_cell_update_coordinate_fractional(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    double t[3][3];
    kelmar_matrix33_double_copy(t, cell->a);
    kelmar_matrix33_double_transpose(t);
    for (auto& at : cell->atom) kelmar_matrix33_double_linearsolver(at.x_f, t, at.x);
}

void kelmar_cell_update_fractional(KELMAR_CELL* cell) {
    kelmar_cell_update_lattice_fractional(cell);
    kelmar_cell_update_coordinate_fractional(cell);
}

double kelmar_cell_calculate_volume(const KELMAR_CELL* cell) {
    if (cell == nullptr) return 0.0;
    const double ca = std::cos(cell->angle[0] * KELMAR_DEG2RAD);
    const double cb = std::cos(cell->angle[1] * KELMAR_DEG2RAD);
    const double cg = std::cos(cell->angle[2] * KELMAR_DEG2RAD);
    const double s = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
    return cell->parameter[0] * cell->parameter[1] * cell->parameter[2] * std::sqrt(s > 0.0 ? s : 0.0);
}

void kelmar_cell_bound_fractional(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    for (auto& at : cell->atom)
        for (double& x : at.x_f) x -= std::floor(x);
}

double kelmar_cell_min_distance_btw_atoms(const KELMAR_CELL* cell, const KELMAR_ATOM* atom1,
                                          const KELMAR_ATOM* atom2) {
    double best = -1.0;
    for (int i = -1; i <= 1; i++)
        for (int j = -1; j <= 1; j++)
            for (int k = -1; k <= 1; k++) {
                double d2 = 0.0;
                for (int m = 0; m < 3; m++) {
                    const double p = atom1->x[m] + i * cell->a[0][m] + j * cell->a[1][m] + k * cell->a[2][m];
                    const double d = p - atom2->x[m];
                    d2 += d * d;
                }
                if (best < 0.0 || d2 < best) best = d2;
            }
    return std::sqrt(best);
}

// --------------------------------------------------------------------------------------------
// Symmetry on cells
// --------------------------------------------------------------------------------------------

namespace {

bool check_cell_symmetry(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return false;
    }
    if (symmetry == nullptr || symmetry->card.empty()) {
        std::fprintf(stderr, "Error: KELMAR_SYMMETRY has not been properly initialized.\n");
        return false;
    }
    return true;
}

}  // namespace

// The marks live in a local array, so an incoming fixed-site mark (`ignored`) survives.
std::unique_ptr<KELMAR_CELL> kelmar_cell_reduce_by_symmetry(const KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry) {
    if (!check_cell_symmetry(cell, symmetry)) return nullptr;
    const auto& at = cell->atom;
    const std::size_t n = at.size();
    std::vector<char> mark(n, 0);
    for (std::size_t i = 0; i < n; i++) {
        if (mark[i]) continue;
        for (const KELMAR_CARD& card : symmetry->card) {
            const KELMAR_ATOM img = kelmar_atom_spawn_by_card(at[i], card);
            for (std::size_t j = i + 1; j < n; j++)
                if (!mark[j] && kelmar_atom_equal(img, at[j])) mark[j] = 1;
        }
    }
    auto out = kelmar_cell_new(0);
    kelmar_copy_field(out->name, cell->name);
    std::memcpy(out->a, cell->a, sizeof(out->a));
    std::memcpy(out->parameter, cell->parameter, sizeof(out->parameter));
    std::memcpy(out->angle, cell->angle, sizeof(out->angle));
    out->Z = cell->Z;
    for (std::size_t i = 0; i < n; i++)
        if (!mark[i]) out->atom.push_back(at[i]);
    return out;
}

int kelmar_cell_flag_site_by_symmetry(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry) {
    if (!check_cell_symmetry(cell, symmetry)) return 1;
    auto& at = cell->atom;
    const std::size_t n = at.size();
    for (auto& a : at) a.flag = 0;
    long counter = 1;
    for (std::size_t i = 0; i < n; i++) {
        if (at[i].flag != 0) continue;
        for (const KELMAR_CARD& card : symmetry->card) {
            const KELMAR_ATOM img = kelmar_atom_spawn_by_card(at[i], card);
            at[i].flag = counter;
            for (std::size_t j = i + 1; j < n; j++)
                if (at[j].flag == 0 && kelmar_atom_equal(img, at[j])) at[j].flag = counter;
        }
        counter++;
    }
    return 0;
}

int kelmar_cell_count_type_os(KELMAR_CELL* cell) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return -1;
    }
    kelmar_atom_sort(cell->atom);
    int count = 0;
    const auto& at = cell->atom;
    for (std::size_t i = 0; i < at.size(); i++)
        if (i + 1 == at.size() || std::strcmp(at[i].type, at[i + 1].type) != 0 || at[i].os != at[i + 1].os) count++;
    return count;
}

// --------------------------------------------------------------------------------------------
// Supercells
// --------------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell(const KELMAR_CELL* cell, const long n[3]) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    if (n[0] < 1 || n[1] < 1 || n[2] < 1) {
        std::fprintf(stderr, "Error: supercell parameters must be positive.\n");
        return nullptr;
    }
    // factors from the command line can be absurd: a product that overflows would allocate a
    // short array and the copies would run past its end
    std::size_t total = cell->atom.size();
    for (int k = 0; k < 3; k++)
        if (__builtin_mul_overflow(total, static_cast<std::size_t>(n[k]), &total) ||
            total > std::vector<KELMAR_ATOM>().max_size()) {
            std::fprintf(stderr, "Error: unable to allocate KELMAR_CELL->KELMAR_ATOM.\n");
            return nullptr;
        }
    auto out = kelmar_cell_new(0);
    out->atom.resize(total);
    kelmar_copy_field(out->name, cell->name);
    out->Z = cell->Z;
    for (int k = 0; k < 3; k++)
        for (int m = 0; m < 3; m++) out->a[k][m] = cell->a[k][m] * static_cast<double>(n[k]);
    std::size_t idx = 0;
    for (std::size_t i = 0; i < cell->atom.size(); i++)
        for (long j = 0; j < n[0]; j++)
            for (long k = 0; k < n[1]; k++)
                for (long l = 0; l < n[2]; l++) {
                    KELMAR_ATOM at = cell->atom[i];
                    for (int m = 0; m < 3; m++)
                        at.x[m] += static_cast<double>(j) * cell->a[0][m] + static_cast<double>(k) * cell->a[1][m] +
                                   static_cast<double>(l) * cell->a[2][m];
                    out->atom[idx++] = at;
                }
    kelmar_cell_update_fractional(out.get());
    return out;
}

bool kelmar_cell_supercell_default_size(const KELMAR_CELL* cell, long n[3]) {
    if (cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return false;
    }
    const long total = cell->total();
    long f = 1;
    if (total >= 250) f = 1;
    else if (total >= 32) f = 2;
    else if (total >= 16) f = 2;
    else if (total >= 5) f = 3;
    else if (total >= 2) f = 4;
    else if (total == 1) f = 5;
    else {
        std::fprintf(stderr, "Error: wrong total atom number %ld\n in KELMAR_CELL.\n", total);
        return false;
    }
    n[0] = n[1] = n[2] = f;
    if (total >= 32 && total < 250) {
        const double a = cell->parameter[0], b = cell->parameter[1], c = cell->parameter[2];
        if (a >= b || a >= c) n[0] = 1, n[1] = 2, n[2] = 2;
        if (b >= c || b >= a) n[0] = 2, n[1] = 1, n[2] = 2;
        if (c >= a || c >= b) n[0] = 2, n[1] = 2, n[2] = 1;
    }
    return true;
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_supercell_default(const KELMAR_CELL* cell) {
    long n[3];
    if (!kelmar_cell_supercell_default_size(cell, n)) return nullptr;
    return kelmar_cell_supercell(cell, n);
}

// --------------------------------------------------------------------------------------------
// Partial occupancies
// --------------------------------------------------------------------------------------------

namespace {

constexpr double MIXED_SITE_DISTANCE = 0.3;

bool is_species(const KELMAR_ATOM& at, const char* type, int os) {
    return at.os == os && std::strncmp(at.type, type, 2) == 0;
}

}  // namespace

bool kelmar_cell_partial_occ_at_conducting_site(const KELMAR_CELL* cell, const char* type, int os) {
    if (cell == nullptr || type == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return false;
    }
    const auto& at = cell->atom;
    for (std::size_t i = 0; i < at.size(); i++) {
        if (!is_species(at[i], type, os)) continue;
        for (std::size_t j = 0; j < at.size(); j++) {
            if (is_species(at[j], type, os)) continue;
            if (kelmar_cell_min_distance_btw_atoms(cell, &at[i], &at[j]) < MIXED_SITE_DISTANCE) return true;
        }
    }
    return false;
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_at_conducting_site(KELMAR_CELL* cell, const char* type,
                                                                               int os, RandomEngine& engine) {
    if (cell == nullptr || cell->atom.empty() || type == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    for (auto& a : cell->atom) a.ignored = false;
    const int m = kelmar_cell_count_type_os(cell);
    auto& at = cell->atom;
    const std::size_t n = at.size();

    // species table in list order, and the species of every atom
    std::vector<std::size_t> first_of(static_cast<std::size_t>(m));
    std::vector<int> species(n);
    {
        int s = 0;
        first_of[0] = 0;
        for (std::size_t i = 0; i < n; i++) {
            if (i > 0 && (std::strcmp(at[i].type, at[i - 1].type) != 0 || at[i].os != at[i - 1].os)) {
                s++;
                first_of[static_cast<std::size_t>(s)] = i;
            }
            species[i] = s;
        }
    }
    long first = -1, last = -1;
    for (std::size_t i = 0; i < n; i++)
        if (is_species(at[i], type, os)) {
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
        }

    // both atoms of a close (conducting, other) pair sit on a mixed site
    if (first >= 0) {
        for (long i = first; i <= last; i++)
            for (std::size_t j = 0; j < n; j++) {
                if (is_species(at[j], type, os)) continue;
                if (kelmar_cell_min_distance_btw_atoms(cell, &at[static_cast<std::size_t>(i)], &at[j]) <
                    MIXED_SITE_DISTANCE) {
                    at[static_cast<std::size_t>(i)].ignored = true;
                    at[j].ignored = true;
                }
            }
    }
    // Mixed sites: the marked atoms within 0.3 angstrom of one another form one site. A species'
    // share of a site counts each of its labels once, so that images of one refined position that
    // the expansion left a little apart are one atom, not several.
    std::vector<int> site(n, -1);
    int sites = 0;
    for (std::size_t i = 0; i < n; i++) {
        if (!at[i].ignored || site[i] >= 0) continue;
        std::vector<std::size_t> stack{i};
        site[i] = sites;
        while (!stack.empty()) {
            const std::size_t k = stack.back();
            stack.pop_back();
            for (std::size_t j = 0; j < n; j++)
                if (at[j].ignored && site[j] < 0 &&
                    kelmar_cell_min_distance_btw_atoms(cell, &at[k], &at[j]) < MIXED_SITE_DISTANCE) {
                    site[j] = sites;
                    stack.push_back(j);
                }
        }
        sites++;
    }
    std::vector<std::vector<std::size_t>> member(static_cast<std::size_t>(sites));
    for (std::size_t i = 0; i < n; i++)
        if (site[i] >= 0) member[static_cast<std::size_t>(site[i])].push_back(i);
    // share[site * m + species]: each label once, with the occupancy of its largest image
    std::vector<double> share(static_cast<std::size_t>(sites) * static_cast<std::size_t>(m), 0.0);
    for (int st = 0; st < sites; st++) {
        const auto& mem = member[static_cast<std::size_t>(st)];
        for (std::size_t p = 0; p < mem.size(); p++) {
            const std::size_t i = mem[p];
            bool label_seen = false;
            for (std::size_t q = 0; q < p && !label_seen; q++)
                label_seen = species[mem[q]] == species[i] && std::strcmp(at[mem[q]].name, at[i].name) == 0;
            if (label_seen) continue;
            double occ = 0.0;
            for (std::size_t q = p; q < mem.size(); q++)
                if (species[mem[q]] == species[i] && std::strcmp(at[mem[q]].name, at[i].name) == 0)
                    occ = std::max(occ, at[mem[q]].occ);
            share[static_cast<std::size_t>(st) * static_cast<std::size_t>(m) + static_cast<std::size_t>(species[i])] += occ;
        }
    }
    // Sites of one kind (the same shares of the same species, as the images of one set of
    // refined positions are) are resolved together: of the kind's N sites, a species with share p
    // takes N p rounded, the counts rounded by largest remainders so that together they fill
    // N (sum of the shares) rounded sites, and the rest stay empty. Which sites each species
    // takes is drawn at random. Each kind thus keeps its composition to the nearest whole atom,
    // for any number of species sharing it.
    std::map<std::vector<long>, std::vector<int>> kinds;
    for (int st = 0; st < sites; st++) {
        std::vector<long> key(static_cast<std::size_t>(m));
        for (int s = 0; s < m; s++)
            key[static_cast<std::size_t>(s)] = std::lround(
                1e4 * share[static_cast<std::size_t>(st) * static_cast<std::size_t>(m) + static_cast<std::size_t>(s)]);
        kinds[key].push_back(st);
    }
    for (auto& [key, members] : kinds) {
        const long count = static_cast<long>(members.size());
        std::vector<long> take(static_cast<std::size_t>(m), 0);
        std::vector<std::pair<double, int>> remainder;
        double filled = 0.0;
        long given = 0;
        for (int s = 0; s < m; s++) {
            const double exact = static_cast<double>(count) *
                                 share[static_cast<std::size_t>(members[0]) * static_cast<std::size_t>(m) + static_cast<std::size_t>(s)];
            if (!(exact > 0)) continue;
            filled += exact;
            take[static_cast<std::size_t>(s)] = static_cast<long>(std::floor(exact));
            given += take[static_cast<std::size_t>(s)];
            remainder.emplace_back(exact - std::floor(exact), s);
        }
        const long target = std::min(count, static_cast<long>(std::floor(filled + 0.5)));
        // equal remainders (Li 0.4, Mg 0.4) take the extra sites in random order, not by species order
        for (std::size_t k = remainder.size(); k > 1; k--)
            std::swap(remainder[k - 1], remainder[static_cast<std::size_t>(random_index(engine, 0, static_cast<long>(k - 1)))]);
        std::stable_sort(remainder.begin(), remainder.end(),
                         [](const auto& a, const auto& b) { return std::llround(a.first * 1e9) > std::llround(b.first * 1e9); });
        for (std::size_t k = 0; k < remainder.size() && given < target; k++, given++)
            take[static_cast<std::size_t>(remainder[k].second)]++;
        // the sites in random order, then handed out species by species
        std::vector<int> sites_of_kind = members;
        for (long k = count - 1; k > 0; k--)
            std::swap(sites_of_kind[static_cast<std::size_t>(k)],
                      sites_of_kind[static_cast<std::size_t>(random_index(engine, 0, k))]);
        std::size_t next = 0;
        for (int s = 0; s < m; s++)
            for (long t = 0; t < take[static_cast<std::size_t>(s)] && next < sites_of_kind.size(); t++) {
                const int chosen = sites_of_kind[next++];
                // the first atom of the species on the site stays, whole; the rest of the site goes
                bool kept = false;
                for (std::size_t i : member[static_cast<std::size_t>(chosen)]) {
                    at[i].ignored = false;
                    if (!kept && species[i] == s) {
                        at[i].occ = 1.0;
                        kept = true;
                    } else {
                        at[i].occ = 0.0;
                    }
                }
            }
    }

    // Charge balance with the conducting species: remove or restore whole conducting ions. A
    // removed ion takes away the charge it carried (state times occupancy), and sites already
    // emptied are not picked again, so the running charge stays the charge of the kept atoms;
    // without ions left to move, or for a neutral species, the loops stop.
    if (first >= 0 && os != 0) {
        double q_tot = 0.0;
        for (const auto& a : at)
            if (!a.ignored) q_tot += a.os * a.occ;
        const double q = os;
        // every conducting index from first to last equally likely
        auto pick = [&]() { return static_cast<std::size_t>(random_index(engine, first, last)); };
        auto beyond_remove = [&]() { return q > 0 ? q_tot > q / 2.0 : q_tot < q / 2.0; };
        auto beyond_restore = [&]() { return q > 0 ? q_tot < -q / 2.0 : q_tot > -q / 2.0; };
        while (beyond_remove()) {
            bool any = false;
            for (long i = first; i <= last && !any; i++)
                any = !at[static_cast<std::size_t>(i)].ignored && at[static_cast<std::size_t>(i)].occ > 0.0;
            if (!any) break;
            KELMAR_ATOM& a = at[pick()];
            if (!a.ignored && a.occ > 0.0) {
                q_tot -= q * a.occ;
                a.occ = 0.0;
                a.ignored = true;
            }
        }
        while (beyond_restore()) {
            bool any = false;
            for (long i = first; i <= last && !any; i++) any = at[static_cast<std::size_t>(i)].ignored;
            if (!any) break;
            KELMAR_ATOM& a = at[pick()];
            if (a.ignored) {
                a.occ = 1.0;
                a.ignored = false;
                q_tot += q;
            }
        }
    }

    auto out = kelmar_cell_copy(cell);
    out->atom.clear();
    for (const auto& a : at)
        if (!a.ignored && a.occ >= 0.01) out->atom.push_back(a);
    out->Z = 1;
    for (auto& a : at) a.ignored = false;
    for (auto& a : out->atom) a.ignored = false;
    return out;
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ(const KELMAR_CELL* cell, const char* type, int os,
                                                          RandomEngine& engine) {
    if (cell == nullptr || type == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    const auto& at = cell->atom;
    const std::size_t n = at.size();
    std::vector<char> mark(n, 0);
    double total = 0.0;
    for (std::size_t i = 0; i < n; i++)
        if (is_species(at[i], type, os) && at[i].occ < 1.0) {
            mark[i] = 1;
            total += at[i].occ;
        }
    std::vector<char> partial(mark);
    while (total >= 1.0) {
        const double r = kelmar_random(engine);
        double run = 0.0;
        for (std::size_t i = 0; i < n; i++) {
            if (!mark[i]) continue;
            run += at[i].occ / total;
            if (run >= r) {
                mark[i] = 0;
                total -= 1.0;
                break;
            }
        }
    }
    auto out = kelmar_cell_copy(cell);
    out->atom.clear();
    for (std::size_t i = 0; i < n; i++) {
        if (mark[i]) continue;
        KELMAR_ATOM a = at[i];
        if (partial[i]) a.occ = 1.0;
        a.ignored = false;
        out->atom.push_back(a);
    }
    return out;
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_assign_partial_occ_all(KELMAR_CELL* cell, RandomEngine& engine) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    kelmar_atom_sort(cell->atom);
    struct SPECIES {
        char type[3];
        int os;
    };
    std::vector<SPECIES> list;
    for (std::size_t i = 0; i < cell->atom.size(); i++) {
        const auto& a = cell->atom[i];
        if (i + 1 == cell->atom.size() || std::strcmp(a.type, cell->atom[i + 1].type) != 0 ||
            a.os != cell->atom[i + 1].os) {
            SPECIES s{};
            kelmar_copy_field(s.type, a.type);
            s.os = a.os;
            list.push_back(s);
        }
    }
    auto work = kelmar_cell_copy(cell);
    for (const auto& s : list) {
        if (!kelmar_cell_partial_occ_at_conducting_site(work.get(), s.type, s.os)) continue;
        work = kelmar_cell_assign_partial_occ_at_conducting_site(work.get(), s.type, s.os, engine);
        if (!work) {
            std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ_at_conducting_site() returns NULL.\n");
            return nullptr;
        }
    }
    for (const auto& s : list) {
        work = kelmar_cell_assign_partial_occ(work.get(), s.type, s.os, engine);
        if (!work) {
            std::fprintf(stderr, "Error: kelmar_cell_assign_partial_occ() returns NULL.\n");
            return nullptr;
        }
    }
    return work;
}

void kelmar_atom_sort_by_value(KELMAR_ATOM* atom, long total) {
    if (atom == nullptr) return;
    for (long i = 0; i < total; i++)
        for (long j = i + 1; j < total; j++)
            if (atom[j].value < atom[i].value) std::swap(atom[i], atom[j]);
}
