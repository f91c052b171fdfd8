// Test helper: archives assembled byte by byte, so any field can be made
// wrong on purpose.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// ASan and TSan reserve terabytes of address space: no address-space limit can be set under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZARTEST_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZARTEST_SANITIZER 1
#endif
#endif

namespace zartest {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string &s) { return {s.begin(), s.end()}; }

// Little-endian words (a mesh or picture header), then tail bytes of 'A'.
inline Bytes Words(std::initializer_list<uint32_t> words, size_t tail = 0)
{
    Bytes p;
    for (uint32_t v : words)
        for (int i = 0; i < 32; i += 8)
            p.push_back(uint8_t(v >> i));
    p.resize(p.size() + tail, 'A');
    return p;
}

// One directory record and the block stored for it. packed and offset of -1
// are written as the true values; anything else is written as given.
struct Rec {
    std::string name; // cut at 40 bytes
    uint32_t type, unpacked;
    Bytes block;
    int64_t packed = -1, offset = -1;
};

// A record holding payload, packed as the writer does.
inline Rec Entry(const std::string &name, uint32_t type, const Bytes &payload)
{
    uLongf len = compressBound(uLong(payload.size()));
    Rec r{name, type, uint32_t(payload.size()), Bytes(len)};
    compress2(r.block.data(), &len, payload.data(), uLong(payload.size()), 9);
    r.block.resize(len);
    return r;
}

// Header, directory, then the blocks in record order. count, when not
// negative, replaces the header's entry count.
inline Bytes Build(const std::vector<Rec> &recs, int64_t count = -1)
{
    Bytes out = Words({0x4452415au /* "ZARD" */, 1, 0, uint32_t(count >= 0 ? count : int64_t(recs.size()))});
    int64_t at = 16 + 56 * int64_t(recs.size());
    for (const Rec &r : recs) {
        char name[40] = {};
        r.name.copy(name, sizeof name);
        out.insert(out.end(), name, name + sizeof name);
        const Bytes fields = Words({r.type, r.unpacked, uint32_t(r.packed >= 0 ? r.packed : int64_t(r.block.size())),
                                    uint32_t(r.offset >= 0 ? r.offset : at)});
        out.insert(out.end(), fields.begin(), fields.end());
        at += int64_t(r.block.size());
    }
    for (const Rec &r : recs)
        out.insert(out.end(), r.block.begin(), r.block.end());
    return out;
}

// A well-formed archive (such as the shipped one) with the first entry called
// name given type and payload, every other entry as it was; written byte by
// byte, so the payload may be anything.
inline Bytes ReplaceEntry(const Bytes &archive, const std::string &name, uint32_t type, const Bytes &payload)
{
    auto word = [&](size_t at) {
        return uint32_t(archive[at]) | uint32_t(archive[at + 1]) << 8 | uint32_t(archive[at + 2]) << 16 |
               uint32_t(archive[at + 3]) << 24;
    };
    std::vector<Rec> recs;
    bool replaced = false;
    for (uint32_t i = 0, n = word(12); i < n; i++) {
        const size_t at = 16 + 56 * size_t(i);
        const char *field = reinterpret_cast<const char *>(&archive[at]);
        const std::string entry(field, std::find(field, field + 40, '\0'));
        if (entry == name && !replaced) {
            recs.push_back(Entry(name, type, payload));
            replaced = true;
            continue;
        }
        Rec r{entry, word(at + 40), word(at + 44), {}};
        r.block.assign(archive.begin() + word(at + 52), archive.begin() + word(at + 52) + word(at + 48));
        recs.push_back(r);
    }
    return Build(recs);
}

} // namespace zartest
