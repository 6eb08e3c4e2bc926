// The system's clock for the frame clock: timeGetTime of the multimedia
// timer services, which every Windows from 95 on has (winmm.dll), with the
// timer's period set to the finest the system offers while a clock is open.
// Windows 95 and 98 count timeGetTime in milliseconds already; on NT its
// default precision is 5 ms or coarser, and a Sleep ends on the system's
// tick (10 to 15 ms), unless a program asks for a finer period.
// QueryPerformanceCounter would add nothing the steps need: they are whole
// milliseconds, and it is missing on machines without the counter and, on
// some multiprocessor machines of the time, not steady from one processor to
// another.
#include "clock/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

namespace {

UINT periodSet;       // the period asked for by OpenSystemClock, 0 if refused
std::uint32_t opened; // OpenSystemClock calls not yet closed

std::uint32_t SystemNow(void*) {
    return timeGetTime();
}

void SleepWait(void*, std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

void InputWait(void*, std::uint32_t milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
}

} // namespace

ClockSource OpenSystemClock(SystemClockWait wait) {
    if (opened++ == 0) {
        TIMECAPS caps;
        UINT period = 1;
        if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR)
            period = std::max<UINT>(caps.wPeriodMin, 1);
        periodSet = timeBeginPeriod(period) == TIMERR_NOERROR ? period : 0;
    }
    return {SystemNow, wait == SYSTEM_CLOCK_SLEEP ? SleepWait : InputWait, nullptr};
}

void CloseSystemClock() {
    if (opened == 0 || --opened != 0) return;
    if (periodSet != 0) timeEndPeriod(periodSet);
    periodSet = 0;
}
