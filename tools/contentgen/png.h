// PNG output for the preview (libpng).
#pragma once

#include <string>

#include "tools/zarwrite/zarwrite.h"

namespace content {

// Writes an 8-bit RGB PNG; false and *err set on failure.
bool WritePng(const std::string &path, const zarw::Image &image, std::string *err);

} // namespace content
