// Large grid arrays on transparent huge pages where the kernel gives them on request: the first
// touch of a 2 MB page costs one fault instead of 512. Asked for before the array is first
// written; a kernel that refuses changes nothing but the speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <vector>

// Advises the whole 2 MB pages inside [p, p + bytes); arrays under 4 MB are left alone.
inline void advise_huge_pages(void* p, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    if (p == nullptr || bytes < 2 * huge) return;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
    const std::uintptr_t stop = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
    if (stop > start) madvise(reinterpret_cast<void*>(start), stop - start, MADV_HUGEPAGE);
}

// v with room for n values, advised before any of it is touched (v empty beforehand).
template <typename T>
void reserve_huge_pages(std::vector<T>& v, std::size_t n) {
    v.reserve(n);
    advise_huge_pages(v.data(), n * sizeof(T));
}
