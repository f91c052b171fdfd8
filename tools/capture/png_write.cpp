// PNG writing through libpng, into a temporary file renamed into place.
#include "tools/capture/png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace capture {

namespace {

// libpng reports errors by longjmp; everything that needs cleaning up lives
// outside the function that calls setjmp.
bool Encode(FILE *file, const uint8_t *rgb, int width, int height, std::string *err)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        *err = "libpng cannot start";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows((size_t)height);
    for (int y = 0; y < height; y++)
        rows[(size_t)y] = const_cast<png_bytep>(rgb + (size_t)y * width * 3);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *err = "libpng failed to encode the picture";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WritePNG(const std::string &path, const uint8_t *rgb, int width, int height, std::string *err)
{
    std::string part = path + ".part";
    FILE *file = fopen(part.c_str(), "wb");
    if (!file) {
        *err = "cannot write " + part + ": " + strerror(errno);
        return false;
    }
    bool ok = Encode(file, rgb, width, height, err);
    if (fclose(file) != 0 && ok) {
        *err = "cannot write " + part + ": " + strerror(errno);
        ok = false;
    }
    if (ok && rename(part.c_str(), path.c_str()) != 0) {
        *err = "cannot rename " + part + " to " + path + ": " + strerror(errno);
        ok = false;
    }
    if (!ok)
        remove(part.c_str());
    return ok;
}

} // namespace capture
