// FFTW arrays and threads shared by every transform of a landscape.
#include "fft-plan.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>

#include "workshare.hpp"

namespace {

std::once_flag fftw_threads_once;
bool fftw_threads_ready = false;

}  // namespace

fftw_complex* fft_field_alloc(long total) {
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

void fft_use_threads(int threads) {
    std::call_once(fftw_threads_once, [] { fftw_threads_ready = fftw_init_threads() != 0; });
    if (fftw_threads_ready) fftw_plan_with_nthreads(workshare_threads_resolve(threads));
}
