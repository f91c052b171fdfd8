#include "tools/contentgen/canvas.h"

#include "tools/contentgen/rng.h"

namespace content {

Color Ramp(const std::vector<Color> &stops, float t)
{
    if (stops.size() == 1)
        return stops[0];
    t = Clamp01(t) * float(stops.size() - 1);
    size_t i = std::min(size_t(t), stops.size() - 2);
    return Mix(stops[i], stops[i + 1], t - float(i));
}

Canvas::Canvas(int w, int h, Color fill) : w_(w), h_(h), px_(size_t(w) * h, fill) {}

void Canvas::Fill(Color c) { std::fill(px_.begin(), px_.end(), c); }

void Canvas::Blend(int x, int y, Color c, float alpha)
{
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || alpha <= 0)
        return;
    Color &d = at(x, y);
    d = Mix(d, c, std::min(alpha, 1.0f));
}

static Box Clip(Box b, int w, int h)
{
    return Box{std::max(b.x0, 0), std::max(b.y0, 0), std::min(b.x1, w), std::min(b.y1, h)};
}

void Canvas::Shade(Box box, const std::function<Color(float, float)> &fn)
{
    box = Clip(box, w_, h_);
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x)
            at(x, y) = fn(x + 0.5f, y + 0.5f);
}

void Canvas::FillSdf(Box box, const std::function<float(float, float)> &sdf,
                     const std::function<Color(float, float)> &colour, float alpha)
{
    box = Clip(box, w_, h_);
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            float cov = Clamp01(0.5f - sdf(fx, fy));
            if (cov > 0)
                Blend(x, y, colour(fx, fy), cov * alpha);
        }
}

void Canvas::Paste(const Canvas &src, int x, int y)
{
    for (int j = 0; j < src.h_; ++j)
        for (int i = 0; i < src.w_; ++i) {
            int dx = x + i, dy = y + j;
            if (dx >= 0 && dy >= 0 && dx < w_ && dy < h_)
                at(dx, dy) = src.at(i, j);
        }
}

Canvas Canvas::MirrorX() const
{
    Canvas out(w_, h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x)
            out.at(x, y) = at(w_ - 1 - x, y);
    return out;
}

Canvas Canvas::Downscale(int f) const
{
    Canvas out(w_ / f, h_ / f);
    float k = 1.0f / float(f * f);
    for (int y = 0; y < out.h_; ++y)
        for (int x = 0; x < out.w_; ++x) {
            Color s;
            for (int j = 0; j < f; ++j)
                for (int i = 0; i < f; ++i)
                    s = s + at(x * f + i, y * f + j);
            out.at(x, y) = s * k;
        }
    return out;
}

Canvas Canvas::Crop(Box b) const
{
    Canvas out(b.x1 - b.x0, b.y1 - b.y0);
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x)
            out.at(x - b.x0, y - b.y0) = at(x, y);
    return out;
}

zarw::Image Canvas::ToImage() const
{
    zarw::Image img;
    img.width = uint32_t(w_);
    img.height = uint32_t(h_);
    img.rgb.resize(size_t(w_) * h_ * 3);
    for (size_t i = 0; i < px_.size(); ++i) {
        const Color &c = px_[i];
        img.rgb[3 * i + 0] = uint8_t(std::lround(Clamp01(c.r) * 255.0f));
        img.rgb[3 * i + 1] = uint8_t(std::lround(Clamp01(c.g) * 255.0f));
        img.rgb[3 * i + 2] = uint8_t(std::lround(Clamp01(c.b) * 255.0f));
    }
    return img;
}

float SdCircle(float x, float y, float cx, float cy, float r)
{
    return std::hypot(x - cx, y - cy) - r;
}

float SdBox(float x, float y, float cx, float cy, float hw, float hh, float radius)
{
    float dx = std::fabs(x - cx) - (hw - radius);
    float dy = std::fabs(y - cy) - (hh - radius);
    float outside = std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
    float inside = std::min(std::max(dx, dy), 0.0f);
    return outside + inside - radius;
}

float SdSegment(float x, float y, float ax, float ay, float bx, float by, float half_width)
{
    float px = x - ax, py = y - ay, vx = bx - ax, vy = by - ay;
    float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? Clamp01((px * vx + py * vy) / len2) : 0.0f;
    return std::hypot(px - vx * t, py - vy * t) - half_width;
}

float SdEllipse(float x, float y, float cx, float cy, float rx, float ry)
{
    // First-order distance k (k - 1) / |grad k| with k the scaled radius:
    // exact on the axes and close enough elsewhere for the gentle ellipses
    // drawn here.
    float px = x - cx, py = y - cy;
    float k0 = std::sqrt(px * px / (rx * rx) + py * py / (ry * ry));
    float k1 = std::sqrt(px * px / (rx * rx * rx * rx) + py * py / (ry * ry * ry * ry));
    if (k1 == 0)
        return -std::min(rx, ry);
    return k0 * (k0 - 1.0f) / k1;
}

float SdPolygon(const std::vector<Pt> &poly, float x, float y)
{
    float best = 1e30f;
    bool inside = false;
    size_t n = poly.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const Pt &a = poly[j], &b = poly[i];
        float vx = b.x - a.x, vy = b.y - a.y, px = x - a.x, py = y - a.y;
        float len2 = vx * vx + vy * vy;
        float t = len2 > 0 ? Clamp01((px * vx + py * vy) / len2) : 0.0f;
        float dx = px - vx * t, dy = py - vy * t;
        best = std::min(best, dx * dx + dy * dy);
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * vx / vy)
            inside = !inside;
    }
    float d = std::sqrt(best);
    return inside ? -d : d;
}

float SdPolyline(const std::vector<Pt> &line, float x, float y, float half_width)
{
    float best = 1e30f;
    for (size_t i = 1; i < line.size(); ++i)
        best = std::min(best, SdSegment(x, y, line[i - 1].x, line[i - 1].y, line[i].x, line[i].y, 0));
    return best - half_width;
}

std::vector<Pt> SmoothClosed(const std::vector<Pt> &c, int n)
{
    std::vector<Pt> out;
    size_t m = c.size();
    for (size_t i = 0; i < m; ++i) {
        const Pt &p0 = c[(i + m - 1) % m], &p1 = c[i], &p2 = c[(i + 1) % m], &p3 = c[(i + 2) % m];
        for (int k = 0; k < n; ++k) {
            float t = float(k) / float(n), t2 = t * t, t3 = t2 * t;
            auto cr = [&](float a, float b, float cc, float d) {
                return 0.5f * (2 * b + (-a + cc) * t + (2 * a - 5 * b + 4 * cc - d) * t2 + (-a + 3 * b - 3 * cc + d) * t3);
            };
            out.push_back(Pt{cr(p0.x, p1.x, p2.x, p3.x), cr(p0.y, p1.y, p2.y, p3.y)});
        }
    }
    return out;
}

Box BoundsOf(const std::vector<Pt> &pts, float margin, const Canvas &c)
{
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (const Pt &p : pts) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    Box b{int(std::floor(x0 - margin)), int(std::floor(y0 - margin)), int(std::ceil(x1 + margin)),
          int(std::ceil(y1 + margin))};
    return Box{std::max(b.x0, 0), std::max(b.y0, 0), std::min(b.x1, c.width()), std::min(b.y1, c.height())};
}

float ValueNoise(float x, float y, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - float(ix), fy = y - float(iy);
    auto v = [&](int i, int j) { return float(Hash3(ix + i, iy + j, seed) & 0xffff) / 65535.0f; };
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float a = v(0, 0) + (v(1, 0) - v(0, 0)) * sx;
    float b = v(0, 1) + (v(1, 1) - v(0, 1)) * sx;
    return a + (b - a) * sy;
}

float Fbm(float x, float y, uint32_t seed, int octaves)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * ValueNoise(x, y, seed + uint32_t(o) * 7919u);
        norm += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}

} // namespace content
