// Steering and inspection of the host build's Win32 layer.
//
// Tests set up the platform the code under test will see (command line,
// start-up information, current directory, code page lead bytes, MIDI
// devices, registry, whether hooks are granted) and read back what the code
// asked of it: every call is appended to calls() with its arguments and
// result, in order. Reset() returns everything to the defaults below.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace hostwin {

// One platform call as the code made it. Pointer and handle arguments are
// recorded as their numeric value; text arguments also in `text`.
struct Call {
    std::string function;
    std::vector<std::uintptr_t> args;
    std::uintptr_t result = 0;
    std::string text;
};

// How SetWindowsHookExA answers.
enum class HookPolicy {
    GrantAll,   // every request is granted
    ThreadOnly, // as Windows NT and Wine: a hook for all threads (thread 0) without a
                // module handle is refused with ERROR_HOOK_NEEDS_HMOD
    RefuseAll,  // every request is refused
};

struct MidiDevice {
    WORD mid = 0;
    WORD pid = 0;
    bool queryFails = false; // midiOutGetDevCapsA returns an error and fills nothing
};

struct RegistryValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct World {
    std::string commandLine = "prog.exe";
    STARTUPINFOA startupInfo{}; // what GetStartupInfoA hands out (cb is filled in)
    std::set<BYTE> leadBytes;   // IsDBCSLeadByte: empty is a single-byte code page
    HMODULE moduleHandle = reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});
    DWORD threadId = 1;

    std::string currentDirectory = "C:\\";
    bool currentDirectoryFails = false; // GetCurrentDirectoryA returns 0

    HookPolicy hookPolicy = HookPolicy::ThreadOnly;
    HOOKPROC installedHook = nullptr; // the procedure of the hook in place, if any
    int hooksInPlace = 0;

    bool semaphoreCreateFails = false;
    int semaphoresOpen = 0;

    std::vector<MidiDevice> midiDevices;
    UINT midiDeviceCountOverride = 0; // when non-zero, midiOutGetNumDevs reports this instead
    std::vector<UINT> midiQueries;    // device numbers passed to midiOutGetDevCapsA

    // HKEY_CURRENT_USER: key path (compared without regard to case) to its values.
    std::map<std::string, std::map<std::string, RegistryValue>> registry;
    bool regCreateFails = false;
    bool regOpenFails = false;
    bool regSetFails = false;
    int keysOpen = 0;

    int directXSetupResult = 0; // what DirectXSetupA returns

    DWORD lastError = 0;
    std::vector<Call> calls;
};

World& world();
void Reset();

// The calls recorded so far, by function name only, in order.
std::vector<std::string> CallNames();

// Semaphore inspection for tests: current and maximum count of a handle made
// by CreateSemaphoreA.
LONG SemaphoreCount(HANDLE semaphore);
LONG SemaphoreMaximum(HANDLE semaphore);

// Registry path normalisation used by the layer (lower case, as Windows
// compares key names without regard to case).
std::string KeyName(const std::string& path);

} // namespace hostwin
