// The Spikes scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Spikes_Init(void)
{
}

void Spikes_Setup(void)
{
}

void Spikes_RenderFadeIn(void)
{
}

void Spikes_RenderTopRight(void)
{
}

void Spikes_RenderBottomRight(void)
{
}

void Spikes_RenderTopLeft(void)
{
}

void Spikes_RenderBottomLeft(void)
{
}

void Spikes_RenderFadeOut(void)
{
}
