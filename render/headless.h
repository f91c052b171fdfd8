// An offscreen OpenGL context: a pbuffer (RGBA8, depth 24, compatibility
// profile) through EGL, for the capture tool and for tests that draw
// without a window. Not linked into the player.
//
// A hardware GPU is preferred where EGL lists one as a device; otherwise
// (and with HEADLESS_SOFTWARE) the surfaceless platform gives Mesa's
// software rasteriser, which needs no display server either.
#pragma once

#include <cstdint>

enum { HEADLESS_ANY = 0, HEADLESS_SOFTWARE = 1 };

// Makes the context current on the calling thread. False with a message in
// *why (a static string) when no such context can be had. Tests keep the
// software default: their expected pixels are the software rasteriser's.
bool Headless_Open(int width, int height, const char **why, int flags = HEADLESS_SOFTWARE);
// Which EGL platform gave the context: "device" (a hardware GPU),
// "surfaceless" or "default display"; "none" before a context exists.
const char *Headless_Platform(void);
// Reads the current frame as RGB, top row first (width*height*3 bytes).
void Headless_ReadRGB(uint8_t *rgb);
// Releases the context; safe to call when none was made.
void Headless_Close(void);
