// Sound layer: the small streaming-audio call surface the player uses.
// MP3 streams are decoded with libmpg123 on a decoder thread into a ring
// buffer and played through SDL's audio subsystem, which the layer brings up
// itself (the player only starts SDL's timer and video).
//
// Every stream call is safe before FSOUND_Init, after FSOUND_Close and with an
// empty, closed or unknown handle: it then does nothing and reports failure.
// All calls may come from any thread.
#pragma once

typedef struct FSOUND_STREAM FSOUND_STREAM;

// Error codes, as FSOUND_GetError reports them after a failed call.
enum {
    FSOUND_ERR_NONE = 0,
    FSOUND_ERR_BUSY = 1,            // call not allowed after FSOUND_Init
    FSOUND_ERR_UNINITIALIZED = 2,   // FSOUND_Init was not called
    FSOUND_ERR_INIT = 3,            // the output device could not be opened
    FSOUND_ERR_ALLOCATED = 4,
    FSOUND_ERR_PLAY = 5,
    FSOUND_ERR_OUTPUT_FORMAT = 6,
    FSOUND_ERR_COOPERATIVELEVEL = 7,
    FSOUND_ERR_CREATEBUFFER = 8,
    FSOUND_ERR_FILE_NOTFOUND = 9,
    FSOUND_ERR_FILE_FORMAT = 10,
    FSOUND_ERR_FILE_BAD = 11,
    FSOUND_ERR_MEMORY = 12,
    FSOUND_ERR_VERSION = 13,
    FSOUND_ERR_INVALID_PARAM = 14,
    FSOUND_ERR_NO_EAX = 15,
    FSOUND_ERR_CHANNEL_ALLOC = 16,
    FSOUND_ERR_RECORD = 17,
    FSOUND_ERR_MEDIAPLAYER = 18
};

// Output driver numbers accepted by FSOUND_SetOutput. All of them play
// through SDL's audio; the number is kept only to honour the call.
enum { FSOUND_OUTPUT_DSOUND = 2, FSOUND_OUTPUT_OSS = 4 };

// Channel number for FSOUND_Stream_Play: take the lowest free channel.
enum { FSOUND_FREE = -1 };

// Chooses the output driver; only allowed before FSOUND_Init.
signed char FSOUND_SetOutput(int outputtype);
// Opens SDL audio at mixrate Hz (8000 to 192000), 16-bit stereo, with maxsoftwarechannels
// (1 to 256) channels; flags are ignored. False with FSOUND_ERR_INIT without a device,
// ALLOCATED when SDL's audio device is already open, BUSY when already initialised.
signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);
// The code of the last failure (FSOUND_ERR_NONE after success).
int FSOUND_GetError(void);
// Sets how many milliseconds (1 to 10000) of decoded sound a stream opened later
// buffers ahead; rings never hold less than two SDL periods (about 46 ms).
signed char FSOUND_Stream_SetBufferSize(int ms);
// Opens an MP3 file for streaming and decodes its first buffer. Empty handle with
// FILE_NOTFOUND, FILE_FORMAT (no MP3 frame) or FILE_BAD (not a readable regular
// file) on failure. mode is ignored; offset and length must be 0 (whole file).
FSOUND_STREAM *FSOUND_Stream_Open(const char *name, unsigned int mode, int offset, int length);
// Starts the stream playing on channel (below maxsoftwarechannels, or FSOUND_FREE);
// returns the channel used, or -1 (CHANNEL_ALLOC when another stream holds it).
// A stream already playing keeps its channel. At its end it plays silence until stopped.
int FSOUND_Stream_Play(int channel, FSOUND_STREAM *stream);
// Stops the stream; it can be played again from the start.
signed char FSOUND_Stream_Stop(FSOUND_STREAM *stream);
// Stops and frees the stream.
signed char FSOUND_Stream_Close(FSOUND_STREAM *stream);
// Closes every stream and shuts the output down.
void FSOUND_Close(void);
