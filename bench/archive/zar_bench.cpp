// Archive reader throughput against zlib's own one-shot inflate of the same
// packed entries, so the ratio shows what the reader adds (file read, buffers,
// lookup, and for pictures the record copy).
//
// The archive: 8 pictures of 1024 x 1024 in 256 x 256 tiles, 24 MiB of RGB
// pixels in all, smooth shading with a little noise like the demo's pictures,
// packed at zlib's best level as the archive tool does, in a temporary file
// (read through the page cache after the first pass).
#include "archive/zar.h"
#include "tools/zarwrite/zarwrite.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kEntries = 8;
constexpr uint32_t kSide = 1024; // 1024 x 1024 RGB = 3 MiB a picture

struct Fixture {
    std::string path;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> packed;
    std::vector<uLong> unpacked;
    uint64_t total_unpacked = 0, total_packed = 0;

    Fixture()
    {
        std::vector<zarw::Entry> entries;
        uint32_t seed = 12345;
        for (int e = 0; e < kEntries; e++) {
            zarw::Image im;
            im.width = im.height = kSide;
            im.rgb.resize(size_t(kSide) * kSide * 3);
            for (uint32_t y = 0; y < kSide; y++)
                for (uint32_t x = 0; x < kSide; x++) {
                    seed = seed * 1103515245u + 12345u;
                    const int noise = (seed >> 29) == 0 ? int((seed >> 16) & 3) - 1 : 0; // sparse dither
                    uint8_t *p = &im.rgb[(size_t(y) * kSide + x) * 3];
                    p[0] = uint8_t(std::min(255, std::max(0, int((x + e * 31) / 4) + noise)));
                    p[1] = uint8_t(std::min(255, std::max(0, int(y / 4) + noise)));
                    p[2] = uint8_t(std::min(255, std::max(0, int(((x ^ y) >> 3) & 0xff) / 2 + 64 + noise)));
                }
            std::string err;
            names.push_back("pic" + std::to_string(e));
            entries.push_back({names.back(), ZAR_TYPE_PICTURE, zarw::PicturePayload(im, 256, 256, &err)});
        }
        std::vector<uint8_t> bytes;
        std::string err;
        if (!zarw::Pack(entries, &bytes, &err))
            std::abort();
        path = "/tmp/zar_bench_" + std::to_string(getpid()) + ".zar";
        if (!zarw::WriteFile(path, bytes, &err))
            std::abort();
        std::vector<zarw::Record> dir;
        zarw::ReadDirectory(bytes, &dir, &err);
        for (const zarw::Record &r : dir) {
            packed.emplace_back(bytes.begin() + r.offset, bytes.begin() + r.offset + r.packed);
            unpacked.push_back(r.unpacked);
            total_unpacked += r.unpacked;
            total_packed += r.packed;
        }
    }
    ~Fixture() { std::remove(path.c_str()); }
};

Fixture &Data()
{
    static Fixture f;
    return f;
}

void Report(benchmark::State &state)
{
    const Fixture &f = Data();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.total_unpacked));
    state.counters["ratio"] = double(f.total_unpacked) / double(f.total_packed);
}

// zlib alone: the packed bytes already in memory, the destination allocated once.
void BM_ZlibUncompress(benchmark::State &state)
{
    Fixture &f = Data();
    std::vector<uint8_t> out(f.unpacked[0]);
    for (auto _ : state)
        for (int e = 0; e < kEntries; e++) {
            uLongf len = f.unpacked[e];
            if (uncompress(out.data(), &len, f.packed[e].data(), f.packed[e].size()) != Z_OK)
                state.SkipWithError("uncompress failed");
            benchmark::DoNotOptimize(out.data());
        }
    Report(state);
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

// The reader: lookup, seek and read from the file, allocation, inflate, free.
void BM_ZarRead(benchmark::State &state)
{
    Fixture &f = Data();
    ZAR_Open(f.path.c_str());
    for (auto _ : state)
        for (const std::string &name : f.names) {
            uint8_t *p = ZAR_Read(name.c_str(), ZAR_TYPE_PICTURE);
            benchmark::DoNotOptimize(p);
            std::free(p);
        }
    ZAR_Close();
    Report(state);
}
BENCHMARK(BM_ZarRead)->Unit(benchmark::kMillisecond);

// The picture reader on top: record plus a copy of the pixels.
void BM_ZarReadPic(benchmark::State &state)
{
    Fixture &f = Data();
    ZAR_Open(f.path.c_str());
    for (auto _ : state)
        for (const std::string &name : f.names) {
            zar_pic_t *p = ZAR_ReadPic(name.c_str());
            benchmark::DoNotOptimize(p);
            std::free(p->pixels);
            std::free(p);
        }
    ZAR_Close();
    Report(state);
}
BENCHMARK(BM_ZarReadPic)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
