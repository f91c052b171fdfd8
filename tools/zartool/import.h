// The archive tool's importers: PNG pictures and Wavefront OBJ meshes, read
// from bytes in memory so that the fuzz targets can drive them directly.
#pragma once

#include "tools/zarwrite/zarwrite.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zartool {

// Largest width and height of a picture taken in. No picture of the demo is
// larger than its 640 x 480 screen; 16384, the largest texture size of the
// GL drivers in use, leaves room for any picture it could show and keeps a
// header that lies from costing gigabytes before its data is found missing.
constexpr uint32_t kMaxImageSide = 16384;

// The pixels of a PNG file as stored, whatever its colour type, bit depth and
// interlacing: no gamma or colour-space conversion, alpha dropped without
// blending, 16-bit channels rounded to the nearest 8-bit value. False with
// *err set for a damaged file or one larger than kMaxImageSide on a side.
bool ImportPng(const uint8_t *data, size_t size, zarw::Image *image, std::string *err);

// Triangles of an OBJ text: vertices from 'v' lines, faces ('f') with
// 1-based or negative (relative) indices, of which only the position part
// counts; faces are fanned. Other statements of the format are skipped; a
// line that is none of them, or a file without a face, is refused. *err
// starts with where (the file's name) and the line, counted from 1.
bool ImportObj(const std::string &text, const std::string &where, std::vector<float> *triangles, std::string *err);

} // namespace zartool
