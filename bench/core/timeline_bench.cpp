// CPU cost of one frame step of the sequencer (switch test, seven channel
// formulas, two sines) with the shipped table and no scene routines.
#include <benchmark/benchmark.h>

#include "core/core.h"

static void BM_TimelineFrame(benchmark::State &state)
{
    const int entry = (int)state.range(0);
    // A copy of the table without routines: the scenes are not measured here.
    static tl_entry_t table[TL_RECORDS];
    for (int i = 0; i < TL_RECORDS; i++) {
        table[i] = timeline_table[i];
        table[i].setup = table[i].render = nullptr;
        table[i].start = 0;
    }
    tl_header_t h{0.0f, 1e9f, (uint32_t)(TL_ENTRIES - 1 - entry), &table[entry]};
    clock_step.store(0.01f);
    Timeline_Prepare(&h, 0);
    int frames = 0, ticks = 0;
    for (auto _ : state) {
        // About six frames per 10 ms tick, as at 600 frames per second;
        // back to the entry's start every 0.5 s so the entry never ends.
        if (++frames == 6) {
            frames = 0;
            Clock_Tick(10, nullptr);
            if (++ticks == 50) {
                ticks = 0;
                Timeline_Prepare(&h, 0);
            }
        }
        benchmark::DoNotOptimize(Timeline_Frame());
        benchmark::DoNotOptimize(chan);
    }
}
// Entry 28 uses every kind of channel (ramps and both sines); entry 4 only motions.
BENCHMARK(BM_TimelineFrame)->Arg(4)->Arg(28)->Arg(38);

static void BM_ClockTick(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Clock_Tick(10, nullptr));
}
BENCHMARK(BM_ClockTick);

BENCHMARK_MAIN();
