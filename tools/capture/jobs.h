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

// Splits frames 0..n-1 into at most jobs contiguous spans [first, end) that
// should take about as long, given what drawing each frame costs and what
// playing it without drawing costs: a worker first plays every frame before
// its span. The longest span's cost is made as small as it can be.
std::vector<std::pair<int64_t, int64_t>> SplitSpans(const std::vector<double> &draw_cost,
                                                    const std::vector<double> &skip_cost, int jobs);

// What each of a run's frames costs to draw and to play without drawing, in
// milliseconds of Mesa's software rasteriser on its calling thread, from the
// entry each frame shows (-1: a held frame). With uniform, every frame alike
// (a GPU, whose costs are its own).
void FrameCosts(const std::vector<int16_t> &entries, int64_t total, bool uniform, std::vector<double> *draw,
                std::vector<double> *skip);

// The rasteriser threads each worker gets when the user has not chosen:
// Mesa's software rasteriser on the calling thread ("0") when the workers
// already fill the processors, otherwise the processors left per worker.
int WorkerRasteriserThreads(int cpus, int jobs);

// Runs the capture with jobs workers and returns the exit status.
int RunJobs(const CaptureOptions &opt, int jobs);

} // namespace capture
