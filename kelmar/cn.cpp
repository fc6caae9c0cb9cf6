// Coordination shells by radial density and coordination by bond valence.
#include "cn.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "bv.hpp"
#include "cell-ops.hpp"
#include "property-assemble.hpp"
#include "neighbor.hpp"

namespace {

// Neighbours are searched within this radius of the centre.
constexpr double CN_RANGE = 10.0;

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Image range of the neighbour search: m_k = trunc(1 + 10 / |a_k|), widened where an oblique cell
// needs more; false after the error line for a cell of absurdly short vectors.
bool search_range(const KELMAR_CELL* cell, long m[3]) {
    const double len[3] = {length3(cell->a[0]), length3(cell->a[1]), length3(cell->a[2])};
    return latimg::image_range_wide(m, len, cell->a, CN_RANGE, 1.0);
}

// Calls visit(atom, image position, distance) for every image within `range` of the centre of
// every atom other than the centre itself (compared by identity, so that its own images never
// count) that `keep` accepts.
template <typename KEEP, typename VISIT>
void for_each_image(const KELMAR_CELL* cell, const long m[3], const KELMAR_ATOM* centre, double range, KEEP keep,
                    VISIT visit) {
    latimg::for_each_neighbor(*cell, m, centre->x, range,
                              [&](long j, const latimg::Image&, const double v[3], double d2) {
                                  const KELMAR_ATOM& a = cell->atom[static_cast<std::size_t>(j)];
                                  if (&a == centre || !keep(a)) return;
                                  const double p[3] = {centre->x[0] + v[0], centre->x[1] + v[1], centre->x[2] + v[2]};
                                  visit(a, p, std::sqrt(d2));
                              });
}

// Exchange sort: for each i every later j that sorts before it is swapped into place i; `swap`
// exchanges entries i and j of every array.
template <typename BEFORE, typename SWAP>
void exchange_sort(int total, BEFORE before, SWAP swap) {
    for (int i = 0; i < total; i++)
        for (int j = i + 1; j < total; j++)
            if (before(j, i)) swap(i, j);
}

// Running coordination number and radial density of sorted distances.
void density(const std::vector<double>& r, const std::vector<double>& occ, std::vector<double>* n,
             std::vector<double>* g) {
    const std::size_t total = r.size();
    n->assign(total, 0.0);
    g->assign(total, 0.0);
    for (std::size_t i = 0; i < total; i++) {
        (*n)[i] = (i == 0 ? 0.0 : (*n)[i - 1]) + occ[i];
        const double dr = i == 0 ? r[0] : r[i] - r[i - 1];
        double value = 999.9;
        if (dr > 1e-6) value = (occ[i] / dr) / (12.5663706 * r[i] * r[i]);
        (*g)[i] = (value > 999.9 || !(value == value)) ? 999.9 : value;
    }
}

template <typename RECORD>
int calculate_shell(RECORD* cn, double rds_tiny) {
    if (cn == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CN has not been properly initialized.\n");
        return 1;
    }
    cn->total_shell = 0;
    cn->r_shell.clear();
    cn->n_shell.clear();
    cn->index_shell.clear();
    if (rds_tiny <= 0) rds_tiny = 0.01;
    const int total = cn->total;
    if (total <= 0) return 1;
    double rds_min = cn->g[0];
    if (total > 1) {
        rds_min = cn->g[1];
        for (int i = 2; i < total; i++) rds_min = std::fmin(rds_min, cn->g[i]);
    }
    std::printf("Message: rds_min = %f   rds_tiny = %f  rds_threshold = %f\n", rds_min, rds_tiny, rds_min + rds_tiny);
    const auto& r = cn->r;
    const auto& g = cn->g;
    for (int i = 0; i + 1 < total; i++) {
        bool start = i == 0;
        if (!start) {
            const int s = cn->total_shell;
            start = r[i] - r[i - 1] > 0.1 && (s < 2 || cn->n_shell[s - 1] >= cn->n_shell[s - 2]) &&
                    g[i] < rds_min + rds_tiny && g[i] < g[i - 1] && g[i] < g[i + 1];
        }
        if (start) {
            cn->n_shell.push_back(0.0);
            cn->r_shell.push_back(0.0);
            cn->index_shell.push_back(i);
            cn->total_shell += 1;
        }
        cn->n_shell.back() += cn->occ[i];
        cn->r_shell.back() = r[i];
    }
    return 0;
}

// Sorts the neighbour list by distance (`more` swaps the record's other per-neighbour arrays),
// then the running coordination number, the radial density and the shells.
template <typename RECORD, typename MORE>
bool sort_and_shell(RECORD* cn, double rds_tiny, MORE more) {
    exchange_sort(
        cn->total, [&](int j, int i) { return cn->r[j] < cn->r[i]; },
        [&](int i, int j) {
            std::swap(cn->r[i], cn->r[j]);
            std::swap(cn->occ[i], cn->occ[j]);
            more(i, j);
        });
    density(cn->r, cn->occ, &cn->n, &cn->g);
    if (calculate_shell(cn, rds_tiny) != 0) {
        std::fprintf(stderr, "Error: kelmar_cn_calculate_shell() returns non-zero.\n");
        return false;
    }
    return true;
}

bool same_species(const KELMAR_ATOM& a, const char* type, int os) { return a.os == os && std::strcmp(a.type, type) == 0; }

const KELMAR_ATOM* find_by_name(const KELMAR_CELL* cell, const char* name) {
    for (const KELMAR_ATOM& a : cell->atom)
        if (std::strcmp(a.name, name) == 0) return &a;
    return nullptr;
}

// Shell number (from 1) of neighbour i.
int shell_of(const KELMAR_CN_MIX* cn, int i) {
    int s = 0;
    for (int k = 0; k < cn->total_shell; k++)
        if (cn->index_shell[k] <= i) s = k;
    return s + 1;
}

}  // namespace

std::unique_ptr<KELMAR_CN> kelmar_cn_new() { return std::make_unique<KELMAR_CN>(); }
std::unique_ptr<KELMAR_CN_MIX> kelmar_cn_mix_new() { return std::make_unique<KELMAR_CN_MIX>(); }
std::unique_ptr<KELMAR_CN_BV> kelmar_cn_bv_new() { return std::make_unique<KELMAR_CN_BV>(); }

int kelmar_cn_calculate_shell(KELMAR_CN* cn, double rds_tiny) { return calculate_shell(cn, rds_tiny); }
int kelmar_cn_mix_calculate_shell(KELMAR_CN_MIX* cn_mix, double rds_tiny) { return calculate_shell(cn_mix, rds_tiny); }

std::unique_ptr<KELMAR_CN> kelmar_cn_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                   const char* type_c, int os_c, double rds_tiny) {
    if (cell == nullptr || atom == nullptr || type_c == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    long m[3];
    if (!search_range(cell, m)) return nullptr;
    auto cn = kelmar_cn_new();
    kelmar_copy_field(cn->name, atom->name);
    kelmar_copy_field(cn->type, atom->type);
    cn->os = atom->os;
    kelmar_copy_field(cn->type_c, type_c);
    cn->os_c = os_c;
    for_each_image(
        cell, m, atom, CN_RANGE, [&](const KELMAR_ATOM& a) { return same_species(a, type_c, os_c); },
        [&](const KELMAR_ATOM& a, const double*, double d) {
            cn->r.push_back(d);
            cn->occ.push_back(a.occ);
        });
    cn->total = static_cast<int>(cn->r.size());
    if (cn->total == 0) {
        std::fprintf(stderr, "Error: atom of type %s%d%c not found.\n", type_c, std::abs(os_c), os_sign_char(os_c));
        return nullptr;
    }
    if (!sort_and_shell(cn.get(), rds_tiny, [](int, int) {})) return nullptr;
    return cn;
}

std::unique_ptr<KELMAR_CN_MIX> kelmar_cn_mix_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                           double rds_tiny) {
    if (cell == nullptr || atom == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    long m[3];
    if (!search_range(cell, m)) return nullptr;
    auto cn = kelmar_cn_mix_new();
    kelmar_copy_field(cn->name, atom->name);
    kelmar_copy_field(cn->type, atom->type);
    cn->os = atom->os;
    for_each_image(
        cell, m, atom, CN_RANGE, [&](const KELMAR_ATOM& a) { return a.os * atom->os < 1; },
        [&](const KELMAR_ATOM& a, const double*, double d) {
            std::array<char, 3> t{};
            kelmar_copy_field(t.data(), 3, a.type);
            cn->type_c.push_back(t);
            cn->os_c.push_back(a.os);
            cn->r.push_back(d);
            cn->occ.push_back(a.occ);
        });
    cn->total = static_cast<int>(cn->r.size());
    if (cn->total == 0) {
        std::fprintf(stderr, "Error: coordinated atom of charge %c not found.\n", atom->os < 0 ? '+' : '-');
        return nullptr;
    }
    auto species = [&](int i, int j) {
        std::swap(cn->type_c[i], cn->type_c[j]);
        std::swap(cn->os_c[i], cn->os_c[j]);
    };
    if (!sort_and_shell(cn.get(), rds_tiny, species)) return nullptr;
    return cn;
}

void kelmar_cn_print_shell(const KELMAR_CN* cn) {
    if (cn == nullptr) {
        std::printf("CN: (not allocated)\n");
        return;
    }
    std::printf("CN: center atom: %6s (%s%d%c)\n", cn->name, cn->type, std::abs(cn->os), os_sign_char(cn->os));
    std::printf("CN: coordinated type: %s%d%c\n", cn->type_c, std::abs(cn->os_c), os_sign_char(cn->os_c));
    std::printf("CN: %5s %9s %6s\n", "shell", "r", "cn");
    for (int s = 0; s < cn->total_shell; s++)
        std::printf("CN: %5d %9.6f %6.3f\n", s, cn->r_shell[s], cn->n_shell[s]);
}

void kelmar_cn_print_datapoint(const KELMAR_CN* cn) {
    if (cn == nullptr) {
        std::printf("CN: (not allocated)\n");
        return;
    }
    std::printf("CN: center atom: %6s (%s%d%c)\n", cn->name, cn->type, std::abs(cn->os), os_sign_char(cn->os));
    std::printf("CN: coordinated type: %s%d%c\n", cn->type_c, std::abs(cn->os_c), os_sign_char(cn->os_c));
    std::printf("CN: %9s %6s %8s %9s\n", "r", "occ", "n", "rds");
    for (int i = 0; i < cn->total; i++)
        std::printf("CN: %9.6f %6.3f %8.3f %9.6f\n", cn->r[i], cn->occ[i], cn->n[i], cn->g[i]);
}

void kelmar_cn_mix_print(const KELMAR_CN_MIX* cn) {
    if (cn == nullptr) {
        std::printf("CN: (not allocated)\n");
        return;
    }
    std::printf("CN: Center atom: %13s (%s%d%c)\n", cn->name, cn->type, std::abs(cn->os), os_sign_char(cn->os));
    // A lone neighbour image forms no shell: there is no coordination number to print.
    if (cn->total_shell > 0) std::printf("CN: Coordination Number: %12.3f\n", cn->n_shell[0]);
    else std::printf("Warning: no coordination shell found.\n");
    std::printf("CN: %5s %6s %16s %9s %6s %8s %9s\n", "Index", "Shell", "Coordinated type", "r", "occ", "n", "rds");
    int rows = 0;
    if (cn->total_shell >= 2) rows = std::min(cn->total, 2 * cn->index_shell[1]);
    else if (cn->total_shell == 1) rows = cn->total - 1;
    for (int i = 0; i < rows; i++)
        std::printf("CN: %5d %6d %14s%d%c %9.6f %6.3f %8.3f %9.6f\n", i + 1, shell_of(cn, i), cn->type_c[i].data(),
                    std::abs(cn->os_c[i]), os_sign_char(cn->os_c[i]), cn->r[i], cn->occ[i], cn->n[i], cn->g[i]);
}

int kelmar_cn_calculate(const KELMAR_CELL* cell, const char* name, double rds_tiny) {
    if (cell == nullptr || name == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    const KELMAR_ATOM* centre = find_by_name(cell, name);
    if (centre == nullptr) {
        std::fprintf(stderr, "Error: atom named %s not found.\n", name);
        return 1;
    }
    auto cn = kelmar_cn_mix_new_from_cell(cell, centre, rds_tiny);
    if (cn == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cn_mix_new_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_cn_mix_print(cn.get());
    return 0;
}

int kelmar_cn_calculate_by_name(const KELMAR_CELL* cell, const char* name, const char* type_c, int os_c,
                                double rds_tiny) {
    if (cell == nullptr || name == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    const KELMAR_ATOM* centre = find_by_name(cell, name);
    if (centre == nullptr) {
        std::fprintf(stderr, "Error: atom named %s not found.\n", name);
        return 1;
    }
    auto cn = kelmar_cn_new_from_cell(cell, centre, type_c, os_c, rds_tiny);
    if (cn == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cn_new_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_cn_print_shell(cn.get());
    return 0;
}

int kelmar_cn_calculate_by_type(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* type, int os,
                                const char* type_c, int os_c, double rds_tiny) {
    if (cell == nullptr || type == nullptr || type_c == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (kelmar_cell_flag_site_by_symmetry(cell, symmetry) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
        return 1;
    }
    bool any = false;
    for (const KELMAR_ATOM& a : cell->atom) any = any || same_species(a, type, os);
    if (!any) {
        std::fprintf(stderr, "Error: unable to find any atom of %s%d%c.\n", type, std::abs(os), os_sign_char(os));
        return 1;
    }
    std::printf("CN: %s%d%c coordinated by %s%d%c\n", type, std::abs(os), os_sign_char(os), type_c, std::abs(os_c),
                os_sign_char(os_c));
    std::printf("CN: %4s %12s %10s %9s\n", "site", "multiplicity", "cn", "r");
    long taken = 0;
    double sum_m = 0.0, sum_n = 0.0, sum_r = 0.0;
    for (const KELMAR_ATOM& a : cell->atom) {
        if (!same_species(a, type, os) || a.flag <= taken) continue;
        taken = a.flag;
        long mult = 0;
        for (const KELMAR_ATOM& b : cell->atom) mult += b.flag == a.flag ? 1 : 0;
        auto cn = kelmar_cn_new_from_cell(cell, &a, type_c, os_c, rds_tiny);
        if (cn == nullptr) {
            std::fprintf(stderr, "Error: kelmar_cn_new_from_cell() returns NULL.\n");
            return 1;
        }
        if (cn->total_shell == 0) {
            std::fprintf(stderr, "Error: no coordination shell found for %s.\n", a.name);
            return 1;
        }
        std::printf("CN: %4ld %12ld %10.6f %9.6f\n", a.flag, mult, cn->n_shell[0], cn->r_shell[0]);
        sum_m += static_cast<double>(mult);
        sum_n += static_cast<double>(mult) * cn->n_shell[0];
        sum_r += static_cast<double>(mult) * cn->r_shell[0];
    }
    std::printf("CN: %4s %12d %10.6f %9.6f\n", "ave", 0, sum_n / sum_m, sum_r / sum_m);
    return 0;
}

std::unique_ptr<KELMAR_CN_BV> kelmar_cn_bv_new_from_cell(const KELMAR_CELL* cell, const KELMAR_ATOM* atom,
                                                         const KELMAR_PROPERTY* ppt, const KELMAR_BV* bv) {
    if (cell == nullptr || atom == nullptr || ppt == nullptr || bv == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    long m[3];
    if (!search_range(cell, m)) return nullptr;
    auto cn = kelmar_cn_bv_new();
    kelmar_copy_field(cn->name, atom->name);
    kelmar_copy_field(cn->type, atom->type);
    cn->os = atom->os;
    for (int c = 0; c < 3; c++) cn->x[c] = atom->x[c];
    for (long i = 0; i < bv->total; i++)
        if (std::strcmp(bv->atom[static_cast<std::size_t>(i)].name, atom->name) == 0) {
            cn->BVS = bv->sum[static_cast<std::size_t>(i)];
            break;
        }
    const int k_centre = kelmar_property_find_index(ppt, atom->type, atom->os);
    if (k_centre < 0) {
        std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
        return nullptr;
    }
    auto opposite = [&](const KELMAR_ATOM& a) { return (atom->os > 0 && a.os < 0) || (atom->os < 0 && a.os > 0); };
    // The pair entry of every counter-ion, and the search reach: the longest cutoff among them.
    std::vector<const KELMAR_PROPERTY_BINARY*> entry(cell->atom.size(), nullptr);
    double reach = 0.0;
    for (std::size_t j = 0; j < cell->atom.size(); j++) {
        const KELMAR_ATOM& a = cell->atom[j];
        if (&a == atom || !opposite(a)) continue;
        const int k = kelmar_property_find_index(ppt, a.type, a.os);
        if (k < 0) {
            std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
            return nullptr;
        }
        const KELMAR_PROPERTY_BINARY& e = atom->os > 0 ? ppt->bin[k_centre][k] : ppt->bin[k][k_centre];
        if (e.cutoff > 0.3) {
            entry[j] = &e;
            reach = std::max(reach, e.cutoff);
        }
    }
    const KELMAR_ATOM* first = cell->atom.data();
    for_each_image(
        cell, m, atom, reach, [&](const KELMAR_ATOM& a) { return entry[static_cast<std::size_t>(&a - first)] != nullptr; },
        [&](const KELMAR_ATOM& a, const double* p, double d) {
            const KELMAR_PROPERTY_BINARY& e = *entry[static_cast<std::size_t>(&a - first)];
            if (!(d > 0.3 && d < e.cutoff)) return;
            std::array<char, 3> t{};
            kelmar_copy_field(t.data(), 3, a.type);
            cn->type_c.push_back(t);
            cn->os_c.push_back(a.os);
            cn->x_c.push_back({p[0], p[1], p[2]});
            cn->r.push_back(d);
            cn->occ.push_back(a.occ);
            cn->s.push_back(std::exp((e.r0 - d) / e.b));
        });
    cn->total = static_cast<int>(cn->r.size());
    if (cn->total == 0) {
        std::fprintf(stderr, "Error: coordinated atom of charge %c not found.\n", atom->os < 0 ? '+' : '-');
        return nullptr;
    }
    exchange_sort(
        cn->total, [&](int j, int i) { return cn->s[j] > cn->s[i]; },
        [&](int i, int j) {
            std::swap(cn->type_c[i], cn->type_c[j]);
            std::swap(cn->os_c[i], cn->os_c[j]);
            std::swap(cn->x_c[i], cn->x_c[j]);
            std::swap(cn->r[i], cn->r[j]);
            std::swap(cn->occ[i], cn->occ[j]);
            std::swap(cn->s[i], cn->s[j]);
        });
    const std::size_t total = static_cast<std::size_t>(cn->total);
    cn->n.assign(total, 0.0);
    cn->s_sum.assign(total, 0.0);
    cn->s_ave.assign(total, 0.0);
    cn->s_det.assign(total, 0.0);
    cn->n[0] = cn->occ[0];
    cn->s_sum[0] = cn->occ[0] * cn->s[0];
    cn->s_ave[0] = cn->n[0] > 0 ? cn->s_sum[0] / cn->occ[0] : 0.0;
    for (std::size_t i = 1; i < total; i++) {
        cn->n[i] = cn->n[i - 1] + cn->occ[i];
        cn->s_sum[i] = cn->s_sum[i - 1] + cn->s[i] * cn->occ[i];
        cn->s_ave[i] = cn->n[i] > 0 ? cn->s_sum[i] / cn->n[i] : 0.0;
        cn->s_det[i] = cn->s_ave[i - 1] / cn->s[i];
    }
    const double bvs = std::fabs(cn->BVS);
    for (int i = 1; i < cn->total; i++) {
        if (cn->s[i] > 0.01 * bvs) cn->cn_print = i;
        if (cn->s[i] >= 0.025 * bvs && (cn->s_det[i] <= 4.5 || cn->s_sum[i - 1] <= 0.75 * bvs)) cn->cn_index = i;
    }
    double var = 0.0;
    const double mean = cn->s_ave[static_cast<std::size_t>(cn->cn_index)];
    for (int i = 0; i <= cn->cn_index; i++) var += cn->occ[i] * (cn->s[i] - mean) * (cn->s[i] - mean);
    const double count = cn->n[static_cast<std::size_t>(cn->cn_index)];
    cn->s_sd = count > 0 ? std::sqrt(var / count) : 0.0;
    return cn;
}

void kelmar_cn_bv_print(const KELMAR_CN_BV* cn) {
    if (cn == nullptr) {
        std::printf("CN: (not allocated)\n");
        return;
    }
    std::printf("CN: Center atom: %5s (%s%d%c) \n", cn->name, cn->type, std::abs(cn->os), os_sign_char(cn->os));
    std::printf("CN: XYZ: [ %.4f %.4f %.4f ]\n", cn->x[0], cn->x[1], cn->x[2]);
    std::printf("CN: Coordination Number: %12.3f\n", cn->n[static_cast<std::size_t>(cn->cn_index)]);
    std::printf("CN: BVS: %.4f      SD of BV: %7.3f\n", cn->BVS, cn->s_sd);
    std::printf("CN: %5s %16s %7s %6s %7s %7s %7s %7s %7s  [ %3s %7s %7s  ]\n", "Index", "Coordinated type", "r",
                "occ", "n", "s", "BVS", "s_ave", "s_det", "X", "Y", "Z");
    for (int i = 0; i <= cn->cn_print && i < cn->total; i++)
        std::printf("CN: %5d %14s%d%c %7.4f %6.3f %7.3f %7.4f %7.4f %7.4f %7.4f %8.4f %7.4f %7.4f\n", i + 1,
                    cn->type_c[i].data(), std::abs(cn->os_c[i]), os_sign_char(cn->os_c[i]), cn->r[i], cn->occ[i],
                    cn->n[i], cn->s[i], cn->s_sum[i], cn->s_ave[i], cn->s_det[i], cn->x_c[i][0], cn->x_c[i][1],
                    cn->x_c[i][2]);
}

namespace {

// Site flags, the 0.75 parameter record and the sums of a cell; flags stay set.
bool bv_of_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* dir_unitary, const char* dir_binary,
                std::unique_ptr<KELMAR_PROPERTY>* ppt, std::unique_ptr<KELMAR_BV>* bv) {
    if (kelmar_cell_flag_site_by_symmetry(cell, symmetry) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
        return false;
    }
    *ppt = kelmar_bv_property_of_cell(cell, dir_unitary, dir_binary);
    if (*ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        return false;
    }
    *bv = kelmar_bv_calculate_from_flagged_cell(cell, ppt->get());
    if (*bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_flagged_cell() returns NULL.\n");
        return false;
    }
    return true;
}

}  // namespace

int kelmar_cn_calculate_by_bv(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* name,
                              const char* dir_unitary, const char* dir_binary) {
    if (cell == nullptr || name == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (find_by_name(cell, name) == nullptr) {
        std::fprintf(stderr, "Error: atom named %s not found.\n", name);
        return 1;
    }
    std::unique_ptr<KELMAR_PROPERTY> ppt;
    std::unique_ptr<KELMAR_BV> bv;
    const bool ok = bv_of_cell(cell, symmetry, dir_unitary, dir_binary, &ppt, &bv);
    kelmar_cell_refresh(cell);
    if (!ok) return 1;
    auto cn = kelmar_cn_bv_new_from_cell(cell, find_by_name(cell, name), ppt.get(), bv.get());
    if (cn == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cn_bv_new_from_cell() returns NULL.\n");
        return 1;
    }
    kelmar_cn_bv_print(cn.get());
    return 0;
}

std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_init_from_bv(const KELMAR_BV* bv) {
    auto tot = std::make_unique<KELMAR_CN_TOT>();
    if (bv == nullptr) return tot;
    tot->total = bv->total;
    for (long i = 0; i < bv->total; i++) tot->atom.push_back(&bv->atom[static_cast<std::size_t>(i)]);
    tot->cn.assign(static_cast<std::size_t>(bv->total), 0.0);
    return tot;
}

std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_calculate_from_bv(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt,
                                                               const KELMAR_BV* bv) {
    if (cell == nullptr || ppt == nullptr || bv == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    auto tot = kelmar_cn_tot_init_from_bv(bv);
    for (long i = 0; i < tot->total; i++) {
        const KELMAR_ATOM* site = tot->atom[static_cast<std::size_t>(i)];
        auto cn = kelmar_cn_bv_new_from_cell(cell, site, ppt, bv);
        if (cn == nullptr) {
            std::fprintf(stderr, "Error: kelmar_cn_bv_new_from_cell() returns NULL for %s.\n", site->name);
            tot->cn[static_cast<std::size_t>(i)] = -1.0;
            continue;
        }
        tot->cn[static_cast<std::size_t>(i)] = cn->n[static_cast<std::size_t>(cn->cn_index)];
    }
    return tot;
}

std::unique_ptr<KELMAR_CN_TOT> kelmar_cn_tot_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                                 const char* dir_unitary, const char* dir_binary,
                                                                 std::unique_ptr<KELMAR_BV>* bv_out) {
    if (cell == nullptr || bv_out == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    std::unique_ptr<KELMAR_PROPERTY> ppt;
    std::unique_ptr<KELMAR_CN_TOT> tot;
    if (bv_of_cell(cell, symmetry, dir_unitary, dir_binary, &ppt, bv_out)) {
        if (kelmar_bv_validate_property(ppt.get()) != 0) std::fprintf(stderr, "Error: kelmar_bv_validate_property() returns non-zero.\n");
        else tot = kelmar_cn_tot_calculate_from_bv(cell, ppt.get(), bv_out->get());
    }
    kelmar_cell_refresh(cell);
    return tot;
}

void kelmar_cn_print_gui(const KELMAR_CN_TOT* tot) {
    std::printf("Printing coordination number of each site for kelmar-GUI\n");
    std::printf("> Label [  X     Y     Z  ] : Coordination Number\n");
    if (tot != nullptr)
        for (long i = 0; i < tot->total; i++) {
            const KELMAR_ATOM* a = tot->atom[static_cast<std::size_t>(i)];
            std::printf("> %5s [%.3f %.3f %.3f] : %.6f\n", a->name, a->x_f[0], a->x_f[1], a->x_f[2],
                        tot->cn[static_cast<std::size_t>(i)]);
        }
    std::printf("End of Coordination Number calculation by bond valence method for kelmar-GUI\n");
}
