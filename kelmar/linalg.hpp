// Fixed-size algebra on 3-vectors and 3x3 matrices, and integer helpers (the random draws of
// rotations and deviates are in random.hpp).
// Nothing here allocates: these run in the inner loops of the grid and dynamics code.
#pragma once

void kelmar_vector3_double_print(const double a[3]);
void kelmar_vector3_double_copy(double out[3], const double a[3]);
void kelmar_vector3_double_sum2(double out[3], double x, const double a[3], double y, const double b[3]);
void kelmar_vector3_double_sum3(double out[3], double x, const double a[3], double y, const double b[3], double z,
                                const double c[3]);
double kelmar_vector3_double_dot(const double a[3], const double b[3]);
void kelmar_vector3_double_cross(double out[3], const double a[3], const double b[3]);
double kelmar_vector3_double_distance(const double a[3], const double b[3]);
double kelmar_vector3_double_length(const double a[3]);
// A vector shorter than 1e-6 becomes the zero vector.
void kelmar_vector3_double_normalize(double out[3], const double a[3]);
void kelmar_vector3_double_project_parallel(double out[3], const double a[3], const double dir[3]);
void kelmar_vector3_double_project_perpendicular(double out[3], const double a[3], const double dir[3]);
// Unit vector perpendicular to a and b.
void kelmar_vector3_double_complement1(double out[3], const double a[3], const double b[3]);
// Two unit vectors completing the unit vector a to an orthonormal basis.
void kelmar_vector3_double_complement2(double out1[3], double out2[3], const double a[3]);
double kelmar_vector3_double_min(const double a[3]);
double kelmar_vector3_double_max(const double a[3]);

void kelmar_matrix33_double_multiply_vector3(double out[3], const double m[3][3], const double v[3]);
void kelmar_matrix33_double_print(const double m[3][3]);
void kelmar_matrix33_double_transpose(double m[3][3]);
void kelmar_matrix33_double_copy(double out[3][3], const double m[3][3]);
double kelmar_matrix33_double_determinant(const double m[3][3]);
void kelmar_matrix33_double_swap_row(double m[3][3], int i, int j);
void kelmar_matrix33_double_swap_col(double m[3][3], int i, int j);
// out = a b (out may alias a or b).
void kelmar_matrix33_double_multiplication(double out[3][3], const double a[3][3], const double b[3][3]);
int kelmar_matrix33_double_rank(const double m[3][3]);
void kelmar_matrix33_double_diagonal(double out[3][3], const double v[3]);
void kelmar_matrix33_double_round(double m[3][3]);
void kelmar_matrix33_double_rotation_simple(double out[3][3], double angle, int axis);
void kelmar_matrix33_double_rotation_euler(double out[3][3], double phi, double theta, double psi);
// Replaces the lower triangle by the upper one.
void kelmar_matrix33_double_symmetrize(double m[3][3]);
// Row reduction with full pivoting; m is left reduced. Rank 0 when the largest element is below 1e-6.
int kelmar_matrix33_double_compute_rank(double m[3][3]);
int kelmar_matrix33_double_eigenvalue_symmetric(double eig[3], const double a[3][3]);
// Eigenvalues ascending and, as the rows of eiv, orthonormal eigenvectors in the same order; 0, or
// 1 (eiv then the identity) when no eigenvalue could be confirmed.
int kelmar_matrix33_double_eigensolver_symmetric(double eig[3], double eiv[3][3], const double a[3][3]);
void kelmar_matrix33_double_lusolver(double p[3][3], double l[3][3], double u[3][3], const double a[3][3]);
int kelmar_matrix33_double_linearsolver(double x[3], const double a[3][3], const double b[3]);
int kelmar_matrix33_double_svdsolver(double u[3][3], double s[3], double v[3][3], const double a[3][3]);
void kelmar_matrix33_double_round_to_int(int out[3][3], const double m[3][3]);

void kelmar_matrix33_int_convert_to_double(double out[3][3], const int m[3][3]);
void kelmar_matrix33_int_multiply_vector3(long out[3], const int m[3][3], const long v[3]);
void kelmar_matrix33_int_multiplication(int out[3][3], const int a[3][3], const int b[3][3]);
void kelmar_matrix33_int_transpose(int m[3][3]);
void kelmar_matrix33_int_copy(int out[3][3], const int m[3][3]);
int kelmar_matrix33_int_determinant(const int m[3][3]);

// ((x mod d) + d) mod d, never negative for positive d; x itself for d = 0.
long kelmar_mod_long(long x, long d);
long kelmar_gcd(long a, long b);
long kelmar_lcm(long a, long b);

// Prints a 3x3x3 int array as three lines.
void kelmar_matrix333_int_print(const int m[3][3][3]);
