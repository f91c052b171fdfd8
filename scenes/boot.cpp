// Loading screen and opening: the title picture with its row of progress
// marks while the loader works; then the picture breaks into 300 tiles that
// stand out as brown columns and sink into a peach haze in two waves, and
// black bars close the opening down to three thin peach lines.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

enum { BOOT_COLS = 20, BOOT_ROWS = 15, BOOT_TILE = 32, BOOT_TILE_BYTES = BOOT_TILE * BOOT_TILE * 3 };

// The tiles that sink first, as (column, row) with row 0 at the bottom.
// Only the set matters; the order is the one the wave was drawn up in.
const unsigned char boot_first_wave[BOOT_FIRST_WAVE][2] = {
    {3, 1}, {17, 10}, {13, 10}, {6, 12}, {9, 1}, {2, 7}, {10, 4}, {0, 6}, {12, 1}, {11, 8},
    {7, 9}, {2, 5}, {2, 13}, {7, 10}, {9, 12}, {2, 3}, {13, 1}, {11, 7}, {9, 3}, {1, 14},
    {4, 7}, {18, 14}, {15, 0}, {11, 5}, {16, 3}, {16, 1}, {5, 0}, {4, 12}, {16, 5}, {6, 9},
    {13, 2}, {4, 0}, {2, 0}, {14, 12}, {14, 14}, {3, 5}, {7, 3}, {16, 8}, {8, 9}, {3, 11},
    {14, 4}, {12, 0}, {19, 7}, {6, 6}, {15, 10}, {14, 13}, {7, 6}, {17, 2}, {17, 12}, {12, 11},
    {1, 5}, {6, 1}, {5, 14}, {4, 14}, {0, 9}, {17, 11}, {9, 7}, {7, 1}, {17, 3}, {6, 5},
    {6, 8}, {19, 14}, {8, 6}, {12, 14}, {3, 14}, {10, 3}, {8, 5}, {18, 10}, {19, 13}, {4, 8},
    {4, 4}, {7, 11}, {3, 6}, {19, 1}, {17, 13}, {15, 2}, {14, 1}, {15, 13}, {18, 8}, {16, 4},
    {3, 13}, {13, 8}, {6, 10}, {4, 13}, {8, 3}, {17, 6}, {4, 3}, {10, 8}, {10, 14}, {12, 5},
    {9, 2}, {2, 14}, {15, 4}, {8, 11}, {19, 3}, {0, 7}, {11, 10}, {5, 1}, {1, 0}, {18, 5},
    {0, 11}, {4, 6}, {8, 1}, {2, 8}, {19, 10}, {13, 11}, {1, 10}, {13, 14}, {0, 3}, {19, 11},
    {13, 3}, {10, 10}, {6, 11}, {16, 12}, {16, 7}, {5, 6}, {7, 2}, {8, 7}, {19, 9}, {2, 2},
    {13, 12}, {19, 4}, {0, 2}, {5, 3}, {7, 5}, {0, 4}, {12, 12}, {2, 4}, {4, 5}, {9, 6},
    {12, 10}, {1, 7}, {2, 11}, {4, 1}, {8, 4}, {12, 3}, {18, 3}, {10, 9}, {8, 2}, {9, 10},
    {3, 2}, {13, 7}, {6, 0}, {15, 8}, {17, 9}, {16, 0}, {14, 6}, {0, 14}, {16, 2}, {19, 2},
};

static zar_pic_t *boot_picture;
static unsigned char boot_in_first_wave[BOOT_ROWS][BOOT_COLS];

// Column walls: lighter at the face, solid at the far end.
static const float boot_column_colour[4][4] = {
    {0.6f, 0.3f, 0.2f, 0.5f}, {0.6f, 0.3f, 0.2f, 1.0f}, {0.6f, 0.4f, 0.2f, 0.5f}, {0.6f, 0.4f, 0.2f, 1.0f}};

// Pixel space of the bars: x/320 - 1, 0.004167 y - 1, -z.
static const float boot_bars_projection[16] = {
    0.003125f, 0, 0, 0, 0, 0.004167f, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};

void Boot_Init(void)
{
    // The demo clock stands still until the loader has prepared every scene.
    clock_step.store(0.0f, std::memory_order_release);
    boot_picture = ZAR_ReadPic("bootpic");
    // The column lists step through the pixels in fixed tile strides; any
    // other shape would make them read past the picture.
    if (boot_picture->tiles_x != BOOT_COLS || boot_picture->tiles_y != BOOT_ROWS ||
        boot_picture->tile_w != BOOT_TILE || boot_picture->tile_h != BOOT_TILE) {
        printf("Boot_Init: FATAL_ERROR: bootpic must be 20 x 15 tiles of 32 x 32 pixels.\n");
        exit(1);
    }
    for (int k = 0; k < BOOT_FIRST_WAVE; k++)
        boot_in_first_wave[boot_first_wave[k][1]][boot_first_wave[k][0]] = 1;
}

void Boot_SetupLoading(void)
{
    glClearColor(1.0f, 0.8f, 0.7f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glFrontFace(GL_CCW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    Render_Viewport(0, 0, 640, 480);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A negative far plane: the matrix then keeps everything in front of
    // the eye, however far; at +400 the picture, 760 away, would be clipped.
    gluPerspective(35.0, 1.33, 1.0, -400.0);

    Render_PictureTexturing();
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);

    BuildPicList(2, boot_picture);

    // Pending mark: a hollow 28 x 40 frame around a 20 x 24 hole.
    glNewList(5, GL_COMPILE);
    glBegin(GL_QUAD_STRIP);
    glVertex2f(-14, 20);
    glVertex2f(-10, 12);
    glVertex2f(14, 20);
    glVertex2f(10, 12);
    glVertex2f(14, -20);
    glVertex2f(10, -12);
    glVertex2f(-14, -20);
    glVertex2f(-10, -12);
    glVertex2f(-14, 20);
    glVertex2f(-10, 12);
    glEnd();
    glEndList();

    // Done mark: the filled 20 x 24 block.
    glNewList(6, GL_COMPILE);
    glBegin(GL_QUADS);
    glVertex2f(-10, 12);
    glVertex2f(-10, -12);
    glVertex2f(10, -12);
    glVertex2f(10, 12);
    glEnd();
    glEndList();
}

// The camera of the loading screen and the opening: the plane z = 0 shows
// about one unit per pixel.
static void Boot_LookAtPicture(void)
{
    glLoadIdentity();
    gluLookAt(320, 240, 760, 320, 240, 0, 0, 1, 0);
}

void Boot_RenderLoading(void)
{
    Boot_LookAtPicture();
    glPushMatrix();
    glColor4f(0, 0, 0, 1);
    glEnable(GL_TEXTURE_2D);
    glCallList(2);
    glDisable(GL_TEXTURE_2D);

    glColor4f(0.9f, 0.7f, 0.3f, 0.4f);
    glTranslatef(20, 444, 0);
    for (int k = 0; k < LOAD_FLAGS; k++) {
        if (k > 0)
            glTranslatef(40, 0, 0);
        glCallList(load_flags[k].load(std::memory_order_acquire) ? 6 : 5);
    }
    glPopMatrix();
}

// One tile as a 32 x 32 column 600 deep, its face textured with the tile.
static void Boot_CompileColumn(int i, int j)
{
    const float x = (float)(BOOT_TILE * i), y = (float)(BOOT_TILE * j);
    const float *c1 = boot_column_colour[0], *c2 = boot_column_colour[1];
    const float *c3 = boot_column_colour[2], *c4 = boot_column_colour[3];

    glBegin(GL_QUAD_STRIP);
    glColor4fv(c1); glVertex3f(x + 32, y + 32, 0);
    glColor4fv(c2); glVertex3f(x + 32, y + 32, -600);
    glColor4fv(c3); glVertex3f(x + 32, y, 0);
    glColor4fv(c4); glVertex3f(x + 32, y, -600);
    glColor4fv(c1); glVertex3f(x, y, 0);
    glColor4fv(c2); glVertex3f(x, y, -600);
    glColor4fv(c3); glVertex3f(x, y + 32, 0);
    glColor4fv(c4); glVertex3f(x, y + 32, -600);
    glColor4fv(c1); glVertex3f(x + 32, y + 32, 0);
    glColor4fv(c2); glVertex3f(x + 32, y + 32, -600);
    glEnd();

    glEnable(GL_TEXTURE_2D);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, BOOT_TILE, BOOT_TILE, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 boot_picture->pixels + (size_t)BOOT_TILE_BYTES * (BOOT_COLS * j + i));
    // 31 x 31: a one-unit seam of the column shows between neighbours.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1); glVertex3f(x, y, 0);
    glTexCoord2f(1, 1); glVertex3f(x + 31, y, 0);
    glTexCoord2f(1, 0); glVertex3f(x + 31, y + 31, 0);
    glTexCoord2f(0, 0); glVertex3f(x, y + 31, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

static void Boot_CompileWave(unsigned int list, int first)
{
    glNewList(list, GL_COMPILE);
    for (int j = 0; j < BOOT_ROWS; j++)
        for (int i = 0; i < BOOT_COLS; i++)
            if (boot_in_first_wave[j][i] == first)
                Boot_CompileColumn(i, j);
    glEndList();
}

void Boot_SetupOpening(void)
{
    glEnable(GL_DEPTH_TEST);

    glNewList(16, GL_COMPILE);
    glColor4f(1.0f, 0.8f, 0.7f, 0.4f);
    glBegin(GL_QUADS);
    for (int z = -400; z <= -20; z += 20) {
        glVertex3f(0, 0, (float)z);
        glVertex3f(640, 0, (float)z);
        glVertex3f(640, 480, (float)z);
        glVertex3f(0, 480, (float)z);
    }
    glEnd();
    glEndList();

    Boot_CompileWave(12, 1);
    Boot_CompileWave(13, 0);

    // The music starts with the opening; with no stream this does nothing.
    FSOUND_Stream_Play(2, player_music);
}

void Boot_RenderFirstWave(void)
{
    Boot_LookAtPicture();
    glCallList(13);
    glPushMatrix();
    glTranslatef(0, 0, chan.a);
    glCallList(12);
    glPopMatrix();
    glCallList(16);
}

void Boot_RenderSecondWave(void)
{
    Boot_LookAtPicture();
    glPushMatrix();
    glTranslatef(0, 0, chan.a);
    glCallList(13);
    glPopMatrix();
    glCallList(16);
}

void Boot_SetupBars(void)
{
    glClearColor(1.0f, 0.8f, 0.7f, 0.0f);
    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(boot_bars_projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// One bar as four corners, shifted right by dx.
static void Boot_Bar(const float v[8], float dx)
{
    for (int k = 0; k < 4; k++)
        glVertex3f(v[2 * k] + dx, v[2 * k + 1], -0.5f);
}

void Boot_RenderBars(void)
{
    const float a = chan.a;
    // Four strips split at x = 320; the 2-pixel gaps between them stay peach.
    const float bars[4][8] = {
        {0, 80, 0, 0, a, 0, a, 80},
        {320 - a, 82, 320, 82, 320, 239, 320 - a, 239},
        {a, 398, 0, 398, 0, 241, a, 241},
        {320, 480, 320, 400, 320 - a, 400, 320 - a, 480},
    };
    glColor4f(0, 0, 0, 1);
    glBegin(GL_QUADS);
    for (int s = 0; s < 4; s++) {
        Boot_Bar(bars[s], 0);
        Boot_Bar(bars[s], 320);
    }
    glEnd();
}
