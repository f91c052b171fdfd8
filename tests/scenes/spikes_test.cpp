// The spiked spheres: the glyph masks' layout, the caption picture's shape,
// and the scene as played from the shipped archive (fades, captions and the
// panel that moves from corner to corner).
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/zarwrite/zarwrite.h"

namespace {

const float *Cell(const spikes_mask_t &mask, int k, int j)
{
    return mask.cell[j + SPIKES_RING * k];
}

TEST(SpikesMasks, ThreeLettersAndAFullStopInTheirCellsWithTheirCounts)
{
    const int dimmed_count[4] = {36, 34, 45, 38};
    for (int m = 0; m < 4; m++) {
        const spikes_mask_t &mask = spikes_masks[m];
        int dimmed = 0, blades_only = 0;
        for (int k = 0; k < SPIKES_AROUND; k++)
            for (int j = 0; j < SPIKES_RING; j++) {
                const float e = Cell(mask, k, j)[0], f = Cell(mask, k, j)[1];
                const bool dim = e == 0.8f && f == 0.06f, blade = e == 0 && f == 0.06f;
                ASSERT_TRUE(dim || blade || (e == 0 && f == 0))
                    << "mask " << m + 1 << " cell k " << k << " j " << j << " holds (" << e << ", " << f << ")";
                dimmed += dim;
                blades_only += blade;
                const bool letter_row = (k >= 1 && k <= 5) || (k >= 7 && k <= 11) || (k >= 13 && k <= 17);
                const bool stop = k == 19 && j == 6;
                if (!(letter_row && j >= 2 && j <= 6) && !stop) {
                    EXPECT_FALSE(dim || blade) << "mask " << m + 1 << " sets k " << k << " j " << j;
                }
            }
        EXPECT_EQ(dimmed, dimmed_count[m]) << "mask " << m + 1;
        EXPECT_EQ(blades_only, m == 3 ? 1 : 0) << "mask " << m + 1;
        EXPECT_EQ(Cell(mask, 19, 6)[0], 0.8f) << "mask " << m + 1 << " lacks its full stop";
    }
}

TEST(SpikesInit, CaptionPictureOfOtherTilesEndsTheProgram)
{
    // 64 x 16 tiles: 3072 bytes each, which the caption list would stride
    // through 1536 bytes at a time and overrun.
    zarw::Image im;
    im.width = 512;
    im.height = 16;
    im.rgb.assign(512 * 16 * 3, 40);
    std::string err;
    zarw::Entry e{"creeds", ZAR_TYPE_PICTURE, zarw::PicturePayload(im, 64, 16, &err)};
    std::vector<uint8_t> bytes;
    char path[] = "/tmp/bt_spikes_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(zarw::Pack({e}, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
    ZAR_Open(path);
    unlink(path);
    EXPECT_EXIT(Spikes_Init(), ::testing::ExitedWithCode(1), "");
    ZAR_Close();
}

using visual::Frame;
using visual::Rect;
using visual::Rgb;

enum Corner { kTopRight, kBottomRight, kTopLeft, kBottomLeft };
const char *const kCornerName[4] = {"top right", "bottom right", "top left", "bottom left"};

// A caption's 512 x 128 units at z = 0 on screen (0.2904 x 0.2897 pixels a
// unit), two pixels in from its edges.
Rect CaptionRect(int c)
{
    const bool right = c == kTopRight || c == kBottomRight, top = c == kTopRight || c == kTopLeft;
    const int x0 = right ? 451 : 45, y0 = top ? 387 : 60;
    return Rect{x0, y0, x0 + 144, y0 + 33};
}

double Mean(const Frame &f, Rect r)
{
    visual::RegionStats s = visual::Stats(f, r);
    return (s.mean[0] + s.mean[1] + s.mean[2]) / 3;
}

// Letter pixels of a caption: how many, and their mean blue.
std::pair<long, double> Letters(const Frame &f, Rect r)
{
    long n = 0;
    double blue = 0;
    for (int y = r.y0; y < r.y1; y++)
        for (int x = r.x0; x < r.x1; x++) {
            Rgb c = f.At(x, y);
            if (c.r + c.g + c.b > 450) {
                n++;
                blue += c.b;
            }
        }
    return {n, n ? blue / n : 0};
}

TEST(SpikesScene, FadeInRisesFromBlack)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(29);
    ASSERT_TRUE(visual::StartDebug(0.0f, 2.4f, 29, 10));
    Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    ASSERT_EQ(f.entry, 29);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, visual::kBlack, 0));
    // At the end the veil is gone; the spheres' blades fill the middle.
    ASSERT_TRUE(visual::CaptureAt(2.35f, &f));
    ASSERT_EQ(f.entry, 29);
    EXPECT_GT(Mean(f, Rect{170, 90, 470, 390}), 15.0);
}

TEST(SpikesScene, CaptionsStayInTheCornersWhileTheGlowingPanelMoves)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(33);
    ASSERT_TRUE(visual::StartDebug(0.0f, 30.0f, 29, 2));
    // One second into entries 30 to 33 (they start 2.4 s into the window, 8 s apart).
    const int panel_of[4] = {kTopRight, kBottomRight, kTopLeft, kBottomLeft};
    for (int e = 0; e < 4; e++) {
        Frame f;
        ASSERT_TRUE(visual::CaptureAt(3.4f + 8.0f * e, &f));
        ASSERT_EQ(f.entry, 30 + e);
        for (int c = 0; c < 4; c++) {
            const Rect r = CaptionRect(c);
            EXPECT_GT(Letters(f, r).first, 300) << "entry " << 30 + e << ": no caption " << kCornerName[c];
            // The panel brightens its own corner and no other.
            if (c == panel_of[e]) {
                EXPECT_GT(Mean(f, r), 80.0) << "entry " << 30 + e << ": no panel " << kCornerName[c];
                continue;
            }
            EXPECT_LT(Mean(f, r), 70.0) << "entry " << 30 + e << ": panel " << kCornerName[c];
            // Upright: the cream name line lies below the brass role line.
            const Rect lower{r.x0, r.y0, r.x1, r.y0 + 16}, upper{r.x0, r.y0 + 17, r.x1, r.y1};
            EXPECT_GT(Letters(f, lower).second, Letters(f, upper).second + 15)
                << "entry " << 30 + e << ": caption " << kCornerName[c] << " upside down";
        }
    }
}

TEST(SpikesScene, FadeOutEndsBlack)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(34);
    // Entry 29 must be entered for its setup. Entry 34 starts 34.4 s in;
    // its local time runs from the frame that switches to it, 34.45 here.
    ASSERT_TRUE(visual::StartDebug(2.2f, 37.0f, 29, 4));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(34.6f, &f));
    ASSERT_EQ(f.entry, 34);
    EXPECT_GT(Mean(f, Rect{170, 90, 470, 390}), 10.0) << "the veil starts clear";
    // n0 passes 1 about 2.1 s in and the GL clamps it there.
    ASSERT_TRUE(visual::CaptureAt(36.65f, &f));
    ASSERT_EQ(f.entry, 34);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, visual::kBlack, 0));
}

} // namespace
