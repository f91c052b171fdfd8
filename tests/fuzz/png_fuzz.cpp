// Fuzz target over the archive tool's PNG importer: any bytes either fail
// with a message or give an image within the size limit whose every pixel
// was written, and whose tiling into a picture entry the player would read.
#include "tools/zartool/import.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
volatile uint32_t g_sink;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zarw::Image image;
    std::string err;
    if (!zartool::ImportPng(data, size, &image, &err)) {
        if (err.empty())
            std::abort();
        return 0;
    }
    if (image.width == 0 || image.height == 0 || image.width > zartool::kMaxImageSide ||
        image.height > zartool::kMaxImageSide || image.rgb.size() != size_t(image.width) * image.height * 3)
        std::abort();
    uint32_t sum = 0;
    for (uint8_t v : image.rgb)
        sum += v;
    g_sink = g_sink + sum;
    // The largest power-of-two tile that divides each side.
    const uint32_t tile_w = image.width & (~image.width + 1), tile_h = image.height & (~image.height + 1);
    const std::vector<uint8_t> payload = zarw::PicturePayload(image, tile_w, tile_h, &err);
    if (payload.empty() || !zarw::Check({"pic", 16, payload}).empty())
        std::abort();
    return 0;
}
