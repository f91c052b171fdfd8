// ffmpeg as a child process. The pictures are encoded while the demo renders,
// before anyone knows when the music will start (and, with several workers,
// in pieces); a last pass copies the pictures and adds the delayed soundtrack.
#include "tools/capture/video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

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

bool FileExists(const std::string &path)
{
    return access(path.c_str(), R_OK) == 0;
}

// ffmpeg's name for the container of a file name; files are written under a
// temporary name, so the container cannot come from the name itself.
const char *Container(const std::string &file)
{
    if (NameEndsWith(file, ".mp4"))
        return "mp4";
    if (NameEndsWith(file, ".mov"))
        return "mov";
    if (NameEndsWith(file, ".nut"))
        return "nut";
    return "matroska";
}

// A piece in the concat demuxer's list: its name quoted as the list reads
// names, and its exact length. Without the length the demuxer places each
// piece after the previous one's last time stamp, which the encoder's
// reordering delay puts a frame early, and a frame-long gap opens.
std::string ConcatLines(const PicturePiece &piece, int fps)
{
    std::string out = "file '";
    for (char c : piece.file)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    char duration[64];
    snprintf(duration, sizeof duration, "'\nduration %.6f\n", (double)piece.frames / fps);
    return out + duration;
}

} // namespace

bool NameEndsWith(const std::string &s, const char *suffix)
{
    size_t n = strlen(suffix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; i++)
        if (tolower((unsigned char)s[s.size() - n + i]) != suffix[i])
            return false;
    return true;
}

bool FfmpegAvailable()
{
    pid_t pid;
    std::string err;
    return Spawn({"ffmpeg", "-hide_banner", "-version"}, -1, true, &pid, &err) && Wait(pid);
}

bool VideoNameUsable(const std::string &file, bool span)
{
    return NameEndsWith(file, ".mp4") || NameEndsWith(file, ".mkv") || NameEndsWith(file, ".mov") ||
           (span && NameEndsWith(file, ".nut"));
}

PictureEncoder::~PictureEncoder()
{
    Abort();
}

void PictureEncoder::Abort()
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

bool PictureEncoder::Open(const std::string &file, int fps, int width, int height, bool lossless,
                          std::string *err)
{
    Abort();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *err = std::string("cannot make a pipe to ffmpeg: ") + strerror(errno);
        return false;
    }
    file_ = file;
    part_ = file + ".part";
    frame_bytes_ = (size_t)width * height * 3;
    frames_ = 0;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
                                     "-framerate", std::to_string(fps), "-i", "pipe:0", "-an"};
    if (lossless) {
        // FFV1 on planar RGB keeps every pixel; every frame is a key frame,
        // so pieces join anywhere and any frame can be cut out exactly.
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-slicecrc", "1",
                                 "-pix_fmt", "gbrp"});
    } else {
        // CRF 18 keeps the flat colours and thin lines of the scenes clean. The
        // encoder shares the processors with the software renderer: "veryfast"
        // keeps a capture close to real time at about the quality of "fast"
        // (46 against 48 dB next to a lossless encoding, and a smaller file).
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p"});
    }
    args.insert(args.end(), {"-f", Container(file), part_});
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

bool PictureEncoder::Write(const uint8_t *rgb, std::string *err)
{
    size_t left = frame_bytes_;
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

bool PictureEncoder::Close(std::string *err)
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
    if (rename(part_.c_str(), file_.c_str()) != 0) {
        *err = "cannot rename " + part_ + " to " + file_ + ": " + strerror(errno);
        Abort();
        return false;
    }
    part_.clear();
    return true;
}

bool MuxVideo(const std::vector<PicturePiece> &pieces, int fps, const std::string &file, bool lossless,
              const std::string &soundtrack, int64_t audio_delay_ms, std::string *err)
{
    int64_t frames = 0;
    for (const auto &p : pieces)
        frames += p.frames;
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    const std::string list = file + ".pieces.txt";
    if (pieces.size() == 1) {
        args.insert(args.end(), {"-i", pieces[0].file});
    } else {
        std::ofstream out(list, std::ios::binary);
        out << "ffconcat version 1.0\n";
        for (const auto &p : pieces)
            out << ConcatLines(p, fps);
        out.close();
        if (!out) {
            *err = "cannot write " + list;
            return false;
        }
        args.insert(args.end(), {"-f", "concat", "-safe", "0", "-i", list});
    }
    bool sound = audio_delay_ms >= 0 && FileExists(soundtrack);
    if (sound) {
        std::string delay = std::to_string(audio_delay_ms);
        char length[32];
        snprintf(length, sizeof length, "%.6f", (double)frames / fps);
        // Padded with silence and cut at the pictures' end: the sound stops
        // when the demo does, as the player stops it at shutdown.
        args.insert(args.end(), {"-i", soundtrack, "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy",
                                 "-af", "adelay=delays=" + delay + ":all=1,apad", "-t", length});
        if (lossless)
            args.insert(args.end(), {"-c:a", "flac"});
        else
            args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    } else {
        args.insert(args.end(), {"-map", "0:v:0", "-c:v", "copy"});
    }
    if (NameEndsWith(file, ".mp4") || NameEndsWith(file, ".mov"))
        args.insert(args.end(), {"-movflags", "+faststart"});
    const std::string part = file + ".part";
    args.insert(args.end(), {"-f", Container(file), part});
    pid_t pid;
    bool started = Spawn(args, -1, false, &pid, err);
    bool muxed = started && Wait(pid);
    if (pieces.size() > 1)
        remove(list.c_str());
    if (muxed && rename(part.c_str(), file.c_str()) == 0)
        return true;
    remove(part.c_str());
    if (started)
        *err = "ffmpeg could not write " + file + "; see its message above";
    return false;
}

} // namespace capture
