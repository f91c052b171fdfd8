// The player as a user meets it: started under a virtual X server, with its
// trace, its exit status, the keyboard and the window manager's close request,
// and SDL's disk audio driver standing in for a sound card.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// One Xvfb for the whole suite, on a display number of our own: tests run in
// parallel, and Xvfb's own choice of a free number (-displayfd) fails now
// and then when two servers start at once.
class Display {
public:
    static void Start()
    {
        for (int attempt = 0; attempt < 40 && pid_ < 0; attempt++) {
            int n = 100 + (int)((getpid() * 7 + attempt * 13) % 800);
            std::string num = std::to_string(n);
            if (Exists("/tmp/.X" + num + "-lock") || Exists("/tmp/.X11-unix/X" + num))
                continue;
            pid_t pid = fork();
            if (pid == 0) {
                int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                dup2(null, 2);
                std::string display = ":" + num;
                execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1024x768x24", "-noreset", "-nolisten",
                       "tcp", (char *)nullptr);
                _exit(127);
            }
            // Ready once its socket exists; gone if the number was taken after all.
            for (int wait = 0; wait < 200; wait++) {
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    break;
                if (Exists("/tmp/.X11-unix/X" + num)) {
                    pid_ = pid;
                    name_ = ":" + num;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (pid_ < 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        ASSERT_GT(pid_, 0) << "Xvfb did not start";
    }
    static void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    static const std::string &Name() { return name_; }

private:
    static pid_t pid_;
    static std::string name_;
};
pid_t Display::pid_ = -1;
std::string Display::name_;

struct Result {
    int status = -1;            // exit status, or -1 when killed
    bool timed_out = false;
    double seconds = 0;         // from start to exit
    std::string out, err;
};

// Runs a command line with the virtual display, returns at exit or timeout.
// `during` runs while the program runs, with its start time.
int Shell(const std::string &command)
{
    std::string full = "DISPLAY=" + Display::Name() + " " + command;
    return system(full.c_str());
}

class Player : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Display::Start(); }
    static void TearDownTestSuite() { Display::Stop(); }

    void SetUp() override
    {
        char tmpl[] = "/tmp/bt_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_TRUE(Exists(BT_BUILD_DIR "/brass_tide.zar")) << "the build generates the archive";
        Link("brass_tide.zar");
    }
    void TearDown() override { system(("rm -rf " + dir_).c_str()); }

    void Link(const char *name)
    {
        std::string from = std::string(BT_BUILD_DIR) + "/" + name;
        ASSERT_EQ(symlink(from.c_str(), (dir_ + "/" + name).c_str()), 0);
    }

    Result Run(const std::vector<std::string> &args, const std::vector<std::string> &env, double timeout,
               const std::function<void(pid_t)> &during = nullptr)
    {
        Result r;
        auto start = Clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0)
                _exit(126);
            int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            setenv("DISPLAY", Display::Name().c_str(), 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            // As in a desktop session; without it the windowing libraries
            // complain on standard error before they settle on X11.
            setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
            // In sanitizer builds: SDL and the GL driver keep allocations to
            // the end of the process; the player's own memory is checked by
            // the in-process tests.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            for (const std::string &e : env)
                putenv(strdup(e.c_str()));
            std::vector<char *> argv{const_cast<char *>(BT_PLAYER)};
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(BT_PLAYER, argv.data());
            _exit(127);
        }
        std::thread helper;
        if (during)
            helper = std::thread(during, pid);
        int status = 0;
        for (;;) {
            pid_t w = waitpid(pid, &status, WNOHANG);
            if (w == pid)
                break;
            if (std::chrono::duration<double>(Clock::now() - start).count() > timeout) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                r.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (helper.joinable())
            helper.join();
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(dir_ + "/stdout.txt");
        r.err = ReadFile(dir_ + "/stderr.txt");
        return r;
    }

    // Waits until the player's window is mapped; false after `seconds`.
    bool WaitForWindow(double seconds)
    {
        auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            if (Shell("xdotool search --onlyvisible --name brass_tide >/dev/null 2>&1") == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Keys go to the window under the pointer (there is no window manager).
    void PressKey(const char *key)
    {
        Shell("xdotool search --onlyvisible --name brass_tide windowfocus --sync mousemove --window %1 20 20 "
              "key " + std::string(key) + " >/dev/null 2>&1");
    }

    std::string dir_;
};

std::string ExpectedPrepareTrace(int offset)
{
    // The derivation trace of the shipped table, as the player prints it.
    std::string path = std::string(BT_SOURCE_DIR) + "/tests/e2e/trace_offset" + std::to_string(offset) + ".txt";
    return ReadFile(path);
}

TEST_F(Player, DebugRunPrintsTheTraceAndEndsByDemoTime)
{
    Result r = Run({"-window", "-silent", "-debug", "0", "0.5", "0"}, {}, 30);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\nBT_x: debug mode.\n"
                     "BT_x: start: +0.000, end: +0.500, offset: 0;\n" +
                         ExpectedPrepareTrace(0) + "BT_x: end of demo time.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_GE(r.seconds, 1.0);   // the last picture is held for a second
}

TEST_F(Player, DebugWindowPassesEveryEntryAndEndsByEffects)
{
    // Starting at 300 s every entry up to 41 is passed one per frame, each
    // with its setup and one render; entry 41 then plays to its end.
    Result r = Run({"-window", "-silent", "-debug", "300", "400", "0"}, {}, 60);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::string line;
    int switches = 0;
    float last = 0;
    std::vector<std::string> tail;
    while (std::getline(lines, line)) {
        float t;
        char extra;
        if (sscanf(line.c_str(), "%f%c", &t, &extra) == 1 && (line[0] == '+' || line[0] == '-')) {
            switches++;
            last = t;
        }
        tail.push_back(line);
    }
    EXPECT_EQ(switches, 42);   // 41 switches and the one that finds no entry left
    EXPECT_GE(last, 309.36f);
    EXPECT_LT(last, 309.6f);
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.back(), "BT_x: end of effects.");
}

TEST_F(Player, EscapeDuringLoadingEndsAtOnce)
{
    Clock::time_point pressed;
    Result r = Run({"-window", "-silent"}, {}, 60, [&](pid_t) {
        ASSERT_TRUE(WaitForWindow(40));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pressed = Clock::now();
        PressKey("Escape");
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\n");
    // Neither the loader's 8.8 s nor the one-second hold are waited for.
    EXPECT_LT(r.seconds, 8.0);
}

TEST_F(Player, OtherKeysDoNothingAndWindowCloseQuits)
{
    Result r = Run({"-window", "-silent", "-debug", "0", "100", "0"}, {}, 30, [&](pid_t pid) {
        ASSERT_TRUE(WaitForWindow(20));
        PressKey("a");
        PressKey("space");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "a key other than Escape ended the demo";
        EXPECT_EQ(Shell(BT_X_CLOSE " brass_tide"), 0);
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.seconds, 15.0);
}

TEST_F(Player, MissingSoundtrackStillPlays)
{
    Result r = Run({"-window", "-debug", "0", "2", "0"},
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir_ + "/audio.raw"}, 30);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("BT_x: end of demo time.\n"), std::string::npos);
}

TEST_F(Player, SilentModeNeverOpensTheSoundDevice)
{
    Link("brass_tide.mp3");
    Result r = Run({"-window", "-silent", "-debug", "0", "2", "0"},
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir_ + "/audio.raw"}, 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(Exists(dir_ + "/audio.raw"));
}

TEST_F(Player, NoSoundDeviceIsAFatalStartError)
{
    Result r = Run({"-window"}, {"SDL_AUDIODRIVER=no-such-driver"}, 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nTARN_PLAYER: Error initializing output device.\n");
}

TEST_F(Player, MissingArchiveEndsSilentlyWithStatus1)
{
    unlink((dir_ + "/brass_tide.zar").c_str());
    Result r = Run({"-window", "-silent"}, {}, 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\nBT_x: silent mode.\n");
}

// A normal start: the loading phase, then the opening with the music. Runs
// the loader thread, the timer thread and the sound threads together.
TEST_F(Player, NormalStartLoadsThenStartsTheMusicWithTheOpening)
{
    Link("brass_tide.mp3");
    std::string raw = dir_ + "/audio.raw";
    Result r = Run({"-window"}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw}, 40, [&](pid_t) {
        ASSERT_TRUE(WaitForWindow(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(12500));
        PressKey("Escape");
    });
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BT_x: windowed mode.\n");
    // 44.1 kHz stereo 16-bit: silence through the loading phase (8.8 s) and
    // entry 0 (1.455 s), sound once entry 1 has begun.
    std::string pcm = ReadFile(raw);
    const size_t per_second = 44100 * 4;
    ASSERT_GT(pcm.size(), per_second * 11) << "the sound device was not fed for the whole run";
    auto loudest = [&](size_t from, size_t to) {
        int peak = 0;
        for (size_t i = from; i + 1 < to && i + 1 < pcm.size(); i += 2) {
            int16_t s;
            memcpy(&s, &pcm[i], 2);
            peak = std::max(peak, std::abs((int)s));
        }
        return peak;
    };
    EXPECT_EQ(loudest(0, per_second * 9), 0) << "music before the opening";
    EXPECT_GT(loudest(per_second * 11, pcm.size()), 1000) << "no music after the opening began";
}

}  // namespace
