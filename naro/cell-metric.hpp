// The metric of a cell from its edge lengths and angles: the cosines, the volume and
// the coefficients of squared distances between fractional positions. The structure
// (angles in degrees) and the landscape (angles in radians) both take it from here.
#pragma once

struct NaroCellMetric {
    double cos_alpha = 0, cos_beta = 0, cos_gamma = 0;
    double sin_alpha = 0, sin_beta = 0, sin_gamma = 0;
    // 1 - cos²α - cos²β - cos²γ + 2 cosα cosβ cosγ, the square of volume / (a b c);
    // not positive for angles that close no cell.
    double volume_factor = 0;
};

// Angles in radians.
NaroCellMetric naro_cell_metric(double alpha, double beta, double gamma);
// Angles in degrees, each converted as angle * pi / 180.
NaroCellMetric naro_cell_metric_degrees(double alpha, double beta, double gamma);
// a b c times the square root of the volume factor (0 when that is not positive).
double naro_cell_volume(double a, double b, double c, const NaroCellMetric& m);
// Squared length of a fractional step (da, db, dc) is
// d[0] da² + d[1] db² + d[2] dc² + d[3] da db + d[4] db dc + d[5] da dc.
void naro_cell_distance_coefficients(double a, double b, double c, const NaroCellMetric& m, double d[6]);
