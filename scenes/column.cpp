// Pulsing column: over a backdrop of two pictures, a letterboxed view of the
// front half of a column whose girth pulses in waves running up it, tiled
// with softly lit cells that throw faint beams out to a wide outer shell;
// four layers of lobed sprites drift beside it, and a warm veil whose
// strength follows the pulse lies over the view.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

column_grids_t column_base, column_work;
float column_pulse[COLUMN_PULSE];
float column_sprite_pos[COLUMN_LAYERS][COLUMN_SPRITES][2];

static zar_pic_t *column_brzydalek, *column_fel;

// The sprite's lobed outline, drawn at z = 3 as it stands.
static const float column_outline[COLUMN_OUTLINE][2] = {
    {0.0f, 3.92f},  {-2.45f, 5.88f}, {-4.9f, 2.94f}, {-5.39f, -0.98f}, {-2.94f, -2.45f},
    {0.0f, -6.86f}, {2.94f, -2.45f}, {5.39f, -0.98f}, {4.9f, 2.94f},   {2.45f, 5.88f},
};

// Scale and depth of rings 0 to 7; layer L has the inner ring 2L and the
// outer ring 2L + 1, so the nearer layers are the larger ones.
static const float column_ring_shape[8][2] = {
    {1.0f, 3.0f}, {1.3f, 3.0f}, {0.9f, 2.0f}, {1.17f, 2.0f}, {0.7f, 1.0f}, {0.91f, 1.0f}, {0.5f, 0.0f}, {0.65f, 0.0f},
};
static float column_ring[8][COLUMN_OUTLINE][3];

// Per layer: rim brightness per outline point, then the centre factor and alpha factor.
static const float column_layer_bright[COLUMN_LAYERS][COLUMN_OUTLINE] = {
    {0.5f, 0.6f, 0.7f, 0.8f, 0.8f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f},
    {0.6f, 0.7f, 0.8f, 0.9f, 0.9f, 0.8f, 0.7f, 0.6f, 0.6f, 0.5f},
    {0.7f, 0.8f, 0.9f, 1.0f, 1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f},
    {0.8f, 0.9f, 1.0f, 1.0f, 1.0f, 1.0f, 0.9f, 0.8f, 0.7f, 0.7f},
};
static const float column_layer_centre[COLUMN_LAYERS] = {0.2f, 0.3f, 0.9f, 1.0f};
static const float column_layer_alpha[COLUMN_LAYERS] = {0.8f, 0.8f, 0.6f, 0.6f};

// Turns (x, y, z) about the y axis by theta.
static void Column_Turn(const float base[3], float theta, float out[3])
{
    const float c = cosf(theta), s = sinf(theta);
    out[0] = base[0] * c + base[2] * s;
    out[1] = base[1];
    out[2] = base[2] * c - base[0] * s;
}

// Row 0 of a grid: the base point turned by first, first + pi/16, ...
static void Column_Ring(float (*row)[3], int points, const float base[3], float first)
{
    float theta = first;
    for (int k = 0; k < points; k++) {
        Column_Turn(base, theta, row[k]);
        theta += 0.1963495408f;
    }
}

static void Column_BuildGrids(void)
{
    static const float inner_base[3] = {-20.0f, -60.0f, 0.0f};
    static const float outer_base[3] = {-100.0f, -62.0f, 0.0f};
    column_grids_t &b = column_base, &w = column_work;

    Column_Ring(b.inner[0], COLUMN_POINTS, inner_base, 0.0f);
    Column_Ring(b.outer[0], COLUMN_POINTS, outer_base, 0.0f);
    for (int k = 0; k < COLUMN_POINTS; k++) {
        w.inner[0][k][1] = b.inner[0][k][1];
        w.outer[0][k][1] = b.outer[0][k][1];
    }
    // Rows 0 and 1 share a height: the bottom row of cells is flat.
    for (int r = 1; r < COLUMN_ROWS; r++)
        for (int k = 0; k < COLUMN_POINTS; k++) {
            const float up = (float)(4 * (r - 1));
            for (int i = 0; i < 3; i++) {
                b.inner[r][k][i] = b.inner[0][k][i];
                b.outer[r][k][i] = b.outer[0][k][i];
            }
            b.inner[r][k][1] += up;
            b.outer[r][k][1] += up;
            w.inner[r][k][1] = b.inner[r][k][1];
            w.outer[r][k][1] = b.outer[r][k][1];
        }

    // The cell grids sit half a step above and beside: the middle of each cell.
    Column_Ring(b.inner_cell[0], COLUMN_CELL_POINTS, inner_base, 0.09817477f);
    Column_Ring(b.outer_cell[0], COLUMN_CELL_POINTS, outer_base, 0.09817477f);
    for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
        w.inner_cell[0][k][1] = b.inner_cell[0][k][1];
        w.outer_cell[0][k][1] = b.outer_cell[0][k][1];
    }
    for (int r = 1; r < COLUMN_CELL_ROWS; r++)
        for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
            const float up = (float)(2 + 4 * (r - 1));
            for (int i = 0; i < 3; i++) {
                b.inner_cell[r][k][i] = b.inner_cell[0][k][i];
                b.outer_cell[r][k][i] = b.outer_cell[0][k][i];
            }
            b.inner_cell[r][k][1] += up;
            b.outer_cell[r][k][1] += up;
            w.inner_cell[r][k][1] = b.inner_cell[r][k][1];
            w.outer_cell[r][k][1] = b.outer_cell[r][k][1];
        }

    // The outer shell is taller as well as wider.
    for (int r = 0; r < COLUMN_ROWS; r++)
        for (int k = 0; k < COLUMN_POINTS; k++) {
            b.outer[r][k][1] *= 2.6f;
            w.outer[r][k][1] *= 2.6f;
        }
    for (int r = 0; r < COLUMN_CELL_ROWS; r++)
        for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
            b.outer_cell[r][k][1] *= 2.6f;
            w.outer_cell[r][k][1] *= 2.6f;
        }
}

static void Column_BuildPulse(void)
{
    float angle = 0.0f;
    for (int i = 0; i < COLUMN_PULSE; i++) {
        const float swing = 0.7f * sinf(angle);
        column_pulse[i] = swing + 0.8f;
        angle += 0.26f;
    }
}

static void Column_BuildRings(void)
{
    for (int n = 0; n < 8; n++)
        for (int i = 0; i < COLUMN_OUTLINE; i++) {
            // Ring 0 is the outline itself; scaling it by 1 changes nothing.
            column_ring[n][i][0] = column_ring_shape[n][0] * column_outline[i][0];
            column_ring[n][i][1] = column_ring_shape[n][0] * column_outline[i][1];
            column_ring[n][i][2] = column_ring_shape[n][1];
        }
}

// Four sprites of each layer per block of height, x drawn before y, so that
// the layers interleave and no layer crowds one end.
static void Column_PlaceSprites(void)
{
    for (int m = 0; m < 8; m++) {
        const int y0 = -96 + 24 * m;
        for (int g = 0; g < COLUMN_LAYERS; g++)
            for (int k = 4 * m; k < 4 * m + 4; k++)
                column_sprite_pos[g][k][0] = (float)(60 + 10 * (rand() % 11));
        for (int g = 0; g < COLUMN_LAYERS; g++)
            for (int k = 4 * m; k < 4 * m + 4; k++)
                column_sprite_pos[g][k][1] = (float)(y0 + 4 * (rand() % 6));
    }
}

void Column_Init(void)
{
    column_brzydalek = ZAR_ReadPic("brzydalek");
    column_fel = ZAR_ReadPic("fel");
    Column_BuildGrids();
    Column_BuildPulse();
    Column_BuildRings();
    Column_PlaceSprites();
}

// A shaded sprite layer: a lit fan and a band that fades out around it.
static void Column_CompileLayer(int layer)
{
    const float(*inner)[3] = column_ring[2 * layer], (*outer)[3] = column_ring[2 * layer + 1];
    const float *b = column_layer_bright[layer];
    const float c = column_layer_centre[layer], alpha = column_layer_alpha[layer];

    glNewList(10 + layer, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(0.9f * c, 0.55f * c, 0.4f * c, 1.0f * alpha);
    glVertex3f(0.0f, 0.0f, 0.0f);
    for (int i = 0; i <= COLUMN_OUTLINE; i++) {
        const int p = i % COLUMN_OUTLINE;
        glColor4f(0.9f * b[p], 0.55f * b[p], 0.4f * b[p], 0.9f * alpha);
        glVertex3fv(inner[p]);
    }
    glEnd();
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= COLUMN_OUTLINE; i++) {
        const int p = i % COLUMN_OUTLINE;
        glColor4f(1.0f * b[p], 0.65f * b[p], 0.5f * b[p], 0.5f * alpha);
        glVertex3fv(inner[p]);
        glColor4f(1.0f * b[p], 0.65f * b[p], 0.5f * b[p], 0.0f);
        glVertex3fv(outer[p]);
    }
    glEnd();
    glEndList();
}

// The layer's outline filled flat, in whatever colour the caller has set.
static void Column_CompileSilhouette(int layer)
{
    const float(*outer)[3] = column_ring[2 * layer + 1];
    glNewList(20 + layer, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3f(0.0f, 0.0f, 0.0f);
    for (int i = 0; i <= COLUMN_OUTLINE; i++)
        glVertex3fv(outer[i % COLUMN_OUTLINE]);
    glEnd();
    glEndList();
}

void Column_Setup(void)
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    // Culling stays on for the whole scene: the vertex orders choose which
    // cells, beams and sprites face the camera.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    Render_PictureTexturing();

    // Backdrop. Lists 8 and 9 are compiled below; a call inside a list is
    // resolved when the list is played, not when it is compiled.
    glNewList(2, GL_COMPILE);
    Render_PixelSpace();
    glEnable(GL_TEXTURE_2D);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, 24.0f, 0.0f);
    glCallList(9);
    glTranslatef(192.0f, 56.0f, 0.0f);
    glCallList(8);
    glDisable(GL_TEXTURE_2D);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEndList();

    // The letterboxed 3D view, with the column a little left of centre.
    glNewList(3, GL_COMPILE);
    Render_Viewport(0, 80, 640, 320);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, 2.0, 1.0, 420.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_DEPTH_BUFFER_BIT);
    glTranslatef(-70.0f, -2.0f, -220.0f);
    glEndList();

    BuildPicList(8, column_brzydalek);
    BuildPicList(9, column_fel);

    // Pixel space of the letterbox, for the veil.
    glNewList(7, GL_COMPILE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 320, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEndList();

    for (int layer = 0; layer < COLUMN_LAYERS; layer++)
        Column_CompileLayer(layer);
    for (int layer = 0; layer < COLUMN_LAYERS; layer++)
        Column_CompileSilhouette(layer);
}

void Column_Pulse(float d0)
{
    // Truncated, so the shape changes only when d0 passes a whole number;
    // d0 never exceeds 24, which reaches P[82] and P[81] and no further.
    const int i0 = (int)d0, i1 = (int)(d0 + 1.0f);
    column_grids_t &b = column_base, &w = column_work;
    for (int r = 0; r < COLUMN_ROWS; r++) {
        const float s = column_pulse[i0 + 2 * r];
        for (int k = 0; k < COLUMN_POINTS; k++) {
            w.inner[r][k][0] = b.inner[r][k][0] * s;
            w.inner[r][k][2] = b.inner[r][k][2] * s;
            w.outer[r][k][0] = b.outer[r][k][0] * s;
            w.outer[r][k][2] = b.outer[r][k][2] * s;
        }
    }
    for (int r = 0; r < COLUMN_CELL_ROWS; r++) {
        const float s = column_pulse[i1 + 2 * r];
        for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
            w.inner_cell[r][k][0] = b.inner_cell[r][k][0] * s;
            w.inner_cell[r][k][2] = b.inner_cell[r][k][2] * s;
            w.outer_cell[r][k][0] = b.outer_cell[r][k][0] * s;
            w.outer_cell[r][k][2] = b.outer_cell[r][k][2] * s;
        }
    }
}

// The cells: a fan from each cell's middle out to its four corners, the
// middle brighter where the column is wider.
static void Column_DrawCells(void)
{
    const column_grids_t &w = column_work;
    for (int r = 0; r < COLUMN_CELL_ROWS; r++) {
        const float f = w.inner_cell[r][0][0] / -29.3f;
        for (int k = 0; k < COLUMN_CELL_POINTS; k++) {
            glBegin(GL_TRIANGLE_FAN);
            glColor4f(1.2f * f, 0.9f * f, 0.75f * f, 1.0f);
            glVertex3fv(w.inner_cell[r][k]);
            glColor4f(0.5f, 0.3f, 0.15f, 0.5f);
            glVertex3fv(w.inner[r + 1][k]);
            glVertex3fv(w.inner[r][k]);
            glVertex3fv(w.inner[r][k + 1]);
            glVertex3fv(w.inner[r + 1][k + 1]);
            glVertex3fv(w.inner[r + 1][k]);
            glEnd();
        }
    }
}

// Four beams per cell, from its middle out to the outer shell at each corner.
static void Column_DrawBeams(void)
{
    static const int corner[4][2] = {{1, 0}, {1, 1}, {0, 1}, {0, 0}};
    const column_grids_t &w = column_work;
    glBegin(GL_QUADS);
    for (int r = 0; r < COLUMN_CELL_ROWS; r++) {
        const float alpha = w.inner_cell[r][0][0] / -200.0f;
        for (int k = 0; k < COLUMN_CELL_POINTS; k++)
            for (int q = 0; q < 4; q++) {
                const int rr = r + corner[q][0], kk = k + corner[q][1];
                glColor4f(1.0f, 0.9f, 0.85f, alpha);
                glVertex3fv(w.inner_cell[r][k]);
                glColor4f(1.0f, 0.9f, 0.85f, 0.01f);
                glVertex3fv(w.inner[rr][kk]);
                glVertex3fv(w.outer[rr][kk]);
                glVertex3fv(w.outer_cell[r][k]);
            }
    }
    glEnd();
}

// One layer of 32 sprites, moved as a group by its offset.
static void Column_DrawSprites(int layer, float dy, float dz, float alpha)
{
    glPushMatrix();
    glTranslatef(0.0f, dy, dz);
    for (int k = 0; k < COLUMN_SPRITES; k++) {
        glPushMatrix();
        glTranslatef(column_sprite_pos[layer][k][0], column_sprite_pos[layer][k][1], 0.0f);
        glCallList(10 + layer);
        glColor4f(1.0f, 0.8f, 0.75f, alpha);
        glCallList(20 + layer);
        glPopMatrix();
    }
    glPopMatrix();
}

void Column_Render(void)
{
    glCallList(2);
    glCallList(3);
    Column_Pulse(chan.d0);
    // The girth of a few cell rows drives the shading, the sprites and the veil.
    const float(*cells)[COLUMN_CELL_POINTS][3] = column_work.inner_cell;
    const float x5 = cells[5][0][0], x10 = cells[10][0][0], x15 = cells[15][0][0];

    glEnable(GL_DEPTH_TEST);
    Column_DrawCells();
    glDisable(GL_DEPTH_TEST);
    Column_DrawBeams();

    // Far layers first; the two near ones drift against the two far ones.
    const float a = chan.a;
    Column_DrawSprites(3, a, 0.0f, x5 / -40.0f);
    Column_DrawSprites(2, 1.2f * a, 10.0f, x5 / -50.0f);
    Column_DrawSprites(1, -1.4f * a, 20.0f, x5 / -100.0f);
    Column_DrawSprites(0, -1.6f * a, 30.0f, x5 / -110.0f);

    glCallList(7);
    glBegin(GL_QUAD_STRIP);
    glColor4f(0.2f, 0.1f, 0.0f, x15 / -50.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(640.0f, 0.0f, 0.0f);
    glColor4f(0.3f, 0.2f, 0.0f, x10 / -60.0f);
    glVertex3f(0.0f, 160.0f, 0.0f);
    glVertex3f(640.0f, 160.0f, 0.0f);
    glColor4f(0.2f, 0.1f, 0.0f, x15 / -50.0f);
    glVertex3f(0.0f, 320.0f, 0.0f);
    glVertex3f(640.0f, 320.0f, 0.0f);
    glEnd();
}
