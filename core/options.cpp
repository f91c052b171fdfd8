// Command line and the sound error texts.
#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core.h"

int player_debug;
int player_silent;
FSOUND_STREAM *player_music;

static const char *const sound_error_text[19] = {
    "No errors",
    "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
    "This command failed because FSOUND_Init was not called",
    "Error initializing output device.",
    "The output device is already in use and cannot be reused.",
    "Playing the sound failed.",
    "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
    "Error setting cooperative level for hardware.",
    "Error creating hardware sound buffer.",
    "File not found",
    "Unknown file format",
    "Error loading file",
    "Not enough memory ",
    "The version number of this file format is not supported",
    "An invalid parameter was passed to this function",
    "Tried to use an EAX command on a non EAX enabled channel or output.",
    "Failed to allocate a new channel",
    "Recording not supported on this device",
    "Required Mediaplayer codec is not installed",
};

const char *Options_SoundErrorText(int code)
{
    if ((unsigned)code > 18u)
        return "Unknown error";
    return sound_error_text[code];
}

// -debug START END OFFSET: plays entries OFFSET..41 from demo time START to END.
// Values that are missing at the end of the command line count as 0; an
// offset outside the table would make the sequencer walk off it, and a start
// beyond OPTIONS_DEBUG_LIMIT (or none at all, NaN) would never reach the
// timeline at its pace, so they end the program instead. Any end is fine:
// past the last entry the sequencer ends by itself.
static int ParseDebug(int argc, char **argv, int i)
{
    const char *value[3] = {"0", "0", "0"};
    for (int k = 0; k < 3 && i + 1 < argc; k++)
        value[k] = argv[++i];

    // The Windows build reads them with its C runtime's atof and atoi: the
    // same values for decimal numbers, but no hexadecimal, inf or nan forms.
#ifdef _WIN32
    double start_value = atof(value[0]);
    float end = (float)atof(value[1]);
    long offset = atoi(value[2]);
#else
    double start_value = strtod(value[0], nullptr);
    float end = (float)strtod(value[1], nullptr);
    long offset = strtol(value[2], nullptr, 10);
#endif

    player_debug = 1;
    printf("BT_x: debug mode.\n");
    if (offset < 0 || offset > TL_ENTRIES - 1) {
        printf("BT_x: debug offset %ld is outside 0 to %d.\n", offset, TL_ENTRIES - 1);
        exit(1);
    }
    // Compared before it becomes a float, which could not hold the largest values.
    if (!(start_value >= -OPTIONS_DEBUG_LIMIT && start_value <= OPTIONS_DEBUG_LIMIT)) {
        printf("BT_x: debug start %+.3f is outside -10000 to +10000.\n", start_value);
        exit(1);
    }
    const float start = (float)start_value;
    timeline_header.first = &timeline_table[offset];
    timeline_header.start_time = start;
    timeline_header.end_time = end;
    // Set rather than decremented, so that a repeated -debug cannot push the
    // window's end past the table.
    timeline_header.last_index = (uint32_t)(TL_ENTRIES - 1 - offset);
    printf("BT_x: start: %+.3f, end: %+.3f, offset: %i;\n", start, end, (int)offset);
    return i;
}

void Options_Parse(int argc, char **argv, uint32_t *video_flags)
{
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-debug") == 0) {
            i = ParseDebug(argc, argv, i);
        } else if (strcmp(argv[i], "-window") == 0) {
            *video_flags ^= SDL_FULLSCREEN;
            printf("BT_x: windowed mode.\n");
        } else if (strcmp(argv[i], "-silent") == 0) {
            player_silent = 1;
            printf("BT_x: silent mode.\n");
        }
    }
}
