// The mascot scene: its echo copies and lists from a two-triangle mesh of
// our own (the lists read back through the GL's feedback mode), the glow
// points' fade-out, the wipe's end, and the shipped entries 4 and 5.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <unistd.h>

#include <cmath>
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

namespace {

const std::vector<float> kMesh = {1, 2, 3, 4, -5, 6, -7, 8, -9, 0.5f, 0, 10, 2, 3, -4, -1, -1, 1};

struct Vertex {
    float x, y, z, r, g, b, a;      // as feedback mode (GL_3D_COLOR) reports it
};
typedef std::vector<Vertex> Polygon;

// The polygons that draw produces under a box of +-100 units mapped onto the
// 640 x 480 viewport; object x = window x / 3.2 - 100.
template <class Draw> std::vector<Polygon> Feedback(Draw draw)
{
    std::vector<GLfloat> buf(1 << 16);
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-100, 100, -100, 100, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer((GLsizei)buf.size(), GL_3D_COLOR, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    std::vector<Polygon> out;
    for (int i = 0; i < n && buf[i] == (GLfloat)GL_POLYGON_TOKEN; i += 2 + 7 * (int)buf[i + 1]) {
        const Vertex *v = reinterpret_cast<const Vertex *>(&buf[i + 2]);
        out.push_back(Polygon(v, v + (int)buf[i + 1]));
    }
    return out;
}

float ObjectX(const Vertex &v) { return v.x / 3.2f - 100; }

// The scene's init and setup on a small archive of our own, once a process.
class MascotScene : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const bool ready = [] {
            if (!Headless_Open(640, 480, nullptr))
                return false;
            zarw::Image logo;
            logo.width = 128;
            logo.height = 64;
            logo.rgb.assign(128 * 64 * 3, 90);
            std::string err;
            std::vector<uint8_t> bytes;
            char path[] = "/tmp/bt_mascot_XXXXXX";
            close(mkstemp(path));
            if (!zarw::Pack({{"logo", ZAR_TYPE_PICTURE, zarw::PicturePayload(logo, 64, 64, &err)},
                             {"ferretoid", ZAR_TYPE_MESH, zarw::MeshPayload(kMesh)}},
                            &bytes, &err) ||
                !zarw::WriteFile(path, bytes, &err))
                return false;
            ZAR_Open(path);
            Mascot_Init();
            ZAR_Close();
            unlink(path);
            Mascot_Setup();
            return true;
        }();
        if (!ready)
            GTEST_SKIP() << "no offscreen GL context or no room for the test archive";
    }
};

TEST_F(MascotScene, EchoCopiesAreTheStretchedMeshTurnedAndShearedAndFadeInCopyByCopy)
{
    // Copy 0 is the mesh stretched six times in x and y; copy k is turned
    // about 6 degrees more a copy and sheared by the sine of k itself.
    for (int k = 0; k < MASCOT_COPIES; k++)
        for (int v = 0; v < 6; v++) {
            const double x = 6.0 * kMesh[3 * v], y = 6.0 * kMesh[3 * v + 1], z = kMesh[3 * v + 2];
            const double theta = 0.10472 * k, shear = k ? std::sin((double)k) : 0.0;
            const float *got = mascot_copies[k]->triangles + 3 * v;
            EXPECT_NEAR(got[0], shear * z + std::cos(theta) * x, 1e-3) << "copy " << k;
            EXPECT_EQ(got[1], (float)y);
            EXPECT_NEAR(got[2], k ? std::cos(theta) * z - std::sin(theta) * x : z, 1e-3) << "copy " << k;
        }

    const unsigned int lists[2] = {5, 6};
    const float green[2] = {0.4f, 0.2f}, blue[2] = {0.2f, 0.4f};
    for (int l = 0; l < 2; l++) {
        GLint depth_before = 0, depth_after = 0;
        std::vector<Polygon> polys = Feedback([&] {
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
            glPushMatrix();
            glCallList(lists[l]);
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
        });
        EXPECT_EQ(depth_after, depth_before) << "list " << lists[l] << " pops the caller's push";
        ASSERT_EQ(polys.size(), 2u * MASCOT_COPIES);
        float alpha = 0.01f;
        for (int k = 0; k < MASCOT_COPIES; k++, alpha *= 1.15f)
            for (int t = 0; t < 2; t++) {
                const Vertex &v = polys[2 * k + t][2];
                EXPECT_TRUE(v.r == 0.8f && v.g == green[l] && v.b == blue[l]) << "list " << lists[l];
                EXPECT_NEAR(v.a, alpha, 1e-7) << "list " << lists[l] << " copy " << k;
                EXPECT_NEAR(ObjectX(v), mascot_copies[k]->triangles[9 * t + 6], 1e-3) << "copy " << k;
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
        mascot_glow_colour[1] = 0.5f;
        // Scaled down tenfold so that the point fits the feedback box.
        return Feedback([] {
            glScalef(0.1f, 0.1f, 0.1f);
            Mascot_DrawGlow();
        });
    };
    EXPECT_TRUE(glow(600, 0, 0).empty());
    EXPECT_TRUE(glow(0, -360, -480).empty());

    std::vector<Polygon> polys = glow(0, 0, 599);
    EXPECT_NEAR(mascot_glow_colour[3], 1.0 / 600, 1e-6);
    EXPECT_NEAR(mascot_glow_radius, 40.1, 1e-4);
    // Four ray wedges from the point to the mascot, then three octagonal fans.
    ASSERT_EQ(polys.size(), 4u + 3 * 8);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(polys[k][1].a, 0.1f);
        EXPECT_NEAR(ObjectX(polys[k][1]), 0.0f, 1e-4);
    }
    EXPECT_NEAR(polys[4][0].a, 1.0 / 600, 1e-6);
    EXPECT_EQ(polys[4][0].g, 0.5f);
    // The third disc lies in the z-x plane: its rim starts at x + s.
    EXPECT_NEAR(ObjectX(polys[4 + 16][1]) * 10, 40.1, 0.01);
    EXPECT_EQ(polys[4 + 16][1].a, 0.0f);
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
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 299, 239}, kBlack, 0));
    EXPECT_GT(visual::ShareNear(f, Rect{302, 80, 640, 82}, kPeach, 40), 0.5);
    EXPECT_GT(visual::ShareNear(f, Rect{0, 239, 399, 241}, kPeach, 40), 0.5);
    EXPECT_TRUE(visual::RegionIs(f, Rect{402, 239, 640, 480}, kBlack, 0));
    // The second stream, the first turned half round and drawn rows last to
    // first, ends on row 0's last column in its own tint.
    EXPECT_EQ(mascot_glow_point[0], -mascot_stream[9][0]);
    EXPECT_EQ(mascot_glow_point[2], -5200.0f);
    EXPECT_EQ(mascot_glow_colour[2], 0.5f);

    draw(680, -40);     // the entry's last frames overshoot both edges
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 480}, kBlack, 0));
}

// --- the shipped archive, played as the capture tool plays it ---

TEST(MascotVisual, EntryFourOpensBlackButForTheThreeGapLines)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(4);
    ASSERT_TRUE(visual::StartDebug(0.0f, 1.0f, 4, 20));
    Frame f;
    const int gaps[4] = {80, 239, 398, 480};
    for (int frame : {0, 1}) {
        ASSERT_TRUE(visual::CaptureFrame(frame, &f));
        ASSERT_EQ(f.entry, 4);
        for (int k = 0, from = 0; k < 4; from = gaps[k++] + 2)
            EXPECT_TRUE(visual::RegionIs(f, Rect{0, from, 640, gaps[k]}, kBlack, 1));
    }
    // From the second frame on (the first was cleared before the setup set
    // the clear colour) the lines show the peach background.
    for (int k = 0; k < 3; k++)
        EXPECT_GT(visual::ShareNear(f, Rect{0, gaps[k], 640, gaps[k] + 2}, kPeach, 40), 0.6) << gaps[k];
}

TEST(MascotVisual, EntryFiveShowsTheLogoOneToOneEightPixelsAboveTheBottom)
{
    BT_REQUIRE_ARCHIVE();
    BT_REQUIRE_SCENE(5);
    ASSERT_TRUE(visual::StartDebug(5.25f, 6.5f, 4, 20));
    Frame f;
    ASSERT_TRUE(visual::CaptureAt(5.6f, &f));
    ASSERT_EQ(f.entry, 5);
    const visual::Picture logo("logo");
    ASSERT_EQ(logo.Width(), 640);
    const int h = logo.Height();
    EXPECT_EQ(visual::Mismatches(f, logo, 0, 8, Rect{0, 8, 640, 8 + h}), 0) << "of " << 640 * h << " logo pixels";
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 0, 640, 8}, kBlack, 0));
    EXPECT_TRUE(visual::RegionIs(f, Rect{0, 8 + h, 640, 80}, kBlack, 0));
}

} // namespace
