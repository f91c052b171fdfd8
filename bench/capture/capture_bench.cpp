// Per-frame overhead of keeping pictures: GL read-back and PNG encoding.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "render/headless.h"
#include "tools/capture/png_write.h"
#include "tools/capture/session.h"

namespace {

bool Context(benchmark::State &state)
{
    static bool open = false, tried = false;
    static const char *why = "";
    if (!tried) {
        tried = true;
        open = Headless_Open(capture::kWidth, capture::kHeight, &why);
    }
    if (!open)
        state.SkipWithError(why);
    return open;
}

// A picture with the texture of a real frame: smooth areas, edges and noise.
std::vector<uint8_t> SampleFrame()
{
    std::vector<uint8_t> rgb((size_t)capture::kWidth * capture::kHeight * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < capture::kHeight; y++)
        for (int x = 0; x < capture::kWidth; x++) {
            seed = seed * 1664525u + 1013904223u;
            uint8_t *p = &rgb[((size_t)y * capture::kWidth + x) * 3];
            p[0] = (uint8_t)(x * 255 / capture::kWidth);
            p[1] = (uint8_t)(((x / 32 + y / 32) & 1) ? 200 : 40);
            p[2] = (uint8_t)((y * 255 / capture::kHeight) ^ (seed >> 29));
        }
    return rgb;
}

void BM_ReadBackRGB(benchmark::State &state)
{
    if (!Context(state))
        return;
    std::vector<uint8_t> rgb((size_t)capture::kWidth * capture::kHeight * 3);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        Headless_ReadRGB(rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_ReadBackRGB)->Unit(benchmark::kMillisecond);

void BM_WritePNG(benchmark::State &state)
{
    std::vector<uint8_t> rgb = SampleFrame();
    std::string path = "/tmp/bench_capture_" + std::to_string(getpid()) + ".png", err;
    for (auto _ : state) {
        if (!capture::WritePNG(path, rgb.data(), capture::kWidth, capture::kHeight, &err)) {
            state.SkipWithError(err.c_str());
            break;
        }
    }
    remove(path.c_str());
}
BENCHMARK(BM_WritePNG)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
