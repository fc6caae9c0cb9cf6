// Error lines of NARO_error.txt copied to the console (see error-console.hpp).
#include "error-console.hpp"

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

void naro_replay_errors(const char* file, int fd) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Error:", 0) != 0) continue;
        line += '\n';
        const char* p = line.data();
        size_t left = line.size();
        while (left > 0) {
            const ssize_t n = write(fd, p, left);
            if (n <= 0) return;
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
}
