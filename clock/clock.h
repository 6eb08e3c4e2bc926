// A frame clock for programs built on the shell: steady steps of a fixed
// length in milliseconds, for a loop that updates its world once a step and
// sleeps the rest.
//
//   Steps     The steps fall due on a fixed grid: the n-th is due n step
//             lengths after the start, however late the program looks.
//             FrameClockSteps says how many have fallen due since it was last
//             asked, so the count never drifts from the time that has passed.
//   Catch-up  After a stall (the window dragged, a disk spun up) no more than
//             FRAME_CLOCK_CATCH_UP steps are given at once; the steps beyond
//             them are dropped (counted in `dropped`) and the grid goes on, so
//             that a stall of any length costs at most that many steps of work
//             and the world then moves at its steady pace again.
//   Waiting   FrameClockWait sleeps, through the clock's source, until the
//             next step is due; a source may wake early (for input), and the
//             loop then just asks again.
//   Sources   A ClockSource gives the time in milliseconds (a 32-bit count
//             that may wrap) and sleeps. On Windows, OpenSystemClock gives
//             timeGetTime with the system's timer set to its finest period
//             (1 ms on every Windows from 95 on; without it NT counts 5 ms
//             or coarser, and Sleep ends on its tick of 10 to 15 ms) and
//             CloseSystemClock puts the period back; the source waits
//             either with Sleep or, for a program with a window, with
//             MsgWaitForMultipleObjects, which wakes on input. Tests give a
//             source of their own.
//
// A time that goes back, or one more than 2^31 ms (24 days) after the clock
// was last asked, starts the grid again from that time.
#pragma once

#include <cstdint>

constexpr std::uint32_t FRAME_CLOCK_CATCH_UP = 4;

struct ClockSource {
    std::uint32_t (*now)(void* context);                     // milliseconds, wrapping
    void (*wait)(void* context, std::uint32_t milliseconds); // may return early
    void* context;
};

struct FrameClock {
    ClockSource source;
    std::uint32_t stepLength; // milliseconds, 1 .. 2^31 - 1
    std::uint32_t nextStep;   // when the next step falls due
    std::uint32_t steps;      // given by FrameClockSteps so far (wrapping)
    std::uint32_t dropped;    // due but dropped after stalls (wrapping)
};

// Starts the clock now: the first step falls due one step length from now.
// A step length outside 1 .. 2^31 - 1 is taken as the nearest end.
void StartFrameClock(FrameClock* clock, ClockSource source, std::uint32_t stepLength);

// The steps due since the last call (0 .. FRAME_CLOCK_CATCH_UP), taken off
// the clock: the program runs that many updates.
std::uint32_t FrameClockSteps(FrameClock* clock);

// Waits until the next step is due (returns at once when it is); the source
// may return sooner.
void FrameClockWait(FrameClock* clock);

// The milliseconds until the next step is due; 0 when it is.
std::uint32_t FrameClockTimeLeft(const FrameClock& clock);

#if defined(_WIN32)
enum SystemClockWait : std::uint8_t {
    SYSTEM_CLOCK_SLEEP,      // Sleep: nothing wakes it early
    SYSTEM_CLOCK_WAKE_INPUT, // MsgWaitForMultipleObjects(QS_ALLINPUT): a message wakes it
};

// The system's millisecond clock: timeGetTime, the system timer set to its
// finest period (timeGetDevCaps, timeBeginPeriod; 1 ms where the system
// offers it). Call CloseSystemClock once for each OpenSystemClock.
ClockSource OpenSystemClock(SystemClockWait wait);
void CloseSystemClock();
#endif
