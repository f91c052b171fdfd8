// Placeholder until the sound layer lands: every call fails politely.
#include "sound/fsound.h"

static int fs_error;
signed char FSOUND_SetOutput(int) { return 1; }
signed char FSOUND_Init(int, int, unsigned int) { fs_error = FSOUND_ERR_INIT; return 0; }
int FSOUND_GetError(void) { return fs_error; }
signed char FSOUND_Stream_SetBufferSize(int) { return 1; }
FSOUND_STREAM *FSOUND_Stream_Open(const char *, unsigned int, int, int) { fs_error = FSOUND_ERR_UNINITIALIZED; return nullptr; }
int FSOUND_Stream_Play(int, FSOUND_STREAM *) { return -1; }
signed char FSOUND_Stream_Stop(FSOUND_STREAM *) { return 0; }
signed char FSOUND_Stream_Close(FSOUND_STREAM *) { return 0; }
void FSOUND_Close(void) {}
