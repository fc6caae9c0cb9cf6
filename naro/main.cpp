// Entry point of NARO.x.
#include <cstdio>
#include <new>

#include "flags.hpp"
#include "driver.hpp"

int main(int argc, char** argv) {
    try {
        // The console is UTF-8 already on this platform; nothing to switch.
        NARO_input input;
        NARO_init_input(input);
        NARO_process_command(input, argc, argv);
        return NARO(input) == 0 ? 0 : 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Error: Memory allocation problem\n");
        return 1;
    }
}
