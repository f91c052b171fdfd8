// Archive and models: the packed ZAR archive reader and the typed readers
// that turn its entries into mesh and picture records.
//
// One archive is open at a time, in module-level state; the reader is used by
// one thread at a time. Every failure ends the program with status 1, so no
// routine here ever returns an empty result.
#pragma once

#include <cstdint>

enum {
    ZAR_TYPE_MESH = 15,
    ZAR_TYPE_PICTURE = 16,
    ZAR_TYPE_TEXT = 32,
    ZAR_TYPE_RAW = 33
};

// A triangle list: nine floats per triangle (x, y, z of three vertices).
struct zar_mesh_t {
    float *triangles;
    uint32_t second_word;       // kept from the payload, never interpreted
    uint32_t count;             // triangles
};

// A tiled RGB picture; tile r*tiles_x + c holds h rows of w pixels, top row first.
struct zar_pic_t {
    uint32_t tile_w;
    uint32_t tile_h;
    uint32_t tiles_x;
    uint32_t tiles_y;
    uint8_t *pixels;            // 3 * w * h * tiles_x * tiles_y bytes
};

// Opens the archive and loads its directory; exits 1 silently on failure,
// and when the path is no regular file (a FIFO would block the open).
int ZAR_Open(const char *path);
// Unpacks the first entry called name; must have the given type. Caller frees.
uint8_t *ZAR_Read(const char *name, uint32_t type);
// ZAR_Read of a text entry (type 32). Caller frees.
uint8_t *ZAR_ReadText(const char *name);
// Reads a mesh entry into a new record that the caller keeps.
zar_mesh_t *ZAR_ReadASE(const char *name);
// Reads a picture entry into a new record that the caller keeps.
zar_pic_t *ZAR_ReadPic(const char *name);
// Frees the directory and closes the file; does nothing when none is open.
int ZAR_Close(void);

// Unpacked size of the entry last returned by ZAR_Read (its directory
// record after zlib wrote the real length back). For the readers' own
// payload checks and for tests.
uint32_t ZAR_LastSize(void);
