// Video files through ffmpeg: raw frames down a pipe into a picture stream
// (H.264, or FFV1 for a lossless master), then one or more such streams
// joined, without re-encoding, with the soundtrack muxed in at the moment
// the demo starts it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace capture {

// True when an ffmpeg that runs is on the PATH.
bool FfmpegAvailable();
// True for the containers a video is written in: .mp4, .mkv, .mov; a span's
// picture stream may also be .nut.
bool VideoNameUsable(const std::string &file, bool span);
// True when the name ends in suffix (".mkv"), whatever its case.
bool NameEndsWith(const std::string &file, const char *suffix);

class PictureEncoder {
public:
    PictureEncoder() = default;
    PictureEncoder(const PictureEncoder &) = delete;
    PictureEncoder &operator=(const PictureEncoder &) = delete;
    // An unfinished encoder is stopped and its partial file removed.
    ~PictureEncoder();

    // Starts encoding width x height RGB frames at fps frames a second into
    // file (its container from its name), written under a temporary name.
    bool Open(const std::string &file, int fps, int width, int height, bool lossless, std::string *err);
    // One frame, RGB, top row first.
    bool Write(const uint8_t *rgb, std::string *err);
    // Ends the stream; the file then stands under its own name.
    bool Close(std::string *err);
    int64_t frames() const { return frames_; }

private:
    void Abort();
    std::string file_, part_;
    size_t frame_bytes_ = 0;
    int64_t frames_ = 0;
    int pipe_ = -1;
    pid_t pid_ = -1;
};

// A picture stream written by PictureEncoder and how many frames it holds.
struct PicturePiece {
    std::string file;
    int64_t frames;
};

// Joins picture streams (in order, all encoded alike, at fps frames a
// second) into file, copying the pictures. With a soundtrack file and
// audio_delay_ms >= 0 the sound starts that late and is cut at the pictures'
// end; otherwise the video has no sound. The file appears whole or not at all.
bool MuxVideo(const std::vector<PicturePiece> &pieces, int fps, const std::string &file, bool lossless,
              const std::string &soundtrack, int64_t audio_delay_ms, std::string *err);

} // namespace capture
