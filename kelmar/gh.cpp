// The site graph: vertices at the minima the half-paths reach, edge pairs at the saddles whose
// two half-paths end at two different minima, occupancies and names from the CIF.
#include "gh.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "text-buffer.hpp"
#include "fft.hpp"
#include "fp.hpp"
#include "gh-near.hpp"
#include "cell-ops.hpp"
#include "property-record.hpp"
#include "kelmar.hpp"

namespace {

constexpr double kSameEnergy = 0.0003;  // eV: vertices this close in energy are one kind of site
constexpr double kLastCutoff = 0.6;     // A: the CIF-site search radius stops growing past this

void index_of_point(const KELMAR_FPCUBE* cube, long p, long x_i[3]) {
    x_i[2] = p % cube->n[2];
    x_i[1] = (p / cube->n[2]) % cube->n[1];
    x_i[0] = p / (cube->n[1] * cube->n[2]);
}

void position_of_index(const double a_i[3][3], const long x_i[3], double x[3]) {
    for (int d = 0; d < 3; ++d)
        x[d] = static_cast<double>(x_i[0]) * a_i[0][d] + static_cast<double>(x_i[1]) * a_i[1][d] +
               static_cast<double>(x_i[2]) * a_i[2][d];
}

// Counts the cell-boundary crossings of one grid step from index `from` to index `to`.
void add_crossing(int bound[3], const long from[3], const long to[3]) {
    for (int r = 0; r < 3; ++r) {
        const long jump = to[r] - from[r];
        if (jump > 1) bound[r] -= 1;
        else if (jump < -1) bound[r] += 1;
    }
}

bool mobile_atom(const KELMAR_ATOM& atom, const char* type, int os) {
    return std::strncmp(atom.type, type, 2) == 0 && atom.os == os;
}

double mean_voxel_length(const KELMAR_GRAPH* graph) {
    double sum = 0.0;
    for (int r = 0; r < 3; ++r)
        sum += std::sqrt(graph->a_i[r][0] * graph->a_i[r][0] + graph->a_i[r][1] * graph->a_i[r][1] +
                         graph->a_i[r][2] * graph->a_i[r][2]);
    return sum / 3.0;
}

double sum_mobile_occ(const KELMAR_GRAPH* graph, const KELMAR_CELL* cell) {
    double total = 0.0;
    for (const KELMAR_ATOM& atom : cell->atom)
        if (mobile_atom(atom, graph->type, graph->os)) total += atom.occ;
    return total;
}

// A usable half-path: not removed by filtering, starting at a saddle (two or more lower groups:
// a saddle of three joins its three sites too), ending at a minimum.
bool hop_half(const KELMAR_FPCUBE* cube, const KELMAR_FPHALF& h) {
    if (h.total < 2) return false;
    const long s = h.dot.front(), m = h.dot[static_cast<std::size_t>(h.total - 1)];
    return cube->type[static_cast<std::size_t>(s)] == FP_SAD && fpgrid_total_dn(cube, s) >= 2 &&
           cube->type[static_cast<std::size_t>(m)] == FP_MIN;
}

// Grid points with the entries (half-paths, vertices) that sit on them, to find the entries on
// the 27 points around a point without scanning them all. Entries come back in ascending order,
// each once, as a scan of all of them in order would meet them.
class GridPointIndex {
public:
    explicit GridPointIndex(const long n[3]) : n_{n[0], n[1], n[2]} {}

    void add(const long x_i[3], std::size_t entry) { at_[linear(x_i)].push_back(entry); }

    // The entries on the points adjacent to x_i (kelmar_dot_adjacent), x_i itself included.
    const std::vector<std::size_t>& around(const long x_i[3]) {
        found_.clear();
        for (long p = -1; p <= 1; ++p)
            for (long q = -1; q <= 1; ++q)
                for (long r = -1; r <= 1; ++r) {
                    const long y[3] = {x_i[0] + p, x_i[1] + q, x_i[2] + r};
                    const auto it = at_.find(linear(y));
                    if (it != at_.end()) found_.insert(found_.end(), it->second.begin(), it->second.end());
                }
        std::sort(found_.begin(), found_.end());
        found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
        return found_;
    }

private:
    long linear(const long y[3]) const {
        long w[3];
        for (int d = 0; d < 3; ++d) w[d] = ((y[d] % n_[d]) + n_[d]) % n_[d];
        return (w[0] * n_[1] + w[1]) * n_[2] + w[2];
    }

    long n_[3];
    std::unordered_map<long, std::vector<std::size_t>> at_;
    std::vector<std::size_t> found_;
};

// Length of the hop from x_i to x_f translated by bound_i + bound_f cells.
double hop_length(const double x_i[3], const double x_f[3], const int bound_i[3], const int bound_f[3],
                  const double a[3][3]) {
    double s = 0.0;
    for (int d = 0; d < 3; ++d) {
        double t = x_f[d] - x_i[d];
        for (int r = 0; r < 3; ++r) t += (bound_i[r] + bound_f[r]) * a[r][d];
        s += t * t;
    }
    return std::sqrt(s);
}

// A half-path that may complete a hop begun at an adjacent two-branch saddle: one from a
// three-branch saddle to a minimum. On a grid one saddle of the landscape can show as two
// neighbouring points, one with two and one with three down branches, each holding one side.
bool partner_half(const KELMAR_FPCUBE* cube, const KELMAR_FPHALF& h) {
    if (h.total < 2) return false;
    const long s = h.dot.front(), m = h.dot[static_cast<std::size_t>(h.total - 1)];
    return cube->type[static_cast<std::size_t>(s)] == FP_SAD && fpgrid_total_dn(cube, s) == 3 &&
           cube->type[static_cast<std::size_t>(m)] == FP_MIN;
}

// Copies at most 11 characters and terminates.
void copy_name(char dst[12], const char* src) {
    int k = 0;
    for (; k < 11 && src[k] != '\0'; ++k) dst[k] = src[k];
    dst[k] = '\0';
}

}  // namespace

// --- periodic point helpers -------------------------------------------------------------------

bool kelmar_dot_adjacent(const long a[3], const long b[3], const long n[3]) {
    for (int r = 0; r < 3; ++r) {
        long d = std::labs(a[r] - b[r]);
        if (n[r] - d < d) d = n[r] - d;
        if (d > 1) return false;
    }
    return true;
}

double kelmar_dot_distance(const double x1[3], const double x2[3], const double a[3][3]) {
    double best = -1.0;
    static const int order[3] = {0, -1, 1};  // the point itself first
    for (int i : order)
        for (int j : order)
            for (int k : order) {
                double s = 0.0;
                for (int d = 0; d < 3; ++d) {
                    const double t = x1[d] + i * a[0][d] + j * a[1][d] + k * a[2][d] - x2[d];
                    s += t * t;
                }
                if (best < 0.0 || s < best) best = s;
            }
    return std::sqrt(best);
}

void kelmar_dot_pivot(double out[3], const double x[3], const double pivot[3], const double a[3][3]) {
    double best = -1.0;
    static const int order[3] = {0, -1, 1};
    for (int i : order)
        for (int j : order)
            for (int k : order) {
                double y[3], s = 0.0;
                for (int d = 0; d < 3; ++d) {
                    y[d] = x[d] + i * a[0][d] + j * a[1][d] + k * a[2][d];
                    s += (y[d] - pivot[d]) * (y[d] - pivot[d]);
                }
                if (best < 0.0 || s < best) {
                    best = s;
                    for (int d = 0; d < 3; ++d) out[d] = y[d];
                }
            }
}

void kelmar_dot_direction(double out[3], const double from[3], const double to[3], const double a[3][3]) {
    double y[3];
    kelmar_dot_pivot(y, from, to, a);
    double s = 0.0;
    for (int d = 0; d < 3; ++d) {
        out[d] = to[d] - y[d];
        s += out[d] * out[d];
    }
    s = std::sqrt(s);
    for (int d = 0; d < 3; ++d) out[d] = s > 0.0 ? out[d] / s : 0.0;
}

// --- the graph --------------------------------------------------------------------------------

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new(long total_v, long total_e) {
    auto graph = std::make_unique<KELMAR_GRAPH>();
    if (total_v > 0) {
        graph->v.resize(static_cast<std::size_t>(total_v));
        graph->total_v = total_v;
        for (long i = 0; i < total_v; ++i) graph->v[static_cast<std::size_t>(i)].index = i;
    }
    if (total_e > 0) {
        graph->e.resize(static_cast<std::size_t>(total_e));
        graph->total_e = total_e;
        for (long i = 0; i < total_e; ++i) graph->e[static_cast<std::size_t>(i)].index = i;
    }
    return graph;
}

void kelmar_graph_free(std::unique_ptr<KELMAR_GRAPH>& graph) { graph.reset(); }

void kelmar_graph_link_edges(KELMAR_GRAPH* graph) {
    graph->total_e = static_cast<long>(graph->e.size());
    graph->total_v = static_cast<long>(graph->v.size());
    for (KELMAR_GRAPH_VERTEX& v : graph->v) {
        v.e.clear();
        v.total_e = 0;
    }
    for (std::size_t k = 0; k < graph->e.size(); ++k) {
        KELMAR_GRAPH_EDGE& e = graph->e[k];
        e.index = static_cast<long>(k);
        e.e_r = &graph->e[k ^ 1U];
        e.v_i->e.push_back(&e);
        e.v_i->total_e += 1;
    }
}

namespace {

bool graph_inputs_ready(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube, const KELMAR_CELL* cell,
                        const KELMAR_PROPERTY* ppt) {
    if (list == nullptr || fpcube == nullptr || cell == nullptr || ppt == nullptr || ppt->conducting < 0 ||
        ppt->conducting >= ppt->total) {
        std::fprintf(stderr, "Error: uninitialized input to generate KELMAR_GRAPH.\n");
        return false;
    }
    return true;
}

// The graph; the vertices' Hessians from fft, or left zero when fft is null.
std::unique_ptr<KELMAR_GRAPH> graph_from_halves(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube,
                                                const KELMAR_FFT* fft, const KELMAR_CELL* cell,
                                                const KELMAR_PROPERTY* ppt) {
    auto graph = kelmar_graph_new(0, 0);
    for (int r = 0; r < 3; ++r) {
        graph->n[r] = fpcube->n[r];
        for (int d = 0; d < 3; ++d) {
            graph->a[r][d] = fpcube->a[r][d];
            graph->a_i[r][d] = fpcube->a_i[r][d];
        }
    }
    const std::vector<KELMAR_FPHALF>& half = list->half;
    const std::size_t total_half = half.size();

    // vertices: the distinct minima at the ends of the half-paths
    GridPointIndex vertex_at(graph->n);
    for (const KELMAR_FPHALF& h : half) {
        if (h.total < 1) continue;
        const long m = h.dot[static_cast<std::size_t>(h.total - 1)];
        if (fpcube->type[static_cast<std::size_t>(m)] != FP_MIN) continue;
        long x_i[3];
        index_of_point(fpcube, m, x_i);
        if (!vertex_at.around(x_i).empty()) continue;  // adjacent to a known vertex
        vertex_at.add(x_i, graph->v.size());
        KELMAR_GRAPH_VERTEX v;
        v.index = static_cast<long>(graph->v.size());
        for (int r = 0; r < 3; ++r) v.x_i[r] = x_i[r];
        position_of_index(graph->a_i, x_i, v.x);
        v.en = fpcube->en[static_cast<std::size_t>(m)];
        graph->v.push_back(std::move(v));
    }
    // the Hessians at all vertices at once: from a half spectrum, six transforms in all
    if (fft != nullptr) {
        std::vector<long> points;
        points.reserve(graph->v.size());
        for (const KELMAR_GRAPH_VERTEX& v : graph->v) points.push_back((v.x_i[0] * graph->n[1] + v.x_i[1]) * graph->n[2] + v.x_i[2]);
        std::vector<KELMAR_FFTDOT> dots;
        if (fft_read_points(fft, points, &dots, 0, false) != 0) {
            std::fprintf(stderr, "Error: kelmar_fftdot_read_from_fft() returns non-zero.\n");
            return nullptr;
        }
        for (std::size_t q = 0; q < dots.size(); ++q)
            for (int r = 0; r < 3; ++r) {
                graph->v[q].eig[r] = dots[q].eig[r];
                for (int d = 0; d < 3; ++d) graph->v[q].eiv[r][d] = dots[q].eiv[r][d];
            }
    }

    // edges: pairs of half-paths from one saddle down to two different minima
    GridPointIndex hop_at(graph->n);   // the usable half-paths by saddle point
    GridPointIndex used_at(graph->n);  // the saddles already turned into edges
    for (std::size_t c = 0; c < total_half; ++c)
        if (hop_half(fpcube, half[c]) || partner_half(fpcube, half[c])) {
            long sc[3];
            index_of_point(fpcube, half[c].dot.front(), sc);
            hop_at.add(sc, c);
        }
    std::vector<std::size_t> partners;
    std::vector<std::size_t> from_vertices;
    for (std::size_t p = 0; p < total_half; ++p) {
        const KELMAR_FPHALF& hp = half[p];
        if (!hop_half(fpcube, hp)) continue;
        long sp[3], mp[3];
        index_of_point(fpcube, hp.dot.front(), sp);
        index_of_point(fpcube, hp.dot[static_cast<std::size_t>(hp.total - 1)], mp);
        if (!used_at.around(sp).empty()) continue;
        bool made = false;
        partners = hop_at.around(sp);
        for (std::size_t c : partners) {
            if (c <= p) continue;
            const KELMAR_FPHALF& hc = half[c];
            long sc[3], mc[3];
            index_of_point(fpcube, hc.dot.front(), sc);
            index_of_point(fpcube, hc.dot[static_cast<std::size_t>(hc.total - 1)], mc);
            const bool one_site = kelmar_dot_adjacent(mc, mp, graph->n);

            // translations of the hop from p's minimum to c's minimum
            int bound_i[3] = {0, 0, 0}, bound_f[3] = {0, 0, 0};
            for (long m = hp.total - 2; m >= 0; --m) {
                long from[3], to[3];
                index_of_point(fpcube, hp.dot[static_cast<std::size_t>(m + 1)], from);
                index_of_point(fpcube, hp.dot[static_cast<std::size_t>(m)], to);
                add_crossing(bound_i, from, to);
            }
            add_crossing(bound_f, sp, sc);
            for (long m = 1; m < hc.total; ++m) {
                long from[3], to[3];
                index_of_point(fpcube, hc.dot[static_cast<std::size_t>(m - 1)], from);
                index_of_point(fpcube, hc.dot[static_cast<std::size_t>(m)], to);
                add_crossing(bound_f, from, to);
            }
            // Both halves at one site: a hop to the site's own image in another cell (a channel
            // with one site per repeat) is kept; a saddle leading back to the same copy is not.
            if (one_site && bound_i[0] + bound_f[0] == 0 && bound_i[1] + bound_f[1] == 0 &&
                bound_i[2] + bound_f[2] == 0)
                continue;
            from_vertices = vertex_at.around(mp);
            for (std::size_t di : from_vertices) {
                KELMAR_GRAPH_VERTEX& d = graph->v[di];
                for (std::size_t ti : vertex_at.around(mc)) {
                    KELMAR_GRAPH_VERTEX& t = graph->v[ti];
                    KELMAR_GRAPH_EDGE fwd, rev;
                    for (KELMAR_GRAPH_EDGE* e : {&fwd, &rev}) {
                        for (int r = 0; r < 3; ++r) e->x_i[r] = sp[r];
                        position_of_index(graph->a_i, sp, e->x);
                        e->en = fpcube->en[static_cast<std::size_t>(hp.dot.front())];
                        // to the site's own image the hop is as long as the translation
                        e->l = one_site ? hop_length(d.x, t.x, bound_i, bound_f, graph->a)
                                        : kelmar_dot_distance(d.x, t.x, graph->a);
                    }
                    fwd.v_i = &d;
                    fwd.v_f = &t;
                    rev.v_i = &t;
                    rev.v_f = &d;
                    fwd.index_half = static_cast<long>(p);
                    rev.index_half = static_cast<long>(c);
                    fwd.barrier = fwd.en - d.en;
                    rev.barrier = rev.en - t.en;
                    for (int r = 0; r < 3; ++r) {
                        fwd.bound_i[r] = bound_i[r];
                        fwd.bound_f[r] = bound_f[r];
                        fwd.bound[r] = bound_i[r] + bound_f[r];
                        rev.bound_i[r] = -bound_f[r];
                        rev.bound_f[r] = -bound_i[r];
                        rev.bound[r] = -fwd.bound[r];
                    }
                    kelmar_dot_direction(fwd.dir, d.x, fwd.x, graph->a);
                    kelmar_dot_direction(rev.dir, t.x, rev.x, graph->a);
                    graph->e.push_back(fwd);
                    graph->e.push_back(rev);
                    made = true;
                }
            }
        }
        if (made) used_at.add(sp, p);
    }
    kelmar_graph_link_edges(graph.get());

    const KELMAR_PROPERTY_UNITARY& mobile = ppt->uni[static_cast<std::size_t>(ppt->conducting)];
    std::snprintf(graph->type, sizeof graph->type, "%s", ppt->type[static_cast<std::size_t>(ppt->conducting)].data());
    graph->os = ppt->os[static_cast<std::size_t>(ppt->conducting)];
    graph->total_occ = sum_mobile_occ(graph.get(), cell);
    if (kelmar_graph_assign_occ(graph.get(), cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_graph_assign_occ() returns non-zero.\n");
        return nullptr;
    }
    if (kelmar_graph_assign_label(graph.get(), cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_graph_assign_label() returns non-zero.\n");
        return nullptr;
    }
    graph->volume = kelmar_cell_calculate_volume(cell);
    graph->m = mobile.m;
    graph->c = graph->volume > 0.0 ? graph->total_occ / graph->volume : 0.0;
    return graph;
}

}  // namespace

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_filled(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube,
                                                      const KELMAR_FFT* fft, const KELMAR_CELL* cell,
                                                      const KELMAR_PROPERTY* ppt) {
    if (fft == nullptr) {
        std::fprintf(stderr, "Error: uninitialized input to generate KELMAR_GRAPH.\n");
        return nullptr;
    }
    if (!graph_inputs_ready(list, fpcube, cell, ppt)) return nullptr;
    return graph_from_halves(list, fpcube, fft, cell, ppt);
}

std::unique_ptr<KELMAR_GRAPH> graph_new_without_hessians(const KELMAR_FPHALF_LIST* list, const KELMAR_FPCUBE* fpcube,
                                                         const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt) {
    if (!graph_inputs_ready(list, fpcube, cell, ppt)) return nullptr;
    return graph_from_halves(list, fpcube, nullptr, cell, ppt);
}

int kelmar_graph_assign_occ(KELMAR_GRAPH* graph, const KELMAR_CELL* cell) {
    if (graph == nullptr || cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH or KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    graph->total_occ = sum_mobile_occ(graph, cell);
    double cutoff = mean_voxel_length(graph) / 4.0;
    double residual = graph->total_occ;
    std::vector<std::size_t> near;
    const PeriodicNearScreen screen(graph->a);
    do {
        for (KELMAR_GRAPH_VERTEX& v : graph->v) v.occ = 0.0;
        cutoff *= 2.0;
        for (const KELMAR_ATOM& atom : cell->atom) {
            if (!mobile_atom(atom, graph->type, graph->os)) continue;
            near.clear();
            for (std::size_t k = 0; k < graph->v.size(); ++k)
                if (!screen.apart(atom.x, graph->v[k].x, cutoff) && kelmar_dot_distance(atom.x, graph->v[k].x, graph->a) < cutoff) near.push_back(k);
            for (std::size_t k : near) {
                KELMAR_GRAPH_VERTEX& v = graph->v[k];
                v.occ += atom.occ / static_cast<double>(near.size());
                if (v.occ > 1.0) v.occ = 1.0;
            }
        }
        double assigned = 0.0;
        for (const KELMAR_GRAPH_VERTEX& v : graph->v) assigned += v.occ;
        residual = graph->total_occ - assigned;
    } while (!(residual < 0.5) && !(cutoff > kLastCutoff));
    std::printf("Message: graph occ assignment, residual occ = %.3lf, cutoff = %.3lf A.\n", residual, cutoff);
    return 0;
}

int kelmar_graph_assign_label(KELMAR_GRAPH* graph, const KELMAR_CELL* cell) {
    if (graph == nullptr || cell == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH or KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    for (KELMAR_GRAPH_VERTEX& v : graph->v) {
        v.name[0] = '\0';
        v.site = 0;
    }
    long mobile = 0;
    for (const KELMAR_ATOM& atom : cell->atom)
        if (mobile_atom(atom, graph->type, graph->os)) ++mobile;
    double cutoff = mean_voxel_length(graph) / 4.0;
    long named = 0;
    const PeriodicNearScreen screen(graph->a);
    do {
        for (KELMAR_GRAPH_VERTEX& v : graph->v) v.name[0] = '\0';
        cutoff *= 2.0;
        for (const KELMAR_ATOM& atom : cell->atom) {
            if (!mobile_atom(atom, graph->type, graph->os)) continue;
            for (KELMAR_GRAPH_VERTEX& v : graph->v)
                if (!screen.apart(atom.x, v.x, cutoff) && kelmar_dot_distance(atom.x, v.x, graph->a) < cutoff) copy_name(v.name, atom.name);
        }
        named = 0;
        for (const KELMAR_GRAPH_VERTEX& v : graph->v)
            if (v.name[0] != '\0') ++named;
    } while (named < mobile && !(cutoff > kLastCutoff));
    std::printf("Message: graph occ label = %ld/%ld, cutoff = %.3lf A.\n", named, mobile, cutoff);

    long k = 1;
    for (std::size_t i = 0; i < graph->v.size(); ++i) {
        if (graph->v[i].name[0] != '\0') continue;
        char name[64];
        std::snprintf(name, sizeof name, "%s_i%ld", graph->type, k);
        const double en = graph->v[i].en;
        for (std::size_t j = i; j < graph->v.size(); ++j)
            if (graph->v[j].name[0] == '\0' && std::fabs(graph->v[j].en - en) < kSameEnergy)
                copy_name(graph->v[j].name, name);
        ++k;
    }
    long label = 1;
    for (std::size_t i = 0; i < graph->v.size(); ++i) {
        if (graph->v[i].site != 0) continue;
        const double en = graph->v[i].en;
        for (std::size_t j = i; j < graph->v.size(); ++j)
            if (graph->v[j].site == 0 && std::fabs(graph->v[j].en - en) < kSameEnergy) graph->v[j].site = label;
        ++label;
    }
    return 0;
}

void kelmar_graph_print(const KELMAR_GRAPH* graph) {
    if (graph == nullptr) {
        std::printf("GRAPH: (not allocated).\n");
        return;
    }
    std::printf("GRAPH: total_v = %ld\n", graph->total_v);
    std::printf("GRAPH: total_e = %ld\n", graph->total_e);
    std::printf("GRAPH: VERTEX==========================\n");
    for (const KELMAR_GRAPH_VERTEX& v : graph->v) {
        std::printf("GRAPH: [%3ld] e = ", v.index);
        for (const KELMAR_GRAPH_EDGE* e : v.e) std::printf("%3ld ,", e->index);
        std::printf("\n      x=(%.3lf,%.3lf,%.3lf), occ = %.3lf, en = %.3lf\n", v.x[0], v.x[1], v.x[2], v.occ, v.en);
    }
    std::printf("GRAPH: EDGE============================\n");
    for (const KELMAR_GRAPH_EDGE& e : graph->e) {
        std::printf("GRAPH: [%3ld] vi=%3ld; vf=%3ld; er=%3ld; bound:[%d][%d][%d]=[%d][%d][%d]+[%d][%d][%d]\n", e.index,
                    e.v_i != nullptr ? e.v_i->index : -1L, e.v_f != nullptr ? e.v_f->index : -1L,
                    e.e_r != nullptr ? e.e_r->index : -1L, e.bound[0], e.bound[1], e.bound[2], e.bound_i[0],
                    e.bound_i[1], e.bound_i[2], e.bound_f[0], e.bound_f[1], e.bound_f[2]);
        std::printf("GRAPH:       x=(%.3lf,%.3lf,%.3lf), barrier = %.3lf, en = %.3lf\n", e.x[0], e.x[1], e.x[2],
                    e.barrier, e.en);
    }
}

std::unique_ptr<KELMAR_TEXT> kelmar_graph_export_dot_to_text(const KELMAR_GRAPH* graph) {
    if (graph == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH has not been properly initialized.\n");
        return nullptr;
    }
    auto text = kelmar_text_new();
    kelmar_text_append(text.get(), "digraph pathway {\r\n");
    for (const KELMAR_GRAPH_VERTEX& v : graph->v)
        kelmar_text_appendf(text.get(), "  %ld [label=\"%ld (%ld)\" shape=circle color=black];\r\n", v.index, v.index,
                            v.sub != nullptr ? v.sub->index : -1L);
    for (const KELMAR_GRAPH_EDGE& e : graph->e)
        kelmar_text_appendf(text.get(), "  %ld -> %ld [label=\"%ld (%ld)\" color=black];\r\n", e.v_i->index,
                            e.v_f->index, e.index, e.sub != nullptr ? e.sub->index : -1L);
    kelmar_text_append(text.get(), "}\r\n");
    return text;
}

namespace {

KELMAR_ATOM graph_atom(const char* name, const char* type, const double x[3], double occ) {
    KELMAR_ATOM atom;
    copy_name(atom.name, name);
    std::snprintf(atom.type, sizeof atom.type, "%s", type);
    for (int d = 0; d < 3; ++d) atom.x[d] = x[d];
    atom.occ = occ;
    atom.os = 1;
    return atom;
}

std::unique_ptr<KELMAR_CELL> cell_with_lattice(const double a[3][3]) {
    auto cell = std::make_unique<KELMAR_CELL>();
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) cell->a[r][d] = a[r][d];
    return cell;
}

}  // namespace

std::unique_ptr<KELMAR_CELL> kelmar_graph_export_to_cell(const KELMAR_GRAPH* graph) {
    if (graph == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = cell_with_lattice(graph->a);
    for (const KELMAR_GRAPH_VERTEX& v : graph->v)
        cell->atom.push_back(graph_atom(v.name, "Li", v.x, v.occ > 0.0 ? v.occ : 0.001));
    for (std::size_t k = 0; k + 1 < graph->e.size(); k += 2)
        cell->atom.push_back(graph_atom("SAD", "Na", graph->e[k].x, 1.0));
    kelmar_cell_update_fractional(cell.get());
    return cell;
}

std::unique_ptr<KELMAR_CELL> kelmar_graph_export_sites_to_cell(const KELMAR_GRAPH* graph) {
    if (graph == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH has not been properly initialized.\n");
        return nullptr;
    }
    auto cell = cell_with_lattice(graph->a);
    for (const KELMAR_GRAPH_VERTEX& v : graph->v) cell->atom.push_back(graph_atom(v.name, "Li", v.x, 1.0));
    kelmar_cell_update_fractional(cell.get());
    return cell;
}
