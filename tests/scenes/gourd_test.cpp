// The ribbed gourd: sparkle rings and ribbons as the init builds them (from
// a small archive whose stem has no triangles), the compiled lists read back
// through GL feedback, and the curtain and the opening view played offscreen
// with the shipped archive.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/zarwrite/zarwrite.h"

using visual::Frame;
using visual::kBlack;
using visual::Rect;
using visual::Rgb;

namespace {

const float kSmallDisc[9][3] = {
    {0, 0, 0},  {0, 5, 0},   {3.535535f, 3.535535f, 0},   {5, 0, 0},  {3.535535f, -3.535535f, 0},
    {0, -5, 0}, {-3.535535f, -3.535535f, 0}, {-5, 0, 0}, {-3.535535f, 3.535535f, 0}};
const float kLargeDisc[9][3] = {
    {0, 0, 0},  {0, 7, 0},   {4.949749f, 4.949749f, 0},   {7, 0, 0},  {4.949749f, -4.949749f, 0},
    {0, -7, 0}, {-4.949749f, -4.949749f, 0}, {-7, 0, 0}, {-4.949749f, 4.949749f, 0}};

constexpr float kStep = 0.49087384f;
constexpr unsigned int kSeed = 20240607;

float Dist(const float a[3], const float b[3])
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// Angle from the +z axis towards +x, as a turn about y by that angle moves (0, 0, 1).
float AngleAboutY(const float p[3])
{
    return std::atan2(p[0], p[2]);
}

float WrapPi(float a)
{
    while (a > (float)M_PI)
        a -= 2 * (float)M_PI;
    while (a < -(float)M_PI)
        a += 2 * (float)M_PI;
    return a;
}

TEST(GourdSparkles, JitterStaysInItsRangesAndYIsNeverOdd)
{
    // No turn and no tilt: every fan is the template moved by its jitter.
    static float out[GOURD_SET_POINTS][3];
    Gourd_MakeSparkles(kSmallDisc, out, 0, 0, 0, 0.0f, 0.0f, 10, 17, 10);
    std::set<int> ys;
    for (int k = 0; k < GOURD_FANS; k++) {
        const float *c = out[9 * k];
        const float rx = c[0], ry = c[1], rz = c[2];
        for (int p = 0; p < 9; p++)
            for (int i = 0; i < 3; i++)
                ASSERT_EQ(out[9 * k + p][i], kSmallDisc[p][i] + c[i]) << "fan " << k << " moves as one";
        EXPECT_EQ(rx, std::floor(rx));
        EXPECT_GE(rx, 0);
        EXPECT_LE(rx, 9);
        EXPECT_EQ(ry, std::floor(ry));
        EXPECT_EQ((int)ry % 2, 0) << "fan " << k << ": ry " << ry;
        EXPECT_GE(ry, 0);
        EXPECT_LE(ry, 32);
        const int tenths = (int)std::lround(rz * 10);
        EXPECT_EQ(rz, (float)tenths / 10) << "rz is a whole number of tenths";
        EXPECT_GE(tenths, 0);
        EXPECT_LE(tenths, 9);
        ys.insert((int)ry);
    }
    EXPECT_GE(ys.size(), 12u) << "ry spreads over its range";
}

TEST(GourdSparkles, RingStepsRoundTheAxisWithItsDiscsTilted)
{
    static float out[GOURD_SET_POINTS][3];
    const float tilt = -0.5f;
    Gourd_MakeSparkles(kLargeDisc, out, -5, 17, 120, kStep, tilt, 10, 15, 10);
    float phi = 0;
    for (int step = 0; step < 64; step++) {
        for (int d = 0; d < 4; d++) {
            const int k = 4 * step + d;
            const float *c = out[9 * k];
            for (int p = 1; p < 9; p++)
                ASSERT_NEAR(Dist(out[9 * k + p], c), 7.0f, 1e-3f) << "fan " << k;
            // Four discs a step, all near the angle of that step (the x
            // jitter and offset move them at most 5/120 of a radian).
            EXPECT_NEAR(WrapPi(AngleAboutY(c) - phi), 0.0f, 0.06f) << "fan " << k;
            // The tilt leans each disc's top in towards the axis.
            const float top[3] = {out[9 * k + 1][0] - c[0], out[9 * k + 1][1] - c[1], out[9 * k + 1][2] - c[2]};
            EXPECT_NEAR(top[1], 7 * std::cos(tilt), 1e-3f);
            const float outward = (top[0] * c[0] + top[2] * c[2]) / std::hypot(c[0], c[2]);
            EXPECT_NEAR(outward, 7 * std::sin(tilt), 0.02f) << "fan " << k;
        }
        phi += kStep;
    }
}

// Gourd_Init and Gourd_Setup once for the whole suite, with an archive whose
// stem has no triangles.
class GourdScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string err;
        zarw::Entry stem{"lodyga", ZAR_TYPE_MESH, zarw::MeshPayload({})};
        std::vector<uint8_t> bytes;
        char path[] = "/tmp/bt_gourd_XXXXXX";
        int fd = mkstemp(path);
        close(fd);
        ASSERT_TRUE(zarw::Pack({stem}, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
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

    void RequireGL()
    {
        if (!gl_ok_)
            GTEST_SKIP() << "no offscreen GL context here";
    }

    // The polygons a list draws in a wide orthographic box, as feedback
    // reports them: per polygon its vertices, 7 floats each (x, y, z, RGBA).
    static std::vector<std::vector<GLfloat>> Polygons(unsigned int list)
    {
        glViewport(0, 0, 640, 480);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-400, 400, -400, 400, -400, 400);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        // Seen askew, so that no disc of a ring lies edge-on.
        glRotatef(30, 1, 0.5f, 0.25f);
        std::vector<GLfloat> buffer(400000);
        glFeedbackBuffer((GLsizei)buffer.size(), GL_3D_COLOR, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glCallList(list);
        const GLint used = glRenderMode(GL_RENDER);
        EXPECT_GE(used, 0) << "feedback buffer overflow";
        std::vector<std::vector<GLfloat>> polygons;
        for (GLint k = 0; k < used;) {
            const int token = (int)buffer[k++];
            if (token != GL_POLYGON_TOKEN) {
                ADD_FAILURE() << "unexpected feedback token " << token;
                break;
            }
            const int n = (int)buffer[k++];
            polygons.emplace_back(&buffer[k], &buffer[k + 7 * n]);
            k += 7 * n;
        }
        return polygons;
    }

    static bool gl_ok_;
};
bool GourdScene::gl_ok_ = false;

TEST_F(GourdScene, SetsAreFilledInTableOrderFromOneRandomStream)
{
    // The same draws again, set by set in the table's order and with its
    // parameters, must give the same rings.
    struct Row {
        int large, y, z;
        float tilt;
        int m1, m2, m3;
    };
    const Row table[GOURD_SETS] = {
        {0, -17, 120, 0, 10, 17, 10},    {1, -17, 120, 0, 10, 17, 10},   {0, 17, 120, -0.5f, 10, 15, 10},
        {1, 17, 120, -0.5f, 10, 15, 10}, {0, 35, 110, -0.95f, 10, 20, 10}, {1, 35, 110, -0.95f, 10, 20, 10},
        {0, 40, 105, -1.1f, 10, 30, 10}, {1, 40, 105, -1.1f, 10, 30, 10}, {0, -35, 110, 0.5f, 10, 12, 10},
        {1, -35, 110, 0.5f, 10, 12, 10},
    };
    srand(kSeed);
    static float again[GOURD_SET_POINTS][3];
    for (int s = 0; s < GOURD_SETS; s++) {
        const Row &r = table[s];
        Gourd_MakeSparkles(r.large ? kLargeDisc : kSmallDisc, again, -5, r.y, r.z, kStep, r.tilt, r.m1, r.m2, r.m3);
        int same = 0;
        for (int p = 0; p < GOURD_SET_POINTS; p++)
            same += again[p][0] == gourd_sparkles[s][p][0] && again[p][1] == gourd_sparkles[s][p][1] &&
                    again[p][2] == gourd_sparkles[s][p][2];
        EXPECT_EQ(same, GOURD_SET_POINTS) << "set " << s + 1;
    }
}

TEST_F(GourdScene, RibbonsTurnByTheirStepWithCopiesTwelveDegreesApart)
{
    const float twelve = 12 * (float)M_PI / 180;
    float theta = 0;
    for (int i = 0; i < GOURD_STEPS; i++) {
        for (int j = 1; j < GOURD_PROFILE - 1; j++) {     // the poles lie on the axis
            const float *middle = gourd_ribbons[i][1][j];
            EXPECT_NEAR(WrapPi(AngleAboutY(middle) - theta), 0, 1e-5f) << "step " << i << " point " << j;
            EXPECT_NEAR(WrapPi(AngleAboutY(gourd_ribbons[i][0][j]) - theta - twelve), 0, 1e-5f);
            EXPECT_NEAR(WrapPi(AngleAboutY(gourd_ribbons[i][2][j]) - theta + twelve), 0, 1e-5f);
            for (int c = 0; c < 3; c++)
                EXPECT_NEAR(std::hypot(gourd_ribbons[i][c][j][0], gourd_ribbons[i][c][j][2]),
                            std::fabs(gourd_ribbons[0][1][j][2]), 1e-3f);
        }
        theta += 0.41997902f;
    }
    // The profile itself, unturned, is step 0's middle copy.
    EXPECT_EQ(gourd_ribbons[0][1][3][1], 40.0f);
    EXPECT_EQ(gourd_ribbons[0][1][3][2], 105.0f);
    EXPECT_EQ(gourd_ribbons[0][1][3][0], 0.0f);
}

TEST_F(GourdScene, SparkleListsHoldTwoHundredAndFiftySixClosedFans)
{
    RequireGL();
    const float pair[2][2][4] = {{{1.0f, 0.9f, 0.8f, 0.2f}, {0.6f, 0.5f, 0.4f, 0.0f}},
                                 {{1.0f, 0.7f, 0.5f, 0.3f}, {0.6f, 0.3f, 0.1f, 0.0f}}};
    for (unsigned int list = 10; list <= 19; list++) {
        const std::vector<std::vector<GLfloat>> polygons = Polygons(list);
        // Each octagon is closed: eight triangles a fan.
        ASSERT_EQ(polygons.size(), (size_t)GOURD_FANS * 8) << "list " << list;
        const float(*centre)[4] = &pair[(list - 10) % 2][0];
        for (const std::vector<GLfloat> &tri : polygons) {
            ASSERT_EQ(tri.size(), 21u);
            int centres = 0, rims = 0;
            for (int v = 0; v < 3; v++) {
                const GLfloat *rgba = &tri[7 * v + 3];
                bool is_centre = true, is_rim = true;
                for (int c = 0; c < 4; c++) {
                    is_centre = is_centre && std::fabs(rgba[c] - centre[0][c]) < 1e-6f;
                    is_rim = is_rim && std::fabs(rgba[c] - centre[1][c]) < 1e-6f;
                }
                centres += is_centre;
                rims += is_rim;
            }
            ASSERT_EQ(centres, 1) << "list " << list;
            ASSERT_EQ(rims, 2) << "list " << list;
        }
    }
}

TEST_F(GourdScene, StemWithoutTrianglesIsAnEmptyListThatSetsItsColour)
{
    RequireGL();
    glColor4f(0, 1, 0, 1);
    EXPECT_TRUE(Polygons(5).empty());
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    const float want[4] = {0.7f, 0.4f, 0.3f, 0.8f};
    for (int c = 0; c < 4; c++)
        EXPECT_NEAR(colour[c], want[c], 1e-6f);
}

// --- played offscreen ------------------------------------------------------

constexpr Rgb kBeige{230, 204, 178};    // the clear colour (0.9, 0.8, 0.7)
constexpr Rect kLeftBar{0, 0, 80, 480};
constexpr Rect kRightBar{560, 0, 640, 480};

// The beige ground between the bars under list 7's gradients: black at the
// bottom and top edges, clear on rows 239 and 240.
Rgb Ground(int y)
{
    double clear;
    if (y < 239)
        clear = (y + 0.5) / 239;
    else if (y < 241)
        clear = 1;
    else
        clear = 1 - (y + 0.5 - 241) / 239;
    return Rgb{(int)std::lround(kBeige.r * clear), (int)std::lround(kBeige.g * clear),
               (int)std::lround(kBeige.b * clear)};
}

::testing::AssertionResult RowIsGround(const Frame &f, int y)
{
    return visual::RegionIs(f, Rect{80, y, 560, y + 1}, Ground(y), 3);
}

TEST(GourdOnScreen, CurtainSlidesAwayToTheCentreLine)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(21);
    ASSERT_TRUE(visual::StartDebug(0.0f, 1.2f, 21, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    ASSERT_EQ(f.entry, 21);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, kBlack, 0)) << "a = 480: the curtain covers all";

    ASSERT_TRUE(visual::CaptureAt(0.4f, &f));
    ASSERT_EQ(f.entry, 21);
    const float a = chan.a;
    ASSERT_GT(a, 100);
    ASSERT_LT(a, 300);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, (int)a - 1}, kBlack, 0)) << "solid below the gradient";
    EXPECT_TRUE(visual::RegionIs(f, kLeftBar, kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, kRightBar, kBlack, 0));
    // The lower gradient clears upwards from a to the centre line at a + 239.
    const int mid = (int)a + 120;
    EXPECT_TRUE(visual::ColourNear(f, 320, mid, Rgb{kBeige.r / 2, kBeige.g / 2, kBeige.b / 2}, 4));

    // The last frame: the two-pixel gap is the beige ground, just above a.
    ASSERT_TRUE(visual::CaptureAt(0.99f, &f));      // the frame at 1.0
    ASSERT_EQ(f.entry, 21);
    const int gap = (int)std::ceil(239 + chan.a);
    EXPECT_TRUE(visual::RegionIs(f, Rect{80, gap, 560, gap + 1}, kBeige, 2));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, (int)chan.a - 1}, kBlack, 0));
}

TEST(GourdOnScreen, ViewOpensFromTheCentreLineBetweenBlackBars)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(22);
    ASSERT_TRUE(visual::StartDebug(0.0f, 3.0f, 21, 10));
    Frame f;
    // The first frame of entry 22: a view 0 pixels high, only the ground.
    ASSERT_TRUE(visual::CaptureAt(1.05f, &f));
    ASSERT_EQ(f.entry, 22);
    ASSERT_LT(chan.n1, 1.0f);
    EXPECT_TRUE(visual::RegionIs(f, Rect{80, 239, 560, 241}, kBeige, 2));
    for (int y : {20, 120, 238, 300, 460})
        EXPECT_TRUE(RowIsGround(f, y)) << "y = " << y;

    for (float t : {1.5f, 2.5f}) {
        ASSERT_TRUE(visual::CaptureAt(t, &f));
        ASSERT_EQ(f.entry, 22);
        const int bottom = (int)chan.n0, height = (int)chan.n1;
        ASSERT_GT(height, 40);
        ASSERT_LT(bottom + height, 470);
        EXPECT_NEAR(bottom + height / 2.0, 240, 1.5) << "centred on the centre line";
        EXPECT_TRUE(visual::RegionIs(f, kLeftBar, kBlack, 0));
        EXPECT_TRUE(visual::RegionIs(f, kRightBar, kBlack, 0));
        // Nothing of the view outside its rows; the gourd at their centre.
        EXPECT_TRUE(RowIsGround(f, bottom - 1)) << "t = " << t;
        EXPECT_TRUE(RowIsGround(f, bottom + height)) << "t = " << t;
        EXPECT_TRUE(RowIsGround(f, 5)) << "t = " << t;
        EXPECT_FALSE(visual::ColourNear(f, 320, 240, kBeige, 20)) << "t = " << t;
    }
}

TEST(GourdOnScreen, CurtainComesBackOverTheScreen)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(27);
    // One frame a second, just after each entry's start: entry 27 (which
    // starts 28.04 s after entry 21) gets a frame at local time 0 and one at
    // 1.0, 0.04 s before its end.
    ASSERT_TRUE(visual::StartDebug(0.05f, 29.1f, 21, 1));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(28.0f, &f));
    ASSERT_EQ(f.entry, 27);
    ASSERT_LT(std::fabs(chan.a), 1.0f);
    EXPECT_TRUE(visual::RegionIs(f, Rect{80, 239, 560, 241}, kBeige, 2)) << "only the centre line clear";
    EXPECT_TRUE(RowIsGround(f, 100));
    EXPECT_TRUE(RowIsGround(f, 400));

    ASSERT_TRUE(visual::CaptureAt(29.0f, &f));
    ASSERT_EQ(f.entry, 27);
    const float a = chan.a;
    ASSERT_LT(a, -440.0f);
    // The upper solid part has come down to 480 + a; below it the gradient's dark end.
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 481 + (int)a, 640, 480}, kBlack, 0));
    const double clear = 1 - (10.5 - (241 + a)) / 239;
    EXPECT_TRUE(visual::ColourNear(f, 320, 10, Rgb{(int)(kBeige.r * clear + 0.5), (int)(kBeige.g * clear + 0.5),
                                                   (int)(kBeige.b * clear + 0.5)}, 3));
    EXPECT_TRUE(visual::RegionIs(f, kLeftBar, kBlack, 0));
}

} // namespace
