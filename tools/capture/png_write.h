// PNG files of captured frames.
#pragma once

#include <cstdint>
#include <string>

namespace capture {

// Writes an 8-bit RGB picture (top row first) as a PNG. The file appears
// whole or not at all; false with a message on failure.
bool WritePNG(const std::string &path, const uint8_t *rgb, int width, int height, std::string *err);

} // namespace capture
