// The Mascot scene. Not built yet: its routines exist so that the loader
// and the timeline name every scene; they draw nothing.
#include "scenes/scenes.h"

void Mascot_Init(void)
{
}

void Mascot_Setup(void)
{
}

void Mascot_RenderFade(void)
{
}

void Mascot_RenderLogo(void)
{
}

void Mascot_RenderWipe(void)
{
}

void Mascot_DrawGlow(void)
{
}
