// The capture program's command line.
#pragma once

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
    std::string hashes;         // empty: no hash file
    bool bench = false;
    bool help = false;
};

// Options in any order; false with a message for anything unusable.
bool ParseCaptureArgs(int argc, char **argv, CaptureOptions *options, std::string *err);
// "NNNNNN.png": six digits with leading zeros.
std::string ShotFileName(long ms);
// The usage text, for -h and after a bad option.
const char *CaptureUsage();

} // namespace capture
