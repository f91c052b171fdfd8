// SDL 1.2 over SDL2: the calls include/SDL.h maps onto SDL12_..., those
// whose form or meaning SDL2 changed. The others are SDL2's own symbols.
//
// Only SDL2's headers are seen here: the 1.2 header declares many of the
// same names with other values. The 1.2 values and layouts this file needs
// are restated below, as include/SDL.h declares them.
//
// Full screen keeps the desktop's mode: the window covers the display at
// its own resolution, the player draws into an offscreen framebuffer of
// the size it asked for, and every swap scales that into the window with
// its aspect kept, between black bars. The viewer's variables are those of
// the SDL 1.2 layer on Linux, so one description serves both builds.
#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

// --- SDL 1.2's values and layouts (include/SDL.h) ---------------------------
static const Uint32 SDL12_INIT_KNOWN = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO;   // same bits in 1.2
static const Uint32 SDL12_OPENGL = 0x00000002u;
static const Uint32 SDL12_FULLSCREEN = 0x80000000u;
static const int SDL12_GL_SWAP_CONTROL = 16;
static const Uint8 SDL12_KEYDOWN = 2, SDL12_KEYUP = 3, SDL12_QUIT = 12;

struct SDL12_Surface {
    Uint32 flags;
    void *format;
    int w, h;
    Uint16 pitch;
    void *pixels;
};

struct SDL12_keysym {
    Uint8 scancode;
    int sym;
    int mod;
    Uint16 unicode;
};

struct SDL12_KeyboardEvent {
    Uint8 type;
    Uint8 which;
    Uint8 state;
    SDL12_keysym keysym;
};

union SDL12_Event {
    Uint8 type;
    SDL12_KeyboardEvent key;
};

struct SDL12_Timer;

// SDL 1.2's GL attributes in their order, as SDL2 names them; SWAP_CONTROL
// follows them and has no attribute in SDL2 (it became a call).
static const SDL_GLattr sdl12_gl_attrs[] = {
    SDL_GL_RED_SIZE,         SDL_GL_GREEN_SIZE,         SDL_GL_BLUE_SIZE,          SDL_GL_ALPHA_SIZE,
    SDL_GL_BUFFER_SIZE,      SDL_GL_DOUBLEBUFFER,       SDL_GL_DEPTH_SIZE,         SDL_GL_STENCIL_SIZE,
    SDL_GL_ACCUM_RED_SIZE,   SDL_GL_ACCUM_GREEN_SIZE,   SDL_GL_ACCUM_BLUE_SIZE,    SDL_GL_ACCUM_ALPHA_SIZE,
    SDL_GL_STEREO,           SDL_GL_MULTISAMPLEBUFFERS, SDL_GL_MULTISAMPLESAMPLES, SDL_GL_ACCELERATED_VISUAL,
};

// --- state -------------------------------------------------------------------
static SDL_Window *sdl12_window;
static SDL_GLContext sdl12_context;
static SDL12_Surface sdl12_surface;
static char sdl12_caption[256];
static int sdl12_swap_control = -1;     // SDL_GL_SWAP_CONTROL as asked; -1: never asked

// The offscreen picture of a scaled full screen (0: drawing into the window).
static GLuint sdl12_fbo;
static GLuint sdl12_renderbuffers[2];   // colour, depth and stencil
static GLenum sdl12_filter;

static PFNGLGENFRAMEBUFFERSPROC sdl12_glGenFramebuffers;
static PFNGLDELETEFRAMEBUFFERSPROC sdl12_glDeleteFramebuffers;
static PFNGLBINDFRAMEBUFFERPROC sdl12_glBindFramebuffer;
static PFNGLFRAMEBUFFERRENDERBUFFERPROC sdl12_glFramebufferRenderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSPROC sdl12_glCheckFramebufferStatus;
static PFNGLGENRENDERBUFFERSPROC sdl12_glGenRenderbuffers;
static PFNGLDELETERENDERBUFFERSPROC sdl12_glDeleteRenderbuffers;
static PFNGLBINDRENDERBUFFERPROC sdl12_glBindRenderbuffer;
static PFNGLRENDERBUFFERSTORAGEPROC sdl12_glRenderbufferStorage;
static PFNGLBLITFRAMEBUFFERPROC sdl12_glBlitFramebuffer;

extern "C" {

int SDLCALL SDL12_Init(Uint32 flags)
{
    return SDL_Init(flags & SDL12_INIT_KNOWN);
}

// --- time --------------------------------------------------------------------
// SDL2's callback has 1.2's "new" form; only the id changed from a pointer
// to a number, which fits in the pointer.
SDL12_Timer *SDLCALL SDL12_AddTimer(Uint32 interval, SDL_TimerCallback callback, void *param)
{
    SDL_TimerID id = SDL_AddTimer(interval, callback, param);
    return id ? (SDL12_Timer *)(intptr_t)id : nullptr;
}

SDL_bool SDLCALL SDL12_RemoveTimer(SDL12_Timer *id)
{
    return id ? SDL_RemoveTimer((SDL_TimerID)(intptr_t)id) : SDL_FALSE;
}

// --- threads -----------------------------------------------------------------
SDL_Thread *SDLCALL SDL12_CreateThread(int(SDLCALL *fn)(void *), void *data)
{
    return SDL_CreateThread(fn, "SDL12 thread", data);
}

} // extern "C"

// --- video -------------------------------------------------------------------
static bool SDL12_HintIsSet(const char *name)
{
    return SDL_GetHint(name) != nullptr;
}

static bool SDL12_LoadFramebufferCalls(void)
{
    if (!SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object"))
        return false;
#define SDL12_LOAD(name) (sdl12_##name = (decltype(sdl12_##name))SDL_GL_GetProcAddress(#name)) != nullptr
    return SDL12_LOAD(glGenFramebuffers) && SDL12_LOAD(glDeleteFramebuffers) && SDL12_LOAD(glBindFramebuffer) &&
           SDL12_LOAD(glFramebufferRenderbuffer) && SDL12_LOAD(glCheckFramebufferStatus) &&
           SDL12_LOAD(glGenRenderbuffers) && SDL12_LOAD(glDeleteRenderbuffers) &&
           SDL12_LOAD(glBindRenderbuffer) && SDL12_LOAD(glRenderbufferStorage) && SDL12_LOAD(glBlitFramebuffer);
#undef SDL12_LOAD
}

static void SDL12_DeleteFramebuffer(void)
{
    if (!sdl12_fbo)
        return;
    sdl12_glBindFramebuffer(GL_FRAMEBUFFER, 0);
    sdl12_glDeleteRenderbuffers(2, sdl12_renderbuffers);
    sdl12_glDeleteFramebuffers(1, &sdl12_fbo);
    sdl12_fbo = 0;
}

// The offscreen width x height picture, left bound for drawing; false when
// the GL has no framebuffer objects or refuses this one.
static bool SDL12_CreateFramebuffer(int width, int height)
{
    if (!SDL12_LoadFramebufferCalls())
        return false;
    sdl12_glGenFramebuffers(1, &sdl12_fbo);
    sdl12_glGenRenderbuffers(2, sdl12_renderbuffers);
    sdl12_glBindFramebuffer(GL_FRAMEBUFFER, sdl12_fbo);
    sdl12_glBindRenderbuffer(GL_RENDERBUFFER, sdl12_renderbuffers[0]);
    sdl12_glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    sdl12_glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, sdl12_renderbuffers[0]);
    sdl12_glBindRenderbuffer(GL_RENDERBUFFER, sdl12_renderbuffers[1]);
    sdl12_glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    sdl12_glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, sdl12_renderbuffers[1]);
    sdl12_glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, sdl12_renderbuffers[1]);
    sdl12_glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (sdl12_glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        SDL12_DeleteFramebuffer();
        return false;
    }
    // A new context's viewport is the window's: the player's picture is not.
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    const char *method = SDL_GetHint("SDL12COMPAT_SCALE_METHOD");
    sdl12_filter = method && SDL_strcasecmp(method, "nearest") == 0 ? GL_NEAREST : GL_LINEAR;
    return true;
}

static void SDL12_CloseWindow(void)
{
    if (sdl12_context) {
        SDL_GL_MakeCurrent(sdl12_window, sdl12_context);
        SDL12_DeleteFramebuffer();
        SDL_GL_DeleteContext(sdl12_context);
        sdl12_context = nullptr;
    }
    if (sdl12_window) {
        SDL_DestroyWindow(sdl12_window);
        sdl12_window = nullptr;
    }
}

// The display full screen goes to: SDL_VIDEO_FULLSCREEN_DISPLAY, counted
// from 0, else the first.
static int SDL12_FullscreenDisplay(void)
{
    const char *name = SDL_GetHint("SDL_VIDEO_FULLSCREEN_DISPLAY");
    int display = name ? SDL_atoi(name) : 0;
    return display >= 0 && display < SDL_GetNumVideoDisplays() ? display : 0;
}

extern "C" {

int SDLCALL SDL12_GL_SetAttribute(int attr, int value)
{
    if (attr == SDL12_GL_SWAP_CONTROL) {
        sdl12_swap_control = value;
        return 0;
    }
    if (attr < 0 || attr >= (int)SDL_arraysize(sdl12_gl_attrs))
        return SDL_SetError("unknown OpenGL attribute %d", attr);
    return SDL_GL_SetAttribute(sdl12_gl_attrs[attr], value);
}

SDL12_Surface *SDLCALL SDL12_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    (void)bpp;   // the GL's pixel format comes from the GL attributes
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_SetError("video is not initialised");
        return nullptr;
    }
    if (!(flags & SDL12_OPENGL)) {
        SDL_SetError("only OpenGL video modes are provided");
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        SDL_SetError("invalid video mode %dx%d", width, height);
        return nullptr;
    }
    SDL12_CloseWindow();

    // SDL12COMPAT_OPENGL_SCALING=0 asks for the old behaviour: the display
    // switched to the picture's size.
    const bool fullscreen = (flags & SDL12_FULLSCREEN) != 0;
    const bool scaling = fullscreen && SDL_GetHintBoolean("SDL12COMPAT_OPENGL_SCALING", SDL_TRUE);
    Uint32 window_flags = SDL_WINDOW_OPENGL;
    int place = SDL_WINDOWPOS_UNDEFINED;
    if (fullscreen) {
        window_flags |= scaling ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
        place = SDL_WINDOWPOS_UNDEFINED_DISPLAY(SDL12_FullscreenDisplay());
    }
    sdl12_window = SDL_CreateWindow(sdl12_caption, place, place, width, height, window_flags);
    if (!sdl12_window)
        return nullptr;
    sdl12_context = SDL_GL_CreateContext(sdl12_window);
    if (!sdl12_context) {
        SDL12_CloseWindow();
        return nullptr;
    }
    // Without framebuffer objects the display's mode is switched after all,
    // rather than drawing a small picture into a corner.
    if (scaling && !SDL12_CreateFramebuffer(width, height) &&
        SDL_SetWindowFullscreen(sdl12_window, SDL_WINDOW_FULLSCREEN) != 0) {
        SDL12_CloseWindow();
        return nullptr;
    }
    // The viewer's SDL12COMPAT_SYNC_TO_VBLANK wins over the program's wish.
    if (SDL12_HintIsSet("SDL12COMPAT_SYNC_TO_VBLANK"))
        SDL_GL_SetSwapInterval(SDL_GetHintBoolean("SDL12COMPAT_SYNC_TO_VBLANK", SDL_FALSE) ? 1 : 0);
    else if (sdl12_swap_control >= 0)
        SDL_GL_SetSwapInterval(sdl12_swap_control);

    sdl12_surface = SDL12_Surface();
    sdl12_surface.flags = flags & (SDL12_OPENGL | SDL12_FULLSCREEN);
    sdl12_surface.w = width;
    sdl12_surface.h = height;
    return &sdl12_surface;
}

void SDLCALL SDL12_GL_SwapBuffers(void)
{
    if (!sdl12_window)
        return;
    if (!sdl12_fbo) {
        SDL_GL_SwapWindow(sdl12_window);
        return;
    }
    // The picture scaled to fit the window, centred; the rest black. The
    // scissor test, colour mask and clear colour are the program's: kept.
    int window_w, window_h;
    SDL_GL_GetDrawableSize(sdl12_window, &window_w, &window_h);
    const int w = sdl12_surface.w, h = sdl12_surface.h;
    int scaled_w = window_w, scaled_h = window_h;
    if ((int64_t)window_w * h > (int64_t)window_h * w)
        scaled_w = (int)((int64_t)w * window_h / h);
    else
        scaled_h = (int)((int64_t)h * window_w / w);
    const int x = (window_w - scaled_w) / 2, y = (window_h - scaled_h) / 2;

    GLfloat clear[4];
    GLboolean mask[4];
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    sdl12_glBindFramebuffer(GL_READ_FRAMEBUFFER, sdl12_fbo);
    sdl12_glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    sdl12_glBlitFramebuffer(0, 0, w, h, x, y, x + scaled_w, y + scaled_h, GL_COLOR_BUFFER_BIT, sdl12_filter);
    SDL_GL_SwapWindow(sdl12_window);
    sdl12_glBindFramebuffer(GL_FRAMEBUFFER, sdl12_fbo);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
}

// SDL 1.2 took the caption before the window existed, and kept it for the
// next one.
void SDLCALL SDL12_WM_SetCaption(const char *title, const char *icon)
{
    (void)icon;   // SDL2 has no separate title for the minimised window
    SDL_strlcpy(sdl12_caption, title ? title : "", sizeof sdl12_caption);
    if (sdl12_window)
        SDL_SetWindowTitle(sdl12_window, sdl12_caption);
}

// --- events ------------------------------------------------------------------
int SDLCALL SDL12_PollEvent(SDL12_Event *event)
{
    if (!event)
        return SDL_PollEvent(nullptr);
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        // SDL 1.2 repeated no keys unless asked to.
        if ((e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) && !e.key.repeat) {
            std::memset(event, 0, sizeof *event);
            event->key.type = e.type == SDL_KEYDOWN ? SDL12_KEYDOWN : SDL12_KEYUP;
            event->key.state = e.key.state;
            event->key.keysym.scancode = (Uint8)e.key.keysym.scancode;
            // The ASCII keys have the same codes in both; the others differ.
            const SDL_Keycode sym = e.key.keysym.sym;
            event->key.keysym.sym = sym >= 0 && sym < 128 ? (int)sym : 0;
            // The modifier bits kept their values.
            event->key.keysym.mod = e.key.keysym.mod;
            return 1;
        }
        if (e.type == SDL_QUIT) {
            std::memset(event, 0, sizeof *event);
            event->type = SDL12_QUIT;
            return 1;
        }
        // Nothing the 1.2 interface here declares: dropped.
    }
    return 0;
}

void SDLCALL SDL12_Quit(void)
{
    SDL12_CloseWindow();
    SDL_Quit();
}

} // extern "C"
