// The SDL 1.2 interface of the player and its sound layer, implemented over
// SDL2 by win32/sdl12/sdl12.cpp: exactly the functions, types and constants
// they use, with SDL 1.2's values and layouts. Windows has no SDL 1.2 built
// for it that keeps the desktop's mode in full screen, and the player's
// sources stay the same on every system.
//
// Where SDL2 keeps a 1.2 function with the same binary form (ticks, delay,
// the cursor, the subsystems' init and quit, the audio device) the name
// below is SDL2's own symbol. Where SDL2 changed it, or dropped it, the name
// is mapped onto SDL12_..., this layer's translation: SDL2 exports some of
// the same names with other arguments (SDL_GL_SetAttribute, SDL_PollEvent).
// To add a call, declare it here with SDL 1.2's form, and translate it in
// sdl12.cpp when SDL2's differs.
#ifndef BT_SDL12_SDL_H
#define BT_SDL12_SDL_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define SDLCALL __cdecl
#else
#define SDLCALL
#endif

typedef uint8_t Uint8;
typedef uint16_t Uint16;
typedef int16_t Sint16;
typedef uint32_t Uint32;
typedef int32_t Sint32;

typedef enum { SDL_FALSE = 0, SDL_TRUE = 1 } SDL_bool;

// --- initialisation ----------------------------------------------------------
#define SDL_INIT_TIMER 0x00000001u
#define SDL_INIT_AUDIO 0x00000010u
#define SDL_INIT_VIDEO 0x00000020u

#define SDL_Init SDL12_Init
#define SDL_Quit SDL12_Quit
// 0 on success, -1 with SDL_GetError() set.
extern int SDLCALL SDL12_Init(Uint32 flags);
// Closes the window and every subsystem; safe to call twice (atexit).
extern void SDLCALL SDL12_Quit(void);
extern int SDLCALL SDL_InitSubSystem(Uint32 flags);
extern void SDLCALL SDL_QuitSubSystem(Uint32 flags);
extern const char *SDLCALL SDL_GetError(void);

// --- time --------------------------------------------------------------------
// Milliseconds since SDL_Init.
extern Uint32 SDLCALL SDL_GetTicks(void);
extern void SDLCALL SDL_Delay(Uint32 ms);

typedef struct SDL12_Timer *SDL_TimerID;
// Returns the next interval in ms (0 stops the timer); runs on SDL's timer thread.
typedef Uint32(SDLCALL *SDL_NewTimerCallback)(Uint32 interval, void *param);
#define SDL_AddTimer SDL12_AddTimer
#define SDL_RemoveTimer SDL12_RemoveTimer
// NULL when the timer could not be made.
extern SDL_TimerID SDLCALL SDL12_AddTimer(Uint32 interval, SDL_NewTimerCallback callback, void *param);
extern SDL_bool SDLCALL SDL12_RemoveTimer(SDL_TimerID id);

// --- video -------------------------------------------------------------------
#define SDL_FULLSCREEN 0x80000000u
#define SDL_OPENGL 0x00000002u

// What SDL_SetVideoMode returns; the player only tests it against NULL.
typedef struct SDL_Surface {
    Uint32 flags;
    void *format;
    int w, h;
    Uint16 pitch;
    void *pixels;
} SDL_Surface;

typedef enum {
    SDL_GL_RED_SIZE,
    SDL_GL_GREEN_SIZE,
    SDL_GL_BLUE_SIZE,
    SDL_GL_ALPHA_SIZE,
    SDL_GL_BUFFER_SIZE,
    SDL_GL_DOUBLEBUFFER,
    SDL_GL_DEPTH_SIZE,
    SDL_GL_STENCIL_SIZE,
    SDL_GL_ACCUM_RED_SIZE,
    SDL_GL_ACCUM_GREEN_SIZE,
    SDL_GL_ACCUM_BLUE_SIZE,
    SDL_GL_ACCUM_ALPHA_SIZE,
    SDL_GL_STEREO,
    SDL_GL_MULTISAMPLEBUFFERS,
    SDL_GL_MULTISAMPLESAMPLES,
    SDL_GL_ACCELERATED_VISUAL,
    SDL_GL_SWAP_CONTROL
} SDL_GLattr;

#define SDL_GL_SetAttribute SDL12_GL_SetAttribute
#define SDL_SetVideoMode SDL12_SetVideoMode
#define SDL_GL_SwapBuffers SDL12_GL_SwapBuffers
#define SDL_WM_SetCaption SDL12_WM_SetCaption
// Applies to the next SDL_SetVideoMode. 0, or -1 for an unknown attribute.
extern int SDLCALL SDL12_GL_SetAttribute(SDL_GLattr attr, int value);
// Only SDL_OPENGL windows: full screen keeps the desktop's mode and scales
// the width x height picture into it. NULL with SDL_GetError() set on failure.
extern SDL_Surface *SDLCALL SDL12_SetVideoMode(int width, int height, int bpp, Uint32 flags);
extern void SDLCALL SDL12_GL_SwapBuffers(void);
extern void SDLCALL SDL12_WM_SetCaption(const char *title, const char *icon);

#define SDL_QUERY -1
#define SDL_DISABLE 0
#define SDL_ENABLE 1
// The previous state; SDL_QUERY only asks.
extern int SDLCALL SDL_ShowCursor(int toggle);

// --- events ------------------------------------------------------------------
enum { SDL_NOEVENT = 0, SDL_KEYDOWN = 2, SDL_KEYUP = 3, SDL_QUIT = 12 };

// Keys below 128 are their ASCII codes, as in SDL2; others read SDLK_UNKNOWN.
// The last members give the enums SDL 1.2's whole range: a key code or
// modifier mask outside an enum's range is undefined behaviour to load.
typedef enum { SDLK_UNKNOWN = 0, SDLK_ESCAPE = 27, SDLK_LAST = 323 } SDLKey;
typedef enum { KMOD_NONE = 0, KMOD_RESERVED = 0x8000 } SDLMod;

typedef struct SDL_keysym {
    Uint8 scancode;
    SDLKey sym;
    SDLMod mod;
    Uint16 unicode;
} SDL_keysym;

typedef struct SDL_KeyboardEvent {
    Uint8 type;
    Uint8 which;
    Uint8 state;
    SDL_keysym keysym;
} SDL_KeyboardEvent;

typedef struct SDL_QuitEvent {
    Uint8 type;
} SDL_QuitEvent;

typedef union SDL_Event {
    Uint8 type;
    SDL_KeyboardEvent key;
    SDL_QuitEvent quit;
} SDL_Event;

#define SDL_PollEvent SDL12_PollEvent
// 1 with the next event of a kind above in *event, 0 when none is queued.
extern int SDLCALL SDL12_PollEvent(SDL_Event *event);

// --- threads -----------------------------------------------------------------
typedef struct SDL_Thread SDL_Thread;
#define SDL_CreateThread SDL12_CreateThread
// NULL when the thread could not be started.
extern SDL_Thread *SDLCALL SDL12_CreateThread(int(SDLCALL *fn)(void *), void *data);

// --- audio -------------------------------------------------------------------
#define AUDIO_S16LSB 0x8010
#define AUDIO_S16MSB 0x9010
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define AUDIO_S16SYS AUDIO_S16MSB
#else
#define AUDIO_S16SYS AUDIO_S16LSB
#endif

typedef struct SDL_AudioSpec {
    int freq;
    Uint16 format;
    Uint8 channels;
    Uint8 silence;
    Uint16 samples;
    Uint16 padding;
    Uint32 size;
    void(SDLCALL *callback)(void *userdata, Uint8 *stream, int len);
    void *userdata;
} SDL_AudioSpec;

typedef enum { SDL_AUDIO_STOPPED = 0, SDL_AUDIO_PLAYING, SDL_AUDIO_PAUSED } SDL_audiostatus;

// SDL2's device 1, the one-device interface SDL 1.2 had.
extern int SDLCALL SDL_OpenAudio(SDL_AudioSpec *desired, SDL_AudioSpec *obtained);
extern SDL_audiostatus SDLCALL SDL_GetAudioStatus(void);
extern void SDLCALL SDL_PauseAudio(int pause_on);
extern void SDLCALL SDL_LockAudio(void);
extern void SDLCALL SDL_UnlockAudio(void);
extern void SDLCALL SDL_CloseAudio(void);

// --- the program's entry ----------------------------------------------------
// On Windows the layer's entry code (main_win32.cpp) builds the
// arguments from the command line, sends standard output and error to
// stdout.txt and stderr.txt in the working directory, and calls SDL_main.
#ifdef _WIN32
#define main SDL_main
extern int SDL_main(int argc, char **argv);
#endif

#ifdef __cplusplus
}
#endif

#endif
