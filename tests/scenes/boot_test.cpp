// The loading screen and the opening, drawn offscreen from a test picture
// whose 300 tiles each have their own colour (and a light band along their
// top), so that every tile can be told apart on screen.
#include <gtest/gtest.h>
#include <GL/gl.h>

#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/zar.h"
#include "core/core.h"
#include "render/headless.h"
#include "scenes/scenes.h"
#include "tools/zarwrite/zarwrite.h"

namespace {

struct RGB {
    int r, g, b;
};

// Tile (i, j), row 0 at the bottom: red from the column, green from the row.
RGB TileColour(int i, int j, bool top_band)
{
    return {10 + 12 * i, 20 + 15 * j, top_band ? 250 : 77};
}

// The map of the first wave, row 0 (bottom of the screen) first.
const char *const kFirstWaveMap[15] = {
    ".##.###.....#..##...", "...#######..###.#..#", "#.##...###...#.###.#", "#.#.##.####.##..####",
    "#.#.#...#.#...###..#", ".####.###..##...#.#.", "#..#######....#..#..", "###.#...##.#.#..#..#",
    "..#.#.#...##.#.##.#.", "#.....###.#......#.#", ".#....##.#####.#.###", "#.##..###...##...#.#",
    "....#.#..#..###.##..", "..###.........##.#.#", "######....#.###...##",
};

class BootScene : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char *why = nullptr;
        gl_ok_ = Headless_Open(640, 480, &why);
        if (!gl_ok_)
            return;
        zarw::Image im;
        im.width = 640;
        im.height = 480;
        im.rgb.resize(640 * 480 * 3);
        for (int y = 0; y < 480; y++)       // y counted from the top of the picture
            for (int x = 0; x < 640; x++) {
                int i = x / 32, j = (479 - y) / 32;
                RGB c = TileColour(i, j, y % 32 < 8);
                uint8_t *p = &im.rgb[(y * 640 + x) * 3];
                p[0] = (uint8_t)c.r;
                p[1] = (uint8_t)c.g;
                p[2] = (uint8_t)c.b;
            }
        std::string err;
        zarw::Entry e{"bootpic", ZAR_TYPE_PICTURE, zarw::PicturePayload(im, 32, 32, &err)};
        std::vector<uint8_t> bytes;
        char path[] = "/tmp/bt_boot_XXXXXX";
        int fd = mkstemp(path);
        close(fd);
        ASSERT_TRUE(zarw::Pack({e}, &bytes, &err) && zarw::WriteFile(path, bytes, &err)) << err;
        ZAR_Open(path);
        Boot_Init();
        ZAR_Close();
        unlink(path);
        EXPECT_EQ(clock_step.load(), 0.0f);   // the init stops the clock
        clock_step.store(0.01f);
    }
    static void TearDownTestSuite() { Headless_Close(); }

    void SetUp() override
    {
        if (!gl_ok_)
            GTEST_SKIP() << "no offscreen GL context here";
        for (auto &f : load_flags)
            f.store(0);
    }

    // Plays the shipped timeline from its start: one frame per 0.1 s of demo
    // time, so that every entry gets its setup, until `until` seconds.
    void PlayTo(double until, int flags_set = 0)
    {
        for (int k = 0; k < flags_set; k++)
            load_flags[k].store(1);
        for (tl_entry_t &e : timeline_table)
            e.start = 0;
        tl_header_t h{0.0f, 310.0f, 41u, &timeline_table[0]};
        Timeline_Prepare(&h, 0);
        Frame();
        while (Timeline_GlobalTime() + 0.1 <= until) {
            for (int k = 0; k < 10; k++)
                Clock_Tick(10, nullptr);
            Frame();
        }
        while (Timeline_GlobalTime() < until - 1e-4) {
            Clock_Tick(10, nullptr);
        }
        Frame();
    }

    void Frame()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Timeline_Frame();
        pixels_.resize(640 * 480 * 3);
        Headless_ReadRGB(pixels_.data());
    }

    // x, y in GL window coordinates (origin bottom left).
    RGB At(int x, int y) const
    {
        const uint8_t *p = &pixels_[((479 - y) * 640 + x) * 3];
        return {p[0], p[1], p[2]};
    }

    static bool Near(RGB a, RGB b, int tol = 2)
    {
        return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
    }

    static bool InFirstWave(int i, int j) { return kFirstWaveMap[j][i] == '#'; }

    static bool gl_ok_;
    std::vector<uint8_t> pixels_;
};
bool BootScene::gl_ok_ = false;

::testing::AssertionResult Is(RGB got, RGB want, int tol = 2)
{
    if (std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol && std::abs(got.b - want.b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << "," << got.g << "," << got.b << ") want ("
                                         << want.r << "," << want.g << "," << want.b << ")";
}

TEST(BootData, FirstWaveIsTheMapsHundredAndFiftyTiles)
{
    std::set<std::pair<int, int>> stored;
    for (int k = 0; k < BOOT_FIRST_WAVE; k++)
        stored.insert({boot_first_wave[k][0], boot_first_wave[k][1]});
    EXPECT_EQ(stored.size(), 150u) << "the pairs must be distinct";
    std::set<std::pair<int, int>> mapped;
    for (int j = 0; j < 15; j++)
        for (int i = 0; i < 20; i++)
            if (kFirstWaveMap[j][i] == '#')
                mapped.insert({i, j});
    EXPECT_EQ(mapped.size(), 150u);
    EXPECT_EQ(stored, mapped);
    EXPECT_TRUE(stored.count({0, 2}));
    EXPECT_FALSE(stored.count({0, 0}));
}

// Blending of the marks' colour (0.9, 0.7, 0.3) at alpha 0.4 over a tile.
RGB Marked(RGB under)
{
    auto mix = [](double m, int u) { return (int)(0.4 * m * 255 + 0.6 * u + 0.5); };
    return {mix(0.9, under.r), mix(0.7, under.g), mix(0.3, under.b)};
}

TEST_F(BootScene, LoadingScreenShowsThePictureAndOneMarkPerFlag)
{
    for (int flags : {0, 3, 8}) {
        PlayTo(0.0, flags);
        // The picture, one unit per pixel: tile colours at tile centres.
        EXPECT_TRUE(Is(At(16 + 32 * 5, 16 + 32 * 7), TileColour(5, 7, false)));
        EXPECT_TRUE(Is(At(16 + 32 * 10, 27 + 32 * 3), TileColour(10, 3, true)));   // the top band is up
        for (int k = 0; k < 8; k++) {
            // Sampled below the tiles' top band: the hollow frame is 28 x 40
            // around a 20 x 24 hole, the filled mark just the 20 x 24 block.
            int cx = 20 + 40 * k, y = 434, fx = cx - 12;
            RGB centre = At(cx, y), frame = At(fx, y);
            RGB under_centre = TileColour(cx / 32, y / 32, false), under_frame = TileColour(fx / 32, y / 32, false);
            if (k < flags) {
                EXPECT_TRUE(Is(centre, Marked(under_centre), 3)) << "mark " << k << " should be filled";
                EXPECT_TRUE(Is(frame, under_frame)) << "mark " << k << " is wider than the block";
            } else {
                EXPECT_TRUE(Is(centre, under_centre)) << "mark " << k << " should be hollow";
                EXPECT_TRUE(Is(frame, Marked(under_frame), 3)) << "mark " << k << " frame";
            }
        }
        // Beside the marks the picture is untouched.
        EXPECT_TRUE(Is(At(340, 434), TileColour(10, 13, false)));
    }
    for (auto &f : load_flags)
        f.store(0);
}

TEST_F(BootScene, OpeningStartsAsThePictureInThreeHundredTiles)
{
    PlayTo(1.455 + 0.001);
    ASSERT_EQ(Timeline_CurrentIndex(), 1);
    int exact = 0;
    for (int j = 0; j < 15; j++)
        for (int i = 0; i < 20; i++)
            exact += Near(At(32 * i + 15, 32 * j + 12), TileColour(i, j, false));
    EXPECT_EQ(exact, 300);
    // Texture rows: the light band along each tile's top edge.
    EXPECT_TRUE(Is(At(32 * 3 + 15, 32 * 9 + 28), TileColour(3, 9, true)));
}

TEST_F(BootScene, FirstWaveSinksInEntryOneAndTheRestInEntryTwo)
{
    PlayTo(1.455 + 2.5);
    ASSERT_EQ(Timeline_CurrentIndex(), 1);
    int still = 0, sunk_but_shown = 0;
    for (int j = 0; j < 15; j++)
        for (int i = 0; i < 20; i++) {
            bool shown = Near(At(32 * i + 15, 32 * j + 12), TileColour(i, j, false));
            if (InFirstWave(i, j))
                sunk_but_shown += shown;
            else
                still += shown;
        }
    EXPECT_EQ(still, 150);
    EXPECT_EQ(sunk_but_shown, 0);

    PlayTo(4.698 + 2.5);
    ASSERT_EQ(Timeline_CurrentIndex(), 2);
    int shown = 0;
    for (int j = 0; j < 15; j++)
        for (int i = 0; i < 20; i++)
            shown += Near(At(32 * i + 15, 32 * j + 12), TileColour(i, j, false));
    EXPECT_EQ(shown, 0);
    // Where the first wave stood only the haze over the peach clear colour is left.
    EXPECT_TRUE(Is(At(32 * 0 + 15, 32 * 2 + 12), RGB{255, 204, 178}, 8));
}

}  // namespace
