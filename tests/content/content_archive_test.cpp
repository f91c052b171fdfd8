// The built archive, read back through the player's own readers: every
// entry the scenes ask for is there with the type, tile layout and length
// they rely on, the texts keep to the scroller font's characters, the meshes
// are closed and sized for their scenes, and the pictures do what their
// scenes need of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "archive/zar.h"

namespace {

class ContentArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ZAR_Open(BT_CONTENT_ARCHIVE); }
    static void TearDownTestSuite() { ZAR_Close(); }
};

struct Picture {
    uint32_t w, h, tx, ty;
    std::vector<uint8_t> px;
    // Pixel (x, y) of the whole picture, y counted from its top; tile row 0
    // is the bottom row of tiles.
    const uint8_t *At(uint32_t x, uint32_t y) const
    {
        uint32_t col = x / w, row_from_top = y / h;
        uint32_t tile = (ty - 1 - row_from_top) * tx + col;
        return &px[(size_t(tile) * w * h + size_t(y % h) * w + x % w) * 3];
    }
    uint32_t Width() const { return w * tx; }
    uint32_t Height() const { return h * ty; }
};

Picture ReadPicture(const char *name)
{
    zar_pic_t *p = ZAR_ReadPic(name);
    Picture pic{p->tile_w, p->tile_h, p->tiles_x, p->tiles_y, {}};
    size_t bytes = size_t(3) * pic.w * pic.h * pic.tx * pic.ty;
    EXPECT_EQ(ZAR_LastSize(), 16 + bytes) << name << ": payload length disagrees with its header";
    pic.px.assign(p->pixels, p->pixels + bytes);
    free(p->pixels);
    free(p);
    return pic;
}

std::vector<float> ReadMesh(const char *name)
{
    zar_mesh_t *m = ZAR_ReadASE(name);
    std::vector<float> tri(m->triangles, m->triangles + size_t(m->count) * 9);
    EXPECT_EQ(ZAR_LastSize(), 8 + 36 * size_t(m->count)) << name;
    free(m->triangles);
    free(m);
    return tri;
}

std::string ReadText(const char *name)
{
    uint8_t *t = ZAR_ReadText(name);
    std::string s(reinterpret_cast<char *>(t), ZAR_LastSize());
    free(t);
    return s;
}

bool PowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

double Luma(const uint8_t *p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

// Edges used by other than exactly two triangles, vertices compared exactly.
size_t OpenEdges(const std::vector<float> &t)
{
    using V = std::tuple<float, float, float>;
    std::map<std::pair<V, V>, int> uses;
    for (size_t i = 0; i + 9 <= t.size(); i += 9)
        for (int e = 0; e < 3; ++e) {
            const float *a = &t[i + 3 * e], *b = &t[i + 3 * ((e + 1) % 3)];
            V va{a[0], a[1], a[2]}, vb{b[0], b[1], b[2]};
            ++uses[std::minmax(va, vb)];
        }
    size_t bad = 0;
    for (const auto &u : uses)
        bad += u.second != 2;
    return bad;
}

struct Bounds {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
};
Bounds BoundsOf(const std::vector<float> &t)
{
    Bounds b;
    for (size_t i = 0; i < t.size(); ++i) {
        b.lo[i % 3] = std::min(b.lo[i % 3], t[i]);
        b.hi[i % 3] = std::max(b.hi[i % 3], t[i]);
    }
    return b;
}

TEST_F(ContentArchive, PicturesHaveTheTileLayoutsTheScenesStepThrough)
{
    struct Want {
        const char *name;
        uint32_t tx, ty, w, h;
    };
    // Fixed by the scenes' strides and quads.
    const Want fixed[] = {{"bootpic", 20, 15, 32, 32}, {"siekierka", 10, 15, 64, 32}, {"butterfly", 3, 1, 128, 256}};
    for (const Want &want : fixed) {
        Picture p = ReadPicture(want.name);
        EXPECT_EQ(std::make_tuple(p.tx, p.ty, p.w, p.h), std::make_tuple(want.tx, want.ty, want.w, want.h)) << want.name;
    }
    // Sized by what the scenes leave room for.
    Picture logo = ReadPicture("logo");
    EXPECT_LE(logo.Width(), 640u);
    EXPECT_LE(logo.Height(), 72u);
    for (const char *strip : {"fri1", "fri2"}) {
        Picture p = ReadPicture(strip);
        EXPECT_EQ(p.Width(), 640u) << strip;
        EXPECT_EQ(p.Height(), 64u) << strip;
    }
    Picture eyes = ReadPicture("oczka");
    EXPECT_EQ(eyes.w, 32u);
    EXPECT_EQ(eyes.h, 32u);
    EXPECT_GE(eyes.tx * eyes.ty, 16u);
    Picture creeds = ReadPicture("creeds");
    EXPECT_EQ(3 * creeds.w * creeds.h, 1536u);
    EXPECT_GE(creeds.tx * creeds.ty, 8u);
    // The backdrops of the column scene: "fel" from (0, 24), "brzydalek" from
    // (192, 80), both within the screen.
    Picture fel = ReadPicture("fel"), brz = ReadPicture("brzydalek");
    EXPECT_LE(fel.Width(), 640u);
    EXPECT_LE(24 + fel.Height(), 480u);
    EXPECT_LE(192 + brz.Width(), 640u);
    EXPECT_LE(80 + brz.Height(), 480u);
    for (const char *name : {"bootpic", "logo", "fri1", "fri2", "oczka", "creeds", "siekierka", "butterfly", "brzydalek", "fel"}) {
        Picture p = ReadPicture(name);
        EXPECT_TRUE(PowerOfTwo(p.w) && PowerOfTwo(p.h)) << name << ": tiles are uploaded as textures as they are";
    }
}

TEST_F(ContentArchive, TextsKeepToTheScrollerFont)
{
    std::string helmet = ReadText("helmet");
    EXPECT_GE(helmet.size(), 142u);
    for (char c : helmet)
        EXPECT_TRUE(c >= 32 && c <= 95) << "helmet holds code " << int(c);
    std::string water = ReadText("water");
    ASSERT_EQ(water.size(), 110u);
    for (char c : water)
        EXPECT_TRUE(c >= 32 && c <= 95) << "water holds code " << int(c);
    // The strip starts and ends empty: exactly 11 spaces before the words
    // and 8 after.
    EXPECT_EQ(water.substr(0, 11), std::string(11, ' '));
    EXPECT_NE(water[11], ' ');
    EXPECT_EQ(water.substr(102), std::string(8, ' '));
    EXPECT_NE(water[101], ' ');
}

TEST_F(ContentArchive, MascotIsAClosedMeshWhoseEchoFanFillsTwoThirdsOfItsView)
{
    std::vector<float> t = ReadMesh("ferretoid");
    size_t n = t.size() / 9;
    EXPECT_GE(n, 500u);
    EXPECT_LE(n, 4000u);
    EXPECT_EQ(OpenEdges(t), 0u);
    // The scene spins it about the vertical axis through the origin: it
    // stands centred there once x and y are scaled by six.
    Bounds b = BoundsOf(t);
    for (int a = 0; a < 3; ++a) {
        float k = a < 2 ? 6.0f : 1.0f, mid = 0.5f * (b.lo[a] + b.hi[a]) * k, span = (b.hi[a] - b.lo[a]) * k;
        EXPECT_LT(std::fabs(mid), 0.05f * span) << "axis " << a;
    }
    // The twenty echo copies as the scene derives them, through its camera.
    std::vector<float> base;
    for (size_t i = 0; i < t.size(); i += 3) {
        base.insert(base.end(), {t[i] * 6.0f, t[i + 1] * 6.0f, t[i + 2]});
    }
    std::vector<float> all = base;
    float theta = 0;
    for (int k = 1; k < 20; ++k) {
        theta += 0.10472f;
        for (size_t i = 0; i < base.size(); i += 3) {
            float x = base[i], y = base[i + 1], z = base[i + 2];
            all.insert(all.end(), {std::sin(float(k)) * z + std::cos(theta) * x, y, std::cos(theta) * z - std::sin(theta) * x});
        }
    }
    const double pi = 3.14159265358979, eye[3] = {700, 600, 800};
    double d = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    double f[3] = {-eye[0] / d, -eye[1] / d, -eye[2] / d};
    double s[3] = {-f[2], 0, f[0]}; // f x (0, 1, 0)
    double sl = std::hypot(s[0], s[2]);
    s[0] /= sl;
    s[2] /= sl;
    double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double tan_half = std::tan(22.5 * pi / 180);
    double mean_h = 0, max_h = 0, max_w = 0;
    int turns = 0;
    for (int deg = 0; deg < 360; deg += 10, ++turns) {
        double ca = std::cos(deg * pi / 180), sa = std::sin(deg * pi / 180);
        double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
        for (int sign = -1; sign <= 1; sign += 2)
            for (size_t i = 0; i < all.size(); i += 3) {
                double p[3] = {all[i] * ca + all[i + 2] * sa * sign - eye[0], all[i + 1] - eye[1],
                               -all[i] * sa * sign + all[i + 2] * ca - eye[2]};
                double depth = p[0] * f[0] + p[1] * f[1] + p[2] * f[2];
                double nx = (p[0] * s[0] + p[2] * s[2]) / depth / (2 * tan_half);
                double ny = (p[0] * u[0] + p[1] * u[1] + p[2] * u[2]) / depth / tan_half;
                x0 = std::min(x0, nx), x1 = std::max(x1, nx), y0 = std::min(y0, ny), y1 = std::max(y1, ny);
            }
        mean_h += (y1 - y0) / 2;
        max_h = std::max(max_h, (y1 - y0) / 2);
        max_w = std::max(max_w, (x1 - x0) / 2);
    }
    mean_h /= turns;
    EXPECT_NEAR(mean_h, 2.0 / 3.0, 0.1) << "share of the view's height the fan fills";
    EXPECT_LT(max_h, 0.95) << "the fan must stay inside the 640 x 320 view";
    EXPECT_LT(max_w, 0.95);
}

TEST_F(ContentArchive, StemIsAClosedStalkStandingInTheGourdsUpperDimple)
{
    std::vector<float> t = ReadMesh("lodyga");
    size_t n = t.size() / 9;
    EXPECT_GE(n, 200u);
    EXPECT_LE(n, 1000u);
    EXPECT_EQ(OpenEdges(t), 0u);
    Bounds b = BoundsOf(t);
    // The gourd's profile puts its top at y = 55 on the axis, rising to 60
    // at 40 from it: the foot sits in that dimple, the stalk rises above it
    // and stays slender beside a gourd 240 across.
    EXPECT_GT(b.lo[1], 35.0f);
    EXPECT_LT(b.lo[1], 55.0f);
    EXPECT_GT(b.hi[1], 80.0f);
    EXPECT_LT(b.hi[1], 140.0f);
    EXPECT_LT(b.hi[0] - b.lo[0], 70.0f);
    EXPECT_LT(b.hi[2] - b.lo[2], 70.0f);
    for (size_t i = 0; i < t.size(); i += 3)
        if (t[i + 1] < b.lo[1] + 3) {
            EXPECT_LT(std::hypot(t[i], t[i + 2]), 20.0f) << "the foot stands on the axis";
        }
}

TEST_F(ContentArchive, EyeFramesGoFromOpenToShutAndTheTwoEyesMirrorEachOther)
{
    Picture p = ReadPicture("oczka");
    // Frame k of the left eye is tile 2k, of the right eye tile 2k + 1.
    auto tile = [&](uint32_t t, uint32_t x, uint32_t y) { return &p.px[(size_t(t) * 32 * 32 + y * 32 + x) * 3]; };
    auto white = [&](uint32_t t) {
        int n = 0;
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x) {
                const uint8_t *c = tile(t, x, y);
                n += c[0] > 200 && c[1] > 190 && c[2] > 170;
            }
        return n;
    };
    for (uint32_t side = 0; side < 2; ++side) {
        int prev = white(side);
        EXPECT_GT(prev, 40) << "frame 0 is open";
        for (uint32_t k = 1; k < 8; ++k) {
            int now = white(2 * k + side);
            EXPECT_LE(now, prev + 2) << "frame " << k << " opens again";
            prev = now;
        }
        EXPECT_EQ(prev, 0) << "frame 7 is shut";
    }
    for (uint32_t k = 0; k < 8; ++k) {
        double diff = 0;
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x)
                for (int c = 0; c < 3; ++c)
                    diff += std::abs(tile(2 * k, x, y)[c] - tile(2 * k + 1, 31 - x, y)[c]);
        EXPECT_LT(diff / (32 * 32 * 3), 12.0) << "frame " << k;
    }
}

TEST_F(ContentArchive, PicturesSitOnTheirScenesWithoutVisibleSeams)
{
    // The logo covers part of the black bar: its edge rows are black too.
    Picture logo = ReadPicture("logo");
    for (uint32_t x = 0; x < logo.Width(); ++x) {
        EXPECT_LT(Luma(logo.At(x, 0)), 8.0);
        EXPECT_LT(Luma(logo.At(x, logo.Height() - 1)), 8.0);
    }
    // The closing picture zooms about the screen's centre, which is x = 152
    // of the picture, and fades into a black screen: the butterfly is
    // mirror-symmetric about that column and the picture's rim is dark.
    Picture bf = ReadPicture("butterfly");
    double asym = 0;
    int count = 0;
    for (uint32_t y = 0; y < bf.Height(); ++y)
        for (uint32_t d = 1; d < 150; ++d, ++count)
            asym += std::fabs(Luma(bf.At(152 - d, y)) - Luma(bf.At(151 + d, y)));
    EXPECT_LT(asym / count, 6.0);
    double rim = 0;
    for (uint32_t x = 0; x < bf.Width(); ++x)
        rim += Luma(bf.At(x, 0)) + Luma(bf.At(x, bf.Height() - 1));
    for (uint32_t y = 0; y < bf.Height(); ++y)
        rim += Luma(bf.At(0, y)) + Luma(bf.At(bf.Width() - 1, y));
    EXPECT_LT(rim / (2 * (bf.Width() + bf.Height())), 12.0);
    // "brzydalek" lies over "fel": where its left edge meets the backdrop
    // the two agree, so no seam shows.
    Picture fel = ReadPicture("fel"), brz = ReadPicture("brzydalek");
    double seam = 0;
    for (uint32_t y = 0; y < brz.Height(); ++y) {
        uint32_t screen_y = 80 + (brz.Height() - 1 - y);  // from the bottom
        uint32_t fel_y = fel.Height() - 1 - (screen_y - 24);
        for (int c = 0; c < 3; ++c)
            seam += std::abs(brz.At(0, y)[c] - fel.At(192, fel_y)[c]);
    }
    EXPECT_LT(seam / (brz.Height() * 3), 3.0);
    // The loading marks are drawn translucent over the top of "bootpic"
    // (centres y = 444 from the bottom, x 20 to 300): that band is dark
    // enough for them to show.
    Picture boot = ReadPicture("bootpic");
    double band = 0;
    for (uint32_t y = 16; y < 56; ++y)
        for (uint32_t x = 6; x < 314; ++x)
            band += Luma(boot.At(x, y));
    EXPECT_LT(band / (40 * 308), 80.0);
}

TEST_F(ContentArchive, EveryCaptionHasTwoLinesOfLettering)
{
    Picture p = ReadPicture("creeds");
    // Captions are tile pairs read left to right; count lit pixels in the
    // upper and lower half of each pair.
    for (uint32_t cap = 0; cap < 4; ++cap) {
        int lit[2] = {0, 0};
        for (uint32_t half = 0; half < 2; ++half)
            for (uint32_t t = 2 * cap; t < 2 * cap + 2; ++t)
                for (uint32_t y = half * p.h / 2; y < (half + 1) * p.h / 2; ++y)
                    for (uint32_t x = 0; x < p.w; ++x)
                        lit[half] += Luma(&p.px[(size_t(t) * p.w * p.h + y * p.w + x) * 3]) > 100;
        EXPECT_GT(lit[0], 15) << "caption " << cap;
        EXPECT_GT(lit[1], 15) << "caption " << cap;
    }
}

} // namespace
