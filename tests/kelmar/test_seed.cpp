// KELMAR_SEED: a fixed seed repeats the random occupancy draw; a bad one is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli.hpp"
#include "cmd-seed.hpp"

namespace fs = std::filesystem;

TEST(Seed, TextIsAWholeNumberThatFitsOrNothing) {
    struct Case {
        const char* text;
        bool ok;
        unsigned value;
    };
    const Case cases[] = {
        {"0", true, 0u},     {"42", true, 42u},   {"4294967295", true, 4294967295u},
        {"007", true, 7u},   {"4294967296", false, 0u},
        {"99999999999999999999999", false, 0u},   {"", false, 0u},
        {"-1", false, 0u},   {"+1", false, 0u},   {" 1", false, 0u},
        {"1 ", false, 0u},   {"1.0", false, 0u},  {"1e3", false, 0u},
        {"abc", false, 0u},  {"0x10", false, 0u},
    };
    for (const Case& c : cases) {
        unsigned seed = 12345u;
        EXPECT_EQ(seed_from_text(c.text, &seed), c.ok) << "'" << c.text << "'";
        EXPECT_EQ(seed, c.ok ? c.value : 12345u) << "'" << c.text << "'";  // untouched on refusal
    }
    unsigned seed = 1u;
    EXPECT_FALSE(seed_from_text(nullptr, &seed));
}

namespace {

// Assigns the mixed Li/Mg sites of a spinel at random.
testcli::Result assign(const testcli::ScratchDir& dir, const std::string& env, const std::string& out) {
    return testcli::run("env", env + " " + testcli::quote(KELMAR_EXE) + " --gen-cif-assign jkq.cif Li 1 " + out,
                        dir.path());
}

}  // namespace

TEST(Seed, SameSeedSameDrawAndBadSeedRefused) {
    testcli::ScratchDir dir;
    dir.add(fs::path(TEST_DATA_DIR) / "electrolytes" / "jkq.cif");
    ASSERT_EQ(assign(dir, "KELMAR_SEED=7", "a.cif").status, 0);
    ASSERT_EQ(assign(dir, "KELMAR_SEED=7", "b.cif").status, 0);
    const std::string a = testcli::slurp(dir / "a.cif");
    ASSERT_NE(a.find("_atom_site_occupancy"), std::string::npos);
    EXPECT_EQ(a, testcli::slurp(dir / "b.cif"));
    // some other seed gives another draw of the Li/Mg sites
    bool differs = false;
    for (int s = 1; s <= 20 && !differs; s++) {
        ASSERT_EQ(assign(dir, "KELMAR_SEED=" + std::to_string(s), "c.cif").status, 0);
        differs = testcli::slurp(dir / "c.cif") != a;
    }
    EXPECT_TRUE(differs);

    for (const char* bad : {"-3", "seven", "4294967296", "''"}) {
        auto r = assign(dir, std::string("KELMAR_SEED=") + bad, "d.cif");
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.err, "Error: KELMAR_SEED must be a whole number from 0 to 4294967295.\n") << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_FALSE(fs::exists(dir / "d.cif")) << bad;
    }
}
