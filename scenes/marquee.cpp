// Spike shells and spotlight scroller: the viewer sits inside two shells of
// inward-pointing striped cones that tumble about different axes, with a
// dark haze among them; in front, a rocking purple floor carries a long text
// of dots that scrolls right to left under a point light, each dot near the
// light glowing and joined to it by four thin beams. Black bars frame it.
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
    MARQUEE_TEXT_CHARS = 142,
    MARQUEE_COPIES = 18,        // fans about the z axis
    MARQUEE_PIECES = 4,         // cones per fan
    MARQUEE_SIDES = 8,          // triangles per cone
    MARQUEE_FIRST_CODE = 33,
    MARQUEE_LAST_CODE = 95,
};

// One font row from its six used columns (1 to 6), drawn left to right: bit
// k of the packed byte is column k, so column 0 and 7 stay empty and
// neighbouring characters keep apart.
static constexpr unsigned char Marquee_Row(const char (&cols)[7])
{
    unsigned char bits = 0;
    for (int i = 0; i < 6; i++)
        if (cols[i] == '#')
            bits = (unsigned char)(bits | (1u << (i + 1)));
    return bits;
}
#define R(s) Marquee_Row(s)

// Codes 33 to 95, five rows each, the top row first. Plain capitals with
// strokes two dots wide where a single dot would fall off-centre: each dot
// is a 40-unit disc, so thin diagonals read as chains.
constexpr unsigned char marquee_font_packed[SCROLLER_GLYPHS][5] = {
    /* ! */ {R("  ##  "), R("  ##  "), R("  ##  "), R("      "), R("  ##  ")},
    /* " */ {R(" #  # "), R(" #  # "), R("      "), R("      "), R("      ")},
    /* # */ {R(" #  # "), R("######"), R(" #  # "), R("######"), R(" #  # ")},
    /* $ */ {R(" #####"), R("# #   "), R(" #### "), R("   # #"), R("##### ")},
    /* % */ {R("##   #"), R("##  # "), R("  ##  "), R(" #  ##"), R("#   ##")},
    /* & */ {R(" ##   "), R("#  #  "), R(" ## # "), R("#  #  "), R(" ## ##")},
    /* ' */ {R("  ##  "), R("  #   "), R("      "), R("      "), R("      ")},
    /* ( */ {R("   ## "), R("  #   "), R("  #   "), R("  #   "), R("   ## ")},
    /* ) */ {R(" ##   "), R("   #  "), R("   #  "), R("   #  "), R(" ##   ")},
    /* * */ {R("      "), R("# ## #"), R(" #### "), R("# ## #"), R("      ")},
    /* + */ {R("      "), R("  ##  "), R("######"), R("  ##  "), R("      ")},
    /* , */ {R("      "), R("      "), R("      "), R("  ##  "), R(" ##   ")},
    /* - */ {R("      "), R("      "), R(" #### "), R("      "), R("      ")},
    /* . */ {R("      "), R("      "), R("      "), R("      "), R("  ##  ")},
    /* / */ {R("     #"), R("    # "), R("  ##  "), R(" #    "), R("#     ")},
    /* 0 */ {R(" #### "), R("#   ##"), R("# ## #"), R("##   #"), R(" #### ")},
    /* 1 */ {R("  ##  "), R(" ###  "), R("  ##  "), R("  ##  "), R(" #### ")},
    /* 2 */ {R(" #### "), R("#    #"), R("   ## "), R(" ##   "), R("######")},
    /* 3 */ {R("##### "), R("     #"), R("  ### "), R("     #"), R("##### ")},
    /* 4 */ {R("#   # "), R("#   # "), R("######"), R("    # "), R("    # ")},
    /* 5 */ {R("######"), R("#     "), R("##### "), R("     #"), R("##### ")},
    /* 6 */ {R(" #### "), R("#     "), R("##### "), R("#    #"), R(" #### ")},
    /* 7 */ {R("######"), R("    # "), R("   #  "), R("  #   "), R("  #   ")},
    /* 8 */ {R(" #### "), R("#    #"), R(" #### "), R("#    #"), R(" #### ")},
    /* 9 */ {R(" #### "), R("#    #"), R(" #####"), R("     #"), R(" #### ")},
    /* : */ {R("      "), R("  ##  "), R("      "), R("  ##  "), R("      ")},
    /* ; */ {R("      "), R("  ##  "), R("      "), R("  ##  "), R(" ##   ")},
    /* < */ {R("   ## "), R("  #   "), R(" #    "), R("  #   "), R("   ## ")},
    /* = */ {R("      "), R("######"), R("      "), R("######"), R("      ")},
    /* > */ {R(" ##   "), R("   #  "), R("    # "), R("   #  "), R(" ##   ")},
    /* ? */ {R(" #### "), R("#    #"), R("   ## "), R("      "), R("  ##  ")},
    /* @ */ {R(" #### "), R("# ## #"), R("# ####"), R("#     "), R(" #### ")},
    /* A */ {R(" #### "), R("#    #"), R("######"), R("#    #"), R("#    #")},
    /* B */ {R("##### "), R("#    #"), R("##### "), R("#    #"), R("##### ")},
    /* C */ {R(" #####"), R("#     "), R("#     "), R("#     "), R(" #####")},
    /* D */ {R("##### "), R("#    #"), R("#    #"), R("#    #"), R("##### ")},
    /* E */ {R("######"), R("#     "), R("####  "), R("#     "), R("######")},
    /* F */ {R("######"), R("#     "), R("####  "), R("#     "), R("#     ")},
    /* G */ {R(" #####"), R("#     "), R("#  ###"), R("#    #"), R(" #### ")},
    /* H */ {R("#    #"), R("#    #"), R("######"), R("#    #"), R("#    #")},
    /* I */ {R(" #### "), R("  ##  "), R("  ##  "), R("  ##  "), R(" #### ")},
    /* J */ {R("  ####"), R("     #"), R("     #"), R("#    #"), R(" #### ")},
    /* K */ {R("#   # "), R("#  #  "), R("####  "), R("#   # "), R("#    #")},
    /* L */ {R("#     "), R("#     "), R("#     "), R("#     "), R("######")},
    /* M */ {R("#    #"), R("##  ##"), R("# ## #"), R("#    #"), R("#    #")},
    /* N */ {R("#    #"), R("##   #"), R("# #  #"), R("#  # #"), R("#   ##")},
    /* O */ {R(" #### "), R("#    #"), R("#    #"), R("#    #"), R(" #### ")},
    /* P */ {R("##### "), R("#    #"), R("##### "), R("#     "), R("#     ")},
    /* Q */ {R(" #### "), R("#    #"), R("#  # #"), R("#   # "), R(" ### #")},
    /* R */ {R("##### "), R("#    #"), R("##### "), R("#   # "), R("#    #")},
    /* S */ {R(" #####"), R("#     "), R(" #### "), R("     #"), R("##### ")},
    /* T */ {R("######"), R("  ##  "), R("  ##  "), R("  ##  "), R("  ##  ")},
    /* U */ {R("#    #"), R("#    #"), R("#    #"), R("#    #"), R(" #### ")},
    /* V */ {R("#    #"), R("#    #"), R("#    #"), R(" #  # "), R("  ##  ")},
    /* W */ {R("#    #"), R("#    #"), R("# ## #"), R("##  ##"), R("#    #")},
    /* X */ {R("#    #"), R(" #  # "), R("  ##  "), R(" #  # "), R("#    #")},
    /* Y */ {R("#    #"), R(" #  # "), R("  ##  "), R("  ##  "), R("  ##  ")},
    /* Z */ {R("######"), R("    # "), R("  ##  "), R(" #    "), R("######")},
    /* [ */ {R("  ### "), R("  #   "), R("  #   "), R("  #   "), R("  ### ")},
    /* \ */ {R("#     "), R(" #    "), R("  ##  "), R("    # "), R("     #")},
    /* ] */ {R(" ###  "), R("   #  "), R("   #  "), R("   #  "), R(" ###  ")},
    /* ^ */ {R("  ##  "), R(" #  # "), R("#    #"), R("      "), R("      ")},
    /* _ */ {R("      "), R("      "), R("      "), R("      "), R("######")},
};
#undef R

unsigned char scroller_font[SCROLLER_GLYPHS * SCROLLER_GLYPH_BYTES];

// One cone along -z: apex 40 away, octagonal base of radius 20 at 110,
// corners clockwise from (0, 20); triangle j joins corners j and j + 1.
static const float marquee_octagon[MARQUEE_SIDES + 1][2] = {
    {0, 20}, {14.14214f, 14.14214f}, {20, 0}, {14.14214f, -14.14214f}, {0, -20},
    {-14.14214f, -14.14214f}, {-20, 0}, {-14.14214f, 14.14214f}, {0, 20}};

static const uint8_t *marquee_text;
static float marquee_shell[MARQUEE_COPIES][MARQUEE_PIECES][MARQUEE_SIDES][3][3];

// The two stripe colours of the cones, rewritten every frame.
static float marquee_colour_a[4], marquee_colour_b[4];

static const float marquee_light[3] = {0, 100, 200};
// Alpha rewritten for every dot: the dot's strength.
static float marquee_dot_colour[4] = {1.0f, 0.8f, 0.6f, 0.0f};
static const float marquee_beam_colour[4] = {0.9f, 0.7f, 0.5f, 0.0f};

float marquee_dot[3];

// Rows: first packed byte is the top row, so byte 4 - r gives row r.
static void Marquee_UnpackFont(void)
{
    for (int g = 0; g < SCROLLER_GLYPHS; g++)
        for (int r = 0; r < 5; r++)
            for (int k = 0; k < 8; k++)
                scroller_font[g * SCROLLER_GLYPH_BYTES + r * 8 + k] =
                    (unsigned char)((marquee_font_packed[g][4 - r] >> k) & 1);
}

// Fan 0: four cones turned about the y axis, from 2 pi / 7 in steps of pi / 7.
static void Marquee_BuildFirstFan(void)
{
    float theta = 0.8975979f;
    for (int i = 0; i < MARQUEE_PIECES; i++) {
        const float c = cosf(theta), s = sinf(theta);
        for (int j = 0; j < MARQUEE_SIDES; j++) {
            const float tri[3][3] = {
                {0, 0, -40},
                {marquee_octagon[j][0], marquee_octagon[j][1], -110},
                {marquee_octagon[j + 1][0], marquee_octagon[j + 1][1], -110}};
            for (int v = 0; v < 3; v++) {
                const float x = tri[v][0], y = tri[v][1], z = tri[v][2];
                float *out = marquee_shell[0][i][j][v];
                out[0] = x * c + z * s;
                out[1] = y;
                out[2] = z * c - x * s;
            }
        }
        theta += 0.4487989505f;
    }
}

// Fans 1 to 17: fan 0 turned about the z axis in steps of 20 degrees.
static void Marquee_BuildOtherFans(void)
{
    float phi = 0.34906584f;
    for (int s = 1; s < MARQUEE_COPIES; s++) {
        const float c = cosf(phi), sn = sinf(phi);
        for (int i = 0; i < MARQUEE_PIECES; i++)
            for (int j = 0; j < MARQUEE_SIDES; j++)
                for (int v = 0; v < 3; v++) {
                    const float *in = marquee_shell[0][i][j][v];
                    float *out = marquee_shell[s][i][j][v];
                    out[0] = in[0] * c - in[1] * sn;
                    out[1] = in[0] * sn + in[1] * c;
                    out[2] = in[2];
                }
        phi += 0.3490658504f;
    }
}

void Marquee_Init(void)
{
    marquee_text = ZAR_ReadText("helmet");
    // The scroller walks a fixed number of characters every frame; a
    // shorter text would have it read past the buffer.
    if (ZAR_LastSize() < MARQUEE_TEXT_CHARS) {
        printf("Marquee_Init: FATAL_ERROR: helmet must hold at least 142 characters.\n");
        exit(1);
    }
    Marquee_UnpackFont();
    Marquee_BuildFirstFan();
    Marquee_BuildOtherFans();
}

void Marquee_Setup(void)
{
    glClearColor(0, 0, 0, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glFrontFace(GL_CW);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);

    // Camera inside the shells, on the part of the screen between the bars.
    glNewList(6, GL_COMPILE);
    Render_Viewport(80, 0, 520, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(65.0, (double)1.1067375f, 1.0, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glEndList();

    // Bars: 80 pixels on the left, 40 on the right.
    glNewList(7, GL_COMPILE);
    Render_PixelSpace();
    glColor4f(0, 0, 0, 1);
    glBegin(GL_QUADS);
    glVertex3f(0, 0, -0.5f);
    glVertex3f(80, 0, -0.5f);
    glVertex3f(80, 480, -0.5f);
    glVertex3f(0, 480, -0.5f);
    glVertex3f(600, 0, -0.5f);
    glVertex3f(640, 0, -0.5f);
    glVertex3f(640, 480, -0.5f);
    glVertex3f(600, 480, -0.5f);
    glEnd();
    glEndList();

    // Scroller camera: from the left, looking along the floor.
    glNewList(8, GL_COMPILE);
    glLoadIdentity();
    gluLookAt(-650, 100, 400, -200, 100, 0, 0, 1, 0);
    glDisable(GL_DEPTH_TEST);
    glEndList();

    glNewList(24, GL_COMPILE);
    glColor4f(0.3f, 0.1f, 0.2f, 1.0f);
    glBegin(GL_QUADS);
    glVertex3f(-500, 180, 0);
    glVertex3f(-500, -20, 0);
    glVertex3f(500, -20, 0);
    glVertex3f(500, 180, 0);
    glEnd();
    glEndList();

    // Haze: 25 faint dark sheets through the depth of the cones, so that
    // farther spikes sink into it.
    glNewList(9, GL_COMPILE);
    glColor4f(0.2f, 0.1f, 0.1f, 0.1f);
    glBegin(GL_QUADS);
    float z = -110;
    for (int k = 0; k < 25; k++) {
        glVertex3f(-500, -500, z);
        glVertex3f(500, -500, z);
        glVertex3f(500, 500, z);
        glVertex3f(-500, 500, z);
        z += 2.8f;
    }
    glEnd();
    glEndList();

    // Dot: the centre takes the caller's colour (its strength), the rim
    // fades to the clear beam colour.
    glNewList(25, GL_COMPILE);
    glBegin(GL_TRIANGLE_FAN);
    glVertex3f(0, 0, 0);
    glColor4fv(marquee_beam_colour);
    glVertex3f(0, 20, 0);
    glVertex3f(15, 15, 0);
    glVertex3f(20, 0, 0);
    glVertex3f(15, -15, 0);
    glVertex3f(0, -20, 0);
    glVertex3f(-15, -15, 0);
    glVertex3f(-20, 0, 0);
    glVertex3f(-15, 15, 0);
    glVertex3f(0, 20, 0);
    glEnd();
    glEndList();
}

// Sixteen bands parallel to the edge P1-P2, their edges alternating between
// colours A (even steps, from the apex P0) and B; the doubled pairs give
// empty quads that keep the bands apart in one strip.
static void Marquee_DrawStripedTriangle(const float tri[3][3])
{
    float e1[3], e2[3];
    for (int i = 0; i < 3; i++) {
        e1[i] = (tri[1][i] - tri[0][i]) / 16;
        e2[i] = (tri[2][i] - tri[0][i]) / 16;
    }
    glBegin(GL_QUAD_STRIP);
    for (int m = 0; m < 8; m++) {
        const int steps[4] = {2 * m, 2 * m + 1, 2 * m + 1, 2 * m + 2};
        const float *colours[4] = {marquee_colour_a, marquee_colour_b, marquee_colour_b, marquee_colour_a};
        for (int p = 0; p < 4; p++) {
            const float k = (float)steps[p];
            glColor4fv(colours[p]);
            glVertex3f(tri[0][0] + k * e1[0], tri[0][1] + k * e1[1], tri[0][2] + k * e1[2]);
            glVertex3f(tri[0][0] + k * e2[0], tri[0][1] + k * e2[1], tri[0][2] + k * e2[2]);
        }
    }
    glEnd();
}

// The dot at marquee_dot glows with a strength falling linearly to 0 at
// 500 units from the light; farther dots are skipped, beams and all.
void Marquee_DrawDot(void)
{
    const float dx = marquee_light[0] - marquee_dot[0];
    const float dy = marquee_light[1] - marquee_dot[1];
    const float dz = marquee_light[2] - marquee_dot[2];
    const float strength = 1.0f - sqrtf(dx * dx + dy * dy + dz * dz) / 500.0f;
    marquee_dot_colour[3] = strength;
    if (strength < 0)
        return;

    glPushMatrix();
    glTranslatef(marquee_dot[0], marquee_dot[1], marquee_dot[2]);
    glColor4fv(marquee_dot_colour);
    glCallList(25);
    glPopMatrix();

    const float x = marquee_dot[0], y = marquee_dot[1], z = marquee_dot[2];
    const float ends[4][3] = {{x, y + 20, z}, {x, y - 20, z}, {x + 20, y, z}, {x - 20, y, z}};
    glBegin(GL_TRIANGLES);
    for (int b = 0; b < 4; b++) {
        glColor4fv(marquee_beam_colour);
        glVertex3fv(marquee_dot);
        glColor4fv(marquee_dot_colour);
        glVertex3fv(marquee_light);
        glColor4fv(marquee_beam_colour);
        glVertex3fv(ends[b]);
    }
    glEnd();
}

static void Marquee_DrawShell(void)
{
    for (int s = 0; s < MARQUEE_COPIES; s++)
        for (int i = 0; i < MARQUEE_PIECES; i++)
            for (int j = 0; j < MARQUEE_SIDES; j++)
                Marquee_DrawStripedTriangle(marquee_shell[s][i][j]);
}

static void Marquee_SetColours(float r, float g, float b, float alpha_a, float alpha_b)
{
    marquee_colour_a[0] = marquee_colour_b[0] = r;
    marquee_colour_a[1] = marquee_colour_b[1] = g;
    marquee_colour_a[2] = marquee_colour_b[2] = b;
    marquee_colour_a[3] = alpha_a;
    marquee_colour_b[3] = alpha_b;
}

// Every cell of every character is visited whatever is on screen; X and Y
// step in float as the text is laid out, 320 units a character.
void Marquee_DrawScroller(void)
{
    float x = chan.a;
    for (int n = 0; n < MARQUEE_TEXT_CHARS; n++) {
        const int c = marquee_text[n];
        const bool drawn = c >= MARQUEE_FIRST_CODE && c <= MARQUEE_LAST_CODE;
        const unsigned char *glyph = scroller_font + (drawn ? (c - MARQUEE_FIRST_CODE) * SCROLLER_GLYPH_BYTES : 0);
        float y = 0;
        for (int r = 0; r < 5; r++) {
            for (int k = 0; k < 8; k++) {
                if (drawn && glyph[r * 8 + k]) {
                    marquee_dot[0] = x;
                    marquee_dot[1] = y;
                    marquee_dot[2] = 0;
                    Marquee_DrawDot();
                }
                x += 40;
            }
            x -= 320;
            y += 40;
        }
        x += 320;
    }
}

void Marquee_Render(void)
{
    const float alpha_a = 0.5f + chan.s1;
    const float alpha_b = 1 - alpha_a;

    glCallList(6);
    glPushMatrix();
    glPushMatrix();

    Marquee_SetColours(1.0f, 0.9f, 0.8f, alpha_a, alpha_b);
    glRotatef(chan.d0, 0, 1, 0);
    glRotatef(chan.d1, 1, 0, 0);
    Marquee_DrawShell();

    Marquee_SetColours(0.8f, 0.7f, 0.6f, alpha_a, alpha_b);
    glRotatef(chan.d0, 1, 0, 0);
    glRotatef(chan.d1, 0, 0, 1);
    Marquee_DrawShell();

    glPopMatrix();
    glPopMatrix();
    glCallList(9);
    glCallList(8);

    glRotatef(42 + chan.s0, -1, 0, 0);
    glCallList(24);
    Marquee_DrawScroller();
    glCallList(7);
}
