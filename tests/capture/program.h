// Running the capture program from a test: a fresh folder per test, the
// program's output and status, and what it printed about its shots.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef BT_CAPTURE_EXE
#error "BT_CAPTURE_EXE names the capture program"
#endif

namespace program {

namespace fs = std::filesystem;


// Single-quoted for the shell (the test folders hold no quotes).
inline std::string Quote(const std::string &s)
{
    return "'" + s + "'";
}

inline const std::string kCapture = Quote(BT_CAPTURE_EXE) + " ";

inline std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder for this test's files.
inline fs::path TestDir()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(BT_TEST_OUT) / (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

struct Result {
    int status = -1;
    std::string text;           // stdout and stderr together
};

// Runs cmd in cwd: by default the tests' working directory, where the archive and the soundtrack lie.
inline Result Shell(const std::string &cmd, const fs::path &cwd = fs::current_path())
{
    Result r;
    FILE *p = popen(("cd " + Quote(cwd.string()) + " && " + cmd + " 2>&1").c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.text.append(buf, n);
    int rc = p ? pclose(p) : -1;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

// The frame, entry and hold capture printed for the shot file NAME.
struct ShotLine {
    long long frame = -1;
    int entry = -1;
    bool held = false;
};
inline ShotLine FindShot(const std::string &text, const std::string &name)
{
    ShotLine s;
    size_t at = text.find("/" + name + ": ");
    if (at != std::string::npos) {
        sscanf(&text[at + name.size() + 3], "frame %lld, demo time %*f, entry %d", &s.frame, &s.entry);
        s.held = text.find("held after the end", at) < text.find('\n', at);
    }
    return s;
}

// Frames drawn before the clock, moving in float steps of 0.01, reaches t.
inline long long FramesBefore(float t, int fps)
{
    long long ticks = 0, frames = 0;
    for (float clock = 0; clock < t; clock += 0.01f)
        ticks++;
    while (frames * 100 / fps < ticks)
        frames++;
    return frames;
}

} // namespace program
