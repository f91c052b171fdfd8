// The demo clock against real time: how many ticks each wake-up of the
// timer owes, driven by a made-up millisecond clock.
#include <gtest/gtest.h>

#include <csignal>
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

// Under load the timer thread may sleep through seconds while the sound
// thread plays on: the pictures catch up, one wake-up after the gap is seen.
TEST(ClockPace, AStalledTimerCatchesUpWithTheMusic)
{
    Clock_ResetPace(0);
    EXPECT_EQ(Clock_PeriodsDue(1000), 0u) << "a long gap is held for one wake-up";
    EXPECT_EQ(Clock_PeriodsDue(1010), 101u) << "then paid in full";
    EXPECT_EQ(Clock_PeriodsDue(1110), 10u) << "a gap of CLOCK_HOLD_MS is paid at once";
    EXPECT_EQ(Clock_PeriodsDue(2520), 0u);
    EXPECT_EQ(Clock_PeriodsDue(2521), 141u) << "1.4 s of a stalled timer";
    EXPECT_EQ(Clock_PeriodsDue(12519), 0u);
    EXPECT_EQ(Clock_PeriodsDue(12520), 1000u) << "ten seconds are still a stall";
    EXPECT_EQ(Clock_PeriodsDue(22522), 0u);
    EXPECT_EQ(Clock_PeriodsDue(22530), 1u) << "more: a stop nobody reported, resume from now";
    EXPECT_EQ(Clock_PeriodsDue(22540), 1u);
}

// A stopped process stops its music too: the pictures wait with it, whether
// the continue signal comes before the timer wakes or just after.
TEST(ClockPace, AStoppedProcessResumesWhereItStood)
{
    Clock_ResetPace(0);
    EXPECT_EQ(Clock_PeriodsDue(10), 1u);
    Clock_NoteContinued();
    EXPECT_EQ(Clock_PeriodsDue(1510), 1u) << "one period, resume from now";
    EXPECT_EQ(Clock_PeriodsDue(1520), 1u);
    EXPECT_EQ(Clock_PeriodsDue(3000), 0u) << "held";
    Clock_NoteContinued();
    EXPECT_EQ(Clock_PeriodsDue(3010), 1u) << "the signal came while the gap was held";
    EXPECT_EQ(Clock_PeriodsDue(3020), 1u);
    Clock_NoteContinued();
    Clock_ResetPace(5000);
    EXPECT_EQ(Clock_PeriodsDue(5010), 1u) << "a signal before the clock started counts for nothing";

    // The real signal reaches the pacer.
    Clock_WatchStops();
    Clock_ResetPace(7000);
    ASSERT_EQ(raise(SIGCONT), 0);
    EXPECT_EQ(Clock_PeriodsDue(9000), 1u);
    EXPECT_EQ(Clock_PeriodsDue(9010), 1u);
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
