// The console of an engine call, captured: the engines report on standard output and standard
// error with printf, so while a call runs both descriptors point into temporary files, and the
// text is handed to Python afterwards (errors as the exception's message, the rest to logging).
// Descriptors are process-wide: one call at a time holds them.
#pragma once

#include <mutex>
#include <string>

namespace pyconsole {

// What one call printed.
struct ConsoleText {
    std::string out;  // standard output
    std::string err;  // standard error
};

// Redirects descriptors 1 and 2 for its lifetime; finish() restores them and returns the text.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    ConsoleText finish();

private:
    std::unique_lock<std::mutex> lock_;
    int saved_[2] = {-1, -1};
    int file_[2] = {-1, -1};
    bool active_ = false;
};

// The "Error:" lines of a call (both streams, in order of the streams), or the whole error text
// when no line starts so; empty when nothing was reported.
std::string error_lines(const ConsoleText& text);

}  // namespace pyconsole
