// The Finale scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Finale_Init(void)
{
}

void Finale_Setup(void)
{
}

void Finale_RenderSlideIn(void)
{
}

void Finale_RenderTunnel(void)
{
}

void Finale_RenderScroller(void)
{
}

void Finale_RenderSlideOut(void)
{
}

void Finale_RenderZoomFade(void)
{
}
