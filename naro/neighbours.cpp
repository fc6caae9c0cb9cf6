// Shell bound of the periodic image search.
#include "neighbours.hpp"

#include <algorithm>
#include <cmath>

#include "cell-metric.hpp"

int naro_image_shells(const NARO_cif& cif, double reach) {
    const NaroCellMetric m = naro_cell_metric_degrees(cif.alpha, cif.beta, cif.gamma);
    const double v = naro_cell_volume(cif.a, cif.b, cif.c, m);
    // Distances between opposite faces.
    const double wa = v / (cif.b * cif.c * m.sin_alpha), wb = v / (cif.a * cif.c * m.sin_beta),
                 wc = v / (cif.a * cif.b * m.sin_gamma);
    double width = std::min(wa, std::min(wb, wc));
    if (!(width > 1e-6)) return 1;
    const double r = reach / width;
    if (!(r >= 0)) return 1;
    if (r > 49) return 50;
    return static_cast<int>(std::ceil(r)) + 1;
}
