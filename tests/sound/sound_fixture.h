// Shared set-up for the sound layer's tests: SDL's file-backed or discarding
// audio drivers (there is no sound card here), scratch files, and waiting
// for a stream to play out.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sound/fsound.h"
#include "sound/fsound_stats.h"
#include "tests/sound/tone_mp3.h"

class SoundTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        FSOUND_Close();
        FSOUND_Stream_SetBufferSize(200);
        for (const std::string &path : scratch_)
            remove(path.c_str());
    }

    // A file name of our own in the temporary folder, removed after the test.
    std::string Scratch(const std::string &name)
    {
        std::string path = ::testing::TempDir() + "bt_sound_" + std::to_string(getpid()) + "_" + name;
        scratch_.push_back(path);
        return path;
    }

    std::string WriteScratch(const std::string &name, const std::vector<unsigned char> &bytes)
    {
        std::string path = Scratch(name);
        EXPECT_TRUE(WriteFile(path, bytes)) << path;
        return path;
    }

    // SDL's disk driver writes the mixed output to a file, a period every
    // delay_ms (0: as fast as it can), so tests need not take real time.
    bool InitDisk(int delay_ms, std::string *output = nullptr)
    {
        std::string path = Scratch("out.raw");
        if (output)
            *output = path;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", std::to_string(delay_ms).c_str(), 1);
        return FSOUND_Init(44100, 32, 0);
    }

    bool InitDummy()
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        return FSOUND_Init(44100, 32, 0);
    }

    // Waits until the stream has played out; generous, for loaded machines.
    static bool WaitFinished(FSOUND_STREAM *stream, double seconds = 30.0)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        FSOUND_Internal_StreamStats st;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!FSOUND_Internal_GetStreamStats(stream, &st))
                return false;
            if (st.finished)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    static FSOUND_Internal_StreamStats Stats(FSOUND_STREAM *stream)
    {
        FSOUND_Internal_StreamStats st{};
        EXPECT_TRUE(FSOUND_Internal_GetStreamStats(stream, &st));
        return st;
    }

private:
    std::vector<std::string> scratch_;
};
