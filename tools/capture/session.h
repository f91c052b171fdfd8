// The demo played offscreen on a virtual clock: the player's own start-up,
// timeline and scenes, driven one frame at a time at a fixed frame rate.
//
// Time is counted in ticks of the 10 ms demo clock. Before frame n at N frames
// a second the clock has ticked floor(n*100/N) times; each tick is the
// player's own Clock_Tick, so demo time moves in exactly the same float steps
// as under SDL's timer. In a normal run the loader's sequence is replayed on
// the same clock: its pauses pass in virtual time and its other steps run
// between ticks at their moments, so nothing waits for real.
//
// The demo's state is process-wide and its scene inits run once, so a process
// has at most one session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"

namespace capture {

// The demo's own screen; a capture at scale N renders N times as wide and high.
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kMaxScale = 4;
constexpr const char *kArchivePath = "./brass_tide.zar";

// Clock ticks made before frame n at fps frames a second (integer arithmetic).
int64_t TicksBeforeFrame(int64_t n, int fps);

// The loader's steps on the virtual clock: a pause ends when its time has
// passed, every other step runs as soon as the pauses before it are over.
class LoaderReplay {
public:
    typedef void (*StepFn)(const loader_step_t *);
    LoaderReplay(const loader_step_t *steps, int count, StepFn run);
    // Runs every step due at or before ms milliseconds after the loader started.
    void RunUntil(int64_t ms);
    bool Done() const { return next_ >= count_; }

private:
    const loader_step_t *steps_;
    int count_;
    StepFn run_;
    int next_ = 0;
    int64_t pauses_ms_ = 0;     // loader time at which the current pause (if any) began
};

// The 10 ms clock without a timer. At each tick the clock moves first and the
// loader then takes the steps that have come due: the tick at 8800 ms still
// finds the clock standing, so it stands for the whole 8.8 s of pauses.
class VirtualClock {
public:
    typedef uint32_t (*TickFn)(uint32_t, void *);
    VirtualClock(TickFn tick, LoaderReplay *loader);
    // Ticks until ticks() == target (never backwards).
    void AdvanceTo(int64_t target);
    int64_t ticks() const { return ticks_; }

private:
    TickFn tick_;
    LoaderReplay *loader_;
    int64_t ticks_ = 0;
};

// -debug's three values, as text, exactly as the player would read them.
struct DebugWindow {
    std::string start, end, offset;
};

struct SessionConfig {
    int fps = 60;
    bool debug = false;
    DebugWindow window;
    // Read every shown frame back, so that the picture held after the end is
    // known (the end frame itself has already been cleared).
    bool keep_pictures = false;
    // glFinish at each frame end, so that frame times include the GL's work.
    bool finish_each_frame = false;
    // Renders at scale * 640 x scale * 480 (1 to kMaxScale).
    int scale = 1;
    // Frames before this one are played without being rasterised: every GL
    // command and every scene's state as in a whole run, with a zero-size
    // scissor box, so that a worker can start a span anywhere and match.
    int64_t first_frame = 0;
    // The software rasteriser even where a hardware GPU is found.
    bool software = false;
};

struct FrameInfo {
    int64_t index = 0;          // frame number, 0 first
    int64_t ticks = 0;          // clock ticks made before this frame
    float demo_time = 0;        // global demo time the frame was drawn at
    int entry = -1;             // current timeline entry after the frame step
    bool held = false;          // the demo has ended: the last picture stays up
    bool skipped = false;       // before the first frame asked for: played, not drawn
    double render_ms = 0;       // clear + frame step (+ glFinish when asked), wall clock
};

// Brings the demo up as the player does (archive, loading screen init, and in
// debug mode every init at once) in an offscreen GL context. False with a
// message when the archive is missing or no GL context can be made.
bool Session_Open(const SessionConfig &config, std::string *err);
// Draws the next frame; after the end, the one-second hold repeats the last
// picture while the clock keeps ticking. False once the hold is over.
bool Session_Step(FrameInfo *info);
// The picture on show, RGB, top row first; read back on first use per frame.
// Not for skipped frames.
const std::vector<uint8_t> &Session_Picture();
// The frame size in pixels (the demo's 640 x 480 times the scale).
int Session_Width();
int Session_Height();
// Exactly how many frames the run takes, hold included: the sequencer's end
// worked out from the clock's float steps before anything is drawn.
int64_t Session_PlannedFrames();
// The timeline entry each frame before the end shows, as planned (the held
// frames after them show the last picture again).
const std::vector<int16_t> &Session_PlannedEntries();
// The GL renderer's name and the EGL platform that gave it, for reports.
std::string Session_Renderer();
// Releases the GL context.
void Session_Close();

} // namespace capture
