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

// The whole help text, byte for byte.
const char* const kHelp =
    "Message: avalable commands are listed.\n"
    "Message: detailed help with each command can be found by typing each command without argument,\n"
    "Message: basic format is: --command-name [compulsory arguments] | {optional arguments}\n"
    "\n"
    "Message:   --help              : display this help.\n"
    "Message:   --print-cell        : print the loaded cell.\n"
    "Message:   --print-ppt         : print the property corresponding to the loaded cell.\n"
    "Message:   --print-sym         : print the symmetry corresponding to the loaded cell.\n"
    "Message:   --print-cube        : print a summary of the loaded cube.\n"
    "\n"
    "Message:   --gen-cif           : write the loaded cell to file in cif format.\n"
    "Message:   --gen-cif-reduced   : write the loaded cell reduced by symmetry to file in cif format.\n"
    "Message:   --gen-cif-p1        : write the loaded cell to file in cif format without symmetry.\n"
    "Message:   --gen-cif-assign    : write the loaded cell to file in cif format with partially occupied sites of conducting species assigned occupancy = 1.0 randomly.\n"
    "Message:   --gen-cif-assign-all: write the loaded cell to file in cif format with all partially occupied sites assigned occupancy = 1.0 randomly.\n"
    "Message:   --gen-gin-lib       : generate a Morse type forcefield file in .lib format for calculation with software GULP.\n"
    "Message:   --gen-gin-eam       : generate a Embedde-atom Method forcefield file in .lib format for calculation with software GULP.\n"
    "Message:   --gen-gin           : generate an overall input file in .gin format for performing molecular dynamics calculaiton with software GULP.\n"
    "Message:   --gen-cube          : calculate the static energy landscape for ionic conduction and write the result to file in Gaussian cube format.\n"
    "Message:   --gen-cube-gii      : calculate the static GII(global instability index) landscape for ionic conduction and write the result to file in Gaussian cube format.\n"
    "Message:   --gen-cube-tot      : calculate the total energy landscape for ionic conducting and write the result to file in Gaussian cube format.\n"
    "Message:   --gen-cube-tot-eam  : calculate the total energy landscape for ionic conducting with EAM term and write the result to file in Gaussian cube format.\n"
    "\n"
    "Message:   --cal-bv            : calculate bond valences of the loaded cell.\n"
    "Message:   --cal-gii           : calculate the global instability index of the loaded cell.\n"
    "Message:   --cal-cn            : calculate the coordination number of the specified atom by radius distribution function, suggest to use --cal-cn-bv for better accuracy.\n"
    "Message:   --cal-cn-bv         : calculate the coordination number of the specified atom by bond valence theory.\n"
    "Message:   --cal-cn-atom       : calculate coordination shell of the specified atom.\n"
    "Message:   --cal-cn-type       : calculates averaged coordination number of the specified pair of ions.\n"
    "Message:   --cal-cn-gui        : calculates and print out the coordination number of all sites by bond valence theory.\n"
    "Message:   --cal-sym           : calculate symmetry of the loaded cell.\n"
    "Message:   --cal-tot-en        : calculate the total energy of the loaded cell.\n"
    "Message:   --cal-charge        : calculate the total charge of the loaded cell.\n"
    "\n"
    "Message:   --rx-sd             : perform a relaxation of loaded cell with steepest descend algorithm and write the result to file in cif format.\n"
    "Message:   --rx-neb            : perform a simple nudged elastic bend calculation with input of two end images.\n"
    "Message:   --rx-neb-images     : perform a simple nudged elastic bend calculation with input of a series of images.\n"
    "Message:   --fft               : perform a fourier transform analysis to determine critical points and eigenvalues/vectors at these points.\n"
    "Message:   --fft-cubes         : perform a fourier transform analysis and generate cubes corresponding to force, force constant, laplacian and slope.\n"
    "Message:   --fp-map            : generates a cif file representing conduction path in the given cube file.\n"
    "Message:   --gh                : generates cif files and csv file representing the characteristic conduction pathway in the given cube file.\n"
    "Message:   --sites             : output a summary of sites based on graph analysis.\n"
    "Message:   --md                : perform a molecular dynamics allowing only conducting ions to move.\n"
    "Message:   --kmc               : conducts a kinetic monte carlo simulation to estimate the ionic conductivity given the cif and cube files.\n";

TEST(Startup, HelpTextWhole) {
    testcli::ScratchDir dir;
    auto r = testcli::run(KELMAR_EXE, "--help", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kHelp);
}

TEST(Startup, LongerWordIsMatchedAsItself) {
    testcli::ScratchDir dir;
    auto all = testcli::run(KELMAR_EXE, "--gen-cif-assign-all", dir.path());
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out.rfind("Command: --gen-cif-assign-all [input.cif] | {output_name}\n\n", 0), 0u) << all.out;
    auto one = testcli::run(KELMAR_EXE, "--gen-cif-assign", dir.path());
    EXPECT_EQ(one.out.rfind("Command: --gen-cif-assign [input.cif] [type] [os] | {output_name}\n\n", 0), 0u)
        << one.out;
}

TEST(Startup, ExecutablePathJustShortEnoughRuns) {
    testcli::ScratchDir dir;
    const std::string arg0(999, 'k');
    auto r = testcli::run("bash", "-c " + testcli::quote("exec -a " + arg0 + " " + KELMAR_EXE + " -v"), dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kVersion);
    EXPECT_EQ(r.err, "");
}
