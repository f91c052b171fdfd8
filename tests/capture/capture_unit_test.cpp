// The capture tool's pieces that need neither GL nor the archive: the
// virtual clock's schedule, the command line, the frame-time figures, the
// split over workers and the frame hashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/jobs.h"
#include "tools/capture/md5.h"
#include "tools/capture/run.h"
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

TEST(CaptureOptions, WorkersScaleAndSpansAreCheckedToo)
{
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } cases[] = {
        {{"-jobs", "0"}, "-jobs must be"},
        {{"-jobs", "2.5"}, "-jobs must be"},
        {{"-scale", "5"}, "-scale must be 1, 2, 3 or 4"},
        {{"-scale", "0"}, "-scale must be"},
        {{"-span", "10", "10"}, "-span needs two frame numbers FIRST < END"},
        {{"-span", "-1", "10"}, "-span needs"},
        {{"-span", "3"}, "-span needs two frame numbers"},
        {{"-lossless"}, "-lossless is a kind of video"},
        {{"-hashes", ""}, "-hashes needs"},
        {{"-report-fd", "3"}, "for the capture tool's own workers"},   // only with a span
        {{"-span", "0", "9", "-report-fd", "1"}, "for the capture tool's own workers"},
    };
    for (const auto &c : cases) {
        CaptureOptions o;
        std::string err;
        EXPECT_FALSE(Parse(c.args, &o, &err)) << c.args[0];
        EXPECT_NE(err.find(c.says), std::string::npos) << "got: " << err;
    }
    CaptureOptions o;
    std::string err;
    ASSERT_TRUE(Parse({"-span", "100", "9999999999", "-jobs", "3", "-scale", "4", "-video", "a.mkv", "-lossless"},
                      &o, &err))
        << err;
    EXPECT_EQ(o.span_first, 100);
    EXPECT_EQ(o.span_end, 9999999999LL);
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.scale, 4);
}

namespace {

// The cost of the worker drawing span s: every frame before it played, its own drawn.
double SpanCost(const std::vector<double> &draw, const std::vector<double> &skip, std::pair<int64_t, int64_t> s)
{
    double cost = 0;
    for (int64_t i = 0; i < s.second; i++)
        cost += i < s.first ? skip[(size_t)i] : draw[(size_t)i];
    return cost;
}

} // namespace

TEST(Jobs, SpansCoverTheRunOnceAndTheirWorkersFinishTogether)
{
    // Any costs: contiguous spans of a frame at least, no more than asked.
    uint32_t seed = 7;
    for (int64_t total : {1, 2, 7, 1000, 19151})
        for (int jobs : {1, 2, 3, 16, 64}) {
            std::vector<double> draw((size_t)total), skip((size_t)total);
            for (int64_t i = 0; i < total; i++) {
                seed = seed * 1664525u + 1013904223u;
                draw[(size_t)i] = 1 + (seed >> 24) % 60;
                skip[(size_t)i] = (seed >> 16) % 16;
            }
            auto spans = SplitSpans(draw, skip, jobs);
            ASSERT_FALSE(spans.empty());
            ASSERT_LE((int64_t)spans.size(), std::min<int64_t>(jobs, total)) << total << " " << jobs;
            int64_t at = 0;
            for (const auto &s : spans) {
                EXPECT_EQ(s.first, at);
                EXPECT_GT(s.second, s.first);
                at = s.second;
            }
            EXPECT_EQ(at, total);
        }
    // Alike frames, nothing to skip: equal shares.
    auto even = SplitSpans(std::vector<double>(1000, 1.0), std::vector<double>(1000, 0.0), 4);
    ASSERT_EQ(even.size(), 4u);
    for (const auto &s : even)
        EXPECT_EQ(s.second - s.first, 250);
    // Skipping costs: later spans are shorter, and each worker's work is the
    // same within a frame's cost.
    const std::vector<double> one(19151, 1.0), some(19151, 0.12);
    auto spans = SplitSpans(one, some, 4);
    ASSERT_EQ(spans.size(), 4u);
    for (size_t k = 1; k < spans.size(); k++)
        EXPECT_LT(spans[k].second - spans[k].first, spans[k - 1].second - spans[k - 1].first);
    for (const auto &s : spans)
        EXPECT_NEAR(SpanCost(one, some, s), SpanCost(one, some, spans[0]), 1.0);
    // A heavy first half gets the smaller share of frames.
    std::vector<double> heavy(2000, 1.0);
    std::fill(heavy.begin(), heavy.begin() + 1000, 5.0);
    auto two = SplitSpans(heavy, std::vector<double>(2000, 0.5), 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_LT(two[0].second, 1000);
    EXPECT_NEAR(SpanCost(heavy, std::vector<double>(2000, 0.5), two[0]),
                SpanCost(heavy, std::vector<double>(2000, 0.5), two[1]), 5.0);
    // Where skipping costs more than drawing saves, fewer workers are better.
    EXPECT_EQ(SplitSpans({1, 1, 1, 1}, {100, 100, 100, 100}, 4).size(), 1u);
}

TEST(Jobs, FrameCostsComeFromEachFramesEntryAndHeldFramesOnlyCostTheirOutput)
{
    std::vector<double> draw, skip;
    FrameCosts({0, 0, 16, 41}, 6, false, &draw, &skip);
    ASSERT_EQ(draw.size(), 6u);
    EXPECT_GT(draw[2], 5 * draw[0]);                // the glowing wall against the loading screen
    EXPECT_GT(skip[2], skip[0]);
    EXPECT_EQ(draw[4], draw[5]);                    // held: no drawing
    EXPECT_LT(draw[4], draw[3]);
    EXPECT_EQ(skip[5], 0.0);
    FrameCosts({0, 16}, 3, true, &draw, &skip);
    EXPECT_EQ(draw[0], draw[1]);
}

TEST(Jobs, WorkersRasteriseOnTheirOwnThreadWhenTheyFillTheProcessors)
{
    EXPECT_EQ(WorkerRasteriserThreads(2, 2), 0);
    EXPECT_EQ(WorkerRasteriserThreads(2, 3), 0);
    EXPECT_EQ(WorkerRasteriserThreads(16, 4), 4);
    EXPECT_EQ(WorkerRasteriserThreads(16, 16), 0);
    EXPECT_EQ(WorkerRasteriserThreads(3, 2), 0);    // one each is no better than on the calling thread
}

TEST(Jobs, AWorkersReportLinesReadBack)
{
    EXPECT_EQ(ParseReportLine("progress 42\n").kind, REPORT_PROGRESS);
    EXPECT_EQ(ParseReportLine("progress 42\n").number, 42);
    ReportLine t = ParseReportLine("time 17 81.2500\n");
    EXPECT_EQ(t.kind, REPORT_TIME);
    EXPECT_EQ(t.number, 17);
    EXPECT_DOUBLE_EQ(t.ms, 81.25);
    ReportLine r = ParseReportLine("renderer llvmpipe (LLVM 15, 256 bits), EGL surfaceless\n");
    EXPECT_EQ(r.kind, REPORT_RENDERER);
    EXPECT_EQ(r.text, "llvmpipe (LLVM 15, 256 bits), EGL surfaceless");
    EXPECT_EQ(ParseReportLine("done\n").kind, REPORT_DONE);
    EXPECT_EQ(ParseReportLine("music x\n").kind, REPORT_BAD);
    EXPECT_EQ(ParseReportLine("\n").kind, REPORT_BAD);
}

TEST(Md5, KnownDigestsWhateverTheFeedSizes)
{
    auto hex = [](const std::string &s) { return Md5Hex((const uint8_t *)s.data(), s.size()); };
    EXPECT_EQ(hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    const std::string digits =
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    EXPECT_EQ(hex(digits), "57edf4a22be3c955ac49da2e2107b67a");
    // 55, 56 and 64 bytes: the length no longer fits in the last block.
    EXPECT_EQ(hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    // Fed in odd pieces, the same digest as at once.
    std::string frame(640 * 480 * 3, '\0');
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = (char)(i * 2654435761u >> 24);
    Md5 pieces;
    for (size_t at = 0, n = 1; at < frame.size(); at += n, n = n * 3 % 1000 + 1)
        pieces.Add((const uint8_t *)frame.data() + at, std::min(n, frame.size() - at));
    EXPECT_EQ(pieces.HexDigest(), hex(frame));
}

// A worker plays the frames before its span with a zero-size scissor box and
// then draws from the same GL state as a whole run; a scale goes through one
// viewport routine. Both hold only while the player's code neither touches
// the scissor nor reads the frame back, and sets viewports only there.
TEST(Jobs, ThePlayersDrawingLeavesTheScissorAndFrameToTheCaptureTool)
{
    namespace fs = std::filesystem;
    const char *forbidden[] = {"glScissor", "GL_SCISSOR", "glReadPixels", "glCopyPixels", "glCopyTex",
                               "glGetTexImage", "GL_ALL_ATTRIB_BITS", "glAccum"};
    int files = 0;
    for (const char *folder : {"scenes", "core", "render", "archive"}) {
        for (const auto &entry : fs::directory_iterator(fs::path(BT_SOURCE_DIR) / folder)) {
            const fs::path &path = entry.path();
            // The offscreen context and the GL 1.x layer are GL, not the player's drawing.
            const std::string name = path.filename().string();
            if (name == "headless.cpp" || name.rfind("gl1es", 0) == 0 ||
                (path.extension() != ".cpp" && path.extension() != ".h"))
                continue;
            std::ifstream in(path);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            files++;
            for (const char *word : forbidden)
                EXPECT_EQ(text.find(word), std::string::npos) << path << " uses " << word;
            if (path.filename() != "state.cpp") {
                EXPECT_EQ(text.find("glViewport("), std::string::npos)
                    << path << " sets a viewport without Render_Viewport, which applies the capture's scale";
            }
        }
    }
    EXPECT_GT(files, 20);
}
