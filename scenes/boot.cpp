// Loading screen and opening.
#include "core/core.h"
#include "scenes/scenes.h"

void Boot_Init(void)
{
    // The demo clock stands still until the loader has prepared every scene.
    clock_step.store(0.0f, std::memory_order_release);
}
