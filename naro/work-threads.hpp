// The analyser's names for the work shared over the CPUs (workshare/workshare.hpp).
#pragma once

#include <utility>

#include "workshare.hpp"

inline int naro_threads_usable() { return workshare_threads_usable(); }

template <class Body>
void naro_parts_parallel(long n, int threads, Body&& body) {
    workshare_parts(n, threads, std::forward<Body>(body));
}
