// KELMAR_THREADS sets the thread count of the grid computations (a batch job gives the cores its
// scheduler allotted); unset or unusable, the affinity mask decides as before, and an unusable value
// is reported in one warning line.
#include <gtest/gtest.h>

#include <sched.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "workshare.hpp"

namespace {

// Sets or clears KELMAR_THREADS for one scope and restores what was there.
class ThreadsVariable {
public:
    explicit ThreadsVariable(const char* value) {
        if (const char* old = std::getenv("KELMAR_THREADS")) saved_ = old, had_ = true;
        if (value) setenv("KELMAR_THREADS", value, 1);
        else unsetenv("KELMAR_THREADS");
    }
    ~ThreadsVariable() {
        if (had_) setenv("KELMAR_THREADS", saved_.c_str(), 1);
        else unsetenv("KELMAR_THREADS");
    }

private:
    std::string saved_;
    bool had_ = false;
};

int affinity_count() {
    cpu_set_t mine;
    return sched_getaffinity(0, sizeof(mine), &mine) == 0 ? CPU_COUNT(&mine) : -1;
}

}  // namespace

TEST(PlaneThreads, EnvironmentSetsTheCountAndBadValuesFallBackToTheAffinityMask) {
    const int mask = affinity_count();
    ASSERT_GT(mask, 0);
    const struct {
        const char* value;
        int threads;  // 0: the affinity count
    } cases[] = {
        {nullptr, 0}, {"1", 1}, {"3", 3},     {"17", 17},   {"4096", 4096}, {"0", 0},
        {"-2", 0},    {"", 0},  {"2x", 0},    {" 2", 0},    {"+2", 0},      {"4097", 0},
        {"99999999999999999999", 0},          {"1.5", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? std::string("KELMAR_THREADS=\"") + c.value + "\"" : std::string("unset"));
        ThreadsVariable set(c.value);
        EXPECT_EQ(workshare_threads_requested(), c.value == nullptr ? 0 : (c.threads > 0 ? c.threads : -1));
        EXPECT_EQ(workshare_threads_usable(), c.threads > 0 ? c.threads : mask);
        EXPECT_EQ(workshare_threads_resolve(0), c.threads > 0 ? c.threads : mask);
        EXPECT_EQ(workshare_threads_resolve(2), 2);  // a count the caller gives still wins
    }
}

TEST(PlaneThreads, PlanesRunOnAtMostTheThreadsTheEnvironmentAllows) {
    for (const char* value : {"1", "2"}) {
        ThreadsVariable set(value);
        std::mutex lock;
        std::set<std::thread::id> seen;
        long sum = 0;
        workshare_parts(64, 0, [&](long i) {
            std::lock_guard<std::mutex> hold(lock);
            seen.insert(std::this_thread::get_id());
            sum += i;
        });
        EXPECT_EQ(sum, 64 * 63 / 2);
        EXPECT_LE(static_cast<int>(seen.size()), std::atoi(value)) << value;
        if (std::string(value) == "1") {
            EXPECT_EQ(*seen.begin(), std::this_thread::get_id());
        }
    }
}
