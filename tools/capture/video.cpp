// ffmpeg as a child process. Two passes: the pictures are encoded while the
// demo renders, before anyone knows when the music will start; the second
// pass copies the picture stream and adds the delayed soundtrack.
#include "tools/capture/video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/capture/session.h"

extern char **environ;

namespace capture {

namespace {

// Starts args[0] from the PATH. stdin_fd becomes its standard input when not
// -1; with quiet its standard output goes to /dev/null.
bool Spawn(const std::vector<std::string> &args, int stdin_fd, bool quiet, pid_t *pid, std::string *err)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    int rc = posix_spawnp(pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *err = "cannot start " + args[0] + ": " + strerror(rc);
        return false;
    }
    return true;
}

// True when the child ended with status 0.
bool Wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool EndsWith(const std::string &s, const char *suffix)
{
    size_t n = strlen(suffix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; i++)
        if (tolower((unsigned char)s[s.size() - n + i]) != suffix[i])
            return false;
    return true;
}

bool FileExists(const std::string &path)
{
    return access(path.c_str(), R_OK) == 0;
}

} // namespace

bool FfmpegAvailable()
{
    pid_t pid;
    std::string err;
    return Spawn({"ffmpeg", "-hide_banner", "-version"}, -1, true, &pid, &err) && Wait(pid);
}

bool VideoNameUsable(const std::string &file)
{
    return EndsWith(file, ".mp4") || EndsWith(file, ".mkv") || EndsWith(file, ".mov");
}

VideoWriter::~VideoWriter()
{
    Abort();
}

void VideoWriter::Abort()
{
    if (pipe_ >= 0)
        close(pipe_);
    pipe_ = -1;
    if (pid_ > 0)
        Wait(pid_);
    pid_ = -1;
    if (!part_.empty())
        remove(part_.c_str());
    part_.clear();
}

bool VideoWriter::Open(const std::string &file, int fps, std::string *err)
{
    Abort();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *err = std::string("cannot make a pipe to ffmpeg: ") + strerror(errno);
        return false;
    }
    file_ = file;
    part_ = file + ".video.mkv";
    fps_ = fps;
    frames_ = 0;
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    // CRF 18 keeps the flat colours and thin lines of the scenes clean. The
    // encoder shares the processors with the software renderer: "veryfast"
    // keeps a capture close to real time at about the quality of "fast"
    // (46 against 48 dB next to a lossless encoding, and a smaller file).
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
                                     "-framerate", std::to_string(fps), "-i", "pipe:0",
                                     "-an", "-c:v", "libx264", "-preset", "veryfast", "-crf", "18",
                                     "-pix_fmt", "yuv420p", part_};
    bool started = Spawn(args, fds[0], false, &pid_, err);
    close(fds[0]);
    if (!started) {
        close(fds[1]);
        pid_ = -1;
        part_.clear();
        return false;
    }
    pipe_ = fds[1];
    return true;
}

bool VideoWriter::Write(const uint8_t *rgb, std::string *err)
{
    size_t left = (size_t)kWidth * kHeight * 3;
    while (left > 0) {
        ssize_t n = write(pipe_, rgb, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *err = "ffmpeg stopped taking frames (" + std::string(strerror(errno)) + "); see its message above";
            Abort();
            return false;
        }
        rgb += n;
        left -= (size_t)n;
    }
    frames_++;
    return true;
}

bool VideoWriter::Finish(const std::string &soundtrack, int64_t audio_delay_ms, std::string *err)
{
    if (pipe_ < 0) {
        *err = "no video is being written";
        return false;
    }
    close(pipe_);
    pipe_ = -1;
    bool encoded = Wait(pid_);
    pid_ = -1;
    if (!encoded) {
        *err = "ffmpeg could not encode the pictures; see its message above";
        Abort();
        return false;
    }
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", part_};
    bool sound = audio_delay_ms >= 0 && FileExists(soundtrack);
    if (sound) {
        std::string delay = std::to_string(audio_delay_ms);
        char length[32];
        snprintf(length, sizeof length, "%.6f", (double)frames_ / fps_);
        // Padded with silence and cut at the pictures' end: the sound stops
        // when the demo does, as the player stops it at shutdown.
        args.insert(args.end(), {"-i", soundtrack, "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy",
                                 "-af", "adelay=delays=" + delay + ":all=1,apad", "-c:a", "aac", "-b:a", "192k",
                                 "-t", length});
    } else {
        args.insert(args.end(), {"-map", "0:v:0", "-c:v", "copy"});
    }
    if (EndsWith(file_, ".mp4") || EndsWith(file_, ".mov"))
        args.insert(args.end(), {"-movflags", "+faststart"});
    args.push_back(file_);
    pid_t pid;
    if (!Spawn(args, -1, false, &pid, err)) {
        Abort();
        return false;
    }
    bool muxed = Wait(pid);
    Abort();
    if (!muxed) {
        *err = "ffmpeg could not write " + file_ + "; see its message above";
        return false;
    }
    return true;
}

} // namespace capture
