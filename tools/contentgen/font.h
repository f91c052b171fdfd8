// The generator's own 5 x 7 bitmap font (codes 32 to 95: space, punctuation,
// digits and capitals) and antialiased text drawing with it: every font dot
// becomes a (rounded) square cell, which can be filled with a gradient,
// outlined and given a soft shadow.
#pragma once

#include <functional>
#include <string>

#include "tools/contentgen/canvas.h"

namespace content {

constexpr int kFontW = 5, kFontH = 7;

// True when the glyph of c has its dot at column col (0 = left) and row row
// (0 = top). Characters outside 32..95 are blank.
bool GlyphDot(char c, int col, int row);
// True for the characters the font draws (codes 32 to 95).
bool InFont(char c);

struct TextStyle {
    float cell = 4;         // pixels per font dot
    float dot = 1.0f;       // drawn dot size as a fraction of the cell
    float corner = 0.0f;    // corner radius as a fraction of half the dot
    float advance = 6;      // cells from one character to the next
    // Paint of the letters; u and v run from 0 to 1 across the text's box.
    std::function<Color(float u, float v)> fill = [](float, float) { return Color{1, 1, 1}; };
    float outline = 0;      // outline width in pixels (0: none)
    Color outline_color{};
    float shadow_dx = 0, shadow_dy = 0, shadow_alpha = 0, shadow_soft = 1;
    Color shadow_color{};
};

float TextWidth(const std::string &text, const TextStyle &style);
float TextHeight(const TextStyle &style);
// Draws text with its box's top-left corner at (x, y).
void DrawText(Canvas &canvas, const std::string &text, float x, float y, const TextStyle &style);
// Centred on x.
void DrawTextCentred(Canvas &canvas, const std::string &text, float cx, float y, const TextStyle &style);

// A crisp one-pixel-per-dot text for small pictures (captions, labels).
void DrawPixelText(Canvas &canvas, const std::string &text, int x, int y, Color c, int scale = 1);

// The metallic ramp used for brass lettering, v from top (0) to bottom (1).
Color BrassRamp(float v);

} // namespace content
