#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "cmd.hpp"
#include "cmd-guard.hpp"

int main(int argc, char** argv) {
    try {
        return kelmar_cmd_start(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("Error: out of memory.\n", stderr);
        kelmar_cmd_guard_discard_results();
        return 1;
    } catch (const std::length_error&) {
        // a container asked for more elements than can ever be allocated
        std::fputs("Error: out of memory.\n", stderr);
        kelmar_cmd_guard_discard_results();
        return 1;
    } catch (const std::exception& e) {
        // anything else ends the run with one line instead of an abort
        std::fprintf(stderr, "Error: %s.\n", e.what());
        kelmar_cmd_guard_discard_results();
        return 1;
    }
}
