// NARO.x refuses damaged CIFs at once, with a message that names what is wrong and exit status 1;
// the undamaged file still reads.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli.hpp"
#include "strict_cases.hpp"

TEST(StrictInput, NaroRefusesEachClass) {
    testcli::ScratchDir dir;
    testcli::spit(dir / "x.cif", strictcases::kBase);
    auto r = testcli::run(NARO_EXE, "--cif x.cif --calc-charge", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& c : strictcases::cases()) {
        testcli::ScratchDir d;
        const std::string text = strictcases::damaged(c);
        ASSERT_FALSE(text.empty()) << c.what;
        testcli::spit(d / "x.cif", text);
        const auto q = testcli::run(NARO_EXE, "--cif x.cif --calc-charge", d.path());
        EXPECT_EQ(q.status, 1) << c.what;
        const std::string said = q.out + q.err + testcli::slurp(d / "NARO_error.txt");
        EXPECT_NE(said.find(c.naro), std::string::npos) << c.what << "\n" << said;
        EXPECT_EQ(q.out.find("Total charge"), std::string::npos) << c.what;
    }
}
