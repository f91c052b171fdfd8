// The archive tool end to end: a manifest packed by zartool reads back through
// the player's own readers, pictures survive PNG in and PNG out unchanged, and
// whatever the player would refuse never becomes an archive.
#include "archive/zar.h"
#include "tests/archive/archive_builder.h"
#include "tools/zarwrite/zarwrite.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs zartool with args (shell-quoted by the caller), standard error folded into out.
ToolRun Tool(const std::string &args)
{
    const std::string cmd = std::string(ZARTOOL_PATH) + " " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ToolRun r{-1, ""};
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class ZarTool : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        char tmpl[] = "/tmp/zartool_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string Path(const std::string &name) const { return dir + "/" + name; }
    void WriteText(const std::string &name, const std::string &text) const
    {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    bool Exists(const std::string &name) const
    {
        struct stat st;
        return stat(Path(name).c_str(), &st) == 0;
    }
};

// Every pixel distinct, so a misplaced tile or row shows.
zarw::Image TestImage(uint32_t w, uint32_t h)
{
    zarw::Image im;
    im.width = w;
    im.height = h;
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            im.rgb.insert(im.rgb.end(), {uint8_t(x * 5), uint8_t(y * 3), uint8_t((x + y * w) & 0xff)});
    return im;
}

void WritePngFile(const std::string &path, const zarw::Image &im, bool alpha)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = im.width;
    png.height = im.height;
    png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<uint8_t> px;
    for (size_t i = 0; i < im.rgb.size(); i += 3) {
        px.insert(px.end(), im.rgb.begin() + i, im.rgb.begin() + i + 3);
        if (alpha)
            px.push_back(uint8_t(i)); // arbitrary, must not disturb the colours
    }
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, px.data(), 0, nullptr)) << png.message;
}

zarw::Image ReadPngFile(const std::string &path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    zarw::Image im;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return im;
    png.format = PNG_FORMAT_RGB;
    im.rgb.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, im.rgb.data(), 0, nullptr)) {
        im.width = png.width;
        im.height = png.height;
    }
    return im;
}

std::vector<uint8_t> FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(ZarTool, PackedEntriesReadBackThroughThePlayer)
{
    const zarw::Image image = TestImage(64, 32);
    WritePngFile(Path("boot.png"), image, false);
    WritePngFile(Path("alpha.png"), image, true);
    // A quad (fanned into two triangles) and a triangle given by negative indices.
    WriteText("shape.obj", "# test shape\no shape\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.5\n"
                           "vn 0 0 1\nf 1/1/1 2/2/1 3/3/1 4/4/1\nv 2 2 2\nf -1 -2 -3\n");
    WriteText("scroll.txt", "HELLO DEMO\n");
    const std::string raw("\0\1\2\3\xff", 5);
    WriteText("blob.bin", raw);
    WriteText("m.txt", "# demo archive\n"
                       "bootpic   picture boot.png   16x8\n"
                       "logo      picture alpha.png  64x32   # alpha is dropped\n"
                       "ferretoid mesh    shape.obj  0x2a\n"
                       "\n"
                       "helmet    text    scroll.txt\n"
                       "blob      raw     blob.bin\n");
    ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
    ASSERT_EQ(r.status, 0) << r.out;

    ZAR_Open(Path("out.zar").c_str());
    zar_pic_t *p = ZAR_ReadPic("bootpic");
    EXPECT_EQ(p->tiles_x, 4u);
    EXPECT_EQ(p->tiles_y, 4u);
    EXPECT_EQ(p->tile_w, 16u);
    EXPECT_EQ(p->tile_h, 8u);
    std::string err;
    const auto want = zarw::PicturePayload(image, 16, 8, &err);
    EXPECT_EQ(std::memcmp(p->pixels, want.data() + 16, want.size() - 16), 0);
    zar_pic_t *logo = ZAR_ReadPic("logo");
    EXPECT_EQ(std::memcmp(logo->pixels, zarw::PicturePayload(image, 64, 32, &err).data() + 16, 64 * 32 * 3), 0);

    zar_mesh_t *m = ZAR_ReadASE("ferretoid");
    ASSERT_EQ(m->count, 3u);
    EXPECT_EQ(m->second_word, 42u);
    const float tri[27] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0.5f, 2, 2, 2, 0, 1, 0.5f, 1, 1, 0};
    for (int i = 0; i < 27; i++)
        EXPECT_EQ(m->triangles[i], tri[i]) << i;

    uint8_t *t = ZAR_ReadText("helmet");
    EXPECT_EQ(std::string((char *)t, ZAR_LastSize()), "HELLO DEMO\n");
    uint8_t *b = ZAR_Read("blob", 33);
    EXPECT_EQ(std::string((char *)b, ZAR_LastSize()), raw);
    ZAR_Close();
    for (void *ptr : {(void *)p->pixels, (void *)p, (void *)logo->pixels, (void *)logo, (void *)m->triangles,
                      (void *)m, (void *)t, (void *)b})
        std::free(ptr);

    // PNG in, PNG out: tiles reassembled into the same image.
    r = Tool("extract --png " + Path("out.zar") + " bootpic " + Path("back.png"));
    ASSERT_EQ(r.status, 0) << r.out;
    const zarw::Image back = ReadPngFile(Path("back.png"));
    EXPECT_EQ(back.width, 64u);
    EXPECT_EQ(back.height, 32u);
    EXPECT_TRUE(back.rgb == image.rgb);

    r = Tool("extract " + Path("out.zar") + " blob " + Path("blob.out"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(FileBytes(Path("blob.out")), std::vector<uint8_t>(raw.begin(), raw.end()));

    r = Tool("list " + Path("out.zar"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("4x4 tiles of 16x8"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 triangles"), std::string::npos) << r.out;
    std::istringstream lines(r.out);
    std::string line, name, type;
    uint32_t unpacked, packed, offset;
    std::getline(lines, line); // heading
    std::getline(lines, line);
    std::istringstream(line) >> name >> type >> unpacked >> packed >> offset;
    EXPECT_EQ(name, "bootpic");
    EXPECT_EQ(type, "picture");
    EXPECT_EQ(unpacked, 16u + 64 * 32 * 3);
    EXPECT_EQ(offset, 16u + 5 * 56);

    r = Tool("extract --png " + Path("out.zar") + " helmet " + Path("x.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("not a picture"), std::string::npos) << r.out;
    r = Tool("extract " + Path("out.zar") + " Helmet " + Path("x.txt"));
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(Exists("x.txt"));
}

TEST_F(ZarTool, RefusesWhatThePlayerWouldReject)
{
    WritePngFile(Path("p.png"), TestImage(24, 16), false);
    WriteText("t.txt", "x");
    WriteText("bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 3\n");
    WriteText("two.obj", "v 0 0 0\nv 1 0 0\nf 1 2\n");
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
    };
    for (const auto &c : cases) {
        WriteText("m.txt", std::string(c.line) + "\n");
        ToolRun r = Tool("pack " + Path("out.zar") + " " + Path("m.txt"));
        EXPECT_NE(r.status, 0) << c.line;
        EXPECT_NE(r.out.find(c.why), std::string::npos) << c.line << " -> " << r.out;
        EXPECT_FALSE(Exists("out.zar")) << c.line;
    }
    EXPECT_EQ(Tool("").status, 2);
    ToolRun help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Manifest"), std::string::npos);
}

TEST_F(ZarTool, ListFlagsEntriesThePlayerCouldNotLoad)
{
    using namespace zartest;
    Rec broken = Entry("bad", 16, {1, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 9});
    Rec junk = Entry("junk", 15, {});
    junk.packed = Bytes("not zlib");
    const std::string path = Path("odd.zar");
    const auto bytes = Build({Entry("fine", 32, Bytes("ok")), broken, junk});
    std::ofstream(path, std::ios::binary).write((const char *)bytes.data(), bytes.size());
    ToolRun r = Tool("list " + path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("fine"), std::string::npos);
    EXPECT_NE(r.out.find("bad: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unreadable"), std::string::npos) << r.out;
    r = Tool("extract --png " + path + " bad " + Path("bad.png"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("does not match"), std::string::npos) << r.out;
}

} // namespace
