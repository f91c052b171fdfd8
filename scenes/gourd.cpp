// The Gourd scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Gourd_Init(void)
{
}

void Gourd_Setup(void)
{
}

void Gourd_RenderCurtain(void)
{
}

void Gourd_RenderOpening(void)
{
}

void Gourd_RenderSpin(void)
{
}
