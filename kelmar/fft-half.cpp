// Real-to-complex spectral derivatives of a landscape (FFTW3).
#include "fft-half.hpp"

#include <cstdio>
#include <cstring>

#include "fft-factors.hpp"
#include "fft-plan.hpp"
#include "workshare.hpp"

std::unique_ptr<FftHalfSpectrum> fft_half_spectrum_new(const double* en, const double a[3][3],
                                                       const double a_i[3][3], const long n[3], int threads) {
    auto s = std::make_unique<FftHalfSpectrum>();
    for (int r = 0; r < 3; ++r) {
        s->n[r] = n[r];
        for (int d = 0; d < 3; ++d) {
            s->a[r][d] = a[r][d];
            s->a_i[r][d] = a_i[r][d];
        }
    }
    const long rows = n[0] * n[1], half = s->half();
    s->value.reset(fft_field_alloc(rows * half));
    if (!s->value) {
        std::fprintf(stderr, "Error: unable to allocate fftcube->value\n");
        return nullptr;
    }
    fft_use_threads(threads);
    // an out-of-place real-to-complex plan leaves its input as it was
    fftw_plan plan = fftw_plan_dft_r2c_3d(static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2]),
                                          const_cast<double*>(en), s->value.get(), FFTW_ESTIMATE);
    if (plan == nullptr) {
        std::fprintf(stderr, "Error: kelmar_fftcube_dft() returns NULL.\n");
        return nullptr;
    }
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    const double N = static_cast<double>(s->size());
    fftw_complex* v = s->value.get();
    workshare_parts(n[0], threads, [&](long i) {
        for (long p = i * n[1] * half; p < (i + 1) * n[1] * half; ++p) {
            v[p][0] /= N;
            v[p][1] /= N;
        }
    });
    return s;
}

FftHalfField::FftHalfField(const FftHalfSpectrum* spectrum, int threads) : s_(spectrum), threads_(threads) {
    const long rows = s_->n[0] * s_->n[1];
    work_.reset(fft_field_alloc(rows * s_->half()));
    if (!work_) return;
    real_ = reinterpret_cast<double*>(work_.get());
    fft_use_threads(threads);
    plan_ = fftw_plan_dft_c2r_3d(static_cast<int>(s_->n[0]), static_cast<int>(s_->n[1]), static_cast<int>(s_->n[2]),
                                 work_.get(), real_, FFTW_ESTIMATE);
}

FftHalfField::~FftHalfField() {
    if (plan_ != nullptr) fftw_destroy_plan(plan_);
}

void FftHalfField::differentiate(int order, const int* sub) {
    const long n0 = s_->n[0], n1 = s_->n[1], half = s_->half();
    const FftAxisFactors fac[3] = {fft_axis_factors(s_->a[0], n0, 0, order, sub),
                                   fft_axis_factors(s_->a[1], n1, 1, order, sub),
                                   fft_axis_factors(s_->a[2], s_->n[2], 2, order, sub)};
    const fftw_complex* src = s_->value.get();
    fftw_complex* dst = work_.get();
    workshare_parts(n0, threads_, [&](long i) {
        for (long j = 0; j < n1; ++j) {
            const double row = fac[0].w[static_cast<std::size_t>(i)] * fac[1].w[static_cast<std::size_t>(j)];
            const bool row_zero = fac[0].zero[static_cast<std::size_t>(i)] || fac[1].zero[static_cast<std::size_t>(j)];
            const long base = (i * n1 + j) * half;
            for (long k = 0; k < half; ++k) {
                const long p = base + k;
                const double re = src[p][0], im = src[p][1];
                const double w = row * fac[2].w[static_cast<std::size_t>(k)];
                if (row_zero || fac[2].zero[static_cast<std::size_t>(k)]) {
                    dst[p][0] = 0.0;
                    dst[p][1] = 0.0;
                } else if (order == 1) {  // times i w
                    dst[p][0] = -w * im;
                    dst[p][1] = w * re;
                } else {  // times (i w_a)(i w_b)
                    dst[p][0] = -w * re;
                    dst[p][1] = -w * im;
                }
            }
        }
    });
    fftw_execute(plan_);
}

void FftHalfField::copy_to(double* out) const {
    const long n1 = s_->n[1], n2 = s_->n[2], stride = 2 * s_->half();
    workshare_parts(s_->n[0], threads_, [&](long i) {
        for (long j = 0; j < n1; ++j) {
            const long row = i * n1 + j;
            std::memcpy(out + row * n2, real_ + row * stride, sizeof(double) * static_cast<std::size_t>(n2));
        }
    });
}

std::vector<FftPointDerivatives> fft_half_read_points(const FftHalfSpectrum* spectrum, const std::vector<long>& points,
                                                      bool gradient, int threads) {
    std::vector<FftPointDerivatives> out(points.size());
    if (points.empty()) return out;
    FftHalfField field(spectrum, threads);
    if (!field.ready()) {
        std::fprintf(stderr, "Error: kelmar_fftcube_differentiate() returns NULL.\n");
        return {};
    }
    if (gradient)
        for (int r = 0; r < 3; ++r) {
            const int sub[1] = {r};
            field.differentiate(1, sub);
            for (std::size_t q = 0; q < points.size(); ++q) out[q].f[r] = field.at(points[q]);
        }
    // the Hessian is symmetric: six transforms give all nine entries
    for (int r = 0; r < 3; ++r)
        for (int s = r; s < 3; ++s) {
            const int sub[2] = {r, s};
            field.differentiate(2, sub);
            for (std::size_t q = 0; q < points.size(); ++q) out[q].k[r][s] = out[q].k[s][r] = field.at(points[q]);
        }
    return out;
}
