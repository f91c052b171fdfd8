// Loudness and true-peak measurement after ITU-R BS.1770 (K-weighting,
// 400 ms blocks with 75 % overlap, absolute gate at -70 LUFS and relative
// gate 10 LU below), and four-times oversampled true peaks. The generator
// masters the soundtrack with it and the tests measure the decoded MP3.
#pragma once

#include <cstddef>
#include <vector>

namespace content {

// Integrated loudness in LUFS of a stereo signal; -inf for silence.
double IntegratedLoudness(const float *left, const float *right, size_t frames, int rate);

// Four-times oversampled peak of one channel, per input sample: out[n] is the
// largest magnitude of sample n and of four points interpolated between
// samples n and n + 1.
std::vector<float> OversampledPeaks(const float *x, size_t frames);

// The largest true peak of both channels, linear (1.0 = 0 dBTP).
double TruePeak(const float *left, const float *right, size_t frames);

double ToDb(double linear);

} // namespace content
