// Float RGB canvas with antialiased shape painting, used to draw every
// picture of the archive. Coordinates are in pixels, x to the right and
// y downwards from the top-left corner; pixel (i, j) covers [i, i+1) x [j, j+1)
// and is sampled at its centre.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/zarwrite/zarwrite.h"

namespace content {

struct Color {
    float r = 0, g = 0, b = 0;
};

inline Color Rgb(float r, float g, float b) { return Color{r, g, b}; }
inline Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Color operator-(Color a, Color b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Color operator*(Color a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Color operator*(Color a, Color b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Color Mix(Color a, Color b, float t) { return a + (b - a) * t; }
inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smooth(float e0, float e1, float v)
{
    float t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
// Colour ramp through evenly spaced stops, t in [0, 1].
Color Ramp(const std::vector<Color> &stops, float t);

struct Box {
    int x0, y0, x1, y1; // half-open pixel rectangle
};

class Canvas {
public:
    Canvas(int w, int h, Color fill = {});

    int width() const { return w_; }
    int height() const { return h_; }
    Color &at(int x, int y) { return px_[size_t(y) * w_ + x]; }
    const Color &at(int x, int y) const { return px_[size_t(y) * w_ + x]; }

    void Fill(Color c);
    void Blend(int x, int y, Color c, float alpha);
    // Sets every pixel of the box to fn(x, y) at the pixel centre.
    void Shade(Box box, const std::function<Color(float, float)> &fn);
    // Same over the whole canvas.
    void Shade(const std::function<Color(float, float)> &fn) { Shade(Box{0, 0, w_, h_}, fn); }
    // Paints a shape given by its signed distance in pixels (negative
    // inside); the edge is antialiased over one pixel. colour(x, y) and the
    // alpha give the paint.
    void FillSdf(Box box, const std::function<float(float, float)> &sdf,
                 const std::function<Color(float, float)> &colour, float alpha = 1.0f);
    void FillSdf(Box box, const std::function<float(float, float)> &sdf, Color c, float alpha = 1.0f)
    {
        FillSdf(box, sdf, [c](float, float) { return c; }, alpha);
    }
    // Copies another canvas with its top-left corner at (x, y), clipped.
    void Paste(const Canvas &src, int x, int y);
    // Mirror image, left to right.
    Canvas MirrorX() const;
    // Box-filter downscale by an integer factor (for supersampled drawing).
    Canvas Downscale(int factor) const;
    Canvas Crop(Box box) const;

    // 8-bit RGB with rounding and clamping; top row first.
    zarw::Image ToImage() const;

private:
    int w_, h_;
    std::vector<Color> px_;
};

// Signed distance helpers, all in pixels.
float SdCircle(float x, float y, float cx, float cy, float r);
float SdBox(float x, float y, float cx, float cy, float hw, float hh, float radius = 0);
float SdSegment(float x, float y, float ax, float ay, float bx, float by, float half_width);
float SdEllipse(float x, float y, float cx, float cy, float rx, float ry);

struct Pt {
    float x, y;
};
// Closed polygon (even-odd inside test) as a signed distance.
float SdPolygon(const std::vector<Pt> &poly, float x, float y);
// Polyline stroke.
float SdPolyline(const std::vector<Pt> &line, float x, float y, float half_width);
// Smooth closed curve through control points (Catmull-Rom), n samples a span.
std::vector<Pt> SmoothClosed(const std::vector<Pt> &ctrl, int n);
// Bounding box of points grown by margin, clipped to the canvas.
Box BoundsOf(const std::vector<Pt> &pts, float margin, const Canvas &c);

// Value noise in [0, 1] with smooth interpolation, and its fractal sum.
float ValueNoise(float x, float y, uint32_t seed);
float Fbm(float x, float y, uint32_t seed, int octaves);

} // namespace content
