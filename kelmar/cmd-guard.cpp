// The run's promise: exit status that follows any "Error:" line, and no result file after a failure.
#include "cmd-guard.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// State of the watched stream: whether the next byte starts a line, how much of "Error:" the
// current line has matched, and whether a whole "Error:" was seen.
struct ErrorWatch {
    bool line_start = true;
    std::size_t matched = 0;  // characters of the prefix matched at the start of this line
    bool seen = false;
};

constexpr char kPrefix[] = "Error:";
constexpr std::size_t kPrefixLength = sizeof(kPrefix) - 1;

ErrorWatch g_watch;

ssize_t watch_write(void*, const char* buf, std::size_t n) {
    for (std::size_t i = 0; i < n; i++) {
        const char c = buf[i];
        if (c == '\n') {
            g_watch.line_start = true;
            g_watch.matched = 0;
            continue;
        }
        if (g_watch.line_start) {
            if (c == kPrefix[g_watch.matched]) {
                if (++g_watch.matched == kPrefixLength) {
                    g_watch.seen = true;
                    g_watch.line_start = false;
                }
            } else {
                g_watch.line_start = false;
            }
        }
    }
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(STDERR_FILENO, buf + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<std::size_t>(w);
    }
    return static_cast<ssize_t>(n);
}

struct ResultFile {
    std::filesystem::path path;
    bool existed = false;
    std::filesystem::file_time_type time{};
    std::uintmax_t size = 0;
};

std::vector<ResultFile> g_results;

}  // namespace

void kelmar_cmd_guard_watch_errors() {
    static bool installed = false;
    if (installed) return;
    cookie_io_functions_t io{};
    io.write = watch_write;
    std::FILE* f = fopencookie(nullptr, "w", io);
    if (f == nullptr) return;  // unwatched: the handlers' own status still counts
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::fflush(stderr);
    stderr = f;
    installed = true;
}

bool kelmar_cmd_guard_error_seen() { return g_watch.seen; }

void kelmar_cmd_result_file(const std::string& path) {
    if (path.empty()) return;
    ResultFile r;
    r.path = path;
    std::error_code ec;
    r.existed = std::filesystem::is_regular_file(r.path, ec);
    if (r.existed) {
        r.time = std::filesystem::last_write_time(r.path, ec);
        r.size = std::filesystem::file_size(r.path, ec);
    }
    g_results.push_back(std::move(r));
}

int kelmar_cmd_guard_discard_results() {
    int removed = 0;
    for (const ResultFile& r : g_results) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(r.path, ec)) continue;
        if (r.existed) {
            const auto t = std::filesystem::last_write_time(r.path, ec);
            const auto s = std::filesystem::file_size(r.path, ec);
            if (!ec && t == r.time && s == r.size) continue;  // untouched by this run
        }
        if (std::filesystem::remove(r.path, ec)) removed++;
    }
    g_results.clear();
    return removed;
}
