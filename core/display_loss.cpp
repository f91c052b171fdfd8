// Ending the player when its X display goes away.
//
// Xlib reports a broken connection to its I/O error handler, whose default
// prints to standard error and calls exit(). The exit handlers then run
// SDL_Quit, which waits on the dead connection for an event that can never
// come: the player hung there for ever with a black screen. This handler
// ends the process at once instead, without running the exit handlers;
// nothing is left to save, and the system closes the sound device and the
// files.
#include "core/core.h"

#ifndef _WIN32
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

static int DisplayLoss_OnIOError(Display *display)
{
    (void)display;
    fputs("X11: FATAL_ERROR: Display connection lost.\n", stdout);
    fflush(stdout);
    _exit(1);
}

void DisplayLoss_Watch(void)
{
    // Process-wide, and kept by every later XOpenDisplay (it only fills in
    // the default where none is set), so SDL's connection gets it too.
    XSetIOErrorHandler(DisplayLoss_OnIOError);
}
#else
// Windows has no display connection to lose.
void DisplayLoss_Watch(void)
{
}
#endif
