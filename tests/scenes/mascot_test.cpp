// The mascot scene: its tables and lists from a two-triangle mesh of our
// own (read back through the GL's feedback mode), the glow points' fade-out,
// the wipe's end, and the shipped entries 4 and 5 played offscreen.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tests/support/visual.h"
#include "tools/capture/session.h"
#include "tools/zarwrite/zarwrite.h"

using visual::Frame;
using visual::kBlack;
using visual::kPeach;
using visual::Rect;
using visual::Rgb;

namespace {

const std::vector<float> kMesh = {
    1, 2, 3, 4, -5, 6, -7, 8, -9,           // triangle 0
    0.5f, 0, 10, 2, 3, -4, -1, -1, 1,       // triangle 1
};

// One polygon as the GL's feedback mode reports it (GL_3D_COLOR).
struct Vertex {
    float x, y, z, r, g, b, a;
};
typedef std::vector<Vertex> Polygon;

// Runs draw in feedback mode under a box of +-half units in every direction
// mapped onto the 640 x 480 viewport; returns the polygons the GL produced.
template <class Draw> std::vector<Polygon> Feedback(float half, Draw draw)
{
    std::vector<GLfloat> buf(1 << 16);
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-half, half, -half, half, -half, half);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    std::vector<Polygon> out;
    for (int i = 0; i < n;) {
        EXPECT_EQ(buf[i], (GLfloat)GL_POLYGON_TOKEN);
        if (buf[i] != (GLfloat)GL_POLYGON_TOKEN)
            break;
        const int count = (int)buf[i + 1];
        Polygon p(count);
        for (int k = 0; k < count; k++)
            p[k] = *reinterpret_cast<const Vertex *>(&buf[i + 2 + 7 * k]);
        out.push_back(p);
        i += 2 + 7 * count;
    }
    return out;
}

// Object x, y under Feedback(half) back from window coordinates.
float ObjectX(const Vertex &v, float half) { return v.x / 640.0f * 2 * half - half; }
float ObjectY(const Vertex &v, float half) { return v.y / 480.0f * 2 * half - half; }

class MascotScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        gl_ok_ = Headless_Open(640, 480, &why);
        zarw::Image logo;
        logo.width = 128;
        logo.height = 64;
        logo.rgb.assign(128 * 64 * 3, 90);
        std::string err;
        std::vector<zarw::Entry> entries = {
            {"logo", ZAR_TYPE_PICTURE, zarw::PicturePayload(logo, 64, 64, &err)},
            {"ferretoid", ZAR_TYPE_MESH, zarw::MeshPayload(kMesh)},
        };
        std::vector<uint8_t> bytes;
        char path[] = "/tmp/bt_mascot_XXXXXX";
        int fd = mkstemp(path);
        close(fd);
        ASSERT_TRUE(zarw::Pack(entries, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
        ZAR_Open(path);
        Mascot_Init();
        ZAR_Close();
        unlink(path);
        if (gl_ok_)
            Mascot_Setup();
    }
    static void TearDownTestSuite() { Headless_Close(); }

    void SetUp() override
    {
        if (!gl_ok_)
            GTEST_SKIP() << "no offscreen GL context here";
    }

    static bool gl_ok_;
};
bool MascotScene::gl_ok_ = false;

TEST_F(MascotScene, EchoCopiesAreTheStretchedMeshTurnedAndSheared)
{
    const float *copy0 = mascot_copies[0]->triangles;
    ASSERT_EQ(mascot_copies[0]->count, 2u);
    for (int v = 0; v < 6; v++) {
        EXPECT_EQ(copy0[3 * v], 6.0f * kMesh[3 * v]);
        EXPECT_EQ(copy0[3 * v + 1], 6.0f * kMesh[3 * v + 1]);
        EXPECT_EQ(copy0[3 * v + 2], kMesh[3 * v + 2]);
    }
    for (int k = 1; k < MASCOT_COPIES; k++) {
        // The turn grows by about 6 degrees a copy; the shear is the sine of k itself.
        const double theta = 0.10472 * k, shear = std::sin((double)k);
        for (int v = 0; v < 6; v++) {
            const double x = copy0[3 * v], y = copy0[3 * v + 1], z = copy0[3 * v + 2];
            const float *got = mascot_copies[k]->triangles + 3 * v;
            EXPECT_NEAR(got[0], shear * z + std::cos(theta) * x, 1e-3) << "copy " << k;
            EXPECT_EQ(got[1], (float)y) << "copy " << k;
            EXPECT_NEAR(got[2], std::cos(theta) * z - std::sin(theta) * x, 1e-3) << "copy " << k;
        }
    }
}

TEST_F(MascotScene, StreamTableComesFromTheStartOfTheGenerator)
{
    // The init was the first to draw from rand(); replay that sequence.
    srand(1);
    for (int e = 0; e < MASCOT_STREAM_ROWS * MASCOT_STREAM_COLS; e++) {
        const int x = 32 * (rand() % 16);
        const int y = 64 * ((rand() % 16) - 8);
        ASSERT_EQ(mascot_stream[e][0], (float)x) << "entry " << e;
        ASSERT_EQ(mascot_stream[e][1], (float)y) << "entry " << e;
    }
}

TEST_F(MascotScene, EchoListsDrawEveryCopyInItsTintFromFaintToAboutOneSeventh)
{
    const unsigned int lists[2] = {5, 6};
    const float green[2] = {0.4f, 0.2f}, blue[2] = {0.2f, 0.4f};
    for (int l = 0; l < 2; l++) {
        GLint depth_before = 0, depth_after = 0;
        std::vector<Polygon> polys = Feedback(100, [&] {
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
            glPushMatrix();
            glCallList(lists[l]);
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
        });
        EXPECT_EQ(depth_after, depth_before) << "the list pops the caller's push";
        ASSERT_EQ(polys.size(), 2u * MASCOT_COPIES);
        float alpha = 0.01f;
        for (int k = 0; k < MASCOT_COPIES; k++) {
            for (int t = 0; t < 2; t++) {
                const Polygon &p = polys[2 * k + t];
                ASSERT_EQ(p.size(), 3u);
                EXPECT_FLOAT_EQ(p[0].r, 0.8f);
                EXPECT_FLOAT_EQ(p[0].g, green[l]);
                EXPECT_FLOAT_EQ(p[0].b, blue[l]);
                EXPECT_NEAR(p[0].a, alpha, 1e-7) << "list " << lists[l] << " copy " << k;
                // Copy k's own vertices, in stored order.
                for (int v = 0; v < 3; v++) {
                    const float *want = mascot_copies[k]->triangles + 9 * t + 3 * v;
                    EXPECT_NEAR(ObjectX(p[v], 100), want[0], 1e-3) << "copy " << k;
                    EXPECT_NEAR(ObjectY(p[v], 100), want[1], 1e-3) << "copy " << k;
                }
            }
            alpha *= 1.15f;
        }
        EXPECT_NEAR(polys.back()[0].a, 0.142, 0.001);
    }
}

TEST_F(MascotScene, GlowPointsFadeOutSixHundredUnitsFromTheMascot)
{
    auto glow = [](float x, float y, float z) {
        mascot_glow_point[0] = x;
        mascot_glow_point[1] = y;
        mascot_glow_point[2] = z;
        mascot_glow_colour[0] = 1.0f;
        mascot_glow_colour[1] = 0.5f;
        mascot_glow_colour[2] = 0.4f;
        return Feedback(1000, [] { Mascot_DrawGlow(); });
    };
    EXPECT_TRUE(glow(600, 0, 0).empty());
    EXPECT_TRUE(glow(0, -360, -480).empty()) << "distance 600 in any direction";

    std::vector<Polygon> polys = glow(599, 0, 0);
    EXPECT_NEAR(mascot_glow_colour[3], 1.0 / 600, 1e-6);
    EXPECT_NEAR(mascot_glow_radius, 40.1, 1e-4);
    // Four ray wedges, then three octagonal fans of eight triangles each.
    ASSERT_EQ(polys.size(), 4u + 3 * 8);
    for (int k = 0; k < 4; k++) {
        EXPECT_FLOAT_EQ(ObjectX(polys[k][1], 1000), 0.0f) << "rays end at the mascot";
        EXPECT_FLOAT_EQ(polys[k][1].a, 0.1f);
        EXPECT_FLOAT_EQ(polys[k][0].a, 0.0f);
    }
    const Vertex &centre = polys[4][0];
    EXPECT_NEAR(ObjectX(centre, 1000), 599, 1e-3);
    EXPECT_NEAR(centre.a, 1.0 / 600, 1e-6);
    EXPECT_FLOAT_EQ(centre.g, 0.5f);
    // The first disc lies in the x-y plane: its rim runs 40.1 round the point.
    for (int t = 4; t < 12; t++)
        for (int v = 1; v < 3; v++) {
            const double dx = ObjectX(polys[t][v], 1000) - 599, dy = ObjectY(polys[t][v], 1000);
            EXPECT_NEAR(std::hypot(dx, dy), 40.1, 2e-3);
            EXPECT_EQ(polys[t][v].a, 0.0f);
        }
}

TEST_F(MascotScene, WipeCoversTheLowestLineFromTheLeftAndEndsFullyBlack)
{
    Frame f;
    f.rgb.resize(640 * 480 * 3);
    auto draw = [&](float n0, float n1) {
        chan.a = 5200;
        chan.n0 = n0;
        chan.n1 = n1;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Mascot_RenderWipe();
        Headless_ReadRGB(f.rgb.data());
    };
    draw(300, 400);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 80, 299, 82}, kBlack, 0));
    EXPECT_GT(visual::ShareNear(f, Rect{302, 80, 640, 82}, kPeach, 40), 0.5);
    EXPECT_GT(visual::ShareNear(f, Rect{0, 239, 399, 241}, kPeach, 40), 0.5);
    EXPECT_TRUE(visual::RegionIs(f, Rect{402, 239, 640, 241}, kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{402, 398, 640, 400}, kBlack, 0));
    for (Rect bar : {Rect{0, 0, 640, 80}, Rect{0, 82, 640, 239}, Rect{0, 241, 640, 398}, Rect{0, 400, 640, 480}})
        EXPECT_TRUE(visual::RegionIs(f, bar, kBlack, 0));

    // The last frames: n0 past the right edge, n1 past the left.
    draw(680, -40);
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, kBlack, 0));

    // The second stream, the first turned half round and drawn rows last to
    // first, ends on row 0's last column in its own tint.
    EXPECT_EQ(mascot_glow_point[0], -mascot_stream[9][0]);
    EXPECT_EQ(mascot_glow_point[1], mascot_stream[9][1]);
    EXPECT_EQ(mascot_glow_point[2], -5200.0f);
    EXPECT_EQ(mascot_glow_colour[1], 0.4f);
    EXPECT_EQ(mascot_glow_colour[2], 0.5f);
}

// --- the shipped archive, played as the capture tool plays it ---

TEST(MascotVisual, EntryFourOpensBlackButForTheThreeGapLines)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(4);
    ASSERT_TRUE(visual::StartDebug(0.0f, 1.0f, 4, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureFrame(0, &f));
    ASSERT_EQ(f.entry, 4);
    const int gaps[3] = {80, 239, 398};
    int from = 0;
    for (int gap : gaps) {
        EXPECT_TRUE(visual::RegionIs(f, Rect{0, from, 640, gap}, kBlack, 0));
        from = gap + 2;
    }
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, from, 640, 480}, kBlack, 0));
    // The first frame was cleared black before the setup set the peach
    // clear colour; through the middle line the mascot shows.
    EXPECT_LT(visual::ShareNear(f, Rect{240, 239, 400, 241}, kBlack, 4), 0.9);

    // From the second frame on the lines show the peach background.
    ASSERT_TRUE(visual::CaptureFrame(1, &f));
    for (int gap : gaps)
        EXPECT_GT(visual::ShareNear(f, Rect{0, gap, 640, gap + 2}, kPeach, 40), 0.6) << "line at " << gap;
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 82, 640, 236}, kBlack, 1));
}

TEST(MascotVisual, EntryFiveShowsTheLogoOneToOneEightPixelsAboveTheBottom)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(5);
    ASSERT_TRUE(visual::StartDebug(5.25f, 6.5f, 4, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(5.6f, &f));
    ASSERT_EQ(f.entry, 5);

    ZAR_Open(capture::kArchivePath);
    zar_pic_t *logo = ZAR_ReadPic("logo");
    ZAR_Close();
    ASSERT_EQ(logo->tiles_y, 1u);
    ASSERT_EQ(logo->tile_w * logo->tiles_x, 640u);
    const uint32_t w = logo->tile_w, h = logo->tile_h;
    int wrong = 0;
    for (uint32_t c = 0; c < logo->tiles_x; c++)
        for (uint32_t row = 0; row < h; row++)
            for (uint32_t i = 0; i < w; i++) {
                const uint8_t *p = logo->pixels + 3 * (w * h * c + w * row + i);
                const Rgb got = f.At((int)(w * c + i), (int)(8 + h - 1 - row));
                wrong += got.r != p[0] || got.g != p[1] || got.b != p[2];
            }
    EXPECT_EQ(wrong, 0) << "of " << 640 * h << " logo pixels";
    // Under and over it the black bar.
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 8}, kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, (int)(8 + h), 640, 80}, kBlack, 0));
}

} // namespace
