// The pictures. Every one is painted from shapes, gradients and noise with
// fixed seeds, in the warm peach, beige and brown world of the demo; text uses
// the generator's own bitmap font.
#include "tools/contentgen/pictures.h"

#include <cmath>

#include "tools/contentgen/font.h"
#include "tools/contentgen/raster.h"
#include "tools/contentgen/rng.h"

namespace content {

const Caption kCaptions[4] = {
    {"CODE", "MUSTELA"},
    {"MUSIC", "TUBAFOX"},
    {"GRAPHICS", "OCHRE"},
    {"MESHES", "BURROW"},
};

namespace {

const float kPi = 3.14159265f;

// Soft radial glow blended over the canvas.
void Glow(Canvas &c, float cx, float cy, float r0, float r1, Color col, float strength)
{
    Box b{int(cx - r1) - 1, int(cy - r1) - 1, int(cx + r1) + 2, int(cy + r1) + 2};
    for (int y = std::max(b.y0, 0); y < std::min(b.y1, c.height()); ++y)
        for (int x = std::max(b.x0, 0); x < std::min(b.x1, c.width()); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            if (d >= r1)
                continue;
            float t = d <= r0 ? 1.0f : 1.0f - (d - r0) / (r1 - r0);
            c.Blend(x, y, col, strength * t * t);
        }
}

// The mascot seen from its side as a coverage mask: len pixels from tail
// to nose, the tail end at x0, the paws on ground_y; nose to the right
// unless face_left.
std::vector<float> FerretStanding(const Mesh &ferret, float x0, float len, float ground_y, int w, int h,
                                  bool face_left = false)
{
    // A touch of the far side shows the legs on both sides apart.
    Vec3 right = Normalize(Vec3{face_left ? -1.0f : 1.0f, 0, 0.12f}), up{0, 1, 0};
    std::vector<float> flat = ferret.Flat();
    float r0 = 1e30f, r1 = -1e30f, u0 = 1e30f;
    for (size_t i = 0; i + 3 <= flat.size(); i += 3) {
        Vec3 p{flat[i], flat[i + 1], flat[i + 2]};
        r0 = std::min(r0, Dot(p, right));
        r1 = std::max(r1, Dot(p, right));
        u0 = std::min(u0, Dot(p, up));
    }
    float scale = len / (r1 - r0);
    OrthoView view{right, up, scale, x0 - scale * r0, ground_y + scale * u0};
    return MeshMask(flat, view, w, h, 4);
}

void PaintMask(Canvas &c, const std::vector<float> &mask, const std::function<Color(float, float)> &colour,
               float alpha = 1.0f)
{
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            float m = mask[size_t(y) * c.width() + x];
            if (m > 0)
                c.Blend(x, y, colour(x + 0.5f, y + 0.5f), m * alpha);
        }
}

// A wavy crest line: distance to y = y0 + amp sin(2 pi x / len + phase).
float SdWave(float x, float y, float y0, float amp, float len, float phase, float half_width)
{
    float k = 2 * kPi / len;
    float f = y0 + amp * std::sin(k * x + phase);
    float df = amp * k * std::cos(k * x + phase);
    return std::fabs(y - f) / std::sqrt(1 + df * df) - half_width;
}

} // namespace

Canvas MakeBootpic(const Mesh &ferret)
{
    const float horizon = 300, sun_x = 320, sun_r = 138;
    Canvas c(640, 480);
    // Sky and sea.
    c.Shade([&](float x, float y) {
        if (y < horizon) {
            Color col = Ramp({{0.90f, 0.56f, 0.45f}, {0.98f, 0.76f, 0.60f}, {1.0f, 0.90f, 0.76f}}, y / horizon);
            float n = Fbm(x / 110.0f, y / 22.0f, 11, 4);
            return Mix(col, Color{1.0f, 0.94f, 0.86f}, Smooth(0.55f, 0.8f, n) * 0.4f * Smooth(90, 250, y));
        }
        float t = (y - horizon) / 180.0f;
        Color col = Ramp({{0.62f, 0.34f, 0.25f}, {0.40f, 0.20f, 0.16f}, {0.22f, 0.11f, 0.09f}}, t);
        float n = Fbm(x / (40.0f + 80 * t), y / (3.0f + 10 * t), 12, 3);
        return col * (0.9f + 0.2f * n);
    });
    // Sun glow, then the sun with the gaps of a setting sun in its lower half.
    Glow(c, sun_x, horizon, sun_r, sun_r + 130, Color{1.0f, 0.86f, 0.62f}, 0.55f);
    c.FillSdf(Box{0, 0, 640, int(horizon)},
              [&](float x, float y) {
                  float d = SdCircle(x, y, sun_x, horizon, sun_r);
                  if (y > 200) {
                      float s = (y - 200) / 100.0f, period = 15, gap = 1.0f + 6.5f * s;
                      float local = std::fmod(horizon - y, period);
                      float into = local < gap ? -std::min(local, gap - local) : std::min(local - gap, period - local);
                      d = std::max(d, -into);
                  }
                  return d;
              },
              [&](float, float y) {
                  return Ramp({{1.0f, 0.93f, 0.62f}, {1.0f, 0.72f, 0.38f}, {0.96f, 0.44f, 0.28f}}, (y - 162) / 138.0f);
              });
    // The sun's path on the water: broken streaks narrowing towards us.
    for (int y = int(horizon); y < 480; ++y) {
        float t = (y - horizon) / 180.0f;
        float w = 150 - 70 * t;
        int row = int(std::pow(float(y - horizon), 0.8f) / 2.2f);
        for (int x = int(sun_x - w); x < int(sun_x + w); ++x) {
            float n = ValueNoise(float(x) / (14 + 30 * t), float(row) * 1.7f, 21);
            float edge = 1 - std::fabs(float(x) + 0.5f - sun_x) / w;
            float a = Smooth(0.42f, 0.6f, n) * edge * (0.85f - 0.6f * t);
            c.Blend(x, y, Color{1.0f, 0.78f, 0.48f}, a);
        }
    }
    // Crests of waves, denser near the horizon.
    Rng rng(5);
    for (int k = 0; k < 16; ++k) {
        float t = float(k) / 15.0f;
        float y0 = horizon + 6 + 170 * std::pow(t, 1.5f);
        float amp = 1.0f + 4.0f * t, len = 26 + 80 * t, phase = float(rng.Range(0, 6.28)), hw = 0.5f + 1.3f * t;
        uint32_t seed = 100 + uint32_t(k);
        c.FillSdf(Box{0, int(y0 - amp - 4), 640, int(y0 + amp + 5)},
                  [&](float x, float y) {
                      float d = SdWave(x, y, y0, amp, len, phase, hw);
                      float keep = ValueNoise(x / (40 + 60 * t), float(k) * 3.1f, seed);
                      return keep > 0.45f ? d : 1e3f;
                  },
                  Color{1.0f, 0.86f, 0.70f}, 0.25f + 0.35f * t);
    }
    // A spit of sand at the lower left with the mascot on it, watching the sun.
    std::vector<Pt> shore = SmoothClosed({{-30, 500}, {-20, 446}, {60, 434}, {150, 430}, {230, 438}, {300, 458}, {330, 500}}, 8);
    c.FillSdf(BoundsOf(shore, 2, c), [&](float x, float y) { return SdPolygon(shore, x, y); },
              [&](float x, float y) {
                  float n = Fbm(x / 14.0f, y / 6.0f, 13, 3);
                  return Mix(Color{0.34f, 0.17f, 0.12f}, Color{0.18f, 0.09f, 0.07f}, Clamp01((y - 430) / 50.0f)) * (0.85f + 0.3f * n);
              });
    c.FillSdf(BoundsOf(shore, 2, c),
              [&](float x, float y) { return std::max(SdPolygon(shore, x, y), -SdPolygon(shore, x, y - 3)); },
              Color{0.95f, 0.70f, 0.48f}, 0.6f);
    std::vector<float> mask = FerretStanding(ferret, 52, 170, 433, 640, 480);
    PaintMask(c, mask, [](float, float) { return Color{0.13f, 0.06f, 0.05f}; });
    // Top band where the loading marks sit.
    c.Shade(Box{0, 0, 640, 72}, [&](float x, float y) {
        float n = Fbm(x / 60.0f, y / 8.0f, 31, 3);
        return Mix(Color{0.25f, 0.13f, 0.09f}, Color{0.15f, 0.08f, 0.06f}, y / 72.0f) * (0.92f + 0.16f * n);
    });
    c.Shade(Box{0, 72, 640, 76}, [](float, float y) { return BrassRamp((y - 72) / 4.0f); });
    c.Shade(Box{0, 76, 640, 77}, [](float, float) { return Color{0.2f, 0.1f, 0.07f}; });
    TextStyle small;
    small.cell = 2.4f;
    small.fill = [](float, float v) { return BrassRamp(0.1f + 0.8f * v); };
    small.shadow_dx = 1.5f;
    small.shadow_dy = 1.5f;
    small.shadow_alpha = 0.7f;
    small.shadow_color = {0.05f, 0.02f, 0.02f};
    std::string who = "FERRET FOUNDRY";
    DrawText(c, who, 620 - TextWidth(who, small), 27, small);
    // The title.
    TextStyle title;
    title.cell = 8.5f;
    title.dot = 0.88f;
    title.corner = 0.45f;
    title.fill = [](float, float v) { return BrassRamp(v); };
    title.outline = 3.0f;
    title.outline_color = {0.30f, 0.13f, 0.08f};
    title.shadow_dx = 5;
    title.shadow_dy = 6;
    title.shadow_alpha = 0.45f;
    title.shadow_soft = 3;
    title.shadow_color = {0.45f, 0.18f, 0.12f};
    DrawTextCentred(c, "BRASS TIDE", 320, 92, title);
    TextStyle sub;
    sub.cell = 2.0f;
    sub.fill = [](float, float) { return Color{1.0f, 0.88f, 0.74f}; };
    sub.shadow_dx = 1;
    sub.shadow_dy = 1;
    sub.shadow_alpha = 0.8f;
    sub.shadow_color = {0.1f, 0.04f, 0.03f};
    DrawTextCentred(c, "A DEMO IN NINE SCENES", 420, 452, sub);
    return c;
}

Canvas MakeLogo(const Mesh &ferret)
{
    Canvas c(640, 64);
    std::vector<float> mask = FerretStanding(ferret, 20, 205, 58, 640, 64);
    PaintMask(c, mask, [](float, float y) { return BrassRamp(0.05f + 0.9f * (y - 5) / 54.0f); });
    TextStyle t;
    t.cell = 4.2f;
    t.dot = 0.86f;
    t.corner = 0.5f;
    t.fill = [](float, float v) { return BrassRamp(v); };
    t.outline = 1.2f;
    t.outline_color = {0.25f, 0.11f, 0.06f};
    const std::string name = "FERRET FOUNDRY";
    float x = 244, w = TextWidth(name, t);
    DrawText(c, name, x, 12, t);
    // A rule under the name with a diamond at each end.
    c.FillSdf(Box{int(x) - 6, 46, int(x + w) + 7, 56},
              [&](float px, float py) {
                  float line = SdBox(px, py, x + 0.5f * w, 51, 0.5f * w - 6, 1.0f);
                  float d0 = (std::fabs(px - x + 1) + std::fabs(py - 51)) * 0.7071f - 3.2f;
                  float d1 = (std::fabs(px - x - w - 1) + std::fabs(py - 51)) * 0.7071f - 3.2f;
                  return std::min(line, std::min(d0, d1));
              },
              [](float, float py) { return BrassRamp((py - 47) / 8.0f); });
    return c;
}

Canvas MakeFri1()
{
    // Overlapping scallops of waves, outlined rings on cream, at four times
    // the size and then filtered down.
    const int ss = 4;
    Canvas big(640 * ss, 64 * ss);
    const float R = 22.0f * ss, dx = 2 * R, dy = 0.5f * R;
    const Color cream{0.98f, 0.92f, 0.82f}, brown{0.55f, 0.30f, 0.18f}, dark{0.33f, 0.16f, 0.10f},
        peach{0.96f, 0.72f, 0.55f};
    big.Shade([&](float x, float y) {
        // Rows further down lie in front: search from the front row back.
        int row_front = int(std::floor(y / dy)) + 2;
        for (int row = row_front; row >= row_front - 5; --row) {
            float cy = float(row) * dy + 10.0f * ss;
            float off = (row & 1) ? R : 0.0f;
            float i = std::round((x - off) / dx);
            float cx = i * dx + off;
            float d = std::hypot(x - cx, y - cy);
            if (d > R || y > cy + 1e-3f)
                continue;
            float ring = d / R; // 0 centre, 1 rim
            if (ring > 0.90f)
                return dark;
            if (ring > 0.74f)
                return brown;
            if (ring > 0.64f)
                return cream;
            if (ring > 0.50f)
                return peach;
            if (ring > 0.40f)
                return cream;
            if (ring > 0.28f)
                return brown;
            return cream;
        }
        return cream;
    });
    Canvas c = big.Downscale(ss);
    // Brass edges: a thin rule at the top (towards the drum) and a darker
    // base along the bottom of the screen.
    c.Shade(Box{0, 0, 640, 4}, [](float, float y) { return BrassRamp(y / 4.0f); });
    c.Shade(Box{0, 4, 640, 5}, [=](float, float) { return dark; });
    c.Shade(Box{0, 60, 640, 64}, [](float, float y) { return BrassRamp(0.4f + (y - 60) / 8.0f) * 0.8f; });
    return c;
}

Canvas MakeFri2()
{
    // A running key on cream between two brass rules: the line turns in on
    // itself once every 40 pixels.
    const Color cream{0.98f, 0.92f, 0.82f}, brown{0.50f, 0.27f, 0.16f};
    Canvas c(640, 64, cream);
    c.Shade([&](float, float y) {
        float shade = 1.0f - 0.05f * std::fabs(y - 32) / 32.0f;
        return cream * shade;
    });
    const float u = 4.6f, top = 32 - 4 * u; // key drawn on an 8 x 8 unit grid, centred
    const float pw = 40.0f;                 // one turn every 40 pixels, 16 across the strip
    auto sd = [&](float x, float y) {
        float k = std::floor(x / pw);
        float best = 1e30f;
        for (float kk = k - 1; kk <= k + 1; ++kk) {
            float ox = kk * pw + 2;
            auto P = [&](float gx, float gy) { return Pt{ox + gx * u, top + gy * u}; };
            std::vector<Pt> path = {P(0, 8), P(0, 0), P(6, 0), P(6, 6), P(2, 6), P(2, 2), P(4, 2), P(4, 4)};
            best = std::min(best, SdPolyline(path, x, y, 0.5f * u * 0.9f));
            best = std::min(best, SdSegment(x, y, ox, top + 8 * u, ox + pw, top + 8 * u, 0.5f * u * 0.9f));
        }
        return best;
    };
    c.FillSdf(Box{0, 0, 640, 64}, sd, [&](float, float y) { return Mix(brown, brown * 0.7f, (y - top) / (8 * u)); });
    c.Shade(Box{0, 0, 640, 4}, [](float, float y) { return BrassRamp(0.4f + y / 8.0f) * 0.8f; });
    c.Shade(Box{0, 59, 640, 60}, [=](float, float) { return brown * 0.7f; });
    c.Shade(Box{0, 60, 640, 64}, [](float, float y) { return BrassRamp((y - 60) / 4.0f); });
    return c;
}

namespace {

// One eye, 32 x 32, drawn at four times the size. closure runs from 0
// (open) to 1 (shut); mirror draws the right eye.
Canvas Eye(float closure, bool mirror)
{
    const int ss = 4, S = 32 * ss;
    const float k = float(ss);
    Canvas c(S, S);
    // Background continues the dark centre of the letterbox behind the eyes
    // (the screen there brightens away from the centre line).
    c.Shade([&](float, float y) {
        float screen_y = 256.0f - y / k;
        float v = std::fabs(screen_y - 240.0f) / 176.0f;
        return Color{v, v, v};
    });
    const float cx = 16 * k, cy = 18 * k, a = 13.5f * k, b_up = 8.5f * k, b_lo = 6.0f * k;
    // Almond: inside both the upper and the lower arc.
    const float Ru = (a * a + b_up * b_up) / (2 * b_up), Rl = (a * a + b_lo * b_lo) / (2 * b_lo);
    auto almond = [&](float x, float y) {
        float lx = mirror ? (S - x) : x;
        float du = SdCircle(lx, y, cx, cy - b_up + Ru, Ru);
        float dl = SdCircle(lx, y, cx, cy + b_lo - Rl, Rl);
        return std::max(du, dl);
    };
    // The upper lid's edge: an arc through both corners whose middle drops
    // from the top of the almond (open) to below the centre line (shut).
    float mid = -b_up + closure * (b_up + 1.15f * b_lo);
    auto lid_y = [&](float lx) {
        float t = (lx - cx) / a;
        return cy + mid * (1 - t * t);
    };
    const Color skin{0.88f, 0.62f, 0.47f}, lash{0.22f, 0.10f, 0.06f}, white{0.98f, 0.95f, 0.90f};
    c.FillSdf(Box{0, 0, S, S}, [&](float x, float y) { return almond(x, y) - 1.2f * k; }, lash);
    c.FillSdf(Box{0, 0, S, S}, almond, [&](float x, float y) {
        float lx = mirror ? (S - x) : x;
        float ly = lid_y(lx);
        if (y < ly)
            return Mix(skin * 0.8f, skin, Clamp01((ly - y) / (3 * k)));
        // Sclera, shaded under the lid, then the iris and the pupil.
        Color col = Mix(white * 0.72f, white, Clamp01((y - ly) / (3.5f * k)));
        float icx = cx + 0.5f * k, icy = cy + 0.5f * k;
        float d = std::hypot(lx - icx, y - icy);
        float ir = 6.8f * k;
        if (d < ir) {
            float t = d / ir;
            Color iris = Ramp({{1.0f, 0.80f, 0.38f}, {0.86f, 0.52f, 0.18f}, {0.45f, 0.22f, 0.08f}}, t);
            float ang = std::atan2(y - icy, lx - icx);
            iris = iris * (0.85f + 0.15f * std::sin(ang * 11.0f));
            if (t > 0.86f)
                iris = Color{0.25f, 0.12f, 0.05f};
            if (d < 3.1f * k)
                iris = Color{0.05f, 0.03f, 0.02f};
            col = Mix(iris, col, Clamp01(d - ir + 0.5f));
            col = col * (0.75f + 0.25f * Clamp01((y - ly) / (2.5f * k)));
        }
        return col;
    });
    // Lash line along the lid's edge, heavier as the eye shuts.
    c.FillSdf(Box{0, 0, S, S},
              [&](float x, float y) {
                  float lx = mirror ? (S - x) : x;
                  if (std::fabs(lx - cx) > a)
                      return 1e3f;
                  float d = std::fabs(y - lid_y(lx)) - (0.7f + 0.8f * closure) * k;
                  return std::max(d, almond(x, y) - 1.0f * k);
              },
              lash);
    // Catch-light, always upper left, on both eyes.
    float hx = cx - 2.0f * k + (mirror ? 1.0f * k : 0.0f), hy = cy - 2.0f * k;
    if (mirror)
        hx = S - hx - 2.0f * k;
    if (lid_y(mirror ? S - hx : hx) < hy - 1.5f * k)
        c.FillSdf(Box{0, 0, S, S}, [&](float x, float y) { return SdCircle(x, y, hx, hy, 1.5f * k); },
                  Color{1, 1, 1}, 0.95f);
    // Brow, sinking a little as the lid comes down.
    float by = 5.0f * k + closure * 1.5f * k;
    c.FillSdf(Box{0, 0, S, S},
              [&](float x, float y) {
                  float lx = mirror ? (S - x) : x;
                  float t = (lx - cx) / (11 * k);
                  if (std::fabs(t) > 1)
                      return 1e3f;
                  float f = by + 2.5f * k * t * t - 0.8f * k * t;
                  return std::fabs(y - f) - (1.3f - 0.5f * t * t) * k;
              },
              Color{0.55f, 0.32f, 0.18f});
    return c.Downscale(ss);
}

} // namespace

Canvas MakeOczka()
{
    Canvas c(512, 32);
    for (int f = 0; f < 8; ++f) {
        float closure = float(f) / 7.0f;
        closure = closure * closure * (3 - 2 * closure) * 0.35f + closure * 0.65f;
        c.Paste(Eye(closure, false), 64 * f, 0);
        c.Paste(Eye(closure, true), 64 * f + 32, 0);
    }
    return c;
}

Canvas MakeCreeds()
{
    Canvas c(256, 16);
    for (int i = 0; i < 4; ++i) {
        const Caption &cap = kCaptions[i];
        int x0 = 64 * i;
        auto centred = [&](const char *s) { return x0 + (64 - (int(std::string(s).size()) * 6 - 1)) / 2; };
        Canvas line(64, 16);
        DrawPixelText(c, cap.role, centred(cap.role), 1, Color{1, 1, 1});
        DrawPixelText(c, cap.name, centred(cap.name), 9, Color{1, 1, 1});
        // Tint the letters: brass for the role, cream for the name, each
        // lighter at the top of the letters.
        for (int y = 0; y < 16; ++y)
            for (int x = x0; x < x0 + 64; ++x) {
                Color &p = c.at(x, y);
                if (p.r < 0.5f)
                    continue;
                p = y < 8 ? BrassRamp(0.05f + float(y - 1) / 8.0f) : Mix(Color{1.0f, 0.95f, 0.85f}, Color{0.95f, 0.72f, 0.55f}, float(y - 9) / 7.0f);
            }
        (void)line;
    }
    return c;
}

Canvas MakeSiekierka(const Mesh &ferret)
{
    const float horizon = 330, moon_x = 470, moon_y = 120, moon_r = 58;
    Canvas c(640, 480);
    c.Shade([&](float x, float y) {
        if (y < horizon) {
            float t = y / horizon;
            Color col = Ramp({{0.09f, 0.04f, 0.07f}, {0.20f, 0.09f, 0.11f}, {0.50f, 0.25f, 0.20f}}, t * t);
            float n = Fbm(x / 150.0f, y / 30.0f, 41, 4);
            return Mix(col, Color{0.55f, 0.30f, 0.25f}, Smooth(0.55f, 0.85f, n) * 0.25f * t);
        }
        float t = (y - horizon) / 150.0f;
        Color col = Ramp({{0.30f, 0.15f, 0.13f}, {0.14f, 0.07f, 0.06f}, {0.07f, 0.035f, 0.03f}}, t);
        float n = Fbm(x / (30.0f + 60 * t), y / (3.0f + 8 * t), 42, 3);
        return col * (0.85f + 0.3f * n);
    });
    // Stars, fading towards the horizon.
    Rng rng(77);
    for (int i = 0; i < 170; ++i) {
        float x = float(rng.Range(0, 640)), y = float(rng.Range(0, horizon - 60));
        float r = float(rng.Range(0.5, 1.4)), a = float(rng.Range(0.3, 1.0)) * (1 - y / horizon);
        if (std::hypot(x - moon_x, y - moon_y) < moon_r + 30)
            continue;
        c.FillSdf(Box{int(x) - 3, int(y) - 3, int(x) + 4, int(y) + 4},
                  [&](float px, float py) { return SdCircle(px, py, x, y, r); }, Color{1.0f, 0.92f, 0.8f}, a);
    }
    // The moon, pale brass with soft seas on it.
    Glow(c, moon_x, moon_y, moon_r, moon_r + 110, Color{0.95f, 0.70f, 0.50f}, 0.35f);
    c.FillSdf(Box{int(moon_x - moon_r) - 2, int(moon_y - moon_r) - 2, int(moon_x + moon_r) + 3, int(moon_y + moon_r) + 3},
              [&](float x, float y) { return SdCircle(x, y, moon_x, moon_y, moon_r); },
              [&](float x, float y) {
                  float n = Fbm(x / 22.0f, y / 22.0f, 43, 4);
                  Color base = Mix(Color{1.0f, 0.95f, 0.80f}, Color{0.96f, 0.80f, 0.60f}, (y - moon_y + moon_r) / (2 * moon_r));
                  return base * (1.0f - 0.22f * Smooth(0.5f, 0.75f, n));
              });
    // Its path on the sea.
    for (int y = int(horizon); y < 480; ++y) {
        float t = (y - horizon) / 150.0f;
        float w = 40 + 60 * t;
        int row = int(std::pow(float(y - horizon), 0.8f) / 1.8f);
        for (int x = int(moon_x - w); x < int(moon_x + w); ++x) {
            float n = ValueNoise(float(x) / (10 + 20 * t), float(row) * 1.9f, 44);
            float edge = 1 - std::fabs(float(x) + 0.5f - moon_x) / w;
            c.Blend(x, y, Color{1.0f, 0.85f, 0.62f}, Smooth(0.45f, 0.62f, n) * edge * (0.8f - 0.5f * t));
        }
    }
    // A rock at the lower left with the mascot on it, looking at the moon.
    std::vector<Pt> rock = SmoothClosed({{-20, 500}, {-10, 420}, {40, 398}, {120, 390}, {210, 396}, {280, 420}, {330, 470}, {340, 500}}, 8);
    c.FillSdf(BoundsOf(rock, 2, c), [&](float x, float y) { return SdPolygon(rock, x, y); },
              [&](float x, float y) {
                  float n = Fbm(x / 18.0f, y / 18.0f, 45, 3);
                  return Mix(Color{0.20f, 0.11f, 0.09f}, Color{0.09f, 0.05f, 0.04f}, Clamp01((y - 390) / 80.0f)) * (0.8f + 0.4f * n);
              });
    // Moonlit rim along the rock's top.
    c.FillSdf(BoundsOf(rock, 2, c),
              [&](float x, float y) {
                  float d = SdPolygon(rock, x, y);
                  float above = SdPolygon(rock, x - 2.5f, y + 3.5f);
                  return std::max(d, -above);
              },
              Color{0.75f, 0.52f, 0.38f}, 0.8f);
    std::vector<float> mask = FerretStanding(ferret, 78, 175, 393, 640, 480);
    PaintMask(c, mask, [](float, float) { return Color{0.06f, 0.03f, 0.03f}; });
    // Titles in the corners the end scroller leaves free.
    TextStyle t;
    t.cell = 3.6f;
    t.dot = 0.86f;
    t.corner = 0.5f;
    t.fill = [](float, float v) { return BrassRamp(v); };
    t.outline = 1.5f;
    t.outline_color = {0.15f, 0.06f, 0.05f};
    t.shadow_dx = 3;
    t.shadow_dy = 3;
    t.shadow_alpha = 0.6f;
    t.shadow_soft = 2;
    t.shadow_color = {0.0f, 0.0f, 0.0f};
    DrawText(c, "BRASS TIDE", 28, 28, t);
    TextStyle s;
    s.cell = 2.0f;
    s.fill = [](float, float) { return Color{0.95f, 0.80f, 0.65f}; };
    DrawText(c, "THANK YOU FOR WATCHING", 30, 66, s);
    s.fill = [](float, float v) { return BrassRamp(0.2f + 0.6f * v); };
    std::string who = "FERRET FOUNDRY";
    DrawText(c, who, 612 - TextWidth(who, s), 452, s);
    return c;
}

Canvas MakeButterfly()
{
    // The scene draws this picture from x = -152 to 232 about the screen's
    // centre, so the butterfly sits at x = 152 of the picture to be centred
    // on the screen while it zooms.
    const float cx = 152, cy = 126;
    Canvas c(384, 256);
    c.Shade([&](float x, float y) {
        float d = std::hypot(x - cx, (y - cy) * 1.3f) / 170.0f;
        float g = Clamp01(1 - d);
        return Color{0.20f, 0.09f, 0.06f} * (g * g);
    });
    auto P = [](float x, float y) { return Pt{x, y}; };
    std::vector<Pt> fore = SmoothClosed({P(3, -8), P(22, -52), P(58, -92), P(100, -108), P(132, -100), P(140, -80), P(128, -50),
                                         P(104, -24), P(64, -6), P(20, 2)}, 10);
    std::vector<Pt> hind = SmoothClosed({P(3, 2), P(40, 4), P(86, 16), P(114, 42), P(112, 76), P(86, 100), P(52, 104),
                                         P(28, 80), P(10, 40)}, 10);
    // Wings on the right; the left side is their mirror image.
    auto wing_sd = [&](const std::vector<Pt> &w, float x, float y) { return SdPolygon(w, std::fabs(x - cx), y - cy); };
    auto wing_colour = [&](const std::vector<Pt> &w, bool is_fore, float x, float y) {
        float lx = std::fabs(x - cx), ly = y - cy;
        float d = -SdPolygon(w, lx, ly); // depth inside the wing
        float dist = std::hypot(lx, ly);
        float r = dist / (is_fore ? 145.0f : 120.0f);
        Color col = Ramp({{0.42f, 0.13f, 0.05f}, {0.85f, 0.35f, 0.10f}, {1.0f, 0.58f, 0.22f}, {1.0f, 0.78f, 0.50f}}, r * 1.15f);
        // Veins: thin dark rays from the wing root.
        static const float fore_rays[] = {-1.42f, -1.18f, -0.95f, -0.72f, -0.48f, -0.22f};
        static const float hind_rays[] = {0.12f, 0.42f, 0.72f, 1.02f, 1.32f};
        float ang = std::atan2(ly, lx), vd = 1e9f;
        if (is_fore)
            for (float a : fore_rays)
                vd = std::min(vd, std::fabs(dist * std::sin(ang - a)));
        else
            for (float a : hind_rays)
                vd = std::min(vd, std::fabs(dist * std::sin(ang - a)));
        col = Mix(col, Color{0.30f, 0.10f, 0.04f}, (1 - Smooth(0.3f, 1.4f, vd)) * 0.8f * Smooth(14, 36, dist));
        // A dark margin along the outer edge only.
        float margin = (1 - Smooth(6.0f, 9.0f, d)) * Smooth(40, 70, dist);
        return Mix(col, Color{0.14f, 0.06f, 0.04f}, margin);
    };
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<Pt> &w = pass == 0 ? hind : fore;
        c.FillSdf(Box{0, 0, 384, 256}, [&](float x, float y) { return wing_sd(w, x, y); },
                  [&](float x, float y) { return wing_colour(w, pass == 1, x, y); });
    }
    // Spots along the margins and an eye on each hind wing.
    auto spots = [&](const std::vector<Pt> &w, float inset, float radius, int step, float min_dist) {
        for (size_t i = 0; i < w.size(); i += size_t(step)) {
            const Pt &p = w[i];
            if (std::hypot(p.x, p.y) < min_dist)
                continue;
            Pt q = w[(i + 1) % w.size()];
            float tx = q.x - p.x, ty = q.y - p.y, l = std::hypot(tx, ty);
            // Inward normal (the outline runs clockwise on screen).
            float nx = ty / l, ny = -tx / l;
            if (SdPolygon(w, p.x + nx * inset, p.y + ny * inset) > 0) {
                nx = -nx;
                ny = -ny;
            }
            float sx = p.x + nx * inset, sy = p.y + ny * inset;
            for (int side = -1; side <= 1; side += 2)
                c.FillSdf(Box{int(cx + side * sx - radius - 2), int(cy + sy - radius - 2), int(cx + side * sx + radius + 3),
                              int(cy + sy + radius + 3)},
                          [&](float x, float y) { return SdCircle(x, y, cx + side * sx, cy + sy, radius); },
                          Color{1.0f, 0.90f, 0.75f});
        }
    };
    spots(fore, 4.5f, 1.9f, 5, 75);
    spots(hind, 4.5f, 1.7f, 5, 62);
    for (int side = -1; side <= 1; side += 2) {
        float ex = cx + side * 78.0f, ey = cy + 62;
        c.FillSdf(Box{int(ex) - 16, int(ey) - 16, int(ex) + 17, int(ey) + 17},
                  [&](float x, float y) { return SdEllipse(x, y, ex, ey, 12, 10); }, Color{0.12f, 0.05f, 0.03f});
        c.FillSdf(Box{int(ex) - 16, int(ey) - 16, int(ex) + 17, int(ey) + 17},
                  [&](float x, float y) { return SdEllipse(x, y, ex, ey, 9, 7.5f); }, Color{1.0f, 0.85f, 0.55f});
        c.FillSdf(Box{int(ex) - 16, int(ey) - 16, int(ex) + 17, int(ey) + 17},
                  [&](float x, float y) { return SdEllipse(x, y, ex, ey, 5.5f, 4.5f); }, Color{0.25f, 0.08f, 0.05f});
        c.FillSdf(Box{int(ex) - 16, int(ey) - 16, int(ex) + 17, int(ey) + 17},
                  [&](float x, float y) { return SdCircle(x, y, ex - 1.5f * side, ey - 1.5f, 1.4f); }, Color{1, 1, 0.95f});
        // Cream patch near the fore wing's tip.
        float px = cx + side * 112.0f, py = cy - 78;
        c.FillSdf(Box{int(px) - 12, int(py) - 12, int(px) + 13, int(py) + 13},
                  [&](float x, float y) { return SdEllipse(x, y, px, py, 8, 5); }, Color{1.0f, 0.88f, 0.70f}, 0.9f);
        // Antenna with a club.
        std::vector<Pt> ant;
        for (int i = 0; i <= 12; ++i) {
            float t = float(i) / 12.0f;
            ant.push_back(Pt{cx + side * (3 + 30 * t + 6 * t * t), cy - 26 - 58 * t + 8 * t * t});
        }
        c.FillSdf(BoundsOf(ant, 6, c), [&](float x, float y) { return SdPolyline(ant, x, y, 0.9f); },
                  Color{0.55f, 0.34f, 0.22f});
        Pt tip = ant.back();
        c.FillSdf(BoundsOf({tip}, 6, c), [&](float x, float y) { return SdEllipse(x, y, tip.x, tip.y, 2.6f, 3.4f); },
                  Color{0.75f, 0.50f, 0.32f});
    }
    // Body: head, thorax and a long abdomen, lit from the upper left.
    auto body_sd = [&](float x, float y) {
        float head = SdCircle(x, y, cx, cy - 24, 6.5f);
        float thorax = SdEllipse(x, y, cx, cy - 6, 7.5f, 15);
        float abdomen = SdEllipse(x, y, cx, cy + 32, 5.5f, 30);
        return std::min(head, std::min(thorax, abdomen));
    };
    c.FillSdf(Box{int(cx) - 14, int(cy) - 36, int(cx) + 15, int(cy) + 66}, body_sd, [&](float x, float y) {
        float l = Clamp01(0.5f - (x - cx) / 12.0f);
        Color col = Mix(Color{0.10f, 0.05f, 0.03f}, Color{0.45f, 0.26f, 0.16f}, l * 0.8f);
        float bands = std::sin((y - cy) * 0.9f);
        return y > cy + 6 ? col * (0.85f + 0.15f * bands) : col;
    });
    return c;
}

namespace {

// The dark water behind the column scene's 3D view, in screen pixels (y up
// from the bottom, as GL has it). "fel" and "brzydalek" both paint it, so
// the seam between them never shows.
Color DeepWater(float sx, float sy)
{
    float t = Clamp01((sy - 80) / 320.0f);
    Color col = Ramp({{0.06f, 0.03f, 0.03f}, {0.11f, 0.055f, 0.045f}, {0.20f, 0.10f, 0.08f}}, t);
    float n = Fbm(sx / 160.0f, sy / 90.0f, 51, 3);
    return col * (0.85f + 0.3f * n);
}

} // namespace

Canvas MakeFel()
{
    // Screen rows 24 to 472: row j of the picture is screen y = 471 - j.
    Canvas c(640, 448);
    auto sy_of = [](float y) { return 472.0f - y; };
    c.Shade([&](float x, float y) { return DeepWater(x, sy_of(y)); });
    // Top band (screen 400 to 472): a riveted brass plate with an engraved line.
    const float plate0 = 2, plate1 = 70;
    c.FillSdf(Box{0, 0, 640, 72}, [&](float x, float y) { return SdBox(x, y, 320, 0.5f * (plate0 + plate1), 316, 0.5f * (plate1 - plate0), 6); },
              [&](float x, float y) {
                  float v = (y - plate0) / (plate1 - plate0);
                  Color col = Ramp({{0.86f, 0.62f, 0.30f}, {0.62f, 0.40f, 0.17f}, {0.45f, 0.27f, 0.11f}, {0.62f, 0.40f, 0.17f}}, v);
                  float brushed = Fbm(x / 80.0f, y * 1.5f, 52, 3);
                  return col * (0.9f + 0.2f * brushed);
              });
    // Bevel: light along the top edge, dark along the bottom.
    c.FillSdf(Box{0, 0, 640, 72},
              [&](float x, float y) {
                  float outer = SdBox(x, y, 320, 0.5f * (plate0 + plate1), 316, 0.5f * (plate1 - plate0), 6);
                  float inner = SdBox(x, y, 320, 0.5f * (plate0 + plate1), 312, 0.5f * (plate1 - plate0) - 4, 4);
                  return std::max(outer, -inner);
              },
              [&](float, float y) { return y < 36 ? Color{1.0f, 0.88f, 0.6f} : Color{0.25f, 0.13f, 0.06f}; }, 0.7f);
    for (float rx : {22.0f, 618.0f})
        for (float ry : {18.0f, 54.0f}) {
            c.FillSdf(Box{int(rx) - 6, int(ry) - 6, int(rx) + 7, int(ry) + 7},
                      [&](float x, float y) { return SdCircle(x, y, rx, ry, 4.2f); },
                      [&](float x, float y) { return BrassRamp(0.1f + 0.8f * Clamp01((x - rx + y - ry + 6) / 12.0f)); });
        }
    TextStyle engraved;
    engraved.cell = 4.0f;
    engraved.dot = 0.9f;
    engraved.corner = 0.4f;
    engraved.fill = [](float, float) { return Color{0.22f, 0.11f, 0.05f}; };
    engraved.shadow_dx = 0;
    engraved.shadow_dy = 1.5f;
    engraved.shadow_alpha = 0.6f;
    engraved.shadow_soft = 0.8f;
    engraved.shadow_color = {1.0f, 0.86f, 0.58f};
    DrawTextCentred(c, "LIGHT ON THE TIDE", 320, 22, engraved);
    // Bottom band (screen 24 to 80): a brass pipe with flanges.
    const float p0 = 394, p1 = 446;
    c.Shade(Box{0, int(p0), 640, int(p1)}, [&](float x, float y) {
        float v = (y - p0) / (p1 - p0);
        float l = std::sin(v * kPi);
        Color col = Ramp({{0.30f, 0.17f, 0.07f}, {0.70f, 0.46f, 0.20f}, {1.0f, 0.86f, 0.55f}, {0.60f, 0.38f, 0.16f}, {0.22f, 0.12f, 0.05f}},
                         v * 0.9f + 0.05f);
        return col * (0.85f + 0.15f * l) * (0.95f + 0.1f * Fbm(x / 90.0f, y, 53, 2));
    });
    for (float fx = 64; fx < 640; fx += 128) {
        c.FillSdf(Box{int(fx) - 14, int(p0) - 4, int(fx) + 15, int(p1) + 3},
                  [&](float x, float y) { return SdBox(x, y, fx, 0.5f * (p0 + p1), 9, 0.5f * (p1 - p0) + 2.5f, 2); },
                  [&](float x, float y) {
                      float v = (y - p0 + 3) / (p1 - p0 + 6);
                      return BrassRamp(v) * (0.8f + 0.2f * Clamp01((x - fx + 9) / 18.0f));
                  });
        for (float by : {p0 + 6, p1 - 6})
            c.FillSdf(Box{int(fx) - 5, int(by) - 5, int(fx) + 6, int(by) + 6},
                      [&](float x, float y) { return SdCircle(x, y, fx, by, 2.6f); }, Color{0.30f, 0.17f, 0.07f});
    }
    // Thin dark rules where the bands meet the window.
    c.Shade(Box{0, 71, 640, 73}, [](float, float) { return Color{0.05f, 0.025f, 0.02f}; });
    c.Shade(Box{0, 391, 640, 393}, [](float, float) { return Color{0.05f, 0.025f, 0.02f}; });
    return c;
}

Canvas MakeBrzydalek()
{
    // Screen x 192 to 640 and y 80 to 400: column i is screen x 192 + i,
    // row j is screen y 399 - j.
    Canvas c(448, 320);
    auto sx_of = [](float x) { return 192.0f + x; };
    auto sy_of = [](float y) { return 400.0f - y; };
    c.Shade([&](float x, float y) {
        float sx = sx_of(x), sy = sy_of(y);
        Color col = DeepWater(sx, sy);
        // Shafts of light slanting down from the upper right, fading in
        // from the picture's left edge so the seam with the backdrop is
        // invisible, and with depth.
        float u = sx + (400 - sy) * 0.45f;
        float shafts = 0;
        const float centres[5] = {330, 400, 455, 530, 600};
        const float widths[5] = {22, 12, 30, 16, 26};
        for (int i = 0; i < 5; ++i)
            shafts += std::exp(-((u - centres[i]) * (u - centres[i])) / (2 * widths[i] * widths[i]));
        float fade = Smooth(0, 110, x) * Smooth(80, 400, sy);
        return col + Color{0.55f, 0.36f, 0.24f} * (0.22f * shafts * fade);
    });
    // Kelp rising from the floor, swaying.
    Rng rng(61);
    for (int i = 0; i < 9; ++i) {
        float base = float(rng.Range(90, 440)), height = float(rng.Range(90, 220)), phase = float(rng.Range(0, 6.28));
        float w = float(rng.Range(3, 6));
        std::vector<Pt> strand;
        for (int k = 0; k <= 24; ++k) {
            float t = float(k) / 24.0f;
            strand.push_back(Pt{base + 14 * std::sin(phase + t * 5.0f) * t, 320 - height * t});
        }
        float shade = float(rng.Range(0.6, 1.0));
        c.FillSdf(BoundsOf(strand, w + 2, c),
                  [&](float x, float y) {
                      float best = 1e30f;
                      for (size_t k = 1; k < strand.size(); ++k) {
                          float t = float(k) / 24.0f;
                          best = std::min(best, SdSegment(x, y, strand[k - 1].x, strand[k - 1].y, strand[k].x, strand[k].y,
                                                          w * (1.1f - 0.8f * t)));
                      }
                      return best;
                  },
                  Color{0.035f, 0.02f, 0.015f} * (1.0f / shade), 0.9f);
    }
    // The little ugly one: an anglerfish with a glowing lure, far right.
    const float fx = 330, fy = 190;
    auto P = [&](float x, float y) { return Pt{fx + x, fy + y}; };
    std::vector<Pt> fish = SmoothClosed({P(-62, -6), P(-50, -34), P(-18, -46), P(20, -40), P(50, -22), P(66, -8),
                                         P(92, -22), P(100, -10), P(92, 4), P(100, 20), P(90, 26), P(64, 12),
                                         P(40, 30), P(0, 40), P(-40, 34), P(-60, 16), P(-46, 6), P(-30, 4), P(-46, -2)}, 8);
    c.FillSdf(BoundsOf(fish, 3, c), [&](float x, float y) { return SdPolygon(fish, x, y); },
              [&](float x, float y) {
                  float n = Fbm(x / 10.0f, y / 10.0f, 62, 3);
                  float rim = Smooth(10, -30, y - fy);
                  return Color{0.10f, 0.05f, 0.04f} * (0.8f + 0.4f * n) + Color{0.12f, 0.07f, 0.04f} * rim;
              });
    // Teeth in the open mouth, the eye, then the lure on its stalk.
    for (int i = 0; i < 6; ++i) {
        float tx = fx - 54 + float(i) * 4.0f, ty = fy + 2 + (i % 2) * 1.5f;
        std::vector<Pt> tooth = {{tx - 1.5f, ty - 4}, {tx + 1.5f, ty - 4}, {tx, ty + 3}};
        c.FillSdf(BoundsOf(tooth, 2, c), [&](float x, float y) { return SdPolygon(tooth, x, y); }, Color{0.85f, 0.75f, 0.62f}, 0.8f);
    }
    c.FillSdf(Box{int(fx) - 40, int(fy) - 36, int(fx) - 20, int(fy) - 16},
              [&](float x, float y) { return SdCircle(x, y, fx - 30, fy - 26, 5); }, Color{0.75f, 0.55f, 0.35f});
    c.FillSdf(Box{int(fx) - 40, int(fy) - 36, int(fx) - 20, int(fy) - 16},
              [&](float x, float y) { return SdCircle(x, y, fx - 31, fy - 26, 2.5f); }, Color{0.02f, 0.01f, 0.01f});
    std::vector<Pt> stalk;
    for (int k = 0; k <= 16; ++k) {
        float t = float(k) / 16.0f;
        stalk.push_back(Pt{fx - 10 - 58 * t, fy - 44 - 34 * std::sin(t * 2.4f)});
    }
    c.FillSdf(BoundsOf(stalk, 3, c), [&](float x, float y) { return SdPolyline(stalk, x, y, 1.1f); }, Color{0.12f, 0.06f, 0.04f});
    Pt lure = stalk.back();
    Glow(c, lure.x, lure.y, 3, 46, Color{1.0f, 0.85f, 0.55f}, 0.45f);
    c.FillSdf(BoundsOf({lure}, 7, c), [&](float x, float y) { return SdCircle(x, y, lure.x, lure.y, 4.5f); },
              Color{1.0f, 0.95f, 0.78f});
    // Motes drifting in the water.
    for (int i = 0; i < 90; ++i) {
        float x = float(rng.Range(40, 448)), y = float(rng.Range(0, 320)), r = float(rng.Range(0.5, 1.5));
        float a = float(rng.Range(0.15, 0.5)) * Smooth(40, 140, x);
        c.FillSdf(Box{int(x) - 3, int(y) - 3, int(x) + 4, int(y) + 4}, [&](float px, float py) { return SdCircle(px, py, x, y, r); },
                  Color{0.95f, 0.75f, 0.55f}, a);
    }
    return c;
}

} // namespace content
