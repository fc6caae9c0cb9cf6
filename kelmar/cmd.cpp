// Start-up and dispatch of kelmar.x: builds the option record, answers --version and --help, runs
// the handler the command table names for the first argument, and turns what happened into the
// exit status (cmd-guard.hpp).
#include "cmd.hpp"
#include "cmd-guard.hpp"
#include "cmd-seed.hpp"
#include "cmd-table.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int kelmar_cmd_opt_do_print_version(KELMAR_CMD_OPT*) {
    std::printf("  Kelmar-ver 1.3.0-cmd\n");
    std::printf("    --help to list commands available.\n");
    return 0;
}

int kelmar_cmd_start(int argc, char** argv) {
    auto opt = kelmar_cmd_opt_init(argc, argv);
    if (!opt) {
        std::fprintf(stderr, "Error: kelmar_cmd_opt_init() returns NULL.\n");
        return 1;
    }
    // One engine for every random decision of the run: seeded from the clock, or from
    // KELMAR_SEED so that a random draw can be repeated; the handlers pass it to whatever draws.
    if (seed_random_engine(&opt->random) != 0) return 1;
    if (argc <= 1 || std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)
        return kelmar_cmd_opt_do_print_version(opt.get());
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return kelmar_cmd_opt_do_print_help(opt.get());
    KELMAR_CMD_HANDLER handler = kelmar_cmd_opt_find_handler(argv[1]);
    if (handler == nullptr) {
        std::printf("Error: arguments not recognized. '-h' for help.\n");
        return 1;
    }
    // some but not all compulsory arguments: the usage (what the bare command prints), and a failure
    const int need = kelmar_cmd_opt_required_words(argv[1]);
    if (argc > 2 && argc < need) {
        opt->argc = 2;
        handler(opt.get());
        std::fflush(stdout);
        std::fprintf(stderr, "Error: %s needs %d argument(s); %d given.\n", argv[1], need - 2, argc - 2);
        return 1;
    }
    // a handler that printed "Error:" has failed whatever it returned, and a failed run leaves
    // none of its result files behind
    kelmar_cmd_guard_watch_errors();
    const int status = handler(opt.get());
    std::fflush(stdout);
    if (status == 0 && !kelmar_cmd_guard_error_seen()) return 0;
    kelmar_cmd_guard_discard_results();
    return 1;
}
