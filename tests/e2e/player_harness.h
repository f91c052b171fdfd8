// Running the player as a user would: one virtual X server per test
// program, the player started in a folder of its own with the demo's data
// linked in, its output, exit status and run time collected. Shared by the
// end-to-end tests and the whole-demo tests.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

inline std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The loudest sample in bytes [from, to) of 16-bit raw audio, as SDL's disk
// driver writes it; 0 for silence.
inline int LoudestSample(const std::string &pcm, size_t from, size_t to)
{
    int peak = 0;
    for (size_t i = from; i + 1 < to && i + 1 < pcm.size(); i += 2) {
        int16_t s;
        memcpy(&s, &pcm[i], 2);
        peak = std::max(peak, std::abs((int)s));
    }
    return peak;
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// One Xvfb for the whole suite, on a display number of our own: tests run in
// parallel, and Xvfb's own choice of a free number (-displayfd) fails now
// and then when two servers start at once. The screen is WxHxDEPTH.
class Display {
public:
    static void Start(const char *screen = "1024x768x24")
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
                execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", screen, "-noreset", "-nolisten",
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
    // Kills the server as a crash would: every client's connection breaks.
    static void Kill()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            // A killed server leaves its lock and its socket behind.
            const std::string num = name_.substr(1);
            unlink(("/tmp/.X" + num + "-lock").c_str());
            unlink(("/tmp/.X11-unix/X" + num).c_str());
        }
        pid_ = -1;
    }
    static const std::string &Name() { return name_; }

private:
    static inline pid_t pid_ = -1;
    static inline std::string name_;
};

struct Result {
    int status = -1;            // exit status, or -1 when killed
    bool timed_out = false;
    double seconds = 0;         // from start to exit
    std::string out, err;
};

// Runs a command line with the virtual display, returns at exit or timeout.
// `during` runs while the program runs, with its start time.
inline int Shell(const std::string &command)
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

} // namespace e2e
