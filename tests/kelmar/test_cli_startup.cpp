// kelmar.x start-up, version, help, --print-sys and dispatch, run as a user would.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kVersion = "  Kelmar-ver 1.3.0-cmd\n    --help to list commands available.\n";

std::string data_dir() { return fs::canonical(KELMAR_DATA_DIR).string() + "/"; }

}  // namespace

TEST(Startup, VersionForNoArgumentAndFlags) {
    testcli::ScratchDir dir;
    for (const char* args : {"", "-v", "--version"}) {
        auto r = testcli::run(KELMAR_EXE, args, dir.path());
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.out, kVersion) << args;
        EXPECT_EQ(r.err, "");
    }
}

TEST(Startup, HelpText) {
    testcli::ScratchDir dir;
    auto r = testcli::run(KELMAR_EXE, "-h", dir.path());
    EXPECT_EQ(r.status, 0);
    auto h = testcli::run(KELMAR_EXE, "--help", dir.path());
    EXPECT_EQ(h.out, r.out);
    EXPECT_EQ(r.out.rfind("Message: avalable commands are listed.\n"
                          "Message: detailed help with each command can be found by typing each command without "
                          "argument,\n"
                          "Message: basic format is: --command-name [compulsory arguments] | {optional arguments}\n"
                          "\n"
                          "Message:   --help              : display this help.\n",
                          0),
              0u);
    EXPECT_NE(r.out.find("\nMessage:   --gen-cif-assign-all: write the loaded cell to file in cif format with all "
                         "partially occupied sites assigned occupancy = 1.0 randomly.\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Message:   --cal-charge        : calculate the total charge of the loaded cell.\n\n"
                         "Message:   --rx-sd             : "),
              std::string::npos);
    EXPECT_EQ(r.out.find("--print-sys"), std::string::npos);
    EXPECT_EQ(r.out.find("--text-cal-bv"), std::string::npos);
    // four groups, each introduced by an empty line
    size_t blank = 0;
    for (size_t p = r.out.find("\n\n"); p != std::string::npos; p = r.out.find("\n\n", p + 1)) blank++;
    EXPECT_EQ(blank, 4u);
}

TEST(Startup, PrintSysFindsDataBesideTheExecutable) {
    testcli::ScratchDir dir;
    auto r = testcli::run(KELMAR_EXE, "--print-sys", dir.path());
    EXPECT_EQ(r.status, 0);
    const std::string exe_dir = fs::path(KELMAR_EXE).parent_path().string() + "/";
    EXPECT_EQ(r.out, "CMD_OPT: dir_unitary=     " + exe_dir + "database_unitary.dat\n"
                     "CMD_OPT: dir_binary=      " + exe_dir + "database_binary.dat\n"
                     "CMD_OPT: dir_symcards=    " + exe_dir + "database_symcards.dat\n"
                     "CMD_OPT: path_executable= " + exe_dir + "\n"
                     "CMD_OPT: mode_text=   \"-:text\"\n"
                     "CMD_OPT: mode_newline=\"-:nl\"\n");
}

TEST(Startup, CalledThroughPathFindsItsOwnDirectory) {
    testcli::ScratchDir dir;
    const std::string path = fs::path(KELMAR_EXE).parent_path().string();
    auto r = testcli::run("env", "PATH=" + testcli::quote(path + ":/usr/bin:/bin") + " kelmar.x --print-sys",
                          dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("CMD_OPT: dir_unitary=     " + data_dir() + "database_unitary.dat\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
}

TEST(Startup, MissingDataFilesOnlyWarn) {
    testcli::ScratchDir dir;
    fs::copy_file(KELMAR_EXE, dir / "kelmar.x");
    auto r = testcli::run("./kelmar.x", "-v", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Warning: unable to find ./database_unitary.dat\n"
                     "Warning: unable to find ./database_binary.dat\n"
                     "Warning: unable to find ./database_symcards.dat\n" + kVersion);
}

TEST(Startup, UnknownAndInexactWordsAreRejected) {
    testcli::ScratchDir dir;
    for (const char* word : {"--foo", "--PRINT-SYS", "--print-sys-x", "print-sys"}) {
        auto r = testcli::run(KELMAR_EXE, word, dir.path());
        EXPECT_EQ(r.status, 1) << word;
        EXPECT_EQ(r.out, "Error: arguments not recognized. '-h' for help.\n") << word;
    }
}

TEST(Startup, OverlongExecutablePathFails) {
    testcli::ScratchDir dir;
    // exec -a sets argv[0] to 1000 characters
    const std::string arg0(1000, 'k');
    auto r = testcli::run("bash", "-c " + testcli::quote("exec -a " + arg0 + " " + KELMAR_EXE + " -v"), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: executable path too long.\nError: kelmar_cmd_opt_init() returns NULL.\n");
    EXPECT_EQ(r.out, "");
}

TEST(Startup, OversizedOxidationStateIsAWrongParameter) {
    testcli::ScratchDir dir;
    dir.add(fs::path(TEST_DATA_DIR) / "samples" / "Li2O.cif");
    // 2^32 + 1 used to scan as the state 1
    auto r = testcli::run(KELMAR_EXE, "--gen-cif-assign Li2O.cif Li 4294967297", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: wrong parameter os.\n");
    EXPECT_FALSE(fs::exists(dir / "Li2O.cif.assign.cif"));
}
