// Capture of the engines' console during a call from Python (console-capture.hpp).
#include "console-capture.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace pyconsole {

namespace {

std::mutex& console_mutex() {
    static std::mutex m;
    return m;
}

// An unlinked temporary file open for reading and writing; -1 when none can be made.
int scratch_file() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/kelmar-console-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) unlink(path.c_str());
    return fd;
}

std::string read_all(int fd) {
    std::string text;
    if (fd < 0 || lseek(fd, 0, SEEK_SET) < 0) return text;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof(buf));
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

ConsoleCapture::ConsoleCapture() : lock_(console_mutex()) {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int s = 0; s < 2; ++s) {
        file_[s] = scratch_file();
        saved_[s] = file_[s] >= 0 ? dup(s + 1) : -1;
        if (saved_[s] >= 0) dup2(file_[s], s + 1);
    }
    active_ = true;
}

ConsoleText ConsoleCapture::finish() {
    ConsoleText text;
    if (!active_) return text;
    std::fflush(stdout);
    std::fflush(stderr);
    for (int s = 0; s < 2; ++s) {
        if (saved_[s] >= 0) {
            dup2(saved_[s], s + 1);
            close(saved_[s]);
        }
        (s == 0 ? text.out : text.err) = read_all(file_[s]);
        if (file_[s] >= 0) close(file_[s]);
        saved_[s] = file_[s] = -1;
    }
    active_ = false;
    return text;
}

ConsoleCapture::~ConsoleCapture() { finish(); }

std::string error_lines(const ConsoleText& text) {
    std::string lines;
    for (const std::string* s : {&text.err, &text.out}) {
        std::istringstream in(*s);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("Error:", 0) == 0) lines += (lines.empty() ? "" : "\n") + line;
        }
    }
    if (lines.empty()) {
        lines = text.err;
        while (!lines.empty() && (lines.back() == '\n' || lines.back() == '\r')) lines.pop_back();
    }
    return lines;
}

}  // namespace pyconsole
