// Sound layer: MP3 streams decoded by libmpg123 into per-stream rings and
// mixed by SDL's audio callback.
//
// Threads and what they touch:
// - the caller (any thread, serialised by api_lock) opens, plays, stops and
//   closes streams; it changes which streams the callback sees only while it
//   holds SDL's audio lock, which the callback runs under;
// - one decoder thread per stream fills its ring under the stream's lock,
//   which the caller takes only to rewind or to end the thread;
// - SDL's audio thread runs MixCallback, which only reads the rings; the
//   ring positions are atomics (one writer each), so the callback never
//   waits for a decoder.
#include "sound/fsound.h"
#include "sound/fsound_stats.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#ifndef _WIN32
#include <ctime>
#endif

namespace {

const int MAX_STREAMS = 16;          // a power of two: the slot lives in the handle's low bits
const int SLOT_BITS = 4;
const int MAX_CHANNELS = 256;
const int DEVICE_FRAMES = 1024;      // about 23 ms at 44.1 kHz: one SDL callback's worth
const int FRAME_BYTES = 4;           // 16-bit stereo
const int MAX_BUFFER_MS = 10000;
const int MIN_MIXRATE = 8000;
const int MAX_MIXRATE = 192000;
const size_t DECODE_CHUNK = 16384;   // bytes the decoder produces per turn at most
const size_t DECODE_MIN = 4608;      // one MP3 frame of 16-bit stereo: don't wake for less room
const int MAX_DECODE_ERRORS = 16;    // consecutive decoder errors before the stream is given up
// The callback wakes the decoder after every read; this backstop only covers
// a wake-up that raced with the decoder going to sleep.
const std::chrono::milliseconds DECODER_BACKSTOP(20);

struct Stream {
    uintptr_t handle = 0;
    FILE *file = nullptr;
    mpg123_handle *mh = nullptr;
    unsigned char *ring = nullptr;
    size_t ring_bytes = 0;             // a multiple of FRAME_BYTES
    std::thread decoder;
    bool rewound = true;               // caller only: nothing consumed since the start

    // Guards mh, the ring's write side and the fields below.
    std::mutex lock;
    std::condition_variable wake;
    bool quit = false;
    int errors = 0;

    // Shared with the audio callback.
    std::atomic<int> channel{-1};      // -1: not playing; changed under SDL's audio lock
    std::atomic<uint64_t> read_pos{0}; // bytes ever taken by the callback
    std::atomic<uint64_t> write_pos{0};// bytes ever decoded into the ring
    std::atomic<bool> ended{false};    // write_pos will not grow any more
    std::atomic<bool> awaiting_sound{false};
    std::atomic<int64_t> play_ns{0};

    std::atomic<uint64_t> frames_decoded{0}, frames_played{0};
    std::atomic<uint64_t> underruns{0}, underrun_frames{0}, decode_ns{0};
    std::atomic<int64_t> play_to_sound_ns{-1};
};

std::mutex api_lock;                   // serialises the public calls
std::atomic<int> last_error{FSOUND_ERR_NONE};
bool initialized;
bool mpg123_ready;
int output_type = FSOUND_OUTPUT_OSS;
int buffer_ms = 200;
int mix_rate;
int num_channels;
uint64_t next_generation = 1;
// Heap objects on purpose: a process that exits with streams still open must
// not run destructors on a decoder thread's mutex or on a joinable thread.
Stream *streams[MAX_STREAMS];

int64_t NowNs(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread, for the decode-cost counter: on a loaded
// machine wall time would also count the turns the decoder waited for a core.
int64_t ThreadCpuNs(void)
{
#ifdef _WIN32
    // Windows advances thread times only at scheduler ticks (about 16 ms),
    // far coarser than one decode call: the counter takes wall time there.
    return NowNs();
#else
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
#endif
}

// Records the outcome of a public call and passes the result through.
template <typename T> T Fail(int code, T result)
{
    last_error.store(code);
    return result;
}

template <typename T> T Succeed(T result)
{
    last_error.store(FSOUND_ERR_NONE);
    return result;
}

// The stream a handle names, or null for an empty, closed or foreign handle.
// Handles carry a generation, so a stale one never names a reused slot.
Stream *Lookup(FSOUND_STREAM *handle)
{
    uintptr_t value = (uintptr_t)handle;
    if (value == 0)
        return nullptr;
    Stream *s = streams[value & (MAX_STREAMS - 1)];
    return s && s->handle == value ? s : nullptr;
}

bool ChannelTaken(int channel)
{
    for (Stream *s : streams)
        if (s && s->channel.load() == channel)
            return true;
    return false;
}

// Adds src to dst with clipping, for a second stream sounding at once.
void MixInto(int16_t *dst, const int16_t *src, size_t samples)
{
    for (size_t i = 0; i < samples; i++) {
        int sum = dst[i] + src[i];
        dst[i] = (int16_t)std::min(32767, std::max(-32768, sum));
    }
}

// Takes up to len bytes of s's ring into out; returns how many it took.
size_t TakeFromRing(Stream *s, Uint8 *out, size_t len, bool mix)
{
    bool ended = s->ended.load(std::memory_order_acquire);   // before write_pos: then it is final
    uint64_t r = s->read_pos.load(std::memory_order_relaxed);
    uint64_t w = s->write_pos.load(std::memory_order_acquire);
    size_t n = std::min((size_t)(w - r) / FRAME_BYTES * FRAME_BYTES, len);
    size_t at = (size_t)(r % s->ring_bytes);
    size_t first = std::min(n, s->ring_bytes - at);
    if (mix) {
        MixInto((int16_t *)out, (const int16_t *)(s->ring + at), first / 2);
        MixInto((int16_t *)(out + first), (const int16_t *)s->ring, (n - first) / 2);
    } else {
        memcpy(out, s->ring + at, first);
        memcpy(out + first, s->ring, n - first);
    }
    s->read_pos.store(r + n, std::memory_order_release);
    if (n < len && !ended) {
        s->underruns.fetch_add(1, std::memory_order_relaxed);
        s->underrun_frames.fetch_add((len - n) / FRAME_BYTES, std::memory_order_relaxed);
    }
    return n;
}

// SDL's audio thread: copies every playing stream's ring out, silence where
// a ring has run dry or its stream has ended.
void MixCallback(void *, Uint8 *out, int len)
{
    memset(out, 0, (size_t)len);
    bool mix = false;
    for (Stream *s : streams) {
        if (!s || s->channel.load(std::memory_order_relaxed) < 0)
            continue;
        size_t n = TakeFromRing(s, out, (size_t)len, mix);
        if (n == 0)
            continue;
        mix = true;
        s->frames_played.fetch_add(n / FRAME_BYTES, std::memory_order_relaxed);
        if (s->awaiting_sound.exchange(false))
            s->play_to_sound_ns.store(NowNs() - s->play_ns.load());
        s->wake.notify_one();
    }
}

// Decodes one chunk into free ring space; false when there is nothing to do
// (ring full or stream ended). Caller holds s->lock.
bool DecodeSome(Stream *s)
{
    if (s->ended.load(std::memory_order_relaxed))
        return false;
    uint64_t w = s->write_pos.load(std::memory_order_relaxed);
    size_t space = s->ring_bytes - (size_t)(w - s->read_pos.load(std::memory_order_acquire));
    if (space < std::min(DECODE_MIN, s->ring_bytes / 2))
        return false;
    size_t at = (size_t)(w % s->ring_bytes);
    size_t want = std::min({space, s->ring_bytes - at, DECODE_CHUNK});
    size_t done = 0;
    int64_t t0 = ThreadCpuNs();
    int rc = mpg123_read(s->mh, s->ring + at, want, &done);
    s->decode_ns.fetch_add((uint64_t)(ThreadCpuNs() - t0), std::memory_order_relaxed);
    if (done > 0) {
        s->frames_decoded.fetch_add(done / FRAME_BYTES, std::memory_order_relaxed);
        s->write_pos.store(w + done, std::memory_order_release);
    }
    if (rc == MPG123_OK || rc == MPG123_NEW_FORMAT) {
        // The output format is pinned, so a new format only means mpg123 set
        // up its resampler again; a read that made no progress is an error.
        s->errors = done > 0 || rc == MPG123_NEW_FORMAT ? 0 : s->errors + 1;
    } else if (rc == MPG123_DONE) {
        s->ended.store(true, std::memory_order_release);
    } else {
        // Damaged data: mpg123 skips ahead on the next read, so carry on
        // unless it keeps failing without getting anywhere.
        s->errors++;
    }
    if (s->errors >= MAX_DECODE_ERRORS)
        s->ended.store(true, std::memory_order_release);
    return true;
}

void DecoderMain(Stream *s)
{
    std::unique_lock<std::mutex> hold(s->lock);
    while (!s->quit)
        if (!DecodeSome(s))
            s->wake.wait_for(hold, DECODER_BACKSTOP);
}

// Back to the start of the file with a full ring. The stream must be off its
// channel, so the callback does not read the positions reset here.
void Rewind(Stream *s)
{
    std::lock_guard<std::mutex> hold(s->lock);
    s->read_pos.store(0);
    s->write_pos.store(0);
    s->errors = 0;
    s->ended.store(mpg123_seek(s->mh, 0, SEEK_SET) < 0);
    while (DecodeSome(s)) {
    }
    s->rewound = true;
}

void DestroyStream(Stream *s)
{
    SDL_LockAudio();
    streams[s->handle & (MAX_STREAMS - 1)] = nullptr;
    SDL_UnlockAudio();
    if (s->decoder.joinable()) {
        {
            std::lock_guard<std::mutex> hold(s->lock);
            s->quit = true;
        }
        s->wake.notify_one();
        s->decoder.join();
    }
    if (s->mh)
        mpg123_delete(s->mh);
    if (s->file)
        fclose(s->file);
    delete[] s->ring;
    delete s;
}

// Opens name for reading if it is a regular file. Anything else is refused
// before it is opened: opening a FIFO would block until someone writes to it.
FILE *OpenInput(const char *name, int *error)
{
    std::error_code ec;
    std::filesystem::file_type type = std::filesystem::status(name, ec).type();
    if (type == std::filesystem::file_type::not_found) {
        *error = FSOUND_ERR_FILE_NOTFOUND;
        return nullptr;
    }
    // Binary: on Windows a text-mode read would mangle the MP3 data.
    FILE *file = type == std::filesystem::file_type::regular ? fopen(name, "rb") : nullptr;
    if (!file)
        *error = FSOUND_ERR_FILE_BAD;
    return file;
}

// mpg123 reads the file through the C library, the same on every system.
mpg123_ssize_t ReadInput(void *file, void *buffer, size_t bytes)
{
    size_t got = fread(buffer, 1, bytes, (FILE *)file);
    return got == 0 && ferror((FILE *)file) ? -1 : (mpg123_ssize_t)got;
}

off_t SeekInput(void *file, off_t offset, int whence)
{
    if (fseek((FILE *)file, (long)offset, whence) != 0)
        return -1;
    return (off_t)ftell((FILE *)file);
}

// A decoder for file that always yields mix_rate 16-bit stereo, whatever the
// file's rate and channels: mpg123 resamples and duplicates itself.
mpg123_handle *NewDecoder(FILE *file, int *error)
{
    int rc = MPG123_OK;
    mpg123_handle *mh = mpg123_new(nullptr, &rc);
    if (!mh) {
        *error = FSOUND_ERR_MEMORY;
        return nullptr;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    mpg123_format_none(mh);
    if (mpg123_format(mh, mix_rate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK
        || mpg123_replace_reader_handle(mh, ReadInput, SeekInput, nullptr) != MPG123_OK
        || mpg123_open_handle(mh, file) != MPG123_OK) {
        mpg123_delete(mh);
        *error = FSOUND_ERR_FILE_BAD;
        return nullptr;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    // Reads up to the first frame: no frame within mpg123's resync window
    // means this is not an MP3 stream at all.
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate != mix_rate
        || channels != 2 || encoding != MPG123_ENC_SIGNED_16) {
        mpg123_delete(mh);
        *error = FSOUND_ERR_FILE_FORMAT;
        return nullptr;
    }
    return mh;
}

int FreeSlot(void)
{
    for (int i = 0; i < MAX_STREAMS; i++)
        if (!streams[i])
            return i;
    return -1;
}

}  // namespace

signed char FSOUND_SetOutput(int outputtype)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (initialized)
        return Fail(FSOUND_ERR_BUSY, (signed char)0);
    output_type = outputtype;
    return Succeed((signed char)1);
}

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (initialized)
        return Fail(FSOUND_ERR_BUSY, (signed char)0);
    if (mixrate < MIN_MIXRATE || mixrate > MAX_MIXRATE || maxsoftwarechannels < 1
        || maxsoftwarechannels > MAX_CHANNELS)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    if (!mpg123_ready) {
        if (mpg123_init() != MPG123_OK)
            return Fail(FSOUND_ERR_INIT, (signed char)0);
        mpg123_ready = true;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0)
        return Fail(FSOUND_ERR_INIT, (signed char)0);
    if (SDL_GetAudioStatus() != SDL_AUDIO_STOPPED) {
        // Someone else in this process holds SDL's one audio device.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return Fail(FSOUND_ERR_ALLOCATED, (signed char)0);
    }
    SDL_AudioSpec want;
    memset(&want, 0, sizeof want);
    want.freq = mixrate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DEVICE_FRAMES;
    want.callback = MixCallback;
    // No "obtained" spec: SDL then converts to whatever the device takes.
    if (SDL_OpenAudio(&want, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return Fail(FSOUND_ERR_INIT, (signed char)0);
    }
    mix_rate = mixrate;
    num_channels = maxsoftwarechannels;
    initialized = true;
    SDL_PauseAudio(0);
    return Succeed((signed char)1);
}

int FSOUND_GetError(void)
{
    return last_error.load();
}

signed char FSOUND_Stream_SetBufferSize(int ms)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (ms < 1 || ms > MAX_BUFFER_MS)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    buffer_ms = ms;
    return Succeed((signed char)1);
}

FSOUND_STREAM *FSOUND_Stream_Open(const char *name, unsigned int, int offset, int length)
{
    std::lock_guard<std::mutex> hold(api_lock);
    FSOUND_STREAM *none = nullptr;
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, none);
    // Only whole files are streamed: a window into a file is not supported.
    if (!name || offset != 0 || length != 0)
        return Fail(FSOUND_ERR_INVALID_PARAM, none);
    int slot = FreeSlot();
    if (slot < 0)
        return Fail(FSOUND_ERR_MEMORY, none);
    int error = FSOUND_ERR_NONE;
    FILE *file = OpenInput(name, &error);
    if (!file)
        return Fail(error, none);
    mpg123_handle *mh = NewDecoder(file, &error);
    if (!mh) {
        fclose(file);
        return Fail(error, none);
    }

    Stream *s = new Stream;
    s->file = file;
    s->mh = mh;
    // Never less than two device periods, or the ring could not cover one callback.
    size_t frames = std::max((size_t)buffer_ms * (size_t)mix_rate / 1000, (size_t)2 * DEVICE_FRAMES);
    s->ring_bytes = frames * FRAME_BYTES;
    s->ring = new unsigned char[s->ring_bytes];
    s->handle = (uintptr_t)(next_generation++ << SLOT_BITS) | (uintptr_t)slot;
    // Fill the ring now, so that playing starts at once.
    {
        std::lock_guard<std::mutex> fill(s->lock);
        while (DecodeSome(s)) {
        }
    }
    s->decoder = std::thread(DecoderMain, s);
    SDL_LockAudio();
    streams[slot] = s;
    SDL_UnlockAudio();
    return Succeed((FSOUND_STREAM *)s->handle);
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM *stream)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, -1);
    Stream *s = Lookup(stream);
    if (!s || channel < FSOUND_FREE || channel >= num_channels)
        return Fail(FSOUND_ERR_INVALID_PARAM, -1);
    int current = s->channel.load();
    if (current >= 0)
        return Succeed(current);   // already playing: it keeps its place
    if (channel == FSOUND_FREE) {
        channel = 0;
        while (channel < num_channels && ChannelTaken(channel))
            channel++;
        if (channel == num_channels)
            return Fail(FSOUND_ERR_CHANNEL_ALLOC, -1);
    } else if (ChannelTaken(channel)) {
        return Fail(FSOUND_ERR_CHANNEL_ALLOC, -1);
    }
    s->rewound = false;
    s->play_to_sound_ns.store(-1);
    s->play_ns.store(NowNs());
    s->awaiting_sound.store(true);
    SDL_LockAudio();
    s->channel.store(channel);
    SDL_UnlockAudio();
    return Succeed(channel);
}

signed char FSOUND_Stream_Stop(FSOUND_STREAM *stream)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, (signed char)0);
    Stream *s = Lookup(stream);
    if (!s)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    SDL_LockAudio();
    s->channel.store(-1);
    SDL_UnlockAudio();
    s->awaiting_sound.store(false);
    if (!s->rewound)
        Rewind(s);
    return Succeed((signed char)1);
}

signed char FSOUND_Stream_Close(FSOUND_STREAM *stream)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, (signed char)0);
    Stream *s = Lookup(stream);
    if (!s)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    DestroyStream(s);
    return Succeed((signed char)1);
}

void FSOUND_Close(void)
{
    std::lock_guard<std::mutex> hold(api_lock);
    if (!initialized)
        return;
    for (Stream *s : streams)
        if (s)
            DestroyStream(s);
    SDL_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    initialized = false;
    last_error.store(FSOUND_ERR_NONE);
}

signed char FSOUND_Internal_GetStreamStats(FSOUND_STREAM *stream, FSOUND_Internal_StreamStats *out)
{
    std::lock_guard<std::mutex> hold(api_lock);
    Stream *s = initialized ? Lookup(stream) : nullptr;
    if (!s || !out)
        return 0;
    out->frames_decoded = s->frames_decoded.load();
    out->frames_played = s->frames_played.load();
    out->underruns = s->underruns.load();
    out->underrun_frames = s->underrun_frames.load();
    out->decode_ns = s->decode_ns.load();
    out->play_to_sound_ns = s->play_to_sound_ns.load();
    out->ring_frames = s->ring_bytes / FRAME_BYTES;
    out->finished = s->ended.load(std::memory_order_acquire)
        && s->write_pos.load() - s->read_pos.load() < (uint64_t)FRAME_BYTES;
    return 1;
}
