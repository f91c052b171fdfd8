// The Windows player under wine, held against player-linux and the capture
// tool: its trace and exit status, its sound through SDL's disk writer, the
// pixels of its window and of full screen, its swap interval and the Escape
// key.
//
// Runs inside xvfb-run (scripts/test.sh), in the wine prefix that the test
// win32_prefix has just made. Every run gets a folder of its own holding a
// copy of the program and its DLLs: SDL's Windows entry code writes
// stdout.txt and stderr.txt beside the program. Every wine run has a
// timeout, so that a message box or a hang fails its test.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include "tests/e2e/fullscreen_check.h"
#include "tests/e2e/player_harness.h"
#include "tests/support/visual.h"

namespace {

using e2e::Clock;
using e2e::Exists;
using e2e::LoudestSample;
using e2e::ReadFile;

const std::string kWin32Dir = BT_WIN32_DIR;
const std::string kBuildDir = BT_BUILD_DIR;

// Text as a Windows program writes it through a text-mode stream.
std::string Crlf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool Copy(const std::string &from, const std::string &to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return in.good() && out.good();
}

struct Result {
    int status = -1;            // exit status, or -1 when killed
    bool timed_out = false;
    Clock::time_point start, end;
    std::string out, err;       // the program's stdout.txt and stderr.txt
    double Seconds() const { return std::chrono::duration<double>(end - start).count(); }
};

// Runs argv in dir with standard output and error in the given files of dir,
// until it exits or timeout seconds have passed. `during` runs meanwhile.
Result Spawn(const std::string &dir, const std::vector<std::string> &argv, const std::vector<std::string> &env,
             const char *out_name, const char *err_name, double timeout,
             const std::function<void(pid_t)> &during)
{
    Result r;
    r.start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(open(out_name, O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(err_name, O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    std::thread helper;
    if (during)
        helper = std::thread(during, pid);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (Clock::now() - r.start > std::chrono::duration<double>(timeout)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    r.end = Clock::now();
    if (helper.joinable())
        helper.join();
    r.status = !r.timed_out && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class Win32Player : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run, as scripts/test.sh does";
        ASSERT_TRUE(Exists(kWin32Dir + "/player-win32.exe")) << "build it with scripts/build-win32.sh";
        char tmpl[] = "/tmp/bt_win32_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        e2e::Display::Stop();   // a full-screen test's own screen, if it failed half-way
        system(("rm -rf " + dir_).c_str());
    }

    // A fresh folder for one program run, with the archive (and the soundtrack).
    std::string Folder(const std::string &name, bool archive, bool music)
    {
        std::string dir = dir_ + "/" + name;
        mkdir(dir.c_str(), 0755);
        if (archive)
            symlink((kBuildDir + "/brass_tide.zar").c_str(), (dir + "/brass_tide.zar").c_str());
        if (music)
            symlink((kBuildDir + "/brass_tide.mp3").c_str(), (dir + "/brass_tide.mp3").c_str());
        return dir;
    }

    // player-win32.exe under wine in a new folder; args and env as for the program.
    Result RunWin32(const std::string &dir, const std::vector<std::string> &args,
                    const std::vector<std::string> &env, double timeout,
                    const std::function<void(pid_t)> &during = nullptr)
    {
        DIR *d = opendir(kWin32Dir.c_str());
        for (dirent *e; d && (e = readdir(d));) {
            std::string name = e->d_name;
            if (name == "player-win32.exe" || (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0)) {
                EXPECT_TRUE(Copy(kWin32Dir + "/" + name, dir + "/" + name)) << name;
            }
        }
        if (d)
            closedir(d);
        std::vector<std::string> argv{"wine", "player-win32.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> all{"WINEPREFIX=" + kWin32Dir + "/wineprefix", "WINEDEBUG=-all",
                                     "SDL_AUDIODRIVER=dummy"};
        all.insert(all.end(), env.begin(), env.end());
        Result r = Spawn(dir, argv, all, "wine.out", "wine.err", timeout, during);
        r.out = ReadFile(dir + "/stdout.txt");
        r.err = ReadFile(dir + "/stderr.txt");
        return r;
    }

    // Until every process of the prefix has ended (wine keeps its server
    // and desktop process a little while after a program), so that the
    // next run starts them afresh, on the display it names.
    void WaitForWineToEnd()
    {
        std::string cmd = "WINEPREFIX='" + kWin32Dir + "/wineprefix' timeout 60 wineserver -w";
        EXPECT_EQ(system(cmd.c_str()), 0) << "wine's processes did not end within 60 s";
    }

    Result RunLinux(const std::string &dir, const std::vector<std::string> &args, double timeout)
    {
        std::vector<std::string> argv{BT_PLAYER_LINUX};
        argv.insert(argv.end(), args.begin(), args.end());
        Result r = Spawn(dir, argv, {"SDL_AUDIODRIVER=dummy"}, "stdout.txt", "stderr.txt", timeout, nullptr);
        r.out = ReadFile(dir + "/stdout.txt");
        r.err = ReadFile(dir + "/stderr.txt");
        return r;
    }

    std::string dir_;
};

// The trace holds every entry's derived figures (NaN among them), the
// -debug values as parsed and printed, and how the run ended; 3.0625 lies
// exactly between two printed values and must round the same way.
TEST_F(Win32Player, DebugTraceEqualsLinuxByteForByte)
{
    const std::vector<std::vector<std::string>> windows{{"0", "0.5", "0"}, {"2.5", "3.0625", "10"}};
    for (const auto &w : windows) {
        SCOPED_TRACE("-debug " + w[0] + " " + w[1] + " " + w[2]);
        std::vector<std::string> args{"-window", "-silent", "-debug", w[0], w[1], w[2]};
        std::string name = "run" + w[2];
        Result linux_run = RunLinux(Folder(name + "-linux", true, false), args, 60);
        ASSERT_EQ(linux_run.status, 0);
        ASSERT_NE(linux_run.out.find("nan"), std::string::npos) << "the trace should hold a NaN";
        Result win = RunWin32(Folder(name + "-win32", true, false), args, {}, 120);
        ASSERT_FALSE(win.timed_out);
        EXPECT_EQ(win.status, 0);
        EXPECT_EQ(win.out, Crlf(linux_run.out));
        EXPECT_EQ(win.err, "");
    }
}

TEST_F(Win32Player, MissingArchiveEndsWithStatus1LikeLinux)
{
    std::vector<std::string> args{"-window", "-silent"};
    Result linux_run = RunLinux(Folder("linux", false, false), args, 30);
    ASSERT_EQ(linux_run.status, 1);
    std::string dir = Folder("win32", false, false);
    Result win = RunWin32(dir, args, {}, 60);
    EXPECT_EQ(win.status, 1);
    EXPECT_EQ(win.out, Crlf(linux_run.out));
    // The entry code's files: the one written to stays, the empty one goes.
    EXPECT_TRUE(Exists(dir + "/stdout.txt"));
    EXPECT_FALSE(Exists(dir + "/stderr.txt")) << "an empty stderr.txt was left behind";
}

// SDL's disk driver writes what the sound layer mixes (44.1 kHz, 16-bit
// stereo) to a file, one device period every SDL_DISKAUDIODELAY ms, a little
// faster than it would play: silence until the opening starts the music at
// demo time 1.455, sound after it. The file keeps the driver's default name:
// SDL2's Windows getenv returns one shared buffer, so a name given in
// SDL_DISKAUDIOFILE is overwritten by the delay's value before it is opened.
TEST_F(Win32Player, SoundThroughSdlStartsWithTheOpening)
{
    std::string dir = Folder("win32", true, true);
    Result win = RunWin32(dir, {"-window", "-debug", "0", "4", "0"},
                          {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=20"}, 120);
    ASSERT_FALSE(win.timed_out);
    EXPECT_EQ(win.status, 0);
    EXPECT_NE(win.out.find("BT_x: end of demo time."), std::string::npos);
    std::string pcm = ReadFile(dir + "/sdlaudio.raw");
    const size_t per_second = 44100 * 4;
    ASSERT_GT(pcm.size(), per_second * 3) << "the sound device was not fed for the whole run";
    EXPECT_EQ(LoudestSample(pcm, 0, per_second), 0) << "music before the opening";
    EXPECT_GT(LoudestSample(pcm, per_second, pcm.size()), 1000) << "no music after the opening began";
}

// The screen as X shows it, grabbed during the one-second hold that follows
// the end of a -debug run inside entry 0 (the loading screen, all marks
// hollow), against the capture tool's last frame before that end.
TEST_F(Win32Player, WindowShowsTheCaptureToolsPixels)
{
    ASSERT_TRUE(visual::ArchivePresent());
    visual::Frame want;
    ASSERT_TRUE(visual::StartDebug(0, 1, 0));
    ASSERT_TRUE(visual::CaptureAt(0.95f, &want));
    ASSERT_EQ(want.entry, 0);

    const int screen_w = 1024, screen_h = 768;
    std::string dir = Folder("win32", true, false);
    std::string grab = dir + "/screen.rgb";
    Clock::time_point grabbed;
    Result win = RunWin32(dir, {"-window", "-silent", "-debug", "0", "1", "0"}, {}, 120, [&](pid_t) {
        auto until = Clock::now() + std::chrono::seconds(100);
        while (ReadFile(dir + "/stdout.txt").find("BT_x: end of demo time.") == std::string::npos) {
            if (Clock::now() > until)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::string cmd = "ffmpeg -loglevel error -f x11grab -video_size " + std::to_string(screen_w) + "x" +
                          std::to_string(screen_h) + " -i " + getenv("DISPLAY") +
                          " -frames:v 1 -f rawvideo -pix_fmt rgb24 -y " + grab;
        if (system(cmd.c_str()) == 0)
            grabbed = Clock::now();
    });
    ASSERT_FALSE(win.timed_out);
    EXPECT_EQ(win.status, 0);
    ASSERT_NE(grabbed, Clock::time_point()) << "no screen grab";
    ASSERT_LT(grabbed, win.end) << "the grab ended after the program: it may show no window";
    std::string screen = ReadFile(grab);
    ASSERT_EQ(screen.size(), (size_t)screen_w * screen_h * 3);

    // The window's place: wherever its top row appears on the screen.
    const int w = 640, h = 480;
    auto row_at = [&](int x, int y, int row) {
        return memcmp(&screen[((size_t)y * screen_w + x) * 3], &want.rgb[(size_t)row * w * 3], (size_t)w * 3) == 0;
    };
    int found_x = -1, found_y = -1;
    for (int y = 0; y + h <= screen_h && found_x < 0; y++)
        for (int x = 0; x + w <= screen_w && found_x < 0; x++)
            if (row_at(x, y, 0) && row_at(x, y + h / 2, h / 2)) {
                found_x = x;
                found_y = y;
            }
    ASSERT_GE(found_x, 0) << "the capture tool's frame appears nowhere on the screen (" << grab << ")";
    long differing = 0;
    for (int row = 0; row < h; row++)
        differing += !row_at(found_x, found_y + row, row);
    EXPECT_EQ(differing, 0) << "rows that differ from the capture tool's frame, window at (" << found_x << ", "
                            << found_y << ")";
}

// Full screen, the default, on a 16:9 screen of its own: the picture fills
// the screen's height between black bars, as player-linux's does
// (tests/e2e/fullscreen_test.cpp), and the display's mode stays. Wine needs
// no window manager for it.
TEST_F(Win32Player, FullScreenKeepsTheModeAndScalesThePictureBetweenBars)
{
    ASSERT_TRUE(visual::ArchivePresent());
    visual::Frame want;
    ASSERT_TRUE(visual::StartDebug(0, 1, 0));
    ASSERT_TRUE(visual::CaptureAt(0.95f, &want));
    ASSERT_EQ(want.entry, 0);

    WaitForWineToEnd();
    e2e::Display::Start("1280x720x24");
    const std::string display = e2e::Display::Name();
    ASSERT_EQ(fullscreen::ScreenSize(display), "1280 720");
    std::string dir = Folder("win32", true, false);
    std::string screen, size_during;
    Clock::time_point grabbed;
    Result win = RunWin32(dir, {"-silent", "-debug", "0", "1", "0"}, {"DISPLAY=" + display}, 120, [&](pid_t) {
        auto until = Clock::now() + std::chrono::seconds(100);
        while (ReadFile(dir + "/stdout.txt").find("BT_x: end of demo time.") == std::string::npos) {
            if (Clock::now() > until)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        screen = fullscreen::Grab(display);
        grabbed = Clock::now();
        size_during = fullscreen::ScreenSize(display);
    });
    WaitForWineToEnd();
    e2e::Display::Stop();
    ASSERT_FALSE(win.timed_out);
    EXPECT_EQ(win.status, 0);
    ASSERT_NE(grabbed, Clock::time_point()) << "the run never reached its end";
    ASSERT_FALSE(screen.empty()) << "the screen could not be read";
    ASSERT_LT(grabbed, win.end) << "the grab ended after the program: it may show no window";
    EXPECT_EQ(size_during, "1280 720") << "the display's mode changed";

    fullscreen::ExpectLetterboxed(screen, want.rgb);
}

// Swaps wait for the display's refresh: the player asks for swap interval 1,
// and the SDL 1.2 layer passes it on only when asked before the window is
// made. Wine's trace of its WGL driver shows what reached the GL (Xvfb has
// no refresh to wait for, so the frame rate cannot show it).
TEST_F(Win32Player, AsksTheGlToSwapWithTheDisplaysRefresh)
{
    std::string dir = Folder("win32", true, false);
    Result win = RunWin32(dir, {"-window", "-silent", "-debug", "0", "0.2", "0"}, {"WINEDEBUG=-all,trace+wgl"}, 120);
    ASSERT_FALSE(win.timed_out);
    EXPECT_EQ(win.status, 0);
    std::string trace = ReadFile(dir + "/wine.err");
    size_t set = trace.rfind("wglSwapIntervalEXT (");
    ASSERT_NE(set, std::string::npos) << "the swap interval was never set";
    EXPECT_EQ(trace.compare(set, 22, "wglSwapIntervalEXT (1)"), 0) << "the last swap interval set: "
                                                                   << trace.substr(set, 24);
}

// The viewer's SDL12COMPAT_SYNC_TO_VBLANK wins over the player's wish, as
// on Linux.
TEST_F(Win32Player, ViewersSyncVariableOverridesTheSwapInterval)
{
    std::string dir = Folder("win32", true, false);
    Result win = RunWin32(dir, {"-window", "-silent", "-debug", "0", "0.2", "0"},
                          {"WINEDEBUG=-all,trace+wgl", "SDL12COMPAT_SYNC_TO_VBLANK=0"}, 120);
    ASSERT_FALSE(win.timed_out);
    EXPECT_EQ(win.status, 0);
    std::string trace = ReadFile(dir + "/wine.err");
    size_t set = trace.rfind("wglSwapIntervalEXT (");
    ASSERT_NE(set, std::string::npos) << "the swap interval was never set";
    EXPECT_EQ(trace.compare(set, 22, "wglSwapIntervalEXT (0)"), 0) << "the last swap interval set: "
                                                                   << trace.substr(set, 24);
}

TEST_F(Win32Player, EscapeEndsWithStatus0)
{
    std::string dir = Folder("win32", true, false);
    Clock::time_point pressed;
    Result win = RunWin32(dir, {"-window", "-silent", "-debug", "0", "100", "0"}, {}, 120, [&](pid_t) {
        auto until = Clock::now() + std::chrono::seconds(90);
        while (system("xdotool search --onlyvisible --name brass_tide >/dev/null 2>&1") != 0) {
            if (Clock::now() > until)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pressed = Clock::now();
        system("xdotool search --onlyvisible --name brass_tide windowfocus --sync mousemove --window %1 20 20 "
               "key Escape >/dev/null 2>&1");
    });
    ASSERT_FALSE(win.timed_out);
    ASSERT_NE(pressed, Clock::time_point()) << "the window never showed";
    EXPECT_EQ(win.status, 0);
    EXPECT_EQ(win.out.find("BT_x: end of demo time."), std::string::npos);
    EXPECT_LT(std::chrono::duration<double>(win.end - pressed).count(), 10.0);
}

// The package holds exactly what README.txt lists: the program, the two
// DLLs, the data, and the licences and Debian source packages of the DLLs.
TEST(Win32Package, HoldsExactlyTheExpectedFiles)
{
    const std::string zip = kWin32Dir + "/brass_tide-win32.zip";
    ASSERT_TRUE(Exists(zip)) << "build it with scripts/build-win32.sh";
    std::vector<std::string> names;
    FILE *list = popen(("'" CMAKE_COMMAND "' -E tar tf '" + zip + "'").c_str(), "r");
    ASSERT_NE(list, nullptr);
    char line[512];
    while (fgets(line, sizeof line, list)) {
        std::string name = line;
        name.erase(name.find_last_not_of("\r\n") + 1);
        if (!name.empty() && name.back() != '/')
            names.push_back(name);
    }
    ASSERT_EQ(pclose(list), 0);
    std::sort(names.begin(), names.end());
    const std::string top = "brass_tide-win32/";
    std::vector<std::string> want{
        "README.txt",
        "SDL2.dll",
        "brass_tide.mp3",
        "brass_tide.zar",
        "libmpg123-0.dll",
        "licences/MinGW-w64-runtime.txt",
        "licences/SDL2-LICENSE.txt",
        "licences/SDL2-copyright.txt",
        "licences/mpg123-COPYING.txt",
        "licences/mpg123-copyright.txt",
        "player-win32.exe",
        "sources/libsdl2_2.26.5+dfsg-1.debian.tar.xz",
        "sources/libsdl2_2.26.5+dfsg-1.dsc",
        "sources/libsdl2_2.26.5+dfsg.orig.tar.gz",
        "sources/mpg123_1.31.2-1+deb12u1.debian.tar.xz",
        "sources/mpg123_1.31.2-1+deb12u1.dsc",
        "sources/mpg123_1.31.2.orig.tar.bz2",
        "sources/mpg123_1.31.2.orig.tar.bz2.asc",
    };
    for (std::string &name : want)
        name = top + name;
    EXPECT_EQ(names, want);
}

// The SDL 1.2 interface is linked into the program: it loads SDL2.dll and
// libmpg123's DLL beside it, and no SDL.dll.
TEST(Win32Package, ProgramLoadsSdl2AndNoSdl12Dll)
{
    std::string imports;
    FILE *dump = popen(("x86_64-w64-mingw32-objdump -p '" + kWin32Dir + "/player-win32.exe'").c_str(), "r");
    ASSERT_NE(dump, nullptr);
    char line[512];
    while (fgets(line, sizeof line, dump))
        if (strstr(line, "DLL Name:"))
            imports += line;
    ASSERT_EQ(pclose(dump), 0);
    EXPECT_NE(imports.find("DLL Name: SDL2.dll"), std::string::npos) << imports;
    EXPECT_NE(imports.find("DLL Name: libmpg123-0.dll"), std::string::npos) << imports;
    EXPECT_EQ(imports.find("DLL Name: SDL.dll"), std::string::npos) << imports;
}

// What the package ships as the DLLs' sources unpacks with Debian's tools,
// its files matching the checksums of the .dsc, with Debian's patches.
TEST(Win32Package, SourcePackagesUnpack)
{
    char tmpl[] = "/tmp/bt_win32_src_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string zip = kWin32Dir + "/brass_tide-win32.zip";
    ASSERT_EQ(system(("cd '" + dir + "' && '" CMAKE_COMMAND "' -E tar xf '" + zip + "'").c_str()), 0);
    const std::string sources = dir + "/brass_tide-win32/sources/";
    for (const char *dsc : {"libsdl2_2.26.5+dfsg-1.dsc", "mpg123_1.31.2-1+deb12u1.dsc"}) {
        SCOPED_TRACE(dsc);
        std::string out = dir + "/" + dsc + ".unpacked";
        EXPECT_EQ(system(("dpkg-source -x '" + sources + dsc + "' '" + out + "' >/dev/null 2>&1").c_str()), 0);
        EXPECT_TRUE(Exists(out + "/debian/patches/series"));
    }
    system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
