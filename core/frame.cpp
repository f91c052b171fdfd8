// The frame routine: one step of the demo, called by each platform's own
// loop. It never blocks, sleeps, swaps or reads events, so a loop owned by
// somebody else (the browser's animation frames) can call it as well as
// the native players' plain loop.
#include <GL/gl.h>

#include "core/core.h"

enum frame_phase_t { PHASE_PLAYING, PHASE_HOLDING, PHASE_DONE };

static frame_phase_t frame_phase = PHASE_DONE;
static uint32_t frame_hold_from_ms;
// Inline pacing: the clock's ticks and the loader's steps are paid here.
static bool frame_inline;
static uint32_t frame_start_ms;
static const loader_step_t *frame_steps;
static int frame_step_count;
static int frame_next_step;
static uint32_t frame_pauses_ms;                // the loader's pauses passed so far

void Frame_StartThreaded(void)
{
    frame_inline = false;
    frame_steps = nullptr;
    frame_step_count = 0;
    frame_next_step = 0;
    frame_phase = PHASE_PLAYING;
}

// Runs the loader's steps whose pauses have passed by elapsed_ms after the
// start, in their order, as the thread would have by then.
static void Frame_RunLoader(uint32_t elapsed_ms)
{
    while (frame_next_step < frame_step_count) {
        const loader_step_t *step = &frame_steps[frame_next_step];
        if (step->kind == LOADER_PAUSE) {
            if (frame_pauses_ms + (uint32_t)step->value > elapsed_ms)
                return;
            frame_pauses_ms += (uint32_t)step->value;
        } else {
            Loader_DoStep(step);
        }
        frame_next_step++;
    }
}

void Frame_StartInline(tl_header_t *header, int debug, const loader_step_t *steps, int count, uint32_t now_ms)
{
    frame_inline = true;
    frame_start_ms = now_ms;
    frame_steps = steps;
    frame_step_count = count;
    frame_pauses_ms = 0;
    if (debug) {
        clock_step.store(0.01f, std::memory_order_release);
        Loader_RunAllNow();
    }
    // As on the thread: the sequence runs only while the clock stands still.
    frame_next_step = clock_step.load(std::memory_order_acquire) != 0.0f ? count : 0;
    Timeline_Prepare(header, debug);
    Clock_ResetPace(now_ms);
    Frame_RunLoader(0);
    frame_phase = PHASE_PLAYING;
}

frame_result_t Frame_Run(uint32_t now_ms)
{
    if (frame_phase == PHASE_DONE)
        return FRAME_DONE;
    if (frame_inline) {
        for (uint32_t n = Clock_PeriodsDue(now_ms); n > 0; n--)
            Clock_Tick(CLOCK_PERIOD_MS, nullptr);
        Frame_RunLoader(now_ms - frame_start_ms);
    }
    if (frame_phase == PHASE_HOLDING) {
        // Unsigned: the difference stays right across a wrap of the counter.
        if (now_ms - frame_hold_from_ms >= (uint32_t)FRAME_END_HOLD_MS) {
            frame_phase = PHASE_DONE;
            return FRAME_DONE;
        }
        return FRAME_HOLDING;
    }
    // The end is decided before anything is cleared: a browser shows a
    // cleared canvas even when nobody swaps it.
    if (Timeline_Advance()) {
        frame_phase = PHASE_HOLDING;
        frame_hold_from_ms = now_ms;
        return FRAME_HOLDING;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Timeline_Draw();
    return FRAME_DREW;
}
