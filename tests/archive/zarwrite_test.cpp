// The writer: payload layouts, refusals, and packing that reads back.
#include "tools/zarwrite/zarwrite.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t Word(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A w x h image whose pixel (x, y) is (x, y, x ^ y): every pixel is distinct for small sizes.
zarw::Image Gradient(uint32_t w, uint32_t h)
{
    zarw::Image im;
    im.width = w;
    im.height = h;
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
            im.rgb.push_back(uint8_t(x));
            im.rgb.push_back(uint8_t(y));
            im.rgb.push_back(uint8_t(x ^ y));
        }
    return im;
}

TEST(ZarWrite, PictureTilesStartAtTheBottomBandTopRowFirst)
{
    std::string err;
    auto p = zarw::PicturePayload(Gradient(8, 4), 4, 2, &err);
    ASSERT_EQ(p.size(), 16u + 3 * 8 * 4) << err;
    EXPECT_EQ(Word(p, 0), 2u); // tiles across
    EXPECT_EQ(Word(p, 4), 2u); // tiles down
    EXPECT_EQ(Word(p, 8), 4u); // tile width
    EXPECT_EQ(Word(p, 12), 2u);
    // Tile 0 is the bottom-left tile: its first row is image row 2, x 0..3.
    EXPECT_EQ(p[16], 0);
    EXPECT_EQ(p[17], 2);
    // Tile 1 (bottom right), first pixel: image (4, 2).
    const size_t tile = 3 * 4 * 2;
    EXPECT_EQ(p[16 + tile], 4);
    EXPECT_EQ(p[16 + tile + 1], 2);
    // Tile 2 (top left), second row: image row 1.
    EXPECT_EQ(p[16 + 2 * tile + 12 + 1], 1);

    zarw::Image back;
    ASSERT_TRUE(zarw::ImageFromPicture(p, &back, &err)) << err;
    EXPECT_EQ(back.width, 8u);
    EXPECT_EQ(back.height, 4u);
    EXPECT_EQ(back.rgb, Gradient(8, 4).rgb);
}

TEST(ZarWrite, PictureRefusals)
{
    std::string err;
    EXPECT_TRUE(zarw::PicturePayload(Gradient(12, 4), 3, 4, &err).empty());
    EXPECT_NE(err.find("power of two"), std::string::npos);
    EXPECT_TRUE(zarw::PicturePayload(Gradient(12, 4), 8, 4, &err).empty());
    EXPECT_NE(err.find("does not divide"), std::string::npos);
    EXPECT_TRUE(zarw::PicturePayload(zarw::Image{}, 1, 1, &err).empty());
    zarw::Image bad = Gradient(4, 4);
    bad.rgb.pop_back();
    EXPECT_TRUE(zarw::PicturePayload(bad, 4, 4, &err).empty());

    zarw::Image im;
    auto p = zarw::PicturePayload(Gradient(4, 4), 4, 4, &err);
    p.pop_back();
    EXPECT_FALSE(zarw::ImageFromPicture(p, &im, &err));
    // A header whose product overflows 32 bits must not pass as a small picture.
    std::vector<uint8_t> huge(16, 0);
    huge[0] = huge[4] = 1;
    huge[11] = 0x80; // tile width 2^31
    huge[12] = 2;
    EXPECT_FALSE(zarw::ImageFromPicture(huge, &im, &err));
    EXPECT_NE(zarw::Check({"p", 16, huge}), "");
}

TEST(ZarWrite, CheckRefusesWhatThePlayerCannotLoad)
{
    const auto mesh = zarw::MeshPayload(std::vector<float>(18, 1.0f), 7);
    ASSERT_EQ(mesh.size(), 8u + 72);
    EXPECT_EQ(Word(mesh, 0), 2u);
    EXPECT_EQ(Word(mesh, 4), 7u);
    EXPECT_EQ(zarw::Check({"m", 15, mesh}), "");
    EXPECT_NE(zarw::Check({"m", 15, zarw::MeshPayload(std::vector<float>(10, 0.0f))}), "");
    EXPECT_NE(zarw::Check({"m", 15, {1, 0, 0}}), "");
    EXPECT_EQ(zarw::Check({std::string(39, 'a'), 32, {}}), "");
    EXPECT_NE(zarw::Check({std::string(40, 'a'), 32, {}}), "");
    EXPECT_NE(zarw::Check({"", 32, {}}), "");
    EXPECT_NE(zarw::Check({std::string("a\0b", 3), 32, {}}), "");
    EXPECT_NE(zarw::Check({"t", 17, {}}), "");
    std::string err;
    auto pic = zarw::PicturePayload(Gradient(2, 2), 2, 2, &err);
    pic[8] = 3; // tile width 3 with a payload that happens to be long enough is still refused
    EXPECT_NE(zarw::Check({"p", 16, pic}), "");
}

TEST(ZarWrite, PackWritesTheFormatByteForByte)
{
    std::vector<zarw::Entry> entries = {{"hello", 32, {'h', 'i'}}, {"empty", 33, {}}};
    std::vector<uint8_t> file;
    std::string err;
    ASSERT_TRUE(zarw::Pack(entries, &file, &err)) << err;
    ASSERT_GE(file.size(), 16u + 2 * 56);
    EXPECT_EQ(std::memcmp(file.data(), "ZARD", 4), 0);
    EXPECT_EQ(Word(file, 12), 2u);
    EXPECT_EQ(std::memcmp(&file[16], "hello\0\0\0", 8), 0);
    for (size_t i = 16 + 5; i < 16 + 40; i++)
        EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(Word(file, 16 + 40), 32u);
    EXPECT_EQ(Word(file, 16 + 44), 2u);
    EXPECT_EQ(Word(file, 16 + 52), 16u + 2 * 56);
    EXPECT_EQ(Word(file, 72 + 52), Word(file, 16 + 52) + Word(file, 16 + 48));
    EXPECT_EQ(Word(file, 72 + 52) + Word(file, 72 + 48), file.size());

    std::vector<zarw::Record> dir;
    ASSERT_TRUE(zarw::ReadDirectory(file, &dir, &err)) << err;
    ASSERT_EQ(dir.size(), 2u);
    std::vector<uint8_t> payload;
    ASSERT_TRUE(zarw::Unpack(file, dir[0], &payload, &err)) << err;
    EXPECT_EQ(payload, entries[0].payload);
    ASSERT_TRUE(zarw::Unpack(file, dir[1], &payload, &err)) << err;
    EXPECT_TRUE(payload.empty());

    // Packing is deterministic: the content build relies on identical bytes.
    std::vector<uint8_t> again;
    ASSERT_TRUE(zarw::Pack(entries, &again, &err));
    EXPECT_EQ(again, file);
}

TEST(ZarWrite, UnpackOfAnOverstatedSizeNeedsNoHugeBuffer)
{
    std::vector<uint8_t> file;
    std::string err;
    ASSERT_TRUE(zarw::Pack({{"t", 32, {'a', 'b', 'c'}}}, &file, &err));
    std::vector<zarw::Record> dir;
    ASSERT_TRUE(zarw::ReadDirectory(file, &dir, &err));
    dir[0].unpacked = 0xffffffffu; // as a broken archive might claim
    std::vector<uint8_t> payload;
    ASSERT_TRUE(zarw::Unpack(file, dir[0], &payload, &err)) << err;
    EXPECT_EQ(payload, (std::vector<uint8_t>{'a', 'b', 'c'}));
    dir[0].offset = uint32_t(file.size()) - 2;
    EXPECT_FALSE(zarw::Unpack(file, dir[0], &payload, &err));
    dir[0].offset = 16 + 56;
    file[dir[0].offset] ^= 0xff; // break the zlib header
    EXPECT_FALSE(zarw::Unpack(file, dir[0], &payload, &err));
    EXPECT_NE(err.find("decompression failed"), std::string::npos);
}

TEST(ZarWrite, PackRefusesBadEntriesAndDuplicates)
{
    std::vector<uint8_t> file;
    std::string err;
    EXPECT_FALSE(zarw::Pack({{"a", 32, {}}, {"a", 32, {}}}, &file, &err));
    EXPECT_NE(err.find("twice"), std::string::npos);
    EXPECT_FALSE(zarw::Pack({{std::string(40, 'x'), 32, {}}}, &file, &err));
    EXPECT_TRUE(file.empty());
}

} // namespace
