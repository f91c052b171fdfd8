#include "tools/contentgen/score.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace content {

namespace {

struct Chord {
    int root = 0; // pitch class
    std::vector<int> intervals;
};

struct Part {
    int bars = -1; // -1: the bars left over
    std::map<std::string, std::string> tracks;
    int line = 0;
};

struct Section {
    std::string name;
    double at = 0;
    std::string fill;
    std::vector<Part> parts;
    int line = 0;
};

struct MelodyNote {
    int pitch; // -1 rest
    int steps;
};

struct Score {
    double tempo = 0, start = 0, end = 0, fade_from = 0, fade_to = 0;
    std::map<std::string, std::vector<Chord>> progs;
    std::map<std::string, std::map<std::string, std::string>> drums;
    std::map<std::string, std::string> bass, bell, chords;
    std::map<std::string, std::vector<MelodyNote>> melodies;
    std::vector<Section> sections;
};

std::vector<std::string> Split(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

bool ParseNumber(const std::string &s, double *v)
{
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0' && std::isfinite(*v);
}

bool ParseChord(const std::string &s, Chord *c)
{
    static const int letter[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (s.empty() || s[0] < 'A' || s[0] > 'G')
        return false;
    c->root = letter[s[0] - 'A'];
    size_t i = 1;
    if (i < s.size() && (s[i] == 'b' || s[i] == '#')) {
        c->root = (c->root + (s[i] == '#' ? 1 : 11)) % 12;
        ++i;
    }
    return ChordIntervals(s.substr(i), &c->intervals);
}

const char kSteps = 16;

bool CheckSteps(const std::string &s, const std::string &allowed)
{
    if (s.size() != size_t(kSteps))
        return false;
    for (char ch : s)
        if (allowed.find(ch) == std::string::npos)
            return false;
    return true;
}

// Semitones above the root for a chord-tone character.
int ToneOf(const Chord &c, char ch)
{
    const std::vector<int> &iv = c.intervals;
    switch (ch) {
    case '1': return 0;
    case '3': return iv.size() > 1 ? iv[1] : 4;
    case '5': return iv.size() > 2 ? iv[2] : 7;
    case '7': return iv.size() > 3 && iv[3] < 12 ? iv[3] : 12;
    case '8': return 12;
    case '9': return 14;
    default: return 0;
    }
}

// The chord's root placed in [lo, lo + 12).
// Steps a note struck at step s lasts: itself and the '-' that follow it.
int HeldSteps(const std::string &rhythm, int s, int steps)
{
    int len = 1;
    while (s + len < steps && rhythm[size_t(s + len)] == '-')
        ++len;
    return len;
}

int Place(int pitch_class, int lo)
{
    int p = lo + ((pitch_class - lo) % 12 + 12) % 12;
    return p;
}

// Pad voicing: every chord tone in one octave from A3, then the second
// highest dropped an octave to open the chord up.
std::vector<int> PadVoicing(const Chord &c)
{
    std::vector<int> v;
    for (int iv : c.intervals)
        v.push_back(Place(c.root + iv, 57));
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    if (v.size() >= 4)
        v[v.size() - 2] -= 12;
    std::sort(v.begin(), v.end());
    return v;
}

// Brass section voicing: root, third, fifth and seventh in the octave from C4.
std::vector<int> BrassVoicing(const Chord &c)
{
    std::vector<int> v;
    for (size_t i = 0; i < c.intervals.size() && i < 4; ++i)
        v.push_back(Place(c.root + c.intervals[i], 60));
    std::sort(v.begin(), v.end());
    return v;
}

struct Layout {
    const Score &score;
    Song *song;
    std::string *err;

    void Add(double t, double len, int pitch, float vel, Voice v)
    {
        song->notes.push_back(NoteEvent{t, len, pitch, vel, v});
    }

    bool Fail(int line, const std::string &what)
    {
        *err = "score line " + std::to_string(line) + ": " + what;
        return false;
    }

    // One bar (or the first `steps` steps of one) of every track of a part.
    bool Bar(const Part &p, const Chord &chord, const Chord *prev_chord, double t0, double step, int steps,
             const std::string &drum_override, bool first_of_part, std::map<std::string, std::pair<double, int>> *open_ties)
    {
        for (const auto &kv : p.tracks) {
            const std::string &track = kv.first, &name = kv.second;
            if (track == "prog" || track == "lead" || track == "horn")
                continue;
            if (track == "crash") {
                if (first_of_part && name == "1")
                    Add(t0, 0, 0, 0.9f, Voice::Crash);
                continue;
            }
            if (track == "drums") {
                std::string use = drum_override.empty() ? name : drum_override;
                auto it = score.drums.find(use);
                if (it == score.drums.end())
                    return Fail(p.line, "no drum pattern " + use);
                // A short bar plays the end of a fill, so it still leads in.
                int skip = drum_override.empty() ? 0 : kSteps - steps;
                for (const auto &line : it->second) {
                    static const std::map<std::string, Voice> voices = {
                        {"kick", Voice::Kick}, {"snare", Voice::Snare}, {"clap", Voice::Clap}, {"hat", Voice::Hat},
                        {"ohat", Voice::OpenHat}, {"crash", Voice::Crash}, {"rise", Voice::Rise}};
                    Voice v = voices.at(line.first);
                    for (int s = 0; s < steps; ++s) {
                        char ch = line.second[size_t(s + skip)];
                        if (ch == '.')
                            continue;
                        float vel = ch == 'X' ? 1.0f : ch == 'g' ? 0.35f : 0.8f;
                        double len = v == Voice::Rise ? (steps - s) * step : step;
                        Add(t0 + s * step, len, 0, vel, v);
                    }
                }
                continue;
            }
            if (track == "bass" || track == "bell") {
                const auto &table = track == "bass" ? score.bass : score.bell;
                auto it = table.find(name);
                if (it == table.end())
                    return Fail(p.line, "no " + track + " rhythm " + name);
                const std::string &r = it->second;
                for (int s = 0; s < steps; ++s) {
                    char ch = r[size_t(s)];
                    if (ch == '.' || ch == '-')
                        continue;
                    int len = HeldSteps(r, s, steps);
                    if (track == "bass") {
                        int pitch = Place(chord.root, 33) + ToneOf(chord, ch);
                        Add(t0 + s * step, len * step, pitch, 0.8f, Voice::Bass);
                    } else {
                        int pitch = Place(chord.root, 72) + ToneOf(chord, ch);
                        Add(t0 + s * step, len * step, pitch, 0.7f, Voice::Bell);
                    }
                }
                continue;
            }
            if (track == "pad" || track == "brass") {
                auto it = score.chords.find(name);
                if (it == score.chords.end())
                    return Fail(p.line, "no chord rhythm " + name);
                const std::string &r = it->second;
                Voice v = track == "pad" ? Voice::Pad : Voice::Brass;
                std::vector<int> voicing = track == "pad" ? PadVoicing(chord) : BrassVoicing(chord);
                for (int s = 0; s < steps; ++s) {
                    char ch = r[size_t(s)];
                    if (ch == '.' || ch == '-')
                        continue;
                    int len = HeldSteps(r, s, steps);
                    bool same = prev_chord && prev_chord->root == chord.root && prev_chord->intervals == chord.intervals;
                    auto tie = open_ties->find(track);
                    if (ch == '~' && s == 0 && same && tie != open_ties->end()) {
                        // Lengthen the chord struck earlier instead of striking again.
                        ExtendLast(tie->second, len * step);
                        continue;
                    }
                    size_t first = song->notes.size();
                    for (int pitch : voicing)
                        Add(t0 + s * step, len * step, pitch, v == Voice::Pad ? 0.7f : 0.75f, v);
                    (*open_ties)[track] = {double(first), int(voicing.size())};
                }
                continue;
            }
            return Fail(p.line, "unknown voice " + track);
        }
        return true;
    }

    void ExtendLast(std::pair<double, int> tie, double extra)
    {
        size_t first = size_t(tie.first);
        for (int k = 0; k < tie.second; ++k)
            song->notes[first + size_t(k)].length += extra;
    }

    bool Melody(const Part &p, const std::string &track, double t0, double step, int total_steps)
    {
        auto kv = p.tracks.find(track);
        if (kv == p.tracks.end())
            return true;
        auto it = score.melodies.find(kv->second);
        if (it == score.melodies.end())
            return Fail(p.line, "no melody " + kv->second);
        Voice v = track == "lead" ? Voice::Lead : Voice::Horn;
        int s = 0;
        while (s < total_steps) {
            for (const MelodyNote &n : it->second) {
                if (s >= total_steps)
                    break;
                int len = std::min(n.steps, total_steps - s);
                if (n.pitch >= 0)
                    Add(t0 + s * step, len * step, n.pitch, 0.8f, v);
                s += n.steps;
            }
        }
        return true;
    }

    bool Run()
    {
        const double beat0 = 60.0 / score.tempo;
        song->length = score.end - score.start;
        song->fade_from = score.fade_from - score.start;
        song->fade_to = score.fade_to - score.start;
        for (size_t si = 0; si < score.sections.size(); ++si) {
            const Section &sec = score.sections[si];
            double t0 = sec.at - score.start;
            double t1 = (si + 1 < score.sections.size() ? score.sections[si + 1].at : score.end) - score.start;
            if (t1 <= t0)
                return Fail(sec.line, "section " + sec.name + " does not come after the one before");
            int beats = std::max(1, int(std::lround((t1 - t0) / beat0)));
            double beat = (t1 - t0) / beats, step = beat / 4;
            song->sections.push_back(SectionTiming{sec.name, t0, t1, beats, beat});
            int full = beats / 4, rest = beats % 4;
            int fixed = 0, stars = 0;
            for (const Part &p : sec.parts) {
                if (p.bars < 0)
                    ++stars;
                else
                    fixed += p.bars;
            }
            if (stars > 1 || fixed > full || (stars == 0 && fixed != full))
                return Fail(sec.line, "the parts of " + sec.name + " do not fill its " + std::to_string(full) + " bars");
            int bar = 0;
            double t = t0;
            for (size_t pi = 0; pi < sec.parts.size(); ++pi) {
                const Part &p = sec.parts[pi];
                int bars = p.bars < 0 ? full - fixed : p.bars;
                bool last = pi + 1 == sec.parts.size();
                // The short bar at the end belongs to the last part.
                int total_steps = bars * kSteps + (last ? rest * 4 : 0);
                auto prog = score.progs.find(p.tracks.count("prog") ? p.tracks.at("prog") : "");
                if (prog == score.progs.end())
                    return Fail(p.line, "part needs a known prog=");
                std::map<std::string, std::pair<double, int>> ties;
                const Chord *prev = nullptr;
                int nbars = bars + (last && rest ? 1 : 0);
                for (int b = 0; b < nbars; ++b) {
                    const Chord &chord = prog->second[size_t(b) % prog->second.size()];
                    int steps = b < bars ? kSteps : rest * 4;
                    bool final_bar = last && b == nbars - 1;
                    std::string drums = final_bar && !sec.fill.empty() && p.tracks.count("drums") ? sec.fill : "";
                    if (!Bar(p, chord, prev, t + b * kSteps * step, step, steps, drums, b == 0, &ties))
                        return false;
                    prev = &chord;
                }
                if (!Melody(p, "lead", t, step, total_steps) || !Melody(p, "horn", t, step, total_steps))
                    return false;
                t += total_steps * step;
                bar += nbars;
            }
        }
        std::stable_sort(song->notes.begin(), song->notes.end(),
                         [](const NoteEvent &a, const NoteEvent &b) { return a.start < b.start; });
        return true;
    }
};

} // namespace

bool ChordIntervals(const std::string &q, std::vector<int> *iv)
{
    static const std::map<std::string, std::vector<int>> table = {
        {"", {0, 4, 7}},           {"m", {0, 3, 7}},          {"7", {0, 4, 7, 10}},      {"maj7", {0, 4, 7, 11}},
        {"m7", {0, 3, 7, 10}},     {"m9", {0, 3, 7, 10, 14}}, {"maj9", {0, 4, 7, 11, 14}}, {"9", {0, 4, 7, 10, 14}},
        {"sus4", {0, 5, 7}},       {"7sus4", {0, 5, 7, 10}},  {"6", {0, 4, 7, 9}},       {"add9", {0, 4, 7, 14}},
    };
    auto it = table.find(q);
    if (it == table.end())
        return false;
    *iv = it->second;
    return true;
}

int NoteNumber(const std::string &s)
{
    static const int letter[7] = {9, 11, 0, 2, 4, 5, 7};
    if (s.size() < 2 || s[0] < 'A' || s[0] > 'G')
        return -1;
    int pc = letter[s[0] - 'A'];
    size_t i = 1;
    if (s[i] == '#' || s[i] == 'b') {
        pc += s[i] == '#' ? 1 : -1;
        ++i;
    }
    if (i + 1 != s.size() || s[i] < '0' || s[i] > '8')
        return -1;
    return 12 * (s[i] - '0' + 1) + pc;
}

bool ParseScore(const std::string &text, Song *song, std::string *err)
{
    Score sc;
    std::istringstream in(text);
    std::string raw;
    int lineno = 0;
    std::string open_drums;  // drum pattern whose voice lines follow
    Section *open_section = nullptr;
    auto fail = [&](const std::string &what) {
        *err = "score line " + std::to_string(lineno) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineno;
        // A comment starts with '#' at the start of a line or after a space
        // (a sharp inside a note or chord name is not one).
        size_t hash = 0;
        while ((hash = raw.find('#', hash)) != std::string::npos && hash > 0 && raw[hash - 1] != ' ' && raw[hash - 1] != '\t')
            ++hash;
        std::string line = raw.substr(0, hash);
        std::vector<std::string> w = Split(line);
        if (w.empty())
            continue;
        bool indented = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (indented && !open_drums.empty() && w[0] != "part") {
            static const char *const voices[] = {"kick", "snare", "clap", "hat", "ohat", "crash", "rise"};
            if (w.size() != 2 || std::find(std::begin(voices), std::end(voices), w[0]) == std::end(voices) ||
                !CheckSteps(w[1], ".xXg"))
                return fail("drum line must be a voice and 16 steps of . x X g");
            sc.drums[open_drums][w[0]] = w[1];
            continue;
        }
        open_drums.clear();
        if (indented && w[0] == "part") {
            if (!open_section)
                return fail("part outside a section");
            Part p;
            p.line = lineno;
            if (w.size() < 2)
                return fail("part needs a bar count");
            if (w[1] != "*") {
                double b;
                if (!ParseNumber(w[1], &b) || b < 1 || b != std::floor(b))
                    return fail("bar count must be a whole number or *");
                p.bars = int(b);
            }
            for (size_t i = 2; i < w.size(); ++i) {
                size_t eq = w[i].find('=');
                if (eq == std::string::npos)
                    return fail("expected voice=name, got " + w[i]);
                p.tracks[w[i].substr(0, eq)] = w[i].substr(eq + 1);
            }
            open_section->parts.push_back(p);
            continue;
        }
        const std::string &kw = w[0];
        double v;
        if ((kw == "tempo" || kw == "start" || kw == "end") && w.size() == 2 && ParseNumber(w[1], &v)) {
            (kw == "tempo" ? sc.tempo : kw == "start" ? sc.start : sc.end) = v;
        } else if (kw == "fade" && w.size() == 3 && ParseNumber(w[1], &sc.fade_from) && ParseNumber(w[2], &sc.fade_to)) {
        } else if (kw == "prog" && w.size() >= 3) {
            std::vector<Chord> chords;
            for (size_t i = 2; i < w.size(); ++i) {
                Chord c;
                if (!ParseChord(w[i], &c))
                    return fail("unknown chord " + w[i]);
                chords.push_back(c);
            }
            sc.progs[w[1]] = chords;
        } else if (kw == "drums" && w.size() == 2) {
            open_drums = w[1];
            sc.drums[w[1]];
        } else if ((kw == "bass" || kw == "bell") && w.size() == 3) {
            if (!CheckSteps(w[2], "13579 8-.") || w[2][0] == '-')
                return fail(kw + " rhythm must be 16 steps of chord tones 1 3 5 7 9 8, - and .");
            (kw == "bass" ? sc.bass : sc.bell)[w[1]] = w[2];
        } else if (kw == "chords" && w.size() == 3) {
            if (!CheckSteps(w[2], "x-.~") || w[2][0] == '-')
                return fail("chord rhythm must be 16 steps of x - . ~");
            sc.chords[w[1]] = w[2];
        } else if (kw == "melody" && w.size() >= 3) {
            std::vector<MelodyNote> notes;
            int steps = 0;
            for (size_t i = 2; i < w.size(); ++i) {
                if (w[i] == "|") {
                    if (steps % kSteps != 0)
                        return fail("bar line after " + std::to_string(steps) + " sixteenths in melody " + w[1]);
                    continue;
                }
                size_t colon = w[i].find(':');
                double len;
                if (colon == std::string::npos || !ParseNumber(w[i].substr(colon + 1), &len) || len < 1 || len != std::floor(len))
                    return fail("melody note must be name:sixteenths, got " + w[i]);
                std::string name = w[i].substr(0, colon);
                int pitch = name == "r" ? -1 : NoteNumber(name);
                if (name != "r" && pitch < 0)
                    return fail("bad note name " + name);
                notes.push_back(MelodyNote{pitch, int(len)});
                steps += int(len);
            }
            sc.melodies[w[1]] = notes;
        } else if (kw == "section" && w.size() >= 4 && w[2] == "at" && ParseNumber(w[3], &v)) {
            Section s;
            s.name = w[1];
            s.at = v;
            s.line = lineno;
            for (size_t i = 4; i < w.size(); ++i) {
                if (w[i].rfind("fill=", 0) != 0)
                    return fail("section takes only fill=");
                s.fill = w[i].substr(5);
            }
            sc.sections.push_back(s);
            open_section = &sc.sections.back();
        } else {
            return fail("cannot read: " + line);
        }
    }
    if (sc.tempo < 40 || sc.tempo > 240)
        return fail("tempo must lie between 40 and 240");
    if (sc.sections.empty() || sc.end <= sc.sections.back().at || sc.sections.front().at < sc.start)
        return fail("sections must lie between start and end");
    if (!(sc.fade_from < sc.fade_to && sc.fade_to <= sc.end))
        return fail("fade must end by the end");
    for (const Section &s : sc.sections) {
        if (s.parts.empty()) {
            lineno = s.line;
            return fail("section " + s.name + " has no parts");
        }
        if (!s.fill.empty() && !sc.drums.count(s.fill)) {
            lineno = s.line;
            return fail("no drum pattern " + s.fill);
        }
    }
    *song = Song{};
    Layout layout{sc, song, err};
    return layout.Run();
}

} // namespace content
