// Spectral derivatives of a landscape and its critical points: the energy is Fourier transformed
// (FFTW3), multiplied by the wave-vector factors and transformed back, giving the three first and
// nine second derivatives along the cell directions on the same grid. Points whose gradient is not
// larger than any neighbour's are typed by the signs of their Hessian eigenvalues.
#pragma once

#include <memory>
#include <vector>

#include <fftw3.h>

#include "fft-half.hpp"
#include "fft-types.hpp"

struct KELMAR_CUBE;
struct KELMAR_CELL;
struct KELMAR_TEXT;
struct FftCellZero;

// Which part of a complex field becomes a real cube.
enum fftcube_option_output { FFTCUBE_REAL = 0, FFTCUBE_IMAG = 1, FFTCUBE_MODU = 2 };


// One complex scalar field on the grid; element (i, j, k) at (i n[1] + j) n[2] + k.
struct KELMAR_FFTCUBE {
    kelmar_fftw_array value;  // n[0] n[1] n[2] complex values (fftw_malloc)
    double a[3][3] = {};      // cell vectors (rows), angstrom
    double a_i[3][3] = {};    // voxel step vectors (rows), angstrom
    long n[3] = {0, 0, 0};    // points along each cell vector

    long size() const { return n[0] * n[1] * n[2]; }
};

// The landscape and its derivatives along the cell directions (eV/A and eV/A^2). All nine second
// derivatives are separate fields: k[r][s] and k[s][r] agree to rounding.
// A command that reads derivatives at a few points only keeps the energy's half spectrum instead
// (the other fields null) and draws the points' values from it (fft_read_points).
struct KELMAR_FFT {
    std::unique_ptr<KELMAR_FFTCUBE> en;
    std::unique_ptr<KELMAR_FFTCUBE> f[3];
    std::unique_ptr<KELMAR_FFTCUBE> k[3][3];
    std::unique_ptr<FftHalfSpectrum> half;
};

enum fftdot_type { FFT_UND = 0, FFT_NOR = 1, FFT_MIN = 2, FFT_SD1 = 3, FFT_SD2 = 4, FFT_MAX = 5, FFT_ERR = 6 };

// One grid point with its local data (real parts).
struct KELMAR_FFTDOT {
    double en = 0.0;
    double f[3] = {};
    double k[3][3] = {};     // Hessian, not symmetrised
    double eig[3] = {};      // eigenvalues of k, ascending
    double eiv[3][3] = {};   // eigenvectors of k (rows), in the order of eig
    long x_i[3] = {};        // grid index, reduced into 0 .. n-1
    double x[3] = {};        // Cartesian position, angstrom
    fftdot_type type = FFT_UND;
};

struct KELMAR_FFTDOT_LIST {
    long total = 0;
    std::vector<KELMAR_FFTDOT> dot;
    double a[3][3] = {};
    double a_i[3][3] = {};
    long n[3] = {0, 0, 0};
};

// --- fields -------------------------------------------------------------------------------------

// Values not initialised; null after "Error: argument must be positive.\n".
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_new(const long n[3]);
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_copy(const KELMAR_FFTCUBE* field);
void kelmar_fftcube_free(std::unique_ptr<KELMAR_FFTCUBE>& field);
// Real parts = the cube's values, imaginary parts 0.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_new_from_cube(const KELMAR_CUBE* cube);
std::unique_ptr<KELMAR_CUBE> kelmar_cube_new_from_fftcube(const KELMAR_FFTCUBE* field, int option);
// 3-D discrete transform; the forward one is divided by the number of points.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_dft(const KELMAR_FFTCUBE* field, bool forward);
// Multiplies a reciprocal-space copy by i 2 pi q / L per direction in sub (order 0, 1 or 2).
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_differentiate_dft(const KELMAR_FFTCUBE* field, int order,
                                                                 const int* sub);
// Forward transform, derivative factors, backward transform: the plain definition of one field.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_differentiate(const KELMAR_FFTCUBE* field, int order, const int* sub);

// --- the derivative record ------------------------------------------------------------------------

std::unique_ptr<KELMAR_FFT> kelmar_fft_new();
void kelmar_fft_free(std::unique_ptr<KELMAR_FFT>& fft);
// All derivatives of the landscape, using every core.
std::unique_ptr<KELMAR_FFT> kelmar_fft_new_from_cube(const KELMAR_CUBE* cube);
// The same with an explicit thread count (0: the hardware's). The energy is transformed forward
// once; each derivative is the spectrum times its factors, transformed back in its own field, the
// last one in the array that held the spectrum, so no field beyond the thirteen is kept.
std::unique_ptr<KELMAR_FFT> kelmar_fft_new_from_cube_threads(const KELMAR_CUBE* cube, int threads);
// k00^2 + k11^2 + k22^2 as complex squares.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_laplacian(const KELMAR_FFT* fft);
// Length of the real gradient.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_slope(const KELMAR_FFT* fft);
// Determinant of the symmetrised real Hessian.
std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_discriminant(const KELMAR_FFT* fft);

// --- critical points ----------------------------------------------------------------------------

// Zeroed records; an empty vector after "Error: total number should be positive.\n".
std::vector<KELMAR_FFTDOT> kelmar_fftdot_new(long n);
// Fills the dot at index x_i (reduced in place) and types it. 0 or 1.
int kelmar_fftdot_read_from_fft(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft, long x_i[3]);
void kelmar_fftdot_determine_type(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft);
std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new(long total);
void kelmar_fftdot_list_free(std::unique_ptr<KELMAR_FFTDOT_LIST>& list);
// All critical points, sorted and merged, scanned on every core.
std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_fft(const KELMAR_FFT* fft);
std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_fft_threads(const KELMAR_FFT* fft, int threads);
void kelmar_fftdot_list_sort(KELMAR_FFTDOT_LIST* list);
int kelmar_fftdot_list_merge_near(KELMAR_FFTDOT_LIST* list);
int kelmar_fftdot_list_filter(KELMAR_FFTDOT_LIST* list, double en);
void kelmar_fftdot_print(const KELMAR_FFTDOT* dot);
void kelmar_fftdot_list_print(const KELMAR_FFTDOT_LIST* list);

// --- critical points as zeros of the interpolated gradient ------------------------------------------

// The dot of a zero (fft-cells.hpp) at its nearest grid point: x_i, x, the energy en and the
// gradient f there; k the Hessian interpolated to the zero from its tetrahedron's corners k[c],
// typed by the signs of its eigenvalues. The zero's index fixes the parity of the number of
// negative ones; where they disagree, the eigenvalue nearest zero takes the other sign. 0 or 1.
int fft_dot_from_zero(KELMAR_FFTDOT* dot, const FftCellZero& zero, const long n[3], const double a_i[3][3], double en,
                      const double f[3], const double k[4][3][3]);

// A record holding only the half spectrum of the landscape.
std::unique_ptr<KELMAR_FFT> kelmar_fft_new_spectrum_from_cube(const KELMAR_CUBE* cube, int threads);

// Dots at the given flat grid indices from either kind of record: x_i, x, k and its
// eigen-decomposition, and f when gradient is true (zero otherwise: a half spectrum then skips
// its three transforms) (type FFT_UND; en only when the record holds the energy). 0 or 1.
int fft_read_points(const KELMAR_FFT* fft, const std::vector<long>& points, std::vector<KELMAR_FFTDOT>* dots,
                    int threads, bool gradient = true);

// The critical points of a landscape as --fft lists them, sorted: each zero of the interpolated
// gradient of the smoothed energy S ln(1 + (E - Emin)/S) (kFftSmoothScale), which has the
// landscape's critical points with their types but no cusps to ring in the transform. Gradient
// and Hessian are reported for the energy itself (chain rule). Computes the three gradient
// fields and the Hessian at the zeros' corners only. Null after an error line.
inline constexpr double kFftSmoothScale = 1.0;  // eV
std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_cube(const KELMAR_CUBE* cube, int threads);
