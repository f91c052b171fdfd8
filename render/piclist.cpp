// Tiled pictures compiled into display lists.
#include "render/render.h"

#include <GL/gl.h>

#include <cstddef>

void BuildPicList(unsigned int list, const zar_pic_t *pic)
{
    // Corners run in floats, stepped by addition, as the scenes' other
    // geometry does; for the picture sizes in use this is exact. The counters
    // are integers: a float counter stops growing at 2^24 and the loop would
    // never end. With no tile in a row there is nothing to draw, however many
    // rows are declared.
    const uint32_t across = pic->tiles_x, down = across ? pic->tiles_y : 0;
    const float w = (float)pic->tile_w, h = (float)pic->tile_h;
    const size_t tile_bytes = (size_t)3 * pic->tile_w * pic->tile_h;
    const uint8_t *tile = pic->pixels;

    // Tile rows are packed (3 W bytes). The default 4-byte row alignment only
    // agrees for widths that are multiples of 4; narrower tiles would be read
    // skewed and past their end. Pixel-store state is applied at compile time
    // and is not recorded, so set it around the compile and put it back.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glNewList(list, GL_COMPILE);
    float y0 = 0.0f;
    for (uint32_t r = 0; r < down; r++) {
        const float y1 = y0 + h;
        float x0 = 0.0f;
        for (uint32_t c = 0; c < across; c++) {
            const float x1 = x0 + w;
            // Recorded into the list, this copies the tile's pixels there.
            glTexImage2D(GL_TEXTURE_2D, 0, 3, (GLsizei)pic->tile_w, (GLsizei)pic->tile_h, 0, GL_RGB,
                         GL_UNSIGNED_BYTE, tile);
            glBegin(GL_QUADS);
            // The tile's first pixel row (t = 0) goes to its top edge.
            glTexCoord2f(1.0f, 0.0f);
            glVertex3f(x1, y1, 0.0f);
            glTexCoord2f(0.0f, 0.0f);
            glVertex3f(x0, y1, 0.0f);
            glTexCoord2f(0.0f, 1.0f);
            glVertex3f(x0, y0, 0.0f);
            glTexCoord2f(1.0f, 1.0f);
            glVertex3f(x1, y0, 0.0f);
            glEnd();
            tile += tile_bytes;
            x0 = x1;
        }
        y0 = y1;
    }
    glEndList();
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}
