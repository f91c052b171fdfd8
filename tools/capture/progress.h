// The progress bar of long renders, on standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace capture {

class Progress {
public:
    // total: the frames expected (an estimate; the bar never passes 100%).
    Progress(int64_t total, FILE *out);
    // frames done so far; redraws at most a few times a second.
    void Update(int64_t frames);
    // Draws the final state and ends the line.
    void Finish(int64_t frames);

private:
    void Draw(int64_t frames);
    int64_t total_;
    FILE *out_;
    std::chrono::steady_clock::time_point start_, last_;
    bool drawn_ = false;
};

} // namespace capture
