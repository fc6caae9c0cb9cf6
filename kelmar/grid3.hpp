// A contiguous 3-D grid of values, the storage of the landscapes and their derived grids.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

// A contiguous 3-D grid indexed [i][j][k] with k fastest.
template <typename T>
struct KELMAR_GRID3 {
    long n[3] = {0, 0, 0};
    std::vector<T> data;

    KELMAR_GRID3() = default;
    KELMAR_GRID3(long n0, long n1, long n2, T init = T()) { resize(n0, n1, n2, init); }
    // A negative size, or sizes whose product overflows, cannot be allocated: std::bad_alloc, as
    // for any other grid too large for memory (the product would otherwise wrap round to a
    // small grid that the indexing runs past).
    void resize(long n0, long n1, long n2, T init = T()) {
        long total = 0;
        if (n0 < 0 || n1 < 0 || n2 < 0 || __builtin_mul_overflow(n0, n1, &total) ||
            __builtin_mul_overflow(total, n2, &total) ||
            static_cast<unsigned long>(total) > data.max_size())
            throw std::bad_alloc();
        data.assign(static_cast<std::size_t>(total), init);
        n[0] = n0;
        n[1] = n1;
        n[2] = n2;
    }
    std::size_t index(long i, long j, long k) const {
        return static_cast<std::size_t>((i * n[1] + j) * n[2] + k);
    }
    T& operator()(long i, long j, long k) { return data[index(i, j, k)]; }
    const T& operator()(long i, long j, long k) const { return data[index(i, j, k)]; }
    long size() const { return n[0] * n[1] * n[2]; }
};
