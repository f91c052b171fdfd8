// The Column scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Column_Init(void)
{
}

void Column_Setup(void)
{
}

void Column_Render(void)
{
}
