// The capture program split over workers, at archival scales and as a
// lossless master: the frames must be the same whatever the split, and a
// failure must leave nothing behind under the names asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/capture/program.h"
#include "tests/support/visual.h"

using namespace program;

namespace {

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The third field of each hash line: the frame's MD5.
std::vector<std::string> Digests(const std::vector<std::string> &lines)
{
    std::vector<std::string> out;
    for (const auto &l : lines)
        out.push_back(l.substr(l.rfind(' ') + 1));
    return out;
}

int CountLines(const std::string &text)
{
    return (int)std::count(text.begin(), text.end(), '\n');
}

bool HaveFfmpeg()
{
    return Shell("ffmpeg -version && ffprobe -version").status == 0;
}

// A shot as RGB rows, top row first, through ffmpeg.
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    const uint8_t *At(int x, int y) const { return (const uint8_t *)&rgb[((size_t)y * width + x) * 3]; }
};
Picture ReadPng(const fs::path &png, int width, int height)
{
    Picture p;
    const fs::path raw = png.string() + ".rgb";
    Shell("ffmpeg -v error -y -i " + Quote(png.string()) + " -f rawvideo -pix_fmt rgb24 " + Quote(raw.string()));
    p.rgb = ReadFile(raw);
    if (p.rgb.size() == (size_t)width * height * 3) {
        p.width = width;
        p.height = height;
    }
    return p;
}

// Lines from one edge inwards that are all the colour of that edge's first
// pixel: the bars outside a letterboxed viewport. Edges: top, bottom, left, right.
int BarLines(const Picture &p, int edge)
{
    const bool rows = edge < 2;
    const int lines = rows ? p.height : p.width, length = rows ? p.width : p.height;
    auto at = [&](int line, int i) {
        int k = edge == 0 || edge == 2 ? line : lines - 1 - line;
        return rows ? p.At(i, k) : p.At(k, i);
    };
    const uint8_t *first = at(0, 0);
    for (int line = 0; line < lines; line++)
        for (int i = 0; i < length; i++)
            if (memcmp(at(line, i), first, 3) != 0)
                return line;
    return lines;
}

} // namespace

TEST(CaptureWorkers, OneProcessAndThreeWorkersDrawTheSameFramesThroughTheLoadingAndSceneChanges)
{
    BT_REQUIRE_ARCHIVE();
    const fs::path dir = TestDir();
    // A normal run at 10 fps: 88 frames of loading, then entries 0 to 4 (the
    // mascot's scene begins at 10.26 s of demo time, frame 191).
    const std::string run = "-fps 10 -span 0 215 -shot 0.5 -shot 4 -shot 10.5 ";
    Result one = Shell(kCapture + run + "-jobs 1 -hashes " + Quote((dir / "one.txt").string()) + " -out " +
                       Quote((dir / "one").string()));
    Result three = Shell(kCapture + run + "-jobs 3 -hashes " + Quote((dir / "three.txt").string()) + " -out " +
                         Quote((dir / "three").string()));
    ASSERT_EQ(one.status, 0) << one.text;
    ASSERT_EQ(three.status, 0) << three.text;
    EXPECT_NE(three.text.find("; 3 workers)"), std::string::npos) << three.text;

    const std::vector<std::string> hashes = Lines(ReadFile(dir / "one.txt"));
    ASSERT_EQ(hashes.size(), 215u);
    EXPECT_EQ(hashes[50].substr(0, 10), "50 +0.000 ") << "frame 50 lies in the loading phase";
    EXPECT_EQ(hashes[214].substr(0, 4), "214 ");
    EXPECT_TRUE(ReadFile(dir / "three.txt") == ReadFile(dir / "one.txt")) << "the workers drew other frames";
    for (const char *shot : {"000500.png", "004000.png", "010500.png"}) {
        std::string a = ReadFile(dir / "one" / shot);
        EXPECT_FALSE(a.empty()) << shot;
        EXPECT_TRUE(a == ReadFile(dir / "three" / shot)) << shot << " differs";
        EXPECT_EQ(FindShot(one.text, shot).frame, FindShot(three.text, shot).frame) << shot;
    }
    EXPECT_EQ(FindShot(three.text, "010500.png").entry, 4) << three.text;

    // A span beginning inside an entry, with the mascot's scene set up in
    // the frames it only plays.
    Result mid = Shell(kCapture + "-fps 10 -span 197 205 -hashes " + Quote((dir / "mid.txt").string()));
    ASSERT_EQ(mid.status, 0) << mid.text;
    const std::vector<std::string> part = Lines(ReadFile(dir / "mid.txt"));
    ASSERT_EQ(part.size(), 8u);
    for (size_t i = 0; i < part.size(); i++)
        EXPECT_EQ(part[i], hashes[197 + i]);
}

TEST(CaptureWorkers, ASpanInsideTheHoldShowsTheLastDrawnPicture)
{
    BT_REQUIRE_ARCHIVE();
    const fs::path dir = TestDir();
    // Two seconds of the mascot's glow streams, which move every frame, then the hold.
    const std::string run = "-debug 0 2 4 -fps 10 -hashes ";
    Result all = Shell(kCapture + run + Quote((dir / "all.txt").string()) + " -jobs 1");
    ASSERT_EQ(all.status, 0) << all.text;
    const std::vector<std::string> hashes = Lines(ReadFile(dir / "all.txt"));
    ASSERT_EQ(hashes.size(), 31u);                  // 21 drawn (0.01 steps fall short of 2.0), 10 held
    const size_t n = hashes.size();
    ASSERT_NE(Digests(hashes)[0], Digests(hashes)[n - 1]);

    Result tail = Shell(kCapture + run + Quote((dir / "tail.txt").string()) + " -span " + std::to_string(n - 4) +
                        " " + std::to_string(n - 1));
    ASSERT_EQ(tail.status, 0) << tail.text;
    const std::vector<std::string> held = Lines(ReadFile(dir / "tail.txt"));
    ASSERT_EQ(held.size(), 3u);
    for (size_t i = 0; i < held.size(); i++)
        EXPECT_EQ(held[i], hashes[n - 4 + i]);

    // Some of six workers start in the hold, one on its first frame.
    Result six = Shell(kCapture + run + Quote((dir / "six.txt").string()) + " -jobs 6");
    ASSERT_EQ(six.status, 0) << six.text;
    EXPECT_TRUE(ReadFile(dir / "six.txt") == ReadFile(dir / "all.txt")) << six.text;
}

TEST(CaptureWorkers, BadWorkerArgumentsGetOneLineAndStatusTwo)
{
    BT_REQUIRE_ARCHIVE();
    const fs::path dir = TestDir();
    const std::string hashes = " -hashes " + Quote((dir / "h.txt").string());
    const struct {
        std::string args;
        const char *says;
    } cases[] = {
        {"-jobs 0", "capture: -jobs must be a whole number from 1 to 256, not '0'"},
        {"-scale 5", "capture: -scale must be 1, 2, 3 or 4, not '5'"},
        {"-span 7 3", "capture: -span needs two frame numbers FIRST < END"},
        // The whole run has 19151 frames at 60 fps; in one process and split.
        {"-span 19151 20000" + hashes + " -jobs 1", "capture: -span 19151 20000 starts past the end of the run: "
                                                   "it has 19151 frames (0 to 19150)"},
        {"-span 25000 26000" + hashes + " -jobs 2", "starts past the end of the run: it has 19151 frames"},
    };
    for (const auto &c : cases) {
        Result r = Shell(kCapture + c.args);
        EXPECT_EQ(r.status, 2) << c.args << ": " << r.text;
        EXPECT_NE(r.text.find(c.says), std::string::npos) << c.args << ": " << r.text;
        EXPECT_EQ(CountLines(r.text), 1) << c.args << ": " << r.text;
    }
    EXPECT_FALSE(fs::exists(dir / "h.txt"));
}

TEST(CaptureWorkers, AWorkerThatDiesFailsTheCaptureNamingItsSpanAndLeavesNoOutput)
{
    BT_REQUIRE_ARCHIVE();
    if (!HaveFfmpeg())
        GTEST_SKIP() << "needs ffmpeg";
    const fs::path dir = TestDir();
    const std::string d = Quote(dir.string());
    // The second worker is killed once it is running; the parent must notice,
    // stop the first and remove every piece.
    const std::string script =
        kCapture + "-debug 0 30 0 -fps 20 -jobs 2 -hashes " + d + "/h.txt -video " + d + "/v.mp4 > " + d +
        "/log 2>&1 & cap=$!; "
        "for i in $(seq 300); do w=$(pgrep -P $cap -f -- '-span [1-9]'); [ -n \"$w\" ] && break; sleep 0.05; done; "
        "sleep 1; kill -9 $w; wait $cap; echo status=$?";
    std::ofstream(dir / "kill.sh") << script << "\n";
    Result r = Shell("timeout 120 sh " + Quote((dir / "kill.sh").string()));
    fs::remove(dir / "kill.sh");
    const std::string log = ReadFile(dir / "log");
    EXPECT_NE(r.text.find("status=1"), std::string::npos) << r.text << log;
    EXPECT_NE(log.find("capture: the worker for frames "), std::string::npos) << log;
    EXPECT_NE(log.find("failed (killed by signal 9"), std::string::npos) << log;
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename(), "log") << "left behind after a failed capture";
}

TEST(CaptureWorkers, ALosslessMasterDecodesToTheFramesHashed)
{
    BT_REQUIRE_ARCHIVE();
    if (!HaveFfmpeg())
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    const fs::path dir = TestDir();
    const std::string mkv = Quote((dir / "master.mkv").string());
    Result r = Shell(kCapture + "-debug 0 2 0 -fps 10 -jobs 2 -video " + mkv + " -lossless -hashes " +
                     Quote((dir / "h.txt").string()));
    ASSERT_EQ(r.status, 0) << r.text;
    const std::string probe = Shell("ffprobe -v error -of csv -show_entries stream=codec_name " + mkv).text;
    EXPECT_NE(probe.find("stream,ffv1\n"), std::string::npos) << probe;
    EXPECT_NE(probe.find("stream,flac\n"), std::string::npos) << probe;
    // ffmpeg's own digests of the decoded pictures, as -hashes computes them.
    std::vector<std::string> decoded;
    for (const auto &line : Lines(Shell("ffmpeg -v error -i " + mkv + " -map 0:v:0 -pix_fmt rgb24 -f framemd5 -").text))
        if (!line.empty() && line[0] != '#')
            decoded.push_back(line.substr(line.rfind(' ') + 1));
    const std::vector<std::string> hashed = Digests(Lines(ReadFile(dir / "h.txt")));
    EXPECT_EQ(hashed.size(), 31u);
    EXPECT_TRUE(decoded == hashed) << decoded.size() << " frames decoded against " << hashed.size() << " hashed";
}

// The loading screen is left out: it is drawn in perspective (aspect 1.33,
// not 4/3), so not even the scale-1 frame shows its picture one to one.
TEST(CaptureWorkers, AtScaleTwoPicturesAreExactBlocksAndTheLetterboxBarsTwiceAsWide)
{
    BT_REQUIRE_ARCHIVE();
    if (!HaveFfmpeg())
        GTEST_SKIP() << "needs ffmpeg";
    const fs::path dir = TestDir();
    struct Window {
        const char *name, *debug, *shot, *png;
        int bars[4];                                // top, bottom, left, right at scale 1
    } windows[] = {
        // The backdrop picture one to one in the bottom and top 80 rows, around the 3D view.
        {"column", "-debug 0 3 35", "2", "002000.png", {8, 24, 0, 0}},
        {"mascot", "-debug 0 4 4", "3", "003000.png", {80, 80, 0, 0}},
        {"drum", "-debug 0 4 8", "3", "003000.png", {65, 65, 0, 0}},
        {"marquee", "-debug 0 6 28", "5", "005000.png", {0, 0, 80, 40}},
    };
    for (const auto &w : windows) {
        Picture p[2];
        for (int scale = 1; scale <= 2; scale++) {
            fs::path out = dir / (std::string(w.name) + std::to_string(scale));
            Result r = Shell(kCapture + w.debug + " -fps 10 -scale " + std::to_string(scale) + " -shot " + w.shot +
                             " -out " + Quote(out.string()));
            ASSERT_EQ(r.status, 0) << r.text;
            p[scale - 1] = ReadPng(out / w.png, 640 * scale, 480 * scale);
            ASSERT_GT(p[scale - 1].width, 0) << w.name << " at scale " << scale;
        }
        for (int edge = 0; edge < 4; edge++) {
            EXPECT_EQ(BarLines(p[0], edge), w.bars[edge]) << w.name << ", edge " << edge;
            EXPECT_EQ(BarLines(p[1], edge), 2 * w.bars[edge]) << w.name << ", edge " << edge << " at scale 2";
        }
        if (!strcmp(w.name, "column")) {
            long differ = 0;
            for (int y : {0, 400})
                for (int dy = 0; dy < 160; dy++)
                    for (int x = 0; x < 1280; x++)
                        differ += memcmp(p[1].At(x, 2 * y + dy), p[0].At(x / 2, y + dy / 2), 3) != 0;
            EXPECT_EQ(differ, 0) << "pixels of the backdrop that are not 2x2 blocks of the scale-1 frame";
        }
    }
}
