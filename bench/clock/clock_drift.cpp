// clock_drift: runs the player in a window for a span of demo time and
// compares the demo clock with the wall clock, optionally while busy
// processes load every core the way a busy desktop would.
//
// The player's -debug trace prints the global demo time at every entry
// switch; each such line is stamped with the wall clock as it arrives. The
// drift is the wall time between the first and the last switch over the
// demo time between them, less one, in per cent: positive when the
// pictures fall behind real time (and so behind the soundtrack).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string player = "./player-linux";
    double span = 60;
    int offset = 4;
    int busy = 0;
    int runs = 1;
};

struct Run {
    int switches = 0;
    double demo_s = 0, wall_s = 0;
    double Drift() const { return (wall_s / demo_s - 1.0) * 100.0; }
};

void Usage(FILE *out)
{
    fprintf(out,
            "usage: clock_drift [-player PATH] [-span SECONDS] [-offset N] [-busy N] [-runs N]\n"
            "  Runs PATH -window -silent -debug 0 SPAN OFFSET (default ./player-linux, 60 s\n"
            "  from entry 4) and prints how far the demo clock drifts from the wall clock.\n"
            "  Run it in the folder that holds the player's data, on a display (without\n"
            "  one: xvfb-run -a clock_drift ...).\n"
            "  -busy N   N processes spinning on the processor meanwhile\n"
            "  -runs N   repeat N times and also print the median\n");
}

bool ParseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            exit(0);
        }
        if (i + 1 >= argc)
            return false;
        const char *value = argv[++i];
        char *end = nullptr;
        if (arg == "-player") {
            o->player = value;
            continue;
        }
        double v = strtod(value, &end);
        if (end == value || *end != '\0')
            return false;
        if (arg == "-span" && v > 0)
            o->span = v;
        else if (arg == "-offset" && v >= 0 && v <= 41)
            o->offset = (int)v;
        else if (arg == "-busy" && v >= 0 && v <= 64)
            o->busy = (int)v;
        else if (arg == "-runs" && v >= 1 && v <= 100)
            o->runs = (int)v;
        else
            return false;
    }
    return true;
}

std::vector<pid_t> StartBusy(int n)
{
    std::vector<pid_t> pids;
    for (int i = 0; i < n; i++) {
        pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (pid > 0)
            pids.push_back(pid);
    }
    return pids;
}

void StopBusy(const std::vector<pid_t> &pids)
{
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    for (pid_t pid : pids)
        waitpid(pid, nullptr, 0);
}

// A switch line is the demo time alone, as "%+.3f".
bool SwitchTime(const char *line, double *t)
{
    if (line[0] != '+' && line[0] != '-')
        return false;
    char *end = nullptr;
    *t = strtod(line, &end);
    return end != line && (*end == '\n' || *end == '\0');
}

// How the shell that popen started ended: its status, or the player's
// signal, which the shell passes on as 128 + the signal's number.
std::string ExitText(int status)
{
    char text[64];
    if (WIFSIGNALED(status))
        snprintf(text, sizeof text, "was killed by signal %d", WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) > 128)
        snprintf(text, sizeof text, "was killed by signal %d", WEXITSTATUS(status) - 128);
    else
        snprintf(text, sizeof text, "exited with status %d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return text;
}

bool PlayOnce(const Options &o, Run *run, std::string *err)
{
    char command[1024];
    snprintf(command, sizeof command, "'%s' -window -silent -debug 0 %.3f %d", o.player.c_str(), o.span, o.offset);
    FILE *trace = popen(command, "r");
    if (!trace) {
        *err = std::string("cannot start ") + command;
        return false;
    }
    char line[256];
    bool first = true;
    double demo0 = 0, wall0 = 0;
    auto epoch = std::chrono::steady_clock::now();
    while (fgets(line, sizeof line, trace)) {
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
        double demo;
        if (!SwitchTime(line, &demo))
            continue;
        if (first) {
            demo0 = demo;
            wall0 = wall;
            first = false;
        }
        run->switches++;
        run->demo_s = demo - demo0;
        run->wall_s = wall - wall0;
    }
    int status = pclose(trace);
    if (status != 0) {
        // Say how far it got: a failure at once means no display, one mid-run
        // is the player's own fault and worth chasing.
        char where[160];
        if (run->switches == 0)
            snprintf(where, sizeof where, " before its first entry switch (no display? run it under xvfb-run -a, beside brass_tide.zar)");
        else
            snprintf(where, sizeof where, " after %d entry switches, the last at demo time %+.3f s", run->switches,
                     demo0 + run->demo_s);
        *err = std::string(command) + " " + ExitText(status) + where;
        return false;
    }
    if (run->switches < 2 || run->demo_s <= 0) {
        *err = "fewer than two entry switches in the span: make -span longer";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        Usage(stderr);
        return 2;
    }
    std::vector<double> drifts;
    for (int r = 0; r < o.runs; r++) {
        std::vector<pid_t> busy = StartBusy(o.busy);
        Run run;
        std::string err;
        bool ok = PlayOnce(o, &run, &err);
        StopBusy(busy);
        if (!ok) {
            fprintf(stderr, "clock_drift: %s\n", err.c_str());
            return 1;
        }
        printf("run %d: demo %.3f s, wall %.3f s, drift %+.3f %% (%d switches, %d busy)\n", r + 1, run.demo_s,
               run.wall_s, run.Drift(), run.switches, o.busy);
        fflush(stdout);
        drifts.push_back(run.Drift());
    }
    if (drifts.size() > 1) {
        std::sort(drifts.begin(), drifts.end());
        size_t n = drifts.size();
        double median = n % 2 ? drifts[n / 2] : (drifts[n / 2 - 1] + drifts[n / 2]) / 2;
        printf("median drift %+.3f %% over %zu runs\n", median, n);
    }
    return 0;
}
