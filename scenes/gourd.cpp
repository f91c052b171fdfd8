// Ribbed gourd with sparkle rings: on a warm beige ground between black side
// bars a curtain slides away, a view opens from the centre line onto a gourd
// of 60 ribbons with its stem, seen from above and turning, ringed by soft
// glittering discs that turn at their own speeds and swell and shrink, cut
// by haze planes; then the view closes and the curtain comes back.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

// The gourd's outline in the plane x = 0 as (height y, distance z from the
// upright axis): squat, 240 across, dimpled at both poles.
static const float gourd_profile[GOURD_PROFILE][2] = {
    {55, 0},   {60, 40},   {55, 75},   {40, 105},  {35, 110},  {17, 120},
    {-17, 120}, {-35, 110}, {-40, 105}, {-55, 75}, {-60, 40}, {-55, 0}};

// Sparkle discs: a centre and an octagon clockwise from the top, radius 5 and 7.
static const float gourd_small_disc[GOURD_FAN_POINTS][3] = {
    {0, 0, 0},  {0, 5, 0},   {3.535535f, 3.535535f, 0},   {5, 0, 0},  {3.535535f, -3.535535f, 0},
    {0, -5, 0}, {-3.535535f, -3.535535f, 0}, {-5, 0, 0}, {-3.535535f, 3.535535f, 0}};
static const float gourd_large_disc[GOURD_FAN_POINTS][3] = {
    {0, 0, 0},  {0, 7, 0},   {4.949749f, 4.949749f, 0},   {7, 0, 0},  {4.949749f, -4.949749f, 0},
    {0, -7, 0}, {-4.949749f, -4.949749f, 0}, {-7, 0, 0}, {-4.949749f, 4.949749f, 0}};

// Sparkle colours (centre, rim): pale for the small discs, warm for the large.
static const float gourd_sparkle_colours[2][2][4] = {
    {{1.0f, 0.9f, 0.8f, 0.2f}, {0.6f, 0.5f, 0.4f, 0.0f}},
    {{1.0f, 0.7f, 0.5f, 0.3f}, {0.6f, 0.3f, 0.1f, 0.0f}}};

static const float gourd_edge_colour[4] = {0.4f, 0.2f, 0.2f, 1.0f};
static const float gourd_middle_colour[4] = {0.7f, 0.5f, 0.3f, 1.0f};

// One ring of sparkles per set, each a pair (small and large discs) round
// one band of the gourd. The rings of odd-numbered lists turn and swell
// apart from those of even-numbered ones.
struct gourd_ring_t {
    int large;                  // 0: small discs, colour pair 1; 1: large discs, pair 2
    int y, z;                   // the band
    float tilt;                 // about x, radians
    int jitter[3];              // moduli of the random offsets in x, y (halved), z (tenths)
    unsigned int list;
};
static const gourd_ring_t gourd_rings[GOURD_SETS] = {
    {0, -17, 120, 0.0f, {10, 17, 10}, 10},   {1, -17, 120, 0.0f, {10, 17, 10}, 11},
    {0, 17, 120, -0.5f, {10, 15, 10}, 12},   {1, 17, 120, -0.5f, {10, 15, 10}, 13},
    {0, 35, 110, -0.95f, {10, 20, 10}, 14},  {1, 35, 110, -0.95f, {10, 20, 10}, 15},
    {0, 40, 105, -1.1f, {10, 30, 10}, 16},   {1, 40, 105, -1.1f, {10, 30, 10}, 17},
    {0, -35, 110, 0.5f, {10, 12, 10}, 18},   {1, -35, 110, 0.5f, {10, 12, 10}, 19},
};

// Pixel space for bars and curtain: x/320 - 1, 0.004167 y - 1, -z.
static const float gourd_screen[16] = {
    0.003125f, 0, 0, 0, 0, 0.004167f, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};

static zar_mesh_t *gourd_stem;
float gourd_ribbons[GOURD_STEPS][GOURD_COPIES][GOURD_PROFILE][3];
float gourd_sparkles[GOURD_SETS][GOURD_SET_POINTS][3];

// (x, y, z) turned about the y axis by the angle of sine s and cosine c.
static void Gourd_TurnY(const float in[3], float s, float c, float out[3])
{
    const float x = in[0] * c + in[2] * s, z = in[2] * c - in[0] * s;
    out[0] = x;
    out[1] = in[1];
    out[2] = z;
}

void Gourd_MakeSparkles(const float templ[][3], float out[][3], int x_offset, int y_offset, int z_offset,
                        float angle_step, float tilt, int modulus1, int modulus2, int modulus3)
{
    const float tilt_s = sinf(tilt), tilt_c = cosf(tilt);
    int n = 0;
    float phi = 0;
    for (int step = 0; step < GOURD_FANS / 4; step++) {
        const int first = n;
        for (int disc = 0; disc < 4; disc++) {
            // Drawn one by one: the order of the draws fixes the pattern.
            const int rx = rand() % modulus1;
            const int ry = 2 * (rand() % modulus2);
            const float rz = (float)(rand() % modulus3) / 10;
            for (int k = 0; k < GOURD_FAN_POINTS; k++, n++) {
                out[n][0] = templ[k][0] + (float)rx;
                out[n][1] = templ[k][1] + (float)ry;
                out[n][2] = templ[k][2] + rz;
            }
        }
        const float phi_s = sinf(phi), phi_c = cosf(phi);
        for (int k = first; k < n; k++) {
            float *p = out[k];
            const float y = p[1] * tilt_c - p[2] * tilt_s, z = p[1] * tilt_s + p[2] * tilt_c;
            p[0] += (float)x_offset;
            p[1] = y + (float)y_offset;
            p[2] = z + (float)z_offset;
            Gourd_TurnY(p, phi_s, phi_c, p);
        }
        phi += angle_step;
    }
}

void Gourd_Init(void)
{
    gourd_stem = ZAR_ReadASE("lodyga");

    // Each ribbon: the profile flanked by copies turned 12 degrees either way.
    float base[GOURD_COPIES][GOURD_PROFILE][3];
    for (int j = 0; j < GOURD_PROFILE; j++) {
        const float point[3] = {0, gourd_profile[j][0], gourd_profile[j][1]};
        Gourd_TurnY(point, 0.20791169f, 0.9781476f, base[0][j]);
        base[1][j][0] = point[0];
        base[1][j][1] = point[1];
        base[1][j][2] = point[2];
        Gourd_TurnY(point, -0.20791169f, 0.9781476f, base[2][j]);
    }
    // 30 ribbons about 24 degrees apart: a little over two turns round the axis.
    float theta = 0;
    for (int i = 0; i < GOURD_STEPS; i++) {
        const float s = sinf(theta), c = cosf(theta);
        for (int copy = 0; copy < GOURD_COPIES; copy++)
            for (int j = 0; j < GOURD_PROFILE; j++)
                Gourd_TurnY(base[copy][j], s, c, gourd_ribbons[i][copy][j]);
        theta += 0.41997902f;
    }

    for (int r = 0; r < GOURD_SETS; r++) {
        const gourd_ring_t *ring = &gourd_rings[r];
        Gourd_MakeSparkles(ring->large ? gourd_large_disc : gourd_small_disc, gourd_sparkles[r], -5, ring->y,
                           ring->z, 0.49087384f, ring->tilt, ring->jitter[0], ring->jitter[1], ring->jitter[2]);
    }
}

void Gourd_CompileSparkles(unsigned int list, const float points[][3], const float colours[2][4])
{
    glNewList(list, GL_COMPILE);
    for (int k = 0; k < GOURD_FANS; k++) {
        const float(*fan)[3] = &points[GOURD_FAN_POINTS * k];
        glBegin(GL_TRIANGLE_FAN);
        glColor4fv(colours[0]);
        glVertex3fv(fan[0]);
        glColor4fv(colours[1]);
        for (int p = 1; p < GOURD_FAN_POINTS; p++)
            glVertex3fv(fan[p]);
        glVertex3fv(fan[1]);
        glEnd();
    }
    glEndList();
}

// Full-screen pixel space, ready to draw black.
static void Gourd_PixelSpace(void)
{
    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(gourd_screen);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(0, 0, 0, 1);
}

static void Gourd_Quad(float x0, float y0, float x1, float y1)
{
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
}

// The two gradients between the bars: black at the bottom and top edges,
// clear at the centre line, which a two-pixel gap keeps untouched.
static void Gourd_EmitGradients(void)
{
    glVertex2f(0, 0);
    glVertex2f(560, 0);
    glColor4f(0, 0, 0, 0);
    glVertex2f(560, 239);
    glVertex2f(0, 239);
    glVertex2f(0, 241);
    glVertex2f(560, 241);
    glColor4f(0, 0, 0, 1);
    glVertex2f(560, 480);
    glVertex2f(0, 480);
}

static void Gourd_CompileFlatLists(void)
{
    glNewList(2, GL_COMPILE);
    Gourd_PixelSpace();
    glBegin(GL_QUADS);
    Gourd_Quad(0, 0, 80, 480);
    Gourd_Quad(560, 0, 640, 480);
    glEnd();
    glEndList();

    // The curtain: solid below and above, the gradients between; sliding it
    // by 480 either way covers the screen.
    glNewList(3, GL_COMPILE);
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 1);
    glVertex2f(560, -480);
    glVertex2f(0, -480);
    glVertex2f(0, 0);
    glVertex2f(560, 0);
    Gourd_EmitGradients();
    glVertex2f(560, 480);
    glVertex2f(0, 480);
    glVertex2f(0, 960);
    glVertex2f(560, 960);
    glEnd();
    glEndList();

    glNewList(7, GL_COMPILE);
    Gourd_PixelSpace();
    glBegin(GL_QUADS);
    Gourd_Quad(0, 0, 80, 480);
    Gourd_EmitGradients();
    Gourd_Quad(560, 0, 640, 480);
    glEnd();
    glEndList();
}

// Every ribbon as two strips: dark edge to light middle and back.
static void Gourd_CompileGourd(void)
{
    glNewList(8, GL_COMPILE);
    for (int i = 0; i < GOURD_STEPS; i++) {
        const float(*copy)[GOURD_PROFILE][3] = gourd_ribbons[i];
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j < GOURD_PROFILE; j++) {
            glColor4fv(gourd_edge_colour);
            glVertex3fv(copy[0][j]);
            glColor4fv(gourd_middle_colour);
            glVertex3fv(copy[1][j]);
        }
        glEnd();
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j < GOURD_PROFILE; j++) {
            glColor4fv(gourd_middle_colour);
            glVertex3fv(copy[1][j]);
            glColor4fv(gourd_edge_colour);
            glVertex3fv(copy[2][j]);
        }
        glEnd();
    }
    glEndList();
}

static void Gourd_CompileStem(void)
{
    glNewList(5, GL_COMPILE);
    glColor4f(0.7f, 0.4f, 0.3f, 0.8f);
    const float *t = gourd_stem->triangles;
    for (uint32_t k = 0; k < gourd_stem->count; k++, t += 9) {
        glBegin(GL_TRIANGLES);
        glVertex3fv(t);
        glVertex3fv(t + 3);
        glVertex3fv(t + 6);
        glEnd();
    }
    glEndList();
}

// Eight translucent planes stacked towards the camera through the gourd.
static void Gourd_CompileHaze(void)
{
    glNewList(4, GL_COMPILE);
    glColor4f(0.7f, 0.6f, 0.5f, 0.2f);
    glBegin(GL_QUADS);
    for (int z = 0; z <= 140; z += 20) {
        glVertex3f(-220, -220, (float)z);
        glVertex3f(220, -220, (float)z);
        glVertex3f(220, 220, (float)z);
        glVertex3f(-220, 220, (float)z);
    }
    glEnd();
    glEndList();
}

void Gourd_Setup(void)
{
    glClearColor(0.9f, 0.8f, 0.7f, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);

    Gourd_CompileFlatLists();
    Gourd_CompileGourd();
    Gourd_CompileStem();
    Gourd_CompileHaze();
    for (int r = 0; r < GOURD_SETS; r++)
        Gourd_CompileSparkles(gourd_rings[r].list, gourd_sparkles[r], gourd_sparkle_colours[gourd_rings[r].large]);
}

void Gourd_RenderCurtain(void)
{
    glCallList(2);
    glTranslatef(0, chan.a, 0);
    glCallList(3);
}

// The turning gourd in the given viewport; with `swell` the two groups of
// rings grow by n0 and n1. The haze and the bars come last, unturned.
static void Gourd_DrawView(int y, int height, int swell)
{
    const float a = chan.a;
    Render_Viewport(80, y, 480, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, 1, 1, 2000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(200, 200, 400, 0, 0, 0, 0, 1, 0);

    glPushMatrix();
    glRotatef(a, 0, 1, 0);
    glCallList(8);
    glCallList(5);
    glRotatef(0.5f * a, 0, 1, 0);

    glPushMatrix();
    if (swell)
        glScalef(chan.n0, chan.n0, chan.n0);
    for (unsigned int list = 10; list <= 18; list += 2)
        glCallList(list);
    glPopMatrix();

    glPushMatrix();
    glRotatef(-1.2f * a, 0, 1, 0);
    if (swell)
        glScalef(chan.n1, chan.n1, chan.n1);
    for (unsigned int list = 11; list <= 19; list += 2)
        glCallList(list);
    glPopMatrix();

    glPopMatrix();
    glCallList(4);
    glCallList(7);
}

void Gourd_RenderOpening(void)
{
    // Truncated, not rounded: the view grows from the centre line in whole pixels.
    Gourd_DrawView((int)chan.n0, (int)chan.n1, 0);
}

void Gourd_RenderSpin(void)
{
    Gourd_DrawView(0, 480, 1);
}
