// Progress line of a kinetic Monte Carlo run on a terminal.
#include "kmc-progress.hpp"

#include <cstdio>
#include <unistd.h>

namespace {

// A shown line changes at most this often.
constexpr double kRedrawSeconds = 0.25;

double seconds_between(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

}  // namespace

bool kmc_progress_wanted() { return isatty(STDERR_FILENO) != 0; }

kmc_progress::kmc_progress(bool show, const char* phase) : show_(show), phase_(phase) {
    if (show_) last_ = std::chrono::steady_clock::now();
}

void kmc_progress::look(double done) {
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && seconds_between(last_, now) < kRedrawSeconds) return;
    last_ = now;
    long percent = static_cast<long>(100.0 * done);
    if (!(percent >= 0)) percent = 0;
    if (percent > 99) percent = 99;
    if (percent != last_percent_ || !drawn_) draw(percent);
}

void kmc_progress::draw(long percent) {
    std::fprintf(stderr, "\rProgress: %s%3ld%%", phase_, percent);
    std::fflush(stderr);
    last_percent_ = percent;
    drawn_ = true;
}

void kmc_progress::finish() {
    if (!drawn_) return;
    draw(100);
    std::fprintf(stderr, "\n");
    drawn_ = false;
}

void kmc_progress::break_line() {
    if (!drawn_) return;
    std::fprintf(stderr, "\n");
    drawn_ = false;
}
