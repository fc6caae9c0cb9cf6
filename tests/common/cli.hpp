// Helpers for end-to-end tests: run a program in a scratch directory and
// capture its standard output, standard error and exit status.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace testcli {

struct Result {
    std::string out;
    std::string err;
    int status = -1;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void spit(const std::filesystem::path& p, const std::string& s) {
    std::ofstream out(p, std::ios::binary);
    out << s;
}

// Quotes a word for /bin/sh.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// A fresh directory under the system temp dir, removed when the object dies.
class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        for (;;) {
            path_ = std::filesystem::temp_directory_path() /
                    ("kelmar-test-" + std::to_string(rd()) + std::to_string(rd()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Copies a file from the test data directory into the scratch dir.
    void add(const std::filesystem::path& src, const std::string& as = "") const {
        std::filesystem::copy_file(src, path_ / (as.empty() ? src.filename().string() : as),
                                   std::filesystem::copy_options::overwrite_existing);
    }

private:
    std::filesystem::path path_;
};

// Runs `exe args...` (args already shell-quoted or plain words) in `cwd`.
inline Result run(const std::string& exe, const std::string& args,
                  const std::filesystem::path& cwd) {
    auto out = cwd / ".stdout.txt";
    auto err = cwd / ".stderr.txt";
    std::string cmd = "cd " + quote(cwd.string()) + " && " + quote(exe) + " " + args + " >" +
                      quote(out.string()) + " 2>" + quote(err.string()) + " </dev/null";
    int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

}  // namespace testcli
