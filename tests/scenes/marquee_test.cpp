// The spotlight scroller: its font, where its dots land and which of them
// light up (watched in GL feedback mode with a scroll text of our own), and
// the scene as played from the shipped archive.
#include <gtest/gtest.h>
#include <GL/gl.h>

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
#include "tools/zarwrite/zarwrite.h"

namespace {

// Opens an archive holding only the scroll text; false when it cannot be written.
bool OpenTextArchive(const std::string &text)
{
    std::string err;
    std::vector<uint8_t> bytes;
    zarw::Entry e{"helmet", ZAR_TYPE_TEXT, std::vector<uint8_t>(text.begin(), text.end())};
    char path[] = "/tmp/bt_marquee_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    close(fd);
    bool ok = zarw::Pack({e}, &bytes, &err) && zarw::WriteFile(path, bytes, &err);
    if (ok)
        ZAR_Open(path);
    unlink(path);
    return ok;
}

TEST(MarqueeFont, GlyphsKeepTheOuterColumnsEmptyAndAreAllDistinct)
{
    std::set<std::vector<unsigned char>> shapes;
    for (int g = 0; g < SCROLLER_GLYPHS; g++) {
        int dots = 0;
        for (int r = 0; r < 5; r++) {
            EXPECT_EQ(marquee_font_packed[g][r] & 0x81, 0) << "code " << g + 33 << " row " << r;
            dots += __builtin_popcount(marquee_font_packed[g][r]);
        }
        EXPECT_GT(dots, 0) << "code " << g + 33 << " is blank";
        shapes.insert(std::vector<unsigned char>(marquee_font_packed[g], marquee_font_packed[g] + 5));
    }
    EXPECT_EQ(shapes.size(), (size_t)SCROLLER_GLYPHS) << "two codes share a shape";
}

TEST(MarqueeInit, TextShorterThanTheScrollerEndsTheProgram)
{
    ASSERT_TRUE(OpenTextArchive(std::string(141, 'A')));
    EXPECT_EXIT(Marquee_Init(), ::testing::ExitedWithCode(1), "");
    ZAR_Close();
}

// Scene units shown by the feedback viewport: x -2000..2000, y -400..400.
constexpr float kLeft = -2000, kRight = 2000, kBottom = -400, kTop = 400;

class MarqueeScroller : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        if (!(gl_ok_ = Headless_Open(640, 480, &why)))
            return;
        // Probes at known places among blanks, and two characters past the end.
        std::string text(142, ' ');
        text[0] = 'A';
        text[2] = 'a';      // lower case: no glyph
        text[3] = '!';      // first glyph
        text[4] = '_';      // last glyph
        text[5] = '`';      // one past it
        text[6] = (char)200;
        text[7] = '\0';
        text[70] = 'Q';
        text[141] = 'W';
        ASSERT_TRUE(OpenTextArchive(text + "MM"));
        Marquee_Init();
        ZAR_Close();
        Marquee_Setup();
    }
    static void TearDownTestSuite() { Headless_Close(); }
    void SetUp() override
    {
        if (!gl_ok_)
            GTEST_SKIP() << "no offscreen GL context here";
    }

    // The vertices draw() sends in the dots' own colour (1.0, 0.8, 0.6), that
    // is dot centres and the light's end of beams: (x, y) in scene units
    // rounded to whole units, and alpha. Also counts the polygons.
    static std::vector<std::pair<std::pair<int, int>, float>> DotVertices(void (*draw)(void), int *polygons = nullptr)
    {
        glViewport(0, 0, 640, 480);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(kLeft, kRight, kBottom, kTop, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        std::vector<GLfloat> buf(1 << 20);
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const GLint n = glRenderMode(GL_RENDER);
        EXPECT_GE(n, 0) << "feedback buffer overflowed";
        std::vector<std::pair<std::pair<int, int>, float>> found;
        int count = 0;
        for (GLint i = 0; i < n; count++) {
            EXPECT_EQ(buf[i], GL_POLYGON_TOKEN);
            int vertices = (int)buf[i + 1];
            for (i += 2; i < n && vertices-- > 0; i += 7) {
                const GLfloat *f = &buf[i];
                if (std::fabs(f[3] - 1.0f) < 0.01f && std::fabs(f[4] - 0.8f) < 0.01f && std::fabs(f[5] - 0.6f) < 0.01f)
                    found.push_back({{(int)std::lround(kLeft + f[0] * (kRight - kLeft) / 640),
                                      (int)std::lround(kBottom + f[1] * (kTop - kBottom) / 480)},
                                     f[6]});
            }
        }
        if (polygons)
            *polygons = count;
        return found;
    }

    static bool gl_ok_;
};
bool MarqueeScroller::gl_ok_ = false;

TEST_F(MarqueeScroller, EachCharacterFillsA320UnitCellTopRowFirstAndOnlyCodes33To95Draw)
{
    // Finale_Init reads the unpacked font too: the first packed byte is the top row.
    for (int g = 0; g < SCROLLER_GLYPHS; g++)
        for (int i = 0; i < 40; i++)
            ASSERT_EQ(scroller_font[g * 40 + i], (marquee_font_packed[g][4 - i / 8] >> (i % 8)) & 1) << g << " " << i;
    // Character n is put under the light, its cell from x = -140: its dots
    // lie at x = -140 + 40 k, y = 40 r, all within the light's reach, while
    // the neighbours' columns 1 to 6 stay beyond x = +-200.
    auto cell_of = [](int n) {
        chan.a = -320.0f * n - 140.0f;
        std::set<std::pair<int, int>> mine;
        for (const auto &v : DotVertices(Marquee_DrawScroller))
            if (v.first.first > -160 && v.first.first < 160 && v.first != std::make_pair(0, 100))
                mine.insert(v.first);
        return mine;
    };
    auto glyph_dots = [](int code) {
        std::set<std::pair<int, int>> want;
        for (int r = 0; r < 5; r++)
            for (int k = 0; k < 8; k++)
                if ((marquee_font_packed[code - 33][4 - r] >> k) & 1)
                    want.insert({-140 + 40 * k, 40 * r});
        return want;
    };
    const std::pair<int, int> drawn[] = {{0, 'A'}, {3, '!'}, {4, '_'}, {70, 'Q'}, {141, 'W'}};
    for (const auto &d : drawn)
        EXPECT_EQ(cell_of(d.first), glyph_dots(d.second)) << "character " << d.first << " ('" << (char)d.second << "')";
    for (int n : {1, 2, 5, 6, 7, 142})
        EXPECT_TRUE(cell_of(n).empty()) << "character " << n << " should leave its cell empty";
}

TEST_F(MarqueeScroller, ADotExactly500UnitsFromTheLightDrawsAtStrengthZeroAndFartherNothing)
{
    // The light hangs at (0, 100, 200).
    const float z[3] = {-300, -300.01f, 0}, strength[3] = {0, -1, 0.6f};
    for (int i = 0; i < 3; i++) {
        marquee_dot[0] = 0;
        marquee_dot[1] = 100;
        marquee_dot[2] = z[i];
        int polygons = 0;
        auto dots = DotVertices(Marquee_DrawDot, &polygons);
        EXPECT_EQ(polygons, strength[i] < 0 ? 0 : 8 + 4) << "the dot's fan and four beams, at z " << z[i];
        for (const auto &v : dots)
            EXPECT_NEAR(v.second, strength[i], 1e-5f) << "at z " << z[i];
    }
}

using visual::Frame;
using visual::Rect;
using visual::Rgb;

// Inside the rocking floor strip at the times looked at, below the lamp.
constexpr Rect kFloorPatch{240, 195, 450, 240};
constexpr Rgb kFloor{76, 26, 51};

TEST(MarqueeScene, BlackBarsFrameTheShellsEightyPixelsLeftAndFortyRight)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(28);
    ASSERT_TRUE(visual::StartDebug(0.0f, 2.0f, 28, 10));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(1.5f, &f));
    ASSERT_EQ(f.entry, 28);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 80, 480}, visual::kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{600, 0, 640, 480}, visual::kBlack, 0));
    // Right beside the bars the shells and haze show.
    EXPECT_LT(visual::ShareNear(f, Rect{80, 0, 84, 480}, visual::kBlack, 8), 0.5);
    EXPECT_LT(visual::ShareNear(f, Rect{596, 0, 600, 480}, visual::kBlack, 8), 0.5);
}

TEST(MarqueeScene, TextLightsUpOnlyOnceItPassesUnderTheLight)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(28);
    ASSERT_TRUE(visual::StartDebug(0.0f, 2.0f, 28, 10));
    Frame f;
    // a = 800 - 940 t: at 0.1 s the first dot is still 290 units beyond the
    // light's reach, so the floor is bare, without dots or beams.
    ASSERT_TRUE(visual::CaptureAt(0.1f, &f));
    EXPECT_TRUE(visual::RegionIs(f, kFloorPatch, kFloor, 2));

    // At 1.5 s the first characters pass beneath it.
    ASSERT_TRUE(visual::CaptureAt(1.5f, &f));
    long warm = 0;
    for (int y = kFloorPatch.y0; y < kFloorPatch.y1; y++)
        for (int x = kFloorPatch.x0; x < kFloorPatch.x1; x++) {
            Rgb c = f.At(x, y);
            warm += c.r > 140 && c.g > 90;
        }
    EXPECT_GT(warm, 300) << "lit dots and beams on the floor";
}

} // namespace
