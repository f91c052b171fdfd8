// MP3 files of known content for the sound layer's tests and benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Encodes seconds of a sine tone (amplitude 0.5 of full scale) at rate Hz
// with 1 or 2 channels; the file carries a LAME tag, so a gapless decoder
// gives back exactly round(seconds * rate) frames.
std::vector<unsigned char> EncodeToneMp3(double freq, double seconds, int rate, int channels);

bool WriteFile(const std::string &path, const std::vector<unsigned char> &bytes);
std::vector<unsigned char> ReadFile(const std::string &path);

// 16-bit samples, interleaved, in machine order.
std::vector<int16_t> BytesToSamples(const std::vector<unsigned char> &bytes);

// Decodes a whole file straight through mpg123 as 16-bit stereo at rate Hz:
// what the sound layer should hand to SDL, sample for sample.
std::vector<int16_t> DecodeReference(const std::string &path, int rate);

// Relative power of freq in one channel of interleaved stereo (Goertzel), 0 to about 1.
double TonePower(const int16_t *stereo, size_t frames, int channel, double freq, int rate);
// Sign changes in one channel of interleaved stereo.
size_t ZeroCrossings(const int16_t *stereo, size_t frames, int channel);
