// The player as a user meets it: started under a virtual X server, with its
// trace, its exit status, the keyboard and the window manager's close request,
// and SDL's disk audio driver standing in for a sound card.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "player_harness.h"
#include "tests/archive/archive_builder.h"

namespace {

using e2e::Clock;
using e2e::Display;
using e2e::Exists;
using e2e::LoudestSample;
using e2e::Player;
using e2e::ReadFile;
using e2e::Result;
using e2e::Shell;

std::string ExpectedPrepareTrace(int offset)
{
    // The derivation trace of the shipped table, as the player prints it.
    std::string path = std::string(BT_SOURCE_DIR) + "/tests/e2e/trace_offset" + std::to_string(offset) + ".txt";
    return ReadFile(path);
}

TEST_F(Player, DebugRunPrintsTheTraceAndEndsByDemoTime)
{
    Result r = Run({"-window", "-silent", "-debug", "0", "0.5", "0"}, {}, 30);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\nBT_x: debug mode.\n"
                     "BT_x: start: +0.000, end: +0.500, offset: 0;\n" +
                         ExpectedPrepareTrace(0) + "BT_x: end of demo time.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_GE(r.seconds, 1.0);   // the last picture is held for a second
}

TEST_F(Player, DebugWindowPassesEveryEntryAndEndsByEffects)
{
    // Starting at 300 s every entry up to 41 is passed one per frame, each
    // with its setup and one render; entry 41 then plays to its end.
    Result r = Run({"-window", "-silent", "-debug", "300", "400", "0"}, {}, 60);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::string line;
    int switches = 0;
    float last = 0, into_41 = 0;
    std::vector<std::string> tail;
    while (std::getline(lines, line)) {
        float t;
        char extra;
        if (sscanf(line.c_str(), "%f%c", &t, &extra) == 1 && (line[0] == '+' || line[0] == '-')) {
            switches++;
            into_41 = last;
            last = t;
        }
        tail.push_back(line);
    }
    EXPECT_EQ(switches, 42);   // 41 switches and the one that finds no entry left
    EXPECT_GE(last, 309.36f);
    // Entry 41 ends at its end. The demo clock keeps real time, so where
    // passing the others one per frame took longer than that (a sanitizer
    // build on a loaded machine: 12 to 26 s), it ends at the next frame.
    EXPECT_LT(last, std::max(309.6f, into_41 + 1.0f)) << "entered entry 41 at " << into_41;
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.back(), "BT_x: end of effects.");
}

TEST_F(Player, EscapeDuringLoadingEndsAtOnce)
{
    Clock::time_point pressed;
    Result r = Run({"-window", "-silent"}, {}, 60, [&](pid_t) {
        ASSERT_TRUE(WaitForWindow(40));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pressed = Clock::now();
        PressKey("Escape");
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\n");
    // Neither the loader's 8.8 s nor the one-second hold are waited for.
    EXPECT_LT(r.seconds, 8.0);
}

TEST_F(Player, OtherKeysDoNothingAndWindowCloseQuits)
{
    Result r = Run({"-window", "-silent", "-debug", "0", "100", "0"}, {}, 30, [&](pid_t pid) {
        ASSERT_TRUE(WaitForWindow(20));
        PressKey("a");
        PressKey("space");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "a key other than Escape ended the demo";
        EXPECT_EQ(Shell(BT_X_CLOSE " brass_tide"), 0);
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.seconds, 15.0);
}

TEST_F(Player, MissingSoundtrackStillPlays)
{
    Result r = Run({"-window", "-debug", "0", "2", "0"},
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir_ + "/audio.raw"}, 30);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("BT_x: end of demo time.\n"), std::string::npos);
}

TEST_F(Player, SilentModeNeverOpensTheSoundDevice)
{
    Link("brass_tide.mp3");
    Result r = Run({"-window", "-silent", "-debug", "0", "2", "0"},
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir_ + "/audio.raw"}, 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(Exists(dir_ + "/audio.raw"));
}

TEST_F(Player, NoSoundDeviceIsAFatalStartError)
{
    Result r = Run({"-window"}, {"SDL_AUDIODRIVER=no-such-driver"}, 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nTARN_PLAYER: Error initializing output device.\n");
}

TEST_F(Player, MissingArchiveEndsSilentlyWithStatus1)
{
    unlink((dir_ + "/brass_tide.zar").c_str());
    Result r = Run({"-window", "-silent"}, {}, 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\n");
}

// A normal start: the loading phase, then the opening with the music. Runs
// the loader thread, the timer thread and the sound threads together.
TEST_F(Player, NormalStartLoadsThenStartsTheMusicWithTheOpening)
{
    Link("brass_tide.mp3");
    std::string raw = dir_ + "/audio.raw";
    Result r = Run({"-window"}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw}, 40, [&](pid_t) {
        ASSERT_TRUE(WaitForWindow(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(12500));
        PressKey("Escape");
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\n");
    // 44.1 kHz stereo 16-bit: silence through the loading phase (8.8 s) and
    // entry 0 (1.455 s), sound once entry 1 has begun.
    std::string pcm = ReadFile(raw);
    const size_t per_second = 44100 * 4;
    ASSERT_GT(pcm.size(), per_second * 11) << "the sound device was not fed for the whole run";
    EXPECT_EQ(LoudestSample(pcm, 0, per_second * 9), 0) << "music before the opening";
    EXPECT_GT(LoudestSample(pcm, per_second * 11, pcm.size()), 1000) << "no music after the opening began";
}

// The shipped archive with one entry's payload replaced, written as given
// (the archive tool would refuse it).
void WriteArchiveWith(const std::string &path, const std::string &name, uint32_t type, const zartest::Bytes &payload)
{
    const std::string shipped = ReadFile(BT_BUILD_DIR "/brass_tide.zar");
    const zartest::Bytes out = zartest::ReplaceEntry({shipped.begin(), shipped.end()}, name, type, payload);
    unlink(path.c_str());
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fwrite(out.data(), 1, out.size(), f), out.size());
    fclose(f);
}

// Inputs that once hung the player: each now ends it at once with status 1
// and the line of the routine that refused it. The timeouts fail a hang.
TEST_F(Player, DamagedInputsEndTheRunWithTheirLine)
{
    const std::string archive = dir_ + "/brass_tide.zar";
    // A FIFO waits for a writer when it is opened for reading.
    unlink(archive.c_str());
    ASSERT_EQ(mkfifo(archive.c_str(), 0600), 0);
    Result r = Run({"-window", "-silent"}, {}, 20);
    ASSERT_FALSE(r.timed_out) << "a FIFO archive";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\n");

    // Four billion tiles of no pixels need no payload; the logo's list would
    // never be finished.
    WriteArchiveWith(archive, "logo", 16, zartest::Words({0xffffffffu, 1, 0, 0}));
    r = Run({"-window", "-silent", "-debug", "0", "20", "4"}, {}, 20);
    ASSERT_FALSE(r.timed_out) << "a picture of empty tiles";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.rfind("BT_x: start:")),
              "BT_x: start: +0.000, end: +20.000, offset: 4;\nZAR_ReadPic: FATAL_ERROR: Picture tiles have no pixels.\n");

    // From 2^18 s away from 0 the clock's 10 ms steps change nothing.
    unlink(archive.c_str());
    Link("brass_tide.zar");
    r = Run({"-window", "-silent", "-debug", "-1e6", "10", "0"}, {}, 20);
    ASSERT_FALSE(r.timed_out) << "a start of -1e6";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\nBT_x: debug mode.\n"
                     "BT_x: debug start -1000000.000 is outside -10000 to +10000.\n");
    EXPECT_EQ(r.err, "");
}

// An archive cut short fails an init on the loader thread while the main
// thread draws the loading screen. The exit from that thread once hung the
// player in the GL's teardown (a race: not every run hung), so it is run
// several times; each must end at once with the reader's line.
TEST_F(Player, DamagedArchiveEndsANormalStartFromTheLoaderThread)
{
    const std::string archive = dir_ + "/brass_tide.zar";
    std::vector<char> bytes;
    FILE *f = fopen(BT_BUILD_DIR "/brass_tide.zar", "rb");
    ASSERT_NE(f, nullptr);
    for (int c; (c = fgetc(f)) != EOF;)
        bytes.push_back((char)c);
    fclose(f);
    ASSERT_GT(bytes.size(), 300000u);
    unlink(archive.c_str());
    f = fopen(archive.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(bytes.data(), 1, 300000, f), 300000u);
    fclose(f);
    for (int run = 0; run < 5; run++) {
        Result r = Run({"-window", "-silent"}, {}, 30);
        ASSERT_FALSE(r.timed_out) << "run " << run;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\nZAR_Read: FATAL_ERROR: Drive access error.\n");
    }
}

// The X server going away while the player runs (killed, or crashed): the
// player ends at once with status 1 instead of waiting for ever on the dead
// connection. Its own suite, since each run kills the suite's server; the
// next run starts a fresh one.
class LostDisplay : public Player {};

TEST_F(LostDisplay, EndsThePlayerAtOnceWithStatus1)
{
    const std::vector<std::vector<std::string>> runs = {
        {"-window", "-silent"},                          // loading, the loader thread at work
        {"-window", "-silent", "-debug", "0", "100", "4"}, // a scene playing
    };
    for (const std::vector<std::string> &args : runs) {
        Display::Start();
        Clock::time_point killed{};
        Result r = Run(args, {}, 30, [&](pid_t) {
            ASSERT_TRUE(WaitForWindow(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            killed = Clock::now();
            Display::Kill();
        });
        const double after = std::chrono::duration<double>(Clock::now() - killed).count();
        std::printf("%s: ended %.3f s after the display went away, status %d\n", args.back().c_str(), after, r.status);
        ASSERT_FALSE(r.timed_out) << "the player hung after its display went away: " << args.size();
        EXPECT_EQ(r.status, 1);
        EXPECT_LT(after, 2.0) << "the player took that long to end";
        const std::string line = "X11: FATAL_ERROR: Display connection lost.\n";
        ASSERT_GE(r.out.size(), line.size()) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - line.size()), line);
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
