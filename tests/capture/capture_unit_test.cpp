// The capture tool's pieces that need neither GL nor the archive: the
// virtual clock's schedule, the command line and the frame-time figures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/session.h"

using namespace capture;

TEST(VirtualClock, TicksBeforeFrameNAreFloorOfNTimes100OverTheFrameRate)
{
    EXPECT_EQ(TicksBeforeFrame(1, 60), 1);          // 1.67 ticks: floor
    EXPECT_EQ(TicksBeforeFrame(7, 30), 23);
    EXPECT_EQ(TicksBeforeFrame(10, 1000), 1);       // faster than the clock: frames share a tick
    EXPECT_EQ(TicksBeforeFrame(19000, 60), 31666);  // the whole demo at 60 fps stays exact
    for (int fps : {1, 7, 24, 30, 60, 144})
        EXPECT_EQ(TicksBeforeFrame(5 * fps, fps), 500) << fps;
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

// Good options are in use in the program tests, which also see how a refusal ends.
TEST(CaptureOptions, BadOptionsAreRefusedWithTheReason)
{
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } cases[] = {
        {{"-debug", "0", "10"}, "-debug needs three values"},
        {{"-debug", "nan", "10", "0"}, "-debug START"},
        {{"-debug", "0", "1e30", "0"}, "-debug END"},       // would never reach its end
        {{"-debug", "0", "10", "42"}, "-debug OFFSET"},
        {{"-fps", "60.5"}, "-fps must be"},
        {{"-shot", "-1"}, "-shot must be"},
        {{"-shot", "1000"}, "-shot must be"},               // seven digits of milliseconds
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

TEST(FrameStats, FiguresPerEntryInOrderAndValidJson)
{
    EntryStats even = Summarise(0, {4, 1, 3, 2});
    EXPECT_DOUBLE_EQ(even.mean_ms, 2.5);
    EXPECT_DOUBLE_EQ(even.median_ms, 2.5);
    EXPECT_DOUBLE_EQ(even.worst_ms, 4.0);
    EXPECT_DOUBLE_EQ(even.p99_ms, 4.0);             // nearest rank: the 4th of 4
    EXPECT_DOUBLE_EQ(Summarise(0, {7.0}).p99_ms, 7.0);
    std::vector<double> ms(200);
    for (int i = 0; i < 200; i++)
        ms[i] = 200 - i;
    EXPECT_DOUBLE_EQ(Summarise(1, ms).p99_ms, 198.0);  // nearest rank
    EXPECT_EQ(Summarise(2, {}).frames, 0u);

    FrameTimes t;
    t.Add(3, 2.0);
    t.Add(0, 1.0);
    t.Add(3, 4.0);
    auto rows = t.PerEntry();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].entry, 0);
    EXPECT_DOUBLE_EQ(rows[1].mean_ms, 3.0);
    EXPECT_EQ(t.Total().frames, 3u);
    // A renderer name with quotes still gives valid JSON.
    std::string json = BenchJson(rows, t.Total(), 60, "soft \"GL\"");
    EXPECT_NE(json.find("\"renderer\": \"soft \\\"GL\\\"\""), std::string::npos) << json;
}
