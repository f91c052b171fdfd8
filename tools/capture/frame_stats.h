// Frame times per timeline entry, for -bench.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace capture {

struct EntryStats {
    int entry = -1;             // -1: all frames together
    size_t frames = 0;
    double mean_ms = 0, median_ms = 0, p99_ms = 0, worst_ms = 0;
};

// Mean, median (mean of the two middle values for an even count), 99th
// percentile (nearest rank) and worst of a set of frame times.
EntryStats Summarise(int entry, std::vector<double> ms);

class FrameTimes {
public:
    void Add(int entry, double ms);
    // One row per entry that drew frames, in entry order.
    std::vector<EntryStats> PerEntry() const;
    EntryStats Total() const;

private:
    std::map<int, std::vector<double>> by_entry_;
    std::vector<double> all_;
};

// The table printed on standard output.
std::string BenchTable(const std::vector<EntryStats> &rows, const EntryStats &total);
// bench.json: the same numbers with the run's frame rate and GL renderer.
std::string BenchJson(const std::vector<EntryStats> &rows, const EntryStats &total, int fps,
                      const std::string &renderer);

} // namespace capture
