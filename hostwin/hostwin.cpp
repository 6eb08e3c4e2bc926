// The host build's Win32 layer: each call behaves as Windows does for the
// uses this system makes of it, and records itself in world().calls.
#include "hostwin/hostwin.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace hostwin {
namespace {

std::mutex worldMutex; // calls may come from several threads (semaphore tests)

struct Semaphore {
    std::mutex mutex;
    std::condition_variable released;
    LONG count = 0;
    LONG maximum = 0;
};

struct OpenKey {
    std::string path;
    REGSAM access = 0;
};

std::uintptr_t Num(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

void Record(Call call) {
    std::lock_guard<std::mutex> lock(worldMutex);
    world().calls.push_back(std::move(call));
}

bool IsKnownKey(HKEY key) {
    return key == HKEY_CURRENT_USER;
}

std::string ResolvePath(HKEY key, LPCSTR subKey) {
    std::string base = key == HKEY_CURRENT_USER ? "" : reinterpret_cast<OpenKey*>(key)->path;
    std::string sub = subKey ? subKey : "";
    if (base.empty()) return KeyName(sub);
    return KeyName(sub.empty() ? base : base + "\\" + sub);
}

} // namespace

World& world() {
    static World instance;
    return instance;
}

void Reset() {
    std::lock_guard<std::mutex> lock(worldMutex);
    world() = World{};
}

std::vector<std::string> CallNames() {
    std::lock_guard<std::mutex> lock(worldMutex);
    std::vector<std::string> names;
    for (const Call& call : world().calls) names.push_back(call.function);
    return names;
}

LONG SemaphoreCount(HANDLE semaphore) {
    auto* s = static_cast<Semaphore*>(semaphore);
    std::lock_guard<std::mutex> lock(s->mutex);
    return s->count;
}

LONG SemaphoreMaximum(HANDLE semaphore) {
    return static_cast<Semaphore*>(semaphore)->maximum;
}

std::string KeyName(const std::string& path) {
    std::string name = path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

} // namespace hostwin

using hostwin::Call;
using hostwin::Num;
using hostwin::Record;
using hostwin::world;

extern "C" {

LPSTR WINAPI GetCommandLineA(void) {
    Record({"GetCommandLineA", {}, Num(world().commandLine.c_str()), {}});
    return world().commandLine.data();
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    HMODULE result = moduleName ? nullptr : world().moduleHandle;
    Record({"GetModuleHandleA", {Num(moduleName)}, Num(result), moduleName ? moduleName : ""});
    return result;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startupInfo) {
    *startupInfo = world().startupInfo;
    startupInfo->cb = sizeof(STARTUPINFOA);
    Record({"GetStartupInfoA", {Num(startupInfo)}, 0, {}});
}

BOOL WINAPI IsDBCSLeadByte(BYTE testChar) {
    return world().leadBytes.count(testChar) ? TRUE : FALSE;
}

DWORD WINAPI GetLastError(void) {
    return world().lastError;
}
void WINAPI SetLastError(DWORD error) {
    world().lastError = error;
}
DWORD WINAPI GetCurrentThreadId(void) {
    return world().threadId;
}

HHOOK WINAPI SetWindowsHookExA(int hookType, HOOKPROC proc, HINSTANCE module, DWORD threadId) {
    using hostwin::HookPolicy;
    hostwin::World& w = world();
    bool granted = false;
    switch (w.hookPolicy) {
    case HookPolicy::GrantAll: granted = true; break;
    case HookPolicy::ThreadOnly: granted = threadId != 0 || module != nullptr; break;
    case HookPolicy::RefuseAll: granted = false; break;
    }
    HHOOK result = nullptr;
    if (granted && proc) {
        w.installedHook = proc;
        ++w.hooksInPlace;
        result = reinterpret_cast<HHOOK>(std::uintptr_t{0x1000} + w.hooksInPlace);
    } else {
        w.lastError = ERROR_HOOK_NEEDS_HMOD;
    }
    Record({"SetWindowsHookExA",
            {static_cast<std::uintptr_t>(hookType), Num(reinterpret_cast<void*>(proc)), Num(module),
             threadId},
            Num(result),
            {}});
    return result;
}

BOOL WINAPI UnhookWindowsHookEx(HHOOK hook) {
    hostwin::World& w = world();
    BOOL ok = hook != nullptr && w.hooksInPlace > 0;
    if (ok && --w.hooksInPlace == 0) w.installedHook = nullptr;
    Record({"UnhookWindowsHookEx", {Num(hook)}, static_cast<std::uintptr_t>(ok), {}});
    return ok;
}

// As Windows: the length without terminator when it fits, otherwise the room
// needed (terminator included) with nothing written; 0 on failure.
DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    hostwin::World& w = world();
    DWORD result = 0;
    if (!w.currentDirectoryFails) {
        const DWORD length = static_cast<DWORD>(w.currentDirectory.size());
        if (buffer && bufferLength > length) {
            std::memcpy(buffer, w.currentDirectory.c_str(), length + 1);
            result = length;
        } else {
            result = length + 1;
        }
    }
    Record({"GetCurrentDirectoryA", {bufferLength, Num(buffer)}, result, {}});
    return result;
}

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                               LONG maximumCount, LPCSTR name) {
    hostwin::World& w = world();
    HANDLE result = nullptr;
    if (!w.semaphoreCreateFails && maximumCount > 0 && initialCount >= 0 &&
        initialCount <= maximumCount) {
        auto* s = new hostwin::Semaphore;
        s->count = initialCount;
        s->maximum = maximumCount;
        result = s;
        ++w.semaphoresOpen;
    }
    Record({"CreateSemaphoreA",
            {Num(attributes), static_cast<std::uintptr_t>(initialCount),
             static_cast<std::uintptr_t>(maximumCount), Num(name)},
            Num(result),
            {}});
    return result;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    DWORD result = WAIT_FAILED;
    if (handle) {
        auto* s = static_cast<hostwin::Semaphore*>(handle);
        std::unique_lock<std::mutex> lock(s->mutex);
        auto available = [s] { return s->count > 0; };
        bool signalled = true;
        if (milliseconds == INFINITE) {
            s->released.wait(lock, available);
        } else {
            signalled =
                s->released.wait_for(lock, std::chrono::milliseconds(milliseconds), available);
        }
        if (signalled) {
            --s->count;
            result = WAIT_OBJECT_0;
        } else {
            result = WAIT_TIMEOUT;
        }
    } else {
        world().lastError = ERROR_INVALID_HANDLE;
    }
    Record({"WaitForSingleObject", {Num(handle), milliseconds}, result, {}});
    return result;
}

BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount) {
    BOOL ok = FALSE;
    if (semaphore && releaseCount > 0) {
        auto* s = static_cast<hostwin::Semaphore*>(semaphore);
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->count + releaseCount <= s->maximum) {
            if (previousCount) *previousCount = s->count;
            s->count += releaseCount;
            s->released.notify_all();
            ok = TRUE;
        }
    }
    Record({"ReleaseSemaphore",
            {Num(semaphore), static_cast<std::uintptr_t>(releaseCount), Num(previousCount)},
            static_cast<std::uintptr_t>(ok),
            {}});
    return ok;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    BOOL ok = FALSE;
    if (handle) {
        delete static_cast<hostwin::Semaphore*>(handle);
        --world().semaphoresOpen;
        ok = TRUE;
    } else {
        world().lastError = ERROR_INVALID_HANDLE;
    }
    Record({"CloseHandle", {Num(handle)}, static_cast<std::uintptr_t>(ok), {}});
    return ok;
}

LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    hostwin::World& w = world();
    LSTATUS status = ERROR_SUCCESS;
    if (w.regCreateFails || !hostwin::IsKnownKey(key)) {
        status = ERROR_ACCESS_DENIED;
    } else {
        const std::string path = hostwin::ResolvePath(key, subKey);
        w.registry[path]; // creates the key, keeps its values
        *result = reinterpret_cast<HKEY>(new hostwin::OpenKey{path, 0xF003F});
        ++w.keysOpen;
    }
    Record({"RegCreateKeyA",
            {Num(key), Num(subKey), Num(result)},
            static_cast<std::uintptr_t>(status),
            subKey ? subKey : ""});
    return status;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    hostwin::World& w = world();
    LSTATUS status = ERROR_SUCCESS;
    const std::string path = hostwin::IsKnownKey(key) ? hostwin::ResolvePath(key, subKey) : "";
    if (w.regOpenFails) {
        status = ERROR_ACCESS_DENIED;
    } else if (!hostwin::IsKnownKey(key) || !w.registry.count(path)) {
        status = ERROR_FILE_NOT_FOUND;
    } else {
        *result = reinterpret_cast<HKEY>(new hostwin::OpenKey{path, desired});
        ++w.keysOpen;
    }
    Record({"RegOpenKeyExA",
            {Num(key), Num(subKey), options, desired, Num(result)},
            static_cast<std::uintptr_t>(status),
            subKey ? subKey : ""});
    return status;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD size) {
    hostwin::World& w = world();
    LSTATUS status = ERROR_SUCCESS;
    auto* open = hostwin::IsKnownKey(key) ? nullptr : reinterpret_cast<hostwin::OpenKey*>(key);
    if (!open) {
        status = ERROR_INVALID_HANDLE;
    } else if (w.regSetFails || !(open->access & KEY_SET_VALUE)) {
        status = ERROR_ACCESS_DENIED;
    } else {
        w.registry[open->path][hostwin::KeyName(valueName ? valueName : "")] =
            hostwin::RegistryValue{type, std::vector<BYTE>(data, data + size)};
    }
    Record({"RegSetValueExA",
            {Num(key), Num(valueName), reserved, type, Num(data), size},
            static_cast<std::uintptr_t>(status),
            valueName ? valueName : ""});
    return status;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    LSTATUS status = ERROR_INVALID_HANDLE;
    if (key && !hostwin::IsKnownKey(key)) {
        delete reinterpret_cast<hostwin::OpenKey*>(key);
        --world().keysOpen;
        status = ERROR_SUCCESS;
    }
    Record({"RegCloseKey", {Num(key)}, static_cast<std::uintptr_t>(status), {}});
    return status;
}

UINT WINAPI midiOutGetNumDevs(void) {
    hostwin::World& w = world();
    UINT count = w.midiDeviceCountOverride ? w.midiDeviceCountOverride
                                           : static_cast<UINT>(w.midiDevices.size());
    Record({"midiOutGetNumDevs", {}, count, {}});
    return count;
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) {
    hostwin::World& w = world();
    w.midiQueries.push_back(static_cast<UINT>(deviceId));
    MMRESULT result = MMSYSERR_BADDEVICEID;
    if (deviceId < w.midiDevices.size() && !w.midiDevices[deviceId].queryFails && caps &&
        size >= sizeof(MIDIOUTCAPSA)) {
        MIDIOUTCAPSA filled{};
        filled.wMid = w.midiDevices[deviceId].mid;
        filled.wPid = w.midiDevices[deviceId].pid;
        std::strcpy(filled.szPname, "Host MIDI device");
        *caps = filled;
        result = MMSYSERR_NOERROR;
    }
    Record({"midiOutGetDevCapsA", {deviceId, Num(caps), size}, result, {}});
    return result;
}

// DirectSetup's entry, as dxlaunch declares it; records its arguments.
int WINAPI DirectXSetupA(HWND window, LPSTR rootPath, DWORD flags) {
    Record({"DirectXSetupA",
            {Num(window), Num(rootPath), flags},
            static_cast<std::uintptr_t>(world().directXSetupResult),
            rootPath ? rootPath : ""});
    return world().directXSetupResult;
}

} // extern "C"
