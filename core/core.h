// Player core: the demo clock, the timeline and its sequencer, the loader
// thread and the start-up pieces that the player and the capture tool share.
//
// Threads: Clock_Tick runs on SDL's timer thread, Loader_Run on the loader
// thread, everything else on the main thread that owns the GL context. In
// the browser, which has no threads, the frame routine calls the tick and
// the loader's steps itself.
#pragma once

#include <atomic>
#include <cstdint>

#include "sound/fsound.h"

typedef void (*routine_t)(void);

// One scripted step of the demo. Field order follows the stored table; the
// derived fields (start, *_acc) are written by Timeline_Prepare.
struct tl_entry_t {
    float reserved;
    float start;                                // derived: demo time at which the entry begins
    float a_start, a_end, a_vel0, a_vel1, a_acc;
    float n0_start, n0_end, n0_vel0, n0_vel1, n0_acc;
    float n1_start, n1_end, n1_vel0, n1_vel1, n1_acc;
    float d0_start, d0_end, d0_rate;
    float d1_start, d1_end, d1_rate;
    float s0_amp, s0_freq, s0_phase;
    float s1_amp, s1_freq, s1_phase;
    routine_t setup;
    routine_t render;
};

struct tl_header_t {
    float start_time;
    float end_time;
    uint32_t last_index;                        // switches allowed; 41 for the full demo
    tl_entry_t *first;
};

// The seven values the scenes read; written once per frame by Timeline_Frame.
struct channels_t {
    float a, n0, n1, d0, d1, s0, s1;
};

enum { TL_ENTRIES = 42, TL_RECORDS = 43, LOAD_FLAGS = 8 };

extern tl_entry_t timeline_table[TL_RECORDS];
extern tl_header_t timeline_header;
extern channels_t chan;

// Seconds added per 10 ms tick: 0 while loading, 0.01 afterwards. Stored with
// release by whoever ends loading, loaded with acquire by the tick, so that
// everything the inits wrote is visible before the clock can move on.
extern std::atomic<float> clock_step;

// Raised one by one by the loader thread, drawn by the loading screen.
extern std::atomic<int> load_flags[LOAD_FLAGS];

// --- player state shared with the scenes (core/main) ---
extern int player_debug;                        // -debug given
extern int player_silent;                       // -silent given: the core makes no sound call
extern FSOUND_STREAM *player_music;             // soundtrack stream, may be empty

// --- timeline.cpp ---
// Derives start times and accelerations, resets the sequencer and prints the
// debug trace; does not start the clock (the capture tool drives it itself).
void Timeline_Prepare(tl_header_t *header, int debug);
// Timeline_Prepare, then the 10 ms SDL timer that calls Clock_Tick (loader_thread.cpp).
void Timeline_Start(tl_header_t *header, int debug);
// One frame step: switch entries, compute the channels, call the scene. 1 = demo over.
int Timeline_Frame(void);
// Timeline_Frame in two halves, so that the end is known before a frame is
// cleared. Switches entries (at most one); 1 = demo over, nothing to draw.
int Timeline_Advance(void);
// Computes the channels and calls the current entry's scene.
void Timeline_Draw(void);
// Frame routine of a freshly switched entry: setup, then the first render.
void Timeline_Enter(void);
// The demo clock's tick: adds the time step once to every clock; returns
// interval so that a timer calling it stays periodic.
uint32_t Clock_Tick(uint32_t interval, void *param);
// Pacing of the SDL timer against real time, so that the demo keeps time
// with its soundtrack however late the timer thread wakes up. Times are
// SDL's milliseconds, which on Linux stand still while the machine sleeps.
enum { CLOCK_PERIOD_MS = 10, CLOCK_HOLD_MS = 100, CLOCK_MAX_CATCHUP_MS = 10000 };
// Counts real time from now_ms on (the clock starts).
void Clock_ResetPace(uint32_t now_ms);
// How many ticks a timer wake-up at now_ms owes: one per whole period since
// the last one counted, none for an early or repeated wake-up. A gap of more
// than CLOCK_HOLD_MS is paid one wake-up later, when a stop of the process
// would have been noted; after a stop one tick, resuming from now_ms; a gap
// of more than CLOCK_MAX_CATCHUP_MS is taken for a stop nobody reported.
uint32_t Clock_PeriodsDue(uint32_t now_ms);
// The process was stopped and has been continued (SIGCONT): the soundtrack
// stood still too. Async-signal-safe.
void Clock_NoteContinued(void);
// Calls Clock_NoteContinued at every SIGCONT (not on Windows, which has none).
void Clock_WatchStops(void);
// Removes the SDL timer made by Timeline_Start (shutdown).
void Clock_Stop(void);
// Read-only views of the sequencer for tests and tools.
float Timeline_GlobalTime(void);
float Timeline_LocalTime(void);
const tl_entry_t *Timeline_Current(void);
int Timeline_CurrentIndex(void);                // index into timeline_table, -1 outside it

// --- options.cpp ---
// Scans the command line: prints the trace lines, sets the flags and rewrites
// the timeline header for -debug. Exits 1 on an unusable -debug offset.
void Options_Parse(int argc, char **argv, uint32_t *video_flags);
// The farthest from 0 a -debug start may lie, in seconds. The clock adds
// 0.01 s to a 32-bit float every 10 ms: within 2^15 s of 0 each step keeps
// its length to 2.3 % (0.1 % over the demo's own 310 s); beyond, the steps
// grow or shrink by a sixth and more, and from 2^18 s on they vanish, so the
// demo never moves. The capture tool holds its -debug window to the same bound.
constexpr double OPTIONS_DEBUG_LIMIT = 10000.0;
// The text for a sound error code; codes above 18 (unsigned) are unknown.
const char *Options_SoundErrorText(int code);

// --- display_loss.cpp (the player only) ---
// From now on a broken X connection ends the process at once with one line
// and status 1; the default handling exits through SDL_Quit, which then
// waits on the dead connection for ever. Does nothing on Windows.
void DisplayLoss_Watch(void);

// --- loader.cpp ---
// The loading sequence as data, so that the capture tool can replay it on a
// virtual clock with exactly the thread's order and pauses.
enum loader_kind_t { LOADER_PAUSE, LOADER_INIT, LOADER_FLAG, LOADER_CLOSE, LOADER_START_CLOCK };
struct loader_step_t {
    loader_kind_t kind;
    int value;                                  // milliseconds (pause) or flag number
    routine_t init;                             // the scene init (LOADER_INIT)
};
extern const loader_step_t loader_steps[];
extern const int loader_step_count;

// Starts the loader thread (normal start) or just sets the clock running
// (debug); loader_thread.cpp, with Timeline_Start and Clock_Stop, the core's
// only threads.
void Loader_Start(void);
// The loader thread's body: inits in their fixed order with fixed pauses.
int Loader_Run(void *unused);
// Carries out one step other than a pause (pauses are the caller's).
void Loader_DoStep(const loader_step_t *step);
// Debug mode: every scene init at once in the debug order, then ZAR_Close.
void Loader_RunAllNow(void);

// --- frame.cpp: the frame routine that every platform's loop calls ---
// What a frame did: the platform swaps after FRAME_DREW only; while
// FRAME_HOLDING the last picture stays up; after FRAME_DONE it shuts down.
enum frame_result_t { FRAME_DREW, FRAME_HOLDING, FRAME_DONE };
// The last picture stays up this long once the demo is over.
enum { FRAME_END_HOLD_MS = 1000 };
// The clock and the loader run on their own threads (Loader_Start and
// Timeline_Start came first): Frame_Run only draws.
void Frame_StartThreaded(void);
// No threads (the browser): Frame_Run pays the clock's ticks with the
// catch-up rule of Clock_PeriodsDue and runs the loader steps due, from
// now_ms on; debug runs every init at once as Loader_RunAllNow does.
void Frame_StartInline(tl_header_t *header, int debug, const loader_step_t *steps, int count, uint32_t now_ms);
// One frame at now_ms (milliseconds of a monotonic clock): decides the end
// before clearing, then draws, holds the last picture or reports the end.
frame_result_t Frame_Run(uint32_t now_ms);
