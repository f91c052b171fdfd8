// Cost and timeliness of the sound layer's MP3 streaming.
//
// BM_DecodeOpen: CPU that decoding takes per second of audio (a ring large
// enough that opening decodes the whole 10 s file).
// BM_PlayUnderLoad: plays a generated MP3 through SDL's disk driver at real
// time (or faster) with the player's 200 ms ring while busy threads keep both
// cores loaded, as the frame loop and the loader thread do; reports ring
// underruns, decoder CPU per second of audio and the delay from the play
// call to the first sample handed to SDL.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "sound/fsound.h"
#include "sound/fsound_stats.h"
#include "tests/sound/tone_mp3.h"

namespace {

// A 440 Hz tone under a slow 3 Hz tremolo is as hard for the decoder as
// any other content at a fixed bit rate; what matters is rate and channels.
std::string ToneFile(double seconds, int rate, int channels)
{
    std::string path = "/tmp/bt_sound_bench_" + std::to_string(getpid()) + "_" + std::to_string(rate) + "_"
        + std::to_string(channels) + "_" + std::to_string((int)seconds) + ".mp3";
    if (access(path.c_str(), R_OK) != 0)
        WriteFile(path, EncodeToneMp3(440, seconds, rate, channels));
    return path;
}

struct Burners {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    explicit Burners(int n)
    {
        for (int i = 0; i < n; i++)
            threads.emplace_back([this] {
                volatile float x = 1.0f;
                while (!stop.load(std::memory_order_relaxed))
                    for (int k = 0; k < 10000; k++)
                        x = std::sqrt(x * 1.0001f + 0.5f);
            });
    }
    ~Burners()
    {
        stop = true;
        for (std::thread &t : threads)
            t.join();
    }
};

void BM_DecodeOpen(benchmark::State &state)
{
    const int rate = (int)state.range(0), channels = (int)state.range(1);
    const double seconds = 10.0;
    std::string mp3 = ToneFile(seconds, rate, channels);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    FSOUND_Stream_SetBufferSize(10000);
    if (!FSOUND_Init(44100, 32, 0)) {
        state.SkipWithError("FSOUND_Init failed");
        return;
    }
    double decode_ns = 0, frames = 0;
    for (auto _ : state) {
        FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
        FSOUND_Internal_StreamStats st{};
        if (!s || !FSOUND_Internal_GetStreamStats(s, &st)) {
            state.SkipWithError("open failed");
            break;
        }
        decode_ns += (double)st.decode_ns;
        frames += (double)st.frames_decoded;
        FSOUND_Stream_Close(s);
    }
    FSOUND_Close();
    FSOUND_Stream_SetBufferSize(200);
    state.counters["decode_ms_per_audio_s"] = frames > 0 ? decode_ns / 1e6 / (frames / 44100.0) : 0;
    state.counters["audio_s"] = frames / 44100.0 / (double)state.iterations();
}
BENCHMARK(BM_DecodeOpen)->Args({44100, 2})->Args({48000, 2})->Args({22050, 1})->Unit(benchmark::kMillisecond);

// Args: ring in ms, busy threads, SDL_DISKAUDIODELAY (-1: SDL's default,
// which paces the output at real time; 5: about 4.6 times real time).
void BM_PlayUnderLoad(benchmark::State &state)
{
    const int buffer_ms = (int)state.range(0), burners = (int)state.range(1), delay = (int)state.range(2);
    const double seconds = 4.0;
    std::string mp3 = ToneFile(seconds, 44100, 2);
    std::string raw = "/tmp/bt_sound_bench_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    if (delay >= 0)
        setenv("SDL_DISKAUDIODELAY", std::to_string(delay).c_str(), 1);
    else
        unsetenv("SDL_DISKAUDIODELAY");
    double underruns = 0, underrun_frames = 0, decode_ns = 0, frames = 0, latency_ms = 0;
    for (auto _ : state) {
        FSOUND_Stream_SetBufferSize(buffer_ms);
        if (!FSOUND_Init(44100, 32, 0)) {
            state.SkipWithError("FSOUND_Init failed");
            break;
        }
        FSOUND_STREAM *s = FSOUND_Stream_Open(mp3.c_str(), 0, 0, 0);
        FSOUND_Internal_StreamStats st{};
        auto t0 = std::chrono::steady_clock::now();
        {
            Burners busy(burners);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));   // let the load settle
            t0 = std::chrono::steady_clock::now();
            FSOUND_Stream_Play(2, s);
            while (FSOUND_Internal_GetStreamStats(s, &st) && !st.finished)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        underruns += (double)st.underruns;
        underrun_frames += (double)st.underrun_frames;
        decode_ns += (double)st.decode_ns;
        frames += (double)st.frames_decoded;
        latency_ms += (double)st.play_to_sound_ns / 1e6;
        FSOUND_Close();
    }
    FSOUND_Stream_SetBufferSize(200);
    unlink(raw.c_str());
    double n = (double)state.iterations();
    state.counters["underruns"] = underruns / n;
    state.counters["underrun_ms"] = underrun_frames / 44.1 / n;
    state.counters["decode_ms_per_audio_s"] = frames > 0 ? decode_ns / 1e6 / (frames / 44100.0) : 0;
    state.counters["play_to_sound_ms"] = latency_ms / n;
}
BENCHMARK(BM_PlayUnderLoad)
    ->Args({200, 0, -1})
    ->Args({200, 2, -1})
    ->Args({200, 3, -1})
    ->Args({200, 2, 5})
    ->Args({50, 2, 5})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
