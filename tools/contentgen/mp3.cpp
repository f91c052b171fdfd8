#include "tools/contentgen/mp3.h"

#include <lame/lame.h>

#include <algorithm>

namespace content {

bool EncodeMp3(const Audio &audio, int quality, std::vector<uint8_t> *out, std::string *err)
{
    lame_global_flags *gf = lame_init();
    if (!gf) {
        *err = "lame_init failed";
        return false;
    }
    lame_set_in_samplerate(gf, audio.rate);
    lame_set_out_samplerate(gf, audio.rate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, 192);
    lame_set_quality(gf, quality);
    lame_set_bWriteVbrTag(gf, 1);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        *err = "lame_init_params refused the settings";
        return false;
    }
    out->clear();
    const size_t chunk = 8192;
    std::vector<float> interleaved(chunk * 2);
    std::vector<unsigned char> buf(size_t(1.25 * chunk + 7200));
    size_t frames = audio.left.size();
    for (size_t pos = 0; pos < frames; pos += chunk) {
        size_t n = std::min(chunk, frames - pos);
        for (size_t i = 0; i < n; ++i) {
            interleaved[2 * i] = audio.left[pos + i];
            interleaved[2 * i + 1] = audio.right[pos + i];
        }
        int got = lame_encode_buffer_interleaved_ieee_float(gf, interleaved.data(), int(n), buf.data(), int(buf.size()));
        if (got < 0) {
            lame_close(gf);
            *err = "lame could not encode (" + std::to_string(got) + ")";
            return false;
        }
        out->insert(out->end(), buf.begin(), buf.begin() + got);
    }
    int got = lame_encode_flush(gf, buf.data(), int(buf.size()));
    if (got < 0) {
        lame_close(gf);
        *err = "lame could not flush";
        return false;
    }
    out->insert(out->end(), buf.begin(), buf.begin() + got);
    // The first frame was left blank for the Info tag; fill it in now that
    // the length is known.
    unsigned char tag[4096];
    size_t tag_size = lame_get_lametag_frame(gf, tag, sizeof tag);
    lame_close(gf);
    if (tag_size == 0 || tag_size > out->size()) {
        *err = "lame gave no Info tag";
        return false;
    }
    std::copy(tag, tag + tag_size, out->begin());
    return true;
}

} // namespace content
