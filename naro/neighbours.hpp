// Periodic images and neighbours: the one place where the analyser walks over the
// lattice translations of a cell.
//
// Images are visited shell by shell. Shell m holds the translations (i, j, k) with
// max(|i|, |j|, |k|) == m, in the order i, then j, then k, each ascending from -m;
// shell 0 is the home cell. Callers that sum over images rely on this order, so it is
// part of the contract.
//
//   NaroSiteImages images(cif, cif.site_all);
//   images.visit_within(x, y, z, max_cutoff,
//       [&](size_t s) { return cutoff_of(s); },            // < 0: skip the site
//       [&](size_t s, NaroShift t, double d) { ... });      // d <= cutoff_of(s)
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "records.hpp"
#include "cif.hpp"

// One lattice translation, in cells.
struct NaroShift {
    int i = 0, j = 0, k = 0;
};

// Calls f(shift) for every translation of shell m (m >= 0), in the order above.
template <class F>
void naro_for_each_shell_shift(int m, F&& f) {
    if (m <= 0) {
        f(NaroShift{0, 0, 0});
        return;
    }
    for (int i = -m; i <= m; ++i)
        for (int j = -m; j <= m; ++j) {
            // Inside the two outer i and j planes only the outer k planes are on the shell.
            const int step = (i == -m || i == m || j == -m || j == m) ? 1 : 2 * m;
            for (int k = -m; k <= m; k += step) f(NaroShift{i, j, k});
        }
}

// Number of shells that reach every point within `reach` Angstrom of a point of the
// home cell: the shell index times the narrowest cell width must exceed the reach.
// Degenerate cells give 1; the count is capped at 50 so absurd cells or reaches keep
// the search bounded.
int naro_image_shells(const NARO_cif& cif, double reach);

// The images of a list of sites of one cell (usually cif.site_all) around a point.
// Distances are the plain metric distances of NARO_distance_frac_cif from the point to
// the translated site; no nearest-image folding, so a site may be met in several images.
class NaroSiteImages {
public:
    NaroSiteImages(const NARO_cif& cif, const std::vector<NARO_site>& sites) : cif_(cif), sites_(sites) {}

    // Shell m around the fractional point (x, y, z): for each site s in list order with
    // reach(s) >= 0, and each translation t of the shell, visit(s, t, d) when d <= reach(s).
    // reach(s) is called once per site and shell, right before that site's images.
    template <class Reach, class Visit>
    void visit_shell(int m, double x, double y, double z, Reach&& reach, Visit&& visit) const {
        for (size_t s = 0; s < sites_.size(); ++s) {
            const double r = reach(s);
            if (r < 0) continue;
            const NARO_site& t = sites_[s];
            naro_for_each_shell_shift(m, [&](NaroShift v) {
                const double d = NARO_distance_frac_cif(cif_, x, y, z, t.x + v.i, t.y + v.j, t.z + v.k);
                if (d > r) return;
                visit(s, v, d);
            });
        }
    }

    // Every image within reach of the point: the point is first moved into the home cell
    // (shifts are relative to that), then shells 0 .. naro_image_shells(max_reach) are
    // visited in order. `max_reach` must be at least every reach(s).
    template <class Reach, class Visit>
    void visit_within(double x, double y, double z, double max_reach, Reach&& reach, Visit&& visit) const {
        x -= std::floor(x);
        y -= std::floor(y);
        z -= std::floor(z);
        const int shells = naro_image_shells(cif_, max_reach);
        for (int m = 0; m <= shells; ++m) visit_shell(m, x, y, z, reach, visit);
    }

private:
    const NARO_cif& cif_;
    const std::vector<NARO_site>& sites_;
};
