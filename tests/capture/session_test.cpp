// The virtual clock driving the real demo in this process: the loading
// phase on the loader's schedule, where a -debug window begins and which
// frame a time falls on. Each TEST is one run (CTest starts a process per test).
#include <gtest/gtest.h>

#include "core/core.h"
#include "tests/support/visual.h"
#include "tools/capture/session.h"

TEST(CaptureSession, LoadingStandsStillForTheLoadersPausesWhileTheMarksAppear)
{
    BT_REQUIRE_ARCHIVE();
    ASSERT_TRUE(visual::StartNormal(10));           // frame n comes after 10n ticks
    visual::Frame f;
    // The loader sets its marks at 2, 3, 3.5, 4.2, 5.2, 6.2, 6.8 and 7.8 s.
    const int marks_at_frame[][2] = {{19, 0}, {20, 1}, {34, 2}, {35, 3}, {77, 7}, {78, LOAD_FLAGS}};
    for (const auto &d : marks_at_frame) {
        ASSERT_TRUE(visual::CaptureFrame(d[0], &f));
        for (int k = 0; k < LOAD_FLAGS; k++)
            EXPECT_EQ(load_flags[k].load(), k < d[1] ? 1 : 0) << "frame " << d[0] << ", mark " << k;
        EXPECT_EQ(f.demo_time, 0.0f);
    }
    // The clock starts 8.8 s in, after that moment's tick: the frame at
    // 8.8 s still shows demo time 0, the next one ten steps.
    ASSERT_TRUE(visual::CaptureFrame(88, &f));
    EXPECT_EQ(f.demo_time, 0.0f);
    ASSERT_TRUE(visual::CaptureFrame(89, &f));
    float ten_steps = 0;
    for (int i = 0; i < 10; i++)
        ten_steps += 0.01f;                         // as the tick sums them
    EXPECT_EQ(f.demo_time, ten_steps);
    EXPECT_EQ(f.entry, 0);
}

TEST(CaptureSession, ADebugWindowStartsAtItsEntryAndEachSwitchOnTheFirstStepAtOrAfterIt)
{
    BT_REQUIRE_ARCHIVE();
    // The window's first entry begins at demo time 0 and the clock at START.
    ASSERT_TRUE(visual::StartDebug(1.0f, 12.0f, 8, 20));
    visual::Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    EXPECT_EQ(f.demo_time, 1.0f);
    EXPECT_EQ(f.entry, 8);
    for (int k = 9; k <= 11; k++) {
        float start = timeline_table[k].start;      // derived when the run began
        ASSERT_TRUE(visual::CaptureAt(start - 0.05f, &f));
        EXPECT_EQ(f.entry, k - 1) << "before entry " << k;
        ASSERT_TRUE(visual::CaptureAt(start, &f));
        EXPECT_EQ(f.entry, k);
    }
    // The demo's state is process-wide: a second session is refused.
    std::string err;
    EXPECT_FALSE(capture::Session_Open(capture::SessionConfig{}, &err));
    EXPECT_NE(err.find("one capture session per process"), std::string::npos) << err;
}

TEST(CaptureSession, ThePlanKnowsEveryFramesEntryAndTheRunsLengthBeforeDrawing)
{
    BT_REQUIRE_ARCHIVE();
    // Entries 35 to 41, the last ending by effects, some of them shorter than
    // a second; at 7 fps a frame comes after 14 or 15 ticks.
    ASSERT_TRUE(visual::StartDebug(0.0f, 1000.0f, 35, 7));
    const int64_t planned = capture::Session_PlannedFrames();
    const std::vector<int16_t> entries = capture::Session_PlannedEntries();
    capture::FrameInfo f;
    int64_t frames = 0, drawn = 0;
    while (capture::Session_Step(&f)) {
        frames++;
        if (f.held)
            continue;
        ASSERT_LT((size_t)drawn, entries.size());
        EXPECT_EQ(entries[(size_t)drawn], f.entry) << "frame " << f.index;
        drawn++;
    }
    EXPECT_EQ(frames, planned);
    EXPECT_EQ((size_t)drawn, entries.size());
    EXPECT_EQ(frames - drawn, 7);                   // a second of hold
}
