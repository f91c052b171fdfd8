// Render support: tiled pictures compiled into display lists.
#pragma once

#include "archive/zar.h"

// Compiles list: for every tile, an upload of its pixels into the default
// texture and one textured quad, tile (c, r) at x c*W.., y r*H.. (row 0 lowest).
// Needs a current GL context.
void BuildPicList(unsigned int list, const zar_pic_t *pic);
