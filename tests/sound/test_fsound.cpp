// The sound layer as the player uses it: error codes, handle safety, shutdown, and what reaches
// SDL, read back through SDL's disk driver (it writes the output to a file) against mpg123's decode.
#include <sys/stat.h>

#include <SDL.h>
#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "sound/fsound.h"
#include "sound/fsound_stats.h"
#include "tests/sound/tone_mp3.h"

namespace {

const int RATE = 44100;
FSOUND_STREAM *const STALE = (FSOUND_STREAM *)(uintptr_t)0x1234;
typedef std::vector<int16_t> Pcm;   // 16-bit stereo, interleaved

bool Failed(signed char ok) { return !ok; }
bool Failed(int channel) { return channel == -1; }
bool Failed(FSOUND_STREAM *stream) { return !stream; }
// A call that fails must say why.
#define EXPECT_REFUSED(call, code) \
    do { EXPECT_TRUE(Failed(call)) << #call; EXPECT_EQ(FSOUND_GetError(), (code)) << #call; } while (0)

// The file decoded straight through mpg123: what the layer should hand to SDL.
Pcm Reference(const std::string &path)
{
    Pcm pcm;
    int16_t buf[8192];
    size_t done = 0;
    mpg123_handle *mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    for (int rc = mpg123_open(mh, path.c_str()); rc == MPG123_OK || rc == MPG123_NEW_FORMAT;) {
        rc = mpg123_read(mh, buf, sizeof buf, &done);
        pcm.insert(pcm.end(), buf, buf + done / 2);
    }
    mpg123_delete(mh);
    return pcm;
}

// pcm without the silent frames at its start and end.
Pcm Sounding(const Pcm &pcm)
{
    size_t begin = 0, end = pcm.size() / 2 * 2;
    while (begin < end && pcm[begin] == 0 && pcm[begin + 1] == 0)
        begin += 2;
    while (end > begin && pcm[end - 2] == 0 && pcm[end - 1] == 0)
        end -= 2;
    return Pcm(pcm.begin() + begin, pcm.begin() + end);
}

// Finds ref in out from out[at] on, with at most extra silent frames (the
// silence an underrun inserts) slipped in anywhere; returns where it ends in
// out, or out.size() + 1 where out holds anything else.
size_t Match(const Pcm &out, size_t at, const Pcm &ref, size_t &extra)
{
    for (size_t j = 0; j + 1 < ref.size(); at += 2) {
        if (at + 1 < out.size() && out[at] == ref[j] && out[at + 1] == ref[j + 1])
            j += 2;
        else if (at + 1 >= out.size() || out[at] != 0 || out[at + 1] != 0 || extra-- == 0)
            return out.size() + 1;
    }
    return at;
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(mkdtemp(&dir_[0]), nullptr); }   // scratch files go here
    void TearDown() override
    {
        FSOUND_Close();
        std::filesystem::remove_all(dir_);
    }

    std::string Write(const std::string &name, const std::vector<unsigned char> &bytes)
    {
        EXPECT_TRUE(WriteFile(dir_ + "/" + name, bytes)) << name;
        return dir_ + "/" + name;
    }
    static FSOUND_STREAM *Open(const std::string &path) { return FSOUND_Stream_Open(path.c_str(), 0, 0, 0); }
    Pcm Output() const   // what the disk driver wrote, without silence at either end
    {
        std::ifstream f(dir_ + "/out.raw", std::ios::binary | std::ios::ate);
        Pcm pcm((size_t)std::max<std::streamoff>(f.tellg(), 0) / 2);
        f.seekg(0).read((char *)pcm.data(), (std::streamsize)pcm.size() * 2);
        return Sounding(pcm);
    }

    // "disk" writes the output to a file, a period (23 ms) every delay_ms, so
    // tests need not take real time; "dummy" discards it.
    signed char Init(const char *driver, int delay_ms = 0)
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", (dir_ + "/out.raw").c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", std::to_string(delay_ms).c_str(), 1);
        return FSOUND_Init(RATE, 32, 0);
    }

    // Waits until the stream has played out or played frames; generous, for loaded machines.
    static FSOUND_Internal_StreamStats WaitFinished(FSOUND_STREAM *stream, unsigned long long frames = ~0ull)
    {
        FSOUND_Internal_StreamStats st{};
        for (int ms = 0; ms < 30000 && FSOUND_Internal_GetStreamStats(stream, &st) && !st.finished
             && st.frames_played < frames; ms++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return st;
    }

    std::string dir_ = ::testing::TempDir() + "bt_sound_XXXXXX";
};

}  // namespace

// No usable driver leaves the player in silent mode, which never starts the
// layer yet still plays the empty handle; shutdown may find streams playing.
// Every call must then do nothing and say why, and no old handle may reach a
// newer stream. A bad rate, a second start and a taken channel are refused.
TEST_F(SoundTest, CallsWithoutDeviceOrWithBadHandlesAreRefused)
{
    std::string mp3 = Write("tone.mp3", EncodeToneMp3(440, 0.3, RATE, 2));
    auto refused = [](FSOUND_STREAM *h, int code) {
        SCOPED_TRACE(::testing::Message() << "handle " << h);
        EXPECT_REFUSED(FSOUND_Stream_Play(2, h), code);
        EXPECT_REFUSED(FSOUND_Stream_Stop(h), code);
        EXPECT_REFUSED(FSOUND_Stream_Close(h), code);
    };
    EXPECT_REFUSED(Init("no_such_driver"), FSOUND_ERR_INIT);
    FSOUND_Close();   // what the player does next
    refused(nullptr, FSOUND_ERR_UNINITIALIZED);
    EXPECT_REFUSED(Open(mp3), FSOUND_ERR_UNINITIALIZED);
    EXPECT_REFUSED(FSOUND_Init(0, 32, 0), FSOUND_ERR_INVALID_PARAM);

    ASSERT_TRUE(Init("dummy"));   // the failed start left nothing half open
    EXPECT_REFUSED(FSOUND_Init(RATE, 32, 0), FSOUND_ERR_BUSY);
    FSOUND_STREAM *closed = Open(mp3);
    ASSERT_TRUE(FSOUND_Stream_Close(closed));
    FSOUND_STREAM *playing = Open(mp3), *other = Open(mp3);   // one takes the closed one's slot
    ASSERT_TRUE(playing && other);
    for (FSOUND_STREAM *h : {(FSOUND_STREAM *)nullptr, closed, STALE})
        refused(h, FSOUND_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Play(2, playing), 2);
    EXPECT_EQ(FSOUND_Stream_Play(5, playing), 2);   // already playing: stays where it is
    EXPECT_REFUSED(FSOUND_Stream_Play(2, other), FSOUND_ERR_CHANNEL_ALLOC);
    EXPECT_TRUE(FSOUND_Stream_Stop(playing));
    EXPECT_EQ(FSOUND_Stream_Play(2, other), 2);

    FSOUND_Close();
    refused(playing, FSOUND_ERR_UNINITIALIZED);
    ASSERT_TRUE(Init("dummy"));
    refused(playing, FSOUND_ERR_INVALID_PARAM);
    refused(other, FSOUND_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Play(2, Open(mp3)), 2);
}

TEST_F(SoundTest, OpenReportsMissingForeignAndUnreadableFiles)
{
    ASSERT_TRUE(Init("dummy"));
    std::string fifo = dir_ + "/pipe.mp3";   // nobody writes to it: the open must not block
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<unsigned char> noise(100000);
    std::generate(noise.begin(), noise.end(), std::mt19937(1));
    std::pair<std::string, int> cases[] = {
        {dir_ + "/absent.mp3", FSOUND_ERR_FILE_NOTFOUND}, {dir_ + "/no_dir/x.mp3", FSOUND_ERR_FILE_NOTFOUND},
        {Write("empty.mp3", {}), FSOUND_ERR_FILE_FORMAT}, {Write("noise.mp3", noise), FSOUND_ERR_FILE_FORMAT},
        {dir_, FSOUND_ERR_FILE_BAD}, {fifo, FSOUND_ERR_FILE_BAD},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_REFUSED(Open(c.first), c.second);
    }
    EXPECT_REFUSED(FSOUND_Stream_Open(nullptr, 0, 0, 0), FSOUND_ERR_INVALID_PARAM);
}

// Two callers at once against the audio and decoder threads (for TSan); the
// second opens and closes more streams than the layer has slots.
TEST_F(SoundTest, ConcurrentCallersStayConsistent)
{
    ASSERT_TRUE(Init("dummy"));
    std::string mp3 = Write("tone.mp3", EncodeToneMp3(440, 0.3, RATE, 2));
    FSOUND_STREAM *shared = Open(mp3);
    std::atomic<int> failures{0};
    std::thread other([&] {
        for (int i = 0; i < 30; i++) {
            FSOUND_STREAM *s = Open(mp3);
            failures += !s || FSOUND_Stream_Play(FSOUND_FREE, s) < 0 || !FSOUND_Stream_Close(s);
        }
    });
    for (int i = 0; i < 60; i++) {
        failures += FSOUND_Stream_Play(2, shared) != 2 || !FSOUND_Stream_Stop(shared);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    other.join();
    EXPECT_EQ(failures.load(), 0);
}

// The player's set-up: a 200 ms ring, far smaller than the file, refilled by
// the decoder while SDL reads it at about twice real time. The output must be
// the decoded file, complete and in order, where a late decoder may only add
// counted silence; a mono file at half the rate comes out as the same tone.
// Stopped part-way, the stereo one starts over when played again.
TEST_F(SoundTest, ToneComesOutWholeInOrderAndInTuneAndStopStartsOver)
{
    for (int channels : {2, 1}) {
        SCOPED_TRACE(channels);
        std::string mp3 = Write("tone.mp3", EncodeToneMp3(440, 1.5, RATE * channels / 2, channels));
        Pcm ref = Reference(mp3), first;
        ASSERT_NEAR(ref.size() / 2.0, 1.5 * RATE, 1152);   // the LAME tag drops the encoder's delay
        ASSERT_TRUE(Init("disk", 10));
        FSOUND_STREAM *s = Open(mp3);
        ASSERT_EQ(FSOUND_Stream_Play(2, s), 2);
        // Mono is left out: mpg123's resampler may round a sample differently after the rewind.
        if (channels == 2 && WaitFinished(s, 4096).frames_played >= 4096) {
            EXPECT_TRUE(FSOUND_Stream_Stop(s));
            first = Sounding(Pcm(ref.begin(), ref.begin() + 2 * WaitFinished(s, 0).frames_played));
            EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
        }
        FSOUND_Internal_StreamStats st = WaitFinished(s);
        ASSERT_TRUE(st.finished);
        FSOUND_Close();

        Pcm out = Output(), want = Sounding(ref);
        size_t extra = st.underrun_frames, at = Match(out, 0, first, extra);
        while (at + 1 < out.size() && out[at] == 0 && out[at + 1] == 0)   // between the stop and the play
            at += 2;
        EXPECT_EQ(Match(out, at, want, extra), out.size()) << st.underruns << " underruns";
        size_t crossings = 0, prev = 0;   // sign changes in the left channel; silent frames skipped
        for (size_t i = 0; i < out.size(); i += 2) {
            crossings += out[i] != 0 && (out[prev] < 0) != (out[i] < 0);
            prev = out[i] != 0 ? i : prev;
        }
        EXPECT_NEAR((double)crossings, 880.0 * (first.size() + want.size()) / 2 / RATE, 4.0);   // a 440 Hz tone
    }
}

// Damaged files: cut short, a good start then noise, noise over the middle,
// sync bits after the end. They may play in part but must end cleanly.
TEST_F(SoundTest, DamagedStreamsEndCleanly)
{
    std::vector<unsigned char> good = EncodeToneMp3(440, 0.5, RATE, 2);
    ASSERT_GT(good.size(), 4000u);
    std::vector<std::vector<unsigned char>> files = {good};
    files[0].resize(good.size() + 5000, 0xff);
    std::mt19937 rng(20240611);
    for (int i = 0; i < 12; i++) {
        size_t at = 200 + rng() % (good.size() - 600), n = i % 3 == 0 ? 0 : i % 3 == 1 ? rng() % 20000 : 400;
        files.emplace_back(good.begin(), good.begin() + at);
        std::generate_n(std::back_inserter(files.back()), n, std::ref(rng));
        if (i % 3 == 2)
            files.back().insert(files.back().end(), good.begin() + at + n, good.end());
    }

    ASSERT_TRUE(Init("disk", 1));
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(i);
        FSOUND_STREAM *s = Open(Write("damaged" + std::to_string(i) + ".mp3", files[i]));
        EXPECT_TRUE(s || FSOUND_GetError() == FSOUND_ERR_FILE_FORMAT);
        if (!s)
            continue;
        EXPECT_EQ(FSOUND_Stream_Play(2, s), 2);
        FSOUND_Internal_StreamStats st = WaitFinished(s);
        EXPECT_TRUE(st.finished && st.frames_decoded <= (unsigned long long)RATE);   // no more than the file holds
        EXPECT_TRUE(FSOUND_Stream_Close(s));
    }
}
