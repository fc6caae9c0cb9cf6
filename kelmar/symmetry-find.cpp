// Space group of a structure by spglib, and the test of a setting against it.
#include "symmetry-find.hpp"

#include <spglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "neighbor.hpp"

namespace {

// One spglib dataset, freed with the handle.
struct DatasetHandle {
    SpglibDataset* p = nullptr;
    explicit DatasetHandle(SpglibDataset* d) : p(d) {}
    ~DatasetHandle() {
        if (p) spg_free_dataset(p);
    }
    DatasetHandle(const DatasetHandle&) = delete;
    DatasetHandle& operator=(const DatasetHandle&) = delete;
};

double wrap(double v) {
    v -= std::floor(v);
    return v >= 1.0 ? v - 1.0 : v;
}

// Where a dataset's standard origin lies in the cell's own fractional coordinates. spglib maps a
// point x of the cell to P x + p of its standard cell (P the transformation, p the origin shift),
// so the standard origin is x = -P^-1 p; P is a change of basis (a permutation of axes, a sign
// change, a centring), not necessarily the identity even when the cell's axes are those of a
// tabulated setting. False when P cannot be inverted.
bool standard_origin_in_cell(const SpglibDataset& ds, double origin[3]) {
    const auto& m = ds.transformation_matrix;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 1e-9)) return false;
    for (int i = 0; i < 3; i++) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        double v = 0.0;
        for (int j = 0; j < 3; j++) {
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            v += (m[j1][i1] * m[j2][i2] - m[j1][i2] * m[j2][i1]) / det * ds.origin_shift[j];
        }
        origin[i] = wrap(-v);
    }
    return true;
}

}  // namespace

FoundSpaceGroup find_space_group(const KELMAR_CELL* cell, double tolerance) {
    FoundSpaceGroup g;
    if (cell == nullptr || cell->atom.empty()) return g;
    if (!(tolerance > 0.0)) tolerance = 0.01;
    const auto& at = cell->atom;
    const std::size_t n = at.size();

    // sites: atoms closer than the tolerance share one site; a site's kind is its species list
    std::vector<int> site_of(n, -1);
    std::vector<std::vector<std::size_t>> members;
    for (std::size_t i = 0; i < n; i++) {
        if (site_of[i] >= 0) continue;
        site_of[i] = static_cast<int>(members.size());
        members.push_back({i});
        // the nearest images within one cell vector in each direction, as for any other pair
        // distance of a cell; the tolerance is far below a cell length
        const long one_cell[3] = {1, 1, 1};
        latimg::for_each_neighbor(*cell, one_cell, at[i].x, tolerance,
                                  [&](long jl, const latimg::Image&, const double*, double d2) {
                                      const auto j = static_cast<std::size_t>(jl);
                                      if (j > i && site_of[j] < 0 && d2 < tolerance * tolerance) {
                                          site_of[j] = site_of[i];
                                          members.back().push_back(j);
                                      }
                                  });
    }
    std::map<std::string, int> kind_of;
    std::vector<std::array<double, 3>> position(members.size());
    std::vector<int> kind(members.size());
    for (std::size_t s = 0; s < members.size(); s++) {
        std::vector<std::string> parts;
        for (std::size_t i : members[s]) {
            char buf[64];
            std::snprintf(buf, sizeof(buf), "%s:%d:%.3f", at[i].type, at[i].os, at[i].occ);
            parts.emplace_back(buf);
        }
        std::sort(parts.begin(), parts.end());
        std::string key;
        for (const auto& p : parts) key += p + ";";
        auto it = kind_of.emplace(key, static_cast<int>(kind_of.size()) + 1).first;
        kind[s] = it->second;
        for (int k = 0; k < 3; k++) position[s][k] = wrap(at[members[s].front()].x_f[k]);
    }

    double lattice[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) lattice[i][j] = cell->a[j][i];  // basis vectors as columns
    const int count = static_cast<int>(position.size());
    auto* pos = reinterpret_cast<double(*)[3]>(position.data());
    DatasetHandle ds(spg_get_dataset(lattice, pos, kind.data(), count, tolerance));
    if (ds.p == nullptr || ds.p->spacegroup_number <= 0) return g;
    g.number = ds.p->spacegroup_number;
    for (int k = 0; k < ds.p->n_operations; k++) {
        std::array<int, 9> r;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) r[static_cast<std::size_t>(3 * i + j)] = ds.p->rotations[k][i][j];
        g.operation[r].push_back({wrap(ds.p->translations[k][0]), wrap(ds.p->translations[k][1]),
                                  wrap(ds.p->translations[k][2])});
    }
    for (int k = 0; k < 3; k++) {
        const double len = std::sqrt(cell->a[k][0] * cell->a[k][0] + cell->a[k][1] * cell->a[k][1] +
                                     cell->a[k][2] * cell->a[k][2]);
        g.tolerance[k] = 1e-4 + (len > 0 ? 2.0 * tolerance / len : 0.0);
    }
    // origins: none, then the standard origin of every setting of the group spglib can map the cell to,
    // in the cell's own axes
    g.origin.push_back({0.0, 0.0, 0.0});
    auto add_origin = [&](const SpglibDataset& d) {
        double x[3];
        if (!standard_origin_in_cell(d, x)) return;
        const std::array<double, 3> o = {x[0], x[1], x[2]};
        for (const auto& e : g.origin) {
            bool same = true;
            for (int k = 0; k < 3; k++) {
                double d = std::fabs(e[static_cast<std::size_t>(k)] - o[static_cast<std::size_t>(k)]);
                same = same && std::min(d, 1.0 - d) < 1e-6;
            }
            if (same) return;
        }
        g.origin.push_back(o);
    };
    add_origin(*ds.p);
    for (int hall = 1; hall <= 530; hall++) {
        if (spg_get_spacegroup_type(hall).number != g.number || hall == ds.p->hall_number) continue;
        DatasetHandle h(spg_get_dataset_with_hall_number(lattice, pos, kind.data(), count, hall, tolerance));
        if (h.p != nullptr) add_origin(*h.p);
    }
    return g;
}

namespace {

std::array<int, 9> rotation_key(const KELMAR_CARD& card) {
    std::array<int, 9> r;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[static_cast<std::size_t>(3 * i + j)] = static_cast<int>(std::lround(card.r_f[i][j]));
    return r;
}

// Origins worth trying for one setting beyond those spglib gives. Moved to the origin o, an
// operation (R, t) of the setting becomes (R, t + (I - R) o), so each row of (I - R) o = tau - t
// (modulo 1), for a translation tau the group has with R, is one congruence on o. Three independent
// rows, from one operation (an inversion, a rotoinversion) or from several (two twofold axes), pin
// o down to |det| points modulo the lattice; where the rows span less (a polar group, whose origin
// is free along its axis) a coordinate of o is set to 0. fits_at then checks every candidate.
void origins_from_congruences(const KELMAR_SYMMETRY& setting, const FoundSpaceGroup& group,
                              std::vector<std::array<double, 3>>& out) {
    struct Row {
        int m[3];
        int card;  // -1: a coordinate fixed at 0
        int i;
    };
    std::vector<Row> rows;
    auto independent = [&](const int m[3]) {
        double b[3][3] = {};
        for (std::size_t r = 0; r < rows.size(); r++)
            for (int j = 0; j < 3; j++) b[r][j] = rows[r].m[j];
        for (int j = 0; j < 3; j++) b[rows.size()][j] = m[j];
        if (rows.size() == 2) return std::fabs(kelmar_matrix33_double_determinant(b)) > 0.5;
        if (rows.empty()) return m[0] != 0 || m[1] != 0 || m[2] != 0;
        // two rows: independent when their cross product is not zero
        const double c0 = b[0][1] * b[1][2] - b[0][2] * b[1][1], c1 = b[0][2] * b[1][0] - b[0][0] * b[1][2],
                     c2 = b[0][0] * b[1][1] - b[0][1] * b[1][0];
        return std::fabs(c0) + std::fabs(c1) + std::fabs(c2) > 0.5;
    };
    // an operation whose rows are independent by themselves first: one operation then decides
    std::vector<int> order;
    for (int pass = 0; pass < 2; pass++)
        for (int c = 0; c < setting.total(); c++) {
            const KELMAR_CARD& card = setting.card[static_cast<std::size_t>(c)];
            double m[3][3];
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) m[i][j] = (i == j ? 1.0 : 0.0) - std::lround(card.r_f[i][j]);
            const bool full = std::fabs(kelmar_matrix33_double_determinant(m)) > 0.5;
            if (full == (pass == 0)) order.push_back(c);
        }
    for (int c : order) {
        const KELMAR_CARD& card = setting.card[static_cast<std::size_t>(c)];
        if (!group.operation.count(rotation_key(card))) return;
        for (int i = 0; i < 3 && rows.size() < 3; i++) {
            Row row{{0, 0, 0}, c, i};
            for (int j = 0; j < 3; j++) row.m[j] = (i == j ? 1 : 0) - static_cast<int>(std::lround(card.r_f[i][j]));
            if (independent(row.m)) rows.push_back(row);
        }
        if (rows.size() == 3) break;
    }
    for (int j = 0; j < 3 && rows.size() < 3; j++) {
        Row row{{0, 0, 0}, -1, 0};
        row.m[j] = 1;
        if (independent(row.m)) rows.push_back(row);
    }
    if (rows.size() < 3) return;
    double b[3][3];
    for (int r = 0; r < 3; r++)
        for (int j = 0; j < 3; j++) b[r][j] = rows[static_cast<std::size_t>(r)].m[j];
    const double det = kelmar_matrix33_double_determinant(b);
    double inv[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
            inv[i][j] = (b[i1][j1] * b[i2][j2] - b[i1][j2] * b[i2][j1]) / det;
        }
    // the solutions for the integer right-hand sides n differ by inv n modulo 1: |det| offsets
    const int d = static_cast<int>(std::lround(std::fabs(det)));
    std::vector<std::array<double, 3>> offset;
    for (int n0 = 0; n0 < d; n0++)
        for (int n1 = 0; n1 < d; n1++)
            for (int n2 = 0; n2 < d; n2++) {
                std::array<double, 3> v;
                for (int i = 0; i < 3; i++)
                    v[static_cast<std::size_t>(i)] = wrap(inv[i][0] * n0 + inv[i][1] * n1 + inv[i][2] * n2);
                bool seen = false;
                for (const auto& e : offset) {
                    bool same = true;
                    for (int k = 0; k < 3 && same; k++) {
                        const double x = std::fabs(e[static_cast<std::size_t>(k)] - v[static_cast<std::size_t>(k)]);
                        same = std::min(x, 1.0 - x) < 1e-9;
                    }
                    seen = seen || same;
                }
                if (!seen) offset.push_back(v);
            }
    // every choice of the group's translations for the operations the rows come from
    std::vector<int> cards;
    for (const Row& r : rows)
        if (r.card >= 0 && std::find(cards.begin(), cards.end(), r.card) == cards.end()) cards.push_back(r.card);
    std::vector<const std::vector<std::array<double, 3>>*> choices;
    for (int c : cards) choices.push_back(&group.operation.at(rotation_key(setting.card[static_cast<std::size_t>(c)])));
    std::vector<std::size_t> pick(cards.size(), 0);
    for (;;) {
        double rhs[3];
        for (int r = 0; r < 3; r++) {
            const Row& row = rows[static_cast<std::size_t>(r)];
            rhs[r] = 0.0;
            if (row.card < 0) continue;
            const auto at = static_cast<std::size_t>(std::find(cards.begin(), cards.end(), row.card) - cards.begin());
            rhs[r] = (*choices[at])[pick[at]][static_cast<std::size_t>(row.i)] -
                     setting.card[static_cast<std::size_t>(row.card)].t_f[row.i];
        }
        for (const auto& off : offset) {
            std::array<double, 3> o;
            for (int i = 0; i < 3; i++)
                o[static_cast<std::size_t>(i)] =
                    wrap(inv[i][0] * rhs[0] + inv[i][1] * rhs[1] + inv[i][2] * rhs[2] + off[static_cast<std::size_t>(i)]);
            out.push_back(o);
        }
        std::size_t k = 0;
        while (k < pick.size() && ++pick[k] == choices[k]->size()) pick[k++] = 0;
        if (k == pick.size()) break;
    }
}

bool fits_at(const KELMAR_SYMMETRY& setting, const FoundSpaceGroup& group, const std::array<double, 3>& o) {
    for (const KELMAR_CARD& card : setting.card) {
        const auto key = rotation_key(card);
        auto it = group.operation.find(key);
        if (it == group.operation.end()) return false;
        // the operation about the origin o of the setting: x -> R (x - o) + t + o
        double t[3];
        for (int i = 0; i < 3; i++) {
            t[i] = card.t_f[i] + o[static_cast<std::size_t>(i)];
            for (int j = 0; j < 3; j++)
                t[i] -= key[static_cast<std::size_t>(3 * i + j)] * o[static_cast<std::size_t>(j)];
        }
        bool found = false;
        for (const auto& tr : it->second) {
            bool same = true;
            for (int i = 0; i < 3 && same; i++) {
                const double d = std::fabs(wrap(t[i]) - tr[static_cast<std::size_t>(i)]);
                same = std::min(d, 1.0 - d) < group.tolerance[i];
            }
            if (same) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace

bool setting_fits_found_group(const KELMAR_SYMMETRY& setting, const FoundSpaceGroup& group, double origin[3]) {
    if (group.number == 0 || setting.card.empty()) return false;
    // every rotation of the setting must be one of the group's
    for (const KELMAR_CARD& card : setting.card)
        if (!group.operation.count(rotation_key(card))) return false;
    std::vector<std::array<double, 3>> origins = group.origin;
    origins_from_congruences(setting, group, origins);
    for (const auto& o : origins) {
        if (fits_at(setting, group, o)) {
            if (origin != nullptr)
                for (int k = 0; k < 3; k++) origin[k] = o[static_cast<std::size_t>(k)];
            return true;
        }
    }
    return false;
}

