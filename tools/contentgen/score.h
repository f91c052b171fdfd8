// The soundtrack's score (assets/music/score.txt): tempo, chord
// progressions, drum patterns, bass, chord and bell rhythms, melodies, and
// the arrangement of sections placed at the timeline's scene changes. The
// parser turns it into a list of timed notes for the synthesiser.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace content {

// Every sound the synthesiser makes.
enum class Voice { Kick, Snare, Clap, Hat, OpenHat, Crash, Rise, Bass, Pad, Brass, Lead, Horn, Bell, Count };

struct NoteEvent {
    double start;    // seconds from the start of the music
    double length;   // seconds the note is held (its release comes after)
    int pitch;       // MIDI note number (drums: unused)
    float velocity;  // 0..1
    Voice voice;
};

struct SectionTiming {
    std::string name;
    double start, end; // seconds from the start of the music
    int beats;         // whole beats in the section
    double beat;       // seconds per beat
};

struct Song {
    double length = 0;            // seconds of music
    double fade_from = 0, fade_to = 0; // seconds from the start of the music
    std::vector<SectionTiming> sections;
    std::vector<NoteEvent> notes; // in time order
};

// Parses the score and lays out every note; false and *err (with the line
// number) on a mistake in the score.
bool ParseScore(const std::string &text, Song *song, std::string *err);

// Semitones of a chord above its root, e.g. "m9" gives 0 3 7 10 14; false
// for an unknown quality.
bool ChordIntervals(const std::string &quality, std::vector<int> *intervals);
// MIDI number of a note name such as "C#5" or "Bb3"; -1 when malformed.
int NoteNumber(const std::string &name);

} // namespace content
