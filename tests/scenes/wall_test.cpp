// The glowing wall: its picture's fixed areas, the colours every glyph is
// drawn with (read back through GL feedback, with the glyph's lists swapped
// for markers), and the wall played offscreen with the shipped archive.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"

using visual::Frame;
using visual::kBlack;
using visual::Rect;

namespace {

// --- the picture ----------------------------------------------------------

int Marker(int row)
{
    if (row >= 1 && row <= 5)
        return 2;
    if (row >= 7 && row <= 10)
        return 3;
    if (row >= 12 && row <= 14)
        return 4;
    if (row >= 16 && row <= 17)
        return 5;
    return 0;
}

// Where dark cells may lie: the two lines of words (the second with its
// tail), the three dots and the three letter shapes at the bottom.
bool DarkAllowed(int row, int col)
{
    if (row >= 1 && row <= 5)
        return col >= 4 && col <= 20;
    if (row >= 8 && row <= 13)
        return col >= 4 && col <= 24;
    if (row == 17)
        return col == 5 || col == 8 || col == 11;
    if (row >= 19 && row <= 23)
        return (col >= 1 && col <= 3) || (col >= 13 && col <= 19) || (col >= 28 && col <= 30);
    return false;
}

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
    for (int row = 0; row < WALL_ROWS; row++)
        for (int col = 0; col < WALL_COLS; col++) {
            const int cell = wall_picture[row][col];
            const bool marker_column = col == 1 || col == 2 || col == 29 || col == 30;
            if (marker_column && Marker(row)) {
                EXPECT_EQ(cell, Marker(row)) << "marker square at row " << row << ", column " << col;
            } else if (cell != 1) {
                EXPECT_EQ(cell, 0) << "only markers and dark cells on the background: row " << row
                                   << ", column " << col;
            } else {
                EXPECT_TRUE(DarkAllowed(row, col)) << "dark cell outside the word areas: row " << row
                                                   << ", column " << col;
            }
        }
    for (int row : {0, 6, 15, 18, 24})
        EXPECT_EQ(DarkCells(row, row, 0, WALL_COLS - 1), 0) << "row " << row << " must stay blank";

    // Every area holds something to read, and the second line has its tail.
    EXPECT_GT(DarkCells(1, 5, 4, 20), 10);
    EXPECT_GT(DarkCells(8, 11, 4, 24), 10);
    EXPECT_GT(DarkCells(12, 13, 4, 24), 0);
    EXPECT_EQ(DarkCells(17, 17, 0, WALL_COLS - 1), 3);
    EXPECT_GT(DarkCells(19, 23, 1, 3), 3);
    EXPECT_GT(DarkCells(19, 23, 13, 19), 3);
    EXPECT_GT(DarkCells(19, 23, 28, 30), 3);
}

// --- the colours of the glyphs ---------------------------------------------

constexpr float kWave[10] = {0.28f, 0.35f, 0.45f, 0.35f, 0.28f, 0.22f, 0.14f, 0.0f, 0.14f, 0.22f};
constexpr int kGlyphLists[15] = {10, 11, 12, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43};

// What one glyph was drawn with: the list behind each call and its colour.
struct Call {
    int list;
    float rgba[4];
};
struct Glyph {
    std::vector<Call> calls;
};

float Clamp01(float v)
{
    return std::min(1.0f, std::max(0.0f, v));
}

class WallGlyphs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        gl_ok_ = Headless_Open(640, 480, &why);
        if (!gl_ok_)
            return;
        Wall_Setup();
        // Each glyph list becomes one point in the middle of the screen,
        // whatever the matrices, placed along x by its list number; feedback
        // then reports every call with the colour it was made in.
        for (int list : kGlyphLists) {
            glNewList(list, GL_COMPILE);
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glLoadIdentity();
            glBegin(GL_POINTS);
            glVertex3f(list / 100.0f - 0.25f, 0, 0);
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

    // One frame of a wall routine; d0 is what the frame stores for the next.
    // Returns the 800 glyphs in drawing order (rows from the bottom up).
    std::vector<Glyph> Draw(void (*render)(void), float d0, float n0 = 0)
    {
        chan.a = 0;
        chan.d0 = d0;
        chan.n0 = n0;
        std::vector<GLfloat> buffer(200000);
        glFeedbackBuffer((GLsizei)buffer.size(), GL_3D_COLOR, buffer.data());
        glRenderMode(GL_FEEDBACK);
        render();
        const GLint used = glRenderMode(GL_RENDER);
        EXPECT_GT(used, 0) << "feedback buffer overflow or nothing drawn";

        std::vector<Glyph> glyphs;
        bar_vertices_.clear();
        for (GLint k = 0; k < used;) {
            const int token = (int)buffer[k++];
            if (token == GL_POINT_TOKEN) {
                Call call;
                // Window x = 320 (1 + x): undo the marker's placement.
                call.list = (int)std::lround((buffer[k] / 320.0f - 1.0f + 0.25f) * 100.0f);
                std::copy(&buffer[k + 3], &buffer[k + 7], call.rgba);
                k += 7;
                if (glyphs.empty() || glyphs.back().calls.size() == 15)
                    glyphs.emplace_back();
                glyphs.back().calls.push_back(call);
            } else if (token == GL_POLYGON_TOKEN) {
                const int n = (int)buffer[k++];
                bar_vertices_.insert(bar_vertices_.end(), &buffer[k], &buffer[k + 7 * n]);
                k += 7 * n;
            } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
                k += 14;
            } else if (token == GL_PASS_THROUGH_TOKEN) {
                k += 1;
            } else {
                ADD_FAILURE() << "unexpected feedback token " << token;
                break;
            }
        }
        EXPECT_EQ(glyphs.size(), 800u);
        return glyphs;
    }

    // Glyph of the picture's row (0 at the top) and column.
    static const Glyph &At(const std::vector<Glyph> &glyphs, int row, int col)
    {
        return glyphs.at((size_t)((WALL_ROWS - 1 - row) * WALL_COLS + col));
    }

    // The three disc alphas of a glyph, in the order red, purple (blue
    // strength), green, as the GL clamps them.
    static ::testing::AssertionResult Alphas(const Glyph &g, float red, float blue, float green)
    {
        const float want[3] = {Clamp01(red), Clamp01(blue), Clamp01(green)};
        for (int k = 0; k < 3; k++)
            if (std::fabs(Clamp01(g.calls.at(k).rgba[3]) - want[k]) > 1e-5f)
                return ::testing::AssertionFailure()
                       << "disc " << k << " alpha " << g.calls[k].rgba[3] << ", want " << want[k];
        return ::testing::AssertionSuccess();
    }

    // A background glyph dimmed by w.
    static ::testing::AssertionResult Background(const Glyph &g, float w)
    {
        return Alphas(g, 0.7f - w, 0.4f - w, 0.5f - w);
    }

    static bool gl_ok_;
    std::vector<GLfloat> bar_vertices_;     // every polygon vertex of the last frame, 7 floats each
};
bool WallGlyphs::gl_ok_ = false;

TEST_F(WallGlyphs, EveryGlyphCallsItsDiscsThenItsSheetsInTheirColours)
{
    Draw(Wall_RenderRowWave, 0);     // the stored index is now 0
    const std::vector<Glyph> glyphs = Draw(Wall_RenderRowWave, 0);
    ASSERT_EQ(glyphs.size(), 800u);
    const float disc_rgb[3][3] = {{1, 0.4f, 0.3f}, {0.6f, 0.3f, 0.8f}, {0.6f, 1, 0.3f}};
    for (const Glyph &g : glyphs)
        for (int k = 0; k < 15; k++) {
            ASSERT_EQ(g.calls[k].list, kGlyphLists[k]);
            // Sheets 20-23 in the red disc's colour, 30-33 the green's, 40-43 the purple's.
            const int disc = k < 3 ? k : k < 7 ? 0 : k < 11 ? 2 : 1;
            for (int c = 0; c < 3; c++)
                ASSERT_NEAR(g.calls[k].rgba[c], disc_rgb[disc][c], 1e-6f) << "call " << k;
        }
    // The sheets are the discs' alphas less 0.5: a marker square's strong
    // blue (0.9) shows its sheets, the background's 0.4 never does.
    const Glyph &marker = At(glyphs, 3, 1);     // index 2, two rows below the brightest band
    const float w = kWave[(24 - 3) % 10];
    for (int k = 11; k < 15; k++)
        EXPECT_NEAR(Clamp01(marker.calls[k].rgba[3]), 0.9f - w - 0.5f, 1e-5f);
    for (int k = 3; k < 15; k++)
        EXPECT_EQ(Clamp01(At(glyphs, 24, 0).calls[k].rgba[3]), 0.0f);
}

TEST_F(WallGlyphs, RowWaveDimsEachRowFromTheBottomUp)
{
    Draw(Wall_RenderRowWave, 0);     // the stored index is now 0
    const std::vector<Glyph> glyphs = Draw(Wall_RenderRowWave, 0);
    ASSERT_EQ(glyphs.size(), 800u);
    EXPECT_TRUE(Background(At(glyphs, 24, 0), 0.28f));
    EXPECT_TRUE(Background(At(glyphs, 23, 5), 0.35f));
    EXPECT_TRUE(Background(At(glyphs, 22, 31), 0.45f));
    EXPECT_TRUE(Background(At(glyphs, 14, 9), 0.28f)) << "ten rows up the wave repeats";
    // The row seven up from the bottom is not dimmed: full palette strengths.
    EXPECT_TRUE(Background(At(glyphs, 17, 0), 0));
    EXPECT_TRUE(Alphas(At(glyphs, 16, 1), 0.9f - 0.14f, -0.14f, -0.14f)) << "red marker square";
    EXPECT_TRUE(Alphas(At(glyphs, 17, 5), 0, 0, 0)) << "dark cell";
    // A row wave has no column component: every background glyph of a row alike.
    for (int row = 0; row < WALL_ROWS; row++)
        for (int col = 0; col < WALL_COLS; col++) {
            if (wall_picture[row][col] != 0)
                continue;
            EXPECT_TRUE(Background(At(glyphs, row, col), kWave[(24 - row) % 10])) << row << "," << col;
        }
}

TEST_F(WallGlyphs, WavesStartWhereTheLastFrameRoundedDZero)
{
    struct Step {
        float d0;           // stored by the frame before
        int index;          // the wave the bottom row then starts with
    };
    // Rounded to nearest, ties to even: 4.5 gives 4, 8.5 gives 8.
    const Step steps[] = {{3.4f, 3}, {6.6f, 7}, {4.5f, 4}, {5.5f, 6}, {8.5f, 8}, {0.49f, 0}};
    Draw(Wall_RenderFadeIn, steps[0].d0);
    for (size_t s = 1; s < sizeof steps / sizeof steps[0]; s++) {
        const std::vector<Glyph> glyphs = Draw(Wall_RenderRowWave, steps[s].d0);
        ASSERT_EQ(glyphs.size(), 800u);
        const int k = steps[s - 1].index;
        EXPECT_TRUE(Background(At(glyphs, 24, 0), kWave[k])) << "after d0 = " << steps[s - 1].d0;
        // The index wraps from 9 to 0 on the way up.
        EXPECT_TRUE(Background(At(glyphs, 24 - (10 - k), 25), kWave[0])) << "after d0 = " << steps[s - 1].d0;
    }
}

TEST_F(WallGlyphs, CrossWaveCancelsWhereRowAndColumnAgree)
{
    Draw(Wall_RenderCrossWave, 3);
    const std::vector<Glyph> glyphs = Draw(Wall_RenderCrossWave, 3);
    ASSERT_EQ(glyphs.size(), 800u);
    int on_diagonal = 0;
    for (int row = 0; row < WALL_ROWS; row++)
        for (int col = 0; col < WALL_COLS; col++) {
            if (wall_picture[row][col] != 0)
                continue;
            const int up = 24 - row;
            const float w = kWave[(3 + up) % 10] - kWave[(3 + col) % 10];
            if (up % 10 == col % 10) {
                EXPECT_TRUE(Background(At(glyphs, row, col), 0)) << row << "," << col;
                on_diagonal++;
            }
            // The column wave restarts at every row.
            EXPECT_TRUE(Background(At(glyphs, row, col), w)) << row << "," << col;
        }
    EXPECT_GT(on_diagonal, 50);
    // Bottom row, column 2: the row wave at 3 (0.35), the column wave at 5 (0.22).
    EXPECT_TRUE(Background(At(glyphs, 24, 2), 0.35f - 0.22f));
}

TEST_F(WallGlyphs, DiagonalWaveCarriesTheColumnWaveFromRowToRow)
{
    for (auto render : {Wall_RenderDiagonalWave, Wall_RenderFadeOut}) {
        Draw(render, 0);
        const std::vector<Glyph> glyphs = Draw(render, 0);
        ASSERT_EQ(glyphs.size(), 800u);
        // 32 columns a row: the column wave starts each row two further on,
        // so the bands cancel where (rows up + column) is a multiple of 10.
        EXPECT_TRUE(Background(At(glyphs, 24, 0), 0));
        EXPECT_TRUE(Background(At(glyphs, 23, 9), 0));
        EXPECT_TRUE(Background(At(glyphs, 23, 0), kWave[1] - kWave[2]));
        EXPECT_TRUE(Background(At(glyphs, 20, 31), kWave[4] - kWave[(4 * 32 + 31) % 10]));
    }
}

// The bars after the wall: black, solid at the screen's edges and fading to
// the given alpha at the centre line (0 for list 7, n0 for the fades).
void ExpectBars(const std::vector<GLfloat> &polygons, float centre_alpha, const char *what)
{
    int at_centre = 0, at_edges = 0;
    for (size_t k = 0; k + 7 <= polygons.size(); k += 7) {
        const float y = polygons[k + 1], *rgba = &polygons[k + 3];
        EXPECT_EQ(rgba[0] + rgba[1] + rgba[2], 0.0f) << what;
        if (std::fabs(y - 240) < 1) {
            EXPECT_NEAR(rgba[3], centre_alpha, 1e-6f) << what;
            at_centre++;
        } else if (y < 81 || y > 399) {
            EXPECT_EQ(rgba[3], 1.0f) << what << " at y " << y;
            at_edges++;
        }
    }
    EXPECT_GE(at_centre, 4) << what;
    EXPECT_GE(at_edges, 8) << what;
}

TEST_F(WallGlyphs, FadesDrawTheBarsWithNZeroAtTheCentreLine)
{
    Draw(Wall_RenderFadeIn, 0, 0.3f);
    ExpectBars(bar_vertices_, 0.3f, "fade-in");
    Draw(Wall_RenderFadeOut, 0, 1.0f);
    ExpectBars(bar_vertices_, 1.0f, "fade-out: the band between the bars all black");
    Draw(Wall_RenderCrossWave, 0, 0.7f);
    ExpectBars(bar_vertices_, 0.0f, "list 7 ignores n0");
}

// --- played offscreen ------------------------------------------------------

constexpr Rect kTopBar{0, 400, 640, 480};
constexpr Rect kBottomBar{0, 0, 640, 80};
constexpr Rect kCentreBand{0, 200, 640, 280};

double Mean(const Frame &f, Rect r)
{
    const visual::RegionStats s = visual::Stats(f, r);
    return (s.mean[0] + s.mean[1] + s.mean[2]) / 3;
}

TEST(WallOnScreen, FadesInFromBlackBetweenTheBars)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(16);
    ASSERT_TRUE(visual::StartDebug(0.0f, 3.2f, 16, 4));
    Frame f;
    double before = -1;
    for (float t : {0.0f, 1.5f, 2.75f}) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_EQ(f.entry, 16);
        EXPECT_TRUE(visual::RegionIs(f, kTopBar, kBlack, 0));
        EXPECT_TRUE(visual::RegionIs(f, kBottomBar, kBlack, 0));
        const double centre = Mean(f, kCentreBand);
        if (t == 0.0f) {
            EXPECT_LT(centre, 1.0) << "n0 = 1 blacks out the band between the bars";
        } else {
            EXPECT_GT(centre, before + 5) << "the wall brightens as n0 falls, t = " << t;
        }
        before = centre;
    }
    EXPECT_GT(before, 30) << "near the end the wall shows at almost full strength";
}

TEST(WallOnScreen, BarsStayBlackThroughTheWavesAndTheWallFadesOut)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(20);
    // One frame a second from the last fifth of a second of entry 16 (whose
    // first frame still sets the wall up), so that a frame falls just after
    // the start of entry 20.
    ASSERT_TRUE(visual::StartDebug(2.81f, 32.0f, 16, 1));
    Frame f;
    for (float t : {5.0f, 9.0f, 13.0f, 18.0f, 22.0f, 26.0f}) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_GE(f.entry, 17);
        ASSERT_LE(f.entry, 19);
        EXPECT_TRUE(visual::RegionIs(f, kTopBar, kBlack, 0)) << "t = " << t;
        EXPECT_TRUE(visual::RegionIs(f, kBottomBar, kBlack, 0)) << "t = " << t;
        // The bars' gradients leave the centre line clear and darken towards them.
        const double centre = Mean(f, kCentreBand), edge = Mean(f, Rect{0, 82, 640, 100});
        EXPECT_GT(centre, 20) << "t = " << t;
        EXPECT_LT(edge, centre / 3) << "t = " << t;
    }
    // Entry 20 starts with the frame at 27.81 and is last drawn at 30.81,
    // where n0 is about 0.6 (the frame at 31.81 is past its end).
    ASSERT_TRUE(visual::CaptureAt(27.8f, &f));
    ASSERT_EQ(f.entry, 20);
    const double start = Mean(f, kCentreBand);
    EXPECT_GT(start, 20);
    ASSERT_TRUE(visual::CaptureAt(30.8f, &f));
    ASSERT_EQ(f.entry, 20);
    ASSERT_GT(chan.n0, 0.5f);
    EXPECT_LT(Mean(f, kCentreBand), start * 0.6) << "the band darkens as n0 rises";
    EXPECT_TRUE(visual::RegionIs(f, kTopBar, kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, kBottomBar, kBlack, 0));
}

} // namespace
