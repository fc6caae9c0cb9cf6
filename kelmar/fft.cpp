// Spectral derivatives of a landscape (FFTW3) and the critical-point search on them.
#include "fft.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <utility>
#include <cstdint>

#include "cube.hpp"
#include "fft-cells.hpp"
#include "fft-factors.hpp"
#include "fft-plan.hpp"
#include "grid-block.hpp"
#include "linalg.hpp"
#include "workshare.hpp"

namespace {

void copy_geometry(KELMAR_FFTCUBE* dst, const double a[3][3], const double a_i[3][3], const long n[3]) {
    for (int r = 0; r < 3; ++r) {
        dst->n[r] = n[r];
        for (int d = 0; d < 3; ++d) {
            dst->a[r][d] = a[r][d];
            dst->a_i[r][d] = a_i[r][d];
        }
    }
}

// dst = src times the derivative factors of the directions sub[0 .. order-1]: each direction
// multiplies by the imaginary number i w, so a first derivative turns (re, im) into
// (-w im, w re) and a second one multiplies by -w_a w_b. dst may be src.
void apply_factors(fftw_complex* dst, const fftw_complex* src, const KELMAR_FFTCUBE* geometry, int order,
                   const int* sub, int threads) {
    const long n0 = geometry->n[0], n1 = geometry->n[1], n2 = geometry->n[2];
    const FftAxisFactors fac[3] = {fft_axis_factors(geometry->a[0], n0, 0, order, sub),
                                   fft_axis_factors(geometry->a[1], n1, 1, order, sub),
                                   fft_axis_factors(geometry->a[2], n2, 2, order, sub)};
    const double* w2 = fac[2].w.data();
    const char* z2 = fac[2].zero.data();
    workshare_parts(n0, threads, [&](long i) {
        for (long j = 0; j < n1; ++j) {
            const double row = fac[0].w[static_cast<std::size_t>(i)] * fac[1].w[static_cast<std::size_t>(j)];
            const bool row_zero = fac[0].zero[static_cast<std::size_t>(i)] || fac[1].zero[static_cast<std::size_t>(j)];
            const long base = (i * n1 + j) * n2;
            for (long k = 0; k < n2; ++k) {
                const long p = base + k;
                const double re = src[p][0], im = src[p][1];
                if (order == 0) {
                    dst[p][0] = re;
                    dst[p][1] = im;
                } else if (row_zero || z2[k]) {
                    dst[p][0] = 0.0;
                    dst[p][1] = 0.0;
                } else if (order == 1) {
                    const double w = row * w2[k];
                    dst[p][0] = -w * im;
                    dst[p][1] = w * re;
                } else {
                    const double w = row * w2[k];
                    dst[p][0] = -w * re;
                    dst[p][1] = -w * im;
                }
            }
        }
    });
}

double real_gradient_length(const KELMAR_FFT* fft, long p) {
    const double g[3] = {fft->f[0]->value[p][0], fft->f[1]->value[p][0], fft->f[2]->value[p][0]};
    return kelmar_vector3_double_length(g);
}

// The gradient of a full record as the cell-zero scan reads it (real parts of the f fields).
FftGradientGrid record_gradient(const KELMAR_FFT* fft) {
    FftGradientGrid grid;
    for (int r = 0; r < 3; ++r) {
        grid.n[r] = fft->en->n[r];
        grid.g[r] = &fft->f[r]->value[0][0];
    }
    grid.stride = 2;
    return grid;
}

// The dot of a zero from a full record.
int record_dot(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft, const FftCellZero& z) {
    const long p = z.corner[z.nearest()];
    double f[3], k[4][3][3];
    for (int r = 0; r < 3; ++r) f[r] = fft->f[r]->value[p][0];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s) k[c][r][s] = fft->k[r][s]->value[z.corner[c]][0];
    return fft_dot_from_zero(dot, z, fft->en->n, fft->en->a_i, fft->en->value[p][0], f, k);
}

// Index, position and field values of a point, with the Hessian's eigen-decomposition. 0 or 1.
int read_point(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft, const long x_i[3]) {
    const KELMAR_FFTCUBE* en = fft->en.get();
    const long p = (x_i[0] * en->n[1] + x_i[1]) * en->n[2] + x_i[2];
    *dot = KELMAR_FFTDOT{};
    dot->type = FFT_UND;
    for (int r = 0; r < 3; ++r) dot->x_i[r] = x_i[r];
    for (int d = 0; d < 3; ++d)
        dot->x[d] = static_cast<double>(x_i[0]) * en->a_i[0][d] + static_cast<double>(x_i[1]) * en->a_i[1][d] +
                    static_cast<double>(x_i[2]) * en->a_i[2][d];
    dot->en = en->value[p][0];
    for (int r = 0; r < 3; ++r) {
        dot->f[r] = fft->f[r]->value[p][0];
        for (int s = 0; s < 3; ++s) dot->k[r][s] = fft->k[r][s]->value[p][0];
    }
    if (kelmar_matrix33_double_eigensolver_symmetric(dot->eig, dot->eiv, dot->k) != 0) {
        std::fprintf(stderr, "Error: kelmar_matrix33_double_eigensolver_symmetric() returns non-zero.\n");
        return 1;
    }
    return 0;
}

bool fft_complete(const KELMAR_FFT* fft) {
    if (fft == nullptr || !fft->en || !fft->en->value) return false;
    for (int r = 0; r < 3; ++r) {
        if (!fft->f[r] || !fft->f[r]->value) return false;
        for (int s = 0; s < 3; ++s)
            if (!fft->k[r][s] || !fft->k[r][s]->value) return false;
    }
    return true;
}

// Removes the points marked FFT_ERR, keeping the order.
void drop_marked(KELMAR_FFTDOT_LIST* list) {
    std::vector<KELMAR_FFTDOT> kept;
    kept.reserve(list->dot.size());
    for (const KELMAR_FFTDOT& d : list->dot)
        if (d.type != FFT_ERR) kept.push_back(d);
    list->dot = std::move(kept);
    list->total = static_cast<long>(list->dot.size());
}

}  // namespace

// --- fields -------------------------------------------------------------------------------------

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_new(const long n[3]) {
    if (n == nullptr || n[0] <= 0 || n[1] <= 0 || n[2] <= 0) {
        std::fprintf(stderr, "Error: argument must be positive.\n");
        return nullptr;
    }
    long total = 0;
    if (__builtin_mul_overflow(n[0], n[1], &total) || __builtin_mul_overflow(total, n[2], &total) ||
        total > static_cast<long>(PTRDIFF_MAX / static_cast<long>(sizeof(fftw_complex)))) {
        std::fprintf(stderr, "Error: unable to allocate fftcube->value\n");
        return nullptr;
    }
    auto field = std::make_unique<KELMAR_FFTCUBE>();
    field->value.reset(fft_field_alloc(total));
    if (!field->value) {
        std::fprintf(stderr, "Error: unable to allocate fftcube->value\n");
        return nullptr;
    }
    for (int r = 0; r < 3; ++r) field->n[r] = n[r];
    return field;
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_copy(const KELMAR_FFTCUBE* field) {
    if (field == nullptr || !field->value) {
        std::fprintf(stderr, "Error: KELMAR_FFTCUBE has not been properly initialized.\n");
        return nullptr;
    }
    auto out = kelmar_fftcube_new(field->n);
    if (!out) {
        std::fprintf(stderr, "Error: kelmar_fftcube_new() returns NULL.\n");
        return nullptr;
    }
    copy_geometry(out.get(), field->a, field->a_i, field->n);
    std::memcpy(out->value.get(), field->value.get(), sizeof(fftw_complex) * static_cast<std::size_t>(field->size()));
    return out;
}

void kelmar_fftcube_free(std::unique_ptr<KELMAR_FFTCUBE>& field) { field.reset(); }

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_new_from_cube(const KELMAR_CUBE* cube) {
    if (cube == nullptr || cube->en.size() <= 0 || cube->en.size() != cube->n[0] * cube->n[1] * cube->n[2]) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been initialized properly.\n");
        return nullptr;
    }
    auto field = kelmar_fftcube_new(cube->n);
    if (!field) {
        std::fprintf(stderr, "Error: kelmar_fftcube_new() returns NULL.\n");
        return nullptr;
    }
    copy_geometry(field.get(), cube->a, cube->a_i, cube->n);
    const long total = field->size();
    for (long p = 0; p < total; ++p) {
        field->value[p][0] = cube->en.data[static_cast<std::size_t>(p)];
        field->value[p][1] = 0.0;
    }
    return field;
}

std::unique_ptr<KELMAR_CUBE> kelmar_cube_new_from_fftcube(const KELMAR_FFTCUBE* field, int option) {
    if (field == nullptr || !field->value) {
        std::fprintf(stderr, "Error: KELMAR_FFTCUBE has not been properly initialized.\n");
        return nullptr;
    }
    if (option != FFTCUBE_REAL && option != FFTCUBE_IMAG && option != FFTCUBE_MODU) {
        std::fprintf(stderr, "Error: invalid fftcube_option %d.\n", option);
        return nullptr;
    }
    auto cube = kelmar_cube_new(field->n);
    if (!cube) {
        std::fprintf(stderr, "Error: kelmar_cube_new() returns NULL.\n");
        return nullptr;
    }
    for (int r = 0; r < 3; ++r)
        for (int d = 0; d < 3; ++d) {
            cube->a[r][d] = field->a[r][d];
            cube->a_i[r][d] = field->a_i[r][d];
        }
    const long total = field->size();
    double* out = cube->en.data.data();
    for (long p = 0; p < total; ++p) {
        const double re = field->value[p][0], im = field->value[p][1];
        out[p] = option == FFTCUBE_REAL ? re : option == FFTCUBE_IMAG ? im : std::sqrt(re * re + im * im);
    }
    return cube;
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_dft(const KELMAR_FFTCUBE* field, bool forward) {
    auto out = kelmar_fftcube_copy(field);
    if (!out) {
        std::fprintf(stderr, "Error: kelmar_fftcube_copy() returns NULL.\n");
        return nullptr;
    }
    const long total = out->size();
    kelmar_fftw_array work(fft_field_alloc(total));
    if (!work) {
        std::fprintf(stderr, "Error: unable to allocate input array.\n");
        return nullptr;
    }
    fft_use_threads(0);
    // planning first: FFTW_ESTIMATE leaves the arrays alone, but the work array is filled after
    fftw_plan plan = fftw_plan_dft_3d(static_cast<int>(out->n[0]), static_cast<int>(out->n[1]),
                                      static_cast<int>(out->n[2]), work.get(), out->value.get(),
                                      forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
    if (plan == nullptr) {
        std::fprintf(stderr, "Error: unable to plan the Fourier transform.\n");
        return nullptr;
    }
    std::memcpy(work.get(), field->value.get(), sizeof(fftw_complex) * static_cast<std::size_t>(total));
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    if (forward) {
        const double N = static_cast<double>(total);
        for (long p = 0; p < total; ++p) {
            out->value[p][0] /= N;
            out->value[p][1] /= N;
        }
    }
    return out;
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_differentiate_dft(const KELMAR_FFTCUBE* field, int order,
                                                                 const int* sub) {
    if (order < 0 || order > 2) {
        std::fprintf(stderr, "Error: order must be 1 or 2.\n");
        return nullptr;
    }
    for (int c = 0; c < order; ++c)
        if (sub == nullptr || sub[c] < 0 || sub[c] > 2) {
            std::fprintf(stderr, "Error: direction must be 0, 1 or 2.\n");
            return nullptr;
        }
    auto out = kelmar_fftcube_copy(field);
    if (!out) {
        std::fprintf(stderr, "Error: kelmar_fftcube_copy() returns NULL.\n");
        return nullptr;
    }
    if (order > 0) apply_factors(out->value.get(), out->value.get(), out.get(), order, sub, 0);
    return out;
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fftcube_differentiate(const KELMAR_FFTCUBE* field, int order, const int* sub) {
    auto spectrum = kelmar_fftcube_dft(field, true);
    if (!spectrum) {
        std::fprintf(stderr, "Error: kelmar_fftcube_dft() returns NULL.\n");
        return nullptr;
    }
    auto factored = kelmar_fftcube_differentiate_dft(spectrum.get(), order, sub);
    if (!factored) {
        std::fprintf(stderr, "Error: kelmar_fftcube_differentiate_dft() returns NULL.\n");
        return nullptr;
    }
    spectrum.reset();
    auto out = kelmar_fftcube_dft(factored.get(), false);
    if (!out) std::fprintf(stderr, "Error: kelmar_fftcube_dft() returns NULL.\n");
    return out;
}

// --- the derivative record ------------------------------------------------------------------------

std::unique_ptr<KELMAR_FFT> kelmar_fft_new() { return std::make_unique<KELMAR_FFT>(); }

void kelmar_fft_free(std::unique_ptr<KELMAR_FFT>& fft) { fft.reset(); }

std::unique_ptr<KELMAR_FFT> kelmar_fft_new_from_cube(const KELMAR_CUBE* cube) {
    return kelmar_fft_new_from_cube_threads(cube, 0);
}

std::unique_ptr<KELMAR_FFT> kelmar_fft_new_from_cube_threads(const KELMAR_CUBE* cube, int threads) {
    auto fft = kelmar_fft_new();
    fft->en = kelmar_fftcube_new_from_cube(cube);
    if (!fft->en) {
        std::fprintf(stderr, "Error: kelmar_fftcube_new_from_cube() returns NULL.\n");
        return nullptr;
    }
    const KELMAR_FFTCUBE* en = fft->en.get();
    // derivative fields in the order they are filled; the last one first holds the spectrum
    struct Target {
        std::unique_ptr<KELMAR_FFTCUBE>* field;
        int order;
        int sub[2];
    };
    std::vector<Target> targets;
    for (int r = 0; r < 3; ++r) targets.push_back({&fft->f[r], 1, {r, 0}});
    for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s) targets.push_back({&fft->k[r][s], 2, {r, s}});
    for (Target& t : targets) {
        *t.field = kelmar_fftcube_new(en->n);
        if (!*t.field) {
            std::fprintf(stderr, "Error: kelmar_fftcube_differentiate() returns NULL.\n");
            return nullptr;
        }
        copy_geometry(t.field->get(), en->a, en->a_i, en->n);
    }
    fftw_complex* spectrum = targets.back().field->get()->value.get();
    const long total = en->size();
    const int d0 = static_cast<int>(en->n[0]), d1 = static_cast<int>(en->n[1]), d2 = static_cast<int>(en->n[2]);
    fft_use_threads(threads);
    fftw_plan forward = fftw_plan_dft_3d(d0, d1, d2, spectrum, spectrum, FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_plan backward = fftw_plan_dft_3d(d0, d1, d2, spectrum, spectrum, FFTW_BACKWARD, FFTW_ESTIMATE);
    if (forward == nullptr || backward == nullptr) {
        if (forward != nullptr) fftw_destroy_plan(forward);
        if (backward != nullptr) fftw_destroy_plan(backward);
        std::fprintf(stderr, "Error: kelmar_fftcube_dft() returns NULL.\n");
        return nullptr;
    }
    std::memcpy(spectrum, en->value.get(), sizeof(fftw_complex) * static_cast<std::size_t>(total));
    fftw_execute(forward);
    fftw_destroy_plan(forward);
    const double N = static_cast<double>(total);
    const long plane = en->n[1] * en->n[2];
    workshare_parts(en->n[0], threads, [&](long i) {
        for (long p = i * plane; p < (i + 1) * plane; ++p) {
            spectrum[p][0] /= N;
            spectrum[p][1] /= N;
        }
    });
    for (Target& t : targets) {
        fftw_complex* dst = t.field->get()->value.get();
        apply_factors(dst, spectrum, en, t.order, t.sub, threads);
        fftw_execute_dft(backward, dst, dst);
    }
    fftw_destroy_plan(backward);
    return fft;
}

namespace {

// A grid of the landscape's shape whose value at every point comes from the derivatives there:
// point(p, value) writes the complex value of point p.
template <class PointValue>
std::unique_ptr<KELMAR_FFTCUBE> derived_grid(const KELMAR_FFT* fft, PointValue&& point) {
    if (!fft_complete(fft)) {
        std::fprintf(stderr, "Error: KELMAR_FFT has not been properly initialized.\n");
        return nullptr;
    }
    auto out = kelmar_fftcube_copy(fft->en.get());
    if (!out) {
        std::fprintf(stderr, "Error: kelmar_fftcube_copy() returns NULL.\n");
        return nullptr;
    }
    const long total = out->size();
    for (long p = 0; p < total; ++p) point(p, out->value[p]);
    return out;
}

}  // namespace

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_laplacian(const KELMAR_FFT* fft) {
    return derived_grid(fft, [fft](long p, fftw_complex& v) {
        double re = 0.0, im = 0.0;
        for (int r = 0; r < 3; ++r) {
            const double a = fft->k[r][r]->value[p][0], b = fft->k[r][r]->value[p][1];
            re += a * a - b * b;
            im += 2.0 * a * b;
        }
        v[0] = re;
        v[1] = im;
    });
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_slope(const KELMAR_FFT* fft) {
    return derived_grid(fft, [fft](long p, fftw_complex& v) {
        v[0] = real_gradient_length(fft, p);
        v[1] = 0.0;
    });
}

std::unique_ptr<KELMAR_FFTCUBE> kelmar_fft_discriminant(const KELMAR_FFT* fft) {
    return derived_grid(fft, [fft](long p, fftw_complex& v) {
        double h[3][3];
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s)
                h[r][s] = 0.5 * (fft->k[r][s]->value[p][0] + fft->k[s][r]->value[p][0]);
        v[0] = kelmar_matrix33_double_determinant(h);
        v[1] = 0.0;
    });
}

// --- critical points ----------------------------------------------------------------------------

std::vector<KELMAR_FFTDOT> kelmar_fftdot_new(long n) {
    if (n <= 0) {
        std::fprintf(stderr, "Error: total number should be positive.\n");
        return {};
    }
    return std::vector<KELMAR_FFTDOT>(static_cast<std::size_t>(n));
}

int kelmar_fftdot_read_from_fft(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft, long x_i[3]) {
    if (dot == nullptr || !fft_complete(fft)) {
        std::fprintf(stderr, "Error: KELMAR_FFTDOT has not been properly initialized.\n");
        return 1;
    }
    for (int r = 0; r < 3; ++r) x_i[r] = kelmar_mod_long(x_i[r], fft->en->n[r]);
    if (read_point(dot, fft, x_i) != 0) return 1;
    kelmar_fftdot_determine_type(dot, fft);
    return 0;
}

void kelmar_fftdot_determine_type(KELMAR_FFTDOT* dot, const KELMAR_FFT* fft) {
    if (dot == nullptr || !fft_complete(fft)) return;
    // the point's type is that of the first zero of the interpolated gradient it is nearest to
    const std::vector<FftCellZero> zeros = fft_cell_zeros_at(record_gradient(fft), dot->x_i);
    KELMAR_FFTDOT at_zero;
    if (zeros.empty() || record_dot(&at_zero, fft, zeros.front()) != 0) {
        dot->type = FFT_NOR;
        return;
    }
    dot->type = at_zero.type;
}

std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new(long total) {
    auto list = std::make_unique<KELMAR_FFTDOT_LIST>();
    if (total > 0) {
        list->dot.resize(static_cast<std::size_t>(total));
        list->total = total;
    }
    return list;
}

void kelmar_fftdot_list_free(std::unique_ptr<KELMAR_FFTDOT_LIST>& list) { list.reset(); }

std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_fft(const KELMAR_FFT* fft) {
    return kelmar_fftdot_list_new_from_fft_threads(fft, 0);
}

std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_fft_threads(const KELMAR_FFT* fft, int threads) {
    if (!fft_complete(fft)) {
        std::fprintf(stderr, "Error: KELMAR_FFT has not been properly initialized.\n");
        return nullptr;
    }
    auto list = kelmar_fftdot_list_new(0);
    const KELMAR_FFTCUBE* en = fft->en.get();
    for (int r = 0; r < 3; ++r) {
        list->n[r] = en->n[r];
        for (int d = 0; d < 3; ++d) {
            list->a[r][d] = en->a[r][d];
            list->a_i[r][d] = en->a_i[r][d];
        }
    }
    // one point per zero of the interpolated gradient: the list is whole (its indices add up to 0)
    const std::vector<FftCellZero> zeros = fft_cell_zeros(record_gradient(fft), threads);
    list->dot.resize(zeros.size());
    for (std::size_t z = 0; z < zeros.size(); ++z)
        if (record_dot(&list->dot[z], fft, zeros[z]) != 0) {
            std::fprintf(stderr, "Error: kelmar_fftdot_read_from_fft() returns non-zero.\n");
            return nullptr;
        }
    list->total = static_cast<long>(list->dot.size());
    kelmar_fftdot_list_sort(list.get());
    std::printf("Message: found %ld critical points via fft method.\n", list->total);
    return list;
}

int fft_dot_from_zero(KELMAR_FFTDOT* dot, const FftCellZero& zero, const long n[3], const double a_i[3][3], double en,
                      const double f[3], const double k[4][3][3]) {
    *dot = KELMAR_FFTDOT{};
    const long p = zero.corner[zero.nearest()];
    dot->x_i[2] = p % n[2];
    dot->x_i[1] = (p / n[2]) % n[1];
    dot->x_i[0] = p / (n[1] * n[2]);
    for (int d = 0; d < 3; ++d)
        dot->x[d] = static_cast<double>(dot->x_i[0]) * a_i[0][d] + static_cast<double>(dot->x_i[1]) * a_i[1][d] +
                    static_cast<double>(dot->x_i[2]) * a_i[2][d];
    dot->en = en;
    for (int r = 0; r < 3; ++r) {
        dot->f[r] = f[r];
        for (int s = 0; s < 3; ++s) {
            double v = 0.0;
            for (int c = 0; c < 4; ++c) v += zero.weight[c] * k[c][r][s];
            dot->k[r][s] = v;
        }
    }
    if (kelmar_matrix33_double_eigensolver_symmetric(dot->eig, dot->eiv, dot->k) != 0) {
        std::fprintf(stderr, "Error: kelmar_matrix33_double_eigensolver_symmetric() returns non-zero.\n");
        return 1;
    }
    // The index fixes the parity of the number of negative curvatures; where the Hessian's signs
    // disagree with it, the curvature nearest zero is the uncertain one and takes the other sign.
    int negative = 0, weakest = 0;
    for (int r = 0; r < 3; ++r) {
        negative += dot->eig[r] < 0.0;
        if (std::fabs(dot->eig[r]) < std::fabs(dot->eig[weakest])) weakest = r;
    }
    if ((negative % 2 == 0) != (zero.index > 0)) negative += dot->eig[weakest] < 0.0 ? -1 : 1;
    static constexpr fftdot_type kByNegative[4] = {FFT_MIN, FFT_SD1, FFT_SD2, FFT_MAX};
    dot->type = kByNegative[negative];
    return 0;
}

void kelmar_fftdot_list_sort(KELMAR_FFTDOT_LIST* list) {
    if (list == nullptr) return;
    // exchange sort: its order among equal keys is part of the written tables
    std::vector<KELMAR_FFTDOT>& d = list->dot;
    const std::size_t total = d.size();
    for (std::size_t i = 0; i < total; ++i)
        for (std::size_t j = i + 1; j < total; ++j)
            if (d[j].type < d[i].type || (d[j].type == d[i].type && d[i].en > d[j].en)) std::swap(d[i], d[j]);
}

int kelmar_fftdot_list_merge_near(KELMAR_FFTDOT_LIST* list) {
    if (list == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_FFTDOT_LIST has not been properly initialized.\n");
        return 1;
    }
    kelmar_fftdot_list_sort(list);
    std::vector<KELMAR_FFTDOT>& d = list->dot;
    const long* n = list->n;
    auto near_axis = [&](long a, long b, int r) {
        const long diff = a > b ? a - b : b - a;
        return diff == 1 || diff == n[r] - 1;
    };
    long marked = 0;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (d[i].type == FFT_ERR) continue;
        for (std::size_t j = i + 1; j < d.size(); ++j) {
            if (d[j].type == FFT_ERR) continue;
            if (d[j].type != d[i].type) break;
            bool near = true;
            for (int r = 0; r < 3 && near; ++r) near = near_axis(d[i].x_i[r], d[j].x_i[r], r);
            if (!near) continue;
            // the point nearer the origin (periodic index distance, axis 0 first) goes
            bool remove_i = false;
            for (int r = 0; r < 3; ++r) {
                const long di = std::min(d[i].x_i[r], n[r] - d[i].x_i[r]);
                const long dj = std::min(d[j].x_i[r], n[r] - d[j].x_i[r]);
                if (di != dj) {
                    remove_i = di < dj;
                    break;
                }
            }
            ++marked;
            if (remove_i) {
                d[i].type = FFT_ERR;
                break;
            }
            d[j].type = FFT_ERR;
        }
    }
    if (marked == 0) return 0;
    drop_marked(list);
    return 0;
}

int kelmar_fftdot_list_filter(KELMAR_FFTDOT_LIST* list, double en) {
    if (list == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_FFTDOT_LIST has not been properly initialized.\n");
        return 1;
    }
    if (list->dot.empty()) return 0;
    double lowest = list->dot[0].en;
    for (const KELMAR_FFTDOT& d : list->dot) lowest = std::min(lowest, d.en);
    for (KELMAR_FFTDOT& d : list->dot)
        if (d.en > lowest + en) d.type = FFT_ERR;
    drop_marked(list);
    return 0;
}

void kelmar_fftdot_print(const KELMAR_FFTDOT* dot) {
    if (dot == nullptr) {
        std::printf("FFTDOT: (not allocated)\n");
        return;
    }
    std::printf("FFTDOT: x_i = (%ld, %ld, %ld); x = (%.3f, %.3f, %.3f)\n", dot->x_i[0], dot->x_i[1], dot->x_i[2],
                dot->x[0], dot->x[1], dot->x[2]);
    std::printf("FFTDOT: en = %.3f; type = %d\n", dot->en, static_cast<int>(dot->type));
    std::printf("FFTDOT: f = (%.3f, %.3f, %.3f)\n", dot->f[0], dot->f[1], dot->f[2]);
    for (int r = 0; r < 3; ++r)
        std::printf("FFTDOT: k[%d] = (%.3f, %.3f, %.3f)\n", r, dot->k[r][0], dot->k[r][1], dot->k[r][2]);
    std::printf("FFTDOT: eig = (%.3f, %.3f, %.3f)\n", dot->eig[0], dot->eig[1], dot->eig[2]);
    for (int r = 0; r < 3; ++r)
        std::printf("FFTDOT: eiv[%d] = (%.3f, %.3f, %.3f)\n", r, dot->eiv[r][0], dot->eiv[r][1], dot->eiv[r][2]);
}

void kelmar_fftdot_list_print(const KELMAR_FFTDOT_LIST* list) {
    if (list == nullptr) {
        std::printf("FFTDOT_LIST: (not allocated)\n");
        return;
    }
    std::printf("FFTDOT_LIST: a_i\n");
    for (int r = 0; r < 3; ++r)
        std::printf("FFTDOT_LIST: %9.6f %9.6f %9.6f\n", list->a_i[r][0], list->a_i[r][1], list->a_i[r][2]);
    std::printf("FFTDOT_LIST: dots\n");
    std::printf("FFTDOT_LIST: totally %ld dots in %ld*%ld*%ld grid.\n", list->total, list->n[0], list->n[1],
                list->n[2]);
    for (long p = 0; p < list->total; ++p) {
        const KELMAR_FFTDOT& d = list->dot[static_cast<std::size_t>(p)];
        std::printf("FFTDOT_LIST: [%3ld] (%3ld,%3ld,%3ld)(%4.2f,%4.2f,%4.2f) type = %d, en = %6.3f\n", p, d.x_i[0],
                    d.x_i[1], d.x_i[2], d.x[0], d.x[1], d.x[2], static_cast<int>(d.type), d.en);
    }
}
