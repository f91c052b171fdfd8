// The demo clock's tick on its own thread against the frame step's resets:
// run under ThreadSanitizer this proves the sharing race-free, and the checks
// catch a reset lost to a concurrent add.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/core.h"

namespace {

TEST(ClockThread, TicksAndResetsNeverTearOrLoseEachOther)
{
    // Ten one-second entries, each with a ramp that wraps every 0.3 s.
    tl_entry_t t[11] = {};
    for (int i = 0; i < 10; i++) {
        t[i].a_end = 1;
        t[i].a_vel0 = t[i].a_vel1 = 1;
        t[i].d0_end = 3;
        t[i].d0_rate = 10;
    }
    tl_header_t h{0.0f, 1000.0f, 9u, t};
    clock_step.store(0.01f);
    Timeline_Prepare(&h, 0);

    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        // Paced so that frames outnumber ticks, as in the player. It stops
        // short of the last entry's end, so that a frame thread kept from
        // running still finds entry 9 rather than the end of the demo.
        while (!stop.load() && Timeline_GlobalTime() < 9.6f) {
            Clock_Tick(10, nullptr);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    int frames = 0, switches = 0;
    const tl_entry_t *last = Timeline_Current();
    while (Timeline_Frame() == 0 && frames < 50000000) {
        frames++;
        if (Timeline_Current() != last) {
            // Counted by position: a frame thread kept from running for a
            // second of demo time sees two entries pass at once.
            switches += (int)(Timeline_Current() - last);
            last = Timeline_Current();
            // Local time restarts at the switch, never from where the
            // previous entry left it: it can hold no more than the demo time
            // since the entry began, however long this thread was kept from
            // running. (Read first: the ticks in between only add to the
            // demo time.)
            float local = Timeline_LocalTime();
            EXPECT_LE(local, Timeline_GlobalTime() - last->start + 0.05f);
        }
        EXPECT_GE(chan.d0, 0.0f);
        EXPECT_LE(chan.d0, 3.0f);
        // Only once entry 9 is current: a frame thread kept from running while
        // the ticker passed 9.5 s still owes a switch per frame until it gets there.
        if (Timeline_GlobalTime() > 9.5f && Timeline_Current() == &t[9])
            break;
    }
    stop.store(true);
    ticker.join();
    EXPECT_GE(switches, 9);
    clock_step.store(0.01f);
}

}  // namespace
