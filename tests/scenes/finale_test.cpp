// The closing scene: its relief and end-text bitmap built from an archive
// of our own, then its frames played offscreen with the shipped archive.
// Each TEST runs in a process of its own (CTest).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
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
using visual::Rgb;

namespace {

zarw::Entry Picture(const char *name, uint32_t w, uint32_t h, uint32_t tile_w, uint32_t tile_h)
{
    zarw::Image im;
    im.width = w;
    im.height = h;
    im.rgb.assign((size_t)w * h * 3, 60);
    std::string err;
    return zarw::Entry{name, ZAR_TYPE_PICTURE, zarw::PicturePayload(im, tile_w, tile_h, &err)};
}

zarw::Entry Text(const std::string &text)
{
    return zarw::Entry{"water", ZAR_TYPE_TEXT, std::vector<uint8_t>(text.begin(), text.end())};
}

// Finale_Init over an archive of the given entries.
void InitFrom(const std::vector<zarw::Entry> &entries)
{
    std::vector<uint8_t> bytes;
    std::string err;
    char path[] = "/tmp/bt_finale_XXXXXX";
    int fd = mkstemp(path);
    close(fd);
    ASSERT_TRUE(zarw::Pack(entries, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
    ZAR_Open(path);
    Finale_Init();
    ZAR_Close();
    unlink(path);
}

std::vector<zarw::Entry> WithText(const std::string &text)
{
    return {Picture("siekierka", 640, 480, 64, 32), Picture("butterfly", 384, 256, 128, 256), Text(text)};
}

// Glyph of '!' (the font's first): a dot wherever row + column is odd, 15
// dots. Glyph of 'A': one dot, top row (4), column 1.
void FillFont()
{
    memset(scroller_font, 0, sizeof scroller_font);
    for (int r = 0; r < 5; r++)
        for (int k = 1; k < 7; k++)
            scroller_font[r * 8 + k] = (r + k) % 2;
    scroller_font[('A' - 33) * SCROLLER_GLYPH_BYTES + 4 * 8 + 1] = 1;
}

// Lit bytes among the 24 bitmap rows of character n.
long Lit(int n)
{
    long lit = 0;
    for (int row = 24 * n; row < 24 * n + 24 && row < FINALE_BITMAP_ROWS; row++)
        for (int col = 0; col < FINALE_BITMAP_COLS; col++)
            lit += finale_bitmap[row][col];
    return lit;
}

TEST(FinaleData, EachFontDotBecomesAThreeByThreeBlockOfItsCharactersRows)
{
    FillFont();
    std::string text(110, ' ');
    text[0] = text[109] = '!';
    text[5] = 'A';
    text[6] = '`';          // past the font
    text[7] = '\n';
    InitFrom(WithText(text));
    // 'A': font column 1 is bitmap rows 3 to 5 of its character, font row 4
    // bitmap columns 12 to 14.
    EXPECT_EQ(Lit(5), 9);
    for (int row = 123; row <= 125; row++)
        for (int col = 12; col <= 14; col++)
            EXPECT_EQ(finale_bitmap[row][col], 1) << row << ", " << col;
    // '!': row 0, column 1 is lit, row 1, column 1 is not.
    EXPECT_EQ(Lit(0), 15 * 9);
    EXPECT_EQ(Lit(109), 15 * 9);
    EXPECT_EQ(finale_bitmap[4][1], 1);
    EXPECT_EQ(finale_bitmap[4][4], 0);
    for (int n : {1, 6, 7, 108})
        EXPECT_EQ(Lit(n), 0) << "character " << n << " should be blank";
}

TEST(FinaleData, AShortTextLeavesTheRestOfTheStripBlank)
{
    FillFont();
    InitFrom(WithText("!!"));
    EXPECT_EQ(Lit(1), 15 * 9);
    for (int n = 2; n < FINALE_TEXT_CHARS; n++)
        ASSERT_EQ(Lit(n), 0) << "character " << n;
}

TEST(FinaleData, ReliefStaysInRangeAndItsLastRowAndColumnRepeatTheFirst)
{
    InitFrom(WithText(std::string(110, ' ')));
    for (int j = 0; j < FINALE_RELIEF; j++)
        for (int i = 0; i < FINALE_RELIEF; i++) {
            EXPECT_GE(finale_relief[j][i], -80.0f);
            EXPECT_LE(finale_relief[j][i], 0.0f);
        }
    for (int n = 0; n < FINALE_RELIEF; n++) {
        EXPECT_NEAR(finale_relief[20][n], finale_relief[0][n], 1e-4) << "column 20, row " << n;
        EXPECT_NEAR(finale_relief[n][20], finale_relief[n][0], 1e-4) << "row 20, column " << n;
    }
    // Crests and troughs where the cosine of the column and the sine of
    // the row meet their extremes: (column, row) is not (row, column).
    EXPECT_NEAR(finale_relief[0][0], -20.0f, 1e-5);
    EXPECT_NEAR(finale_relief[10][5], -80.0f, 1e-4);
    EXPECT_NEAR(finale_relief[0][15], 0.0f, 1e-4);
    EXPECT_NEAR(finale_relief[5][0], -40.0f, 1e-4);
}

TEST(FinaleData, PicturesOfAnotherShapeAreRefused)
{
    // The lists step through fixed tile strides: a smaller picture would be
    // read past its end.
    const std::string blank(110, ' ');
    EXPECT_EXIT(InitFrom({Picture("siekierka", 640, 448, 64, 32), Picture("butterfly", 384, 256, 128, 256),
                          Text(blank)}),
                ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(InitFrom({Picture("siekierka", 640, 480, 64, 32), Picture("butterfly", 256, 256, 128, 256),
                          Text(blank)}),
                ::testing::ExitedWithCode(1), "");
}

// --- offscreen, with the shipped archive ---

// The full-screen picture of the slides, which lists 11 and 12 cut into
// 64 x 32 tiles of fixed size.
struct Slides : visual::Picture {
    Slides() : visual::Picture("siekierka") {}
    bool Shaped() const
    {
        return record().tile_w == 64 && record().tile_h == 32 && record().tiles_x == 10 && record().tiles_y == 15;
    }
    // Pixels of the rectangle that differ from the picture at rest.
    long Wrong(const Frame &f, Rect r) const { return visual::Mismatches(f, *this, 0, 0, r); }
};

constexpr Rect kScreen{0, 0, 640, 480};
constexpr Rect kLeftOfView{0, 0, 80, 480}, kRightOfView{560, 0, 640, 480};
constexpr Rect kTunnelCentre{300, 220, 340, 260};

// The finale's later entries rely on the setup of entry 36, so every run
// starts inside entry 36 (1.662 s long) and plays on from there.
constexpr float kInsideSlideIn = 1.65f;

TEST(FinaleScene, SlideInStartsBlackAndBringsEvenColumnsDownAndOddOnesUp)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(36);
    ASSERT_TRUE(visual::StartDebug(0.0f, 1.0f, 36, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    ASSERT_EQ(f.entry, 36);
    EXPECT_TRUE(visual::RegionIs(f, kScreen, visual::kBlack, 0));

    ASSERT_TRUE(visual::CaptureAt(0.5f, &f));
    const float a = chan.a;
    ASSERT_GT(a, 100.0f);
    ASSERT_LT(a, 380.0f);
    // Even columns (x 0-64, 128-192, ...) cover y from 480 - a up; odd
    // ones y below a.
    const int top = (int)(480 - a), bottom = (int)a;
    for (int c = 0; c < 10; c++) {
        Rect gap = c % 2 == 0 ? Rect{64 * c, 0, 64 * c + 64, top - 1} : Rect{64 * c, bottom + 1, 64 * c + 64, 480};
        EXPECT_TRUE(visual::RegionIs(f, gap, visual::kBlack, 0)) << "tile column " << c;
        Rect shown = c % 2 == 0 ? Rect{64 * c, top + 1, 64 * c + 64, 480} : Rect{64 * c, 0, 64 * c + 64, bottom - 1};
        EXPECT_LT(visual::ShareNear(f, shown, visual::kBlack, 0), 0.5) << "tile column " << c;
    }
}

TEST(FinaleScene, TunnelGrowsOverThePictureWhichStaysOneToOneBesideIt)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(37);
    const Slides slides;
    ASSERT_TRUE(slides.Shaped());
    ASSERT_TRUE(visual::StartDebug(kInsideSlideIn, 4.0f, 36, 20));
    Frame f;
    // The first frame of entry 37 has a = 0: no square, the picture at rest.
    ASSERT_TRUE(visual::CaptureFrame(1, &f));
    ASSERT_EQ(f.entry, 37);
    ASSERT_EQ(chan.a, 0.0f);
    EXPECT_EQ(slides.Wrong(f, kScreen), 0);

    ASSERT_TRUE(visual::CaptureAt(timeline_table[37].start + 0.35f, &f));
    ASSERT_EQ(f.entry, 37);
    ASSERT_GT(chan.a, 5.0f);
    EXPECT_EQ(slides.Wrong(f, kLeftOfView), 0);
    EXPECT_EQ(slides.Wrong(f, kRightOfView), 0);
    // The squares' warm tint lies over the middle.
    EXPECT_EQ(slides.Wrong(f, kTunnelCentre), (long)(40 * 40));

    ASSERT_TRUE(visual::CaptureAt(timeline_table[38].start + 1.0f, &f));
    ASSERT_EQ(f.entry, 38);
    EXPECT_EQ(slides.Wrong(f, kLeftOfView), 0);
    EXPECT_EQ(slides.Wrong(f, kRightOfView), 0);
}

TEST(FinaleScene, TunnelShrinksThenTheColumnsLeaveAndTheClosingPictureFadesToBlack)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(41);
    const Slides slides;
    ASSERT_TRUE(slides.Shaped());
    // The scroller's 50 s cut to 2 (at its own speed): the entries after it
    // do not depend on how long it ran, and the run stays short.
    timeline_table[38].a_end = 100.0f;
    ASSERT_TRUE(visual::StartDebug(kInsideSlideIn, 80.0f, 36, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(timeline_table[39].start, &f));
    ASSERT_EQ(f.entry, 39);
    EXPECT_EQ(slides.Wrong(f, kLeftOfView), 0);
    EXPECT_EQ(slides.Wrong(f, kRightOfView), 0);

    ASSERT_TRUE(visual::CaptureAt(timeline_table[40].start + 0.5f, &f));
    ASSERT_EQ(f.entry, 40);
    const float a = chan.a;
    ASSERT_GT(a, 100.0f);
    ASSERT_LT(a, 380.0f);
    // Beside the closing picture (x 168 to 552) the screen is black where
    // the columns have gone: below the even ones, above the odd ones.
    const int top = (int)(480 - a), bottom = (int)a;
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 64, top - 1}, visual::kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{64, bottom + 1, 128, 480}, visual::kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{576, bottom + 1, 640, 480}, visual::kBlack, 0));

    // The last frame drawn and the second it is held: black, but for what
    // the fade's alpha, a little short of 1, still lets through.
    while (f.entry == 40 || !f.held)
        ASSERT_TRUE(visual::CaptureFrame(f.index + 1, &f));
    ASSERT_EQ(f.entry, 41);
    ASSERT_GT(chan.a, 0.95f);
    EXPECT_TRUE(visual::RegionIs(f, kScreen, visual::kBlack, (int)std::ceil((1 - chan.a) * 255) + 1));
}

} // namespace
