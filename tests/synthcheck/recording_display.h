// Test doubles shared by the frame and deferred-service tests: a display
// object that logs every operation, a DeferredService built in fresh
// zero-filled storage as the static one is, and a probe for whether a
// semaphore is taken.
#pragma once

#include "shell/shell.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <vector>

namespace shelltest {

// True when the semaphore is taken (by anyone); leaves it as it was.
inline bool SemaphoreTaken(HANDLE semaphore) {
    if (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0) {
        ReleaseSemaphore(semaphore, 1, nullptr);
        return false;
    }
    return true;
}

struct DisplayCall {
    std::string operation;
    std::vector<std::uintptr_t> args;
    bool lockTaken; // whether `watched` was taken during the call

    bool operator==(const DisplayCall&) const = default;
};

inline void PrintTo(const DisplayCall& call, std::ostream* os) {
    *os << call.operation << std::hex << "(";
    for (std::size_t i = 0; i < call.args.size(); ++i) *os << (i ? ", 0x" : "0x") << call.args[i];
    *os << ")" << std::dec << (call.lockTaken ? " under the lock" : " without the lock");
}

// Every operation is overridden and logged with its arguments; the ones the
// shell must never call are logged too, so a call at a wrong position shows.
class RecordingDisplay : public ShellDisplay {
public:
    explicit RecordingDisplay(const ShellSemaphore* watched = nullptr) : watched_(watched) {}
    std::vector<DisplayCall> calls;

    std::int32_t Operation0() override { return Log("Operation0", {}); }
    std::int32_t Operation1() override { return Log("Operation1", {}); }
    std::int32_t Operation2() override { return Log("Operation2", {}); }
    std::int32_t Operation3() override { return Log("Operation3", {}); }
    std::int32_t Operation4() override { return Log("Operation4", {}); }
    std::int32_t Operation5() override { return Log("Operation5", {}); }
    std::int32_t Operation6() override { return Log("Operation6", {}); }
    std::int32_t Operation7() override { return Log("Operation7", {}); }
    std::int32_t Operation8() override { return Log("Operation8", {}); }
    std::int32_t Operation9() override { return Log("Operation9", {}); }
    std::int32_t Operation10() override { return Log("Operation10", {}); }
    std::int32_t Shutdown() override { return Log("Shutdown", {}); }
    std::int32_t Operation12() override { return Log("Operation12", {}); }
    std::int32_t Operation13() override { return Log("Operation13", {}); }
    std::int32_t Operation14() override { return Log("Operation14", {}); }
    std::int32_t Operation15() override { return Log("Operation15", {}); }
    std::int32_t SubmitBlock(ServiceBlock* block) override {
        return Log("SubmitBlock", {Num(block)});
    }
    std::int32_t SubmitRequest(ServiceBlock* block, std::uint32_t value1, std::uint32_t value2,
                               std::uint32_t* area, std::uint32_t kind) override {
        return Log("SubmitRequest", {Num(block), value1, value2, Num(area), kind});
    }

    static std::uintptr_t Num(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

private:
    std::int32_t Log(const char* operation, std::vector<std::uintptr_t> args) {
        calls.push_back({operation, std::move(args), watched_ && SemaphoreTaken(watched_->handle)});
        return 0;
    }
    const ShellSemaphore* watched_;
};

// A DeferredService constructed in zero-filled storage, like the static one,
// so that the fields no constructor step sets are 0. Destroy() runs the
// destructor (the exit path); the object then must not be used.
class FreshService {
public:
    FreshService() {
        std::memset(storage_, 0, sizeof storage_);
        service_ = new (storage_) DeferredService;
    }
    ~FreshService() { Destroy(); }
    FreshService(const FreshService&) = delete;
    FreshService& operator=(const FreshService&) = delete;

    DeferredService& operator*() { return *service_; }
    DeferredService* operator->() { return service_; }
    void Destroy() {
        if (service_) service_->~DeferredService();
        service_ = nullptr;
    }

private:
    alignas(DeferredService) unsigned char storage_[sizeof(DeferredService)];
    DeferredService* service_ = nullptr;
};

// Sets shellDisplay for the life of the object.
class ScopedDisplay {
public:
    explicit ScopedDisplay(ShellDisplay* display) : saved_(shellDisplay) { shellDisplay = display; }
    ~ScopedDisplay() { shellDisplay = saved_; }
    ScopedDisplay(const ScopedDisplay&) = delete;
    ScopedDisplay& operator=(const ScopedDisplay&) = delete;

private:
    ShellDisplay* saved_;
};

} // namespace shelltest
