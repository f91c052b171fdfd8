#include "tools/contentgen/raster.h"

#include <algorithm>
#include <cmath>

namespace content {

std::vector<float> MeshMask(const std::vector<float> &flat, const OrthoView &v, int w, int h, int ss)
{
    int W = w * ss, H = h * ss;
    std::vector<uint8_t> hi(size_t(W) * H, 0);
    for (size_t t = 0; t + 9 <= flat.size(); t += 9) {
        float sx[3], sy[3];
        for (int k = 0; k < 3; ++k) {
            Vec3 p{flat[t + 3 * k], flat[t + 3 * k + 1], flat[t + 3 * k + 2]};
            sx[k] = (v.ox + v.scale * Dot(p, v.right)) * float(ss);
            sy[k] = (v.oy - v.scale * Dot(p, v.up)) * float(ss);
        }
        float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        if (area == 0)
            continue;
        int x0 = std::max(0, int(std::floor(std::min({sx[0], sx[1], sx[2]}))));
        int x1 = std::min(W - 1, int(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
        int y0 = std::max(0, int(std::floor(std::min({sy[0], sy[1], sy[2]}))));
        int y1 = std::min(H - 1, int(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                float px = x + 0.5f, py = y + 0.5f;
                float e0 = (sx[1] - sx[0]) * (py - sy[0]) - (sy[1] - sy[0]) * (px - sx[0]);
                float e1 = (sx[2] - sx[1]) * (py - sy[1]) - (sy[2] - sy[1]) * (px - sx[1]);
                float e2 = (sx[0] - sx[2]) * (py - sy[2]) - (sy[0] - sy[2]) * (px - sx[2]);
                bool in = area > 0 ? (e0 >= 0 && e1 >= 0 && e2 >= 0) : (e0 <= 0 && e1 <= 0 && e2 <= 0);
                if (in)
                    hi[size_t(y) * W + x] = 1;
            }
    }
    std::vector<float> mask(size_t(w) * h, 0.0f);
    float k = 1.0f / float(ss * ss);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int n = 0;
            for (int j = 0; j < ss; ++j)
                for (int i = 0; i < ss; ++i)
                    n += hi[size_t(y * ss + j) * W + x * ss + i];
            mask[size_t(y) * w + x] = float(n) * k;
        }
    return mask;
}

OrthoView FitView(const std::vector<float> &flat, Vec3 right, Vec3 up, Box box, float margin)
{
    float r0 = 1e30f, r1 = -1e30f, u0 = 1e30f, u1 = -1e30f;
    for (size_t i = 0; i + 3 <= flat.size(); i += 3) {
        Vec3 p{flat[i], flat[i + 1], flat[i + 2]};
        r0 = std::min(r0, Dot(p, right));
        r1 = std::max(r1, Dot(p, right));
        u0 = std::min(u0, Dot(p, up));
        u1 = std::max(u1, Dot(p, up));
    }
    float bw = float(box.x1 - box.x0) - 2 * margin, bh = float(box.y1 - box.y0) - 2 * margin;
    float scale = std::min(bw / std::max(r1 - r0, 1e-6f), bh / std::max(u1 - u0, 1e-6f));
    float cx = 0.5f * float(box.x0 + box.x1), cy = 0.5f * float(box.y0 + box.y1);
    return OrthoView{right, up, scale, cx - scale * 0.5f * (r0 + r1), cy + scale * 0.5f * (u0 + u1)};
}

} // namespace content
