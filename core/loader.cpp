// The loading sequence: the scene inits while the loading screen is up,
// paced by fixed pauses so that the marks appear one by one. The native
// players run it on a thread of its own (loader_thread.cpp); the browser,
// which has none, steps through it from the frame routine.
#include "archive/zar.h"
#include "core/core.h"
#include "scenes/scenes.h"

std::atomic<int> load_flags[LOAD_FLAGS];

#define PAUSE(ms) {LOADER_PAUSE, ms, nullptr}
#define INIT(fn) {LOADER_INIT, 0, fn}
#define FLAG(k) {LOADER_FLAG, k, nullptr}

// The pauses add up to 8.8 s: the loading screen never flashes by.
const loader_step_t loader_steps[] = {
    PAUSE(2000), INIT(Mascot_Init), FLAG(0), PAUSE(1000), FLAG(1), PAUSE(500),
    INIT(Spikes_Init), FLAG(2), PAUSE(700), INIT(Wall_Init), FLAG(3), PAUSE(1000),
    INIT(Drum_Init), FLAG(4), PAUSE(1000), INIT(Gourd_Init), FLAG(5), PAUSE(600),
    INIT(Column_Init), FLAG(6), INIT(Marquee_Init), PAUSE(1000), FLAG(7),
    INIT(Finale_Init), {LOADER_CLOSE, 0, nullptr}, PAUSE(1000), {LOADER_START_CLOCK, 0, nullptr},
};
const int loader_step_count = (int)(sizeof loader_steps / sizeof loader_steps[0]);

void Loader_DoStep(const loader_step_t *step)
{
    switch (step->kind) {
    case LOADER_PAUSE:
        break;
    case LOADER_INIT:
        step->init();
        break;
    case LOADER_FLAG:
        load_flags[step->value].store(1, std::memory_order_release);
        break;
    case LOADER_CLOSE:
        ZAR_Close();
        break;
    case LOADER_START_CLOCK:
        // Release: every write of the inits is visible to whoever sees the clock move.
        clock_step.store(0.01f, std::memory_order_release);
        break;
    }
}

void Loader_RunAllNow(void)
{
    // Another order than the thread's, but the four inits that draw from
    // rand() keep their relative order, so the patterns are the same.
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
