// A winmm.dll for the end-to-end tests: the MIDI output devices it reports
// come from the environment, and every call is appended to a log file.
//
//   TEST_MIDI_DEVICES  comma-separated devices in number order, each either
//                      "mid:pid" (decimal identifiers) or "fail" (its
//                      capability query returns MMSYSERR_BADDEVICEID and
//                      fills nothing); empty or unset means no device
//   TEST_MIDI_LOG      file that receives "count N" for each
//                      midiOutGetNumDevs and "query N" for each
//                      midiOutGetDevCapsA, one line each
//
// Only the Win32 API is used, so the DLL needs no runtime set-up.
#define _WINMM_ // this is winmm: its functions are defined here, not imported
#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

namespace {

constexpr DWORD MAX_DEVICE_LIST = 32768;

void AppendLog(const char* what, std::uint32_t number) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TEST_MIDI_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[32];
    int n = 0;
    for (const char* p = what; *p; ++p) line[n++] = *p;
    line[n++] = ' ';
    char digits[12];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (d > 0) line[n++] = digits[--d];
    line[n++] = '\n';
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
}

struct Device {
    bool fails;
    WORD mid;
    WORD pid;
};

// Reads a decimal number at *p, moving *p past it.
WORD ReadNumber(const char** p) {
    std::uint32_t value = 0;
    while (**p >= '0' && **p <= '9') value = value * 10 + static_cast<std::uint32_t>(*(*p)++ - '0');
    return static_cast<WORD>(value);
}

constexpr UINT MAX_DEVICES = 4096;

// The devices of TEST_MIDI_DEVICES, read afresh on every call.
UINT ReadDevices(Device* devices) {
    static char list[MAX_DEVICE_LIST];
    DWORD length = GetEnvironmentVariableA("TEST_MIDI_DEVICES", list, sizeof list);
    if (length == 0 || length >= sizeof list) return 0;
    UINT count = 0;
    const char* p = list;
    while (count < MAX_DEVICES) {
        Device d{};
        if (*p == 'f') {
            d.fails = true;
            while (*p && *p != ',') ++p;
        } else {
            d.mid = ReadNumber(&p);
            if (*p == ':') ++p;
            d.pid = ReadNumber(&p);
        }
        devices[count++] = d;
        if (*p != ',') break;
        ++p;
    }
    return count;
}

Device devices[MAX_DEVICES];

} // namespace

extern "C" {

UINT WINAPI midiOutGetNumDevs(void) {
    UINT count = ReadDevices(devices);
    AppendLog("count", count);
    return count;
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT size) {
    AppendLog("query", static_cast<std::uint32_t>(deviceId));
    const UINT count = ReadDevices(devices);
    if (deviceId >= count || devices[deviceId].fails || caps == nullptr ||
        size < sizeof(MIDIOUTCAPSA))
        return MMSYSERR_BADDEVICEID;
    const Device& device = devices[deviceId];
    MIDIOUTCAPSA filled{};
    filled.wMid = device.mid;
    filled.wPid = device.pid;
    filled.vDriverVersion = 0x0100;
    const char name[] = "Test MIDI device";
    for (unsigned i = 0; i < sizeof name; ++i) filled.szPname[i] = name[i];
    filled.wTechnology = MOD_SYNTH;
    filled.wVoices = 32;
    filled.wNotes = 32;
    filled.wChannelMask = 0xFFFF;
    *caps = filled;
    return MMSYSERR_NOERROR;
}

} // extern "C"
