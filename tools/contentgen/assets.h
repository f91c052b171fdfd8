// The archive's entries: which picture, mesh or text goes under which name,
// in which tile layout, with the checks the scenes rely on.
#pragma once

#include <string>
#include <vector>

#include "tools/zarwrite/zarwrite.h"

namespace content {

// Tile layout of each picture entry, as the scenes read it.
struct PictureShape {
    const char *name;
    uint32_t width, height, tile_w, tile_h;
};
extern const PictureShape kPictureShapes[10];

// Reads a text asset: '#' lines are comments, the other lines are joined
// with one space. False and *err set when the file is missing or holds a
// character outside codes 32 to 95.
bool ReadTextAsset(const std::string &path, std::string *text, std::string *err);
// The end text framed for the closing scroller: 11 spaces, the words (which
// must be 91 characters), 8 spaces.
bool FrameEndText(const std::string &words, std::string *text, std::string *err);

// Builds every entry of the archive, in the order the player asks for them.
bool BuildEntries(const std::string &assets_dir, std::vector<zarw::Entry> *entries, std::string *err);

} // namespace content
