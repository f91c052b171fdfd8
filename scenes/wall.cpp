// Glowing pixel wall: 32 x 25 glyphs of three soft octagonal discs each hang
// in perspective between black bars and slowly turn. Every glyph takes its
// disc strengths from a small palette picture (a warm background, coloured
// marker squares at both sides, a few words in dark glyphs), bright discs
// throw faint light sheets towards the viewer, and bands of brightness run
// along the rows, as a row/column interference or diagonally.
#include <GL/gl.h>

#include <cmath>

#include "core/core.h"
#include "render/render.h"
#include "scenes/scenes.h"

// The picture, row 0 at the top of the wall. 0 is the warm background, 1 the
// dark cells of the words ("GLOW", "bright" with the g's tail, three dots,
// "Y A Y"), 2 to 5 the marker squares at both ends of the lines.
const unsigned char wall_picture[WALL_ROWS][WALL_COLS] = {
    {0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0},
    {0,2,2,0,1,1,1,0,1,0,0,0,1,1,1,0,1,0,0,0,1,0,0,0,0,0,0,0,0,2,2,0},
    {0,2,2,0,1,0,0,0,1,0,0,0,1,0,1,0,1,0,0,0,1,0,0,0,0,0,0,0,0,2,2,0},
    {0,2,2,0,1,0,1,0,1,0,0,0,1,0,1,0,1,0,1,0,1,0,0,0,0,0,0,0,0,2,2,0},
    {0,2,2,0,1,0,1,0,1,0,0,0,1,0,1,0,1,0,1,0,1,0,0,0,0,0,0,0,0,2,2,0},
    {0,2,2,0,1,1,1,0,1,1,1,0,1,1,1,0,0,1,0,1,0,0,0,0,0,0,0,0,0,2,2,0},
    {0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0},
    {0,3,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,3,3,0},
    {0,3,3,0,1,0,0,0,0,0,0,0,1,0,0,0,0,0,1,0,0,0,0,1,0,0,0,0,0,3,3,0},
    {0,3,3,0,1,1,1,0,1,1,1,0,0,0,1,1,1,0,1,1,1,0,1,1,1,0,0,0,0,3,3,0},
    {0,3,3,0,1,0,1,0,1,0,0,0,1,0,1,0,1,0,1,0,1,0,0,1,0,0,0,0,0,3,3,0},
    {0,0,0,0,1,1,1,0,1,0,0,0,1,0,1,1,1,0,1,0,1,0,0,1,1,0,0,0,0,0,0,0},
    {0,4,4,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,4,4,0},
    {0,4,4,0,0,0,0,0,0,0,0,0,0,0,1,1,1,0,0,0,0,0,0,0,0,0,0,0,0,4,4,0},
    {0,4,4,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,4,4,0},
    {0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0},
    {0,5,5,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,5,5,0},
    {0,5,5,0,0,1,0,0,1,0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,5,5,0},
    {0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0},
    {0,1,0,1,0,0,0,0,0,0,0,0,0,0,0,1,1,1,0,0,0,0,0,0,0,0,0,0,1,0,1,0},
    {0,1,0,1,0,0,0,0,0,0,0,0,0,0,1,1,0,1,1,0,0,0,0,0,0,0,0,0,1,0,1,0},
    {0,0,1,0,0,0,0,0,0,0,0,0,0,1,1,0,0,0,1,1,0,0,0,0,0,0,0,0,0,1,0,0},
    {0,0,1,0,0,0,0,0,0,0,0,0,0,1,1,1,1,1,1,1,0,0,0,0,0,0,0,0,0,1,0,0},
    {0,0,1,0,0,0,0,0,0,0,0,0,0,1,1,0,0,0,1,1,0,0,0,0,0,0,0,0,0,1,0,0},
    {0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0},
};

// Disc strengths (red disc, green disc, blue disc) per picture index.
static const float wall_palette[16][3] = {
    {0.7f, 0.5f, 0.4f}, {0, 0, 0}, {0, 0, 0.9f}, {0, 0.9f, 0}, {0.9f, 0.9f, 0}, {0.9f, 0, 0},
    {0, 1, 1},          {0, 0, 0}, {0, 0, 0},    {0, 0, 0},    {0, 0, 0},       {0, 0, 0},
    {0, 0, 0},          {0, 0, 0}, {0, 0, 0},    {0, 0, 0},
};

// How much a band dims the glyphs it passes; one period is ten rows (or columns).
static const float wall_wave[WALL_WAVES] = {0.28f, 0.35f, 0.45f, 0.35f, 0.28f, 0.22f, 0.14f, 0.0f, 0.14f, 0.22f};

// Where the next frame's bands start: the previous frame's d0, rounded.
static int wall_wave_index;

// 35-degree perspective, aspect 2, near 1, far about 2600.
static const float wall_projection[16] = {
    1.58579695f, 0, 0, 0, 0, 3.1715951f, 0, 0, 0, 0, -1.00076902f, -1, 0, 0, -2.00077009f, 0};
// The wall tilted back about 12 degrees and pushed about 1432 units away.
static const float wall_view[16] = {
    0.977801979f, 0, 0, 0, 0, 0.95609802f, -0.209528998f, 0, 0, 0.204878002f, 0.977801979f, 0,
    0, -0.000003f, -1431.7821f, 1};
// Pixel space for the bars: x/320 - 1, 0.004167 y - 1, -z.
static const float wall_screen[16] = {
    0.003125f, 0, 0, 0, 0, 0.004167f, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};

// The red disc's fan (centre first, then the closed octagon of radius 20,
// clockwise from the top); the purple disc is it turned by -120 degrees and
// the green disc that mirrored in x.
static const float wall_red_fan[10][2] = {
    {0, 10},
    {0, 30}, {14.14214f, 24.14214f}, {20, 10}, {14.14214f, -4.14214f},
    {0, -10}, {-14.14214f, -4.14214f}, {-20, 10}, {-14.14214f, 24.14214f},
    {0, 30}};
static const float wall_purple_fan[10][2] = {
    {8.660254f, -5},
    {25.98076f, -15}, {13.83664f, -24.31852f}, {-1.339746f, -22.32051f}, {-10.65827f, -10.17638f},
    {-8.660254f, 5}, {3.483872f, 14.31852f}, {18.66025f, 12.32051f}, {27.97878f, 0.1763825f},
    {25.98076f, -15}};

// How a band moves over the wall.
enum wall_wave_mode_t {
    WALL_ROW_WAVE,          // along the rows only
    WALL_CROSS_WAVE,        // rows against columns, the column wave restarting at every row
    WALL_DIAGONAL_WAVE,     // rows against columns, the column wave running on: diagonal bands
};

void Wall_Init(void)
{
    // Everything the wall needs is constant data.
}

// One disc: the centre in the caller's colour, the rim in the disc's own.
static void Wall_CompileDisc(unsigned int list, const float fan[10][2], float mirror, const float rim[4])
{
    glNewList(list, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3f(mirror * fan[0][0], fan[0][1], 0);
    glColor4fv(rim);
    for (int k = 1; k < 10; k++)
        glVertex3f(mirror * fan[k][0], fan[k][1], 0);
    glEnd();
    glEndList();
}

// Four light sheets from disc centre (cx, cy): left, right, down, up. Each
// starts at the centre in the caller's colour and reaches 200 units out of
// the wall in the sheet's own faint colour.
static void Wall_CompileSheets(unsigned int first, float cx, float cy, const float colour[4][4])
{
    static const float far_edge[4][3] = {{-60, 0, 200}, {60, 0, 200}, {0, -50, 200}, {0, 50, 200}};
    static const float near_edge[4][2] = {{-10, 0}, {10, 0}, {0, -10}, {0, 10}};
    for (int s = 0; s < 4; s++) {
        glNewList(first + s, GL_COMPILE);
        glBegin(GL_QUADS);
        glVertex3f(cx, cy, 0);
        glColor4fv(colour[s]);
        glVertex3f(cx, cy, 200);
        glVertex3f(cx + far_edge[s][0], cy + far_edge[s][1], far_edge[s][2]);
        glVertex3f(cx + near_edge[s][0], cy + near_edge[s][1], 0);
        glEnd();
        glEndList();
    }
}

// The black bars above and below the wall, fading to centre_alpha at the
// middle line; list 7 has them with a clear middle.
static void Wall_EmitBars(float centre_alpha)
{
    glBegin(GL_QUADS);
    glColor4f(0, 0, 0, 1);
    glVertex2f(0, 0);
    glVertex2f(640, 0);
    glVertex2f(640, 80);
    glVertex2f(0, 80);

    glVertex2f(0, 80);
    glVertex2f(640, 80);
    glColor4f(0, 0, 0, centre_alpha);
    glVertex2f(640, 240);
    glVertex2f(0, 240);

    glVertex2f(0, 240);
    glVertex2f(640, 240);
    glColor4f(0, 0, 0, 1);
    glVertex2f(640, 400);
    glVertex2f(0, 400);

    glVertex2f(0, 400);
    glVertex2f(640, 400);
    glVertex2f(640, 480);
    glVertex2f(0, 480);
    glEnd();
}

void Wall_Setup(void)
{
    glClearColor(0, 0, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    glNewList(7, GL_COMPILE);
    Wall_EmitBars(0);
    glEndList();

    static const float red_rim[4] = {1, 0.8f, 0.6f, 0.1f};
    static const float purple_rim[4] = {0.8f, 1, 0.6f, 0.1f};
    static const float green_rim[4] = {0.8f, 0.6f, 1, 0.1f};
    Wall_CompileDisc(10, wall_red_fan, 1, red_rim);
    Wall_CompileDisc(11, wall_purple_fan, 1, purple_rim);
    Wall_CompileDisc(12, wall_purple_fan, -1, green_rim);

    static const float red_sheet[4][4] = {
        {1, 0.4f, 0.3f, 0.02f}, {1, 0.5f, 0.3f, 0.02f}, {1, 0.4f, 0.3f, 0.02f}, {1, 0.4f, 0.3f, 0.02f}};
    static const float green_sheet[4][4] = {
        {0.5f, 1, 0.3f, 0.02f}, {0.5f, 1, 0.3f, 0.02f}, {0.5f, 1, 0.3f, 0.02f}, {0.5f, 1, 0.3f, 0.02f}};
    static const float purple_sheet[4][4] = {
        {0.5f, 0.3f, 1, 0.02f}, {0.5f, 0.3f, 1, 0.02f}, {0.5f, 0.3f, 1, 0.02f}, {0.5f, 0.3f, 1, 0.02f}};
    Wall_CompileSheets(20, wall_red_fan[0][0], wall_red_fan[0][1], red_sheet);
    Wall_CompileSheets(30, -wall_purple_fan[0][0], wall_purple_fan[0][1], green_sheet);
    Wall_CompileSheets(40, wall_purple_fan[0][0], wall_purple_fan[0][1], purple_sheet);
}

// One glyph at (x, y) with disc strengths rgb dimmed by w: the three discs,
// then their sheets, which show only where a strength passes 0.5.
static void Wall_DrawGlyph(float x, float y, const float rgb[3], float w)
{
    const float ar = rgb[0] - w, ag = rgb[1] - w, ab = rgb[2] - w;
    glPushMatrix();
    glTranslatef(x, y, 0);
    glColor4f(1, 0.4f, 0.3f, ar);
    glCallList(10);
    glColor4f(0.6f, 0.3f, 0.8f, ab);
    glCallList(11);
    glColor4f(0.6f, 1, 0.3f, ag);
    glCallList(12);
    for (unsigned int list = 20; list <= 23; list++) {
        glColor4f(1, 0.4f, 0.3f, ar - 0.5f);
        glCallList(list);
    }
    for (unsigned int list = 30; list <= 33; list++) {
        glColor4f(0.6f, 1, 0.3f, ag - 0.5f);
        glCallList(list);
    }
    for (unsigned int list = 40; list <= 43; list++) {
        glColor4f(0.6f, 0.3f, 0.8f, ab - 0.5f);
        glCallList(list);
    }
    glPopMatrix();
}

static int Wall_NextWave(int k)
{
    return k + 1 == WALL_WAVES ? 0 : k + 1;
}

// The turned wall, its bands starting where the last frame left them; then
// the next start is taken from d0 and the pixel space set up for the bars.
static void Wall_DrawWall(float ax, float ay, float az, wall_wave_mode_t mode)
{
    Render_Viewport(0, 80, 640, 320);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(wall_projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(wall_view);
    glRotatef(chan.a, ax, ay, az);

    int kr = wall_wave_index, kc = wall_wave_index;
    for (int row = WALL_ROWS - 1; row >= 0; row--) {
        const float y = (float)(-450 + 36 * (WALL_ROWS - 1 - row));
        if (mode == WALL_CROSS_WAVE)
            kc = wall_wave_index;
        for (int col = 0; col < WALL_COLS; col++) {
            const float x = (float)(-736 + 46 * col);
            const float w = mode == WALL_ROW_WAVE ? wall_wave[kr] : wall_wave[kr] - wall_wave[kc];
            Wall_DrawGlyph(x, y, wall_palette[wall_picture[row][col]], w);
            if (mode != WALL_ROW_WAVE)
                kc = Wall_NextWave(kc);
        }
        kr = Wall_NextWave(kr);
    }

    // The timeline keeps d0 within 0 to 8.5; anything else would index past
    // the wave table, so it restarts the bands instead.
    const float next = nearbyintf(chan.d0);
    wall_wave_index = next >= 0 && next < WALL_WAVES ? (int)next : 0;

    Render_Viewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(wall_screen);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Wall_RenderFadeIn(void)
{
    Wall_DrawWall(0.5f, 0.5f, 0.2f, WALL_ROW_WAVE);
    Wall_EmitBars(chan.n0);
}

void Wall_RenderRowWave(void)
{
    Wall_DrawWall(0.5f, 0.5f, 0.2f, WALL_ROW_WAVE);
    glCallList(7);
}

void Wall_RenderCrossWave(void)
{
    Wall_DrawWall(0.5f, 0.2f, -0.5f, WALL_CROSS_WAVE);
    glCallList(7);
}

void Wall_RenderDiagonalWave(void)
{
    Wall_DrawWall(0.5f, -0.5f, 0.2f, WALL_DIAGONAL_WAVE);
    glCallList(7);
}

void Wall_RenderFadeOut(void)
{
    Wall_DrawWall(0.5f, -0.5f, 0.2f, WALL_DIAGONAL_WAVE);
    Wall_EmitBars(chan.n0);
}
