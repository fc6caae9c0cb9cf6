// kelmar.x refuses damaged CIFs at once, with one message that names what is wrong, exit status 1
// and no result file; the undamaged file and numbers with standard uncertainties still read.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli.hpp"
#include "strict_cases.hpp"

namespace fs = std::filesystem;

namespace {

std::size_t files_in(const fs::path& d) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(d))
        if (e.path().filename().string()[0] != '.') n++;
    return n;
}

}  // namespace

TEST(StrictInput, KelmarRefusesEachClass) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "x.cif", strictcases::kBase);
    auto r = testcli::run(KELMAR_EXE, "--cal-bv x.cif", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    std::string uncertain = strictcases::kBase;
    uncertain.replace(uncertain.find("Cl1 0.5 0.5 0.5"), 15, "Cl1 0.5000(3) 0.5 1/2");
    testcli::spit(dir / "x.cif", uncertain);
    r = testcli::run(KELMAR_EXE, "--cal-bv x.cif", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;

    for (const auto& c : strictcases::cases()) {
        testcli::ScratchDir d;
        const std::string text = strictcases::damaged(c);
        ASSERT_FALSE(text.empty()) << c.what;
        testcli::spit(d / "x.cif", text);
        const auto before = files_in(d.path());
        for (const char* cmd : {"--cal-bv x.cif", "--gen-cube x.cif Cs 1 -1 0.5"}) {
            const auto q = testcli::run(KELMAR_EXE, cmd, d.path());
            EXPECT_EQ(q.status, 1) << c.what << ": " << cmd << "\n" << q.out << q.err;
            EXPECT_NE(q.err.find(c.kelmar), std::string::npos) << c.what << "\n" << q.err;
            EXPECT_EQ(files_in(d.path()), before) << c.what << ": " << cmd;
        }
    }
}
