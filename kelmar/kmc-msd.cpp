// Mean squared displacement of the mobile ions: snapshots at equal times, the average over time
// origins and the slope that gives the diffusivity.
#include "kmc-msd.hpp"

#include <algorithm>
#include <cmath>

#include "kmc-out.hpp"
#include "kmc-record.hpp"

namespace {

// Least-squares slope of y against x.
double slope_of(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    double mx = 0.0, my = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        mx += x[k];
        my += y[k];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxy = 0.0, sxx = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
    }
    return sxx > 0.0 ? sxy / sxx : 0.0;
}

void record_frame(KELMAR_KMC* kmc) {
    kmc_msd& m = kmc->msd;
    const std::size_t width = static_cast<std::size_t>(3 * m.ions);
    const std::size_t at = static_cast<std::size_t>(m.frames) * width;
    m.frame.resize(at + width);
    for (std::size_t i = 0; i < kmc->kv.size(); ++i) {
        const KELMAR_KMC_VERTEX& kv = kmc->kv[i];
        if (!kv.occupied || kv.origin < 0) continue;
        const int ion = m.ion_at[static_cast<std::size_t>(kv.origin)];
        if (ion < 0) continue;
        kmc_ion_displacement(kmc, static_cast<long>(i), &m.frame[at + 3 * static_cast<std::size_t>(ion)]);
    }
    ++m.frames;
}

// Keeps every other snapshot; the spacing doubles.
void thin(kmc_msd* m) {
    const std::size_t width = static_cast<std::size_t>(3 * m->ions);
    long kept = 0;
    for (long f = 0; f < m->frames; f += 2, ++kept)
        if (kept != f)
            std::copy_n(m->frame.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(f) * width), width,
                        m->frame.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(kept) * width));
    m->frames = kept;
    m->frame.resize(static_cast<std::size_t>(kept) * width);
    m->spacing *= 2.0;
}

}  // namespace

void kmc_msd_start(KELMAR_KMC* kmc, double spacing) {
    kmc_msd& m = kmc->msd;
    m.ion_at.assign(kmc->kv.size(), -1);
    m.ions = 0;
    for (std::size_t i = 0; i < kmc->kv.size(); ++i)
        if (kmc->kv[i].occupied && kmc->kv[i].origin == static_cast<long>(i)) m.ion_at[i] = static_cast<int>(m.ions++);
    m.frame.clear();
    m.frame.reserve(static_cast<std::size_t>(kmc_msd::kMaxFrames * 3 * m.ions));
    m.frames = 0;
    m.spacing = spacing > 0.0 && std::isfinite(spacing) ? spacing : 1.0;
    record_frame(kmc);
    m.next = m.spacing;
}

void kmc_msd_take(KELMAR_KMC* kmc, double t_new) {
    kmc_msd& m = kmc->msd;
    if (m.ions <= 0) return;
    while (m.next < t_new) {
        if (m.frames >= kmc_msd::kMaxFrames) thin(&m);
        else record_frame(kmc);
        m.next = static_cast<double>(m.frames) * m.spacing;
    }
}

kmc_msd_fit kmc_msd_diffusivity(const KELMAR_KMC* kmc, double t, const double end_msd[4]) {
    const kmc_msd& m = kmc->msd;
    kmc_msd_fit fit;
    fit.frames = m.frames;
    if (m.frames < kmc_msd::kMinFrames || m.ions <= 0) {
        for (int p = 0; p < 4; ++p) fit.D[p] = t > 0.0 ? end_msd[p] / (6.0 * t) : 0.0;
        return fit;
    }
    fit.slope = true;
    const long last = m.frames - 1;
    const long lo = std::max(1L, last / 5), hi = std::max(lo + 1, last / 2);
    fit.lag_lo = static_cast<double>(lo) * m.spacing;
    fit.lag_hi = static_cast<double>(hi) * m.spacing;
    const int groups = static_cast<int>(std::min<long>(kmc_msd::kGroups, m.ions));
    fit.groups = groups;
    const std::size_t width = static_cast<std::size_t>(3 * m.ions);
    // per lag: the squared displacement summed per group and axis, then averaged over origins
    const std::size_t lags = static_cast<std::size_t>(hi - lo + 1);
    std::vector<double> sum(lags * static_cast<std::size_t>(groups) * 3, 0.0);
    for (long lag = lo; lag <= hi; ++lag) {
        double* row = &sum[static_cast<std::size_t>(lag - lo) * static_cast<std::size_t>(groups) * 3];
        for (long k = 0; k + lag < m.frames; ++k) {
            const double* a = &m.frame[static_cast<std::size_t>(k) * width];
            const double* b = &m.frame[static_cast<std::size_t>(k + lag) * width];
            for (long ion = 0; ion < m.ions; ++ion) {
                double* g = row + 3 * (ion % groups);
                for (int p = 0; p < 3; ++p) {
                    const double d = b[3 * ion + p] - a[3 * ion + p];
                    g[p] += d * d;
                }
            }
        }
        const double origins = static_cast<double>(m.frames - lag);
        for (std::size_t q = 0; q < static_cast<std::size_t>(groups) * 3; ++q) row[q] /= origins;
    }
    std::vector<double> x(lags), y(lags);
    for (std::size_t l = 0; l < lags; ++l) x[l] = static_cast<double>(lo + static_cast<long>(l)) * m.spacing;
    const double N = static_cast<double>(m.ions);
    // per axis over all ions; the total is their sum (the slope is linear in the data)
    for (int p = 0; p < 3; ++p) {
        for (std::size_t l = 0; l < lags; ++l) {
            double s = 0.0;
            for (int g = 0; g < groups; ++g) s += sum[(l * static_cast<std::size_t>(groups) + static_cast<std::size_t>(g)) * 3 + static_cast<std::size_t>(p)];
            y[l] = s / N;
        }
        // a falling line is noise about no transport along that axis
        fit.D[p] = std::max(0.0, slope_of(x, y) / 6.0);
    }
    fit.D[3] = fit.D[0] + fit.D[1] + fit.D[2];
    if (groups < 4) return fit;
    // the groups' slopes scatter about the whole's: the standard error of their weighted mean
    double var = 0.0;
    for (int g = 0; g < groups; ++g) {
        const double size = static_cast<double>((m.ions - g + groups - 1) / groups);  // ions g, g + groups, ...
        for (std::size_t l = 0; l < lags; ++l) {
            const double* c = &sum[(l * static_cast<std::size_t>(groups) + static_cast<std::size_t>(g)) * 3];
            y[l] = (c[0] + c[1] + c[2]) / size;
        }
        const double w = size / N, dev = slope_of(x, y) / 6.0 - fit.D[3];
        var += w * w * dev * dev;
    }
    fit.error = std::sqrt(var * groups / (groups - 1.0));
    return fit;
}
