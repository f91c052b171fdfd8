// An offscreen OpenGL context: EGL on the surfaceless platform with a 640x480
// pbuffer (RGBA8, depth 24, compatibility profile), for the capture tool and
// for tests that draw without a window. Not linked into the player.
#pragma once

#include <cstdint>

// Makes the context current on the calling thread. False with a message in
// *why (a static string) when no such context can be had.
bool Headless_Open(int width, int height, const char **why);
// Reads the current frame as RGB, top row first (width*height*3 bytes).
void Headless_ReadRGB(uint8_t *rgb);
// Releases the context; safe to call when none was made.
void Headless_Close(void);
