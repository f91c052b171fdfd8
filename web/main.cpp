// The player in a browser tab: the same start-up as the native players,
// with the page's canvas for a window, the frame routine called from the
// browser's animation frames and the demo clock paid from the page's
// monotonic clock, since a page has no threads and no timers that re-arm.
//
// The page fetches the archive and the soundtrack, writes the archive into
// the in-memory file system, decodes the soundtrack and then calls main
// with the URL's options as arguments (web/page/brass_tide.js).
#include <emscripten.h>
#include <emscripten/html5.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"
#include "web/web.h"

static EMSCRIPTEN_WEBGL_CONTEXT_HANDLE web_context;
static int web_quit_requested;
static int web_ended;
// The tests' picture hook (-shot T [-fps N], which the player's own option
// scan ignores): frames on a virtual clock, N a second, as fast as they
// can be drawn, up to the first frame at demo time T or later, which stays
// up. The clock then paces exactly as the capture tool's does.
static float web_shot_at = -1.0f;
static int web_shot_fps = 25;
static uint32_t web_shot_frame;

// The page's report of the end: how the demo ended, for its replay choice.
EM_JS(void, Web_ReportEnd, (int by_user), {
    if (Module.onDemoEnd)
        Module.onDemoEnd(by_user !== 0);
});

EM_JS(void, Web_ReportShot, (float demo_time, int entry), {
    if (Module.onShot)
        Module.onShot(demo_time, entry);
});

EM_JS(void, Web_ReportNoWebGL2, (void), {
    if (Module.onNoWebGL2)
        Module.onNoWebGL2();
});

static void OpenSound(void)
{
    FSOUND_SetOutput(FSOUND_OUTPUT_OSS);
    if (!FSOUND_Init(44100, 32, 0)) {
        printf("TARN_PLAYER: %s\n", Options_SoundErrorText(FSOUND_GetError()));
        FSOUND_Close();
        exit(1);
    }
    FSOUND_Stream_SetBufferSize(200);
    player_music = FSOUND_Stream_Open("brass_tide.mp3", 0, 0, 0);
}

static bool OpenCanvas(void)
{
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    attrs.majorVersion = 2;
    attrs.minorVersion = 0;
    attrs.alpha = EM_FALSE;
    attrs.depth = EM_TRUE;
    attrs.stencil = EM_FALSE;
    attrs.antialias = EM_FALSE;
    // The last picture must stay up while nothing is drawn (the end hold),
    // and the tests read the canvas back between frames.
    attrs.preserveDrawingBuffer = EM_TRUE;
    web_context = emscripten_webgl_create_context("#canvas", &attrs);
    if (web_context <= 0)
        return false;
    emscripten_webgl_make_context_current(web_context);
    return Web_InitGL();
}

static void Shutdown(bool by_user)
{
    if (!player_silent) {
        FSOUND_Stream_Stop(player_music);
        FSOUND_Stream_Close(player_music);
        FSOUND_Close();
    }
    web_ended = 1;
    Web_ReportEnd(by_user ? 1 : 0);
}

// Virtual milliseconds of shot frame n: the capture tool's ticks before it, n * 100 / fps.
static uint32_t Web_ShotMs(uint32_t n)
{
    return (uint32_t)((uint64_t)n * 100u / (uint32_t)web_shot_fps) * CLOCK_PERIOD_MS;
}

static EM_BOOL Web_ShotFrame(double unused_ms, void *unused)
{
    (void)unused_ms;
    (void)unused;
    // Several frames per animation frame: the picture only has to be right at the end.
    for (int k = 0; k < 8; k++) {
        frame_result_t result = Frame_Run(Web_ShotMs(web_shot_frame++));
        if (result != FRAME_DREW || Timeline_GlobalTime() >= web_shot_at) {
            Web_ReportShot(Timeline_GlobalTime(), Timeline_CurrentIndex());
            return EM_FALSE;
        }
    }
    return EM_TRUE;
}

// Frame costs for the page's benchmark (-bench): the entry drawn, the time
// the frame routine took and when the animation frame came.
static int web_bench;
EM_JS(void, Web_ReportFrame, (int entry, double cost_ms, double at_ms), {
    if (Module.onFrame)
        Module.onFrame(entry, cost_ms, at_ms);
});

static EM_BOOL Web_Frame(double now_ms, void *unused)
{
    (void)unused;
    if (web_quit_requested) {
        Shutdown(true);
        return EM_FALSE;
    }
    // The page's clock counts milliseconds from the page's opening: 49 days
    // pass before it wraps the 32-bit count the clock's pacing takes.
    double start = web_bench ? emscripten_performance_now() : 0.0;
    frame_result_t result = Frame_Run((uint32_t)now_ms);
    if (result == FRAME_DONE) {
        Shutdown(false);
        return EM_FALSE;
    }
    if (web_bench && result == FRAME_DREW)
        Web_ReportFrame(Timeline_CurrentIndex(), emscripten_performance_now() - start, now_ms);
    return EM_TRUE;
}

extern "C" {

// Escape in the page (the browser takes it first in its own full screen).
EMSCRIPTEN_KEEPALIVE void Web_RequestQuit(void)
{
    web_quit_requested = 1;
}

// Demo time now, for the page's sound check.
EMSCRIPTEN_KEEPALIVE float Web_DemoTime(void)
{
    return Timeline_GlobalTime();
}

EMSCRIPTEN_KEEPALIVE int Web_Ended(void)
{
    return web_ended;
}

} // extern "C"

int main(int argc, char **argv)
{
    uint32_t video_flags = 0;
    Options_Parse(argc, argv, &video_flags);
    // Full screen or not is the page's choice, with the browser's own API.
    (void)video_flags;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-shot") && i + 1 < argc)
            web_shot_at = strtof(argv[i + 1], nullptr);
        else if (!strcmp(argv[i], "-bench"))
            web_bench = 1;
        else if (!strcmp(argv[i], "-fps") && i + 1 < argc)
            web_shot_fps = atoi(argv[i + 1]) >= 1 ? atoi(argv[i + 1]) : 25;
    }
    bool shot = web_shot_at >= 0.0f;

    if (!player_silent)
        OpenSound();
    if (!OpenCanvas()) {
        Web_ReportNoWebGL2();
        exit(1);
    }

    ZAR_Open("./brass_tide.zar");
    Boot_Init();
    Frame_StartInline(&timeline_header, player_debug, loader_steps, loader_step_count,
                      shot ? 0u : (uint32_t)emscripten_performance_now());
    emscripten_request_animation_frame_loop(shot ? Web_ShotFrame : Web_Frame, nullptr);
    // The browser owns the loop: main ends here, the runtime stays.
    emscripten_exit_with_live_runtime();
    return 0;
}
