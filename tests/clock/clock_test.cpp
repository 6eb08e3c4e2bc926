// The frame clock against a test clock whose time moves only when the test
// moves it or the clock waits: the steps fall due on the grid, a stall gives
// at most FRAME_CLOCK_CATCH_UP of them, the count keeps to the time over
// 10,000 steps of uneven work and uneven sleep, and the 32-bit count's wrap
// and a time that goes back change nothing of that.
#include "clock/clock.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct TestTime {
    std::uint32_t now = 0;
    std::vector<std::uint32_t> waits; // what the clock asked for
    // How a wait ends: 0 when exactly on time; else a random oversleep of
    // up to this many ms, or now and then an early wake.
    std::uint32_t jitter = 0;
    std::mt19937 random{40};

    ClockSource Source() { return {Now, Wait, this}; }

    static std::uint32_t Now(void* context) { return static_cast<TestTime*>(context)->now; }
    static void Wait(void* context, std::uint32_t milliseconds) {
        auto* t = static_cast<TestTime*>(context);
        t->waits.push_back(milliseconds);
        if (t->jitter == 0) {
            t->now += milliseconds;
        } else if (t->random() % 8 == 0) {
            t->now += milliseconds / 2; // woken early, by input
        } else {
            t->now += milliseconds + t->random() % (t->jitter + 1);
        }
    }
};

constexpr std::uint32_t STEP = 40;

TEST(FrameClock, StepsFallDueOnTheGrid) {
    TestTime time;
    time.now = 1000;
    FrameClock clock;
    StartFrameClock(&clock, time.Source(), STEP);
    const struct {
        const char* rule;
        std::uint32_t at;
        std::uint32_t steps, left;
    } cases[] = {
        {"at the start: none, a whole step to wait", 1000, 0, 40},
        {"one ms before the first", 1039, 0, 1},
        {"the first is due one step after the start", 1040, 1, 40},
        {"asked again at once: none", 1040, 0, 40},
        {"late for the second: still on the grid", 1095, 1, 25},
        {"three due at once", 1200, 3, 40},
        {"one due, the next in 1 ms", 1239, 0, 1},
        {"", 1240, 1, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        time.now = c.at;
        EXPECT_EQ(FrameClockSteps(&clock), c.steps);
        EXPECT_EQ(FrameClockTimeLeft(clock), c.left);
    }
    EXPECT_EQ(clock.steps, 6u);
    EXPECT_EQ(clock.dropped, 0u);
}

TEST(FrameClock, AStallGivesAtMostTheCatchUpAndKeepsTheGrid) {
    TestTime time;
    FrameClock clock;
    StartFrameClock(&clock, time.Source(), STEP);
    const struct {
        const char* rule;
        std::uint32_t stall; // ms without asking
        std::uint32_t steps, dropped;
    } cases[] = {
        {"a stall of the catch-up exactly", 4 * STEP, 4, 0},
        {"one step more, and a part of one", 5 * STEP + 5, 4, 1},
        {"a second", 1013, 4, 21},
        {"a minute", 60007, 4, 1496},
        {"a day", 86400039, 4, 2159996},
    };
    std::uint32_t dropped = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        time.now += c.stall;
        EXPECT_EQ(FrameClockSteps(&clock), c.steps);
        dropped += c.dropped;
        EXPECT_EQ(clock.dropped, dropped);
        // The steps after it still fall on the grid of the start (at 0).
        EXPECT_EQ(FrameClockTimeLeft(clock), STEP - time.now % STEP);
        time.now += FrameClockTimeLeft(clock);
        EXPECT_EQ(FrameClockSteps(&clock), 1u);
        EXPECT_EQ(time.now % STEP, 0u);
    }
}

// A program's loop: work of 0 to 35 ms a step, then a wait that oversleeps
// by up to 15 ms or wakes early. The steps given and dropped always add up
// to the whole steps the time holds; over 10,000 steps none is dropped, the
// 10,000th is given within a step of 10,000 step lengths, and the next one
// is due at exactly 10,001.
TEST(FrameClock, NoDriftOver10000Steps) {
    for (std::uint32_t start : {0u, 0xFFFFFFFFu - 200000u}) {
        SCOPED_TRACE(testing::Message() << "starting at " << start);
        TestTime time;
        time.now = start;
        time.jitter = 15;
        FrameClock clock;
        StartFrameClock(&clock, time.Source(), STEP);
        std::mt19937 work(10000);
        std::uint32_t given = 0, lastGiven = 0;
        while (given < 10000) {
            const std::uint32_t steps = FrameClockSteps(&clock);
            ASSERT_LE(steps, FRAME_CLOCK_CATCH_UP);
            ASSERT_EQ(clock.steps + clock.dropped, (time.now - start) / STEP)
                << "after " << given << " steps";
            given += steps;
            if (steps > 0) {
                lastGiven = time.now - start;
                time.now += work() % 36;
            }
            FrameClockWait(&clock);
        }
        EXPECT_EQ(given, 10000u);
        EXPECT_EQ(clock.dropped, 0u);
        EXPECT_GE(lastGiven, 10000 * STEP);
        EXPECT_LT(lastGiven, 10000 * STEP + STEP) << "the last step came late";
        EXPECT_EQ(clock.nextStep - start, 10001 * STEP);
        for (std::uint32_t w : time.waits) ASSERT_LE(w, STEP) << "a wait longer than a step";
    }
}

TEST(FrameClock, WaitsTheTimeLeftAndNotWhenAStepIsDue) {
    TestTime time;
    time.now = 500;
    FrameClock clock;
    StartFrameClock(&clock, time.Source(), STEP);
    time.now += 15;
    FrameClockWait(&clock);
    EXPECT_EQ(time.waits, std::vector<std::uint32_t>{25});
    EXPECT_EQ(time.now, 540u);
    FrameClockWait(&clock); // due: no wait
    EXPECT_EQ(time.waits.size(), 1u);
    EXPECT_EQ(FrameClockSteps(&clock), 1u);
}

TEST(FrameClock, ATimeThatGoesBackStartsTheGridAgain) {
    TestTime time;
    time.now = 100000;
    FrameClock clock;
    StartFrameClock(&clock, time.Source(), STEP);
    time.now = 50007; // the system's clock set back
    EXPECT_EQ(FrameClockSteps(&clock), 0u);
    EXPECT_EQ(FrameClockTimeLeft(clock), STEP) << "not 50,033 ms";
    time.now += STEP;
    EXPECT_EQ(FrameClockSteps(&clock), 1u);
    // A step length of 0 is taken as 1.
    StartFrameClock(&clock, time.Source(), 0);
    EXPECT_EQ(clock.stepLength, 1u);
    time.now += 3;
    EXPECT_EQ(FrameClockSteps(&clock), 3u);
}

} // namespace
