// Error codes and lifecycle of the sound layer: what the player relies on
// when files are missing or damaged, in silent mode and at shutdown.
#include <sys/stat.h>

#include <atomic>
#include <random>
#include <thread>

#include <SDL.h>

#include "tests/sound/sound_fixture.h"

namespace {

std::vector<unsigned char> RandomBytes(unsigned seed, size_t n)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> bytes(n);
    for (unsigned char &b : bytes)
        b = (unsigned char)rng();
    return bytes;
}

FSOUND_STREAM *const STALE = (FSOUND_STREAM *)(uintptr_t)0x1234;

}  // namespace

using SoundApiTest = SoundTest;

// Silent mode: the library is never initialised, yet the opening scene still
// calls play with the empty handle.
TEST_F(SoundApiTest, CallsBeforeInitDoNothing)
{
    EXPECT_EQ(FSOUND_Stream_Play(2, nullptr), -1);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.2, 44100, 2));
    EXPECT_EQ(FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);
    EXPECT_FALSE(FSOUND_Stream_Stop(nullptr));
    EXPECT_FALSE(FSOUND_Stream_Close(STALE));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);
    FSOUND_Close();
    // Settings are allowed before start-up and reset the error.
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_OSS));
    EXPECT_TRUE(FSOUND_Stream_SetBufferSize(200));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_NONE);
}

TEST_F(SoundApiTest, InitFailsWithoutOutputDevice)
{
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    EXPECT_FALSE(FSOUND_Init(44100, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INIT);
    FSOUND_Close();   // what the player does next
    EXPECT_EQ(FSOUND_Stream_Play(2, nullptr), -1);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);
    // Nothing was left half open: a working driver starts afterwards.
    EXPECT_TRUE(InitDummy());
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_NONE);
}

TEST_F(SoundApiTest, InitRulesAndArguments)
{
    EXPECT_FALSE(FSOUND_Init(0, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    EXPECT_FALSE(FSOUND_Init(44100, 0, 0));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    EXPECT_FALSE(FSOUND_Stream_SetBufferSize(0));
    EXPECT_FALSE(FSOUND_Stream_SetBufferSize(-200));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);

    ASSERT_TRUE(InitDummy());
    EXPECT_FALSE(FSOUND_SetOutput(FSOUND_OUTPUT_OSS));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_BUSY);
    EXPECT_FALSE(FSOUND_Init(44100, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_BUSY);
    FSOUND_Close();
    FSOUND_Close();
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_OSS));
}

TEST_F(SoundApiTest, DeviceHeldElsewhereIsReported)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0);
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = [](void *, Uint8 *out, int len) { SDL_memset(out, 0, (size_t)len); };
    ASSERT_EQ(SDL_OpenAudio(&want, nullptr), 0);
    EXPECT_FALSE(FSOUND_Init(44100, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_ALLOCATED);
    SDL_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    EXPECT_TRUE(FSOUND_Init(44100, 32, 0));
}

TEST_F(SoundApiTest, OpenReportsMissingAndForeignFiles)
{
    ASSERT_TRUE(InitDummy());
    struct Case {
        std::string path;
        int code;
    } cases[] = {
        {Scratch("absent.mp3"), FSOUND_ERR_FILE_NOTFOUND},
        {Scratch("no_such_dir") + "/x.mp3", FSOUND_ERR_FILE_NOTFOUND},
        {WriteScratch("empty.mp3", {}), FSOUND_ERR_FILE_FORMAT},
        {WriteScratch("text.mp3", std::vector<unsigned char>(200, 'a')), FSOUND_ERR_FILE_FORMAT},
        {WriteScratch("noise1.mp3", RandomBytes(1, 3000)), FSOUND_ERR_FILE_FORMAT},
        {WriteScratch("noise2.mp3", RandomBytes(2, 100000)), FSOUND_ERR_FILE_FORMAT},
        {WriteScratch("noise3.mp3", RandomBytes(3, 7)), FSOUND_ERR_FILE_FORMAT},
        {::testing::TempDir(), FSOUND_ERR_FILE_BAD},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FSOUND_Stream_Open(c.path.c_str(), 0, 0, 0), nullptr) << c.path;
        EXPECT_EQ(FSOUND_GetError(), c.code) << c.path;
    }
    // A pipe nobody writes to must not block the open.
    std::string fifo = Scratch("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(FSOUND_Stream_Open(fifo.c_str(), 0, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_FILE_BAD);

    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.2, 44100, 2));
    EXPECT_EQ(FSOUND_Stream_Open(nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Open(mp3.c_str(), 0, 100, 0), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    EXPECT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_NONE);
}

TEST_F(SoundApiTest, EmptyStaleAndForeignHandlesAreRefused)
{
    ASSERT_TRUE(InitDummy());
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.2, 44100, 2));
    FSOUND_STREAM *closed = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(closed, nullptr);
    ASSERT_TRUE(FSOUND_Stream_Close(closed));
    // The slot is reused by the next stream; the old handle must not reach it.
    FSOUND_STREAM *live = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(live, nullptr);
    for (FSOUND_STREAM *bad : {(FSOUND_STREAM *)nullptr, closed, STALE}) {
        EXPECT_EQ(FSOUND_Stream_Play(2, bad), -1);
        EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
        EXPECT_FALSE(FSOUND_Stream_Stop(bad));
        EXPECT_FALSE(FSOUND_Stream_Close(bad));
        EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    }
    FSOUND_Internal_StreamStats st;
    EXPECT_FALSE(FSOUND_Internal_GetStreamStats(closed, &st));
    EXPECT_EQ(FSOUND_Stream_Play(2, live), 2);
}

TEST_F(SoundApiTest, ChannelRules)
{
    ASSERT_TRUE(InitDummy());
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.5, 44100, 2));
    FSOUND_STREAM *a = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    FSOUND_STREAM *b = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(FSOUND_Stream_Stop(a));   // never played: nothing to do
    EXPECT_EQ(FSOUND_Stream_Play(2, a), 2);
    EXPECT_EQ(FSOUND_Stream_Play(5, a), 2);   // already playing: stays where it is
    EXPECT_EQ(FSOUND_Stream_Play(2, b), -1);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(FSOUND_Stream_Play(32, b), -1);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    EXPECT_EQ(FSOUND_Stream_Play(-2, b), -1);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, b), 0);
    EXPECT_TRUE(FSOUND_Stream_Stop(a));
    EXPECT_TRUE(FSOUND_Stream_Stop(a));
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, a), 1);
    EXPECT_TRUE(FSOUND_Stream_Close(a));
    EXPECT_FALSE(FSOUND_Stream_Close(a));
    EXPECT_EQ(FSOUND_Stream_Play(2, b), 0);
}

// The player's shutdown may find streams still playing; FSOUND_Close ends
// them, and their handles stay dead after a fresh start.
TEST_F(SoundApiTest, CloseEndsPlayingStreams)
{
    ASSERT_TRUE(InitDummy());
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.5, 44100, 2));
    FSOUND_STREAM *a = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    FSOUND_STREAM *b = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(FSOUND_Stream_Play(2, a), 2);
    FSOUND_Close();
    EXPECT_FALSE(FSOUND_Stream_Stop(a));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_UNINITIALIZED);
    ASSERT_TRUE(InitDummy());
    EXPECT_EQ(FSOUND_Stream_Play(2, a), -1);
    EXPECT_FALSE(FSOUND_Stream_Close(b));
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_INVALID_PARAM);
    FSOUND_STREAM *c = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    EXPECT_EQ(FSOUND_Stream_Play(2, c), 2);
}

// Run under LeakSanitizer this also shows that closing frees everything.
TEST_F(SoundApiTest, StreamsComeAndGoWithoutRunningOut)
{
    ASSERT_TRUE(InitDummy());
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.2, 44100, 2));
    for (int i = 0; i < 40; i++) {
        FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
        ASSERT_NE(s, nullptr) << i;
        if (i % 2) {
            EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
        }
        ASSERT_TRUE(FSOUND_Stream_Close(s));
    }
    std::vector<FSOUND_STREAM *> open;
    FSOUND_STREAM *s;
    while (open.size() < 100 && (s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0)) != nullptr)
        open.push_back(s);
    EXPECT_EQ(open.size(), 16u);
    EXPECT_EQ(FSOUND_GetError(), FSOUND_ERR_MEMORY);
    EXPECT_TRUE(FSOUND_Stream_Close(open[3]));
    EXPECT_NE(FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0), nullptr);
}

// Two callers at once against the audio and decoder threads: for TSan.
TEST_F(SoundApiTest, ConcurrentCallersStayConsistent)
{
    ASSERT_TRUE(InitDummy());
    std::string mp3 = WriteScratch("tone.mp3", EncodeToneMp3(440, 0.3, 44100, 2));
    FSOUND_STREAM *shared = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
    ASSERT_NE(shared, nullptr);
    std::atomic<int> failures{0};
    std::thread other([&] {
        for (int i = 0; i < 30; i++) {
            FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
            if (!s || FSOUND_Stream_Play(FSOUND_FREE, s) < 0 || !FSOUND_Stream_Close(s))
                failures++;
        }
    });
    for (int i = 0; i < 60; i++) {
        if (FSOUND_Stream_Play(2, shared) != 2 || !FSOUND_Stream_Stop(shared))
            failures++;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    other.join();
    EXPECT_EQ(failures.load(), 0);
}
