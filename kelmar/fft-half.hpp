// Spectral derivatives of a real landscape through FFTW's real-to-complex transforms. The
// landscape's half spectrum is kept once (n0 n1 (n2/2+1) complex values; the other half is its
// complex conjugate). Each derivative is one complex-to-real transform of the spectrum times its
// factors, made in a work array that holds one derivative field at a time, so a command keeps only
// the fields it reads, or only their values at the points it needs.
#pragma once

#include <memory>
#include <vector>

#include <fftw3.h>

#include "fft-types.hpp"

struct FftHalfSpectrum {
    kelmar_fftw_array value;  // n0 n1 (n2/2+1) complex values, divided by n0 n1 n2
    double a[3][3] = {};      // cell vectors (rows), angstrom
    double a_i[3][3] = {};    // voxel step vectors (rows), angstrom
    long n[3] = {0, 0, 0};

    long half() const { return n[2] / 2 + 1; }
    long size() const { return n[0] * n[1] * n[2]; }
};

// The half spectrum of en (n0 n1 n2 real values, last index fastest); null after an error line.
std::unique_ptr<FftHalfSpectrum> fft_half_spectrum_new(const double* en, const double a[3][3],
                                                       const double a_i[3][3], const long n[3], int threads);

// One derivative field of a spectrum at a time.
class FftHalfField {
public:
    FftHalfField(const FftHalfSpectrum* spectrum, int threads);
    ~FftHalfField();
    FftHalfField(const FftHalfField&) = delete;
    FftHalfField& operator=(const FftHalfField&) = delete;

    // False when the work array or the plan could not be made.
    bool ready() const { return plan_ != nullptr; }
    // The derivative of order 1 or 2 along the directions sub[0 .. order-1] (eV/A, eV/A^2).
    void differentiate(int order, const int* sub);
    // The value at flat grid index p = (i n1 + j) n2 + k.
    double at(long p) const {
        const long row = p / s_->n[2];
        return real_[row * 2 * s_->half() + (p - row * s_->n[2])];
    }
    // The whole field, n0 n1 n2 values.
    void copy_to(double* out) const;

private:
    const FftHalfSpectrum* s_;
    int threads_;
    kelmar_fftw_array work_;
    double* real_ = nullptr;  // the work array read as padded real rows
    fftw_plan plan_ = nullptr;
};

// First and second derivatives at one grid point.
struct FftPointDerivatives {
    double f[3] = {};
    double k[3][3] = {};
};

// The derivatives at the given flat grid indices: the second ones always, the first ones when
// gradient is true. Empty after an error line.
std::vector<FftPointDerivatives> fft_half_read_points(const FftHalfSpectrum* spectrum, const std::vector<long>& points,
                                                      bool gradient, int threads);
