// The offscreen session: the player's start-up and frame loop on a virtual clock.
#include "tools/capture/session.h"

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/zar.h"
#include "render/headless.h"
#include "render/render.h"
#include "scenes/scenes.h"

namespace capture {

int64_t TicksBeforeFrame(int64_t n, int fps)
{
    return n * 100 / fps;
}

LoaderReplay::LoaderReplay(const loader_step_t *steps, int count, StepFn run)
    : steps_(steps), count_(count), run_(run)
{
}

void LoaderReplay::RunUntil(int64_t ms)
{
    while (next_ < count_) {
        const loader_step_t &step = steps_[next_];
        if (step.kind == LOADER_PAUSE) {
            if (pauses_ms_ + step.value > ms)
                return;
            pauses_ms_ += step.value;
        } else {
            run_(&step);
        }
        next_++;
    }
}

VirtualClock::VirtualClock(TickFn tick, LoaderReplay *loader) : tick_(tick), loader_(loader)
{
}

void VirtualClock::AdvanceTo(int64_t target)
{
    while (ticks_ < target) {
        ticks_++;
        tick_(10, nullptr);
        if (loader_)
            loader_->RunUntil(ticks_ * 10);
    }
}

namespace {

struct State {
    SessionConfig config;
    std::unique_ptr<LoaderReplay> loader;
    std::unique_ptr<VirtualClock> clock;
    int64_t next_index = 0;
    bool loading = false;           // a normal run: the loader's pauses come first
    bool ended = false;             // the sequencer reported the end
    int64_t hold_left = 0;
    bool finished = false;
    bool ever_shown = false;
    int64_t end_frame = 0;          // the frame that finds the end (planned)
    std::vector<int16_t> entries;   // the entry of each frame before it (planned)
    int64_t draw_from = 0;          // first frame rasterised
    bool scissored = false;         // frames are played without being drawn
    int width = kWidth, height = kHeight;
    int64_t shown_frame = -1;       // last frame drawn (not held)
    int64_t read_frame = -2;        // frame whose pixels `picture` holds
    std::vector<uint8_t> picture;
};

State *session;
bool session_used;

void ReadBack(int64_t frame)
{
    session->picture.resize((size_t)session->width * session->height * 3);
    Headless_ReadRGB(session->picture.data());
    session->read_frame = frame;
}

// The -debug header rewrite is the player's own: its option scanner gets
// just the three values, so it prints the same lines and makes the same checks.
void ApplyDebugWindow(const DebugWindow &w)
{
    std::string arg0 = "capture", arg1 = "-debug", a = w.start, b = w.end, c = w.offset;
    char *argv[] = {&arg0[0], &arg1[0], &a[0], &b[0], &c[0], nullptr};
    uint32_t unused_video_flags = 0;
    Options_Parse(5, argv, &unused_video_flags);
}

// Ticks that add nothing while the loader runs: its pauses before the step
// that starts the clock, which runs after the tick of the moment they end.
int64_t StandingTicks()
{
    int64_t ms = 0;
    for (int i = 0; i < loader_step_count && loader_steps[i].kind != LOADER_START_CLOCK; i++)
        if (loader_steps[i].kind == LOADER_PAUSE)
            ms += loader_steps[i].value;
    return (ms + CLOCK_PERIOD_MS - 1) / CLOCK_PERIOD_MS;
}

// The frame on which Timeline_Frame will report the end, found by stepping
// the clock and the switches as the sequencer does (one switch per frame at
// most, the same float additions), without drawing. The options keep demo
// times small enough that 0.01 always moves the clock, so this ends.
int64_t PlanEndFrame(const tl_header_t &h, int fps, int64_t standing, std::vector<int16_t> *entries)
{
    float global = h.start_time;
    const tl_entry_t *current = h.first;
    uint32_t remaining = h.last_index;
    int64_t ticks = 0;
    for (int64_t n = 0;; n++) {
        for (int64_t target = TicksBeforeFrame(n, fps); ticks < target; ticks++)
            global += ticks < standing ? 0.0f : 0.01f;
        if (!(h.end_time > global))
            return n;
        if (global >= current[1].start) {
            if (remaining == 0)
                return n;
            remaining--;
            current++;
        }
        entries->push_back((int16_t)(current - timeline_table));
    }
}

} // namespace

bool Session_Open(const SessionConfig &config, std::string *err)
{
    if (session_used) {
        *err = "one capture session per process: the demo's state is process-wide";
        return false;
    }
    if (config.fps < 1) {
        *err = "the frame rate must be at least 1";
        return false;
    }
    // Checked here because the archive reader ends the program silently.
    // Opened without waiting: a FIFO would block a plain open for ever.
    int archive = open(kArchivePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (archive < 0 || fstat(archive, &st) != 0 || !S_ISREG(st.st_mode)) {
        *err = std::string("cannot open ") + kArchivePath + " (" +
               (archive < 0 ? strerror(errno) : "not a regular file") +
               "); run from the folder that holds the demo's data";
        if (archive >= 0)
            close(archive);
        return false;
    }
    close(archive);
    if (config.scale < 1 || config.scale > kMaxScale) {
        *err = "the scale must be from 1 to " + std::to_string(kMaxScale);
        return false;
    }
    const char *why = "unknown reason";
    if (!Headless_Open(kWidth * config.scale, kHeight * config.scale, &why,
                       config.software ? HEADLESS_SOFTWARE : HEADLESS_ANY)) {
        *err = std::string("no offscreen OpenGL context: ") + why;
        return false;
    }
    // The frames come from the same GL driver as in the player: tune the
    // heap the same way, so that frame times compare.
    Render_TuneHeap();
    session_used = true;
    session = new State;
    session->config = config;
    session->width = kWidth * config.scale;
    session->height = kHeight * config.scale;
    Render_SetScale(config.scale);

    if (config.debug)
        ApplyDebugWindow(config.window);
    // No sound is played: a video gets the soundtrack muxed in afterwards.
    player_silent = 1;
    ZAR_Open(kArchivePath);
    Boot_Init();
    if (player_debug) {
        Loader_Start();
        Loader_RunAllNow();
        session->loader.reset(new LoaderReplay(loader_steps, 0, Loader_DoStep));
    } else {
        // As on the thread: the sequence runs only while the clock stands still.
        bool stopped = clock_step.load(std::memory_order_acquire) == 0.0f;
        session->loader.reset(new LoaderReplay(loader_steps, stopped ? loader_step_count : 0, Loader_DoStep));
        session->loading = stopped;
        session->loader->RunUntil(0);
    }
    session->clock.reset(new VirtualClock(Clock_Tick, session->loader.get()));
    Timeline_Prepare(&timeline_header, player_debug);
    session->end_frame =
        PlanEndFrame(timeline_header, config.fps, session->loading ? StandingTicks() : 0, &session->entries);
    // A span that starts in the hold shows the last drawn picture: draw that one.
    session->draw_from = std::min(std::max<int64_t>(config.first_frame, 0), std::max<int64_t>(session->end_frame - 1, 0));
    if (session->draw_from > 0) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 0, 0);
        session->scissored = true;
    }
    return true;
}

bool Session_Step(FrameInfo *info)
{
    if (!session || session->finished)
        return false;
    State &s = *session;
    FrameInfo f;
    f.index = s.next_index++;
    s.clock->AdvanceTo(TicksBeforeFrame(f.index, s.config.fps));
    f.ticks = s.clock->ticks();
    f.demo_time = Timeline_GlobalTime();
    f.skipped = f.index < s.config.first_frame;
    if (s.scissored && f.index >= s.draw_from) {
        // Back to the state a whole run has had all along.
        glDisable(GL_SCISSOR_TEST);
        glScissor(0, 0, s.width, s.height);
        s.scissored = false;
    }

    if (!s.ended) {
        auto t0 = std::chrono::steady_clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        int over = Timeline_Frame();
        if (s.config.finish_each_frame)
            glFinish();
        f.render_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (over) {
            // Like the player, the cleared frame is never shown: the last
            // picture stays up for one second.
            s.ended = true;
            s.hold_left = s.config.fps;
            if (!s.ever_shown)
                ReadBack(f.index);
        } else {
            s.ever_shown = true;
            s.shown_frame = f.index;
            if (s.config.keep_pictures && !s.scissored)
                ReadBack(f.index);
        }
    }
    f.entry = Timeline_CurrentIndex();
    if (s.ended) {
        f.held = true;
        if (--s.hold_left <= 0)
            s.finished = true;
    }
    *info = f;
    return true;
}

const std::vector<uint8_t> &Session_Picture()
{
    static const std::vector<uint8_t> none;
    if (!session)
        return none;
    if (!session->ended && session->read_frame != session->shown_frame)
        ReadBack(session->shown_frame);
    return session->picture;
}

int Session_Width()
{
    return session ? session->width : kWidth;
}

int Session_Height()
{
    return session ? session->height : kHeight;
}

int64_t Session_PlannedFrames()
{
    return session ? session->end_frame + session->config.fps : 0;
}

const std::vector<int16_t> &Session_PlannedEntries()
{
    static const std::vector<int16_t> none;
    return session ? session->entries : none;
}

std::string Session_Renderer()
{
    const GLubyte *name = glGetString(GL_RENDERER);
    return (name ? std::string((const char *)name) : std::string("unknown")) + ", EGL " + Headless_Platform();
}

void Session_Close()
{
    Headless_Close();
    delete session;
    session = nullptr;
}

} // namespace capture

// Leak checking (ASan builds): the GL driver keeps display lists and textures
// in memory that the checker cannot trace back to a live pointer, and reports
// it as lost at exit. Only the driver's own allocations are exempted.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libEGL_mesa.so\n"
           "leak:libGLX_mesa.so\n"
           "leak:libnvidia-\n"
           "leak:libEGL_nvidia.so\n"
           "leak:libGLX_nvidia.so\n";
}
