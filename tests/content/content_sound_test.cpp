// The built soundtrack, decoded with libmpg123 as the player's sound layer
// decodes it: its length matches the timeline, its loudness and true peak
// are within bounds, it starts and ends quietly, every section plays, and
// nothing clicks where the sections meet.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/contentgen/loudness.h"

namespace {

// The timeline: the music starts with entry 1 at 1.455 s; the scene changes
// (entries 4, 8, 16, 21, 28, 29, 35, 36, 41) and the end of entry 41.
const double kMusicStart = 1.455;
const double kJoins[] = {10.258, 30.258, 76.588, 108.388, 137.475, 188.325, 225.125, 245.125, 299.838};
const double kDemoEnd = 309.362;

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<float> left, right;
};

const Decoded &Soundtrack()
{
    static const Decoded d = [] {
        Decoded out;
#if MPG123_API_VERSION < 46
        mpg123_init();
#endif
        int err = 0;
        mpg123_handle *mh = mpg123_new(nullptr, &err);
        if (!mh)
            return out;
        mpg123_param(mh, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
        mpg123_format_none(mh);
        mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
        if (mpg123_open(mh, BT_CONTENT_MP3) != MPG123_OK) {
            mpg123_delete(mh);
            return out;
        }
        int enc = 0;
        mpg123_getformat(mh, &out.rate, &out.channels, &enc);
        std::vector<float> buf(8192);
        for (;;) {
            size_t got = 0;
            int rc = mpg123_read(mh, reinterpret_cast<unsigned char *>(buf.data()), buf.size() * sizeof(float), &got);
            for (size_t i = 0; i + 1 < got / sizeof(float); i += 2) {
                out.left.push_back(buf[i]);
                out.right.push_back(buf[i + 1]);
            }
            if (rc == MPG123_DONE || (rc != MPG123_OK && rc != MPG123_NEW_FORMAT))
                break;
        }
        mpg123_close(mh);
        mpg123_delete(mh);
        return out;
    }();
    return d;
}

double Seconds(const Decoded &d) { return double(d.left.size()) / double(d.rate); }

float PeakBetween(const Decoded &d, double t0, double t1)
{
    size_t a = size_t(std::max(0.0, t0) * d.rate), b = std::min(d.left.size(), size_t(t1 * d.rate));
    float p = 0;
    for (size_t i = a; i < b; ++i)
        p = std::max({p, std::fabs(d.left[i]), std::fabs(d.right[i])});
    return p;
}

TEST(ContentSoundtrack, DecodesToTheTimelinesLength)
{
    const Decoded &d = Soundtrack();
    ASSERT_EQ(d.rate, 44100);
    ASSERT_EQ(d.channels, 2);
    // Encoder delay and padding are taken off by the decoder (the Info tag),
    // so the samples that went in come back, to the sample.
    EXPECT_NEAR(Seconds(d), kDemoEnd - kMusicStart, 0.001);
}

TEST(ContentSoundtrack, LoudnessAndTruePeakAreWithinBounds)
{
    const Decoded &d = Soundtrack();
    ASSERT_GT(d.left.size(), 0u);
    double lufs = content::IntegratedLoudness(d.left.data(), d.right.data(), d.left.size(), int(d.rate));
    EXPECT_NEAR(lufs, -16.0, 2.0);
    double dbtp = content::ToDb(content::TruePeak(d.left.data(), d.right.data(), d.left.size()));
    EXPECT_LE(dbtp, -1.0);
    RecordProperty("lufs", std::to_string(lufs));
    RecordProperty("dbtp", std::to_string(dbtp));
}

TEST(ContentSoundtrack, StartsFromSilenceAndHasFadedOutByTheEnd)
{
    const Decoded &d = Soundtrack();
    ASSERT_GT(d.left.size(), 0u);
    // The first notes swell in: no step at the very start.
    EXPECT_LT(PeakBetween(d, 0.0, 0.002), 0.005f);
    float step = 0;
    for (size_t i = 1; i < size_t(0.02 * d.rate); ++i)
        step = std::max({step, std::fabs(d.left[i] - d.left[i - 1]), std::fabs(d.right[i] - d.right[i - 1])});
    EXPECT_LT(step, 0.01f);
    // The fade is over before the end of the last entry.
    double end = Seconds(d);
    EXPECT_LT(PeakBetween(d, end - 0.4, end), 0.001f);
    EXPECT_GT(PeakBetween(d, end - 9.0, end - 6.0), 0.05f) << "the last section still plays before the fade";
}

TEST(ContentSoundtrack, EverySectionPlays)
{
    const Decoded &d = Soundtrack();
    ASSERT_GT(d.left.size(), 0u);
    std::vector<double> bounds = {kMusicStart};
    bounds.insert(bounds.end(), std::begin(kJoins), std::end(kJoins));
    bounds.push_back(kDemoEnd);
    for (size_t s = 0; s + 1 < bounds.size(); ++s) {
        size_t a = size_t((bounds[s] - kMusicStart) * d.rate), b = std::min(d.left.size(), size_t((bounds[s + 1] - kMusicStart) * d.rate));
        double lufs = content::IntegratedLoudness(d.left.data() + a, d.right.data() + a, b - a, int(d.rate));
        EXPECT_GT(lufs, -28.0) << "section " << s;
        EXPECT_LT(lufs, -10.0) << "section " << s;
    }
}

TEST(ContentSoundtrack, NoClicksWhereTheSectionsMeet)
{
    const Decoded &d = Soundtrack();
    ASSERT_GT(d.left.size(), 0u);
    // A click is a jump between neighbouring samples far beyond what the
    // music does around it: compare the largest step within 20 ms of each
    // join with the largest step in the two seconds before it.
    auto largest_step = [&](double t0, double t1) {
        size_t a = size_t(std::max(0.0, t0) * d.rate) + 1, b = std::min(d.left.size(), size_t(t1 * d.rate));
        float m = 0;
        for (size_t i = a; i < b; ++i)
            m = std::max({m, std::fabs(d.left[i] - d.left[i - 1]), std::fabs(d.right[i] - d.right[i - 1])});
        return m;
    };
    for (double join : kJoins) {
        double t = join - kMusicStart;
        float at = largest_step(t - 0.02, t + 0.02), before = largest_step(t - 2.02, t - 0.02);
        EXPECT_LT(at, 1.5f * before + 0.01f) << "join at demo time " << join;
    }
}

} // namespace
