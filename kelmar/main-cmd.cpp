#include <cstdio>
#include <new>

#include "cmd.hpp"

int main(int argc, char** argv) {
    try {
        return kelmar_cmd_start(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("Error: out of memory.\n", stderr);
        return 1;
    }
}
