// Writing (and, for the tools, reading back) ZAR archives.
//
// Layout written: a 16-byte header ("ZARD", header word 1 = format version 1,
// header word 2 = 0, entry count), then one 56-byte directory record per
// entry (name zero-padded to 40 bytes, type, unpacked size, packed size,
// absolute data offset), then the packed blocks back to back in directory
// order. All integers are unsigned 32-bit little-endian.
#include "tools/zarwrite/zarwrite.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace zarw {

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kRecordSize = 56;
constexpr size_t kNameField = 40;
constexpr uint64_t kU32Max = 0xffffffffu;

void Put32(std::vector<uint8_t> *out, uint32_t v)
{
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
    out->push_back(uint8_t(v >> 16));
    out->push_back(uint8_t(v >> 24));
}

void Set32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// a * b, or false when it passes limit (all operands are at most 2^32, so the
// product of two fits in 64 bits before the comparison).
bool MulWithin(uint64_t a, uint64_t b, uint64_t limit, uint64_t *out)
{
    if (a != 0 && b > limit / a)
        return false;
    *out = a * b;
    return *out <= limit;
}

// Byte count of a picture's pixels, 3 W H TX TY, when it stays below 4 GiB
// less the header (an entry's unpacked size is a 32-bit field).
bool PixelBytes(uint32_t w, uint32_t h, uint32_t tx, uint32_t ty, uint64_t *out)
{
    const uint64_t limit = kU32Max - kHeaderSize;
    uint64_t n = 3;
    return MulWithin(n, w, limit, &n) && MulWithin(n, h, limit, &n) && MulWithin(n, tx, limit, &n) &&
           MulWithin(n, ty, limit, &n) && (*out = n, true);
}

bool Fail(std::string *err, const std::string &why)
{
    if (err)
        *err = why;
    return false;
}

std::string TypeName(uint32_t type)
{
    switch (type) {
    case 15: return "mesh";
    case 16: return "picture";
    case 32: return "text";
    case 33: return "raw";
    default: return "unknown";
    }
}

} // namespace

std::vector<uint8_t> PicturePayload(const Image &image, uint32_t tile_w, uint32_t tile_h, std::string *err)
{
    if (image.width == 0 || image.height == 0) {
        Fail(err, "image is empty");
        return {};
    }
    if ((uint64_t)image.width * image.height * 3 != image.rgb.size()) {
        Fail(err, "image holds " + std::to_string(image.rgb.size()) + " bytes, not 3 x " +
                      std::to_string(image.width) + " x " + std::to_string(image.height));
        return {};
    }
    if (!PowerOfTwo(tile_w) || !PowerOfTwo(tile_h)) {
        Fail(err, "tile size " + std::to_string(tile_w) + " x " + std::to_string(tile_h) +
                      " is not a power of two in both directions");
        return {};
    }
    if (image.width % tile_w != 0 || image.height % tile_h != 0) {
        Fail(err, "tile size " + std::to_string(tile_w) + " x " + std::to_string(tile_h) +
                      " does not divide the image size " + std::to_string(image.width) + " x " +
                      std::to_string(image.height));
        return {};
    }
    const uint32_t tx = image.width / tile_w, ty = image.height / tile_h;
    uint64_t pixels;
    if (!PixelBytes(tile_w, tile_h, tx, ty, &pixels)) {
        Fail(err, "picture is too large for an archive entry (4 GiB)");
        return {};
    }
    std::vector<uint8_t> out;
    out.reserve(kHeaderSize + pixels);
    Put32(&out, tx);
    Put32(&out, ty);
    Put32(&out, tile_w);
    Put32(&out, tile_h);
    const size_t stride = size_t(image.width) * 3, run = size_t(tile_w) * 3;
    // Tile row 0 is drawn lowest, so it comes from the bottom band of the image;
    // inside a tile the first stored row is drawn at the top edge.
    for (uint32_t r = 0; r < ty; r++) {
        const size_t band_top = size_t(ty - 1 - r) * tile_h;
        for (uint32_t c = 0; c < tx; c++)
            for (uint32_t y = 0; y < tile_h; y++) {
                const uint8_t *src = image.rgb.data() + (band_top + y) * stride + size_t(c) * run;
                out.insert(out.end(), src, src + run);
            }
    }
    return out;
}

bool ImageFromPicture(const std::vector<uint8_t> &payload, Image *image, std::string *err)
{
    if (payload.size() < kHeaderSize)
        return Fail(err, "picture payload is shorter than its 16-byte header");
    const uint32_t tx = Get32(&payload[0]), ty = Get32(&payload[4]);
    const uint32_t tile_w = Get32(&payload[8]), tile_h = Get32(&payload[12]);
    uint64_t pixels;
    if (!PixelBytes(tile_w, tile_h, tx, ty, &pixels) || payload.size() - kHeaderSize != pixels)
        return Fail(err, "picture payload of " + std::to_string(payload.size()) +
                             " bytes does not match its header (" + std::to_string(tx) + " x " +
                             std::to_string(ty) + " tiles of " + std::to_string(tile_w) + " x " +
                             std::to_string(tile_h) + ")");
    if (pixels == 0)
        return Fail(err, "picture has no pixels");
    // pixels <= 4 GiB and every factor is non-zero, so the products below fit 32 bits.
    const uint32_t width = tx * tile_w, height = ty * tile_h;
    image->width = width;
    image->height = height;
    image->rgb.assign(pixels, 0);
    const size_t stride = size_t(width) * 3, run = size_t(tile_w) * 3;
    const uint8_t *src = payload.data() + kHeaderSize;
    for (uint32_t r = 0; r < ty; r++) {
        const size_t band_top = size_t(ty - 1 - r) * tile_h;
        for (uint32_t c = 0; c < tx; c++)
            for (uint32_t y = 0; y < tile_h; y++, src += run)
                std::memcpy(image->rgb.data() + (band_top + y) * stride + size_t(c) * run, src, run);
    }
    return true;
}

std::vector<uint8_t> MeshPayload(const std::vector<float> &triangles, uint32_t second_word)
{
    // A float count that is not a multiple of nine is written in full with the
    // whole-triangle count, so Check() rejects the entry instead of it losing
    // data silently here.
    std::vector<uint8_t> out;
    out.reserve(8 + triangles.size() * 4);
    Put32(&out, uint32_t(triangles.size() / 9));
    Put32(&out, second_word);
    for (float f : triangles) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Put32(&out, bits);
    }
    return out;
}

std::string Check(const Entry &entry)
{
    if (entry.name.empty())
        return "entry name is empty";
    if (entry.name.size() > kNameField - 1)
        return "entry name \"" + entry.name + "\" is " + std::to_string(entry.name.size()) +
               " bytes long; at most 39 fit";
    if (entry.name.find('\0') != std::string::npos)
        return "entry name holds a zero byte";
    const std::string who = "entry \"" + entry.name + "\": ";
    if (entry.type != 15 && entry.type != 16 && entry.type != 32 && entry.type != 33)
        return who + "type " + std::to_string(entry.type) + " is none of 15, 16, 32, 33";
    const uint64_t size = entry.payload.size();
    if (size > kU32Max)
        return who + "payload is larger than 4 GiB";
    const uint8_t *p = entry.payload.data();
    if (entry.type == 15) {
        if (size < 8)
            return who + "mesh payload is shorter than its 8-byte header";
        const uint64_t want = 8 + uint64_t(Get32(p)) * 36;
        if (size != want)
            return who + "mesh payload of " + std::to_string(size) + " bytes does not match its " +
                   std::to_string(Get32(p)) + " triangles (" + std::to_string(want) + " bytes)";
    } else if (entry.type == 16) {
        if (size < kHeaderSize)
            return who + "picture payload is shorter than its 16-byte header";
        const uint32_t tx = Get32(p), ty = Get32(p + 4), w = Get32(p + 8), h = Get32(p + 12);
        if (!PowerOfTwo(w) || !PowerOfTwo(h))
            return who + "tile size " + std::to_string(w) + " x " + std::to_string(h) +
                   " is not a power of two in both directions";
        uint64_t pixels;
        if (!PixelBytes(w, h, tx, ty, &pixels) || size - kHeaderSize != pixels)
            return who + "picture payload of " + std::to_string(size) + " bytes does not match its " +
                   std::to_string(tx) + " x " + std::to_string(ty) + " tiles of " + std::to_string(w) +
                   " x " + std::to_string(h);
    }
    return "";
}

bool Pack(const std::vector<Entry> &entries, std::vector<uint8_t> *out, std::string *err)
{
    std::set<std::string> seen;
    for (const Entry &e : entries) {
        const std::string why = Check(e);
        if (!why.empty())
            return Fail(err, why);
        // The reader stops at the first record of a name: a second one could never be read.
        if (!seen.insert(e.name).second)
            return Fail(err, "entry \"" + e.name + "\" appears twice; only the first could be read");
    }
    if (entries.size() > (kU32Max - kHeaderSize) / kRecordSize)
        return Fail(err, "too many entries");

    const uint64_t dir_end = kHeaderSize + kRecordSize * entries.size();
    std::vector<uint8_t> bytes(dir_end, 0);
    std::memcpy(bytes.data(), "ZARD", 4);
    Set32(&bytes[4], 1); // format version; the player ignores it
    Set32(&bytes[8], 0);
    Set32(&bytes[12], uint32_t(entries.size()));

    for (size_t i = 0; i < entries.size(); i++) {
        const Entry &e = entries[i];
        uLongf packed_len = compressBound(uLong(e.payload.size()));
        std::vector<uint8_t> packed(packed_len);
        int rc = compress2(packed.data(), &packed_len, e.payload.data(), uLong(e.payload.size()),
                           Z_BEST_COMPRESSION);
        if (rc != Z_OK)
            return Fail(err, "entry \"" + e.name + "\": zlib compress2 failed (" + std::to_string(rc) + ")");
        const uint64_t offset = bytes.size();
        if (offset + packed_len > kU32Max)
            return Fail(err, "archive would pass 4 GiB; offsets are 32-bit");
        uint8_t *rec = &bytes[kHeaderSize + kRecordSize * i];
        std::memcpy(rec, e.name.data(), e.name.size()); // rest of the 40 bytes stays zero
        Set32(rec + 40, e.type);
        Set32(rec + 44, uint32_t(e.payload.size()));
        Set32(rec + 48, uint32_t(packed_len));
        Set32(rec + 52, uint32_t(offset));
        bytes.insert(bytes.end(), packed.begin(), packed.begin() + packed_len);
    }
    *out = std::move(bytes);
    return true;
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes, std::string *err)
{
    // Write beside the target and rename, so a failed write never leaves a
    // truncated archive where the player would look for one.
    const std::string tmp = path + ".partial";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return Fail(err, "cannot create " + tmp + ": " + std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::remove(tmp.c_str());
        return Fail(err, "cannot write " + tmp);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(tmp.c_str());
        return Fail(err, "cannot rename " + tmp + " to " + path + ": " + why);
    }
    return true;
}

bool ReadDirectory(const std::vector<uint8_t> &file, std::vector<Record> *records, std::string *err)
{
    if (file.size() < kHeaderSize || std::memcmp(file.data(), "ZARD", 4) != 0)
        return Fail(err, "not a ZAR archive (no \"ZARD\" header)");
    const uint64_t count = Get32(&file[12]);
    if (kHeaderSize + count * kRecordSize > file.size())
        return Fail(err, "directory of " + std::to_string(count) + " entries does not fit in the file");
    records->clear();
    records->reserve(count);
    for (uint64_t i = 0; i < count; i++) {
        const uint8_t *rec = &file[kHeaderSize + kRecordSize * i];
        const void *nul = std::memchr(rec, 0, kNameField);
        if (!nul)
            return Fail(err, "directory record " + std::to_string(i) + " has no zero byte in its name");
        Record r;
        r.name.assign(reinterpret_cast<const char *>(rec), static_cast<const uint8_t *>(nul) - rec);
        r.type = Get32(rec + 40);
        r.unpacked = Get32(rec + 44);
        r.packed = Get32(rec + 48);
        r.offset = Get32(rec + 52);
        records->push_back(std::move(r));
    }
    return true;
}

bool Unpack(const std::vector<uint8_t> &file, const Record &record, std::vector<uint8_t> *payload,
            std::string *err)
{
    const std::string who = "entry \"" + record.name + "\": ";
    if (uint64_t(record.offset) + record.packed > file.size())
        return Fail(err, who + "packed data run past the end of the file");
    // Deflate expands at most about 1032 to 1, so a stored size beyond that
    // bound (a hostile or broken archive) needs no bigger buffer than the
    // bound: the stream ends inside it or is not valid anyway.
    const uint64_t bound = uint64_t(record.packed) * 1032 + 64;
    uLongf len = uLongf(record.unpacked < bound ? record.unpacked : bound);
    // One spare byte lets a zero-length entry have a non-null destination.
    std::vector<uint8_t> dest(size_t(len) + 1);
    int rc = uncompress(dest.data(), &len, file.data() + record.offset, record.packed);
    if (rc != Z_OK)
        return Fail(err, who + "decompression failed (zlib " + std::to_string(rc) + ")");
    payload->assign(dest.begin(), dest.begin() + len);
    return true;
}

std::string TypeLabel(uint32_t type) { return TypeName(type); }

} // namespace zarw
