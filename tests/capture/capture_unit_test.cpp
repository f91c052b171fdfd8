// The capture tool's pieces that need neither GL nor the archive: the
// virtual clock's schedule, the command line and the frame-time figures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/session.h"

using namespace capture;

namespace {

// A log of what the fake clock and loader saw, in order.
std::vector<std::string> events;
int64_t tick_count;

uint32_t FakeTick(uint32_t interval, void *)
{
    tick_count++;
    return interval;
}

void RecordStep(const loader_step_t *step)
{
    const char *kind[] = {"pause", "init", "flag", "close", "start"};
    events.push_back(std::string(kind[step->kind]) + std::to_string(step->value) + "@" +
                     std::to_string(tick_count * 10));
}

} // namespace

TEST(VirtualClock, TicksBeforeEachFrameFollowTheFrameRate)
{
    EXPECT_EQ(TicksBeforeFrame(0, 60), 0);
    EXPECT_EQ(TicksBeforeFrame(1, 60), 1);      // 1.67 ticks: floor
    EXPECT_EQ(TicksBeforeFrame(3, 60), 5);
    EXPECT_EQ(TicksBeforeFrame(60, 60), 100);   // one second, exactly
    EXPECT_EQ(TicksBeforeFrame(7, 30), 23);
    EXPECT_EQ(TicksBeforeFrame(1, 1000), 0);    // faster than the clock: frames share a tick
    EXPECT_EQ(TicksBeforeFrame(10, 1000), 1);
    // The whole demo at 60 fps stays exact in integers.
    EXPECT_EQ(TicksBeforeFrame(19000, 60), 31666);
    // Over any second, the tick count is the same whatever the frame rate.
    for (int fps : {1, 7, 24, 25, 30, 50, 60, 144})
        EXPECT_EQ(TicksBeforeFrame(5 * fps, fps), 500) << fps;
}

TEST(VirtualClock, TicksOncePerTickAndNeverBackwards)
{
    tick_count = 0;
    VirtualClock clock(FakeTick, nullptr);
    clock.AdvanceTo(5);
    clock.AdvanceTo(3);
    EXPECT_EQ(clock.ticks(), 5);
    EXPECT_EQ(tick_count, 5);
    clock.AdvanceTo(880);
    EXPECT_EQ(tick_count, 880);
}

TEST(VirtualClock, LoaderStepsRunAtTheirMomentsAfterThatMomentsTick)
{
    events.clear();
    tick_count = 0;
    LoaderReplay loader(loader_steps, loader_step_count, RecordStep);
    loader.RunUntil(0);
    EXPECT_TRUE(events.empty()) << "the sequence begins with a pause";
    VirtualClock clock(FakeTick, &loader);
    clock.AdvanceTo(199);
    EXPECT_TRUE(events.empty()) << events.front();
    clock.AdvanceTo(1000);
    EXPECT_TRUE(loader.Done());
    // The loader's own schedule: pauses of 2000, 1000, 500, 700, 1000, 1000,
    // 600, 1000 and 1000 ms; the clock starts 8.8 s in, after the 880th tick.
    std::vector<std::string> want = {"init0@2000",  "flag0@2000",  "flag1@3000",  "init0@3500",
                                     "flag2@3500",  "init0@4200",  "flag3@4200",  "init0@5200",
                                     "flag4@5200",  "init0@6200",  "flag5@6200",  "init0@6800",
                                     "flag6@6800",  "init0@6800",  "flag7@7800",  "init0@7800",
                                     "close0@7800", "start0@8800"};
    EXPECT_EQ(events, want);
}

namespace {

bool Parse(std::vector<std::string> args, CaptureOptions *o, std::string *err)
{
    args.insert(args.begin(), "capture");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return ParseCaptureArgs((int)args.size(), argv.data(), o, err);
}

} // namespace

TEST(CaptureOptions, DefaultsAndOptionsInAnyOrder)
{
    CaptureOptions o;
    std::string err;
    ASSERT_TRUE(Parse({}, &o, &err)) << err;
    EXPECT_EQ(o.fps, 60);
    EXPECT_EQ(o.out_dir, ".");
    EXPECT_FALSE(o.debug);
    EXPECT_TRUE(o.video.empty());

    CaptureOptions p;
    ASSERT_TRUE(Parse({"-shot", "8", "-bench", "-out", "shots", "-debug", "1.5", "20", "3", "-fps", "25", "-shot",
                       "0.0015", "-video", "a.mp4", "-shot", "30.258"},
                      &p, &err))
        << err;
    EXPECT_TRUE(p.debug);
    EXPECT_EQ(p.window.start, "1.5");
    EXPECT_EQ(p.window.end, "20");
    EXPECT_EQ(p.window.offset, "3");
    EXPECT_EQ(p.fps, 25);
    EXPECT_EQ(p.out_dir, "shots");
    EXPECT_EQ(p.video, "a.mp4");
    EXPECT_TRUE(p.bench);
    // Sorted by time; named by milliseconds, rounded.
    ASSERT_EQ(p.shots.size(), 3u);
    EXPECT_EQ(p.shots[0].ms, 2);
    EXPECT_EQ(p.shots[1].ms, 8000);
    EXPECT_EQ(p.shots[2].ms, 30258);
    // Compared in the sequencer's float: the same value as the table's.
    EXPECT_EQ(p.shots[2].at, 30.258f);
    EXPECT_EQ(ShotFileName(p.shots[2].ms), "030258.png");
    EXPECT_EQ(ShotFileName(0), "000000.png");
    EXPECT_EQ(ShotFileName(999999), "999999.png");
}

TEST(CaptureOptions, BadOptionsAreRefusedWithTheReason)
{
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } cases[] = {
        {{"-window"}, "unknown option '-window'"},
        {{"-debug", "0", "10"}, "-debug needs three values"},
        {{"-debug", "0", "ten", "0"}, "-debug END"},
        {{"-debug", "nan", "10", "0"}, "-debug START"},
        {{"-debug", "0", "1e30", "0"}, "-debug END"},      // would never reach its end
        {{"-debug", "0", "10", "42"}, "-debug OFFSET"},
        {{"-fps", "0"}, "-fps must be"},
        {{"-fps", "60.5"}, "-fps must be"},
        {{"-shot", "-1"}, "-shot must be"},
        {{"-shot", "1000"}, "-shot must be"},                // seven digits of milliseconds
        {{"-shot", "3s"}, "-shot must be"},
        {{"-out", ""}, "-out needs"},
        {{"-video"}, "-video needs"},
    };
    for (const auto &c : cases) {
        CaptureOptions o;
        std::string err;
        EXPECT_FALSE(Parse(c.args, &o, &err)) << c.args[0];
        EXPECT_NE(err.find(c.says), std::string::npos) << "got: " << err;
    }
}

TEST(FrameStats, MeanMedianPercentileAndWorst)
{
    EntryStats one = Summarise(4, {7.0});
    EXPECT_EQ(one.entry, 4);
    EXPECT_EQ(one.frames, 1u);
    EXPECT_DOUBLE_EQ(one.median_ms, 7.0);
    EXPECT_DOUBLE_EQ(one.p99_ms, 7.0);

    EntryStats even = Summarise(0, {4, 1, 3, 2});
    EXPECT_DOUBLE_EQ(even.mean_ms, 2.5);
    EXPECT_DOUBLE_EQ(even.median_ms, 2.5);
    EXPECT_DOUBLE_EQ(even.worst_ms, 4.0);

    // 200 frames: the 99th percentile is the 198th smallest (nearest rank).
    std::vector<double> ms;
    for (int i = 1; i <= 200; i++)
        ms.push_back(i);
    EntryStats many = Summarise(1, ms);
    EXPECT_DOUBLE_EQ(many.p99_ms, 198.0);
    EXPECT_DOUBLE_EQ(many.median_ms, 100.5);
    EXPECT_DOUBLE_EQ(many.worst_ms, 200.0);

    EXPECT_EQ(Summarise(2, {}).frames, 0u);
}

TEST(FrameStats, ReportsListEachEntryThatDrewFramesInOrder)
{
    FrameTimes t;
    t.Add(3, 2.0);
    t.Add(0, 1.0);
    t.Add(3, 4.0);
    auto rows = t.PerEntry();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].entry, 0);
    EXPECT_EQ(rows[1].entry, 3);
    EXPECT_DOUBLE_EQ(rows[1].mean_ms, 3.0);
    EXPECT_EQ(t.Total().frames, 3u);
    // A renderer name with quotes still gives valid JSON.
    std::string json = BenchJson(rows, t.Total(), 60, "soft \"GL\"");
    EXPECT_NE(json.find("\"renderer\": \"soft \\\"GL\\\"\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"entry\": 3, \"frames\": 2, \"mean_ms\": 3.0000"), std::string::npos) << json;
}
