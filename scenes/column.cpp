// The Column scene. Not built yet: its init routine keeps the loader's order complete.
#include "scenes/scenes.h"

void Column_Init(void)
{
}
