// The archive's pictures, drawn from code. Each returns the whole image; the
// caller cuts it into the tiles the scene expects (see assets.cpp).
#pragma once

#include "tools/contentgen/canvas.h"
#include "tools/contentgen/mesh.h"

namespace content {

Canvas MakeBootpic(const Mesh &ferret);   // 640 x 480, title picture of the loading screen
Canvas MakeLogo(const Mesh &ferret);      // 640 x 64, group logo over the lower black bar
Canvas MakeFri1();                        // 640 x 64, bottom band of the drum scene
Canvas MakeFri2();                        // 640 x 64, top band of the drum scene
Canvas MakeOczka();                       // 512 x 32: eight frames of a left and a right eye
Canvas MakeCreeds();                      // 256 x 16: four two-tile captions
Canvas MakeSiekierka(const Mesh &ferret); // 640 x 480, backdrop of the closing slides
Canvas MakeButterfly();                   // 384 x 256, closing picture
Canvas MakeBrzydalek();                   // 448 x 320, placed at (192, 80) in the column scene
Canvas MakeFel();                         // 640 x 448, placed at (0, 24) in the column scene

// The four captions of "creeds" (role and name, top and bottom line).
struct Caption {
    const char *role, *name;
};
extern const Caption kCaptions[4];

} // namespace content
