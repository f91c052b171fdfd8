// A capture in this process: the whole run, or one span of it.
#pragma once

#include "tools/capture/capture_options.h"

namespace capture {

// Runs the capture the options ask for in this process and returns the exit
// status. With -span only that span's frames are written; with -report-fd
// (a worker) its figures go to the parent instead of standard output.
int RunCapture(const CaptureOptions &opt);

// False with the reason when the video asked for cannot be written: its
// name, its kind, or no ffmpeg.
bool VideoUsable(const CaptureOptions &opt, std::string *err);

// One line of a worker's report to its parent, '\n' included: a word and
// its values, read back by ParseReportLine.
enum ReportKind { REPORT_PROGRESS, REPORT_MUSIC, REPORT_TIME, REPORT_RENDERER, REPORT_DONE, REPORT_BAD };
struct ReportLine {
    ReportKind kind = REPORT_BAD;
    long long number = 0;       // frames drawn, the music's first frame, or an entry
    double ms = 0;              // a frame time
    std::string text;           // the renderer
};
ReportLine ParseReportLine(const std::string &line);

} // namespace capture
