// Heap tuning for the GL driver's allocation pattern.
#include "render/render.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

void Render_TuneHeap(void)
{
#ifdef __GLIBC__
    // Software GL allocates and frees a few megabytes around many display
    // list calls of a frame. glibc's allocator would hand that memory back
    // to the kernel at every free and fault it in again at the next call,
    // which cost the sprite-heavy scenes half their frame time. Keeping up
    // to 64 MB of free heap changes no pixel.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}
