// What a full-screen run shows on a screen other than 640x480: the screen
// read from X, its size asked of the X server, and the picture measured
// against a 640x480 frame scaled up with its aspect kept. Shared by the
// full-screen tests of player-linux and player-win32, so that both builds
// are held to the same figures.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace fullscreen {

// A 16:9 screen: a 4:3 picture fills its height, 960 pixels wide, with a
// black bar of 160 pixels at either side.
constexpr int kScreenW = 1280, kScreenH = 720;
constexpr int kPictureW = 960, kBarW = (kScreenW - kPictureW) / 2;
constexpr int kFrameW = 640, kFrameH = 480;
// The GL's linear filter weighs texels in fixed point (llvmpipe: 8 bits), so
// a scaled pixel may lie a level or two from the exact blend; a shift of the
// picture by one pixel or a different filter gives tens of levels at edges.
constexpr double kTolerance = 2.0;

// The X server's screen size as "W H", asked of the server now (a mode
// switch changes it); empty when the server cannot be reached.
inline std::string ScreenSize(const std::string &display)
{
    Display *x = XOpenDisplay(display.c_str());
    if (!x)
        return "";
    Window root;
    int px, py;
    unsigned w = 0, h = 0, border, depth;
    XGetGeometry(x, DefaultRootWindow(x), &root, &px, &py, &w, &h, &border, &depth);
    XCloseDisplay(x);
    return std::to_string(w) + " " + std::to_string(h);
}

// The whole screen as X shows it, as raw RGB with the top row first; empty
// when it cannot be read. Read in the test process: starting a grabbing
// program could take longer than the one-second hold on a busy machine.
// The tests' Xvfb screens are 24-bit TrueColor.
inline std::string Grab(const std::string &display)
{
    Display *x = XOpenDisplay(display.c_str());
    if (!x)
        return "";
    std::string rgb;
    XImage *image = XGetImage(x, DefaultRootWindow(x), 0, 0, kScreenW, kScreenH, AllPlanes, ZPixmap);
    if (image) {
        rgb.resize((size_t)kScreenW * kScreenH * 3);
        for (int y = 0; y < kScreenH; y++)
            for (int px = 0; px < kScreenW; px++) {
                unsigned long p = XGetPixel(image, px, y);
                char *out = &rgb[((size_t)y * kScreenW + px) * 3];
                out[0] = (char)((p & image->red_mask) >> 16);
                out[1] = (char)((p & image->green_mask) >> 8);
                out[2] = (char)(p & image->blue_mask);
            }
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    return rgb;
}

struct Letterbox {
    int left = 0, right = 0;    // black columns (every pixel 0, 0, 0) at the left and the right edge
    double max_diff = 0;        // between the rest and the frame scaled into it, in levels
    long over = 0;              // channels of the rest off by more than kTolerance
    bool compared = false;      // the bars left a 960-pixel picture to compare
};

// Where a screen sample at pixel centre i of n_out falls in a row of n_in
// texels, as a glBlitFramebuffer with GL_LINEAR takes it: the two texels
// (clamped to the edge) and the weight of the second.
struct Tap {
    int a, b;
    double w;
};
inline Tap LinearTap(int i, int n_out, int n_in)
{
    double u = (i + 0.5) * n_in / n_out - 0.5;
    int a = (int)std::floor(u);
    double w = u - a;
    auto clamp = [n_in](int k) { return k < 0 ? 0 : (k >= n_in ? n_in - 1 : k); };
    return {clamp(a), clamp(a + 1), w};
}

// screen: kScreenW x kScreenH RGB; frame: 640x480 RGB, both top row first.
inline Letterbox Measure(const std::string &screen, const std::vector<uint8_t> &frame)
{
    Letterbox m;
    if (screen.size() != (size_t)kScreenW * kScreenH * 3 || frame.size() != (size_t)kFrameW * kFrameH * 3)
        return m;
    auto black_column = [&](int x) {
        for (int y = 0; y < kScreenH; y++) {
            const char *p = &screen[((size_t)y * kScreenW + x) * 3];
            if (p[0] || p[1] || p[2])
                return false;
        }
        return true;
    };
    while (m.left < kScreenW && black_column(m.left))
        m.left++;
    while (m.right < kScreenW - m.left && black_column(kScreenW - 1 - m.right))
        m.right++;
    if (kScreenW - m.left - m.right != kPictureW)
        return m;
    m.compared = true;
    // Scaling is symmetric about the centre, so rows counted from the top
    // (as grabbed) blend the same texels as the GL's rows from the bottom.
    std::vector<Tap> cols, rows;
    for (int x = 0; x < kPictureW; x++)
        cols.push_back(LinearTap(x, kPictureW, kFrameW));
    for (int y = 0; y < kScreenH; y++)
        rows.push_back(LinearTap(y, kScreenH, kFrameH));
    auto texel = [&](int x, int y, int c) { return (double)frame[((size_t)y * kFrameW + x) * 3 + c]; };
    for (int y = 0; y < kScreenH; y++) {
        const Tap &r = rows[y];
        for (int x = 0; x < kPictureW; x++) {
            const Tap &t = cols[x];
            for (int c = 0; c < 3; c++) {
                double top = texel(t.a, r.a, c) * (1 - t.w) + texel(t.b, r.a, c) * t.w;
                double bottom = texel(t.a, r.b, c) * (1 - t.w) + texel(t.b, r.b, c) * t.w;
                double want = top * (1 - r.w) + bottom * r.w;
                double got = (uint8_t)screen[((size_t)y * kScreenW + m.left + x) * 3 + c];
                double d = std::fabs(got - want);
                if (d > m.max_diff)
                    m.max_diff = d;
                if (d > kTolerance)
                    m.over++;
            }
        }
    }
    return m;
}

// What both builds' tests require of the screen grabbed in the hold: the
// bars, and the frame scaled between them.
inline void ExpectLetterboxed(const std::string &screen, const std::vector<uint8_t> &frame)
{
    Letterbox m = Measure(screen, frame);
    EXPECT_EQ(m.left, kBarW) << "black columns at the left";
    EXPECT_EQ(m.right, kBarW) << "black columns at the right";
    ASSERT_TRUE(m.compared) << "no 960-pixel picture between the bars";
    EXPECT_EQ(m.over, 0) << "picture channels off the scaled frame by more than " << kTolerance
                         << " levels; the largest difference is " << m.max_diff;
    ::testing::Test::RecordProperty("max_diff", std::to_string(m.max_diff));
}

} // namespace fullscreen
