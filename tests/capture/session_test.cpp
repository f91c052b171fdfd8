// The virtual clock driving the real demo in this process: the loading
// phase on the loader's schedule, where -debug windows begin, which frame a
// time falls on, and the hold after the end. Each TEST is one run (CTest
// starts a process per test).
#include <gtest/gtest.h>

#include "core/core.h"
#include "tests/support/visual.h"
#include "tools/capture/session.h"

namespace {

// The demo clock's value after n ticks of 0.01, summed in float as the tick does.
float ClockAfter(int n, float start = 0.0f)
{
    float t = start;
    for (int i = 0; i < n; i++)
        t += 0.01f;
    return t;
}

} // namespace

TEST(CaptureSession, LoadingStandsStillForTheLoadersPausesWhileTheMarksAppear)
{
    BT_REQUIRE_ARCHIVE();
    // At 10 frames a second frame n comes after 10n ticks.
    ASSERT_TRUE(visual::StartNormal(10));
    visual::Frame f;
    ASSERT_TRUE(visual::CaptureFrame(19, &f));
    EXPECT_EQ(load_flags[0].load(), 0);
    EXPECT_EQ(f.demo_time, 0.0f);
    ASSERT_TRUE(visual::CaptureFrame(20, &f));      // 2 s: the first init and the first mark
    EXPECT_EQ(load_flags[0].load(), 1);
    EXPECT_EQ(load_flags[1].load(), 0);
    ASSERT_TRUE(visual::CaptureFrame(35, &f));      // 3.5 s: marks 0 to 2
    EXPECT_EQ(load_flags[2].load(), 1);
    EXPECT_EQ(load_flags[3].load(), 0);
    ASSERT_TRUE(visual::CaptureFrame(78, &f));      // 7.8 s: the last mark
    for (int k = 0; k < LOAD_FLAGS; k++)
        EXPECT_EQ(load_flags[k].load(), 1) << k;
    EXPECT_EQ(clock_step.load(), 0.0f);
    // The clock starts 8.8 s in, after that moment's tick: the frame at
    // 8.8 s still shows demo time 0, the next one ten steps.
    ASSERT_TRUE(visual::CaptureFrame(88, &f));
    EXPECT_EQ(clock_step.load(), 0.01f);
    EXPECT_EQ(f.demo_time, 0.0f);
    EXPECT_EQ(f.entry, 0);
    ASSERT_TRUE(visual::CaptureFrame(89, &f));
    EXPECT_EQ(f.demo_time, ClockAfter(10));
    EXPECT_EQ(f.entry, 0);
}

TEST(CaptureSession, DebugWindowBeginsWhereThePlayersDoes)
{
    BT_REQUIRE_ARCHIVE();
    // Demo time 5 lies beyond entry 0 and 1: each frame moves on one entry.
    ASSERT_TRUE(visual::StartDebug(5.0f, 9.0f, 0, 20));
    visual::Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    EXPECT_EQ(f.demo_time, 5.0f);
    EXPECT_EQ(f.entry, 1);
    ASSERT_TRUE(visual::CaptureFrame(1, &f));
    EXPECT_EQ(f.demo_time, ClockAfter(5, 5.0f));
    EXPECT_EQ(f.entry, 2);
    ASSERT_TRUE(visual::CaptureFrame(2, &f));
    EXPECT_EQ(f.entry, 2);
    EXPECT_EQ(Timeline_LocalTime(), ClockAfter(5)) << "entry 2 began on the frame before";
}

TEST(CaptureSession, ATimeFallsOnTheFrameOfTheFirstStepAtOrAfterIt)
{
    BT_REQUIRE_ARCHIVE();
    const int fps = 20;                             // five ticks a frame
    ASSERT_TRUE(visual::StartDebug(0.0f, 12.0f, 0, fps));
    visual::Frame f;
    for (int k = 1; k <= 4; k++) {
        float start = timeline_table[k].start;      // derived when the run began
        ASSERT_TRUE(visual::CaptureAt(start - 0.05f, &f));
        EXPECT_EQ(f.entry, k - 1) << "before entry " << k;
        ASSERT_TRUE(visual::CaptureAt(start, &f));
        EXPECT_EQ(f.entry, k);
        EXPECT_GE(f.demo_time, start);
        EXPECT_LT(ClockAfter((int)f.index * 100 / fps - 5), start) << "the frame before was still earlier";
        EXPECT_EQ(f.demo_time, ClockAfter((int)f.index * 100 / fps));
    }
}

TEST(CaptureSession, TheLastPictureIsHeldForOneSecondAfterTheEnd)
{
    BT_REQUIRE_ARCHIVE();
    capture::SessionConfig config;
    config.fps = 10;
    config.debug = true;
    config.window = capture::DebugWindow{"0", "0.5", "0"};
    config.keep_pictures = true;
    std::string err;
    ASSERT_TRUE(capture::Session_Open(config, &err)) << err;
    capture::FrameInfo f;
    std::vector<uint8_t> last_shown;
    int shown = 0, held = 0;
    while (capture::Session_Step(&f)) {
        if (f.held) {
            held++;
            EXPECT_EQ(capture::Session_Picture(), last_shown) << "frame " << f.index;
        } else {
            EXPECT_EQ(held, 0) << "a frame drawn after the end";
            shown++;
            last_shown = capture::Session_Picture();
        }
    }
    // Drawn until the clock, summed in float steps of 0.01, reaches 0.5
    // (50 steps fall just short of it); then ten held frames.
    int end_frame = 0;
    while (ClockAfter(end_frame * 10) < 0.5f)
        end_frame++;
    EXPECT_EQ(shown, end_frame);
    EXPECT_EQ(held, 10);
    EXPECT_EQ(f.index, end_frame + 9);
    EXPECT_FALSE(capture::Session_Step(&f));
    capture::Session_Close();
}

TEST(CaptureSession, OneRunPerProcess)
{
    BT_REQUIRE_ARCHIVE();
    capture::SessionConfig config;
    config.debug = true;
    config.window = capture::DebugWindow{"0", "0.1", "0"};
    std::string err;
    ASSERT_TRUE(capture::Session_Open(config, &err)) << err;
    EXPECT_FALSE(capture::Session_Open(config, &err));
    EXPECT_NE(err.find("one capture session per process"), std::string::npos) << err;
    capture::Session_Close();
}
