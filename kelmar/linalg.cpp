// Fixed-size algebra on 3-vectors and 3x3 matrices, and the integer helpers.
#include "linalg.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

void kelmar_vector3_double_print(const double a[3]) {
    std::printf("VECTOR3: %11.6f %11.6f %11.6f\n", a[0], a[1], a[2]);
}

void kelmar_vector3_double_copy(double out[3], const double a[3]) {
    for (int i = 0; i < 3; i++) out[i] = a[i];
}

void kelmar_vector3_double_sum2(double out[3], double x, const double a[3], double y, const double b[3]) {
    for (int i = 0; i < 3; i++) out[i] = x * a[i] + y * b[i];
}

void kelmar_vector3_double_sum3(double out[3], double x, const double a[3], double y, const double b[3], double z,
                                const double c[3]) {
    for (int i = 0; i < 3; i++) out[i] = x * a[i] + y * b[i] + z * c[i];
}

double kelmar_vector3_double_dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void kelmar_vector3_double_cross(double out[3], const double a[3], const double b[3]) {
    const double c0 = a[1] * b[2] - a[2] * b[1];
    const double c1 = a[2] * b[0] - a[0] * b[2];
    const double c2 = a[0] * b[1] - a[1] * b[0];
    out[0] = c0;
    out[1] = c1;
    out[2] = c2;
}

double kelmar_vector3_double_distance(const double a[3], const double b[3]) {
    const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return std::sqrt(d0 * d0 + d1 * d1 + d2 * d2);
}

double kelmar_vector3_double_length(const double a[3]) { return std::sqrt(kelmar_vector3_double_dot(a, a)); }

void kelmar_vector3_double_normalize(double out[3], const double a[3]) {
    const double len = kelmar_vector3_double_length(a);
    if (len < 1e-6) {
        out[0] = out[1] = out[2] = 0.0;
        return;
    }
    for (int i = 0; i < 3; i++) out[i] = a[i] / len;
}

void kelmar_vector3_double_project_parallel(double out[3], const double a[3], const double dir[3]) {
    double u[3];
    kelmar_vector3_double_normalize(u, dir);
    const double d = kelmar_vector3_double_dot(a, u);
    for (int i = 0; i < 3; i++) out[i] = d * u[i];
}

void kelmar_vector3_double_project_perpendicular(double out[3], const double a[3], const double dir[3]) {
    double p[3];
    kelmar_vector3_double_project_parallel(p, a, dir);
    for (int i = 0; i < 3; i++) out[i] = a[i] - p[i];
}

void kelmar_vector3_double_complement1(double out[3], const double a[3], const double b[3]) {
    double c[3];
    kelmar_vector3_double_cross(c, a, b);
    kelmar_vector3_double_normalize(out, c);
}

void kelmar_vector3_double_complement2(double out1[3], double out2[3], const double a[3]) {
    // Cross with the axis least parallel to a, then complete the right-handed basis.
    const double ax = std::fabs(a[0]), ay = std::fabs(a[1]), az = std::fabs(a[2]);
    double e[3] = {0.0, 0.0, 0.0};
    if (ax <= ay && ax <= az) e[0] = 1.0;
    else if (ay <= az) e[1] = 1.0;
    else e[2] = 1.0;
    double t[3];
    kelmar_vector3_double_cross(t, a, e);
    kelmar_vector3_double_normalize(out1, t);
    kelmar_vector3_double_cross(t, a, out1);
    kelmar_vector3_double_normalize(out2, t);
}

double kelmar_vector3_double_min(const double a[3]) {
    double m = a[0];
    if (a[1] < m) m = a[1];
    if (a[2] < m) m = a[2];
    return m;
}

double kelmar_vector3_double_max(const double a[3]) {
    double m = a[0];
    if (a[1] > m) m = a[1];
    if (a[2] > m) m = a[2];
    return m;
}

void kelmar_matrix33_double_multiply_vector3(double out[3], const double m[3][3], const double v[3]) {
    double r[3];
    for (int i = 0; i < 3; i++) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    for (int i = 0; i < 3; i++) out[i] = r[i];
}

void kelmar_matrix33_double_print(const double m[3][3]) {
    for (int i = 0; i < 3; i++) std::printf("MATRIX33: %11.6f %11.6f %11.6f\n", m[i][0], m[i][1], m[i][2]);
}

void kelmar_matrix33_double_transpose(double m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++) {
            const double t = m[i][j];
            m[i][j] = m[j][i];
            m[j][i] = t;
        }
}

void kelmar_matrix33_double_copy(double out[3][3], const double m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = m[i][j];
}

double kelmar_matrix33_double_determinant(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

void kelmar_matrix33_double_swap_row(double m[3][3], int i, int j) {
    for (int k = 0; k < 3; k++) {
        const double t = m[i][k];
        m[i][k] = m[j][k];
        m[j][k] = t;
    }
}

void kelmar_matrix33_double_swap_col(double m[3][3], int i, int j) {
    for (int k = 0; k < 3; k++) {
        const double t = m[k][i];
        m[k][i] = m[k][j];
        m[k][j] = t;
    }
}

void kelmar_matrix33_double_multiplication(double out[3][3], const double a[3][3], const double b[3][3]) {
    double r[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    kelmar_matrix33_double_copy(out, r);
}

int kelmar_matrix33_double_rank(const double m[3][3]) {
    double t[3][3];
    kelmar_matrix33_double_copy(t, m);
    return kelmar_matrix33_double_compute_rank(t);
}

void kelmar_matrix33_double_diagonal(double out[3][3], const double v[3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = (i == j) ? v[i] : 0.0;
}

void kelmar_matrix33_double_round(double m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) m[i][j] = std::round(m[i][j]);
}

void kelmar_matrix33_double_rotation_simple(double out[3][3], double angle, int axis) {
    const double c = std::cos(angle), s = std::sin(angle);
    for (int p = 0; p < 3; p++)
        for (int q = 0; q < 3; q++) out[p][q] = (p == q) ? 1.0 : 0.0;
    if (axis < 0 || axis > 2) return;  // no such axis: no rotation, and no write outside the matrix
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    out[i][i] = c;
    out[i][j] = -s;
    out[j][i] = s;
    out[j][j] = c;
}

void kelmar_matrix33_double_rotation_euler(double out[3][3], double phi, double theta, double psi) {
    // z-x-z convention: R = Rz(phi) Rx(theta) Rz(psi).
    double a[3][3], b[3][3], c[3][3];
    kelmar_matrix33_double_rotation_simple(a, phi, 2);
    kelmar_matrix33_double_rotation_simple(b, theta, 0);
    kelmar_matrix33_double_rotation_simple(c, psi, 2);
    kelmar_matrix33_double_multiplication(out, a, b);
    kelmar_matrix33_double_multiplication(out, out, c);
}

void kelmar_matrix33_double_symmetrize(double m[3][3]) {
    m[1][0] = m[0][1];
    m[2][0] = m[0][2];
    m[2][1] = m[1][2];
}

int kelmar_matrix33_double_compute_rank(double m[3][3]) {
    int rank = 0;
    for (int step = 0; step < 3; step++) {
        // full pivoting over the remaining sub-matrix
        int pr = step, pc = step;
        double best = 0.0;
        for (int i = step; i < 3; i++)
            for (int j = step; j < 3; j++)
                if (std::fabs(m[i][j]) > best) {
                    best = std::fabs(m[i][j]);
                    pr = i;
                    pc = j;
                }
        if (best < 1e-6) break;
        kelmar_matrix33_double_swap_row(m, step, pr);
        kelmar_matrix33_double_swap_col(m, step, pc);
        for (int i = step + 1; i < 3; i++) {
            const double f = m[i][step] / m[step][step];
            for (int j = step; j < 3; j++) m[i][j] -= f * m[step][j];
        }
        rank++;
    }
    return rank;
}

int kelmar_matrix33_double_eigenvalue_symmetric(double eig[3], const double a[3][3]) {
    const double p1 = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    if (p1 < 1e-11) {
        eig[0] = a[0][0];
        eig[1] = a[1][1];
        eig[2] = a[2][2];
        for (int i = 0; i < 2; i++)
            for (int j = 0; j < 2 - i; j++)
                if (eig[j] > eig[j + 1]) {
                    const double t = eig[j];
                    eig[j] = eig[j + 1];
                    eig[j + 1] = t;
                }
        return 0;
    }
    const double q = (a[0][0] + a[1][1] + a[2][2]) / 3.0;
    const double p2 = (a[0][0] - q) * (a[0][0] - q) + (a[1][1] - q) * (a[1][1] - q) + (a[2][2] - q) * (a[2][2] - q) +
                      2.0 * p1;
    const double p = std::sqrt(p2 / 6.0);
    double b[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) b[i][j] = (a[i][j] - (i == j ? q : 0.0)) / p;
    const double r = kelmar_matrix33_double_determinant(b) / 2.0;
    double phi;
    if (r <= -1.0) phi = 1.0471975500000001;
    else if (r >= 1.0) phi = 0.0;
    else phi = std::acos(r) / 3.0;
    eig[2] = q + 2.0 * p * std::cos(phi);
    eig[0] = q + 2.0 * p * std::cos(phi + 2.0943951000000003);
    eig[1] = 3.0 * q - eig[0] - eig[2];
    return 0;
}

// Copies the first n rows of a reduced matrix (row reduction keeps the row space up to column swaps,
// so the reduction is redone on a copy without column pivoting to keep the coordinates).
static int reduce_rows(double rows[3][3], const double m[3][3]) {
    double t[3][3];
    kelmar_matrix33_double_copy(t, m);
    int rank = 0;
    for (int col = 0; col < 3 && rank < 3; col++) {
        // partial pivot in this column among the remaining rows, with the full-pivot magnitude test
        int pr = -1;
        double best = 0.0;
        for (int i = rank; i < 3; i++)
            if (std::fabs(t[i][col]) > best) {
                best = std::fabs(t[i][col]);
                pr = i;
            }
        if (pr < 0 || best < 1e-6) continue;
        kelmar_matrix33_double_swap_row(t, rank, pr);
        for (int i = rank + 1; i < 3; i++) {
            const double f = t[i][col] / t[rank][col];
            for (int j = 0; j < 3; j++) t[i][j] -= f * t[rank][j];
        }
        rank++;
    }
    kelmar_matrix33_double_copy(rows, t);
    return rank;
}

// The direction that all rows of a symmetric rank-2 matrix are perpendicular to: the longest of
// the three pairwise cross products of its rows, made unit. Rows that are only rounding noise give
// short products and are passed over. The length is divided out directly: with the small elements
// of a flat landscape (1e-3 or so) the product is shorter than the 1e-6 cut of the normalisation.
// False (and the zero vector) when the rows are all parallel.
static bool null_direction(double out[3], const double m[3][3]) {
    static const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    double best = 0.0;
    out[0] = out[1] = out[2] = 0.0;
    for (const auto& pr : pairs) {
        double c[3];
        kelmar_vector3_double_cross(c, m[pr[0]], m[pr[1]]);
        const double len = kelmar_vector3_double_length(c);
        if (len > best) {
            best = len;
            kelmar_vector3_double_copy(out, c);
        }
    }
    if (!(best > 0.0) || !std::isfinite(best)) {
        out[0] = out[1] = out[2] = 0.0;
        return false;
    }
    for (int i = 0; i < 3; i++) out[i] /= best;
    return true;
}

static void set_identity(double m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) m[i][j] = (i == j) ? 1.0 : 0.0;
}

// A - lambda I, divided by the largest element of A when that exceeds 1. The rank cuts (1e-6) are
// absolute, while the closed-form eigenvalues carry a relative error of a few 1e-9 (pi is taken to
// nine digits): without the division a force-constant matrix with elements of a few hundred would
// have A - eig[0] I of full rank and no eigenvectors. Matrices with elements up to 1 are unchanged.
static void shifted_scaled(double out[3][3], const double a[3][3], double lambda, double scale) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = (a[i][j] - (i == j ? lambda : 0.0)) / scale;
}

int kelmar_matrix33_double_eigensolver_symmetric(double eig[3], double eiv[3][3], const double a_in[3][3]) {
    double a[3][3];
    kelmar_matrix33_double_copy(a, a_in);
    kelmar_matrix33_double_symmetrize(a);
    kelmar_matrix33_double_eigenvalue_symmetric(eig, a);
    double largest = 0.0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) largest = std::fmax(largest, std::fabs(a[i][j]));
    const double scale = std::fmax(1.0, largest);

    double m0[3][3];
    shifted_scaled(m0, a, eig[0], scale);
    int rank0 = kelmar_matrix33_double_rank(m0);
    if (rank0 == 3 && largest > 0.0) {
        // The closed form takes a matrix whose off-diagonal squares sum below 1e-11 as diagonal.
        // For a matrix of small elements (below 1e-3 or so) the off-diagonal part is then not
        // small against the spread of the diagonal, eig[0] is no eigenvalue and A - eig[0] I has
        // full rank. The eigenvalues of A / largest element, scaled back, are exact enough.
        double b[3][3];
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) b[i][j] = a[i][j] / largest;
        kelmar_matrix33_double_eigenvalue_symmetric(eig, b);
        for (int i = 0; i < 3; i++) eig[i] *= largest;
        shifted_scaled(m0, a, eig[0], scale);
        rank0 = kelmar_matrix33_double_rank(m0);
    }
    double red[3][3];
    reduce_rows(red, m0);
    if (rank0 == 0) {
        set_identity(eiv);
        return 0;
    }
    // eig[0] is double: the one independent row is the third eigenvector's direction. A rank-2
    // matrix whose rows turn out parallel is handled the same way.
    double m0_null[3];
    if (rank0 == 1 || (rank0 == 2 && !null_direction(m0_null, m0))) {
        double n[3];
        kelmar_vector3_double_normalize(n, red[0]);
        kelmar_vector3_double_complement2(eiv[0], eiv[1], n);
        kelmar_vector3_double_copy(eiv[2], n);
        return 0;
    }
    if (rank0 == 2) {
        kelmar_vector3_double_copy(eiv[0], m0_null);
        // The other two eigenvectors lie in the plane perpendicular to eigenvector 0. The one of
        // eig[2] is taken from A - eig[2] I: it stays well defined when eig[1] lies close to eig[0]
        // (A - eig[1] I then has a second near-null direction, close to eigenvector 0, and its
        // rank test cannot tell which eigenvalue eig[1] pairs with). When eig[1] and eig[2] are
        // equal, A - eig[2] I has rank 1 and any completion of the basis will do.
        double m2[3][3], w[3];
        shifted_scaled(m2, a, eig[2], scale);
        if (kelmar_matrix33_double_rank(m2) >= 2 && null_direction(w, m2)) {
            kelmar_vector3_double_project_perpendicular(w, w, eiv[0]);
            const double len = kelmar_vector3_double_length(w);
            if (len > 1e-3) {
                for (int i = 0; i < 3; i++) eiv[2][i] = w[i] / len;
                kelmar_vector3_double_cross(eiv[1], eiv[2], eiv[0]);
                return 0;
            }
        }
        kelmar_vector3_double_complement2(eiv[1], eiv[2], eiv[0]);
        return 0;
    }
    // no true eigenvalue: leave a defined basis behind for callers that go on regardless
    set_identity(eiv);
    return 1;
}

void kelmar_matrix33_double_lusolver(double p[3][3], double l[3][3], double u[3][3], const double a[3][3]) {
    kelmar_matrix33_double_copy(u, a);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            p[i][j] = (i == j) ? 1.0 : 0.0;
            l[i][j] = 0.0;
        }
    for (int col = 0; col < 3; col++) {
        int pr = col;
        for (int i = col + 1; i < 3; i++)
            if (std::fabs(u[i][col]) > std::fabs(u[pr][col])) pr = i;
        if (pr != col) {
            kelmar_matrix33_double_swap_row(u, col, pr);
            kelmar_matrix33_double_swap_row(p, col, pr);
            // the multipliers found so far move with their rows
            for (int k = 0; k < col; k++) {
                const double t = l[col][k];
                l[col][k] = l[pr][k];
                l[pr][k] = t;
            }
        }
        if (std::fabs(u[col][col]) < 1e-6) continue;
        for (int i = col + 1; i < 3; i++) {
            const double f = u[i][col] / u[col][col];
            l[i][col] = f;
            for (int j = col; j < 3; j++) u[i][j] -= f * u[col][j];
        }
    }
    for (int i = 0; i < 3; i++) l[i][i] = 1.0;
}

int kelmar_matrix33_double_linearsolver(double x[3], const double a[3][3], const double b[3]) {
    double p[3][3], l[3][3], u[3][3];
    kelmar_matrix33_double_lusolver(p, l, u, a);
    int rank = 3;
    for (int i = 0; i < 3; i++)
        if (std::fabs(u[i][i]) < 1e-6) rank--;
    if (rank <= 2) {
        x[0] = x[1] = x[2] = 0.0;
        return rank;
    }
    double pb[3], y[3];
    kelmar_matrix33_double_multiply_vector3(pb, p, b);
    for (int i = 0; i < 3; i++) {
        y[i] = pb[i];
        for (int k = 0; k < i; k++) y[i] -= l[i][k] * y[k];
    }
    for (int i = 2; i >= 0; i--) {
        double s = y[i];
        for (int k = i + 1; k < 3; k++) s -= u[i][k] * x[k];
        x[i] = s / u[i][i];
    }
    return 3;
}

int kelmar_matrix33_double_svdsolver(double u[3][3], double s[3], double v[3][3], const double a[3][3]) {
    double at[3][3], ata[3][3];
    kelmar_matrix33_double_copy(at, a);
    kelmar_matrix33_double_transpose(at);
    kelmar_matrix33_double_multiplication(ata, at, a);
    double eig[3], eiv[3][3];
    if (kelmar_matrix33_double_eigensolver_symmetric(eig, eiv, ata) != 0) {
        std::fprintf(stderr, "Error: kelmar_matrix33_double_eigensolver_symmetric() returns non-zero.\n");
        return 1;
    }
    // largest eigenvalue first
    double t = eig[0];
    eig[0] = eig[2];
    eig[2] = t;
    kelmar_matrix33_double_swap_row(eiv, 0, 2);
    for (int i = 0; i < 3; i++)
        if (eig[i] < -1e-6) {
            std::fprintf(stderr, "Error: negative eigenvalue.\n");
            return 1;
        }
    // V holds the eigenvectors as columns
    kelmar_matrix33_double_copy(v, eiv);
    kelmar_matrix33_double_transpose(v);
    for (int i = 0; i < 3; i++) s[i] = eig[i] > 0.0 ? std::sqrt(eig[i]) : 0.0;
    double av[3][3];
    kelmar_matrix33_double_multiplication(av, a, v);
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 3; i++) u[i][j] = s[j] > 1e-12 ? av[i][j] / s[j] : 0.0;
    return 0;
}

void kelmar_matrix33_double_round_to_int(int out[3][3], const double m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = static_cast<int>(std::lround(m[i][j]));
}

void kelmar_matrix33_int_convert_to_double(double out[3][3], const int m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = m[i][j];
}

void kelmar_matrix33_int_multiply_vector3(long out[3], const int m[3][3], const long v[3]) {
    long r[3];
    for (int i = 0; i < 3; i++) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    for (int i = 0; i < 3; i++) out[i] = r[i];
}

void kelmar_matrix33_int_multiplication(int out[3][3], const int a[3][3], const int b[3][3]) {
    int r[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    kelmar_matrix33_int_copy(out, r);
}

void kelmar_matrix33_int_transpose(int m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++) {
            const int t = m[i][j];
            m[i][j] = m[j][i];
            m[j][i] = t;
        }
}

void kelmar_matrix33_int_copy(int out[3][3], const int m[3][3]) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = m[i][j];
}

int kelmar_matrix33_int_determinant(const int m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

long kelmar_mod_long(long x, long d) {
    if (d == 0) return x;  // no period: the index stays as it is instead of a division by zero
    return ((x % d) + d) % d;
}

long kelmar_gcd(long a, long b) {
    a = a < 0 ? -a : a;
    b = b < 0 ? -b : b;
    while (b != 0) {
        const long t = a % b;
        a = b;
        b = t;
    }
    return a;
}

long kelmar_lcm(long a, long b) {
    const long g = kelmar_gcd(a, b);
    if (g == 0) return 0;
    const long r = a / g * b;
    return r < 0 ? -r : r;
}

void kelmar_matrix333_int_print(const int m[3][3][3]) {
    for (int i = 0; i < 3; i++) {
        std::printf("MATRIX333: |");
        for (int j = 0; j < 3; j++) std::printf(" %2d %2d %2d |", m[i][j][0], m[i][j][1], m[i][j][2]);
        std::printf("\n");
    }
}
