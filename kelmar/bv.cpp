// Bond-valence sums per inequivalent site and the global instability index.
#include "bv.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cell-ops.hpp"
#include "property-assemble.hpp"
#include "neighbor.hpp"

namespace {

double vector_length(const double a[3]) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

// The two variants of the flagged-cell sum differ in their image range, distance rule and the
// handling of (nearly) coincident atoms.
enum class BV_RULE { PAIR_CUTOFF, DEFAULT_CUTOFF };

std::unique_ptr<KELMAR_BV> bv_calculate(const KELMAR_CELL* cell, const KELMAR_PROPERTY* ppt, BV_RULE rule) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    if (kelmar_bv_validate_property(ppt) != 0) {
        std::fprintf(stderr, "Error: kelmar_bv_validate_property() returns non-zero.\n");
        return nullptr;
    }
    long n_site = 0;
    for (const KELMAR_ATOM& a : cell->atom)
        if (a.flag > n_site) n_site = a.flag;
    auto bv = kelmar_bv_new(n_site);
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_new() returns NULL.\n");
        return nullptr;
    }
    for (long i = 0; i < n_site; i++) {
        bool first = true;
        for (const KELMAR_ATOM& a : cell->atom) {
            if (a.flag != i + 1) continue;
            if (first) bv->atom[i] = a;
            first = false;
            bv->multi[i] += 1;
        }
    }

    long m[3];
    double len[3];
    for (int k = 0; k < 3; k++) len[k] = vector_length(cell->a[k]);
    bool in_range = false;
    if (rule == BV_RULE::PAIR_CUTOFF) {
        double rmax = 0.0;
        for (int i = 0; i < ppt->total; i++)
            for (int j = 0; j < ppt->total; j++)
                if (ppt->bin[i][j].cutoff > rmax) rmax = ppt->bin[i][j].cutoff;
        in_range = latimg::image_range_wide(m, len, cell->a, rmax, 2.0);
    } else {
        in_range = latimg::image_range_wide(m, len, cell->a, 12.0, 1.0);
    }
    if (!in_range) return nullptr;

    const long total = cell->total();
    for (long i = 0; i < n_site; i++) {
        const KELMAR_ATOM& site = bv->atom[i];
        if (site.os == 0) continue;
        const int k_site = kelmar_property_find_index(ppt, site.type, site.os);
        for (long s = 0; s < total; s++) {
            const KELMAR_ATOM& nb = cell->atom[static_cast<std::size_t>(s)];
            int cation, anion;
            if (site.os > 0 && nb.os < 0) {
                cation = k_site;
                anion = kelmar_property_find_index(ppt, nb.type, nb.os);
            } else if (site.os < 0 && nb.os > 0) {
                cation = kelmar_property_find_index(ppt, nb.type, nb.os);
                anion = k_site;
            } else {
                continue;
            }
            if (cation < 0 || anion < 0) {
                std::fprintf(stderr, "Error: kelmar_property_find_index() returns negative value.\n");
                return nullptr;
            }
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[cation][anion];
            if (e.cutoff <= 0.2) continue;
            const double r0 = e.r0, b = e.b;
            const double cutoff = (rule == BV_RULE::PAIR_CUTOFF) ? e.cutoff : 12.0;
            const double sign = site.os < 0 ? -1.0 : 1.0;
            const double occ_sum = site.occ + nb.occ;
            const double d0[3] = {site.x[0] - nb.x[0], site.x[1] - nb.x[1], site.x[2] - nb.x[2]};
            const long cls = nb.flag - 1;
            // Every image adds to the running sums at once, so the sums are rounded image by
            // image in the same order whatever the number of neighbours.
            double& sum_i = bv->sum[static_cast<std::size_t>(i)];
            double* value_ij = (cls >= 0 && cls < n_site) ? &bv->at(i, cls) : nullptr;
            latimg::for_each_image(cell->a, m, [&](const latimg::Image& img) {
                double v[3];
                img.subtract_from(v, d0);
                const double d = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                if (d < 0.2) {
                    if (rule == BV_RULE::PAIR_CUTOFF) {
                        if (occ_sum > 1.01) std::printf("Warning: d=%f, occ1=%f, occ2=%f\n", d, site.occ, nb.occ);
                        return;
                    }
                    if (occ_sum <= 1.0) return;
                }
                if (d < cutoff) {
                    const double s_is = sign * (nb.occ * std::exp((r0 - d) / b));
                    sum_i += s_is;
                    if (value_ij != nullptr) *value_ij += s_is;
                }
            });
        }
    }
    return bv;
}

}  // namespace

// The parameter record of the sums: the species of the cell with screening factor 0.75. It is
// assembled without the import's test that the oxidation states balance: the sums use only R0,
// b and the cutoffs, and a structure with wrong oxidation states is exactly what its sums and
// GII are meant to show.
std::unique_ptr<KELMAR_PROPERTY> kelmar_bv_property_of_cell(KELMAR_CELL* cell, const char* dir_unitary,
                                                            const char* dir_binary) {
    auto ppt = kelmar_property_new(0);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_new() returns NULL.\n");
        return nullptr;
    }
    if (kelmar_property_update_index_by_cell(ppt.get(), cell) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_update_index_by_cell() returns non-zero.\n");
        return nullptr;
    }
    ppt->sf = 0.75;
    if (kelmar_property_update(ppt.get(), cell, dir_unitary, dir_binary) != 0) {
        std::fprintf(stderr, "Error: kelmar_property_update() returns non-zero.\n");
        return nullptr;
    }
    return ppt;
}

std::unique_ptr<KELMAR_BV> kelmar_bv_new(long total) {
    auto bv = std::make_unique<KELMAR_BV>();
    if (total <= 0) return bv;
    bv->total = total;
    bv->atom.assign(static_cast<std::size_t>(total), KELMAR_ATOM{});
    bv->multi.assign(static_cast<std::size_t>(total), 0);
    bv->sum.assign(static_cast<std::size_t>(total), 0.0);
    bv->value.assign(static_cast<std::size_t>(total * total), 0.0);
    return bv;
}

int kelmar_bv_validate_property(const KELMAR_PROPERTY* ppt) {
    if (ppt == nullptr || ppt->bin.size() < static_cast<std::size_t>(ppt->total)) {
        std::fprintf(stderr, "Error: KELMAR_PROPERTY has not been properly initialized.\n");
        return 1;
    }
    for (int i = 0; i < ppt->total; i++)
        for (int j = 0; j < ppt->total; j++) {
            if (!(ppt->os[i] > 0 && ppt->os[j] < 0)) continue;
            const KELMAR_PROPERTY_BINARY& e = ppt->bin[i][j];
            const struct {
                const char* name;
                double value;
            } checks[3] = {{"cutoff", e.cutoff}, {"b", e.b}, {"r0", e.r0}};
            for (const auto& c : checks)
                if (!(c.value > 0)) {
                    std::fprintf(stderr, "Error: incorrect %s at [%d](%s%d%c)-(%s%d%c) %s=%f\n", c.name, i,
                                 ppt->type[i].data(), std::abs(ppt->os[i]), os_sign_char(ppt->os[i]),
                                 ppt->type[j].data(), std::abs(ppt->os[j]), os_sign_char(ppt->os[j]), c.name, c.value);
                    return 1;
                }
        }
    return 0;
}

std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_flagged_cell(const KELMAR_CELL* cell,
                                                                 const KELMAR_PROPERTY* ppt) {
    return bv_calculate(cell, ppt, BV_RULE::PAIR_CUTOFF);
}

std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_flagged_cell_at_default_cutoff(const KELMAR_CELL* cell,
                                                                                    const KELMAR_PROPERTY* ppt) {
    return bv_calculate(cell, ppt, BV_RULE::DEFAULT_CUTOFF);
}

std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry,
                                                         const char* dir_unitary, const char* dir_binary) {
    if (kelmar_cell_flag_site_by_symmetry(cell, symmetry) != 0) {
        std::fprintf(stderr, "Error: kelmar_cell_flag_site_by_symmetry() returns non-zero.\n");
        return nullptr;
    }
    auto ppt = kelmar_bv_property_of_cell(cell, dir_unitary, dir_binary);
    if (ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_import_from_cell() returns NULL.\n");
        kelmar_cell_refresh(cell);
        return nullptr;
    }
    auto bv = kelmar_bv_calculate_from_flagged_cell(cell, ppt.get());
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_flagged_cell() returns NULL.\n");
        kelmar_cell_refresh(cell);
        return nullptr;
    }
    kelmar_cell_refresh(cell);
    return bv;
}

std::unique_ptr<KELMAR_BV> kelmar_bv_calculate_from_cell_with_type(const KELMAR_CELL* cell,
                                                                   const KELMAR_SYMMETRY* symmetry,
                                                                   const char* type1, int os1, const char* type2,
                                                                   int os2, const char* dir_unitary,
                                                                   const char* dir_binary) {
    if (cell == nullptr || type1 == nullptr || type2 == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return nullptr;
    }
    auto copy = kelmar_cell_copy(cell);
    if (copy == nullptr) {
        std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL.\n");
        return nullptr;
    }
    std::vector<KELMAR_ATOM> kept;
    for (const KELMAR_ATOM& a : copy->atom)
        if ((a.os == os1 && std::strcmp(a.type, type1) == 0) || (a.os == os2 && std::strcmp(a.type, type2) == 0))
            kept.push_back(a);
    if (kept.empty()) {
        std::fprintf(stderr, "Error: the cell has no atoms of %s(%d) or %s(%d).\n", type1, os1, type2, os2);
        return nullptr;
    }
    copy->atom = std::move(kept);
    // The two species alone need not balance; the sums do not depend on it.
    return kelmar_bv_calculate_from_cell(copy.get(), symmetry, dir_unitary, dir_binary);
}

double kelmar_gii_calculate_from_bv_no_msg(const KELMAR_BV* bv) {
    if (bv == nullptr) return -1.0;
    double num = 0.0, den = 0.0;
    for (long i = 0; i < bv->total; i++) {
        const double w = bv->atom[i].occ * bv->multi[i];
        const double dv = bv->sum[i] - bv->atom[i].os;
        num += w * dv * dv;
        den += w;
    }
    return std::sqrt(num / den);
}

double kelmar_gii_calculate_from_bv(const KELMAR_BV* bv) {
    const double gii = kelmar_gii_calculate_from_bv_no_msg(bv);
    std::printf("GII: Global instability index = %f\n", gii);
    if (gii > 0 && gii < 0.15) std::printf("GII: suggested stability: stable.\n");
    else if (gii < 0.3) std::printf("GII: suggested stability: average.\n");
    else if (gii < 1) std::printf("GII: suggested stability: unstable.\n");
    else {
        std::printf("GII: unreasonable value.\n");
        std::printf("GII: there might be an error in input structure or calculation.\n");
    }
    return gii;
}

double kelmar_gii_calculate_from_cell(KELMAR_CELL* cell, const KELMAR_SYMMETRY* symmetry, const char* dir_unitary,
                                      const char* dir_binary) {
    auto bv = kelmar_bv_calculate_from_cell(cell, symmetry, dir_unitary, dir_binary);
    if (bv == nullptr) {
        std::fprintf(stderr, "Error: kelmar_bv_calculate_from_cell() returns NULL.\n");
        return -1.0;
    }
    return kelmar_gii_calculate_from_bv(bv.get());
}

long kelmar_bv_find_index(const KELMAR_BV* bv, const char* name, int os) {
    if (bv == nullptr || name == nullptr) return -1;
    for (long i = 0; i < bv->total; i++)
        if (bv->atom[i].os == os && std::strcmp(bv->atom[i].name, name) == 0) return i;
    return -1;
}

void kelmar_bv_print(const KELMAR_BV* bv) {
    if (bv == nullptr) {
        std::fprintf(stderr, "BV: (not allocated)\n");
        return;
    }
    std::printf("BV: %6s %4s %6s %9s\n", "name", "type", "occ", "bv_sum");
    for (long i = 0; i < bv->total; i++) {
        const KELMAR_ATOM& a = bv->atom[i];
        std::printf("BV: %6s %2s%d%c %6.3f %9.6f\n", a.name, a.type, std::abs(a.os), a.os <= 0 ? '-' : '+', a.occ,
                    bv->sum[i]);
    }
    std::printf("BV:%s\n", std::string(45, '=').c_str());
    std::printf("BV: %4s %4s %6s %4s %4s %6s %9s\n", "nam1", "typ1", "occ1", "nam2", "typ2", "occ2", "bv");
    for (long i = 0; i < bv->total; i++)
        for (long j = 0; j < bv->total; j++) {
            const KELMAR_ATOM& a = bv->atom[i];
            const KELMAR_ATOM& b = bv->atom[j];
            std::printf("BV: %4s %2s%d%c %6.3f %4s %2s%d%c %6.3f %9.6f\n", a.name, a.type, std::abs(a.os),
                        a.os <= 0 ? '-' : '+', a.occ, b.name, b.type, std::abs(b.os), b.os <= 0 ? '-' : '+', b.occ,
                        bv->at(i, j));
        }
}

void kelmar_bv_print_gui(const KELMAR_BV* bv) {
    std::printf("Printing bond valence sum of each site for kelmar-GUI\n");
    std::printf("> Label [  X     Y     Z  ] : BV_sum\n");
    if (bv != nullptr)
        for (long i = 0; i < bv->total; i++) {
            const KELMAR_ATOM& a = bv->atom[i];
            std::printf("> %5s [%.3f %.3f %.3f] : %.6f\n", a.name, a.x_f[0], a.x_f[1], a.x_f[2], bv->sum[i]);
        }
    std::printf("End of BV sum calculation for kelmar-GUI\n");
}
