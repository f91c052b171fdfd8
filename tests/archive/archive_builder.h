// Test helpers: archives assembled byte by byte (so every field can be made
// wrong on purpose) and a runner that lets a fatal path end a child process.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace zartest {

inline void Put32(std::vector<uint8_t> *out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out->push_back(uint8_t(v >> (8 * i)));
}

inline std::vector<uint8_t> Zip(const std::vector<uint8_t> &data)
{
    uLongf len = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(len);
    compress2(out.data(), &len, data.data(), uLong(data.size()), 9);
    out.resize(len);
    return out;
}

inline std::vector<uint8_t> Bytes(const std::string &s) { return {s.begin(), s.end()}; }

// One directory record and its packed block. By default the sizes and offset
// are the true ones; set the overrides to lie.
struct Rec {
    std::string name;              // copied into the 40-byte field, cut at 40
    uint32_t type = 32;
    std::vector<uint8_t> packed;
    uint32_t unpacked = 0;
    bool set_packed = false, set_offset = false;
    uint32_t packed_size = 0, offset = 0;
};

// A record holding payload, packed as the writer does.
inline Rec Entry(const std::string &name, uint32_t type, const std::vector<uint8_t> &payload)
{
    Rec r;
    r.name = name;
    r.type = type;
    r.packed = Zip(payload);
    r.unpacked = uint32_t(payload.size());
    return r;
}

// Header, directory, then the packed blocks in record order. count_override
// replaces the header's entry count when not negative.
inline std::vector<uint8_t> Build(const std::vector<Rec> &recs, int64_t count_override = -1)
{
    std::vector<uint8_t> out = {'Z', 'A', 'R', 'D'};
    Put32(&out, 1);
    Put32(&out, 0);
    Put32(&out, count_override >= 0 ? uint32_t(count_override) : uint32_t(recs.size()));
    uint32_t at = uint32_t(16 + 56 * recs.size());
    for (const Rec &r : recs) {
        uint8_t name[40] = {};
        std::memcpy(name, r.name.data(), r.name.size() < 40 ? r.name.size() : 40);
        out.insert(out.end(), name, name + 40);
        Put32(&out, r.type);
        Put32(&out, r.unpacked);
        Put32(&out, r.set_packed ? r.packed_size : uint32_t(r.packed.size()));
        Put32(&out, r.set_offset ? r.offset : at);
        at += uint32_t(r.packed.size());
    }
    for (const Rec &r : recs)
        out.insert(out.end(), r.packed.begin(), r.packed.end());
    return out;
}

inline std::string WriteTemp(const std::vector<uint8_t> &bytes, const std::string &tag)
{
    static int serial;
    const std::string path = "/tmp/zartest_" + std::to_string(getpid()) + "_" + tag + "_" +
                             std::to_string(serial++) + ".zar";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

struct Outcome {
    bool exited = false;
    int status = -1;
    std::string out, err;
};

inline std::string Slurp(FILE *f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

// Runs body in a forked child with its standard output and error captured.
// A body that returns exits with status 0 after flushing.
inline Outcome RunChild(const std::function<void()> &body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    FILE *out = std::tmpfile(), *err = std::tmpfile();
    Outcome result;
    if (!out || !err)
        return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.out = Slurp(out);
    result.err = Slurp(err);
    return result;
}

} // namespace zartest
