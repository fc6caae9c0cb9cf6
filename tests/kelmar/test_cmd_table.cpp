// The command table: dispatch and --help read the same rows.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "cmd-handlers.hpp"
#include "cmd-table.hpp"

TEST(CommandTable, WordsFindTheirHandlersExactly) {
    const struct {
        const char* word;
        KELMAR_CMD_HANDLER handler;
    } rows[] = {
        {"--help", kelmar_cmd_opt_do_print_help},
        {"--print-sys", kelmar_cmd_opt_print},
        {"--gen-cif-assign", kelmar_cmd_opt_do_gen_cif_assign},
        {"--gen-cif-assign-all", kelmar_cmd_opt_do_gen_cif_assign_all},
        {"--cal-tot-en", kelmar_cmd_opt_do_cal_tot_en},
        {"--rx-sd", kelmar_cmd_opt_do_rx_sd},
        {"--text-cal-bv", kelmar_cmd_opt_do_text_cal_bv},
        {"--gen-cube-tot-eam", kelmar_cmd_opt_do_gen_cube_tot_eam},
        // not commands: the paragraph rows of --help, near misses, other programs' words
        {"", nullptr},
        {"--gen-cube-", nullptr},
        {"--Help", nullptr},
        {"-h", nullptr},
        {"--cif", nullptr},
    };
    for (const auto& r : rows) EXPECT_EQ(kelmar_cmd_opt_find_handler(r.word), r.handler) << r.word;
    EXPECT_EQ(kelmar_cmd_opt_find_handler(nullptr), nullptr);
}

// Every listed word appears once; a word listed twice would shadow the later row.
TEST(CommandTable, HelpListsEachWordOnceAndHidesTheUnlistedOnes) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelmar_cmd_opt_do_print_help(nullptr), 0);
    const std::string text = testing::internal::GetCapturedStdout();
    std::istringstream in(text);
    std::string line;
    std::set<std::string> words;
    int listed = 0;
    while (std::getline(in, line)) {
        if (line.rfind("Message:   --", 0) != 0) continue;
        const std::string word = line.substr(11, line.find_first_of(" :", 11) - 11);
        EXPECT_TRUE(words.insert(word).second) << word;
        listed++;
    }
    EXPECT_EQ(listed, 37);
    for (const char* w : {"--help", "--print-cell", "--gen-cube", "--cal-bv", "--rx-sd", "--kmc"})
        EXPECT_EQ(words.count(w), 1u) << w;
    for (const char* w : {"--print-sys", "--print-ppt-full", "--cal-bv-gui", "--cal-bv-type", "--text-cal-bv"})
        EXPECT_EQ(words.count(w), 0u) << w;
}
