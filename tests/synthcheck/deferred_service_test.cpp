// The deferred service: the lock guard, Flush with and without a request, the
// construction and the exit path. Runs on the host layer and under Wine; the
// call-log checks are host-only.
#include "shell/shell.h"
#include "tests/synthcheck/recording_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include "hostwin/hostwin.h"
#endif

namespace {

using shelltest::DisplayCall;
using shelltest::FreshService;
using shelltest::RecordingDisplay;
using shelltest::ScopedDisplay;
using shelltest::SemaphoreTaken;

std::uintptr_t At(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

// A free semaphore with count 1 and maximum 1: it can be taken once, and
// given back once more only after being taken.
void ExpectFreeLock(HANDLE semaphore) {
    ASSERT_NE(semaphore, nullptr);
    EXPECT_FALSE(SemaphoreTaken(semaphore)) << "free at creation";
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr)) << "maximum count 1";
}

TEST(DeferredService, ConstructionMakesTwoFreeLocksAndCallsNothing) {
#ifndef _WIN32
    hostwin::Reset();
#endif
    RecordingDisplay display;
    ScopedDisplay scoped(&display);
    FreshService service;

    ExpectFreeLock(service->firstSemaphore.handle);
    ExpectFreeLock(service->secondSemaphore.handle);
    EXPECT_NE(service->firstSemaphore.handle, service->secondSemaphore.handle);
    EXPECT_TRUE(display.calls.empty());
    EXPECT_EQ(service->requestPending, 0u);
    for (std::uint32_t word : service->setupWords) EXPECT_EQ(word, 0u);
#ifndef _WIN32
    const std::vector<hostwin::Call>& calls = hostwin::world().calls;
    ASSERT_GE(calls.size(), 4u);
    for (int i : {0, 1}) {
        SCOPED_TRACE("semaphore " + std::to_string(i + 1));
        EXPECT_EQ(calls[i].function, "CreateSemaphoreA");
        EXPECT_EQ(calls[i].args, (std::vector<std::uintptr_t>{0, 1, 1, 0}))
            << "unnamed, no attributes, count 1 of 1";
    }
    EXPECT_EQ(calls[0].result, At(service->firstSemaphore.handle)) << "first created first";
    // The constructor's own Flush: wait on the second, nothing pending, release.
    EXPECT_EQ(calls[2].function, "WaitForSingleObject");
    EXPECT_EQ(calls[2].args,
              (std::vector<std::uintptr_t>{At(service->secondSemaphore.handle), INFINITE}));
    EXPECT_EQ(calls[3].function, "ReleaseSemaphore");
    EXPECT_EQ(calls[3].args[0], At(service->secondSemaphore.handle));
#endif
}

TEST(DeferredService, FlushSubmitsAPendingRequestUnderTheLock) {
    FreshService service;
    RecordingDisplay display(&service->secondSemaphore);
    ScopedDisplay scoped(&display);
    DeferredService& s = *service;
    s.requestWord1 = 1;
    s.requestWord2 = 2;
    s.requestWord3 = 3;
    s.requestWord4 = 4;
    for (std::uint32_t i = 0; i < 4; ++i) s.requestArea[i] = 0xA0 + i;
    s.requestValue1 = 0x1234;
    s.requestValue2 = 0xFFFFFFFF;
    s.requestPending = 1;

    s.Flush();

    const std::vector<DisplayCall> expected = {
        {"SubmitRequest", {At(&s.blockB), 0x1234, 0xFFFFFFFF, At(s.requestArea), 26}, true},
        {"SubmitBlock", {At(&s.blockA)}, true},
        {"SubmitBlock", {At(&s.blockB)}, true},
    };
    EXPECT_EQ(display.calls, expected);
    // Cleared: the flag and request words 1 to 4. Kept: the area and values.
    EXPECT_EQ(s.requestPending, 0u);
    EXPECT_EQ(s.requestWord1, 0u);
    EXPECT_EQ(s.requestWord2, 0u);
    EXPECT_EQ(s.requestWord3, 0u);
    EXPECT_EQ(s.requestWord4, 0u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(s.requestArea[i], 0xA0 + i);
    EXPECT_EQ(s.requestValue1, 0x1234u);
    EXPECT_EQ(s.requestValue2, 0xFFFFFFFFu);
    EXPECT_FALSE(SemaphoreTaken(s.secondSemaphore.handle)) << "released afterwards";

    display.calls.clear();
    s.Flush();
    EXPECT_TRUE(display.calls.empty()) << "a second Flush finds nothing pending";
}

TEST(DeferredService, ExitPathFlushesThenClosesSecondBeforeFirst) {
    const struct {
        const char* rule;
        bool pending;
    } rows[] = {{"nothing pending: no display call", false},
                {"a request pending at exit is submitted", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
#ifndef _WIN32
        hostwin::Reset();
#endif
        FreshService service;
        RecordingDisplay display(&service->secondSemaphore);
        ScopedDisplay scoped(&display);
        service->requestPending = row.pending ? 1 : 0;
        const std::uintptr_t blockA = At(&service->blockA), blockB = At(&service->blockB);
        const std::uintptr_t area = At(service->requestArea);
        const std::uintptr_t first = At(service->firstSemaphore.handle);
        const std::uintptr_t second = At(service->secondSemaphore.handle);
#ifndef _WIN32
        hostwin::world().calls.clear();
#endif
        service.Destroy();

        std::vector<DisplayCall> expected;
        if (row.pending)
            expected = {{"SubmitRequest", {blockB, 0, 0, area, 26}, true},
                        {"SubmitBlock", {blockA}, true},
                        {"SubmitBlock", {blockB}, true}};
        EXPECT_EQ(display.calls, expected);
#ifndef _WIN32
        std::vector<std::uintptr_t> closed;
        for (const hostwin::Call& call : hostwin::world().calls)
            if (call.function == "CloseHandle") closed.push_back(call.args[0]);
        EXPECT_EQ(closed, (std::vector<std::uintptr_t>{second, first}));
        EXPECT_EQ(hostwin::world().calls.back().function, "CloseHandle");
        EXPECT_EQ(hostwin::CallNames().front(), "WaitForSingleObject") << "Flush comes first";
#else
        (void)first;
        (void)second;
#endif
    }
}

// A semaphore to try the guard on, taken or free as the row needs.
struct Semaphore {
    ShellSemaphore semaphore;
    HANDLE handle() const { return semaphore.handle; }
    void TakeElsewhere() { ASSERT_EQ(WaitForSingleObject(handle(), 0), WAIT_OBJECT_0); }
};

TEST(SemaphoreLock, HoldsAndReleasesOnlyWhatItTook) {
    {
        SCOPED_TRACE("construction does not wait");
        Semaphore s;
        SemaphoreLock lock(s.semaphore, 0);
        EXPECT_EQ(lock.held, 0);
        EXPECT_EQ(lock.keepHeld, 0);
        EXPECT_FALSE(SemaphoreTaken(s.handle()));
    }
    {
        SCOPED_TRACE("release without a successful wait does nothing");
        Semaphore s;
        s.TakeElsewhere();
        SemaphoreLock lock(s.semaphore, 0);
        lock.Release();
        EXPECT_TRUE(SemaphoreTaken(s.handle())) << "the other holder's take was given back";
    }
    {
        SCOPED_TRACE("infinite wait on a free lock takes it; one release gives it back");
        Semaphore s;
        SemaphoreLock lock(s.semaphore, 0);
        EXPECT_EQ(lock.Wait(1), 1);
        EXPECT_EQ(lock.held, 1);
        EXPECT_TRUE(SemaphoreTaken(s.handle()));
        lock.Release();
        EXPECT_EQ(lock.held, 0);
        EXPECT_FALSE(SemaphoreTaken(s.handle()));
        s.TakeElsewhere();
        lock.Release();
        EXPECT_TRUE(SemaphoreTaken(s.handle())) << "a second release does nothing";
    }
    {
        SCOPED_TRACE("keepHeld: release and destruction leave it taken");
        Semaphore s;
        {
            SemaphoreLock lock(s.semaphore, 0);
            EXPECT_EQ(lock.Wait(0), 1);
            lock.keepHeld = 1;
            lock.Release();
            EXPECT_EQ(lock.held, 1);
        }
        EXPECT_TRUE(SemaphoreTaken(s.handle()));
    }
    {
        SCOPED_TRACE("destruction releases a held lock");
        Semaphore s;
        {
            SemaphoreLock lock(s.semaphore, 0);
            lock.Wait(1);
        }
        EXPECT_FALSE(SemaphoreTaken(s.handle()));
    }
    {
        SCOPED_TRACE("a null handle (failed creation): wait fails at once, release is a no-op");
        ShellSemaphore none;
        CloseHandle(none.handle);
        none.handle = nullptr;
        SemaphoreLock lock(none, 0);
        EXPECT_EQ(lock.Wait(1), 0);
        EXPECT_EQ(lock.held, 0);
        lock.Release();
    }
}

TEST(SemaphoreLock, ShortWaitOnALockHeldElsewhereGivesUp) {
    Semaphore s;
    s.TakeElsewhere();
    SemaphoreLock lock(s.semaphore, 0);
    lock.held = 1; // the failed wait must also clear a stale flag
    // A wait that never ends hangs the program, and its CTest time-out fails
    // it. No thread of its own to watch it: under Wine on an emulator this
    // test once hung with one.
    EXPECT_EQ(lock.Wait(0), 0);
    EXPECT_EQ(lock.held, 0);
    EXPECT_TRUE(SemaphoreTaken(s.handle())) << "still the other holder's";
}

#ifndef _WIN32
TEST(SemaphoreLock, WaitTimeOuts) {
    const struct {
        const char* rule;
        std::int32_t infinite;
        DWORD timeout;
    } rows[] = {{"infinite flag set: no time-out", 1, INFINITE},
                {"infinite flag clear: 5 ms", 0, 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        Semaphore s;
        hostwin::world().calls.clear();
        SemaphoreLock lock(s.semaphore, 0);
        lock.Wait(row.infinite);
        const hostwin::Call& call = hostwin::world().calls.back();
        EXPECT_EQ(call.function, "WaitForSingleObject");
        EXPECT_EQ(call.args, (std::vector<std::uintptr_t>{At(s.handle()), row.timeout}));
    }
}

TEST(DeferredService, FailedSemaphoresLeaveTheWorkUnguarded) {
    hostwin::Reset();
    hostwin::world().semaphoreCreateFails = true;
    FreshService service;
    EXPECT_EQ(service->firstSemaphore.handle, nullptr);
    EXPECT_EQ(service->secondSemaphore.handle, nullptr);
    RecordingDisplay display;
    ScopedDisplay scoped(&display);
    service->requestPending = 1;
    service->Flush();
    EXPECT_EQ(display.calls.size(), 3u) << "the request is still submitted";
    EXPECT_EQ(service->requestPending, 0u);
    service.Destroy(); // closing null handles fails silently
    for (const std::string& name : hostwin::CallNames())
        EXPECT_NE(name, "ReleaseSemaphore") << "nothing was taken, nothing is released";
    hostwin::Reset();
}

#endif

// The static record of the program itself was built before main().
TEST(DeferredService, TheStaticRecordIsBuiltBeforeMain) {
    ExpectFreeLock(deferredService.firstSemaphore.handle);
    ExpectFreeLock(deferredService.secondSemaphore.handle);
    EXPECT_EQ(deferredService.requestPending, 0u);
}

} // namespace
