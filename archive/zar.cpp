// The ZAR archive reader and the mesh and picture readers.
//
// File layout (all integers u32 little-endian, offsets from the start):
//   0  "ZARD", two unused header words, entry count
//   16 entry count directory records of 56 bytes: name[40] (zero-terminated),
//      type, unpacked size, packed size, data offset
//   packed blocks anywhere after the directory, one zlib stream each.
//
// Every failure ends the program. Buffers in flight are kept in module state
// rather than locals so that nothing is unreachable when the process ends
// (and so the fuzz build can release them after a failure).
#include "archive/zar.h"
#include "archive/zar_fatal.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// One directory record exactly as stored; read verbatim, so the host must be
// little-endian (both player builds are).
struct zar_record_t {
    char name[40];
    uint32_t type;
    uint32_t unpacked;
    uint32_t packed;
    uint32_t offset;
};
static_assert(sizeof(zar_record_t) == 56, "directory records are 56 bytes in the file");

static FILE *zar_file;
static uint32_t zar_count;
static zar_record_t *zar_dir;
static char zar_magic[5];
static uint64_t zar_file_size;
static uint32_t zar_last_size;

// In flight inside ZAR_Read and the typed readers.
static uint8_t *zar_packed;
static uint8_t *zar_result;
static uint8_t *zar_payload;
static zar_mesh_t *zar_new_mesh;
static zar_pic_t *zar_new_pic;
static void *zar_new_array;

#ifdef ZAR_FATAL_LONGJMP
jmp_buf zar_fatal_jump;
const char *zar_fatal_text;
#endif

// Ends the program after printing message (none for the silent failures).
[[noreturn]] static void ZAR_Fatal(const char *message)
{
#ifdef ZAR_FATAL_LONGJMP
    zar_fatal_text = message ? message : "";
    longjmp(zar_fatal_jump, 1);
#else
    if (message)
        printf("%s", message);
    exit(1);
#endif
}

// malloc that never hands back null for a zero size, so an empty entry is not
// mistaken for a failed allocation.
static void *ZAR_Alloc(uint64_t bytes)
{
    if (bytes > SIZE_MAX)
        return nullptr;
    return malloc(bytes ? (size_t)bytes : 1);
}

static uint32_t ZAR_Word(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Opens path for binary reading if it is a regular file. Opening a FIFO for
// reading waits until something writes to it, so the file is opened without
// waiting and looked at before anything is read from it.
static FILE *ZAR_OpenRegular(const char *path)
{
#ifdef _WIN32
    // Windows keeps its pipes and devices outside the folders: a file found
    // there opens at once.
    return fopen(path, "rb");
#else
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE *file = fdopen(fd, "rb");
    if (!file)
        close(fd);
    return file;
#endif
}

int ZAR_Open(const char *path)
{
    zar_file = ZAR_OpenRegular(path);
    if (!zar_file)
        ZAR_Fatal(nullptr);
    memset(zar_magic, 0, sizeof zar_magic);
    // A file shorter than four bytes leaves zeros in place and fails the comparison.
    size_t got = fread(zar_magic, 1, 4, zar_file);
    (void)got;
    if (strcmp(zar_magic, "ZARD") != 0)
        ZAR_Fatal(nullptr);

    uint8_t words[12];
    if (fread(words, 1, sizeof words, zar_file) != sizeof words)
        ZAR_Fatal("ZAR_Open: FATAL_ERROR: Archive header is incomplete.\n");
    zar_count = ZAR_Word(words + 8);

    // A count the file cannot hold must neither reach the allocator nor leave
    // records of garbage behind.
    if (fseek(zar_file, 0, SEEK_END) != 0)
        ZAR_Fatal("ZAR_Open: FATAL_ERROR: Archive cannot be sized.\n");
    long end = ftell(zar_file);
    if (end < 0)
        ZAR_Fatal("ZAR_Open: FATAL_ERROR: Archive cannot be sized.\n");
    zar_file_size = (uint64_t)end;
    const uint64_t dir_bytes = (uint64_t)zar_count * sizeof(zar_record_t);
    if (16 + dir_bytes > zar_file_size)
        ZAR_Fatal("ZAR_Open: FATAL_ERROR: Directory does not fit in the archive.\n");

    zar_dir = (zar_record_t *)ZAR_Alloc(dir_bytes);
    if (!zar_dir)
        ZAR_Fatal(nullptr);
    if (fseek(zar_file, 16, SEEK_SET) != 0 || fread(zar_dir, sizeof(zar_record_t), zar_count, zar_file) != zar_count)
        ZAR_Fatal("ZAR_Open: FATAL_ERROR: Directory read failed.\n");
    return 0;
}

// First record called name. A record whose name has no zero byte within its
// 40 bytes matches nothing, so the comparison never leaves the record.
static zar_record_t *ZAR_Find(const char *name)
{
    const size_t len = strlen(name);
    if (len >= sizeof zar_dir->name)
        return nullptr;
    for (uint32_t i = 0; i < zar_count; i++)
        if (memcmp(zar_dir[i].name, name, len + 1) == 0)
            return &zar_dir[i];
    return nullptr;
}

uint8_t *ZAR_Read(const char *name, uint32_t type)
{
    zar_record_t *rec = ZAR_Find(name);
    if (!rec)
        ZAR_Fatal("ZAR_Read: FATAL_ERROR: File not found.\n");
    if (rec->type != type)
        ZAR_Fatal("ZAR_Read: FATAL_ERROR: Wrong file type.\n");
    // Packed data past the end of the file is the same failure as a short
    // read, found before a bogus size reaches the allocator.
    if ((uint64_t)rec->offset + rec->packed > zar_file_size)
        ZAR_Fatal("ZAR_Read: FATAL_ERROR: Drive access error.\n");

    zar_packed = (uint8_t *)ZAR_Alloc(rec->packed);
    zar_result = (uint8_t *)ZAR_Alloc(rec->unpacked);
    if (!zar_packed || !zar_result)
        ZAR_Fatal("ZAR_Read: FATAL_ERROR: Memory allocation failed.\n");
    if (fseek(zar_file, (long)rec->offset, SEEK_SET) != 0 ||
        fread(zar_packed, 1, rec->packed, zar_file) != rec->packed)
        ZAR_Fatal("ZAR_Read: FATAL_ERROR: Drive access error.\n");

    // zlib writes the inflated length back into the directory record.
    uLongf length = rec->unpacked;
    int rc = uncompress(zar_result, &length, zar_packed, rec->packed);
    rec->unpacked = (uint32_t)length;
    if (rc != Z_OK)
        ZAR_Fatal("ZAR_Read: Fatal error: decompression failed.\n");
    zar_last_size = rec->unpacked;

    free(zar_packed);
    zar_packed = nullptr;
    uint8_t *result = zar_result;
    zar_result = nullptr;
    return result;
}

uint8_t *ZAR_ReadText(const char *name)
{
    return ZAR_Read(name, ZAR_TYPE_TEXT);
}

uint32_t ZAR_LastSize(void)
{
    return zar_last_size;
}

zar_mesh_t *ZAR_ReadASE(const char *name)
{
    zar_new_mesh = (zar_mesh_t *)malloc(sizeof(zar_mesh_t));
    if (!zar_new_mesh)
        ZAR_Fatal("ZAR_ReadASE: FATA_ERROR: Memory allocation failed.\n");
    zar_payload = ZAR_Read(name, ZAR_TYPE_MESH);
    if (!zar_payload)
        ZAR_Fatal("ZAR_ReadASE: FATA_ERROR: File read failed.\n");

    const uint32_t size = ZAR_LastSize();
    if (size < 8)
        ZAR_Fatal("ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its header.\n");
    const uint32_t count = ZAR_Word(zar_payload);
    const uint64_t bytes = (uint64_t)count * 36;
    if (bytes > size - 8)
        ZAR_Fatal("ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its triangle count.\n");
    zar_new_mesh->count = count;
    zar_new_mesh->second_word = ZAR_Word(zar_payload + 4);

    zar_new_array = ZAR_Alloc(bytes);
    if (!zar_new_array)
        ZAR_Fatal("ZAR_ReadASE: FATA_ERROR: Memory allocation failed.\n");
    memcpy(zar_new_array, zar_payload + 8, (size_t)bytes);
    zar_new_mesh->triangles = (float *)zar_new_array;
    free(zar_payload);

    zar_mesh_t *mesh = zar_new_mesh;
    zar_payload = nullptr;
    zar_new_array = nullptr;
    zar_new_mesh = nullptr;
    return mesh;
}

// a * b into *product; false when it passes 64 bits.
static bool ZAR_Mul(uint64_t a, uint64_t b, uint64_t *product)
{
    if (a != 0 && b > UINT64_MAX / a)
        return false;
    *product = a * b;
    return true;
}

zar_pic_t *ZAR_ReadPic(const char *name)
{
    zar_new_pic = (zar_pic_t *)malloc(sizeof(zar_pic_t));
    if (!zar_new_pic)
        ZAR_Fatal("FATAL_ERROR: Memory allocation failed.\n");
    zar_payload = ZAR_Read(name, ZAR_TYPE_PICTURE);
    if (!zar_payload)
        ZAR_Fatal("ZAR_ReadASE: FATA_ERROR: File read failed.\n");

    const uint32_t size = ZAR_LastSize();
    if (size < 16)
        ZAR_Fatal("ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its header.\n");
    zar_new_pic->tile_w = ZAR_Word(zar_payload + 8);
    zar_new_pic->tile_h = ZAR_Word(zar_payload + 12);
    zar_new_pic->tiles_x = ZAR_Word(zar_payload);
    zar_new_pic->tiles_y = ZAR_Word(zar_payload + 4);

    // A tile of no pixels makes the tile counts free of the payload's size:
    // billions of empty tiles would cost nothing to store and for ever to draw.
    if (zar_new_pic->tile_w == 0 || zar_new_pic->tile_h == 0)
        ZAR_Fatal("ZAR_ReadPic: FATAL_ERROR: Picture tiles have no pixels.\n");
    uint64_t bytes = 3;
    if (!ZAR_Mul(bytes, zar_new_pic->tile_w, &bytes) || !ZAR_Mul(bytes, zar_new_pic->tile_h, &bytes) ||
        !ZAR_Mul(bytes, zar_new_pic->tiles_x, &bytes) || !ZAR_Mul(bytes, zar_new_pic->tiles_y, &bytes))
        ZAR_Fatal("ZAR_ReadPic: FATAL_ERROR: Picture size out of range.\n");
    if (bytes > size - 16)
        ZAR_Fatal("ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles.\n");

    zar_new_array = ZAR_Alloc(bytes);
    if (!zar_new_array)
        ZAR_Fatal("FATAL_ERROR: Memory allocation failed.\n");
    memcpy(zar_new_array, zar_payload + 16, (size_t)bytes);
    zar_new_pic->pixels = (uint8_t *)zar_new_array;
    free(zar_payload);

    zar_pic_t *pic = zar_new_pic;
    zar_payload = nullptr;
    zar_new_array = nullptr;
    zar_new_pic = nullptr;
    return pic;
}

int ZAR_Close(void)
{
    if (!zar_file)
        return 0;
    // Only a failed read can leave buffers in flight; the player has exited by then.
    free(zar_packed);
    free(zar_result);
    free(zar_payload);
    free(zar_new_array);
    free(zar_new_mesh);
    free(zar_new_pic);
    zar_packed = zar_result = zar_payload = nullptr;
    zar_new_array = nullptr;
    zar_new_mesh = nullptr;
    zar_new_pic = nullptr;

    free(zar_dir);
    zar_dir = nullptr;
    zar_count = 0;
    fclose(zar_file);
    zar_file = nullptr;
    return 0;
}
