// What the demo needs of each archive entry it reads, taken from its scenes'
// init routines and its readers, and the line the player prints when an
// entry falls short. The one place the tools look this up: the archive tool
// refuses to pack such an entry and its check command reports it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarw {

struct Need {
    const char *name;
    uint32_t type;                  // 15 mesh, 16 picture, 32 text
    const char *init;               // the scene init that reads it
    // Pictures: the exact tile grid, when the scene walks the pixels in fixed strides.
    uint32_t tiles_x = 0, tiles_y = 0, tile_w = 0, tile_h = 0;
    uint64_t min_pixel_bytes = 0;   // pictures: at least this many bytes of pixels
    uint32_t tile_bytes = 0;        // pictures: 3 W H exactly
    uint32_t min_tiles = 0;         // pictures: TX TY at least
    uint32_t min_bytes = 0;         // texts: at least this many characters
    uint32_t min_triangles = 0;     // meshes
    const char *line = nullptr;     // what the player prints when the scene's need is not met
};

// Every entry the demo reads, in the order the player reads them at a
// normal start (the loading picture first, then the loader's order).
const std::vector<Need> &DemoNeeds();
// The need of the entry called name, or null when the demo never reads it.
const Need *FindNeed(const std::string &name);

// Empty when the player reads the payload as the entry of need without
// ending; otherwise the line it prints then, without the newline. Applies
// the readers' checks of the payload, then the scene's. A mesh without
// triangles loads but shows nothing, and is refused with a line of the
// tool's own.
std::string Refusal(const Need &need, uint32_t type, const std::vector<uint8_t> &payload);

} // namespace zarw
