// Bond-valence quantities of the analyser: cell charge, the cation-anion parameter
// table, bond-valence sums of the sites and of a probe ion at stationary points, GII
// and the longest bond worth drawing.
#include "bond-valence.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cif.hpp"
#include "neighbours.hpp"

// Lines of the binary parameter file with more than seven words, split at blanks;
// false (with the error line) when the file cannot be opened.
static bool naro_read_binary_rows(std::vector<std::vector<std::string>>& rows) {
    std::string path = NARO_data_file_path("database_binary.dat");
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        std::fprintf(stderr, "Error: Cannot load database_binary.dat!\n");
        return false;
    }
    char buf[1024];
    while (std::fgets(buf, sizeof buf, fp)) {
        std::string l(buf);
        for (char& c : l)
            if (c == '\t' || c == '\r' || c == '\n') c = ' ';
        auto t = naro_tokens(l);
        if (t.size() > 7) rows.push_back(std::move(t));
    }
    std::fclose(fp);
    return true;
}

double NARO_calc_unit_cell_charge(NARO_cif& cif) {
    double q = 0;
    for (const NARO_site& s : cif.site) q += s.occ * s.ox * s.mul;
    cif.unit_cell_charge = q;
    return q;
}

int NARO_print_unit_cell_charge(NARO_cif& cif) {
    if (!cif.site_charge_provided) {
        std::fprintf(stderr, "Error: Unable to calculate total charge\n");
        return 1;
    }
    std::printf("Total charge per unit cell: %.3f\n", NARO_calc_unit_cell_charge(cif));
    return 0;
}

int NARO_alloc_bv_bin(NARO_bv_bin& bin, int size) {
    if (size < 0) {
        std::fprintf(stderr, "Error: Memory allocation problem\n");
        return 1;
    }
    bin.total = size;
    bin.item.assign(static_cast<size_t>(size), std::vector<NARO_bv_bin_item>(static_cast<size_t>(size)));
    return 0;
}

int NARO_init_bv_bin(NARO_bv_bin& bin, int size) { return NARO_alloc_bv_bin(bin, size); }

void NARO_free_bv_bin(NARO_bv_bin& bin) {
    bin.item.clear();
    bin.total = 0;
}

// Oxidation state truncated to a whole number; states that no integer can hold
// (NaN, absurd magnitudes from a damaged file) match nothing and read as 0.
static long naro_trunc_state(double ox) {
    if (!std::isfinite(ox) || std::fabs(ox) > 1e6) return 0;
    return static_cast<long>(ox);
}

int NARO_build_bv_bin(const NARO_cif& cif, NARO_bv_bin& bin) {
    if (NARO_alloc_bv_bin(bin, static_cast<int>(cif.type.size())) != 0) return 1;
    std::vector<std::vector<std::string>> rows;
    if (!naro_read_binary_rows(rows)) return 1;
    const int n = bin.total;
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j) {
            NARO_bv_bin_item& e = bin.item[static_cast<size_t>(i)][static_cast<size_t>(j)];
            e = NARO_bv_bin_item{};
            const NARO_type& ti = cif.type[static_cast<size_t>(i)];
            const NARO_type& tj = cif.type[static_cast<size_t>(j)];
            if (i == j || ti.ox * tj.ox >= 0) continue;   // like signs or a neutral type
            const NARO_type& cat = ti.ox > 0 ? ti : tj;
            const NARO_type& an = ti.ox > 0 ? tj : ti;
            const long cq = naro_trunc_state(cat.ox), aq = naro_trunc_state(an.ox);
            for (const auto& t : rows) {
                if (t[0] != cat.label_element || std::strtol(t[1].c_str(), nullptr, 10) != cq ||
                    t[2] != an.label_element || std::strtol(t[3].c_str(), nullptr, 10) != aq)
                    continue;
                e.r0 = std::strtod(t[4].c_str(), nullptr);
                e.b = std::strtod(t[5].c_str(), nullptr);
                e.cutoff = std::strtod(t[7].c_str(), nullptr);
                e.status = e.b != 0 ? 1 : 0;   // a zero softness cannot form a bond
                break;
            }
        }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j)
            bin.item[static_cast<size_t>(i)][static_cast<size_t>(j)] = bin.item[static_cast<size_t>(j)][static_cast<size_t>(i)];
    return 0;
}

namespace {
struct NaroBinaryLine {
    double r0 = 0, b = 0, cn = 0;
};
// First line of the binary parameter file for the pair; false when there is none.
bool naro_find_binary_line(const std::vector<std::vector<std::string>>& rows, const std::string& cat, long cq,
                           const std::string& ani, long aq, NaroBinaryLine* out) {
    for (const auto& t : rows) {
        if (t[0] != cat || std::strtol(t[1].c_str(), nullptr, 10) != cq || t[2] != ani ||
            std::strtol(t[3].c_str(), nullptr, 10) != aq)
            continue;
        out->r0 = std::strtod(t[4].c_str(), nullptr);
        out->b = std::strtod(t[5].c_str(), nullptr);
        out->cn = std::strtod(t[6].c_str(), nullptr);
        return true;
    }
    return false;
}

}  // namespace

double NARO_maximum_pair_distance(const char* cat, const char* ani, double ox_1, double ox_2) {
    std::vector<std::vector<std::string>> rows;
    if (!naro_read_binary_rows(rows)) return -1;
    const std::string c = cat ? cat : "", a = ani ? ani : "";
    const long cq = naro_trunc_state(ox_1), aq = naro_trunc_state(ox_2);
    NaroBinaryLine line;
    if (!naro_find_binary_line(rows, c, cq, a, aq, &line)) return -1;
    if (line.cn <= 0.01) {
        // Unknown coordination number: the same linear estimates as the parameter
        // assembly of kelmar.x, from the fluoride (halides) or oxide (sulfide) line.
        struct Rule { const char* anion; long q; const char* ref; long ref_q; double k, d; };
        static const Rule rules[] = {{"Cl", -1, "F", -1, 0.3984, 3.4568},
                                     {"Br", -1, "F", -1, 0.3457, 3.3798},
                                     {"I", -1, "F", -1, 0.3806, 2.7873},
                                     {"S", -2, "O", -2, 0.7414, 0.9597},
                                     {"N", -3, "O", -2, 1.0, 0.0}};
        for (const Rule& r : rules) {
            NaroBinaryLine ref;
            if (a == r.anion && aq == r.q && naro_find_binary_line(rows, c, cq, r.ref, r.ref_q, &ref) && ref.cn > 0)
                line.cn = r.k * ref.cn + r.d;
        }
    }
    if (!(line.cn > 0.01)) {
        std::fprintf(stderr, "Warning: Unknown coordination number of %s%ld %s%ld in database_binary.dat; no bond length\n",
                     c.c_str(), cq, a.c_str(), aq);
        return -1;
    }
    if (!(line.b > 0) || !(ox_1 > 0)) return -1;   // no bond-valence decay to follow
    return line.r0 - line.b * std::log(ox_1 / (4.25 * line.cn));
}

int NARO_bv_bin_find_index(const NARO_cif& cif, const char* element, int os) {
    for (size_t i = 0; i < cif.type.size(); ++i)
        if (cif.type[i].label_element == element && naro_trunc_state(cif.type[i].ox) == os &&
            NARO_cif_equal_dbl(cif.type[i].ox, os))
            return static_cast<int>(i);
    return -1;
}

static int naro_type_index_of_flag(const NARO_cif& cif, int flag) {
    for (size_t i = 0; i < cif.type.size(); ++i)
        if (cif.type[i].flag == flag) return static_cast<int>(i);
    return -1;
}

// Bond-valence sum at fractional (x, y, z) for a species of type index `ti` with
// oxidation state `ox` over the sites of the cell whose states have the other sign.
static double naro_bv_at(const NARO_cif& cif, const NARO_bv_bin& bin, int ti, double ox, double x, double y,
                         double z) {
    double maxcut = 0;
    for (const NARO_site& t : cif.site_all) {
        int tj = naro_type_index_of_flag(cif, t.type_flag);
        if (tj < 0) continue;
        const NARO_bv_bin_item& e = bin.item[static_cast<size_t>(ti)][static_cast<size_t>(tj)];
        if (e.status) maxcut = std::max(maxcut, e.cutoff);
    }
    // Only images within the largest cutoff are visited: a shell without bonds does not
    // end the search early (an atom in the middle of its cell has no partner in shell 0),
    // and absurdly small cells cannot make the search run for ever. The sum runs over
    // every image, so moving the point into the home cell changes nothing.
    double sum = 0;
    const NARO_bv_bin_item* pair = nullptr;   // entry of the site whose images come next
    auto cutoff = [&](size_t s) {
        const NARO_site& t = cif.site_all[s];
        if (!t.ox_set || t.ox * ox >= 0) return -1.0;
        int tj = naro_type_index_of_flag(cif, t.type_flag);
        if (tj < 0) return -1.0;
        pair = &bin.item[static_cast<size_t>(ti)][static_cast<size_t>(tj)];
        return pair->status ? pair->cutoff : -1.0;
    };
    NaroSiteImages(cif, cif.site_all).visit_within(x, y, z, maxcut, cutoff, [&](size_t s, NaroShift, double d) {
        if (d < 0.3) return;
        sum += std::exp((pair->r0 - d) / pair->b) * cif.site_all[s].occ;
    });
    return ox > 0 ? sum : -sum;
}

int NARO_calc_bv_sum(NARO_cif& cif, NARO_bv_bin& bin) {
    if (NARO_add_P1_to_cif(cif) != 0) return 1;
    for (NARO_site& s : cif.site) {
        s.bv_sum = 0;
        int ti = naro_type_index_of_flag(cif, s.type_flag);
        if (ti < 0 || !s.ox_set || s.ox == 0) continue;
        s.bv_sum = naro_bv_at(cif, bin, ti, s.ox, s.x, s.y, s.z);
    }
    return 0;
}

// Whether the sums can be computed: every site needs an oxidation state, and every charged
// species a bond-valence parameter with some counter-ion of the structure. Says what is missing.
static bool naro_bv_answerable(const NARO_cif& cif, const NARO_bv_bin& bin) {
    std::string unset;
    for (const NARO_site& s : cif.site)
        if (!s.ox_set && unset.size() < 200) unset += (unset.empty() ? "" : ", ") + s.label;
    if (!unset.empty()) {
        std::fprintf(stderr, "Error: no oxidation state for site(s) %s: bond-valence sums need charged type symbols "
                             "(Li1+, O2-) or an _atom_type_oxidation_number loop\n", unset.c_str());
        return false;
    }
    // Oxidation states that are all zero give sums of zero everywhere: a structure
    // read without charges, not an answer.
    bool charged = false;
    for (const NARO_site& s : cif.site) charged = charged || s.ox != 0;
    if (!cif.site.empty() && !charged) {
        std::fprintf(stderr, "Error: every site has oxidation state 0: bond-valence sums need charged type symbols "
                             "(Li1+, O2-) or an _atom_type_oxidation_number loop\n");
        return false;
    }
    bool ok = true;
    for (int i = 0; i < bin.total; ++i) {
        const NARO_type& t = cif.type[static_cast<size_t>(i)];
        bool used = false, counter = false, paired = false;
        for (const NARO_site& s : cif.site) used = used || s.type_flag == t.flag;
        for (int j = 0; j < bin.total; ++j) {
            const NARO_type& u = cif.type[static_cast<size_t>(j)];
            bool present = false;
            for (const NARO_site& s : cif.site) present = present || s.type_flag == u.flag;
            if (!present || t.ox * u.ox >= 0) continue;
            counter = true;
            paired = paired || bin.item[static_cast<size_t>(i)][static_cast<size_t>(j)].status == 1;
        }
        if (used && t.ox != 0 && counter && !paired) {
            std::fprintf(stderr, "Error: database_binary.dat has no bond-valence parameters for %s (oxidation state %g) "
                                 "with the counter-ions of this structure\n", t.label.c_str(), t.ox);
            ok = false;
        }
    }
    return ok;
}

int NARO_print_bv_sum(NARO_cif& cif, FILE* out) {
    NARO_bv_bin bin;
    if (NARO_build_bv_bin(cif, bin) != 0 || !naro_bv_answerable(cif, bin) || NARO_calc_bv_sum(cif, bin) != 0) return 1;
    std::fprintf(out, "Printing bond valence sum for each site...\n");
    std::fprintf(out, "> Label [X Y Z] : BV_sum\n");
    for (const NARO_site& s : cif.site)
        std::fprintf(out, "> %s [%.3f %.3f %.3f] : %.6f\n", s.label.c_str(), s.x, s.y, s.z, s.bv_sum);
    std::fprintf(out, "End of BV sum calculation.\n");
    return 0;
}

double NARO_calc_GII(NARO_cif& cif) {
    NARO_bv_bin bin;
    if (NARO_build_bv_bin(cif, bin) != 0 || !naro_bv_answerable(cif, bin) || NARO_calc_bv_sum(cif, bin) != 0) return -1;
    double num = 0, den = 0;
    for (const NARO_site& s : cif.site) {
        std::printf("%s : %f Ox %f Mul %d Occ %f\n", s.label.c_str(), s.bv_sum, s.ox, s.mul, s.occ);
        num += s.mul * s.occ * (s.ox - s.bv_sum) * (s.ox - s.bv_sum);
        den += s.mul * s.occ;
    }
    if (!(den > 0)) return -1;
    return std::sqrt(num / den);
}

int NARO_print_GII(NARO_cif& cif, FILE* out) {
    double g = NARO_calc_GII(cif);
    if (NARO_cif_equal_dbl(g, -1)) {
        std::fprintf(stderr, "Error: Unable to calculate GII\n");
        return 1;
    }
    std::fprintf(out, "Global instability index: %.6f\n", g);
    return 0;
}

template <class Point>
static int naro_bv_points(NARO_cube& cube, NARO_cif& cif, NARO_bv_bin& bin, std::vector<Point>& pts,
                          const char* what) {
    int ti = NARO_bv_bin_find_index(cif, cube.ion_elem.c_str(), cube.ion_charge);
    if (ti < 0) {
        std::fprintf(stderr, "Error: NARO_bv_bin_find_index() cannot find index for %s.\n", what);
        return 1;
    }
    if (cif.site_all.empty() && NARO_add_P1_to_cif(cif) != 0) return 1;
    for (Point& p : pts) {
        double v = naro_bv_at(cif, bin, ti, cube.ion_charge, static_cast<double>(p.x) / cube.a_grid,
                              static_cast<double>(p.y) / cube.b_grid, static_cast<double>(p.z) / cube.c_grid);
        p.bv = cube.ion_charge < 1 ? -std::fabs(v) : std::fabs(v);
    }
    return 0;
}

int NARO_calc_bv_sum_minima(NARO_cube& cube, NARO_cif& cif, NARO_bv_bin& bin) {
    return naro_bv_points(cube, cif, bin, cube.minima, "minima");
}

int NARO_calc_bv_sum_saddle(NARO_cube& cube, NARO_cif& cif, NARO_bv_bin& bin) {
    return naro_bv_points(cube, cif, bin, cube.saddle, "saddle");
}
