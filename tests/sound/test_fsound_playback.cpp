// What reaches SDL: the stream's decoded sound, sample for sample, through
// SDL's disk driver, which writes the mixed output to a file.
#include <algorithm>
#include <random>

#include "tests/sound/sound_fixture.h"

namespace {

const int RATE = 44100;

size_t FirstSound(const std::vector<int16_t> &pcm, size_t from = 0)
{
    for (size_t i = from; i < pcm.size(); i++)
        if (pcm[i] != 0)
            return i & ~(size_t)1;
    return pcm.size();
}

size_t LastSoundEnd(const std::vector<int16_t> &pcm)
{
    size_t end = pcm.size();
    while (end > 0 && pcm[end - 1] == 0)
        end--;
    return (end + 1) & ~(size_t)1;
}

// The reference without the silent frames at its start and end.
std::vector<int16_t> Trimmed(const std::vector<int16_t> &pcm)
{
    size_t begin = FirstSound(pcm), end = LastSoundEnd(pcm);
    return begin < end ? std::vector<int16_t>(pcm.begin() + begin, pcm.begin() + end) : std::vector<int16_t>();
}

// Longest run of silent frames inside [begin, end) of interleaved stereo.
size_t LongestSilence(const std::vector<int16_t> &pcm, size_t begin, size_t end)
{
    size_t longest = 0, run = 0;
    for (size_t i = begin; i + 1 < end; i += 2) {
        run = pcm[i] == 0 && pcm[i + 1] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// Splits the output at silences of at least min_gap frames.
std::vector<std::vector<int16_t>> Segments(const std::vector<int16_t> &pcm, size_t min_gap)
{
    std::vector<std::vector<int16_t>> out;
    size_t i = FirstSound(pcm);
    while (i < pcm.size()) {
        size_t end = i, quiet = 0;
        for (size_t j = i; j + 1 < pcm.size() && quiet < min_gap; j += 2) {
            if (pcm[j] == 0 && pcm[j + 1] == 0) {
                quiet++;
            } else {
                quiet = 0;
                end = j + 2;
            }
        }
        out.emplace_back(pcm.begin() + i, pcm.begin() + end);
        i = FirstSound(pcm, end);
    }
    return out;
}

// True when out is ref with exactly extra silent frames slipped in anywhere
// (the silence an underrun inserts), and nothing else changed.
bool MatchesWithInsertedSilence(const std::vector<int16_t> &out, const std::vector<int16_t> &ref, size_t extra)
{
    size_t i = 0, j = 0, inserted = 0;
    while (j + 1 < ref.size()) {
        if (i + 1 >= out.size())
            return false;
        if (out[i] == ref[j] && out[i + 1] == ref[j + 1]) {
            j += 2;
        } else if (out[i] == 0 && out[i + 1] == 0 && inserted < extra) {
            inserted++;
        } else {
            return false;
        }
        i += 2;
    }
    return true;
}

}  // namespace

using SoundPlaybackTest = SoundTest;

// The whole file fits the ring, so no timing can cause a gap: whatever the
// machine's load, the output must be the decoded file, complete and in order.
TEST_F(SoundPlaybackTest, ToneComesOutWholeAndInTune)
{
    std::string mp3 = WriteScratch("a440.mp3", EncodeToneMp3(440, 1.0, RATE, 2));
    std::vector<int16_t> ref = DecodeReference(mp3, RATE);
    // The LAME tag lets the decoder drop the encoder's delay and padding.
    ASSERT_NEAR(ref.size() / 2.0, RATE, 1152);

    std::string raw;
    ASSERT_TRUE(FSOUND_Stream_SetBufferSize(2000));
    ASSERT_TRUE(InitDisk(1, &raw));
    FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
    ASSERT_TRUE(WaitFinished(s));
    FSOUND_Internal_StreamStats st = Stats(s);
    FSOUND_Close();

    EXPECT_EQ(st.underruns, 0u);
    EXPECT_EQ(st.frames_played, ref.size() / 2);
    std::vector<int16_t> out = BytesToSamples(ReadFile(raw));
    std::vector<int16_t> want = Trimmed(ref);
    size_t begin = FirstSound(out), end = LastSoundEnd(out);
    ASSERT_EQ(end - begin, want.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), out.begin() + begin));

    size_t frames = (end - begin) / 2;
    const int16_t *tone = out.data() + begin;
    EXPECT_LE(LongestSilence(out, begin, end), 1u);
    for (int ch = 0; ch < 2; ch++) {
        EXPECT_NEAR((double)ZeroCrossings(tone, frames, ch), 2.0 * 440 * frames / RATE, 4.0);
        EXPECT_GT(TonePower(tone, frames, ch, 440, RATE), 0.2);
        EXPECT_LT(TonePower(tone, frames, ch, 470, RATE), 0.01);
    }
}

// The player's 200 ms ring, refilled by the decoder thread while SDL reads it
// at about twice real time. A late decoder may only ever add counted silence.
TEST_F(SoundPlaybackTest, SmallRingIsRefilledInOrder)
{
    std::string mp3 = WriteScratch("a440.mp3", EncodeToneMp3(440, 1.5, RATE, 2));
    std::vector<int16_t> ref = DecodeReference(mp3, RATE);
    std::string raw;
    ASSERT_TRUE(InitDisk(10, &raw));
    FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_LT(Stats(s).ring_frames, ref.size() / 2 / 5);
    EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
    ASSERT_TRUE(WaitFinished(s));
    FSOUND_Internal_StreamStats st = Stats(s);
    FSOUND_Close();

    EXPECT_EQ(st.frames_played, ref.size() / 2);
    std::vector<int16_t> out = BytesToSamples(ReadFile(raw));
    std::vector<int16_t> want = Trimmed(ref);
    size_t begin = FirstSound(out);
    std::vector<int16_t> played(out.begin() + begin, out.begin() + LastSoundEnd(out));
    EXPECT_TRUE(MatchesWithInsertedSilence(played, want, st.underrun_frames));
    RecordProperty("underruns", std::to_string(st.underruns));
}

// A mono file at half the rate comes out as 44.1 kHz stereo, same tone, same length.
TEST_F(SoundPlaybackTest, MonoAtAnotherRateIsConverted)
{
    std::string mp3 = WriteScratch("mono22.mp3", EncodeToneMp3(440, 1.0, 22050, 1));
    std::string raw;
    ASSERT_TRUE(FSOUND_Stream_SetBufferSize(2000));
    ASSERT_TRUE(InitDisk(1, &raw));
    FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    ASSERT_TRUE(WaitFinished(s));
    FSOUND_Close();

    std::vector<int16_t> out = BytesToSamples(ReadFile(raw));
    size_t begin = FirstSound(out), end = LastSoundEnd(out);
    size_t frames = (end - begin) / 2;
    EXPECT_NEAR((double)frames, RATE, 1152);
    const int16_t *tone = out.data() + begin;
    size_t differ = 0;
    for (size_t i = 0; i < frames; i++)
        differ += tone[2 * i] != tone[2 * i + 1];
    EXPECT_EQ(differ, 0u);
    EXPECT_NEAR((double)ZeroCrossings(tone, frames, 0), 880.0 * frames / RATE, 4.0);
    EXPECT_GT(TonePower(tone, frames, 0, 440, RATE), 0.2);
}

// Stopping part-way and playing again starts over from the first sample.
TEST_F(SoundPlaybackTest, StopThenPlayStartsOver)
{
    std::string mp3 = WriteScratch("a440.mp3", EncodeToneMp3(440, 1.0, RATE, 2));
    std::vector<int16_t> want = Trimmed(DecodeReference(mp3, RATE));
    std::string raw;
    ASSERT_TRUE(FSOUND_Stream_SetBufferSize(2000));
    ASSERT_TRUE(InitDisk(5, &raw));
    FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
    while (Stats(s).frames_played < 4096 && !Stats(s).finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(FSOUND_Stream_Stop(s));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));   // a stretch of silence between
    EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
    ASSERT_TRUE(WaitFinished(s));
    FSOUND_Close();

    std::vector<std::vector<int16_t>> parts = Segments(BytesToSamples(ReadFile(raw)), 256);
    ASSERT_EQ(parts.size(), 2u);
    ASSERT_LE(parts[0].size(), want.size());
    EXPECT_TRUE(std::equal(parts[0].begin(), parts[0].end(), want.begin()));
    EXPECT_EQ(parts[1], want);
}

// Two streams sound together: the output is their clipped sum. Each starts
// at a period boundary of the output (rings are full before play), which
// pins down where each reference lies in it. The rings are smaller than the
// files, so both wrap while they are mixed.
TEST_F(SoundPlaybackTest, TwoStreamsAreMixed)
{
    std::string low = WriteScratch("a440.mp3", EncodeToneMp3(440, 1.0, RATE, 2));
    std::string high = WriteScratch("e1000.mp3", EncodeToneMp3(1000, 1.0, RATE, 2));
    std::vector<int16_t> ref_a = DecodeReference(low, RATE), ref_b = DecodeReference(high, RATE);
    std::string raw;
    ASSERT_TRUE(FSOUND_Stream_SetBufferSize(700));
    ASSERT_TRUE(InitDisk(5, &raw));
    FSOUND_STREAM *a = FSOUND_Stream_Open(low.c_str(), 0, 0, 0);
    FSOUND_STREAM *b = FSOUND_Stream_Open(high.c_str(), 0, 0, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, a), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, b), 1);
    ASSERT_TRUE(WaitFinished(a));
    ASSERT_TRUE(WaitFinished(b));
    unsigned long long underruns = Stats(a).underruns + Stats(b).underruns;
    FSOUND_Close();

    std::vector<int16_t> out = BytesToSamples(ReadFile(raw));
    const size_t period = 1024 * 2;   // samples in one SDL callback
    auto matches = [&](size_t at_a, size_t at_b) {
        for (size_t i = std::min(at_a, at_b); i < out.size(); i++) {
            int sum = (i >= at_a && i - at_a < ref_a.size() ? ref_a[i - at_a] : 0)
                + (i >= at_b && i - at_b < ref_b.size() ? ref_b[i - at_b] : 0);
            if (out[i] != std::min(32767, std::max(-32768, sum)))
                return false;
        }
        return true;
    };
    size_t first = FirstSound(out) / period * period;
    bool found = false;
    for (size_t at_a = first; at_a <= first + period && !found; at_a += period)
        for (size_t at_b = at_a; at_b <= at_a + 8 * period && !found; at_b += period)
            found = matches(at_a, at_b);
    if (underruns == 0) {
        EXPECT_TRUE(found) << "output is not the sum of the two streams";
    }
    // Whatever the timing, both tones are there in the middle.
    size_t mid = (first + out.size()) / 2 / 2 * 2;
    ASSERT_GT(out.size(), mid + RATE / 2);
    EXPECT_GT(TonePower(out.data() + mid - RATE / 2, RATE / 4, 0, 440, RATE), 0.2);
    EXPECT_GT(TonePower(out.data() + mid - RATE / 2, RATE / 4, 1, 1000, RATE), 0.2);
}

// Damaged files: a good start followed by noise, cut short, or with noise
// laid over its middle. They may play in part but must end, without a crash.
TEST_F(SoundPlaybackTest, DamagedStreamsEndCleanly)
{
    std::vector<unsigned char> good = EncodeToneMp3(440, 0.5, RATE, 2);
    ASSERT_GT(good.size(), 4000u);
    std::vector<std::vector<unsigned char>> files;
    std::mt19937 rng(20240611);
    for (int i = 0; i < 4; i++) {
        size_t keep = 200 + rng() % 3000;
        std::vector<unsigned char> f(good.begin(), good.begin() + keep);
        for (size_t n = 2000 + rng() % 20000; n > 0; n--)
            f.push_back((unsigned char)rng());
        files.push_back(f);
    }
    for (size_t cut : {good.size() / 2 + 1, good.size() - 1, (size_t)700})
        files.emplace_back(good.begin(), good.begin() + cut);
    for (int i = 0; i < 3; i++) {
        std::vector<unsigned char> f = good;
        size_t at = 1000 + rng() % (good.size() - 2000);
        for (size_t n = 0; n < 400; n++)
            f[at + n] = (unsigned char)rng();
        files.push_back(f);
    }
    std::vector<unsigned char> tail = good;
    tail.insert(tail.end(), 5000, 0xff);   // sync bits everywhere
    files.push_back(tail);

    ASSERT_TRUE(FSOUND_Stream_SetBufferSize(2000));
    ASSERT_TRUE(InitDisk(0));
    for (size_t i = 0; i < files.size(); i++) {
        std::string path = WriteScratch("damaged" + std::to_string(i) + ".mp3", files[i]);
        FSOUND_STREAM *s = FSOUND_Stream_Open(path.c_str(), 0, 0, 0);
        if (!s) {
            EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_FILE_FORMAT) << i;
            continue;
        }
        EXPECT_GE(FSOUND_Stream_Play(FSOUND_FREE, s), 0) << i;
        EXPECT_TRUE(WaitFinished(s)) << i;
        EXPECT_LE(Stats(s).frames_decoded, (unsigned long long)RATE) << i;
        EXPECT_TRUE(FSOUND_Stream_Close(s)) << i;
    }
}
