// The SDL 1.2 calls of win32/sdl12 over SDL2, one by one, on a virtual X
// screen: what the player relies on, and the ends of failing calls.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_thread.h>
#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// Only the harness's virtual X server is used here.
#define BT_BUILD_DIR "."
#define BT_PLAYER "/bin/false"
#include "tests/e2e/player_harness.h"

namespace {

using e2e::Clock;

class Layer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { e2e::Display::Start("1024x768x24"); }
    static void TearDownTestSuite() { e2e::Display::Stop(); }
    void SetUp() override { setenv("DISPLAY", e2e::Display::Name().c_str(), 1); }
    void TearDown() override { SDL_Quit(); }
};

TEST_F(Layer, WindowedModeDrawsTheRequestedSizeAndQuitsTwice)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO), 0) << SDL_GetError();
    EXPECT_EQ(SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1), 0);
    EXPECT_EQ(SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8), 0);
    EXPECT_EQ(SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1), 0);
    SDL_WM_SetCaption("sdl12 layer test", "icon");
    SDL_Surface *screen = SDL_SetVideoMode(640, 480, 32, SDL_OPENGL);
    ASSERT_NE(screen, nullptr) << SDL_GetError();
    EXPECT_EQ(screen->w, 640);
    EXPECT_EQ(screen->h, 480);
    EXPECT_EQ(screen->flags & SDL_OPENGL, SDL_OPENGL);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    glClearColor(1.0f, 0.8f, 0.7f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char rgb[3] = {0, 0, 0};
    glReadPixels(320, 240, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[1], 204);
    EXPECT_EQ(rgb[2], 178);
    SDL_GL_SwapBuffers();
    EXPECT_EQ(e2e::Shell("xdotool search --onlyvisible --name 'sdl12 layer test' >/dev/null 2>&1"), 0)
        << "the caption set before the window did not reach it";
    EXPECT_EQ(SDL_ShowCursor(SDL_DISABLE), SDL_ENABLE);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
    SDL_Quit();
    SDL_Quit();   // atexit after an explicit quit
    SDL_GL_SwapBuffers();   // no window: nothing happens
}

TEST_F(Layer, FailingCallsReportAndReturnNothing)
{
    // Before SDL_Init, without SDL_OPENGL, and of no size.
    EXPECT_EQ(SDL_SetVideoMode(640, 480, 32, SDL_OPENGL), nullptr);
    EXPECT_STRNE(SDL_GetError(), "");
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    EXPECT_EQ(SDL_SetVideoMode(640, 480, 32, 0), nullptr);
    EXPECT_EQ(SDL_SetVideoMode(0, 480, 32, SDL_OPENGL), nullptr);
    EXPECT_EQ(SDL_GL_SetAttribute((SDL_GLattr)99, 1), -1);
    EXPECT_EQ(SDL_GL_SetAttribute((SDL_GLattr)-1, 1), -1);
    EXPECT_EQ(SDL_RemoveTimer(nullptr), SDL_FALSE);
    SDL_Event event;
    EXPECT_GE(SDL_PollEvent(&event), 0);
}

// A video driver that does not exist: SDL_Init fails with its reason,
// as the player's "SDL initialization error" line needs.
TEST_F(Layer, InitWithoutAVideoDriverFails)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_LT(SDL_Init(SDL_INIT_VIDEO), 0);
    unsetenv("SDL_VIDEODRIVER");
    EXPECT_STRNE(SDL_GetError(), "");
}

std::atomic<int> fired{0};
Uint32 SDLCALL CountAndRearm(Uint32 interval, void *param)
{
    fired++;
    *(Uint32 *)param = SDL_GetTicks();
    return interval;
}

TEST_F(Layer, TimerFiresUntilRemoved)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0) << SDL_GetError();
    Uint32 last = 0;
    Uint32 start = SDL_GetTicks();
    SDL_TimerID id = SDL_AddTimer(10, CountAndRearm, &last);
    ASSERT_NE(id, nullptr);
    auto until = Clock::now() + std::chrono::seconds(10);
    while (fired < 5 && Clock::now() < until)
        SDL_Delay(5);
    EXPECT_GE(fired.load(), 5);
    EXPECT_GE(last, start);
    EXPECT_EQ(SDL_RemoveTimer(id), SDL_TRUE);
    EXPECT_EQ(SDL_RemoveTimer(id), SDL_FALSE) << "removed twice";
    int now = fired;
    SDL_Delay(50);
    EXPECT_LE(fired.load(), now + 1) << "the timer still runs";
}

int SDLCALL SetFlag(void *data)
{
    ((std::atomic<int> *)data)->store(42);
    return 0;
}

TEST_F(Layer, ThreadRunsItsFunction)
{
    ASSERT_EQ(SDL_Init(0), 0);
    std::atomic<int> flag{0};
    ASSERT_NE(SDL_CreateThread(SetFlag, &flag), nullptr) << SDL_GetError();
    auto until = Clock::now() + std::chrono::seconds(10);
    while (flag == 0 && Clock::now() < until)
        SDL_Delay(1);
    EXPECT_EQ(flag.load(), 42);
}

// The sound layer's use: one device, opened with 1.2's spec layout, and
// its status as SDL 1.2 reported it.
std::atomic<int> callbacks{0};
void SDLCALL Silence(void *, Uint8 *stream, int len)
{
    memset(stream, 0, len);
    callbacks++;
}

TEST_F(Layer, AudioDeviceOpensPlaysAndCloses)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_STOPPED);
    SDL_AudioSpec want = {};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Silence;
    ASSERT_EQ(SDL_OpenAudio(&want, nullptr), 0) << SDL_GetError();
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    SDL_PauseAudio(0);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);
    auto until = Clock::now() + std::chrono::seconds(10);
    while (callbacks == 0 && Clock::now() < until)
        SDL_Delay(5);
    SDL_LockAudio();
    int seen = callbacks;
    SDL_UnlockAudio();
    EXPECT_GT(seen, 0);
    SDL_CloseAudio();
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_STOPPED);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    unsetenv("SDL_AUDIODRIVER");
}

} // namespace
