// Work shared by the CPUs of the process, for both programs: parts of a job (planes of a grid,
// ranges of lines of a file) are handed out one at a time, each part handled by exactly one thread
// and writing only its own results. Callers gather the results part by part in order afterwards,
// so what they print does not depend on the thread count. The thread count is KELMAR_THREADS where
// a batch job sets it, otherwise the CPU affinity of the process.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

// The thread count the environment asks for: KELMAR_THREADS, a whole number from 1 to 4096 (a batch
// job sets it to the cores its scheduler gave). 0 when unset; -1 when set to anything else.
inline int workshare_threads_requested() {
    const char* text = std::getenv("KELMAR_THREADS");
    if (text == nullptr) return 0;
    long n = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9' && n <= 4096; ++p) n = n * 10 + (*p - '0');
    if (p == text || *p != '\0' || n < 1 || n > 4096) return -1;
    return static_cast<int>(n);
}

// The CPUs this process may run on: its affinity mask, which taskset, cgroups and batch systems such
// as Slurm narrow; the hardware's thread count where the mask cannot be read.
inline int workshare_threads_affinity() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    const int hw = static_cast<int>(std::thread::hardware_concurrency());
    return hw > 0 ? hw : 1;
}

// The threads a computation uses: KELMAR_THREADS when set to a whole number from 1 to 4096,
// otherwise every CPU of the affinity mask. Any other value is reported once and not used.
inline int workshare_threads_usable() {
    const int asked = workshare_threads_requested();
    if (asked > 0) return asked;
    const int usable = workshare_threads_affinity();
    if (asked < 0) {
        static std::once_flag told;
        std::call_once(told, [usable] {
            std::printf("Warning: KELMAR_THREADS is not a whole number from 1 to 4096; using the %d usable CPUs.\n",
                        usable);
        });
    }
    return usable;
}

// A requested thread count: 0 or less means every usable CPU.
inline int workshare_threads_resolve(int threads) { return threads > 0 ? threads : workshare_threads_usable(); }

// body(i) for every i in [0, n) on up to `threads` threads (0 or less: every usable CPU), parts
// handed out one at a time. An exception thrown by a body (std::bad_alloc) stops the hand-out and
// is rethrown on the calling thread.
template <class Body>
void workshare_parts(long n, int threads, Body&& body) {
    threads = workshare_threads_resolve(threads);
    if (threads > n) threads = static_cast<int>(n > 0 ? n : 1);
    if (threads <= 1) {
        for (long i = 0; i < n; ++i) body(i);
        return;
    }
    std::atomic<long> next{0};
    std::exception_ptr failure;
    std::mutex failure_lock;
    auto worker = [&]() {
        try {
            for (long i = next++; i < n; i = next++) body(i);
        } catch (...) {
            std::lock_guard<std::mutex> hold(failure_lock);
            if (!failure) failure = std::current_exception();
            next = n;
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (...) {
            break;  // the threads already running share the remaining parts
        }
    }
    worker();
    for (std::thread& th : pool) th.join();
    if (failure) std::rethrow_exception(failure);
}

// Cuts the text [data, data + size) into pieces for the threads: at most `threads`, none much
// shorter than `min_bytes`, of about equal length, each cut moved forward by to_cut(aim, stop) to
// where a record ends (a blank, a line end). Sets begin and end of pieces[0 .. count) and returns
// the count; the pieces cover the text in order, some possibly empty.
template <class Piece, class ToCut>
int workshare_text_pieces(const char* data, std::size_t size, int threads, std::size_t min_bytes,
                          std::vector<Piece>& pieces, ToCut&& to_cut) {
    const std::size_t most = threads > 1 ? static_cast<std::size_t>(threads) : 1;
    const int count = static_cast<int>(std::min(most, std::min(pieces.size(), size / min_bytes + 1)));
    const char* const stop = data + size;
    const char* cut = data;
    for (int t = 0; t < count; ++t) {
        Piece& piece = pieces[static_cast<std::size_t>(t)];
        piece.begin = cut;
        const char* aim = t + 1 == count ? stop : data + size * static_cast<std::size_t>(t + 1) / count;
        if (aim < cut) aim = cut;
        piece.end = aim < stop ? to_cut(aim, stop) : stop;
        cut = piece.end;
    }
    return count;
}
