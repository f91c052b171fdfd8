// Video files through ffmpeg: raw frames down a pipe into an H.264 stream,
// then the soundtrack muxed in at the moment the demo starts it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace capture {

// True when an ffmpeg that runs is on the PATH.
bool FfmpegAvailable();
// True for the containers the video is written in: .mp4, .mkv, .mov.
bool VideoNameUsable(const std::string &file);

class VideoWriter {
public:
    VideoWriter() = default;
    VideoWriter(const VideoWriter &) = delete;
    VideoWriter &operator=(const VideoWriter &) = delete;
    // An unfinished writer stops its encoder and removes its partial file.
    ~VideoWriter();

    // Starts the encoder for 640x480 RGB frames at fps frames a second.
    bool Open(const std::string &file, int fps, std::string *err);
    // One frame, RGB, top row first.
    bool Write(const uint8_t *rgb, std::string *err);
    // Ends the picture stream and writes the file. With a soundtrack file and
    // audio_delay_ms >= 0 the sound starts that late and is cut at the
    // picture's end; otherwise the video has no sound.
    bool Finish(const std::string &soundtrack, int64_t audio_delay_ms, std::string *err);

private:
    void Abort();
    std::string file_, part_;
    int fps_ = 0;
    int64_t frames_ = 0;
    int pipe_ = -1;
    pid_t pid_ = -1;
};

} // namespace capture
