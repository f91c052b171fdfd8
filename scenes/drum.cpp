// The Drum scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Drum_Init(void)
{
}

void Drum_Setup(void)
{
}

void Drum_RenderWipe(void)
{
}

void Drum_RenderLetterbox(void)
{
}

void Drum_RenderEyes(void)
{
}

void Drum_RenderWindows(void)
{
}

void Drum_RenderReveal(void)
{
}
