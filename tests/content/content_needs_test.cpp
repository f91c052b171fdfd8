// The archive tool's table of what the demo needs of its entries, held
// against the player itself: the built archive passes the tool's check, and
// for every entry the demo reads, damaged in each way its reader and its
// scene test, the scene's own init prints exactly the line the tool gives
// (the archive tool refuses the same content, with the same words).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "archive/zar.h"
#include "core/core.h"
#include "scenes/scenes.h"
#include "tests/archive/archive_builder.h"
#include "tools/zarwrite/needs.h"

namespace {

using zartest::Bytes;
using zartest::Text;
using zartest::Words;

struct Ran {
    int status;
    std::string out;
};

Ran Shell(const std::string &command)
{
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    Ran r{-1, ""};
    if (!p)
        return r;
    for (int c; (c = std::fgetc(p)) != EOF;)
        r.out += char(c);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

Bytes Shipped()
{
    std::ifstream in(BT_CONTENT_ARCHIVE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The scene init of need, run as the player runs it, on the archive at path.
Ran PlayerInit(const std::string &path, const zarw::Need &need)
{
    static const std::map<std::string, routine_t> inits = {
        {"Boot_Init", Boot_Init},     {"Mascot_Init", Mascot_Init}, {"Spikes_Init", Spikes_Init},
        {"Drum_Init", Drum_Init},     {"Gourd_Init", Gourd_Init},   {"Column_Init", Column_Init},
        {"Marquee_Init", Marquee_Init}, {"Finale_Init", Finale_Init}};
    Ran r{-1, ""};
    const auto init = inits.find(need.init);
    if (init == inits.end()) {
        r.out = std::string("no init called ") + need.init;
        return r;
    }
    FILE *out = std::tmpfile();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        dup2(fileno(out), 1);
        alarm(30);
        ZAR_Open(path.c_str());
        init->second();
        std::fflush(stdout);
        _exit(0);
    }
    int st = 0;
    waitpid(child, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;)
        r.out += char(c);
    std::fclose(out);
    return r;
}

TEST(ContentNeeds, TheBuiltArchivePassesTheToolsCheck)
{
    const Ran r = Shell(std::string(ZARTOOL_PATH) + " check " BT_CONTENT_ARCHIVE);
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST(ContentNeeds, ThePlayerRefusesWhatTheToolRefusesWithTheSameLine)
{
    const Bytes shipped = Shipped();
    ASSERT_FALSE(shipped.empty());
    const std::string path = "/tmp/content_needs_" + std::to_string(getpid()) + ".zar";
    const struct {
        const char *label;
        uint32_t type; // 0: the type the demo needs
        Bytes payload;
    } damage[] = {
        {"one tile of one pixel", 16, Words({1, 1, 1, 1}, 3)},
        {"tiles of no pixels", 16, Words({0xffffffffu, 1, 0, 0})},
        {"pixels missing", 16, Words({2, 2, 4, 4}, 10)},
        {"no header", 0, {1, 2, 3}},
        {"no triangles", 15, Words({0, 0})},
        {"triangles missing", 15, Words({2, 0}, 36)},
        {"one triangle", 15, Words({1, 0}, 36)},
        {"a short text", 32, Text("short")},
        {"a long text", 32, Text(std::string(200, 'A'))},
    };
    struct Damage {
        std::string label;
        uint32_t type;
        Bytes payload;
    };
    int compared = 0, refused = 0;
    for (const zarw::Need &need : zarw::DemoNeeds()) {
        std::vector<Damage> cases;
        for (const auto &d : damage)
            cases.push_back({d.label, d.type, d.payload});
        // Just enough and one short of each least amount the table gives, so
        // that a limit off by one in the table shows against the scene's.
        for (uint32_t less = 0; less < 2; less++) {
            const std::string edge = less ? " one short" : " just enough";
            if (need.min_bytes)
                cases.push_back({"text" + edge, 32, Text(std::string(need.min_bytes - less, 'A'))});
            if (need.min_pixel_bytes) {
                const uint32_t pixels = uint32_t(need.min_pixel_bytes / 3) - less;
                cases.push_back({"pixels" + edge, 16, Words({pixels, 1, 1, 1}, 3 * size_t(pixels))});
            }
            if (need.tile_bytes) {
                const uint32_t w = need.tile_bytes / 3, tiles = need.min_tiles - less;
                cases.push_back({"tiles" + edge, 16, Words({tiles, 1, w, 1}, size_t(tiles) * need.tile_bytes)});
                cases.push_back({"tile bytes" + edge, 16, Words({need.min_tiles, 1, w - less, 1}, size_t(need.min_tiles) * 3 * (w - less))});
            }
        }
        for (const Damage &d : cases) {
            const uint32_t type = d.type ? d.type : need.type;
            const Bytes archive = zartest::ReplaceEntry(shipped, need.name, type, d.payload);
            std::ofstream(path, std::ios::binary).write((const char *)archive.data(), archive.size());
            const std::string why = zarw::Refusal(need, type, d.payload);
            const std::string label = std::string(need.name) + ", " + d.label + ": " + why;
            // An empty mesh loads, and shows nothing: only the tool refuses it.
            const bool tool_only = !why.empty() && why.find("FATAL_ERROR") == std::string::npos &&
                                   why.find("Fatal error") == std::string::npos;
            const Ran player = PlayerInit(path, need);
            EXPECT_EQ(player.status, why.empty() || tool_only ? 0 : 1) << label;
            EXPECT_EQ(player.out, why.empty() || tool_only ? "" : why + "\n") << label;
            const Ran check = Shell(std::string(ZARTOOL_PATH) + " check " + path);
            EXPECT_EQ(check.status, why.empty() ? 0 : 1) << label << "\n" << check.out;
            EXPECT_NE(check.out.find(why.empty() ? std::string("the demo loads") : ": " + why + "\n"), std::string::npos)
                << label << "\n" << check.out;
            compared++;
            refused += !why.empty();
        }
    }
    std::remove(path.c_str());
    EXPECT_EQ(compared, 14 * 9 + 2 + 2 + 4);
    EXPECT_GT(refused, 100); // most damage is refused; the rest loads in both
}

} // namespace
