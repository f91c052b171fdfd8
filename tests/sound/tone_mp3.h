// MP3 files of known content for the sound layer's tests and benchmark.
#pragma once

#include <string>
#include <vector>

// Encodes seconds of a sine tone (amplitude 0.5 of full scale) at rate Hz with 1 or 2 channels;
// the file carries a LAME tag, so a gapless decoder gives back exactly round(seconds * rate) frames.
std::vector<unsigned char> EncodeToneMp3(double freq, double seconds, int rate, int channels);
bool WriteFile(const std::string &path, const std::vector<unsigned char> &bytes);
