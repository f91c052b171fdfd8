// The generator's own parts: the loudness meter that masters the soundtrack
// and checks it, the score reader that places the music on the timeline,
// the text assets' rules, and the closedness check of the meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <png.h>

#include <set>

#include "tools/contentgen/assets.h"
#include "tools/contentgen/font.h"
#include "tools/contentgen/loudness.h"
#include "tools/contentgen/mesh.h"
#include "tools/contentgen/preview.h"
#include "tools/contentgen/score.h"
#include "tools/contentgen/synth.h"

namespace {

const double kPi = 3.14159265358979;

std::vector<float> Sine(double freq, double amp, double seconds, int rate, double phase = 0)
{
    std::vector<float> s(size_t(seconds * rate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = float(amp * std::sin(2 * kPi * freq * double(i) / rate + phase));
    return s;
}

TEST(Loudness, SineAtMinus23DbfsInBothChannelsReadsMinus23Lufs)
{
    // The meter's calibration point: a 1 kHz sine of peak -23 dBFS in both
    // channels is -23 LUFS.
    for (int rate : {44100, 48000}) {
        std::vector<float> s = Sine(1000, std::pow(10.0, -23.0 / 20), 10, rate);
        EXPECT_NEAR(content::IntegratedLoudness(s.data(), s.data(), s.size(), rate), -23.0, 0.1) << rate;
    }
    std::vector<float> silence(44100 * 3, 0.0f);
    EXPECT_TRUE(std::isinf(content::IntegratedLoudness(silence.data(), silence.data(), silence.size(), 44100)));
}

TEST(Loudness, RelativeGateLeavesQuietPassagesOut)
{
    // 10 s at -20 and 10 s at -45: the quiet half falls below the relative
    // gate, so the result is the loud half's loudness, not their average.
    std::vector<float> s = Sine(1000, std::pow(10.0, -20.0 / 20), 10, 44100);
    std::vector<float> quiet = Sine(1000, std::pow(10.0, -45.0 / 20), 10, 44100);
    s.insert(s.end(), quiet.begin(), quiet.end());
    EXPECT_NEAR(content::IntegratedLoudness(s.data(), s.data(), s.size(), 44100), -20.0, 0.15);
}

TEST(Loudness, TruePeakFindsPeaksBetweenSamples)
{
    // A sine at a quarter of the rate, sampled 45 degrees off its crests:
    // every sample is 0.707 of the true peak.
    std::vector<float> s = Sine(44100.0 / 4, 0.5, 1, 44100, kPi / 4);
    float sample_peak = 0;
    for (float v : s)
        sample_peak = std::max(sample_peak, std::fabs(v));
    EXPECT_NEAR(sample_peak, 0.5 * std::sqrt(0.5), 1e-3);
    EXPECT_NEAR(content::ToDb(content::TruePeak(s.data(), s.data(), s.size())), content::ToDb(0.5), 0.2);
}

TEST(Master, ReachesTheLoudnessUnderTheCeiling)
{
    // A tone with sharp bursts on top, far too loud: mastered to -16 LUFS
    // with true peaks held at -2 dBTP.
    content::Audio a;
    a.left = Sine(220, 0.5, 20, 44100);
    for (size_t i = 0; i < a.left.size(); i += 22050)
        for (size_t k = 0; k < 200 && i + k < a.left.size(); ++k)
            a.left[i + k] += (k % 2 ? 0.9f : -0.9f) * float(200 - k) / 200.0f;
    a.right = a.left;
    content::MasterReport r = content::Master(&a, -16.0, -2.0);
    EXPECT_NEAR(r.loudness, -16.0, 0.1);
    EXPECT_LE(r.true_peak, -1.95);
    EXPECT_NEAR(content::IntegratedLoudness(a.left.data(), a.right.data(), a.left.size(), 44100), r.loudness, 1e-9);
}

TEST(Score, ChordsAndNotesByName)
{
    std::vector<int> iv;
    ASSERT_TRUE(content::ChordIntervals("m9", &iv));
    EXPECT_EQ(iv, (std::vector<int>{0, 3, 7, 10, 14}));
    ASSERT_TRUE(content::ChordIntervals("maj7", &iv));
    EXPECT_EQ(iv, (std::vector<int>{0, 4, 7, 11}));
    EXPECT_FALSE(content::ChordIntervals("dim13", &iv));
    EXPECT_EQ(content::NoteNumber("A4"), 69);
    EXPECT_EQ(content::NoteNumber("C#5"), 73);
    EXPECT_EQ(content::NoteNumber("Bb3"), 58);
    EXPECT_EQ(content::NoteNumber("H4"), -1);
    EXPECT_EQ(content::NoteNumber("C"), -1);
}

const char *const kSmallScore = R"(tempo 100
start 1.0
end 20.0
fade 18.0 19.5
prog p  Dm9 Bbmaj7 # a comment
drums d
  kick  x...x...x...x...
  snare ....x.......x...
drums f
  snare xxxxxxxxxxxxxxxx
bass b  1-.5..8-..1.8-5.
chords c ~---------------
melody m  D5:4 F5:4 A5:8 | C#5:16
section one at 1.0 fill=f
  part 2 prog=p drums=d bass=b pad=c
  part * prog=p drums=d lead=m
section two at 10.5
  part * prog=p pad=c
)";

TEST(Score, SectionsFillTheirTimeWithWholeBeats)
{
    content::Song song;
    std::string err;
    ASSERT_TRUE(content::ParseScore(kSmallScore, &song, &err)) << err;
    ASSERT_EQ(song.sections.size(), 2u);
    EXPECT_DOUBLE_EQ(song.length, 19.0);
    EXPECT_NEAR(song.fade_to, 18.5, 1e-9);
    const content::SectionTiming &one = song.sections[0], &two = song.sections[1];
    EXPECT_DOUBLE_EQ(one.start, 0.0);
    EXPECT_DOUBLE_EQ(one.end, 9.5);
    // 9.5 s at about 100 bpm: 16 beats, nudged to fit exactly.
    EXPECT_EQ(one.beats, 16);
    EXPECT_NEAR(one.beats * one.beat, 9.5, 1e-9);
    EXPECT_DOUBLE_EQ(two.start, 9.5);
    EXPECT_NEAR(two.beats * two.beat, 9.5, 1e-9);
    // Notes stay inside the music and in time order; the fill's snare roll
    // takes the last bar of the first section.
    int roll = 0;
    for (size_t i = 0; i < song.notes.size(); ++i) {
        const content::NoteEvent &n = song.notes[i];
        EXPECT_GE(n.start, 0.0);
        EXPECT_LT(n.start, song.length);
        if (i) {
            EXPECT_LE(song.notes[i - 1].start, n.start);
        }
        if (n.voice == content::Voice::Snare && n.start >= 3 * 4 * one.beat - 1e-9 && n.start < one.end)
            ++roll;
    }
    EXPECT_EQ(roll, 16);
}

TEST(Score, HeldChordsTieAcrossBarsWhileTheChordStays)
{
    const char *text = R"(tempo 120
start 0
end 8
fade 7 8
prog same Dm9 Dm9 Dm9 Dm9
chords c ~---------------
section s at 0
  part * prog=same pad=c
)";
    content::Song song;
    std::string err;
    ASSERT_TRUE(content::ParseScore(text, &song, &err)) << err;
    // One Dm9 of five notes held over the four bars, not struck four times.
    ASSERT_EQ(song.notes.size(), 5u);
    for (const content::NoteEvent &n : song.notes)
        EXPECT_NEAR(n.length, 8.0, 1e-9);
}

TEST(Score, MistakesAreReportedWithTheirLine)
{
    struct Case {
        std::string from, to, line;
    } cases[] = {
        {"Dm9 Bbmaj7", "Dm9 Bbwhat", "line 5"},                  // unknown chord
        {"part 2 prog=p", "part 9 prog=p", "line 14"},           // parts overflow their section
        {"D5:4 F5:4 A5:8 |", "D5:4 F5:4 A5:4 |", "line 13"},    // bar line after 12 sixteenths
        {"kick  x...x...x...x...", "kick  x...x...x...", "line 7"}, // short drum line
        {"fade 18.0 19.5", "fade 18.0 25", "fade"},              // fade past the end
    };
    for (const Case &c : cases) {
        std::string text = kSmallScore;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        content::Song song;
        std::string err;
        EXPECT_FALSE(content::ParseScore(text, &song, &err)) << c.to;
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
    }
}

TEST(Score, AShortLastBarPlaysTheEndOfTheFill)
{
    // 8.4 s at 100 bpm is 14 beats: three bars and a half bar, which must
    // take the fill's second half (eight snares), not its first (one).
    const char *text = R"(tempo 100
start 0
end 8.4
fade 8 8.4
prog p Dm9
drums d
  kick  x...............
drums f
  snare x.......xxxxxxxx
section s at 0 fill=f
  part * prog=p drums=d
)";
    content::Song song;
    std::string err;
    ASSERT_TRUE(content::ParseScore(text, &song, &err)) << err;
    ASSERT_EQ(song.sections.size(), 1u);
    EXPECT_EQ(song.sections[0].beats, 14);
    int snares = 0, kicks = 0;
    for (const content::NoteEvent &n : song.notes) {
        snares += n.voice == content::Voice::Snare;
        kicks += n.voice == content::Voice::Kick;
        if (n.voice == content::Voice::Snare) {
            EXPECT_GE(n.start, 12 * song.sections[0].beat - 1e-9);
        }
    }
    EXPECT_EQ(snares, 8);
    EXPECT_EQ(kicks, 3);
}

TEST(Synth, RendersTheSameSamplesEveryTimeAndIsSilentOutsideTheMusic)
{
    const char *text = R"(tempo 120
start 0
end 6
fade 4 5
prog p Dm9 C
drums d
  kick  x...x...x...x...
  hat   ..x...x...x...x.
  rise  ........x.......
bass b 1-.5..8-..1.8-5.
bell c 1358135813581358
chords h x---------------
melody m D5:4 F5:4 A5:8 | C5:16
section s at 1 fill=d
  part * prog=p drums=d bass=b bell=c pad=h brass=h lead=m horn=m
)";
    content::Song song;
    std::string err;
    ASSERT_TRUE(content::ParseScore(text, &song, &err)) << err;
    content::Audio a = content::RenderSong(song, 44100), b = content::RenderSong(song, 44100);
    ASSERT_EQ(a.left.size(), size_t(6 * 44100));
    EXPECT_TRUE(a.left == b.left && a.right == b.right) << "two renders of one score differ";
    float before = 0, after = 0, during = 0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        float v = std::max(std::fabs(a.left[i]), std::fabs(a.right[i]));
        float &peak = i < 44100 ? before : i >= 5 * 44100 ? after : during;
        peak = std::max(peak, v);
    }
    EXPECT_EQ(before, 0.0f) << "sound before the first note";
    EXPECT_EQ(after, 0.0f) << "sound after the fade";
    EXPECT_GT(during, 0.05f);
}

TEST(Font, EveryCharacterHasItsOwnGlyph)
{
    // A slip in the glyph table would show as an empty or doubled letter.
    std::set<std::string> seen;
    for (char c = 33; c <= 95; ++c) {
        std::string bits;
        for (int r = 0; r < content::kFontH; ++r)
            for (int k = 0; k < content::kFontW; ++k)
                bits += content::GlyphDot(c, k, r) ? '#' : '.';
        EXPECT_NE(bits.find('#'), std::string::npos) << "'" << c << "' is empty";
        EXPECT_TRUE(seen.insert(bits).second) << "'" << c << "' looks like another character";
    }
    for (int r = 0; r < content::kFontH; ++r)
        for (int k = 0; k < content::kFontW; ++k) {
            EXPECT_FALSE(content::GlyphDot(' ', k, r));
            EXPECT_FALSE(content::GlyphDot('a', k, r)) << "lower case is outside the font";
        }
}

TEST(Preview, WritesAContactSheetAndTheListOfEntries)
{
    zarw::Image img;
    img.width = 64;
    img.height = 32;
    img.rgb.assign(64 * 32 * 3, 200);
    std::string err;
    std::vector<zarw::Entry> entries;
    entries.push_back({"pic", 16, zarw::PicturePayload(img, 32, 16, &err)});
    std::vector<float> tet = {0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0,
                              0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    entries.push_back({"tet", 15, zarw::MeshPayload(tet)});
    entries.push_back({"txt", 32, {'H', 'I'}});
    std::string dir = ::testing::TempDir();
    ASSERT_TRUE(content::WritePreview(entries, dir, &err)) << err;
    FILE *f = std::fopen((dir + "/contact_sheet.png").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char sig[8] = {};
    EXPECT_EQ(std::fread(sig, 1, 8, f), 8u);
    std::fclose(f);
    EXPECT_EQ(png_sig_cmp(sig, 0, 8), 0) << "not a PNG";
    std::ifstream list(dir + "/entries.txt");
    std::string all((std::istreambuf_iterator<char>(list)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("pic         16    picture 2 x 2 tiles of 32 x 16 = 64 x 32 px"), std::string::npos) << all;
    EXPECT_NE(all.find("tet         15    mesh 4 triangles, open edges 0"), std::string::npos) << all;
    EXPECT_NE(all.find("txt         32    text 2 bytes \"HI\""), std::string::npos) << all;
}

TEST(Texts, AssetsKeepToTheFontAndTheEndTextIsFramed)
{
    std::string path = ::testing::TempDir() + "content_text_test.txt";
    {
        std::ofstream(path) << "# comment\nHELLO,\nWORLD!\n";
    }
    std::string text, err;
    ASSERT_TRUE(content::ReadTextAsset(path, &text, &err)) << err;
    EXPECT_EQ(text, "HELLO, WORLD!");
    {
        std::ofstream(path) << "Lower case\n";
    }
    EXPECT_FALSE(content::ReadTextAsset(path, &text, &err));
    EXPECT_NE(err.find("code 111"), std::string::npos) << err;
    std::remove(path.c_str());
    EXPECT_FALSE(content::ReadTextAsset(path, &text, &err));

    std::string words(91, 'A'), framed;
    ASSERT_TRUE(content::FrameEndText(words, &framed, &err));
    EXPECT_EQ(framed, std::string(11, ' ') + words + std::string(8, ' '));
    EXPECT_FALSE(content::FrameEndText(std::string(90, 'A'), &framed, &err));
    EXPECT_FALSE(content::FrameEndText(" " + std::string(90, 'A'), &framed, &err));
}

TEST(Meshes, ClosedMeshesHaveNoOpenEdgesAndFaceOutwards)
{
    // A tetrahedron, wound outwards, and the same with one face taken away.
    std::vector<float> tet = {0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0,
                              0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(content::OpenEdges(tet), 0u);
    EXPECT_NEAR(content::SignedVolume(tet), 1.0 / 6.0, 1e-9);
    std::vector<float> open(tet.begin(), tet.end() - 9);
    EXPECT_EQ(content::OpenEdges(open), 3u);
    // Every tube the generator sweeps closes on itself, whatever its bends.
    for (const content::Mesh &m : {content::MakeFerret(), content::MakeStem()}) {
        std::vector<float> flat = m.Flat();
        EXPECT_EQ(content::OpenEdges(flat), 0u);
        EXPECT_GT(content::SignedVolume(flat), 0.0);
    }
}

} // namespace
