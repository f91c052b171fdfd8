// PNG and OBJ importers of the archive tool.
#include "tools/zartool/import.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

namespace zartool {

namespace {

// Everything the PNG decoder touches lives here, outside the function that
// calls setjmp: libpng reports errors by longjmp, which must not cross
// anything with a destructor.
struct PngRead {
    const uint8_t *data;
    size_t size, at;
    png_structp png;
    png_infop info;
    uint32_t width, height;
    uint8_t *rgb;               // malloc'ed, 3 * width * height bytes
    char message[256];
};

void PngFromMemory(png_structp png, png_bytep out, size_t bytes)
{
    PngRead *r = static_cast<PngRead *>(png_get_io_ptr(png));
    if (bytes > r->size - r->at)
        png_error(png, "the file ends early");
    std::memcpy(out, r->data + r->at, bytes);
    r->at += bytes;
}

void PngError(png_structp png, png_const_charp message)
{
    PngRead *r = static_cast<PngRead *>(png_get_error_ptr(png));
    if (!r->message[0])
        std::snprintf(r->message, sizeof r->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Ancillary chunks that would change the colours (gamma, colour spaces,
// transparency) or only cost memory (texts, profiles); libpng skips them
// unread, however long they claim to be.
const png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0"
                            "sTER\0tEXt\0tIME\0tRNS\0zTXt";

bool DecodePng(PngRead *r)
{
    if (setjmp(png_jmpbuf(r->png)))
        return false;
    png_set_read_fn(r->png, r, PngFromMemory);
    png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
    // The sides are judged below, with a message of their own.
    png_set_user_limits(r->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(r->png, 1 << 20);
    png_read_info(r->png, r->info);

    r->width = png_get_image_width(r->png, r->info);
    r->height = png_get_image_height(r->png, r->info);
    if (r->width > kMaxImageSide || r->height > kMaxImageSide) {
        std::snprintf(r->message, sizeof r->message, "%u x %u pixels: more than %u on a side", r->width,
                      r->height, kMaxImageSide);
        return false;
    }
    const int colour = png_get_color_type(r->png, r->info);
    png_set_expand(r->png);     // palette to RGB, gray of 1, 2 or 4 bits to 8
    png_set_scale_16(r->png);
    if (!(colour & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(r->png);
    png_set_strip_alpha(r->png);
    const int passes = png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    const size_t stride = size_t(r->width) * 3;
    if (png_get_rowbytes(r->png, r->info) != stride)
        png_error(r->png, "unexpected row layout");

    // Not cleared: pages are only touched as rows arrive, so a file that
    // claims more rows than it holds fails before they cost anything.
    r->rgb = static_cast<uint8_t *>(std::malloc(stride * r->height));
    if (!r->rgb)
        png_error(r->png, "out of memory");
    for (int pass = 0; pass < passes; pass++)
        for (uint32_t y = 0; y < r->height; y++)
            png_read_row(r->png, r->rgb + stride * y, nullptr);
    png_read_end(r->png, nullptr);
    return true;
}

// Statements of the OBJ format that carry nothing a mesh entry keeps.
const std::set<std::string> kObjSkipped = {
    "vt", "vn", "vp", "l", "p", "g", "o", "s", "mg", "mtllib", "usemtl", "maplib", "usemap",
    "cstype", "deg", "bmat", "step", "curv", "curv2", "surf", "parm", "trim", "hole", "scrv", "sp",
    "end", "con", "bevel", "c_interp", "d_interp", "lod", "shadow_obj", "trace_obj", "ctech", "stech",
    "call", "csh"};

// text as it can be shown in a message: other bytes as \xHH, at most 20 of them.
std::string Printable(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size() && i < 20; i++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += c >= 0x20 && c < 0x7f ? std::string(1, char(c)) : std::string(hex);
    }
    return out;
}

} // namespace

bool ImportPng(const uint8_t *data, size_t size, zarw::Image *image, std::string *err)
{
    PngRead r{};
    r.data = data;
    r.size = size;
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        *err = "not a PNG file";
        return false;
    }
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, PngError, PngWarning);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    bool ok = r.info && DecodePng(&r);
    if (ok) {
        image->width = r.width;
        image->height = r.height;
        image->rgb.assign(r.rgb, r.rgb + size_t(r.width) * 3 * r.height);
    } else {
        *err = r.message[0] ? r.message : "cannot be decoded";
    }
    std::free(r.rgb);
    png_destroy_read_struct(r.png ? &r.png : nullptr, r.info ? &r.info : nullptr, nullptr);
    return ok;
}

bool ImportObj(const std::string &text, const std::string &where, std::vector<float> *triangles, std::string *err)
{
    std::istringstream in(text);
    std::vector<float> verts;
    std::string line;
    triangles->clear();
    for (int number = 1; std::getline(in, line); number++) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back(); // written on Windows
        std::istringstream fields(line);
        std::string tag;
        fields >> tag;
        const std::string at = where + ":" + std::to_string(number) + ": ";
        if (tag.empty() || tag[0] == '#' || kObjSkipped.count(tag))
            continue;
        if (tag == "v") {
            float x, y, z;
            if (!(fields >> x >> y >> z) || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
                *err = at + "a vertex needs three numbers";
                return false;
            }
            verts.insert(verts.end(), {x, y, z});
        } else if (tag == "f") {
            std::vector<size_t> corners;
            std::string corner;
            while (fields >> corner) {
                char *end = nullptr;
                errno = 0;
                const long index = std::strtol(corner.c_str(), &end, 10);
                const long count = long(verts.size() / 3);
                const long resolved = index < 0 ? count + index : index - 1;
                if (end == corner.c_str() || (*end != '\0' && *end != '/') || errno || index == 0 ||
                    resolved < 0 || resolved >= count) {
                    *err = at + "face corner \"" + corner + "\" names no vertex defined so far";
                    return false;
                }
                corners.push_back(size_t(resolved));
            }
            if (corners.size() < 3) {
                *err = at + "a face needs at least three corners";
                return false;
            }
            for (size_t k = 1; k + 1 < corners.size(); k++)
                for (size_t v : {corners[0], corners[k], corners[k + 1]})
                    triangles->insert(triangles->end(), &verts[v * 3], &verts[v * 3] + 3);
        } else {
            // Random bytes would otherwise pass as a mesh of no triangles.
            *err = at + "\"" + Printable(tag) + "\" is no statement of an OBJ file";
            return false;
        }
    }
    if (triangles->empty()) {
        *err = where + " holds no face";
        return false;
    }
    return true;
}

} // namespace zartool
