// Tiled pictures drawn through their display lists in an offscreen context,
// in the 640x480 pixel space the scenes use for 2D overlays.
#include "render/headless.h"
#include "render/render.h"
#include "tools/zarwrite/zarwrite.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>
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

constexpr uint32_t kW = 640, kH = 480;

TEST(PicList, TiledPicturesAreReproducedPixelForPixel)
{
    const char *why = "";
    ASSERT_TRUE(Headless_Open(kW, kH, &why)) << "no offscreen GL context: " << why;
    glOrtho(0, kW, 0, kH, -1, 1);
    glEnable(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST); // no mipmaps

    // 4 x 3 tiles; then tiles 2 pixels wide, whose 6-byte rows are not a
    // multiple of the default 4-byte row alignment.
    const struct {
        uint32_t w, h, tile_w, tile_h;
    } shapes[] = {{128, 48, 32, 16}, {4, 2, 2, 2}};
    for (const auto &s : shapes) {
        zarw::Image image{s.w, s.h, {}}; // every pixel distinct, so a tile or row out of place shows
        for (uint32_t y = 0; y < s.h; y++)
            for (uint32_t x = 0; x < s.w; x++)
                image.rgb.insert(image.rgb.end(), {uint8_t(x), uint8_t(y * 4 + 1), uint8_t(0x80 | (x * 7 + y) % 127)});
        std::string err;
        std::vector<uint8_t> payload = zarw::PicturePayload(image, s.tile_w, s.tile_h, &err);
        ASSERT_FALSE(payload.empty()) << err;
        const uint32_t across = s.w / s.tile_w, down = s.h / s.tile_h;
        zar_pic_t pic = {s.tile_w, s.tile_h, across, down, payload.data() + 16};
        BuildPicList(1, &pic);
        const std::vector<uint8_t> tiles(payload.begin() + 16, payload.end());
        std::fill(payload.begin(), payload.end(), 0); // the list keeps its own copy

        std::vector<uint8_t> frame(size_t(kW) * kH * 3);
        {
#ifdef PICLIST_TEST_ASAN
            // The software rasteriser keeps the shader it compiles for the first
            // textured draw where the leak checker cannot trace it.
            __lsan::ScopedDisabler driver_allocations;
#endif
            glClear(GL_COLOR_BUFFER_BIT);
            glCallList(1);
            Headless_ReadRGB(frame.data());
        }
        // The image upright in the bottom-left corner, nothing else drawn.
        std::vector<uint8_t> want(frame.size(), 0);
        for (uint32_t y = 0; y < s.h; y++)
            std::copy_n(&image.rgb[y * s.w * 3], s.w * 3, &want[(kH - s.h + y) * kW * 3]);
        EXPECT_TRUE(frame == want) << s.w << "x" << s.h;
        // Straight from the tile data: the first stored row of tile i (column
        // i % across, row i / across from the bottom) lies along its top edge.
        for (uint32_t i = 0; i < across * down; i++) {
            const uint32_t top = kH - (i / across + 1) * s.tile_h, left = i % across * s.tile_w;
            EXPECT_EQ(std::memcmp(&frame[(top * kW + left) * 3], &tiles[i * 3 * s.tile_w * s.tile_h], 3), 0) << i;
        }
    }
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4); // the caller's pixel-store state is left as it was
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    Headless_Close();
}

// Rows of no tiles draw nothing however many are declared, and the count
// is not a float that stops growing at 2^24: the compile ends at once. A
// compile that never ends fails the test after 20 s instead of stalling it
// (the stuck thread cannot be stopped, so the test program ends there).
TEST(PicList, DeclaredRowsWithoutTilesCompileAnEmptyList)
{
    std::promise<int> done;
    std::future<int> result = done.get_future();
    std::thread([&done] {
        const char *why = "";
        if (!Headless_Open(kW, kH, &why)) {
            done.set_value(2);
            return;
        }
        uint8_t pixel[3] = {255, 255, 255};
        const zar_pic_t rows_only = {32, 32, 0, (1u << 25) + 3, pixel};
        BuildPicList(1, &rows_only);
        glClear(GL_COLOR_BUFFER_BIT);
        glCallList(1);
        std::vector<uint8_t> frame(size_t(kW) * kH * 3, 1);
        Headless_ReadRGB(frame.data());
        const bool blank = std::all_of(frame.begin(), frame.end(), [](uint8_t v) { return v == 0; });
        const bool clean = glGetError() == GL_NO_ERROR;
        Headless_Close();
        done.set_value(blank && clean ? 0 : 1);
    }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the list was still being compiled after 20 s";
        std::fflush(stdout);
        std::_Exit(1);
    }
    EXPECT_EQ(result.get(), 0) << "2: no GL context; 1: something was drawn";
}

} // namespace
