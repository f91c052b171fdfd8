// Eyes and lit-window drum: a white band wipes the screen white and opens
// into a frame, two eyes blink in it, then a half-drum covered in square
// windows, with a bulge travelling along it, twinkles at random and lights
// window after window until only a line of text stays dark; it fades to
// black, the frame closes to white and the band slides away.
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
    DRUM_RADIUS_ENTRIES = 196,
    DRUM_TWINKLE_FRAMES = 50,
    DRUM_LIT_PER_TWINKLE = 100,
    DRUM_LIT_PER_REVEAL = 16,
    DRUM_EYE_TILE_BYTES = 32 * 32 * 3,
    DRUM_EYE_ROWS = 70,
};

static zar_pic_t *drum_fri1, *drum_fri2, *drum_eyes;

float drum_corner_base[DRUM_CORNER_STATIONS][DRUM_CORNER_ANGLES][3][3];
float drum_centre_base[DRUM_CENTRE_STATIONS][DRUM_CENTRE_ANGLES][3][3];
static float drum_corner_scaled[DRUM_CORNER_STATIONS][DRUM_CORNER_ANGLES][3][3];
float drum_centre_scaled[DRUM_CENTRE_STATIONS][DRUM_CENTRE_ANGLES][3][3];
static float drum_radius[DRUM_RADIUS_ENTRIES];
unsigned char drum_windows[DRUM_FRAMES][DRUM_COLUMNS][DRUM_ROWS];

// Pane (inner radius), skin (outer radius) and the outer edge of a window's glow.
static const float drum_profile[3][3] = {{0, -50, 0}, {0, -80, 0}, {0, -240, 0}};
enum { DRUM_PANE = 0, DRUM_SKIN = 1, DRUM_GLOW = 2 };

// The windows that stay dark while all others light up: a dot-matrix line
// five cells high, mirrored in column order because the camera looks along
// +z, which puts the highest columns on the left of the screen. Cells are
// tall and narrow on screen and the lit neighbours' halos wash over thin
// strokes, so the letters have strokes two columns wide and two columns
// between them. As the camera sees it, rows 6 (top) to 2:
//   .#....######..######..#####...#####...######..######....#.
//   ###...##......##......##..##..##..##..##........##.....###
//   #.#...######..#####...#####...#####...#####.....##.....#.#
//   ###...##......##......##.##...##.##...##........##.....###
//   .#....##......######..##..##..##..##..######....##......#.
// from column 63 on the left to column 6 on the right, centred on the
// camera; the five (0, 0) entries at the end keep the corner cell dark too.
const int drum_text_cells[DRUM_TEXT_CELLS][2] = {
    {63, 5}, {63, 4}, {63, 3}, {62, 6}, {62, 5}, {62, 3}, {62, 2}, {61, 5}, {61, 4}, {61, 3},
    {57, 6}, {57, 5}, {57, 4}, {57, 3}, {57, 2}, {56, 6}, {56, 5}, {56, 4}, {56, 3}, {56, 2},
    {55, 6}, {55, 4}, {54, 6}, {54, 4}, {53, 6}, {53, 4}, {52, 6}, {52, 4}, {49, 6}, {49, 5},
    {49, 4}, {49, 3}, {49, 2}, {48, 6}, {48, 5}, {48, 4}, {48, 3}, {48, 2}, {47, 6}, {47, 4},
    {47, 2}, {46, 6}, {46, 4}, {46, 2}, {45, 6}, {45, 4}, {45, 2}, {44, 6}, {44, 2}, {41, 6},
    {41, 5}, {41, 4}, {41, 3}, {41, 2}, {40, 6}, {40, 5}, {40, 4}, {40, 3}, {40, 2}, {39, 6},
    {39, 4}, {38, 6}, {38, 4}, {38, 3}, {37, 6}, {37, 5}, {37, 4}, {37, 3}, {37, 2}, {36, 5},
    {36, 2}, {33, 6}, {33, 5}, {33, 4}, {33, 3}, {33, 2}, {32, 6}, {32, 5}, {32, 4}, {32, 3},
    {32, 2}, {31, 6}, {31, 4}, {30, 6}, {30, 4}, {30, 3}, {29, 6}, {29, 5}, {29, 4}, {29, 3},
    {29, 2}, {28, 5}, {28, 2}, {25, 6}, {25, 5}, {25, 4}, {25, 3}, {25, 2}, {24, 6}, {24, 5},
    {24, 4}, {24, 3}, {24, 2}, {23, 6}, {23, 4}, {23, 2}, {22, 6}, {22, 4}, {22, 2}, {21, 6},
    {21, 4}, {21, 2}, {20, 6}, {20, 2}, {17, 6}, {16, 6}, {15, 6}, {15, 5}, {15, 4}, {15, 3},
    {15, 2}, {14, 6}, {14, 5}, {14, 4}, {14, 3}, {14, 2}, {13, 6}, {12, 6}, {8, 5}, {8, 4},
    {8, 3}, {7, 6}, {7, 5}, {7, 3}, {7, 2}, {6, 5}, {6, 4}, {6, 3}, {0, 0}, {0, 0},
    {0, 0}, {0, 0}, {0, 0},
};

// The blink: (left, right) list per row, rows following d0. Lists 38 and 48
// are empty (eye away), list 0 names nothing.
static const unsigned char drum_eye_rows[DRUM_EYE_ROWS][2] = {
    {38, 48}, {30, 40}, {31, 41}, {32, 42}, {33, 43}, {34, 44}, {35, 45}, {36, 46}, {37, 47}, {36, 46},
    {35, 45}, {34, 44}, {33, 43}, {32, 42}, {31, 41}, {30, 40}, {38, 48}, {38, 48}, {38, 48}, {30, 40},
    {31, 41}, {32, 42}, {33, 43}, {34, 44}, {35, 45}, {36, 46}, {37, 47}, {37, 47}, {37, 47}, {37, 47},
    {37, 47}, {37, 47}, {37, 47}, {37, 47}, {37, 47}, {37, 46}, {37, 45}, {37, 44}, {37, 43}, {37, 42},
    {37, 41}, {37, 40}, {36, 48}, {35, 40}, {34, 41}, {33, 42}, {32, 43}, {31, 44}, {30, 45}, {38, 46},
    {30, 47}, {31, 47}, {32, 47}, {33, 47}, {34, 47}, {35, 47}, {36, 47}, {37, 47}, {36, 46}, {35, 45},
    {34, 44}, {33, 43}, {32, 42}, {31, 41}, {30, 40}, {38, 48}, {0, 0}, {0, 0}, {0, 0}, {0, 0},
};

static const float drum_skin_centre[4] = {0.5f, 0.3f, 0.2f, 1.0f};
static const float drum_skin_rim[4] = {0.3f, 0.2f, 0.1f, 1.0f};
static const float drum_wall_base[4] = {0.0f, 0.0f, 0.0f, 1.0f};
static const float drum_glow_outer[4] = {0.5f, 0.3f, 0.0f, 0.0f};

// Per-column colours, brighter where the bulge lifts the column towards the light.
static float drum_pane_centre[4], drum_pane_rim[4], drum_wall_top[4], drum_glow_inner[4];

// Turns the profile about the x axis through angles that start at theta and
// grow by a step a hair above pi/10, accumulated in single precision.
static void Drum_Ring(float (*ring)[3][3], int angles, float theta)
{
    for (int j = 0; j < angles; j++) {
        const float c = cosf(theta), s = sinf(theta);
        for (int p = 0; p < 3; p++) {
            const float x = drum_profile[p][0], y = drum_profile[p][1], z = drum_profile[p][2];
            ring[j][p][0] = x;
            ring[j][p][1] = y * c - z * s;
            ring[j][p][2] = y * s + z * c;
        }
        theta += 0.314159654f;
    }
}

static void Drum_BuildRings(void)
{
    Drum_Ring(drum_corner_base[0], DRUM_CORNER_ANGLES, 0.0f);
    for (int i = 1; i < DRUM_CORNER_STATIONS; i++)
        for (int j = 0; j < DRUM_CORNER_ANGLES; j++)
            for (int p = 0; p < 3; p++) {
                drum_corner_base[i][j][p][0] = drum_corner_base[0][j][p][0] + 10.0f * (float)i;
                drum_corner_base[i][j][p][1] = drum_corner_base[0][j][p][1];
                drum_corner_base[i][j][p][2] = drum_corner_base[0][j][p][2];
            }

    Drum_Ring(drum_centre_base[0], DRUM_CENTRE_ANGLES, 0.15707964f);
    // Station 0 is moved in place first and the later stations build on its
    // new x, so station 0 sits at 2.5 and the others at 5 + 10 i.
    for (int i = 0; i < DRUM_CENTRE_STATIONS; i++)
        for (int j = 0; j < DRUM_CENTRE_ANGLES; j++)
            for (int p = 0; p < 3; p++) {
                drum_centre_base[i][j][p][0] = drum_centre_base[0][j][p][0] + (2.5f + 10.0f * (float)i);
                drum_centre_base[i][j][p][1] = drum_centre_base[0][j][p][1];
                drum_centre_base[i][j][p][2] = drum_centre_base[0][j][p][2];
            }

    float phi = 0.0f;
    for (int k = 0; k < DRUM_RADIUS_ENTRIES; k++) {
        drum_radius[k] = sinf(phi) + 1.5f;
        phi += 0.12f;
    }
}

static int Drum_IsTextCell(int column, int row)
{
    for (int k = 0; k < DRUM_TEXT_CELLS; k++)
        if (drum_text_cells[k][0] == column && drum_text_cells[k][1] == row)
            return 1;
    return 0;
}

// Each twinkle frame lights exactly 100 cells, none of them lit in the frame before.
static void Drum_Twinkle(void)
{
    for (int f = 0; f < DRUM_TWINKLE_FRAMES; f++) {
        int lit = 0;
        while (lit < DRUM_LIT_PER_TWINKLE) {
            const int row = rand() % DRUM_ROWS;
            const int column = rand() % DRUM_COLUMNS;
            if (drum_windows[f][column][row] || (f > 0 && drum_windows[f - 1][column][row]))
                continue;
            drum_windows[f][column][row] = 1;
            lit++;
        }
    }
}

// Sixteen more windows per frame stay lit for good; the text never lights.
static void Drum_Reveal(void)
{
    for (int f = DRUM_TWINKLE_FRAMES; f < DRUM_FRAMES; f++) {
        int done = 0;
        while (done < DRUM_LIT_PER_REVEAL) {
            const int column = rand() % DRUM_COLUMNS;
            const int row = rand() % DRUM_ROWS;
            if (Drum_IsTextCell(column, row))
                continue;
            int earlier = 0;
            for (int g = DRUM_TWINKLE_FRAMES; g < f && !earlier; g++)
                earlier = drum_windows[g][column][row];
            if (earlier)
                continue;
            for (int g = f; g < DRUM_FRAMES; g++)
                drum_windows[g][column][row] = 1;
            done++;
        }
    }
}

void Drum_Init(void)
{
    drum_fri1 = ZAR_ReadPic("fri1");
    drum_fri2 = ZAR_ReadPic("fri2");
    drum_eyes = ZAR_ReadPic("oczka");
    // The eye lists upload 16 tiles of 32 x 32 from the pixel block whatever
    // its layout; a smaller picture would have them read past it.
    const size_t eye_bytes = (size_t)3 * drum_eyes->tile_w * drum_eyes->tile_h * drum_eyes->tiles_x * drum_eyes->tiles_y;
    if (eye_bytes < (size_t)16 * DRUM_EYE_TILE_BYTES) {
        printf("Drum_Init: FATAL_ERROR: oczka must hold 16 tiles of 32 x 32 pixels.\n");
        exit(1);
    }
    Drum_BuildRings();
    Drum_Twinkle();
    Drum_Reveal();
}

// One eye frame: the tile uploaded into the default texture, then its quad.
static void Drum_CompileEye(unsigned int list, int tile, float x)
{
    glNewList(list, GL_COMPILE);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 32, 32, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 drum_eyes->pixels + (size_t)DRUM_EYE_TILE_BYTES * tile);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1); glVertex2f(x, 224);
    glTexCoord2f(1, 1); glVertex2f(x + 32, 224);
    glTexCoord2f(1, 0); glVertex2f(x + 32, 256);
    glTexCoord2f(0, 0); glVertex2f(x, 256);
    glEnd();
    glEndList();
}

// The screen's pixel space: origin at the bottom left.
static void Drum_PixelSpace(void)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

static void Drum_CompileFrames(void)
{
    glNewList(1, GL_COMPILE);
    Drum_PixelSpace();
    glEndList();

    // A band white in the middle, fading to clear half a screen beyond each edge.
    glNewList(2, GL_COMPILE);
    glBegin(GL_QUAD_STRIP);
    glColor4f(1, 1, 1, 0);
    glVertex2f(0, -480); glVertex2f(640, -480);
    glColor4f(1, 1, 1, 1);
    glVertex2f(0, 0); glVertex2f(640, 0);
    glVertex2f(0, 480); glVertex2f(640, 480);
    glColor4f(1, 1, 1, 0);
    glVertex2f(0, 960); glVertex2f(640, 960);
    glEnd();
    glEndList();

    // Upper half of the frame: the caller's colour on the centre line to a solid top bar.
    glNewList(4, GL_COMPILE);
    Drum_PixelSpace();
    glBegin(GL_QUAD_STRIP);
    glVertex2f(0, 240); glVertex2f(640, 240);
    glColor4f(1, 1, 1, 1);
    glVertex2f(0, 416); glVertex2f(640, 416);
    glVertex2f(0, 480); glVertex2f(640, 480);
    glEnd();
    glEndList();

    // Lower half, the same downwards.
    glNewList(5, GL_COMPILE);
    glBegin(GL_QUAD_STRIP);
    glVertex2f(640, 240); glVertex2f(0, 240);
    glColor4f(1, 1, 1, 1);
    glVertex2f(640, 64); glVertex2f(0, 64);
    glVertex2f(640, 0); glVertex2f(0, 0);
    glEnd();
    glEndList();

    // Over the drum: the gradients alone, the bars are the picture strips of list 7.
    glNewList(6, GL_COMPILE);
    Drum_PixelSpace();
    glBegin(GL_QUAD_STRIP);
    glVertex2f(0, 240); glVertex2f(640, 240);
    glColor4f(1, 1, 1, 1);
    glVertex2f(0, 416); glVertex2f(640, 416);
    glEnd();
    glEndList();

    glNewList(7, GL_COMPILE);
    glBegin(GL_QUADS);
    glVertex2f(640, 240); glVertex2f(0, 240);
    glColor4f(1, 1, 1, 1);
    glVertex2f(0, 64); glVertex2f(640, 64);
    glEnd();
    glEnable(GL_TEXTURE_2D);
    glCallList(10);
    glTranslatef(0, 416, 0);
    glCallList(11);
    glDisable(GL_TEXTURE_2D);
    glEndList();

    // The drum's camera: below and in front of its middle, looking up at it
    // between the two strips.
    glNewList(8, GL_COMPILE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(25.0, (double)(640.0f / 352.0f), 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Render_Viewport(0, 64, 640, 352);
    gluLookAt(355, -160, -940, 355, 0, 0, 0, 1, 0);
    glEndList();
}

void Drum_Setup(void)
{
    glClearColor(0, 0, 0, 0);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);

    Render_PictureTexturing();

    for (int k = 0; k < 8; k++)
        Drum_CompileEye(30 + k, 2 * k, 280);
    glNewList(38, GL_COMPILE);
    glEndList();
    glNewList(48, GL_COMPILE);
    glEndList();
    for (int k = 0; k < 8; k++)
        Drum_CompileEye(40 + k, 2 * k + 1, 328);

    BuildPicList(10, drum_fri1);
    BuildPicList(11, drum_fri2);

    Drum_CompileFrames();
}

void Drum_RenderWipe(void)
{
    glCallList(1);
    glTranslatef(0, chan.a, 0);
    glCallList(2);
}

// The frame's gradients in colour (1, 1, 1, alpha); list 4 leaves the colour white.
static void Drum_Frame(float alpha)
{
    glColor4f(1, 1, 1, alpha);
    glCallList(4);
    glColor4f(1, 1, 1, alpha);
    glCallList(5);
}

void Drum_RenderLetterbox(void)
{
    Drum_Frame(chan.a);
}

void Drum_RenderEyes(void)
{
    Drum_Frame(0.0f);
    const int k = (int)nearbyintf(chan.d0);
    if (k < 0 || k >= DRUM_EYE_ROWS)
        return;
    glEnable(GL_TEXTURE_2D);
    glCallList(drum_eye_rows[k][0]);
    glCallList(drum_eye_rows[k][1]);
    glDisable(GL_TEXTURE_2D);
}

// The bulge: every station's rings scaled across the axis by its entry of
// the radius table, neighbouring stations reading neighbouring entries.
static void Drum_Rescale(int r)
{
    for (int i = 0; i < DRUM_CORNER_STATIONS; i++) {
        const float s = drum_radius[r + 2 * i];
        for (int j = 0; j < DRUM_CORNER_ANGLES; j++)
            for (int p = 0; p < 3; p++) {
                drum_corner_scaled[i][j][p][0] = drum_corner_base[i][j][p][0];
                drum_corner_scaled[i][j][p][1] = drum_corner_base[i][j][p][1] * s;
                drum_corner_scaled[i][j][p][2] = drum_corner_base[i][j][p][2] * s;
            }
    }
    for (int i = 0; i < DRUM_CENTRE_STATIONS; i++) {
        const float s = drum_radius[r + 1 + 2 * i];
        for (int j = 0; j < DRUM_CENTRE_ANGLES; j++)
            for (int p = 0; p < 3; p++) {
                drum_centre_scaled[i][j][p][0] = drum_centre_base[i][j][p][0];
                drum_centre_scaled[i][j][p][1] = drum_centre_base[i][j][p][1] * s;
                drum_centre_scaled[i][j][p][2] = drum_centre_base[i][j][p][2] * s;
            }
    }
}

// A column's brightness: how far the bulge has pushed its lowest pane down.
static float Drum_Brightness(int c)
{
    return -drum_centre_scaled[c][0][DRUM_PANE][1] / 125.0f;
}

static void Drum_SetColour(float *colour, float r, float g, float b, float a)
{
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
}

// The corners of cell (c, j) in fan order, closing on the first.
static void Drum_Corners(int c, int j, const float *k[5], int radius)
{
    k[0] = drum_corner_scaled[c][j][radius];
    k[1] = drum_corner_scaled[c + 1][j][radius];
    k[2] = drum_corner_scaled[c + 1][j + 1][radius];
    k[3] = drum_corner_scaled[c][j + 1][radius];
    k[4] = k[0];
}

// Four quads, one per cell edge: from the edge at radius 'from' in colour
// from_colour to the same edge at radius 'to' in colour to_colour. (Not
// 'near' and 'far': Windows' headers define those away.)
static void Drum_Walls(int c, int j, int from, int to, const float *from_colour, const float *to_colour)
{
    const float *a[5], *b[5];
    Drum_Corners(c, j, a, from);
    Drum_Corners(c, j, b, to);
    glBegin(GL_QUADS);
    for (int e = 0; e < 4; e++) {
        glColor4fv(from_colour);
        glVertex3fv(a[e]);
        glVertex3fv(a[e + 1]);
        glColor4fv(to_colour);
        glVertex3fv(b[e + 1]);
        glVertex3fv(b[e]);
    }
    glEnd();
}

static void Drum_Fan(int c, int j, int radius, const float *centre, const float *rim)
{
    const float *k[5];
    Drum_Corners(c, j, k, radius);
    glBegin(GL_TRIANGLE_FAN);
    glColor4fv(centre);
    glVertex3fv(drum_centre_scaled[c][j][radius]);
    glColor4fv(rim);
    for (int e = 0; e < 5; e++)
        glVertex3fv(k[e]);
    glEnd();
}

// Lit windows are panes sunk to the inner radius with walls up to the skin;
// dark ones are flat patches of skin.
static void Drum_SolidPass(const unsigned char (*lit)[DRUM_ROWS])
{
    glEnable(GL_DEPTH_TEST);
    for (int c = 0; c < DRUM_COLUMNS; c++) {
        const float v = Drum_Brightness(c);
        Drum_SetColour(drum_pane_centre, v, 0.9f * v, 0.7f * v, 1.0f);
        Drum_SetColour(drum_pane_rim, 0.6f * v, 0.5f * v, 0.3f * v, 1.0f);
        Drum_SetColour(drum_wall_top, 0.8f * v, 0.6f * v, 0.4f * v, 1.0f);
        Drum_SetColour(drum_glow_inner, 1.0f, 0.8f, 0.5f, 0.3f * v);
        for (int j = 0; j < DRUM_ROWS; j++) {
            if (lit[c][j]) {
                Drum_Fan(c, j, DRUM_PANE, drum_pane_centre, drum_pane_rim);
                Drum_Walls(c, j, DRUM_PANE, DRUM_SKIN, drum_wall_base, drum_wall_top);
            } else {
                Drum_Fan(c, j, DRUM_SKIN, drum_skin_centre, drum_skin_rim);
            }
        }
    }
}

// A warm halo round every lit window, fading out at three times the skin radius.
static void Drum_GlowPass(const unsigned char (*lit)[DRUM_ROWS])
{
    glDisable(GL_DEPTH_TEST);
    for (int c = 0; c < DRUM_COLUMNS; c++) {
        drum_glow_inner[3] = 0.3f * Drum_Brightness(c);
        for (int j = 0; j < DRUM_ROWS; j++)
            if (lit[c][j])
                Drum_Walls(c, j, DRUM_SKIN, DRUM_GLOW, drum_glow_inner, drum_glow_outer);
    }
}

// Window frame f, rounded from a channel; the timeline keeps it within the
// table, a late frame's value just past the end still shows the last frame.
static int Drum_Clamp(float value, int last)
{
    const int k = (int)nearbyintf(value);
    return k < 0 ? 0 : (k > last ? last : k);
}

static void Drum_Draw(int frame, float veil)
{
    glCallList(8);
    Drum_Rescale(Drum_Clamp(chan.d1, DRUM_RADIUS_ENTRIES - 1 - 2 * (DRUM_CORNER_STATIONS - 1)));
    Drum_SolidPass(drum_windows[frame]);
    Drum_GlowPass(drum_windows[frame]);
    glColor4f(0, 0, 0, veil);
    glCallList(6);
    glColor4f(0, 0, 0, veil);
    glCallList(7);
}

void Drum_RenderWindows(void)
{
    Drum_Draw(Drum_Clamp(chan.d0, DRUM_FRAMES - 1), chan.n0);
}

void Drum_RenderReveal(void)
{
    Drum_Draw(Drum_Clamp(chan.a, DRUM_FRAMES - 1), 0.0f);
}
