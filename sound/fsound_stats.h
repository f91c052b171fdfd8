// Internal counters of the sound layer, for its tests and benchmarks only:
// the player never calls this.
#pragma once

#include "sound/fsound.h"

typedef struct FSOUND_Internal_StreamStats {
    unsigned long long frames_decoded;  // frames mpg123 has produced since the stream was opened
    unsigned long long frames_played;   // frames handed to SDL
    unsigned long long underruns;       // callbacks in which the ring ran dry before the stream's end
    unsigned long long underrun_frames; // frames of silence those underruns put in
    unsigned long long decode_ns;       // CPU time spent inside mpg123_read
    long long play_to_sound_ns;         // from the last FSOUND_Stream_Play to its first data in a callback; -1 until then
    unsigned long long ring_frames;     // size of the stream's ring
    int finished;                       // decoded to the end and the ring played out
} FSOUND_Internal_StreamStats;

// Fills out for an open stream; false for an empty or closed handle or before FSOUND_Init.
signed char FSOUND_Internal_GetStreamStats(FSOUND_STREAM *stream, FSOUND_Internal_StreamStats *out);
