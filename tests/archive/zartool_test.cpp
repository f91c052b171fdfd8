// The archive tool end to end: a manifest packed by zartool reads back through
// the player's own readers, pictures survive PNG in and PNG out unchanged,
// whatever the player would refuse never becomes an archive, and a broken
// archive is reported rather than trusted.
#include "archive/zar.h"
#include "tests/archive/archive_builder.h"
#include "tools/zarwrite/zarwrite.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string out; // standard output and error together
};

// Runs zartool with args (shell words), in 1 GB of address space where that can be set.
ToolRun Tool(const std::string &args)
{
#ifdef ZARTEST_SANITIZER
    const std::string limit;
#else
    const std::string limit = "ulimit -v 1000000; ";
#endif
    FILE *p = popen((limit + ZARTOOL_PATH + " " + args + " 2>&1").c_str(), "r");
    ToolRun r{-1, ""};
    if (!p)
        return r;
    for (int c; (c = std::fgetc(p)) != EOF;)
        r.out += char(c);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

zartest::Bytes FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ZarTool : public ::testing::Test {
protected:
    std::string dir = "/tmp/zartool_test_XXXXXX";
    void SetUp() override { ASSERT_NE(mkdtemp(&dir[0]), nullptr); }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string Path(const std::string &name) const { return dir + "/" + name; }
    void Write(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
};

// Every pixel distinct, so a misplaced tile or row shows.
zarw::Image TestImage(uint32_t w, uint32_t h)
{
    zarw::Image im{w, h, {}};
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            im.rgb.insert(im.rgb.end(), {uint8_t(x * 5), uint8_t(y * 3), uint8_t(x + y * w)});
    return im;
}

// Written with a varying alpha channel that must not disturb the colours.
void WritePngWithAlpha(const std::string &path, const zarw::Image &im)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = im.width;
    png.height = im.height;
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> px;
    for (size_t i = 0; i < im.rgb.size(); i += 3)
        px.insert(px.end(), {im.rgb[i], im.rgb[i + 1], im.rgb[i + 2], uint8_t(i)});
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, px.data(), 0, nullptr)) << png.message;
}

zarw::Image ReadPng(const std::string &path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    zarw::Image im;
    if (png_image_begin_read_from_file(&png, path.c_str())) {
        png.format = PNG_FORMAT_RGB;
        im.rgb.resize(PNG_IMAGE_SIZE(png));
        if (png_image_finish_read(&png, nullptr, im.rgb.data(), 0, nullptr))
            im.width = png.width, im.height = png.height;
    }
    return im;
}

// One PNG encoding of an image, through libpng's own writer: colour type,
// bit depth (16-bit samples are the 8-bit ones times 257, unless sixteen
// gives them), interlacing and a gamma chunk of 1.0 that a reader must not
// apply. Palette images need at most 256 colours, gray ones gray pixels.
struct Encoding {
    const char *label;
    int colour, depth;
    bool interlaced = false, gamma = false;
};

void WritePngAs(const std::string &path, const zarw::Image &im, const Encoding &e,
                const std::vector<uint16_t> &sixteen = {})
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_EQ(setjmp(png_jmpbuf(png)), 0) << e.label;
    png_init_io(png, f);
    png_set_IHDR(png, info, im.width, im.height, e.depth, e.colour,
                 e.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    if (e.colour == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < im.rgb.size(); i += 3) {
            const png_color c{im.rgb[i], im.rgb[i + 1], im.rgb[i + 2]};
            if (std::none_of(palette.begin(), palette.end(),
                             [&](const png_color &p) { return !std::memcmp(&p, &c, 3); }))
                palette.push_back(c);
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        std::vector<png_byte> alpha(palette.size(), 0); // all transparent: the colours still count
        png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
    }
    if (e.gamma)
        png_set_gAMA(png, info, 1.0);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const bool alpha = e.colour & PNG_COLOR_MASK_ALPHA, colour = e.colour & PNG_COLOR_MASK_COLOR;
    const int samples = (e.colour == PNG_COLOR_TYPE_PALETTE ? 1 : (colour ? 3 : 1)) + (alpha ? 1 : 0);
    std::vector<png_byte> row(size_t(im.width) * samples * 2);
    for (int pass = 0; pass < passes; pass++)
        for (uint32_t y = 0; y < im.height; y++) {
            png_byte *out = row.data();
            for (uint32_t x = 0; x < im.width; x++) {
                const size_t at = (size_t(y) * im.width + x) * 3;
                auto put = [&](int k) {
                    const unsigned v = sixteen.empty() ? im.rgb[at + k] * 257u : sixteen[at + k];
                    if (e.depth == 16)
                        *out++ = png_byte(v >> 8);
                    *out++ = png_byte(e.depth == 16 ? v : v >> 8);
                };
                if (e.colour == PNG_COLOR_TYPE_PALETTE) {
                    const png_color c{im.rgb[at], im.rgb[at + 1], im.rgb[at + 2]};
                    *out++ = png_byte(std::find_if(palette.begin(), palette.end(), [&](const png_color &p) {
                                          return !std::memcmp(&p, &c, 3);
                                      }) - palette.begin());
                } else {
                    for (int k = 0; k < (colour ? 3 : 1); k++)
                        put(k);
                }
                if (alpha) {
                    *out++ = png_byte(x * 37);
                    if (e.depth == 16)
                        *out++ = png_byte(y);
                }
            }
            png_write_row(png, row.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// The bytes packed are the pixels as stored, whatever the encoding: no gamma
// or colour-space conversion, no blending with alpha, 16-bit samples rounded
// to the nearest 8-bit value.
TEST_F(ZarTool, PngPixelsArePackedAsStored)
{
    zarw::Image colours{16, 8, {}}, grays{16, 8, {}};
    for (uint32_t i = 0; i < 16 * 8; i++) {
        colours.rgb.insert(colours.rgb.end(), {uint8_t(16 + i % 7), uint8_t(i / 7 * 13), uint8_t(4 + i % 3 * 100)});
        grays.rgb.insert(grays.rgb.end(), 3, uint8_t(i * 2));
    }
    const struct {
        Encoding e;
        const zarw::Image &image;
    } cases[] = {
        {{"rgb8", PNG_COLOR_TYPE_RGB, 8}, colours},
        {{"rgb8 interlaced, gamma 1.0", PNG_COLOR_TYPE_RGB, 8, true, true}, colours},
        {{"rgb16", PNG_COLOR_TYPE_RGB, 16}, colours},
        {{"rgba16 interlaced, gamma 1.0", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, true}, colours},
        {{"palette, transparent", PNG_COLOR_TYPE_PALETTE, 8}, colours},
        {{"gray8", PNG_COLOR_TYPE_GRAY, 8}, grays},
        {{"gray16 with alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 16}, grays},
    };
    for (const auto &c : cases) {
        WritePngAs(Path("in.png"), c.image, c.e);
        Write("m.txt", "pic picture in.png 16x8\n");
        ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
        ASSERT_EQ(r.status, 0) << c.e.label << ": " << r.out;
        ZAR_Open(Path("out.zar").c_str());
        zar_pic_t *p = ZAR_ReadPic("pic");
        ZAR_Close();
        EXPECT_EQ(std::memcmp(p->pixels, c.image.rgb.data(), c.image.rgb.size()), 0) << c.e.label;
        std::free(p->pixels);
        std::free(p);
    }

    // Samples between the 8-bit steps: the nearest 8-bit value (0x01ff is 1.99
    // steps of 257), where the high byte alone would say 1.
    const std::vector<uint16_t> sixteen = {16 * 257, 0, 4 * 257, 0x01ff, 0xffff, 0x0080};
    WritePngAs(Path("in.png"), zarw::Image{2, 1, std::vector<uint8_t>(6)}, {"rgb16", PNG_COLOR_TYPE_RGB, 16}, sixteen);
    Write("m.txt", "pic picture in.png 2x1\n");
    ASSERT_EQ(Tool("pack " + Path("out.zar") + " " + Path("m.txt")).status, 0);
    ASSERT_EQ(Tool("extract " + Path("out.zar") + " pic " + Path("pic.bin")).status, 0);
    const zartest::Bytes payload = FileBytes(Path("pic.bin"));
    ASSERT_EQ(payload.size(), 16u + 6u);
    EXPECT_EQ(zartest::Bytes(payload.begin() + 16, payload.end()), zartest::Bytes({16, 0, 4, 2, 255, 0}));
}

// A PNG header may claim any size and a chunk any length: both are judged
// before anything of that size is allocated (the tool runs in 1 GB here).
TEST_F(ZarTool, LyingPngHeadersCostNothing)
{
    auto chunk = [](const char *type, const std::string &data, uint32_t length) {
        std::string c;
        for (int i = 24; i >= 0; i -= 8)
            c += char(length >> i);
        c += std::string(type) + data;
        const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), (const Bytef *)c.data() + 4, uInt(c.size() - 4)));
        for (int i = 24; i >= 0; i -= 8)
            c += char(crc >> i);
        return c;
    };
    auto ihdr = [&](uint32_t w, uint32_t h, int interlace) {
        std::string d;
        for (uint32_t v : {w, h})
            for (int i = 24; i >= 0; i -= 8)
                d += char(v >> i);
        d += std::string("\x08\x02\x00\x00", 4) + char(interlace);
        return chunk("IHDR", d, 13);
    };
    const std::string sig("\x89PNG\r\n\x1a\n", 8), end = chunk("IEND", "", 0);
    std::string data(64, '\0');
    uLongf len = compressBound(uLong(data.size()));
    std::string idat(len, '\0');
    compress((Bytef *)&idat[0], &len, (const Bytef *)data.data(), uLong(data.size()));
    idat = chunk("IDAT", idat.substr(0, len), uint32_t(len));
    const struct {
        const char *label;
        std::string png, why;
    } cases[] = {
        {"30000 x 30000 in 70 bytes", sig + ihdr(30000, 30000, 0) + idat + end, "30000 x 30000 pixels: more than 16384 on a side"},
        {"16384 x 16384 in 70 bytes", sig + ihdr(16384, 16384, 0) + idat + end, "Not enough image data"},
        {"the same, interlaced", sig + ihdr(16384, 16384, 1) + idat + end, "Not enough image data"},
        {"a text of 2 GiB", sig + ihdr(4, 4, 0) + chunk("tEXt", "a", 0x7fffffffu) + idat + end, "the file ends early"},
        {"an image chunk of 2 GiB", sig + ihdr(4, 4, 0) + chunk("IDAT", "", 0x7fffffffu) + end, "the file ends early"},
        {"no PNG", "GIF89a", "not a PNG file"},
    };
    for (const auto &c : cases) {
        Write("in.png", c.png);
        Write("m.txt", "pic picture in.png 4x4\n");
        const auto start = std::chrono::steady_clock::now();
        ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 1) << c.label;
        EXPECT_NE(r.out.find("in.png: " + c.why), std::string::npos) << c.label << " -> " << r.out;
        EXPECT_LT(seconds, 5.0) << c.label;
    }
}

TEST_F(ZarTool, PackedEntriesReadBackThroughThePlayer)
{
    const zarw::Image image = TestImage(64, 32);
    WritePngWithAlpha(Path("boot.png"), image);
    // A quad (fanned into two triangles) and a triangle given by negative indices.
    Write("shape.obj", "o shape\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.5\nvn 0 0 1\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
                       "v 2 2 2\nf -1 -2 -3\n");
    Write("scroll.txt", "HELLO DEMO\n");
    const std::string raw("\0\1\2\3\xff", 5);
    Write("blob.bin", raw);
    Write("m.txt", "# demo archive\n"
                   "tiles     picture boot.png   16x8    # alpha is dropped\n"
                   "logo      picture boot.png   64x32\n"
                   "ferretoid mesh    shape.obj  0x1234abcd\n"
                   "\n"
                   "scroll    text    scroll.txt\n"
                   "blob      raw     blob.bin\n");
    ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
    ASSERT_EQ(r.status, 0) << r.out;
    // Packing is repeatable: the content build relies on identical bytes.
    ASSERT_EQ(Tool("pack " + Path("again.zar") + " " + Path("m.txt")).status, 0);
    EXPECT_TRUE(FileBytes(Path("again.zar")) == FileBytes(Path("out.zar")));

    ZAR_Open(Path("out.zar").c_str());
    zar_pic_t *p = ZAR_ReadPic("tiles");
    EXPECT_EQ(std::vector<uint32_t>({p->tiles_x, p->tiles_y, p->tile_w, p->tile_h}),
              std::vector<uint32_t>({4, 4, 16, 8}));
    EXPECT_EQ(std::memcmp(p->pixels, &image.rgb[24 * 64 * 3], 16 * 3), 0); // tile 0: bottom left, top row first
    zar_pic_t *logo = ZAR_ReadPic("logo");
    EXPECT_EQ(std::memcmp(logo->pixels, image.rgb.data(), image.rgb.size()), 0); // one tile: the image as it is
    zar_mesh_t *m = ZAR_ReadASE("ferretoid");
    EXPECT_EQ(m->second_word, 0x1234abcdu);
    const float tri[27] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0.5f, 2, 2, 2, 0, 1, 0.5f, 1, 1, 0};
    ASSERT_EQ(m->count, 3u);
    EXPECT_EQ(std::memcmp(m->triangles, tri, sizeof tri), 0);
    uint8_t *t = ZAR_ReadText("scroll");
    EXPECT_EQ(std::string((char *)t, ZAR_LastSize()), "HELLO DEMO\n");
    uint8_t *b = ZAR_Read("blob", ZAR_TYPE_RAW);
    EXPECT_EQ(std::string((char *)b, ZAR_LastSize()), raw);
    ZAR_Close();
    for (void *ptr : {(void *)p->pixels, (void *)p, (void *)logo->pixels, (void *)logo, (void *)m->triangles, (void *)m,
                      (void *)t, (void *)b})
        std::free(ptr);

    // PNG in, PNG out: the tiles put back together into the same image.
    r = Tool("extract --png " + Path("out.zar") + " tiles " + Path("back.png"));
    ASSERT_EQ(r.status, 0) << r.out;
    const zarw::Image back = ReadPng(Path("back.png"));
    EXPECT_EQ(std::make_pair(back.width, back.height), std::make_pair(64u, 32u));
    EXPECT_TRUE(back.rgb == image.rgb);

    r = Tool("list " + Path("out.zar"));
    EXPECT_EQ(r.status, 0) << r.out; // nothing flagged

    r = Tool("extract --png " + Path("out.zar") + " scroll " + Path("x.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("not a picture"), std::string::npos) << r.out;
    EXPECT_NE(Tool("extract " + Path("out.zar") + " Scroll " + Path("x.txt")).status, 0);
    EXPECT_FALSE(std::ifstream(Path("x.txt")));
}

TEST_F(ZarTool, RefusesWhatThePlayerWouldReject)
{
    WritePngWithAlpha(Path("p.png"), TestImage(24, 16));
    Write("t.txt", "x");
    Write("bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n");
    Write("two.obj", "v 0 0 0\nv 1 0 0\nf 1 2\n");
    Write("junk.obj", std::string("\x8f\x02zq\0\xff\n\x13 1 2\n", 12));
    Write("points.obj", "# only points\nv 0 0 0\nv 1 0 0\nv 1 1 0\np 1 2 3\n");
    Write("short.txt", "HELMET");
    WritePngWithAlpha(Path("screen.png"), TestImage(640, 480));
    const struct {
        const char *line, *why;
    } cases[] = {
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa text t.txt", "at most 39"},
        {"p picture p.png 3x16", "power of two"},
        {"p picture p.png 16x16", "does not divide"},
        {"p picture p.png 8", "tile size"},
        {"p picture missing.png 8x8", "missing.png"},
        {"p sound t.txt", "unknown type"},
        {"m mesh bad.obj", "names no vertex"},
        {"m mesh two.obj", "three corners"},
        {"m mesh bad.obj -1", "32-bit number"},
        {"t text", "NAME TYPE SOURCE"},
        {"t text t.txt\nt raw t.txt", "twice"},
        {"m mesh junk.obj", "junk.obj:1: \"\\x8f\\x02zq\\x00\\xff\" is no statement of an OBJ file"},
        {"m mesh points.obj", "points.obj holds no face"},
        // Entries the demo reads: refused with the player's own line.
        {"helmet text short.txt", ":1: Marquee_Init: FATAL_ERROR: helmet must hold at least 142 characters.\n"},
        {"bootpic picture screen.png 16x16",
         ":1: Boot_Init: FATAL_ERROR: bootpic must be 20 x 15 tiles of 32 x 32 pixels.\n"},
        {"creeds picture p.png 8x8", ":1: Spikes_Init: FATAL_ERROR: creeds must hold eight tiles of 1536 bytes.\n"},
        {"# comment\nwater text t.txt\nhelmet picture p.png 8x8", ":3: ZAR_Read: FATAL_ERROR: Wrong file type.\n"},
    };
    for (const auto &c : cases) {
        Write("m.txt", std::string(c.line) + "\n");
        ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
        EXPECT_NE(r.status, 0) << c.line;
        EXPECT_NE(r.out.find(c.why), std::string::npos) << c.line << " -> " << r.out;
        EXPECT_FALSE(std::ifstream(Path("out.zar"))) << c.line;
    }
    EXPECT_EQ(Tool("").status, 2);
    // Names and types no manifest can give, refused for the content generator's sake.
    std::vector<uint8_t> out;
    std::string err;
    for (const zarw::Entry &e : std::vector<zarw::Entry>{{"", 32, {}}, {std::string("a\0b", 3), 32, {}}, {"t", 17, {}}})
        EXPECT_FALSE(zarw::Pack({e}, &out, &err)) << e.name;
}

TEST_F(ZarTool, BrokenArchivesAreReportedNotTrusted)
{
    using namespace zartest;
    Rec junk = Entry("junk", 15, {});
    junk.block = Text("not zlib");
    Rec over = Entry("over", 32, Text("abc")), past = Entry("past", 16, Words({1, 1, 1, 1}, 3));
    over.unpacked = 0xffffffffu;
    past.offset = 0xfffffff0u;
    const Bytes bytes = Build({Entry("fine", 32, Text("ok")), junk, over, past, Entry("tiny", 15, {1, 2, 3}),
                               Entry("short", 16, Words({1, 1, 4, 4}, 1)), Entry("odd", 16, Words({1, 1, 3, 1}, 9)),
                               Entry("wide", 16, Words({0x55555556u, 1, 1, 1}, 2)), // 3 x tiles is 2 in 32 bits
                               Entry("frac", 15, zarw::MeshPayload(std::vector<float>(10, 1.0f)))});
    std::ofstream(Path("odd.zar"), std::ios::binary).write((const char *)bytes.data(), bytes.size());
    ToolRun r = Tool("list " + Path("odd.zar"));
    EXPECT_EQ(r.status, 1);
    const std::pair<const char *, const char *> flagged[] = {
        {"junk", "unreadable"},  {"past", "unreadable"}, {"tiny", "bad: "}, {"short", "bad: "},
        {"odd", "power of two"}, {"wide", "bad: "},      {"frac", "bad: "}};
    for (const auto &f : flagged) {
        const size_t at = r.out.find("\n" + std::string(f.first) + " ");
        EXPECT_NE(r.out.substr(at, r.out.find('\n', at + 1) - at).find(f.second), std::string::npos) << r.out;
    }
    r = Tool("extract --png " + Path("odd.zar") + " wide " + Path("wide.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("does not match"), std::string::npos) << r.out;
    // An overstated size must not become a 4 GiB buffer.
    r = Tool("extract " + Path("odd.zar") + " over " + Path("over.txt"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(FileBytes(Path("over.txt")), zartest::Text("abc"));
}

// check reads an archive as the player would: every entry the demo reads,
// with the player's line for each one it would stop at.
TEST_F(ZarTool, CheckReportsWhatThePlayerWouldRefuse)
{
    using namespace zartest;
    const Bytes mesh = Words({1, 0}, 36), tiny = Words({1, 1, 2, 2}, 12);
    std::vector<Rec> good = {
        Entry("bootpic", 16, Words({20, 15, 32, 32}, 3 * 640 * 480)), Entry("logo", 16, tiny),
        Entry("ferretoid", 15, mesh), Entry("creeds", 16, Words({8, 1, 32, 16}, 8 * 1536)),
        Entry("fri1", 16, tiny), Entry("fri2", 16, tiny), Entry("oczka", 16, Words({4, 4, 32, 32}, 16 * 3072)),
        Entry("lodyga", 15, mesh), Entry("brzydalek", 16, tiny), Entry("fel", 16, tiny),
        Entry("helmet", 32, Text(std::string(142, 'A'))), Entry("siekierka", 16, Words({10, 15, 64, 32}, 3 * 640 * 480)),
        Entry("butterfly", 16, Words({3, 1, 128, 256}, 3 * 384 * 256)), Entry("water", 32, Text("")),
        Entry("extra", 33, Text("not read by the demo")),
    };
    auto save = [&](const Bytes &bytes) {
        std::ofstream(Path("a.zar"), std::ios::binary).write((const char *)bytes.data(), bytes.size());
    };
    save(Build(good));
    ToolRun r = Tool("check " + Path("a.zar"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, Path("a.zar") + ": the demo loads every entry it reads\n");

    const struct {
        const char *name;
        Rec rec;
        const char *line;
    } bad[] = {
        {"logo", Entry("logo", 16, Words({0xffffffffu, 1, 0, 0})), "ZAR_ReadPic: FATAL_ERROR: Picture tiles have no pixels."},
        {"ferretoid", Entry("ferretoid", 15, Words({0, 0})), "ferretoid holds no triangles"},
        {"creeds", Entry("creeds", 16, Words({7, 1, 32, 16}, 7 * 1536)),
         "Spikes_Init: FATAL_ERROR: creeds must hold eight tiles of 1536 bytes."},
        {"fri1", Entry("fri1", 16, Words({1, 1, 2, 2}, 11)), "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles."},
        {"oczka", Entry("oczka", 16, Words({1, 15, 32, 32}, 15 * 3072)),
         "Drum_Init: FATAL_ERROR: oczka must hold 16 tiles of 32 x 32 pixels."},
        {"lodyga", Entry("lodyga", 15, Words({2, 0}, 36)),
         "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its triangle count."},
        {"helmet", Entry("helmet", 16, tiny), "ZAR_Read: FATAL_ERROR: Wrong file type."},
        {"siekierka", Entry("siekierka", 16, Words({15, 10, 64, 32}, 3 * 640 * 480)),
         "Finale_Init: FATAL_ERROR: siekierka must be 10 x 15 tiles of 64 x 32 pixels."},
        {"water", Entry("waters", 32, Text("")), "ZAR_Read: FATAL_ERROR: File not found."},
    };
    std::vector<Rec> broken = good;
    for (const auto &b : bad)
        for (Rec &rec : broken)
            if (rec.name == b.name)
                rec = b.rec;
    for (Rec &rec : broken) {
        if (rec.name == "fel")
            rec.block = Text("not zlib");
        if (rec.name == "brzydalek")
            rec.offset = 0xfffffff0u;
    }
    save(Build(broken));
    r = Tool("check " + Path("a.zar"));
    EXPECT_EQ(r.status, 1);
    for (const auto &b : bad)
        EXPECT_NE(r.out.find(": " + std::string(b.name) + " (") , std::string::npos) << b.name << " -> " << r.out;
    for (const auto &b : bad)
        EXPECT_NE(r.out.find(b.line), std::string::npos) << b.name << " -> " << r.out;
    EXPECT_NE(r.out.find(": fel (Column_Init): ZAR_Read: Fatal error: decompression failed.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": brzydalek (Column_Init): ZAR_Read: FATAL_ERROR: Drive access error.\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << "one line for each entry refused:\n" << r.out;
}

} // namespace
