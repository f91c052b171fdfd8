// zartool: builds and inspects ZAR archives, the player's data files.
//
//   zartool pack OUT.zar MANIFEST       pack the entries a manifest lists
//   zartool check ARCHIVE               would the demo load it?
//   zartool list ARCHIVE                one line per entry
//   zartool extract ARCHIVE NAME OUT    write one entry's unpacked payload
//   zartool extract --png ARCHIVE NAME OUT.png
//                                       write a picture entry as one PNG
//
// Manifest: a text file, one entry per line, fields separated by blanks;
// '#' starts a comment, blank lines are ignored. Source paths are relative to
// the manifest's folder and may not contain blanks.
//
//   NAME  picture  SOURCE.png  WxH       tiles of W x H pixels (powers of two
//                                        that divide the image); tile row 0 is
//                                        the bottom of the image
//   NAME  mesh     SOURCE.obj  [WORD]    Wavefront OBJ: 'v' and 'f' lines are
//                                        used, faces are fanned into triangles;
//                                        WORD fills the second header word (0)
//   NAME  text     SOURCE.txt            the file's bytes as they are
//   NAME  raw      SOURCE                the file's bytes as they are
//
// Entries are packed in manifest order. Names are 1 to 39 bytes and must be
// unique. Anything the player would refuse is refused here with a message
// naming the manifest line, and the archive is not written; an entry the demo
// reads (tools/zarwrite/needs.h) must also be what its scene needs, and is
// refused with the line the player would print.
#include "tools/zartool/import.h"
#include "tools/zarwrite/needs.h"
#include "tools/zarwrite/zarwrite.h"

#include <png.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage:\n"
    "  zartool pack OUT.zar MANIFEST       pack the entries a manifest lists\n"
    "  zartool check ARCHIVE               report what the demo would refuse of it\n"
    "  zartool list ARCHIVE                name, type, sizes and offset of each entry\n"
    "  zartool extract ARCHIVE NAME OUT    write one entry's unpacked payload\n"
    "  zartool extract --png ARCHIVE NAME OUT.png\n"
    "                                      write a picture entry as one PNG image\n"
    "\n"
    "Manifest: one entry per line, fields separated by blanks, '#' starts a comment.\n"
    "Source paths are relative to the manifest's folder.\n"
    "  NAME  picture  SOURCE.png  WxH      tiles of W x H pixels, powers of two that\n"
    "                                      divide the image (tile row 0 = image bottom)\n"
    "  NAME  mesh     SOURCE.obj  [WORD]   Wavefront OBJ ('v' and 'f' lines; faces are\n"
    "                                      fanned into triangles); WORD = second header word\n"
    "  NAME  text     SOURCE.txt           the file's bytes as they are\n"
    "  NAME  raw      SOURCE               the file's bytes as they are\n"
    "Names are 1 to 39 bytes and unique; entries are packed in manifest order.\n"
    "Entries the demo reads must be what its scenes need.\n";

int Fail(const std::string &why)
{
    std::fprintf(stderr, "zartool: %s\n", why.c_str());
    return 1;
}

bool ReadBytes(const std::string &path, std::vector<uint8_t> *out, std::string *err)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *err = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    out->clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok)
        *err = "cannot read " + path;
    return ok;
}

bool ReadPng(const std::string &path, zarw::Image *image, std::string *err)
{
    std::vector<uint8_t> bytes;
    if (!ReadBytes(path, &bytes, err))
        return false;
    if (!zartool::ImportPng(bytes.data(), bytes.size(), image, err)) {
        *err = path + ": " + *err;
        return false;
    }
    return true;
}

bool WritePng(const std::string &path, const zarw::Image &image, std::string *err)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
        *err = path + ": " + png.message;
        return false;
    }
    return true;
}

bool ReadObj(const std::string &path, std::vector<float> *triangles, std::string *err)
{
    std::vector<uint8_t> bytes;
    return ReadBytes(path, &bytes, err) &&
           zartool::ImportObj(std::string(bytes.begin(), bytes.end()), path, triangles, err);
}

bool ParseTileSize(const std::string &s, uint32_t *w, uint32_t *h)
{
    unsigned long a, b;
    char x, rest;
    std::istringstream in(s);
    if (!(in >> a >> x >> b) || (x != 'x' && x != 'X') || (in >> rest) || a > 0xffffffffu || b > 0xffffffffu)
        return false;
    *w = uint32_t(a);
    *h = uint32_t(b);
    return true;
}

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

int Pack(const std::string &out_path, const std::string &manifest_path)
{
    std::ifstream in(manifest_path);
    if (!in)
        return Fail("cannot open manifest " + manifest_path + ": " + std::strerror(errno));
    const std::string base = FolderOf(manifest_path);
    std::vector<zarw::Entry> entries;
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;)
            f.push_back(w);
        if (f.empty())
            continue;
        const std::string where = manifest_path + ":" + std::to_string(number) + ": ";
        if (f.size() < 3)
            return Fail(where + "expected NAME TYPE SOURCE");
        zarw::Entry e;
        e.name = f[0];
        const std::string &kind = f[1];
        const std::string source = f[2].empty() || f[2][0] == '/' ? f[2] : base + f[2];
        std::string err;
        if (kind == "picture") {
            uint32_t w = 0, h = 0;
            if (f.size() != 4 || !ParseTileSize(f[3], &w, &h))
                return Fail(where + "a picture needs its tile size as WxH, e.g. 32x32");
            zarw::Image image;
            if (!ReadPng(source, &image, &err))
                return Fail(where + err);
            e.type = 16;
            e.payload = zarw::PicturePayload(image, w, h, &err);
            if (e.payload.empty())
                return Fail(where + source + ": " + err);
        } else if (kind == "mesh") {
            uint32_t word = 0;
            if (f.size() > 4)
                return Fail(where + "a mesh takes at most one number after its source");
            if (f.size() == 4) {
                char *end = nullptr;
                errno = 0;
                const unsigned long v = std::strtoul(f[3].c_str(), &end, 0);
                if (*end != '\0' || errno || v > 0xffffffffu || f[3][0] == '-')
                    return Fail(where + "second header word \"" + f[3] + "\" is not a 32-bit number");
                word = uint32_t(v);
            }
            std::vector<float> triangles;
            if (!ReadObj(source, &triangles, &err))
                return Fail(where + err);
            e.type = 15;
            e.payload = zarw::MeshPayload(triangles, word);
        } else if (kind == "text" || kind == "raw") {
            if (f.size() != 3)
                return Fail(where + "a " + kind + " entry takes only a source file");
            if (!ReadBytes(source, &e.payload, &err))
                return Fail(where + err);
            e.type = kind == "text" ? 32 : 33;
        } else {
            return Fail(where + "unknown type \"" + kind + "\" (picture, mesh, text or raw)");
        }
        std::string why = zarw::Check(e);
        if (const zarw::Need *need = zarw::FindNeed(e.name); why.empty() && need)
            why = zarw::Refusal(*need, e.type, e.payload);
        if (!why.empty())
            return Fail(where + why);
        entries.push_back(std::move(e));
    }
    std::vector<uint8_t> bytes;
    std::string err;
    if (!zarw::Pack(entries, &bytes, &err) || !zarw::WriteFile(out_path, bytes, &err))
        return Fail(err);
    return 0;
}

bool LoadArchive(const std::string &path, std::vector<uint8_t> *file, std::vector<zarw::Record> *dir,
                 std::string *err)
{
    return ReadBytes(path, file, err) && zarw::ReadDirectory(*file, dir, err);
}

uint32_t Word(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

int List(const std::string &path)
{
    std::vector<uint8_t> file;
    std::vector<zarw::Record> dir;
    std::string err;
    if (!LoadArchive(path, &file, &dir, &err))
        return Fail(err);
    int status = 0;
    std::printf("%-39s %-7s %10s %10s %10s  %s\n", "name", "type", "unpacked", "packed", "offset", "shape");
    for (const zarw::Record &r : dir) {
        std::string shape;
        if (r.type == 15 || r.type == 16) {
            std::vector<uint8_t> payload;
            if (!zarw::Unpack(file, r, &payload, &err)) {
                shape = "unreadable: " + err;
                status = 1;
            } else {
                const std::string why = zarw::Check({r.name, r.type, payload});
                if (r.type == 15 && payload.size() >= 8)
                    shape = std::to_string(Word(payload, 0)) + (Word(payload, 0) == 1 ? " triangle" : " triangles");
                else if (r.type == 16 && payload.size() >= 16)
                    shape = std::to_string(Word(payload, 0)) + "x" + std::to_string(Word(payload, 4)) +
                            " tiles of " + std::to_string(Word(payload, 8)) + "x" + std::to_string(Word(payload, 12));
                if (!why.empty()) {
                    shape += (shape.empty() ? "" : "; ") + std::string("bad: ") + why;
                    status = 1;
                }
            }
        }
        std::printf("%-39s %-7s %10" PRIu32 " %10" PRIu32 " %10" PRIu32 "%s%s\n", r.name.c_str(),
                    zarw::TypeLabel(r.type).c_str(), r.unpacked, r.packed, r.offset, shape.empty() ? "" : "  ",
                    shape.c_str());
    }
    return status;
}

// What the player would refuse of an archive, entry by entry as it reads
// them, with the lines it would print; it stops at the first of them.
int Check(const std::string &path)
{
    std::vector<uint8_t> file;
    std::vector<zarw::Record> dir;
    std::string err;
    if (!LoadArchive(path, &file, &dir, &err))
        return Fail(err);
    int refused = 0;
    for (const zarw::Need &need : zarw::DemoNeeds()) {
        const zarw::Record *found = nullptr;
        for (const zarw::Record &r : dir)
            if (r.name == need.name) {
                found = &r;
                break;
            }
        std::string why;
        std::vector<uint8_t> payload;
        if (!found)
            why = "ZAR_Read: FATAL_ERROR: File not found.";
        else if (found->type != need.type)
            why = "ZAR_Read: FATAL_ERROR: Wrong file type.";
        else if (uint64_t(found->offset) + found->packed > file.size())
            why = "ZAR_Read: FATAL_ERROR: Drive access error.";
        else if (!zarw::Unpack(file, *found, &payload, &err))
            why = "ZAR_Read: Fatal error: decompression failed.";
        else
            why = zarw::Refusal(need, found->type, payload);
        if (!why.empty()) {
            std::fprintf(stderr, "zartool: %s: %s (%s): %s\n", path.c_str(), need.name, need.init, why.c_str());
            refused++;
        }
    }
    if (refused)
        return 1;
    std::printf("%s: the demo loads every entry it reads\n", path.c_str());
    return 0;
}

int Extract(const std::string &path, const std::string &name, const std::string &out_path, bool as_png)
{
    std::vector<uint8_t> file;
    std::vector<zarw::Record> dir;
    std::string err;
    if (!LoadArchive(path, &file, &dir, &err))
        return Fail(err);
    // The first record of a name is the one the player reads.
    const zarw::Record *found = nullptr;
    for (const zarw::Record &r : dir)
        if (r.name == name) {
            found = &r;
            break;
        }
    if (!found)
        return Fail(path + ": no entry \"" + name + "\"");
    std::vector<uint8_t> payload;
    if (!zarw::Unpack(file, *found, &payload, &err))
        return Fail(err);
    if (as_png) {
        if (found->type != 16)
            return Fail("entry \"" + name + "\" is a " + zarw::TypeLabel(found->type) + ", not a picture");
        zarw::Image image;
        if (!zarw::ImageFromPicture(payload, &image, &err) || !WritePng(out_path, image, &err))
            return Fail("entry \"" + name + "\": " + err);
        return 0;
    }
    if (!zarw::WriteFile(out_path, payload, &err))
        return Fail(err);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string cmd = args[0];
    args.erase(args.begin());
    if (cmd == "pack" && args.size() == 2)
        return Pack(args[0], args[1]);
    if (cmd == "check" && args.size() == 1)
        return Check(args[0]);
    if (cmd == "list" && args.size() == 1)
        return List(args[0]);
    if (cmd == "extract") {
        const bool png = !args.empty() && args[0] == "--png";
        if (png)
            args.erase(args.begin());
        if (args.size() == 3)
            return Extract(args[0], args[1], args[2], png);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
