// Coordination numbers of the probe ion at minima and saddles.
#include "coordination.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bond-valence.hpp"
#include "cif.hpp"
#include "neighbours.hpp"

namespace {

int type_index_of_flag(const NARO_cif& cif, int flag) {
    for (size_t i = 0; i < cif.type.size(); ++i)
        if (cif.type[i].flag == flag) return static_cast<int>(i);
    return -1;
}

template <class Point>
int cn_points(const NARO_cif& cif, NARO_cube& cube, const NARO_bv_bin& bin, std::vector<Point>& pts, int option) {
    for (size_t i = 0; i < pts.size(); ++i) {
        std::unique_ptr<NARO_CN_center> c = NARO_cn_center_new(cube, static_cast<int>(i), option);
        if (!c) {
            std::fprintf(stderr, "Error: NARO_cn_center_new() return NULL.\n");
            return 1;
        }
        const int cn = NARO_calc_cn_site(cif, *c, bin);
        if (cn < 0) return 1;
        pts[i].cn = cn;
    }
    return 0;
}

}  // namespace

std::unique_ptr<NARO_CN_center> NARO_cn_center_new(const NARO_cube& cube, int site_index, int site_option) {
    auto c = std::make_unique<NARO_CN_center>();
    c->elem = cube.ion_elem.substr(0, 3);
    c->os = cube.ion_charge;
    double tx, ty, tz;
    if (site_option == 1) {
        if (site_index < 0 || site_index >= static_cast<int>(cube.minima.size())) return nullptr;
        const NARO_minima& m = cube.minima[static_cast<size_t>(site_index)];
        c->BVS = m.bv;
        tx = m.tx, ty = m.ty, tz = m.tz;
    } else {
        if (site_index < 0 || site_index >= static_cast<int>(cube.saddle.size())) return nullptr;
        const NARO_saddle& s = cube.saddle[static_cast<size_t>(site_index)];
        c->BVS = s.bv;
        tx = s.tx, ty = s.ty, tz = s.tz;
    }
    c->x[0] = tx / cube.a_grid;
    c->x[1] = ty / cube.b_grid;
    c->x[2] = tz / cube.c_grid;
    return c;
}

std::unique_ptr<NARO_CN> NARO_cn_new() { return std::make_unique<NARO_CN>(); }

int NARO_calc_cn_site(const NARO_cif& cif, const NARO_CN_center& center, const NARO_bv_bin& bin) {
    const int ti = NARO_bv_bin_find_index(cif, center.elem.c_str(), center.os);
    if (ti < 0) {
        std::fprintf(stderr, "Error: NARO_bv_bin_find_index() cannot find index for CN center.\n");
        return -1;
    }
    std::unique_ptr<NARO_CN> cn = NARO_cn_new();
    const NARO_bv_bin_item* pair = nullptr;
    double maxcut = 0;
    for (const NARO_site& t : cif.site_all) {
        const int tj = type_index_of_flag(cif, t.type_flag);
        if (tj >= 0 && bin.item[static_cast<size_t>(ti)][static_cast<size_t>(tj)].status)
            maxcut = std::max(maxcut, bin.item[static_cast<size_t>(ti)][static_cast<size_t>(tj)].cutoff);
    }
    auto reach = [&](size_t s) {
        const NARO_site& t = cif.site_all[s];
        if (!(t.ox * center.os < 0)) return -1.0;
        const int tj = type_index_of_flag(cif, t.type_flag);
        if (tj < 0) return -1.0;
        pair = &bin.item[static_cast<size_t>(ti)][static_cast<size_t>(tj)];
        return pair->status ? pair->cutoff : -1.0;
    };
    struct Bond {
        double s, r, occ;
        size_t site;
        NaroShift shift;
    };
    std::vector<Bond> bonds;
    // Every image within the largest cutoff: a shell without bonds (a centre in the
    // middle of a large cell) must not end the search before the neighbours are met.
    NaroSiteImages(cif, cif.site_all)
        .visit_within(center.x[0], center.x[1], center.x[2], maxcut, reach, [&](size_t s, NaroShift t, double d) {
            if (!(d > 0.3) || !(d < pair->cutoff)) return;
            bonds.push_back({std::exp((pair->r0 - d) / pair->b), d, cif.site_all[s].occ, s, t});
        });
    if (bonds.empty()) {
        std::fprintf(stderr, "Error: coodinated items of site %.3f %.3f %.3f not found.\n", center.x[0], center.x[1],
                     center.x[2]);
        return 0;
    }
    std::stable_sort(bonds.begin(), bonds.end(), [](const Bond& a, const Bond& b) { return a.s > b.s; });
    for (const Bond& b : bonds) {
        const NARO_site& t = cif.site_all[b.site];
        cn->elem_c.push_back(t.label.substr(0, 3));
        cn->os_c.push_back(static_cast<int>(t.ox));
        cn->x_c.push_back({t.x + b.shift.i, t.y + b.shift.j, t.z + b.shift.k});
        cn->r.push_back(b.r);
        cn->occ.push_back(b.occ);
        cn->s.push_back(b.s);
    }
    const size_t n = bonds.size();
    cn->total = static_cast<int>(n);
    cn->n.assign(n, 0);
    cn->s_sum.assign(n, 0);
    cn->s_ave.assign(n, 0);
    cn->s_det.assign(n, 0);
    cn->n[0] = cn->occ[0];
    cn->s_sum[0] = cn->s[0] * cn->occ[0];
    cn->s_ave[0] = cn->occ[0] > 0 ? cn->s_sum[0] / cn->occ[0] : 0;
    for (size_t q = 1; q < n; ++q) {
        cn->n[q] = cn->n[q - 1] + cn->occ[q];
        cn->s_sum[q] = cn->s_sum[q - 1] + cn->s[q] * cn->occ[q];
        cn->s_ave[q] = cn->n[q] > 0 ? cn->s_sum[q] / cn->n[q] : 0;
        cn->s_det[q] = cn->s_ave[q - 1] / cn->s[q];
    }
    const double v = std::fabs(center.BVS);
    cn->cn_index = 0;
    for (size_t q = 1; q < n; ++q)
        if (cn->s[q] >= 0.025 * v && (cn->s_det[q] <= 4.5 || cn->s_sum[q - 1] <= 0.75 * v))
            cn->cn_index = static_cast<int>(q);
    return static_cast<int>(cn->n[static_cast<size_t>(cn->cn_index)]);
}

int NARO_calc_cn_minima(const NARO_cif& cif, NARO_cube& cube, const NARO_bv_bin& bin) {
    return cn_points(cif, cube, bin, cube.minima, 1);
}

int NARO_calc_cn_saddle(const NARO_cif& cif, NARO_cube& cube, const NARO_bv_bin& bin) {
    return cn_points(cif, cube, bin, cube.saddle, 0);
}

int NARO_cn_calculate(NaroRunState& run) {
    NARO_cif& cif = run.cif;
    NARO_cube& cube = run.cube;
    if (NARO_add_cif_type_conduc(cif, cube.ion_type, cube.ion_charge) != 0) {
        std::fprintf(stderr, "Error: Conduction ion type cannot add to cif ion type.\n");
        return 1;
    }
    if (NARO_update_cif_type_elem(cif) != 0) {
        std::printf("Error: NARO_update_cif_type_elem() didnt return 0 for CN");
        return 1;
    }
    NARO_bv_bin bin;
    if (NARO_init_bv_bin(bin, static_cast<int>(cif.type.size())) != 0) {
        std::fprintf(stderr, "Error: binary parameters cannot be initiated.\n");
        return 1;
    }
    if (NARO_build_bv_bin(cif, bin) != 0) {
        std::fprintf(stderr, "Error: NARO_build_bv_bin() didnt return 0.\n");
        return 1;
    }
    if (NARO_calc_bv_sum(cif, bin) != 0) {
        std::fprintf(stderr, "Error: NARO_cal_bv_sum() didnt return 0.\n");
        return 1;
    }
    if (NARO_calc_bv_sum_minima(cube, cif, bin) != 0) {
        std::fprintf(stderr, "Error: NARO_cal_bv_sum_minima() return non-zero.\n");
        return 1;
    }
    if (NARO_calc_bv_sum_saddle(cube, cif, bin) != 0) {
        std::fprintf(stderr, "Error: NARO_cal_bv_sum_saddle() return non-zero.\n");
        return 1;
    }
    if (NARO_calc_cn_minima(cif, cube, bin) != 0 || NARO_calc_cn_saddle(cif, cube, bin) != 0) {
        std::fprintf(stderr, "Error: NARO_calc_cn_minima() return\n");
        return 1;
    }
    return 0;
}
