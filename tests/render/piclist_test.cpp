// Tiled pictures drawn through their display lists in an offscreen context,
// with the 640x480 pixel space the scenes use for 2D overlays.
#include "render/headless.h"
#include "render/render.h"
#include "tools/zarwrite/zarwrite.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define PICLIST_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICLIST_TEST_ASAN 1
#endif
#endif
#ifdef PICLIST_TEST_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr int kW = 640, kH = 480;

class PicList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = "";
        open_ = Headless_Open(kW, kH, &why);
        why_ = why;
    }
    static void TearDownTestSuite() { Headless_Close(); }

    void SetUp() override
    {
        ASSERT_TRUE(open_) << "no offscreen GL context: " << why_;
        glViewport(0, 0, kW, kH);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 640, 0, 480, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override { EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR); }

    // Plays list and returns the frame, top row first.
    static std::vector<uint8_t> Draw(unsigned list)
    {
#ifdef PICLIST_TEST_ASAN
        // The software rasteriser keeps the shader it compiles for the first
        // textured draw where the leak checker cannot trace it; nothing of ours
        // is allocated in here.
        __lsan::ScopedDisabler driver_allocations;
#endif
        glCallList(list);
        std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
        Headless_ReadRGB(rgb.data());
        return rgb;
    }
    // Pixel (x, y) of the frame with y counted up from the bottom, as GL does.
    static const uint8_t *At(const std::vector<uint8_t> &frame, int x, int y)
    {
        return &frame[(size_t(kH - 1 - y) * kW + x) * 3];
    }

    static bool open_;
    static std::string why_;
};
bool PicList::open_;
std::string PicList::why_;

// Every pixel distinct (for images up to 256 wide), so a tile or row out of place shows.
zarw::Image Distinct(uint32_t w, uint32_t h)
{
    zarw::Image im;
    im.width = w;
    im.height = h;
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            im.rgb.insert(im.rgb.end(), {uint8_t(x), uint8_t(y * 4 + 1), uint8_t(0x80 | (x * 7 + y) % 127)});
    return im;
}

zar_pic_t PicOf(std::vector<uint8_t> &payload)
{
    uint32_t word[4];
    std::memcpy(word, payload.data(), 16);
    return zar_pic_t{word[2], word[3], word[0], word[1], payload.data() + 16};
}

bool Black(const uint8_t *p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

TEST_F(PicList, MultiTilePictureIsReproducedPixelForPixel)
{
    const zarw::Image image = Distinct(128, 48);
    std::string err;
    auto payload = zarw::PicturePayload(image, 32, 16, &err); // 4 x 3 tiles
    ASSERT_FALSE(payload.empty()) << err;
    zar_pic_t pic = PicOf(payload);
    BuildPicList(5, &pic);
    // The list holds its own copy of the pixels.
    std::vector<uint8_t> keep(payload);
    std::fill(payload.begin() + 16, payload.end(), 0);
    const auto frame = Draw(5);

    int wrong = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            const uint8_t *got = At(frame, x, y);
            if (x < 128 && y < 48) {
                // Image row 0 is the top of the picture: GL row 47.
                const uint8_t *want = &image.rgb[(size_t(47 - y) * 128 + x) * 3];
                wrong += std::memcmp(got, want, 3) != 0;
            } else {
                wrong += !Black(got);
            }
        }
    EXPECT_EQ(wrong, 0);

    // The same, read straight from the tile data: the first stored row of tile
    // (c, r) lies along its top edge, y = (r + 1) H - 1, its first pixel at x = c W.
    for (uint32_t r = 0; r < 3; r++)
        for (uint32_t c = 0; c < 4; c++) {
            const uint8_t *tile = &keep[16 + (r * 4 + c) * 3 * 32 * 16];
            EXPECT_EQ(std::memcmp(At(frame, c * 32, (r + 1) * 16 - 1), tile, 3), 0) << c << "," << r;
            EXPECT_EQ(std::memcmp(At(frame, c * 32 + 31, r * 16), tile + 3 * (15 * 32 + 31), 3), 0) << c << "," << r;
        }
}

TEST_F(PicList, NarrowTilesUploadTheirPackedRows)
{
    // Rows of 2 RGB pixels are 6 bytes: not a multiple of the default 4-byte alignment.
    const zarw::Image image = Distinct(4, 2);
    std::string err;
    auto payload = zarw::PicturePayload(image, 2, 2, &err);
    zar_pic_t pic = PicOf(payload);
    BuildPicList(6, &pic);
    const auto frame = Draw(6);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(std::memcmp(At(frame, x, y), &image.rgb[(size_t(1 - y) * 4 + x) * 3], 3), 0) << x << "," << y;
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4); // the caller's pixel-store state is left as it was
}

TEST_F(PicList, EmptyGridsAndRecompiledLists)
{
    std::string err;
    auto big_payload = zarw::PicturePayload(Distinct(64, 64), 32, 32, &err);
    zar_pic_t big = PicOf(big_payload);
    BuildPicList(7, &big);
    zar_pic_t no_rows = big, no_columns = big;
    no_rows.tiles_y = 0;
    no_columns.tiles_x = 0;
    BuildPicList(8, &no_rows);
    BuildPicList(9, &no_columns);
    Draw(8);
    auto frame = Draw(9);
    EXPECT_TRUE(Black(At(frame, 0, 0)));
    EXPECT_TRUE(Black(At(frame, 40, 40)));

    // Compiling into a used number replaces the old list.
    auto small_payload = zarw::PicturePayload(Distinct(32, 32), 32, 32, &err);
    zar_pic_t small = PicOf(small_payload);
    BuildPicList(7, &small);
    frame = Draw(7);
    EXPECT_FALSE(Black(At(frame, 0, 0)));
    EXPECT_TRUE(Black(At(frame, 40, 40)));
    EXPECT_TRUE(Black(At(frame, 32, 0)));
}

} // namespace
