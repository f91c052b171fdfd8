// Render support: tiled pictures compiled into display lists.
#pragma once

#include "archive/zar.h"

// Compiles list: for every tile, an upload of its pixels into the default
// texture and one textured quad, tile (c, r) at x c*W.., y r*H.. (row 0 lowest).
// Needs a current GL context.
void BuildPicList(unsigned int list, const zar_pic_t *pic);

// Keeps freed heap memory for reuse instead of returning it to the system at
// once: the GL driver's per-call allocations otherwise cost page faults every
// frame. Call once at start-up; changes nothing that is drawn.
void Render_TuneHeap(void);

// Pictures shown one to one: texels replace the colour, nearest filtering,
// clamped edges. Applies to the bound texture and the texture environment.
void Render_PictureTexturing(void);

// The scale of the frame against the demo's 640 x 480: 1 in the player; the
// capture tool renders archival sizes at 2 to 4. Set before any drawing.
void Render_SetScale(int scale);
// glViewport in the demo's 640 x 480 window coordinates, scaled to the frame.
// Every viewport the scenes set goes through here. Usable inside a display list.
void Render_Viewport(int x, int y, int width, int height);

// The whole 640 x 480 window as pixel space (origin bottom left, depth -1..1),
// modelview reset. Usable inside a display list.
void Render_PixelSpace(void);
