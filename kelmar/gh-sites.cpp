// The sites summary of a site graph: real sites, split sites where a basin rises by more than an
// energy step, and merged sites grouping real sites closer than a distance.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fp.hpp"
#include "gh-near.hpp"
#include "cell-ops.hpp"
#include "gh-sites.hpp"
#include "gh.hpp"
#include "kelmar.hpp"

namespace {

// Copies at most 11 characters and terminates.
void site_name(char dst[12], const char* src) {
    int k = 0;
    for (; k < 11 && src[k] != '\0'; ++k) dst[k] = src[k];
    dst[k] = '\0';
}

}  // namespace

std::unique_ptr<KELMAR_GRAPH_SITES> kelmar_graph_sites_new(const KELMAR_GRAPH* graph, const KELMAR_FPHALF_LIST* list,
                                                           const KELMAR_FPCUBE* fpcube, double de, double dr) {
    if (graph == nullptr || list == nullptr || fpcube == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH or KELMAR_FPHALF_LIST has not been properly initialized.\n");
        return nullptr;
    }
    auto sites = std::make_unique<KELMAR_GRAPH_SITES>();
    sites->de = de > 0.0 ? de : 0.0257;
    sites->dr = dr > 0.0 ? dr : 0.5;
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) {
            sites->a[r][d] = graph->a[r][d];
            sites->a_i[r][d] = graph->a_i[r][d];
        }
    std::vector<KELMAR_GRAPH_SITE>& site = sites->site;
    const std::size_t total_real = graph->v.size();
    site.reserve(total_real * 2);
    for (const KELMAR_GRAPH_VERTEX& v : graph->v) {
        KELMAR_GRAPH_SITE s;
        site_name(s.name, v.name);
        s.type = SITE_REA;
        for (int d = 0; d < 3; ++d) s.x[d] = v.x[d];
        s.en = v.en;
        s.occ = v.occ;
        s.label = v.site;
        s.index = v.index;
        site.push_back(std::move(s));
    }
    // the pairs closer than dr, i < j in order; each site's near list comes out ascending
    const PeriodicNearScreen screen(sites->a);
    std::vector<std::pair<std::size_t, std::size_t>> close;
    for (std::size_t i = 0; i < total_real; ++i)
        for (std::size_t j = i + 1; j < total_real; ++j)
            if (!screen.apart(site[i].x, site[j].x, sites->dr) &&
                kelmar_dot_distance(site[i].x, site[j].x, sites->a) < sites->dr) {
                close.emplace_back(i, j);
                site[i].index_near.push_back(static_cast<long>(j));
                site[j].index_near.push_back(static_cast<long>(i));
            }
    // neighbours with the lowest barrier to each
    for (const KELMAR_GRAPH_EDGE& e : graph->e) {
        KELMAR_GRAPH_SITE& s = site[static_cast<std::size_t>(e.v_i->index)];
        const long to = e.v_f->index;
        bool found = false;
        for (std::size_t k = 0; k < s.index_neigh.size(); ++k)
            if (s.index_neigh[k] == to) {
                if (e.barrier < s.barrier[k]) s.barrier[k] = e.barrier;
                found = true;
                break;
            }
        if (!found) {
            s.index_neigh.push_back(to);
            s.barrier.push_back(e.barrier);
        }
    }
    // split sites along the half-paths out of each basin
    for (std::size_t i = 0; i < total_real; ++i) {
        const KELMAR_GRAPH_VERTEX& v = graph->v[i];
        for (const KELMAR_GRAPH_EDGE* e : v.e) {
            if (e->index_half < 0 || e->index_half >= static_cast<long>(list->half.size())) continue;
            const KELMAR_FPHALF& h = list->half[static_cast<std::size_t>(e->index_half)];
            for (long m = h.total - 2; m >= 1; --m) {
                const long p = h.dot[static_cast<std::size_t>(m)];
                const double en = fpcube->en[static_cast<std::size_t>(p)];
                if (!(en - site[i].en > sites->de)) continue;
                long x_i[3] = {p / (fpcube->n[1] * fpcube->n[2]), (p / fpcube->n[2]) % fpcube->n[1], p % fpcube->n[2]};
                double x[3];
                for (int d = 0; d < 3; ++d)
                    x[d] = static_cast<double>(x_i[0]) * fpcube->a_i[0][d] +
                           static_cast<double>(x_i[1]) * fpcube->a_i[1][d] +
                           static_cast<double>(x_i[2]) * fpcube->a_i[2][d];
                bool exists = false;
                for (long k : site[i].index_split) {
                    const KELMAR_GRAPH_SITE& s = site[static_cast<std::size_t>(k)];
                    const double d2 = (s.x[0] - x[0]) * (s.x[0] - x[0]) + (s.x[1] - x[1]) * (s.x[1] - x[1]) +
                                      (s.x[2] - x[2]) * (s.x[2] - x[2]);
                    if (std::sqrt(d2) < 1e-6) exists = true;
                }
                if (!exists) {
                    KELMAR_GRAPH_SITE s;
                    char name[64];
                    std::snprintf(name, sizeof name, "%s_s%d", site[i].name, site[i].total_split + 1);
                    site_name(s.name, name);
                    s.type = SITE_SPL;
                    for (int d = 0; d < 3; ++d) s.x[d] = x[d];
                    s.en = en;
                    s.index = static_cast<long>(site.size());
                    s.index_merge = static_cast<long>(i);
                    site[i].index_split.push_back(s.index);
                    site[i].total_split += 1;
                    site.push_back(std::move(s));
                    sites->total_split += 1;
                }
                break;
            }
        }
        // occupancies and spans of the split sites
        double weight_sum = 0.0;
        for (long k : site[i].index_split) weight_sum += std::exp(site[i].en - site[static_cast<std::size_t>(k)].en);
        double span = 0.0;
        for (long k : site[i].index_split) {
            KELMAR_GRAPH_SITE& s = site[static_cast<std::size_t>(k)];
            s.occ = std::exp(site[i].en - s.en) * site[i].occ / weight_sum;
            s.r = kelmar_dot_distance(s.x, site[i].x, sites->a);
            if (s.r > span) span = s.r;
            for (long q : site[i].index_split)
                if (q != k) {
                    const double r = kelmar_dot_distance(s.x, site[static_cast<std::size_t>(q)].x, sites->a);
                    if (r > span) span = r;
                }
        }
        site[i].r = span;
    }
    // merged sites by single linkage
    std::vector<long> group(total_real, 0);
    long groups = 0;
    for (const auto& [i, j] : close) {
        const long old = group[j];
        const long number = group[i] == 0 ? ++groups : group[i];
        group[i] = number;
        group[j] = number;
        if (old != 0)
            for (long& g : group)
                if (g == old) g = number;
    }
    std::vector<std::vector<long>> members(static_cast<std::size_t>(groups) + 1);
    for (std::size_t i = 0; i < total_real; ++i)
        if (group[i] != 0) members[static_cast<std::size_t>(group[i])].push_back(static_cast<long>(i));
    for (long number = 1; number <= groups; ++number) {
        KELMAR_GRAPH_SITE m;
        m.index_split = std::move(members[static_cast<std::size_t>(number)]);
        if (m.index_split.empty()) continue;
        char name[64];
        std::snprintf(name, sizeof name, "m%ld", sites->total_merge);
        site_name(m.name, name);
        m.type = SITE_MER;
        m.index = static_cast<long>(site.size());
        const KELMAR_GRAPH_SITE& first = site[static_cast<std::size_t>(m.index_split.front())];
        for (long k : m.index_split) {
            KELMAR_GRAPH_SITE& s = site[static_cast<std::size_t>(k)];
            double y[3];
            kelmar_dot_pivot(y, s.x, first.x, sites->a);
            for (int d = 0; d < 3; ++d) m.x[d] += y[d];
            m.en += s.en;
            m.occ += s.occ;
            s.index_merge = m.index;
        }
        const double count = static_cast<double>(m.index_split.size());
        for (int d = 0; d < 3; ++d) m.x[d] /= count;
        m.en /= count;
        m.occ /= count;
        m.total_split = static_cast<int>(m.index_split.size());
        site.push_back(std::move(m));
        sites->total_merge += 1;
    }
    for (KELMAR_GRAPH_SITE& s : site) {
        s.total_near = static_cast<int>(s.index_near.size());
        s.total_neigh = static_cast<int>(s.index_neigh.size());
        s.total_split = static_cast<int>(s.index_split.size());
    }
    sites->total_real = static_cast<long>(total_real);
    sites->total = static_cast<long>(site.size());
    return sites;
}

void kelmar_graph_sites_free(std::unique_ptr<KELMAR_GRAPH_SITES>& sites) { sites.reset(); }

namespace {

void print_head(const KELMAR_GRAPH_SITES* sites) {
    std::printf("GRAPH_SITES: de = %lf eV; dr = %lf; total = %ld\n", sites->de, sites->dr, sites->total);
    std::printf("GRAPH_SITES: total_real = %ld\n", sites->total_real);
}

// Lowest barrier from real site i to real site j, negative when they are not neighbours.
double neighbour_barrier(const KELMAR_GRAPH_SITE& s, long j) {
    for (std::size_t k = 0; k < s.index_neigh.size(); ++k)
        if (s.index_neigh[k] == j) return s.barrier[k];
    return -1.0;
}

}  // namespace

void kelmar_graph_sites_print(const KELMAR_GRAPH_SITES* sites) {
    if (sites == nullptr) {
        std::printf("GRAPH_SITES: (not allocated)\n");
        return;
    }
    print_head(sites);
    std::printf("GRAPH_SITES: %5s, %4s, %6s, %6s, %5s, %10s, %5s, %6s, %6s, %6s\n", "index", "site", "name", "en", "occ",
                "total_near", "ref_m", "x", "y", "z");
    const long real = sites->total_real;
    for (long i = 0; i < real; ++i) {
        const KELMAR_GRAPH_SITE& s = sites->site[static_cast<std::size_t>(i)];
        std::printf("GRAPH_SITES: %5ld, %4ld, %6s, %6.3lf, %5.3lf, %10d, %5ld, %6.3lf, %6.3lf, %6.3lf\n", s.index, s.label,
                    s.name, s.en, s.occ, s.total_near, s.index_merge, s.x[0], s.x[1], s.x[2]);
    }
    std::printf("GRAPH_SITES: real sites connectivity\n");
    std::printf("GRAPH_SITES:      #");
    for (long j = 0; j < real; ++j) std::printf(",%6ld", j);
    std::printf("\n");
    for (long i = 0; i < real; ++i) {
        std::printf("GRAPH_SITES: %6ld", i);
        for (long j = 0; j < real; ++j) {
            const double b = neighbour_barrier(sites->site[static_cast<std::size_t>(i)], j);
            if (b >= 0.0) {
                std::printf(",%6.3lf", b);
                continue;
            }
            std::printf(",%6s", "NA");
        }
        std::printf("\n");
    }
    std::printf("GRAPH_SITES: total_split = %ld\n", sites->total_split);
    std::printf("GRAPH_SITES: %5s, %3s, %10s, %6s, %6s, %6s, %5s, %5s\n", "index", "ref", "name", "en", "de", "occ", "r",
                "r_max");
    for (const KELMAR_GRAPH_SITE& s : sites->site) {
        if (s.type != SITE_SPL) continue;
        const KELMAR_GRAPH_SITE& ref = sites->site[static_cast<std::size_t>(s.index_merge)];
        std::printf("GRAPH_SITES: %5ld, %3ld, %10s, %6.3lf, %6.3lf, %6.3lf, %5.3lf, %5.3lf\n", s.index, s.index_merge,
                    s.name, s.en, s.en - ref.en, s.occ, s.r, ref.r);
    }
    std::printf("GRAPH_SITES: total_merge = %ld\n", sites->total_merge);
    std::printf("GRAPH_SITES: %5s, %10s, %6s, %6s, [%s]\n", "index", "name", "en", "occ", "ref");
    for (const KELMAR_GRAPH_SITE& s : sites->site) {
        if (s.type != SITE_MER) continue;
        std::printf("GRAPH_SITES: %5ld, %10s, %6.3lf, %6.3lf, [", s.index, s.name, s.en, s.occ);
        for (long k : s.index_split) std::printf("%ld,", k);
        std::printf("]\n");
    }
}

void kelmar_graph_sites_print_reduced(const KELMAR_GRAPH_SITES* sites) {
    if (sites == nullptr) {
        std::printf("GRAPH_SITES: (not allocated)\n");
        return;
    }
    print_head(sites);
    const long real = sites->total_real;
    long labels = 0;
    for (long i = 0; i < real; ++i)
        if (sites->site[static_cast<std::size_t>(i)].label > labels) labels = sites->site[static_cast<std::size_t>(i)].label;
    std::vector<long> first(static_cast<std::size_t>(labels + 1), -1);
    std::vector<long> multi(static_cast<std::size_t>(labels + 1), 0);
    for (long i = 0; i < real; ++i) {
        const long l = sites->site[static_cast<std::size_t>(i)].label;
        if (l <= 0) continue;
        if (first[static_cast<std::size_t>(l)] < 0) first[static_cast<std::size_t>(l)] = i;
        multi[static_cast<std::size_t>(l)] += 1;
    }
    std::printf("GRAPH_SITES: %4s, %5s, %6s, %6s, %5s, %4s, %5s, %5s, %5s\n", "site", "multi", "name", "en", "occ", "near",
                "split", "span", "flat?");
    for (long l = 1; l <= labels; ++l) {
        if (first[static_cast<std::size_t>(l)] < 0) continue;
        const KELMAR_GRAPH_SITE& s = sites->site[static_cast<std::size_t>(first[static_cast<std::size_t>(l)])];
        std::printf("GRAPH_SITES: %4ld, %5ld, %6s, %6.3lf, %5.3lf, %4d, %5d, %5.3lf, %5s\n", l,
                    multi[static_cast<std::size_t>(l)], s.name, s.en, s.occ, s.total_near, s.total_split, s.r,
                    s.r >= sites->dr ? "t" : "f");
    }
    // lowest barrier and energy difference between labels
    const std::size_t w = static_cast<std::size_t>(labels + 1);
    std::vector<double> barrier(w * w, -1.0);
    std::vector<double> diff(w * w, 0.0);
    std::vector<char> connected(w * w, 0);
    for (long i = 0; i < real; ++i) {
        const KELMAR_GRAPH_SITE& s = sites->site[static_cast<std::size_t>(i)];
        for (std::size_t k = 0; k < s.index_neigh.size(); ++k) {
            const KELMAR_GRAPH_SITE& t = sites->site[static_cast<std::size_t>(s.index_neigh[k])];
            if (s.label <= 0 || t.label <= 0) continue;
            const std::size_t cell = static_cast<std::size_t>(s.label) * w + static_cast<std::size_t>(t.label);
            if (s.barrier[k] >= 0.0 && (barrier[cell] < 0.0 || s.barrier[k] < barrier[cell])) barrier[cell] = s.barrier[k];
            diff[cell] = t.en - s.en;
            connected[cell] = 1;
        }
    }
    const auto table = [&](const char* title, const std::vector<double>& value, bool is_barrier) {
        std::printf("GRAPH_SITES: %s\n", title);
        std::printf("GRAPH_SITES:      #");
        for (long l = 1; l <= labels; ++l)
            if (first[static_cast<std::size_t>(l)] >= 0)
                std::printf(",%6s", sites->site[static_cast<std::size_t>(first[static_cast<std::size_t>(l)])].name);
        std::printf("\n");
        for (long l = 1; l <= labels; ++l) {
            if (first[static_cast<std::size_t>(l)] < 0) continue;
            std::printf("GRAPH_SITES: %6s", sites->site[static_cast<std::size_t>(first[static_cast<std::size_t>(l)])].name);
            for (long c = 1; c <= labels; ++c) {
                if (first[static_cast<std::size_t>(c)] < 0) continue;
                const std::size_t cell = static_cast<std::size_t>(l) * w + static_cast<std::size_t>(c);
                const bool shown = is_barrier ? value[cell] >= 0.0 : connected[cell] != 0;
                if (shown) std::printf(",%6.3lf", value[cell]);
                else std::printf(",%6s", "NA");
            }
            std::printf("\n");
        }
    };
    table("barriers (from row to col)", barrier, true);
    table("site energy difference (from row to col)", diff, false);
}

std::unique_ptr<KELMAR_CELL> kelmar_graph_sites_export_to_cell(const KELMAR_GRAPH_SITES* sites) {
    if (sites == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_SITES has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = std::make_unique<KELMAR_CELL>();
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) cell->a[r][d] = sites->a[r][d];
    for (const KELMAR_GRAPH_SITE& s : sites->site) {
        KELMAR_ATOM atom;
        site_name(atom.name, s.name);
        const char* element = s.type == SITE_REA ? "Li" : s.type == SITE_SPL ? "Na" : s.type == SITE_MER ? "K" : "Rb";
        std::snprintf(atom.type, sizeof atom.type, "%s", element);
        for (int d = 0; d < 3; ++d) atom.x[d] = s.x[d];
        atom.occ = s.occ;
        atom.os = 1;
        cell->atom.push_back(atom);
    }
    kelmar_cell_update_fractional(cell.get());
    return cell;
}
