// Fuzz target over the archive reader and both typed readers.
//
// The reader ends the program on every failure; this target is built with
// ZAR_FATAL_LONGJMP so a failure jumps back here instead, and ZAR_Close then
// releases whatever the reader had in flight. The input is the whole archive
// file; the names and types asked for come from its own directory, and the
// low bits of header word 2 (which the reader ignores) choose, per record,
// whether to use a typed reader, the raw read, a wrong type or the name with
// its first letter's case flipped.
#include "archive/zar.h"
#include "archive/zar_fatal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr int kMaxReads = 16;
// Entries that claim more than this are not asked for: the reader would
// allocate the claimed size, which says nothing about its safety.
constexpr uint32_t kMaxUnpacked = 8u << 20; // more than 4 KiB of input can inflate to

char g_path[64];
int g_fd = -1;

// Results of the current input, static so they survive a longjmp.
uint8_t *g_raw[kMaxReads];
zar_mesh_t *g_mesh[kMaxReads];
zar_pic_t *g_pic[kMaxReads];
volatile uint32_t g_sink;

uint32_t Word(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads every byte a result claims to own, so a short buffer shows under ASan.
void Touch(const uint8_t *p, uint64_t n)
{
    uint32_t sum = 0;
    for (uint64_t i = 0; i < n; i++)
        sum += p[i];
    g_sink = g_sink + sum;
}

bool Setup()
{
    if (g_fd >= 0)
        return true;
    g_fd = memfd_create("zar_fuzz", 0);
    if (g_fd < 0)
        return false;
    std::snprintf(g_path, sizeof g_path, "/proc/self/fd/%d", g_fd);
    return true;
}

void FreeResults()
{
    for (int i = 0; i < kMaxReads; i++) {
        std::free(g_raw[i]);
        if (g_mesh[i])
            std::free(g_mesh[i]->triangles);
        std::free(g_mesh[i]);
        if (g_pic[i])
            std::free(g_pic[i]->pixels);
        std::free(g_pic[i]);
        g_raw[i] = nullptr;
        g_mesh[i] = nullptr;
        g_pic[i] = nullptr;
    }
}

// The record the reader's lookup would stop at for name (first match), or null.
const uint8_t *FirstMatch(const uint8_t *dir, uint32_t records, const char *name)
{
    const size_t len = std::strlen(name);
    for (uint32_t i = 0; i < records && len < 40; i++)
        if (std::memcmp(dir + 56 * i, name, len + 1) == 0)
            return dir + 56 * i;
    return nullptr;
}

void ReadAll(const uint8_t *data, size_t size)
{
    ZAR_Open(g_path);
    // ZAR_Open has checked the header and that the directory fits in the file.
    const uint32_t records = Word(data + 12);
    const uint8_t *dir = data + 16;
    const uint32_t modes = Word(data + 8);
    (void)size;
    for (uint32_t i = 0; i < records && i < kMaxReads; i++) {
        const uint8_t *rec = dir + 56 * i;
        char name[41];
        std::memcpy(name, rec, 40);
        name[40] = '\0';
        const uint8_t *hit = FirstMatch(dir, records, name);
        if (hit && Word(hit + 44) > kMaxUnpacked)
            continue;
        const uint32_t type = Word(rec + 40);
        switch ((modes >> (2 * (i % 16))) & 3) {
        case 3:
            // Names differ by case: another record, or none at all.
            name[0] ^= 0x20;
            hit = FirstMatch(dir, records, name);
            if (hit && Word(hit + 44) > kMaxUnpacked)
                break;
            g_raw[i] = ZAR_Read(name, type);
            Touch(g_raw[i], ZAR_LastSize());
            break;
        case 0:
            if (type == ZAR_TYPE_MESH) {
                g_mesh[i] = ZAR_ReadASE(name);
                Touch((const uint8_t *)g_mesh[i]->triangles, uint64_t(g_mesh[i]->count) * 36);
            } else if (type == ZAR_TYPE_PICTURE) {
                g_pic[i] = ZAR_ReadPic(name);
                const zar_pic_t *p = g_pic[i];
                Touch(p->pixels, 3ull * p->tile_w * p->tile_h * p->tiles_x * p->tiles_y);
            } else {
                g_raw[i] = ZAR_Read(name, type);
                Touch(g_raw[i], ZAR_LastSize());
            }
            break;
        case 1:
            g_raw[i] = type == ZAR_TYPE_TEXT ? ZAR_ReadText(name) : ZAR_Read(name, type);
            Touch(g_raw[i], ZAR_LastSize());
            break;
        case 2:
            // A wrong type must fail before any allocation or file access.
            if (type == ZAR_TYPE_MESH)
                g_pic[i] = ZAR_ReadPic(name);
            else
                g_mesh[i] = ZAR_ReadASE(name);
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!Setup())
        std::abort();
    if (ftruncate(g_fd, 0) != 0 || (size && pwrite(g_fd, data, size, 0) != (ssize_t)size))
        std::abort();
    zar_fatal_text = nullptr;
    if (setjmp(zar_fatal_jump) == 0)
        ReadAll(data, size);
    // Every failure says which routine failed, or nothing at all.
    if (zar_fatal_text && zar_fatal_text[0] && std::strstr(zar_fatal_text, "ERROR") == nullptr &&
        std::strstr(zar_fatal_text, "error") == nullptr)
        std::abort();
    ZAR_Close();
    FreeResults();
    return 0;
}
