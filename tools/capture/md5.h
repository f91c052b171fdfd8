// MD5 of frame pixels, for -hashes. MD5 because ffmpeg's framemd5 output
// computes the same digest of each decoded rgb24 frame, so a video master
// can be checked against a hash file with ffmpeg alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace capture {

class Md5 {
public:
    Md5();
    void Add(const uint8_t *data, size_t size);
    // The digest as 32 lowercase hex digits; the object is spent afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t *p);
    uint32_t state_[4];
    uint64_t bytes_ = 0;
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

// The hex MD5 of size bytes.
std::string Md5Hex(const uint8_t *data, size_t size);

} // namespace capture
