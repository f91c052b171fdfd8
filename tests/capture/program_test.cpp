// The capture program as a user runs it: its command line, its failures, the
// files it writes and the frames they hold.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/core.h"
#include "tests/support/visual.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh folder for this test's files.
fs::path TestDir()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(BT_TEST_OUT) / (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Runs capture in cwd with the given arguments (and environment settings).
Result Capture(const fs::path &cwd, const std::string &args, const std::string &env = "")
{
    fs::path out = fs::path(BT_TEST_OUT) / ("run-" + std::to_string(getpid()) + ".out");
    fs::path err = fs::path(BT_TEST_OUT) / ("run-" + std::to_string(getpid()) + ".err");
    std::string cmd = "cd " + Quote(cwd.string()) + " && " + env + " " + Quote(BT_CAPTURE_EXE) + " " + args + " >" +
                      Quote(out.string()) + " 2>" + Quote(err.string());
    Result r;
    int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

// Where the archive (and the soundtrack) lie: the tests' working directory.
fs::path DataDir()
{
    return fs::current_path();
}

struct ShotLine {
    long long frame = -1;
    float demo_time = NAN;
    int entry = -1;
    bool held = false;
};

// The line capture prints for the shot file NNNNNN.png.
ShotLine FindShot(const std::string &out, const std::string &file)
{
    ShotLine s;
    size_t at = out.find("/" + file + ": ");
    if (at == std::string::npos)
        return s;
    std::string line = out.substr(at, out.find('\n', at) - at);
    sscanf(line.c_str() + file.size() + 3, "frame %lld, demo time %f, entry %d", &s.frame, &s.demo_time, &s.entry);
    s.held = line.find("held after the end") != std::string::npos;
    return s;
}

float ClockAfter(long long n, float start = 0.0f)
{
    float t = start;
    for (long long i = 0; i < n; i++)
        t += 0.01f;
    return t;
}

// Frames a window [0, end) at fps draws before the end comes.
long long FramesBefore(float end, int fps)
{
    long long n = 0;
    while (ClockAfter(n * 100 / fps) < end)
        n++;
    return n;
}

std::string Real(float v)
{
    char text[32];
    snprintf(text, sizeof text, "%.9g", (double)v);
    return text;
}

bool HaveFfmpeg()
{
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0 && std::system("ffprobe -version >/dev/null 2>&1") == 0;
}

std::string Shell(const std::string &cmd)
{
    std::string text;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    pclose(p);
    return text;
}

} // namespace

TEST(CaptureProgram, BadOptionsAreRefusedBeforeAnythingStarts)
{
    fs::path dir = TestDir();     // no archive here: the options are checked first
    Result r = Capture(dir, "-fps 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("capture: -fps must be a whole number"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: capture"), std::string::npos);

    r = Capture(dir, "-shot 1 -window");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option '-window'"), std::string::npos) << r.err;

    r = Capture(dir, "-video demo.avi");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("must end in .mp4, .mkv or .mov"), std::string::npos) << r.err;

    r = Capture(dir, "-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("-shot T"), std::string::npos);
}

TEST(CaptureProgram, AMissingArchiveIsReportedNotSilent)
{
    fs::path dir = TestDir();
    Result r = Capture(dir, "-shot 1 -out shots");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open ./brass_tide.zar"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "shots" / "001000.png"));
}

TEST(CaptureProgram, NoGLContextEndsWithStatus1AndTheReason)
{
    fs::path dir = TestDir();
    std::ofstream(dir / "brass_tide.zar") << "not read: the context comes first";
    // The EGL dispatcher then finds no driver at all.
    Result r = Capture(dir, "-shot 1", "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/egl.json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("capture: no offscreen OpenGL context"), std::string::npos) << r.err;
}

TEST(CaptureProgram, TwoRunsWriteTheSameBytes)
{
    BT_REQUIRE_ARCHIVE();
    fs::path dir = TestDir();
    const std::string shots = "-debug 0 9 0 -fps 5 -shot 0 -shot 3 -shot 6.2 -shot 8.5 -out ";
    Result a = Capture(DataDir(), shots + Quote((dir / "a").string()));
    Result b = Capture(DataDir(), shots + Quote((dir / "b").string()));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    for (const char *name : {"000000.png", "003000.png", "006200.png", "008500.png"}) {
        std::string x = ReadFile(dir / "a" / name), y = ReadFile(dir / "b" / name);
        ASSERT_FALSE(x.empty()) << name;
        EXPECT_TRUE(x == y) << name << " differs between two runs";
    }
}

TEST(CaptureProgram, ShotsAtSwitchTimesAreTheSwitchFramesAfterTheLoadingPhase)
{
    BT_REQUIRE_ARCHIVE();
    Timeline_Prepare(&timeline_header, 0);      // the switch times, as the program derives them
    fs::path dir = TestDir();
    const int fps = 10;
    std::string args = "-fps 10 -out " + Quote(dir.string()) + " -shot 0";
    for (int k = 1; k <= 2; k++)
        args += " -shot " + Real(timeline_table[k].start);
    Result r = Capture(DataDir(), args);
    ASSERT_EQ(r.status, 0) << r.err;

    ShotLine first = FindShot(r.out, "000000.png");
    EXPECT_EQ(first.frame, 0) << r.out;
    EXPECT_EQ(first.entry, 0);
    EXPECT_TRUE(fs::exists(dir / "000000.png"));
    for (int k = 1; k <= 2; k++) {
        float start = timeline_table[k].start;
        char name[16];
        snprintf(name, sizeof name, "%06ld.png", std::lround(std::stod(Real(start)) * 1000.0));
        ShotLine s = FindShot(r.out, name);
        // The clock stands for the 880 ticks of the loading phase, then moves
        // 0.01 a tick; the shot is the first frame after the tick that
        // carries demo time to the switch.
        long long moving = 0;
        while (ClockAfter(moving) < start)
            moving++;
        long long ticks = 880 + moving, frame = 0;
        while (frame * 100 / fps < ticks)
            frame++;
        EXPECT_EQ(s.frame, frame) << name << "\n" << r.out;
        EXPECT_EQ(s.entry, k) << name;
        EXPECT_GE(s.demo_time, start - 0.0005f);
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
}

TEST(CaptureProgram, DebugWindowStartsAtItsEntryAndTime)
{
    BT_REQUIRE_ARCHIVE();
    fs::path dir = TestDir();
    // The window's first entry begins at demo time 0 and the clock at START:
    // entry 8 (1.745 s long) is a second old on the first frame.
    Result r = Capture(DataDir(), "-debug 1 3 8 -fps 10 -shot 0 -shot 1.5 -shot 1.8 -out " + Quote(dir.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("BT_x: debug mode.\nBT_x: start: +1.000, end: +3.000, offset: 8;\n"), std::string::npos)
        << r.out;
    ShotLine first = FindShot(r.out, "000000.png");
    EXPECT_EQ(first.frame, 0) << r.out;
    EXPECT_EQ(first.entry, 8);
    EXPECT_EQ(first.demo_time, 1.0f);
    ShotLine later = FindShot(r.out, "001500.png");
    EXPECT_EQ(later.entry, 8);
    EXPECT_EQ(later.frame, FramesBefore(0.5f, 10)) << r.out;
    EXPECT_EQ(FindShot(r.out, "001800.png").entry, 9) << r.out;
}

TEST(CaptureProgram, ShotsDuringTheHoldShowTheLastPictureAndMissedOnesFail)
{
    BT_REQUIRE_ARCHIVE();
    fs::path dir = TestDir();
    Result r = Capture(DataDir(), "-debug 0 0.3 0 -fps 10 -shot 0.2 -shot 0.65 -shot 5 -out " + Quote(dir.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("capture: no frame at demo time 5.000"), std::string::npos) << r.err;
    ShotLine last = FindShot(r.out, "000200.png"), held = FindShot(r.out, "000650.png");
    EXPECT_EQ(last.entry, 0);
    EXPECT_FALSE(last.held);
    EXPECT_TRUE(held.held) << r.out;
    EXPECT_FALSE(fs::exists(dir / "005000.png"));
    // The loading screen stands still, so the held picture is the last drawn one.
    EXPECT_TRUE(ReadFile(dir / "000200.png") == ReadFile(dir / "000650.png"));
}

TEST(CaptureProgram, BenchReportsFrameTimesPerEntry)
{
    BT_REQUIRE_ARCHIVE();
    fs::path dir = TestDir();
    Result r = Capture(DataDir(), "-debug 0 1 0 -fps 10 -bench -out " + Quote(dir.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("entry   frames   mean ms median ms    p99 ms  worst ms\n"), std::string::npos) << r.out;
    std::string json = ReadFile(dir / "bench.json");
    long long frames = FramesBefore(1.0f, 10);
    EXPECT_NE(json.find("{\"entry\": 0, \"frames\": " + std::to_string(frames) + ","), std::string::npos) << json;
    EXPECT_NE(json.find("\"renderer\": "), std::string::npos);
    EXPECT_NE(json.find("\"worst_ms\": "), std::string::npos);
}

TEST(CaptureProgram, ADebugWindowBecomesAPlayableVideo)
{
    BT_REQUIRE_ARCHIVE();
    if (!HaveFfmpeg())
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    fs::path dir = TestDir();
    fs::path file = dir / "window.mp4";
    const int fps = 10;
    Result r = Capture(DataDir(), "-debug 0 2 0 -fps 10 -video " + Quote(file.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file.string() + ".video.mkv")) << "the intermediate file is left behind";
    EXPECT_NE(r.err.find("100.0%"), std::string::npos) << "no progress bar: " << r.err;

    // Every drawn frame, then one second of the last picture.
    long long frames = FramesBefore(2.0f, fps) + fps;
    std::string probe = Shell("ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,pix_fmt,"
                              "nb_read_frames,duration -show_entries format=duration "
                              "-of default=noprint_wrappers=1 " +
                              Quote(file.string()));
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    EXPECT_NE(probe.find("pix_fmt=yuv420p"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=" + std::to_string(frames) + "\n"), std::string::npos)
        << "expected " << frames << " frames:\n" << probe;
    // The file's, the picture's and (if any) the sound's length all agree.
    int durations = 0;
    for (size_t at = probe.find("duration="); at != std::string::npos; at = probe.find("duration=", at + 1)) {
        EXPECT_NEAR(std::stod(probe.substr(at + 9)), (double)frames / fps, 0.05) << probe;
        durations++;
    }
    EXPECT_GE(durations, 2) << probe;

    bool soundtrack = fs::exists(DataDir() / "brass_tide.mp3");
    EXPECT_EQ(probe.find("codec_type=audio") != std::string::npos, soundtrack) << probe;
    if (soundtrack) {
        // The music starts with entry 1, on the first frame at or after 1.4545 s
        // (1.5 s at 10 frames a second): before that the sound is silent.
        std::string vol = Shell("ffmpeg -hide_banner -nostdin -i " + Quote(file.string()) +
                                " -af atrim=0:1.4,volumedetect -vn -f null - 2>&1");
        size_t m = vol.find("max_volume: ");
        ASSERT_NE(m, std::string::npos) << vol;
        EXPECT_LE(std::stod(vol.substr(m + 12)), -60.0) << vol;
    }
}
