// contentgen: makes the demo's data archive and soundtrack from the sources
// in assets/, and on request a preview for people to look at.
//
//   contentgen --assets DIR --out DIR [--no-mp3] [--preview DIR]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/contentgen/assets.h"
#include "tools/contentgen/loudness.h"
#include "tools/contentgen/mp3.h"
#include "tools/contentgen/preview.h"
#include "tools/contentgen/score.h"
#include "tools/contentgen/synth.h"
#include "tools/zarwrite/zarwrite.h"

namespace {

// lame's algorithm quality (0 best .. 9 fastest): 3 is one step from its
// best; 2 takes about 1.7 times as long (6 s against 4 s of CPU here) for
// little at 192 kbit/s, and the build's generation budget is tight.
const int kMp3Quality = 3;

int Fail(const std::string &what)
{
    std::fprintf(stderr, "contentgen: %s\n", what.c_str());
    return 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: contentgen --assets DIR [--out DIR] [--no-mp3] [--preview DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::string assets, out, preview;
    bool mp3 = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--assets" || a == "--out" || a == "--preview") && i + 1 < argc) {
            (a == "--assets" ? assets : a == "--out" ? out : preview) = argv[++i];
        } else if (a == "--no-mp3") {
            mp3 = false;
        } else {
            return Usage();
        }
    }
    if (assets.empty() || (out.empty() && preview.empty()))
        return Usage();

    auto t0 = std::chrono::steady_clock::now();
    auto seconds = [&]() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    std::string err;
    std::vector<zarw::Entry> entries;
    if (!content::BuildEntries(assets, &entries, &err))
        return Fail(err);
    std::printf("contentgen: %zu entries made in %.2f s\n", entries.size(), seconds());
    if (!out.empty()) {
        std::vector<uint8_t> bytes;
        if (!zarw::Pack(entries, &bytes, &err) || !zarw::WriteFile(out + "/brass_tide.zar", bytes, &err))
            return Fail(err);
        std::printf("contentgen: %s/brass_tide.zar, %zu bytes\n", out.c_str(), bytes.size());
    }
    if (!preview.empty()) {
        if (!content::WritePreview(entries, preview, &err))
            return Fail(err);
        std::printf("contentgen: preview in %s (contact_sheet.png, entries.txt)\n", preview.c_str());
    }
    if (mp3 && !out.empty()) {
        std::ifstream in(assets + "/music/score.txt", std::ios::binary);
        if (!in)
            return Fail("cannot read " + assets + "/music/score.txt");
        std::stringstream text;
        text << in.rdbuf();
        content::Song song;
        if (!content::ParseScore(text.str(), &song, &err))
            return Fail(err);
        for (const content::SectionTiming &s : song.sections)
            std::printf("contentgen: section %-8s %7.3f s, %3d beats at %.2f bpm\n", s.name.c_str(), s.start, s.beats,
                        60.0 / s.beat);
        content::Audio audio = content::RenderSong(song, 44100);
        double t_synth = seconds();
        content::MasterReport m = content::Master(&audio, -16.0, -2.0);
        std::printf("contentgen: %zu notes, %.1f s of music synthesised by %.2f s; mastered to %.2f LUFS, %.2f dBTP (gain %+.1f dB)\n",
                    song.notes.size(), song.length, t_synth, m.loudness, m.true_peak, m.gain_db);
        std::vector<uint8_t> bytes;
        if (!content::EncodeMp3(audio, kMp3Quality, &bytes, &err) || !zarw::WriteFile(out + "/brass_tide.mp3", bytes, &err))
            return Fail(err);
        std::printf("contentgen: %s/brass_tide.mp3, %zu bytes\n", out.c_str(), bytes.size());
    }
    std::printf("contentgen: done in %.2f s\n", seconds());
    return 0;
}
