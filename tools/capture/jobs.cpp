// The parent of a split capture: plan, start the workers, follow them,
// join what they wrote.
#include "tools/capture/jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/core.h"
#include "tools/capture/frame_stats.h"
#include "tools/capture/progress.h"
#include "tools/capture/run.h"
#include "tools/capture/session.h"
#include "tools/capture/video.h"

extern char **environ;

namespace capture {

namespace {

const char *const kSoundtrack = "brass_tide.mp3";
// Frame costs per timeline entry: mean milliseconds to draw a frame and to
// play it without drawing, with Mesa's software rasteriser on the calling
// thread (LP_NUM_THREADS=0), from `capture -bench` of the whole demo and of
// a span at its end. They only steer how evenly the workers finish, never a
// frame; remeasure when a scene changes much.
const double kEntryDrawMs[TL_ENTRIES] = {
    5.04,  24.32, 23.63, 1.18,  44.16, 54.03, 51.67, 57.73, 1.07,  1.60,  1.54,  8.77,  9.46,  21.58,
    1.27,  1.28,  64.35, 46.87, 45.46, 44.52, 52.81, 1.50,  14.18, 18.65, 18.53, 19.39, 9.77,  1.04,
    24.16, 61.22, 56.71, 45.04, 50.65, 69.61, 44.49, 19.65, 3.10,  8.31,  15.62, 7.39,  2.63,  2.26};
const double kEntrySkipMs[TL_ENTRIES] = {
    2.15, 3.97,  1.86,  0.01,  4.65,  5.62,  5.98,  5.57,  0.01,  0.01,  0.03, 0.77, 0.90, 1.76,
    0.01, 0.01,  12.10, 11.73, 16.13, 16.55, 15.74, 0.09,  0.74,  0.80,  0.86, 0.72, 0.71, 0.01,
    1.89, 13.95, 16.92, 13.47, 12.50, 11.48, 10.02, 2.28,  0.85,  0.98,  1.89, 1.29, 1.23, 0.21};
// Reading a frame back and hashing or encoding it, on top of drawing it.
constexpr double kOutputMs = 3.0;
// Measured alone, skipping looks dearer than it is beside a drawing worker:
// in whole two-worker captures the worker that drew the early, fill-heavy
// frames took 9 to 12 % longer than the one that skipped them, which these
// figures put level. Skipping at 0.4 of its lone cost brings them together.
constexpr double kSkipWeight = 0.4;
// The worker's end of its report pipe.
constexpr int kReportFd = 3;

volatile sig_atomic_t stop_signal = 0;

void OnStopSignal(int sig)
{
    stop_signal = sig;
}

int Fail(const std::string &message)
{
    fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

int UsableProcessors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return (int)std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
}

struct Worker {
    int64_t first = 0, end = 0;
    std::string video, hashes;      // its pieces
    pid_t pid = -1;
    int report = -1, out = -1;      // read ends of its report and standard output
    std::string report_buf, stdout_text;
    int64_t drawn = 0;
    bool done = false;              // it said its span is complete
    bool exited = false;
    int status = 0;                 // waitpid's
    std::chrono::steady_clock::time_point started;
    double wall_s = 0;              // from its start to its end
};

std::string SpanName(const Worker &w)
{
    return "frames " + std::to_string(w.first) + " to " + std::to_string(w.end - 1);
}

std::string HowItEnded(int status)
{
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    return "ended oddly";
}

std::string Real(float v)
{
    char text[32];
    snprintf(text, sizeof text, "%.9g", (double)v);
    return text;
}

std::vector<std::string> WorkerArgs(const CaptureOptions &opt, const Worker &w)
{
    std::vector<std::string> a = {"capture", "-fps", std::to_string(opt.fps), "-scale", std::to_string(opt.scale),
                                  "-span", std::to_string(w.first), std::to_string(w.end),
                                  "-report-fd", std::to_string(kReportFd), "-out", opt.out_dir};
    if (opt.debug)
        a.insert(a.end(), {"-debug", opt.window.start, opt.window.end, opt.window.offset});
    for (const Shot &s : opt.shots)
        a.insert(a.end(), {"-shot", Real(s.at)});
    if (!w.video.empty())
        a.insert(a.end(), {"-video", w.video});
    if (opt.lossless)
        a.push_back("-lossless");
    if (!w.hashes.empty())
        a.insert(a.end(), {"-hashes", w.hashes});
    if (opt.bench)
        a.push_back("-bench");
    if (opt.software)
        a.push_back("-software");
    return a;
}

bool Start(const CaptureOptions &opt, Worker *w, std::string *err)
{
    int report[2], out[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        *err = std::string("cannot make a pipe to a worker: ") + strerror(errno);
        return false;
    }
    std::vector<std::string> args = WorkerArgs(opt, *w);
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(&s[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], kReportFd);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    w->started = std::chrono::steady_clock::now();
    int rc = posix_spawn(&w->pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(report[1]);
    close(out[1]);
    w->report = report[0];
    w->out = out[0];
    if (rc != 0) {
        w->pid = -1;
        *err = std::string("cannot start a worker: ") + strerror(rc);
        return false;
    }
    return true;
}

void Collect(Worker *w)
{
    while (waitpid(w->pid, &w->status, 0) < 0 && errno == EINTR) {
    }
    w->exited = true;
    w->wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - w->started).count();
}

bool Failed(const Worker &w)
{
    return w.exited && !(w.done && WIFEXITED(w.status) && WEXITSTATUS(w.status) <= 1);
}

// Reads what a pipe has; false at its end.
bool Drain(int fd, std::string *into)
{
    char buf[8192];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0)
        return false;
    into->append(buf, (size_t)n);
    return true;
}

} // namespace

int DefaultJobs(const CaptureOptions &opt)
{
    if (opt.bench || (opt.video.empty() && opt.hashes.empty()))
        return 1;
    return UsableProcessors();
}

std::vector<std::pair<int64_t, int64_t>> SplitSpans(const std::vector<double> &draw_cost,
                                                    const std::vector<double> &skip_cost, int jobs)
{
    const size_t n = std::min(draw_cost.size(), skip_cost.size());
    std::vector<double> drawn(n + 1, 0.0), skipped(n + 1, 0.0);   // prefix sums
    for (size_t i = 0; i < n; i++) {
        drawn[i + 1] = drawn[i] + std::max(draw_cost[i], 0.0);
        skipped[i + 1] = skipped[i] + std::max(skip_cost[i], 0.0);
    }
    // Each worker takes as many frames as fit in `limit`: the fewest spans
    // for it, and so whether `limit` can be kept with jobs workers at all.
    auto split = [&](double limit, std::vector<std::pair<int64_t, int64_t>> *spans) {
        spans->clear();
        size_t first = 0;
        while (first < n && (int)spans->size() < jobs) {
            // The largest end whose cost stays within the limit.
            size_t lo = first + 1, hi = n;
            while (lo < hi) {
                size_t mid = (lo + hi + 1) / 2;
                if (skipped[first] + drawn[mid] - drawn[first] <= limit)
                    lo = mid;
                else
                    hi = mid - 1;
            }
            if (skipped[first] + drawn[lo] - drawn[first] > limit)
                return false;
            spans->push_back({(int64_t)first, (int64_t)lo});
            first = lo;
        }
        return first == n;
    };
    std::vector<std::pair<int64_t, int64_t>> best, trial;
    double lo = 0, hi = skipped[n] + drawn[n] + 1.0;
    split(hi, &best);
    for (int i = 0; i < 60; i++) {
        double mid = (lo + hi) / 2;
        if (split(mid, &trial)) {
            hi = mid;
            best = trial;
        } else {
            lo = mid;
        }
    }
    return best;
}

void FrameCosts(const std::vector<int16_t> &entries, int64_t total, bool uniform, std::vector<double> *draw,
                std::vector<double> *skip)
{
    draw->assign((size_t)total, kOutputMs);
    skip->assign((size_t)total, 0.0);
    for (int64_t i = 0; i < total; i++) {
        int e = i < (int64_t)entries.size() ? entries[(size_t)i] : -1;
        if (uniform) {
            (*draw)[(size_t)i] = 1.0;
            (*skip)[(size_t)i] = e < 0 ? 0.0 : 0.15;
        } else if (e >= 0 && e < TL_ENTRIES) {
            (*draw)[(size_t)i] += kEntryDrawMs[e];
            (*skip)[(size_t)i] = kSkipWeight * kEntrySkipMs[e];
        }
    }
}

int WorkerRasteriserThreads(int cpus, int jobs)
{
    int each = cpus / std::max(jobs, 1);
    return each >= 2 ? each : 0;
}

int RunJobs(const CaptureOptions &opt, int jobs)
{
    std::string err;
    if (!VideoUsable(opt, &err))
        return Fail(err);

    // The plan: the run's exact length, from the same start-up the workers
    // make. Its lines (the -debug trace) are printed here, once.
    SessionConfig plan;
    plan.fps = opt.fps;
    plan.debug = opt.debug;
    plan.window = opt.window;
    plan.software = opt.software;
    if (!Session_Open(plan, &err))
        return Fail(err);
    const int64_t total = Session_PlannedFrames();
    std::vector<double> draw_cost, skip_cost;
    FrameCosts(Session_PlannedEntries(), total, Session_Renderer().find("EGL device") != std::string::npos,
               &draw_cost, &skip_cost);
    Session_Close();
    const int64_t first = opt.span ? opt.span_first : 0;
    if (first >= total) {
        fprintf(stderr, "capture: -span %lld %lld starts past the end of the run: it has %lld frames (0 to %lld)\n",
                (long long)opt.span_first, (long long)opt.span_end, (long long)total, (long long)total - 1);
        return 2;
    }
    const int64_t end = opt.span ? std::min(opt.span_end, total) : total;

    // The pieces lie beside the first file asked for, on the same disk.
    std::filesystem::path near = !opt.video.empty() ? opt.video : !opt.hashes.empty() ? opt.hashes : "./x";
    std::filesystem::path dir = near.parent_path().empty() ? "." : near.parent_path();
    std::string tmpl = (dir / ".capture-pieces-XXXXXX").string();
    if (!mkdtemp(&tmpl[0]))
        return Fail("cannot make a folder for the workers' pieces in " + dir.string() + ": " + strerror(errno));
    const std::filesystem::path pieces = tmpl;
    auto cleanup = [&]() {
        std::error_code ec;
        std::filesystem::remove_all(pieces, ec);
    };

    std::vector<Worker> workers;
    // Every worker also plays the frames before the first one asked for:
    // the same for all, so the split of what follows stays balanced.
    draw_cost = std::vector<double>(draw_cost.begin() + first, draw_cost.begin() + end);
    skip_cost = std::vector<double>(skip_cost.begin() + first, skip_cost.begin() + end);
    for (const auto &span : SplitSpans(draw_cost, skip_cost, jobs)) {
        Worker w;
        w.first = first + span.first;
        w.end = first + span.second;
        std::string n = std::to_string(workers.size());
        if (!opt.video.empty())
            w.video = (pieces / ("pictures-" + n + ".nut")).string();
        if (!opt.hashes.empty())
            w.hashes = (pieces / ("hashes-" + n + ".txt")).string();
        workers.push_back(w);
    }
    if (!getenv("LP_NUM_THREADS"))
        setenv("LP_NUM_THREADS", std::to_string(WorkerRasteriserThreads(UsableProcessors(), (int)workers.size())).c_str(),
               1);

    struct sigaction stop = {}, old_int = {}, old_term = {};
    stop.sa_handler = OnStopSignal;
    sigaction(SIGINT, &stop, &old_int);
    sigaction(SIGTERM, &stop, &old_term);
    auto stop_all = [&]() {
        for (auto &w : workers)
            if (w.pid > 0 && !w.exited) {
                kill(w.pid, SIGTERM);
                Collect(&w);
            }
    };

    auto wall0 = std::chrono::steady_clock::now();
    for (auto &w : workers)
        if (!Start(opt, &w, &err)) {
            stop_all();
            cleanup();
            return Fail(err);
        }
    std::unique_ptr<Progress> progress;
    if (!opt.video.empty() || !opt.hashes.empty())
        progress.reset(new Progress(end - first, stderr));

    FrameTimes times;
    int64_t audio_frame = -1;
    std::string renderer = "unknown";
    const Worker *failed = nullptr;
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Worker *, bool>> owner;   // worker, is its report
        for (auto &w : workers) {
            if (w.report >= 0) {
                fds.push_back({w.report, POLLIN, 0});
                owner.push_back({&w, true});
            }
            if (w.out >= 0) {
                fds.push_back({w.out, POLLIN, 0});
                owner.push_back({&w, false});
            }
        }
        if (fds.empty() || stop_signal)
            break;
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (size_t i = 0; i < fds.size(); i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Worker &w = *owner[i].first;
            int &fd = owner[i].second ? w.report : w.out;
            bool open = Drain(fd, owner[i].second ? &w.report_buf : &w.stdout_text);
            if (owner[i].second) {
                size_t at;
                while ((at = w.report_buf.find('\n')) != std::string::npos) {
                    ReportLine line = ParseReportLine(w.report_buf.substr(0, at + 1));
                    w.report_buf.erase(0, at + 1);
                    if (line.kind == REPORT_PROGRESS)
                        w.drawn = line.number;
                    else if (line.kind == REPORT_MUSIC && (audio_frame < 0 || line.number < audio_frame))
                        audio_frame = line.number;
                    else if (line.kind == REPORT_TIME)
                        times.Add((int)line.number, line.ms);
                    else if (line.kind == REPORT_RENDERER)
                        renderer = line.text;
                    else if (line.kind == REPORT_DONE)
                        w.done = true;
                }
            }
            if (!open) {
                close(fd);
                fd = -1;
            }
            if (w.report < 0 && w.out < 0 && !w.exited) {
                Collect(&w);
                if (Failed(w) && !failed)
                    failed = &w;
            }
        }
        if (progress) {
            int64_t drawn = 0;
            for (const auto &w : workers)
                drawn += w.drawn;
            progress->Update(drawn);
        }
        if (failed)
            break;
    }
    if (failed || stop_signal) {
        stop_all();
        cleanup();
        if (progress)
            fputc('\n', stderr);
        sigaction(SIGINT, &old_int, nullptr);
        sigaction(SIGTERM, &old_term, nullptr);
        if (stop_signal)
            return 128 + stop_signal;
        return Fail("the worker for " + SpanName(*failed) + " failed (" + HowItEnded(failed->status) +
                    "); nothing was written");
    }
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    int64_t drawn = 0;
    int status = 0;
    for (const auto &w : workers) {
        drawn += w.drawn;
        fputs(w.stdout_text.c_str(), stdout);
        if (WEXITSTATUS(w.status) != 0)
            status = 1;                     // shots past the end, said by the last worker
    }
    if (progress)
        progress->Finish(drawn);

    if (!opt.hashes.empty()) {
        const std::string part = opt.hashes + ".part";
        std::ofstream out(part, std::ios::binary);
        for (const auto &w : workers) {
            std::ifstream in(w.hashes, std::ios::binary);
            out << in.rdbuf();
        }
        out.close();
        if (!out || rename(part.c_str(), opt.hashes.c_str()) != 0) {
            remove(part.c_str());
            cleanup();
            return Fail("cannot write " + opt.hashes);
        }
    }
    if (!opt.video.empty()) {
        std::vector<PicturePiece> pictures;
        for (const auto &w : workers)
            pictures.push_back({w.video, w.drawn});
        // A span's pictures come without sound: the music belongs to the whole run.
        int64_t delay_ms = audio_frame < 0 || opt.span ? -1 : audio_frame * 1000 / opt.fps;
        if (!MuxVideo(pictures, opt.fps, opt.video, opt.lossless, kSoundtrack, delay_ms, &err)) {
            cleanup();
            return Fail(err);
        }
        printf("capture: wrote %s (%lld frames at %d fps)\n", opt.video.c_str(), (long long)drawn, opt.fps);
    }
    cleanup();
    if (opt.bench) {
        std::vector<EntryStats> rows = times.PerEntry();
        EntryStats all = times.Total();
        printf("renderer: %s\n", renderer.c_str());
        fputs(BenchTable(rows, all).c_str(), stdout);
        std::ofstream json(std::filesystem::path(opt.out_dir) / "bench.json", std::ios::binary);
        json << BenchJson(rows, all, opt.fps, renderer);
        if (!json)
            return Fail("cannot write " + (std::filesystem::path(opt.out_dir) / "bench.json").string());
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::string spans;
    for (const auto &w : workers) {
        char part[96];
        snprintf(part, sizeof part, "%s%lld-%lld in %.1f s", spans.empty() ? "" : ", ", (long long)w.first,
                 (long long)w.end - 1, w.wall_s);
        spans += part;
    }
    printf("capture: workers' frames: %s\n", spans.c_str());
    if (opt.span && audio_frame >= 0)
        printf("capture: the music starts at frame %lld (%lld ms)\n", (long long)audio_frame,
               (long long)(audio_frame * 1000 / opt.fps));
    double run_s = (double)drawn / opt.fps;
    printf("capture: %lld frames, %.2f s of run at %d fps in %.2f s: %.2f times real time (%s; %zu workers)\n",
           (long long)drawn, run_s, opt.fps, wall, wall > 0 ? run_s / wall : 0.0, renderer.c_str(),
           workers.size());
    return status;
}

} // namespace capture
