// The capture program's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/session.h"

namespace capture {

struct Shot {
    float at;                   // demo time in seconds, compared as the sequencer compares
    long ms;                    // the file's name: the time in milliseconds, rounded
};

struct CaptureOptions {
    bool debug = false;
    DebugWindow window;
    int fps = 60;
    std::vector<Shot> shots;    // in time order
    std::string out_dir = ".";
    std::string video;          // empty: no video
    bool lossless = false;      // the video as an FFV1 + FLAC master
    std::string hashes;         // empty: no hash file
    bool bench = false;
    int jobs = 0;               // worker processes; 0: the tool chooses
    int scale = 1;              // frames of scale*640 x scale*480
    bool software = false;      // the software rasteriser even with a GPU
    // -span FIRST END: only frames FIRST..END-1 of the run are written (END
    // past the run's end stops at it). A worker's job, or a job runner's.
    bool span = false;
    int64_t span_first = 0, span_end = 0;
    int report_fd = -1;         // a worker's figures go to its parent here
    bool help = false;
};

// Options in any order; false with a one-line message for anything unusable.
bool ParseCaptureArgs(int argc, char **argv, CaptureOptions *options, std::string *err);
// "NNNNNN.png": six digits with leading zeros.
std::string ShotFileName(long ms);
// The usage text, for -h.
const char *CaptureUsage();

} // namespace capture
