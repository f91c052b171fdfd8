// The loader thread of the native players and the SDL timer that drives the
// demo clock there: the two pieces of the core that need threads.
#include <SDL.h>
#include <SDL_thread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/core.h"

static SDL_Thread *loader_thread;
static SDL_TimerID clock_timer;
// Set on the loader thread only, for the exit handler below.
static thread_local bool loader_on_this_thread;

// A scene init or the archive reader ends the process from the loader
// thread when its data is damaged. The exit handlers would then run SDL_Quit
// and Mesa's teardown on this thread while the main thread still draws: the
// teardown joins the rasteriser threads that the main thread's frame is
// waiting for, and the player hung for ever instead of ending with status 1.
// Registered after SDL_Quit, this handler runs before it and ends the
// process at once; the loader only ever exits on a failure, with status 1.
static void Loader_ExitAtOnce(void)
{
    if (!loader_on_this_thread)
        return;
    fflush(stdout);
    std::_Exit(1);
}

// SDL_Delay's millisecond sleep, without calling into SDL: a quit during
// loading runs SDL_Quit (at exit) while this thread still sleeps, and the
// SDL 1.2 layer over SDL2 no longer has a delay to call once it has quit;
// the thread would then crash the exiting process. The standard library's
// sleep carries on after signals and works alike on Linux and Windows.
static void Loader_Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int Loader_Run(void *unused)
{
    (void)unused;
    loader_on_this_thread = true;
    // The sequence runs only while the clock is stopped.
    if (clock_step.load(std::memory_order_acquire) != 0.0f)
        return 0;
    for (int i = 0; i < loader_step_count; i++) {
        if (loader_steps[i].kind == LOADER_PAUSE)
            Loader_Pause(loader_steps[i].value);
        else
            Loader_DoStep(&loader_steps[i]);
    }
    return 0;
}

void Loader_Start(void)
{
    if (player_debug) {
        clock_step.store(0.01f, std::memory_order_release);
        return;
    }
    atexit(Loader_ExitAtOnce);
    loader_thread = SDL_CreateThread(Loader_Run, nullptr);
    if (!loader_thread)
        exit(1);
}

static Uint32 SDLCALL Clock_TimerCallback(Uint32 interval, void *param)
{
    // SDL re-arms the timer from the moment the callback runs, so every
    // late wake-up would be lost for good: catch up whole periods of real
    // time instead, each one a tick of its own.
    for (uint32_t n = Clock_PeriodsDue(SDL_GetTicks()); n > 0; n--)
        Clock_Tick(interval, param);
    return interval;
}

void Timeline_Start(tl_header_t *header, int debug)
{
    Timeline_Prepare(header, debug);
    Clock_WatchStops();
    Clock_ResetPace(SDL_GetTicks());
    clock_timer = SDL_AddTimer(CLOCK_PERIOD_MS, Clock_TimerCallback, nullptr);
}

void Clock_Stop(void)
{
    if (clock_timer)
        SDL_RemoveTimer(clock_timer);
    clock_timer = nullptr;
}
