// The capture program as a user runs it: its failures, the files it writes
// and the frames they hold.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/core.h"
#include "tests/support/visual.h"
#include "tests/capture/program.h"
#include "tools/capture/capture_options.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

using namespace program;

TEST(CaptureProgram, BadInputIsRefusedWithTheReasonAndAStatus)
{
    fs::path dir = TestDir();                       // no archive here
    fs::create_directories(dir / "gl");
    fs::create_directories(dir / "fifo");
    ASSERT_EQ(mkfifo((dir / "fifo" / "brass_tide.zar").c_str(), 0600), 0);
    std::ofstream(dir / "gl" / "brass_tide.zar") << "not read: the context comes first";
    // With this the EGL dispatcher finds no driver at all; every other
    // failure comes before the context is made.
    // Under a time limit: a FIFO once blocked the tool in its open for ever.
    const std::string no_gl = "timeout 60 env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl.json " + kCapture;
    const struct {
        const char *where, *args;
        int status;
        const char *says;
    } cases[] = {
        {"", "-fps 0", 2, "capture: -fps must be a whole number"},
        {"", "-shot 1 -window", 2, "capture: unknown option '-window'"},
        {"", "-video demo.avi", 1, "must end in .mp4, .mkv or .mov"},
        {"", "-shot 1", 1, "capture: cannot open ./brass_tide.zar"},
        {"fifo", "-shot 1", 1, "capture: cannot open ./brass_tide.zar (not a regular file)"},
        {"gl", "-shot 1", 1, "capture: no offscreen OpenGL context"},
        {"", "-h", 0, "-shot T"},
    };
    for (const auto &c : cases) {
        Result r = Shell(no_gl + c.args, dir / c.where);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.text.find(c.says), std::string::npos) << c.args << ": " << r.text;
    }
}

TEST(CaptureProgram, TwoRunsWriteTheSameShotsOnTheSwitchFrames)
{
    BT_REQUIRE_ARCHIVE();
    Timeline_Prepare(&timeline_header, 0);          // the switch times, as the program derives them
    fs::path dir = TestDir();
    float frame5 = 0;                               // frame 5's demo time: 50 ticks
    for (int i = 0; i < 50; i++)
        frame5 += 0.01f;
    // Given out of order; 0.0015 is named 000002.png. The last three fall on
    // the first frame at or after them, the switch times on their entry's first.
    const float times[] = {8.5f, 6.2f, 0.0015f, frame5, timeline_table[1].start, timeline_table[2].start};
    auto name = [](float t) { return capture::ShotFileName(std::lround(t * 1000.0)); };
    std::string args = "-fps 10 -debug 0 9 0";
    for (float t : times) {
        char shot[32];                              // exact as a float
        snprintf(shot, sizeof shot, " -shot %.9g", (double)t);
        args += shot;
    }
    Result a = Shell(kCapture + args + " -out " + Quote((dir / "a").string()));
    Result b = Shell(kCapture + args + " -out " + Quote((dir / "b").string()));
    ASSERT_TRUE(a.status == 0 && b.status == 0) << a.text << b.text;
    for (float t : times) {
        std::string x = ReadFile(dir / "a" / name(t));
        ASSERT_FALSE(x.empty()) << name(t);
        EXPECT_TRUE(x == ReadFile(dir / "b" / name(t))) << name(t) << " differs between two runs";
    }
    for (int k = 3; k < 6; k++)
        EXPECT_EQ(FindShot(a.text, name(times[k])).frame, FramesBefore(times[k], 10)) << name(times[k]) << a.text;
    EXPECT_EQ(FindShot(a.text, name(times[4])).entry, 1);
    EXPECT_EQ(FindShot(a.text, name(times[5])).entry, 2);
}

TEST(CaptureProgram, ARunToItsEndHoldsTheLastPictureForASecond)
{
    BT_REQUIRE_ARCHIVE();
    fs::path dir = TestDir();
    Result r = Shell(kCapture + "-debug 0 0.3 0 -fps 10 -bench -shot 0.2 -shot 0.65 -shot 5 -out " +
                     Quote(dir.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.text.find("capture: no frame at demo time 5.000"), std::string::npos) << r.text;
    EXPECT_FALSE(FindShot(r.text, "000200.png").held);
    EXPECT_TRUE(FindShot(r.text, "000650.png").held) << r.text;
    // The loading screen stands still, so the held picture is the last drawn one.
    std::string last = ReadFile(dir / "000200.png");
    EXPECT_FALSE(last.empty());
    EXPECT_TRUE(last == ReadFile(dir / "000650.png"));
    // -bench's figures count the drawn frames only; the run is one second longer.
    const long long drawn = FramesBefore(0.3f, 10);
    EXPECT_NE(r.text.find("capture: " + std::to_string(drawn + 10) + " frames,"), std::string::npos) << r.text;
    std::string json = ReadFile(dir / "bench.json");
    EXPECT_NE(json.find("{\"entry\": 0, \"frames\": " + std::to_string(drawn) + ","), std::string::npos) << json;
}

TEST(CaptureProgram, ADebugWindowBecomesAPlayableVideo)
{
    BT_REQUIRE_ARCHIVE();
    if (Shell("ffmpeg -version && ffprobe -version").status != 0)
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    fs::path dir = TestDir();
    const std::string file = Quote((dir / "window.mp4").string());
    Result r = Shell(kCapture + "-debug 0 2 0 -fps 10 -video " + file);
    ASSERT_EQ(r.status, 0) << r.text;
    EXPECT_NE(r.text.find("100.0%"), std::string::npos) << "no progress bar: " << r.text;
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename(), "window.mp4") << "an intermediate file is left behind";

    // Every drawn frame, then one second of the last picture, in a form players take.
    const long long frames = FramesBefore(2.0f, 10) + 10;
    std::string probe = Shell("ffprobe -v error -count_frames -of default=noprint_wrappers=1 -show_entries "
                              "stream=codec_type,codec_name,pix_fmt,nb_read_frames,duration:format=duration " +
                              file).text;
    for (std::string want : {"codec_name=h264"s, "pix_fmt=yuv420p"s, "nb_read_frames=" + std::to_string(frames)})
        EXPECT_NE(probe.find(want + "\n"), std::string::npos) << want << probe;
    // The file's, the picture's and (if any) the sound's length all agree.
    int durations = 0;
    for (size_t at = 0; (at = probe.find("duration=", at)) != std::string::npos; at += 9, durations++)
        EXPECT_NEAR(std::stod(probe.substr(at + 9)), frames / 10.0, 0.05) << probe;
    EXPECT_GE(durations, 2) << probe;

    const bool soundtrack = fs::exists("brass_tide.mp3");
    EXPECT_EQ(probe.find("codec_type=audio") != std::string::npos, soundtrack) << probe;
    if (soundtrack) {
        // The music starts with entry 1, on the first frame at or after 1.4545 s
        // (1.5 s at 10 frames a second): before that the sound is silent.
        std::string vol = Shell("ffmpeg -nostdin -i " + file + " -af atrim=0:1.4,volumedetect -vn -f null -").text;
        size_t m = vol.find("max_volume: ");
        ASSERT_NE(m, std::string::npos) << vol;
        EXPECT_LE(std::stod(vol.substr(m + 12)), -60.0) << vol;
    }
}
