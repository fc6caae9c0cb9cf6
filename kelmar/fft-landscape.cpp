// The derivative records a command keeps: the energy's half spectrum with the values at chosen
// points drawn from it, and the critical points of --fft from the smoothed landscape.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cube.hpp"
#include "fft-cells.hpp"
#include "fft-half.hpp"
#include "fft.hpp"
#include "linalg.hpp"

std::unique_ptr<KELMAR_FFT> kelmar_fft_new_spectrum_from_cube(const KELMAR_CUBE* cube, int threads) {
    if (cube == nullptr || static_cast<long>(cube->en.data.size()) != cube->n[0] * cube->n[1] * cube->n[2]) {
        std::fprintf(stderr, "Error: kelmar_fftcube_new_from_cube() returns NULL.\n");
        return nullptr;
    }
    auto fft = kelmar_fft_new();
    fft->half = fft_half_spectrum_new(cube->en.data.data(), cube->a, cube->a_i, cube->n, threads);
    if (!fft->half) return nullptr;
    return fft;
}

int fft_read_points(const KELMAR_FFT* fft, const std::vector<long>& points, std::vector<KELMAR_FFTDOT>* dots,
                    int threads, bool gradient) {
    if (fft == nullptr || dots == nullptr) return 1;
    const long* n;
    const double (*a_i)[3];
    std::vector<FftPointDerivatives> at;
    if (fft->half) {
        n = fft->half->n;
        a_i = fft->half->a_i;
        at = fft_half_read_points(fft->half.get(), points, gradient, threads);
        if (at.size() != points.size()) return 1;
    } else if (fft->en && fft->en->value && fft->f[0] && fft->f[1] && fft->f[2]) {
        n = fft->en->n;
        a_i = fft->en->a_i;
        at.resize(points.size());
        for (std::size_t q = 0; q < points.size(); ++q)
            for (int r = 0; r < 3; ++r) {
                if (gradient) at[q].f[r] = fft->f[r]->value[points[q]][0];
                for (int s = 0; s < 3; ++s) {
                    if (!fft->k[r][s]) return 1;
                    at[q].k[r][s] = fft->k[r][s]->value[points[q]][0];
                }
            }
    } else {
        std::fprintf(stderr, "Error: KELMAR_FFT has not been properly initialized.\n");
        return 1;
    }
    dots->assign(points.size(), KELMAR_FFTDOT{});
    for (std::size_t q = 0; q < points.size(); ++q) {
        KELMAR_FFTDOT& d = (*dots)[q];
        const long p = points[q];
        d.x_i[2] = p % n[2];
        d.x_i[1] = (p / n[2]) % n[1];
        d.x_i[0] = p / (n[1] * n[2]);
        for (int c = 0; c < 3; ++c)
            d.x[c] = static_cast<double>(d.x_i[0]) * a_i[0][c] + static_cast<double>(d.x_i[1]) * a_i[1][c] +
                     static_cast<double>(d.x_i[2]) * a_i[2][c];
        if (fft->en && fft->en->value) d.en = fft->en->value[p][0];
        for (int r = 0; r < 3; ++r) {
            d.f[r] = at[q].f[r];
            for (int s = 0; s < 3; ++s) d.k[r][s] = at[q].k[r][s];
        }
        if (kelmar_matrix33_double_eigensolver_symmetric(d.eig, d.eiv, d.k) != 0) {
            std::fprintf(stderr, "Error: kelmar_matrix33_double_eigensolver_symmetric() returns non-zero.\n");
            return 1;
        }
    }
    return 0;
}

std::unique_ptr<KELMAR_FFTDOT_LIST> kelmar_fftdot_list_new_from_cube(const KELMAR_CUBE* cube, int threads) {
    if (cube == nullptr || static_cast<long>(cube->en.data.size()) != cube->n[0] * cube->n[1] * cube->n[2] ||
        cube->en.data.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CUBE has not been initialized properly.\n");
        return nullptr;
    }
    const std::vector<double>& en = cube->en.data;
    const std::size_t total = en.size();
    const double lowest = *std::min_element(en.begin(), en.end());
    const double S = kFftSmoothScale;
    std::unique_ptr<FftHalfSpectrum> spectrum;
    {
        std::vector<double> smooth(total);
        for (std::size_t p = 0; p < total; ++p) smooth[p] = S * std::log1p((en[p] - lowest) / S);
        spectrum = fft_half_spectrum_new(smooth.data(), cube->a, cube->a_i, cube->n, threads);
    }
    if (!spectrum) {
        std::fprintf(stderr, "Error: kelmar_fft_new_from_cube() returns NULL.\n");
        return nullptr;
    }
    std::vector<double> g[3];
    {
        FftHalfField field(spectrum.get(), threads);
        if (!field.ready()) {
            std::fprintf(stderr, "Error: kelmar_fftcube_differentiate() returns NULL.\n");
            return nullptr;
        }
        for (int r = 0; r < 3; ++r) {
            const int sub[1] = {r};
            field.differentiate(1, sub);
            g[r].resize(total);
            field.copy_to(g[r].data());
        }
    }
    FftGradientGrid grid;
    for (int r = 0; r < 3; ++r) {
        grid.n[r] = cube->n[r];
        grid.g[r] = g[r].data();
    }
    const std::vector<FftCellZero> zeros = fft_cell_zeros(grid, threads);

    // the Hessian at every corner of a zero's tetrahedron, for the energy itself: with
    // u = (E - Emin)/S, f = (1 + u) f_s and k = (1 + u) k_s + f f^T / (S (1 + u))
    std::vector<long> corners;
    for (const FftCellZero& z : zeros) corners.insert(corners.end(), z.corner, z.corner + 4);
    std::sort(corners.begin(), corners.end());
    corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
    std::vector<FftPointDerivatives> at = fft_half_read_points(spectrum.get(), corners, false, threads);
    if (at.size() != corners.size()) return nullptr;
    for (std::size_t q = 0; q < corners.size(); ++q) {
        const std::size_t p = static_cast<std::size_t>(corners[q]);
        const double stretch = 1.0 + (en[p] - lowest) / S;
        for (int r = 0; r < 3; ++r) at[q].f[r] = stretch * g[r][p];
        for (int r = 0; r < 3; ++r)
            for (int s = 0; s < 3; ++s) at[q].k[r][s] = stretch * at[q].k[r][s] + at[q].f[r] * at[q].f[s] / (S * stretch);
    }
    auto corner_of = [&](long p) {
        return static_cast<std::size_t>(std::lower_bound(corners.begin(), corners.end(), p) - corners.begin());
    };

    auto list = kelmar_fftdot_list_new(0);
    for (int r = 0; r < 3; ++r) {
        list->n[r] = cube->n[r];
        for (int d = 0; d < 3; ++d) {
            list->a[r][d] = cube->a[r][d];
            list->a_i[r][d] = cube->a_i[r][d];
        }
    }
    list->dot.resize(zeros.size());
    for (std::size_t z = 0; z < zeros.size(); ++z) {
        const FftCellZero& zero = zeros[z];
        double k[4][3][3];
        for (int c = 0; c < 4; ++c) {
            const FftPointDerivatives& d = at[corner_of(zero.corner[c])];
            for (int r = 0; r < 3; ++r)
                for (int s = 0; s < 3; ++s) k[c][r][s] = d.k[r][s];
        }
        const long p = zero.corner[zero.nearest()];
        if (fft_dot_from_zero(&list->dot[z], zero, cube->n, cube->a_i, en[static_cast<std::size_t>(p)],
                              at[corner_of(p)].f, k) != 0)
            return nullptr;
    }
    list->total = static_cast<long>(list->dot.size());
    kelmar_fftdot_list_sort(list.get());
    std::printf("Message: found %ld critical points via fft method.\n", list->total);
    return list;
}
