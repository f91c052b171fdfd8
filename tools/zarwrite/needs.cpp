// The demo's needs of its entries: each row mirrors a test in a scene's init
// routine (scenes/*.cpp) and uses its exact message; the readers' tests are
// those of archive/zar.cpp. tests/content checks every row against the
// player itself.
#include "tools/zarwrite/needs.h"

namespace zarw {

namespace {

uint32_t Get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Need Picture(const char *name, const char *init) { return Need{name, 16, init}; }

Need Grid(const char *name, const char *init, uint32_t tx, uint32_t ty, uint32_t w, uint32_t h, const char *line)
{
    Need n{name, 16, init};
    n.tiles_x = tx, n.tiles_y = ty, n.tile_w = w, n.tile_h = h, n.line = line;
    return n;
}

Need Mesh(const char *name, const char *init)
{
    Need n{name, 15, init};
    n.min_triangles = 1;
    n.line = "the demo would draw nothing of it";
    return n;
}

std::vector<Need> MakeNeeds()
{
    Need oczka = Picture("oczka", "Drum_Init");
    oczka.min_pixel_bytes = 16 * 32 * 32 * 3;
    oczka.line = "Drum_Init: FATAL_ERROR: oczka must hold 16 tiles of 32 x 32 pixels.";
    Need creeds = Picture("creeds", "Spikes_Init");
    creeds.tile_bytes = 1536;
    creeds.min_tiles = 8;
    creeds.line = "Spikes_Init: FATAL_ERROR: creeds must hold eight tiles of 1536 bytes.";
    Need helmet{"helmet", 32, "Marquee_Init"};
    helmet.min_bytes = 142;
    helmet.line = "Marquee_Init: FATAL_ERROR: helmet must hold at least 142 characters.";
    return {
        Grid("bootpic", "Boot_Init", 20, 15, 32, 32,
             "Boot_Init: FATAL_ERROR: bootpic must be 20 x 15 tiles of 32 x 32 pixels."),
        Picture("logo", "Mascot_Init"),
        Mesh("ferretoid", "Mascot_Init"),
        creeds,
        Picture("fri1", "Drum_Init"),
        Picture("fri2", "Drum_Init"),
        oczka,
        Mesh("lodyga", "Gourd_Init"),
        Picture("brzydalek", "Column_Init"),
        Picture("fel", "Column_Init"),
        helmet,
        Grid("siekierka", "Finale_Init", 10, 15, 64, 32,
             "Finale_Init: FATAL_ERROR: siekierka must be 10 x 15 tiles of 64 x 32 pixels."),
        Grid("butterfly", "Finale_Init", 3, 1, 128, 256,
             "Finale_Init: FATAL_ERROR: butterfly must be 3 x 1 tiles of 128 x 256 pixels."),
        Need{"water", 32, "Finale_Init"}, // shorter texts end in blanks
    };
}

// a * b into *out; false when it passes 64 bits (as the picture reader tests it).
bool Mul(uint64_t a, uint64_t b, uint64_t *out)
{
    if (a != 0 && b > UINT64_MAX / a)
        return false;
    *out = a * b;
    return true;
}

std::string MeshRefusal(const Need &need, const std::vector<uint8_t> &p)
{
    if (p.size() < 8)
        return "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its header.";
    const uint32_t count = Get32(p.data());
    if (uint64_t(count) * 36 > p.size() - 8)
        return "ZAR_ReadASE: FATAL_ERROR: Mesh data shorter than its triangle count.";
    if (count < need.min_triangles)
        return std::string(need.name) + " holds no triangles: " + need.line;
    return "";
}

std::string PictureRefusal(const Need &need, const std::vector<uint8_t> &p)
{
    if (p.size() < 16)
        return "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its header.";
    const uint32_t tx = Get32(&p[0]), ty = Get32(&p[4]), w = Get32(&p[8]), h = Get32(&p[12]);
    if (w == 0 || h == 0)
        return "ZAR_ReadPic: FATAL_ERROR: Picture tiles have no pixels.";
    uint64_t bytes = 3;
    if (!Mul(bytes, w, &bytes) || !Mul(bytes, h, &bytes) || !Mul(bytes, tx, &bytes) || !Mul(bytes, ty, &bytes))
        return "ZAR_ReadPic: FATAL_ERROR: Picture size out of range.";
    if (bytes > p.size() - 16)
        return "ZAR_ReadPic: FATAL_ERROR: Picture data shorter than its tiles.";
    const bool grid_wrong = need.tiles_x && (tx != need.tiles_x || ty != need.tiles_y || w != need.tile_w ||
                                             h != need.tile_h);
    const bool tiles_wrong = need.tile_bytes && (3ull * w * h != need.tile_bytes ||
                                                 uint64_t(tx) * ty < need.min_tiles);
    if (grid_wrong || tiles_wrong || bytes < need.min_pixel_bytes)
        return need.line;
    return "";
}

} // namespace

const std::vector<Need> &DemoNeeds()
{
    static const std::vector<Need> needs = MakeNeeds();
    return needs;
}

const Need *FindNeed(const std::string &name)
{
    for (const Need &n : DemoNeeds())
        if (name == n.name)
            return &n;
    return nullptr;
}

std::string Refusal(const Need &need, uint32_t type, const std::vector<uint8_t> &payload)
{
    if (type != need.type)
        return "ZAR_Read: FATAL_ERROR: Wrong file type.";
    if (type == 15)
        return MeshRefusal(need, payload);
    if (type == 16)
        return PictureRefusal(need, payload);
    if (payload.size() < need.min_bytes)
        return need.line;
    return "";
}

} // namespace zarw
