// The archive reader and the typed readers, against archives built byte by
// byte. Failures end the process, so every case runs in a forked child whose
// exit status, standard output and standard error are checked exactly; a read
// that succeeds prints what it got after the archive is closed.
#include "archive/zar.h"
#include "tests/archive/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zartest;

namespace {

// A text entry "t" whose stored fields lie; -1 keeps the true value.
Rec Lie(const std::string &text, int64_t unpacked, int64_t packed, int64_t offset = -1)
{
    Rec r = Entry("t", ZAR_TYPE_TEXT, Text(text));
    r.unpacked = unpacked >= 0 ? uint32_t(unpacked) : r.unpacked;
    r.packed = packed;
    r.offset = offset;
    return r;
}

std::string Slurp(FILE *f)
{
    std::string s;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        s += char(c);
    std::fclose(f);
    return s;
}

TEST(ZarReadDeath, EveryCaseExitsWithItsStatusAndLine)
{
    const char kNotFound[] = "ZAR_Read: FATAL_ERROR: File not found.\n";
    const char kDrive[] = "ZAR_Read: FATAL_ERROR: Drive access error.\n";
    const char kInflate[] = "ZAR_Read: Fatal error: decompression failed.\n";
    const char kFit[] = "ZAR_Open: FATAL_ERROR: Directory does not fit in the archive.\n";
    const char kMeshCount[] = "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its triangle count.\n";
    const char kTiles[] = "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles.\n";
    const char kNoPixels[] = "ZAR_ReadPic: FATAL_ERROR: Picture tiles have no pixels.\n";

    Bytes wrong_magic = Build({Entry("a", 32, Text("x"))});
    wrong_magic[3] = 'd';
    const Bytes lookup =
        Build({Entry("ferretoid", 15, Words({0, 0}, 0)), Entry("ferretoid", 16, Words({1, 1, 1, 1}, 3)),
               Entry("bootpic", 16, Words({1, 1, 1, 1}, 3))});
    // The last name fills its 40 bytes and nothing after it in the directory is
    // zero: a lookup that ran on would leave the directory's allocation.
    Rec full = Entry(std::string(40, 'q'), 0x21212121u, Text("zz"));
    full.unpacked = 0x41414141u;
    full.packed = 0x42424242u;
    full.offset = 0x43434343u;
    const Bytes unterminated = Build({Entry("ok", 32, Text("fine")), full});
    Rec over = Entry("over", 32, Text("abc"));
    over.unpacked = 1000;
    const Bytes loads = Build({Entry("twin", 32, Text("first")), Entry("twin", 32, Text("second")), over,
                               Entry("empty", 33, {}), Entry("none", 15, Words({0, 5}, 0)),
                               Entry("one", 15, Words({1, 5}, 36)), Entry("long", 16, Words({1, 1, 1, 1}, 10))});
    const std::string forty(40, 'q'), sixty(60, 'x'), one = "1" + std::string(36, 'A');
    Rec junk = Lie("", 100, -1);
    junk.block = Text("this is not a zlib stream");
    const std::string fifo = "/tmp/zar_test_fifo_" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const Bytes shapes = Build({
        Entry("m0", 15, {1, 2, 3}), Entry("m1", 15, Words({2, 0}, 68)),
        Entry("m2", 15, Words({0x071c71c8u, 0}, 36)), // 36 x count is 32 in 32-bit arithmetic
        Entry("p0", 16, Words({1, 1}, 0)), Entry("p1", 16, Words({2, 2, 4, 4}, 3 * 4 * 4 * 4 - 1)),
        Entry("p2", 16, Words({0x80000000u, 0x80000000u, 0x80000000u, 0x80000000u}, 3)),
        Entry("p3", 16, Words({0x10000u, 0x10000u, 1, 1}, 3)), // 3 * 2^32 is small in 32-bit arithmetic
        // Tiles of no pixels need no payload, whatever their count says.
        Entry("p4", 16, Words({0xffffffffu, 0xffffffffu, 0, 0})), Entry("p5", 16, Words({1000000, 1, 0, 32})),
        Entry("p6", 16, Words({1, 1, 32, 0}, 96)),
    });

    // The child opens archive, then reads name with the reader for type (0: none).
    // Loads print the payload, the triangle count or the pixels.
    const struct Case {
        Bytes archive;
        uint32_t type;
        const char *name;
        int status;
        const char *line;
        bool tight = false;         // under a 1 GiB address-space limit
        const char *path = nullptr; // instead of a file holding archive
    } cases[] = {
        {{}, 0, "", 1, "", false, "/nonexistent/brass_tide.zar"},
        {{}, 0, "", 1, "", false, fifo.c_str()}, // no writer: opening it for reading would wait for one
        {{}, 0, "", 1, "", false, "/tmp"},
        {wrong_magic, 0, "", 1, ""},
        {{}, 0, "", 1, ""},
        {{'Z', 'A', 'R'}, 0, "", 1, ""},
        {{'Z', 'A', 'R', 'D', 1, 0, 0, 0, 0}, 0, "", 1, "ZAR_Open: FATAL_ERROR: Archive header is incomplete.\n"},
        {Build({Entry("a", 32, Text("x"))}, 2), 0, "", 1, kFit},
        {Build({Entry("a", 32, {})}, 0xffffffffu), 0, "", 1, kFit},
        {Build({}, 1), 0, "", 1, kFit},
        {Build({}), 32, "helmet", 1, kNotFound},
        {lookup, 16, "Bootpic", 1, kNotFound},
        {lookup, 16, "bootpi", 1, kNotFound},
        {lookup, 32, sixty.c_str(), 1, kNotFound},
        {lookup, 16, "ferretoid", 1, "ZAR_Read: FATAL_ERROR: Wrong file type.\n"},
        {unterminated, 32, forty.c_str(), 1, kNotFound},
        {unterminated, 32, "ok", 0, "fine"},
        {loads, 32, "twin", 0, "first"}, // the first record of a name is the one read
        {loads, 32, "over", 0, "abc"},   // zlib wrote the real length back
        {loads, 33, "empty", 0, ""},
        {loads, 15, "none", 0, "0"},
        {loads, 15, "one", 0, one.c_str()},
        {loads, 16, "long", 0, "AAA"}, // payload beyond the tiles is ignored
        {Build({Lie("hello", -1, -1, 16 + 56 + 1)}), 32, "t", 1, kDrive},
        {Build({Lie("hello", -1, -1, 0xfffffff0u)}), 32, "t", 1, kDrive},
        {Build({Lie("hello", -1, 0xffffffffu)}), 32, "t", 1, kDrive, true}, // refused before it is allocated
        {Build({junk}), 32, "t", 1, kInflate},
        {Build({Lie("hello", 4, -1)}), 32, "t", 1, kInflate},
        {Build({Lie("hello", -1, 0)}), 32, "t", 1, kInflate},
        {Build({Lie("a longer text that packs to more than a few bytes", -1, 8)}), 32, "t", 1, kInflate},
        {Build({Lie("abc", 0xffffffffu, -1)}), 32, "t", 1, "ZAR_Read: FATAL_ERROR: Memory allocation failed.\n", true},
        {shapes, 15, "m0", 1, "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its header.\n"},
        {shapes, 15, "m1", 1, kMeshCount},
        {shapes, 15, "m2", 1, kMeshCount},
        {shapes, 16, "p0", 1, "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its header.\n"},
        {shapes, 16, "p1", 1, kTiles},
        {shapes, 16, "p2", 1, "ZAR_ReadPic: FATAL_ERROR: Picture size out of range.\n"},
        {shapes, 16, "p3", 1, kTiles},
        {shapes, 16, "p4", 1, kNoPixels},
        {shapes, 16, "p5", 1, kNoPixels},
        {shapes, 16, "p6", 1, kNoPixels},
    };
    for (const Case &c : cases) {
#ifdef ZARTEST_SANITIZER
        if (c.tight)
            continue;
#endif
        const std::string path = c.path ? c.path : "/tmp/zar_test_" + std::to_string(getpid()) + ".zar";
        if (!c.path)
            std::ofstream(path, std::ios::binary).write((const char *)c.archive.data(), c.archive.size());
        FILE *out = std::tmpfile(), *err = std::tmpfile();
        ASSERT_TRUE(out && err);
        std::fflush(stdout);
        if (fork() == 0) {
            dup2(fileno(out), 1);
            dup2(fileno(err), 2);
            alarm(20); // a case that hangs fails by the signal instead of stalling the suite
            const struct rlimit lim = {1u << 30, 1u << 30};
            if (c.tight)
                setrlimit(RLIMIT_AS, &lim);
            ZAR_Close(); // with nothing open: does nothing
            ZAR_Open(path.c_str());
            const zar_mesh_t *m = c.type == ZAR_TYPE_MESH ? ZAR_ReadASE(c.name) : nullptr;
            const zar_pic_t *p = c.type == ZAR_TYPE_PICTURE ? ZAR_ReadPic(c.name) : nullptr;
            const uint8_t *t = c.type > ZAR_TYPE_PICTURE ? ZAR_Read(c.name, c.type) : nullptr;
            const uint32_t size = ZAR_LastSize();
            ZAR_Close(); // the records outlive the archive
            ZAR_Close();
            std::string got(t ? (const char *)t : "", t ? size : 0);
            if (m)
                got = std::to_string(m->count) + std::string((char *)m->triangles, 36 * m->count);
            if (p)
                got.assign((char *)p->pixels, 3 * p->tile_w * p->tile_h * p->tiles_x * p->tiles_y);
            std::fwrite(got.data(), 1, got.size(), stdout);
            std::fflush(stdout);
            _exit(0);
        }
        int st = 0;
        wait(&st);
        std::remove(path.c_str());
        EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, c.status) << path << " " << c.name << " " << c.line;
        EXPECT_EQ(Slurp(out), c.line) << c.name;
        EXPECT_EQ(Slurp(err), "") << c.name;
    }
    unlink(fifo.c_str());
}

} // namespace
