// The Spikes scene. Not built yet: its init routine keeps the loader's order complete.
#include "scenes/scenes.h"

void Spikes_Init(void)
{
}
