// capture: the demo rendered offscreen at a fixed frame rate, into PNG
// shots, a video file and frame-time figures.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tools/capture/capture_options.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/md5.h"
#include "tools/capture/png_write.h"
#include "tools/capture/progress.h"
#include "tools/capture/session.h"
#include "tools/capture/video.h"

using namespace capture;

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

} // namespace

int main(int argc, char **argv)
{
    // A dying encoder must show up as a write error, not kill us silently.
    signal(SIGPIPE, SIG_IGN);
    setvbuf(stdout, nullptr, _IOLBF, 0);

    CaptureOptions opt;
    std::string err;
    if (!ParseCaptureArgs(argc, argv, &opt, &err)) {
        fprintf(stderr, "capture: %s\n%s", err.c_str(), CaptureUsage());
        return 2;
    }
    if (opt.help) {
        fputs(CaptureUsage(), stdout);
        return 0;
    }
    if (!opt.video.empty() && !VideoNameUsable(opt.video))
        return Fail("-video FILE must end in .mp4, .mkv or .mov: " + opt.video);
    if (!opt.video.empty() && !FfmpegAvailable())
        return Fail("-video needs ffmpeg (with libx264) on the PATH");
    if ((!opt.shots.empty() || opt.bench) && !MakeFolder(opt.out_dir, &err))
        return Fail(err);

    SessionConfig config;
    config.fps = opt.fps;
    config.debug = opt.debug;
    config.window = opt.window;
    config.keep_pictures = !opt.shots.empty() || !opt.video.empty() || !opt.hashes.empty();
    config.finish_each_frame = opt.bench;
    if (!Session_Open(config, &err))
        return Fail(err);

    std::unique_ptr<VideoWriter> video;
    if (!opt.video.empty()) {
        video.reset(new VideoWriter);
        if (!video->Open(opt.video, opt.fps, &err))
            return Fail(err);
    }
    // Written under a temporary name, so that a failed run leaves no
    // half-written file under the one asked for.
    const std::string hashes_part = opt.hashes + ".part";
    FILE *hashes = nullptr;
    if (!opt.hashes.empty() && !(hashes = fopen(hashes_part.c_str(), "w")))
        return Fail("cannot write " + hashes_part + ": " + strerror(errno));
    std::unique_ptr<Progress> progress;
    if (video)
        progress.reset(new Progress(Session_EstimatedFrames(), stderr));

    // Without a video or a benchmark nothing after the last shot is wanted.
    const bool stop_after_shots = !opt.shots.empty() && !video && !opt.bench;
    FrameTimes times;
    size_t next_shot = 0;
    int64_t frames = 0, audio_frame = -1;
    auto wall0 = std::chrono::steady_clock::now();
    FrameInfo f;
    while (Session_Step(&f)) {
        frames++;
        if (opt.bench && !f.held)
            times.Add(f.entry, f.render_ms);
        // The opening's setup starts the music on the frame entry 1 becomes current.
        if (audio_frame < 0 && !f.held && f.entry == 1)
            audio_frame = f.index;
        while (next_shot < opt.shots.size() && f.demo_time >= opt.shots[next_shot].at) {
            const Shot &shot = opt.shots[next_shot++];
            std::string path = (std::filesystem::path(opt.out_dir) / ShotFileName(shot.ms)).string();
            if (!WritePNG(path, Session_Picture().data(), kWidth, kHeight, &err))
                return Fail(err);
            printf("capture: %s: frame %lld, demo time %+.3f, entry %d%s\n", path.c_str(), (long long)f.index,
                   f.demo_time, f.entry, f.held ? ", held after the end" : "");
        }
        if (hashes) {
            const std::vector<uint8_t> &rgb = Session_Picture();
            fprintf(hashes, "%lld %+.3f %s\n", (long long)f.index, f.demo_time,
                    Md5Hex(rgb.data(), rgb.size()).c_str());
        }
        if (video && !video->Write(Session_Picture().data(), &err))
            return Fail(err);
        if (progress)
            progress->Update(frames);
        if (stop_after_shots && next_shot == opt.shots.size())
            break;
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    if (progress)
        progress->Finish(frames);
    const std::string renderer = Session_Renderer();
    Session_Close();

    int status = 0;
    if (hashes) {
        bool written = fclose(hashes) == 0;
        if (!written || rename(hashes_part.c_str(), opt.hashes.c_str()) != 0) {
            remove(hashes_part.c_str());
            return Fail("cannot write " + opt.hashes);
        }
    }
    for (size_t i = next_shot; i < opt.shots.size(); i++) {
        fprintf(stderr, "capture: no frame at demo time %.3f: the run ended at %+.3f\n", opt.shots[i].at,
                f.demo_time);
        status = 1;
    }
    if (video) {
        int64_t delay_ms = audio_frame < 0 ? -1 : audio_frame * 1000 / opt.fps;
        if (!video->Finish(kSoundtrack, delay_ms, &err))
            return Fail(err);
        printf("capture: wrote %s (%lld frames at %d fps)\n", opt.video.c_str(), (long long)frames, opt.fps);
    }
    if (opt.bench) {
        std::vector<EntryStats> rows = times.PerEntry();
        EntryStats total = times.Total();
        fputs(BenchTable(rows, total).c_str(), stdout);
        std::string path = (std::filesystem::path(opt.out_dir) / "bench.json").string();
        if (!WriteText(path, BenchJson(rows, total, opt.fps, renderer), &err))
            return Fail(err);
    }
    double run_s = (double)frames / opt.fps;
    printf("capture: %lld frames, %.2f s of run at %d fps in %.2f s: %.2f times real time (%s)\n", (long long)frames,
           run_s, opt.fps, wall, wall > 0 ? run_s / wall : 0.0, renderer.c_str());
    return status;
}
