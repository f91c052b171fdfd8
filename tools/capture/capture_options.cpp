// Command line of the capture program. Stricter than the player's scanner:
// an archivist's batch job should stop on a typo rather than render the
// wrong thing for minutes.
#include "tools/capture/capture_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>

namespace capture {

namespace {

// Demo times beyond the player's own bound would no longer advance by 10 ms
// steps in a float, and a window that never reaches its end would render forever.
constexpr double kMaxDemoTime = OPTIONS_DEBUG_LIMIT;
// Six digits of milliseconds.
constexpr double kMaxShotTime = 999.9994;

bool ParseReal(const char *text, double *value)
{
    if (!*text)
        return false;
    char *end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (*end || errno == ERANGE || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool ParseWhole(const char *text, long long lo, long long hi, long long *value)
{
    if (!*text)
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    if (*end || errno == ERANGE || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}

bool ParseInt(const char *text, long lo, long hi, long *value)
{
    if (!*text)
        return false;
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (*end || errno == ERANGE || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}

} // namespace

const char *CaptureUsage()
{
    return "usage: capture [-debug START END OFFSET] [-fps N] [-scale N] [-shot T]... [-out DIR]\n"
           "               [-video FILE [-lossless]] [-hashes FILE] [-bench] [-jobs N]\n"
           "               [-span FIRST END] [-software]\n"
           "  Plays the demo offscreen on a virtual clock; run it in the folder that\n"
           "  holds brass_tide.zar (and brass_tide.mp3 for the video's sound).\n"
           "  -debug START END OFFSET  play entries OFFSET..41 from demo time START to END\n"
           "                           (seconds), as the player's -debug does\n"
           "  -fps N        frames per second of demo time (default 60, 1 to 1000)\n"
           "  -scale N      render at N*640 x N*480 (1 to 4; default 1, the demo's own size)\n"
           "  -shot T       write the first frame at demo time >= T seconds as DIR/NNNNNN.png\n"
           "                (NNNNNN = T in milliseconds); repeatable; without -video, -hashes\n"
           "                or -bench the run stops after the last shot\n"
           "  -out DIR      folder for shots and bench.json (default: the working directory)\n"
           "  -video FILE   encode every frame to FILE (.mp4, .mkv or .mov: H.264) with the\n"
           "                soundtrack, via ffmpeg\n"
           "  -lossless     with -video FILE.mkv: an archival master, FFV1 pictures that\n"
           "                decode to exactly the captured frames, and FLAC sound\n"
           "  -hashes FILE  one line per frame: frame number, demo time, MD5 of its RGB pixels\n"
           "  -bench        frame times per timeline entry: a table and DIR/bench.json\n"
           "  -jobs N       worker processes, each rendering one stretch of the run (default:\n"
           "                one per processor; 1 with -bench or with shots alone); the frames\n"
           "                are the same whatever N is\n"
           "  -span FIRST END  write only frames FIRST..END-1 of the run (END past the end\n"
           "                stops there): the earlier frames are played exactly but not\n"
           "                drawn. -video then writes the pictures alone (.nut allowed too)\n"
           "                and the music's first frame is printed, for joining spans\n"
           "                rendered elsewhere (see README)\n"
           "  -software     render with the software rasteriser even where a GPU is found\n";
}

std::string ShotFileName(long ms)
{
    char name[32];
    snprintf(name, sizeof name, "%06ld.png", ms);
    return name;
}

bool ParseCaptureArgs(int argc, char **argv, CaptureOptions *o, std::string *err)
{
    auto need = [&](int i, int count, const char *what) {
        if (i + count < argc)
            return true;
        *err = std::string(argv[i]) + " needs " + what;
        return false;
    };
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!strcmp(arg, "-debug")) {
            if (!need(i, 3, "three values: START END OFFSET"))
                return false;
            double start, end;
            long offset;
            if (!ParseReal(argv[i + 1], &start) || std::fabs(start) > kMaxDemoTime) {
                *err = std::string("-debug START must be a number of seconds from -10000 to 10000, not '") +
                       argv[i + 1] + "'";
                return false;
            }
            if (!ParseReal(argv[i + 2], &end) || std::fabs(end) > kMaxDemoTime) {
                *err = std::string("-debug END must be a number of seconds from -10000 to 10000, not '") +
                       argv[i + 2] + "'";
                return false;
            }
            if (!ParseInt(argv[i + 3], 0, TL_ENTRIES - 1, &offset)) {
                *err = std::string("-debug OFFSET must be a timeline entry from 0 to 41, not '") + argv[i + 3] + "'";
                return false;
            }
            o->debug = true;
            o->window = DebugWindow{argv[i + 1], argv[i + 2], argv[i + 3]};
            i += 3;
        } else if (!strcmp(arg, "-fps")) {
            long fps;
            if (!need(i, 1, "a frame rate"))
                return false;
            if (!ParseInt(argv[i + 1], 1, 1000, &fps)) {
                *err = std::string("-fps must be a whole number from 1 to 1000, not '") + argv[i + 1] + "'";
                return false;
            }
            o->fps = (int)fps;
            i++;
        } else if (!strcmp(arg, "-shot")) {
            double t;
            if (!need(i, 1, "a demo time in seconds"))
                return false;
            if (!ParseReal(argv[i + 1], &t) || t < 0 || t > kMaxShotTime) {
                *err = std::string("-shot must be a demo time from 0 to 999.999 seconds, not '") + argv[i + 1] + "'";
                return false;
            }
            o->shots.push_back(Shot{(float)t, std::lround(t * 1000.0)});
            i++;
        } else if (!strcmp(arg, "-out")) {
            if (!need(i, 1, "a folder"))
                return false;
            o->out_dir = argv[++i];
            if (o->out_dir.empty()) {
                *err = "-out needs a folder name, not an empty one";
                return false;
            }
        } else if (!strcmp(arg, "-video")) {
            if (!need(i, 1, "a file name"))
                return false;
            o->video = argv[++i];
            if (o->video.empty()) {
                *err = "-video needs a file name, not an empty one";
                return false;
            }
        } else if (!strcmp(arg, "-hashes")) {
            if (!need(i, 1, "a file name"))
                return false;
            o->hashes = argv[++i];
            if (o->hashes.empty()) {
                *err = "-hashes needs a file name, not an empty one";
                return false;
            }
        } else if (!strcmp(arg, "-bench")) {
            o->bench = true;
        } else if (!strcmp(arg, "-lossless")) {
            o->lossless = true;
        } else if (!strcmp(arg, "-software")) {
            o->software = true;
        } else if (!strcmp(arg, "-jobs")) {
            long jobs;
            if (!need(i, 1, "a number of worker processes"))
                return false;
            if (!ParseInt(argv[i + 1], 1, 256, &jobs)) {
                *err = std::string("-jobs must be a whole number from 1 to 256, not '") + argv[i + 1] + "'";
                return false;
            }
            o->jobs = (int)jobs;
            i++;
        } else if (!strcmp(arg, "-scale")) {
            long scale;
            if (!need(i, 1, "a scale"))
                return false;
            if (!ParseInt(argv[i + 1], 1, kMaxScale, &scale)) {
                *err = std::string("-scale must be 1, 2, 3 or 4, not '") + argv[i + 1] + "'";
                return false;
            }
            o->scale = (int)scale;
            i++;
        } else if (!strcmp(arg, "-span")) {
            long long first, end;
            if (!need(i, 2, "two frame numbers: FIRST END"))
                return false;
            if (!ParseWhole(argv[i + 1], 0, INT64_MAX - 1, &first) ||
                !ParseWhole(argv[i + 2], first + 1, INT64_MAX, &end)) {
                *err = std::string("-span needs two frame numbers FIRST < END from 0 on, not '") + argv[i + 1] +
                       " " + argv[i + 2] + "'";
                return false;
            }
            o->span = true;
            o->span_first = first;
            o->span_end = end;
            i += 2;
        } else if (!strcmp(arg, "-report-fd")) {
            long fd;
            if (!need(i, 1, "a file descriptor") || !ParseInt(argv[i + 1], 3, 1 << 20, &fd)) {
                *err = "-report-fd is for the capture tool's own workers";
                return false;
            }
            o->report_fd = (int)fd;
            i++;
        } else if (!strcmp(arg, "-h") || !strcmp(arg, "-help") || !strcmp(arg, "--help")) {
            o->help = true;
        } else {
            *err = std::string("unknown option '") + arg + "'";
            return false;
        }
    }
    std::stable_sort(o->shots.begin(), o->shots.end(), [](const Shot &a, const Shot &b) { return a.at < b.at; });
    if (o->lossless && o->video.empty()) {
        *err = "-lossless is a kind of video: give -video FILE.mkv too";
        return false;
    }
    if (o->report_fd >= 0 && !o->span) {
        *err = "-report-fd is for the capture tool's own workers";
        return false;
    }
    return true;
}

} // namespace capture
