// Writing ZAR archives: the payload builders and the packer shared by the
// archive tool and the content generator. Everything here refuses what the
// player's readers would reject, so a packed archive always loads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarw {

struct Entry {
    std::string name;               // at most 39 bytes, no zero byte
    uint32_t type;                  // 15 mesh, 16 picture, 32 text, 33 raw
    std::vector<uint8_t> payload;   // unpacked bytes
};

// An RGB image, top row first, 3 bytes a pixel.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Picture payload from a whole image cut into tiles of tile_w x tile_h
// (powers of two that divide the image). Tile row 0 is the bottom of the
// image; within a tile the first stored row is the tile's top row.
// Empty result and *err set when the sizes do not fit.
std::vector<uint8_t> PicturePayload(const Image &image, uint32_t tile_w, uint32_t tile_h, std::string *err);
// The whole image back from a picture payload (inverse of PicturePayload).
bool ImageFromPicture(const std::vector<uint8_t> &payload, Image *image, std::string *err);

// Mesh payload from triangles, nine floats each (x, y, z of three vertices).
// A float count that is not a multiple of nine gives a payload Check() refuses.
std::vector<uint8_t> MeshPayload(const std::vector<float> &triangles, uint32_t second_word = 0);

// Empty when the entry would load in the player; otherwise why not.
std::string Check(const Entry &entry);

// The archive's bytes: 16-byte header "ZARD", the 56-byte directory records,
// then each payload packed with zlib's compress2 at the best level, in order.
bool Pack(const std::vector<Entry> &entries, std::vector<uint8_t> *out, std::string *err);
// Writes Pack's bytes to path (whole file or nothing).
bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes, std::string *err);

// Reading an archive back, for the archive tool and the tests. Unlike the
// player's reader these report errors instead of ending the program.
struct Record {
    std::string name;
    uint32_t type = 0, unpacked = 0, packed = 0, offset = 0;
};
// The directory of a whole archive file held in memory.
bool ReadDirectory(const std::vector<uint8_t> &file, std::vector<Record> *records, std::string *err);
// One entry's payload, inflated as the player does (at most its unpacked size).
bool Unpack(const std::vector<uint8_t> &file, const Record &record, std::vector<uint8_t> *payload,
            std::string *err);
// "mesh", "picture", "text", "raw" or "unknown".
std::string TypeLabel(uint32_t type);

} // namespace zarw
