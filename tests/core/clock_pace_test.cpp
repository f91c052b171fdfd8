// The demo clock against real time: how many ticks each wake-up of the
// timer owes, driven by a made-up millisecond clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/core.h"

namespace {

TEST(ClockPace, EachWakeUpOwesTheWholePeriodsSinceTheLastOneCounted)
{
    Clock_ResetPace(5000);
    EXPECT_EQ(Clock_PeriodsDue(5010), 1u) << "on time";
    EXPECT_EQ(Clock_PeriodsDue(5010), 0u) << "a repeated wake-up adds nothing";
    EXPECT_EQ(Clock_PeriodsDue(5019), 0u) << "early: the period is not over";
    EXPECT_EQ(Clock_PeriodsDue(5020), 1u);
    EXPECT_EQ(Clock_PeriodsDue(5057), 3u) << "late: the missed periods are caught up";
    // The 7 ms left over from the late wake-up are owed to the next one.
    EXPECT_EQ(Clock_PeriodsDue(5060), 1u);
    EXPECT_EQ(Clock_PeriodsDue(5069), 0u);
}

TEST(ClockPace, AGapOfMoreThanASecondIsNotReplayed)
{
    Clock_ResetPace(0);
    EXPECT_EQ(Clock_PeriodsDue(1000), 100u) << "a second late is still caught up";
    EXPECT_EQ(Clock_PeriodsDue(2001), 1u) << "more than a second: one period, resume from now";
    EXPECT_EQ(Clock_PeriodsDue(2010), 0u) << "counting restarts at the late wake-up";
    EXPECT_EQ(Clock_PeriodsDue(2011), 1u);
    EXPECT_EQ(Clock_PeriodsDue(9000), 1u);
    EXPECT_EQ(Clock_PeriodsDue(9020), 2u);
}

TEST(ClockPace, SurvivesTheMillisecondCounterWrapping)
{
    Clock_ResetPace(UINT32_MAX - 4);
    EXPECT_EQ(Clock_PeriodsDue(5), 1u);
    EXPECT_EQ(Clock_PeriodsDue(25), 2u);
}

// A timer that is re-armed from the moment its callback runs drifts by its
// lateness on every wake-up; with the catch-up the ticks still match real
// time to within one period, however the lateness falls.
TEST(ClockPace, ALateTimerKeepsRealTimeOverAMinute)
{
    std::mt19937 gen(7);
    std::uniform_int_distribution<uint32_t> late(0, 6);
    const uint32_t start = 123456;
    Clock_ResetPace(start);
    uint32_t now = start, ticks = 0, wake_ups = 0;
    while (now - start < 60000) {
        now += CLOCK_PERIOD_MS + late(gen);
        ticks += Clock_PeriodsDue(now);
        wake_ups++;
    }
    uint32_t owed = (now - start) / CLOCK_PERIOD_MS;
    EXPECT_EQ(ticks, owed);
    EXPECT_LT(wake_ups, owed - 1000) << "one tick per wake-up would have fallen far behind";
}

} // namespace
