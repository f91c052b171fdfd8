// The sound layer's call surface over the browser's Web Audio: the page has
// fetched and decoded the soundtrack before the player starts (decoding an
// MP3 is the browser's own job), so a stream is a decoded buffer and playing
// it is one buffer source started on the page's audio context. Handles and
// channels are kept here exactly as the native layer keeps them; JavaScript
// holds only the buffers and the sources, by slot.
//
// One thread: the browser's main thread makes every call.
#include "sound/fsound.h"

#include <emscripten.h>

#include <cstdint>

namespace {

const int MAX_STREAMS = 16;          // a power of two: the slot lives in the handle's low bits
const int SLOT_BITS = 4;
const int MAX_CHANNELS = 256;
const int MAX_BUFFER_MS = 10000;
const int MIN_MIXRATE = 8000;
const int MAX_MIXRATE = 192000;

struct Stream {
    uintptr_t handle;                // 0: slot free
    int channel;                     // -1: not playing
};

Stream streams[MAX_STREAMS];
bool initialized;
int last_error;
int num_channels;
uintptr_t next_generation = 1;

template <typename T>
T Fail(int code, T result)
{
    last_error = code;
    return result;
}

template <typename T>
T Succeed(T result)
{
    last_error = FSOUND_ERR_NONE;
    return result;
}

Stream *Lookup(FSOUND_STREAM *stream)
{
    uintptr_t h = (uintptr_t)stream;
    Stream *s = &streams[h & (MAX_STREAMS - 1)];
    return h != 0 && s->handle == h ? s : nullptr;
}

bool ChannelTaken(int channel)
{
    for (const Stream &s : streams)
        if (s.handle && s.channel == channel)
            return true;
    return false;
}

} // namespace

// The page's audio context, made on the viewer's click (browsers start
// sound only after one); 0 without one or when it cannot play.
EM_JS(int, WebAudio_Open, (void), {
    var a = Module.webAudio;
    if (!a || !a.context || a.context.state === 'closed')
        return 0;
    a.sources = a.sources || {};
    if (a.context.state === 'suspended')
        a.context.resume();
    return 1;
});

// Binds slot to the decoded buffer of name: 0, or the sound layer's error code.
EM_JS(int, WebAudio_Bind, (int slot, const char *name_ptr), {
    var a = Module.webAudio;
    var name = UTF8ToString(name_ptr);
    var entry = a.buffers ? a.buffers[name] : undefined;
    if (entry === undefined)
        return 9;                                  // FSOUND_ERR_FILE_NOTFOUND
    if (typeof entry === 'number')
        return entry;                              // the page's fetch or decode failure
    a.bound = a.bound || {};
    a.bound[slot] = entry;
    return 0;
});

EM_JS(void, WebAudio_Start, (int slot), {
    var a = Module.webAudio;
    var source = a.context.createBufferSource();
    source.buffer = a.bound[slot];
    source.connect(a.context.destination);
    source.start(0);
    a.sources[slot] = source;
    // For the page's sound check: where the music's time 0 lies on the audio clock.
    a.musicStart = a.context.currentTime;
    if (Module.onMusicStart)
        Module.onMusicStart();
});

EM_JS(void, WebAudio_Stop, (int slot), {
    var a = Module.webAudio;
    var source = a.sources[slot];
    if (source) {
        source.onended = null;
        try { source.stop(); } catch (e) {}
        source.disconnect();
        delete a.sources[slot];
    }
});

EM_JS(void, WebAudio_Unbind, (int slot), {
    var a = Module.webAudio;
    if (a.bound)
        delete a.bound[slot];
});

// Silences the context for good: no sound may follow the end.
EM_JS(void, WebAudio_Close, (void), {
    var a = Module.webAudio;
    if (a && a.context && a.context.state !== 'closed')
        a.context.suspend();
});

signed char FSOUND_SetOutput(int outputtype)
{
    (void)outputtype;                // the browser has one output
    if (initialized)
        return Fail(FSOUND_ERR_BUSY, (signed char)0);
    return Succeed((signed char)1);
}

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags)
{
    (void)flags;
    if (initialized)
        return Fail(FSOUND_ERR_BUSY, (signed char)0);
    if (mixrate < MIN_MIXRATE || mixrate > MAX_MIXRATE || maxsoftwarechannels < 1 ||
        maxsoftwarechannels > MAX_CHANNELS)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    // The context mixes at the output's own rate: the browser resamples.
    if (!WebAudio_Open())
        return Fail(FSOUND_ERR_INIT, (signed char)0);
    num_channels = maxsoftwarechannels;
    initialized = true;
    return Succeed((signed char)1);
}

int FSOUND_GetError(void)
{
    return last_error;
}

signed char FSOUND_Stream_SetBufferSize(int ms)
{
    // The whole soundtrack is decoded ahead: the size is only checked.
    if (ms < 1 || ms > MAX_BUFFER_MS)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    return Succeed((signed char)1);
}

FSOUND_STREAM *FSOUND_Stream_Open(const char *name, unsigned int mode, int offset, int length)
{
    (void)mode;
    FSOUND_STREAM *none = nullptr;
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, none);
    if (!name || offset != 0 || length != 0)
        return Fail(FSOUND_ERR_INVALID_PARAM, none);
    int slot = 0;
    while (slot < MAX_STREAMS && streams[slot].handle)
        slot++;
    if (slot == MAX_STREAMS)
        return Fail(FSOUND_ERR_MEMORY, none);
    int error = WebAudio_Bind(slot, name);
    if (error)
        return Fail(error, none);
    Stream &s = streams[slot];
    s.handle = (next_generation++ << SLOT_BITS) | (uintptr_t)slot;
    s.channel = -1;
    return Succeed((FSOUND_STREAM *)s.handle);
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM *stream)
{
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, -1);
    Stream *s = Lookup(stream);
    if (!s || channel < FSOUND_FREE || channel >= num_channels)
        return Fail(FSOUND_ERR_INVALID_PARAM, -1);
    if (s->channel >= 0)
        return Succeed(s->channel);  // already playing: it keeps its place
    if (channel == FSOUND_FREE) {
        channel = 0;
        while (channel < num_channels && ChannelTaken(channel))
            channel++;
        if (channel == num_channels)
            return Fail(FSOUND_ERR_CHANNEL_ALLOC, -1);
    } else if (ChannelTaken(channel)) {
        return Fail(FSOUND_ERR_CHANNEL_ALLOC, -1);
    }
    // Past its end a buffer source plays silence, as a stream does until stopped.
    WebAudio_Start((int)(s - streams));
    s->channel = channel;
    return Succeed(channel);
}

signed char FSOUND_Stream_Stop(FSOUND_STREAM *stream)
{
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, (signed char)0);
    Stream *s = Lookup(stream);
    if (!s)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    // A buffer source plays once: the next play makes a new one from the start.
    WebAudio_Stop((int)(s - streams));
    s->channel = -1;
    return Succeed((signed char)1);
}

signed char FSOUND_Stream_Close(FSOUND_STREAM *stream)
{
    if (!initialized)
        return Fail(FSOUND_ERR_UNINITIALIZED, (signed char)0);
    Stream *s = Lookup(stream);
    if (!s)
        return Fail(FSOUND_ERR_INVALID_PARAM, (signed char)0);
    int slot = (int)(s - streams);
    WebAudio_Stop(slot);
    WebAudio_Unbind(slot);
    s->handle = 0;
    s->channel = -1;
    return Succeed((signed char)1);
}

void FSOUND_Close(void)
{
    if (!initialized)
        return;
    for (int i = 0; i < MAX_STREAMS; i++) {
        if (streams[i].handle) {
            WebAudio_Stop(i);
            WebAudio_Unbind(i);
            streams[i].handle = 0;
            streams[i].channel = -1;
        }
    }
    WebAudio_Close();
    initialized = false;
    last_error = FSOUND_ERR_NONE;
}
