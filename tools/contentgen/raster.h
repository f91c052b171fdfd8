// Software rasterising of mesh silhouettes: used to put the mascot into
// pictures and to draw the meshes in the preview.
#pragma once

#include <vector>

#include "tools/contentgen/canvas.h"
#include "tools/contentgen/mesh.h"

namespace content {

// Orthographic view: screen x = ox + scale * dot(p, right),
// screen y = oy - scale * dot(p, up) (y grows downwards).
struct OrthoView {
    Vec3 right, up;
    float scale, ox, oy;
};

// Coverage (0..1) of every pixel of a w x h canvas by the triangles (nine
// floats each), supersampled ss x ss.
std::vector<float> MeshMask(const std::vector<float> &flat, const OrthoView &view, int w, int h, int ss = 4);

// A view that fits the triangles' projection into the box with a margin.
OrthoView FitView(const std::vector<float> &flat, Vec3 right, Vec3 up, Box box, float margin);

} // namespace content
