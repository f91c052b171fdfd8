// The Mascot scene. Not built yet: its init routine keeps the loader's order complete.
#include "scenes/scenes.h"

void Mascot_Init(void)
{
}
