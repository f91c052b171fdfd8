// Placeholder until the picture lists land.
#include "render/render.h"

void BuildPicList(unsigned int, const zar_pic_t *) {}
