// The loader thread: runs the scene inits while the loading screen is up,
// paced by fixed pauses so that the marks appear one by one.
#include <SDL.h>
#include <SDL_thread.h>

#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "scenes/scenes.h"

std::atomic<int> load_flags[LOAD_FLAGS];

static SDL_Thread *loader_thread;

static void RaiseFlag(int k)
{
    load_flags[k].store(1, std::memory_order_release);
}

int Loader_Run(void *unused)
{
    (void)unused;
    // Runs only while the clock is stopped.
    if (clock_step.load(std::memory_order_acquire) != 0.0f)
        return 0;
    SDL_Delay(2000);
    Mascot_Init();
    RaiseFlag(0);
    SDL_Delay(1000);
    RaiseFlag(1);
    SDL_Delay(500);
    Spikes_Init();
    RaiseFlag(2);
    SDL_Delay(700);
    Wall_Init();
    RaiseFlag(3);
    SDL_Delay(1000);
    Drum_Init();
    RaiseFlag(4);
    SDL_Delay(1000);
    Gourd_Init();
    RaiseFlag(5);
    SDL_Delay(600);
    Column_Init();
    RaiseFlag(6);
    Marquee_Init();
    SDL_Delay(1000);
    RaiseFlag(7);
    Finale_Init();
    ZAR_Close();
    SDL_Delay(1000);
    // Release: every write of the inits above is visible to whoever sees the
    // clock move.
    clock_step.store(0.01f, std::memory_order_release);
    return 0;
}

void Loader_Start(void)
{
    if (player_debug) {
        clock_step.store(0.01f, std::memory_order_release);
        return;
    }
    loader_thread = SDL_CreateThread(Loader_Run, nullptr);
    if (!loader_thread)
        exit(1);
}

void Loader_RunAllNow(void)
{
    Mascot_Init();
    Drum_Init();
    Wall_Init();
    Gourd_Init();
    Marquee_Init();
    Spikes_Init();
    Finale_Init();
    Column_Init();
    ZAR_Close();
}
