// Structure edits for the CIF export of command mode.
#include "cif-export.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cif.hpp"
#include "stationary.hpp"

namespace {

void sync_counts(NARO_cif& cif) {
    cif.type_no = static_cast<int>(cif.type.size());
    cif.site_no = static_cast<int>(cif.site.size());
    cif.site_all_no = static_cast<int>(cif.site_all.size());
    cif.symop_no = static_cast<int>(cif.symop.size());
}

double wrap01(double v) {
    v -= std::floor(v);
    return v >= 1.0 ? 0.0 : v;
}

std::string element_of(const std::string& label) {
    std::string e;
    for (char c : label) {
        if (!std::isalpha(static_cast<unsigned char>(c))) break;
        e += c;
    }
    return e.empty() ? std::string("X") : e;
}

void ensure_type(NARO_cif& cif, const std::string& label, double ox) {
    for (const NARO_type& t : cif.type)
        if (t.label == label) return;
    NARO_add_cif_type(cif, label, ox, nullptr);
}

// Multiplicity of a position under the structure's operations (1 when they fail).
int multiplicity(const NARO_cif& cif, double x, double y, double z) {
    NARO_equiv_pos pos;
    if (NARO_symmetry_generate_equivalent_copies(cif, pos, x, y, z) != 0 || pos.total_copies < 1) return 1;
    return pos.total_copies;
}

void add_point_site(NARO_cif& cif, const NARO_cube& cube, const std::string& label, const std::string& type,
                    double tx, double ty, double tz, double occ, double ox) {
    const double x = wrap01(tx / cube.a_grid), y = wrap01(ty / cube.b_grid), z = wrap01(tz / cube.c_grid);
    NARO_add_cif_site(cif, label, type, x, y, z, multiplicity(cif, x, y, z), '.', occ, ox);
}

// First list index of each non-empty type, in type order.
template <class Point>
std::vector<size_t> type_representatives(const std::vector<Point>& pts, const std::vector<int>& index, int types) {
    std::vector<size_t> out;
    for (int t = 1; t <= types && static_cast<size_t>(t) + 1 < index.size(); ++t) {
        const int first = index[static_cast<size_t>(t)], last = index[static_cast<size_t>(t) + 1];
        if (first < last && first >= 0 && static_cast<size_t>(first) < pts.size()) out.push_back(static_cast<size_t>(first));
    }
    return out;
}

void relabel_by_element(NARO_cif& cif) {
    std::map<std::string, int> count;
    for (NARO_site& s : cif.site) {
        const std::string e = element_of(s.type);
        s.label = e + std::to_string(++count[e]);
    }
}

void set_p1(NARO_cif& cif) {
    cif.symop.assign(1, "x,y,z");
    cif.spacegroup_HM = "P 1";
    cif.int_tab_cryst_no = 1;
    cif.site_all.clear();
    cif.fg = NARO_fastgen_symcopies{};
    sync_counts(cif);
}

// The site list at every equivalent position, labels as they were.
int expanded_sites(const NARO_cif& cif, std::vector<NARO_site>& out) {
    NARO_cif copy = cif;
    if (NARO_add_P1_to_cif(copy) != 0) return 1;
    out = copy.site_all;
    for (NARO_site& s : out) {
        s.x = wrap01(s.x);
        s.y = wrap01(s.y);
        s.z = wrap01(s.z);
    }
    return 0;
}

bool same_position(const NARO_site& a, const NARO_site& b) {
    auto near = [](double u, double v) {
        const double d = std::fabs(u - v);
        return d < 1e-4 || std::fabs(d - 1.0) < 1e-4;
    };
    return near(a.x, b.x) && near(a.y, b.y) && near(a.z, b.z);
}

}  // namespace

int naro_export_add_interstitials(NARO_cif& cif, const NARO_cube& cube) {
    int added = 0;
    for (size_t m : type_representatives(cube.minima, cube.minima_type_index, cube.total_minima_type)) {
        const NARO_minima& p = cube.minima[m];
        if (p.ins_label <= 0) continue;
        if (added == 0) ensure_type(cif, "IS", 0.0);
        char label[24];
        std::snprintf(label, sizeof label, "i%d", p.ins_label);
        add_point_site(cif, cube, label, "IS", p.tx, p.ty, p.tz, 1.0, 0.0);
        ++added;
    }
    return added;
}

int naro_export_add_saddles(NARO_cif& cif, const NARO_cube& cube) {
    int added = 0;
    for (size_t k : type_representatives(cube.saddle, cube.saddle_type_index, cube.total_saddle_type)) {
        const NARO_saddle& p = cube.saddle[k];
        if (added == 0) ensure_type(cif, "SD", 0.0);
        char label[24];
        std::snprintf(label, sizeof label, "s%d", p.type);
        add_point_site(cif, cube, label, "SD", p.tx, p.ty, p.tz, 1.0, 0.0);
        ++added;
    }
    return added;
}

int naro_export_move_probe_sites(NARO_cif& cif, const NARO_cube& cube, bool relabel) {
    if (!cif.ion || cif.probe_type.empty()) {
        std::printf("Error: No probe ion was given after --cif; there are no mobile-ion sites to update.\n");
        return 1;
    }
    // The new sites take the type of the probe sites they replace ("Li+" stays "Li+").
    std::string type = cif.probe_type;
    double ox = cube.ion_charge;
    bool typed = false;
    std::vector<NARO_site> kept;
    for (const NARO_site& s : cif.site) {
        if (!NARO_site_is_probe(cif, s)) {
            kept.push_back(s);
        } else if (!typed) {
            type = s.type;
            ox = s.ox;
            typed = true;
        }
    }
    cif.site = kept;
    if (!typed) ensure_type(cif, type, ox);
    const std::string element = element_of(cif.probe_type);
    int n = 0;
    for (size_t m : type_representatives(cube.minima, cube.minima_type_index, cube.total_minima_type)) {
        const NARO_minima& p = cube.minima[m];
        double occ = 0;
        for (const NARO_site_occupied_ion& ion : p.ion) occ += ion.occ;
        if (!(occ > 1e-7)) continue;
        std::string label;
        if (relabel) label = element + std::to_string(++n);
        else NARO_label_minima_site(cube, label, p.type);
        add_point_site(cif, cube, label, type, p.tx, p.ty, p.tz, std::min(occ, 1.0), ox);
    }
    sync_counts(cif);
    return 0;
}

int naro_export_expand_to_p1(NARO_cif& cif) {
    std::vector<NARO_site> all;
    if (expanded_sites(cif, all) != 0) return 1;
    cif.site = all;
    set_p1(cif);
    relabel_by_element(cif);
    return 0;
}

int naro_export_supercell(NARO_cif& cif, int n1, int n2, int n3) {
    if (n1 < 1 || n2 < 1 || n3 < 1 || n1 > 20 || n2 > 20 || n3 > 20) {
        std::printf("Error: Supercell factors must be whole numbers from 1 to 20.\n");
        return 1;
    }
    std::vector<NARO_site> all;
    if (expanded_sites(cif, all) != 0) return 1;

    // Positions of the cell and the sites that share each one.
    std::vector<std::vector<size_t>> at;
    for (size_t i = 0; i < all.size(); ++i) {
        size_t p = 0;
        while (p < at.size() && !same_position(all[at[p].front()], all[i])) ++p;
        if (p == at.size()) at.emplace_back();
        at[p].push_back(i);
    }
    // Positions held by the same set of sites form one class; its copies over all cells
    // share out the occupancies.
    std::map<std::string, std::vector<size_t>> classes;
    std::vector<std::string> order;
    for (size_t p = 0; p < at.size(); ++p) {
        std::vector<std::string> names;
        for (size_t i : at[p]) names.push_back(all[i].label + "/" + all[i].type);
        std::sort(names.begin(), names.end());
        std::string key;
        for (const std::string& s : names) key += s + "|";
        if (!classes.count(key)) order.push_back(key);
        classes[key].push_back(p);
    }

    // MT19937 from its reference seed, fresh for every export: the same structure gives
    // the same atoms every time. The raw 32-bit draws pick the slots.
    std::mt19937 draw(5489u);
    const int cells = n1 * n2 * n3;
    std::vector<NARO_site> out;
    for (const std::string& key : order) {
        const std::vector<size_t>& positions = classes[key];
        const std::vector<size_t>& species = at[positions.front()];
        // Copies: (position, cell) pairs.
        const size_t total = positions.size() * static_cast<size_t>(cells);
        std::vector<size_t> slot(total);
        for (size_t i = 0; i < total; ++i) slot[i] = i;
        bool whole = species.size() == 1 && all[species.front()].occ > 0.999;
        if (!whole)
            for (size_t i = total; i > 1; --i) std::swap(slot[i - 1], slot[static_cast<size_t>(draw()) % i]);
        size_t next = 0;
        for (size_t si = 0; si < species.size(); ++si) {
            const NARO_site& src = all[species[si]];
            size_t count = whole ? total : static_cast<size_t>(std::lround(std::clamp(src.occ, 0.0, 1.0) * static_cast<double>(total)));
            count = std::min(count, total - next);
            for (size_t c = 0; c < count; ++c, ++next) {
                const size_t s = slot[next];
                const size_t pos_index = s / static_cast<size_t>(cells);
                const int cell = static_cast<int>(s % static_cast<size_t>(cells));
                const int i = cell / (n2 * n3), j = (cell / n3) % n2, k = cell % n3;
                NARO_site site = all[at[positions[pos_index]].front()];
                site.label = src.label;
                site.type = src.type;
                site.ox = src.ox;
                site.occ = whole ? src.occ : 1.0;
                site.x = (site.x + i) / n1;
                site.y = (site.y + j) / n2;
                site.z = (site.z + k) / n3;
                site.mul = 1;
                site.Wyckoff = 'a';
                out.push_back(site);
            }
        }
    }
    cif.site = out;
    cif.a *= n1;
    cif.b *= n2;
    cif.c *= n3;
    cif.volume *= cells;
    if (cif.z >= 1) cif.z *= cells;
    NARO_calc_cif_d_parameters(cif);
    set_p1(cif);
    relabel_by_element(cif);
    return 0;
}
