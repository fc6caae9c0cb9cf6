// The supergraph: s[0] x s[1] x s[2] copies of a cell's site graph, with every hop that leaves
// one copy led into the copy it enters, and the translations counted in supercell vectors.
#include "kmc-supergraph.hpp"
#include "kmc.hpp"

#include <cmath>
#include <cstdio>

#include "kelmar.hpp"
#include "linalg.hpp"

namespace {

// Vertices plus edges a supergraph may hold (a few GB of records and neighbour lists).
constexpr double kMaxRecords = 2e7;

long floor_div(long a, long b) {
    long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

std::unique_ptr<KELMAR_GRAPH> kelmar_graph_new_supergraph(const KELMAR_GRAPH* graph, const int s[3]) {
    if (graph == nullptr || s == nullptr || s[0] < 1 || s[1] < 1 || s[2] < 1) {
        std::fprintf(stderr, "Error: KELMAR_GRAPH has not been properly initialized.\n");
        return nullptr;
    }
    const double copies = static_cast<double>(s[0]) * s[1] * s[2];
    const long nv = graph->total_v, ne = graph->total_e;
    if (copies * static_cast<double>(nv + ne) > kMaxRecords) {
        std::fprintf(stderr, "Error: the supercell [%d, %d, %d] of %ld vertices and %ld edges is too large.\n", s[0],
                     s[1], s[2], nv, ne);
        return nullptr;
    }
    const long S = static_cast<long>(s[0]) * s[1] * s[2];
    auto sg = kelmar_graph_new(nv * S, ne * S);
    if (sg == nullptr) {
        std::fprintf(stderr, "Error: kelmar_graph_new() returns NULL.\n");
        return nullptr;
    }
    sg->total_occ = graph->total_occ * static_cast<double>(S);
    sg->volume = graph->volume * static_cast<double>(S);
    for (int p = 0; p < 3; ++p) {
        sg->n[p] = graph->n[p] * s[p];
        for (int q = 0; q < 3; ++q) {
            sg->a[p][q] = graph->a[p][q] * s[p];
            sg->a_i[p][q] = graph->a_i[p][q];
        }
    }
    sg->type[0] = graph->type[0];
    sg->type[1] = graph->type[1];
    sg->type[2] = '\0';
    sg->os = graph->os;
    sg->m = graph->m;
    sg->c = graph->c;

    for (long g = 0; g < s[0]; ++g)
        for (long l = 0; l < s[1]; ++l)
            for (long m = 0; m < s[2]; ++m) {
                const long o = (g * s[1] + l) * s[2] + m;
                const long img[3] = {g, l, m};
                double shift[3];
                for (int q = 0; q < 3; ++q) shift[q] = g * graph->a[0][q] + l * graph->a[1][q] + m * graph->a[2][q];
                for (long h = 0; h < nv; ++h) {
                    const KELMAR_GRAPH_VERTEX& src = graph->v[static_cast<std::size_t>(h)];
                    KELMAR_GRAPH_VERTEX& dst = sg->v[static_cast<std::size_t>(nv * o + h)];
                    kelmar_copy_field(dst.name, src.name);
                    for (int q = 0; q < 3; ++q) {
                        dst.x_i[q] = src.x_i[q] + graph->n[q] * img[q];
                        dst.x[q] = src.x[q] + shift[q];
                        dst.eig[q] = src.eig[q];
                        for (int r = 0; r < 3; ++r) dst.eiv[q][r] = src.eiv[q][r];
                    }
                    dst.occ = src.occ;
                    dst.en = src.en;
                    dst.site = src.site;
                    dst.index = nv * o + h;
                    dst.total_e = 0;
                    dst.e.clear();
                    dst.e.reserve(static_cast<std::size_t>(src.total_e));
                }
                for (long h = 0; h < ne; ++h) {
                    const KELMAR_GRAPH_EDGE& src = graph->e[static_cast<std::size_t>(h)];
                    KELMAR_GRAPH_EDGE& dst = sg->e[static_cast<std::size_t>(ne * o + h)];
                    dst.en = src.en;
                    dst.l = src.l;
                    dst.barrier = src.barrier;
                    dst.index_half = src.index_half;
                    dst.index = ne * o + h;
                    long vimg[3], fimg[3];
                    for (int q = 0; q < 3; ++q) {
                        dst.x_i[q] = src.x_i[q] + graph->n[q] * img[q];
                        dst.x[q] = src.x[q] + shift[q];
                        dst.dir[q] = src.dir[q];
                        // the saddle sits in image img; its ends lie bound_i before and bound_f after it
                        const long ki = img[q] - src.bound_i[q], kf = img[q] + src.bound_f[q];
                        vimg[q] = kelmar_mod_long(ki, s[q]);
                        fimg[q] = kelmar_mod_long(kf, s[q]);
                        dst.bound_i[q] = static_cast<int>(-floor_div(ki, s[q]));
                        dst.bound_f[q] = static_cast<int>(floor_div(kf, s[q]));
                        dst.bound[q] = dst.bound_i[q] + dst.bound_f[q];
                    }
                    const long oi = (vimg[0] * s[1] + vimg[1]) * s[2] + vimg[2];
                    const long of = (fimg[0] * s[1] + fimg[1]) * s[2] + fimg[2];
                    dst.v_i = &sg->v[static_cast<std::size_t>(nv * oi + src.v_i->index)];
                    dst.v_f = &sg->v[static_cast<std::size_t>(nv * of + src.v_f->index)];
                }
            }
    // outgoing lists in edge order
    for (KELMAR_GRAPH_EDGE& e : sg->e) {
        e.v_i->e.push_back(&e);
        e.v_i->total_e = static_cast<int>(e.v_i->e.size());
    }
    // reverse pairs stay adjacent: the partner of edge 2k+j in a copy is edge 2k+1-j of that copy,
    // since both carry the same saddle
    for (KELMAR_GRAPH_EDGE& e : sg->e) {
        const long partner = e.index ^ 1L;
        if (partner >= sg->total_e) {
            std::fprintf(stderr, "Error: failed to link e_r.\n");
            return nullptr;
        }
        KELMAR_GRAPH_EDGE* r = &sg->e[static_cast<std::size_t>(partner)];
        if (r->v_i != e.v_f || r->v_f != e.v_i || std::fabs(r->en - e.en) > 0.001) {
            std::fprintf(stderr, "Error: failed to link e_r.\n");
            return nullptr;
        }
        for (int q = 0; q < 3; ++q)
            if (e.bound[q] + r->bound[q] != 0 || e.bound_i[q] + r->bound_f[q] != 0 ||
                e.bound_f[q] + r->bound_i[q] != 0) {
                std::fprintf(stderr, "Error: mismatch in e[].bound %ld <-> %ld.\n", e.index, r->index);
                return nullptr;
            }
        e.e_r = r;
    }
    return sg;
}
