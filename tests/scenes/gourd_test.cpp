// The ribbed gourd: sparkle rings and ribbons as the init builds them (from
// an archive whose stem has no triangles), the compiled lists read back
// through GL feedback, and the curtain and opening view played offscreen with
// the shipped archive.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/zarwrite/zarwrite.h"

namespace {

const float kSmallDisc[9][3] = {{0, 0, 0},   {0, 5, 0},  {3.535535f, 3.535535f, 0},  {5, 0, 0},
                                {3.535535f, -3.535535f, 0}, {0, -5, 0}, {-3.535535f, -3.535535f, 0},
                                {-5, 0, 0},  {-3.535535f, 3.535535f, 0}};
const float kLargeDisc[9][3] = {{0, 0, 0},   {0, 7, 0},  {4.949749f, 4.949749f, 0},  {7, 0, 0},
                                {4.949749f, -4.949749f, 0}, {0, -7, 0}, {-4.949749f, -4.949749f, 0},
                                {-7, 0, 0},  {-4.949749f, 4.949749f, 0}};
constexpr float kStep = 0.49087384f;
constexpr unsigned int kSeed = 20240607;

// Angle about y from +z towards +x, wrapped to within pi of `near`.
float AngleNear(const float p[3], float near)
{
    return near + std::remainder(std::atan2(p[0], p[2]) - near, 2 * (float)M_PI);
}

TEST(GourdSparkles, JitterIsWholeStepsWithYNeverOdd)
{
    // Unturned and untilted, every fan is the template moved by its jitter.
    static float out[GOURD_SET_POINTS][3];
    Gourd_MakeSparkles(kSmallDisc, out, 0, 0, 0, 0.0f, 0.0f, 10, 17, 10);
    std::set<float> ys;
    for (int k = 0; k < GOURD_FANS; k++) {
        const float *c = out[9 * k];
        EXPECT_EQ(out[9 * k + 8][0], kSmallDisc[8][0] + c[0]) << "fan " << k << " moves as one";
        EXPECT_TRUE(c[0] == std::floor(c[0]) && c[0] >= 0 && c[0] <= 9) << c[0];
        EXPECT_TRUE(std::fmod(c[1], 2.0f) == 0 && c[1] >= 0 && c[1] <= 32) << "ry " << c[1];
        EXPECT_TRUE(c[2] == std::round(c[2] * 10) / 10 && c[2] >= 0 && c[2] <= 0.9f) << "rz " << c[2];
        ys.insert(c[1]);
    }
    EXPECT_GE(ys.size(), 12u) << "ry spreads over its range";
}

// Gourd_Init and Gourd_Setup once, the stem without triangles.
class GourdScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string err;
        std::vector<uint8_t> bytes;
        char path[] = "/tmp/bt_gourd_XXXXXX";
        close(mkstemp(path));
        ASSERT_TRUE(zarw::Pack({zarw::Entry{"lodyga", ZAR_TYPE_MESH, zarw::MeshPayload({})}}, &bytes, &err) &&
                    zarw::WriteFile(path, bytes, &err))
            << err;
        ZAR_Open(path);
        srand(kSeed);
        Gourd_Init();
        ZAR_Close();
        unlink(path);
        const char *why = nullptr;
        gl_ok_ = Headless_Open(640, 480, &why);
        if (gl_ok_)
            Gourd_Setup();
    }
    static void TearDownTestSuite() { Headless_Close(); }

    // The colours (RGBA) of the vertices of the triangles a list draws, seen
    // askew so that no disc lies edge-on.
    static std::vector<float> Colours(unsigned int list)
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-400, 400, -400, 400, -400, 400);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(30, 1, 0.5f, 0.25f);
        std::vector<GLfloat> buf(200000);
        glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
        glRenderMode(GL_FEEDBACK);
        glCallList(list);
        std::vector<float> colours;
        for (GLint k = 0, used = glRenderMode(GL_RENDER); k + 23 <= used; k += 23) {
            EXPECT_TRUE(buf[k] == GL_POLYGON_TOKEN && buf[k + 1] == 3);
            for (int v = 0; v < 3; v++)
                colours.insert(colours.end(), &buf[k + 5 + 7 * v], &buf[k + 9 + 7 * v]);
        }
        return colours;
    }

    static bool gl_ok_;
};
bool GourdScene::gl_ok_ = false;

TEST_F(GourdScene, InitFillsTheSetsInTableOrderAndTurnsTheRibbons)
{
    // The same draws again, set by set with the table's parameters, give the same rings.
    struct Row {
        int large, y, z;
        float tilt;
        int m2;
    };
    const Row table[GOURD_SETS] = {{0, -17, 120, 0, 17},     {1, -17, 120, 0, 17},     {0, 17, 120, -0.5f, 15},
                                   {1, 17, 120, -0.5f, 15},  {0, 35, 110, -0.95f, 20}, {1, 35, 110, -0.95f, 20},
                                   {0, 40, 105, -1.1f, 30},  {1, 40, 105, -1.1f, 30},  {0, -35, 110, 0.5f, 12},
                                   {1, -35, 110, 0.5f, 12}};
    srand(kSeed);
    static float again[GOURD_SET_POINTS][3];
    for (int s = 0; s < GOURD_SETS; s++) {
        const Row &r = table[s];
        Gourd_MakeSparkles(r.large ? kLargeDisc : kSmallDisc, again, -5, r.y, r.z, kStep, r.tilt, 10, r.m2, 10);
        EXPECT_EQ(memcmp(again, gourd_sparkles[s], sizeof again), 0) << "set " << s + 1;
    }
    // Each ribbon turned a step further, its edges 12 degrees either side.
    const float twelve = 12 * (float)M_PI / 180;
    float theta = 0;
    for (int i = 0; i < GOURD_STEPS; i++, theta += 0.41997902f)
        for (int j = 1; j < GOURD_PROFILE - 1; j++) {     // the poles lie on the axis
            EXPECT_NEAR(AngleNear(gourd_ribbons[i][1][j], theta), theta, 1e-5f) << i << "," << j;
            EXPECT_NEAR(AngleNear(gourd_ribbons[i][0][j], theta), theta + twelve, 1e-5f) << i << "," << j;
            EXPECT_NEAR(AngleNear(gourd_ribbons[i][2][j], theta), theta - twelve, 1e-5f) << i << "," << j;
        }
    EXPECT_TRUE(gourd_ribbons[0][1][3][1] == 40 && gourd_ribbons[0][1][3][2] == 105);
}

TEST_F(GourdScene, SparkleListsAreClosedFansAndTheEmptyStemSetsItsColour)
{
    if (!gl_ok_)
        GTEST_SKIP() << "no offscreen GL context here";
    const float pairs[2][2][4] = {{{1.0f, 0.9f, 0.8f, 0.2f}, {0.6f, 0.5f, 0.4f, 0.0f}},
                                  {{1.0f, 0.7f, 0.5f, 0.3f}, {0.6f, 0.3f, 0.1f, 0.0f}}};
    for (unsigned int list = 10; list <= 19; list++) {
        const std::vector<float> colours = Colours(list);
        // 256 closed octagons: eight triangles each, with one centre and two rim vertices.
        ASSERT_EQ(colours.size(), (size_t)GOURD_FANS * 8 * 12) << "list " << list;
        int centres = 0, rims = 0;
        for (size_t v = 0; v < colours.size(); v += 4) {
            centres += memcmp(&colours[v], pairs[(list - 10) % 2][0], 16) == 0;
            rims += memcmp(&colours[v], pairs[(list - 10) % 2][1], 16) == 0;
        }
        EXPECT_TRUE(centres == GOURD_FANS * 8 && rims == GOURD_FANS * 16) << "list " << list;
    }
    glColor4f(0, 1, 0, 1);
    EXPECT_TRUE(Colours(5).empty());
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(colour[0] == 0.7f && colour[1] == 0.4f && colour[2] == 0.3f && colour[3] == 0.8f);
}

using visual::Frame;
using visual::Rect;
using visual::Rgb;

constexpr Rgb kBeige{230, 204, 178};    // the clear colour (0.9, 0.8, 0.7)

// A row of the beige ground between the bars under the gradients that run
// from black at the bottom edge (or at the top edge, from row 241) to clear
// at the centre line, a = 0 for list 7 and the curtain at rest.
::testing::AssertionResult RowIsGround(const Frame &f, int y, float a = 0)
{
    const double up = y + 0.5 - a, clear = up < 239 ? up / 239 : up < 241 ? 1 : 1 - (up - 241) / 239;
    const Rgb want{(int)std::lround(kBeige.r * clear), (int)std::lround(kBeige.g * clear),
                   (int)std::lround(kBeige.b * clear)};
    return visual::RegionIs(f, Rect{80, y, 560, y + 1}, want, 3);
}

TEST(GourdOnScreen, CurtainOpensOntoAViewFromTheCentreLineAndCloses)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(27);
    // One frame a second, each just after the starts of entries 22 to 27
    // (whole seconds plus 0.04): entry 22 is drawn at local times 0, 1 and
    // 2, entry 27 at 0 and at 1, 0.04 s before its end.
    ASSERT_TRUE(visual::StartDebug(0.05f, 29.1f, 21, 1));
    Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, visual::kBlack, 0)) << "a = 480: all curtain";

    for (float t : {1.0f, 2.0f, 3.0f}) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_EQ(f.entry, 22);
        const int bottom = (int)chan.n0, height = (int)chan.n1;
        EXPECT_NEAR(bottom + height / 2.0, 240, 1.5) << "centred on the centre line";
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 80, 480}, visual::kBlack, 0));
        EXPECT_TRUE(visual::RegionIs(f, Rect{560, 0, 640, 480}, visual::kBlack, 0));
        // The ground right up to the view's rows, which show the gourd at their centre.
        EXPECT_TRUE(RowIsGround(f, bottom - 1)) << "t = " << t;
        EXPECT_TRUE(RowIsGround(f, bottom + height)) << "t = " << t;
        EXPECT_EQ(height == 0, bool(visual::ColourNear(f, 320, 240, kBeige, 20))) << "t = " << t;
    }

    ASSERT_TRUE(visual::CaptureAt(28.0f, &f));
    ASSERT_EQ(f.entry, 27);
    EXPECT_TRUE(visual::RegionIs(f, Rect{80, 239, 560, 241}, kBeige, 2)) << "the curtain at rest";
    EXPECT_TRUE(RowIsGround(f, 100) && RowIsGround(f, 400));
    ASSERT_TRUE(visual::CaptureAt(29.0f, &f));
    ASSERT_EQ(f.entry, 27);
    ASSERT_LT(chan.a, -440.0f);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 481 + (int)chan.a, 640, 480}, visual::kBlack, 0));
    EXPECT_TRUE(RowIsGround(f, 10, chan.a)) << "the dark end of the lower gradient";
}

} // namespace
