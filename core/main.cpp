// The player (player-linux, player-win32): start-up, the frame loop and shutdown.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

static const char *const WINDOW_TITLE = "brass_tide2.0: warm light from cold metal";
static const char *const ICON_TITLE = "brass_tide";

static uint32_t video_flags = SDL_OPENGL | SDL_FULLSCREEN;

#ifdef _WIN32
static const int SOUND_OUTPUT = FSOUND_OUTPUT_DSOUND;
#else
static const int SOUND_OUTPUT = FSOUND_OUTPUT_OSS;
#endif

static void OpenSound(void)
{
    FSOUND_SetOutput(SOUND_OUTPUT);
    if (!FSOUND_Init(44100, 32, 0)) {
        printf("TARN_PLAYER: %s\n", Options_SoundErrorText(FSOUND_GetError()));
        FSOUND_Close();
        exit(1);
    }
    FSOUND_Stream_SetBufferSize(200);
    player_music = FSOUND_Stream_Open("brass_tide.mp3", 0, 0, 0);
}

static void OpenWindow(void)
{
    // Asked for before the mode is set, so that they apply to this window.
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    // Swaps wait for the display's refresh: without it the SDL 1.2 layer
    // swaps at once, so scrollers tear and the GPU draws frames nobody sees.
    // Demo time comes from the clock, not from frames, so only the frame
    // count changes. SDL12COMPAT_SYNC_TO_VBLANK still overrides it.
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    if (!SDL_SetVideoMode(640, 480, 32, video_flags))
        exit(1);
    SDL_ShowCursor(SDL_DISABLE);
    SDL_WM_SetCaption(WINDOW_TITLE, ICON_TITLE);
}

// Drains the event queue; true when the user asked to quit.
static bool QuitRequested(void)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            return true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)
            return true;
    }
    return false;
}

static void Shutdown(void)
{
    if (!player_silent) {
        FSOUND_Stream_Stop(player_music);
        FSOUND_Stream_Close(player_music);
        FSOUND_Close();
    }
    Clock_Stop();
    SDL_ShowCursor(SDL_ENABLE);
    exit(0);
}

// On Windows SDL.h renames this SDL_main: SDL's entry code builds the
// arguments, sends standard output and error to stdout.txt and stderr.txt
// and calls it.
int main(int argc, char **argv)
{
    // Trace lines must reach a pipe even if the process is killed mid-run.
    // Windows' C runtime buffers "line-buffered" streams fully, so there
    // each line goes out unbuffered into SDL's stdout.txt instead.
#ifdef _WIN32
    setvbuf(stdout, nullptr, _IONBF, 0);
#else
    setvbuf(stdout, nullptr, _IOLBF, 0);
#endif

    Render_TuneHeap();
    DisplayLoss_Watch();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) < 0) {
        printf("SDL initialization error ...\n");
        exit(1);
    }
    atexit(SDL_Quit);
    video_flags |= SDL_OPENGL | SDL_FULLSCREEN;
    Options_Parse(argc, argv, &video_flags);

    if (!player_silent)
        OpenSound();
    OpenWindow();

    ZAR_Open("./brass_tide.zar");
    Boot_Init();
    Loader_Start();
    if (player_debug)
        Loader_RunAllNow();
    Timeline_Start(&timeline_header, player_debug);
    Frame_StartThreaded();

    for (;;) {
        frame_result_t result = Frame_Run(SDL_GetTicks());
        if (result == FRAME_DONE)
            break;
        if (result == FRAME_DREW)
            SDL_GL_SwapBuffers();
        else
            SDL_Delay(CLOCK_PERIOD_MS);     // the last picture stays up: nothing to draw
        if (QuitRequested())
            break;
    }
    Shutdown();
    return 0;
}
