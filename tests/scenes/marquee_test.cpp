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

struct FbVertex {
    float x, y, z, r, g, b, a;
};
typedef std::vector<FbVertex> FbPolygon;

// Scene units shown by the feedback viewport: x -2000..2000, y -400..400.
constexpr float kLeft = -2000, kRight = 2000, kBottom = -400, kTop = 400;

class MarqueeScroller : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        gl_ok_ = Headless_Open(640, 480, &why);
        if (!gl_ok_)
            return;
        // Probes at known places; the rest blank.
        std::string text(142, ' ');
        text[0] = 'A';
        text[1] = ' ';
        text[2] = 'a';      // lower case: no glyph
        text[3] = '!';      // first glyph
        text[4] = '_';      // last glyph
        text[5] = '`';      // one past it
        text[6] = (char)200;
        text[7] = '\0';
        text[70] = 'Q';
        text[141] = 'W';    // the last character shown
        text += "MM";       // beyond the scroller's reach
        ASSERT_TRUE(OpenTextArchive(text));
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

    // What draw() sends to the GL, as polygons in scene units.
    static std::vector<FbPolygon> Feedback(void (*draw)(void))
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
        std::vector<FbPolygon> polys;
        for (GLint i = 0; i < n;) {
            const GLint token = (GLint)buf[i++];
            if (token != GL_POLYGON_TOKEN) {
                ADD_FAILURE() << "unexpected feedback token " << token;
                break;
            }
            const int count = (int)buf[i++];
            FbPolygon p;
            for (int v = 0; v < count; v++, i += 7) {
                const GLfloat *f = &buf[i];
                p.push_back({kLeft + f[0] * (kRight - kLeft) / 640, kBottom + f[1] * (kTop - kBottom) / 480, f[2],
                             f[3], f[4], f[5], f[6]});
            }
            polys.push_back(p);
        }
        return polys;
    }

    // A vertex in the dots' own colour (1.0, 0.8, 0.6): a dot's centre or
    // the light's end of a beam.
    static bool DotColoured(const FbVertex &v)
    {
        return std::fabs(v.r - 1.0f) < 0.01f && std::fabs(v.g - 0.8f) < 0.01f && std::fabs(v.b - 0.6f) < 0.01f;
    }

    // Centres of the dots drawn, rounded to whole units; the light, which
    // hangs at (0, 100), is not one.
    static std::set<std::pair<int, int>> DotCentres(const std::vector<FbPolygon> &polys)
    {
        std::set<std::pair<int, int>> centres;
        for (const FbPolygon &p : polys)
            for (const FbVertex &v : p) {
                const int x = (int)std::lround(v.x), y = (int)std::lround(v.y);
                if (DotColoured(v) && !(x == 0 && y == 100))
                    centres.insert({x, y});
            }
        return centres;
    }

    static bool gl_ok_;
};
bool MarqueeScroller::gl_ok_ = false;

TEST_F(MarqueeScroller, FontUnpacksWithTheFirstByteAsTheTopRow)
{
    for (int g = 0; g < SCROLLER_GLYPHS; g++)
        for (int r = 0; r < 5; r++)
            for (int k = 0; k < 8; k++)
                ASSERT_EQ(scroller_font[g * 40 + r * 8 + k], (marquee_font_packed[g][4 - r] >> k) & 1)
                    << "code " << g + 33 << " row " << r << " (0 = bottom) column " << k;
    // The underscore lies on the bottom row.
    const unsigned char *underscore = &scroller_font[(95 - 33) * 40];
    EXPECT_EQ(underscore[1] + underscore[6], 2);
    EXPECT_EQ(underscore[4 * 8 + 1] + underscore[4 * 8 + 6], 0);
}

TEST_F(MarqueeScroller, EveryCharacterTakesA320UnitCellAndOnlyCodes33To95Draw)
{
    // Character n is put under the light, its cell from x = -140: its dots
    // then lie at x = -140 + 40 k, y = 40 r, all within reach of the light,
    // while the neighbours' columns 1 to 6 stay beyond x = +-200.
    auto cell_of = [](int n) {
        chan.a = -320.0f * n - 140.0f;
        std::set<std::pair<int, int>> mine;
        for (const auto &c : DotCentres(Feedback(Marquee_DrawScroller)))
            if (c.first > -160 && c.first < 160)
                mine.insert(c);
        return mine;
    };
    auto glyph_dots = [](int code) {
        std::set<std::pair<int, int>> want;
        for (int r = 0; r < 5; r++)
            for (int k = 0; k < 8; k++)
                if (scroller_font[(code - 33) * 40 + r * 8 + k])
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
    marquee_dot[0] = 0;
    marquee_dot[1] = 100;
    marquee_dot[2] = -300;
    std::vector<FbPolygon> polys = Feedback(Marquee_DrawDot);
    EXPECT_EQ(polys.size(), 8u + 4u) << "the dot's fan and its four beams";
    int dot_coloured = 0;
    for (const FbPolygon &p : polys)
        for (const FbVertex &v : p)
            if (DotColoured(v)) {
                dot_coloured++;
                EXPECT_EQ(v.a, 0.0f);
            }
    EXPECT_GT(dot_coloured, 0);

    marquee_dot[2] = -300.01f;
    EXPECT_TRUE(Feedback(Marquee_DrawDot).empty());

    // Nearer dots glow brighter.
    marquee_dot[2] = 0;
    for (const FbPolygon &p : Feedback(Marquee_DrawDot))
        for (const FbVertex &v : p) {
            if (DotColoured(v)) {
                EXPECT_NEAR(v.a, 0.6f, 1e-5f);
            }
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
