// Offscreen GL through EGL: a GPU device when there is one, else the
// surfaceless platform. No display server is needed either way.
#include "render/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

// The one place where the two renderers differ: the fixed-function GL in a
// compatibility context, or the project's GL 1.x layer over an ES 3 context
// (the same file built a second time with HEADLESS_GL1ES=1).
#if HEADLESS_GL1ES
#include "render/gl1es.h"

static const EGLint hl_renderable = EGL_OPENGL_ES3_BIT;
static const EGLenum hl_api = EGL_OPENGL_ES_API;
static const EGLint hl_context_attribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
static const char *hl_api_failure = "EGL cannot make an OpenGL ES 3 context";

static void *HeadlessProc(const char *name)
{
    return (void *)eglGetProcAddress(name);
}

static bool HeadlessReady(const char **why)
{
    const char *missing = nullptr;
    if (GL1ES_Init(HeadlessProc, &missing))
        return true;
    static char message[200];
    snprintf(message, sizeof message, "the GL 1.x layer cannot start over ES 3: %s", missing ? missing : "unknown");
    *why = message;
    return false;
}

static void HeadlessRelease(void)
{
    GL1ES_Shutdown();
}
#else
static const EGLint hl_renderable = EGL_OPENGL_BIT;
static const EGLenum hl_api = EGL_OPENGL_API;
static const EGLint hl_context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
static const char *hl_api_failure = "EGL cannot make a compatibility-profile OpenGL context";

static bool HeadlessReady(const char **)
{
    return true;
}

static void HeadlessRelease(void)
{
}
#endif

static EGLDisplay hl_display = EGL_NO_DISPLAY;
static EGLContext hl_context = EGL_NO_CONTEXT;
static EGLSurface hl_surface = EGL_NO_SURFACE;
static int hl_width, hl_height;
static const char *hl_platform = "none";

static const EGLint hl_config_attribs[] = {
    EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, hl_renderable,
    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
    EGL_DEPTH_SIZE, 24, EGL_NONE};

static bool HasWord(const char *list, const char *word)
{
    size_t n = strlen(word);
    for (const char *p = list; p && (p = strstr(p, word)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0))
            return true;
    return false;
}

// The first EGL device that is not a software rasteriser and can make an
// OpenGL pbuffer config, initialised; EGL_NO_DISPLAY when there is none.
static EGLDisplay HardwareDisplay(void)
{
    const char *client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasWord(client, "EGL_EXT_device_enumeration") && !HasWord(client, "EGL_EXT_device_base"))
        return EGL_NO_DISPLAY;
    if (!HasWord(client, "EGL_EXT_platform_device"))
        return EGL_NO_DISPLAY;
    auto query_devices = (PFNEGLQUERYDEVICESEXTPROC)eglGetProcAddress("eglQueryDevicesEXT");
    auto query_string = (PFNEGLQUERYDEVICESTRINGEXTPROC)eglGetProcAddress("eglQueryDeviceStringEXT");
    auto get_platform_display =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (!query_devices || !query_string || !get_platform_display)
        return EGL_NO_DISPLAY;
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!query_devices(16, devices, &count))
        return EGL_NO_DISPLAY;
    for (EGLint i = 0; i < count; i++) {
        // Mesa lists its software rasteriser as a device too.
        if (HasWord(query_string(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
            continue;
        EGLDisplay d = get_platform_display(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (d == EGL_NO_DISPLAY || !eglInitialize(d, nullptr, nullptr))
            continue;
        EGLConfig config;
        EGLint configs = 0;
        if (eglChooseConfig(d, hl_config_attribs, &config, 1, &configs) && configs > 0)
            return d;
    }
    return EGL_NO_DISPLAY;
}

static EGLDisplay SurfacelessDisplay(void)
{
    auto get_platform_display =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (get_platform_display) {
        EGLDisplay d = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY) {
            hl_platform = "surfaceless";
            return d;
        }
    }
    // Drivers without the surfaceless platform (some vendor drivers) still
    // give a default display that can make pbuffers.
    hl_platform = "default display";
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

bool Headless_Open(int width, int height, const char **why, int flags)
{
    const char *fail = nullptr;
    EGLConfig config;
    EGLint count = 0;

    hl_display = (flags & HEADLESS_SOFTWARE) ? EGL_NO_DISPLAY : HardwareDisplay();
    if (hl_display != EGL_NO_DISPLAY)
        hl_platform = "device";
    else
        hl_display = SurfacelessDisplay();
    if (hl_display == EGL_NO_DISPLAY || !eglInitialize(hl_display, nullptr, nullptr))
        fail = "no EGL display (surfaceless platform) could be initialised";
    else if (!eglChooseConfig(hl_display, hl_config_attribs, &config, 1, &count) || count < 1)
        fail = "no EGL config with RGBA8, depth 24 and pbuffer support";
    else if (!eglBindAPI(hl_api))
        fail = "EGL cannot bind the OpenGL API";
    if (!fail) {
        const EGLint pbuffer_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        hl_surface = eglCreatePbufferSurface(hl_display, config, pbuffer_attribs);
        if (hl_surface == EGL_NO_SURFACE)
            fail = "EGL cannot make the pbuffer";
    }
    if (!fail) {
        hl_context = eglCreateContext(hl_display, config, EGL_NO_CONTEXT, hl_context_attribs);
        if (hl_context == EGL_NO_CONTEXT && hl_api == EGL_OPENGL_API)
            hl_context = eglCreateContext(hl_display, config, EGL_NO_CONTEXT, nullptr);
        if (hl_context == EGL_NO_CONTEXT)
            fail = hl_api_failure;
    }
    if (!fail && !eglMakeCurrent(hl_display, hl_surface, hl_surface, hl_context))
        fail = "EGL cannot make the context current";
    if (!fail && !HeadlessReady(&fail))
        eglMakeCurrent(hl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (fail) {
        Headless_Close();
        if (why)
            *why = fail;
        return false;
    }
    hl_width = width;
    hl_height = height;
    glViewport(0, 0, width, height);
    return true;
}

void Headless_ReadRGB(uint8_t *rgb)
{
    const size_t row = (size_t)hl_width * 3;
    std::vector<uint8_t> flipped(row * hl_height);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, hl_width, hl_height, GL_RGB, GL_UNSIGNED_BYTE, flipped.data());
    // GL reads bottom row first; pictures and files want the top row first.
    for (int y = 0; y < hl_height; y++)
        std::memcpy(rgb + (size_t)y * row, flipped.data() + (size_t)(hl_height - 1 - y) * row, row);
}

void Headless_Close(void)
{
    if (hl_display != EGL_NO_DISPLAY) {
        if (hl_context != EGL_NO_CONTEXT && eglGetCurrentContext() == hl_context)
            HeadlessRelease();
        eglMakeCurrent(hl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (hl_context != EGL_NO_CONTEXT)
            eglDestroyContext(hl_display, hl_context);
        if (hl_surface != EGL_NO_SURFACE)
            eglDestroySurface(hl_display, hl_surface);
        // The display is not terminated: that unloads the driver, and what
        // the driver still holds would then look leaked to LeakSanitizer.
        // The process gives it all back when it ends.
    }
    hl_display = EGL_NO_DISPLAY;
    hl_context = EGL_NO_CONTEXT;
    hl_surface = EGL_NO_SURFACE;
    hl_platform = "none";
}

const char *Headless_Platform(void)
{
    return hl_platform;
}
