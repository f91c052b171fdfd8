// What the loading screen and the opening (entries 0 to 3) must show at
// known moments, from their clear colours, overlays and haze: facts that hold
// whatever the loading picture looks like. Each TEST is one run.
#include <gtest/gtest.h>

#include <cmath>

#include "core/core.h"
#include "tests/support/visual.h"

using visual::Frame;
using visual::kBlack;
using visual::kPeach;
using visual::Rect;
using visual::Rgb;

namespace {

constexpr Rect kScreen{0, 0, 640, 480};

// Colour c at alpha a over the pixel p, as the blend writes it.
Rgb Over(Rgb p, double r, double g, double b, double a)
{
    auto mix = [a](int dst, double src) { return (int)std::lround(a * src * 255.0 + (1.0 - a) * dst); };
    return Rgb{mix(p.r, r), mix(p.g, g), mix(p.b, b)};
}

} // namespace

TEST(Opening, LoadingMarksFillOneByOneAsTheLoaderWorks)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(0);
    ASSERT_TRUE(visual::StartNormal(10));
    Frame none, three;
    ASSERT_TRUE(visual::CaptureFrame(10, &none));       // 1 s in: no mark yet
    ASSERT_TRUE(visual::CaptureFrame(36, &three));      // 3.6 s in: marks 0 to 2
    ASSERT_EQ(three.entry, 0);
    for (int k = 0; k < 8; k++) {
        // The mark's centre lies in the hollow frame's 20 x 24 hole; 12 units
        // right of it lies the frame's ring, which a filled mark leaves bare.
        int x = 20 + 40 * k, y = 444;
        if (k < 3) {
            EXPECT_TRUE(visual::ColourNear(three, x, y, Over(none.At(x, y), 0.9, 0.7, 0.3, 0.4), 2)) << "mark " << k;
            EXPECT_TRUE(visual::ColourNear(none, x + 12, y, Over(three.At(x + 12, y), 0.9, 0.7, 0.3, 0.4), 2))
                << "ring of hollow mark " << k;
        } else {
            EXPECT_TRUE(visual::ColourNear(three, x, y, none.At(x, y), 0)) << "mark " << k << " should be hollow";
            EXPECT_TRUE(visual::ColourNear(three, x + 12, y, none.At(x + 12, y), 0)) << "ring of mark " << k;
        }
    }
}

TEST(Opening, FirstWaveSinksIntoThePeachHazeWhileTheSecondStays)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(0);
    BT_REQUIRE_SCENE(1);
    ASSERT_TRUE(visual::StartDebug(0.0f, 8.0f, 0, 10));
    Frame loading, sunk;
    ASSERT_TRUE(visual::CaptureAt(0.0f, &loading));
    ASSERT_TRUE(visual::CaptureAt(4.6f, &sunk));        // near the end of entry 1: a about -340
    ASSERT_EQ(sunk.entry, 1);
    // Tiles (9, 7) and (10, 8) sink first. Near the screen's centre no
    // standing column's wall reaches over them, so 17 haze planes lie in
    // front of them and nothing else: pure peach.
    EXPECT_TRUE(visual::ColourNear(sunk, 300, 236, kPeach, 2));
    EXPECT_TRUE(visual::ColourNear(sunk, 330, 262, kPeach, 2));
    // Tile (10, 7) stands at z = 0, in front of every haze plane: still the
    // loading picture (its face is one unit smaller, so compare means).
    Rect standing{324, 228, 348, 252};
    visual::RegionStats before = visual::Stats(loading, standing), after = visual::Stats(sunk, standing);
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(after.mean[c], before.mean[c], 12.0) << "channel " << c;
}

TEST(Opening, SecondWaveSinksLeavingOnlyHaze)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(0);
    BT_REQUIRE_SCENE(1);
    BT_REQUIRE_SCENE(2);
    ASSERT_TRUE(visual::StartDebug(0.0f, 8.0f, 0, 10));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(7.85f, &f));          // near the end of entry 2
    ASSERT_EQ(f.entry, 2);
    EXPECT_TRUE(visual::RegionIs(f, kScreen, kPeach, 2));
}

TEST(Opening, BlackBarsCloseInUntilThreePeachLinesAreLeft)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(3);
    // The bars' setup sets everything they need, so their entry can open
    // the window.
    ASSERT_TRUE(visual::StartDebug(0.0f, 2.4f, 3, 20));
    Frame f;
    // The first frame was cleared before the setup set the peach clear
    // colour; the second has bars too thin to cover a pixel centre.
    ASSERT_TRUE(visual::CaptureFrame(1, &f));
    ASSERT_EQ(f.entry, 3);
    ASSERT_LT(chan.a, 0.5f);
    EXPECT_TRUE(visual::RegionIs(f, kScreen, kPeach, 2));

    // Halfway: strips 1 and 3 grow from x = 0 and 320, strips 2 and 4 from
    // x = 320 and 640 leftwards.
    ASSERT_TRUE(visual::CaptureAt(1.5f, &f));
    const int a = (int)chan.a;
    ASSERT_GT(a, 40);
    ASSERT_LT(a, 280);
    for (int y : {40, 320}) {
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, y, a - 1, y + 1}, kBlack, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{a + 2, y, 320, y + 1}, kPeach, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{320, y, 320 + a - 1, y + 1}, kBlack, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{320 + a + 2, y, 640, y + 1}, kPeach, 2));
    }
    for (int y : {160, 440}) {
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, y, 320 - a - 2, y + 1}, kPeach, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{320 - a + 1, y, 320, y + 1}, kBlack, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{320, y, 640 - a - 2, y + 1}, kPeach, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{640 - a + 1, y, 640, y + 1}, kBlack, 2));
    }

    // Near the end a is past 320: only the gaps 80-82, 239-241 and 398-400 stay peach.
    ASSERT_TRUE(visual::CaptureAt(2.26f, &f));
    ASSERT_EQ(f.entry, 3);
    ASSERT_GE(chan.a, 320.0f);
    const int gaps[3] = {80, 239, 398};
    int from = 0;
    for (int gap : gaps) {
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, from, 640, gap}, kBlack, 2));
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, gap, 640, gap + 2}, kPeach, 2));
        from = gap + 2;
    }
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, from, 640, 480}, kBlack, 2));
}
