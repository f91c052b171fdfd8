// The archive reader and the typed readers, against archives built byte by
// byte. Failures end the process, so they run in a child whose status, standard
// output and standard error are checked exactly.
#include "archive/zar.h"
#include "tests/archive/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

using namespace zartest;

namespace {

const char kNotFound[] = "ZAR_Read: FATAL_ERROR: File not found.\n";
const char kWrongType[] = "ZAR_Read: FATAL_ERROR: Wrong file type.\n";
const char kDrive[] = "ZAR_Read: FATAL_ERROR: Drive access error.\n";
const char kInflate[] = "ZAR_Read: Fatal error: decompression failed.\n";

std::vector<uint8_t> MeshBytes(uint32_t count, uint32_t word, size_t floats)
{
    std::vector<uint8_t> p;
    Put32(&p, count);
    Put32(&p, word);
    for (size_t i = 0; i < floats; i++) {
        float f = float(i) + 0.5f;
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Put32(&p, bits);
    }
    return p;
}

std::vector<uint8_t> PicBytes(uint32_t tx, uint32_t ty, uint32_t w, uint32_t h, size_t pixel_bytes)
{
    std::vector<uint8_t> p;
    Put32(&p, tx);
    Put32(&p, ty);
    Put32(&p, w);
    Put32(&p, h);
    for (size_t i = 0; i < pixel_bytes; i++)
        p.push_back(uint8_t(i * 7 + 1));
    return p;
}

// Opens archive in a child, runs read there and expects exit 1 with exactly
// line on standard output and nothing on standard error.
void ExpectFatal(const std::vector<uint8_t> &archive, const std::function<void()> &read, const std::string &line)
{
    const std::string path = WriteTemp(archive, "fatal");
    Outcome o = RunChild([&] {
        ZAR_Open(path.c_str());
        read();
    });
    std::remove(path.c_str());
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, line);
    EXPECT_EQ(o.err, "");
}

void ExpectOpenFails(const std::vector<uint8_t> &archive, const std::string &line)
{
    ExpectFatal(archive, [] {}, line);
}

// Opens the archive in this process for reads that succeed; closes on scope exit.
struct OpenArchive {
    std::string path;
    explicit OpenArchive(const std::vector<uint8_t> &bytes) : path(WriteTemp(bytes, "ok")) { ZAR_Open(path.c_str()); }
    ~OpenArchive()
    {
        ZAR_Close();
        std::remove(path.c_str());
    }
};

TEST(ZarRead, ReadsEveryKindOfEntry)
{
    const auto mesh = MeshBytes(2, 77, 18);
    const auto pic = PicBytes(2, 1, 4, 2, 3 * 4 * 2 * 2);
    const auto text = Bytes("HELLO, WORLD");
    OpenArchive a(Build({Entry("ferretoid", 15, mesh), Entry("logo", 16, pic), Entry("helmet", 32, text),
                         Entry("blob", 33, {1, 2, 3})}));

    uint8_t *t = ZAR_ReadText("helmet");
    ASSERT_EQ(ZAR_LastSize(), text.size());
    EXPECT_EQ(std::memcmp(t, text.data(), text.size()), 0);
    std::free(t);

    uint8_t *raw = ZAR_Read("blob", 33);
    EXPECT_EQ(ZAR_LastSize(), 3u);
    EXPECT_EQ(raw[2], 3);
    std::free(raw);

    zar_mesh_t *m = ZAR_ReadASE("ferretoid");
    EXPECT_EQ(m->count, 2u);
    EXPECT_EQ(m->second_word, 77u);
    EXPECT_EQ(m->triangles[0], 0.5f);
    EXPECT_EQ(m->triangles[17], 17.5f);

    zar_pic_t *p = ZAR_ReadPic("logo");
    EXPECT_EQ(p->tile_w, 4u);
    EXPECT_EQ(p->tile_h, 2u);
    EXPECT_EQ(p->tiles_x, 2u);
    EXPECT_EQ(p->tiles_y, 1u);
    EXPECT_EQ(std::memcmp(p->pixels, pic.data() + 16, pic.size() - 16), 0);

    // Records outlive the archive.
    ZAR_Close();
    EXPECT_EQ(m->triangles[9], 9.5f);
    EXPECT_EQ(p->pixels[0], pic[16]);
    std::free(m->triangles);
    std::free(m);
    std::free(p->pixels);
    std::free(p);
}

TEST(ZarRead, SmallestShapesAndLongerPayloads)
{
    // A picture whose payload runs longer than its tiles is accepted; only short ones fail.
    OpenArchive a(Build({Entry("none", 15, MeshBytes(0, 5, 0)), Entry("dot", 16, PicBytes(1, 1, 1, 1, 3)),
                         Entry("long", 16, PicBytes(1, 1, 1, 1, 10)), Entry("empty", 32, {})}));
    zar_mesh_t *m = ZAR_ReadASE("none");
    EXPECT_EQ(m->count, 0u);
    EXPECT_NE(m->triangles, nullptr);
    zar_pic_t *p = ZAR_ReadPic("dot");
    EXPECT_EQ(p->pixels[0], 1);
    EXPECT_EQ(p->pixels[2], 15);
    zar_pic_t *q = ZAR_ReadPic("long");
    EXPECT_EQ(q->pixels[1], 8);
    uint8_t *e = ZAR_ReadText("empty");
    EXPECT_NE(e, nullptr);
    EXPECT_EQ(ZAR_LastSize(), 0u);
    for (void *ptr : {(void *)m->triangles, (void *)m, (void *)p->pixels, (void *)p, (void *)q->pixels, (void *)q,
                      (void *)e})
        std::free(ptr);
}

TEST(ZarRead, FirstRecordOfANameWins)
{
    OpenArchive a(Build({Entry("twin", 32, Bytes("first")), Entry("twin", 32, Bytes("second!"))}));
    uint8_t *t = ZAR_ReadText("twin");
    EXPECT_EQ(ZAR_LastSize(), 5u);
    EXPECT_EQ(std::memcmp(t, "first", 5), 0);
    std::free(t);
}

TEST(ZarRead, StoredSizeLargerThanPayloadReadsAndIsCorrected)
{
    Rec r = Entry("water", 32, Bytes("abc"));
    r.unpacked = 1000;
    OpenArchive a(Build({r}));
    uint8_t *t = ZAR_ReadText("water");
    EXPECT_EQ(ZAR_LastSize(), 3u); // zlib wrote the real length back into the directory
    EXPECT_EQ(std::memcmp(t, "abc", 3), 0);
    std::free(t);
    // The corrected record is what a second read allocates from.
    t = ZAR_ReadText("water");
    EXPECT_EQ(ZAR_LastSize(), 3u);
    std::free(t);
}

TEST(ZarRead, CloseWithoutOpenDoesNothing)
{
    EXPECT_EQ(ZAR_Close(), 0);
    EXPECT_EQ(ZAR_Close(), 0);
}

TEST(ZarOpenDeath, BadMagicExitsSilently)
{
    std::vector<uint8_t> good = Build({Entry("a", 32, Bytes("x"))});
    auto wrong = good;
    wrong[3] = 'd';
    ExpectOpenFails(wrong, "");
    ExpectOpenFails({}, "");
    ExpectOpenFails({'Z', 'A', 'R'}, "");
    ExpectOpenFails({'Z', 'A', 'R', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "");
    Outcome o = RunChild([] { ZAR_Open("/nonexistent/brass_tide.zar"); });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out + o.err, "");
}

TEST(ZarOpenDeath, ShortHeaderOrDirectoryIsFatal)
{
    ExpectOpenFails({'Z', 'A', 'R', 'D', 1, 0, 0, 0, 0}, "ZAR_Open: FATAL_ERROR: Archive header is incomplete.\n");
    const char fits[] = "ZAR_Open: FATAL_ERROR: Directory does not fit in the archive.\n";
    auto one = Build({Entry("a", 32, {})}, 2);
    one.resize(16 + 56 + 20); // room for the packed block but not for a second record
    ExpectOpenFails(one, fits);
    // A count the size of memory must be refused before anything is allocated.
    ExpectOpenFails(Build({Entry("a", 32, {})}, 0xffffffffu), fits);
    ExpectOpenFails(Build({}, 1), fits);
    // An empty directory is valid; every name is then missing.
    ExpectFatal(Build({}), [] { ZAR_ReadText("helmet"); }, kNotFound);
}

TEST(ZarReadDeath, LookupFailures)
{
    const auto archive = Build({Entry("ferretoid", 15, MeshBytes(0, 0, 0)), Entry("ferretoid", 16, PicBytes(1, 1, 1, 1, 3)),
                                Entry("bootpic", 16, PicBytes(1, 1, 1, 1, 3))});
    ExpectFatal(archive, [] { ZAR_ReadPic("missing"); }, kNotFound);
    ExpectFatal(archive, [] { ZAR_ReadPic("Bootpic"); }, kNotFound);
    ExpectFatal(archive, [] { ZAR_ReadPic("bootpi"); }, kNotFound);
    ExpectFatal(archive, [] { ZAR_ReadPic("ferretoid"); }, kWrongType);
    ExpectFatal(archive, [] { ZAR_ReadASE("bootpic"); }, kWrongType);
    ExpectFatal(archive, [] { ZAR_Read("bootpic", 33); }, kWrongType);
    // Names longer than a record can hold match nothing.
    ExpectFatal(archive, [] { ZAR_ReadText(std::string(60, 'x').c_str()); }, kNotFound);
}

TEST(ZarReadDeath, UnterminatedNameNeverMatchesNorOverreads)
{
    // The last record's name fills all 40 bytes and the fields after it hold no
    // zero byte: a lookup that ran on would leave the directory allocation.
    Rec full = Entry(std::string(40, 'q'), 0x21212121u, Bytes("zz"));
    full.unpacked = 0x41414141u;
    full.set_packed = true;
    full.packed_size = 0x42424242u;
    full.set_offset = true;
    full.offset = 0x43434343u;
    const auto archive = Build({Entry("ok", 32, Bytes("fine")), full});
    ExpectFatal(archive, [] { ZAR_ReadText(std::string(40, 'q').c_str()); }, kNotFound);
    ExpectFatal(archive, [] { ZAR_ReadText(std::string(39, 'q').c_str()); }, kNotFound);
    ExpectFatal(archive, [] { ZAR_ReadText("nothere"); }, kNotFound);
    OpenArchive a(archive);
    uint8_t *t = ZAR_ReadText("ok");
    EXPECT_EQ(std::memcmp(t, "fine", 4), 0);
    std::free(t);
}

TEST(ZarReadDeath, PackedDataFailures)
{
    Rec past = Entry("past", 32, Bytes("hello"));
    past.set_packed = true;
    past.packed_size = uint32_t(past.packed.size()) + 1;
    ExpectFatal(Build({past}), [] { ZAR_ReadText("past"); }, kDrive);
    Rec far = Entry("far", 32, Bytes("hello"));
    far.set_offset = true;
    far.offset = 0xfffffff0u;
    ExpectFatal(Build({far}), [] { ZAR_ReadText("far"); }, kDrive);
    Rec huge = Entry("huge", 32, Bytes("hello"));
    huge.set_packed = true;
    huge.packed_size = 0xffffffffu;
    ExpectFatal(Build({huge}), [] { ZAR_ReadText("huge"); }, kDrive);

    Rec junk;
    junk.name = "junk";
    junk.packed = Bytes("this is not a zlib stream");
    junk.unpacked = 100;
    ExpectFatal(Build({junk}), [] { ZAR_ReadText("junk"); }, kInflate);
    Rec small = Entry("small", 32, Bytes("hello"));
    small.unpacked = 4;
    ExpectFatal(Build({small}), [] { ZAR_ReadText("small"); }, kInflate);
    Rec zero = Entry("zero", 32, {});
    zero.set_packed = true;
    zero.packed_size = 0;
    ExpectFatal(Build({zero}), [] { ZAR_ReadText("zero"); }, kInflate);
    Rec cut = Entry("cut", 32, Bytes("a longer text that packs to more than a few bytes"));
    cut.set_packed = true;
    cut.packed_size = uint32_t(cut.packed.size()) - 5;
    ExpectFatal(Build({cut}), [] { ZAR_ReadText("cut"); }, kInflate);
}

TEST(ZarReadDeath, PayloadShorterThanItsHeaderClaims)
{
    const auto archive = Build({
        Entry("m0", 15, {1, 2, 3}),
        Entry("m1", 15, MeshBytes(2, 0, 17)),
        Entry("m2", 15, MeshBytes(0xffffffffu, 0, 9)),
        Entry("p0", 16, {1, 0, 0, 0, 1, 0, 0, 0}),
        Entry("p1", 16, PicBytes(2, 2, 4, 4, 3 * 4 * 4 * 4 - 1)),
        Entry("p2", 16, PicBytes(0x80000000u, 0x80000000u, 0x80000000u, 0x80000000u, 3)),
        Entry("p3", 16, PicBytes(0x10000u, 0x10000u, 1, 1, 3)),
    });
    const char mesh_header[] = "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its header.\n";
    const char mesh_count[] = "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its triangle count.\n";
    ExpectFatal(archive, [] { ZAR_ReadASE("m0"); }, mesh_header);
    ExpectFatal(archive, [] { ZAR_ReadASE("m1"); }, mesh_count);
    ExpectFatal(archive, [] { ZAR_ReadASE("m2"); }, mesh_count);
    ExpectFatal(archive, [] { ZAR_ReadPic("p0"); }, "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its header.\n");
    ExpectFatal(archive, [] { ZAR_ReadPic("p1"); }, "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles.\n");
    ExpectFatal(archive, [] { ZAR_ReadPic("p2"); }, "ZAR_ReadPic: FATAL_ERROR: Picture size out of range.\n");
    // 3 * 2^32 wraps to a small number in 32-bit arithmetic; it must not pass.
    ExpectFatal(archive, [] { ZAR_ReadPic("p3"); }, "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles.\n");
}

#if defined(__SANITIZE_ADDRESS__)
#define ZAR_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZAR_TEST_ASAN 1
#endif
#endif

TEST(ZarReadDeath, FailedAllocationIsFatal)
{
#ifdef ZAR_TEST_ASAN
    GTEST_SKIP() << "ASan reserves address space, so a small address-space limit cannot be set";
#else
    // A stored size of 4 GiB is accepted by the format (the write-back would
    // fix it) but cannot be allocated under a 1 GiB address-space limit.
    Rec big = Entry("big", 32, Bytes("abc"));
    big.unpacked = 0xffffffffu;
    const std::string path = WriteTemp(Build({big}), "alloc");
    Outcome o = RunChild([&] {
        struct rlimit lim = {1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &lim);
        ZAR_Open(path.c_str());
        ZAR_ReadText("big");
    });
    std::remove(path.c_str());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "ZAR_Read: FATAL_ERROR: Memory allocation failed.\n");
    EXPECT_EQ(o.err, "");
#endif
}

} // namespace
