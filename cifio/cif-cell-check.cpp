// The checks a structure's block passes before either program reads it.
#include "cif-cell-check.hpp"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "cif-number.hpp"

namespace {

const char* const kCellTags[6] = {"_cell_length_a",    "_cell_length_b",   "_cell_length_c",
                                  "_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};

std::string shown(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// Every value of the given columns of a loop is a number or a placeholder.
bool loop_numbers(const CifLoop& loop, std::initializer_list<const char*> tags, const char* label_tag,
                  std::string& why) {
    const long label = cif_loop_column(loop, label_tag);
    for (const char* tag : tags) {
        const long c = cif_loop_column(loop, tag);
        if (c < 0) continue;
        for (std::size_t r = 1; r < loop.size(); r++) {
            const char* v = cif_loop_cell(loop, static_cast<long>(r), c);
            double x = 0;
            if (v == nullptr || cif_is_placeholder(v) || cif_read_number(v, &x)) continue;
            const char* name = cif_loop_cell(loop, static_cast<long>(r), label);
            why = std::string("the value '") + v + "' of " + tag + " in row " + std::to_string(r) + " of its loop";
            if (name != nullptr) why += std::string(" (") + name + ")";
            why += " is not a number";
            return false;
        }
    }
    return true;
}

}  // namespace

bool cif_block_check(const CifBlock& block, std::string& why) {
    double p[6];
    bool all = true;
    for (int i = 0; i < 6; i++) {
        const std::string* s = block.value(kCellTags[i]);
        if (s == nullptr || cif_is_placeholder(s->c_str())) {
            all = false;
            continue;
        }
        if (!cif_read_number(s->c_str(), &p[i])) {
            why = "the value '" + *s + "' of " + kCellTags[i] + " is not a number";
            return false;
        }
    }
    if (const CifLoop* sites = block.loop_with("_atom_site_fract_x"))
        if (!loop_numbers(*sites, {"_atom_site_fract_x", "_atom_site_fract_y", "_atom_site_fract_z", "_atom_site_occupancy"},
                          "_atom_site_label", why))
            return false;
    if (const CifLoop* types = block.loop_with("_atom_type_oxidation_number"))
        if (!loop_numbers(*types, {"_atom_type_oxidation_number"}, "_atom_type_symbol", why)) return false;
    if (!all) return true;

    for (int i = 0; i < 3; i++) {
        if (p[i] > 0.0 && p[i] < CIF_CELL_MIN_LENGTH) {
            why = std::string(kCellTags[i]) + " " + shown(p[i]) + " A is shorter than " + shown(CIF_CELL_MIN_LENGTH) +
                  " A; no crystal has such a cell";
            return false;
        }
        if (p[i] > CIF_CELL_MAX_LENGTH) {
            why = std::string(kCellTags[i]) + " " + shown(p[i]) + " A is longer than " + shown(CIF_CELL_MAX_LENGTH) + " A";
            return false;
        }
    }
    // heights of the cell over its faces, from the metric: V / (|b||c| sin alpha) and its kin
    const double deg = std::acos(-1.0) / 180.0;
    const double ca = std::cos(p[3] * deg), cb = std::cos(p[4] * deg), cg = std::cos(p[5] * deg);
    const double f2 = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
    // angles that close no cell (to rounding) or lengths that are not positive: the reader says so
    if (!(f2 > 1e-12) || p[0] <= 0.0 || p[1] <= 0.0 || p[2] <= 0.0) return true;
    const double volume = p[0] * p[1] * p[2] * std::sqrt(f2);
    const double sines[3] = {std::sin(p[3] * deg), std::sin(p[4] * deg), std::sin(p[5] * deg)};
    const double heights[3] = {volume / (p[1] * p[2] * sines[0]), volume / (p[0] * p[2] * sines[1]),
                               volume / (p[0] * p[1] * sines[2])};
    for (int i = 0; i < 3; i++)
        if (!(heights[i] >= CIF_CELL_MIN_LENGTH)) {
            why = "the cell is " + shown(heights[i]) + " A thick across its " + "abc"[i] + " axis (angles " + shown(p[3]) +
                  ", " + shown(p[4]) + ", " + shown(p[5]) + "); at least " + shown(CIF_CELL_MIN_LENGTH) + " A is needed";
            return false;
        }
    if (volume > CIF_CELL_MAX_VOLUME) {
        why = "the cell volume " + shown(volume) + " A^3 is larger than " + shown(CIF_CELL_MAX_VOLUME) + " A^3";
        return false;
    }
    return true;
}
