// Offscreen GL through EGL's surfaceless platform: no display server needed.
#include "render/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstring>
#include <vector>

static EGLDisplay hl_display = EGL_NO_DISPLAY;
static EGLContext hl_context = EGL_NO_CONTEXT;
static EGLSurface hl_surface = EGL_NO_SURFACE;
static int hl_width, hl_height;

static EGLDisplay SurfacelessDisplay(void)
{
    auto get_platform_display =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (get_platform_display) {
        EGLDisplay d = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY)
            return d;
    }
    // Drivers without the surfaceless platform (some vendor drivers) still
    // give a default display that can make pbuffers.
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

bool Headless_Open(int width, int height, const char **why)
{
    static const EGLint config_attribs[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24, EGL_NONE};
    const char *fail = nullptr;
    EGLConfig config;
    EGLint count = 0;

    hl_display = SurfacelessDisplay();
    if (hl_display == EGL_NO_DISPLAY || !eglInitialize(hl_display, nullptr, nullptr))
        fail = "no EGL display (surfaceless platform) could be initialised";
    else if (!eglChooseConfig(hl_display, config_attribs, &config, 1, &count) || count < 1)
        fail = "no EGL config with RGBA8, depth 24 and pbuffer support";
    else if (!eglBindAPI(EGL_OPENGL_API))
        fail = "EGL cannot bind the desktop OpenGL API";
    if (!fail) {
        const EGLint pbuffer_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        hl_surface = eglCreatePbufferSurface(hl_display, config, pbuffer_attribs);
        if (hl_surface == EGL_NO_SURFACE)
            fail = "EGL cannot make the pbuffer";
    }
    if (!fail) {
        static const EGLint context_attribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        hl_context = eglCreateContext(hl_display, config, EGL_NO_CONTEXT, context_attribs);
        if (hl_context == EGL_NO_CONTEXT)
            hl_context = eglCreateContext(hl_display, config, EGL_NO_CONTEXT, nullptr);
        if (hl_context == EGL_NO_CONTEXT)
            fail = "EGL cannot make a compatibility-profile OpenGL context";
    }
    if (!fail && !eglMakeCurrent(hl_display, hl_surface, hl_surface, hl_context))
        fail = "EGL cannot make the context current";
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
}
