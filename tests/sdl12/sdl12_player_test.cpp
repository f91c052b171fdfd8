// player-linux-sdl2 (the player on win32/sdl12 over Debian's SDL2) against
// player-linux (on the system's SDL 1.2): the same trace, status and
// screen, run after run, so that the Windows build's SDL layer is held to
// the Linux build's behaviour natively, not only under wine.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

// The end-to-end harness runs the program named by BT_PLAYER: here
// whichever of the two players a test sets.
static const char *const kLinux = BT_PLAYER_LINUX;
static const char *const kSdl2 = BT_PLAYER_SDL2;
static const char *bt_player_now = kLinux;
#define BT_PLAYER bt_player_now
#include "tests/e2e/fullscreen_check.h"
#include "tests/e2e/player_harness.h"
#include "tests/support/visual.h"

namespace {

using e2e::Clock;
using e2e::ReadFile;
using e2e::Result;

class BothPlayers : public e2e::Player {
protected:
    // One run of each player in a fresh folder each; `during` as for Run.
    std::pair<Result, Result> RunBoth(const std::vector<std::string> &args, const std::vector<std::string> &env,
                                      double timeout, const std::function<void(pid_t)> &during = nullptr,
                                      bool archive = true)
    {
        std::pair<Result, Result> r;
        for (const char *player : {kLinux, kSdl2}) {
            TearDown();
            SetUp();
            if (!archive)
                unlink((dir_ + "/brass_tide.zar").c_str());
            bt_player_now = player;
            (player == kSdl2 ? r.second : r.first) = Run(args, env, timeout, during);
        }
        return r;
    }
};

// The NaN in the trace, and 3.0625, which lies between two printed values.
TEST_F(BothPlayers, DebugTraceIsTheSameByteForByte)
{
    for (const std::vector<std::string> &w : {std::vector<std::string>{"0", "0.5", "0"}, {"2.5", "3.0625", "10"}}) {
        SCOPED_TRACE("-debug " + w[0] + " " + w[1] + " " + w[2]);
        auto [linux_run, sdl2_run] = RunBoth({"-window", "-silent", "-debug", w[0], w[1], w[2]}, {}, 60);
        ASSERT_EQ(linux_run.status, 0);
        ASSERT_NE(linux_run.out.find("nan"), std::string::npos) << "the trace should hold a NaN";
        EXPECT_EQ(sdl2_run.status, 0);
        EXPECT_EQ(sdl2_run.out, linux_run.out);
        EXPECT_EQ(sdl2_run.err, "");
    }
}

TEST_F(BothPlayers, MissingArchiveEndsTheSame)
{
    auto [linux_run, sdl2_run] = RunBoth({"-window", "-silent"}, {}, 30, nullptr, false);
    ASSERT_EQ(linux_run.status, 1);
    EXPECT_EQ(sdl2_run.status, 1);
    EXPECT_EQ(sdl2_run.out, linux_run.out);
}

// Escape reaches the player through the layer's 1.2 key events, and keys
// other than Escape do not end it.
TEST_F(BothPlayers, EscapeEndsTheRunOtherKeysDoNot)
{
    bt_player_now = kSdl2;
    Clock::time_point pressed;
    Result r = Run({"-window", "-silent", "-debug", "0", "100", "0"}, {}, 60, [&](pid_t pid) {
        ASSERT_TRUE(WaitForWindow(30));
        PressKey("a");
        PressKey("F1");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "a key other than Escape ended the demo";
        pressed = Clock::now();
        PressKey("Escape");
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("BT_x: end of demo time."), std::string::npos);
    EXPECT_EQ(r.err, "");
}

// True once a window manager has announced itself on the root window.
bool WindowManagerRunning(const std::string &display)
{
    Display *x = XOpenDisplay(display.c_str());
    if (!x)
        return false;
    Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool found = XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type, &format,
                                    &count, &after, &data) == Success &&
                 count == 1;
    if (data)
        XFree(data);
    XCloseDisplay(x);
    return found;
}

// Full screen on a 16:9 screen with a window manager (evilwm, as the
// full-screen test of player-linux has it).
class BothFullScreen : public BothPlayers {
protected:
    static void SetUpTestSuite()
    {
        e2e::Display::Start("1280x720x24");
        wm_ = fork();
        if (wm_ == 0) {
            setenv("DISPLAY", e2e::Display::Name().c_str(), 1);
            execlp("evilwm", "evilwm", "-fn", "fixed", (char *)nullptr);
            _exit(127);
        }
        auto until = Clock::now() + std::chrono::seconds(20);
        while (!WindowManagerRunning(e2e::Display::Name()) && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    static void TearDownTestSuite()
    {
        if (wm_ > 0) {
            kill(wm_, SIGTERM);
            waitpid(wm_, nullptr, 0);
        }
        e2e::Display::Stop();
    }

    struct Shown {
        std::string screen, size_during;
        Result run;
    };
    // The screen during the one-second hold after a -debug run inside the
    // loading screen, for each player.
    std::pair<Shown, Shown> Show(const std::vector<std::string> &env)
    {
        std::pair<Shown, Shown> shown;
        Shown *now = &shown.first;
        auto during = [&](pid_t) {
            auto until = Clock::now() + std::chrono::seconds(50);
            while (ReadFile(dir_ + "/stdout.txt").find("BT_x: end of demo time.") == std::string::npos) {
                if (Clock::now() > until)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            now->screen = fullscreen::Grab(e2e::Display::Name());
            now->size_during = fullscreen::ScreenSize(e2e::Display::Name());
        };
        for (const char *player : {kLinux, kSdl2}) {
            now = player == kLinux ? &shown.first : &shown.second;
            TearDown();
            SetUp();
            bt_player_now = player;
            now->run = Run({"-silent", "-debug", "0", "1", "0"}, env, 60, during);
        }
        return shown;
    }
    static inline pid_t wm_ = -1;
};

TEST_F(BothFullScreen, SameScreenAsPlayerLinuxBetweenTheSameBars)
{
    ASSERT_TRUE(WindowManagerRunning(e2e::Display::Name())) << "evilwm did not start";
    ASSERT_TRUE(visual::ArchivePresent());
    visual::Frame want;
    ASSERT_TRUE(visual::StartDebug(0, 1, 0));
    ASSERT_TRUE(visual::CaptureAt(0.95f, &want));

    auto [linux_shown, sdl2_shown] = Show({});
    ASSERT_EQ(linux_shown.run.status, 0);
    EXPECT_EQ(sdl2_shown.run.status, 0);
    EXPECT_EQ(sdl2_shown.size_during, "1280 720") << "the display's mode changed";
    ASSERT_FALSE(sdl2_shown.screen.empty()) << "the screen could not be read";
    fullscreen::ExpectLetterboxed(sdl2_shown.screen, want.rgb);
    EXPECT_TRUE(sdl2_shown.screen == linux_shown.screen) << "the two players' screens differ";
}

// The viewer's choice of sharp pixels reaches both layers alike: each
// picture pixel a block of whole screen pixels, the same on both.
TEST_F(BothFullScreen, NearestScalingAsPlayerLinux)
{
    ASSERT_TRUE(WindowManagerRunning(e2e::Display::Name())) << "evilwm did not start";
    auto [linux_shown, sdl2_shown] = Show({"SDL12COMPAT_SCALE_METHOD=nearest"});
    ASSERT_EQ(linux_shown.run.status, 0);
    EXPECT_EQ(sdl2_shown.run.status, 0);
    ASSERT_FALSE(sdl2_shown.screen.empty()) << "the screen could not be read";
    fullscreen::Letterbox m = fullscreen::Measure(sdl2_shown.screen, std::vector<uint8_t>(640 * 480 * 3));
    EXPECT_EQ(m.left, fullscreen::kBarW);
    EXPECT_EQ(m.right, fullscreen::kBarW);
    EXPECT_TRUE(sdl2_shown.screen == linux_shown.screen) << "the two players' screens differ";
}

} // namespace
