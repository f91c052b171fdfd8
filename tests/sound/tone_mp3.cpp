#include "tests/sound/tone_mp3.h"

#include <lame/lame.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <cstring>

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
    std::vector<unsigned char> out;
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return out;
    }
    size_t frames = (size_t)std::lround(seconds * rate);
    std::vector<short> pcm(frames);
    for (size_t i = 0; i < frames; i++)
        pcm[i] = (short)std::lround(16384.0 * std::sin(2.0 * M_PI * freq * (double)i / rate));
    std::vector<unsigned char> buf(frames * 5 / 4 + 7200 + 16384);
    int n = lame_encode_buffer(gf, pcm.data(), channels == 2 ? pcm.data() : nullptr, (int)frames,
                               buf.data(), (int)buf.size());
    if (n >= 0)
        out.assign(buf.begin(), buf.begin() + n);
    n = lame_encode_flush(gf, buf.data(), (int)buf.size());
    if (n >= 0)
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    // The first frame is a placeholder for the tag that tells decoders the
    // encoder's delay and padding; fill it in now that they are known.
    size_t tag = lame_get_lametag_frame(gf, buf.data(), buf.size());
    if (tag > 0 && tag <= out.size())
        memcpy(out.data(), buf.data(), tag);
    lame_close(gf);
    return out;
}

bool WriteFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::vector<unsigned char> ReadFile(const std::string &path)
{
    std::vector<unsigned char> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    fclose(f);
    return bytes;
}

std::vector<int16_t> BytesToSamples(const std::vector<unsigned char> &bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty())
        memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<int16_t> DecodeReference(const std::string &path, int rate)
{
    std::vector<int16_t> pcm;
    mpg123_init();
    mpg123_handle *mh = mpg123_new(nullptr, nullptr);
    if (!mh)
        return pcm;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, rate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        int16_t buf[8192];
        size_t done = 0;
        int rc;
        do {
            rc = mpg123_read(mh, buf, sizeof buf, &done);
            pcm.insert(pcm.end(), buf, buf + done / 2);
        } while (rc == MPG123_OK || rc == MPG123_NEW_FORMAT);
    }
    mpg123_delete(mh);
    return pcm;
}

double TonePower(const int16_t *stereo, size_t frames, int channel, double freq, int rate)
{
    double coeff = 2.0 * std::cos(2.0 * M_PI * freq / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < frames; i++) {
        double s0 = stereo[2 * i + channel] / 32768.0 + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    // A full-scale sine gives (frames / 2)^2.
    return frames ? power / ((double)frames * frames / 4.0) : 0.0;
}

size_t ZeroCrossings(const int16_t *stereo, size_t frames, int channel)
{
    size_t count = 0;
    int last = 0;
    for (size_t i = 0; i < frames; i++) {
        int v = stereo[2 * i + channel];
        if (v == 0)
            continue;
        int sign = v > 0 ? 1 : -1;
        if (last != 0 && sign != last)
            count++;
        last = sign;
    }
    return count;
}
