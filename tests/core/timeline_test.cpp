// The timeline's derived values and the sequencer's stepping rules, driven by
// hand: the tests call Clock_Tick themselves instead of starting SDL's timer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"

namespace {

// Start times of entries 0..41 and the end of entry 41, in seconds.
const double kStart[TL_RECORDS] = {
    0.000,   1.455,   4.698,   7.941,   10.258,  15.591,  23.591,  28.925,  30.258,  32.004,  34.861,
    41.861,  46.861,  66.986,  71.986,  74.843,  76.588,  79.588,  86.788,  96.388,  104.388, 108.388,
    109.432, 112.432, 115.432, 127.432, 133.432, 136.432, 137.475, 188.325, 190.725, 198.725, 206.725,
    214.725, 222.725, 225.125, 245.125, 246.787, 247.478, 297.478, 298.169, 299.838, 309.362};

tl_header_t FullHeader()
{
    return tl_header_t{0.0f, 310.0f, 41u, &timeline_table[0]};
}

// The shipped table without its scene routines, for stepping it with no GL.
tl_entry_t bare_table[TL_RECORDS];
tl_header_t BareHeader(int first = 0)
{
    for (int i = 0; i < TL_RECORDS; i++) {
        bare_table[i] = timeline_table[i];
        bare_table[i].start = 0;
        bare_table[i].setup = bare_table[i].render = nullptr;
    }
    return tl_header_t{0.0f, 310.0f, (uint32_t)(41 - first), &bare_table[first]};
}

void Tick(int n)
{
    for (int i = 0; i < n; i++)
        Clock_Tick(10, nullptr);
}

// Records which routines ran, in order, with the channels they saw.
struct Call {
    char what;
    const tl_entry_t *entry;
    float a, d0;
};
std::vector<Call> calls;
void RecordSetup() { calls.push_back({'s', Timeline_Current(), chan.a, chan.d0}); }
void RecordRender() { calls.push_back({'r', Timeline_Current(), chan.a, chan.d0}); }

tl_entry_t Entry(float a_end, float vel)
{
    tl_entry_t e{};
    e.a_end = a_end;
    e.a_vel0 = vel;
    e.a_vel1 = vel;
    e.setup = RecordSetup;
    e.render = RecordRender;
    return e;
}

class Sequencer : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        clock_step.store(0.01f);
    }
    void TearDown() override { clock_step.store(0.01f); }
};

TEST_F(Sequencer, DerivesTheShippedStartTimesAndAccelerations)
{
    tl_header_t h = FullHeader();
    Timeline_Prepare(&h, 0);
    for (int i = 0; i < TL_RECORDS; i++)
        EXPECT_NEAR(timeline_table[i].start, kStart[i], 0.0006) << "entry " << i;

    EXPECT_NEAR(timeline_table[0].a_acc, 3.4375, 1e-4);
    EXPECT_NEAR(timeline_table[7].n0_acc, 735.0, 1e-2);
    EXPECT_NEAR(timeline_table[7].n1_acc, -735.0, 1e-2);
    EXPECT_NEAR(timeline_table[29].n0_acc, 0.40278, 1e-4);   // its stored end velocity plays no part
    EXPECT_NEAR(timeline_table[29].start - timeline_table[28].start, 50.85, 1e-3);
    EXPECT_EQ(timeline_table[28].a_acc, 0.0f);
    // The closing record only receives a start time.
    EXPECT_EQ(timeline_table[42].render, nullptr);
}

TEST_F(Sequencer, DebugTraceNumbersTheWindowFromZero)
{
    // As in a fresh run: the table's start times are 0 until derived.
    for (tl_entry_t &e : timeline_table)
        e.start = 0;
    tl_header_t h = FullHeader();
    h.first = &timeline_table[28];
    h.last_index = 41 - 28;
    testing::internal::CaptureStdout();
    Timeline_Prepare(&h, 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("0 ent: +50.850 a_a0: +0.000 a_n0: +0.000 a_n1: +0.000 d0: +4.238 d1: +7.062\n", 0), 0u)
        << out;
    EXPECT_NE(out.find("\n13 ent: +9.524 "), std::string::npos);
    EXPECT_EQ(out.find("\n14 ent:"), std::string::npos);
    // Entry 28 of the window starts at demo time 0, whatever it held before.
    EXPECT_NEAR(timeline_table[29].start, 50.85, 1e-3);

    h = FullHeader();
    Timeline_Prepare(&h, 0);   // restore the full table's start times
}

TEST_F(Sequencer, SwitchesAtTheStartTimeAndRunsSetupBeforeRender)
{
    tl_entry_t t[3] = {Entry(1, 1), Entry(2, 1), {}};   // 1 s, then 2 s
    t[0].a_start = 5;
    t[0].a_end = 6;
    t[1].setup = RecordSetup;
    tl_header_t h{0.0f, 100.0f, 1u, t};
    Timeline_Prepare(&h, 0);
    ASSERT_EQ(t[1].start, 1.0f);

    EXPECT_EQ(Timeline_Frame(), 0);   // entry 0: setup then render in the same step
    Tick(50);
    EXPECT_EQ(Timeline_Frame(), 0);   // render only
    Tick(50);                         // global time reaches the next start (up to float steps)
    while (Timeline_GlobalTime() < 1.0f)
        Tick(1);
    EXPECT_EQ(Timeline_Frame(), 0);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(std::string({calls[0].what, calls[1].what, calls[2].what, calls[3].what, calls[4].what}), "srrsr");
    EXPECT_EQ(calls[0].a, 5.0f);
    EXPECT_EQ(calls[2].entry, &t[0]);
    EXPECT_EQ(calls[3].entry, &t[1]);
    // On the switch frame the new entry is evaluated at local time 0.
    EXPECT_EQ(calls[3].a, 0.0f);
    EXPECT_EQ(calls[4].a, 0.0f);
    EXPECT_EQ(Timeline_LocalTime(), 0.0f);
}

TEST_F(Sequencer, MovesAtMostOneEntryPerFrame)
{
    tl_entry_t t[5] = {Entry(1, 1), Entry(1, 1), Entry(1, 1), Entry(1, 1), {}};
    tl_header_t h{0.0f, 100.0f, 3u, t};
    Timeline_Prepare(&h, 0);
    Tick(350);   // 3.5 s with no frame: three switches are due
    for (int frame = 1; frame <= 3; frame++) {
        calls.clear();
        EXPECT_EQ(Timeline_Frame(), 0);
        // Every passed entry gets its setup and one render.
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].entry, &t[frame]);
    }
}

TEST_F(Sequencer, EndsByEffectsOrByDemoTimeAndDemoTimeWins)
{
    tl_entry_t t[3] = {Entry(1, 1), Entry(1, 1), {}};
    tl_header_t h{0.0f, 100.0f, 1u, t};
    Timeline_Prepare(&h, 0);
    Tick(250);   // past the end of entry 1: a switch is due and no entry is left
    EXPECT_EQ(Timeline_Frame(), 0);   // first frame: one switch, to entry 1
    testing::internal::CaptureStdout();
    EXPECT_EQ(Timeline_Frame(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");   // no trace without debug

    // Both the end time and a switch due in the same frame: the end time wins.
    h = tl_header_t{0.0f, 0.5f, 1u, t};
    Timeline_Prepare(&h, 1);
    Tick(120);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Timeline_Frame(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "BT_x: end of demo time.\n");

    // Global time exactly equal to the end time ends the demo.
    h = tl_header_t{2.0f, 2.0f, 1u, t};
    Timeline_Prepare(&h, 0);
    EXPECT_EQ(Timeline_Frame(), 1);
}

TEST_F(Sequencer, RampsKeepTheEndValueAndRestartFromTheStart)
{
    tl_entry_t t[2] = {Entry(100, 1), {}};
    t[0].d0_start = 2;
    t[0].d0_end = 3;
    t[0].d0_rate = 100;   // one unit per 10 ms tick
    t[0].d1_start = 80;
    t[0].d1_end = 80;     // equal start and end, rate 0: stays at its start
    tl_header_t h{0.0f, 1000.0f, 0u, t};
    Timeline_Prepare(&h, 0);
    Timeline_Frame();
    EXPECT_EQ(chan.d0, 2.0f);
    EXPECT_EQ(chan.d1, 80.0f);
    Tick(1);
    Timeline_Frame();
    EXPECT_EQ(chan.d0, 3.0f);   // equal to the end: stays
    Tick(1);
    Timeline_Frame();
    EXPECT_EQ(chan.d0, 2.0f);   // above the end: back to the start, excess dropped
    Tick(1);
    Timeline_Frame();
    EXPECT_EQ(chan.d0, 3.0f);   // and climbs again from there
    EXPECT_EQ(chan.d1, 80.0f);
}

TEST_F(Sequencer, ShippedEndScrollerRampRestartsAfterAbout077Seconds)
{
    tl_header_t h = BareHeader(38);
    Timeline_Prepare(&h, 0);
    Timeline_Frame();
    int ticks = 0;
    float last = 0;
    for (;;) {
        Tick(1);
        ticks++;
        Timeline_Frame();
        if (chan.d0 < last)
            break;
        last = chan.d0;
    }
    EXPECT_EQ(chan.d0, 0.0f);
    EXPECT_LE(last, 20.21f);
    EXPECT_NEAR(ticks * 0.01, 0.78, 0.011);
}

TEST_F(Sequencer, StandsStillWhileTheTimeStepIsZero)
{
    tl_header_t h = BareHeader();
    Timeline_Prepare(&h, 0);
    clock_step.store(0.0f);
    Tick(100000);
    EXPECT_EQ(Timeline_Frame(), 0);
    EXPECT_EQ(Timeline_GlobalTime(), 0.0f);
    EXPECT_EQ(Timeline_Current(), &bare_table[0]);
    EXPECT_EQ(chan.a, 0.0f);
}

TEST_F(Sequencer, ChannelsFollowTheirFormulas)
{
    tl_entry_t t[2] = {{}, {}};
    t[0].a_start = 0;
    t[0].a_end = 40;
    t[0].a_vel0 = 25;
    t[0].a_vel1 = 30;
    t[0].s0_amp = 2;
    t[0].s0_freq = 3;
    t[0].s0_phase = 0.5f;
    t[0].n0_start = 1;
    t[0].n0_end = 0;
    t[0].n0_vel0 = -0.01f;
    tl_header_t h{0.0f, 100.0f, 0u, t};
    Timeline_Prepare(&h, 0);
    Tick(100);
    Timeline_Frame();
    float lt = Timeline_LocalTime();
    EXPECT_NEAR(lt, 1.0f, 1e-4);
    EXPECT_NEAR(chan.a, 25 * lt + 0.5f * 3.4375f * lt * lt, 1e-3);
    EXPECT_NEAR(chan.s0, 2 * std::sin(3 * lt + 0.5), 1e-4);
    // n0 is bent to reach its end value at the entry's end (1.4545 s).
    Tick(45);
    Timeline_Frame();
    lt = Timeline_LocalTime();
    EXPECT_NEAR(chan.n0, 1 - 0.01f * lt + 0.5f * t[0].n0_acc * lt * lt, 1e-5);
    const double dur = 40.0 / 27.5;
    EXPECT_NEAR(1 - 0.01 * dur + 0.5 * t[0].n0_acc * dur * dur, 0.0, 1e-5);
}

}  // namespace
