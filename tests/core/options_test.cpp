// The command line: exact matching, toggling, the -debug values and the
// header rewrite, and the sound error texts.
#include <gtest/gtest.h>
#include <SDL.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "core/core.h"

namespace {

struct Parsed {
    std::string out;
    uint32_t flags;
};

Parsed Parse(std::vector<const char *> args)
{
    player_debug = 0;
    player_silent = 0;
    timeline_header = tl_header_t{0.0f, 310.0f, 41u, &timeline_table[0]};
    args.insert(args.begin(), "player-linux");
    Parsed p{"", SDL_OPENGL | SDL_FULLSCREEN};
    testing::internal::CaptureStdout();
    Options_Parse((int)args.size(), const_cast<char **>(args.data()), &p.flags);
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

TEST(Options, NoArgumentsMeanFullScreenWithSoundAndNoTrace)
{
    Parsed p = Parse({});
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.flags, (uint32_t)(SDL_OPENGL | SDL_FULLSCREEN));
    EXPECT_EQ(player_debug, 0);
    EXPECT_EQ(player_silent, 0);
    EXPECT_EQ(timeline_header.first, &timeline_table[0]);
}

TEST(Options, MatchWholeArgumentsOnlyAndCaseMatters)
{
    Parsed p = Parse({"-windowed", "-Debug", "-silent2", "window", "-SILENT", "-", ""});
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.flags, (uint32_t)(SDL_OPENGL | SDL_FULLSCREEN));
    EXPECT_EQ(player_silent, 0);
    EXPECT_EQ(player_debug, 0);
}

TEST(Options, WindowTogglesAndEveryOptionRepeats)
{
    Parsed p = Parse({"-window", "-silent", "-window", "-silent", "-window"});
    EXPECT_EQ(p.out, "BT_x: windowed mode.\nBT_x: silent mode.\nBT_x: windowed mode.\n"
                     "BT_x: silent mode.\nBT_x: windowed mode.\n");
    EXPECT_EQ(p.flags, (uint32_t)SDL_OPENGL);   // three toggles: windowed
    EXPECT_EQ(player_silent, 1);
    p = Parse({"-window", "-window"});
    EXPECT_EQ(p.flags, (uint32_t)(SDL_OPENGL | SDL_FULLSCREEN));
}

TEST(Options, DebugConsumesThreeValuesAndRewritesTheHeader)
{
    Parsed p = Parse({"-debug", "0", "10", "5", "-window"});
    EXPECT_EQ(p.out, "BT_x: debug mode.\nBT_x: start: +0.000, end: +10.000, offset: 5;\nBT_x: windowed mode.\n");
    EXPECT_EQ(player_debug, 1);
    EXPECT_EQ(timeline_header.first, &timeline_table[5]);
    EXPECT_EQ(timeline_header.start_time, 0.0f);
    EXPECT_EQ(timeline_header.end_time, 10.0f);
    EXPECT_EQ(timeline_header.last_index, 36u);
    EXPECT_EQ(p.flags, (uint32_t)SDL_OPENGL);

    // The values are taken whatever they look like: an option there is a value.
    p = Parse({"-debug", "-window", "2.5e1", "7x", "-silent"});
    EXPECT_EQ(p.out, "BT_x: debug mode.\nBT_x: start: +0.000, end: +25.000, offset: 7;\nBT_x: silent mode.\n");
    EXPECT_EQ(p.flags, (uint32_t)(SDL_OPENGL | SDL_FULLSCREEN));
    EXPECT_EQ(timeline_header.first, &timeline_table[7]);

    p = Parse({"-debug", "-1.25", "60", "0"});
    EXPECT_EQ(p.out, "BT_x: debug mode.\nBT_x: start: -1.250, end: +60.000, offset: 0;\n");
}

TEST(Options, RepeatedDebugKeepsTheWindowInsideTheTable)
{
    Parse({"-debug", "0", "10", "30", "-debug", "0", "10", "30"});
    EXPECT_EQ(timeline_header.first, &timeline_table[30]);
    EXPECT_EQ(timeline_header.last_index, 11u);
}

TEST(Options, ShortDebugTakesMissingValuesAsZero)
{
    Parsed p = Parse({"-window", "-debug", "12"});
    EXPECT_EQ(p.out, "BT_x: windowed mode.\nBT_x: debug mode.\nBT_x: start: +12.000, end: +0.000, offset: 0;\n");
    EXPECT_EQ(timeline_header.end_time, 0.0f);
    EXPECT_EQ(timeline_header.first, &timeline_table[0]);
    p = Parse({"-debug"});
    EXPECT_EQ(p.out, "BT_x: debug mode.\nBT_x: start: +0.000, end: +0.000, offset: 0;\n");
}

// In a death test only standard error is matched: send the trace there.
void ParseDebugToStderr(const char *start, const char *offset)
{
    dup2(2, 1);
    const char *argv[] = {"player-linux", "-debug", start, "10", offset};
    uint32_t flags = 0;
    Options_Parse(5, const_cast<char **>(argv), &flags);
    fflush(stdout);
    exit(0);
}

TEST(OptionsDeathTest, OffsetOutsideTheTableEndsTheProgram)
{
    EXPECT_EXIT(ParseDebugToStderr("0", "42"), testing::ExitedWithCode(1),
                "BT_x: debug mode.\nBT_x: debug offset 42 is outside 0 to 41.\n");
    EXPECT_EXIT(ParseDebugToStderr("0", "-1"), testing::ExitedWithCode(1), "offset -1 is outside");
    EXPECT_EXIT(ParseDebugToStderr("0", "99999999999999999999"), testing::ExitedWithCode(1), "is outside 0 to 41");
    EXPECT_EXIT(ParseDebugToStderr("0", "41"), testing::ExitedWithCode(0), "offset: 41;");
}

// Far from 0 the clock's 10 ms steps lose their length, and from 2^18 s on
// they vanish: such a start would never reach the timeline.
TEST(OptionsDeathTest, StartFarFromZeroEndsTheProgram)
{
    const char kOutside[] = "is outside -10000 to \\+10000\\.\n$";
    EXPECT_EXIT(ParseDebugToStderr("-1e6", "0"), testing::ExitedWithCode(1),
                "^BT_x: debug mode.\nBT_x: debug start -1000000.000 is outside -10000 to \\+10000\\.\n$");
    for (const char *start : {"-inf", "inf", "nan", "-nan", "1e39", "-262144", "10000.001", "-10000.5"})
        EXPECT_EXIT(ParseDebugToStderr(start, "0"), testing::ExitedWithCode(1), kOutside) << start;
    // The limits themselves still play, and print as before.
    EXPECT_EXIT(ParseDebugToStderr("-10000", "3"), testing::ExitedWithCode(0),
                "^BT_x: debug mode.\nBT_x: start: -10000.000, end: \\+10.000, offset: 3;\n$");
    EXPECT_EXIT(ParseDebugToStderr("10000", "3"), testing::ExitedWithCode(0), "start: \\+10000.000,");
}

TEST(Options, SoundErrorTextsAndUnknownCodes)
{
    EXPECT_STREQ(Options_SoundErrorText(0), "No errors");
    EXPECT_STREQ(Options_SoundErrorText(3), "Error initializing output device.");
    EXPECT_STREQ(Options_SoundErrorText(9), "File not found");
    EXPECT_STREQ(Options_SoundErrorText(10), "Unknown file format");
    EXPECT_STREQ(Options_SoundErrorText(12), "Not enough memory ");   // the trailing blank is part of it
    EXPECT_STREQ(Options_SoundErrorText(18), "Required Mediaplayer codec is not installed");
    EXPECT_STREQ(Options_SoundErrorText(19), "Unknown error");
    EXPECT_STREQ(Options_SoundErrorText(-1), "Unknown error");     // compared unsigned
    EXPECT_STREQ(Options_SoundErrorText(INT32_MIN), "Unknown error");
}

}  // namespace
