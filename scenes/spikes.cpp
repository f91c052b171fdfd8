// Spiked sphere with corner captions: two spheres of 200 radial spikes
// (three small discs near the core, twelve long faint blades outwards) spin
// in opposite directions over dark centre discs; dimmed spikes spell a word
// on their surface and a brightness wave runs across them. The first entry
// fades in from black, the last fades out to black, and in between the
// spheres sway apart while four captions sit in the corners, one of them
// under a glowing panel that moves from corner to corner.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

enum {
    SPIKES_POINTS = 78,         // profile of one spike
    SPIKES_DISC_POINTS = 10,    // centre and nine rim points
    SPIKES_BLADE_FIRST = 30,    // discs come first, then three sets of four quads
    SPIKES_LISTS_PER_SPIKE = 15,
    SPIKES_FIRST_LIST = 10,
    SPIKES_CAPTION_TILES = 8,
    SPIKES_TILE_BYTES = 1536,
};

// One spike lying along +z: three discs round the axis, then three sets of
// four blades. Moved outwards once by the init routine.
static float spikes_profile[SPIKES_POINTS][3] = {
    // disc 0
    {0, 10, 0}, {0, 30, 0}, {14.14214f, 24.14214f, 0}, {20, 10, 0}, {14.14214f, -4.142136f, 0},
    {0, -10, 0}, {-14.14214f, -4.142136f, 0}, {-20, 10, 0}, {-14.14214f, 24.14214f, 0}, {0, 30, 0},
    // disc 1: disc 0 turned by -120 degrees about z
    {8.660254f, -5, 0}, {25.98076f, -15, 0}, {13.83663f, -24.31852f, 0}, {-1.339746f, -22.32051f, 0},
    {-10.65826f, -10.17638f, 0}, {-8.660254f, 5, 0}, {3.483873f, 14.31852f, 0}, {18.66025f, 12.32051f, 0},
    {27.97877f, 0.1763809f, 0}, {25.98076f, -15, 0},
    // disc 2: disc 0 turned by +120 degrees
    {-8.660254f, -5, 0}, {-25.98076f, -15, 0}, {-27.97877f, 0.1763809f, 0}, {-18.66025f, 12.32051f, 0},
    {-3.483873f, 14.31852f, 0}, {8.660254f, 5, 0}, {10.65826f, -10.17638f, 0}, {1.339746f, -22.32051f, 0},
    {-13.83663f, -24.31852f, 0}, {-25.98076f, -15, 0},
    // blade set 0
    {0, 10, 0}, {0, 10, 700}, {-60, 10, 700}, {-10, 10, 0},
    {0, 10, 0}, {0, 10, 700}, {60, 10, 100}, {10, 10, 0},
    {0, 10, 0}, {0, 10, 700}, {0, -40, 100}, {0, 0, 0},
    {0, 10, 0}, {0, 10, 700}, {0, 60, 700}, {0, 20, 0},
    // blade set 1: set 0 moved by (-8.660254, -15), the short blades made long
    {-8.660254f, -5, 0}, {-8.660254f, -5, 700}, {-68.66025f, -5, 700}, {-18.66025f, -5, 0},
    {-8.660254f, -5, 0}, {-8.660254f, -5, 700}, {51.33975f, -5, 700}, {1.339746f, -5, 0},
    {-8.660254f, -5, 0}, {-8.660254f, -5, 700}, {-8.660254f, -55, 700}, {-8.660254f, -15, 0},
    {-8.660254f, -5, 0}, {-8.660254f, -5, 700}, {-8.660254f, 45, 700}, {-8.660254f, 5, 0},
    // blade set 2: set 0 moved by (8.660254, -15), likewise
    {8.660254f, -5, 0}, {8.660254f, -5, 700}, {-51.33975f, -5, 700}, {-1.339746f, -5, 0},
    {8.660254f, -5, 0}, {8.660254f, -5, 700}, {68.66025f, -5, 700}, {18.66025f, -5, 0},
    {8.660254f, -5, 0}, {8.660254f, -5, 700}, {8.660254f, -55, 700}, {8.660254f, -15, 0},
    {8.660254f, -5, 0}, {8.660254f, -5, 700}, {8.660254f, 45, 700}, {8.660254f, 5, 0},
};

static float spikes_ring[SPIKES_RING][SPIKES_POINTS][3];
static float spikes_grid[SPIKES_AROUND][SPIKES_RING][SPIKES_POINTS][3];

// Bright centres and roots (alphas rewritten per spike), dim rims and tips.
static const float spikes_base_colour[12][4] = {
    {1.0f, 0.7f, 0.8f, 0.9f},  {0.7f, 1.0f, 0.8f, 0.8f},  {0.7f, 0.8f, 1.0f, 0.7f},
    {1.0f, 0.0f, 0.0f, 0.03f}, {0.0f, 1.0f, 0.0f, 0.03f}, {0.0f, 0.0f, 1.0f, 0.03f},
    {1.0f, 0.5f, 0.2f, 0.11f}, {0.5f, 1.0f, 0.2f, 0.10f}, {0.5f, 0.2f, 1.0f, 0.09f},
    {1.0f, 0.3f, 0.1f, 0.02f}, {0.3f, 1.0f, 0.1f, 0.02f}, {0.3f, 0.1f, 1.0f, 0.02f},
};
static float spikes_colour[12][4];

// Dimming of discs and blades along the brightness wave, one step per ring column.
static const float spikes_disc_wave[6] = {0.35f, 0.1f, 0.35f, 0.65f, 0.8f, 0.65f};
static const float spikes_blade_wave[6] = {0.035f, 0.01f, 0.035f, 0.055f, 0.07f, 0.055f};

// A word of three 5 x 5 letters and a full stop, laid along the spin
// (k = 0..19 from left to right as the sphere faces the viewer) on ring
// columns 2 (top) to 6 (bottom). '#' dims a spike's discs and blades, '+'
// its blades only.
typedef char spikes_mask_rows_t[5][SPIKES_AROUND + 1];

static constexpr spikes_mask_t Spikes_Mask(const spikes_mask_rows_t &rows)
{
    spikes_mask_t mask{};
    for (int r = 0; r < 5; r++)
        for (int k = 0; k < SPIKES_AROUND; k++) {
            float *cell = mask.cell[(r + 2) + SPIKES_RING * k];
            if (rows[r][k] == '#') {
                cell[0] = 0.8f;
                cell[1] = 0.06f;
            } else if (rows[r][k] == '+') {
                cell[1] = 0.06f;
            }
        }
    return mask;
}

static constexpr spikes_mask_rows_t spikes_ray = {
    ".####...###..#...#..",
    ".#...#.#...#..#.#...",
    ".####..#####...#....",
    ".#..#..#...#...#....",
    ".#...#.#...#...#...#",
};
static constexpr spikes_mask_rows_t spikes_inc = {
    "..###..#...#..####..",
    "...#...##..#.#......",
    "...#...#.#.#.#......",
    "...#...#..##.#......",
    "..###..#...#..####.#",
};
static constexpr spikes_mask_rows_t spikes_ear = {
    ".#####..###..####...",
    ".#.....#...#.#...#..",
    ".####..#####.####...",
    ".#.....#...#.#..#...",
    ".#####.#...#.#...#.#",
};
static constexpr spikes_mask_rows_t spikes_art = {
    "..###..####..#####..",
    ".#.+.#.#...#...#....",
    ".#####.####....#....",
    ".#...#.#..#....#....",
    ".#...#.#...#...#...#",
};

constexpr spikes_mask_t spikes_masks[4] = {
    Spikes_Mask(spikes_ray), Spikes_Mask(spikes_inc), Spikes_Mask(spikes_ear), Spikes_Mask(spikes_art)};

// Wave step of the first sphere, kept from frame to frame and entry to entry.
static int spikes_phase;

static zar_pic_t *spikes_captions;

void Spikes_Init(void)
{
    spikes_captions = ZAR_ReadPic("creeds");
    // The caption list takes eight tiles 1536 bytes apart and uploads them
    // at the picture's tile size; any other shape would read past it.
    const zar_pic_t *p = spikes_captions;
    if (3ull * p->tile_w * p->tile_h != SPIKES_TILE_BYTES ||
        (unsigned long long)p->tiles_x * p->tiles_y < SPIKES_CAPTION_TILES) {
        printf("Spikes_Init: FATAL_ERROR: creeds must hold eight tiles of 1536 bytes.\n");
        exit(1);
    }

    // Out from the core: discs to 160, blades from 90.
    for (int i = 0; i < SPIKES_POINTS; i++)
        spikes_profile[i][2] += i < SPIKES_BLADE_FIRST ? 160.0f : 90.0f;

    // Ten copies turned about the y axis, a half-ring from 0.6 pi.
    float theta = 1.8849556f;
    for (int j = 0; j < SPIKES_RING; j++) {
        const float c = (float)cos((double)theta), s = (float)sin((double)theta);
        for (int i = 0; i < SPIKES_POINTS; i++) {
            const float x = spikes_profile[i][0], y = spikes_profile[i][1], z = spikes_profile[i][2];
            spikes_ring[j][i][0] = x * c + z * s;
            spikes_ring[j][i][1] = y;
            spikes_ring[j][i][2] = z * c - x * s;
        }
        theta = (float)(theta + 0.28);
    }

    // Twenty turns of the ring about the x axis, 2 pi / 20.1 apart, so the
    // last column of spikes stops just short of the first.
    float phi = 0;
    for (int k = 0; k < SPIKES_AROUND; k++) {
        const float c = (float)cos((double)phi), s = (float)sin((double)phi);
        for (int j = 0; j < SPIKES_RING; j++)
            for (int i = 0; i < SPIKES_POINTS; i++) {
                const float *in = spikes_ring[j][i];
                float *out = spikes_grid[k][j][i];
                out[0] = in[0];
                out[1] = in[1] * c - in[2] * s;
                out[2] = in[1] * s + in[2] * c;
            }
        phi = (float)(phi + 0.312596284);
    }

    for (int i = 0; i < 12; i++)
        for (int c = 0; c < 4; c++)
            spikes_colour[i][c] = spikes_base_colour[i][c];
}

// The eight caption tiles as 256 x 128 quads, each upright: tile row 0 on
// the quad's top edge.
static void Spikes_CompileCaptions(void)
{
    static const struct {
        int tile;
        float x0, y0;
    } quads[SPIKES_CAPTION_TILES] = {
        {1, -700, 500}, {0, -956, 500}, {2, 444, 500},   {3, 700, 500},
        {4, 444, -628}, {5, 700, -628}, {7, -700, -628}, {6, -956, -628},
    };
    glNewList(8, GL_COMPILE);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    for (const auto &q : quads) {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, (GLsizei)spikes_captions->tile_w, (GLsizei)spikes_captions->tile_h, 0,
                     GL_RGB, GL_UNSIGNED_BYTE, spikes_captions->pixels + (size_t)SPIKES_TILE_BYTES * q.tile);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 1); glVertex3f(q.x0, q.y0, 0);
        glTexCoord2f(1, 1); glVertex3f(q.x0 + 256, q.y0, 0);
        glTexCoord2f(1, 0); glVertex3f(q.x0 + 256, q.y0 + 128, 0);
        glTexCoord2f(0, 0); glVertex3f(q.x0, q.y0 + 128, 0);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glEndList();
}

// Colour of a panel corner: grey and faint along the outer edge, glowing
// towards the middle of the inner edge.
static void Spikes_PanelVertex(float x, float y, float sx, float sy)
{
    if (y == 628)
        glColor4f(0.5f, 0.5f, 0.5f, 0.3f);
    else if (x == 700)
        glColor4f(1.0f, 0.7f, 0.5f, 1.0f);
    else
        glColor4f(0.9f, 0.8f, 0.3f, 0.5f);
    glVertex3f(sx * x, sy * y, 0);
}

// A glowing panel over the caption of the corner with signs (sx, sy).
static void Spikes_CompilePanel(unsigned int list, float sx, float sy)
{
    static const float corners[8][2] = {
        {700, 628}, {444, 628}, {444, 500}, {700, 500}, {700, 500}, {956, 500}, {956, 628}, {700, 628}};
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    for (const auto &c : corners)
        Spikes_PanelVertex(c[0], c[1], sx, sy);
    glEnd();
    glEndList();
}

// Each list's first vertex comes before its colour, so that it takes the
// colour the render routine sets: bright centres and roots over dim rims
// and tips.
static void Spikes_CompileSpike(unsigned int n, const float (*spike)[3])
{
    for (int d = 0; d < 3; d++) {
        const float (*disc)[3] = spike + SPIKES_DISC_POINTS * d;
        glNewList(n++, GL_COMPILE);
        glBegin(GL_TRIANGLE_FAN);
        glVertex3fv(disc[0]);
        glColor4fv(spikes_base_colour[3 + d]);
        for (int v = 1; v < SPIKES_DISC_POINTS; v++)
            glVertex3fv(disc[v]);
        glEnd();
        glEndList();
    }
    for (int b = 0; b < 3; b++)
        for (int q = 0; q < 4; q++) {
            const float (*quad)[3] = spike + SPIKES_BLADE_FIRST + 16 * b + 4 * q;
            glNewList(n++, GL_COMPILE);
            glBegin(GL_QUADS);
            glVertex3fv(quad[0]);
            glColor4fv(spikes_base_colour[9 + b]);
            glVertex3fv(quad[1]);
            glVertex3fv(quad[2]);
            glVertex3fv(quad[3]);
            glEnd();
            glEndList();
        }
}

void Spikes_Setup(void)
{
    glClearColor(0, 0, 0, 0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    Render_Viewport(0, 0, 640, 480);
    Render_PictureTexturing();

    Spikes_CompileCaptions();
    Spikes_CompilePanel(2, -1, -1);
    Spikes_CompilePanel(3, 1, -1);
    Spikes_CompilePanel(4, 1, 1);
    Spikes_CompilePanel(5, -1, 1);

    // Dark centre disc, soft to its rim.
    static const float rim[9][2] = {{200, 0},          {141.4214f, -141.4214f}, {0, -200},
                                    {-141.4214f, -141.4214f}, {-200, 0},       {-141.4214f, 141.4214f},
                                    {0, 200},          {141.4214f, 141.4214f},  {200, 0}};
    glNewList(6, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(0, 0, 0, 1);
    glVertex3f(0, 0, 0);
    glColor4f(1, 1, 1, 0.01f);
    for (const auto &p : rim)
        glVertex3f(p[0], p[1], 0);
    glEnd();
    glEndList();

    // Fade veil in pixel space; its colour is the caller's.
    glNewList(7, GL_COMPILE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glVertex3f(0, 0, 0);
    glVertex3f(640, 0, 0);
    glVertex3f(640, 480, 0);
    glVertex3f(0, 480, 0);
    glEnd();
    glEndList();

    unsigned int n = SPIKES_FIRST_LIST;
    for (int j = 0; j < SPIKES_RING; j++)
        for (int k = 0; k < SPIKES_AROUND; k++) {
            Spikes_CompileSpike(n, spikes_grid[k][j]);
            n += SPIKES_LISTS_PER_SPIKE;
        }
}

// All 200 spikes; the wave steps on by one per ring column from w.
static void Spikes_DrawSpikes(int w, const spikes_mask_t &mask)
{
    float(*col)[4] = spikes_colour;
    unsigned int n = SPIKES_FIRST_LIST;
    for (int j = 0; j < SPIKES_RING; j++) {
        const float disc = spikes_disc_wave[w], blade = spikes_blade_wave[w];
        for (int k = 0; k < SPIKES_AROUND; k++) {
            const float e = mask.cell[j + SPIKES_RING * k][0], f = mask.cell[j + SPIKES_RING * k][1];
            col[0][3] = spikes_base_colour[0][3] - e - disc;
            col[1][3] = spikes_base_colour[1][3] - e - disc;
            col[2][3] = spikes_base_colour[2][3] - e - disc;
            col[6][3] = spikes_base_colour[6][3] - f - blade;
            col[7][3] = spikes_base_colour[7][3] - f - blade;
            col[8][3] = spikes_base_colour[8][3] - f - blade;
            glColor4fv(col[0]);
            glCallList(n);
            glColor4fv(col[1]);
            glCallList(n + 1);
            glColor4fv(col[2]);
            glCallList(n + 2);
            for (unsigned int m = 3; m < SPIKES_LISTS_PER_SPIKE; m++) {
                glColor4fv(col[6 + (m - 3) / 4]);
                glCallList(n + m);
            }
            n += SPIKES_LISTS_PER_SPIKE;
        }
        w++;
        if (w == 6)
            w = 0;
    }
}

// One frame of the scene: camera, captions and panel (panel list 0: none),
// the two spheres, the wave step for the next frame, the veil.
static void Spikes_Frame(unsigned int panel, bool sway, const spikes_mask_t &mask, bool fade)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The far plane lies at the spheres' centres, so that their far halves
    // are clipped away. It sits one unit beyond them: the captions, panels
    // and centre discs lie in that plane, and exactly on the far plane
    // rounding clips them all on some renderers.
    gluPerspective(45.0, 1.33, 1.0, 2001.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 2000, 0, 0, 0, 0, 1, 0);

    if (panel) {
        glCallList(8);
        glCallList(panel);
    }

    glPushMatrix();
    if (sway)
        glTranslatef(chan.s0, 0, 0);
    glCallList(6);
    glRotatef(-270, 0, 0, 1);
    glRotatef(chan.a, 1, 0, 0);
    Spikes_DrawSpikes(spikes_phase, mask);
    glPopMatrix();

    // The second sphere mirrors the first's spin and sway, one wave step on.
    if (sway)
        glTranslatef(-chan.s0, 0, 0);
    glCallList(6);
    glRotatef(-270, 0, 0, 1);
    glRotatef(-chan.a, 1, 0, 0);
    Spikes_DrawSpikes(spikes_phase + 1, mask);

    spikes_phase = (int)nearbyintf(chan.d0);

    if (fade) {
        glColor4f(0, 0, 0, chan.n0);
        glCallList(7);
    }
}

void Spikes_RenderFadeIn(void)
{
    Spikes_Frame(0, false, spikes_masks[2], true);
}

void Spikes_RenderTopRight(void)
{
    Spikes_Frame(4, true, spikes_masks[2], false);
}

void Spikes_RenderBottomRight(void)
{
    Spikes_Frame(3, true, spikes_masks[3], false);
}

void Spikes_RenderTopLeft(void)
{
    Spikes_Frame(5, true, spikes_masks[1], false);
}

void Spikes_RenderBottomLeft(void)
{
    Spikes_Frame(2, true, spikes_masks[0], false);
}

void Spikes_RenderFadeOut(void)
{
    Spikes_Frame(0, false, spikes_masks[0], true);
}
