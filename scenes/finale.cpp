// Closing pictures and end scroller: a full-screen picture slides in as
// interleaved columns, a translucent tunnel grows out of it, the end text
// scrolls across a rocking, wavy relief of small quads, the tunnel shrinks,
// the columns slide away from a second picture crossed by flickering bands,
// and that picture grows to twice its size while it fades to black.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "archive/zar.h"
#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

// The lists step through the pictures in these fixed strides.
enum {
    FINALE_SLIDE_COLS = 10, FINALE_SLIDE_ROWS = 15, FINALE_SLIDE_W = 64, FINALE_SLIDE_H = 32,
    FINALE_SLIDE_TILE_BYTES = FINALE_SLIDE_W * FINALE_SLIDE_H * 3,
    FINALE_CLOSE_TILES = 3, FINALE_CLOSE_W = 128, FINALE_CLOSE_H = 256,
    FINALE_CLOSE_TILE_BYTES = FINALE_CLOSE_W * FINALE_CLOSE_H * 3,
};

float finale_relief[FINALE_RELIEF][FINALE_RELIEF];
unsigned char finale_bitmap[FINALE_BITMAP_ROWS][FINALE_BITMAP_COLS];

static zar_pic_t *finale_slides, *finale_closing;
static const uint8_t *finale_text;
static uint32_t finale_text_size;

// Ends the run when a picture's shape is not the one the lists step through:
// any other shape would make them read past its pixels.
static zar_pic_t *Finale_ReadPic(const char *name, uint32_t across, uint32_t down, uint32_t w, uint32_t h)
{
    zar_pic_t *pic = ZAR_ReadPic(name);
    if (pic->tiles_x != across || pic->tiles_y != down || pic->tile_w != w || pic->tile_h != h) {
        printf("Finale_Init: FATAL_ERROR: %s must be %u x %u tiles of %u x %u pixels.\n", name, across, down, w, h);
        exit(1);
    }
    return pic;
}

static void Finale_BuildRelief(void)
{
    float v = 0.0f;
    for (int i = 0; i < FINALE_RELIEF; i++) {
        float u = 0.0f;
        for (int j = 0; j < FINALE_RELIEF; j++) {
            finale_relief[j][i] = 20.0f * cosf(u) - 20.0f * sinf(v) - 40.0f;
            u += 0.31415926f;
        }
        v += 0.31415926f;
    }
}

// Each dot of a glyph becomes a 3 x 3 block; character n owns 24 rows.
static void Finale_BuildBitmap(void)
{
    for (int n = 0; n < FINALE_TEXT_CHARS; n++) {
        // A text shorter than the strip ends in blank cells.
        const int code = (uint32_t)n < finale_text_size ? finale_text[n] : ' ';
        if (code < 33 || code > 95)
            continue;
        const unsigned char *glyph = scroller_font + (code - 33) * SCROLLER_GLYPH_BYTES;
        for (int r = 0; r < 5; r++)
            for (int k = 0; k < 8; k++) {
                if (glyph[r * 8 + k] != 1)
                    continue;
                for (int dy = 0; dy < 3; dy++)
                    for (int dx = 0; dx < 3; dx++)
                        finale_bitmap[24 * n + 3 * k + dy][3 * r + dx] = 1;
            }
    }
}

void Finale_Init(void)
{
    Finale_BuildRelief();
    finale_slides = Finale_ReadPic("siekierka", FINALE_SLIDE_COLS, FINALE_SLIDE_ROWS, FINALE_SLIDE_W, FINALE_SLIDE_H);
    finale_closing = Finale_ReadPic("butterfly", FINALE_CLOSE_TILES, 1, FINALE_CLOSE_W, FINALE_CLOSE_H);
    finale_text = ZAR_ReadText("water");
    finale_text_size = ZAR_LastSize();
    Finale_BuildBitmap();
}

// Every other tile column of the full-screen picture, starting at first.
static void Finale_CompileColumns(int first)
{
    for (int c = first; c < FINALE_SLIDE_COLS; c += 2)
        for (int r = 0; r < FINALE_SLIDE_ROWS; r++) {
            const float x = (float)(FINALE_SLIDE_W * c), y = (float)(FINALE_SLIDE_H * r);
            glTexImage2D(GL_TEXTURE_2D, 0, 3, FINALE_SLIDE_W, FINALE_SLIDE_H, 0, GL_RGB, GL_UNSIGNED_BYTE,
                         finale_slides->pixels + (size_t)FINALE_SLIDE_TILE_BYTES * (FINALE_SLIDE_COLS * r + c));
            // The tile's first pixel row goes to its top edge.
            glBegin(GL_QUADS);
            glTexCoord2f(0, 1); glVertex3f(x, y, 0);
            glTexCoord2f(1, 1); glVertex3f(x + 64, y, 0);
            glTexCoord2f(1, 0); glVertex3f(x + 64, y + 32, 0);
            glTexCoord2f(0, 0); glVertex3f(x, y + 32, 0);
            glEnd();
        }
}

// The tunnel's square at depth z, 48 units across.
static void Finale_Square(float z)
{
    glVertex3f(-24, -24, z);
    glVertex3f(24, -24, z);
    glVertex3f(24, 24, z);
    glVertex3f(-24, 24, z);
}

void Finale_Setup(void)
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glFrontFace(GL_CCW);
    // The previous scene culled back faces; every face here is shown.
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    Render_PictureTexturing();

    // 2D pixel space; every render routine starts here.
    glNewList(10, GL_COMPILE);
    glDisable(GL_DEPTH_TEST);
    Render_PixelSpace();
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glEndList();

    glNewList(11, GL_COMPILE);
    glEnable(GL_TEXTURE_2D);
    Finale_CompileColumns(0);
    glEndList();

    glNewList(12, GL_COMPILE);
    Finale_CompileColumns(1);
    glDisable(GL_TEXTURE_2D);
    glEndList();

    glNewList(13, GL_COMPILE);
    glColor4f(1.0f, 0.7f, 0.55f, 0.1f);
    glBegin(GL_QUADS);
    for (int i = 0; i < FINALE_TUNNEL_SQUARES; i++)
        Finale_Square((float)(-4 * i));
    glEnd();
    glEndList();

    // A square view in the middle of the screen; the camera looks along +z,
    // so +x points to the left.
    glNewList(14, GL_COMPILE);
    glEnable(GL_DEPTH_TEST);
    Render_Viewport(80, 0, 480, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, 1.0, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, -160.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glEndList();

    // The closing picture, centred on the origin; texturing is the caller's.
    glNewList(16, GL_COMPILE);
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    for (int k = 0; k < FINALE_CLOSE_TILES; k++) {
        const float x = (float)(-152 + FINALE_CLOSE_W * k);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, FINALE_CLOSE_W, FINALE_CLOSE_H, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     finale_closing->pixels + (size_t)FINALE_CLOSE_TILE_BYTES * k);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 1); glVertex3f(x, -127, 0);
        glTexCoord2f(1, 1); glVertex3f(x + 128, -127, 0);
        glTexCoord2f(1, 0); glVertex3f(x + 128, 127, 0);
        glTexCoord2f(0, 0); glVertex3f(x, 127, 0);
        glEnd();
    }
    glEndList();

    // The closing picture's area, for the fade; coloured by the caller.
    glNewList(17, GL_COMPILE);
    glBegin(GL_QUADS);
    glVertex3f(-152, -127, 0.6f);
    glVertex3f(232, -127, 0.6f);
    glVertex3f(232, 127, 0.6f);
    glVertex3f(-152, 127, 0.6f);
    glEnd();
    glEndList();
}

void Finale_RenderSlideIn(void)
{
    // Even columns come down from above, odd ones up from below.
    const float a = chan.a;
    glCallList(10);
    glPushMatrix();
    glTranslatef(0.0f, 480.0f - a, 0.0f);
    glCallList(11);
    glPopMatrix();
    glTranslatef(0.0f, a - 480.0f, 0.0f);
    glCallList(12);
}

void Finale_RenderTunnel(void)
{
    glCallList(10);
    glCallList(11);
    glCallList(12);
    glCallList(14);
    // a squares, rounded up, from the far end towards the camera.
    const float a = chan.a;
    glColor4f(1.0f, 0.7f, 0.55f, 0.1f);
    glBegin(GL_QUADS);
    for (int i = 0; a > (float)i; i++)
        Finale_Square((float)(-4 * i));
    glEnd();
}

// Whether bitmap row `row`, column `col` is lit. Rows outside the bitmap
// (only a channel far outside its entry's range could ask) are dark.
static int Finale_Lit(int row, int col)
{
    return row >= 0 && row < FINALE_BITMAP_ROWS && finale_bitmap[row][col];
}

void Finale_RenderScroller(void)
{
    glCallList(10);
    glCallList(11);
    glCallList(12);
    glCallList(14);
    const int D = (int)nearbyintf(chan.d0), A = (int)nearbyintf(chan.a);

    glPushMatrix();
    glRotatef(chan.s0, 0.0f, 0.0f, 1.0f);
    // Quads 1 wide and 4 high on rows 1 apart: each overlaps the three rows
    // above it, and the depth test picks what shows of the relief.
    glBegin(GL_QUADS);
    int g = D;
    for (int r = 0; r < FINALE_BITMAP_COLS; r++) {
        const float y = (float)(-10 + r);
        if (g == 20)
            g = 0;
        int h = D;
        for (int m = 95; m >= 1; m--) {
            const float x = (float)(-48 + (95 - m));
            if (h == 20)
                h = 0;
            if (Finale_Lit(m + A, r))
                glColor4f(0.9f, 0.7f, 0.6f, 0.7f);
            else
                glColor4f(0.2f, 0.2f, 0.2f, 1.0f);
            glVertex3f(x, y, finale_relief[h][g]);
            glVertex3f(x + 1, y, finale_relief[h + 1][g]);
            glVertex3f(x + 1, y + 4, finale_relief[h + 1][g + 1]);
            glVertex3f(x, y + 4, finale_relief[h][g + 1]);
            h++;
        }
        g++;
    }
    glEnd();
    glPopMatrix();
    glCallList(13);
}

// The flickering dark bands over the closing picture: two alphas that swap.
static void Finale_DrawBands(void)
{
    const float alpha_a = 0.25f + chan.s0;
    const float alpha_b = 0.5f - alpha_a;
    for (int y0 = -127; y0 <= 65; y0 += 64) {
        const float y = (float)y0;
        glBegin(GL_QUAD_STRIP);
        glColor4f(0, 0, 0, alpha_a);
        glVertex3f(-152, y, 0.5f);
        glVertex3f(232, y, 0.5f);
        glColor4f(0, 0, 0, alpha_b);
        glVertex3f(-152, y + 32, 0.5f);
        glVertex3f(232, y + 32, 0.5f);
        glColor4f(0, 0, 0, alpha_a);
        glVertex3f(-152, y + 64, 0.5f);
        glVertex3f(232, y + 64, 0.5f);
        glEnd();
    }
}

void Finale_RenderSlideOut(void)
{
    const float a = chan.a;
    glCallList(10);
    glPushMatrix();
    glTranslatef(320.0f, 240.0f, -0.5f);
    glEnable(GL_TEXTURE_2D);
    glCallList(16);
    glDisable(GL_TEXTURE_2D);
    Finale_DrawBands();
    glPopMatrix();
    // The columns leave: even ones upwards, odd ones downwards.
    glPushMatrix();
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, 480.0f - a, 0.7f);
    glCallList(11);
    glPopMatrix();
    glTranslatef(0.0f, a - 480.0f, 0.7f);
    glCallList(12);
}

void Finale_RenderZoomFade(void)
{
    const float a = chan.a;
    glCallList(10);
    glTranslatef(320.0f, 240.0f, -0.5f);
    glScalef(1.0f + a, 1.0f + a, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glCallList(16);
    glDisable(GL_TEXTURE_2D);
    Finale_DrawBands();
    glColor4f(0.0f, 0.0f, 0.0f, a);
    glCallList(17);
}
