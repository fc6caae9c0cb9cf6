// What every benchmark here shares: a quiet console while the library works, and wall-clock
// seconds since a start mark.
#pragma once

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace benchkit {

// Console chatter of the library goes to /dev/null while a calculation runs.
struct Quiet {
    int saved = -1;
    Quiet() {
        std::fflush(stdout);
        saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;
};

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace benchkit
