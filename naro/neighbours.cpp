// Shell bound of the periodic image search.
#include "neighbours.hpp"

#include <algorithm>
#include <cmath>

int naro_image_shells(const NARO_cif& cif, double reach) {
    constexpr double kDeg = 3.141592653589793 / 180;
    const double ca = std::cos(cif.alpha * kDeg), cb = std::cos(cif.beta * kDeg), cg = std::cos(cif.gamma * kDeg);
    const double sa = std::sin(cif.alpha * kDeg), sb = std::sin(cif.beta * kDeg), sg = std::sin(cif.gamma * kDeg);
    double w = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
    double v = cif.a * cif.b * cif.c * std::sqrt(w > 0 ? w : 0);
    double wa = v / (cif.b * cif.c * sa), wb = v / (cif.a * cif.c * sb), wc = v / (cif.a * cif.b * sg);
    double width = std::min(wa, std::min(wb, wc));
    if (!(width > 1e-6)) return 1;
    const double r = reach / width;
    if (!(r >= 0)) return 1;
    if (r > 49) return 50;
    return static_cast<int>(std::ceil(r)) + 1;
}
