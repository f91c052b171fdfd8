#include "tests/sound/tone_mp3.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

std::vector<unsigned char> EncodeToneMp3(double freq, double seconds, int rate, int channels)
{
    lame_global_flags *gf = lame_init();
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(gf, channels == 1 ? 64 : 128);
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 1);
    size_t frames = (size_t)std::lround(seconds * rate);
    std::vector<short> pcm(frames);
    for (size_t i = 0; i < frames; i++)
        pcm[i] = (short)std::lround(16384.0 * std::sin(2.0 * M_PI * freq * (double)i / rate));
    std::vector<unsigned char> buf(frames * 5 / 4 + 7200 + 16384), out;
    if (lame_init_params(gf) >= 0) {
        int n = lame_encode_buffer(gf, pcm.data(), channels == 2 ? pcm.data() : nullptr, (int)frames,
                                   buf.data(), (int)buf.size());
        out.assign(buf.begin(), buf.begin() + std::max(n, 0));
        n = lame_encode_flush(gf, buf.data(), (int)buf.size());
        out.insert(out.end(), buf.begin(), buf.begin() + std::max(n, 0));
        // The first frame is a placeholder for the tag that tells decoders the
        // encoder's delay and padding; fill it in now that they are known.
        size_t tag = lame_get_lametag_frame(gf, buf.data(), buf.size());
        if (tag > 0 && tag <= out.size())
            memcpy(out.data(), buf.data(), tag);
    }
    lame_close(gf);
    return out;
}

bool WriteFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream f(path, std::ios::binary);
    return f.write((const char *)bytes.data(), (std::streamsize)bytes.size()).flush().good();
}
