// player-linux started as a user starts it, full screen, on a 16:9 screen:
// the desktop's mode stays, and the 640x480 picture fills the screen's
// height, scaled with its aspect kept between black bars.
//
// The SDL 1.2 layer asks the window manager for a full-screen window; with
// none, X leaves the window at 640x480 in the middle while the GL scales
// for the whole screen, which no desktop shows. So the screen gets a small
// window manager of its own, evilwm (scripts/install-deps.sh installs it).
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "player_harness.h"
#include "fullscreen_check.h"
#include "tests/support/visual.h"

namespace {

using e2e::Clock;
using e2e::ReadFile;
using e2e::Result;

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

class FullScreen : public e2e::Player {
protected:
    static void SetUpTestSuite()
    {
        e2e::Display::Start("1280x720x24");
        wm_ = fork();
        if (wm_ == 0) {
            setenv("DISPLAY", e2e::Display::Name().c_str(), 1);
            // X's built-in font: the test machine has no font packages.
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
    static inline pid_t wm_ = -1;
};

// The screen during the one-second hold after a -debug run inside entry 0
// (the loading screen) against the capture tool's last frame before its end.
TEST_F(FullScreen, KeepsTheModeAndScalesThePictureBetweenBars)
{
    ASSERT_TRUE(WindowManagerRunning(e2e::Display::Name())) << "evilwm did not start";
    ASSERT_EQ(fullscreen::ScreenSize(e2e::Display::Name()), "1280 720");
    BT_REQUIRE_ARCHIVE();
    visual::Frame want;
    ASSERT_TRUE(visual::StartDebug(0, 1, 0));
    ASSERT_TRUE(visual::CaptureAt(0.95f, &want));
    ASSERT_EQ(want.entry, 0);

    std::string screen, size_during;
    Clock::time_point grabbed, started = Clock::now();
    Result r = Run({"-silent", "-debug", "0", "1", "0"}, {}, 60, [&](pid_t) {
        auto until = Clock::now() + std::chrono::seconds(50);
        while (ReadFile(dir_ + "/stdout.txt").find("BT_x: end of demo time.") == std::string::npos) {
            if (Clock::now() > until)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        screen = fullscreen::Grab(e2e::Display::Name());
        grabbed = Clock::now();
        size_during = fullscreen::ScreenSize(e2e::Display::Name());
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    ASSERT_NE(grabbed, Clock::time_point()) << "the run never reached its end";
    ASSERT_FALSE(screen.empty()) << "the screen could not be read";
    EXPECT_LT(grabbed, started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(r.seconds)))
        << "the grab ended after the program: it may show no window";
    EXPECT_EQ(size_during, "1280 720") << "the display's mode changed";

    fullscreen::ExpectLetterboxed(screen, want.rgb);
}

} // namespace
