// Visual test support: play the demo offscreen in the test process and look
// at its pixels.
//
// Coordinates are the scenes' own pixel space: x from the left, y from the
// BOTTOM of the 640x480 screen (as glOrtho(0, 640, 0, 480) and the GL's
// window coordinates have it), so numbers from a scene's description can be
// used as they stand. Rectangles are half-open: [x0, x1) x [y0, y1).
//
// The demo's state is process-wide and its scene inits run once, so a test
// process plays one run: call StartDebug or StartNormal once, then capture
// frames at increasing times. CTest runs every test of a gtest_discover_tests
// target in a process of its own, so each TEST may start its own run.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zar.h"

namespace visual {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// Peach, the opening's clear colour (1.0, 0.8, 0.7) as the GL writes it.
constexpr Rgb kPeach{255, 204, 178};
constexpr Rgb kBlack{0, 0, 0};

struct Rect {
    int x0, y0, x1, y1;
};

struct Frame {
    std::vector<uint8_t> rgb;       // 640x480, top row first (as in the PNG files)
    int64_t index = 0;              // frame number in the run
    float demo_time = 0;            // global demo time it was drawn at
    int entry = -1;                 // current timeline entry
    bool held = false;              // shown during the one-second hold after the end
    Rgb At(int x, int y) const;     // y from the bottom
};

// The archive the player reads, ./brass_tide.zar, is in the working directory.
bool ArchivePresent();
// The timeline entry names a render routine (its scene has been written).
bool SceneLanded(int entry);

// Starts a -debug run (entries offset..41 from demo time start to end) or a
// normal run with the loading phase, at fps frames a second. Fails the test
// (and returns false) when no run can be started.
bool StartDebug(float start, float end, int offset, int fps = 20);
bool StartNormal(int fps = 20);

// Renders on to the first frame whose global demo time is >= t.
bool CaptureAt(float t, Frame *frame);
// Renders on to frame number index (the run's wall clock: index/fps seconds).
bool CaptureFrame(int64_t index, Frame *frame);

struct RegionStats {
    long pixels = 0;
    double mean[3] = {0, 0, 0};
    Rgb min, max;
};
RegionStats Stats(const Frame &frame, Rect rect);
// Share (0 to 1) of the rectangle's pixels within tol of colour in every channel.
double ShareNear(const Frame &frame, Rect rect, Rgb colour, int tol);

// A picture of the demo's archive, read with the player's own reader and
// freed with the object, for checking that the screen shows it one to one.
class Picture {
public:
    explicit Picture(const char *name);
    ~Picture();
    Picture(const Picture &) = delete;
    Picture &operator=(const Picture &) = delete;
    const zar_pic_t &record() const { return *pic_; }
    int Width() const;
    int Height() const;
    // Pixel (x, y) of the whole picture, y from its bottom edge (tile row 0
    // lies lowest, and each tile's first stored row is its top).
    Rgb At(int x, int y) const;

private:
    zar_pic_t *pic_;
};

// Pixels of rect (screen coordinates) that differ from the picture placed
// with its bottom-left corner at (x0, y0) on the screen.
long Mismatches(const Frame &frame, const Picture &picture, int x0, int y0, Rect rect);

// Assertions with messages that say where and what was found.
::testing::AssertionResult ColourNear(const Frame &frame, int x, int y, Rgb want, int tol);
// Every pixel of the rectangle within tol of want.
::testing::AssertionResult RegionIs(const Frame &frame, Rect rect, Rgb want, int tol);

// Prints (r, g, b) in assertion messages.
std::ostream &operator<<(std::ostream &out, const Rgb &c);

} // namespace visual

// Skips the current test, saying why, when the generated archive or the
// scene an entry needs is not there yet.
#define BT_REQUIRE_ARCHIVE()                                                                           \
    do {                                                                                               \
        if (!visual::ArchivePresent())                                                                 \
            GTEST_SKIP() << "needs ./brass_tide.zar in the working directory (the content build "      \
                            "generates it)";                                                           \
    } while (0)
#define BT_REQUIRE_SCENE(entry)                                                                        \
    do {                                                                                               \
        if (!visual::SceneLanded(entry))                                                               \
            GTEST_SKIP() << "timeline entry " << (entry) << " has no render routine yet";             \
    } while (0)
