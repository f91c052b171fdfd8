// The Wall scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Wall_Init(void)
{
}

void Wall_Setup(void)
{
}

void Wall_RenderFadeIn(void)
{
}

void Wall_RenderRowWave(void)
{
}

void Wall_RenderCrossWave(void)
{
}

void Wall_RenderDiagonalWave(void)
{
}

void Wall_RenderFadeOut(void)
{
}
