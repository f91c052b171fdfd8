// The capture loop: frames from the session into shots, hashes, a picture
// stream and frame times; for a worker, only those of its span.
#include "tools/capture/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tools/capture/frame_stats.h"
#include "tools/capture/md5.h"
#include "tools/capture/png_write.h"
#include "tools/capture/progress.h"
#include "tools/capture/session.h"
#include "tools/capture/video.h"

namespace capture {

namespace {

const char *const kSoundtrack = "brass_tide.mp3";

int Fail(const std::string &message)
{
    fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

bool MakeFolder(const std::string &dir, std::string *err)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        *err = "cannot make the folder " + dir + (ec ? ": " + ec.message() : "");
        return false;
    }
    return true;
}

bool WriteText(const std::string &path, const std::string &text, std::string *err)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        *err = "cannot write " + path;
        return false;
    }
    return true;
}

// Standard output sent to /dev/null for a while: the lines the demo prints
// while frames are only played belong to whoever draws those frames.
class Mute {
public:
    void On()
    {
        if (saved_ >= 0)
            return;
        fflush(stdout);
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        saved_ = fcntl(1, F_DUPFD_CLOEXEC, 10);
        if (null < 0 || saved_ < 0 || dup2(null, 1) < 0) {
            if (saved_ >= 0)
                close(saved_);
            saved_ = -1;
        }
        if (null >= 0)
            close(null);
    }
    void Off()
    {
        if (saved_ < 0)
            return;
        fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        saved_ = -1;
    }
    ~Mute() { Off(); }

private:
    int saved_ = -1;
};

// A worker's lines to its parent; nothing when there is no parent.
class Report {
public:
    explicit Report(int fd) : fd_(fd) {}
    bool active() const { return fd_ >= 0; }
    void Send(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (fd_ < 0)
            return;
        char line[512];
        va_list args;
        va_start(args, format);
        int n = vsnprintf(line, sizeof line, format, args);
        va_end(args);
        if (n <= 0)
            return;
        size_t left = std::min((size_t)n, sizeof line - 1);
        // A parent that has gone away is noticed when it does not collect us.
        for (const char *p = line; left > 0;) {
            ssize_t w = write(fd_, p, left);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                break;
            p += w;
            left -= (size_t)w;
        }
    }

private:
    int fd_;
};

// A text file written under NAME.part and renamed into place by Commit; an
// uncommitted one is removed, so a failed run leaves nothing behind.
class PartFile {
public:
    bool Open(const std::string &name)
    {
        name_ = name;
        file_ = fopen((name + ".part").c_str(), "w");
        return file_ != nullptr;
    }
    FILE *get() const { return file_; }
    bool Commit()
    {
        bool ok = fclose(file_) == 0;
        file_ = nullptr;
        ok = ok && rename((name_ + ".part").c_str(), name_.c_str()) == 0;
        if (!ok)
            remove((name_ + ".part").c_str());
        return ok;
    }
    ~PartFile()
    {
        if (file_) {
            fclose(file_);
            remove((name_ + ".part").c_str());
        }
    }

private:
    std::string name_;
    FILE *file_ = nullptr;
};

} // namespace

ReportLine ParseReportLine(const std::string &line)
{
    ReportLine r;
    char word[16] = {0};
    int used = 0;
    if (sscanf(line.c_str(), "%15s %n", word, &used) != 1)
        return r;
    const char *rest = line.c_str() + used;
    std::string w = word;
    if (w == "renderer") {
        r.kind = REPORT_RENDERER;
        r.text = rest;
        while (!r.text.empty() && r.text.back() == '\n')
            r.text.pop_back();
    } else if (w == "done") {
        r.kind = REPORT_DONE;
    } else if (w == "time" && sscanf(rest, "%lld %lf", &r.number, &r.ms) == 2) {
        r.kind = REPORT_TIME;
    } else if ((w == "progress" || w == "music") && sscanf(rest, "%lld", &r.number) == 1) {
        r.kind = w == "progress" ? REPORT_PROGRESS : REPORT_MUSIC;
    }
    return r;
}

bool VideoUsable(const CaptureOptions &opt, std::string *err)
{
    if (opt.video.empty())
        return true;
    if (!VideoNameUsable(opt.video, opt.span))
        *err = "-video FILE must end in .mp4, .mkv or .mov" + std::string(opt.span ? " (or .nut)" : "") + ": " +
               opt.video;
    else if (opt.lossless && !opt.span && !NameEndsWith(opt.video, ".mkv"))
        *err = "-lossless writes a Matroska master: -video FILE must end in .mkv, not " + opt.video;
    else if (!FfmpegAvailable())
        *err = "-video needs ffmpeg (with libx264) on the PATH";
    else
        return true;
    return false;
}

int RunCapture(const CaptureOptions &opt)
{
    std::string err;
    Report report(opt.report_fd);
    if (!VideoUsable(opt, &err))
        return Fail(err);
    if ((!opt.shots.empty() || opt.bench) && !MakeFolder(opt.out_dir, &err))
        return Fail(err);

    const int64_t first = opt.span ? opt.span_first : 0;
    // A worker's parent has printed the start-up lines already.
    Mute mute;
    if (report.active() || first > 0)
        mute.On();
    SessionConfig config;
    config.fps = opt.fps;
    config.debug = opt.debug;
    config.window = opt.window;
    config.keep_pictures = !opt.shots.empty() || !opt.video.empty() || !opt.hashes.empty();
    config.finish_each_frame = opt.bench;
    config.scale = opt.scale;
    config.software = opt.software;
    config.first_frame = first;
    if (!Session_Open(config, &err)) {
        mute.Off();
        return Fail(err);
    }
    const int64_t total = Session_PlannedFrames();
    if (first >= total) {
        mute.Off();
        fprintf(stderr, "capture: -span %lld %lld starts past the end of the run: it has %lld frames (0 to %lld)\n",
                (long long)opt.span_first, (long long)opt.span_end, (long long)total, (long long)total - 1);
        return 2;
    }
    const int64_t end = opt.span ? std::min(opt.span_end, total) : total;
    const int width = Session_Width(), height = Session_Height();
    report.Send("renderer %s\n", Session_Renderer().c_str());

    // The whole run's pictures wait for the music's moment in a file of
    // their own; a span's are the file asked for.
    const std::string pictures = opt.span ? opt.video : opt.video + ".pictures.nut";
    std::unique_ptr<PictureEncoder> video;
    if (!opt.video.empty()) {
        video.reset(new PictureEncoder);
        if (!video->Open(pictures, opt.fps, width, height, opt.lossless, &err))
            return Fail(err);
    }
    PartFile hash_file;
    if (!opt.hashes.empty() && !hash_file.Open(opt.hashes))
        return Fail("cannot write " + opt.hashes + ".part: " + strerror(errno));
    FILE *const hashes = hash_file.get();
    std::unique_ptr<Progress> progress;
    if (!report.active() && (video || hashes))
        progress.reset(new Progress(end - first, stderr));

    // Without a video, hashes or a benchmark nothing after the last shot is wanted.
    const bool stop_after_shots = !opt.shots.empty() && !video && !hashes && !opt.bench;
    FrameTimes times;
    size_t next_shot = 0;
    int64_t played = 0, drawn = 0, audio_frame = -1;
    auto wall0 = std::chrono::steady_clock::now();
    FrameInfo f;
    for (; played < end; played++) {
        if (played == first)
            mute.Off();
        if (!Session_Step(&f))
            break;
        // The opening's setup starts the music on the frame entry 1 becomes current.
        if (audio_frame < 0 && !f.held && f.entry == 1) {
            audio_frame = f.index;
            report.Send("music %lld\n", (long long)audio_frame);
        }
        while (next_shot < opt.shots.size() && f.demo_time >= opt.shots[next_shot].at) {
            const Shot &shot = opt.shots[next_shot++];
            if (f.skipped)
                continue;                       // an earlier span's
            std::string path = (std::filesystem::path(opt.out_dir) / ShotFileName(shot.ms)).string();
            if (!WritePNG(path, Session_Picture().data(), width, height, &err))
                return Fail(err);
            printf("capture: %s: frame %lld, demo time %+.3f, entry %d%s\n", path.c_str(), (long long)f.index,
                   f.demo_time, f.entry, f.held ? ", held after the end" : "");
        }
        if (f.skipped)
            continue;
        drawn++;
        if (opt.bench && !f.held) {
            times.Add(f.entry, f.render_ms);
            report.Send("time %d %.4f\n", f.entry, f.render_ms);
        }
        if (hashes) {
            const std::vector<uint8_t> &rgb = Session_Picture();
            fprintf(hashes, "%lld %+.3f %s\n", (long long)f.index, f.demo_time,
                    Md5Hex(rgb.data(), rgb.size()).c_str());
        }
        if (video && !video->Write(Session_Picture().data(), &err))
            return Fail(err);
        if (progress)
            progress->Update(drawn);
        report.Send("progress %lld\n", (long long)drawn);
        if (stop_after_shots && next_shot == opt.shots.size())
            break;
    }
    mute.Off();
    played = f.index + 1;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    if (progress)
        progress->Finish(drawn);
    const std::string renderer = Session_Renderer();
    Session_Close();

    int status = 0;
    // Shots past the run's end are the last span's to report.
    if (end == total)
        for (size_t i = next_shot; i < opt.shots.size(); i++) {
            fprintf(stderr, "capture: no frame at demo time %.3f: the run ended at %+.3f\n", opt.shots[i].at,
                    f.demo_time);
            status = 1;
        }
    if (hashes && !hash_file.Commit())
        return Fail("cannot write " + opt.hashes);
    if (video) {
        if (!video->Close(&err))
            return Fail(err);
        if (!opt.span) {
            int64_t delay_ms = audio_frame < 0 ? -1 : audio_frame * 1000 / opt.fps;
            bool muxed = MuxVideo({{pictures, drawn}}, opt.fps, opt.video, opt.lossless, kSoundtrack, delay_ms, &err);
            remove(pictures.c_str());
            if (!muxed)
                return Fail(err);
            printf("capture: wrote %s (%lld frames at %d fps)\n", opt.video.c_str(), (long long)drawn, opt.fps);
        }
    }
    if (opt.bench && !report.active()) {
        std::vector<EntryStats> rows = times.PerEntry();
        EntryStats total_stats = times.Total();
        printf("renderer: %s\n", renderer.c_str());
        fputs(BenchTable(rows, total_stats).c_str(), stdout);
        std::string path = (std::filesystem::path(opt.out_dir) / "bench.json").string();
        if (!WriteText(path, BenchJson(rows, total_stats, opt.fps, renderer), &err))
            return Fail(err);
    }
    if (report.active()) {
        report.Send("done\n");
        return status;
    }
    double run_s = (double)played / opt.fps;
    if (opt.span) {
        printf("capture: frames %lld to %lld of %lld drawn in %.2f s (%s)\n", (long long)first,
               (long long)(first + drawn - 1), (long long)total, wall, renderer.c_str());
        if (audio_frame >= 0)
            printf("capture: the music starts at frame %lld (%lld ms)\n", (long long)audio_frame,
                   (long long)(audio_frame * 1000 / opt.fps));
        return status;
    }
    printf("capture: %lld frames, %.2f s of run at %d fps in %.2f s: %.2f times real time (%s)\n", (long long)played,
           run_s, opt.fps, wall, wall > 0 ? run_s / wall : 0.0, renderer.c_str());
    return status;
}

} // namespace capture
