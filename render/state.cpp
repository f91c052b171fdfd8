// GL state that several scenes set the same way, in the same order.
#include "render/render.h"

#include <GL/gl.h>

void Render_PictureTexturing(void)
{
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
}

static int render_scale = 1;

void Render_SetScale(int scale)
{
    render_scale = scale;
}

void Render_Viewport(int x, int y, int width, int height)
{
    glViewport(x * render_scale, y * render_scale, width * render_scale, height * render_scale);
}

void Render_PixelSpace(void)
{
    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
