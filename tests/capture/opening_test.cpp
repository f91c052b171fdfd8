// The opening's bars through the capture pipeline with the shipped archive:
// facts that follow from the clear colour and the bars whatever the loading
// picture looks like. (The marks and the two waves are checked tile by tile
// with a picture of known colours in the scene tests.) Each TEST is one run.
#include <gtest/gtest.h>

#include "core/core.h"
#include "tests/support/visual.h"

using visual::Frame;
using visual::kBlack;
using visual::kPeach;
using visual::Rect;
using visual::Rgb;

namespace {

constexpr Rect kScreen{0, 0, 640, 480};

} // namespace

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
