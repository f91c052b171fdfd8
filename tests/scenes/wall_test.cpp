// The glowing wall: its picture's fixed areas, the colours its glyphs are
// drawn in (read back through GL feedback, each glyph list swapped for a
// point), and the wall played offscreen with the shipped archive.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <vector>

#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"

namespace {

int DarkCells(int row0, int row1, int col0, int col1)
{
    int n = 0;
    for (int r = row0; r <= row1; r++)
        for (int c = col0; c <= col1; c++)
            n += wall_picture[r][c] == 1;
    return n;
}

TEST(WallPicture, KeepsTheMarkersTheBlankRowsAndTheWordAreas)
{
    const int marker[WALL_ROWS] = {0, 2, 2, 2, 2, 2, 0, 3, 3, 3, 3, 0, 4, 4, 4, 0, 5, 5};
    int coloured = 0;
    for (int row = 0; row < WALL_ROWS; row++)
        for (int col = 0; col < WALL_COLS; col++)
            coloured += wall_picture[row][col] > 1;
    for (int row = 0; row < WALL_ROWS; row++)
        for (int col : {1, 2, 29, 30})
            EXPECT_TRUE(!marker[row] || wall_picture[row][col] == marker[row]) << row << "," << col;
    EXPECT_EQ(coloured, 4 * (5 + 4 + 3 + 2)) << "nothing coloured but the marker squares";
    for (int row : {0, 6, 15, 18, 24})
        EXPECT_EQ(DarkCells(row, row, 0, WALL_COLS - 1), 0) << "row " << row << " stays blank";
    // Every dark cell in a word area, and words in every area.
    const int areas[] = {DarkCells(1, 5, 4, 20),  DarkCells(8, 11, 4, 24),   DarkCells(12, 13, 4, 24),
                         DarkCells(19, 23, 1, 3), DarkCells(19, 23, 13, 19), DarkCells(19, 23, 28, 30)};
    int in_areas = 3;
    for (int n : areas) {
        EXPECT_GT(n, 0);
        in_areas += n;
    }
    EXPECT_EQ(wall_picture[17][5] & wall_picture[17][8] & wall_picture[17][11], 1) << "the three dots";
    EXPECT_EQ(DarkCells(0, WALL_ROWS - 1, 0, WALL_COLS - 1), in_areas);
}

constexpr float kWave[10] = {0.28f, 0.35f, 0.45f, 0.35f, 0.28f, 0.22f, 0.14f, 0.0f, 0.14f, 0.22f};

// Per glyph, in drawing order (rows from the bottom up), the colours of its
// 15 list calls as the GL clamps them: the red, purple and green discs, then
// the red, green and purple sheets.
typedef std::vector<std::vector<std::array<float, 4>>> Calls;

class WallGlyphs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        if (!(gl_ok_ = Headless_Open(640, 480, &why)))
            return;
        Wall_Setup();
        // Each glyph list becomes one point in the middle of the screen,
        // whatever the matrices: feedback reports every call and its colour.
        for (int list : {10, 11, 12, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43}) {
            glNewList(list, GL_COMPILE);
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glLoadIdentity();
            glBegin(GL_POINTS);
            glVertex2f(0, 0);
            glEnd();
            glPopMatrix();
            glMatrixMode(GL_PROJECTION);
            glPopMatrix();
            glMatrixMode(GL_MODELVIEW);
            glEndList();
        }
    }
    static void TearDownTestSuite() { Headless_Close(); }
    void SetUp() override
    {
        if (!gl_ok_)
            GTEST_SKIP() << "no offscreen GL context here";
    }

    // One frame of a wall routine; d0 is what it stores for the next frame.
    static Calls Draw(void (*render)(void), float d0)
    {
        chan.a = 0;
        chan.d0 = d0;
        std::vector<GLfloat> buf(200000);
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
        glRenderMode(GL_FEEDBACK);
        render();
        const GLint used = glRenderMode(GL_RENDER);
        Calls glyphs(800);
        int calls = 0;
        for (GLint k = 0; k + 8 <= used && calls < 800 * 15 && buf[k] == GL_POINT_TOKEN; k += 8)
            glyphs[calls++ / 15].push_back({buf[k + 4], buf[k + 5], buf[k + 6], std::clamp(buf[k + 7], 0.0f, 1.0f)});
        EXPECT_EQ(calls, 800 * 15);
        return glyphs;
    }

    // The disc alphas of the glyph at the picture's row (0 at the top) and column.
    static void ExpectAlphas(const Calls &glyphs, int row, int col, float red, float purple, float green)
    {
        const auto &g = glyphs[(size_t)((WALL_ROWS - 1 - row) * WALL_COLS + col)];
        ASSERT_EQ(g.size(), 15u);
        const float want[3] = {red, purple, green};
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(g[k][3], std::clamp(want[k], 0.0f, 1.0f), 1e-5f) << "glyph " << row << "," << col;
    }
    // A background glyph (strengths 0.7, 0.4 and 0.5) dimmed by w.
    static void ExpectGround(const Calls &glyphs, int row, int col, float w)
    {
        ExpectAlphas(glyphs, row, col, 0.7f - w, 0.4f - w, 0.5f - w);
    }

    static bool gl_ok_;
};
bool WallGlyphs::gl_ok_ = false;

TEST_F(WallGlyphs, RowWaveDimsRowsFromTheBottomAndSheetsFollowTheirDiscs)
{
    Draw(Wall_RenderRowWave, 0);
    const Calls glyphs = Draw(Wall_RenderRowWave, 0);
    ExpectGround(glyphs, 24, 0, 0.28f);
    ExpectGround(glyphs, 23, 5, 0.35f);
    ExpectGround(glyphs, 14, 9, 0.28f);     // ten rows up the wave repeats
    ExpectGround(glyphs, 17, 31, 0);        // the seventh row up is undimmed
    ExpectAlphas(glyphs, 17, 5, 0, 0, 0);   // a dark cell
    // Colours by call; a strong marker (blue 0.9 less 0.35) lights only its purple sheets.
    const float rgb[3][3] = {{1, 0.4f, 0.3f}, {0.6f, 0.3f, 0.8f}, {0.6f, 1, 0.3f}};
    const int disc_of_call[15] = {0, 1, 2, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1};
    const auto &marker = glyphs[(24 - 3) * 32 + 1];
    ASSERT_EQ(marker.size(), 15u);
    for (int k = 0; k < 15; k++) {
        for (int c = 0; c < 3; c++)
            EXPECT_FLOAT_EQ(marker[k][c], rgb[disc_of_call[k]][c]) << "call " << k;
        if (k >= 3) {
            EXPECT_NEAR(marker[k][3], k >= 11 ? 0.9f - 0.35f - 0.5f : 0, 1e-5f) << "call " << k;
        }
    }
}

TEST_F(WallGlyphs, WavesStartWhereTheLastFrameRoundedDZero)
{
    // Ties to even: 4.5 gives 4, 5.5 gives 6, 8.5 gives 8.
    const float d0[] = {3.4f, 6.6f, 4.5f, 5.5f, 8.5f, 0.49f};
    const int index[] = {3, 7, 4, 6, 8, 0};
    Draw(Wall_RenderFadeIn, d0[0]);
    for (int s = 1; s < 6; s++) {
        SCOPED_TRACE(d0[s - 1]);
        const Calls glyphs = Draw(Wall_RenderRowWave, d0[s]);
        ExpectGround(glyphs, 24, 0, kWave[index[s - 1]]);
        ExpectGround(glyphs, 14 + index[s - 1], 25, kWave[0]);     // wrapped from 9 to 0
    }
}

TEST_F(WallGlyphs, CrossAndDiagonalWavesCancelOnTheirOwnDiagonals)
{
    // The column wave restarts at every row: no dimming where column and
    // rows up from the bottom agree modulo 10.
    Draw(Wall_RenderCrossWave, 3);
    Calls glyphs = Draw(Wall_RenderCrossWave, 3);
    ExpectGround(glyphs, 24, 0, 0);
    ExpectGround(glyphs, 21, 23, 0);
    ExpectGround(glyphs, 24, 2, kWave[3] - kWave[5]);
    ExpectGround(glyphs, 22, 31, kWave[5] - kWave[4]);
    // It runs on from row to row instead, 32 columns a row: cancelling where
    // rows up plus column make a multiple of 10.
    Draw(Wall_RenderDiagonalWave, 0);
    glyphs = Draw(Wall_RenderDiagonalWave, 0);
    ExpectGround(glyphs, 23, 9, 0);
    ExpectGround(glyphs, 23, 0, kWave[1] - kWave[2]);
    glyphs = Draw(Wall_RenderFadeOut, 0);
    ExpectGround(glyphs, 20, 31, kWave[4] - kWave[9]);
}

using visual::Frame;
using visual::Rect;

double Mean(const Frame &f, Rect r)
{
    const visual::RegionStats s = visual::Stats(f, r);
    return (s.mean[0] + s.mean[1] + s.mean[2]) / 3;
}

TEST(WallOnScreen, FadesInBetweenBlackBarsAndOutAgain)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(20);
    // One frame a second, each just after a whole second: entry 20 (from
    // 27.8 s) begins with the frame at 28.01 and is drawn at local times 0 to 3.
    ASSERT_TRUE(visual::StartDebug(0.01f, 32.0f, 16, 1));
    const Rect centre{0, 200, 640, 280}, near_bar{0, 82, 640, 100};
    Frame f;
    double before = -1, fade_out_start = -1;
    for (float t = 0; t <= 31; t += 1) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 80}, visual::kBlack, 0)) << "t = " << t;
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, 400, 640, 480}, visual::kBlack, 0)) << "t = " << t;
        const double now = Mean(f, centre);
        if (f.entry == 16 && t == 0) {
            EXPECT_LT(now, 1) << "n0 = 1: black between the bars";
        } else if (f.entry == 16) {
            EXPECT_GT(now, before + 5) << "n0 falls and the wall shows, t = " << t;
        } else if (f.entry == 20 && fade_out_start < 0) {
            fade_out_start = now;
        } else if (f.entry != 20) {
            // The bars' gradients: clear at the centre line, dark near the bars.
            EXPECT_GT(now, 20) << "t = " << t;
            EXPECT_LT(Mean(f, near_bar), now / 3) << "t = " << t;
        }
        before = now;
    }
    ASSERT_EQ(f.entry, 20);
    ASSERT_GT(chan.n0, 0.5f);
    EXPECT_LT(before, fade_out_start * 0.6) << "n0 rises and the band darkens";
}

} // namespace
