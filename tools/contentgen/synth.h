// The synthesiser: renders the score's notes with drum, bass, pad, brass,
// trumpet, horn and bell voices, a plate-like reverb and a ping-pong delay,
// then masters the mix to a loudness target under a true-peak ceiling.
// Single-threaded with seeded noise, so the same score always gives the same
// samples.
#pragma once

#include <vector>

#include "tools/contentgen/score.h"

namespace content {

struct Audio {
    int rate = 44100;
    std::vector<float> left, right;
};

// The raw mix of the song, faded out as the score says.
Audio RenderSong(const Song &song, int rate);

struct MasterReport {
    double loudness;  // LUFS after mastering
    double true_peak; // dBTP after mastering
    double gain_db;   // gain applied before the limiter
};
// Sets the integrated loudness to target_lufs, holding true peaks at or
// below ceiling_dbtp with a look-ahead limiter.
MasterReport Master(Audio *audio, double target_lufs, double ceiling_dbtp);

} // namespace content
