// The loader thread's schedule as the main thread sees it: marks in order on
// their pauses, the archive closed and the clock started only at the end.
#include <gtest/gtest.h>
#include <SDL.h>

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "archive/zar.h"
#include "core/core.h"

namespace {

using Clock = std::chrono::steady_clock;

// Whether this process holds a file descriptor on path.
bool HoldsOpen(const std::string &path)
{
    bool found = false;
    DIR *d = opendir("/proc/self/fd");
    while (dirent *e = readdir(d)) {
        char target[4096];
        std::string link = std::string("/proc/self/fd/") + e->d_name;
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, n) == path)
            found = true;
    }
    closedir(d);
    return found;
}

int Threads()
{
    int n = 0;
    DIR *d = opendir("/proc/self/task");
    while (dirent *e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

TEST(Loader, DebugModeStartsTheClockAndMakesNoThread)
{
    player_debug = 1;
    clock_step.store(0.0f);
    int before = Threads();
    Loader_Start();
    EXPECT_EQ(clock_step.load(), 0.01f);
    EXPECT_EQ(Threads(), before);
    player_debug = 0;
}

TEST(Loader, DoesNothingWhenTheClockAlreadyRuns)
{
    clock_step.store(0.01f);
    auto start = Clock::now();
    EXPECT_EQ(Loader_Run(nullptr), 0);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.5);
    for (auto &f : load_flags)
        EXPECT_EQ(f.load(), 0);
}

TEST(Loader, RaisesTheMarksInOrderAndStartsTheClockLast)
{
    // The shipped archive: every scene init reads its own entries from it.
    const std::string archive = BT_ARCHIVE;
    ZAR_Open(archive.c_str());
    ASSERT_TRUE(HoldsOpen(archive));
    player_debug = 0;
    clock_step.store(0.0f);
    for (auto &f : load_flags)
        f.store(0);

    auto start = Clock::now();
    Loader_Start();
    double raised[LOAD_FLAGS] = {};
    int next = 0;
    bool closed_before_clock = false;
    while (clock_step.load(std::memory_order_acquire) == 0.0f) {
        double now = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_LT(now, 30.0) << "the loader never started the clock";
        for (int k = 0; k < LOAD_FLAGS; k++) {
            if (load_flags[k].load() && k >= next) {
                EXPECT_EQ(k, next) << "mark " << k << " came before mark " << next;
                raised[k] = now;
                next = k + 1;
            }
        }
        closed_before_clock = !HoldsOpen(archive);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double clock_started = std::chrono::duration<double>(Clock::now() - start).count();

    EXPECT_EQ(next, LOAD_FLAGS);
    EXPECT_TRUE(closed_before_clock) << "the archive must be closed before the clock runs";
    EXPECT_GE(clock_started, 8.8);
    // The pauses that come before each mark, cumulated: 2.0, 3.0, 3.5, 4.2, 5.2, 6.2, 6.8, 7.8 s.
    const double due[LOAD_FLAGS] = {2.0, 3.0, 3.5, 4.2, 5.2, 6.2, 6.8, 7.8};
    for (int k = 0; k < LOAD_FLAGS; k++) {
        EXPECT_GE(raised[k], due[k] - 0.01) << "mark " << k;
        EXPECT_LT(raised[k], due[k] + 1.0) << "mark " << k;
    }
    for (auto &f : load_flags)
        f.store(0);
}

TEST(Loader, ScheduleAddsUpToTheLoadingPhase)
{
    int total = 0, flags = 0, inits = 0;
    for (int i = 0; i < loader_step_count; i++) {
        const loader_step_t &s = loader_steps[i];
        if (s.kind == LOADER_PAUSE)
            total += s.value;
        if (s.kind == LOADER_FLAG) {
            EXPECT_EQ(s.value, flags++);
        }
        inits += s.kind == LOADER_INIT;
    }
    EXPECT_EQ(total, 8800);
    EXPECT_EQ(flags, LOAD_FLAGS);
    EXPECT_EQ(inits, 8);
    EXPECT_EQ(loader_steps[loader_step_count - 1].kind, LOADER_START_CLOCK);
}

}  // namespace
