// FFTW arrays and threads shared by every transform of a landscape.
#include "fft-plan.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "huge-pages.hpp"
#include "workshare.hpp"

namespace {

std::once_flag fftw_threads_once;
bool fftw_threads_ready = false;

}  // namespace

fftw_complex* fft_field_alloc(long total) {
    fftw_complex* p = fftw_alloc_complex(static_cast<std::size_t>(total));
    advise_huge_pages(p, sizeof(fftw_complex) * static_cast<std::size_t>(total));
    return p;
}

void fft_use_threads(int threads) {
    std::call_once(fftw_threads_once, [] { fftw_threads_ready = fftw_init_threads() != 0; });
    if (fftw_threads_ready) fftw_plan_with_nthreads(workshare_threads_resolve(threads));
}
