// A cheap, exact screen in front of the 27-image distance of the site graph: it rejects the
// pairs that no periodic image brings within a cutoff, so the searches that compare every CIF
// atom with every vertex (or every site with every site) only measure the few close pairs.
//
// For any image of a displacement d, the component along the normal of the lattice planes
// spanned by the two other cell vectors is (f_r + m) h_r, with f_r the fractional coordinate of d
// reduced to [-1/2, 1/2], m an integer and h_r the plane spacing. So |f_r| h_r bounds every image
// distance from below, the 27 of kelmar_dot_distance included. Callers measure a pair in full
// only when apart() lets it through.
#pragma once

#include <cmath>

class PeriodicNearScreen {
public:
    explicit PeriodicNearScreen(const double a[3][3]) {
        const double v = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                         a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                         a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        usable_ = std::isfinite(v) && std::fabs(v) > 1e-12;
        for (int r = 0; r < 3; ++r) {
            const double* s = a[(r + 1) % 3];
            const double* t = a[(r + 2) % 3];
            const double c[3] = {s[1] * t[2] - s[2] * t[1], s[2] * t[0] - s[0] * t[2], s[0] * t[1] - s[1] * t[0]};
            const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
            for (int d = 0; d < 3; ++d) normal_[r][d] = usable_ ? c[d] / v : 0.0;
            spacing_[r] = usable_ && len > 0.0 ? std::fabs(v) / len : 0.0;
        }
    }

    // True when no image of x1 lies within cutoff of x2 (a small margin keeps rounding on the
    // safe side: a pair this test lets through is measured in full).
    bool apart(const double x1[3], const double x2[3], double cutoff) const {
        if (!usable_) return false;
        const double limit = cutoff * (1.0 + 1e-9) + 1e-12;
        for (int r = 0; r < 3; ++r) {
            double f = 0.0;
            for (int d = 0; d < 3; ++d) f += (x1[d] - x2[d]) * normal_[r][d];
            f -= std::nearbyint(f);
            if (std::fabs(f) * spacing_[r] > limit) return true;
        }
        return false;
    }

private:
    double normal_[3][3] = {};  // reciprocal rows: fractional coordinate r = x . normal_[r]
    double spacing_[3] = {};    // distance between neighbouring lattice planes across axis r
    bool usable_ = false;
};
