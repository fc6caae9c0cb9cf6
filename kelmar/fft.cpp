// Spectral derivatives of a landscape (FFTW3) and the critical-point search on them.
#include "fft.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <mutex>
#include <utility>
#include <cstdint>
#include <sys/mman.h>

#include "cube.hpp"
#include "grid-block.hpp"
#include "linalg.hpp"
#include "plane-threads.hpp"

namespace {

// 2 pi as the derivative factors take it.
constexpr double kTwoPi = 6.2831853;

// An FFTW array of total values; large ones ask for huge pages, which spares the kernel most of
// the page faults of first touch.
fftw_complex* field_alloc(long total) {
    fftw_complex* p = fftw_alloc_complex(static_cast<std::size_t>(total));
    constexpr std::uintptr_t huge = 2u << 20;
    const std::size_t bytes = sizeof(fftw_complex) * static_cast<std::size_t>(total);
    if (p != nullptr && bytes >= 4 * huge) {
        const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
        const std::uintptr_t stop = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
        if (stop > start) madvise(reinterpret_cast<void*>(start), stop - start, MADV_HUGEPAGE);
    }
    return p;
}

std::once_flag fftw_threads_once;
bool fftw_threads_ready = false;

// FFTW's own threads for the next plans (the planner itself runs on the calling thread only).
void fftw_use_threads(int threads) {
    std::call_once(fftw_threads_once, [] { fftw_threads_ready = fftw_init_threads() != 0; });
    if (fftw_threads_ready) fftw_plan_with_nthreads(grid_threads_resolve(threads));
}

// Signed frequency of index m on an axis of n points.
long signed_frequency(long m, long n) { return m <= n / 2 ? m : m - n; }

void copy_geometry(KELMAR_FFTCUBE* dst, const double a[3][3], const double a_i[3][3], const long n[3]) {
    for (int r = 0; r < 3; ++r) {
        dst->n[r] = n[r];
        for (int d = 0; d < 3; ++d) {
            dst->a[r][d] = a[r][d];
            dst->a_i[r][d] = a_i[r][d];
        }
    }
}

// The derivative factors per axis: for every index m of axis r, the product of the multipliers w
// of the directions that run along r (1 when none does), and whether the value is zeroed instead
// (Nyquist index of a first or mixed derivative).
struct AxisFactors {
    std::vector<double> w;
    std::vector<char> zero;
};

AxisFactors axis_factors(const KELMAR_FFTCUBE* field, int r, int order, const int* sub) {
    AxisFactors out;
    const long n = field->n[r];
    const double L = kelmar_vector3_double_length(field->a[r]);
    const bool zero_nyquist = order == 1 || (order == 2 && sub[0] != sub[1]);
    out.w.assign(static_cast<std::size_t>(n), 1.0);
    out.zero.assign(static_cast<std::size_t>(n), 0);
    for (int c = 0; c < order; ++c) {
        if (sub[c] != r) continue;
        for (long m = 0; m < n; ++m) {
            const bool nyquist = n % 2 == 0 && m == n / 2;
            const long q = nyquist ? n / 2 : signed_frequency(m, n);
            out.w[static_cast<std::size_t>(m)] *= kTwoPi * static_cast<double>(q) / L;
            if (nyquist && zero_nyquist) out.zero[static_cast<std::size_t>(m)] = 1;
        }
    }
    return out;
}

// dst = src times the derivative factors of the directions sub[0 .. order-1]: each direction
// multiplies by the imaginary number i w, so a first derivative turns (re, im) into
// (-w im, w re) and a second one multiplies by -w_a w_b. dst may be src.
void apply_factors(fftw_complex* dst, const fftw_complex* src, const KELMAR_FFTCUBE* geometry, int order,
                   const int* sub, int threads) {
    const long n0 = geometry->n[0], n1 = geometry->n[1], n2 = geometry->n[2];
    const AxisFactors fac[3] = {axis_factors(geometry, 0, order, sub), axis_factors(geometry, 1, order, sub),
                                axis_factors(geometry, 2, order, sub)};
    const double* w2 = fac[2].w.data();
    const char* z2 = fac[2].zero.data();
    grid_planes_parallel(n0, threads, [&](long i) {
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

// Whether no neighbour's gradient is strictly shorter than the point's (periodic wrap).
bool gradient_not_larger_than_neighbours(const KELMAR_FFT* fft, const long x_i[3]) {
    long idx[27];
    grid_block_indices(fft->en->n, x_i[0], x_i[1], x_i[2], idx);
    const double g = real_gradient_length(fft, idx[GRID_BLOCK_CENTRE]);
    for (int t = 0; t < 27; ++t)
        if (t != GRID_BLOCK_CENTRE && real_gradient_length(fft, idx[t]) < g) return false;
    return true;
}

fftdot_type type_by_curvature(const double eig[3]) {
    int negative = 0;
    for (int r = 0; r < 3; ++r) {
        if (eig[r] == 0.0) return FFT_ERR;
        if (eig[r] < 0.0) ++negative;
    }
    switch (negative) {
        case 0: return FFT_MIN;
        case 1: return FFT_SD1;
        case 2: return FFT_SD2;
        default: return FFT_MAX;
    }
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
    field->value.reset(field_alloc(total));
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
    kelmar_fftw_array work(field_alloc(total));
    if (!work) {
        std::fprintf(stderr, "Error: unable to allocate input array.\n");
        return nullptr;
    }
    fftw_use_threads(0);
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
    fftw_use_threads(threads);
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
    grid_planes_parallel(en->n[0], threads, [&](long i) {
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
    dot->type = gradient_not_larger_than_neighbours(fft, dot->x_i) ? type_by_curvature(dot->eig) : FFT_NOR;
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
    // The neighbour test comes first: only the few points that pass it need the Hessian's
    // eigen-decomposition. Each plane keeps its own points; gathered in plane order they are the
    // points in index order whatever the thread count.
    std::vector<std::vector<KELMAR_FFTDOT>> found(static_cast<std::size_t>(en->n[0]));
    std::vector<char> failed(static_cast<std::size_t>(en->n[0]), 0);
    grid_planes_parallel(en->n[0], threads, [&](long i) {
        for (long j = 0; j < en->n[1]; ++j)
            for (long k = 0; k < en->n[2]; ++k) {
                const long x_i[3] = {i, j, k};
                if (!gradient_not_larger_than_neighbours(fft, x_i)) continue;
                KELMAR_FFTDOT dot;
                if (read_point(&dot, fft, x_i) != 0) {
                    failed[static_cast<std::size_t>(i)] = 1;
                    return;
                }
                dot.type = type_by_curvature(dot.eig);
                if (dot.type == FFT_MIN || dot.type == FFT_SD1 || dot.type == FFT_SD2 || dot.type == FFT_MAX)
                    found[static_cast<std::size_t>(i)].push_back(dot);
            }
    });
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (failed[i]) {
            std::fprintf(stderr, "Error: kelmar_fftdot_read_from_fft() returns non-zero.\n");
            return nullptr;
        }
        list->dot.insert(list->dot.end(), found[i].begin(), found[i].end());
    }
    list->total = static_cast<long>(list->dot.size());
    kelmar_fftdot_list_sort(list.get());
    if (kelmar_fftdot_list_merge_near(list.get()) != 0) {
        std::fprintf(stderr, "Error: kelmar_fftdot_list_merge_near() returns non-zero.\n");
        return nullptr;
    }
    std::printf("Message: found %ld critical points via fft method.\n", list->total);
    return list;
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
