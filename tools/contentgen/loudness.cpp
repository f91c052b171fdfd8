#include "tools/contentgen/loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace content {

namespace {

struct Biquad {
    double b0, b1, b2, a1, a2;
    double z1 = 0, z2 = 0;
    double Run(double x)
    {
        double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The two K-weighting stages for any sample rate, from their analogue
// prototypes: a high shelf of about +4 dB above 1.5 kHz and a high pass at
// about 38 Hz.
void KWeighting(int rate, Biquad *shelf, Biquad *highpass)
{
    const double pi = 3.14159265358979323846;
    double f0 = 1681.974450955533, gain_db = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(pi * f0 / rate);
    double vh = std::pow(10.0, gain_db / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    *shelf = Biquad{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                    2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(pi * f0 / rate);
    a0 = 1.0 + k / q + k * k;
    *highpass = Biquad{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

// Windowed-sinc interpolator: 4 phases of 12 taps.
constexpr int kPhases = 4, kTaps = 12;
const std::vector<float> &Interpolator()
{
    static const std::vector<float> h = [] {
        const double pi = 3.14159265358979323846;
        std::vector<float> out(kPhases * kTaps);
        int n = kPhases * kTaps;
        double centre = (n - 1) / 2.0;
        for (int i = 0; i < n; ++i) {
            double x = (i - centre) / kPhases;
            double sinc = x == 0 ? 1.0 : std::sin(pi * x) / (pi * x);
            double w = 0.42 - 0.5 * std::cos(2 * pi * (i + 0.5) / n) + 0.08 * std::cos(4 * pi * (i + 0.5) / n);
            out[size_t(i)] = float(sinc * w);
        }
        return out;
    }();
    return h;
}

} // namespace

double ToDb(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity(); }

double IntegratedLoudness(const float *left, const float *right, size_t frames, int rate)
{
    Biquad s[2], h[2];
    KWeighting(rate, &s[0], &h[0]);
    KWeighting(rate, &s[1], &h[1]);
    // Mean square of 100 ms quarters; a block is four quarters.
    size_t quarter = size_t(rate) / 10;
    std::vector<double> quarters;
    double acc = 0;
    size_t in_quarter = 0;
    for (size_t i = 0; i < frames; ++i) {
        double l = h[0].Run(s[0].Run(left[i])), r = h[1].Run(s[1].Run(right[i]));
        acc += l * l + r * r;
        if (++in_quarter == quarter) {
            quarters.push_back(acc / double(quarter));
            acc = 0;
            in_quarter = 0;
        }
    }
    std::vector<double> blocks;
    for (size_t i = 0; i + 4 <= quarters.size(); ++i)
        blocks.push_back((quarters[i] + quarters[i + 1] + quarters[i + 2] + quarters[i + 3]) / 4.0);
    auto lufs = [](double ms) { return -0.691 + 10.0 * std::log10(ms); };
    double sum = 0;
    size_t n = 0;
    for (double b : blocks)
        if (b > 0 && lufs(b) > -70.0) {
            sum += b;
            ++n;
        }
    if (n == 0)
        return -std::numeric_limits<double>::infinity();
    double relative = lufs(sum / double(n)) - 10.0;
    sum = 0;
    n = 0;
    for (double b : blocks)
        if (b > 0 && lufs(b) > -70.0 && lufs(b) > relative) {
            sum += b;
            ++n;
        }
    return lufs(sum / double(n));
}

std::vector<float> OversampledPeaks(const float *x, size_t frames)
{
    const std::vector<float> &h = Interpolator();
    // Per-phase taps; the input padded with zeros so the loop needs no
    // bounds checks. Output phase p lies p/4 of a sample after the filter's
    // centre, which sits kTaps/2 samples back.
    float hp[kPhases][kTaps];
    for (int p = 0; p < kPhases; ++p)
        for (int j = 0; j < kTaps; ++j)
            hp[p][j] = h[size_t(j * kPhases + p)];
    const size_t pad = kTaps;
    std::vector<float> xp(frames + 2 * pad, 0.0f);
    for (size_t i = 0; i < frames; ++i)
        xp[pad + i] = x[i];
    std::vector<float> out(frames);
    for (size_t n = 0; n < frames; ++n) {
        const float *base = &xp[n + pad + kTaps / 2];
        float y0 = 0, y1 = 0, y2 = 0, y3 = 0;
        for (int j = 0; j < kTaps; ++j) {
            float v = base[-j];
            y0 += v * hp[0][j];
            y1 += v * hp[1][j];
            y2 += v * hp[2][j];
            y3 += v * hp[3][j];
        }
        out[n] = std::max({std::fabs(x[n]), std::fabs(y0), std::fabs(y1), std::fabs(y2), std::fabs(y3)});
    }
    return out;
}

double TruePeak(const float *left, const float *right, size_t frames)
{
    double peak = 0;
    for (const float *ch : {left, right}) {
        std::vector<float> p = OversampledPeaks(ch, frames);
        for (float v : p)
            peak = std::max(peak, double(v));
    }
    return peak;
}

} // namespace content
