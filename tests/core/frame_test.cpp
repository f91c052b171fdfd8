// The frame routine that every platform's loop calls: with inline pacing
// (the browser) it pays the clock and the loader from the times it is
// given; the end is decided before a frame is cleared and held as a state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"

namespace {

std::string events;
void SceneRender() { events += 'r'; }
void InitA() { events += 'A'; }
void InitB() { events += 'B'; }

// A table of one entry lasting `seconds` of demo time.
struct OneEntry {
    tl_entry_t t[2] = {};
    tl_header_t h{};
    explicit OneEntry(float seconds)
    {
        t[0].a_end = seconds;
        t[0].a_vel0 = t[0].a_vel1 = 1;
        t[0].render = SceneRender;
        h = tl_header_t{0.0f, 100.0f, 0u, t};
    }
};

const loader_step_t kSteps[] = {
    {LOADER_PAUSE, 100, nullptr}, {LOADER_INIT, 0, InitA}, {LOADER_FLAG, 0, nullptr},
    {LOADER_PAUSE, 250, nullptr}, {LOADER_INIT, 0, InitB}, {LOADER_FLAG, 1, nullptr},
    {LOADER_PAUSE, 50, nullptr},  {LOADER_START_CLOCK, 0, nullptr},
};
const int kStepCount = (int)(sizeof kSteps / sizeof kSteps[0]);

class Frame : public testing::Test {
protected:
    void SetUp() override
    {
        events.clear();
        for (auto &f : load_flags)
            f.store(0);
    }
    void TearDown() override
    {
        for (auto &f : load_flags)
            f.store(0);
        clock_step.store(0.01f);
    }
};

TEST_F(Frame, InlineLoaderRunsItsStepsWhenTheirPausesHavePassed)
{
    OneEntry e(100);
    clock_step.store(0.0f);                     // as Boot_Init leaves it for a normal start
    const uint32_t t0 = 5000;
    Frame_StartInline(&e.h, 0, kSteps, kStepCount, t0);
    EXPECT_EQ(events, "");

    EXPECT_EQ(Frame_Run(t0 + 99), FRAME_DREW);
    EXPECT_EQ(events, "r");
    EXPECT_EQ(load_flags[0].load(), 0);
    EXPECT_EQ(Frame_Run(t0 + 100), FRAME_DREW);
    EXPECT_EQ(events, "rAr");                   // the init runs before the frame that follows it
    EXPECT_EQ(load_flags[0].load(), 1);
    EXPECT_EQ(load_flags[1].load(), 0);

    // One late frame passes every remaining pause: the steps still run in order.
    EXPECT_EQ(Frame_Run(t0 + 390), FRAME_DREW);
    EXPECT_EQ(events, "rArBr");
    EXPECT_EQ(load_flags[1].load(), 1);
    EXPECT_EQ(clock_step.load(), 0.0f);
    EXPECT_EQ(Timeline_GlobalTime(), 0.0f);     // loading: the ticks add nothing
    Frame_Run(t0 + 400);
    EXPECT_EQ(clock_step.load(), 0.01f);
    EXPECT_EQ(Timeline_GlobalTime(), 0.0f);     // started after this frame's ticks
    Frame_Run(t0 + 450);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.05f, 1e-6f);
}

TEST_F(Frame, InlineClockPaysWholePeriodsAndCatchesUpLikeTheTimer)
{
    OneEntry e(100);
    clock_step.store(0.01f);                    // already running: the loader must not run
    Frame_StartInline(&e.h, 0, kSteps, kStepCount, 1000);
    Frame_Run(1016);                            // one period, 6 ms owed to the next frame
    EXPECT_NEAR(Timeline_GlobalTime(), 0.01f, 1e-6f);
    Frame_Run(1033);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.03f, 1e-6f);
    // A 90 ms stall (a busy page) is paid back at once.
    Frame_Run(1123);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.12f, 1e-5f);
    // A gap beyond the hold limit waits one frame, then is paid as the timer would.
    Frame_Run(1323);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.12f, 1e-5f);
    Frame_Run(1333);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.33f, 1e-5f);
    // A background tab that got no frames for a minute resumes with one tick.
    Frame_Run(61333);
    Frame_Run(61343);
    EXPECT_NEAR(Timeline_GlobalTime(), 0.34f, 1e-5f);
    EXPECT_EQ(events.find_first_not_of('r'), std::string::npos) << "no init may run: " << events;
    EXPECT_EQ(load_flags[0].load(), 0);
}

TEST_F(Frame, EndIsHeldForASecondWithoutClearingOrDrawing)
{
    OneEntry e(0.5f);
    clock_step.store(0.01f);
    Frame_StartInline(&e.h, 0, kSteps, kStepCount, 0);
    uint32_t ms = 0;
    while (Frame_Run(ms) == FRAME_DREW && ms < 1000)
        ms += 10;
    // The frame at 0.5 s of demo time (up to float steps) found the end of the last entry.
    ASSERT_GE(ms, 500u);
    ASSERT_LE(ms, 510u);
    events.clear();
    EXPECT_EQ(Frame_Run(ms + 10), FRAME_HOLDING);
    EXPECT_EQ(Frame_Run(ms + 999), FRAME_HOLDING);
    EXPECT_EQ(events, "");
    EXPECT_EQ(Frame_Run(ms + 1000), FRAME_DONE);
    EXPECT_EQ(Frame_Run(ms + 1200), FRAME_DONE);
    EXPECT_EQ(events, "");
}

TEST_F(Frame, ThreadedPacingLeavesTheClockToTheTimer)
{
    OneEntry e(0.5f);
    clock_step.store(0.01f);
    Timeline_Prepare(&e.h, 0);
    Frame_StartThreaded();
    EXPECT_EQ(Frame_Run(100000), FRAME_DREW);
    EXPECT_EQ(Timeline_GlobalTime(), 0.0f);     // the timer thread's business
    for (int i = 0; i < 60; i++)
        Clock_Tick(10, nullptr);
    EXPECT_EQ(Frame_Run(100001), FRAME_HOLDING);
    EXPECT_EQ(Frame_Run(101000), FRAME_HOLDING);
    EXPECT_EQ(Frame_Run(101001), FRAME_DONE);
    EXPECT_EQ(events, "r");
}

} // namespace
