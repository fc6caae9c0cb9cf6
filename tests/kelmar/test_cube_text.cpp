// The value block of a cube file parsed by thread against reading its numbers one after another:
// the same values, the same fault at the same index, for any thread count, block size and split
// between the text already read and the rest of the file.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cube-text.hpp"

namespace {

constexpr double kMax = 1e100;

struct Outcome {
    CubeValueScan::Fault fault = CubeValueScan::none;
    long got = 0;
    double bad = 0.0;
    std::vector<double> values;
};

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One number after another: the reading that the parallel one must repeat.
Outcome plain(const std::string& text, long total) {
    Outcome o;
    o.values.assign(static_cast<std::size_t>(total), -7.0);
    const char* p = text.data();
    const char* end = p + text.size();
    for (; o.got < total; ++o.got) {
        while (p < end && blank(*p)) ++p;
        if (p == end) return o;
        double v = 0.0;
        if (!cube_scan_double(p, end, &v)) {
            o.fault = CubeValueScan::not_a_number;
            return o;
        }
        if (!std::isfinite(v)) {
            o.fault = CubeValueScan::not_finite;
            return o;
        }
        if (std::fabs(v) > kMax) {
            o.fault = CubeValueScan::too_large;
            o.bad = v;
            return o;
        }
        o.values[static_cast<std::size_t>(o.got)] = v;
    }
    while (p < end && blank(*p)) ++p;
    if (p != end) o.fault = CubeValueScan::too_many;
    return o;
}

// The parallel reading, with the first `head` characters handed over as already read.
Outcome parallel(const std::string& text, long total, int threads, std::size_t block, std::size_t head) {
    Outcome o;
    o.values.assign(static_cast<std::size_t>(total), -7.0);
    std::FILE* f = std::tmpfile();
    if (f == nullptr) return o;
    std::fwrite(text.data() + head, 1, text.size() - head, f);
    std::rewind(f);
    const CubeValueScan scan =
        cube_read_values(std::string_view(text.data(), head), f, o.values.data(), total, kMax, threads, block);
    std::fclose(f);
    o.fault = scan.fault;
    o.got = scan.got;
    o.bad = scan.bad;
    return o;
}

void expect_same_as_plain(const std::string& text, long total, const std::string& what) {
    const Outcome want = plain(text, total);
    for (int threads : {1, 2, 3})
        for (std::size_t block : {std::size_t{2}, std::size_t{17}, std::size_t{1} << 23})
            for (std::size_t head : {std::size_t{0}, text.size() / 3, text.size()}) {
                const Outcome got = parallel(text, total, threads, block, head);
                const std::string at = what + " threads " + std::to_string(threads) + " block " +
                                       std::to_string(block) + " head " + std::to_string(head);
                EXPECT_EQ(got.fault, want.fault) << at;
                EXPECT_EQ(got.got, want.got) << at;
                EXPECT_EQ(got.bad, want.bad) << at;
                // bit for bit, the values after a fault untouched alike
                EXPECT_EQ(0, std::memcmp(got.values.data(), want.values.data(), sizeof(double) * got.values.size()))
                    << at;
            }
}

}  // namespace

TEST(CubeText, ParallelReadingRepeatsTheReadingOneByOne) {
    const struct {
        const char* what;
        std::string text;
        long total;
    } cases[] = {
        {"one per line", " -1.250000\r\n 2.5\r\n 3e-2\r\n 4\r\n", 4},
        {"several per line, signs", "1 +2 -3\t4e0\n\n  5 6\v7\f8", 8},
        {"numbers run together", "1.5-2.5+3 4", 4},
        {"ends early", "1 2 3\n\n", 6},
        {"empty", "", 3},
        {"one too many", "1 2 3 4", 3},
        {"text after the last value", "1 2 3 x", 3},
        {"not a number", "1 2 abc 4", 4},
        {"a letter after a number", "1 2e 3", 3},
        {"nan", "1 nan 3", 3},
        {"overflow to inf", "1 2 1e999", 3},
        {"too large", "1 -2e200 3", 3},
        {"underflow", "1e-400 -1e-320 5", 3},
        {"fault after the last value", "1 2 nan", 2},
    };
    for (const auto& c : cases) expect_same_as_plain(c.text, c.total, c.what);
}

// Random texts of numbers, blanks and a few faults, cut into blocks of every size.
TEST(CubeText, RandomTextsAcrossBlocksAndThreads) {
    const char* pieces[] = {"0.125", "-3.5", "+7", "1e-3", "12.000000", "-0.000001", "1e-330", "2.5e+2"};
    const char* faults[] = {"x", "nan", "1e300", "-inf", "1.5.5"};
    const char* blanks[] = {" ", "\n", "\r\n", "  \t", " \n "};
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const int count = 20 + static_cast<int>(rng() % 200);
        const bool faulty = round % 3 == 0;
        const int fault_at = static_cast<int>(rng() % static_cast<unsigned>(count));
        for (int i = 0; i < count; ++i) {
            text += faulty && i == fault_at ? faults[rng() % 5] : pieces[rng() % 8];
            text += blanks[rng() % 5];
        }
        const long total = count - 5 + static_cast<long>(rng() % 10);
        expect_same_as_plain(text, total, "round " + std::to_string(round));
    }
}

// Plain decimals read by integer arithmetic against std::from_chars: the same double bit for bit
// and the same end, on the values a landscape file holds and on the forms at the edges.
TEST(CubeText, PlainDecimalsAreReadAsFromCharsReadsThem) {
    std::vector<std::string> texts = {"0",        "-0",          "-0.000000", "1.",          ".5",         "-.5",
                                      "000123.4", "1.5.5",       "2x",        "999999999999999", "0.1",  "-1.000001",
                                      "12.5e",    "123456.789012", "0.000000000000001", "9007199254740.993"};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> wide(-1000.0, 1000.0);
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        const double v = i % 2 == 0 ? wide(rng) : wide(rng) * 1e-6;
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rng() % 13), v);
        texts.push_back(buf);
        std::snprintf(buf, sizeof buf, "%12.6f", v);
        texts.push_back(buf + std::strspn(buf, " "));
    }
    long read = 0;
    for (const std::string& t : texts) {
        const char* p = t.data();
        double fast = 0.0;
        if (!cube_plain_decimal(p, t.data() + t.size(), &fast)) {
            EXPECT_EQ(p, t.data()) << t;
            continue;
        }
        ++read;
        double want = 0.0;
        const auto res = std::from_chars(t.data(), t.data() + t.size(), want);
        ASSERT_EQ(res.ec, std::errc()) << t;
        EXPECT_EQ(p, res.ptr) << t;
        EXPECT_EQ(0, std::memcmp(&fast, &want, sizeof fast)) << t << ": " << fast << " against " << want;
    }
    EXPECT_GT(read, 39000);
    // forms left to std::from_chars
    for (const char* t : {"1e5", "2E-3", "inf", "nan", "-", ".", "1234567890123456", "+1"}) {
        const char* p = t;
        double v = 0.0;
        EXPECT_FALSE(cube_plain_decimal(p, t + std::strlen(t), &v)) << t;
    }
}
