// The eyes and the lit-window drum: the tables its init builds from a small
// archive of our own, and the shipped entries 8 to 15 played offscreen.
#include <gtest/gtest.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <unistd.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/capture/session.h"
#include "tools/zarwrite/zarwrite.h"

using visual::Frame;
using visual::Rect;
using visual::Rgb;

namespace {

constexpr Rgb kWhite{255, 255, 255};

// Runs the init on an archive whose eye picture is eyes_w x 32 pixels.
void InitFromOwnArchive(uint32_t eyes_w)
{
    auto plain = [](uint32_t w, uint32_t h, uint32_t tile) {
        zarw::Image im;
        im.width = w;
        im.height = h;
        im.rgb.assign((size_t)w * h * 3, 100);
        std::string err;
        return zarw::PicturePayload(im, tile, tile, &err);
    };
    std::vector<zarw::Entry> entries = {{"fri1", ZAR_TYPE_PICTURE, plain(640, 64, 64)},
                                        {"fri2", ZAR_TYPE_PICTURE, plain(640, 64, 64)},
                                        {"oczka", ZAR_TYPE_PICTURE, plain(eyes_w, 32, 32)}};
    std::vector<uint8_t> bytes;
    std::string err;
    char path[] = "/tmp/bt_drum_XXXXXX";
    close(mkstemp(path));
    ASSERT_TRUE(zarw::Pack(entries, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
    ZAR_Open(path);
    Drum_Init();
    ZAR_Close();
    unlink(path);
}

bool IsText(int c, int r)
{
    for (int k = 0; k < DRUM_TEXT_CELLS; k++)
        if (drum_text_cells[k][0] == c && drum_text_cells[k][1] == r)
            return true;
    return false;
}

int LitIn(int f)
{
    int n = 0;
    for (int c = 0; c < DRUM_COLUMNS; c++)
        for (int r = 0; r < DRUM_ROWS; r++)
            n += drum_windows[f][c][r];
    return n;
}

TEST(DrumTables, TextRingsAndWindowFrames)
{
    // The text: 138 distinct cells in rows 2 to 6, columns 3 to 66, and (0, 0) five times.
    std::set<std::pair<int, int>> cells;
    int corner = 0;
    for (const auto &cell : drum_text_cells) {
        if (cell[0] == 0 && cell[1] == 0) {
            corner++;
            continue;
        }
        EXPECT_TRUE(cell[0] >= 3 && cell[0] <= 66 && cell[1] >= 2 && cell[1] <= 6) << cell[0] << ", " << cell[1];
        cells.insert({cell[0], cell[1]});
    }
    EXPECT_EQ(corner, 5);
    EXPECT_EQ(cells.size(), 138u);

    InitFromOwnArchive(512);
    // Centre station 0 sits at 2.5, the others midway between corner stations.
    EXPECT_EQ(drum_centre_base[0][0][0][0], 2.5f);
    EXPECT_EQ(drum_centre_base[7][2][1][0], 75.0f);
    EXPECT_EQ(drum_corner_base[7][2][1][0], 70.0f);
    // Angle 0 of the corners hangs straight down, the last almost straight up
    // on the camera's side; the centre angles lie between the corner angles.
    EXPECT_FLOAT_EQ(drum_corner_base[3][0][1][1], -80.0f);
    EXPECT_NEAR(std::atan2(-drum_corner_base[3][9][2][2], -drum_corner_base[3][9][2][1]), 0.9 * M_PI, 1e-5);
    EXPECT_NEAR(std::atan2(-drum_centre_base[3][4][0][2], -drum_centre_base[3][4][0][1]), 0.45 * M_PI, 1e-5);

    for (int f = 0; f < 50; f++) {
        EXPECT_EQ(LitIn(f), 100) << "twinkle frame " << f;
        for (int c = 0; f > 0 && c < DRUM_COLUMNS; c++)
            for (int r = 0; r < DRUM_ROWS; r++)
                ASSERT_FALSE(drum_windows[f][c][r] && drum_windows[f - 1][c][r]) << "frames " << f - 1 << ", " << f;
    }
    for (int f = 50; f < DRUM_FRAMES; f++)
        for (int c = 0; c < DRUM_COLUMNS; c++)
            for (int r = 0; r < DRUM_ROWS; r++) {
                ASSERT_FALSE(drum_windows[f][c][r] && IsText(c, r)) << "frame " << f;
                ASSERT_FALSE(f > 50 && drum_windows[f - 1][c][r] && !drum_windows[f][c][r]) << "frame " << f;
            }
    // Sixteen draws a frame, now and then one landing twice in a frame.
    EXPECT_LE(LitIn(50), 16);
    EXPECT_GT(LitIn(80), 440);
}

TEST(DrumTables, EyePictureTooSmallForSixteenFramesIsRefused)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(InitFromOwnArchive(256), ::testing::ExitedWithCode(1), "");
}

// --- the shipped archive, played as the capture tool plays it ---

// The band of entries 8 and 15 at offset a: white from y = a to a + 480,
// clear half a screen below and above. Checked down the middle column.
::testing::AssertionResult BandIsAt(const Frame &f, float a)
{
    for (int y = 0; y < 480; y += 7) {
        const double u = y + 0.5 - a;
        const double alpha = u < -480 || u > 960 ? 0 : u < 0 ? (u + 480) / 480 : u <= 480 ? 1 : (960 - u) / 480;
        const int want = (int)std::lround(255 * alpha);
        const Rgb got = f.At(320, y);
        if (std::abs(got.r - want) > 2 || got.g != got.r || got.b != got.r)
            return ::testing::AssertionFailure() << "a = " << a << ", row " << y << ": " << got << ", want " << want;
    }
    return ::testing::AssertionSuccess();
}

TEST(DrumVisual, WhiteBandRisesUntilTheScreenIsWhiteAndTheFrameOpens)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(8);
    ASSERT_TRUE(visual::StartDebug(0.0f, 4.7f, 8, 20));
    Frame f;
    for (float t : {1.0f, 1.68f}) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_EQ(f.entry, 8);
        EXPECT_TRUE(BandIsAt(f, chan.a));
    }
    ASSERT_TRUE(visual::CaptureAt(1.746f, &f));     // entry 9 opens on the closed frame
    ASSERT_EQ(f.entry, 9);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, kWhite, 0));

    // At its end: white bars 0-64 and 416-480, white fading towards the centre line.
    ASSERT_TRUE(visual::CaptureAt(4.55f, &f));
    ASSERT_EQ(f.entry, 9);
    const float a = chan.a;
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 64}, kWhite, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 416, 640, 480}, kWhite, 0));
    for (int y = 64; y < 416; y += 11) {
        const int want = (int)std::lround(255 * (a + (1 - a) * std::fabs(y + 0.5 - 240) / 176));
        EXPECT_TRUE(visual::ColourNear(f, 100, y, Rgb{want, want, want}, 2)) << "row " << y;
    }
}

TEST(DrumVisual, EyesShowTheArchiveTilesInTheirPlaces)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(10);
    ASSERT_TRUE(visual::StartDebug(1.7f, 8.0f, 8, 20));
    const visual::Picture eyes("oczka");
    Frame f;
    // Blink rows 16 to 18: both eyes away, the frame's grey shows as beside them.
    ASSERT_TRUE(visual::CaptureAt(4.602f + 1.7f, &f));
    ASSERT_NEAR(chan.d0, 17, 1.4);
    for (int y = 224; y < 256; y++)
        for (int x : {280, 311, 328, 359})
            ASSERT_EQ(f.At(x, y).r, f.At(x + 100, y).r) << "(" << x << ", " << y << ")";
    // Rows 26 to 34: tiles 14 and 15 (frame 7 of each eye) one to one, first stored row on top.
    ASSERT_TRUE(visual::CaptureAt(4.602f + 3.0f, &f));
    ASSERT_NEAR(chan.d0, 30, 3.4);
    EXPECT_EQ(visual::Mismatches(f, eyes, 280 - 32 * 14, 224, Rect{280, 224, 312, 256}), 0) << "left eye";
    EXPECT_EQ(visual::Mismatches(f, eyes, 328 - 32 * 15, 224, Rect{328, 224, 360, 256}), 0) << "right eye";
}

// Pixels that differ by more than the last bit or two: llvmpipe does not
// blend the drum's many overlapping halos repeatably to the bit.
int Differing(const Frame &a, const Frame &b)
{
    int n = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3)
        n += std::abs(a.rgb[i] - b.rgb[i]) > 2 || std::abs(a.rgb[i + 1] - b.rgb[i + 1]) > 2 ||
             std::abs(a.rgb[i + 2] - b.rgb[i + 2]) > 2;
    return n;
}

Frame DrawReveal(float a)
{
    Frame f;
    f.rgb.resize(640 * 480 * 3);
    chan.a = a;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Drum_RenderReveal();
    Headless_ReadRGB(f.rgb.data());
    return f;
}

TEST(DrumVisual, RevealEndsWithTheTextDarkAmongLitWindows)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(12);
    // From entry 11 on (entry 8's setup runs on the way), so that entry 12
    // starts on time and plays to its end.
    ASSERT_TRUE(visual::StartDebug(16.9f, 40.0f, 7, 4));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(37.85f, &f));
    ASSERT_EQ(f.entry, 12);
    const int frame = (int)std::nearbyint(chan.a);
    ASSERT_GE(frame, 78);

    // Each cell's centre through the drum's camera: on the skin for a dark
    // window, on the sunken pane for a lit one.
    double proj[16], model[16];
    const GLint view[4] = {0, 64, 640, 352};
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(25.0, (double)(640.0f / 352.0f), 1.0, 1000.0);
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(355, -160, -940, 355, 0, 0, 0, 1, 0);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glPopMatrix();
    int seen[2] = {0, 0}, right[2] = {0, 0};     // [0] text cells, [1] lit cells
    for (int c = 0; c < DRUM_COLUMNS; c++)
        for (int r = 2; r <= 6; r++) {
            const bool lit = drum_windows[frame][c][r];
            if (!lit && !IsText(c, r))
                continue;
            const float *p = drum_centre_scaled[c][r][lit ? 0 : 1];
            double wx, wy, wz;
            gluProject(p[0], p[1], p[2], model, proj, view, &wx, &wy, &wz);
            if (wx < 10 || wx > 630 || wy < 195 || wy > 285)   // where the overlay leaves the drum clear
                continue;
            // The skin is red-brown, green 0.6 of red; panes, the walls of
            // lit wells and their halos are yellower.
            const Rgb got = f.At((int)wx, (int)wy);
            const bool skin_like = got.g < 0.72 * got.r;
            seen[lit]++;
            right[lit] += lit ? !skin_like : skin_like;
        }
    ASSERT_GT(seen[0], 40);
    ASSERT_GT(seen[1], 40);
    EXPECT_GT(right[0], 0.85 * seen[0]) << "of " << seen[0] << " text cells look like dark skin";
    EXPECT_GT(right[1], 0.85 * seen[1]) << "of " << seen[1] << " lit cells look lit";

    // A late frame's a just past the entry's end shows the last window frame.
    const Frame last = DrawReveal(80.0f);
    EXPECT_EQ(Differing(DrawReveal(81.4f), last), 0);
    EXPECT_GT(Differing(DrawReveal(79.0f), last), 100);
}

TEST(DrumVisual, BandSlidesAwayLeavingTheScreenBlack)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(15);
    ASSERT_TRUE(visual::StartDebug(45.5f, 48.0f, 7, 60));   // entries 8 to 14 pass a frame each
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(47.64f, &f));
    ASSERT_EQ(f.entry, 15);
    ASSERT_GT(chan.a, 930.0f);
    EXPECT_TRUE(BandIsAt(f, chan.a));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, visual::kBlack, 16));
}

} // namespace
