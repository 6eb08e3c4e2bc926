// The frame clock's steps and waits; see clock.h. All times are 32-bit
// millisecond counts compared modulo 2^32, so that the clock goes on across
// the count's wrap (every 49.7 days).
#include "clock/clock.h"

#include <algorithm>

namespace {

constexpr std::uint32_t AHEAD = 0x80000000u; // a difference this large or more is negative

std::uint32_t Now(const FrameClock& clock) {
    return clock.source.now(clock.source.context);
}

} // namespace

void StartFrameClock(FrameClock* clock, ClockSource source, std::uint32_t stepLength) {
    const std::uint32_t step = std::clamp<std::uint32_t>(stepLength, 1, AHEAD - 1);
    *clock = {source, step, source.now(source.context) + step, 0, 0};
}

std::uint32_t FrameClockSteps(FrameClock* clock) {
    const std::uint32_t now = Now(*clock);
    const std::uint32_t late = now - clock->nextStep;
    if (late >= AHEAD) {
        // The next step lies ahead; more than a step ahead only when the time
        // went back or a gap of over 2^31 ms passed, and the grid then starts
        // again from now.
        if (clock->nextStep - now > clock->stepLength) clock->nextStep = now + clock->stepLength;
        return 0;
    }
    // late < 2^31 and stepLength < 2^31, so due * stepLength <= late +
    // stepLength fits in 32 bits.
    const std::uint32_t due = late / clock->stepLength + 1;
    clock->nextStep += due * clock->stepLength;
    const std::uint32_t given = std::min(due, FRAME_CLOCK_CATCH_UP);
    clock->steps += given;
    clock->dropped += due - given;
    return given;
}

std::uint32_t FrameClockTimeLeft(const FrameClock& clock) {
    const std::uint32_t ahead = clock.nextStep - Now(clock);
    if (ahead == 0 || ahead >= AHEAD) return 0;
    return std::min(ahead, clock.stepLength);
}

void FrameClockWait(FrameClock* clock) {
    const std::uint32_t left = FrameClockTimeLeft(*clock);
    if (left > 0) clock->source.wait(clock->source.context, left);
}
