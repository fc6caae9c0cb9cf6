// The metric of a cell from its edge lengths and angles.
#include "cell-metric.hpp"

#include <cmath>

NaroCellMetric naro_cell_metric(double alpha, double beta, double gamma) {
    NaroCellMetric m;
    m.cos_alpha = std::cos(alpha);
    m.cos_beta = std::cos(beta);
    m.cos_gamma = std::cos(gamma);
    m.sin_alpha = std::sin(alpha);
    m.sin_beta = std::sin(beta);
    m.sin_gamma = std::sin(gamma);
    const double ca = m.cos_alpha, cb = m.cos_beta, cg = m.cos_gamma;
    m.volume_factor = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
    return m;
}

NaroCellMetric naro_cell_metric_degrees(double alpha, double beta, double gamma) {
    constexpr double pi = 3.141592653589793;
    return naro_cell_metric(alpha * pi / 180, beta * pi / 180, gamma * pi / 180);
}

double naro_cell_volume(double a, double b, double c, const NaroCellMetric& m) {
    return a * b * c * std::sqrt(m.volume_factor > 0 ? m.volume_factor : 0);
}

void naro_cell_distance_coefficients(double a, double b, double c, const NaroCellMetric& m, double d[6]) {
    d[0] = a * a;
    d[1] = b * b;
    d[2] = c * c;
    d[3] = 2 * a * b * m.cos_gamma;
    d[4] = 2 * b * c * m.cos_alpha;
    d[5] = 2 * a * c * m.cos_beta;
}
