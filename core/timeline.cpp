// The timeline table and the sequencer that plays it, plus the demo clock.
//
// The clock's tick runs on SDL's timer thread (or, in the browser, on the
// main thread from the frame routine) and only ever adds the time
// step; the frame step on the main thread reads the clocks and resets them to
// 0 at an entry switch or a ramp restart. Every shared value is an atomic
// float updated by compare-and-swap, so an add and a reset never lose each
// other: whichever lands second sees the first. Local time and its square
// travel together in one 64-bit word so that a frame never mixes the square
// of one tick with the time of another.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "scenes/scenes.h"

// Columns: a start, end, start velocity, end velocity;
//          n0 start, end, start velocity, end velocity; n1 start, end, start velocity;
//          d0 start, end, rate; d1 start, end, rate;
//          s0 amplitude, frequency, phase; s1 amplitude, frequency, phase; setup; render.
#define TL(a0, a1, av0, av1, n00, n01, n0v0, n0v1, n10, n11, n1v0, d00, d01, d0r, d10, d11, d1r, \
           s0a, s0f, s0p, s1a, s1f, s1p, setup, render)                                            \
    { 0, 0, a0, a1, av0, av1, 0, n00, n01, n0v0, n0v1, 0, n10, n11, n1v0, 0, 0,                  \
      d00, d01, d0r, d10, d11, d1r, s0a, s0f, s0p, s1a, s1f, s1p, setup, render }

tl_entry_t timeline_table[TL_RECORDS] = {
    /*  0 */ TL(0, 40, 25, 30,            0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Boot_SetupLoading, Boot_RenderLoading),
    /*  1 */ TL(0, -360, -20, -202,       0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Boot_SetupOpening, Boot_RenderFirstWave),
    /*  2 */ TL(0, -360, -20, -202,       0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Boot_RenderSecondWave),
    /*  3 */ TL(0, 350, 0, 302.1,         0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Boot_SetupBars, Boot_RenderBars),
    /*  4 */ TL(0, 1440, 270, 270,        1, 0, -0.01, 0,      0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Mascot_Setup, Mascot_RenderFade),
    /*  5 */ TL(1440, 3600, 270, 270,     0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Mascot_RenderLogo),
    /*  6 */ TL(3600, 5040, 270, 270,     0, 1, 0.01, 0,       0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Mascot_RenderFade),
    /*  7 */ TL(5040, 5400, 270, 270,     0, 680, 20, 0,       640, -40, -20,  0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Mascot_RenderWipe),
    /*  8 */ TL(-960, 0, 300, 800,        0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Drum_Setup, Drum_RenderWipe),
    /*  9 */ TL(1, 0, -0.1, -0.6,         0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderLetterbox),
    /* 10 */ TL(0, 70, 0, 20,             0, 0, 0, 0,          0, 0, 0,        0, 70, 10,      0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderEyes),
    /* 11 */ TL(0, 50, 0, 20,             1, 0, -0.04, 0,      0, 0, 0,        0, 49.5, 4,     0, 52, 60,   0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderWindows),
    /* 12 */ TL(0, 80.5, 4, 4,            0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 52, 60,   0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderReveal),
    /* 13 */ TL(0, 50, 0, 20,             0, 1, 0.04, 0,       0, 0, 0,        80, 80, 0,      0, 52, 60,   0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderWindows),
    /* 14 */ TL(0, 1, 0.1, 0.6,           0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderLetterbox),
    /* 15 */ TL(0, 960, 300, 800,         0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Drum_RenderWipe),
    /* 16 */ TL(-70, -40, 0, 20,          1, 0, -0.2, 0,       0, 0, 0,        0, 8.5, 20,     0, 0, 0,     0, 0, 0,     0, 0, 0,   Wall_Setup, Wall_RenderFadeIn),
    /* 17 */ TL(-40, 50, 20, 5,           0, 0, 0, 0,          0, 0, 0,        0, 8.5, 20,     0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Wall_RenderRowWave),
    /* 18 */ TL(-70, 50, 20, 5,           0, 0, 0, 0,          0, 0, 0,        0, 8.5, 20,     0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Wall_RenderCrossWave),
    /* 19 */ TL(-70, 30, 20, 5,           0, 0, 0, 0,          0, 0, 0,        0, 8.5, 20,     0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Wall_RenderDiagonalWave),
    /* 20 */ TL(30, 70, 0, 20,            0, 1, 0.04, 0,       0, 0, 0,        0, 8.5, 20,     0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Wall_RenderFadeOut),
    /* 21 */ TL(480, 0, -660, -260,       0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Gourd_Setup, Gourd_RenderCurtain),
    /* 22 */ TL(0, 180, 60, 60,           240, 0, -90, 0,      0, 480, 180,    0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderOpening),
    /* 23 */ TL(180, 360, 60, 60,         1, 1, 0, 0,          1, 1, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderSpin),
    /* 24 */ TL(360, 1080, 60, 60,        1, 2.8, 0.2, 0,      1, 2.2, 0.2,    0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderSpin),
    /* 25 */ TL(1080, 1440, 60, 60,       2.8, 1, -0.2, 0,     2.2, 1, -0.2,   0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderSpin),
    /* 26 */ TL(1440, 1620, 60, 60,       0, 240, 90, 0,       480, 0, -180,   0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderOpening),
    /* 27 */ TL(0, -480, -260, -660,      0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Gourd_RenderCurtain),
    /* 28 */ TL(800, -46999, -940, -940,  0, 0, 0, 0,          0, 0, 0,        0, 360, 30,     0, 360, 50,  10, 3, 0,    0.5, 3, 0, Marquee_Setup, Marquee_Render),
    /* 29 */ TL(180, 360, 60, 90,         1, 0, -0.9, -0.4,    0, 0, 0,        0, 4.5, 10,     0, 0, 0,     0, 0, 0,     0, 0, 0,   Spikes_Setup, Spikes_RenderFadeIn),
    /* 30 */ TL(0, 720, 90, 90,           0, 0, 0, 0,          0, 0, 0,        0, 4.5, 10,     0, 0, 0,     500, 0.4, 0, 0, 0, 0,   nullptr, Spikes_RenderTopRight),
    /* 31 */ TL(0, 720, 90, 90,           0, 0, 0, 0,          0, 0, 0,        0, 4.5, 10,     0, 0, 0,     500, 0.4, 0, 0, 0, 0,   nullptr, Spikes_RenderBottomRight),
    /* 32 */ TL(0, 720, 90, 90,           0, 0, 0, 0,          0, 0, 0,        0, 4.5, 10,     0, 0, 0,     500, 0.4, 0, 0, 0, 0,   nullptr, Spikes_RenderTopLeft),
    /* 33 */ TL(0, 720, 90, 90,           0, 0, 0, 0,          0, 0, 0,        0, 4.5, 10,     0, 0, 0,     500, 0.4, 0, 0, 0, 0,   nullptr, Spikes_RenderBottomLeft),
    /* 34 */ TL(0, 180, 60, 90,           0, 1, 0.9, 0.4,      0, 0, 0,        0, 4.5, 10,     0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Spikes_RenderFadeOut),
    /* 35 */ TL(40, -40, -4, -4,          0, 0, 0, 0,          0, 0, 0,        0, 24, 20,      0, 0, 0,     0, 0, 0,     0, 0, 0,   Column_Setup, Column_Render),
    /* 36 */ TL(0, 482, 480, 100,         0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   Finale_Setup, Finale_RenderSlideIn),
    /* 37 */ TL(0, 19, 25, 30,            0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Finale_RenderTunnel),
    /* 38 */ TL(0, 2500, 50, 50,          0, 0, 0, 0,          0, 0, 0,        0, 20.21, 26.131, 0, 0, 0,   60, 2, 0,    0, 0, 0,   nullptr, Finale_RenderScroller),
    /* 39 */ TL(19, 0, -25, -30,          0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0, 0, 0,     0, 0, 0,   nullptr, Finale_RenderTunnel),
    /* 40 */ TL(480, -4, -480, -100,      0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0.25, 30, 0, 0, 0, 0,   nullptr, Finale_RenderSlideOut),
    /* 41 */ TL(0, 1, 0.01, 0.2,          0, 0, 0, 0,          0, 0, 0,        0, 0, 0,        0, 0, 0,     0.25, 30, 0, 0, 0, 0,   nullptr, Finale_RenderZoomFade),
    /* closing record: its start time receives the end of entry 41 */
    TL(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr),
};

tl_header_t timeline_header = {0.0f, 310.0f, 41u, &timeline_table[0]};
channels_t chan;
std::atomic<float> clock_step{0.01f};

// --- sequencer state ---
static std::atomic<float> tl_global{0.0f};
static std::atomic<uint64_t> tl_local{0};       // low word: local time, high word: its square
static std::atomic<float> tl_d0acc{0.0f};
static std::atomic<float> tl_d1acc{0.0f};
static uint32_t tl_remaining;
static tl_entry_t *tl_current;
static tl_header_t *tl_header;
static int tl_trace;
static routine_t tl_frame_routine = Timeline_Enter;

static uint64_t PackLocal(float t, float t2)
{
    uint32_t a, b;
    std::memcpy(&a, &t, 4);
    std::memcpy(&b, &t2, 4);
    return (uint64_t)a | ((uint64_t)b << 32);
}

static void UnpackLocal(uint64_t v, float *t, float *t2)
{
    uint32_t a = (uint32_t)v, b = (uint32_t)(v >> 32);
    std::memcpy(t, &a, 4);
    std::memcpy(t2, &b, 4);
}

static void AtomicAdd(std::atomic<float> &v, float s)
{
    float old = v.load(std::memory_order_relaxed);
    while (!v.compare_exchange_weak(old, old + s, std::memory_order_relaxed)) {
    }
}

uint32_t Clock_Tick(uint32_t interval, void *param)
{
    (void)param;
    float s = clock_step.load(std::memory_order_acquire);
    AtomicAdd(tl_global, s);
    uint64_t old = tl_local.load(std::memory_order_relaxed);
    for (;;) {
        float t, t2;
        UnpackLocal(old, &t, &t2);
        t = t + s;
        t2 = t * t;
        if (tl_local.compare_exchange_weak(old, PackLocal(t, t2), std::memory_order_relaxed))
            break;
    }
    AtomicAdd(tl_d0acc, s);
    AtomicAdd(tl_d1acc, s);
    return interval;
}

// --- pacing: the timer's wake-ups against real time ---
// SDL's milliseconds come from CLOCK_MONOTONIC_RAW on Linux, which does not
// advance while the machine sleeps: a suspend shows no gap at all. A gap is
// then either the timer thread kept from running (a loaded machine), while
// the sound thread plays on, so the pictures must catch up; or the whole
// process stopped (job control, a debugger), the soundtrack with it, so
// replaying the gap would rush the pictures ahead of it through whole scenes.
// Job control says so with SIGCONT; a debugger says nothing, hence the cap.

// Real time already turned into ticks: the millisecond at which the last
// whole period ended. Set before the timer starts, then only the timer
// thread reads and writes it, as it does the two below.
static std::atomic<uint32_t> clock_paced_ms{0};
static uint32_t clock_continues_seen;
static bool clock_held;                         // a long gap waits one wake-up
// SIGCONTs so far; bumped by the signal handler on whichever thread takes it.
static std::atomic<uint32_t> clock_continues{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the signal handler needs a lock-free counter");

void Clock_ResetPace(uint32_t now_ms)
{
    clock_paced_ms.store(now_ms, std::memory_order_relaxed);
    clock_continues_seen = clock_continues.load(std::memory_order_relaxed);
    clock_held = false;
}

void Clock_NoteContinued(void)
{
    clock_continues.fetch_add(1, std::memory_order_relaxed);
}

#ifndef _WIN32
static void Clock_OnContinue(int signal_number)
{
    (void)signal_number;
    Clock_NoteContinued();
}
#endif

void Clock_WatchStops(void)
{
#ifndef _WIN32
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = Clock_OnContinue;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGCONT, &action, nullptr);
#endif
}

uint32_t Clock_PeriodsDue(uint32_t now_ms)
{
    // Unsigned: SDL's millisecond counter may wrap after 49 days.
    uint32_t paced = clock_paced_ms.load(std::memory_order_relaxed);
    uint32_t elapsed = now_ms - paced;
    const uint32_t continues = clock_continues.load(std::memory_order_relaxed);
    if (continues != clock_continues_seen) {
        // Stopped and continued since the last wake-up: the music waited too.
        clock_continues_seen = continues;
        clock_held = false;
        clock_paced_ms.store(now_ms, std::memory_order_relaxed);
        return 1;
    }
    if (elapsed > CLOCK_HOLD_MS && !clock_held) {
        // All threads resume together after a stop, and the SIGCONT may be
        // taken by another one a moment after this one woke: decide at the
        // next wake-up, a period later.
        clock_held = true;
        return 0;
    }
    clock_held = false;
    if (elapsed > CLOCK_MAX_CATCHUP_MS) {
        // Ten seconds of a timer kept from running while the sound plays on
        // is beyond any load the demo can be watched under: take it for a
        // stop nobody reported and count this wake-up as one period.
        clock_paced_ms.store(now_ms, std::memory_order_relaxed);
        return 1;
    }
    uint32_t periods = elapsed / CLOCK_PERIOD_MS;
    // The part of a period not yet over stays owed to the next wake-up.
    clock_paced_ms.store(paced + periods * CLOCK_PERIOD_MS, std::memory_order_relaxed);
    return periods;
}

// Duration from channel a's even change of velocity; also the source of the
// next entry's start time.
static void DeriveEntry(uint32_t i, tl_entry_t *e, tl_entry_t *f)
{
    double t = 2.0 * ((double)e->a_end - (double)e->a_start) / ((double)e->a_vel0 + (double)e->a_vel1);
    f->start = (float)((double)e->start + std::fabs(t));
    double dur = ((double)e->start + std::fabs(t)) - (double)e->start;

    e->a_acc = (float)(((double)e->a_vel1 - (double)e->a_vel0) / dur);
    e->n0_acc = (float)(2.0 * ((double)e->n0_end - (double)e->n0_start - (double)e->n0_vel0 * dur) / (dur * dur));
    e->n1_acc = (float)(2.0 * ((double)e->n1_end - (double)e->n1_start - (double)e->n1_vel0 * dur) / (dur * dur));

    if (tl_trace == 1) {
        float span = f->start - e->start;
        printf("%i ent: %+.3f a_a0: %+.3f a_n0: %+.3f a_n1: %+.3f d0: %+.3f d1: %+.3f\n", (int)i, span,
               e->a_acc, e->n0_acc, e->n1_acc, span * e->d0_rate / (e->d0_end - e->d0_start),
               dur * e->d1_rate / (e->d1_end - e->d1_start));
    }
}

void Timeline_Prepare(tl_header_t *header, int debug)
{
    tl_trace = debug;
    tl_current = header->first;
    tl_global.store(header->start_time, std::memory_order_relaxed);
    tl_local.store(0, std::memory_order_relaxed);
    tl_d0acc.store(0.0f, std::memory_order_relaxed);
    tl_d1acc.store(0.0f, std::memory_order_relaxed);
    tl_remaining = header->last_index;
    tl_header = header;
    tl_frame_routine = Timeline_Enter;

    tl_entry_t *e = tl_current;
    for (uint32_t i = 0; i <= tl_remaining; i++, e++)
        DeriveEntry(i, e, e + 1);
}

// A sawtooth: climbs from start at rate, and jumps back to start (with its
// accumulator) once it is strictly above end.
static float Ramp(float start, float end, float rate, std::atomic<float> &acc)
{
    float v = start + rate * acc.load(std::memory_order_relaxed);
    if (v > end) {
        v = start;
        acc.store(0.0f, std::memory_order_relaxed);
    }
    return v;
}

int Timeline_Advance(void)
{
    float now = tl_global.load(std::memory_order_relaxed);
    if (!(tl_header->end_time > now)) {
        if (tl_trace == 1)
            printf("BT_x: end of demo time.\n");
        return 1;
    }
    if (now >= tl_current[1].start) {
        if (tl_trace == 1)
            printf("%+.3f\n", now);
        if (tl_remaining == 0) {
            if (tl_trace == 1)
                printf("BT_x: end of effects.\n");
            return 1;
        }
        tl_remaining--;
        tl_current++;
        tl_frame_routine = Timeline_Enter;
        tl_local.store(0, std::memory_order_relaxed);
        tl_d0acc.store(0.0f, std::memory_order_relaxed);
        tl_d1acc.store(0.0f, std::memory_order_relaxed);
    }
    return 0;
}

void Timeline_Draw(void)
{
    const tl_entry_t *e = tl_current;
    float t, t2;
    UnpackLocal(tl_local.load(std::memory_order_relaxed), &t, &t2);
    chan.a = e->a_start + e->a_vel0 * t + 0.5f * e->a_acc * t2;
    chan.n0 = e->n0_start + e->n0_vel0 * t + 0.5f * e->n0_acc * t2;
    chan.n1 = e->n1_start + e->n1_vel0 * t + 0.5f * e->n1_acc * t2;
    chan.d0 = Ramp(e->d0_start, e->d0_end, e->d0_rate, tl_d0acc);
    chan.d1 = Ramp(e->d1_start, e->d1_end, e->d1_rate, tl_d1acc);
    chan.s0 = e->s0_amp * sinf(e->s0_freq * t + e->s0_phase);
    chan.s1 = e->s1_amp * sinf(e->s1_freq * t + e->s1_phase);

    if (tl_frame_routine)
        tl_frame_routine();
}

int Timeline_Frame(void)
{
    if (Timeline_Advance())
        return 1;
    Timeline_Draw();
    return 0;
}

void Timeline_Enter(void)
{
    const tl_entry_t *e = tl_current;
    tl_frame_routine = e->render;
    if (e->setup)
        e->setup();
    if (e->render)
        tl_frame_routine();
}

float Timeline_GlobalTime(void)
{
    return tl_global.load(std::memory_order_relaxed);
}

float Timeline_LocalTime(void)
{
    float t, t2;
    UnpackLocal(tl_local.load(std::memory_order_relaxed), &t, &t2);
    return t;
}

const tl_entry_t *Timeline_Current(void)
{
    return tl_current;
}

int Timeline_CurrentIndex(void)
{
    // Compared as addresses: tests play tables of their own.
    uintptr_t at = (uintptr_t)tl_current, base = (uintptr_t)timeline_table;
    if (!tl_current || at < base || at >= base + sizeof timeline_table)
        return -1;
    return (int)((at - base) / sizeof(tl_entry_t));
}
