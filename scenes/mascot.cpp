// Mascot echo and glow streams: the mascot mesh spins as a fan of twenty
// faint, sheared echo copies in two tints turning opposite ways, while two
// mirrored streams of glowing points with light rays flow past it, seen
// through a letterbox that opens from three thin lines, shows the logo over
// its lower bar, fades back and is wiped shut.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

static zar_pic_t *mascot_logo;

zar_mesh_t *mascot_copies[MASCOT_COPIES];
float mascot_stream[MASCOT_STREAM_ROWS * MASCOT_STREAM_COLS][2];

float mascot_glow_point[3];
float mascot_glow_colour[4];
float mascot_glow_radius;

// Rays fade out towards the point and are faint at the mascot; the disc rims are clear.
static const float mascot_ray_tip[4] = {0.9f, 0.7f, 0.6f, 0.0f};
static const float mascot_ray_root[4] = {0.9f, 0.7f, 0.6f, 0.1f};
static const float mascot_glow_rim[4] = {1.0f, 1.0f, 1.0f, 0.0f};

// Every loop over any copy's triangles runs over copy 0's count.
static uint32_t Mascot_TriangleCount(void)
{
    return mascot_copies[0]->count;
}

// Copy k is copy 0 turned about the vertical axis by theta and sheared along
// x by the sine of k itself, so that each echo leans its own way.
static void Mascot_MakeCopy(int k, float theta)
{
    const uint32_t n = Mascot_TriangleCount();
    zar_mesh_t *copy = (zar_mesh_t *)calloc(1, sizeof(zar_mesh_t));
    float *tri = (float *)malloc(n ? 36 * (size_t)n : 1);
    if (!copy || !tri) {
        printf("Mascot_Init: FATAL_ERROR: Memory allocation failed.\n");
        exit(1);
    }
    const float *src = mascot_copies[0]->triangles;
    const float shear = sinf((float)k), c = cosf(theta), s = sinf(theta);
    for (uint32_t v = 0; v < 3 * n; v++) {
        const float x = src[3 * v], y = src[3 * v + 1], z = src[3 * v + 2];
        tri[3 * v] = shear * z + c * x;
        tri[3 * v + 1] = y;
        tri[3 * v + 2] = c * z - s * x;
    }
    copy->triangles = tri;
    copy->second_word = mascot_copies[0]->second_word;
    copy->count = n;
    mascot_copies[k] = copy;
}

void Mascot_Init(void)
{
    mascot_logo = ZAR_ReadPic("logo");
    mascot_copies[0] = ZAR_ReadASE("ferretoid");

    float *tri = mascot_copies[0]->triangles;
    for (uint32_t v = 0; v < 3 * Mascot_TriangleCount(); v++) {
        tri[3 * v] *= 6.0f;
        tri[3 * v + 1] *= 6.0f;
    }

    float theta = 0.10472f;
    for (int k = 1; k < MASCOT_COPIES; k++) {
        if (k > 1)
            theta += 0.10472f;
        Mascot_MakeCopy(k, theta);
    }

    // x before y: the generator's order fixes where every point lies.
    for (int e = 0; e < MASCOT_STREAM_ROWS * MASCOT_STREAM_COLS; e++) {
        mascot_stream[e][0] = (float)(32 * (rand() % 16));
        mascot_stream[e][1] = (float)(64 * ((rand() % 16) - 8));
    }
}

// One letterbox band: (0, y0), (640, y0), (640, y1), (0, y1); colours are the caller's.
static void Mascot_BandFrom(float y)
{
    glVertex2f(0, y);
    glVertex2f(640, y);
}

static void Mascot_BandTo(float y)
{
    glVertex2f(640, y);
    glVertex2f(0, y);
}

// The four bands of the letterbox, the gradients reaching opacity mid at
// the centre line, or all four solid.
static void Mascot_Letterbox(float mid, int solid)
{
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 1);
    Mascot_BandFrom(0);
    Mascot_BandTo(80);
    Mascot_BandFrom(82);
    if (!solid)
        glColor4f(0, 0, 0, mid);
    Mascot_BandTo(239);
    Mascot_BandFrom(241);
    if (!solid)
        glColor4f(0, 0, 0, 1);
    Mascot_BandTo(398);
    Mascot_BandFrom(400);
    Mascot_BandTo(480);
    glEnd();
}

// The echo fan in one tint, faintest copy first; the list ends with the pop
// that matches the caller's push around its rotation.
static void Mascot_CompileEchoes(unsigned int list, float r, float g, float b)
{
    const uint32_t n = Mascot_TriangleCount();
    float alpha = 0.01f;
    glNewList(list, GL_COMPILE);
    for (int k = 0; k < MASCOT_COPIES; k++) {
        glColor4f(r, g, b, alpha);
        const float *tri = mascot_copies[k]->triangles;
        glBegin(GL_TRIANGLES);
        for (uint32_t t = 0; t < n; t++) {
            glVertex3fv(tri + 9 * t);
            glVertex3fv(tri + 9 * t + 3);
            glVertex3fv(tri + 9 * t + 6);
        }
        glEnd();
        alpha = alpha * 1.15f;
    }
    glPopMatrix();
    glEndList();
}

void Mascot_Setup(void)
{
    glClearColor(1.0f, 0.8f, 0.7f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    Render_PictureTexturing();

    BuildPicList(9, mascot_logo);

    glNewList(7, GL_COMPILE);
    Mascot_Letterbox(0.0f, 0);
    glEndList();
    glNewList(8, GL_COMPILE);
    Mascot_Letterbox(1.0f, 1);
    glEndList();

    Mascot_CompileEchoes(5, 0.8f, 0.4f, 0.2f);
    Mascot_CompileEchoes(6, 0.8f, 0.2f, 0.4f);
}

// One rim vertex of a glow disc, offset from the point.
static void Mascot_RimVertex(float dx, float dy, float dz)
{
    const float *p = mascot_glow_point;
    glVertex3f(p[0] + dx, p[1] + dy, p[2] + dz);
}

void Mascot_DrawGlow(void)
{
    const float *p = mascot_glow_point;
    const float dist = sqrtf(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    mascot_glow_radius = 100.0f - dist / 10.0f;
    mascot_glow_colour[3] = 1.0f - dist / 600.0f;
    // Points 600 or more away from the mascot stay unseen.
    if (!(mascot_glow_colour[3] > 0.0f))
        return;
    const float s = mascot_glow_radius;
    const float d = s * 0.707107f;

    // Four thin wedges from the point to the mascot.
    static const float ray_third[4][3] = {{0, 20, 0}, {0, -20, 0}, {20, 0, 0}, {-20, 0, 0}};
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 4; k++) {
        glColor4fv(mascot_ray_tip);
        glVertex3fv(p);
        glColor4fv(mascot_ray_root);
        glVertex3f(0, 0, 0);
        glColor4fv(mascot_ray_tip);
        glVertex3f(p[0] + ray_third[k][0], p[1] + ray_third[k][1], p[2] + ray_third[k][2]);
    }
    glEnd();

    // Three octagonal discs, one in each axis plane, so the glow reads as a
    // ball from any side.
    const float rim[9][2] = {{0, s}, {d, d}, {s, 0}, {d, -d}, {0, -s}, {-d, -d}, {-s, 0}, {-d, d}, {0, s}};
    for (int disc = 0; disc < 3; disc++) {
        glBegin(GL_TRIANGLE_FAN);
        glColor4fv(mascot_glow_colour);
        glVertex3fv(p);
        glColor4fv(mascot_glow_rim);
        for (int k = 0; k < 9; k++) {
            const float u = rim[k][0], v = rim[k][1];
            if (disc == 0)
                Mascot_RimVertex(u, v, 0);      // (u, v) = (x, y)
            else if (disc == 1)
                Mascot_RimVertex(0, u, v);      // (u, v) = (y, z)
            else
                Mascot_RimVertex(v, 0, u);      // (u, v) = (z, x)
        }
        glEnd();
    }
}

static void Mascot_Tint(float r, float g, float b)
{
    mascot_glow_colour[0] = r;
    mascot_glow_colour[1] = g;
    mascot_glow_colour[2] = b;
}

static void Mascot_Glow(float x, float y, float z)
{
    mascot_glow_point[0] = x;
    mascot_glow_point[1] = y;
    mascot_glow_point[2] = z;
    Mascot_DrawGlow();
}

// The spinning echo fans and the two glow streams in the letterbox's middle,
// then the screen's pixel space for the caller's overlay.
static void Mascot_Pass3D(void)
{
    const float a = chan.a;
    Render_Viewport(0, 80, 640, 320);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 2.0, 1.0, 4600.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(700, 600, 800, 0, 0, 0, 0, 1, 0);

    glPushMatrix();
    glRotatef(a, 0, 1, 0);
    glCallList(5);
    glPushMatrix();
    glRotatef(a, 0, -1, 0);
    glCallList(6);

    Mascot_Tint(1.0f, 0.5f, 0.4f);
    for (int i = 0; i < MASCOT_STREAM_ROWS; i++)
        for (int j = 0; j < MASCOT_STREAM_COLS; j++) {
            const float *e = mascot_stream[MASCOT_STREAM_COLS * i + j];
            Mascot_Glow(e[0], e[1], a - 100.0f * (float)i);
        }
    // The first stream turned half round, its rows in reverse order.
    Mascot_Tint(1.0f, 0.4f, 0.5f);
    for (int i = MASCOT_STREAM_ROWS - 1; i >= 0; i--)
        for (int j = 0; j < MASCOT_STREAM_COLS; j++) {
            const float *e = mascot_stream[MASCOT_STREAM_COLS * i + j];
            Mascot_Glow(-e[0], e[1], -a + 100.0f * (float)i);
        }

    Render_PixelSpace();
}

void Mascot_RenderFade(void)
{
    Mascot_Pass3D();
    Mascot_Letterbox(chan.n0, 0);
}

void Mascot_RenderLogo(void)
{
    Mascot_Pass3D();
    glCallList(7);
    glTranslatef(0, 8, 0);
    glEnable(GL_TEXTURE_2D);
    glCallList(9);
    glDisable(GL_TEXTURE_2D);
}

void Mascot_RenderWipe(void)
{
    const float n0 = chan.n0, n1 = chan.n1;
    Mascot_Pass3D();
    glCallList(8);
    // The lowest gap line closes from the left, the two upper ones from the right.
    glBegin(GL_QUADS);
    glVertex2f(0, 80);
    glVertex2f(n0, 80);
    glVertex2f(n0, 82);
    glVertex2f(0, 82);
    glVertex2f(640, 239);
    glVertex2f(640, 241);
    glVertex2f(n1, 241);
    glVertex2f(n1, 239);
    glVertex2f(640, 398);
    glVertex2f(640, 400);
    glVertex2f(n1, 400);
    glVertex2f(n1, 398);
    glEnd();
}
