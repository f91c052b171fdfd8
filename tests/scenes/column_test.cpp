// The pulsing column: its grids, pulse and sprite places built from a small
// archive of our own, then its frames played offscreen with the shipped
// archive. Each TEST runs in a process of its own (CTest), so the data tests
// and the offscreen runs do not share the scene's state.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/zarwrite/zarwrite.h"

using visual::Frame;
using visual::Rect;

namespace {

zarw::Entry TinyPicture(const char *name)
{
    zarw::Image im;
    im.width = im.height = 8;
    im.rgb.assign(8 * 8 * 3, 90);
    std::string err;
    return zarw::Entry{name, ZAR_TYPE_PICTURE, zarw::PicturePayload(im, 8, 8, &err)};
}

// Column_Init over an archive holding just its two pictures.
void InitFromTinyArchive()
{
    std::vector<uint8_t> bytes;
    std::string err;
    char path[] = "/tmp/bt_column_XXXXXX";
    int fd = mkstemp(path);
    close(fd);
    ASSERT_TRUE(zarw::Pack({TinyPicture("brzydalek"), TinyPicture("fel")}, &bytes, &err) &&
                zarw::WriteFile(path, bytes, &err))
        << err;
    ZAR_Open(path);
    Column_Init();
    ZAR_Close();
    unlink(path);
}

class ColumnData : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitFromTinyArchive(); }
};

TEST_F(ColumnData, GridsAreHalfRingsWithTheCellGridInTheMiddleOfEachCell)
{
    const column_grids_t &b = column_base;
    // Angle about the y axis, 0 at -x, growing towards +z.
    auto angle = [](const float *p) { return std::atan2(p[2], -p[0]); };
    for (int r = 0; r < COLUMN_ROWS; r++)
        for (int k = 0; k < COLUMN_POINTS; k++) {
            EXPECT_NEAR(std::hypot(b.inner[r][k][0], b.inner[r][k][2]), 20.0, 1e-4);
            EXPECT_NEAR(std::hypot(b.outer[r][k][0], b.outer[r][k][2]), 100.0, 1e-3);
            EXPECT_NEAR(angle(b.inner[r][k]), k * M_PI / 16, 1e-5);
            // Rows 0 and 1 share a height; the outer shell is 2.6 times as tall.
            EXPECT_NEAR(b.inner[r][k][1], r == 0 ? -60 : -60 + 4 * (r - 1), 1e-5);
            EXPECT_NEAR(b.outer[r][k][1], 2.6 * (r == 0 ? -62 : -62 + 4 * (r - 1)), 1e-3);
        }
    for (int r = 1; r < COLUMN_CELL_ROWS; r++)
        for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
            const float *c = b.inner_cell[r][k], *p = b.inner[r][k], *q = b.inner[r + 1][k + 1];
            EXPECT_NEAR(c[1], (p[1] + q[1]) / 2, 1e-4);
            EXPECT_NEAR(angle(c), (angle(p) + angle(q)) / 2, 1e-5) << r << ", " << k;
            EXPECT_NEAR(b.outer_cell[r][k][1], 2.6 * (-62 + 2 + 4 * (r - 1)), 1e-3);
        }
}

TEST_F(ColumnData, PulseTableStaysWithinItsRangeAndEveryRampValueLooksUpInsideIt)
{
    for (int i = 0; i < COLUMN_PULSE; i++) {
        EXPECT_GE(column_pulse[i], 0.1f);
        EXPECT_LE(column_pulse[i], 1.5f);
    }
    EXPECT_FLOAT_EQ(column_pulse[0], 0.8f);

    // d0 runs from 0 up to 24 and no further; the largest value reads the
    // last entries of the table (an overrun shows under the address checker).
    Column_Pulse(24.0f);
    const column_grids_t &b = column_base, &w = column_work;
    EXPECT_EQ(w.inner[29][3][0], b.inner[29][3][0] * column_pulse[82]);
    EXPECT_EQ(w.outer[29][3][2], b.outer[29][3][2] * column_pulse[82]);
    EXPECT_EQ(w.inner_cell[28][3][0], b.inner_cell[28][3][0] * column_pulse[81]);
    EXPECT_EQ(w.outer_cell[28][3][2], b.outer_cell[28][3][2] * column_pulse[81]);
    // Truncated: just below a whole number the grid keeps the lower index
    // and the cells already take the next.
    Column_Pulse(23.9f);
    EXPECT_EQ(w.inner[29][3][0], b.inner[29][3][0] * column_pulse[81]);
    EXPECT_EQ(w.inner_cell[28][3][0], b.inner_cell[28][3][0] * column_pulse[80]);
}

TEST_F(ColumnData, PulseRescalesOnlyXAndZOfTheWorkingGrids)
{
    column_grids_t before;
    memcpy(&before, &column_base, sizeof before);
    for (float d0 : {0.0f, 5.5f, 13.0f, 24.0f}) {
        Column_Pulse(d0);
        const float *wb = &column_work.inner[0][0][0], *bb = &column_base.inner[0][0][0];
        const size_t n = sizeof(column_grids_t) / sizeof(float);
        for (size_t i = 1; i < n; i += 3)
            ASSERT_EQ(wb[i], bb[i]) << "height changed at float " << i << ", d0 " << d0;
        // Every point moves along its own ray from the axis.
        for (int r = 0; r < COLUMN_ROWS; r++)
            for (int k = 0; k < COLUMN_POINTS; k++) {
                const float *p = column_work.outer[r][k], *q = column_base.outer[r][k];
                EXPECT_NEAR(p[0] * q[2], p[2] * q[0], 1e-2);
            }
    }
    EXPECT_EQ(memcmp(&before, &column_base, sizeof before), 0) << "the base grids must keep their init values";
}

TEST_F(ColumnData, SpritesLieInTheirBlocks)
{
    for (int g = 0; g < COLUMN_LAYERS; g++)
        for (int k = 0; k < COLUMN_SPRITES; k++) {
            const int x = (int)column_sprite_pos[g][k][0], y = (int)column_sprite_pos[g][k][1];
            const int y0 = -96 + 24 * (k / 4);
            EXPECT_TRUE(x >= 60 && x <= 160 && x % 10 == 0) << "layer " << g << ", sprite " << k << ": x " << x;
            EXPECT_TRUE(y >= y0 && y <= y0 + 20 && (y - y0) % 4 == 0) << "layer " << g << ", sprite " << k << ": y " << y;
        }
}

// --- offscreen, with the shipped archive ---

constexpr Rect kLeftOfSprites{0, 80, 250, 400};   // the column, its beams and the veil only

bool SameRegion(const Frame &a, const Frame &b, Rect r)
{
    for (int y = r.y0; y < r.y1; y++)
        for (int x = r.x0; x < r.x1; x++) {
            visual::Rgb p = a.At(x, y), q = b.At(x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b)
                return false;
        }
    return true;
}

TEST(ColumnScene, BackdropFramesTheLetterboxOneToOneFromTheArchive)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(35);
    const visual::Picture fel("fel");
    ASSERT_EQ(fel.Width(), 640);
    const int fel_top = 24 + fel.Height();

    ASSERT_TRUE(visual::StartDebug(0.0f, 3.0f, 35, 10));
    Frame f;
    for (float t : {0.0f, 2.0f}) {   // the first frame draws the backdrop with depth testing on
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_EQ(f.entry, 35);
        // Outside the 3D view: the picture from y = 24, black below and above it.
        EXPECT_EQ(visual::Mismatches(f, fel, 0, 24, Rect{0, 24, 640, 80}), 0) << "at " << t;
        EXPECT_EQ(visual::Mismatches(f, fel, 0, 24, Rect{0, 400, 640, fel_top}), 0) << "at " << t;
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 24}, visual::kBlack, 0)) << "at " << t;
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, fel_top, 640, 480}, visual::kBlack, 0)) << "at " << t;
        // Inside it the picture is under the veil and the column, not absent.
        EXPECT_GT(visual::Stats(f, Rect{0, 80, 640, 400}).mean[0], 20.0);
    }
}

TEST(ColumnScene, ColumnChangesShapeOnlyWhenTheRampPassesAWholeNumber)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(35);
    // A frame per clock tick: d0 moves by 0.2 from frame to frame.
    ASSERT_TRUE(visual::StartDebug(0.0f, 1.0f, 35, 100));
    Frame f1, f3, f7;
    ASSERT_TRUE(visual::CaptureFrame(1, &f1));
    ASSERT_TRUE(visual::CaptureFrame(3, &f3));
    ASSERT_GT(chan.d0, 0.5f);
    ASSERT_LT(chan.d0, 0.7f);
    ASSERT_TRUE(visual::CaptureFrame(7, &f7));
    ASSERT_GT(chan.d0, 1.3f);
    EXPECT_TRUE(SameRegion(f1, f3, kLeftOfSprites)) << "the column moved while d0 stayed below 1";
    EXPECT_FALSE(SameRegion(f3, f7, kLeftOfSprites)) << "the column kept its shape as d0 passed 1";
    // The sprites drift with a every frame.
    EXPECT_FALSE(SameRegion(f1, f3, Rect{250, 80, 640, 400}));
}

} // namespace
