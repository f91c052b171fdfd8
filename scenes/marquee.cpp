// The Marquee scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

unsigned char scroller_font[SCROLLER_GLYPHS * SCROLLER_GLYPH_BYTES];

void Marquee_Init(void)
{
}

void Marquee_Setup(void)
{
}

void Marquee_Render(void)
{
}
