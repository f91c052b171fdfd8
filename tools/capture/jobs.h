// A capture split over worker processes: each renders one contiguous span
// of the run (the capture tool started again with -span), the parent shows
// one progress bar and joins the pieces into the files asked for.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "tools/capture/capture_options.h"

namespace capture {

// Worker processes for a run when -jobs is not given: one per processor
// this process may use; one for -bench (its frame times are one process's)
// and for shots alone (the run stops after the last shot).
int DefaultJobs(const CaptureOptions &opt);

// Splits frames 0..total-1 into at most jobs contiguous spans [first, end)
// that should take about as long: a worker first plays every frame before
// its span without drawing it, at about skip_cost of a drawn frame's cost,
// so later spans are shorter.
std::vector<std::pair<int64_t, int64_t>> SplitSpans(int64_t total, int jobs, double skip_cost);

// The rasteriser threads each worker gets when the user has not chosen:
// Mesa's software rasteriser on the calling thread ("0") when the workers
// already fill the processors, otherwise the processors left per worker.
int WorkerRasteriserThreads(int cpus, int jobs);

// Runs the capture with jobs workers and returns the exit status.
int RunJobs(const CaptureOptions &opt, int jobs);

} // namespace capture
