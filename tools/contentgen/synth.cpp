#include "tools/contentgen/synth.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "tools/contentgen/loudness.h"

namespace content {

namespace {

const float kTwoPi = 6.28318530718f;

float Smooth01(float t)
{
    t = std::min(std::max(t, 0.0f), 1.0f);
    return t * t * (3 - 2 * t);
}

// Sine of a phase in cycles from a table with linear interpolation: the
// bells need two a sample, and the table keeps them cheap and exactly the
// same on every run.
float TableSin(double cycles)
{
    static const std::vector<float> table = [] {
        std::vector<float> t(4097);
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = float(std::sin(2.0 * 3.14159265358979323846 * double(i) / 4096.0));
        return t;
    }();
    double f = (cycles - std::floor(cycles)) * 4096.0;
    size_t i = size_t(f);
    float frac = float(f - double(i));
    return table[i] + (table[i + 1] - table[i]) * frac;
}

// Smooth saturation close to tanh, without its cost.
float SoftClip(float x)
{
    if (x > 3.0f)
        return 1.0f;
    if (x < -3.0f)
        return -1.0f;
    float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}

float MidiHz(float pitch) { return 440.0f * std::pow(2.0f, (pitch - 69.0f) / 12.0f); }

// Seeded white noise in [-1, 1].
struct Noise {
    uint32_t s;
    explicit Noise(uint32_t seed) : s(seed * 2654435761u + 0x9E3779B9u) { if (!s) s = 1; }
    float Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return float(int32_t(s)) * (1.0f / 2147483648.0f);
    }
};

// Band-limited sawtooth (polyBLEP), phase in [0, 1).
struct Saw {
    double phase = 0;
    static float Blep(float t, float dt)
    {
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1.0f;
        }
        if (t > 1.0f - dt) {
            t = (t - 1.0f) / dt;
            return t * t + t + t + 1.0f;
        }
        return 0.0f;
    }
    float Next(float dt)
    {
        float t = float(phase);
        float v = 2.0f * t - 1.0f - Blep(t, dt);
        phase += dt;
        if (phase >= 1.0)
            phase -= 1.0;
        return v;
    }
    // Pulse of the given width from the same phase: saw minus shifted saw.
    float Pulse(float dt, float width)
    {
        float t = float(phase);
        float t2 = t + width;
        if (t2 >= 1.0f)
            t2 -= 1.0f;
        float a = 2.0f * t - 1.0f - Blep(t, dt);
        float b = 2.0f * t2 - 1.0f - Blep(t2, dt);
        phase += dt;
        if (phase >= 1.0)
            phase -= 1.0;
        return 0.5f * (a - b);
    }
};

// State-variable filter (trapezoidal), stable under fast cutoff changes.
struct Svf {
    float ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
    void Set(float fc, float q, float rate)
    {
        fc = std::min(std::max(fc, 10.0f), 0.45f * rate);
        float g = std::tan(3.14159265f * fc / rate);
        k = 1.0f / q;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    // Returns low pass; band and high through the pointers when given.
    float Run(float x, float *band = nullptr, float *high = nullptr)
    {
        float v3 = x - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        if (band)
            *band = v1;
        if (high)
            *high = x - k * v1 - v2;
        return v2;
    }
};

// The buses every voice writes into.
struct Mix {
    int rate;
    size_t frames;
    std::vector<float> l, r, rev_l, rev_r, del_l, del_r;
    Mix(int rate_, size_t n) : rate(rate_), frames(n), l(n), r(n), rev_l(n), rev_r(n), del_l(n), del_r(n) {}

    // Adds one frame at index i with equal-power pan (-1 left .. 1 right).
    void Put(size_t i, float sl, float sr, float reverb, float delay)
    {
        if (i >= frames)
            return;
        l[i] += sl;
        r[i] += sr;
        rev_l[i] += sl * reverb;
        rev_r[i] += sr * reverb;
        del_l[i] += sl * delay;
        del_r[i] += sr * delay;
    }
};

void PanGains(float pan, float *gl, float *gr)
{
    float a = (pan + 1.0f) * 0.25f * 3.14159265f;
    *gl = std::cos(a) * 1.41421356f;
    *gr = std::sin(a) * 1.41421356f;
}

// A short linear fade over the last few milliseconds of every voice, so no
// voice ever stops on a step.
float TailFade(size_t i, size_t n, int rate)
{
    size_t fade = size_t(rate) / 200;
    return i + fade >= n ? float(n - i) / float(fade) : 1.0f;
}

float AttackRamp(float t, float attack) { return t < attack ? t / attack : 1.0f; }

struct Voicing {
    float level, pan, reverb, delay;
};

void Kick(Mix &m, size_t at, float vel, uint32_t seed)
{
    Noise noise(seed);
    const float rate = float(m.rate);
    size_t n = size_t(0.5f * rate);
    double phase = 0;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        float f = 46.0f + 95.0f * std::exp(-t / 0.04f) + 170.0f * std::exp(-t / 0.004f);
        phase += f / rate;
        float body = std::sin(kTwoPi * float(phase - std::floor(phase))) * std::exp(-t / 0.30f) * AttackRamp(t, 0.0015f);
        float click = noise.Next() * std::exp(-t / 0.0015f) * 0.2f;
        float y = std::tanh(1.4f * (body + click)) * 0.58f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, y, y, 0.03f, 0.0f);
    }
}

void Snare(Mix &m, size_t at, float vel, uint32_t seed)
{
    Noise noise(seed);
    const float rate = float(m.rate);
    size_t n = size_t(0.45f * rate);
    Svf band, high;
    band.Set(3200.0f, 0.7f, rate);
    high.Set(1200.0f, 0.7f, rate);
    double p1 = 0, p2 = 0;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        p1 += 185.0f * (1.0f + 0.3f * std::exp(-t / 0.01f)) / rate;
        p2 += 330.0f / rate;
        float body = (0.6f * std::sin(kTwoPi * float(p1 - std::floor(p1))) + 0.4f * std::sin(kTwoPi * float(p2 - std::floor(p2)))) *
                     std::exp(-t / 0.07f);
        float nz = noise.Next(), b = 0, h = 0;
        band.Run(nz, &b);
        high.Run(nz, nullptr, &h);
        float rattle = (0.8f * b + 0.35f * h) * std::exp(-t / 0.13f);
        float y = (0.55f * body + rattle) * AttackRamp(t, 0.001f) * 0.58f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, y, y, 0.22f, 0.0f);
    }
}

void Clap(Mix &m, size_t at, float vel, uint32_t seed)
{
    Noise noise(seed);
    const float rate = float(m.rate);
    size_t n = size_t(0.4f * rate);
    Svf band;
    band.Set(1300.0f, 0.9f, rate);
    float gl, gr;
    PanGains(-0.1f, &gl, &gr);
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate, env = 0;
        for (int k = 0; k < 3; ++k)
            if (t >= 0.01f * k)
                env += std::exp(-(t - 0.01f * k) / 0.005f);
        if (t >= 0.02f)
            env += 0.7f * std::exp(-(t - 0.02f) / 0.11f);
        float b = 0;
        band.Run(noise.Next(), &b);
        float y = b * env * 0.75f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, y * gl, y * gr, 0.25f, 0.0f);
    }
}

// Hats and crash: six detuned square waves and noise, high passed.
void Metal(Mix &m, size_t at, float vel, uint32_t seed, float tau, float cutoff, float level, float pan, float reverb)
{
    static const float freqs[6] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};
    Noise noise(seed);
    const float rate = float(m.rate);
    size_t n = size_t(std::min(6.0f * tau, 4.0f) * rate);
    Svf h1, h2;
    h1.Set(cutoff, 0.7f, rate);
    h2.Set(cutoff, 0.7f, rate);
    double ph[6] = {0, 0.13, 0.29, 0.41, 0.57, 0.73};
    float gl, gr;
    PanGains(pan, &gl, &gr);
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate, metal = 0;
        for (int k = 0; k < 6; ++k) {
            ph[k] += 1.8 * freqs[k] / rate;
            ph[k] -= std::floor(ph[k]);
            metal += ph[k] < 0.5 ? 1.0f : -1.0f;
        }
        float x = 0.08f * metal + 0.7f * noise.Next(), hi = 0, hi2 = 0;
        h1.Run(x, nullptr, &hi);
        h2.Run(hi, nullptr, &hi2);
        float y = hi2 * std::exp(-t / tau) * AttackRamp(t, 0.001f) * level * vel * TailFade(i, n, m.rate);
        m.Put(at + i, y * gl, y * gr, reverb, 0.0f);
    }
}

// A noise sweep rising into the next section.
void Rise(Mix &m, size_t at, float length, float vel, uint32_t seed)
{
    Noise nl(seed), nr(seed + 1);
    const float rate = float(m.rate);
    size_t hold = size_t(length * rate), n = hold + size_t(0.02f * rate);
    Svf bl, br;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate, u = std::min(t / length, 1.0f);
        if (i % 16 == 0) {
            float fc = 300.0f * std::pow(20.0f, u);
            bl.Set(fc, 1.3f, rate);
            br.Set(fc * 1.05f, 1.3f, rate);
        }
        float a = 0, b = 0;
        bl.Run(nl.Next(), &a);
        br.Run(nr.Next(), &b);
        float env = u * u * (i < hold ? 1.0f : float(n - i) / float(n - hold));
        float g = 0.35f * vel * env;
        m.Put(at + i, a * g, b * g, 0.3f, 0.0f);
    }
}

void Bass(Mix &m, size_t at, float hold, int pitch, float vel)
{
    const float rate = float(m.rate), f = MidiHz(float(pitch));
    size_t n = size_t((hold + 0.2f) * rate);
    Saw saw;
    double sub = 0;
    Svf f1, f2;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        if (i % 8 == 0) {
            float fc = 110.0f + 1.6f * f + 1500.0f * std::exp(-t / 0.09f) * vel;
            f1.Set(fc, 0.85f, rate);
            f2.Set(fc, 0.6f, rate);
        }
        sub += 0.5 * f / rate;
        sub -= std::floor(sub);
        float x = 0.7f * saw.Next(f / rate) + 0.45f * std::sin(kTwoPi * float(sub));
        float y = f2.Run(f1.Run(x));
        float env = AttackRamp(t, 0.004f) * (0.7f + 0.3f * std::exp(-t / 0.25f));
        if (t > hold)
            env *= std::exp(-(t - hold) / 0.025f);
        float out = std::tanh(1.3f * y * env) * 0.52f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, out, out, 0.02f, 0.0f);
    }
}

void Pad(Mix &m, size_t at, float hold, int pitch, float vel, uint32_t seed)
{
    const float rate = float(m.rate), f = MidiHz(float(pitch));
    const float release = 0.9f;
    size_t n = size_t((hold + 4 * release) * rate);
    Saw s[3];
    Noise start(seed);
    static const float detune[3] = {-9.0f, 0.5f, 8.0f};
    float dt[3];
    for (int k = 0; k < 3; ++k) {
        s[k].phase = 0.5 * (start.Next() + 1.0f);
        dt[k] = f * std::pow(2.0f, detune[k] / 1200.0f) / rate;
    }
    Svf fl, fr;
    const float fall = std::exp(-1.0f / (release * rate));
    float tail = 1.0f;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        if (i % 16 == 0) {
            float fc = 650.0f + 0.9f * f + 250.0f * std::sin(kTwoPi * 0.23f * t + float(pitch));
            fl.Set(fc, 0.7f, rate);
            fr.Set(fc * 1.04f, 0.7f, rate);
        }
        float a = s[0].Next(dt[0]), b = s[1].Next(dt[1]), c = s[2].Next(dt[2]);
        float l = fl.Run(a + 0.5f * b), r = fr.Run(c + 0.5f * b);
        float u = std::min(t / 0.35f, 1.0f);
        float env = u * u * (3 - 2 * u);
        if (t > hold)
            tail *= fall;
        float g = env * tail * 0.085f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, l * g, r * g, 0.35f, 0.0f);
    }
}

// Brass: sawtooths with a filter that opens on the attack and settles,
// and a small upward scoop of pitch.
void BrassVoice(Mix &m, size_t at, float hold, int pitch, float vel, uint32_t seed, int oscillators, float bright,
                float attack, float level, float vibrato_cents, float pan, float reverb, float delay)
{
    const float rate = float(m.rate), f = MidiHz(float(pitch));
    const float release = 0.11f;
    size_t n = size_t((hold + 6 * release) * rate);
    Saw s[3];
    Noise noise(seed);
    for (int k = 0; k < 3; ++k)
        s[k].phase = 0.5 * (noise.Next() + 1.0f);
    const float spread[3] = {std::pow(2.0f, -6.0f / 1200.0f), 1.0f, std::pow(2.0f, 6.0f / 1200.0f)};
    Svf fl, fr, breath;
    breath.Set(1800.0f, 1.5f, rate);
    float gl, gr;
    PanGains(pan, &gl, &gr);
    const float settle = std::exp(-1.0f / (0.2f * rate)), fall = std::exp(-1.0f / (release * rate));
    float decay = 1.0f, tail = 1.0f, dt = f / rate;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        if (i % 8 == 0) {
            // Filter, scoop and vibrato move slowly enough to follow at a
            // control rate.
            float fe = t < 0.06f ? t / 0.06f : 0.55f + 0.45f * std::exp(-(t - 0.06f) / 0.3f);
            float fc = 1.3f * f + bright * fe * vel;
            fl.Set(fc, 0.95f, rate);
            fr.Set(fc * 1.03f, 0.95f, rate);
            float cents = -30.0f * std::exp(-t / 0.035f);
            float vib = vibrato_cents * Smooth01((t - 0.25f) / 0.4f) * std::sin(kTwoPi * 5.3f * t);
            dt = f * std::pow(2.0f, (cents + vib) / 1200.0f) / rate;
        }
        float l, r;
        if (oscillators == 1) {
            float x = 0.65f * s[0].Next(dt);
            s[1].phase = s[0].phase;
            x += 0.35f * s[1].Pulse(dt, 0.3f);
            l = r = x;
        } else {
            float a = s[0].Next(dt * spread[0]), b = s[1].Next(dt), c = s[2].Next(dt * spread[2]);
            l = a + 0.5f * b;
            r = c + 0.5f * b;
        }
        l = fl.Run(l);
        r = fr.Run(r);
        if (t < 0.4f) {
            float bn = 0;
            breath.Run(noise.Next(), &bn);
            float air = bn * 0.05f * std::exp(-t / 0.06f);
            l += air;
            r += air;
        }
        decay *= settle;
        if (t > hold)
            tail *= fall;
        float env = AttackRamp(t, attack) * (0.88f + 0.12f * decay) * tail;
        float g = env * vel * level * TailFade(i, n, m.rate);
        l = SoftClip(1.5f * l * g) / 1.5f;
        r = SoftClip(1.5f * r * g) / 1.5f;
        m.Put(at + i, l * gl, r * gr, reverb, delay);
    }
}

void Bell(Mix &m, size_t at, float hold, int pitch, float vel)
{
    const float rate = float(m.rate), f = MidiHz(float(pitch));
    size_t n = size_t(std::min(hold + 1.3f, 2.0f) * rate);
    double pc = 0, pm = 0;
    const double dc = f / rate, dm = 3.49 * f / rate;
    float gl, gr;
    PanGains(pitch % 2 ? 0.4f : -0.4f, &gl, &gr);
    const float index_fall = std::exp(-1.0f / (0.3f * rate)), amp_fall = std::exp(-1.0f / (0.6f * rate));
    float index = 2.0f, amp = 1.0f;
    for (size_t i = 0; i < n; ++i) {
        float t = float(i) / rate;
        float y = TableSin(pc + (index + 0.3f) * TableSin(pm) / kTwoPi);
        pc += dc;
        pm += dm;
        index *= index_fall;
        amp *= amp_fall;
        float g = y * AttackRamp(t, 0.002f) * amp * 0.085f * vel * TailFade(i, n, m.rate);
        m.Put(at + i, g * gl, g * gr, 0.4f, 0.25f);
    }
}

// Reverb: eight damped combs and four all-passes a side, the right side
// tuned a little apart for width.
struct Reverb {
    struct Comb {
        std::vector<float> buf;
        size_t i = 0;
        float store = 0;
        float Run(float x, float feedback, float damp)
        {
            float y = buf[i];
            store = y * (1 - damp) + store * damp;
            buf[i] = x + store * feedback;
            if (++i == buf.size())
                i = 0;
            return y;
        }
    };
    struct AllPass {
        std::vector<float> buf;
        size_t i = 0;
        float Run(float x)
        {
            float b = buf[i];
            float y = -x + b;
            buf[i] = x + b * 0.5f;
            if (++i == buf.size())
                i = 0;
            return y;
        }
    };
    Comb comb[2][8];
    AllPass ap[2][4];
    Reverb(int rate)
    {
        static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int aps[4] = {556, 441, 341, 225};
        float k = float(rate) / 44100.0f;
        for (int s = 0; s < 2; ++s) {
            for (int c = 0; c < 8; ++c)
                comb[s][c].buf.assign(size_t(float(combs[c] + 23 * s) * k), 0.0f);
            for (int a = 0; a < 4; ++a)
                ap[s][a].buf.assign(size_t(float(aps[a] + 23 * s) * k), 0.0f);
        }
    }
    void Run(const std::vector<float> &in_l, const std::vector<float> &in_r, std::vector<float> *out_l,
             std::vector<float> *out_r)
    {
        const float feedback = 0.84f, damp = 0.3f, gain = 0.015f;
        for (size_t i = 0; i < in_l.size(); ++i) {
            float x = (in_l[i] + in_r[i]) * gain;
            float o[2] = {0, 0};
            for (int s = 0; s < 2; ++s) {
                for (int c = 0; c < 8; ++c)
                    o[s] += comb[s][c].Run(x, feedback, damp);
                for (int a = 0; a < 4; ++a)
                    o[s] = ap[s][a].Run(o[s]);
            }
            (*out_l)[i] += o[0] * 2.2f;
            (*out_r)[i] += o[1] * 2.2f;
        }
    }
};

// Ping-pong delay of three sixteenths at the nominal tempo, darkened on
// each repeat.
void PingPong(const Mix &m, std::vector<float> *out_l, std::vector<float> *out_r)
{
    size_t d = size_t(0.45 * m.rate);
    std::vector<float> bl(d, 0.0f), br(d, 0.0f);
    float lpl = 0, lpr = 0, a = 0.35f;
    size_t w = 0;
    for (size_t i = 0; i < m.frames; ++i) {
        float yl = bl[w], yr = br[w];
        lpl += a * (yl - lpl);
        lpr += a * (yr - lpr);
        bl[w] = 0.5f * (m.del_l[i] + m.del_r[i]) + 0.38f * lpr;
        br[w] = 0.38f * lpl;
        if (++w == d)
            w = 0;
        (*out_l)[i] += yl;
        (*out_r)[i] += yr;
    }
}

} // namespace

Audio RenderSong(const Song &song, int rate)
{
    size_t frames = size_t(std::lround(song.length * rate));
    Mix m(rate, frames);
    uint32_t seed = 1;
    for (const NoteEvent &e : song.notes) {
        ++seed;
        if (e.start < 0 || e.start >= song.length)
            continue;
        size_t at = size_t(std::lround(e.start * rate));
        float hold = float(e.length), vel = e.velocity;
        switch (e.voice) {
        case Voice::Kick: Kick(m, at, vel, seed); break;
        case Voice::Snare: Snare(m, at, vel, seed); break;
        case Voice::Clap: Clap(m, at, vel, seed); break;
        case Voice::Hat: Metal(m, at, vel, seed, 0.035f, 7000.0f, 0.34f, 0.25f, 0.05f); break;
        case Voice::OpenHat: Metal(m, at, vel, seed, 0.22f, 6500.0f, 0.26f, 0.25f, 0.08f); break;
        case Voice::Crash: Metal(m, at, vel, seed, 1.1f, 4500.0f, 0.26f, -0.2f, 0.2f); break;
        case Voice::Rise: Rise(m, at, hold, vel, seed); break;
        case Voice::Bass: Bass(m, at, hold, e.pitch, vel); break;
        case Voice::Pad: Pad(m, at, hold, e.pitch, vel, seed); break;
        case Voice::Brass: BrassVoice(m, at, hold, e.pitch, vel, seed, 3, 2400.0f, 0.025f, 0.11f, 0.0f, 0.0f, 0.25f, 0.0f); break;
        case Voice::Lead: BrassVoice(m, at, hold, e.pitch, vel, seed, 1, 3200.0f, 0.018f, 0.34f, 16.0f, 0.0f, 0.2f, 0.22f); break;
        case Voice::Horn: BrassVoice(m, at, hold, e.pitch, vel, seed, 1, 1300.0f, 0.06f, 0.30f, 10.0f, -0.15f, 0.35f, 0.12f); break;
        case Voice::Bell: Bell(m, at, hold, e.pitch, vel); break;
        case Voice::Count: break;
        }
    }
    Audio out;
    out.rate = rate;
    out.left = m.l;
    out.right = m.r;
    Reverb reverb(rate);
    reverb.Run(m.rev_l, m.rev_r, &out.left, &out.right);
    PingPong(m, &out.left, &out.right);
    // Take out anything below hearing, then fade out as the score says.
    float hp = 1.0f - std::exp(-kTwoPi * 22.0f / float(rate));
    float lo_l = 0, lo_r = 0;
    for (size_t i = 0; i < frames; ++i) {
        lo_l += hp * (out.left[i] - lo_l);
        lo_r += hp * (out.right[i] - lo_r);
        float t = float(double(i) / rate);
        float g = 1.0f;
        if (t >= song.fade_to)
            g = 0.0f;
        else if (t > song.fade_from) {
            float u = float((t - song.fade_from) / (song.fade_to - song.fade_from));
            g = 0.5f * (1.0f + std::cos(3.14159265f * u));
        }
        out.left[i] = (out.left[i] - lo_l) * g;
        out.right[i] = (out.right[i] - lo_r) * g;
    }
    return out;
}

namespace {

// Gain that keeps the oversampled peaks under the ceiling, looking 5 ms
// ahead and letting go over about 80 ms.
void Limit(Audio *a, double ceiling)
{
    size_t n = a->left.size();
    std::vector<float> pl = OversampledPeaks(a->left.data(), n), pr = OversampledPeaks(a->right.data(), n);
    std::vector<float> need(n);
    for (size_t i = 0; i < n; ++i) {
        float p = std::max(pl[i], pr[i]);
        need[i] = p > ceiling ? float(ceiling / p) : 1.0f;
    }
    const size_t L = size_t(a->rate) / 200;
    // Smallest need within L samples either side.
    std::vector<float> low(n);
    std::deque<size_t> q;
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
        while (next < n && next <= i + L) {
            while (!q.empty() && need[q.back()] >= need[next])
                q.pop_back();
            q.push_back(next++);
        }
        while (q.front() + L < i)
            q.pop_front();
        low[i] = need[q.front()];
    }
    // Slow release, never above what the window needs.
    const float rel = 1.0f - std::exp(-1.0f / (0.08f * float(a->rate)));
    float g = 1.0f;
    for (size_t i = 0; i < n; ++i) {
        g = std::min(low[i], g + (1.0f - g) * rel);
        low[i] = g;
    }
    // A moving average narrower than the window smooths the steps without
    // ever rising above the need of any sample it covers.
    std::vector<double> sum(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i)
        sum[i + 1] = sum[i] + low[i];
    const size_t h = L / 2;
    for (size_t i = 0; i < n; ++i) {
        size_t a0 = i >= h ? i - h : 0, a1 = std::min(n, i + h + 1);
        float gain = float((sum[a1] - sum[a0]) / double(a1 - a0));
        a->left[i] *= gain;
        a->right[i] *= gain;
    }
}

void Scale(Audio *a, double db)
{
    float k = float(std::pow(10.0, db / 20.0));
    for (float &v : a->left)
        v *= k;
    for (float &v : a->right)
        v *= k;
}

} // namespace

MasterReport Master(Audio *a, double target_lufs, double ceiling_dbtp)
{
    size_t n = a->left.size();
    double ceiling = std::pow(10.0, ceiling_dbtp / 20.0);
    double total = 0;
    // Limiting lowers the loudness a little; two rounds bring it back.
    for (int round = 0; round < 3; ++round) {
        double lufs = IntegratedLoudness(a->left.data(), a->right.data(), n, a->rate);
        double gain = target_lufs - lufs;
        if (round > 0 && std::fabs(gain) < 0.05)
            break;
        Scale(a, gain);
        total += gain;
        Limit(a, ceiling);
    }
    MasterReport r;
    r.loudness = IntegratedLoudness(a->left.data(), a->right.data(), n, a->rate);
    r.true_peak = ToDb(TruePeak(a->left.data(), a->right.data(), n));
    r.gain_db = total;
    return r;
}

} // namespace content
