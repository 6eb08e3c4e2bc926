// The guarded deferred-call service: the semaphore wrapper, the lock guard
// and Flush. The one DeferredService object is defined beside WinMain (see
// shell_main.cpp), so that every program with the shell's frame links it.
#include "shell/shell.h"

// The record's layout as the 32-bit platform lays it out, field by field.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ShellSemaphore) == 4);
static_assert(sizeof(SemaphoreLock) == 12);
static_assert(offsetof(DeferredService, firstSemaphore) == 0);
static_assert(offsetof(DeferredService, setupWord1) == 4);
static_assert(offsetof(DeferredService, setupWord2) == 8);
static_assert(offsetof(DeferredService, setupWords) == 12);
static_assert(offsetof(DeferredService, blockA) == 28);
static_assert(offsetof(DeferredService, blockB) == 52);
static_assert(offsetof(DeferredService, sharedBuffer) == 76);
static_assert(offsetof(DeferredService, requestWord1) == 4172);
static_assert(offsetof(DeferredService, requestWord2) == 4176);
static_assert(offsetof(DeferredService, requestArea) == 4180);
static_assert(offsetof(DeferredService, requestValue1) == 4196);
static_assert(offsetof(DeferredService, requestValue2) == 4200);
static_assert(offsetof(DeferredService, requestPending) == 4204);
static_assert(offsetof(DeferredService, requestWord3) == 4208);
static_assert(offsetof(DeferredService, requestWord4) == 4212);
static_assert(offsetof(DeferredService, secondSemaphore) == 4216);
static_assert(sizeof(DeferredService) == 4220);
#endif

ShellSemaphore::ShellSemaphore() : handle(CreateSemaphoreA(nullptr, 1, 1, nullptr)) {}

ShellSemaphore::~ShellSemaphore() {
    Close();
}

BOOL ShellSemaphore::Close() {
    return CloseHandle(handle);
}

SemaphoreLock::SemaphoreLock(const ShellSemaphore& semaphore, std::int32_t initiallyHeld)
    : handle(semaphore.handle), held(initiallyHeld), keepHeld(0) {}

SemaphoreLock::~SemaphoreLock() {
    Release();
}

std::int32_t SemaphoreLock::Wait(std::int32_t infinite) {
    const DWORD result =
        WaitForSingleObject(handle, infinite ? INFINITE : SEMAPHORE_LOCK_SHORT_WAIT_MS);
    held = result == WAIT_OBJECT_0 ? 1 : 0;
    return held;
}

void SemaphoreLock::Release() {
    if (held == 0 || keepHeld != 0) return;
    ReleaseSemaphore(handle, 1, nullptr);
    held = 0;
}

ServiceBlock::ServiceBlock() {
    words[0] = 0;
    words[1] = 0;
    words[2] = 0;
}

// The members are constructed in their order: firstSemaphore, the two blocks,
// secondSemaphore. Fields no step clears (sharedBuffer, requestArea,
// requestValue1/2, the last words of each block) keep the zeros of static
// storage. The compiler registers the destructor of the static object with
// the runtime's exit list once this constructor has returned.
DeferredService::DeferredService() {
    requestPending = 0;
    requestWord1 = 0;
    requestWord2 = 0;
    requestWord3 = 0;
    requestWord4 = 0;
    setupWord1 = 0;
    setupWord2 = 0;
    Flush();
    for (std::uint32_t& word : setupWords) word = 0;
}

// After Flush the members are destroyed in reverse order: secondSemaphore is
// closed before firstSemaphore.
DeferredService::~DeferredService() {
    Flush();
}

void DeferredService::Flush() {
    SemaphoreLock lock(secondSemaphore, 0);
    lock.Wait(1); // a failed wait is not reported; the work goes on unguarded
    if (requestPending != 0) {
        shellDisplay->SubmitRequest(&blockB, requestValue1, requestValue2, requestArea,
                                    DEFERRED_REQUEST_KIND);
        requestPending = 0;
        requestWord1 = 0;
        requestWord2 = 0;
        requestWord3 = 0;
        requestWord4 = 0;
        shellDisplay->SubmitBlock(&blockA);
        shellDisplay->SubmitBlock(&blockB);
    }
    lock.Release();
}
