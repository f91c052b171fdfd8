// MP3 encoding of the soundtrack with libmp3lame: 44.1 kHz joint stereo at a
// constant 192 kbit/s, with an Info tag that carries the encoder delay and
// padding so decoders give back exactly the samples that went in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/contentgen/synth.h"

namespace content {

// quality is lame's algorithm choice, 0 (best, slowest) to 9.
bool EncodeMp3(const Audio &audio, int quality, std::vector<uint8_t> *out, std::string *err);

} // namespace content
