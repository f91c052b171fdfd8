// capture: the demo rendered offscreen at a fixed frame rate, into PNG
// shots, frame hashes, a video file and frame-time figures; in one process
// or split over worker processes that each render one span of the run.
#include <csignal>
#include <cstdio>
#include <string>

#include "tools/capture/capture_options.h"
#include "tools/capture/jobs.h"
#include "tools/capture/run.h"

using namespace capture;

int main(int argc, char **argv)
{
    // A dying encoder or worker must show up as a write error, not kill us silently.
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);

    CaptureOptions opt;
    std::string err;
    if (!ParseCaptureArgs(argc, argv, &opt, &err)) {
        fprintf(stderr, "capture: %s (capture -h lists the options)\n", err.c_str());
        return 2;
    }
    if (opt.help) {
        fputs(CaptureUsage(), stdout);
        return 0;
    }
    int jobs = opt.jobs ? opt.jobs : DefaultJobs(opt);
    // A worker renders its own span; it never splits it again.
    if (jobs <= 1 || opt.report_fd >= 0)
        return RunCapture(opt);
    return RunJobs(opt, jobs);
}
