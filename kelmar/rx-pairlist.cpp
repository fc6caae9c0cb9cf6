// Listed lattice images for repeated energy and force evaluation.
#include "rx-pairlist.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "property-assemble.hpp"
#include "neighbor.hpp"


namespace rxlist {

namespace {

const double KELMAR_SQRT_PI = std::sqrt(M_PI);

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// The interaction distance of like-charged pairs: the largest pair cutoff, at least 12 A.
double largest_reach(const KELMAR_PROPERTY& ppt) {
    double rmax = 12.0;
    for (int i = 0; i < ppt.total; i++)
        for (int j = 0; j < ppt.total; j++) rmax = std::max(rmax, ppt.bin[i][j].cutoff);
    return rmax;
}

// The pair rule of the cell sums; false when the pair does not interact.
bool make_term(const KELMAR_PROPERTY& ppt, const KELMAR_ATOM& ai, int si, const KELMAR_ATOM& aj, int sj, double rmax,
               Term* t) {
    t->weight = ai.occ * aj.occ;
    t->close_ok = ai.occ + aj.occ > 1.0 && std::strcmp(ai.type, aj.type) != 0;
    double reach = 0.0;
    if (ai.os * aj.os >= 1) {
        t->kind = Term::COULOMB;
        t->q = ppt.uni[si].q * ppt.uni[sj].q;
        t->r_eff = ppt.sf * (ppt.uni[si].rc + ppt.uni[sj].rc);
        t->shift = t->q * std::erfc(10.0 / t->r_eff) / 10.0;
        reach = rmax;
    } else if (ai.os * aj.os < 0) {
        const KELMAR_PROPERTY_BINARY& e = ai.os < 0 ? ppt.bin[sj][si] : ppt.bin[si][sj];
        t->kind = Term::BONDING;
        t->d0 = e.d0;
        t->rmin = e.rmin;
        t->b = e.b;
        t->en_s = e.en_s;
        reach = e.cutoff;
    } else {
        return false;
    }
    t->reach2 = reach * reach * 1.0000001;
    return reach > 0;
}

bool build(PairList& list, const KELMAR_CELL& cell, const KELMAR_PROPERTY& ppt) {
    const double rmax = largest_reach(ppt);
    // Every translation that brings two points of the cell within reach of each other.
    long m[3];
    if (!latimg::image_range_covering(m, cell.a, rmax + SKIN)) return false;
    list.block.clear();
    list.offset.clear();
    const long n = cell.total();
    for (long i = 0; i < n; i++) {
        const KELMAR_ATOM& ai = cell.atom[static_cast<std::size_t>(i)];
        for (long j = 0; j < n; j++) {
            const KELMAR_ATOM& aj = cell.atom[static_cast<std::size_t>(j)];
            Block blk;
            if (!make_term(ppt, ai, list.species[static_cast<std::size_t>(i)], aj,
                           list.species[static_cast<std::size_t>(j)], rmax, &blk.term))
                continue;
            const double reach = std::sqrt(blk.term.reach2) + SKIN;
            const double d0[3] = {aj.x[0] - ai.x[0], aj.x[1] - ai.x[1], aj.x[2] - ai.x[2]};
            blk.i = i;
            blk.j = j;
            blk.begin = list.offset.size() / 3;
            latimg::for_each_image(cell.a, m, [&](const latimg::Image& img) {
                double t[3], v[3];
                const double zero[3] = {0.0, 0.0, 0.0};
                img.add_to(t, zero);
                for (int c = 0; c < 3; c++) v[c] = d0[c] + t[c];
                if (length3(v) <= reach) list.offset.insert(list.offset.end(), t, t + 3);
            });
            blk.end = list.offset.size() / 3;
            if (blk.end > blk.begin) list.block.push_back(blk);
        }
    }
    list.x_built.resize(static_cast<std::size_t>(3 * n));
    for (long i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) list.x_built[static_cast<std::size_t>(3 * i + c)] = cell.atom[static_cast<std::size_t>(i)].x[c];
    list.builds += 1;
    return true;
}

// The list still holds every image within reach: no atom has moved more than half the skin.
bool still_valid(const PairList& list, const KELMAR_CELL& cell) {
    if (list.x_built.size() != static_cast<std::size_t>(3 * cell.total())) return false;
    const double limit2 = 0.25 * SKIN * SKIN;
    for (long i = 0; i < cell.total(); i++) {
        const double* x = cell.atom[static_cast<std::size_t>(i)].x;
        const double* b = &list.x_built[static_cast<std::size_t>(3 * i)];
        const double d[3] = {x[0] - b[0], x[1] - b[1], x[2] - b[2]};
        if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > limit2) return false;
    }
    return true;
}

}  // namespace

bool energy_and_force(PairList& list, const KELMAR_CELL& cell, const KELMAR_PROPERTY& ppt, double* energy,
                      double (*force)[3]) {
    const long n = cell.total();
    const bool rebuild = !still_valid(list, cell);
    if (rebuild) {
        list.species.resize(static_cast<std::size_t>(n));
        for (long i = 0; i < n; i++) {
            const KELMAR_ATOM& a = cell.atom[static_cast<std::size_t>(i)];
            list.species[static_cast<std::size_t>(i)] = kelmar_property_find_index(&ppt, a.type, a.os);
            if (list.species[static_cast<std::size_t>(i)] < 0) {
                std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
                list.x_built.clear();
                return false;
            }
        }
        if (!build(list, cell, ppt)) {
            list.x_built.clear();
            return false;
        }
    }
    for (long i = 0; i < n; i++) force[i][0] = force[i][1] = force[i][2] = 0.0;
    double sum = 0.0;
    for (const Block& blk : list.block) {
        const double* xi = cell.atom[static_cast<std::size_t>(blk.i)].x;
        const double* xj = cell.atom[static_cast<std::size_t>(blk.j)].x;
        const double d0[3] = {xj[0] - xi[0], xj[1] - xi[1], xj[2] - xi[2]};
        const Term& t = blk.term;
        double f[3] = {0.0, 0.0, 0.0};
        for (std::size_t k = blk.begin; k < blk.end; k++) {
            const double* o = &list.offset[3 * k];
            const double v[3] = {d0[0] + o[0], d0[1] + o[1], d0[2] + o[2]};
            const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
            if (d2 > t.reach2) continue;
            const double d = std::sqrt(d2);
            // Images closer than 0.2 A (an atom with itself, split sites) count in the energy only
            // for two different elements of more than full joint occupancy, and never in the force.
            const bool in_energy = d >= 0.2 || t.close_ok;
            const bool in_force = d > 0.2;
            if (!in_energy && !in_force) continue;
            double e = 0.0, g = 0.0;
            if (t.kind == Term::COULOMB) {
                // One erfc and one exp serve the energy and its derivative.
                const double s = d / t.r_eff;
                const double qerfc = t.q * std::erfc(s);
                e = qerfc / d - t.shift;
                g = -qerfc / (d * d) - 2.0 * t.q * std::exp(-s * s) / (KELMAR_SQRT_PI * t.r_eff * d);
            } else {
                const double x = std::exp((t.rmin - d) / t.b);
                const double u = x - 1.0;
                e = 0.5 * t.d0 * (u * u - 1.0) - t.en_s;
                g = -(t.d0 / t.b) * x * u;
            }
            if (in_energy) sum += t.weight * e;
            if (in_force) {
                const double s = 0.5 * t.weight * g / d;
                for (int c = 0; c < 3; c++) f[c] += s * v[c];
            }
        }
        for (int c = 0; c < 3; c++) force[blk.i][c] += f[c];
    }
    *energy = 7.19982 * sum;
    return true;
}

}  // namespace rxlist
